#include "windows/qr_code.h"

#include "framework/exception.h"
#include "framework/text.h"
#include "qrcodegen.h"

namespace app {

QrCode::QrCode(const std::wstring& text) {
    std::vector<std::uint8_t> code(qrcodegen_BUFFER_LEN_MAX);
    std::vector<std::uint8_t> scratch(qrcodegen_BUFFER_LEN_MAX);
    if (!qrcodegen_encodeText(framework::toUtf8(text).c_str(), scratch.data(), code.data(),
                              qrcodegen_Ecc_MEDIUM, qrcodegen_VERSION_MIN, qrcodegen_VERSION_MAX,
                              qrcodegen_Mask_AUTO, true)) {
        throw framework::Exception(L"The address is too long for a QR code: " + text);
    }
    size_ = qrcodegen_getSize(code.data());
    modules_.assign(static_cast<std::size_t>(size_) * static_cast<std::size_t>(size_), 0);
    for (int y = 0; y < size_; ++y) {
        for (int x = 0; x < size_; ++x) {
            modules_[index(x, y)] = qrcodegen_getModule(code.data(), x, y) ? 1 : 0;
        }
    }
}

void QrCode::draw(HDC dc, const RECT& area, int modulePixels) const {
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    for (int y = 0; y < size_; ++y) {
        for (int x = 0; x < size_; ++x) {
            if (!dark(x, y)) {
                continue;
            }
            const int left = area.left + (kQuietZone + x) * modulePixels;
            const int top = area.top + (kQuietZone + y) * modulePixels;
            const RECT module{left, top, left + modulePixels, top + modulePixels};
            FillRect(dc, &module, black);
        }
    }
}

}  // namespace app
