// The mixer on Wine's own winmm. The testbed runs a PulseAudio null sink, whose first mixer
// destination is a two-channel master line with a volume and a mute control, both uniform (one
// value for all channels). Wine keeps mixer values per process, so every value written is read
// back here. Wine 8 posts no change messages for mixer writes, so the notification path is
// tested through the in-memory driver. The same program, run with the sound server out of
// reach (KEYPILOT_EXPECT_NO_MIXER=1), checks the mixer without any device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "mixer/audio_mixer.h"

using mixer::AudioMixer;

namespace {

bool expectNoMixer() {
    const char* value = std::getenv("KEYPILOT_EXPECT_NO_MIXER");
    return value != nullptr && std::string(value) == "1";
}

struct Volume {
    int32_t left = 7, right = 7, mute = 7;
    bool stereo = false, volumeDisabled = false, muteDisabled = false, muteIsSelect = true;
    bool result = false;
};

Volume read(AudioMixer& m) {
    Volume v;
    v.result = m.getVolume(0, -1, v.left, v.right, v.mute, v.stereo, v.volumeDisabled,
                           v.muteDisabled, v.muteIsSelect);
    return v;
}

class MixerOnSoundServer : public testing::Test {
  protected:
    void SetUp() override {
        if (expectNoMixer()) {
            GTEST_SKIP() << "run without a sound server";
        }
    }
};

TEST_F(MixerOnSoundServer, OpensDeviceZeroWithAStereoMasterOfVolumeAndMute) {
    AudioMixer m;
    ASSERT_GE(m.mixerCount(), 1) << "no mixer device: is the testbed's PulseAudio running?";
    EXPECT_EQ(m.mixerId(), 0);
    EXPECT_NE(m.mixerHandle(), nullptr);
    EXPECT_FALSE(m.productName().empty());
    ASSERT_GE(m.destinations().count(), 1);
    EXPECT_EQ(m.numberOfLine(), m.destinations().count());

    const auto& master = *m.destinations().item(0);
    bool hasVolume = false, hasMute = false;
    for (int32_t i = 0; i < master.controls().count(); ++i) {
        DWORD type = master.controls().item(i)->dwControlType;
        hasVolume |= type == MIXERCONTROL_CONTROLTYPE_VOLUME;
        hasMute |= type == MIXERCONTROL_CONTROLTYPE_MUTE;
    }
    EXPECT_TRUE(hasVolume);
    EXPECT_TRUE(hasMute);

    EXPECT_EQ(master.lineInfo().cChannels, 2u);
    Volume v = read(m);
    EXPECT_TRUE(v.result);
    // A uniform control is asked for one channel, so the line reads as mono.
    EXPECT_FALSE(v.stereo);
    EXPECT_EQ(v.right, v.left);
    EXPECT_FALSE(v.muteIsSelect);
    EXPECT_GE(v.left, 0);
    EXPECT_LE(v.left, 65535);
    EXPECT_FALSE(v.volumeDisabled);

    m.setMixerId(-1);
    EXPECT_EQ(m.mixerId(), 0);
}

TEST_F(MixerOnSoundServer, VolumeAndMuteRoundTrip) {
    AudioMixer m;
    ASSERT_EQ(m.mixerId(), 0);
    ASSERT_TRUE(m.setVolume(0, -1, 12000, 45000, 1));
    Volume v = read(m);
    EXPECT_EQ(v.left, 12000);
    EXPECT_EQ(v.right, 12000);  // uniform: the first channel's value stands for all
    EXPECT_EQ(v.mute, 1);

    ASSERT_TRUE(m.setVolume(0, -1, 30000, -1, 0));
    v = read(m);
    EXPECT_EQ(v.left, 30000);
    EXPECT_EQ(v.right, 30000);
    EXPECT_EQ(v.mute, 0);

    // -1 leaves both alone.
    ASSERT_TRUE(m.setVolume(0, -1, -1, 5, -1));
    v = read(m);
    EXPECT_EQ(v.left, 30000);
    EXPECT_EQ(v.mute, 0);
}

TEST_F(MixerOnSoundServer, WritingTheSameIdRebuildsTheTree) {
    AudioMixer m;
    ASSERT_EQ(m.mixerId(), 0);
    int32_t count = m.destinations().count();
    const void* oldTree = &m.destinations();
    m.setMixerId(0);
    EXPECT_EQ(m.mixerId(), 0);
    EXPECT_NE(static_cast<const void*>(&m.destinations()), oldTree);
    EXPECT_EQ(m.destinations().count(), count);
    EXPECT_TRUE(read(m).result);
}

TEST(MixerWithoutSoundServer, NothingIsOpenAndBothOperationsFail) {
    if (!expectNoMixer()) {
        GTEST_SKIP() << "run with a sound server";
    }
    AudioMixer m;
    EXPECT_EQ(m.mixerCount(), 0);
    EXPECT_EQ(m.mixerId(), -1);
    EXPECT_EQ(m.destinations().count(), 0);
    m.setMixerId(0);
    EXPECT_EQ(m.mixerId(), -1);
    EXPECT_EQ(m.destinations().count(), 0);
    Volume v = read(m);
    EXPECT_FALSE(v.result);
    EXPECT_EQ(v.left, -1);
    EXPECT_FALSE(m.setVolume(0, -1, 1000, 1000, 0));
}

}  // namespace
