// The main thread never waits on a launch or a shell call. A launch's file checks and its process
// start hold for seconds here (a share that does not answer): they run on the launcher's thread,
// for code 00 and for a program button alike, while the main thread answers, and each result
// comes back on the main thread. Shell calls run one at a time on one thread in a COM apartment,
// only the newest four waiting, each answered.
#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "desktop/command_handler.h"
#include "desktop/launch_program.h"
#include "desktop/shell_runner.h"
#include "framework/handle.h"
#include "slow_calls.h"
#include "wine_test_support.h"

namespace {

using testing_support::pumpUntil;
using testing_support::SlowCalls;

TEST(OffTheMainThreadTest, LaunchesHoldOnTheirOwnThreadWhileTheMainThreadAnswers) {
    const DWORD mainThread = GetCurrentThreadId();
    auto slow = std::make_shared<SlowCalls>();
    app::ProgramLauncher launcher;
    launcher.seams = slow->launch();

    // Code 00 through the command handler, then a program button's start.
    app::CommandContext context;
    context.programText = [] { return std::wstring(L"C:\\windows\\system32\\cmd.exe /c exit"); };
    context.launcher = &launcher;
    app::runCommand(phonelink::Command::Launch, context);
    std::vector<std::pair<DWORD, DWORD>> results;  // the error, the thread told
    launcher.launch(L"C:\\kp missing\\tool.exe", L"-x", L"",
                    [&](DWORD error) { results.emplace_back(error, GetCurrentThreadId()); });
    EXPECT_TRUE(pumpUntil([&] { return slow->allHolding({SlowCalls::kLaunch}); }, 2000));

    const framework::Window window{CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                                   nullptr, GetModuleHandleW(nullptr), nullptr)};
    testing_support::AnswerWatch watch(window.get());
    EXPECT_TRUE(pumpUntil([&] { return watch.answered() >= 10; }, 2000));
    EXPECT_TRUE(slow->allHolding({SlowCalls::kLaunch})) << "answered while the launch held";
    watch.stop();
    EXPECT_EQ(watch.failed(), 0);

    slow->release();
    ASSERT_TRUE(pumpUntil([&] { return !results.empty(); }));
    EXPECT_EQ(results, (std::vector<std::pair<DWORD, DWORD>>{{ERROR_FILE_NOT_FOUND, mainThread}}));
    // cmd.exe checked and started, the missing tool checked: none of it on the main thread.
    const auto threads = slow->threads(SlowCalls::kLaunch);
    EXPECT_EQ(threads.size(), 3u);
    for (DWORD thread : threads) {
        EXPECT_NE(thread, mainThread);
    }
}

TEST(OffTheMainThreadTest, ShellCallsRunOneAtATimeTheNewestFourWaitingAndEachIsAnswered) {
    const DWORD mainThread = GetCurrentThreadId();
    app::ShellRunner shell;
    const framework::KernelHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::mutex lock;
    std::vector<std::wstring> made;
    std::vector<DWORD> threads;
    bool apartments = true;
    shell.execute = [&](const std::wstring& file, const std::wstring&) -> DWORD {
        APTTYPE type{};
        APTTYPEQUALIFIER qualifier{};
        // The first single-threaded apartment of a process is its main one.
        const bool apartment = SUCCEEDED(CoGetApartmentType(&type, &qualifier)) &&
                               (type == APTTYPE_STA || type == APTTYPE_MAINSTA);
        {
            std::lock_guard guard(lock);
            made.push_back(file);
            threads.push_back(GetCurrentThreadId());
            apartments = apartments && apartment;
        }
        WaitForSingleObject(release.get(), 10000);
        return file == L"6" ? ERROR_NO_ASSOCIATION : ERROR_SUCCESS;
    };
    std::map<std::wstring, DWORD> results;
    std::vector<DWORD> told;
    auto run = [&](const std::wstring& file) {
        shell.run(file, {}, [&, file](DWORD error) {
            results[file] = error;
            told.push_back(GetCurrentThreadId());
        });
    };
    auto madeSoFar = [&] {
        std::lock_guard guard(lock);
        return made;
    };
    run(L"0");
    ASSERT_TRUE(pumpUntil([&] { return madeSoFar().size() == 1; }));
    for (int i = 1; i <= 6; ++i) {
        run(std::to_wstring(i));
    }
    // The two oldest of the six that wait go, and say so while the first call still holds.
    ASSERT_TRUE(pumpUntil([&] { return results.size() == 2; }));
    const DWORD notRun = app::CallQueue::kNotRun;
    EXPECT_EQ(results, (std::map<std::wstring, DWORD>{{L"1", notRun}, {L"2", notRun}}));

    SetEvent(release.get());
    ASSERT_TRUE(pumpUntil([&] { return results.size() == 7; }));
    EXPECT_EQ(madeSoFar(), (std::vector<std::wstring>{L"0", L"3", L"4", L"5", L"6"}));
    EXPECT_EQ(results[L"0"], static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(results[L"6"], static_cast<DWORD>(ERROR_NO_ASSOCIATION));
    EXPECT_EQ(told, std::vector<DWORD>(7, mainThread));
    EXPECT_EQ(threads, std::vector<DWORD>(5, threads.front())) << "one thread";
    EXPECT_NE(threads.front(), mainThread);
    EXPECT_TRUE(apartments) << "COM initialised as a single-threaded apartment";

    // The shell itself: a file that is not there is told so, and no message of its own shows.
    app::ShellRunner real;
    std::optional<DWORD> error;
    real.run(L"C:\\kp no such file.txt", {}, [&](DWORD e) { error = e; });
    ASSERT_TRUE(pumpUntil([&] { return error.has_value(); }, 10000));
    EXPECT_EQ(*error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
