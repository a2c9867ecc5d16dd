#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "ways/bluetooth/bluetooth_phones.h"

namespace {

TEST(BluetoothPhonesTest, ListsRoundTripAndAnEntryEditedWrongIsAllThatIsLost) {
    const std::set<std::uint64_t> phones{0x0000000000AB, 0xA0B1C2D3E4F5};
    EXPECT_EQ(app::phonesText(phones), L"0000000000AB;A0B1C2D3E4F5");
    EXPECT_EQ(app::phonesFrom(app::phonesText(phones)), phones);
    EXPECT_EQ(app::phonesFrom(L"a0b1c2d3e4f5;;A0B1C2D3E4F;A0B1C2D3E4FG;A0:B1:C2:D3:E4:F5;"
                              L"0000000000ab"),
              phones);
    EXPECT_TRUE(app::phonesFrom(L"").empty());
}

}  // namespace
