#include "ports/system_port_sources.h"

#include <windows.h>

#include <bluetoothapis.h>
#include <setupapi.h>

#include <cwchar>
#include <memory>
#include <set>

#include "framework/growing_buffer.h"
#include "framework/handle.h"
#include "framework/scope_exit.h"
#include "framework/text.h"
#include "ports/device_classes.h"
#include "ports/device_ids.h"

namespace ports {
namespace {

constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const wchar_t* kPairedDevicesKey =
    L"SYSTEM\\CurrentControlSet\\Services\\BTHPORT\\Parameters\\Devices";
// The device name list grows to this many characters at most.
constexpr DWORD kMaxDeviceList = 1 << 20;

struct DeviceInfoListTraits {
    using Type = HDEVINFO;
    static Type empty() { return nullptr; }
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Type h) { SetupDiDestroyDeviceInfoList(h); }
};
using DeviceInfoList = framework::UniqueHandle<DeviceInfoListTraits>;

struct LibraryTraits {
    using Type = HMODULE;
    static Type empty() { return nullptr; }
    static Type invalid() { return nullptr; }
    static void close(Type h) { FreeLibrary(h); }
};
using Library = framework::UniqueHandle<LibraryTraits>;

// The texts of a NUL-separated list that ends with an empty one (or the end of the data).
std::vector<std::wstring> splitList(const wchar_t* list, std::size_t length) {
    std::vector<std::wstring> items;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= length; ++i) {
        if (i == length || list[i] == L'\0') {
            if (i == start) {
                break;
            }
            items.emplace_back(list + start, i - start);
            start = i + 1;
        }
    }
    return items;
}

std::vector<std::wstring> registeredPortNames() {
    framework::RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS) {
        return {};
    }
    DWORD count = 0;
    DWORD longestName = 0;
    DWORD largestData = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longestName, &largestData, nullptr, nullptr) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<std::wstring> names;
    std::wstring name(longestName + 1, L'\0');
    std::wstring data(largestData / sizeof(wchar_t) + 1, L'\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataBytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        DWORD type = 0;
        if (RegEnumValueW(key.get(), i, name.data(), &nameLength, nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &dataBytes) != ERROR_SUCCESS ||
            type != REG_SZ) {
            continue;
        }
        std::wstring port(data.data(), dataBytes / sizeof(wchar_t));
        port.resize(std::wcslen(port.c_str()));
        names.push_back(std::move(port));
    }
    return names;
}

std::vector<std::wstring> dosPortNames() {
    const std::wstring list = framework::readGrowingBuffer(
        [](wchar_t* buffer, DWORD size) -> DWORD {
            DWORD length = QueryDosDeviceW(nullptr, buffer, size);
            // A list that does not fit is as long as the buffer, to have the buffer grow.
            if (length == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER &&
                size < kMaxDeviceList) {
                return size;
            }
            return length;
        },
        16384);
    std::vector<std::wstring> names;
    for (auto& name : splitList(list.data(), list.size())) {
        if (comPortNumber(name)) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

// A device property's bytes as its type gives them; empty when the device has none.
std::vector<wchar_t> deviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property,
                                    DWORD& type) {
    DWORD bytes = 0;
    SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, nullptr, 0, &bytes);
    if (bytes == 0) {
        return {};
    }
    std::vector<wchar_t> value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                           reinterpret_cast<BYTE*>(value.data()), bytes, &bytes)) {
        return {};
    }
    value.resize(bytes / sizeof(wchar_t));
    return value;
}

std::wstring textProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    DWORD type = 0;
    std::vector<wchar_t> value = deviceProperty(set, device, property, type);
    if (type != REG_SZ || value.empty()) {
        return {};
    }
    return std::wstring(value.data(), wcsnlen(value.data(), value.size()));
}

std::vector<std::wstring> listProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    DWORD type = 0;
    std::vector<wchar_t> value = deviceProperty(set, device, property, type);
    if (type != REG_MULTI_SZ) {
        return {};
    }
    return splitList(value.data(), value.size());
}

std::wstring instanceId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    return framework::readGrowingBuffer(
        [&](wchar_t* buffer, DWORD size) -> DWORD {
            DWORD needed = 0;
            if (SetupDiGetDeviceInstanceIdW(set, &device, buffer, size, &needed)) {
                return static_cast<DWORD>(wcsnlen(buffer, size));
            }
            return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? needed : 0;
        },
        256);
}

std::wstring portName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY opened = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (opened == INVALID_HANDLE_VALUE) {
        return {};
    }
    framework::RegKey key{opened};
    wchar_t name[64] = {};
    DWORD bytes = sizeof name;
    if (RegGetValueW(key.get(), nullptr, L"PortName", RRF_RT_REG_SZ, nullptr, name, &bytes) !=
        ERROR_SUCCESS) {
        return {};
    }
    return name;
}

void collectDevices(const GUID& guid, DWORD flags, std::set<std::wstring>& seen,
                    std::vector<PortDevice>& devices) {
    DeviceInfoList set{SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags)};
    if (!set) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
        PortDevice found;
        found.instanceId = instanceId(set.get(), device);
        if (!found.instanceId.empty() && !seen.insert(found.instanceId).second) {
            continue;
        }
        found.portName = portName(set.get(), device);
        found.friendlyName = textProperty(set.get(), device, SPDRP_FRIENDLYNAME);
        found.hardwareIds = listProperty(set.get(), device, SPDRP_HARDWAREID);
        devices.push_back(std::move(found));
    }
}

std::vector<PortDevice> portDevices() {
    std::vector<PortDevice> devices;
    std::set<std::wstring> seen;
    collectDevices(kComPortInterface, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, seen, devices);
    collectDevices(kPortsClass, DIGCF_PRESENT, seen, devices);
    return devices;
}

// The calls of the Bluetooth stack that naming a device needs, from bthprops.cpl, loaded only
// when a name is asked: Keypilot needs no Bluetooth stack to start, and most catalogues ask no
// name at all.
class BluetoothStack {
  public:
    BluetoothStack()
        : library_(LoadLibraryExW(L"bthprops.cpl", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        if (library_) {
            findFirstRadio_ = function<FindFirstRadio>("BluetoothFindFirstRadio");
            findNextRadio_ = function<FindNextRadio>("BluetoothFindNextRadio");
            findRadioClose_ = function<FindRadioClose>("BluetoothFindRadioClose");
            getDeviceInfo_ = function<GetDeviceInfo>("BluetoothGetDeviceInfo");
        }
    }

    // The name a radio of this PC knows the device by. Only asked of a radio the stack listed:
    // a stack without radios may lack the device calls altogether (Wine's aborts the process).
    std::wstring deviceName(std::uint64_t address) const {
        if (!findFirstRadio_ || !findNextRadio_ || !findRadioClose_ || !getDeviceInfo_) {
            return {};
        }
        BLUETOOTH_FIND_RADIO_PARAMS params{};
        params.dwSize = sizeof params;
        framework::KernelHandle radio;
        HBLUETOOTH_RADIO_FIND search = findFirstRadio_(&params, radio.put());
        if (!search) {
            return {};
        }
        framework::ScopeExit endSearch{[&] { findRadioClose_(search); }};
        do {
            BLUETOOTH_DEVICE_INFO info{};
            info.dwSize = sizeof info;
            info.Address.ullLong = address;
            if (getDeviceInfo_(radio.get(), &info) == ERROR_SUCCESS && info.szName[0]) {
                return std::wstring(info.szName, wcsnlen(info.szName, BLUETOOTH_MAX_NAME_SIZE));
            }
        } while (findNextRadio_(search, radio.put()));
        return {};
    }

  private:
    using FindFirstRadio = HBLUETOOTH_RADIO_FIND(WINAPI*)(const BLUETOOTH_FIND_RADIO_PARAMS*,
                                                          HANDLE*);
    using FindNextRadio = BOOL(WINAPI*)(HBLUETOOTH_RADIO_FIND, HANDLE*);
    using FindRadioClose = BOOL(WINAPI*)(HBLUETOOTH_RADIO_FIND);
    using GetDeviceInfo = DWORD(WINAPI*)(HANDLE, BLUETOOTH_DEVICE_INFO*);

    template <class F>
    F function(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library_.get(), name)));
    }

    Library library_;
    FindFirstRadio findFirstRadio_ = nullptr;
    FindNextRadio findNextRadio_ = nullptr;
    FindRadioClose findRadioClose_ = nullptr;
    GetDeviceInfo getDeviceInfo_ = nullptr;
};

// The name the paired device gave when it was paired: UTF-8 in the device's key, named by its
// address in lower-case hex.
std::wstring pairedDeviceName(std::uint64_t address) {
    std::wstring keyName(12, L'0');
    for (auto digit = keyName.rbegin(); digit != keyName.rend(); ++digit, address >>= 4) {
        *digit = L"0123456789abcdef"[address & 0xF];
    }
    std::wstring path = std::wstring(kPairedDevicesKey) + L"\\" + keyName;
    char name[256] = {};
    DWORD bytes = sizeof name - 1;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), L"Name", RRF_RT_REG_BINARY, nullptr, name,
                     &bytes) != ERROR_SUCCESS) {
        return {};
    }
    return framework::fromUtf8(std::string_view(name, strnlen(name, bytes)));
}

}  // namespace

PortSources systemPortSources() {
    PortSources sources;
    sources.registeredNames = registeredPortNames;
    sources.deviceNames = dosPortNames;
    sources.devices = portDevices;
    // The stack is loaded at the first name asked, and kept for the next ones.
    sources.bluetoothName = [stack =
                                 std::shared_ptr<BluetoothStack>()](std::uint64_t address) mutable {
        if (!stack) {
            stack = std::make_shared<BluetoothStack>();
        }
        std::wstring name = stack->deviceName(address);
        return name.empty() ? pairedDeviceName(address) : name;
    };
    return sources;
}

PortList listSystemPorts() {
    return listPorts(systemPortSources());
}

}  // namespace ports
