// What the program's windows that work as dialogs (the phone buttons' list and its editor) share:
// their creation, controls and fonts, their size from their client area, and the messages they
// all answer alike.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "framework/handle.h"
#include "i18n/ui_text.h"

namespace app {

// What such windows keep alike, at 96 DPI: the margin at their edges, the gap between controls,
// a push button's height; and the texts of OK and Cancel.
namespace dialog {
inline constexpr int kMargin = 12;
inline constexpr int kGap = 8;
inline constexpr int kButtonHeight = 25;
inline constexpr const wchar_t* kOkText = uiText(L"ОК");
inline constexpr const wchar_t* kCancelText = uiText(L"Отмена");
}  // namespace dialog

// Registers the class on first use (the program's icon, the dialog face colour) and creates the
// window, hidden, with owner as its owner and param for WM_NCCREATE. Raises the system's error.
HWND createDialogWindow(const wchar_t* className, WNDPROC procedure, const std::wstring& caption,
                        DWORD style, DWORD exStyle, HWND owner, void* param);
// A child control with its id, placed later by the window's layout.
HWND makeControl(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style,
                 int id, DWORD exStyle = 0);
// The system's message font at this DPI, given to every child of the window.
framework::GdiObject setMessageFont(HWND window, UINT dpi);
// Sizes the window so that its client area is width by height pixels at this DPI.
void setClientSize(HWND window, int width, int height, UINT dpi);
std::wstring windowText(HWND window);

// OK is the default button, Tab, Enter and Esc work while the window is active, and a new DPI
// lays it out again: the answer when the message is one of those, nothing otherwise.
std::optional<LRESULT> answerDialogMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                           const std::function<void(UINT dpi)>& applyDpi);

// Lets the user pick a program file, in a dialog owned by this window; its path, or nothing when
// the user cancels.
std::optional<std::wstring> askForProgram(HWND owner);
// A window of the program other than the settings window gets Tab, Enter and Esc as a dialog
// does while it is the active one: called with its activation and deactivation.
void takeDialogKeys(HWND window, bool active);
// Puts the text on the clipboard, owned by this window; nothing happens when the clipboard is
// busy with another program.
void copyToClipboard(HWND owner, const std::wstring& text);

}  // namespace app
