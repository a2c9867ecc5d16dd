#include "buttons/phone_buttons.h"

#include <algorithm>
#include <array>
#include <set>

#include "desktop/batch_arguments.h"
#include "desktop/path_names.h"
#include "link/button_press.h"
#include "link/link_protocol.h"
#include "settings/hex_digit.h"

namespace app {
namespace {

constexpr const wchar_t* kNameProblem =
    uiText(L"Название кнопки: от 1 до 24 знаков, без управляющих знаков.");
constexpr const wchar_t* kNoKey = uiText(L"Выберите клавишу.");
constexpr const wchar_t* kProgramProblem =
    uiText(L"Программа: полный путь (C:\\…\\app.exe) или имя (notepad), без кавычек.");
constexpr const wchar_t* kArgumentsProblem =
    uiText(L"Параметры: не длиннее 2000 знаков, без управляющих знаков.");
constexpr const wchar_t* kFolderProblem =
    uiText(L"Рабочая папка: полный путь (C:\\…) или пусто, без кавычек.");
constexpr const wchar_t* kTextProblem = uiText(L"Текст: от 1 до 1000 знаков.");
constexpr const wchar_t* kAddressProblem =
    uiText(L"Адрес: https:// или http://, без пробелов, не длиннее 2048 знаков.");
constexpr const wchar_t* kBatchPercent =
    uiText(L"Пакетному файлу (.bat, .cmd) нельзя передать «%»: cmd.exe примет его за переменную.");

struct KindName {
    ButtonKind kind;
    std::wstring_view name;
    std::size_t fields;  // after the kind and the name
};
constexpr std::array<KindName, 5> kKinds{{
    {ButtonKind::Keys, L"keys", 1},
    {ButtonKind::Program, L"program", 3},
    {ButtonKind::Text, L"text", 1},
    {ButtonKind::Address, L"address", 1},
    {ButtonKind::Power, L"power", 1},
}};

constexpr std::array<std::wstring_view, 5> kPowerNames{L"lock", L"sleep", L"signout", L"restart",
                                                       L"shutdown"};

bool isHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
bool isControl(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The characters of a text, a surrogate pair counted once; nothing when a surrogate stands alone
// or, unless allowed, a control character is there.
std::optional<std::size_t> characterCount(std::wstring_view text, bool controlsAllowed) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i, ++count) {
        // On systems with 32-bit wchar_t a character beyond U+FFFF is one unit already.
        if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            ++i;
        } else if (isHighSurrogate(text[i]) || isLowSurrogate(text[i]) ||
                   (!controlsAllowed && isControl(text[i]))) {
            return std::nullopt;
        }
    }
    return count;
}

// A field without quotes or control characters, within the program's bound.
bool isPlainField(std::wstring_view text) {
    const auto count = characterCount(text, false);
    return count && *count <= kMaxProgramFieldLength && text.find(L'"') == std::wstring_view::npos;
}

bool startsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
        if (c != prefix[i]) {
            return false;
        }
    }
    return true;
}

bool isAddress(std::wstring_view address) {
    std::size_t scheme = startsWithIgnoringCase(address, L"https://")  ? 8
                         : startsWithIgnoringCase(address, L"http://") ? 7
                                                                       : 0;
    const auto count = characterCount(address, false);
    return scheme > 0 && address.size() > scheme && count && *count <= kMaxAddressLength &&
           address.find(L' ') == std::wstring_view::npos;
}

const wchar_t* programProblem(const ButtonAction& action) {
    if (!isPlainField(action.program) ||
        (!isFullyQualified(action.program) && !isBareName(action.program))) {
        return kProgramProblem;
    }
    if (!characterCount(action.arguments, false) ||
        action.arguments.size() > kMaxProgramFieldLength) {
        return kArgumentsProblem;
    }
    if (!action.folder.empty() &&
        (!isPlainField(action.folder) || !isFullyQualified(action.folder))) {
        return kFolderProblem;
    }
    return nullptr;
}

void appendEscaped(std::wstring& out, std::wstring_view part) {
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    for (wchar_t c : part) {
        if (c == L'%' || c == L'|' || c < 0x20 || c == 0x7F) {
            out += L'%';
            out += kHex[(c >> 4) & 15];
            out += kHex[c & 15];
        } else {
            out += c;
        }
    }
}

// The parts of a stored value, each unescaped; nothing for a bad escape.
std::optional<std::vector<std::wstring>> splitValue(std::wstring_view text) {
    std::vector<std::wstring> parts(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'|') {
            parts.emplace_back();
        } else if (c == L'%') {
            const int high = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            parts.back() += static_cast<wchar_t>(high * 16 + low);
            i += 2;
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

std::wstring_view trimmed(std::wstring_view text) {
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

ButtonDefinition keysButton(const wchar_t* name, KeyCombination keys) {
    ButtonDefinition definition{name, {}};
    definition.action.keys = keys;
    return definition;
}

ButtonDefinition powerButton(const wchar_t* name, PowerAction power) {
    ButtonDefinition definition{name, {}};
    definition.action.kind = ButtonKind::Power;
    definition.action.power = power;
    return definition;
}

// The set a new user starts from, ids 1 to 6.
std::vector<ButtonDefinition> startingButtons() {
    return {
        powerButton(uiText(L"Заблокировать"), PowerAction::Lock),
        keysButton(uiText(L"Рабочий стол"), {false, false, false, true, L'D'}),
        keysButton(uiText(L"Закрыть окно"), {false, true, false, false, 0x73}),
        keysButton(uiText(L"Диспетчер задач"), {true, false, true, false, 0x1B}),
        keysButton(uiText(L"Во весь экран"), {false, false, false, false, 0x7A}),
        powerButton(uiText(L"Сон"), PowerAction::Sleep),
    };
}

std::wstring orderText(const ButtonList& list) {
    std::wstring text;
    for (const auto& entry : list.entries) {
        if (!text.empty()) {
            text += L',';
        }
        text += buttonIdName(entry.id);
    }
    return text;
}

}  // namespace

bool needsConfirmation(const ButtonAction& action) {
    return action.kind == ButtonKind::Power && action.power != PowerAction::Lock;
}

const wchar_t* problemOf(const ButtonDefinition& definition) {
    const auto nameLength = characterCount(definition.name, false);
    if (!nameLength || *nameLength > kMaxButtonNameLength || trimmed(definition.name).empty()) {
        return kNameProblem;
    }
    const ButtonAction& action = definition.action;
    switch (action.kind) {
        case ButtonKind::Keys:
            return comboKeyOf(action.keys.key) ? refusalOf(action.keys) : kNoKey;
        case ButtonKind::Program:
            return programProblem(action);
        case ButtonKind::Text: {
            const auto length = characterCount(action.text, true);
            return length && *length >= 1 && *length <= kMaxButtonTextLength ? nullptr
                                                                             : kTextProblem;
        }
        case ButtonKind::Address:
            return isAddress(action.text) ? nullptr : kAddressProblem;
        case ButtonKind::Power:
            return nullptr;
    }
    return nullptr;
}

const wchar_t* batchRefusalOf(const ButtonAction& action) {
    return action.kind == ButtonKind::Program && isBatchFile(action.program) &&
                   !takesLiterally(action.program, action.arguments)
               ? kBatchPercent
               : nullptr;
}

std::wstring buttonValueText(const ButtonDefinition& definition) {
    const ButtonAction& action = definition.action;
    std::wstring text(kKinds[static_cast<std::size_t>(action.kind)].name);
    auto part = [&](std::wstring_view value) {
        text += L'|';
        appendEscaped(text, value);
    };
    part(definition.name);
    switch (action.kind) {
        case ButtonKind::Keys:
            part(combinationText(action.keys));
            break;
        case ButtonKind::Program:
            part(action.program);
            part(action.arguments);
            part(action.folder);
            break;
        case ButtonKind::Text:
        case ButtonKind::Address:
            part(action.text);
            break;
        case ButtonKind::Power:
            part(kPowerNames[static_cast<std::size_t>(action.power)]);
            break;
    }
    return text;
}

std::optional<ButtonDefinition> parseButtonValue(std::wstring_view text) {
    // The kind is read before anything is unescaped: it never holds a "%" or a "|".
    const auto kind = std::find_if(kKinds.begin(), kKinds.end(), [&](const KindName& k) {
        return text.starts_with(k.name) && text.substr(k.name.size()).starts_with(L'|');
    });
    if (kind == kKinds.end()) {
        return std::nullopt;
    }
    auto parts = splitValue(text.substr(kind->name.size() + 1));
    if (!parts || parts->size() != 1 + kind->fields) {
        return std::nullopt;
    }
    ButtonDefinition definition;
    definition.name = (*parts)[0];
    ButtonAction& action = definition.action;
    action.kind = kind->kind;
    const std::wstring& first = (*parts)[1];
    switch (action.kind) {
        case ButtonKind::Keys: {
            auto keys = parseCombination(first);
            if (!keys) {
                return std::nullopt;
            }
            action.keys = *keys;
            break;
        }
        case ButtonKind::Program:
            action.program = first;
            action.arguments = (*parts)[2];
            action.folder = (*parts)[3];
            break;
        case ButtonKind::Text:
        case ButtonKind::Address:
            action.text = first;
            break;
        case ButtonKind::Power: {
            const auto power = std::find(kPowerNames.begin(), kPowerNames.end(), first);
            if (power == kPowerNames.end()) {
                return std::nullopt;
            }
            action.power = static_cast<PowerAction>(power - kPowerNames.begin());
            break;
        }
    }
    if (problemOf(definition)) {
        return std::nullopt;
    }
    return definition;
}

std::wstring buttonIdName(int id) {
    const std::string digits = phonelink::buttonIdText(id);
    return std::wstring(digits.begin(), digits.end());
}

std::optional<int> buttonIdFrom(std::wstring_view name) {
    if (name.size() != 4 ||
        !std::all_of(name.begin(), name.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
        return std::nullopt;
    }
    int id = 0;
    for (wchar_t c : name) {
        id = id * 10 + (c - L'0');
    }
    return id >= 1 ? std::optional(id) : std::nullopt;
}

const ButtonEntry* ButtonList::find(int id) const {
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [id](const ButtonEntry& e) { return e.id == id; });
    return entry == entries.end() ? nullptr : &*entry;
}

bool ButtonList::full() const {
    return entries.size() >= phonelink::kMaxButtons || lastId >= phonelink::kMaxButtonId;
}

std::optional<int> ButtonList::add(ButtonDefinition definition) {
    if (full()) {
        return std::nullopt;
    }
    ++lastId;
    entries.push_back({lastId, std::move(definition), std::nullopt, true});
    return lastId;
}

bool isButtonValueName(std::wstring_view name) {
    return name == button_values::kOrder || name == button_values::kLastId ||
           buttonIdFrom(name).has_value();
}

std::vector<int> loadedButtonIds(const std::optional<std::wstring>& order,
                                 const std::set<int>& stored) {
    std::vector<int> ids;
    const auto room = [&] { return ids.size() < phonelink::kMaxButtons; };
    const auto add = [&](int id) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) {
            ids.push_back(id);
        }
    };
    std::wstring_view rest = order ? std::wstring_view(*order) : std::wstring_view();
    while (!rest.empty() && room()) {
        const auto comma = std::min(rest.find(L','), rest.size());
        if (const auto id = buttonIdFrom(trimmed(rest.substr(0, comma)))) {
            add(*id);
        }
        rest.remove_prefix(std::min(comma + 1, rest.size()));
    }
    for (auto id = stored.begin(); id != stored.end() && room(); ++id) {
        add(*id);
    }
    return ids;
}

ButtonList buttonsFrom(const StoredButtonValues& values,
                       const std::function<std::wstring(const wchar_t*)>& translate) {
    ButtonList list;
    std::set<int> stored;
    for (const auto& [name, text] : values) {
        if (auto id = buttonIdFrom(name)) {
            stored.insert(*id);
        }
    }
    const auto order = values.find(button_values::kOrder);
    if (order != values.end()) {
        list.storedOrder = order->second;
    }
    const auto last = values.find(button_values::kLastId);
    if (last != values.end()) {
        list.storedLastId = last->second;
        if (last->second) {
            list.lastId = buttonIdFrom(trimmed(*last->second)).value_or(0);
        }
    }
    if (order == values.end() && stored.empty()) {
        for (auto definition : startingButtons()) {
            definition.name = translate(definition.name.c_str());
            list.entries.push_back({++list.lastId, std::move(definition), std::nullopt, false});
        }
        return list;
    }
    // A new button's id must be free among the buttons left off too.
    if (!stored.empty()) {
        list.lastId = std::max(list.lastId, *stored.rbegin());
    }
    for (int id : loadedButtonIds(order != values.end() ? order->second : std::nullopt, stored)) {
        ButtonEntry entry{id, std::nullopt, std::nullopt, false};
        const auto value = values.find(buttonIdName(id));
        if (value != values.end() && value->second) {
            entry.stored = value->second;
            entry.definition = parseButtonValue(*value->second);
        }
        list.entries.push_back(std::move(entry));
        list.lastId = std::max(list.lastId, id);
    }
    return list;
}

std::vector<std::pair<std::wstring, std::optional<std::wstring>>> buttonChanges(
    const ButtonList& before, const ButtonList& now) {
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> changes;
    const bool edited = std::any_of(now.entries.begin(), now.entries.end(),
                                    [](const ButtonEntry& e) { return e.edited; });
    if (!edited && orderText(before) == orderText(now)) {
        return changes;
    }
    for (const auto& entry : now.entries) {
        if (entry.definition && (entry.edited || !entry.stored)) {
            changes.emplace_back(buttonIdName(entry.id), buttonValueText(*entry.definition));
        }
    }
    for (const auto& entry : before.entries) {
        if (!now.find(entry.id)) {
            changes.emplace_back(buttonIdName(entry.id), std::nullopt);
        }
    }
    const std::wstring order = orderText(now);
    if (now.storedOrder != order) {
        changes.emplace_back(button_values::kOrder, order);
    }
    const std::wstring lastId = buttonIdName(now.lastId);
    if (now.storedLastId != lastId) {
        changes.emplace_back(button_values::kLastId, lastId);
    }
    return changes;
}

}  // namespace app
