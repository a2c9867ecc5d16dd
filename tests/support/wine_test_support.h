// Helpers shared by the Windows tests: waiting with a deadline while messages are served, scratch
// files and environment, and pictures to tell icons apart. The testbed (its ports, the phone's end,
// host commands) and the helper windows come with it.
#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>

#include "framework/handle.h"
#include "helper_windows.h"
#include "testbed.h"

namespace testing_support {

// Runs the message loop's work (posted and sent messages, hand-overs to the main thread) until
// done() holds or the deadline passes; returns done()'s last answer.
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
// Starts a timer of the thread and serves messages until it has ticked `ticks` times (false when
// the deadline passes first). By then every timer of the thread that was running before, with
// no longer an interval, has ticked too: the event to wait for before checking that one did not.
bool waitForTimerTicks(UINT intervalMs, int ticks, DWORD timeoutMs = 5000);

// An environment variable's value (empty when unset).
std::wstring environment(const wchar_t* name);

// A program built beside this test program.
std::wstring siblingPath(const std::wstring& name);

// Deletes a registry tree under HKEY_CURRENT_USER (missing is fine).
void deleteUserKey(const wchar_t* path);

// A fresh directory below the temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory with backslashes and no trailing delimiter.
    std::wstring path() const { return path_.wstring(); }

  private:
    std::filesystem::path path_;
};

// A file's bytes (empty when it cannot be read).
std::string readBytes(const std::wstring& path);
// Writes a file whole, making its folder first.
void writeBytes(const std::wstring& path, const std::string& bytes);

// Sets an environment variable (nullptr removes it) for the test's duration and puts the former
// state back.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const wchar_t* name, const wchar_t* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::wstring name_;
    std::wstring old_;
    bool had_ = false;
};

// A 16x16 icon of one colour, so a test can tell pictures apart.
framework::Icon solidIcon(COLORREF colour);
// The colour of an icon's centre pixel (CLR_INVALID for no icon).
COLORREF iconColour(HICON icon);

// Closes whatever menu is open once the thread's menu loop runs, then lets go of itself.
void endMenuSoon();

}  // namespace testing_support
