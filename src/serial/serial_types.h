// The serial port's settings vocabulary: enumerations in ordinal order and small sets of them.
// Portable: no Windows headers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace serial {

// Member order is the ordinal order; stored settings and the device tables depend on it.
enum class BaudRate : uint8_t {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum class StopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class DataBits : uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum class ParityBits : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum class DTRFlowControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum class RTSFlowControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum class FlowControl : uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum class SerialEvent : uint8_t {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};
enum class LineError : uint8_t {
    ceFrame,
    ceRxParity,
    ceOverrun,
    ceBreak,
    ceIO,
    ceMode,
    ceRxOver,
    ceTxFull
};
enum class SyncMethod : uint8_t { smThreadSync, smWindowSync, smNone };
enum class LineSignal : uint8_t { lsCTS, lsDSR, lsRing, lsRLSD };
enum class StoredGroup : uint8_t {
    sgLine,
    sgFlowDetail,
    sgBuffer,
    sgTimeouts,
    sgParityDetail,
    sgOther
};

// A small set of enumeration members: bit n stands for the member with ordinal n.
template <class Enum, class Bits, unsigned Count>
class EnumSet {
    static_assert(Count <= sizeof(Bits) * 8);

  public:
    using BitsType = Bits;

    constexpr EnumSet() = default;
    constexpr EnumSet(std::initializer_list<Enum> members) {
        for (Enum m : members) {
            insert(m);
        }
    }
    static constexpr EnumSet fromBits(Bits bits) {
        EnumSet s;
        s.bits_ = static_cast<Bits>(bits & allBits());
        return s;
    }
    static constexpr EnumSet all() { return fromBits(allBits()); }

    constexpr Bits bits() const { return bits_; }
    constexpr bool contains(Enum m) const { return (bits_ & bit(m)) != 0; }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr void insert(Enum m) { bits_ = static_cast<Bits>(bits_ | bit(m)); }
    constexpr void erase(Enum m) { bits_ = static_cast<Bits>(bits_ & ~bit(m)); }
    constexpr bool operator==(const EnumSet&) const = default;

  private:
    static constexpr Bits bit(Enum m) {
        return static_cast<Bits>(Bits{1} << static_cast<std::underlying_type_t<Enum>>(m));
    }
    static constexpr Bits allBits() {
        return static_cast<Bits>(Count == sizeof(Bits) * 8 ? static_cast<Bits>(~Bits{0})
                                                           : ((1u << Count) - 1u));
    }
    Bits bits_ = 0;
};

using SerialEvents = EnumSet<SerialEvent, uint16_t, 10>;
using LineErrors = EnumSet<LineError, uint8_t, 8>;
using LineSignals = EnumSet<LineSignal, uint8_t, 4>;
using StoredGroups = EnumSet<StoredGroup, uint8_t, 6>;

}  // namespace serial
