#include "windows/phone_buttons_window.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <utility>

#include "framework/application.h"
#include "framework/text.h"
#include "link/button_press.h"
#include "windows/button_texts.h"
#include "windows/dialog_window.h"
#include "windows/window_layout.h"

namespace app {
namespace {

constexpr const wchar_t* kWindowClass = L"KeypilotPhoneButtonsWindow";
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

// %s: the most buttons there can be.
constexpr const wchar_t* kHeadingText = uiText(
    L"Кнопки, которые телефон показывает на вкладке «Кнопки», в этом порядке (не больше %s):");
constexpr const wchar_t* kAddText = uiText(L"Добавить…");
constexpr const wchar_t* kChangeText = uiText(L"Изменить…");
constexpr const wchar_t* kRemoveText = uiText(L"Удалить");
constexpr const wchar_t* kUpText = uiText(L"Выше");
constexpr const wchar_t* kDownText = uiText(L"Ниже");

constexpr int kListWidth = 340;
constexpr int kListHeight = 240;
constexpr int kButtonWidth = 90;

}  // namespace

PhoneButtonsWindow::PhoneButtonsWindow(Store store) : store_(std::move(store)) {
    HWND hwnd = createDialogWindow(
        kWindowClass, &framework::ownedWindowProcedure<PhoneButtonsWindow>, tr(kCaption),
        kWindowStyle, kWindowExStyle, framework::application().handle(), this);
    createControls();
    applyDpi(dpiOf(hwnd));
    editor_.emplace(hwnd);
}

LRESULT PhoneButtonsWindow::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (auto answer = answerDialogMessage(handle(), msg, wParam, lParam,
                                          [this](UINT dpi) { applyDpi(dpi); })) {
        return *answer;
    }
    switch (msg) {
        case WM_CLOSE:
            hide();
            return 0;
        case WM_COMMAND:
            onCommand(wParam);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(handle(), msg, wParam, lParam);
}

void PhoneButtonsWindow::createControls() {
    auto make = [this](const wchar_t* cls, const std::wstring& text, DWORD style, int id,
                       DWORD exStyle = 0) {
        return makeControl(handle(), cls, text, WS_VISIBLE | style, id, exStyle);
    };
    const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
    // Created in the order Tab goes through them.
    make(WC_STATICW,
         framework::formatText(tr(kHeadingText), {std::to_wstring(phonelink::kMaxButtons)}),
         SS_LEFT | SS_NOPREFIX, kHeading);
    make(WC_LISTBOXW, L"", WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
         kList, WS_EX_CLIENTEDGE);
    make(WC_BUTTONW, tr(kAddText), button, kAddButton);
    make(WC_BUTTONW, tr(kChangeText), button, kChangeButton);
    make(WC_BUTTONW, tr(kRemoveText), button, kRemoveButton);
    make(WC_BUTTONW, tr(kUpText), button, kUpButton);
    make(WC_BUTTONW, tr(kDownText), button, kDownButton);
    make(WC_BUTTONW, tr(dialog::kOkText), button | BS_DEFPUSHBUTTON, kOkButton);
    make(WC_BUTTONW, tr(dialog::kCancelText), button, kCancelButton);
}

void PhoneButtonsWindow::applyDpi(UINT dpi) {
    dpi_ = dpi;
    font_ = setMessageFont(handle(), dpi);
    layout();
    fill(selected());
}

void PhoneButtonsWindow::layout() {
    auto s = [this](int v) { return scaleForDpi(v, dpi_); };
    auto textWidth = [&](int id) { return static_cast<int>(measureText(control(id)).cx); };
    int buttonWidth = s(kButtonWidth);
    for (int id : {kAddButton, kChangeButton, kRemoveButton, kUpButton, kDownButton, kOkButton,
                   kCancelButton}) {
        buttonWidth = std::max(buttonWidth, textWidth(id) + s(16));
    }
    const int buttonHeight = std::max(s(dialog::kButtonHeight),
                                      static_cast<int>(measureText(control(kOkButton)).cy) + s(8));
    const int left = s(dialog::kMargin);
    const int listWidth = s(kListWidth);
    const int column = left + listWidth + s(dialog::kGap);
    const int width = column + buttonWidth - left;
    int y = s(dialog::kMargin);
    const int headingHeight = static_cast<int>(measureText(control(kHeading), width).cy);
    MoveWindow(control(kHeading), left, y, width, headingHeight, FALSE);
    y += headingHeight + s(dialog::kGap);
    const int listTop = y;
    int buttonsBottom = y;
    for (int id : {kAddButton, kChangeButton, kRemoveButton}) {
        MoveWindow(control(id), column, buttonsBottom, buttonWidth, buttonHeight, FALSE);
        buttonsBottom += buttonHeight + s(dialog::kGap);
    }
    buttonsBottom += s(dialog::kGap);
    for (int id : {kUpButton, kDownButton}) {
        MoveWindow(control(id), column, buttonsBottom, buttonWidth, buttonHeight, FALSE);
        buttonsBottom += buttonHeight + s(dialog::kGap);
    }
    const int listHeight = std::max(s(kListHeight), buttonsBottom - s(dialog::kGap) - listTop);
    MoveWindow(control(kList), left, listTop, listWidth, listHeight, FALSE);
    y = listTop + listHeight + s(dialog::kMargin);
    const int right = left + width;
    MoveWindow(control(kCancelButton), right - buttonWidth, y, buttonWidth, buttonHeight, FALSE);
    MoveWindow(control(kOkButton), right - 2 * buttonWidth - s(dialog::kGap), y, buttonWidth,
               buttonHeight, FALSE);
    setClientSize(handle(), right + s(dialog::kMargin), y + buttonHeight + s(dialog::kMargin),
                  dpi_);
}

void PhoneButtonsWindow::fill(int chosen) {
    HWND list = control(kList);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    // The list scrolls sideways to its longest line.
    auto font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
    framework::WindowDeviceContext dc{list};
    framework::SelectedObject selectedFont{
        dc.get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT)};
    int widest = 0;
    for (const auto& entry : now_.entries) {
        const std::wstring line = buttonLine(entry);
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        SIZE extent{};
        GetTextExtentPoint32W(dc.get(), line.c_str(), static_cast<int>(line.size()), &extent);
        widest = std::max(widest, static_cast<int>(extent.cx));
    }
    const int extent = widest + scaleForDpi(8, dpi_);
    SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(extent), 0);
    const int count = static_cast<int>(now_.entries.size());
    if (count > 0) {
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(std::clamp(chosen, 0, count - 1)), 0);
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    enableButtons();
}

int PhoneButtonsWindow::selected() const {
    return static_cast<int>(SendMessageW(control(kList), LB_GETCURSEL, 0, 0));
}

void PhoneButtonsWindow::select(int index) {
    SendMessageW(control(kList), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    enableButtons();
}

void PhoneButtonsWindow::enableButtons() {
    const int at = selected();
    const int count = static_cast<int>(now_.entries.size());
    // A button that goes grey takes the focus with it: the list gets it.
    HWND focus = GetFocus();
    auto enable = [&](int id, bool on) {
        HWND button = control(id);
        if (!on && focus == button) {
            SetFocus(control(kList));
        }
        EnableWindow(button, on ? TRUE : FALSE);
    };
    enable(kAddButton, !now_.full());
    enable(kChangeButton, at >= 0);
    enable(kRemoveButton, at >= 0);
    enable(kUpButton, at > 0);
    enable(kDownButton, at >= 0 && at + 1 < count);
}

void PhoneButtonsWindow::show(ButtonList buttons) {
    HWND hwnd = handle();
    if (!visible()) {
        before_ = buttons;
        now_ = std::move(buttons);
        fill(0);
        if (!shownBefore_) {
            shownBefore_ = true;
            centreOnCursorMonitor(hwnd);
            if (dpiOf(hwnd) != dpi_) {
                applyDpi(dpiOf(hwnd));
            }
        }
        ShowWindow(hwnd, SW_SHOW);
        SetFocus(control(kList));
    }
    // While the editor is open, it is what the user is after.
    HWND front = editor_->visible() ? editor_->handle() : hwnd;
    SetForegroundWindow(front);
}

void PhoneButtonsWindow::hide() {
    editor_->close();
    ShowWindow(handle(), SW_HIDE);
}

void PhoneButtonsWindow::onAdd() {
    if (now_.full()) {
        return;
    }
    editor_->open(std::nullopt, [this](const ButtonDefinition& definition) {
        if (now_.add(definition)) {
            fill(static_cast<int>(now_.entries.size()) - 1);
        }
    });
}

void PhoneButtonsWindow::onChange() {
    const int at = selected();
    if (at < 0 || static_cast<std::size_t>(at) >= now_.entries.size()) {
        return;
    }
    const int id = now_.entries[static_cast<std::size_t>(at)].id;
    editor_->open(now_.entries[static_cast<std::size_t>(at)].definition,
                  [this, id](const ButtonDefinition& definition) {
                      const auto entry =
                          std::find_if(now_.entries.begin(), now_.entries.end(),
                                       [id](const ButtonEntry& e) { return e.id == id; });
                      if (entry == now_.entries.end()) {
                          return;
                      }
                      // An unchanged definition stays as it is stored.
                      if (entry->definition != definition) {
                          entry->definition = definition;
                          entry->edited = true;
                      }
                      fill(static_cast<int>(entry - now_.entries.begin()));
                  });
}

void PhoneButtonsWindow::onRemove() {
    const int at = selected();
    if (at < 0 || static_cast<std::size_t>(at) >= now_.entries.size()) {
        return;
    }
    now_.entries.erase(now_.entries.begin() + at);
    fill(at);
}

void PhoneButtonsWindow::onMove(int by) {
    const int at = selected();
    const int to = at + by;
    if (at < 0 || to < 0 || static_cast<std::size_t>(std::max(at, to)) >= now_.entries.size()) {
        return;
    }
    std::swap(now_.entries[static_cast<std::size_t>(at)],
              now_.entries[static_cast<std::size_t>(to)]);
    fill(to);
}

void PhoneButtonsWindow::onOk() {
    store_(before_, now_);
    hide();
}

void PhoneButtonsWindow::onCommand(WPARAM wParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == kList) {
        if (code == LBN_SELCHANGE) {
            enableButtons();
        } else if (code == LBN_DBLCLK) {
            onChange();
        }
        return;
    }
    if (code != BN_CLICKED) {
        return;
    }
    switch (id) {
        case kAddButton:
            onAdd();
            break;
        case kChangeButton:
            onChange();
            break;
        case kRemoveButton:
            onRemove();
            break;
        case kUpButton:
            onMove(-1);
            break;
        case kDownButton:
            onMove(1);
            break;
        case kOkButton:
            onOk();
            break;
        case kCancelButton:
            hide();
            break;
        default:
            break;
    }
}

}  // namespace app
