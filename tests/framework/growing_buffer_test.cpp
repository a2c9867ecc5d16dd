#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "framework/growing_buffer.h"

using framework::readGrowingBuffer;

namespace {

// A call that holds `text` and answers a buffer too small for it the way `cut` says: with the
// size it needs (false) or by cutting the text to the buffer, less `spare` (true).
struct FakeCall {
    std::wstring text;
    bool cut = false;
    DWORD spare = 0;
    int calls = 0;

    DWORD operator()(wchar_t* buffer, DWORD size) {
        ++calls;
        if (text.size() + spare < size) {
            text.copy(buffer, text.size());
            buffer[text.size()] = L'\0';
            return static_cast<DWORD>(text.size());
        }
        if (!cut) {
            return static_cast<DWORD>(text.size() + 1);
        }
        text.copy(buffer, size - spare);
        return size - spare;
    }
};

TEST(GrowingBufferTest, AnyTextComesWholeHoweverTheCallReportsACutOne) {
    std::wstring list(L"one\0two\0", 8);
    std::wstring longText(5000, L'k');
    for (const std::wstring& text : {std::wstring(L"x"), longText, list}) {
        FakeCall needsSize{text};
        EXPECT_EQ(readGrowingBuffer(needsSize, 4), text);
        EXPECT_LE(needsSize.calls, 2) << "the size asked for is used";
        for (DWORD spare : {0u, 1u, 2u}) {
            FakeCall cuts{text, true, spare};
            EXPECT_EQ(readGrowingBuffer(cuts, 4, spare), text) << spare;
        }
    }
    EXPECT_EQ(readGrowingBuffer([](wchar_t*, DWORD) { return 0; }), L"") << "a failed call";
    EXPECT_EQ(readGrowingBuffer([](wchar_t*, DWORD) { return -1; }), L"");
}

TEST(GrowingBufferTest, ReadsARealTextLongerThanTheFirstBuffer) {
    std::wstring value(3000, L'v');
    ASSERT_TRUE(SetEnvironmentVariableW(L"KEYPILOT_GROWING_BUFFER", value.c_str()));
    EXPECT_EQ(readGrowingBuffer(
                  [](wchar_t* buffer, DWORD size) {
                      return GetEnvironmentVariableW(L"KEYPILOT_GROWING_BUFFER", buffer, size);
                  },
                  16),
              value);
    SetEnvironmentVariableW(L"KEYPILOT_GROWING_BUFFER", nullptr);
}

}  // namespace
