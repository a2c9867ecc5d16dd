#include "settings/remote_address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::wstring kDefault(app::kDefaultRemoteAddress);

TEST(RemoteAddress, OnlyAnHttpsAddressOfAtMost200CharactersReplacesTheDefault) {
    EXPECT_EQ(app::remoteAddressFrom(std::nullopt).address, kDefault);
    EXPECT_FALSE(app::remoteAddressFrom(std::wstring()).storedIgnored) << "empty: not set";
    const std::wstring longest = L"https://example.org/" + std::wstring(180, L'a');
    for (const std::wstring& taken : {std::wstring(L"https://example.org/kp/"),
                                      std::wstring(L"HTTPS://Example.org"), longest}) {
        const auto remote = app::remoteAddressFrom(taken);
        EXPECT_EQ(remote.address, taken);
        EXPECT_FALSE(remote.storedIgnored);
    }
    for (const std::wstring& ignored :
         {longest + L"a", std::wstring(L"http://example.org/"), std::wstring(L"https://"),
          std::wstring(L"https:///path"), std::wstring(L"https://example.org/a b"),
          std::wstring(L" https://example.org/"), std::wstring(L"example.org"),
          std::wstring(L"https://example.org/\n")}) {
        const auto remote = app::remoteAddressFrom(ignored);
        EXPECT_EQ(remote.address, kDefault);
        EXPECT_TRUE(remote.storedIgnored);
    }
}

TEST(RemoteAddress, TheVersionJoinsTheQueryBeforeAnyFragment) {
    EXPECT_EQ(app::addressWithVersion(L"https://corvane.ru/keypilot/remote/", 1),
              L"https://corvane.ru/keypilot/remote/?v=1");
    EXPECT_EQ(app::addressWithVersion(L"https://example.org/?lang=ru", 2),
              L"https://example.org/?lang=ru&v=2");
    EXPECT_EQ(app::addressWithVersion(L"https://example.org/?", 1), L"https://example.org/?v=1");
    EXPECT_EQ(app::addressWithVersion(L"https://example.org/#top", 1),
              L"https://example.org/?v=1#top");
    EXPECT_EQ(app::addressWithVersion(L"https://example.org/?a=1#x?y", 1),
              L"https://example.org/?a=1&v=1#x?y");
}

// The page reads the first "v": one that the address has already would speak for Keypilot.
TEST(RemoteAddress, TheVersionReplacesAnyVTheAddressHasAlready) {
    EXPECT_EQ(app::addressWithVersion(L"https://example.org/r/?v=9", 2),
              L"https://example.org/r/?v=2");
    EXPECT_EQ(app::addressWithVersion(L"https://example.org/?v=1&lang=ru&v&vv=3&&x=v=1#v=5", 2),
              L"https://example.org/?lang=ru&vv=3&x=v=1&v=2#v=5");
}

// A value that is ignored says which rule it broke, a blank first of all.
TEST(RemoteAddress, AnIgnoredValueSaysWhatIsWrongWithIt) {
    auto reason = [](const wchar_t* value) {
        return std::wstring(app::remoteAddressFrom(std::wstring(value)).ignoredBecause);
    };
    EXPECT_NE(reason(L"https://example.org/my page/").find(L"пробел"), std::wstring::npos);
    EXPECT_NE(reason(L"https://example.org/\t").find(L"пробел"), std::wstring::npos);
    EXPECT_NE(reason((L"https://example.org/" + std::wstring(181, L'a')).c_str()).find(L"200"),
              std::wstring::npos);
    EXPECT_NE(reason(L"http://example.org/").find(L"https://"), std::wstring::npos);
    EXPECT_EQ(app::remoteAddressFrom(std::wstring(L"https://example.org/")).ignoredBecause,
              nullptr);
}

}  // namespace
