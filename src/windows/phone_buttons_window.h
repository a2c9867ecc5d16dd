// The "Phone buttons" window: the user's buttons in the order the phone shows them, a broken one
// shown as broken, with Add, Change, Remove, Move up and Move down. Every change stays in the
// window until OK, which hands the list as read and as left to the program to write what
// changed; Cancel drops them. It owns only its window and the editor of one button.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>

#include "buttons/phone_buttons.h"
#include "framework/handle.h"
#include "framework/owned_window.h"
#include "i18n/ui_text.h"
#include "windows/button_editor.h"

namespace app {

class PhoneButtonsWindow {
  public:
    static constexpr const wchar_t* kCaption = uiText(L"Кнопки телефона");

    enum Control : int {
        kOkButton = IDOK,
        kCancelButton = IDCANCEL,
        kHeading = 3001,
        kList,
        kAddButton,
        kChangeButton,
        kRemoveButton,
        kUpButton,
        kDownButton,
    };

    // Writes what the user changed: the list as it was read, and as OK found it. The window
    // closes once it returns; an error leaves the window open with the user's changes.
    using Store = std::function<void(const ButtonList& before, const ButtonList& now)>;

    // Creates the window, hidden. The application must have been initialised.
    explicit PhoneButtonsWindow(Store store);
    PhoneButtonsWindow(const PhoneButtonsWindow&) = delete;
    PhoneButtonsWindow& operator=(const PhoneButtonsWindow&) = delete;

    HWND handle() const { return window_.get(); }
    HWND control(int id) const { return GetDlgItem(handle(), id); }
    bool visible() const { return IsWindowVisible(handle()) != FALSE; }
    UINT dpi() const { return dpi_; }
    ButtonEditor& editor() { return *editor_; }

    // Shows these buttons, as read from the store, in front. A window already shown keeps what
    // the user did in it and only comes to the front.
    void show(ButtonList buttons);
    void hide();

    // The buttons as the window has them now.
    const ButtonList& buttons() const { return now_; }
    // The line chosen in the list; -1 for none.
    int selected() const;
    void select(int index);

  private:
    friend LRESULT CALLBACK framework::ownedWindowProcedure<PhoneButtonsWindow>(HWND, UINT, WPARAM,
                                                                                LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void createControls();
    // The font and the layout at this DPI.
    void applyDpi(UINT dpi);
    void layout();
    void onCommand(WPARAM wParam);
    // The list's lines from now_, with this line chosen, and the buttons that apply to it.
    void fill(int chosen);
    void enableButtons();
    void onAdd();
    void onChange();
    void onRemove();
    void onMove(int by);
    void onOk();

    Store store_;
    framework::OwnedWindow window_;
    // Made once the window it belongs to exists.
    std::optional<ButtonEditor> editor_;
    UINT dpi_ = 96;
    bool shownBefore_ = false;
    ButtonList before_;
    ButtonList now_;
    framework::GdiObject font_;
};

}  // namespace app
