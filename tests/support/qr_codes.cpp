#include "qr_codes.h"

#include <cstdint>
#include <vector>

#include "framework/handle.h"
#include "wine_test_support.h"

namespace testing_support {
namespace {

// The screen's pixels under the rectangle as a 24-bit BMP file.
std::string screenPicture(const RECT& r) {
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    framework::WindowDeviceContext screen{nullptr};
    framework::DeviceContext memory{CreateCompatibleDC(screen.get())};
    framework::GdiObject bitmap{CreateCompatibleBitmap(screen.get(), width, height)};
    {
        framework::SelectedObject selected{memory.get(), bitmap.get()};
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), r.left, r.top, SRCCOPY);
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    GetDIBits(memory.get(), static_cast<HBITMAP>(bitmap.get()), 0, static_cast<UINT>(height),
              pixels.data(), &info, DIB_RGB_COLORS);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    std::string out(reinterpret_cast<const char*>(&file), sizeof file);
    out.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.append(pixels.data(), pixels.size());
    return out;
}

}  // namespace

std::string decodeQrCodesOnScreen(HWND window) {
    RECT r{};
    if (!IsWindowVisible(window) || !GetWindowRect(window, &r)) {
        return {};
    }
    // Only what is on the screen: a copy that reaches beyond it gives nothing under Wine.
    const RECT screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                      GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                      GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    if (!IntersectRect(&r, &r, &screen)) {
        return {};
    }
    // Whatever is due to be drawn is drawn first.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const std::wstring linuxPath = environment(L"KEYPILOT_TESTBED_DIR") + L"/qr-" +
                                   std::to_wstring(GetCurrentProcessId()) + L".bmp";
    writeBytes(winePath(linuxPath), screenPicture(r));
    std::string path(linuxPath.begin(), linuxPath.end());
    // Only the codes' texts: the libraries' complaints (no D-Bus here) go.
    auto out = runHostCommand("zbarimg -q --raw '" + path + "' 2>/dev/null; rm -f '" + path + "'");
    std::string text = out.value_or("");
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

}  // namespace testing_support
