// The clock of when the phone was last heard, on times the test gives it: each window is checked
// at its last millisecond and at its end.
#include <gtest/gtest.h>

#include <cstdint>

#include "link/phone_contact.h"

namespace {

using phonelink::PhoneContact;

constexpr std::uint64_t kStart = 1'000'000;

// There until the window's last millisecond after `last`, gone at its end.
void expectGoneAfter(const PhoneContact& contact, std::uint64_t last, std::uint64_t window) {
    EXPECT_TRUE(contact.present(last + window - 1));
    EXPECT_FALSE(contact.present(last + window));
}

TEST(PhoneContactTest, APhoneIsThereTheMomentItIsHeardAndNotBefore) {
    PhoneContact contact;
    EXPECT_FALSE(contact.present(kStart));
    EXPECT_FALSE(contact.lastHeard());
    contact.heard(kStart, false);
    EXPECT_TRUE(contact.present(kStart));
    EXPECT_EQ(contact.lastHeard(), kStart);
    EXPECT_TRUE(contact.heardSince(kStart));
    EXPECT_FALSE(contact.heardSince(kStart + 1));
}

TEST(PhoneContactTest, APhoneThatSignsIsGoneFiveSecondsAfterItWasLastHeard) {
    PhoneContact contact;
    contact.heard(kStart, true);
    // Once it has signed, any later chunk counts as its life, signed or not.
    contact.heard(kStart + 1000, false);
    expectGoneAfter(contact, kStart + 1000, PhoneContact::kPingingSilenceMs);
    EXPECT_EQ(PhoneContact::kPingingSilenceMs, 5000u);
}

TEST(PhoneContactTest, ASenderThatNeverSignsIsKeptTwoMinutesAndNoLonger) {
    PhoneContact contact;
    contact.heard(kStart, false);
    EXPECT_TRUE(contact.present(kStart + PhoneContact::kPingingSilenceMs));
    expectGoneAfter(contact, kStart, PhoneContact::kQuietSilenceMs);
    EXPECT_EQ(PhoneContact::kQuietSilenceMs, 120000u);
}

TEST(PhoneContactTest, AForgottenPhoneStartsOverAsQuiet) {
    PhoneContact contact;
    contact.heard(kStart, true);
    contact.forget();
    EXPECT_FALSE(contact.present(kStart));
    EXPECT_FALSE(contact.lastHeard());
    // The sender heard next has not signed on this port: the long window again.
    contact.heard(kStart + 10, false);
    EXPECT_TRUE(contact.present(kStart + 10 + PhoneContact::kPingingSilenceMs));
}

}  // namespace
