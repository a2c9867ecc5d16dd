// What goes back over a real port: the testbed's pseudo-terminal pair, Keypilot on one end and the
// test as the phone on the other. Only a sender that said hello ever gets a byte.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/keypilot.h"
#include "framework/application.h"
#include "framework/registry.h"
#include "link/link_protocol.h"
#include "link/phone_contact.h"
#include "keypilot_waits.h"
#include "session_claim.h"
#include "wine_test_support.h"

namespace {

using testing_support::PortEnd;
using testing_support::pumpUntil;

class PhoneLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        framework::application().initialize();
        framework::application().setTitle(L"Keypilot");
        testing_support::deleteUserKey(L"Software\\Corvane");
        const auto ports = testing_support::testbedPair(0);
        framework::RegistryKey::create(HKEY_CURRENT_USER, L"Software\\Corvane\\Keypilot")
            .writeText(L"com", std::to_wstring(std::stoi(ports.local.substr(3)) - 1));
        keypilot_ = std::make_unique<app::Keypilot>(testing_support::sessionClaim());
        keypilot_->setClock([this] { return now_; });
        keypilot_->start();
        ASSERT_TRUE(testing_support::waitForOpen(*keypilot_));
        auto handler = keypilot_->comPort().onRxChar;
        keypilot_->comPort().onRxChar = [this, handler](serial::SerialPort& port, int32_t count) {
            handler(port, count);
            received_ += count;
        };
        phone_ = std::make_unique<PortEnd>(ports.remote);
        ASSERT_TRUE(phone_->isOpen());
        SetCursorPos(300, 300);
    }
    void TearDown() override {
        phone_.reset();
        keypilot_.reset();
        testing_support::deleteUserKey(L"Software\\Corvane");
    }
    // Sends bytes as the phone and waits until Keypilot has read them all. A long flood goes in
    // writes of at most 1,000 bytes: Keypilot reads on this thread, and a write larger than the
    // pseudo-terminal's buffer would wait for a read that cannot come meanwhile.
    void send(const std::string& bytes) {
        for (std::size_t at = 0; at < bytes.size(); at += 1000) {
            const std::string piece = bytes.substr(at, 1000);
            const std::int64_t until = received_ + static_cast<std::int64_t>(piece.size());
            ASSERT_TRUE(phone_->send(piece));
            ASSERT_TRUE(pumpUntil([&] { return received_ >= until; }, 10000));
        }
    }
    // What reaches the phone within waitMs, the main thread answering meanwhile.
    std::string heardWithin(DWORD waitMs) {
        std::string heard;
        const DWORD start = GetTickCount();
        pumpUntil(
            [&] {
                heard += phone_->read();
                return GetTickCount() - start >= waitMs;
            },
            waitMs + 1000);
        return heard;
    }
    bool talking() { return keypilot_->phoneAnswers().talk().talking(); }

    std::uint64_t now_ = 100000;
    std::int64_t received_ = 0;
    std::unique_ptr<app::Keypilot> keypilot_;
    std::unique_ptr<PortEnd> phone_;
};

// A terminal app or an older page never says hello: after a flood of codes and frames nothing at
// all comes back; the first hello is answered with one JSON line, on this port.
TEST_F(PhoneLinkTest, OnlyAHelloIsAnsweredAndAFloodWithoutOneGetsNothing) {
    std::string flood;
    for (int i = 0; i < 2500; ++i) {
        // Four codes and two frames each time, 10,000 codes in all: the volume steps up and down,
        // which a talking Keypilot would report.
        flood += "07100710PISC+000+000";
    }
    send(flood);
    EXPECT_EQ(heardWithin(3000), "") << "no byte for a sender that never said hello";
    EXPECT_FALSE(talking());

    send("HI03");
    std::string answer;
    ASSERT_TRUE(pumpUntil([&] {
        answer += phone_->read();
        return answer.find('\n') != std::string::npos;
    }));
    EXPECT_EQ(answer.rfind("{\"type\":\"hello\",\"version\":" +
                               std::to_string(phonelink::kProtocolVersion) + ",",
                           0),
              0u)
        << answer;
    EXPECT_EQ(answer.back(), '\n');
    EXPECT_LE(answer.size(), 4096u);
    EXPECT_TRUE(talking());
}

// The talk lasts while the signs of life come, the hello being one; once the sender counts as
// gone, whoever comes next on the same open port gets nothing until it says hello itself.
TEST_F(PhoneLinkTest, ASenderGoneEndsTheTalkAndTheNextSenderGetsNothingWithoutAHello) {
    send("HI03");
    // The answer, then the PC's buttons.
    std::string lines;
    ASSERT_TRUE(pumpUntil([&] {
        lines += phone_->read();
        return lines.find("]}\n") != std::string::npos;
    }));
    now_ += phonelink::PhoneContact::kPingingSilenceMs - 1;
    keypilot_->onStatusTick();
    EXPECT_TRUE(talking());
    now_ += 1;
    keypilot_->onStatusTick();
    EXPECT_FALSE(talking()) << "the hello's sign of life is 5 s old";

    send("PI0608MV+001+000");
    EXPECT_EQ(heardWithin(1000), "") << "signs of life and presses start nothing";
    EXPECT_FALSE(talking());
    send("HI02PI");
    EXPECT_TRUE(pumpUntil([&] { return phone_->read().find('\n') != std::string::npos; }));
    EXPECT_TRUE(talking());
}

}  // namespace
