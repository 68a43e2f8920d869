#include "codecs/ExifOrientation.h"

#include "support/PictureMakers.h"

#include <gtest/gtest.h>

namespace gw {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The tag as SHORT, or as LONG or SLONG as some phones and tools write it.
class ExifOrientationValues : public ::testing::TestWithParam<std::tuple<int, bool, std::uint16_t>> {};

TEST_P(ExifOrientationValues, ReadsTheTagInEitherByteOrderAndEveryIntegerType) {
    const auto [value, bigEndian, type] = GetParam();
    EXPECT_EQ(static_cast<int>(ParseExifOrientation(
                  test::MakeExifOrientation(static_cast<std::uint16_t>(value), bigEndian, type))),
              value);
}

INSTANTIATE_TEST_SUITE_P(AllEight, ExifOrientationValues,
                         ::testing::Combine(::testing::Range(1, 9), ::testing::Bool(),
                                            ::testing::Values<std::uint16_t>(3, 4, 9)));

Bytes Modified(Bytes bytes, std::size_t offset, std::uint8_t value) {
    bytes.at(offset) = value;
    return bytes;
}

Bytes Cut(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

struct TMalformedCase {
    const char* Name;
    Bytes Payload;
};
std::ostream& operator<<(std::ostream& os, const TMalformedCase& c) {
    return os << c.Name;
}

class ExifOrientationMalformed : public ::testing::TestWithParam<TMalformedCase> {};

TEST_P(ExifOrientationMalformed, FallsBackToTopLeft) {
    EXPECT_EQ(ParseExifOrientation(GetParam().Payload), TExifOrientation::TopLeft);
}

// The little-endian payload of orientation 6: "Exif\0\0" at 0, "II" at 6, IFD0 at 14, the
// orientation entry at 28 (tag, type at 30, count at 32, value at 36).
const Bytes kSix = test::MakeExifOrientation(6, false);

INSTANTIATE_TEST_SUITE_P(
    Defects, ExifOrientationMalformed,
    ::testing::Values(TMalformedCase{"Empty", {}}, TMalformedCase{"NotExif", Modified(kSix, 0, 'X')},
                      TMalformedCase{"UnknownByteOrder", Modified(Modified(kSix, 6, 'X'), 7, 'X')},
                      TMalformedCase{"WrongMagic", Modified(kSix, 8, 43)},
                      TMalformedCase{"IfdOffsetBeyondEnd", Modified(kSix, 10, 200)},
                      TMalformedCase{"EntryCut", Cut(kSix, 34)},
                      TMalformedCase{"TypeRational", Modified(kSix, 30, 5)},
                      TMalformedCase{"LongAboveEight", Modified(Modified(kSix, 30, 4), 38, 1)},
                      TMalformedCase{"CountTwo", Modified(kSix, 32, 2)},
                      TMalformedCase{"ValueZero", Modified(kSix, 36, 0)},
                      TMalformedCase{"ValueNine", Modified(kSix, 36, 9)},
                      TMalformedCase{"NoOrientationEntry", Modified(Modified(kSix, 28, 0x13), 29, 0x01)}),
    [](const auto& info) { return std::string(info.param.Name); });

// Where stored pixel (x, y) of a width x height picture lies in the upright picture, as EXIF 2.3
// defines the eight orientations by where row 0 and column 0 of the stored picture belong.
std::pair<int, int> UprightPosition(int orientation, int x, int y, int width, int height) {
    switch (orientation) {
    case 2:
        return {width - 1 - x, y};
    case 3:
        return {width - 1 - x, height - 1 - y};
    case 4:
        return {x, height - 1 - y};
    case 5:
        return {y, x};
    case 6:
        return {height - 1 - y, x};
    case 7:
        return {height - 1 - y, width - 1 - x};
    case 8:
        return {y, width - 1 - x};
    default:
        return {x, y};
    }
}

class PlaceOrientedRowTest : public ::testing::TestWithParam<int> {};

TEST_P(PlaceOrientedRowTest, EveryPixelLandsWhereTheDefinitionSays) {
    const int orientation = GetParam();
    constexpr int kWidth = 5, kHeight = 3;
    const auto value = static_cast<TExifOrientation>(orientation);
    TBitmap upright(SwapsAxes(value) ? kHeight : kWidth, SwapsAxes(value) ? kWidth : kHeight);
    for (int y = 0; y < kHeight; ++y) {
        std::vector<TColor> row;
        for (int x = 0; x < kWidth; ++x)
            row.push_back(static_cast<TColor>(y * 100 + x + 1));
        PlaceOrientedRow(upright, row, y, kHeight, value);
    }
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const auto [ux, uy] = UprightPosition(orientation, x, y, kWidth, kHeight);
            EXPECT_EQ(upright.Pixel(ux, uy), static_cast<TColor>(y * 100 + x + 1)) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllEight, PlaceOrientedRowTest, ::testing::Range(1, 9));

TEST(PlaceOrientedRow, IgnoresTargetOfTheWrongSize) {
    TBitmap target(4, 4);
    const std::vector<TColor> row(3, 0xFFFFFFFF);
    PlaceOrientedRow(target, row, 0, 2, TExifOrientation::RightTop);
    PlaceOrientedRow(target, row, 5, 2, TExifOrientation::TopLeft);
    for (TColor pixel : target.Pixels())
        EXPECT_EQ(pixel, 0u);
}

} // namespace
} // namespace gw
