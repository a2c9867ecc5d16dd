// One way in, in-process, above a recording carrier: what the phone's chunks start and keep going,
// and what goes back. The master volume comes from the mixer on its fake driver: Wine 8 sends no
// mixer change notices and keeps levels per process, so the test sends the driver's notice itself,
// as a sound card's driver does; Core Audio is left out (no endpoint), as Wine's refuses the level
// calls. The carriers themselves are held to their promises in carrier_contract_test.cpp.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop/command_handler.h"
#include "desktop/volume_watch.h"
#include "framework/application.h"
#include "link/answer.h"
#include "ways/way.h"
#include "wine_test_support.h"
#include "../mixer/fake_mixer_driver.h"

namespace {

using phonelink::VolumeState;
using testing_support::pumpUntil;

constexpr DWORD kVolumeId = 1;
constexpr DWORD kMuteId = 2;

// A write is done when the test says so.
class RecordingCarrier final : public app::WayCarrier {
  public:
    void send(std::string bytes) override {
        written.push_back(std::move(bytes));
        ++pending_;
    }
    // The phone has read all that was sent.
    void finish() {
        for (; pending_ > 0; --pending_) {
            onSent(phonelink::SendOutcome::Written);
        }
    }
    CarrierState carrierState() const override { return CarrierState::Open; }
    std::wstring wayName() const override { return L"COM9"; }
    bool wanted() const override { return true; }
    std::optional<std::wstring> stateText() const override { return std::nullopt; }

    std::vector<std::string> written;

  private:
    int pending_ = 0;
};

DWORD onMixerScale(int percent) {
    return static_cast<DWORD>(std::lround(percent * 65535.0 / 100.0));
}

class WayTest : public ::testing::Test, private app::Way::Listener {
  protected:
    WayTest() {
        framework::application().initialize();
        using namespace fakemixer;
        auto d = std::make_unique<Driver>();
        d->devices.push_back(device(1, L"Card",
                                    {line(0xFFFF0000, 2,
                                          {volume(kVolumeId, {onMixerScale(50), onMixerScale(50)}),
                                           muteSwitch(kMuteId, {1, 1})})}));
        driver_ = d.get();
        mixer_ = std::make_unique<mixer::AudioMixer>(std::move(d));
        volume_ = std::make_unique<app::VolumeWatch>(*mixer_, nullptr);
        auto carrier = std::make_unique<RecordingCarrier>();
        carrier_ = carrier.get();
        phonelink::PhoneTalk::Lines lines;
        lines.helloAnswer = [this] { return "answer " + std::to_string(++answers_) + "\n"; };
        lines.volumeState = [this] { return phonelink::encodeVolumeState(volume_->state()); };
        app::Way::Listener& listener = *this;
        way_ = std::make_unique<app::Way>(std::move(carrier), listener, lines,
                                          [this] { return now_; });
        // As Keypilot wires them.
        mixer_->onControlChange = [this](mixer::AudioMixer&, HMIXER, uint32_t) {
            volume_->changed();
        };
        volume_->onChange = [this] { way_->volumeChanged(); };
    }

    // The phone sends these bytes on the way.
    void say(const std::string& bytes) { carrier_->onChunk(bytes); }
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
    const std::vector<std::string>& written() const { return carrier_->written; }

    std::uint64_t now_ = 10000;
    int answers_ = 0;
    fakemixer::Driver* driver_ = nullptr;
    std::unique_ptr<mixer::AudioMixer> mixer_;
    std::unique_ptr<app::VolumeWatch> volume_;
    RecordingCarrier* carrier_ = nullptr;
    std::unique_ptr<app::Way> way_;
    std::vector<phonelink::Message> acted_;

  private:
    void onHeard(app::Way&) override {}
    void onMessages(app::Way& way, const std::vector<phonelink::Message>& messages) override {
        for (const auto& message : messages) {
            way.onTalkMessage(message);
            acted_.push_back(message);
        }
    }
    void onEnded(app::Way&) override {}
    void onChanged(app::Way&) override {}
};

// A thousand hellos in one write cost one answer more, not a thousand: the answer is built when
// it goes, from the values as they are then.
TEST_F(WayTest, AFloodOfHellosBuildsTheAnswerOnceItGoes) {
    std::string flood;
    for (int i = 0; i < 1000; ++i) {
        flood += "HI04";
    }
    say(flood);
    carrier_->finish();
    carrier_->finish();
    EXPECT_EQ(written(), (std::vector<std::string>{"answer 1\n", "answer 2\n"}));
    EXPECT_EQ(acted_.size(), 1000u);
}

// A change on the PC goes at once; one that follows within the interval goes at the interval's
// end, whatever the number of changes between, with the last state.
TEST_F(WayTest, ChangesOnThePcAreSentAtOnceThenAtMostOnceAnInterval) {
    volume_->watch(true);
    say("HI04");
    carrier_->finish();
    changeOnThePc(60);
    ASSERT_TRUE(pumpUntil([&] { return written().back() == state(60, true); }));
    EXPECT_EQ(written().size(), 2u);

    for (int percent = 0; percent < 50; ++percent) {
        changeOnThePc(percent);
    }
    ASSERT_TRUE(pumpUntil([&] {
        carrier_->finish();
        return written().back() == state(49, true);
    }));
    EXPECT_LE(written().size(), 4u) << "a burst of 50 changes";
}

// The talk lasts while hellos and signs of life come less than 5 s apart, judged when a chunk
// arrives and before it acts: a code keeps nothing going, and a sign that comes too late revives
// nothing.
TEST_F(WayTest, OnlyHellosAndSignsKeepTheTalkGoingJudgedBeforeTheChunkActs) {
    say("HI04");
    carrier_->finish();
    now_ += phonelink::PhoneTalk::kSilenceMs - 1;
    say("PI");
    now_ += phonelink::PhoneTalk::kSilenceMs - 1;
    say("06");
    EXPECT_TRUE(way_->talking());
    now_ += 1;
    say("06");
    EXPECT_FALSE(way_->talking()) << "a code is no sign of life";
    say("PI");
    EXPECT_FALSE(way_->talking());
    changeOnThePc(20);
    ASSERT_TRUE(testing_support::waitForTimerTicks(10, 3));
    EXPECT_EQ(written().size(), 1u);

    // The link's end ends it too.
    say("HI04");
    carrier_->finish();
    carrier_->onEnded();
    changeOnThePc(30);
    ASSERT_TRUE(testing_support::waitForTimerTicks(10, 3));
    EXPECT_EQ(written().back(), "answer 2\n");
}

}  // namespace
