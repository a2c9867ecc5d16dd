// Helpers for the translation layer's tests under Wine: a scratch directory, catalogue files.
#pragma once

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace i18n::testing {

// A fresh directory below the temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                (L"keypilot_i18n_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                 std::to_wstring(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory as the layer sees paths: backslashes, no trailing delimiter.
    std::wstring path() const { return path_.wstring(); }
    std::wstring localeRoot() const { return path() + L"\\locale"; }

  private:
    std::filesystem::path path_;
};

inline std::string readBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::wstring& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A catalogue made by msgfmt at build time.
inline std::string msgfmtCatalogue(const std::wstring& name) {
    std::wstring dir = L"" KEYPILOT_TEST_MO_DIR;
    return readBytes(dir + L"/" + name);
}

// Puts a catalogue where a domain rooted at root looks for language's catalogue of domain.
inline std::wstring installCatalogue(const std::wstring& root, const std::wstring& language,
                                     const std::wstring& domain, const std::string& bytes) {
    std::wstring path = root + L"\\" + language + L"\\LC_MESSAGES\\" + domain + L".mo";
    writeBytes(path, bytes);
    return path;
}

// Sets an environment variable for the test's duration and restores the former value.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const wchar_t* name, const wchar_t* value) : name_(name) {
        wchar_t buffer[512];
        DWORD n = GetEnvironmentVariableW(name, buffer, 512);
        had_ = n > 0 && n < 512;
        if (had_)
            old_.assign(buffer, n);
        SetEnvironmentVariableW(name, value);
    }
    ~ScopedEnvironment() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::wstring name_;
    std::wstring old_;
    bool had_ = false;
};

}  // namespace i18n::testing
