// The portable core of the serial component: event masks, the device-control and time-out
// records, line errors and modem lines, the flow-control summary.
#include <gtest/gtest.h>

#include "serial/serial_records.h"

namespace serial {
namespace {

TEST(EventMask, EveryEventHasItsOwnBitAndTheMappingRoundTrips) {
    EXPECT_EQ(eventsToMask({SerialEvent::evRxChar}), 0x0001u);
    EXPECT_EQ(eventsToMask({SerialEvent::evRxFlag}), 0x0002u);
    EXPECT_EQ(eventsToMask({SerialEvent::evTxEmpty}), 0x0004u);
    EXPECT_EQ(eventsToMask({SerialEvent::evCTS}), 0x0008u);
    EXPECT_EQ(eventsToMask({SerialEvent::evDSR}), 0x0010u);
    EXPECT_EQ(eventsToMask({SerialEvent::evRLSD}), 0x0020u);
    EXPECT_EQ(eventsToMask({SerialEvent::evBreak}), 0x0040u);
    EXPECT_EQ(eventsToMask({SerialEvent::evError}), 0x0080u);
    EXPECT_EQ(eventsToMask({SerialEvent::evRing}), 0x0100u);
    EXPECT_EQ(eventsToMask({SerialEvent::evRx80Full}), 0x0400u);
    EXPECT_EQ(eventsToMask(SerialEvents::all()), 0x05FFu);
    EXPECT_EQ(eventsToMask({}), 0u);

    for (unsigned bits = 0; bits < (1u << 10); ++bits) {
        SerialEvents events = SerialEvents::fromBits(static_cast<std::uint16_t>(bits));
        EXPECT_EQ(maskToEvents(eventsToMask(events)), events) << bits;
    }
    // Bits the component does not know (EV_PERR 0x0200, EV_EVENT1 0x0800, ...) are ignored.
    EXPECT_EQ(maskToEvents(0xFA00u), SerialEvents{});
    EXPECT_EQ(maskToEvents(0x0201u), SerialEvents{SerialEvent::evRxChar});
}

TEST(EventSet, AllHoldsTheTenEventsAndNothingElse) {
    SerialEvents all = SerialEvents::all();
    EXPECT_EQ(all.bits(), 0x03FF);
    EXPECT_EQ(SerialEvents::fromBits(0xFFFF), all);
    SerialEvents s{SerialEvent::evRing};
    EXPECT_TRUE(s.contains(SerialEvent::evRing));
    EXPECT_FALSE(s.contains(SerialEvent::evRxChar));
    s.erase(SerialEvent::evRing);
    EXPECT_TRUE(s.empty());
}

TEST(DeviceControlRecord, TheApplicationsLineSettings) {
    DeviceControlRecord r = buildDeviceControlRecord(LineSettings{});
    EXPECT_EQ(r.length, 28u);
    EXPECT_EQ(r.baudRate, 9600u);
    EXPECT_EQ(r.flags, 0x0001u);
    EXPECT_EQ(r.xonLim, 256);
    EXPECT_EQ(r.xoffLim, 256);
    EXPECT_EQ(r.byteSize, 8);
    EXPECT_EQ(r.parity, 0);
    EXPECT_EQ(r.stopBits, 0);
    EXPECT_EQ(r.xonChar, 17);
    EXPECT_EQ(r.xoffChar, 19);
    EXPECT_EQ(r.errorChar, 0);
    EXPECT_EQ(r.eofChar, 0);
    EXPECT_EQ(r.evtChar, 0);
}

TEST(DeviceControlRecord, EachSettingReachesItsField) {
    LineSettings s;
    s.inputSize = 4096;
    EXPECT_EQ(buildDeviceControlRecord(s).xonLim, 1024);
    EXPECT_EQ(buildDeviceControlRecord(s).xoffLim, 1024);
    s.inputSize = 7;
    EXPECT_EQ(buildDeviceControlRecord(s).xonLim, 1);
    s.inputSize = 1 << 20;  // beyond 16 bits: the low 16 bits of 262144 are 0
    EXPECT_EQ(buildDeviceControlRecord(s).xonLim, 0);

    s = {};
    s.baudRate = BaudRate::brCustom;
    s.customBaudRate = 31250;
    EXPECT_EQ(buildDeviceControlRecord(s).baudRate, 31250u);
    s.baudRate = BaudRate::br256000;
    EXPECT_EQ(buildDeviceControlRecord(s).baudRate, 256000u);
    s.baudRate = BaudRate::br110;
    EXPECT_EQ(buildDeviceControlRecord(s).baudRate, 110u);

    s = {};
    s.dataBits = DataBits::dbFive;
    s.stopBits = StopBits::sbTwoStopBits;
    s.parity.bits = ParityBits::prSpace;
    s.eventChar = '\n';
    s.discardNull = true;
    DeviceControlRecord r = buildDeviceControlRecord(s);
    EXPECT_EQ(r.byteSize, 5);
    EXPECT_EQ(r.stopBits, 2);
    EXPECT_EQ(r.parity, 4);
    EXPECT_EQ(r.evtChar, '\n');
    EXPECT_EQ(r.flags, 0x0001u | 0x0800u);
}

TEST(DeviceControlRecord, FlagBits) {
    auto flagsOf = [](auto change) {
        LineSettings s;
        change(s);
        return buildDeviceControlRecord(s).flags & ~0x0001u;
    };
    EXPECT_EQ(flagsOf([](LineSettings& s) { s.parity.check = true; }), 0x0002u);
    EXPECT_EQ(flagsOf([](LineSettings& s) { s.flowControl.outCTSFlow = true; }), 0x0004u);
    EXPECT_EQ(flagsOf([](LineSettings& s) { s.flowControl.outDSRFlow = true; }), 0x0008u);
    EXPECT_EQ(
        flagsOf([](LineSettings& s) { s.flowControl.controlDTR = DTRFlowControl::dtrEnable; }),
        0x0010u);
    EXPECT_EQ(
        flagsOf([](LineSettings& s) { s.flowControl.controlDTR = DTRFlowControl::dtrHandshake; }),
        0x0020u);
    EXPECT_EQ(flagsOf([](LineSettings& s) { s.flowControl.dsrSensitivity = true; }), 0x0040u);
    EXPECT_EQ(flagsOf([](LineSettings& s) { s.flowControl.txContinueOnXoff = true; }), 0x0080u);
    EXPECT_EQ(flagsOf([](LineSettings& s) { s.flowControl.xonXoffOut = true; }), 0x0100u);
    EXPECT_EQ(flagsOf([](LineSettings& s) { s.flowControl.xonXoffIn = true; }), 0x0200u);
    EXPECT_EQ(
        flagsOf([](LineSettings& s) { s.flowControl.controlRTS = RTSFlowControl::rtsEnable; }),
        0x1000u);
    EXPECT_EQ(
        flagsOf([](LineSettings& s) { s.flowControl.controlRTS = RTSFlowControl::rtsHandshake; }),
        0x2000u);
    EXPECT_EQ(
        flagsOf([](LineSettings& s) { s.flowControl.controlRTS = RTSFlowControl::rtsToggle; }),
        0x3000u);

    // The error character only counts when parity is both checked and replaced.
    LineSettings s;
    s.parity.replace = true;
    s.parity.replaceChar = '?';
    EXPECT_EQ(buildDeviceControlRecord(s).flags, 0x0001u);
    EXPECT_EQ(buildDeviceControlRecord(s).errorChar, 0);
    s.parity.check = true;
    EXPECT_EQ(buildDeviceControlRecord(s).flags, 0x0001u | 0x0002u | 0x0400u);
    EXPECT_EQ(buildDeviceControlRecord(s).errorChar, '?');
}

TEST(TimeoutRecord, ValuesPassUnchangedAndMinusOneMeansNoLimit) {
    TimeoutRecord r = buildTimeoutRecord(TimeoutSettings{});
    EXPECT_EQ(r, (TimeoutRecord{0xFFFFFFFFu, 0, 0, 100, 1000}));
    r = buildTimeoutRecord({5, -1, 7, 0, -2});
    EXPECT_EQ(r, (TimeoutRecord{5, 0xFFFFFFFFu, 7, 0, 0xFFFFFFFEu}));
}

TEST(LineErrors, FlagsMapAndParityCountsOnlyWhenChecked) {
    EXPECT_EQ(lineErrorsFromFlags(0x0004, false), LineErrors{});
    EXPECT_EQ(lineErrorsFromFlags(0x0004, true), LineErrors{LineError::ceRxParity});
    EXPECT_EQ(
        lineErrorsFromFlags(0x0001 | 0x0002 | 0x0008 | 0x0010 | 0x0100 | 0x0400 | 0x8000, false),
        (LineErrors{LineError::ceRxOver, LineError::ceOverrun, LineError::ceFrame,
                    LineError::ceBreak, LineError::ceTxFull, LineError::ceIO, LineError::ceMode}));
    EXPECT_EQ(lineErrorsFromFlags(0x0020 | 0x0040 | 0x0080 | 0x0200, true), LineErrors{});
}

TEST(LineSignals, ModemStatusBits) {
    EXPECT_EQ(lineSignalsFromModemStatus(0), LineSignals{});
    EXPECT_EQ(lineSignalsFromModemStatus(0x10), LineSignals{LineSignal::lsCTS});
    EXPECT_EQ(lineSignalsFromModemStatus(0x20), LineSignals{LineSignal::lsDSR});
    EXPECT_EQ(lineSignalsFromModemStatus(0x40), LineSignals{LineSignal::lsRing});
    EXPECT_EQ(lineSignalsFromModemStatus(0x80), LineSignals{LineSignal::lsRLSD});
    EXPECT_EQ(lineSignalsFromModemStatus(0x0F), LineSignals{});
}

TEST(FlowControlSummary, ReadingFollowsTheFirstMatchingRule) {
    FlowControlSettings f;
    EXPECT_EQ(flowControlSummary(f), FlowControl::fcNone);
    f.controlRTS = RTSFlowControl::rtsEnable;
    EXPECT_EQ(flowControlSummary(f), FlowControl::fcCustom);

    f = {};
    applyFlowControlSummary(f, FlowControl::fcHardware);
    EXPECT_EQ(f.controlRTS, RTSFlowControl::rtsHandshake);
    EXPECT_TRUE(f.outCTSFlow);
    // The fields the summary does not look at change nothing.
    f.controlDTR = DTRFlowControl::dtrHandshake;
    f.outDSRFlow = true;
    f.dsrSensitivity = true;
    EXPECT_EQ(flowControlSummary(f), FlowControl::fcHardware);
    EXPECT_EQ(f.controlDTR, DTRFlowControl::dtrHandshake);

    applyFlowControlSummary(f, FlowControl::fcSoftware);
    EXPECT_EQ(f.controlRTS, RTSFlowControl::rtsDisable);
    EXPECT_FALSE(f.outCTSFlow);
    EXPECT_TRUE(f.xonXoffIn && f.xonXoffOut);
    EXPECT_EQ(flowControlSummary(f), FlowControl::fcSoftware);

    f.xonXoffIn = false;
    EXPECT_EQ(flowControlSummary(f), FlowControl::fcCustom);
    FlowControlSettings before = f;
    applyFlowControlSummary(f, FlowControl::fcCustom);
    EXPECT_EQ(f, before);

    applyFlowControlSummary(f, FlowControl::fcNone);
    EXPECT_EQ(flowControlSummary(f), FlowControl::fcNone);
    EXPECT_TRUE(f.outDSRFlow);  // untouched by the summary
}

TEST(QueueSize, OddPositiveSizesRoundDown) {
    EXPECT_EQ(evenQueueSize(1025), 1024);
    EXPECT_EQ(evenQueueSize(7), 6);
    EXPECT_EQ(evenQueueSize(1), 0);
    EXPECT_EQ(evenQueueSize(-3), -3);
    EXPECT_EQ(evenQueueSize(0), 0);
}

}  // namespace
}  // namespace serial
