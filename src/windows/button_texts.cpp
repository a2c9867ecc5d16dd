#include "windows/button_texts.h"

#include <array>

#include "framework/text.h"
#include "i18n/ui_text.h"

namespace app {
namespace {

constexpr std::array<const wchar_t*, 5> kKindNames{
    uiText(L"Сочетание клавиш"), uiText(L"Запуск программы"), uiText(L"Ввод текста"),
    uiText(L"Открыть адрес"), uiText(L"Питание")};
constexpr std::array<const wchar_t*, 5> kPowerNames{
    uiText(L"Заблокировать компьютер"), uiText(L"Спящий режим"), uiText(L"Выйти из системы"),
    uiText(L"Перезагрузить"), uiText(L"Завершить работу")};
// %s: the button's id, e.g. "0007".
constexpr const wchar_t* kBroken =
    uiText(L"Кнопка %s повреждена: телефон её не показывает, OK её не изменит");
constexpr const wchar_t* kTyped = uiText(L"Текст: %s");
// A line of the list shows this much of a typed text.
constexpr std::size_t kShownTextLength = 40;

}  // namespace

std::wstring kindName(ButtonKind kind) {
    return tr(kKindNames[static_cast<std::size_t>(kind)]);
}

std::wstring powerName(PowerAction power) {
    return tr(kPowerNames[static_cast<std::size_t>(power)]);
}

std::wstring shownKey(const ComboKey& key) {
    return key.shown ? tr(key.shown) : std::wstring(key.id);
}

std::wstring shownCombination(const KeyCombination& keys) {
    std::wstring text;
    for (const auto& [on, name] :
         {std::pair{keys.ctrl, L"Ctrl+"}, std::pair{keys.alt, L"Alt+"},
          std::pair{keys.shift, L"Shift+"}, std::pair{keys.win, L"Win+"}}) {
        if (on) {
            text += name;
        }
    }
    const ComboKey* key = comboKeyOf(keys.key);
    return key ? text + shownKey(*key) : text;
}

std::wstring buttonLine(const ButtonEntry& entry) {
    if (!entry.definition) {
        return framework::formatText(tr(kBroken), {buttonIdName(entry.id)});
    }
    const ButtonAction& action = entry.definition->action;
    std::wstring what;
    switch (action.kind) {
        case ButtonKind::Keys:
            what = shownCombination(action.keys);
            break;
        case ButtonKind::Program:
            what = action.arguments.empty() ? action.program
                                            : action.program + L" " + action.arguments;
            break;
        case ButtonKind::Text: {
            std::wstring shown = action.text.substr(0, kShownTextLength);
            for (wchar_t& c : shown) {
                if (c < 0x20) {
                    c = L' ';
                }
            }
            if (shown.size() < action.text.size()) {
                shown += L'…';
            }
            what = framework::formatText(tr(kTyped), {shown});
            break;
        }
        case ButtonKind::Address:
            what = action.text;
            break;
        case ButtonKind::Power:
            what = powerName(action.power);
            break;
    }
    return entry.definition->name + L" \u2014 " + what;
}

}  // namespace app
