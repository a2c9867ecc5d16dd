// The user's own buttons, which the phone shows by name and presses by id: what each does, how it
// is stored as text, the checks a stored or edited button passes, the set a new user starts from,
// and the changes the "Phone buttons" window's OK writes. Portable: no Windows calls, so the
// stored format is tested natively too. The storage itself is button_store.h; the actions
// button_actions.h.
//
// Stored under Software\Corvane\Keypilot beside the other settings, all REG_SZ:
// - one value per button, named by its id ("0001" to "9999"): "<kind>|<name>|<fields>", where
//   kind and fields are one of
//     keys|<name>|<combination>                 "keys|Show desktop|Win+D"
//     program|<name>|<program>|<arguments>|<folder>
//     text|<name>|<text to type>
//     address|<name>|<https:// or http:// address>
//     power|<name>|lock, sleep, signout, restart or shutdown
//   and inside each part "%" is written "%25", "|" "%7C" and a control character as "%" and its
//   two hex digits ("%0D%0A" for a line end);
// - "buttons", the order: the ids separated by commas ("0001,0002,0006");
// - "lastButton", the highest id ever given, so that an id is never given again.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "i18n/ui_text.h"
#include "settings/setting_names.h"

namespace app {

namespace button_values {
inline constexpr const wchar_t* kOrder = setting_names::kButtonOrder;
inline constexpr const wchar_t* kLastId = setting_names::kLastButtonId;
}  // namespace button_values

inline constexpr std::size_t kMaxButtonNameLength = 24;  // characters, a surrogate pair one
inline constexpr std::size_t kMaxButtonTextLength = 1000;
inline constexpr std::size_t kMaxAddressLength = 2048;
// A program's path, its arguments and its folder together stay within a command line's bound.
inline constexpr std::size_t kMaxProgramFieldLength = 2000;

enum class ButtonKind { Keys, Program, Text, Address, Power };
enum class PowerAction { Lock, Sleep, SignOut, Restart, ShutDown };

// A key that a combination is made with.
struct ComboKey {
    unsigned virtualKey;
    std::wstring_view id;  // as stored and as shown in English: "D", "F11", "PgDn", "PlayPause"
    // As shown in the window, translated where shown; the id where it is the same everywhere.
    const wchar_t* shown;
    bool extended;  // sent with the extended-key flag, as the keyboard sends it
};
// Letters, digits, F1 to F24, the arrows, Home/End, PgUp/PgDn, Insert/Delete, Esc, Tab, Enter,
// Space and the media keys, in the order the window lists them.
std::span<const ComboKey> comboKeys();
const ComboKey* comboKeyOf(unsigned virtualKey);

struct KeyCombination {
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
    bool win = false;
    unsigned key = 0;  // a virtual key of comboKeys()
    bool operator==(const KeyCombination&) const = default;
};

// "Ctrl+Alt+Shift+Win+" in this order, then the key's id ("Ctrl+Shift+Esc"): the stored form.
std::wstring combinationText(const KeyCombination& keys);
// The stored form read back: the modifiers in any order, each once, then one key of the list.
std::optional<KeyCombination> parseCombination(std::wstring_view text);
// Why Windows would never let the combination through: Ctrl+Alt+Delete is for the system alone,
// and Win+L locks before any program sees it (the power action "Lock" does that). Nothing for a
// combination that can be sent.
const wchar_t* refusalOf(const KeyCombination& keys);

struct ButtonAction {
    ButtonKind kind = ButtonKind::Keys;
    KeyCombination keys;
    std::wstring program;    // Program: a full path or a bare name, as launch_program.h takes it
    std::wstring arguments;  // Program
    std::wstring folder;     // Program: the working folder, a full path; empty: Keypilot's own
    std::wstring text;       // Text: what is typed; Address: the address
    PowerAction power = PowerAction::Lock;
    bool operator==(const ButtonAction&) const = default;
};

struct ButtonDefinition {
    std::wstring name;
    ButtonAction action;
    bool operator==(const ButtonDefinition&) const = default;
};

// Sleep, sign out, restart and shut down: Keypilot acts on them only after a confirmation.
bool needsConfirmation(const ButtonAction& action);

// Why a definition cannot be stored or run (a name of 0 or more than 24 characters, a refused
// combination, a relative program path, an address that is not https:// or http://, ...), as a
// text for tr(); nothing when it is good.
const wchar_t* problemOf(const ButtonDefinition& definition);

// Why the editor refuses a program button whose start the command interpreter would not take as
// written: a batch file (.bat, .cmd) with a "%" in its path or its arguments (batch_arguments.h),
// as a text for tr(). Nothing for any other button. Not a problem of the stored value: one stored
// so (by another program, or before this check) loads, and its press is answered as refused.
const wchar_t* batchRefusalOf(const ButtonAction& action);

// A stored value's text, and the value read back: nothing when it is broken (an unknown kind, a
// wrong count of parts, a bad escape, or a definition with a problem).
std::wstring buttonValueText(const ButtonDefinition& definition);
std::optional<ButtonDefinition> parseButtonValue(std::wstring_view text);

// "0006": a button's id as its value's name, the wire and the order write it; nothing outside 1
// to 9999 for the reverse.
std::wstring buttonIdName(int id);
std::optional<int> buttonIdFrom(std::wstring_view name);

// One button as the window and the phone have it.
struct ButtonEntry {
    int id = 0;
    // Nothing: its stored value is broken (or missing), and it is shown so and skipped on the
    // phone.
    std::optional<ButtonDefinition> definition;
    // The value as stored; nothing for a button not stored yet.
    std::optional<std::wstring> stored;
    // Changed in the window since it was read: only such buttons, and new ones, are written.
    bool edited = false;
};

struct ButtonList {
    std::vector<ButtonEntry> entries;  // in their order
    int lastId = 0;                    // the highest id ever given
    // The order's and the last id's values as stored; nothing when missing.
    std::optional<std::wstring> storedOrder;
    std::optional<std::wstring> storedLastId;

    const ButtonEntry* find(int id) const;
    // Whether another button can be added: fewer than kMaxButtons, and an id left.
    bool full() const;
    // Adds a button at the end with the next id, which it returns; nothing when full().
    std::optional<int> add(ButtonDefinition definition);
};

// The section's values that belong to the buttons (the ids, the order, the last id), each as
// its text, or nothing when it is not text or is a button's that does not load (loadedButtonIds).
using StoredButtonValues = std::map<std::wstring, std::optional<std::wstring>, std::less<>>;
// Whether a value of the section belongs to the buttons.
bool isButtonValueName(std::wstring_view name);

// The ids of the buttons that load, in their order: those the order names, then any other stored
// button in the order of its id, phonelink::kMaxButtons at most. Another program may have stored
// any number of buttons; the window and the phone get no more than they can hold, and a button
// left off does not act.
std::vector<int> loadedButtonIds(const std::optional<std::wstring>& order,
                                 const std::set<int>& stored);

// The buttons as stored, those of loadedButtonIds, so that nothing stored is lost from the window
// while there is room for it; the last id is never below any stored id, loaded or not. With nothing
// stored at all, the starting set (Lock, Show desktop, Close window, Task manager, Full screen,
// Sleep), its names given by translate, not stored until a change is written.
ButtonList buttonsFrom(const StoredButtonValues& values,
                       const std::function<std::wstring(const wchar_t*)>& translate);

// What OK writes to make the stored buttons those of `now`, which was read as `before`: the
// values of new and changed buttons, a removed button's value deleted (nothing), the order and the
// last id when they differ from what is stored. Nothing at all when nothing changed.
std::vector<std::pair<std::wstring, std::optional<std::wstring>>> buttonChanges(
    const ButtonList& before, const ButtonList& now);

}  // namespace app
