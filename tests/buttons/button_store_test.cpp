// The user's buttons in the real registry: what is read beside the other settings, a value of the
// wrong type shown as broken and left as it is, and the window's OK writing only what changed.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

#include "buttons/button_store.h"
#include "framework/registry.h"
#include "wine_test_support.h"

namespace {

constexpr const wchar_t* kSection = L"Software\\Corvane\\Keypilot";

class ButtonStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { testing_support::deleteUserKey(L"Software\\Corvane"); }
    void TearDown() override { testing_support::deleteUserKey(L"Software\\Corvane"); }

    static framework::RegistryKey section() {
        return framework::RegistryKey::create(HKEY_CURRENT_USER, kSection);
    }
    static DWORD valueCount() {
        const auto key = framework::RegistryKey::open(HKEY_CURRENT_USER, kSection, KEY_READ);
        DWORD count = 0;
        if (key.isOpen()) {
            RegQueryInfoKeyW(key.handle(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &count, nullptr, nullptr, nullptr, nullptr);
        }
        return count;
    }

    app::ButtonStore store_;
};

// A new user gets the starting set, and nothing is stored until something is changed.
TEST_F(ButtonStoreTest, TheStartingSetIsNotStoredUntilChanged) {
    const app::ButtonList before = store_.read();
    ASSERT_EQ(before.entries.size(), 6u);
    store_.write(before, before);
    EXPECT_EQ(valueCount(), 0u);

    app::ButtonList now = before;
    now.entries.pop_back();
    store_.write(before, now);
    EXPECT_EQ(store_.read().entries.size(), 5u);
    EXPECT_EQ(section().readText(L"buttons"), L"0001,0002,0003,0004,0005");
    EXPECT_EQ(section().readText(L"lastButton"), L"0006");
    EXPECT_FALSE(section().valueExists(L"0006"));
}

// A DWORD where a button's text belongs is a broken button: listed so, kept in its place, never
// rewritten when other buttons change; the settings beside the buttons are not theirs to touch.
TEST_F(ButtonStoreTest, AValueOfTheWrongTypeIsBrokenAndLeftAlone) {
    const auto key = section();
    key.writeInteger(L"0001", 7);
    key.writeText(L"0002", L"keys|Show desktop|Win+D");
    key.writeText(L"buttons", L"0002,0001");
    key.writeText(L"lastButton", L"0004");
    key.writeText(L"mouse", L"5");

    const app::ButtonList before = store_.read();
    ASSERT_EQ(before.entries.size(), 2u);
    EXPECT_EQ(before.entries[0].id, 2);
    ASSERT_TRUE(before.entries[0].definition);
    EXPECT_EQ(before.entries[0].definition->name, L"Show desktop");
    EXPECT_EQ(before.entries[1].id, 1);
    EXPECT_FALSE(before.entries[1].definition);

    app::ButtonList now = before;
    now.entries[0].definition->name = L"Desktop";
    now.entries[0].edited = true;
    app::ButtonDefinition text{L"Hello", {}};
    text.action.kind = app::ButtonKind::Text;
    text.action.text = L"hi";
    ASSERT_EQ(now.add(text), 5);
    store_.write(before, now);

    EXPECT_EQ(key.readInteger(L"0001"), 7);
    EXPECT_EQ(key.readText(L"0002"), L"keys|Desktop|Win+D");
    EXPECT_EQ(key.readText(L"0005"), L"text|Hello|hi");
    EXPECT_EQ(key.readText(L"buttons"), L"0002,0001,0005");
    EXPECT_EQ(key.readText(L"lastButton"), L"0005");
    EXPECT_EQ(key.readText(L"mouse"), L"5");
    EXPECT_EQ(valueCount(), 6u);
}

}  // namespace
