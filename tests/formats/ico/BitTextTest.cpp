#include "formats/ico/BitText.h"

#include <gtest/gtest.h>

namespace gw {
namespace {

struct TBitsCase {
    const char* Name;
    std::uint8_t Byte;
    const char* Text;
};

class BitTextTest : public ::testing::TestWithParam<TBitsCase> {};

TEST_P(BitTextTest, ByteToBitsAndBack) {
    EXPECT_EQ(ByteToBits(GetParam().Byte), GetParam().Text);
    EXPECT_EQ(BitsToByte(GetParam().Text), GetParam().Byte);
}

INSTANTIATE_TEST_SUITE_P(Worked, BitTextTest,
                         ::testing::Values(TBitsCase{"Zero", 0, "00000000"},
                                           TBitsCase{"All", 255, "11111111"}, TBitsCase{"One", 1, "00000001"},
                                           TBitsCase{"Mixed", 165, "10100101"},
                                           TBitsCase{"HighBit", 128, "10000000"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(BitTextTest, EveryByteSurvivesTheRoundTrip) {
    for (int b = 0; b < 256; ++b)
        ASSERT_EQ(BitsToByte(ByteToBits(static_cast<std::uint8_t>(b))), b);
}

TEST(BitTextTest, OnlyTheFirstEightCharactersCount) {
    EXPECT_EQ(BitsToByte("00000011trailing"), 3);
}

TEST(BitTextTest, DigitsAboveOneCarryModulo256) {
    EXPECT_EQ(BitsToByte("00000002"), 2);
    EXPECT_EQ(BitsToByte("90000000"), (9 * 128) % 256);
}

TEST(BitTextTest, NonDigitOrShortTextIsRefused) {
    EXPECT_FALSE(BitsToByte("0000000x").has_value());
    EXPECT_FALSE(BitsToByte("0101").has_value());
    EXPECT_FALSE(BitsToByte("").has_value());
}

} // namespace
} // namespace gw
