#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/launch_program.h"

using app::LaunchCommand;

namespace {

// A disk and a search path as the launch sees them.
struct System {
    std::set<std::wstring> files{L"C:\\kp launch\\tool.exe", L"C:\\kp.exe",
                                 L"C:\\Program Files\\App\\app.exe", L"C:\\x.txt"};
    std::vector<std::wstring> searched;

    std::optional<LaunchCommand> resolve(std::wstring_view text) {
        return app::resolveLaunchCommand(
            text, [this](const std::wstring& path) { return files.contains(path); },
            [this](const std::wstring& name) -> std::optional<std::wstring> {
                searched.push_back(name);
                if (name == L"calc.exe" || name == L"calc") {
                    return L"C:\\windows\\system32\\calc.exe";
                }
                if (name == L"notepad.exe") {
                    return L"C:\\windows\\notepad.exe";
                }
                return std::nullopt;
            });
    }
};

TEST(LaunchCommandTest, TheProgramIsTheFileTheUserMeant) {
    struct Case {
        const wchar_t* text;
        const wchar_t* program;
        const wchar_t* arguments;
    } cases[] = {
        // C:\kp.exe is what the system itself would try first here.
        {L"C:\\kp launch\\tool.exe -x", L"C:\\kp launch\\tool.exe", L"-x"},
        {L"calc.exe", L"C:\\windows\\system32\\calc.exe", L""},
        {L"calc", L"C:\\windows\\system32\\calc.exe", L""},
        {L"notepad.exe C:\\x.txt", L"C:\\windows\\notepad.exe", L"C:\\x.txt"},
        {L"\"C:\\Program Files\\App\\app.exe\" -x", L"C:\\Program Files\\App\\app.exe", L"-x"},
        {L"C:\\Program Files\\App\\app.exe -x", L"C:\\Program Files\\App\\app.exe", L"-x"},
        {L"C:\\Program Files\\App\\app.exe", L"C:\\Program Files\\App\\app.exe", L""},
        {L"  \"C:\\Program Files\\App\\app.exe", L"C:\\Program Files\\App\\app.exe", L""},
        {L"\"calc.exe\"  /x", L"C:\\windows\\system32\\calc.exe", L"/x"},
        {L"C:\\kp launch\\tool.exe  \"a  b\" c ", L"C:\\kp launch\\tool.exe", L"\"a  b\" c "},
    };
    for (const Case& c : cases) {
        System system;
        auto command = system.resolve(c.text);
        ASSERT_TRUE(command.has_value()) << c.text;
        EXPECT_EQ(command->program, c.program);
        EXPECT_EQ(command->arguments, c.arguments);
    }
}

TEST(LaunchCommandTest, NothingStartsWhenTheTextNamesNoProgram) {
    for (const wchar_t* text :
         {L"", L"   ", L"\"\" -x", L"C:\\kp launch\\missing.exe -x", L"C:\\no\\such.exe",
          L"\"C:\\kp launch\\missing.exe\"", L"nosuch.exe -x", L"C:\\kp launch"}) {
        System system;
        EXPECT_FALSE(system.resolve(text).has_value()) << text;
        // A path is never looked for elsewhere.
        for (const auto& name : system.searched) {
            EXPECT_EQ(name.find(L'\\'), std::wstring::npos);
        }
    }
}

TEST(LaunchCommandTest, CommandLinesQuoteTheProgram) {
    EXPECT_EQ(app::commandLineOf({L"C:\\kp launch\\tool.exe", L"-x \"a b\""}),
              L"\"C:\\kp launch\\tool.exe\" -x \"a b\"");
    EXPECT_EQ(app::commandLineOf({L"C:\\tool.exe", L""}), L"\"C:\\tool.exe\"");
    EXPECT_TRUE(app::isBatchFile(L"C:\\Tools\\run me.BAT"));
    EXPECT_TRUE(app::isBatchFile(L"C:\\Tools\\run.cmd"));
    EXPECT_FALSE(app::isBatchFile(L"C:\\Tools\\run.exe"));
    EXPECT_FALSE(app::isBatchFile(L"bat"));
    EXPECT_EQ(app::batchCommandLineOf(L"C:\\windows\\system32\\cmd.exe",
                                      {L"C:\\Tools\\run me.bat", L"\"a b\""}),
              L"\"C:\\windows\\system32\\cmd.exe\" /s /c \"\"C:\\Tools\\run me.bat\" \"a b\"\"");
}

}  // namespace
