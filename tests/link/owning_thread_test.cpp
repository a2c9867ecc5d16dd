// The reader and the phone-contact clock keep their state without locks, for the thread that made
// them: a use from any other thread is a race, and debug builds stop at it.
#include <gtest/gtest.h>

#include <thread>

#include "link/link_protocol.h"
#include "link/phone_contact.h"

namespace {

TEST(OwningThreadDeathTest, TheReaderAndTheClockStopAUseFromAnotherThread) {
#ifdef NDEBUG
    GTEST_SKIP() << "assertions are off in this build";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    phonelink::LinkReader reader;
    phonelink::PhoneContact contact;
    // The owner's own uses pass.
    EXPECT_TRUE(reader.feed("06", 0).heard);
    contact.heard(0, false);
    EXPECT_TRUE(contact.present(1));
    auto elsewhere = [](auto use) { std::thread(use).join(); };
    EXPECT_DEATH(elsewhere([&] { reader.feed("06", 1); }), "isCurrent");
    EXPECT_DEATH(elsewhere([&] { reader.reset(); }), "isCurrent");
    EXPECT_DEATH(elsewhere([&] { contact.heard(1, true); }), "isCurrent");
    EXPECT_DEATH(elsewhere([&] { contact.forget(); }), "isCurrent");
    EXPECT_DEATH(elsewhere([&] { (void)contact.present(1); }), "isCurrent");
}

}  // namespace
