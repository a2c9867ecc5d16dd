// The confirmation a power button's press needs: the token of the latest press, for its button,
// within three seconds, once. The random source is the test's, so each token is known.
#include <gtest/gtest.h>

#include <cstdint>

#include "link/button_press.h"

namespace {

using phonelink::ButtonConfirmations;

TEST(ButtonConfirmationsTest, OnlyTheLatestTokenForItsButtonInTimeActsAndOnlyOnce) {
    std::uint32_t next = 0xFFA1B2C3;
    ButtonConfirmations confirmations([&] { return next++; });
    EXPECT_FALSE(confirmations.confirm(6, 0, 1000)) << "no press, no token";

    const std::uint32_t token = confirmations.issue(6, 1000);
    EXPECT_EQ(token, 0xA1B2C3u) << "24 bits of the random value";
    EXPECT_FALSE(confirmations.confirm(5, token, 1001)) << "another button";
    EXPECT_FALSE(confirmations.confirm(6, token + 1, 1001)) << "another token";
    EXPECT_TRUE(confirmations.confirm(6, token, 1000 + ButtonConfirmations::kConfirmMs));
    EXPECT_FALSE(confirmations.confirm(6, token, 1000 + ButtonConfirmations::kConfirmMs)) << "once";

    // Late by a millisecond, or on a clock that went back.
    const std::uint32_t late = confirmations.issue(6, 5000);
    EXPECT_FALSE(confirmations.confirm(6, late, 5001 + ButtonConfirmations::kConfirmMs));
    const std::uint32_t early = confirmations.issue(6, 9000);
    EXPECT_FALSE(confirmations.confirm(6, early, 8999));

    // A new press makes the token before it worthless; forgetting leaves none.
    const std::uint32_t first = confirmations.issue(6, 10000);
    const std::uint32_t second = confirmations.issue(7, 10001);
    EXPECT_FALSE(confirmations.confirm(6, first, 10002));
    confirmations.forget();
    EXPECT_FALSE(confirmations.confirm(7, second, 10003));
}

}  // namespace
