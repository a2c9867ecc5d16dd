// The "Phone buttons" window and its editor, real windows under Wine: buttons of each kind added,
// changed, moved and removed, and what OK leaves in the registry (only what changed; a broken
// value untouched) and Cancel (nothing); the editor's refusals and a combination pressed into it;
// the keyboard; both languages at two scales.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "app/keypilot.h"
#include "framework/application.h"
#include "framework/text.h"
#include "i18n/translation.h"
#include "program_test.h"
#include "session_claim.h"
#include "windows/button_editor.h"
#include "windows/phone_buttons_window.h"
#include "wine_test_support.h"

using app::ButtonEditor;
using app::ButtonKind;
using app::PhoneButtonsWindow;
using testing_support::pumpUntil;
using testing_support::storedSetting;
using testing_support::storeSetting;

namespace {

std::wstring textOf(HWND control) {
    wchar_t buffer[512] = {};
    GetWindowTextW(control, buffer, 512);
    return buffer;
}

void click(HWND window, int id) {
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

// A drop-down list's choice, as the user makes it.
void choose(HWND window, int id, int index) {
    HWND box = GetDlgItem(window, id);
    SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
}

void check(HWND window, int id) {
    SendMessageW(GetDlgItem(window, id), BM_SETCHECK, BST_CHECKED, 0);
}

bool shown(HWND window, int id) {
    return IsWindowVisible(GetDlgItem(window, id)) != FALSE;
}

// Key downs of these keys in order, then their ups in reverse, as real input.
void press(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = key;
        inputs.push_back(in);
    }
    for (auto it = keys.end(); it != keys.begin();) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = *--it;
        in.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(in);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Every visible control inside the client area, no two overlapping, every label's and button's
// text inside its control.
void expectLaidOut(HWND window, UINT dpi, const std::string& where) {
    RECT client;
    GetClientRect(window, &client);
    std::vector<std::pair<HWND, RECT>> placed;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) {
            continue;
        }
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        const std::string at = where + " control " + std::to_string(GetDlgCtrlID(child)) + " at " +
                               std::to_string(dpi);
        EXPECT_GE(r.left, 0) << at;
        EXPECT_GE(r.top, 0) << at;
        EXPECT_LE(r.right, client.right) << at;
        EXPECT_LE(r.bottom, client.bottom) << at;
        for (const auto& [other, o] : placed) {
            RECT overlap;
            EXPECT_FALSE(IntersectRect(&overlap, &r, &o))
                << at << " overlaps control " << GetDlgCtrlID(other);
        }
        placed.emplace_back(child, r);
        int margin = 0;
        if (testing_support::isLabelOrButton(child, &margin)) {
            // The labels wrap; the buttons' texts stay on one line.
            const bool wraps = margin == 0;
            testing_support::expectTextFits(window, child, wraps, margin, dpi, where);
        }
    }
}

class PhoneButtonsWindowTest : public testing_support::ProgramTest {
  protected:
    void TearDown() override {
        keypilot_.reset();
        ProgramTest::TearDown();
    }
    app::Keypilot& keypilot() {
        if (!keypilot_) {
            keypilot_ = std::make_unique<app::Keypilot>(testing_support::sessionClaim());
        }
        return *keypilot_;
    }
    PhoneButtonsWindow& window() { return keypilot().phoneButtonsWindow(); }
    ButtonEditor& editor() { return window().editor(); }
    HWND list() { return window().control(PhoneButtonsWindow::kList); }
    std::vector<std::wstring> lines() {
        std::vector<std::wstring> out;
        const auto count = SendMessageW(list(), LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            std::wstring line(static_cast<std::size_t>(
                                  SendMessageW(list(), LB_GETTEXTLEN, static_cast<WPARAM>(i), 0)),
                              L'\0');
            SendMessageW(list(), LB_GETTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(line.data()));
            out.push_back(line);
        }
        return out;
    }
    void setText(int id, const std::wstring& text) {
        SetWindowTextW(editor().control(id), text.c_str());
    }
    // Opens the editor with Add (or Change on the chosen line), fills it in and confirms it.
    void edit(int button, const std::wstring& name, ButtonKind kind,
              const std::function<void()>& fill) {
        click(window().handle(), button);
        ASSERT_TRUE(editor().visible());
        EXPECT_FALSE(IsWindowEnabled(window().handle())) << "the list waits for the editor";
        setText(ButtonEditor::kNameEdit, name);
        choose(editor().handle(), ButtonEditor::kKindChoice, static_cast<int>(kind));
        fill();
        click(editor().handle(), ButtonEditor::kOkButton);
        EXPECT_FALSE(editor().visible()) << textOf(editor().control(ButtonEditor::kProblemLabel));
        EXPECT_TRUE(IsWindowEnabled(window().handle()));
    }
    void storeButtons(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> values) {
        for (const auto& [name, value] : values) {
            storeSetting(name, value);
        }
    }
    // The button values of the registry, by name: those this test may have stored.
    std::vector<std::optional<std::wstring>> storedButtons(int upTo) {
        std::vector<std::optional<std::wstring>> out;
        for (int id = 1; id <= upTo; ++id) {
            out.push_back(storedSetting(app::buttonIdName(id).c_str()));
        }
        return out;
    }

    std::unique_ptr<app::Keypilot> keypilot_;
};

// Stored buttons of three kinds and a broken one; a button of every kind added through the editor,
// one changed, one moved, one removed. OK writes the new and changed values, the order and the
// last id, deletes the removed one, and leaves the untouched ones as they are stored: a value in a
// form of its own and a broken value are never rewritten.
TEST_F(PhoneButtonsWindowTest, EveryKindAddedChangedMovedAndRemovedAndOkWritesOnlyTheChanges) {
    storeButtons({{L"0001", L"keys|Desk|Shift+Ctrl+F5"},
                  {L"0002", L"program|Pad|notepad||"},
                  {L"0003", L"keys|Bad|Ctrl+Nope"},
                  {L"0004", L"text|Hi|hello"},
                  {L"buttons", L"0001,0002,0003,0004"},
                  {L"lastButton", L"0004"}});
    keypilot().showPhoneButtons();
    ASSERT_TRUE(window().visible());
    EXPECT_EQ(lines(), (std::vector<std::wstring>{
                           L"Desk \u2014 Ctrl+Shift+F5", L"Pad \u2014 notepad",
                           L"Кнопка 0003 повреждена: телефон её не показывает, OK её не изменит",
                           L"Hi \u2014 Текст: hello"}));

    using E = ButtonEditor;
    edit(PhoneButtonsWindow::kAddButton, L"Закрыть", ButtonKind::Keys, [&] {
        check(editor().handle(), E::kAltCheck);
        choose(editor().handle(), E::kKeyChoice, 26 + 10 + 3);  // F4
    });
    edit(PhoneButtonsWindow::kAddButton, L"Калькулятор", ButtonKind::Program, [&] {
        setText(E::kProgramEdit, L"C:\\Windows\\System32\\calc.exe");
        setText(E::kArgumentsEdit, L"-x \"a b\"");
        setText(E::kFolderEdit, L"C:\\Windows");
    });
    edit(PhoneButtonsWindow::kAddButton, L"Привет 👋", ButtonKind::Text,
         [&] { setText(E::kTextEdit, L"line|1\r\nline 2"); });
    edit(PhoneButtonsWindow::kAddButton, L"Сайт", ButtonKind::Address,
         [&] { setText(E::kAddressEdit, L"https://example.org/a?b=1"); });
    edit(PhoneButtonsWindow::kAddButton, L"Перезапуск", ButtonKind::Power, [&] {
        EXPECT_FALSE(shown(editor().handle(), E::kConfirmNote)) << "locking needs no confirmation";
        choose(editor().handle(), E::kPowerChoice, static_cast<int>(app::PowerAction::Restart));
        EXPECT_TRUE(shown(editor().handle(), E::kConfirmNote));
    });
    window().select(1);
    click(window().handle(), PhoneButtonsWindow::kChangeButton);
    EXPECT_EQ(textOf(editor().control(E::kProgramEdit)), L"notepad") << "opens with the button";
    setText(E::kArgumentsEdit, L"notes.txt");
    click(editor().handle(), E::kOkButton);
    window().select(2);
    click(window().handle(), PhoneButtonsWindow::kUpButton);
    click(window().handle(), PhoneButtonsWindow::kUpButton);
    EXPECT_EQ(window().selected(), 0) << "the moved line stays chosen";
    EXPECT_FALSE(IsWindowEnabled(window().control(PhoneButtonsWindow::kUpButton)));
    window().select(3);
    click(window().handle(), PhoneButtonsWindow::kRemoveButton);
    ASSERT_EQ(lines().size(), 8u);
    EXPECT_EQ(lines()[7], L"Перезапуск \u2014 Перезагрузить");
    EXPECT_EQ(storedButtons(9)[8], std::nullopt) << "nothing written before OK";

    click(window().handle(), PhoneButtonsWindow::kOkButton);
    EXPECT_FALSE(window().visible());
    EXPECT_EQ(storedButtons(9),
              (std::vector<std::optional<std::wstring>>{
                  L"keys|Desk|Shift+Ctrl+F5", L"program|Pad|notepad|notes.txt|",
                  L"keys|Bad|Ctrl+Nope", std::nullopt, L"keys|Закрыть|Alt+F4",
                  L"program|Калькулятор|C:\\Windows\\System32\\calc.exe|-x \"a b\"|C:\\Windows",
                  L"text|Привет 👋|line%7C1%0D%0Aline 2", L"address|Сайт|https://example.org/a?b=1",
                  L"power|Перезапуск|restart"}));
    EXPECT_EQ(storedSetting(L"buttons"), L"0003,0001,0002,0005,0006,0007,0008,0009");
    EXPECT_EQ(storedSetting(L"lastButton"), L"0009");

    keypilot().showPhoneButtons();
    EXPECT_EQ(lines().size(), 8u) << "read back as written";
    EXPECT_EQ(lines()[5], L"Привет 👋 \u2014 Текст: line|1  line 2");
}

// A new user sees the starting set, which nothing stores until OK changes something; Cancel (and
// the close box) drop every change. The list holds at most 30: Add goes grey at the limit.
TEST_F(PhoneButtonsWindowTest, CancelStoresNothingAndAddStopsAtThirty) {
    keypilot().showPhoneButtons();
    EXPECT_EQ(lines(),
              (std::vector<std::wstring>{
                  L"Заблокировать \u2014 Заблокировать компьютер", L"Рабочий стол \u2014 Win+D",
                  L"Закрыть окно \u2014 Alt+F4", L"Диспетчер задач \u2014 Ctrl+Shift+Esc",
                  L"Во весь экран \u2014 F11", L"Сон \u2014 Спящий режим"}));
    window().select(0);
    click(window().handle(), PhoneButtonsWindow::kRemoveButton);
    edit(PhoneButtonsWindow::kAddButton, L"Пробел", ButtonKind::Keys,
         [&] { choose(editor().handle(), ButtonEditor::kKeyChoice, 26 + 10 + 24 + 13); });
    click(window().handle(), PhoneButtonsWindow::kCancelButton);
    EXPECT_FALSE(window().visible());
    EXPECT_EQ(storedButtons(7), std::vector<std::optional<std::wstring>>(7));
    EXPECT_FALSE(storedSetting(L"buttons").has_value());

    keypilot().showPhoneButtons();
    EXPECT_EQ(lines().size(), 6u) << "Cancel dropped the changes";
    click(window().handle(), PhoneButtonsWindow::kOkButton);
    EXPECT_FALSE(storedSetting(L"buttons").has_value()) << "nothing changed, nothing stored";

    keypilot().showPhoneButtons();
    while (lines().size() < 30) {
        edit(PhoneButtonsWindow::kAddButton, L"F" + std::to_wstring(lines().size()),
             ButtonKind::Keys,
             [&] { choose(editor().handle(), ButtonEditor::kKeyChoice, 26 + 10 + 1); });
    }
    EXPECT_FALSE(IsWindowEnabled(window().control(PhoneButtonsWindow::kAddButton)));
    click(window().handle(), PhoneButtonsWindow::kAddButton);
    EXPECT_FALSE(editor().visible()) << "no 31st button";
    SendMessageW(window().handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(window().visible());
    EXPECT_FALSE(storedSetting(L"buttons").has_value());
}

// What the editor cannot take it names, and stays open with the user's input: the two
// combinations Windows never lets through, a name too long or empty, an address that is not
// https:// or http://, a relative program path. A combination pressed in the capture box, Win
// included, sets the check boxes and the key.
TEST_F(PhoneButtonsWindowTest, TheEditorRefusesWhatCannotBeSentAndCapturesAPressedCombination) {
    keypilot().showPhoneButtons();
    click(window().handle(), PhoneButtonsWindow::kAddButton);
    HWND hwnd = editor().handle();
    using E = ButtonEditor;
    auto refused = [&](const std::wstring& problem) {
        click(hwnd, E::kOkButton);
        EXPECT_TRUE(editor().visible());
        EXPECT_TRUE(shown(hwnd, E::kProblemLabel));
        EXPECT_EQ(textOf(editor().control(E::kProblemLabel)), problem);
    };
    setText(E::kNameEdit, L"Опасно");
    check(hwnd, E::kCtrlCheck);
    check(hwnd, E::kAltCheck);
    choose(hwnd, E::kKeyChoice, 26 + 10 + 24 + 13 - 4);  // Delete
    refused(L"Ctrl+Alt+Delete нельзя отправить: это сочетание Windows оставляет себе.");
    editor().capture({false, false, false, true, L'L'});
    refused(L"Win+L нельзя отправить: для блокировки есть действие «Заблокировать компьютер».");
    setText(E::kNameEdit, std::wstring(25, L'я'));
    editor().capture({false, false, false, true, L'D'});
    refused(L"Название кнопки: от 1 до 24 знаков, без управляющих знаков.");
    setText(E::kNameEdit, L"");
    refused(L"Название кнопки: от 1 до 24 знаков, без управляющих знаков.");
    setText(E::kNameEdit, std::wstring(24, L'я'));
    choose(hwnd, E::kKindChoice, static_cast<int>(ButtonKind::Address));
    setText(E::kAddressEdit, L"ftp://example.org/");
    refused(L"Адрес: https:// или http://, без пробелов, не длиннее 2048 знаков.");
    choose(hwnd, E::kKindChoice, static_cast<int>(ButtonKind::Program));
    setText(E::kProgramEdit, L"tools\\run.exe");
    refused(L"Программа: полный путь (C:\\…\\app.exe) или имя (notepad), без кавычек.");
    EXPECT_EQ(window().buttons().entries.size(), 6u) << "nothing added meanwhile";

    choose(hwnd, E::kKindChoice, static_cast<int>(ButtonKind::Keys));
    SetFocus(editor().control(E::kCaptureBox));
    ASSERT_TRUE(pumpUntil([&] {
        SetForegroundWindow(hwnd);
        return GetForegroundWindow() == hwnd && GetFocus() == editor().control(E::kCaptureBox);
    }));
    press({VK_CONTROL, VK_SHIFT, VK_F5});
    const app::KeyCombination ctrlShiftF5{true, false, true, false, VK_F5};
    EXPECT_TRUE(pumpUntil([&] { return editor().definition().action.keys == ctrlShiftF5; }))
        << framework::toUtf8(app::combinationText(editor().definition().action.keys));
    press({VK_LWIN, VK_UP});
    const app::KeyCombination winUp{false, false, false, true, VK_UP};
    EXPECT_TRUE(pumpUntil([&] { return editor().definition().action.keys == winUp; }))
        << framework::toUtf8(app::combinationText(editor().definition().action.keys));
    click(hwnd, E::kOkButton);
    EXPECT_FALSE(editor().visible());
    ASSERT_EQ(lines().size(), 7u);
    EXPECT_EQ(lines()[6], std::wstring(24, L'я') + L" \u2014 Win+Стрелка вверх");
}

// From the keyboard alone: Tab goes through the editor's fields in order, Esc leaves it as
// Cancel does, Enter confirms it as OK does; in the list window Enter is OK and Esc Cancel.
TEST_F(PhoneButtonsWindowTest, TabEnterAndEscapeWorkAsInAnyDialog) {
    keypilot().showPhoneButtons();
    HWND hwnd = window().handle();
    click(hwnd, PhoneButtonsWindow::kAddButton);
    HWND editorWindow = editor().handle();
    using E = ButtonEditor;
    std::vector<int> order;
    HWND at = editor().control(E::kNameEdit);
    do {
        order.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(editorWindow, at, FALSE);
    } while (at && at != editor().control(E::kNameEdit) && order.size() < 20);
    EXPECT_EQ(order, (std::vector<int>{E::kNameEdit, E::kKindChoice, E::kCtrlCheck, E::kAltCheck,
                                       E::kShiftCheck, E::kWinCheck, E::kKeyChoice, E::kCaptureBox,
                                       E::kOkButton, E::kCancelButton}));

    ASSERT_TRUE(pumpUntil([&] {
        SetForegroundWindow(editorWindow);
        return GetForegroundWindow() == editorWindow;
    }));
    SetFocus(editor().control(E::kNameEdit));
    press({VK_ESCAPE});
    EXPECT_TRUE(pumpUntil([&] { return !editor().visible(); })) << "Esc cancels the editor";
    EXPECT_EQ(window().buttons().entries.size(), 6u);

    click(hwnd, PhoneButtonsWindow::kAddButton);
    setText(E::kNameEdit, L"Ввод");
    choose(editorWindow, E::kKeyChoice, 26 + 10 + 24 + 12);  // Enter
    SetFocus(editor().control(E::kCaptureBox));
    press({VK_RETURN});
    EXPECT_TRUE(pumpUntil([&] { return !editor().visible(); }))
        << "a plain Enter in the capture box confirms";
    EXPECT_EQ(window().buttons().entries.size(), 7u);

    ASSERT_TRUE(pumpUntil([&] {
        SetForegroundWindow(hwnd);
        return GetForegroundWindow() == hwnd;
    }));
    SetFocus(list());
    press({VK_RETURN});
    EXPECT_TRUE(pumpUntil([&] { return !window().visible(); })) << "Enter is OK";
    EXPECT_EQ(storedSetting(L"0007"), L"keys|Ввод|Enter");

    keypilot().showPhoneButtons();
    ASSERT_TRUE(pumpUntil([&] { return GetForegroundWindow() == hwnd; }));
    SetFocus(list());
    click(hwnd, PhoneButtonsWindow::kRemoveButton);
    press({VK_ESCAPE});
    EXPECT_TRUE(pumpUntil([&] { return !window().visible(); })) << "Esc is Cancel";
    EXPECT_EQ(storedSetting(L"buttons"), L"0001,0002,0003,0004,0005,0006,0007");
}

// Both windows, the tray item below "Connect a phone" and the settings window's button in
// Russian and English; at 100 % and 150 % every control of the list window and of the editor
// (with each kind's fields) is inside the window, none overlaps another, and no text is cut.
TEST_F(PhoneButtonsWindowTest, BothLanguagesAndTheyFitAtTwoScales) {
    struct Case {
        const wchar_t* lang;
        const wchar_t* caption;
        const wchar_t* item;
        const wchar_t* settingsButton;
        const wchar_t* firstLine;
    } cases[] = {
        {L"ru_RU.UTF-8", L"Кнопки телефона", L"Кнопки телефона…", L"Кнопки телефона…",
         L"Заблокировать \u2014 Заблокировать компьютер"},
        {L"en_US.UTF-8", L"Phone buttons", L"Phone buttons…", L"Phone buttons…",
         L"Lock \u2014 Lock the PC"},
    };
    for (const auto& c : cases) {
        testing_support::ScopedEnvironment lang(L"LANG", c.lang);
        i18n::startup();
        const std::string where = framework::toUtf8(c.lang);
        {
            app::Keypilot& program = keypilot();
            EXPECT_EQ(program.trayMenu().item(program.phoneButtonsItem()).caption, c.item);
            EXPECT_EQ(program.phoneButtonsItem(), program.connectItem() + 1)
                << "below Connect a phone";
            EXPECT_EQ(textOf(program.settingsWindow().control(app::kPhoneButtonsButton)),
                      c.settingsButton);
            click(program.settingsWindow().handle(), app::kPhoneButtonsButton);
            ASSERT_TRUE(window().visible()) << "opened from the settings window";
            EXPECT_EQ(textOf(window().handle()), c.caption);
            EXPECT_EQ(lines().front(), c.firstLine);
            click(window().handle(), PhoneButtonsWindow::kChangeButton);
            for (UINT dpi : {96u, 144u}) {
                testing_support::changeDpi(window().handle(), dpi);
                expectLaidOut(window().handle(), dpi, where + " list");
                testing_support::changeDpi(editor().handle(), dpi);
                for (ButtonKind kind : {ButtonKind::Keys, ButtonKind::Program, ButtonKind::Text,
                                        ButtonKind::Address, ButtonKind::Power}) {
                    choose(editor().handle(), ButtonEditor::kKindChoice, static_cast<int>(kind));
                    choose(editor().handle(), ButtonEditor::kPowerChoice,
                           static_cast<int>(app::PowerAction::ShutDown));
                    setText(ButtonEditor::kNameEdit, L"");
                    click(editor().handle(), ButtonEditor::kOkButton);  // the problem shown too
                    expectLaidOut(editor().handle(), dpi,
                                  where + " editor kind " + std::to_string(static_cast<int>(kind)));
                }
            }
            editor().close();
            window().hide();
        }
        keypilot_.reset();
        i18n::shutdown();
    }
}

}  // namespace
