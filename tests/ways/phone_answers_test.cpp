// What goes back to a phone that said hello, in-process. The mixer runs on its fake driver:
// Wine 8 sends no mixer change notices and keeps levels per process, so the test sends the
// driver's notice itself, as a sound card's driver does; Core Audio is left out (no endpoint), as
// Wine's refuses the level calls. The carrier records the lines: it stands in for the COM port's
// writer, which the tests through the real port exercise.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "desktop/command_handler.h"
#include "framework/application.h"
#include "link/answer.h"
#include "settings/pc_name.h"
#include "ways/phone_answers.h"
#include "wine_test_support.h"
#include "../mixer/fake_mixer_driver.h"

namespace {

using phonelink::VolumeState;
using testing_support::pumpUntil;

constexpr DWORD kVolumeId = 1;
constexpr DWORD kMuteId = 2;

class RecordingCarrier final : public phonelink::Carrier {
  public:
    // Each write is done at once, as a phone that reads quickly has it.
    void send(std::string bytes) override {
        written.push_back(std::move(bytes));
        if (onSent) {
            onSent(true);
        }
    }
    std::vector<std::string> written;
};

DWORD onMixerScale(int percent) {
    return static_cast<DWORD>(std::lround(percent * 65535.0 / 100.0));
}

class PhoneAnswersTest : public ::testing::Test {
  protected:
    PhoneAnswersTest() {
        framework::application().initialize();
        using namespace fakemixer;
        auto d = std::make_unique<Driver>();
        d->devices.push_back(device(1, L"Card",
                                    {line(0xFFFF0000, 2,
                                          {volume(kVolumeId, {onMixerScale(50), onMixerScale(50)}),
                                           muteSwitch(kMuteId, {1, 1})})}));
        driver_ = d.get();
        mixer_ = std::make_unique<mixer::AudioMixer>(std::move(d));
        answers_ = std::make_unique<app::PhoneAnswers>(
            contact_, carrier_, *mixer_, [this] { return now_; }, nullptr);
        // As Keypilot wires it.
        mixer_->onControlChange = [this](mixer::AudioMixer&, HMIXER, uint32_t) {
            answers_->volumeChanged();
        };
    }

    void hello() {
        contact_.heard(now_, true);
        answers_->hello();
    }
    // The level changed on the PC: the driver holds it and tells the mixer's window, as it does
    // for a change by any program.
    void changeOnThePc(int percent) {
        auto& values = driver_->findControl(kVolumeId)->values;
        values[0] = values[1] = onMixerScale(percent);
        SendMessageW(mixer_->notifyWindow(), MM_MIXM_CONTROL_CHANGE,
                     reinterpret_cast<WPARAM>(mixer_->mixerHandle()), kVolumeId);
    }
    static std::string state(int percent, bool muted) {
        return phonelink::encodeVolumeState(VolumeState{percent, muted});
    }

    std::uint64_t now_ = 10000;
    phonelink::PhoneContact contact_;
    RecordingCarrier carrier_;
    fakemixer::Driver* driver_ = nullptr;
    std::unique_ptr<mixer::AudioMixer> mixer_;
    std::unique_ptr<app::PhoneAnswers> answers_;
};

TEST_F(PhoneAnswersTest, AHelloIsAnsweredWithTheNameTheLanguageAndTheVolume) {
    contact_.heard(now_, true);
    changeOnThePc(40);
    EXPECT_TRUE(carrier_.written.empty()) << "a sender that has not said hello";

    hello();
    const std::wstring name = app::pcName();
    ASSERT_EQ(carrier_.written.size(), 1u);
    EXPECT_EQ(carrier_.written[0],
              phonelink::encodeHelloAnswer(std::u16string(name.begin(), name.end()),
                                           app::ownTextLanguage(), VolumeState{40, true}));
    EXPECT_NE(name, L"?");
}

// A change on the PC goes at once; one that follows within the interval goes at the interval's
// end, whatever the number of changes between, with the last state.
TEST_F(PhoneAnswersTest, ChangesOnThePcAreSentAtOnceThenAtMostOnceAnInterval) {
    hello();
    changeOnThePc(60);
    ASSERT_EQ(carrier_.written.size(), 2u) << "sent while the notice was handled";
    EXPECT_EQ(carrier_.written[1], state(60, true));

    for (int percent = 0; percent < 50; ++percent) {
        changeOnThePc(percent);
    }
    ASSERT_TRUE(pumpUntil([&] { return carrier_.written.back() == state(49, true); }));
    EXPECT_LE(carrier_.written.size(), 4u) << "a burst of 50 changes";
}

TEST_F(PhoneAnswersTest, NoUpdatesOnceTheSenderIsGoneOrThePortClosed) {
    hello();
    now_ += phonelink::PhoneContact::kPingingSilenceMs;
    changeOnThePc(10);
    answers_->portClosed();
    hello();
    answers_->portClosed();
    changeOnThePc(20);
    EXPECT_EQ(carrier_.written.size(), 2u);
}

// The level frame sets the master level that the mixer reads back, the mute as it was. It goes
// through the program's own action, Core Audio first: Wine's refuses the level, as a device
// without endpoint levels does, so the level lands in the mixer.
TEST_F(PhoneAnswersTest, TheLevelFrameSetsTheLevelTheMixerReadsBack) {
    app::CommandContext context;
    context.mixer = mixer_.get();
    app::runMessage(phonelink::Message::setVolume(42), context);
    int32_t left = -1, right = -1, mute = -1;
    bool stereo = false, volumeDisabled = false, muteDisabled = false, muteIsSelect = false;
    mixer_->getVolume(0, -1, left, right, mute, stereo, volumeDisabled, muteDisabled, muteIsSelect);
    EXPECT_EQ(left, static_cast<int32_t>(onMixerScale(42)));
    EXPECT_EQ(right, left);
    EXPECT_EQ(mute, 1);
    EXPECT_EQ(app::readMasterVolume(*mixer_, nullptr), (VolumeState{42, true}));
}

}  // namespace
