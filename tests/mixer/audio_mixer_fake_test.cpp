// The mixer against an in-memory driver: topologies and failures that Wine's one stereo
// master line cannot show.
#include <gtest/gtest.h>

#include <memory>

#include "fake_mixer_driver.h"
#include "framework/application.h"
#include "framework/exception.h"
#include "mixer/audio_mixer.h"
#include "wine_test_support.h"

using mixer::AudioMixer;
using testing_support::pumpUntil;
using namespace fakemixer;

namespace {

constexpr DWORD kMasterLine = 0xFFFF0000;
constexpr DWORD kRecordLine = 0xFFFF0001;
constexpr DWORD kMicLine = 0x00010000;
constexpr DWORD kCdLine = 0x00010001;
constexpr DWORD kLineInLine = 0x00010002;

struct Volume {
    int32_t left = 7, right = 7, mute = 7;
    bool stereo = true, volumeDisabled = false, muteDisabled = false, muteIsSelect = true;
    bool result = false;
};

Volume read(AudioMixer& m, int32_t destination, int32_t connection) {
    Volume v;
    v.result = m.getVolume(destination, connection, v.left, v.right, v.mute, v.stereo,
                           v.volumeDisabled, v.muteDisabled, v.muteIsSelect);
    return v;
}

// A card with a stereo master (volume, mute) and a recording destination whose select
// control lists the microphone and the CD but not the line input.
Device soundCard(WORD mid = 1) {
    return device(mid, L"Test Card",
                  {line(kMasterLine, 2, {volume(1, {40000, 20000}), muteSwitch(2, {1, 1})},
                        {line(0x1000, 2, {volume(10, {100, 200})})}),
                   line(kRecordLine, 1, {selector(3, {kMicLine, kCdLine}, 1)},
                        {line(kMicLine, 1, {volume(20, {5000}), muteSwitch(21, {0})}),
                         line(kCdLine, 2, {volume(22, {6000, 6100})}),
                         line(kLineInLine, 2, {volume(23, {1, 2}), muteSwitch(24, {1, 1})})})});
}

struct FakeMixer {
    Driver* driver;
    std::unique_ptr<AudioMixer> mixer;
    explicit FakeMixer(std::vector<Device> devices) {
        auto d = std::make_unique<Driver>();
        d->devices = std::move(devices);
        driver = d.get();
        mixer = std::make_unique<AudioMixer>(std::move(d));
    }
};

TEST(AudioMixerTopology, OpensTheFirstDeviceWithNotificationsAndBuildsTheTree) {
    FakeMixer f({soundCard(), soundCard(2)});
    AudioMixer& m = *f.mixer;
    EXPECT_EQ(m.mixerCount(), 2);
    EXPECT_EQ(m.mixerId(), 0);
    ASSERT_NE(m.notifyWindow(), nullptr);
    EXPECT_EQ(f.driver->callbackWindow, m.notifyWindow());
    EXPECT_EQ(m.mixerHandle(), Driver::handleOf(0));
    EXPECT_EQ(m.numberOfLine(), 2);
    EXPECT_EQ(m.productName(), L"Test Card");
    EXPECT_EQ(m.productId(), 77);
    EXPECT_EQ(m.driverVersion(), 0x0501u);

    const auto& tree = m.destinations();
    ASSERT_EQ(tree.count(), 2);
    const auto* master = tree.item(0);
    EXPECT_EQ(master->lineInfo().dwLineID, kMasterLine);
    EXPECT_EQ(master->controls().count(), 2);
    EXPECT_EQ(master->controls().item(1)->dwControlID, 2u);
    EXPECT_EQ(master->controls().item(2), nullptr);
    EXPECT_EQ(master->connections().count(), 1);
    const auto* record = tree.item(1);
    ASSERT_EQ(record->connections().count(), 3);
    EXPECT_EQ(record->connections().item(1)->lineInfo().dwLineID, kCdLine);
    EXPECT_EQ(record->connections().item(2)->controls().item(1)->dwControlID, 24u);
    EXPECT_EQ(record->connections().item(3), nullptr);
    EXPECT_EQ(tree.item(2), nullptr);
    EXPECT_EQ(&master->mixer(), &m);
}

TEST(AudioMixerTopology, ManufacturerNamesMicrosoftOnlyForIdentifierOne) {
    FakeMixer f({soundCard(1), soundCard(2)});
    EXPECT_EQ(f.mixer->manufacturer(), L"Microsoft");
    f.mixer->setMixerId(1);
    EXPECT_EQ(f.mixer->mixerId(), 1);
    EXPECT_EQ(f.mixer->manufacturer(), L"2 = Unknown");
}

TEST(AudioMixerTopology, FailedQueriesLeaveEntriesOutAndPositionsAreListPositions) {
    Device d = device(
        1, L"Gaps",
        {line(100, 2, {volume(1, {1, 1})}), line(200, 2, {volume(2, {2, 2})}),
         line(300, 2, {volume(3, {3, 3})},
              {line(301, 1), line(302, 1, {muteSwitch(4, {0})}), line(303, 1, {volume(5, {9})})}),
         line(400, 1, {volume(6, {4})})});
    d.destinations[1].failQuery = true;
    d.destinations[2].sources[1].failQuery = true;
    d.destinations[3].failControls = true;
    FakeMixer f({d});
    const auto& tree = f.mixer->destinations();
    ASSERT_EQ(tree.count(), 3);
    EXPECT_EQ(tree.item(1)->lineInfo().dwLineID, 300u);
    const auto& sources = tree.item(1)->connections();
    ASSERT_EQ(sources.count(), 2);
    EXPECT_EQ(sources.item(0)->controls().count(), 0);  // a line without controls
    EXPECT_EQ(sources.item(1)->lineInfo().dwLineID, 303u);
    EXPECT_EQ(tree.item(2)->controls().count(), 0);  // its control query failed

    // Position 1 is the third driver destination for the volume operations too.
    Volume v = read(*f.mixer, 1, -1);
    EXPECT_EQ(v.left, 3);
    v = read(*f.mixer, 2, -1);
    EXPECT_TRUE(v.result);
    EXPECT_EQ(v.left, -1);
}

TEST(AudioMixerTopology, NegativePositionsRaiseTheListIndexError) {
    FakeMixer f({soundCard()});
    const auto& tree = f.mixer->destinations();
    try {
        tree.item(-1);
        FAIL() << "no error";
    } catch (const mixer::ListError& e) {
        EXPECT_EQ(e.message(), L"List index out of bounds (-1)");
    }
    EXPECT_THROW(tree.item(0)->controls().item(-3), mixer::ListError);
    EXPECT_THROW(tree.item(0)->connections().item(-1), mixer::ListError);
    EXPECT_THROW(read(*f.mixer, -1, -1), mixer::ListError);
    EXPECT_THROW(read(*f.mixer, 0, -2), mixer::ListError);
    EXPECT_THROW(f.mixer->setVolume(-1, -1, 1, 1, 0), mixer::ListError);
    EXPECT_THROW(f.mixer->setVolume(1, -5, 1, 1, 0), mixer::ListError);
}

TEST(AudioMixerTopology, WritingTheIdReopensOutOfRangeIsIgnored) {
    FakeMixer f({soundCard(1), soundCard(2)});
    AudioMixer& m = *f.mixer;
    m.setMixerId(-1);
    m.setMixerId(2);
    EXPECT_EQ(m.mixerId(), 0);
    EXPECT_EQ(f.driver->openCalls, 1);
    EXPECT_EQ(f.driver->closeCalls, 0);

    // Rebuilding the same device: the old handle is closed and the tree replaced.
    f.driver->devices[0].destinations.pop_back();
    f.driver->devices[0].caps.cDestinations = 1;
    m.setMixerId(0);
    EXPECT_EQ(m.mixerId(), 0);
    EXPECT_EQ(f.driver->openCalls, 2);
    EXPECT_EQ(f.driver->closeCalls, 1);
    EXPECT_EQ(m.destinations().count(), 1);
    EXPECT_EQ(f.driver->openDevices, 1);
}

TEST(AudioMixerTopology, OpenIsTriedTwiceWithNotificationsThenWithout) {
    std::vector<Device> devices{soundCard(1), soundCard(2)};
    devices[1].failingOpens = 1;
    FakeMixer f(devices);
    f.mixer->setMixerId(1);
    EXPECT_EQ(f.mixer->mixerId(), 1);
    EXPECT_EQ(f.driver->callbackWindow, f.mixer->notifyWindow());

    f.driver->devices[1].failingOpens = 2;
    f.mixer->setMixerId(1);
    EXPECT_EQ(f.mixer->mixerId(), 1);
    EXPECT_EQ(f.driver->callbackWindow, nullptr);  // opened without notifications
    EXPECT_EQ(f.mixer->destinations().count(), 2);

    // All three refused: no device, an empty tree, the descriptions of the last one stay.
    f.driver->devices[0].failingOpens = 2;
    f.driver->devices[0].failPlainOpen = true;
    f.mixer->setMixerId(0);
    EXPECT_EQ(f.mixer->mixerId(), -1);
    EXPECT_EQ(f.mixer->destinations().count(), 0);
    EXPECT_EQ(f.mixer->manufacturer(), L"2 = Unknown");
    EXPECT_EQ(f.driver->openDevices, 0);
    EXPECT_FALSE(f.mixer->setVolume(0, -1, 1, 1, 0));
}

TEST(AudioMixerTopology, WithoutDevicesThereIsNothingToOpen) {
    FakeMixer f({});
    EXPECT_EQ(f.mixer->mixerCount(), 0);
    EXPECT_EQ(f.mixer->mixerId(), -1);
    EXPECT_EQ(f.mixer->destinations().count(), 0);
    f.mixer->setMixerId(0);
    EXPECT_EQ(f.mixer->mixerId(), -1);
    EXPECT_EQ(f.driver->openCalls, 0);
    Volume v = read(*f.mixer, 0, -1);
    EXPECT_FALSE(v.result);
    EXPECT_EQ(v.left, -1);
    EXPECT_TRUE(v.volumeDisabled);
    EXPECT_FALSE(f.mixer->setVolume(0, -1, 100, 100, 0));
}

TEST(AudioMixerTopology, DriverMessagesReachTheEventsThroughTheMessageLoop) {
    FakeMixer f({soundCard()});
    AudioMixer& m = *f.mixer;
    int lineChanges = 0;
    AudioMixer* sender = nullptr;
    uint32_t lineId = 0;
    HMIXER handle = nullptr;
    m.onLineChange = [&](AudioMixer& s, HMIXER h, uint32_t id) {
        ++lineChanges;
        sender = &s;
        handle = h;
        lineId = id;
    };
    std::vector<uint32_t> controlIds;
    m.onControlChange = [&](AudioMixer&, HMIXER, uint32_t id) { controlIds.push_back(id); };

    PostMessageW(m.notifyWindow(), MM_MIXM_LINE_CHANGE, reinterpret_cast<WPARAM>(m.mixerHandle()),
                 kMasterLine);
    ASSERT_TRUE(pumpUntil([&] { return lineChanges == 1; }));
    EXPECT_EQ(sender, &m);
    EXPECT_EQ(handle, m.mixerHandle());
    EXPECT_EQ(lineId, kMasterLine);

    ASSERT_TRUE(m.setVolume(0, -1, 100, 200, -1));
    EXPECT_TRUE(controlIds.empty());  // not during the call
    ASSERT_TRUE(pumpUntil([&] { return !controlIds.empty(); }));
    EXPECT_EQ(controlIds, std::vector<uint32_t>{1});
    // Other messages are the window's default business.
    EXPECT_EQ(SendMessageW(m.notifyWindow(), WM_NULL, 0, 0), 0);

    // An error in a handler goes to the application's error display, not through the window
    // procedure.
    std::wstring shown;
    auto old = framework::application().setExceptionHandler(
        [&](const std::exception& e) { shown = framework::messageOf(e); });
    m.onLineChange = [](AudioMixer&, HMIXER, uint32_t) { throw framework::Exception(L"oops"); };
    SendMessageW(m.notifyWindow(), MM_MIXM_LINE_CHANGE, 0, 1);
    framework::application().setExceptionHandler(old);
    EXPECT_EQ(shown, L"oops");
}

TEST(AudioMixerVolume, StereoMasterReportsBothChannelsAndItsMuteSwitch) {
    Device d = soundCard();
    d.destinations[0].controls[1].info.fdwControl = MIXERCONTROL_CONTROLF_DISABLED;
    FakeMixer f({d});
    Volume v = read(*f.mixer, 0, -1);
    EXPECT_TRUE(v.result);
    EXPECT_EQ(v.left, 40000);
    EXPECT_EQ(v.right, 20000);
    EXPECT_TRUE(v.stereo);
    EXPECT_EQ(v.mute, 1);
    EXPECT_FALSE(v.volumeDisabled);
    EXPECT_TRUE(v.muteDisabled);
    EXPECT_FALSE(v.muteIsSelect);

    ASSERT_TRUE(f.mixer->setVolume(0, -1, 33000, 34000, 0));
    ASSERT_EQ(f.driver->writes.size(), 2u);
    EXPECT_EQ(f.driver->writes[0].values, (std::vector<DWORD>{33000, 34000}));
    EXPECT_EQ(f.driver->writes[1].controlId, 2u);
    EXPECT_EQ(f.driver->writes[1].values, (std::vector<DWORD>{0, 0}));
    v = read(*f.mixer, 0, -1);
    EXPECT_EQ(v.mute, 0);
}

TEST(AudioMixerVolume, MonoAndUniformLinesHaveOneChannel) {
    Device d = device(1, L"Mono",
                      {line(1, 1, {volume(1, {1234})}),
                       line(2, 2, {volume(2, {4321}, MIXERCONTROL_CONTROLF_UNIFORM)})});
    FakeMixer f({d});
    for (int32_t destination : {0, 1}) {
        Volume v = read(*f.mixer, destination, -1);
        EXPECT_EQ(v.right, v.left);
        EXPECT_FALSE(v.stereo);
        EXPECT_EQ(v.mute, -1);  // no mute switch
        EXPECT_TRUE(v.muteDisabled);
    }
    ASSERT_TRUE(f.mixer->setVolume(0, -1, 500, 600, 0));
    ASSERT_EQ(f.driver->writes.size(), 1u);
    EXPECT_EQ(f.driver->writes[0].channels, 1u);
    EXPECT_EQ(f.driver->writes[0].values, std::vector<DWORD>{500});
}

TEST(AudioMixerVolume, MinusOneLeavesAloneOrFollowsTheLeftChannel) {
    FakeMixer f({soundCard()});
    Driver& driver = *f.driver;
    ASSERT_TRUE(f.mixer->setVolume(0, -1, -1, 5, -1));
    EXPECT_TRUE(driver.writes.empty());
    ASSERT_TRUE(f.mixer->setVolume(0, -1, 9000, -1, -1));
    ASSERT_EQ(driver.writes.size(), 1u);
    EXPECT_EQ(driver.writes[0].values, (std::vector<DWORD>{9000, 9000}));
    ASSERT_TRUE(f.mixer->setVolume(0, -1, -1, -1, 1));
    ASSERT_EQ(driver.writes.size(), 2u);
    EXPECT_EQ(driver.writes[1].controlId, 2u);
}

TEST(AudioMixerVolume, PositionsOutOfRange) {
    FakeMixer f({soundCard()});
    for (int32_t connection : {-1, 0}) {
        Volume v = read(*f.mixer, 2, connection);
        EXPECT_FALSE(v.result);
        EXPECT_FALSE(f.mixer->setVolume(2, connection, 1, 1, 1));
    }
    Volume v = read(*f.mixer, 1, 3);
    EXPECT_TRUE(v.result);
    EXPECT_EQ(v.left, -1);
    EXPECT_EQ(v.right, -1);
    EXPECT_EQ(v.mute, -1);
    EXPECT_FALSE(v.stereo);
    EXPECT_TRUE(v.volumeDisabled);
    EXPECT_TRUE(v.muteDisabled);
    EXPECT_FALSE(v.muteIsSelect);
    EXPECT_TRUE(f.mixer->setVolume(1, 3, 1, 1, 1));
    EXPECT_TRUE(f.driver->writes.empty());
}

TEST(AudioMixerVolume, SelectControlGivesTheMuteStateOfListedSources) {
    Device d = soundCard();
    d.destinations[1].controls[0].info.fdwControl |= MIXERCONTROL_CONTROLF_DISABLED;
    FakeMixer f({d});
    // The CD is the selected item; the microphone is listed but not selected.
    Volume cd = read(*f.mixer, 1, 1);
    EXPECT_EQ(cd.mute, 1);
    EXPECT_TRUE(cd.muteIsSelect);
    EXPECT_TRUE(cd.muteDisabled);
    EXPECT_EQ(cd.left, 6000);
    EXPECT_EQ(cd.right, 6100);
    Volume mic = read(*f.mixer, 1, 0);
    EXPECT_EQ(mic.mute, 0);
    EXPECT_TRUE(mic.muteIsSelect);
    EXPECT_EQ(mic.left, 5000);
    EXPECT_FALSE(mic.stereo);
    // Not listed: its own mute switch counts.
    Volume lineIn = read(*f.mixer, 1, 2);
    EXPECT_EQ(lineIn.mute, 1);
    EXPECT_FALSE(lineIn.muteIsSelect);
}

TEST(AudioMixerVolume, SelectingASourceDeselectsTheOthers) {
    FakeMixer f({soundCard()});
    Driver& driver = *f.driver;
    ASSERT_TRUE(f.mixer->setVolume(1, 0, -1, -1, 1));
    ASSERT_EQ(driver.writes.size(), 1u);
    EXPECT_EQ(driver.writes[0].controlId, 3u);
    EXPECT_EQ(driver.writes[0].values, (std::vector<DWORD>{1, 0}));
    EXPECT_EQ(read(*f.mixer, 1, 1).mute, 0);

    // The microphone's own mute switch is not touched while the select control lists it.
    EXPECT_EQ(driver.findControl(21)->values[0], 0u);

    // A source the select control does not list: nothing is written for mute, not even its
    // own switch; the volume still is.
    driver.writes.clear();
    ASSERT_TRUE(f.mixer->setVolume(1, 2, 10, 20, 0));
    ASSERT_EQ(driver.writes.size(), 1u);
    EXPECT_EQ(driver.writes[0].controlId, 23u);
    EXPECT_EQ(driver.findControl(24)->values, (std::vector<DWORD>{1, 1}));
}

TEST(AudioMixerVolume, RefusedReadsSkipToTheNextControl) {
    Device d = device(
        1, L"Flaky",
        {line(1, 2,
              {volume(1, {1, 1}), volume(2, {3000, 4000}), volume(3, {5, 5}),
               muteSwitch(4, {1, 0}, MIXERCONTROL_CONTROLF_MULTIPLE), muteSwitch(5, {0, 0})}),
         line(2, 1, {selector(6, {10}, 0)}, {line(10, 1, {muteSwitch(7, {1})})})});
    d.destinations[0].controls[0].failRead = true;
    d.destinations[1].controls[0].failNames = true;
    FakeMixer f({d});
    Volume v = read(*f.mixer, 0, -1);
    EXPECT_EQ(v.left, 3000);
    EXPECT_EQ(v.right, 4000);
    EXPECT_EQ(v.mute, 0);  // the multiple-item switch is passed over
    // Names that cannot be read: the source's own switch is used.
    Volume source = read(*f.mixer, 1, 0);
    EXPECT_EQ(source.mute, 1);
    EXPECT_FALSE(source.muteIsSelect);

    // The write goes to the first volume control, read or not.
    ASSERT_TRUE(f.mixer->setVolume(0, -1, 7, 8, 1));
    ASSERT_EQ(f.driver->writes.size(), 2u);
    EXPECT_EQ(f.driver->writes[0].controlId, 1u);
    EXPECT_EQ(f.driver->writes[1].controlId, 5u);
}

// More values than a fixed buffer of 101 would hold: 120 items in a select control, and a
// six-channel volume whose further channels keep their levels.
TEST(AudioMixerVolume, LargeControlsAreReadAndWrittenWhole) {
    std::vector<DWORD> items;
    for (DWORD i = 0; i < 120; ++i) {
        items.push_back(0x20000 + i);
    }
    std::vector<Line> sources;
    for (DWORD i = 0; i < 120; ++i) {
        sources.push_back(line(0x20000 + i, 1));
    }
    Device d = device(1, L"Big",
                      {line(1, 1, {selector(1, items, 110)}, sources),
                       line(2, 6, {volume(2, {1, 2, 3, 4, 5, 6})})});
    FakeMixer f({d});
    EXPECT_EQ(read(*f.mixer, 0, 110).mute, 1);
    EXPECT_EQ(read(*f.mixer, 0, 109).mute, 0);
    ASSERT_TRUE(f.mixer->setVolume(0, 115, -1, -1, 1));
    ASSERT_EQ(f.driver->writes.size(), 1u);
    std::vector<DWORD> expected(120, 0);
    expected[115] = 1;
    EXPECT_EQ(f.driver->writes[0].values, expected);

    ASSERT_TRUE(f.mixer->setVolume(1, -1, 100, 200, -1));
    ASSERT_EQ(f.driver->writes.size(), 2u);
    EXPECT_EQ(f.driver->writes[1].values, (std::vector<DWORD>{100, 200, 3, 4, 5, 6}));
}

}  // namespace
