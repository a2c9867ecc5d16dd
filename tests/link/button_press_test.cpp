// The confirmation a power button's press needs: the token of the latest press, for its button,
// within three seconds, once, with one try at it. The random source is the test's, so each token
// is known.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "link/button_press.h"

namespace {

using phonelink::ButtonConfirmations;

TEST(ButtonConfirmationsTest, OnlyTheLatestTokenForItsButtonInTimeActsAndOnlyOnce) {
    std::uint32_t next = 0xFFA1B2C3;
    ButtonConfirmations confirmations([&] { return next++; });
    EXPECT_FALSE(confirmations.confirm(6, 0, 1000)) << "no press, no token";

    const std::uint32_t token = *confirmations.issue(6, 1000);
    EXPECT_EQ(token, 0xA1B2C3u) << "24 bits of the random value";
    EXPECT_TRUE(confirmations.confirm(6, token, 1000 + ButtonConfirmations::kConfirmMs));
    EXPECT_FALSE(confirmations.confirm(6, token, 1000 + ButtonConfirmations::kConfirmMs)) << "once";

    // Late by a millisecond, or on a clock that went back.
    const std::uint32_t late = *confirmations.issue(6, 5000);
    EXPECT_FALSE(confirmations.confirm(6, late, 5001 + ButtonConfirmations::kConfirmMs));
    const std::uint32_t early = *confirmations.issue(6, 9000);
    EXPECT_FALSE(confirmations.confirm(6, early, 8999));

    // A new press makes the token before it worthless; forgetting leaves none.
    const std::uint32_t first = *confirmations.issue(6, 10000);
    const std::uint32_t second = *confirmations.issue(7, 10001);
    EXPECT_FALSE(confirmations.confirm(6, first, 10002));
    const std::uint32_t third = *confirmations.issue(7, 10003);
    EXPECT_NE(third, second);
    confirmations.forget();
    EXPECT_FALSE(confirmations.confirm(7, third, 10004));
}

// One guess per press: a confirmation that does not act makes the token of the press worthless,
// so a sender cannot try tokens one after another within the three seconds.
TEST(ButtonConfirmationsTest, AConfirmationThatDoesNotActSpendsTheToken) {
    std::uint32_t next = 0x123456;
    ButtonConfirmations confirmations([&] { return next++; });
    const std::uint32_t wrongToken = *confirmations.issue(6, 1000);
    EXPECT_FALSE(confirmations.confirm(6, wrongToken ^ 1, 1001));
    EXPECT_FALSE(confirmations.confirm(6, wrongToken, 1002));
    const std::uint32_t wrongButton = *confirmations.issue(6, 2000);
    EXPECT_FALSE(confirmations.confirm(7, wrongButton, 2001));
    EXPECT_FALSE(confirmations.confirm(6, wrongButton, 2002));
}

// A source that fails gives no token, and the press before it keeps none either.
TEST(ButtonConfirmationsTest, NoRandomValueNoToken) {
    bool works = true;
    ButtonConfirmations confirmations([&]() -> std::optional<std::uint32_t> {
        return works ? std::optional<std::uint32_t>(0x42) : std::nullopt;
    });
    const std::uint32_t before = *confirmations.issue(6, 1000);
    works = false;
    EXPECT_FALSE(confirmations.issue(6, 1001));
    EXPECT_FALSE(confirmations.confirm(6, before, 1002));
}

}  // namespace
