// The editor of one phone button: its name and its action (a key combination, a program, a text,
// an address or a power action). It is owned by the "Phone buttons" window, which it keeps
// disabled while it is open, and gives the definition back only when it has no problem; a
// refused or incomplete one is named in the editor, which stays open.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "buttons/phone_buttons.h"
#include "framework/handle.h"
#include "framework/owned_window.h"
#include "i18n/ui_text.h"

namespace app {

class ButtonEditor {
  public:
    static constexpr const wchar_t* kCaption = uiText(L"Кнопка телефона");

    enum Control : int {
        kOkButton = IDOK,
        kCancelButton = IDCANCEL,
        kNameLabel = 3101,
        kNameEdit,
        kKindLabel,
        kKindChoice,
        kCtrlCheck,
        kAltCheck,
        kShiftCheck,
        kWinCheck,
        kKeyLabel,
        kKeyChoice,
        kCaptureLabel,
        kCaptureBox,
        kProgramLabel,
        kProgramEdit,
        kBrowseButton,
        kArgumentsLabel,
        kArgumentsEdit,
        kFolderLabel,
        kFolderEdit,
        kTextLabel,
        kTextEdit,
        kAddressLabel,
        kAddressEdit,
        kPowerLabel,
        kPowerChoice,
        kConfirmNote,
        kProblemLabel,
    };

    // Called with the definition the user confirmed; the editor is hidden by then.
    using Done = std::function<void(const ButtonDefinition&)>;

    // Creates the editor, hidden, owned by the window it disables while open.
    explicit ButtonEditor(HWND owner);
    ButtonEditor(const ButtonEditor&) = delete;
    ButtonEditor& operator=(const ButtonEditor&) = delete;

    HWND handle() const { return window_.get(); }
    HWND control(int id) const { return GetDlgItem(handle(), id); }
    bool visible() const { return IsWindowVisible(handle()) != FALSE; }
    UINT dpi() const { return dpi_; }

    // Opens with this definition (a new button's when there is none), the focus on the name.
    void open(const std::optional<ButtonDefinition>& definition, Done done);
    // Closes without giving anything back, as Cancel does.
    void close();

    // What the controls say now, checked or not.
    ButtonDefinition definition() const;
    // Shows the controls of this kind of action, and lays the editor out for them.
    void showKind(ButtonKind kind);
    // The combination pressed in the capture box, as the check boxes and the key list show it.
    void capture(const KeyCombination& keys);

  private:
    friend LRESULT CALLBACK framework::ownedWindowProcedure<ButtonEditor>(HWND, UINT, WPARAM,
                                                                          LPARAM);
    framework::OwnedWindow& ownedWindow() { return window_; }
    LRESULT handleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void onCommand(WPARAM wParam);
    void onOk();
    void createControls();
    void applyDpi(UINT dpi);
    void layout();
    void showConfirmNote();
    ButtonKind kind() const;

    HWND owner_;
    framework::OwnedWindow window_;
    UINT dpi_ = 96;
    ButtonKind shownKind_ = ButtonKind::Keys;
    Done done_;
    framework::GdiObject font_;
};

}  // namespace app
