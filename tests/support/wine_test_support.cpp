#include "wine_test_support.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "framework/application.h"
#include "framework/main_thread_call.h"
#include "framework/module_path.h"

namespace testing_support {

bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        framework::runPendingMainThreadCalls();
        framework::application().processMessages();
        if (done()) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return done();
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

namespace {

// The witness timer of waitForTimerTicks: a thread timer's procedure has no room for context.
UINT_PTR witnessTimer = 0;
int witnessTicks = 0;

void CALLBACK witnessTick(HWND, UINT, UINT_PTR id, DWORD) {
    if (id == witnessTimer) {
        ++witnessTicks;
    }
}

}  // namespace

bool waitForTimerTicks(UINT intervalMs, int ticks, DWORD timeoutMs) {
    witnessTicks = 0;
    witnessTimer = SetTimer(nullptr, 0, intervalMs, witnessTick);
    if (witnessTimer == 0) {
        return false;
    }
    bool ticked = pumpUntil([ticks] { return witnessTicks >= ticks; }, timeoutMs);
    KillTimer(nullptr, witnessTimer);
    witnessTimer = 0;
    return ticked;
}

std::wstring environment(const wchar_t* name) {
    wchar_t buffer[4096];
    DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
    return (n > 0 && n < 4096) ? std::wstring(buffer, n) : std::wstring();
}

std::wstring siblingPath(const std::wstring& name) {
    const std::wstring self = framework::modulePath();
    return self.substr(0, self.find_last_of(L"\\/") + 1) + name;
}

void deleteUserKey(const wchar_t* path) {
    RegDeleteTreeW(HKEY_CURRENT_USER, path);
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            (L"keypilot_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
             std::to_wstring(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::wstring& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const wchar_t* value) : name_(name) {
    // The size counts the terminating zero, so a variable set to nothing still shows as set.
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    had_ = size > 0;
    if (had_) {
        old_.resize(size);
        DWORD n = GetEnvironmentVariableW(name, old_.data(), size);
        old_.resize(n < size ? n : 0);
    }
    SetEnvironmentVariableW(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
    SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr);
}

framework::Icon solidIcon(COLORREF colour) {
    constexpr int size = 16;
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = size;
    header.bV5Height = -size;
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_RGB;
    void* bits = nullptr;
    // With DIB_RGB_COLORS the section needs no device context.
    framework::GdiObject colourBitmap{CreateDIBSection(
        nullptr, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0)};
    if (!colourBitmap) {
        return framework::Icon{};
    }
    auto* pixels = static_cast<DWORD*>(bits);
    DWORD value =
        0xFF000000u | (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    for (int i = 0; i < size * size; ++i) {
        pixels[i] = value;
    }
    std::vector<BYTE> maskBits(size * size / 8, 0);
    framework::GdiObject mask{CreateBitmap(size, size, 1, 1, maskBits.data())};
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = static_cast<HBITMAP>(colourBitmap.get());
    info.hbmMask = static_cast<HBITMAP>(mask.get());
    return framework::Icon{CreateIconIndirect(&info)};
}

COLORREF iconColour(HICON icon) {
    if (!icon) {
        return CLR_INVALID;
    }
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
        return CLR_INVALID;
    }
    framework::GdiObject colourBitmap{info.hbmColor};
    framework::GdiObject mask{info.hbmMask};
    BITMAP bm{};
    if (!GetObjectW(info.hbmColor, sizeof bm, &bm)) {
        return CLR_INVALID;
    }
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = bm.bmWidth;
    header.biHeight = -bm.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    framework::DeviceContext dc{CreateCompatibleDC(nullptr)};
    int lines = GetDIBits(dc.get(), info.hbmColor, 0, bm.bmHeight, pixels.data(),
                          reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    if (lines == 0) {
        return CLR_INVALID;
    }
    DWORD p = pixels[static_cast<size_t>(bm.bmHeight / 2) * bm.bmWidth + bm.bmWidth / 2];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

void endMenuSoon() {
    SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        EndMenu();
    });
}

}  // namespace testing_support
