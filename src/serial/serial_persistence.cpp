// Saving the port's settings to, and loading them from, a registry key or an INI file section.
// Both stores go through one list of keys, so the two always agree on names, order and formats.
#include <windows.h>

#include "framework/ini_file.h"
#include "framework/registry.h"
#include "serial/serial_port.h"
#include "serial/settings_text.h"

namespace serial {
namespace {

// What the key lists need from a store. The default is what a missing value reads as where the
// store has defaults; a store without them ignores it.
class SettingsReader {
  public:
    virtual ~SettingsReader() = default;
    virtual std::wstring readText(const wchar_t* key, const std::wstring& defaultValue) = 0;
    virtual std::int32_t readInteger(const wchar_t* key, std::int32_t defaultValue) = 0;
};

class SettingsWriter {
  public:
    virtual ~SettingsWriter() = default;
    virtual void writeText(const wchar_t* key, const std::wstring& value) = 0;
    virtual void writeInteger(const wchar_t* key, std::int32_t value) = 0;
};

// Registry values have no defaults: a missing text reads as empty (its parser's fallback), a
// missing integer raises the registry's own error naming the value.
class RegistryReader : public SettingsReader {
  public:
    explicit RegistryReader(const framework::RegistryKey& key) : key_(key) {}
    std::wstring readText(const wchar_t* key, const std::wstring&) override {
        return key_.readText(key).value_or(std::wstring());
    }
    std::int32_t readInteger(const wchar_t* key, std::int32_t) override {
        return key_.readInteger(key);
    }

  private:
    const framework::RegistryKey& key_;
};

class RegistryWriter : public SettingsWriter {
  public:
    explicit RegistryWriter(const framework::RegistryKey& key) : key_(key) {}
    void writeText(const wchar_t* key, const std::wstring& value) override {
        key_.writeText(key, value);
    }
    void writeInteger(const wchar_t* key, std::int32_t value) override {
        key_.writeInteger(key, value);
    }

  private:
    const framework::RegistryKey& key_;
};

// One section of an INI file; a missing key reads as the given default.
class IniReader : public SettingsReader {
  public:
    IniReader(const framework::IniFile& ini, const std::wstring& section)
        : ini_(ini), section_(section) {}
    std::wstring readText(const wchar_t* key, const std::wstring& defaultValue) override {
        return ini_.readString(section_, key, defaultValue);
    }
    std::int32_t readInteger(const wchar_t* key, std::int32_t defaultValue) override {
        return ini_.readInteger(section_, key, defaultValue);
    }

  private:
    const framework::IniFile& ini_;
    const std::wstring& section_;
};

class IniWriter : public SettingsWriter {
  public:
    IniWriter(framework::IniFile& ini, const std::wstring& section)
        : ini_(ini), section_(section) {}
    void writeText(const wchar_t* key, const std::wstring& value) override {
        ini_.writeString(section_, key, value);
    }
    void writeInteger(const wchar_t* key, std::int32_t value) override {
        ini_.writeInteger(section_, key, value);
    }

  private:
    framework::IniFile& ini_;
    const std::wstring& section_;
};

// The groups in the order they are handled, which differs from their bit order.
constexpr StoredGroup kGroupOrder[] = {StoredGroup::sgLine,         StoredGroup::sgOther,
                                       StoredGroup::sgParityDetail, StoredGroup::sgBuffer,
                                       StoredGroup::sgTimeouts,     StoredGroup::sgFlowDetail};

// The custom rate is read with this default instead of the current rate.
constexpr std::int32_t kDefaultCustomBaudRate = 9600;

void saveGroup(const SerialPort& port, StoredGroup group, SettingsWriter& store) {
    const auto& flow = port.flowControl();
    const auto& parity = port.parity();
    const auto& buffer = port.buffer();
    const auto& timeouts = port.timeouts();
    switch (group) {
        case StoredGroup::sgLine:
            store.writeText(L"Port", port.port());
            store.writeText(L"BaudRate", baudRateText(port.baudRate()));
            if (port.baudRate() == BaudRate::brCustom) {
                store.writeInteger(L"CustomBaudRate", port.customBaudRate());
            }
            store.writeText(L"StopBits", stopBitsText(port.stopBits()));
            store.writeText(L"DataBits", dataBitsText(port.dataBits()));
            store.writeText(L"Parity", parityText(parity.bits()));
            store.writeText(L"FlowControl", flowControlText(flow.flowControl()));
            break;
        case StoredGroup::sgOther:
            store.writeText(L"EventChar", charCodeText(port.eventChar()));
            store.writeText(L"DiscardNull", yesNoText(port.discardNull()));
            break;
        case StoredGroup::sgParityDetail:
            store.writeText(L"Parity.Check", yesNoText(parity.check()));
            store.writeText(L"Parity.Replace", yesNoText(parity.replace()));
            store.writeText(L"Parity.ReplaceChar", charCodeText(parity.replaceChar()));
            break;
        case StoredGroup::sgBuffer:
            store.writeInteger(L"Buffer.OutputSize", buffer.outputSize());
            store.writeInteger(L"Buffer.InputSize", buffer.inputSize());
            break;
        case StoredGroup::sgTimeouts:
            store.writeInteger(L"Timeouts.ReadInterval", timeouts.readInterval());
            store.writeInteger(L"Timeouts.ReadTotalConstant", timeouts.readTotalConstant());
            store.writeInteger(L"Timeouts.ReadTotalMultiplier", timeouts.readTotalMultiplier());
            store.writeInteger(L"Timeouts.WriteTotalConstant", timeouts.writeTotalConstant());
            store.writeInteger(L"Timeouts.WriteTotalMultiplier", timeouts.writeTotalMultiplier());
            break;
        case StoredGroup::sgFlowDetail:
            store.writeText(L"FlowControl.ControlRTS", rtsControlText(flow.controlRTS()));
            store.writeText(L"FlowControl.ControlDTR", dtrControlText(flow.controlDTR()));
            store.writeText(L"FlowControl.DSRSensitivity", yesNoText(flow.dsrSensitivity()));
            store.writeText(L"FlowControl.OutCTSFlow", yesNoText(flow.outCTSFlow()));
            store.writeText(L"FlowControl.OutDSRFlow", yesNoText(flow.outDSRFlow()));
            store.writeText(L"FlowControl.TxContinueOnXoff", yesNoText(flow.txContinueOnXoff()));
            store.writeText(L"FlowControl.XonXoffIn", yesNoText(flow.xonXoffIn()));
            store.writeText(L"FlowControl.XonXoffOut", yesNoText(flow.xonXoffOut()));
            store.writeText(L"FlowControl.XoffChar", charCodeText(flow.xoffChar()));
            store.writeText(L"FlowControl.XonChar", charCodeText(flow.xonChar()));
            break;
    }
}

// Every value goes through the property's setter, so an open port takes each one at once and a
// new port name reopens the port. Each read happens just before its own setter runs, so a
// failure part-way leaves everything read before it applied.
void loadGroup(SerialPort& port, StoredGroup group, SettingsReader& store) {
    auto& flow = port.flowControl();
    auto& parity = port.parity();
    auto& buffer = port.buffer();
    auto& timeouts = port.timeouts();
    switch (group) {
        case StoredGroup::sgLine:
            port.setPort(store.readText(L"Port", port.port()));
            port.setBaudRate(
                parseBaudRate(store.readText(L"BaudRate", baudRateText(port.baudRate()))));
            if (port.baudRate() == BaudRate::brCustom) {
                port.setCustomBaudRate(
                    store.readInteger(L"CustomBaudRate", kDefaultCustomBaudRate));
            }
            port.setStopBits(
                parseStopBits(store.readText(L"StopBits", stopBitsText(port.stopBits()))));
            port.setDataBits(
                parseDataBits(store.readText(L"DataBits", dataBitsText(port.dataBits()))));
            parity.setBits(parseParity(store.readText(L"Parity", parityText(parity.bits()))));
            flow.setFlowControl(parseFlowControl(
                store.readText(L"FlowControl", flowControlText(flow.flowControl()))));
            break;
        case StoredGroup::sgOther:
            port.setEventChar(
                parseCharCode(store.readText(L"EventChar", charCodeText(port.eventChar()))));
            port.setDiscardNull(
                parseYesNo(store.readText(L"DiscardNull", yesNoText(port.discardNull()))));
            break;
        case StoredGroup::sgParityDetail:
            parity.setCheck(parseYesNo(store.readText(L"Parity.Check", yesNoText(parity.check()))));
            parity.setReplace(
                parseYesNo(store.readText(L"Parity.Replace", yesNoText(parity.replace()))));
            parity.setReplaceChar(parseCharCode(
                store.readText(L"Parity.ReplaceChar", charCodeText(parity.replaceChar()))));
            break;
        case StoredGroup::sgBuffer:
            buffer.setOutputSize(store.readInteger(L"Buffer.OutputSize", buffer.outputSize()));
            buffer.setInputSize(store.readInteger(L"Buffer.InputSize", buffer.inputSize()));
            break;
        case StoredGroup::sgTimeouts:
            timeouts.setReadInterval(
                store.readInteger(L"Timeouts.ReadInterval", timeouts.readInterval()));
            timeouts.setReadTotalConstant(
                store.readInteger(L"Timeouts.ReadTotalConstant", timeouts.readTotalConstant()));
            timeouts.setReadTotalMultiplier(
                store.readInteger(L"Timeouts.ReadTotalMultiplier", timeouts.readTotalMultiplier()));
            timeouts.setWriteTotalConstant(
                store.readInteger(L"Timeouts.WriteTotalConstant", timeouts.writeTotalConstant()));
            timeouts.setWriteTotalMultiplier(store.readInteger(L"Timeouts.WriteTotalMultiplier",
                                                               timeouts.writeTotalMultiplier()));
            break;
        case StoredGroup::sgFlowDetail:
            flow.setControlRTS(parseRTSControl(
                store.readText(L"FlowControl.ControlRTS", rtsControlText(flow.controlRTS()))));
            flow.setControlDTR(parseDTRControl(
                store.readText(L"FlowControl.ControlDTR", dtrControlText(flow.controlDTR()))));
            flow.setDSRSensitivity(parseYesNo(
                store.readText(L"FlowControl.DSRSensitivity", yesNoText(flow.dsrSensitivity()))));
            flow.setOutCTSFlow(parseYesNo(
                store.readText(L"FlowControl.OutCTSFlow", yesNoText(flow.outCTSFlow()))));
            flow.setOutDSRFlow(parseYesNo(
                store.readText(L"FlowControl.OutDSRFlow", yesNoText(flow.outDSRFlow()))));
            flow.setTxContinueOnXoff(parseYesNo(store.readText(
                L"FlowControl.TxContinueOnXoff", yesNoText(flow.txContinueOnXoff()))));
            flow.setXonXoffIn(
                parseYesNo(store.readText(L"FlowControl.XonXoffIn", yesNoText(flow.xonXoffIn()))));
            flow.setXonXoffOut(parseYesNo(
                store.readText(L"FlowControl.XonXoffOut", yesNoText(flow.xonXoffOut()))));
            flow.setXoffChar(parseCharCode(
                store.readText(L"FlowControl.XoffChar", charCodeText(flow.xoffChar()))));
            flow.setXonChar(parseCharCode(
                store.readText(L"FlowControl.XonChar", charCodeText(flow.xonChar()))));
            break;
    }
}

void save(const SerialPort& port, SettingsWriter& store) {
    for (StoredGroup group : kGroupOrder) {
        if (port.storedGroups().contains(group)) {
            saveGroup(port, group, store);
        }
    }
}

void load(SerialPort& port, SettingsReader& store) {
    for (StoredGroup group : kGroupOrder) {
        if (port.storedGroups().contains(group)) {
            loadGroup(port, group, store);
        }
    }
}

}  // namespace

void SerialPort::saveToRegistry(const framework::RegistryKey& key) const {
    RegistryWriter store(key);
    save(*this, store);
}

void SerialPort::loadFromRegistry(const framework::RegistryKey& key) {
    RegistryReader store(key);
    load(*this, store);
}

void SerialPort::saveToIniFile(framework::IniFile& ini) const {
    IniWriter store(ini, name());
    save(*this, store);
}

void SerialPort::loadFromIniFile(const framework::IniFile& ini) {
    IniReader store(ini, name());
    load(*this, store);
}

}  // namespace serial
