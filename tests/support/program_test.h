// What the tests of the program object in the test's own process share: a fresh application and
// settings store for each test, the store's values, the notices Windows sends the program's
// windows, and the check that a window's texts fit at a scale. Only for test programs that link
// the program (app).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <dbt.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/exception.h"
#include "framework/registry.h"
#include "windows/window_layout.h"
#include "wine_test_support.h"

namespace testing_support {

inline const wchar_t* const kProgramStore = L"Software\\Corvane";
inline const wchar_t* const kProgramSection = L"Software\\Corvane\\Keypilot";

// A value of the program's settings; nothing when it, or the key, is missing.
inline std::optional<std::wstring> storedSetting(const wchar_t* name) {
    auto key = framework::RegistryKey::open(HKEY_CURRENT_USER, kProgramSection, KEY_READ);
    if (!key.isOpen()) {
        return std::nullopt;
    }
    return key.readText(name);
}

inline void storeSetting(const wchar_t* name, const std::wstring& value) {
    framework::RegistryKey::create(HKEY_CURRENT_USER, kProgramSection).writeText(name, value);
}

// The application initialised and titled, the settings store gone before and after each test,
// and an error the program shows failing the test (or kept, after keepErrors()).
class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        framework::application().initialize();
        framework::application().setTitle(L"Keypilot");
        deleteUserKey(kProgramStore);
        oldHandler_ = framework::application().setExceptionHandler(
            [](const std::exception& e) { ADD_FAILURE() << e.what(); });
    }
    void TearDown() override {
        framework::application().setExceptionHandler(oldHandler_);
        deleteUserKey(kProgramStore);
    }
    // For a test that expects errors: their texts go to errors_.
    void keepErrors() {
        errors_.clear();
        framework::application().setExceptionHandler(
            [this](const std::exception& e) { errors_.push_back(framework::messageOf(e)); });
    }

    std::vector<std::wstring> errors_;

  private:
    framework::Application::ExceptionHandler oldHandler_;
};

// What Windows tells a window when a COM port arrives or leaves: the notice ends in its name.
inline void sendPortChange(HWND window, WPARAM event, const std::wstring& port) {
    std::vector<BYTE> buffer(offsetof(DEV_BROADCAST_PORT_W, dbcp_name) +
                             (port.size() + 1) * sizeof(wchar_t));
    auto* notice = reinterpret_cast<DEV_BROADCAST_PORT_W*>(buffer.data());
    notice->dbcp_size = static_cast<DWORD>(buffer.size());
    notice->dbcp_devicetype = DBT_DEVTYP_PORT;
    lstrcpyW(notice->dbcp_name, port.c_str());
    SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(notice));
}

// Windows moves the window to a monitor of this scale; it stays where it is.
inline void changeDpi(HWND window, UINT dpi) {
    RECT frame{};
    GetWindowRect(window, &frame);
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
}

// A label's or a button's text, measured in its own font (wrapped at the control's width when it
// wraps), fits the control, less the frame's margin (at 96 DPI), and the control fits the
// window's client area.
inline void expectTextFits(HWND window, HWND control, bool wraps, int margin96, UINT dpi,
                           const std::string& where) {
    RECT client;
    GetClientRect(window, &client);
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    const int width = r.right - r.left;
    const SIZE need = app::measureText(control, wraps ? width : 0);
    const std::string at = where + " control " + std::to_string(GetDlgCtrlID(control)) + " at " +
                           std::to_string(dpi) + " DPI";
    EXPECT_LE(need.cx + app::scaleForDpi(margin96, dpi), width) << at;
    EXPECT_LE(need.cy, r.bottom - r.top) << at;
    EXPECT_LE(r.right, client.right) << at;
    EXPECT_LE(r.bottom, client.bottom) << at;
}

// What expectTextFits is for: a static control or a button; a group box's frame takes more of
// its width than a button's edges.
inline bool isLabelOrButton(HWND control, int* margin96) {
    wchar_t cls[32] = {};
    GetClassNameW(control, cls, 32);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    if (!lstrcmpiW(cls, WC_BUTTONW)) {
        *margin96 = (style & BS_TYPEMASK) == BS_GROUPBOX ? 12 : 4;
        return true;
    }
    *margin96 = 0;
    return !lstrcmpiW(cls, WC_STATICW) && (style & SS_TYPEMASK) != SS_OWNERDRAW;
}

}  // namespace testing_support
