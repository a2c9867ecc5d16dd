#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "desktop/launch_program.h"

using app::LaunchCommand;

namespace {

// A disk, the App Paths registrations and the folders as the launch sees them.
struct System {
    std::set<std::wstring> files{L"C:\\kp launch\\tool.exe",
                                 L"C:\\kp.exe",
                                 L"C:\\kp",
                                 L"C:\\Program Files\\App\\app.exe",
                                 L"C:\\x.txt",
                                 L"C:\\windows\\system32\\calc.exe",
                                 L"C:\\windows\\notepad.exe",
                                 L"C:\\Tools\\tool.exe",
                                 L"C:\\Tools\\run.BAT",
                                 L"C:\\Tools\\plain",
                                 L"C:\\Registered\\app v2.exe"};
    std::map<std::wstring, std::wstring> registered{
        {L"myapp.exe", L"\"C:\\Registered\\app v2.exe\""}, {L"gone.exe", L"C:\\Gone\\gone.exe"}};
    std::vector<std::wstring> folders{L"C:\\windows\\system32", L"C:\\windows",    L"", L".",
                                      L"relative\\bin",         L"\"C:\\Tools\\\""};
    std::vector<std::wstring> looked;

    std::optional<LaunchCommand> resolve(std::wstring_view text) {
        return app::resolveLaunchCommand(
            text, {[this](const std::wstring& path) {
                       looked.push_back(path);
                       return files.contains(path);
                   },
                   [this](const std::wstring& name) -> std::optional<std::wstring> {
                       auto it = registered.find(name);
                       if (it == registered.end()) {
                           return std::nullopt;
                       }
                       return it->second;
                   },
                   folders});
    }
};

TEST(LaunchCommandTest, TheProgramIsTheFileTheUserMeant) {
    struct Case {
        const wchar_t* text;
        const wchar_t* program;
        const wchar_t* arguments;
    } cases[] = {
        // C:\kp.exe and C:\kp are what the system itself would try first here.
        {L"C:\\kp launch\\tool.exe -x", L"C:\\kp launch\\tool.exe", L"-x"},
        {L"calc.exe", L"C:\\windows\\system32\\calc.exe", L""},
        {L"calc", L"C:\\windows\\system32\\calc.exe", L""},
        {L"notepad.exe C:\\x.txt", L"C:\\windows\\notepad.exe", L"C:\\x.txt"},
        {L"\"C:\\Program Files\\App\\app.exe\" -x", L"C:\\Program Files\\App\\app.exe", L"-x"},
        {L"C:\\Program Files\\App\\app.exe -x", L"C:\\Program Files\\App\\app.exe", L"-x"},
        {L"C:\\Program Files\\App\\app.exe --in C:\\x.exe", L"C:\\Program Files\\App\\app.exe",
         L"--in C:\\x.exe"},
        {L"C:\\Program Files\\App\\app.exe", L"C:\\Program Files\\App\\app.exe", L""},
        {L"  \"C:\\Program Files\\App\\app.exe", L"C:\\Program Files\\App\\app.exe", L""},
        {L"\"calc.exe\"  /x", L"C:\\windows\\system32\\calc.exe", L"/x"},
        {L"C:\\kp launch\\tool.exe  \"a  b\" c ", L"C:\\kp launch\\tool.exe", L"\"a  b\" c "},
        // No part with a program extension: the longest existing part.
        {L"C:\\kp -x C:\\x.txt", L"C:\\kp", L"-x C:\\x.txt"},
        // Registered (quotes removed), else the folders: a quoted PATH entry counts.
        {L"myapp -x", L"C:\\Registered\\app v2.exe", L"-x"},
        {L"TOOL.exe", L"C:\\Tools\\TOOL.exe", L""},
        {L"run.BAT a", L"C:\\Tools\\run.BAT", L"a"},
    };
    for (const Case& c : cases) {
        System system;
        system.files.insert(L"C:\\Tools\\TOOL.exe");
        auto command = system.resolve(c.text);
        ASSERT_TRUE(command.has_value()) << c.text;
        EXPECT_EQ(command->program, c.program);
        EXPECT_EQ(command->arguments, c.arguments);
    }
}

TEST(LaunchCommandTest, NothingStartsWhenTheTextNamesNoProgram) {
    for (const wchar_t* text :
         {L"", L"   ", L"\"\" -x", L"C:\\kp launch\\missing.exe -x", L"C:\\no\\such.exe",
          L"\"C:\\kp launch\\missing.exe\"", L"nosuch.exe -x", L"C:\\Program Files\\App",
          L"gone -x", L"tools\\app.exe", L"..\\app.exe", L"C:app.exe", L"\\kp.exe",
          L"\"kp launch\\tool.exe\"", L"plain"}) {
        System system;
        EXPECT_FALSE(system.resolve(text).has_value()) << text;
        // Only full paths are ever looked at, and no shorter part of a program path.
        for (const auto& path : system.looked) {
            EXPECT_TRUE(app::isFullyQualified(path)) << text << ": " << path;
            EXPECT_NE(path, L"C:\\kp") << text;
        }
    }
}

TEST(LaunchCommandTest, ABareNameIsLookedForInTheSystemsPlacesInOrder) {
    System system;
    system.folders = {L"C:\\windows\\system32", L"C:\\windows", L".", L"C:\\Tools"};
    system.registered[L"notepad.exe"] = L"C:\\Registered\\app v2.exe";
    EXPECT_EQ(system.resolve(L"notepad")->program, L"C:\\Registered\\app v2.exe")
        << "the registration comes before every folder";
    system.looked.clear();
    EXPECT_FALSE(system.resolve(L"missing").has_value());
    EXPECT_EQ(system.looked,
              (std::vector<std::wstring>{L"C:\\windows\\system32\\missing.exe",
                                         L"C:\\windows\\missing.exe", L"C:\\Tools\\missing.exe"}));
}

TEST(LaunchCommandTest, CommandLinesQuoteTheProgram) {
    EXPECT_EQ(app::commandLineOf({L"C:\\kp launch\\tool.exe", L"-x \"a b\""}),
              L"\"C:\\kp launch\\tool.exe\" -x \"a b\"");
    EXPECT_EQ(app::commandLineOf({L"C:\\tool.exe", L""}), L"\"C:\\tool.exe\"");
    EXPECT_EQ(app::batchCommandLineOf(L"C:\\windows\\system32\\cmd.exe",
                                      {L"C:\\Tools\\run me.bat", L"\"a b\" c"}),
              L"\"C:\\windows\\system32\\cmd.exe\" /d /s /v:off /c "
              L"\"\"C:\\Tools\\run me.bat\" \"a b\" c\"");
}

}  // namespace
