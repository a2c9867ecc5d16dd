// Reading the names and identifiers that the system gives serial devices. Friendly names are in
// the user's language, so nothing here is decided from their wording.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ports {

// n for "COMn" in any case (no blanks, no leading zero); nothing for any other name.
std::optional<int> comPortNumber(std::wstring_view name);

// Whether a hardware ID list is a Bluetooth serial port's: an ID of the Bluetooth enumerator
// ("BTHENUM\") that names the serial port service.
bool isBluetoothSerialPort(const std::vector<std::wstring>& hardwareIds);

// The Bluetooth address in a Bluetooth device's instance ID: the last run of exactly 12 hex
// digits in its last part ("...&0&001A7DDA7113_C00000000" gives 0x001A7DDA7113). Zero is the
// local end of the link.
std::optional<std::uint64_t> bluetoothAddress(std::wstring_view instanceId);

// The friendly name without a trailing "(COMn)" and the blanks around it.
std::wstring withoutPortSuffix(std::wstring_view friendlyName);

}  // namespace ports
