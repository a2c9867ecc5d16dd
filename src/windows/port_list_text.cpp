#include "windows/port_list_text.h"

#include "framework/text.h"
#include "i18n/ui_text.h"
#include "settings/settings_values.h"

namespace app {
namespace {

constexpr const wchar_t* kBluetoothIncoming = uiText(L"Bluetooth, входящий");
constexpr const wchar_t* kBluetoothOutgoing = uiText(L"Bluetooth, исходящий");
// %s: the remote device's name.
constexpr const wchar_t* kBluetoothTo = uiText(L"Bluetooth, к %s");
constexpr const wchar_t* kPresent = uiText(L"присутствует");

std::wstring whatItIs(const ports::PortInfo& port) {
    switch (port.kind) {
        case ports::PortKind::BluetoothIncoming:
            return tr(kBluetoothIncoming);
        case ports::PortKind::BluetoothOutgoing:
            if (port.remoteName.empty()) {
                return tr(kBluetoothOutgoing);
            }
            return framework::formatText(tr(kBluetoothTo), {port.remoteName});
        case ports::PortKind::Other:
        case ports::PortKind::Unknown:
            break;
    }
    return port.description.empty() ? tr(kPresent) : port.description;
}

}  // namespace

std::wstring portItemText(int index, const ports::PortInfo& port) {
    std::wstring text = portNameFor(index);
    if (port.exists) {
        text += L" \u2014 ";
        text += whatItIs(port);
    }
    return text;
}

std::vector<std::wstring> portItemTexts(const ports::PortList& ports) {
    std::vector<std::wstring> texts;
    texts.reserve(ports.size());
    for (int i = 0; i < ports::kPortCount; ++i) {
        texts.push_back(portItemText(i, ports[static_cast<std::size_t>(i)]));
    }
    return texts;
}

}  // namespace app
