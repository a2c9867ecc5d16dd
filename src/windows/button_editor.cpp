#include "windows/button_editor.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <initializer_list>

#include "framework/application.h"
#include "framework/hidden_window.h"
#include "windows/button_texts.h"
#include "windows/dialog_window.h"
#include "windows/window_layout.h"

namespace app {
namespace {

constexpr const wchar_t* kWindowClass = L"KeypilotButtonEditor";
constexpr const wchar_t* kCaptureClass = L"KeypilotCaptureBox";
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
// What the capture box sends its parent: wParam the virtual key, lParam the modifiers held.
constexpr UINT kCapturedMessage = WM_APP + 1;
constexpr LPARAM kCtrlHeld = 1;
constexpr LPARAM kAltHeld = 2;
constexpr LPARAM kShiftHeld = 4;
constexpr LPARAM kWinHeld = 8;

constexpr const wchar_t* kNameText = uiText(L"Название:");
constexpr const wchar_t* kKindText = uiText(L"Действие:");
constexpr const wchar_t* kKeyText = uiText(L"Клавиша:");
constexpr const wchar_t* kCaptureText = uiText(L"Или нажмите:");
constexpr const wchar_t* kCapturePrompt = uiText(L"нажмите сочетание здесь");
constexpr const wchar_t* kProgramText = uiText(L"Программа:");
constexpr const wchar_t* kBrowseText = uiText(L"Обзор…");
constexpr const wchar_t* kArgumentsText = uiText(L"Параметры:");
constexpr const wchar_t* kFolderText = uiText(L"Рабочая папка:");
constexpr const wchar_t* kTextText = uiText(L"Текст:");
constexpr const wchar_t* kAddressText = uiText(L"Адрес:");
constexpr const wchar_t* kPowerText = uiText(L"Что сделать:");
constexpr const wchar_t* kConfirmText =
    uiText(L"Телефон попросит подтвердить нажатие, и Keypilot выполнит его только после этого.");

constexpr int kFieldWidth = 300;
constexpr int kRowHeight = 23;
constexpr int kTextHeight = 80;
constexpr int kListItems = 12;

// Which controls belong to which kind of action; the others are always shown.
struct KindControls {
    ButtonKind kind;
    std::initializer_list<int> ids;
};
const std::array<KindControls, 5> kKindControls{{
    {ButtonKind::Keys,
     {ButtonEditor::kCtrlCheck, ButtonEditor::kAltCheck, ButtonEditor::kShiftCheck,
      ButtonEditor::kWinCheck, ButtonEditor::kKeyLabel, ButtonEditor::kKeyChoice,
      ButtonEditor::kCaptureLabel, ButtonEditor::kCaptureBox}},
    {ButtonKind::Program,
     {ButtonEditor::kProgramLabel, ButtonEditor::kProgramEdit, ButtonEditor::kBrowseButton,
      ButtonEditor::kArgumentsLabel, ButtonEditor::kArgumentsEdit, ButtonEditor::kFolderLabel,
      ButtonEditor::kFolderEdit}},
    {ButtonKind::Text, {ButtonEditor::kTextLabel, ButtonEditor::kTextEdit}},
    {ButtonKind::Address, {ButtonEditor::kAddressLabel, ButtonEditor::kAddressEdit}},
    {ButtonKind::Power,
     {ButtonEditor::kPowerLabel, ButtonEditor::kPowerChoice, ButtonEditor::kConfirmNote}},
}};

bool isModifierKey(WPARAM key) {
    switch (key) {
        case VK_SHIFT:
        case VK_CONTROL:
        case VK_MENU:
        case VK_LSHIFT:
        case VK_RSHIFT:
        case VK_LCONTROL:
        case VK_RCONTROL:
        case VK_LMENU:
        case VK_RMENU:
        case VK_LWIN:
        case VK_RWIN:
            return true;
        default:
            return false;
    }
}

bool held(int key) {
    return GetKeyState(key) < 0;
}

LPARAM modifiersHeld() {
    return (held(VK_CONTROL) ? kCtrlHeld : 0) | (held(VK_MENU) ? kAltHeld : 0) |
           (held(VK_SHIFT) ? kShiftHeld : 0) | (held(VK_LWIN) || held(VK_RWIN) ? kWinHeld : 0);
}

// A plain Tab, Esc or Enter still moves on, cancels or confirms, as in any dialog; with a
// modifier, and every other key, it is captured.
bool isDialogKey(const MSG* msg) {
    return msg && msg->message == WM_KEYDOWN &&
           (msg->wParam == VK_TAB || msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN) &&
           (modifiersHeld() & ~kShiftHeld) == 0 && (msg->wParam == VK_TAB || !held(VK_SHIFT));
}

void paintCaptureBox(HWND box) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(box, &ps);
    RECT r;
    GetClientRect(box, &r);
    FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
    auto font = reinterpret_cast<HGDIOBJ>(GetWindowLongPtrW(box, GWLP_USERDATA));
    framework::SelectedObject selected{dc, font ? font : GetStockObject(DEFAULT_GUI_FONT)};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    wchar_t text[128] = {};
    GetWindowTextW(box, text, 128);
    DrawTextW(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (GetFocus() == box) {
        InflateRect(&r, -2, -2);
        DrawFocusRect(dc, &r);
    }
    EndPaint(box, &ps);
}

// The box where the user presses a combination: it takes every key but the dialog's own, so
// that Alt and F10 open no menu, and tells its parent of each key of the list pressed.
LRESULT CALLBACK captureBoxProcedure(HWND box, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_GETDLGCODE:
            return isDialogKey(reinterpret_cast<const MSG*>(lParam))
                       ? 0
                       : DLGC_WANTALLKEYS | DLGC_WANTCHARS;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (!isModifierKey(wParam) && comboKeyOf(static_cast<unsigned>(wParam))) {
                SendMessageW(GetParent(box), kCapturedMessage, wParam, modifiersHeld());
            }
            return 0;
        case WM_KEYUP:
        case WM_SYSKEYUP:
        case WM_CHAR:
        case WM_SYSCHAR:
            return 0;
        case WM_LBUTTONDOWN:
            SetFocus(box);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            InvalidateRect(box, nullptr, TRUE);
            return 0;
        case WM_SETFONT:
            SetWindowLongPtrW(box, GWLP_USERDATA, static_cast<LONG_PTR>(wParam));
            return 0;
        case WM_GETFONT:
            return GetWindowLongPtrW(box, GWLP_USERDATA);
        case WM_PAINT:
            paintCaptureBox(box);
            return 0;
        default:
            return DefWindowProcW(box, msg, wParam, lParam);
    }
}

int choice(HWND box) {
    return static_cast<int>(SendMessageW(box, CB_GETCURSEL, 0, 0));
}

bool checked(HWND box) {
    return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void check(HWND box, bool on) {
    SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace

ButtonEditor::ButtonEditor(HWND owner) : owner_(owner) {
    framework::registerWindowClass(kCaptureClass, &captureBoxProcedure);
    HWND hwnd = createDialogWindow(kWindowClass, &framework::ownedWindowProcedure<ButtonEditor>,
                                   tr(kCaption), kWindowStyle, kWindowExStyle, owner, this);
    createControls();
    showKind(ButtonKind::Keys);
    applyDpi(dpiOf(hwnd));
}

void ButtonEditor::createControls() {
    auto make = [this](const wchar_t* cls, const std::wstring& text, DWORD style, int id,
                       DWORD exStyle = 0) {
        return makeControl(handle(), cls, text, style, id, exStyle);
    };
    const DWORD label = SS_LEFT | SS_NOPREFIX | WS_VISIBLE;
    const DWORD edit = WS_TABSTOP | ES_AUTOHSCROLL | WS_VISIBLE;
    const DWORD list = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | WS_VISIBLE;
    const DWORD box = WS_TABSTOP | BS_AUTOCHECKBOX | WS_VISIBLE;
    // Created in the order Tab goes through them.
    make(WC_STATICW, tr(kNameText), label, kNameLabel);
    // Room for 24 characters that each take a surrogate pair; the check counts characters.
    SendMessageW(make(WC_EDITW, L"", edit, kNameEdit, WS_EX_CLIENTEDGE), EM_LIMITTEXT,
                 2 * kMaxButtonNameLength, 0);
    make(WC_STATICW, tr(kKindText), label, kKindLabel);
    HWND kinds = make(WC_COMBOBOXW, L"", list, kKindChoice);
    for (ButtonKind kind : {ButtonKind::Keys, ButtonKind::Program, ButtonKind::Text,
                            ButtonKind::Address, ButtonKind::Power}) {
        SendMessageW(kinds, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kindName(kind).c_str()));
    }
    make(WC_BUTTONW, L"Ctrl", box, kCtrlCheck);
    make(WC_BUTTONW, L"Alt", box, kAltCheck);
    make(WC_BUTTONW, L"Shift", box, kShiftCheck);
    make(WC_BUTTONW, L"Win", box, kWinCheck);
    make(WC_STATICW, tr(kKeyText), label, kKeyLabel);
    HWND keys = make(WC_COMBOBOXW, L"", list, kKeyChoice);
    for (const ComboKey& key : comboKeys()) {
        SendMessageW(keys, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shownKey(key).c_str()));
    }
    make(WC_STATICW, tr(kCaptureText), label, kCaptureLabel);
    make(kCaptureClass, tr(kCapturePrompt), WS_TABSTOP | WS_VISIBLE, kCaptureBox, WS_EX_CLIENTEDGE);
    make(WC_STATICW, tr(kProgramText), label, kProgramLabel);
    SendMessageW(make(WC_EDITW, L"", edit, kProgramEdit, WS_EX_CLIENTEDGE), EM_LIMITTEXT,
                 kMaxProgramFieldLength, 0);
    make(WC_BUTTONW, tr(kBrowseText), WS_TABSTOP | BS_PUSHBUTTON | WS_VISIBLE, kBrowseButton);
    make(WC_STATICW, tr(kArgumentsText), label, kArgumentsLabel);
    SendMessageW(make(WC_EDITW, L"", edit, kArgumentsEdit, WS_EX_CLIENTEDGE), EM_LIMITTEXT,
                 kMaxProgramFieldLength, 0);
    make(WC_STATICW, tr(kFolderText), label, kFolderLabel);
    SendMessageW(make(WC_EDITW, L"", edit, kFolderEdit, WS_EX_CLIENTEDGE), EM_LIMITTEXT,
                 kMaxProgramFieldLength, 0);
    make(WC_STATICW, tr(kTextText), label, kTextLabel);
    // Line ends belong to the text: Enter there is a new line, not OK.
    SendMessageW(
        make(WC_EDITW, L"",
             WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL | WS_VISIBLE,
             kTextEdit, WS_EX_CLIENTEDGE),
        EM_LIMITTEXT, 2 * kMaxButtonTextLength, 0);
    make(WC_STATICW, tr(kAddressText), label, kAddressLabel);
    SendMessageW(make(WC_EDITW, L"", edit, kAddressEdit, WS_EX_CLIENTEDGE), EM_LIMITTEXT,
                 kMaxAddressLength, 0);
    make(WC_STATICW, tr(kPowerText), label, kPowerLabel);
    HWND powers = make(WC_COMBOBOXW, L"", list, kPowerChoice);
    for (PowerAction power : {PowerAction::Lock, PowerAction::Sleep, PowerAction::SignOut,
                              PowerAction::Restart, PowerAction::ShutDown}) {
        SendMessageW(powers, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(powerName(power).c_str()));
    }
    make(WC_STATICW, tr(kConfirmText), label, kConfirmNote);
    make(WC_STATICW, L"", label, kProblemLabel);
    make(WC_BUTTONW, tr(dialog::kOkText), WS_TABSTOP | BS_DEFPUSHBUTTON | WS_VISIBLE, kOkButton);
    make(WC_BUTTONW, tr(dialog::kCancelText), WS_TABSTOP | BS_PUSHBUTTON | WS_VISIBLE,
         kCancelButton);
    for (int id : {kKindChoice, kKeyChoice, kPowerChoice}) {
        SendMessageW(control(id), CB_SETMINVISIBLE, kListItems, 0);
    }
}

void ButtonEditor::applyDpi(UINT dpi) {
    dpi_ = dpi;
    font_ = setMessageFont(handle(), dpi);
    layout();
}

ButtonKind ButtonEditor::kind() const {
    const int at = choice(control(kKindChoice));
    return at < 0 ? ButtonKind::Keys : static_cast<ButtonKind>(at);
}

void ButtonEditor::showKind(ButtonKind kind) {
    shownKind_ = kind;
    SendMessageW(control(kKindChoice), CB_SETCURSEL, static_cast<WPARAM>(kind), 0);
    for (const auto& group : kKindControls) {
        for (int id : group.ids) {
            ShowWindow(control(id), group.kind == kind ? SW_SHOWNA : SW_HIDE);
        }
    }
    showConfirmNote();
    layout();
}

void ButtonEditor::showConfirmNote() {
    ButtonAction action;
    action.kind = shownKind_;
    action.power = static_cast<PowerAction>(std::max(0, choice(control(kPowerChoice))));
    ShowWindow(control(kConfirmNote), needsConfirmation(action) ? SW_SHOWNA : SW_HIDE);
}

void ButtonEditor::layout() {
    auto s = [this](int v) { return scaleForDpi(v, dpi_); };
    auto shown = [this](int id) {
        return (GetWindowLongW(control(id), GWL_STYLE) & WS_VISIBLE) != 0;
    };
    auto textWidth = [&](int id) { return static_cast<int>(measureText(control(id)).cx); };
    int labelWidth = 0;
    for (int id : {kNameLabel, kKindLabel, kKeyLabel, kCaptureLabel, kProgramLabel, kArgumentsLabel,
                   kFolderLabel, kTextLabel, kAddressLabel, kPowerLabel}) {
        labelWidth = std::max(labelWidth, textWidth(id));
    }
    const int left = s(dialog::kMargin);
    const int field = left + labelWidth + s(dialog::kGap);
    int fieldWidth = s(kFieldWidth);
    int boxesWidth = 0;
    for (int id : {kCtrlCheck, kAltCheck, kShiftCheck, kWinCheck}) {
        boxesWidth += textWidth(id) + s(24) + s(dialog::kGap);
    }
    fieldWidth = std::max(fieldWidth, boxesWidth);
    const int right = field + fieldWidth;
    int y = s(dialog::kMargin);
    const int rowHeight =
        std::max(s(kRowHeight), static_cast<int>(measureText(control(kNameEdit)).cy) + s(8));
    // A label beside its field, centred on the field's row.
    auto row = [&](int labelId, int fieldId, int height, int width) {
        const int labelHeight = static_cast<int>(measureText(control(labelId)).cy);
        const int labelTop = height > rowHeight ? y + s(3) : y + (height - labelHeight) / 2;
        MoveWindow(control(labelId), left, labelTop, labelWidth, labelHeight, FALSE);
        // A drop-down list's window height includes its open list.
        wchar_t cls[32] = {};
        GetClassNameW(control(fieldId), cls, 32);
        const bool dropDown = lstrcmpiW(cls, WC_COMBOBOXW) == 0;
        MoveWindow(control(fieldId), field, y, width,
                   dropDown ? height + s(16 * kListItems) : height, FALSE);
        y += height + s(dialog::kGap);
    };
    row(kNameLabel, kNameEdit, rowHeight, fieldWidth);
    row(kKindLabel, kKindChoice, rowHeight, fieldWidth);
    switch (shownKind_) {
        case ButtonKind::Keys: {
            int x = field;
            for (int id : {kCtrlCheck, kAltCheck, kShiftCheck, kWinCheck}) {
                const int w = textWidth(id) + s(24);
                MoveWindow(control(id), x, y, w, rowHeight, FALSE);
                x += w + s(dialog::kGap);
            }
            y += rowHeight + s(dialog::kGap);
            row(kKeyLabel, kKeyChoice, rowHeight, fieldWidth);
            row(kCaptureLabel, kCaptureBox, rowHeight, fieldWidth);
            break;
        }
        case ButtonKind::Program: {
            const int browseWidth = std::max(s(75), textWidth(kBrowseButton) + s(16));
            MoveWindow(control(kBrowseButton), right - browseWidth, y, browseWidth, rowHeight,
                       FALSE);
            row(kProgramLabel, kProgramEdit, rowHeight, fieldWidth - browseWidth - s(dialog::kGap));
            row(kArgumentsLabel, kArgumentsEdit, rowHeight, fieldWidth);
            row(kFolderLabel, kFolderEdit, rowHeight, fieldWidth);
            break;
        }
        case ButtonKind::Text:
            row(kTextLabel, kTextEdit, s(kTextHeight), fieldWidth);
            break;
        case ButtonKind::Address:
            row(kAddressLabel, kAddressEdit, rowHeight, fieldWidth);
            break;
        case ButtonKind::Power: {
            row(kPowerLabel, kPowerChoice, rowHeight, fieldWidth);
            const int noteHeight =
                static_cast<int>(measureText(control(kConfirmNote), fieldWidth).cy);
            MoveWindow(control(kConfirmNote), field, y, fieldWidth, noteHeight, FALSE);
            // The same room whether the note is shown or not: picking another action moves
            // nothing.
            y += noteHeight + s(dialog::kGap);
            break;
        }
    }
    const int width = right - left;
    if (shown(kProblemLabel)) {
        const int problemHeight = static_cast<int>(measureText(control(kProblemLabel), width).cy);
        MoveWindow(control(kProblemLabel), left, y, width, problemHeight, FALSE);
        y += problemHeight + s(dialog::kGap);
    }
    const int buttonWidth =
        std::max({s(75), textWidth(kOkButton) + s(16), textWidth(kCancelButton) + s(16)});
    const int buttonHeight = std::max(s(dialog::kButtonHeight), rowHeight);
    y += s(dialog::kGap);
    MoveWindow(control(kCancelButton), right - buttonWidth, y, buttonWidth, buttonHeight, FALSE);
    MoveWindow(control(kOkButton), right - 2 * buttonWidth - s(dialog::kGap), y, buttonWidth,
               buttonHeight, FALSE);
    setClientSize(handle(), right + s(dialog::kMargin), y + buttonHeight + s(dialog::kMargin),
                  dpi_);
}

void ButtonEditor::open(const std::optional<ButtonDefinition>& definition, Done done) {
    done_ = std::move(done);
    const ButtonDefinition shown = definition.value_or(ButtonDefinition{});
    const ButtonAction& action = shown.action;
    SetWindowTextW(control(kNameEdit), shown.name.c_str());
    check(control(kCtrlCheck), action.keys.ctrl);
    check(control(kAltCheck), action.keys.alt);
    check(control(kShiftCheck), action.keys.shift);
    check(control(kWinCheck), action.keys.win);
    const auto keys = comboKeys();
    const auto key = std::find_if(keys.begin(), keys.end(), [&](const ComboKey& k) {
        return k.virtualKey == action.keys.key;
    });
    SendMessageW(
        control(kKeyChoice), CB_SETCURSEL,
        key == keys.end() ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(key - keys.begin()), 0);
    SetWindowTextW(control(kProgramEdit), action.program.c_str());
    SetWindowTextW(control(kArgumentsEdit), action.arguments.c_str());
    SetWindowTextW(control(kFolderEdit), action.folder.c_str());
    const bool text = action.kind == ButtonKind::Text;
    SetWindowTextW(control(kTextEdit), text ? action.text.c_str() : L"");
    SetWindowTextW(control(kAddressEdit), text ? L"" : action.text.c_str());
    SendMessageW(control(kPowerChoice), CB_SETCURSEL, static_cast<WPARAM>(action.power), 0);
    SetWindowTextW(control(kProblemLabel), L"");
    ShowWindow(control(kProblemLabel), SW_HIDE);
    showKind(action.kind);

    HWND hwnd = handle();
    RECT owner;
    GetWindowRect(owner_, &owner);
    RECT own;
    GetWindowRect(hwnd, &own);
    SetWindowPos(hwnd, nullptr,
                 owner.left + (owner.right - owner.left - (own.right - own.left)) / 2,
                 owner.top + (owner.bottom - owner.top - (own.bottom - own.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EnableWindow(owner_, FALSE);
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    SetFocus(control(kNameEdit));
    SendMessageW(control(kNameEdit), EM_SETSEL, 0, -1);
}

void ButtonEditor::close() {
    done_ = nullptr;
    // The owner comes back before the editor goes, so that Windows activates it, not another
    // program's window.
    EnableWindow(owner_, TRUE);
    ShowWindow(handle(), SW_HIDE);
    if (IsWindowVisible(owner_)) {
        SetForegroundWindow(owner_);
    }
}

ButtonDefinition ButtonEditor::definition() const {
    ButtonDefinition out;
    out.name = windowText(control(kNameEdit));
    ButtonAction& action = out.action;
    action.kind = kind();
    switch (action.kind) {
        case ButtonKind::Keys: {
            action.keys.ctrl = checked(control(kCtrlCheck));
            action.keys.alt = checked(control(kAltCheck));
            action.keys.shift = checked(control(kShiftCheck));
            action.keys.win = checked(control(kWinCheck));
            const int at = choice(control(kKeyChoice));
            const auto keys = comboKeys();
            action.keys.key = at >= 0 && static_cast<std::size_t>(at) < keys.size()
                                  ? keys[static_cast<std::size_t>(at)].virtualKey
                                  : 0;
            break;
        }
        case ButtonKind::Program:
            action.program = windowText(control(kProgramEdit));
            action.arguments = windowText(control(kArgumentsEdit));
            action.folder = windowText(control(kFolderEdit));
            break;
        case ButtonKind::Text:
            action.text = windowText(control(kTextEdit));
            break;
        case ButtonKind::Address:
            action.text = windowText(control(kAddressEdit));
            break;
        case ButtonKind::Power:
            action.power = static_cast<PowerAction>(std::max(0, choice(control(kPowerChoice))));
            break;
    }
    return out;
}

void ButtonEditor::capture(const KeyCombination& keys) {
    check(control(kCtrlCheck), keys.ctrl);
    check(control(kAltCheck), keys.alt);
    check(control(kShiftCheck), keys.shift);
    check(control(kWinCheck), keys.win);
    const auto all = comboKeys();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].virtualKey == keys.key) {
            SendMessageW(control(kKeyChoice), CB_SETCURSEL, i, 0);
        }
    }
}

void ButtonEditor::onOk() {
    const ButtonDefinition now = definition();
    const wchar_t* problem = problemOf(now);
    if (!problem) {
        problem = batchRefusalOf(now.action);
    }
    if (problem) {
        SetWindowTextW(control(kProblemLabel), tr(problem).c_str());
        ShowWindow(control(kProblemLabel), SW_SHOWNA);
        layout();
        return;
    }
    Done done = std::move(done_);
    close();
    if (done) {
        done(now);
    }
}

void ButtonEditor::onCommand(WPARAM wParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (code == CBN_SELCHANGE) {
        // The kind shows its own fields; a power action says whether it asks for a confirmation.
        if (id == kKindChoice) {
            showKind(kind());
        } else if (id == kPowerChoice) {
            showConfirmNote();
        }
    } else if (code == BN_CLICKED && id == kOkButton) {
        onOk();
    } else if (code == BN_CLICKED && id == kCancelButton) {
        close();
    } else if (code == BN_CLICKED && id == kBrowseButton) {
        if (auto file = askForProgram(handle())) {
            SetWindowTextW(control(kProgramEdit), file->c_str());
        }
    }
}

LRESULT ButtonEditor::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (auto answer = answerDialogMessage(handle(), msg, wParam, lParam,
                                          [this](UINT dpi) { applyDpi(dpi); })) {
        return *answer;
    }
    if (msg == kCapturedMessage) {
        capture({(lParam & kCtrlHeld) != 0, (lParam & kAltHeld) != 0, (lParam & kShiftHeld) != 0,
                 (lParam & kWinHeld) != 0, static_cast<unsigned>(wParam)});
        return 0;
    }
    if (msg == WM_COMMAND) {
        onCommand(wParam);
        return 0;
    }
    if (msg == WM_CLOSE) {
        close();
        return 0;
    }
    return DefWindowProcW(handle(), msg, wParam, lParam);
}

}  // namespace app
