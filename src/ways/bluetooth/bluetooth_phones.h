// The phones the user allowed into Keypilot's own Bluetooth service, and those refused, as the
// settings keep them: Bluetooth addresses of 12 hexadecimal digits, separated by ";".
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace app {

// The addresses in the text; an entry that is not 12 hexadecimal digits is skipped, so a list
// edited by hand loses only what cannot be read.
std::set<std::uint64_t> phonesFrom(std::wstring_view text);
std::wstring phonesText(const std::set<std::uint64_t>& phones);

}  // namespace app
