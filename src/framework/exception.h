// The framework's exceptions: Exception carries a UTF-16 message; OSError an operating-system
// error code with the system's wording.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace framework {

class Exception : public std::exception {
  public:
    explicit Exception(std::wstring message);
    const std::wstring& message() const noexcept { return message_; }
    // UTF-8 form of the message.
    const char* what() const noexcept override { return utf8_.c_str(); }

  private:
    std::wstring message_;
    std::string utf8_;
};

// "System Error.  Code: %d." followed by CR LF and the system's text for the code, or
// "A call to an OS function failed" when there is no code.
class OSError : public Exception {
  public:
    explicit OSError(DWORD code);
    DWORD code() const noexcept { return code_; }

  private:
    DWORD code_;
};

// Raises OSError for GetLastError().
[[noreturn]] void raiseLastOSError();

// The message of any exception as the user should read it.
std::wstring messageOf(const std::exception& e);

}  // namespace framework
