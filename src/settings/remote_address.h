// The address of the phone's remote page that the "Connect a phone" window hands over: the
// maker's site unless the user's "remote" value names an https:// address of their own, followed
// by the version of the link's codes that this Keypilot speaks, so that the page knows which
// codes this PC understands.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "link/link_protocol.h"

namespace app {

// Beside the maker's site that the tray menu's web item opens.
inline constexpr std::wstring_view kDefaultRemoteAddress = L"https://corvane.ru/keypilot/remote/";
inline constexpr std::size_t kMaxRemoteAddressLength = 200;

struct RemoteAddress {
    std::wstring address;
    // A "remote" value was set but is no address Keypilot takes: the default stands instead.
    bool storedIgnored = false;
    // What is wrong with the ignored value, as the interface's source text (shown through tr);
    // null when nothing more is known than that it was ignored.
    const wchar_t* ignoredBecause = nullptr;
};

// The page's address for a stored "remote" text: that text when it is an https:// address with a
// host, of at most kMaxRemoteAddressLength characters, with no blanks or control characters;
// otherwise the default, noting that a set value was ignored and which of these it broke. No
// value, or an empty one, is the default with nothing to note.
RemoteAddress remoteAddressFrom(const std::optional<std::wstring>& stored);

// The address with "v=<version>" as the last parameter of its query ("?v=2", or "&v=2" after
// the parameters it has), before any fragment. A "v" parameter the address has already goes, and
// so do empty ones: the page reads the first "v", which must be this one.
std::wstring addressWithVersion(std::wstring_view address, int version);

}  // namespace app
