// phone.exe run for real: it writes to the program's end of a port pair and the test reads what
// arrives at the other end, write by write.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "framework/handle.h"
#include "framework/text.h"
#include "phone_keys.h"
#include "wine_test_support.h"

namespace {

using namespace std::chrono_literals;

// Every read that brought bytes at the test's end, until `total` bytes have come or the deadline
// passes.
std::vector<std::string> readChunks(testing_support::PortEnd& reader, size_t total,
                                    std::chrono::milliseconds limit = 20s) {
    std::vector<std::string> seen;
    size_t bytes = 0;
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (bytes < total && std::chrono::steady_clock::now() < deadline) {
        // A read waits a while for the first byte and returns with it at once.
        std::string chunk = reader.read(100);
        if (chunk.empty()) {
            continue;
        }
        bytes += chunk.size();
        seen.push_back(std::move(chunk));
    }
    return seen;
}

struct PhoneRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // standard output and standard error together
};

// A program built beside this test.
std::wstring siblingPath(const char* name) {
    return testing_support::siblingPath(framework::fromUtf8(name));
}

PhoneRun runProgram(const std::wstring& exe, const std::wstring& arguments,
                    std::optional<std::string> input = std::nullopt) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    framework::KernelHandle outRead, outWrite, inRead, inWrite;
    EXPECT_TRUE(CreatePipe(outRead.put(), outWrite.put(), &inherit, 0));
    SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
    if (input) {
        EXPECT_TRUE(CreatePipe(inRead.put(), inWrite.put(), &inherit, 0));
        SetHandleInformation(inWrite.get(), HANDLE_FLAG_INHERIT, 0);
    } else {
        inRead.reset(CreateFileW(L"NUL", GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead.get();
    startup.hStdOutput = outWrite.get();
    startup.hStdError = outWrite.get();
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    PhoneRun run;
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start " << framework::toUtf8(exe) << ": error " << GetLastError();
        return run;
    }
    framework::KernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    outWrite.reset();
    inRead.reset();
    if (input) {
        DWORD written = 0;
        WriteFile(inWrite.get(), input->data(), static_cast<DWORD>(input->size()), &written,
                  nullptr);
        inWrite.reset();
    }
    // Read until the child's end of the pipe closes, then collect its exit code.
    char buffer[1024];
    DWORD got = 0;
    while (ReadFile(outRead.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        run.output.append(buffer, got);
    }
    EXPECT_EQ(WaitForSingleObject(processHandle.get(), 60000), WAIT_OBJECT_0);
    GetExitCodeProcess(processHandle.get(), &run.exitCode);
    return run;
}

PhoneRun runPhone(const std::wstring& arguments, std::optional<std::string> input = std::nullopt) {
    return runProgram(siblingPath(KEYPILOT_PHONE_EXE), arguments, std::move(input));
}

// phone.exe writes to the first port of the testbed's first pair, the test reads the second.
class PhoneExe : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto pair = testing_support::testbedPair(0);
        port_ = pair.local;
        reader_.emplace(pair.remote);
        ASSERT_TRUE(reader_->isOpen()) << "cannot open " << framework::toUtf8(pair.remote);
    }
    std::wstring port_;
    std::optional<testing_support::PortEnd> reader_;
};

using Chunks = std::vector<std::string>;

// Reads at the far end while phone.exe runs, so that each write is seen on its own.
struct Observed {
    PhoneRun run;
    Chunks chunks;
};
Observed observe(testing_support::PortEnd& reader, size_t total, const std::wstring& arguments,
                 std::optional<std::string> input = std::nullopt) {
    auto chunks =
        std::async(std::launch::async, [&reader, total] { return readChunks(reader, total); });
    Observed seen;
    seen.run = runPhone(arguments, std::move(input));
    seen.chunks = chunks.get();
    return seen;
}

TEST_F(PhoneExe, EachCodeIsOneWriteOfTwoBytes) {
    auto [run, chunks] = observe(*reader_, 6, port_ + L" 06 right CLICK --pause 300");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(chunks, (Chunks{"06", "06", "05"}));
    EXPECT_NE(run.output.find("sent 06 (right)"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("sent 05 (click)"), std::string::npos) << run.output;
}

// Frames with their parameters, a Russian text from the wide command line included.
TEST_F(PhoneExe, EachFrameIsOneWrite) {
    const std::string text = "TX0012D09FD180D0B8D0B2D0B5D182";
    auto [run, chunks] = observe(*reader_, 10 + text.size() + 4,
                                 port_ + L" --pause 300 move 10 -5 type \"Привет\" playpause");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(chunks, (Chunks{"MV+010-005", text, "KYPP"}));
    EXPECT_NE(run.output.find("sent MV+010-005 (move 10 -5)"), std::string::npos) << run.output;
}

TEST_F(PhoneExe, RawTextGoesInOneWrite) {
    auto [run, chunks] = observe(*reader_, 9, port_ + L" --pause 300 --raw 0606 --raw 02\\r 08");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(chunks, (Chunks{"0606", "02\r", "08"}));
}

TEST_F(PhoneExe, BadArgumentsSendNothing) {
    auto run = runPhone(port_ + L" 06 sideways 05");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("unknown code \"sideways\""), std::string::npos) << run.output;
    run = runPhone(port_ + L" 06 --raw \\q");
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    // Whatever a bad run had sent would arrive before the marker.
    run = runPhone(port_ + L" --raw marker");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(readChunks(*reader_, 6), (Chunks{"marker"}));
}

TEST_F(PhoneExe, PortThatCannotBeOpenedIsNamed) {
    auto run = runPhone(L"COM29 06");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.output.find("cannot open COM29"), std::string::npos) << run.output;
}

TEST_F(PhoneExe, InteractiveWithoutConsoleReadsWords) {
    // A typing error is reported and skipped; "q" ends before "down".
    auto [run, chunks] =
        observe(*reader_, 4, port_ + L" --interactive --pause 300", "right\nbogus PgUp\nq down\n");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(chunks, (Chunks{"06", "11"}));
    EXPECT_NE(run.output.find("unknown code \"bogus\""), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("skipped"), std::string::npos) << run.output;
}

// Ends a child that a failed test left waiting, so that nothing outlives the test.
class ChildProcess {
  public:
    explicit ChildProcess(const PROCESS_INFORMATION& info)
        : process_(info.hProcess), thread_(info.hThread), id_(info.dwProcessId) {}
    ~ChildProcess() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 99);
        }
    }
    HANDLE handle() const { return process_.get(); }
    DWORD id() const { return id_; }

  private:
    framework::KernelHandle process_, thread_;
    DWORD id_;
};

// The keys reach phone.exe through a console of its own, the way a user's typing does: a helper
// attaches to that console and puts key events into its input.
TEST_F(PhoneExe, InteractiveKeysSendCodes) {
    auto collected = std::async(std::launch::async, [this] { return readChunks(*reader_, 6); });

    std::wstring exe = siblingPath(KEYPILOT_PHONE_EXE);
    std::wstring commandLine = L"\"" + exe + L"\" " + port_ + L" --interactive --pause 300";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                               CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &info))
        << GetLastError();
    ChildProcess phoneExe(info);

    // Right, Shift alone (ignored), Enter, Page Down, then q to quit.
    auto typed = runProgram(siblingPath(KEYPILOT_CONSOLE_KEYS_EXE),
                            std::to_wstring(phoneExe.id()) + L" 0x27 0x10 0x0D:13 0x22 0x51:0x71");
    EXPECT_EQ(typed.exitCode, 0u) << "console_keys failed";

    EXPECT_EQ(WaitForSingleObject(phoneExe.handle(), 30000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(phoneExe.handle(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(collected.get(), (Chunks{"06", "05", "09"}));
}

TEST(PhoneKeys, KeysStandForCodes) {
    struct Case {
        WORD key;
        wchar_t character;
        const char* code;
    };
    for (const auto& c : std::vector<Case>{
             {VK_UP, 0, "02"},
             {VK_LEFT, 0, "04"},
             {VK_RIGHT, 0, "06"},
             {VK_DOWN, 0, "08"},
             {VK_RETURN, L'\r', "05"},
             {VK_ESCAPE, 0x1B, "01"},
             {VK_PRIOR, 0, "11"},
             {VK_NEXT, 0, "09"},
             {VK_HOME, 0, "03"},
             {VK_LWIN, 0, "03"},
             {'S', L's', "03"},
             {'L', L'L', "00"},
             {VK_ADD, L'+', "07"},
             {VK_OEM_PLUS, L'+', "07"},
             {VK_SUBTRACT, L'-', "10"},
             {VK_OEM_MINUS, L'-', "10"},
         }) {
        auto action = phone::actionForKey(c.key, c.character, 0);
        EXPECT_EQ(action.kind, phone::KeyAction::Kind::send) << c.code;
        EXPECT_EQ(action.code, c.code);
    }
    EXPECT_EQ(phone::actionForKey('Q', L'q', 0).kind, phone::KeyAction::Kind::quit);
    EXPECT_EQ(phone::actionForKey('C', 3, LEFT_CTRL_PRESSED).kind, phone::KeyAction::Kind::quit);
    EXPECT_EQ(phone::actionForKey(VK_SHIFT, 0, SHIFT_PRESSED).kind, phone::KeyAction::Kind::ignore);
    EXPECT_EQ(phone::actionForKey('X', L'x', 0).kind, phone::KeyAction::Kind::ignore);
}

}  // namespace
