#include "formats/icns/IcnsElements.h"

#include <gtest/gtest.h>

#include <string>

namespace gw::icns {
namespace {

struct TTypeCase {
    std::int32_t Width, Height, BitCount;
    const char* Expected; // "" when no image element type fits
};

class FindIconTypeTest : public ::testing::TestWithParam<TTypeCase> {};

TEST_P(FindIconTypeTest, MapsImageToElementType) {
    const TTypeCase& c = GetParam();
    EXPECT_EQ(FindIconType(c.Width, c.Height, c.BitCount), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    ImageSizes, FindIconTypeTest,
    ::testing::Values(
        // The four palette families, each depth.
        TTypeCase{16, 12, 1, "icm#"}, TTypeCase{16, 16, 1, "ics#"}, TTypeCase{32, 32, 1, "ICN#"},
        TTypeCase{48, 48, 1, "ich#"}, TTypeCase{16, 12, 4, "icm4"}, TTypeCase{16, 16, 4, "ics4"},
        TTypeCase{32, 32, 4, "icl4"}, TTypeCase{48, 48, 4, "ich4"}, TTypeCase{16, 12, 8, "icm8"},
        TTypeCase{16, 16, 8, "ics8"}, TTypeCase{32, 32, 8, "icl8"}, TTypeCase{48, 48, 8, "ich8"},
        // 32 bits: run-length coded, then embedded pictures.
        TTypeCase{16, 16, 32, "is32"}, TTypeCase{32, 32, 32, "il32"}, TTypeCase{48, 48, 32, "ih32"},
        TTypeCase{128, 128, 32, "it32"}, TTypeCase{256, 256, 32, "ic08"}, TTypeCase{512, 512, 32, "ic09"},
        TTypeCase{1024, 1024, 32, "ic10"},
        // No element: other sizes, 24 bits, large palette images, 32-bit 16 x 12, and never the
        // old "SICN"/"ICON" or an 8-bit mask for an image.
        TTypeCase{64, 64, 32, ""}, TTypeCase{16, 16, 24, ""}, TTypeCase{256, 256, 24, ""},
        TTypeCase{128, 128, 8, ""}, TTypeCase{128, 128, 1, ""}, TTypeCase{16, 12, 32, ""},
        TTypeCase{12, 16, 1, ""}, TTypeCase{0, 0, 0, ""}));

TEST(FindMaskTypeTest, OnlyTheFourAlphaMasks) {
    EXPECT_EQ(FindMaskType(16, 16, 8), "s8mk");
    EXPECT_EQ(FindMaskType(32, 32, 8), "l8mk");
    EXPECT_EQ(FindMaskType(48, 48, 8), "h8mk");
    EXPECT_EQ(FindMaskType(128, 128, 8), "t8mk");
    EXPECT_EQ(FindMaskType(256, 256, 8), "");
    EXPECT_EQ(FindMaskType(16, 16, 32), "");
    EXPECT_EQ(FindMaskType(16, 12, 8), "");
}

TEST(LookupElementTypeTest, FillsEveryFieldFromItsRow) {
    for (const TIconType& row : IconTypes) {
        TMacIconEntry entry;
        LookupElementType(row.Name, entry);
        EXPECT_EQ(entry.Name, row.Name);
        EXPECT_EQ(entry.Mask, row.Mask) << row.Name;
        EXPECT_EQ(entry.Width, row.Width) << row.Name;
        EXPECT_EQ(entry.Height, row.Height) << row.Name;
        EXPECT_EQ(entry.BitCount, row.BitCount) << row.Name;
    }
}

TEST(LookupElementTypeTest, UnknownAndDifferentlyCasedTypesLeaveTheEntryAlone) {
    for (const char* name : {"TOC ", "icnV", "ic07", "ICNS", "ICS#", "icn#", "ics", "is32 "}) {
        TMacIconEntry entry;
        entry.Width = 7; // a value a match would overwrite
        LookupElementType(name, entry);
        EXPECT_TRUE(entry.Name.empty()) << name;
        EXPECT_EQ(entry.BitCount, 0) << name;
        EXPECT_EQ(entry.Width, 7) << name;
    }
}

TEST(IconTypesTest, MasksNameRowsOfTheSameSize) {
    for (const TIconType& row : IconTypes) {
        if (row.Mask.empty())
            continue;
        TMacIconEntry mask;
        LookupElementType(row.Mask, mask);
        ASSERT_FALSE(mask.Name.empty()) << row.Name;
        EXPECT_EQ(mask.Width, row.Width) << row.Name;
        EXPECT_EQ(mask.Height, row.Height) << row.Name;
    }
}

struct TSizeCase {
    const char* Name;
    std::uint32_t Bytes;
};

class FixedDataSizeTest : public ::testing::TestWithParam<TSizeCase> {};

TEST_P(FixedDataSizeTest, MatchesTheFormat) {
    TMacIconEntry entry;
    LookupElementType(GetParam().Name, entry);
    EXPECT_EQ(FixedDataSize(entry), GetParam().Bytes);
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, FixedDataSizeTest,
    ::testing::Values(TSizeCase{"SICN", 32}, TSizeCase{"ICON", 128}, TSizeCase{"icm#", 48},
                      TSizeCase{"ics#", 64}, TSizeCase{"ICN#", 256}, TSizeCase{"ich#", 576},
                      TSizeCase{"icm4", 96}, TSizeCase{"ics4", 128}, TSizeCase{"icl4", 512},
                      TSizeCase{"ich4", 1152}, TSizeCase{"icm8", 192}, TSizeCase{"ics8", 256},
                      TSizeCase{"icl8", 1024}, TSizeCase{"ich8", 2304}, TSizeCase{"s8mk", 256},
                      TSizeCase{"l8mk", 1024}, TSizeCase{"h8mk", 2304}, TSizeCase{"t8mk", 16384},
                      TSizeCase{"is32", 0}, TSizeCase{"it32", 0}, TSizeCase{"ic08", 0}, TSizeCase{"ic10", 0},
                      TSizeCase{"TOC ", 0}));

} // namespace
} // namespace gw::icns
