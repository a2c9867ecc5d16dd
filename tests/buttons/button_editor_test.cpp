// The editor refuses a batch file given a "%", which cmd.exe would read as a variable, and says
// why; the same arguments for a program that is no batch file are that program's to read.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

#include "framework/application.h"
#include "framework/handle.h"
#include "windows/button_editor.h"

namespace {

using app::ButtonEditor;

std::wstring textOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

void clickOk(const ButtonEditor& editor) {
    SendMessageW(editor.handle(), WM_COMMAND, MAKEWPARAM(ButtonEditor::kOkButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(editor.control(ButtonEditor::kOkButton)));
}

TEST(ButtonEditorTest, ABatchFileGetsNoPercentAndTheEditorSaysWhy) {
    framework::application().initialize();
    const framework::Window owner{CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300,
                                                  nullptr, nullptr, GetModuleHandleW(nullptr),
                                                  nullptr)};
    ButtonEditor editor(owner.get());
    app::ButtonDefinition batch{L"Backup", {}};
    batch.action.kind = app::ButtonKind::Program;
    batch.action.program = L"C:\\Tools\\backup.CMD";
    batch.action.arguments = L"--done 100%";
    std::optional<app::ButtonDefinition> given;
    editor.open(batch, [&](const app::ButtonDefinition& definition) { given = definition; });

    clickOk(editor);
    EXPECT_TRUE(editor.visible());
    EXPECT_FALSE(given);
    EXPECT_EQ(textOf(editor.control(ButtonEditor::kProblemLabel)),
              L"Пакетному файлу (.bat, .cmd) нельзя передать «%»: cmd.exe примет его за "
              L"переменную.");

    SetWindowTextW(editor.control(ButtonEditor::kProgramEdit), L"C:\\Tools\\backup.exe");
    clickOk(editor);
    EXPECT_FALSE(editor.visible());
    ASSERT_TRUE(given);
    EXPECT_EQ(given->action.arguments, L"--done 100%");
}

}  // namespace
