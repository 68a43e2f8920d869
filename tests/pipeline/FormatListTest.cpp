#include "pipeline/FormatList.h"
#include "settings/Setting.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gw {
namespace {

using TItems = std::vector<std::string>;

struct TSplitCase {
    const char* Name;
    std::string Text;
    TItems Items;
};

class SplitDelimitedTextTest : public testing::TestWithParam<TSplitCase> {};

TEST_P(SplitDelimitedTextTest, GivesTheItemsOfTheListRule) {
    EXPECT_EQ(SplitDelimitedText(GetParam().Text), GetParam().Items);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SplitDelimitedTextTest,
    testing::Values(TSplitCase{"BlankAfterDelimiterSkipped", "16x16-32; 32x32-8", {"16x16-32", "32x32-8"}},
                    TSplitCase{"TrailingDelimiterAddsEmptyItem", "16x16-32;", {"16x16-32", ""}},
                    TSplitCase{"EmptyText", "", {}}, TSplitCase{"OnlyBlanks", " \t\r\n", {}},
                    TSplitCase{"LoneDelimiter", ";", {"", ""}},
                    TSplitCase{"TwoDelimitersGiveEmptyItem", "a;;b", {"a", "", "b"}},
                    TSplitCase{"BlankBetweenDelimiters", "a; ;b", {"a", "", "b"}},
                    TSplitCase{"BlanksAroundItems", "  a ; b  ", {"a", "b"}},
                    TSplitCase{"BlankEndsAnItem", "a b\tc", {"a", "b", "c"}},
                    TSplitCase{"ControlCharacterEndsAnItem",
                               std::string("a\x01"
                                           "b"),
                               {"a", "b"}},
                    TSplitCase{"QuotedItemKeepsDelimiter", "\"a;b\";c", {"a;b", "c"}},
                    TSplitCase{"DoubledQuoteInsideQuotes", "\"say \"\"hi\"\"\"", {"say \"hi\""}},
                    TSplitCase{"UnterminatedQuoteRunsToEnd", "\"a;b", {"a;b"}},
                    TSplitCase{"NulEndsTheText", std::string("a;\0b", 4), {"a", ""}}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TItemCase {
    const char* Name;
    const char* Item;
    std::optional<TImgFormat> Format;
};

class ParseImageFormatTest : public testing::TestWithParam<TItemCase> {};

TEST_P(ParseImageFormatTest, ParsesWidthHeightAndBitCount) {
    EXPECT_EQ(ParseImageFormat(GetParam().Item), GetParam().Format);
}

INSTANTIATE_TEST_SUITE_P(
    Items, ParseImageFormatTest,
    testing::Values(TItemCase{"Square8Bit", "48x48-8", TImgFormat{48, 48, 8}},
                    TItemCase{"WiderThanHigh", "32x16-32", TImgFormat{32, 16, 32}},
                    TItemCase{"Large", "1024x1024-32", TImgFormat{1024, 1024, 32}},
                    TItemCase{"BitCountKeepsLowByte", "16x16-288", TImgFormat{16, 16, 32}},
                    TItemCase{"NegativeBitCountKeepsLowByte", "16x16--1", TImgFormat{16, 16, 255}},
                    TItemCase{"LeadingBlanksAndSign", " 16x+16-4", TImgFormat{16, 16, 4}},
                    TItemCase{"UpperCaseXIsNoSeparator", "16X16-32", std::nullopt},
                    TItemCase{"NoDash", "16x16", std::nullopt}, TItemCase{"NoX", "16-32", std::nullopt},
                    TItemCase{"EmptyItem", "", std::nullopt},
                    TItemCase{"EmptyBitCount", "16x16-", std::nullopt},
                    TItemCase{"TrailingGarbage", "16x16-32x", std::nullopt},
                    TItemCase{"NotNumbers", "axb-c", std::nullopt},
                    TItemCase{"HexIsNotDecimal", "0x10x16-32", std::nullopt},
                    TItemCase{"WidthOverflows", "99999999999x16-32", std::nullopt},
                    TItemCase{"ZeroWidth", "0x16-32", std::nullopt},
                    TItemCase{"ZeroHeight", "16x0-32", std::nullopt},
                    TItemCase{"NegativeWidth", "-16x16-32", std::nullopt}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ParseFormatListTest, DefaultWindowsListGivesTenFormatsInListOrder) {
    const auto formats = ParseFormatList(
        "16x16-32;16x16-8;16x16-4;32x32-32;32x32-8;32x32-4;48x48-32;48x48-8;64x64-32;256x256-32");
    ASSERT_TRUE(formats);
    ASSERT_EQ(formats->size(), 10u);
    EXPECT_EQ(formats->front(), (TImgFormat{16, 16, 32}));
    EXPECT_EQ((*formats)[2], (TImgFormat{16, 16, 4}));
    EXPECT_EQ(formats->back(), (TImgFormat{256, 256, 32}));
}

TEST(ParseFormatListTest, RepeatedItemIsKeptForTheDocumentToRefuse) {
    const auto formats = ParseFormatList("16x16-32;16x16-32");
    ASSERT_TRUE(formats);
    EXPECT_EQ(*formats, (TImageFormats{{16, 16, 32}, {16, 16, 32}}));
}

TEST(ParseFormatListTest, ListEndingInDelimiterFailsAsAWhole) {
    EXPECT_FALSE(ParseFormatList("16x16-32;"));
}

TEST(ParseFormatListTest, EmptyListGivesNoFormats) {
    const auto formats = ParseFormatList("");
    ASSERT_TRUE(formats);
    EXPECT_TRUE(formats->empty());
}

} // namespace
} // namespace gw

namespace gw {
namespace {

// Lists the icon types cannot use are told apart from usable ones, naming the item at fault; the
// settings' lists are repaired to the defaults.
struct TProblemCase {
    const char* Name;
    const char* List;
    bool Mac;
    const char* Problem; // empty: usable
};

class FormatListProblemTest : public testing::TestWithParam<TProblemCase> {};

TEST_P(FormatListProblemTest, NamesTheItemAtFault) {
    const auto problem = FormatListProblem(GetParam().List, GetParam().Mac);
    EXPECT_EQ(problem.value_or(""), GetParam().Problem);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, FormatListProblemTest,
    testing::Values(
        TProblemCase{"WindowsDefault", TGlobalSetting::kDefaultWinFormats, false, ""},
        TProblemCase{"MacintoshDefault", TGlobalSetting::kDefaultMacFormats, true, ""},
        TProblemCase{"EveryWindowsDepth", "256x256-1;16x16-4;16x16-8;16x16-24;16x16-32", false, ""},
        TProblemCase{"Empty", "", false, "the list is empty"},
        TProblemCase{"NotAnItem", "16x16-32;big", false, "'big' is not an item like 16x16-32"},
        TProblemCase{"TrailingDelimiter", "16x16-32;", false, "'' is not an item like 16x16-32"},
        TProblemCase{"BitsModulo256", "16x16-264", false,
                     "'16x16-264': the bit count must be 1, 4, 8, 24 or 32"},
        TProblemCase{"SixteenBits", "16x16-16", true, "'16x16-16': the bit count must be 1, 4, 8, 24 or 32"},
        TProblemCase{"TooLargeForWindows", "16x16-32;257x16-32", false,
                     "'257x16-32' is larger than a Windows icon holds (256 x 256)"},
        TProblemCase{"NotInTheMacintoshTable", "64x64-32", true,
                     "'64x64-32' is not an image a Macintosh icon holds"},
        TProblemCase{"NoTwentyFourBitsOnTheMacintosh", "16x16-24", true,
                     "'16x16-24' is not an image a Macintosh icon holds"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(RepairFormatListsTest, UnusableListsBecomeTheDefaults) {
    TGlobalSetting settings(TPersistence::Detached);
    EXPECT_FALSE(RepairFormatLists(settings));
    settings.SetWinFormats("1024x1024-32");
    settings.SetMacFormats("16x16-32");
    EXPECT_TRUE(RepairFormatLists(settings));
    EXPECT_EQ(settings.WinFormats(), TGlobalSetting::kDefaultWinFormats);
    EXPECT_EQ(settings.MacFormats(), "16x16-32");
}

} // namespace
} // namespace gw
