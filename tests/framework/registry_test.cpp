#include <gtest/gtest.h>

#include "framework/exception.h"
#include "framework/registry.h"

using framework::Exception;
using framework::RegistryKey;

namespace {

const wchar_t* kTestKey = L"Software\\KeypilotTests\\Registry";

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }
};

std::wstring errorOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const Exception& e) {
        return e.message();
    }
    return L"(nothing raised)";
}

TEST_F(RegistryTest, TextAndIntegerValuesRoundTripWithTheirTypes) {
    auto key = RegistryKey::create(HKEY_CURRENT_USER, kTestKey);
    key.writeText(L"name", L"Свойства");
    key.writeInteger(L"number", -5);
    EXPECT_EQ(key.readText(L"name").value(), L"Свойства");
    EXPECT_EQ(key.readInteger(L"number"), -5);
    DWORD type = 0;
    RegQueryValueExW(key.handle(), L"name", nullptr, &type, nullptr, nullptr);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    RegQueryValueExW(key.handle(), L"number", nullptr, &type, nullptr, nullptr);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
}

TEST_F(RegistryTest, MissingValuesAndWrongTypesGiveTheFrameworkTexts) {
    auto key = RegistryKey::create(HKEY_CURRENT_USER, kTestKey);
    EXPECT_FALSE(key.readText(L"missing").has_value());
    EXPECT_EQ(errorOf([&] { key.readInteger(L"missing"); }), L"Failed to get data for 'missing'");
    key.writeInteger(L"mouse", 10);
    EXPECT_EQ(errorOf([&] { key.readText(L"mouse"); }), L"Invalid data type for 'mouse'");
    key.writeText(L"text", L"12");
    EXPECT_EQ(errorOf([&] { key.readInteger(L"text"); }), L"Invalid data type for 'text'");
}

TEST_F(RegistryTest, FailuresNameTheKeyOrValue) {
    RegistryKey closed;
    EXPECT_EQ(errorOf([&] { closed.writeText(L"exe", L"x"); }), L"Failed to set data for 'exe'");
    EXPECT_EQ(errorOf([&] { closed.createSubKey(L"Keypilot"); }), L"Failed to create key Keypilot");
    EXPECT_FALSE(RegistryKey::open(HKEY_CURRENT_USER, L"Software\\KeypilotTests\\Nope").isOpen());
}

TEST_F(RegistryTest, OSErrorCarriesTheSystemWording) {
    framework::OSError error(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(error.message().rfind(L"System Error.  Code: 2.\r\n", 0), 0u);
    EXPECT_GT(error.message().size(), 25u);
    EXPECT_EQ(framework::OSError(0).message(), L"A call to an OS function failed");
}

}  // namespace
