// The keys a button's combination may hold, their names as stored, and the combinations that
// Windows keeps for itself.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "buttons/phone_buttons.h"

namespace app {
namespace {

constexpr unsigned kDelete = 0x2E;

constexpr const wchar_t* kCtrlAltDelete =
    uiText(L"Ctrl+Alt+Delete нельзя отправить: это сочетание Windows оставляет себе.");
constexpr const wchar_t* kWinL =
    uiText(L"Win+L нельзя отправить: для блокировки есть действие «Заблокировать компьютер».");
struct Modifier {
    std::wstring_view name;
    bool KeyCombination::*flag;
};
constexpr std::array<Modifier, 4> kModifiers{{
    {L"Ctrl", &KeyCombination::ctrl},
    {L"Alt", &KeyCombination::alt},
    {L"Shift", &KeyCombination::shift},
    {L"Win", &KeyCombination::win},
}};

// The list, with the names of the letters, digits and function keys made once.
struct KeyList {
    std::vector<std::wstring> names;
    std::vector<ComboKey> keys;
};

KeyList makeKeyList() {
    KeyList list;
    list.names.reserve(26 + 10 + 24);
    for (wchar_t c = L'A'; c <= L'Z'; ++c) {
        list.names.emplace_back(1, c);
    }
    for (wchar_t c = L'0'; c <= L'9'; ++c) {
        list.names.emplace_back(1, c);
    }
    for (int f = 1; f <= 24; ++f) {
        list.names.push_back(L"F" + std::to_wstring(f));
    }
    for (std::size_t i = 0; i < 26 + 10; ++i) {
        list.keys.push_back(
            {static_cast<unsigned>(list.names[i][0]), list.names[i], nullptr, false});
    }
    for (unsigned f = 0; f < 24; ++f) {
        list.keys.push_back({0x70 + f, list.names[36 + f], nullptr, false});
    }
    // The navigation block and the media keys are extended keys on every keyboard.
    const ComboKey named[] = {
        {0x25, L"Left", uiText(L"Стрелка влево"), true},
        {0x27, L"Right", uiText(L"Стрелка вправо"), true},
        {0x26, L"Up", uiText(L"Стрелка вверх"), true},
        {0x28, L"Down", uiText(L"Стрелка вниз"), true},
        {0x24, L"Home", nullptr, true},
        {0x23, L"End", nullptr, true},
        {0x21, L"PgUp", nullptr, true},
        {0x22, L"PgDn", nullptr, true},
        {0x2D, L"Insert", nullptr, true},
        {kDelete, L"Delete", nullptr, true},
        {0x1B, L"Esc", nullptr, false},
        {0x09, L"Tab", nullptr, false},
        {0x0D, L"Enter", nullptr, false},
        {0x20, L"Space", uiText(L"Пробел"), false},
        {0xB3, L"PlayPause", uiText(L"Воспроизведение/пауза"), true},
        {0xB2, L"MediaStop", uiText(L"Остановить"), true},
        {0xB0, L"NextTrack", uiText(L"Следующая дорожка"), true},
        {0xB1, L"PrevTrack", uiText(L"Предыдущая дорожка"), true},
        {0xAF, L"VolumeUp", uiText(L"Громче"), true},
        {0xAE, L"VolumeDown", uiText(L"Тише"), true},
        {0xAD, L"VolumeMute", uiText(L"Без звука"), true},
    };
    list.keys.insert(list.keys.end(), std::begin(named), std::end(named));
    return list;
}

const KeyList& keyList() {
    static const KeyList list = makeKeyList();
    return list;
}

}  // namespace

std::span<const ComboKey> comboKeys() {
    return keyList().keys;
}

const ComboKey* comboKeyOf(unsigned virtualKey) {
    for (const auto& key : comboKeys()) {
        if (key.virtualKey == virtualKey) {
            return &key;
        }
    }
    return nullptr;
}

std::wstring combinationText(const KeyCombination& keys) {
    std::wstring text;
    for (const auto& modifier : kModifiers) {
        if (keys.*modifier.flag) {
            text += modifier.name;
            text += L'+';
        }
    }
    const ComboKey* key = comboKeyOf(keys.key);
    return key ? text + std::wstring(key->id) : text;
}

std::optional<KeyCombination> parseCombination(std::wstring_view text) {
    KeyCombination keys;
    while (true) {
        const auto plus = text.find(L'+');
        const std::wstring_view part = text.substr(0, plus);
        if (plus == std::wstring_view::npos) {
            for (const auto& key : comboKeys()) {
                if (key.id == part) {
                    keys.key = key.virtualKey;
                    return keys;
                }
            }
            return std::nullopt;
        }
        const auto modifier = std::find_if(kModifiers.begin(), kModifiers.end(),
                                           [&](const Modifier& m) { return m.name == part; });
        if (modifier == kModifiers.end() || keys.*modifier->flag) {
            return std::nullopt;
        }
        keys.*modifier->flag = true;
        text.remove_prefix(plus + 1);
    }
}

const wchar_t* refusalOf(const KeyCombination& keys) {
    if (keys.ctrl && keys.alt && keys.key == kDelete) {
        return kCtrlAltDelete;
    }
    if (keys.win && keys.key == L'L') {
        return kWinL;
    }
    return nullptr;
}

}  // namespace app
