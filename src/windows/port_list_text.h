// The port list's items: "COMn" for a port that does not exist, and for one that does, what it
// is after the name ("COM5 — Bluetooth, incoming", "COM3 — USB Serial Device").
#pragma once

#include <string>
#include <vector>

#include "ports/port_catalogue.h"

namespace app {

// Item `index` (COMindex+1) in the user's language.
std::wstring portItemText(int index, const ports::PortInfo& port);
// Every item, in index order.
std::vector<std::wstring> portItemTexts(const ports::PortList& ports);

}  // namespace app
