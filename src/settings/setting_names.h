// Where Keypilot keeps its settings and the names of every value it stores there, in one place:
// HKEY_CURRENT_USER\Software\Corvane, section Keypilot, every value REG_SZ text.
#pragma once

namespace app {

namespace setting_names {
inline constexpr const wchar_t* kRootPath = L"Software\\Corvane";
inline constexpr const wchar_t* kSection = L"Keypilot";

inline constexpr const wchar_t* kCursorStep = L"mouse";
inline constexpr const wchar_t* kProgram = L"exe";
inline constexpr const wchar_t* kPortIndex = L"com";
inline constexpr const wchar_t* kKeyDelivery = L"keys";
inline constexpr const wchar_t* kRemoteAddress = L"remote";
// "1" while the user has the Bluetooth service switched on; anything else is off.
inline constexpr const wchar_t* kBluetoothService = L"bluetooth";
// The phones allowed into the service and those refused (see ways/bluetooth/bluetooth_phones.h).
inline constexpr const wchar_t* kAllowedPhones = L"btAllowed";
inline constexpr const wchar_t* kRefusedPhones = L"btRefused";
// The user's buttons: their ids in order, and the last id given (see buttons/phone_buttons.h).
// Each button is a value named by its four-digit id.
inline constexpr const wchar_t* kButtonOrder = L"buttons";
inline constexpr const wchar_t* kLastButtonId = L"lastButton";
// Present while the phone holds the left button: a Keypilot ended hard during a drag cannot let
// go of it, so the next start does.
inline constexpr const wchar_t* kHeldMark = L"leftHeld";
}  // namespace setting_names

}  // namespace app
