// The program's pictures as the system reads them from the resources: the icons, whose frames of
// 32 px and more are PNG-compressed, at every size they hold, and the banner's logo, a PNG that
// the program decodes itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <thread>
#include <vector>

#include "framework/handle.h"
#include "windows/png_bitmap.h"
#include "windows/resources/resource.h"

namespace {

// An icon as the system draws it, over white and over black: a pixel the same on both is opaque.
struct DrawnIcon {
    int opaque = 0;
    int transparent = 0;
};

DrawnIcon draw(HICON icon, int size) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    framework::DeviceContext dc{CreateCompatibleDC(nullptr)};
    std::vector<uint32_t> grounds[2];
    for (int i = 0; i < 2; ++i) {
        void* bits = nullptr;
        framework::GdiObject bitmap{
            CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0)};
        framework::SelectedObject selected{dc.get(), bitmap.get()};
        RECT all{0, 0, size, size};
        FillRect(dc.get(), &all,
                 static_cast<HBRUSH>(GetStockObject(i ? BLACK_BRUSH : WHITE_BRUSH)));
        DrawIconEx(dc.get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
        GdiFlush();
        const auto* pixels = static_cast<const uint32_t*>(bits);
        grounds[i].assign(pixels, pixels + static_cast<size_t>(size) * size);
    }
    DrawnIcon drawn;
    for (size_t i = 0; i < grounds[0].size(); ++i) {
        ((grounds[0][i] & 0xffffff) == (grounds[1][i] & 0xffffff) ? drawn.opaque
                                                                  : drawn.transparent)++;
    }
    return drawn;
}

SIZE iconSize(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
        return {};
    }
    framework::GdiObject colour{info.hbmColor};
    framework::GdiObject mask{info.hbmMask};
    BITMAP bm{};
    GetObjectW(colour ? colour.get() : mask.get(), sizeof bm, &bm);
    return {bm.bmWidth, colour ? bm.bmHeight : bm.bmHeight / 2};
}

// The picture fills about half of its square, on a transparent ground: an icon that came out
// blank, or as a box without its transparency, fails.
void expectThePicture(HICON icon, int size, const char* how, UINT id) {
    ASSERT_NE(icon, nullptr) << how << " icon " << id << " at " << size;
    SIZE got = iconSize(icon);
    EXPECT_EQ(got.cx, size) << how << " icon " << id;
    EXPECT_EQ(got.cy, size) << how << " icon " << id;
    DrawnIcon drawn = draw(icon, size);
    int all = size * size;
    EXPECT_GT(drawn.opaque, all / 4) << how << " icon " << id << " at " << size;
    EXPECT_GT(drawn.transparent, all / 4) << how << " icon " << id << " at " << size;
}

TEST(PicturesTest, EveryIconShowsAtEverySizeItHolds) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    // What LoadIconMetric, through which the tray's pictures come, calls: in version 6 of the
    // common controls only, which the manifest asks for.
    using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    auto loadIconWithScaleDown = reinterpret_cast<LoadIconWithScaleDownFn>(reinterpret_cast<void*>(
        GetProcAddress(LoadLibraryW(L"comctl32.dll"), "LoadIconWithScaleDown")));
    ASSERT_NE(loadIconWithScaleDown, nullptr);
    const std::vector<int> status{16, 20, 24, 32, 40, 48, 64};
    const std::vector<int> program{16, 20, 24, 32, 40, 48, 64, 96, 128, 256};
    for (UINT id : {IDI_DISCONNECTED, IDI_CONNECTED, IDI_WAITING, IDI_KEYPILOT}) {
        for (int size : id == IDI_KEYPILOT ? program : status) {
            framework::Icon loaded{static_cast<HICON>(
                LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0))};
            expectThePicture(loaded.get(), size, "loaded", id);
            // The tray's way (at 200 % scale its small size is 32 px, a PNG frame).
            framework::Icon scaled;
            ASSERT_HRESULT_SUCCEEDED(
                loadIconWithScaleDown(module, MAKEINTRESOURCEW(id), size, size, scaled.put()));
            expectThePicture(scaled.get(), size, "scaled", id);
        }
    }
}

// 3 x 2 pixels, 24-bit: red, green, blue over white, black, #123456.
constexpr unsigned char kSmallPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00,
    0x00, 0x12, 0x16, 0xf1, 0x4d, 0x00, 0x00, 0x00, 0x18, 0x49, 0x44, 0x41, 0x54, 0x08,
    0xd7, 0x63, 0xf8, 0xcf, 0xc0, 0xc0, 0x00, 0xc1, 0xff, 0xff, 0xff, 0x67, 0x60, 0x60,
    0x10, 0x32, 0x09, 0x03, 0x00, 0x45, 0xc3, 0x06, 0x97, 0x77, 0x72, 0x0b, 0x58, 0x00,
    0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

std::span<const std::byte> bytesOf(const unsigned char* data, size_t size) {
    return {reinterpret_cast<const std::byte*>(data), size};
}

// The colours of a bitmap's pixels as GDI draws them, row by row from the top, as 0xRRGGBB.
std::vector<uint32_t> coloursOf(const framework::GdiObject& bitmap, SIZE& size) {
    BITMAP bm{};
    if (!GetObjectW(bitmap.get(), sizeof bm, &bm)) {
        return {};
    }
    size = {bm.bmWidth, bm.bmHeight};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = bm.bmWidth;
    info.bmiHeader.biHeight = -bm.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> colours(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    framework::DeviceContext dc{CreateCompatibleDC(nullptr)};
    if (GetDIBits(dc.get(), static_cast<HBITMAP>(bitmap.get()), 0, bm.bmHeight, colours.data(),
                  &info, DIB_RGB_COLORS) != bm.bmHeight) {
        return {};
    }
    for (uint32_t& colour : colours) {
        colour &= 0xffffff;
    }
    return colours;
}

TEST(PicturesTest, APngDecodesToItsOwnPixelsAndComIsLeftAsItWas) {
    std::vector<uint32_t> colours;
    SIZE size{};
    HRESULT afterwards = E_FAIL;
    // On a thread of its own that has no COM, as the program's main thread has none of its own.
    std::thread([&] {
        framework::GdiObject bitmap = app::decodePng(bytesOf(kSmallPng, sizeof kSmallPng));
        colours = coloursOf(bitmap, size);
        // Another apartment is still open to the thread: the decode ended the COM it started.
        afterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(afterwards)) {
            CoUninitialize();
        }
    }).join();
    EXPECT_EQ(size.cx, 3);
    EXPECT_EQ(size.cy, 2);
    EXPECT_EQ(colours,
              (std::vector<uint32_t>{0xff0000, 0x00ff00, 0x0000ff, 0xffffff, 0x000000, 0x123456}));
    EXPECT_EQ(afterwards, S_OK);

    // Not a PNG, or one cut short: nothing, and no half-made picture.
    const unsigned char notPng[] = "BM not a picture";
    EXPECT_FALSE(app::decodePng(bytesOf(notPng, sizeof notPng)));
    EXPECT_FALSE(app::decodePng(bytesOf(kSmallPng, 40)));
    EXPECT_FALSE(app::decodePng({}));
}

// The banner's logo at 100 % and at 200 %, on the banner's white.
TEST(PicturesTest, TheLogosDecodeAtTheBannersSizes) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    struct Case {
        UINT id;
        SIZE size;
    } cases[] = {{IDB_LOGO, {97, 90}}, {IDB_LOGO_2X, {194, 180}}};
    for (const auto& c : cases) {
        framework::GdiObject logo = app::loadPngResource(module, c.id);
        ASSERT_TRUE(logo) << c.id;
        SIZE size{};
        std::vector<uint32_t> colours = coloursOf(logo, size);
        EXPECT_EQ(size.cx, c.size.cx) << c.id;
        EXPECT_EQ(size.cy, c.size.cy) << c.id;
        ASSERT_FALSE(colours.empty());
        EXPECT_EQ(colours.front(), 0xffffffu) << c.id;
        EXPECT_EQ(colours.back(), 0xffffffu) << c.id;
        size_t white = 0;
        for (uint32_t colour : colours) {
            white += colour == 0xffffff;
        }
        EXPECT_LT(white, colours.size() * 3 / 4) << "the picture is there: " << c.id;
    }
    EXPECT_FALSE(app::loadPngResource(module, 4242));
}

}  // namespace
