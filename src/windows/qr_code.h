// A text as a QR code for a phone's camera: error correction M at least (raised where that needs no
// bigger code), the smallest version that holds the text, the mask the library finds best. Drawn
// black on white in whole pixels per module, so it stays sharp at every scale.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace app {

class QrCode {
  public:
    // Light modules around the code, as the QR standard asks.
    static constexpr int kQuietZone = 4;

    // No code: nothing is drawn.
    QrCode() = default;
    // Raises framework::Exception when the text is too long for any QR code.
    explicit QrCode(const std::wstring& text);

    // The side in modules, without the quiet zone; 0 when there is no code.
    int size() const { return size_; }
    bool dark(int x, int y) const { return modules_[index(x, y)] != 0; }
    // The side in pixels with the quiet zone, at this many pixels a module.
    int side(int modulePixels) const { return (size_ + 2 * kQuietZone) * modulePixels; }
    // Fills area white and draws the code at its top left.
    void draw(HDC dc, const RECT& area, int modulePixels) const;

  private:
    std::size_t index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(size_) +
               static_cast<std::size_t>(x);
    }

    std::vector<std::uint8_t> modules_;
    int size_ = 0;
};

}  // namespace app
