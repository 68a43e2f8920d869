#include "codecs/SvgCodec.h"

#include "image/Limits.h"
#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace gw {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Gzip;
const auto Text = test::TextBytes;

// A logo of the kind icon themes ship: a gradient disc, a translucent square and a thin stroke.
const std::string kLogo = R"SVG(<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">
  <defs><linearGradient id="g" x1="0" y1="0" x2="1" y2="1">
    <stop offset="0" stop-color="#62a0ea"/><stop offset="1" stop-color="#1a5fb4"/></linearGradient></defs>
  <circle cx="24" cy="24" r="21" fill="url(#g)"/>
  <rect x="13" y="13" width="22" height="22" rx="3" fill="#ffffff" fill-opacity="0.6"/>
  <path d="M8 40 L40 8" stroke="#e01b24" stroke-width="1.5"/>
  <circle cx="24" cy="24" r="20" fill="#26a269" fill-opacity="0.85"/>
  <path d="M14 25 L21 32 L34 17" fill="none" stroke="#ffffff" stroke-width="4"/>
</svg>
)SVG";

TBitmap Decode(const Bytes& data, std::int32_t side, TStatus* status = nullptr) {
    return test::DecodeChecked([side](std::span<const std::uint8_t> bytes,
                                      TBitmap& picture) { return DecodeSvg(bytes, picture, side); },
                               data, status);
}

TEST(SvgCodec, SixteenPixelsEqualRsvgConvert) {
    if (!test::HaveTool("rsvg-convert"))
        GTEST_SKIP() << "rsvg-convert not installed";
    const test::TTempDir dir;
    test::WriteFileBytes(dir / "logo.svg", Text(kLogo));
    for (const int side : {16, 32, 48, 256}) {
        const auto png = dir / ("logo" + std::to_string(side) + ".png");
        const auto expected = test::PictureFromTool(
            "rsvg-convert -w " + std::to_string(side) + " -h " + std::to_string(side) + " -o " +
                test::ShellQuote(png) + " " + test::ShellQuote(dir / "logo.svg"),
            png);
        ASSERT_TRUE(expected);
        EXPECT_EQ(Decode(Text(kLogo), side), *expected) << side;
    }
}

TEST(SvgCodec, SvgzRendersLikeTheDocument) {
    EXPECT_EQ(Decode(Gzip(Text(kLogo)), 32), Decode(Text(kLogo), 32));
}

TEST(SvgCodec, OwnSizeFromWidthAndHeightElseViewBox) {
    const TBitmap own = Decode(Text(kLogo), 0);
    EXPECT_EQ(own.Width(), 48);
    EXPECT_EQ(own.Height(), 48);
    const TBitmap wide =
        Decode(Text("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 300 100\"/>"), 0);
    EXPECT_EQ(wide.Width(), 300);
    EXPECT_EQ(wide.Height(), 100);
    const TBitmap fitted =
        Decode(Text("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 300 100\"/>"), 60);
    EXPECT_EQ(fitted.Width(), 60);
    EXPECT_EQ(fitted.Height(), 20);
}

TEST(SvgCodec, MillionPixelViewBoxRendersAtTheSizeAsked) {
    const Bytes huge = Text("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1000000\" height=\"1000000\" "
                            "viewBox=\"0 0 1000000 1000000\"><rect width=\"1000000\" height=\"500000\" "
                            "fill=\"#ff0000\"/></svg>");
    const TBitmap small = Decode(huge, 64);
    ASSERT_EQ(small.Width(), 64);
    EXPECT_EQ(small.Pixel(10, 10), MakeColor(255, 255, 0, 0));
    EXPECT_EQ(small.Pixel(10, 50), 0u);
    // Without a wanted size it is bounded all the same.
    EXPECT_EQ(Decode(huge, 0).Width(), limits::kMaxSvgRenderSide);
}

TEST(SvgCodec, ExternalReferencesAreNotLoaded) {
    // A red picture and a red fragment beside the document: anything red in the result came from them.
    const test::TTempDir dir;
    test::WriteFileBytes(dir / "red.png", test::EncodePng(test::MakeSolid(8, 8, MakeColor(255, 255, 0, 0))));
    test::WriteFileBytes(dir / "red.xml", Text("<rect xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" "
                                               "height=\"8\" fill=\"#ff0000\"/>"));
    const std::string url = "file://" + (dir / "").string();
    const std::string svg =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "xmlns:xi=\"http://www.w3.org/2001/XInclude\" width=\"8\" height=\"8\">"
        "<image width=\"8\" height=\"8\" xlink:href=\"" +
        url + "red.png\"/><image width=\"8\" height=\"8\" href=\"" + (dir / "red.png").string() +
        "\"/><image width=\"8\" height=\"8\" href=\"red.png\"/>"
        "<xi:include href=\"" +
        url + "red.xml\" parse=\"xml\"/></svg>";
    const TBitmap picture = Decode(Text(svg), 8);
    ASSERT_TRUE(picture.IsValid());
    for (const TColor pixel : picture.Pixels())
        ASSERT_EQ(pixel, 0u);

    // An external entity makes the document fail rather than pull the file in.
    const std::string entity = "<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY ext SYSTEM \"" + url +
                               "red.xml\">]><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" "
                               "height=\"8\">&ext;</svg>";
    TStatus status;
    const TBitmap withEntity = Decode(Text(entity), 8, &status);
    for (const TColor pixel : withEntity.Pixels())
        ASSERT_EQ(pixel, 0u);
}

class SvgHostile : public ::testing::TestWithParam<test::THostileCase> {};

TEST_P(SvgHostile, FailsWithItsReason) {
    test::ExpectDecodeFailure(
        [](std::span<const std::uint8_t> data, TBitmap& picture) { return DecodeSvg(data, picture, 64); },
        GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Files, SvgHostile,
    ::testing::Values(
        test::THostileCase{"BillionLaughs", Text(test::BillionLaughsSvg()), TFailure::Corrupt},
        test::THostileCase{"HundredThousandNestedGroups", Text(test::NestedGroupsSvg(100000)),
                           TFailure::Corrupt},
        test::THostileCase{"UseBomb", Text(test::UseBombSvg(8)), TFailure::Corrupt},
        test::THostileCase{"Truncated", Text(kLogo.substr(0, kLogo.size() / 2)), TFailure::Corrupt},
        test::THostileCase{"TruncatedSvgz",
                           [] {
                               Bytes z = Gzip(Text(kLogo));
                               z.resize(z.size() / 2);
                               return z;
                           }(),
                           TFailure::Truncated},
        test::THostileCase{"SvgzBomb", Gzip([] {
                               Bytes doc = Text(
                                   "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"8\">");
                               doc.resize(limits::kMaxSvgDocumentBytes + 1, ' ');
                               return doc;
                           }()),
                           TFailure::TooLarge},
        test::THostileCase{"SvgzTwice", Gzip(Gzip(Text(kLogo))), TFailure::Unsupported},
        test::THostileCase{"NoSize", Text("<svg xmlns=\"http://www.w3.org/2000/svg\"><rect/></svg>"),
                           TFailure::Unsupported},
        test::THostileCase{"HtmlRoot", Text("<html><svg/></html>"), TFailure::Corrupt}),
    test::TCaseName{});

} // namespace
} // namespace gw
