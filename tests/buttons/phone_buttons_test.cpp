// The user's buttons as stored text: every kind written and read back, what makes a stored value
// broken, the combinations Windows keeps for itself, the set a new user starts from, and what OK
// writes (only what changed; a broken value never, unless changed).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "buttons/phone_buttons.h"

namespace {

using app::ButtonDefinition;
using app::ButtonKind;
using app::ButtonList;
using app::KeyCombination;
using app::PowerAction;
using Changes = std::vector<std::pair<std::wstring, std::optional<std::wstring>>>;

ButtonDefinition program(std::wstring name, std::wstring path, std::wstring arguments,
                         std::wstring folder) {
    ButtonDefinition definition{std::move(name), {}};
    definition.action.kind = ButtonKind::Program;
    definition.action.program = std::move(path);
    definition.action.arguments = std::move(arguments);
    definition.action.folder = std::move(folder);
    return definition;
}

ButtonDefinition withText(ButtonKind kind, std::wstring name, std::wstring text) {
    ButtonDefinition definition{std::move(name), {}};
    definition.action.kind = kind;
    definition.action.text = std::move(text);
    return definition;
}

ButtonDefinition keys(std::wstring name, KeyCombination combination) {
    ButtonDefinition definition{std::move(name), {}};
    definition.action.keys = combination;
    return definition;
}

std::wstring identity(const wchar_t* text) {
    return text;
}

ButtonList loaded(const app::StoredButtonValues& values) {
    return app::buttonsFrom(values, identity);
}

TEST(PhoneButtonsTest, EveryKindIsStoredAsTextAndReadBackTheSame) {
    ButtonDefinition power{L"Сон", {}};
    power.action.kind = ButtonKind::Power;
    power.action.power = PowerAction::Sleep;
    const std::vector<std::pair<ButtonDefinition, std::wstring>> cases{
        {keys(L"Show desktop", {false, false, false, true, L'D'}), L"keys|Show desktop|Win+D"},
        {keys(L"Tabs", {true, true, true, true, 0x22}), L"keys|Tabs|Ctrl+Alt+Shift+Win+PgDn"},
        {program(L"a|b 100%", L"C:\\Program Files\\App\\app.exe", L"--x \"a|b\" 5%", L"C:\\Work"),
         L"program|a%7Cb 100%25|C:\\Program Files\\App\\app.exe|--x \"a%7Cb\" 5%25|C:\\Work"},
        {program(L"Notes", L"notepad", L"", L""), L"program|Notes|notepad||"},
        {withText(ButtonKind::Text, L"Hi", L"Line 1\r\nLine\t2"), L"text|Hi|Line 1%0D%0ALine%092"},
        {withText(ButtonKind::Address, L"News", L"https://example.org/?q=a%20b|c"),
         L"address|News|https://example.org/?q=a%2520b%7Cc"},
        {power, L"power|Сон|sleep"},
    };
    for (const auto& [definition, text] : cases) {
        EXPECT_EQ(app::buttonValueText(definition), text);
        EXPECT_EQ(app::parseButtonValue(text), definition) << text;
    }
    // Escapes read in either case; the modifiers in any order.
    EXPECT_EQ(app::parseButtonValue(L"text|Hi|a%0d%0ab"),
              withText(ButtonKind::Text, L"Hi", L"a\r\nb"));
    EXPECT_EQ(app::parseButtonValue(L"keys|Tabs|Win+Shift+Alt+Ctrl+PgDn"), cases[1].first);
    EXPECT_TRUE(app::needsConfirmation(power.action));
    power.action.power = PowerAction::Lock;
    EXPECT_FALSE(app::needsConfirmation(power.action));
}

TEST(PhoneButtonsTest, ABrokenValueReadsAsNothing) {
    const std::wstring longest(app::kMaxButtonNameLength, L'Я');
    EXPECT_TRUE(app::parseButtonValue(L"power|" + longest + L"|lock"));
    for (const std::wstring& broken :
         std::vector<std::wstring>{L"",
                                   L"lock",
                                   L"power|Lock",
                                   L"power|Lock|lock|",
                                   L"power|Lock|hibernate",
                                   L"Power|Lock|lock",
                                   L"macro|Lock|lock",
                                   L"power||lock",
                                   L"power|   |lock",
                                   L"power|" + longest + L"Я|lock",
                                   L"power|a%0Ab|lock",
                                   L"power|a%G0|lock",
                                   L"power|a%4|lock",
                                   L"keys|x|",
                                   L"keys|x|Ctrl",
                                   L"keys|x|Ctrl+Ctrl+A",
                                   L"keys|x|Hyper+A",
                                   L"keys|x|ctrl+A",
                                   L"keys|x|A+Ctrl",
                                   L"keys|x|Ctrl+Alt+Delete",
                                   L"keys|x|Shift+Alt+Ctrl+Delete",
                                   L"keys|x|Win+L",
                                   L"keys|x|Win+Shift+L",
                                   L"program|x|||",
                                   L"program|x|tools\\app.exe||",
                                   L"program|x|..\\app.exe||",
                                   L"program|x|C:app.exe||",
                                   L"program|x|\"C:\\a.exe\"||",
                                   L"program|x|app|a%0Ab|",
                                   L"program|x|app||Work",
                                   L"text|x|",
                                   L"text|x|" + std::wstring(1001, L'a'),
                                   L"address|x|ftp://example.org/",
                                   L"address|x|https://",
                                   L"address|x|https://a b",
                                   L"address|x|example.org"}) {
        EXPECT_FALSE(app::parseButtonValue(broken)) << broken;
    }
}

TEST(PhoneButtonsTest, CombinationsWindowsKeepsForItselfAreRefused) {
    EXPECT_EQ(app::combinationText({true, false, true, false, 0x1B}), L"Ctrl+Shift+Esc");
    EXPECT_EQ(app::parseCombination(L"Alt+F4"), (KeyCombination{false, true, false, false, 0x73}));
    EXPECT_EQ(app::parseCombination(L"VolumeMute"),
              (KeyCombination{false, false, false, false, 0xAD}));
    EXPECT_TRUE(app::refusalOf({true, true, false, false, 0x2E}));
    EXPECT_TRUE(app::refusalOf({true, true, true, true, 0x2E}));
    EXPECT_TRUE(app::refusalOf({false, false, false, true, L'L'}));
    EXPECT_TRUE(app::refusalOf({true, false, true, true, L'L'}));
    EXPECT_FALSE(app::refusalOf({true, false, false, false, 0x2E}));
    EXPECT_FALSE(app::refusalOf({true, false, false, false, L'L'}));
    EXPECT_FALSE(app::refusalOf({false, false, false, true, L'D'}));
    // Every key of the list has a name of its own that reads back as that key.
    for (const auto& key : app::comboKeys()) {
        const KeyCombination combination{false, false, false, false, key.virtualKey};
        EXPECT_EQ(app::parseCombination(app::combinationText(combination)), combination)
            << std::wstring(key.id);
    }
}

TEST(PhoneButtonsTest, ANewUserStartsWithTheUsefulSetInTheirLanguage) {
    const ButtonList list =
        app::buttonsFrom({}, [](const wchar_t* text) { return std::wstring(L"<") + text + L">"; });
    ASSERT_EQ(list.entries.size(), 6u);
    EXPECT_EQ(list.lastId, 6);
    std::wstring stored;
    for (const auto& entry : list.entries) {
        ASSERT_TRUE(entry.definition);
        EXPECT_FALSE(entry.stored);
        stored += std::to_wstring(entry.id) + L"=" + app::buttonValueText(*entry.definition) + L";";
    }
    EXPECT_EQ(stored,
              L"1=power|<Заблокировать>|lock;2=keys|<Рабочий стол>|Win+D;"
              L"3=keys|<Закрыть окно>|Alt+F4;4=keys|<Диспетчер задач>|Ctrl+Shift+Esc;"
              L"5=keys|<Во весь экран>|F11;6=power|<Сон>|sleep;");
    // Only the sleep button asks for a confirmation.
    EXPECT_FALSE(app::needsConfirmation(list.entries[0].definition->action));
    EXPECT_TRUE(app::needsConfirmation(list.entries[5].definition->action));
    // A user who removed every button has none, not the starting set.
    EXPECT_TRUE(loaded({{L"buttons", L""}}).entries.empty());
}

// The order first, then whatever else is stored; broken and missing values are listed as broken;
// the last id never goes below an id in use.
TEST(PhoneButtonsTest, StoredButtonsLoadInTheirOrderWithNothingLost) {
    const ButtonList list = loaded({
        {L"buttons", L"0007, 0002,x,0002,0009,0003"},
        {L"lastButton", L"0005"},
        {L"0002", L"power|Lock|lock"},
        {L"0003", L"power|Off|hibernate"},
        {L"0004", std::nullopt},
        {L"0007", L"keys|F11|F11"},
        {L"0012", L"text|Hi|hello"},
    });
    std::vector<int> ids;
    std::vector<bool> broken;
    for (const auto& entry : list.entries) {
        ids.push_back(entry.id);
        broken.push_back(!entry.definition);
    }
    EXPECT_EQ(ids, (std::vector<int>{7, 2, 9, 3, 4, 12}));
    EXPECT_EQ(broken, (std::vector<bool>{false, false, true, true, true, false}));
    EXPECT_EQ(list.entries[3].stored, L"power|Off|hibernate");
    EXPECT_EQ(list.lastId, 12);
    EXPECT_EQ(loaded({{L"lastButton", L"0040"}, {L"0001", L"power|Lock|lock"}}).lastId, 40);
}

// Another program may store any number of buttons: the first thirty load, the order's first, and
// no id stored beyond them is given to a new button.
TEST(PhoneButtonsTest, AtMostThirtyOfAnyNumberStoredLoad) {
    app::StoredButtonValues values{{L"buttons", L"0500,0007,0500"}};
    for (int id = 1; id <= 1000; ++id) {
        values[app::buttonIdName(id)] = L"text|T|t";
    }
    const ButtonList list = loaded(values);
    ASSERT_EQ(list.entries.size(), 30u);
    EXPECT_EQ(list.entries[0].id, 500);
    EXPECT_EQ(list.entries[1].id, 7);
    EXPECT_EQ(list.entries[2].id, 1);
    EXPECT_EQ(list.entries[29].id, 29);
    EXPECT_EQ(list.lastId, 1000);
}

TEST(PhoneButtonsTest, OkWritesOnlyWhatChangedAndNeverABrokenValueLeftAlone) {
    // The starting set, unchanged: nothing. With one button added: all of it, for good.
    const ButtonList fresh = loaded({});
    EXPECT_EQ(app::buttonChanges(fresh, fresh), Changes{});
    ButtonList added = fresh;
    ASSERT_EQ(added.add(withText(ButtonKind::Text, L"Hi", L"hello")), 7);
    const Changes all = app::buttonChanges(fresh, added);
    ASSERT_EQ(all.size(), 9u);
    EXPECT_EQ(all[0], (Changes::value_type{L"0001", L"power|Заблокировать|lock"}));
    EXPECT_EQ(all[6], (Changes::value_type{L"0007", L"text|Hi|hello"}));
    EXPECT_EQ(all[7], (Changes::value_type{L"buttons", L"0001,0002,0003,0004,0005,0006,0007"}));
    EXPECT_EQ(all[8], (Changes::value_type{L"lastButton", L"0007"}));

    // Stored, with a broken value and one in another order of modifiers than Keypilot writes.
    const ButtonList stored = loaded({
        {L"buttons", L"0001,0002,0003"},
        {L"lastButton", L"0009"},
        {L"0001", L"keys|Tabs|Win+Ctrl+D"},
        {L"0002", L"power|Off|hibernate"},
        {L"0003", L"power|Lock|lock"},
    });
    ButtonList changed = stored;
    changed.entries[2].definition->name = L"Lock the PC";
    changed.entries[2].edited = true;
    EXPECT_EQ(app::buttonChanges(stored, changed), (Changes{{L"0003", L"power|Lock the PC|lock"}}));
    // Moved and removed: the order, and the removed value goes; the id is not given again.
    ButtonList moved = stored;
    std::swap(moved.entries[0], moved.entries[2]);
    moved.entries.erase(moved.entries.begin() + 1);
    EXPECT_EQ(app::buttonChanges(stored, moved),
              (Changes{{L"0002", std::nullopt}, {L"buttons", L"0003,0001"}}));
    EXPECT_EQ(moved.add(withText(ButtonKind::Text, L"Hi", L"hello")), 10);
}

TEST(PhoneButtonsTest, AtMostThirtyButtonsAndNoIdGivenTwice) {
    ButtonList list;
    for (int i = 0; i < 30; ++i) {
        EXPECT_TRUE(list.add(withText(ButtonKind::Text, L"Hi", L"hello")));
    }
    EXPECT_TRUE(list.full());
    EXPECT_FALSE(list.add(withText(ButtonKind::Text, L"Hi", L"hello")));
    list.entries.pop_back();
    EXPECT_EQ(list.add(withText(ButtonKind::Text, L"Hi", L"hello")), 31);
    ButtonList last;
    last.lastId = 9999;
    EXPECT_TRUE(last.full());
    EXPECT_FALSE(last.add(withText(ButtonKind::Text, L"Hi", L"hello")));
}

}  // namespace
