#include "image/OrbIcon.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace gw {
namespace {

struct TFmt {
    std::int32_t w, h;
    std::uint8_t t;
};

// The images of a document as "WxHxT" items joined by spaces, in document order.
std::string Layout(const TOrbMultiImage& doc) {
    std::ostringstream out;
    for (const TOrbImage& img : doc.Image())
        out << (out.tellp() > 0 ? " " : "") << img.Width() << "x" << img.Height() << "x"
            << int{img.DataType()};
    return out.str();
}

// The default Windows format list, in the order the settings give it.
const std::vector<TFmt> kWindowsList = {{16, 16, 32}, {16, 16, 8},   {16, 16, 4},  {32, 32, 32},
                                        {32, 32, 8},  {32, 32, 4},   {48, 48, 32}, {48, 48, 8},
                                        {64, 64, 32}, {256, 256, 32}};
const char* const kWindowsDocumentOrder =
    "256x256x32 64x64x32 48x48x32 32x32x32 16x16x32 48x48x8 32x32x8 16x16x8 32x32x4 16x16x4";
const char* const kWindowsReverseOrder =
    "32x32x4 16x16x4 48x48x8 32x32x8 16x16x8 256x256x32 64x64x32 48x48x32 32x32x32 16x16x32";

void InsertAll(TOrbIcon& doc, const std::vector<TFmt>& formats) {
    for (const TFmt& f : formats)
        doc.InsertNewImage(f.w, f.h, f.t);
}

TEST(OrbIcon, StartsWithTheIconDefaults) {
    TOrbIcon doc;
    EXPECT_EQ(doc.PreferedExtension(), TFileTypes::ftIco);
    EXPECT_TRUE(doc.Compress());
    EXPECT_TRUE(doc.Verbose());
    EXPECT_FALSE(doc.Saved());
    doc.AddNewImage(16, 16, 32);
    EXPECT_NE(dynamic_cast<TOrbImageIcon*>(doc.Selected()), nullptr)
        << "an icon document creates TOrbImageIcon";
    std::unique_ptr<TOrbImage> plain = std::make_unique<TOrbImage>(32, 32, 32);
    EXPECT_EQ(doc.AddNewImage(plain), -1);
    EXPECT_NE(plain, nullptr);
}

// ---- Admission and insert position --------------------------------------------------------------

struct TInsertCase {
    const char* name;
    std::vector<TFmt> inserted;
    std::string layout;
};

class OrbIconInsert : public ::testing::TestWithParam<TInsertCase> {};

TEST_P(OrbIconInsert, KeepsTheDocumentOrder) {
    TOrbIcon doc;
    InsertAll(doc, GetParam().inserted);
    EXPECT_EQ(Layout(doc), GetParam().layout);
}

INSTANTIATE_TEST_SUITE_P(
    Order, OrbIconInsert,
    ::testing::Values(
        TInsertCase{"depthBeforeSize", {{16, 16, 8}, {16, 16, 32}, {32, 32, 8}}, "16x16x32 32x32x8 16x16x8"},
        TInsertCase{"duplicateRefused", {{16, 16, 32}, {16, 16, 32}}, "16x16x32"},
        TInsertCase{"24bitAfter32bit", {{16, 16, 32}, {16, 16, 24}}, "16x16x32 16x16x24"},
        TInsertCase{"32bitGoesBefore24bit", {{16, 16, 24}, {16, 16, 32}}, "16x16x32 16x16x24"},
        TInsertCase{
            "narrowerGoesBetween", {{32, 32, 32}, {16, 16, 32}, {32, 16, 32}}, "32x32x32 32x16x32 16x16x32"},
        TInsertCase{
            "tallerSameWidthFirst", {{32, 32, 32}, {16, 16, 32}, {32, 48, 32}}, "32x48x32 32x32x32 16x16x32"},
        TInsertCase{"oneBitLast",
                    {{16, 16, 1}, {16, 16, 4}, {48, 48, 1}, {16, 16, 8}},
                    "16x16x8 16x16x4 48x48x1 16x16x1"},
        TInsertCase{"windowsDefaultList", kWindowsList, kWindowsDocumentOrder},
        TInsertCase{
            "macDefaultList",
            {{16, 16, 32},
             {16, 16, 8},
             {16, 16, 4},
             {32, 32, 32},
             {32, 32, 8},
             {32, 32, 4},
             {48, 48, 32},
             {48, 48, 8},
             {128, 128, 32},
             {256, 256, 32},
             {512, 512, 32},
             {1024, 1024, 32}},
            "1024x1024x32 512x512x32 256x256x32 128x128x32 48x48x32 32x32x32 16x16x32 48x48x8 32x32x8 "
            "16x16x8 32x32x4 16x16x4"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TInsertIndexCase {
    const char* name;
    TFmt format;
    std::int32_t expected; // position in the default Windows document, or -1
};

class OrbIconInsertIndex : public ::testing::TestWithParam<TInsertIndexCase> {};

TEST_P(OrbIconInsertIndex, PointsBeforeTheFirstImageThatComesAfter) {
    TOrbIcon doc;
    InsertAll(doc, kWindowsList);
    const TFmt f = GetParam().format;
    EXPECT_EQ(doc.GetInsertIndex(f.w, f.h, f.t), GetParam().expected);
    EXPECT_EQ(doc.CanInsertImage(f.w, f.h, f.t), GetParam().expected >= 0);
}

INSTANTIATE_TEST_SUITE_P(Order, OrbIconInsertIndex,
                         ::testing::Values(TInsertIndexCase{"duplicate", {48, 48, 8}, -1},
                                           TInsertIndexCase{"largestFirst", {512, 512, 32}, 0},
                                           TInsertIndexCase{"between32bitSizes", {24, 24, 32}, 4},
                                           TInsertIndexCase{"24bitAfterAll32bit", {256, 256, 24}, 5},
                                           TInsertIndexCase{"4bitLargerThanAll4bit", {48, 48, 4}, 8},
                                           TInsertIndexCase{"1bitAppended", {256, 256, 1}, 10},
                                           TInsertIndexCase{"tallerSameWidth", {48, 64, 8}, 5},
                                           TInsertIndexCase{"flatterSameWidth", {48, 8, 8}, 6}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OrbIcon, InsertedImageIsSelectedAndIndexReturned) {
    TOrbIcon doc;
    InsertAll(doc, kWindowsList);
    EXPECT_EQ(doc.InsertNewImage(24, 24, 32), 4);
    EXPECT_EQ(doc.Selected(), &doc.Image()[4]);
    EXPECT_EQ(doc.InsertNewImage(48, 48, 8), -1);
    EXPECT_EQ(doc.Selected(), &doc.Image()[4]);
}

// ---- Sorting ------------------------------------------------------------------------------------

// Counts hook calls, to show the sorts call none.
class THookedIcon : public TOrbIcon {
public:
    int Hooks = 0;

protected:
    void SelectionChanged() override { ++Hooks; }
    void ImagesExchanged() override { ++Hooks; }
};

TEST(OrbIconSort, ReverseThenForwardRoundTripsTheWindowsDocument) {
    THookedIcon doc;
    InsertAll(doc, kWindowsList);
    doc.Select(doc.GetImage(48, 48, 8));
    TOrbImage* selected = doc.Selected();
    const int hooks = doc.Hooks;

    EXPECT_TRUE(doc.SortImagesReverse());
    EXPECT_EQ(Layout(doc), kWindowsReverseOrder);
    EXPECT_EQ(doc.Selected(), selected) << "the selection follows the image";
    EXPECT_FALSE(doc.SortImagesReverse()) << "already in reverse-depth order";

    EXPECT_TRUE(doc.SortImages());
    EXPECT_EQ(Layout(doc), kWindowsDocumentOrder);
    EXPECT_FALSE(doc.SortImages()) << "already in document order";
    EXPECT_EQ(doc.Selected(), selected);
    EXPECT_EQ(doc.Hooks, hooks);
}

struct TSortCase {
    const char* name;
    std::vector<TFmt> added; // appended in this order with AddNewImage
    bool reverse;
    bool moved;
    std::string layout;
};

class OrbIconSortCase : public ::testing::TestWithParam<TSortCase> {};

TEST_P(OrbIconSortCase, SortsAndReportsWhetherAnythingMoved) {
    TOrbIcon doc;
    for (const TFmt& f : GetParam().added)
        ASSERT_GE(doc.AddNewImage(f.w, f.h, f.t), 0);
    EXPECT_EQ(GetParam().reverse ? doc.SortImagesReverse() : doc.SortImages(), GetParam().moved);
    EXPECT_EQ(Layout(doc), GetParam().layout);
}

INSTANTIATE_TEST_SUITE_P(
    Sort, OrbIconSortCase,
    ::testing::Values(
        TSortCase{"emptyForward", {}, false, false, ""}, TSortCase{"emptyReverse", {}, true, false, ""},
        TSortCase{"oneImage", {{16, 16, 4}}, false, false, "16x16x4"},
        TSortCase{"oneImageReverse", {{16, 16, 4}}, true, false, "16x16x4"},
        TSortCase{"depthFirst", {{16, 16, 4}, {16, 16, 32}}, false, true, "16x16x32 16x16x4"},
        TSortCase{"reverseDepthFirst", {{16, 16, 32}, {16, 16, 4}}, true, true, "16x16x4 16x16x32"},
        TSortCase{"reverseKeepsWiderFirst",
                  {{16, 16, 8}, {48, 48, 8}, {32, 32, 4}},
                  true,
                  true,
                  "32x32x4 48x48x8 16x16x8"},
        TSortCase{"tallerFirst",
                  {{32, 16, 32}, {32, 48, 32}, {32, 32, 32}},
                  false,
                  true,
                  "32x48x32 32x32x32 32x16x32"},
        TSortCase{"widthBeforeHeight", {{16, 64, 32}, {32, 8, 32}}, false, true, "32x8x32 16x64x32"},
        TSortCase{"fullyReversedNeedsAllPasses",
                  {{16, 16, 1}, {16, 16, 4}, {16, 16, 8}, {16, 16, 24}, {16, 16, 32}},
                  false,
                  true,
                  "16x16x32 16x16x24 16x16x8 16x16x4 16x16x1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OrbIconSort, AnyAppendOrderSortsIntoTheDocumentOrder) {
    std::mt19937 random(1234);
    for (int round = 0; round < 20; ++round) {
        std::vector<TFmt> shuffled = kWindowsList;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        TOrbIcon doc;
        for (const TFmt& f : shuffled)
            doc.AddNewImage(f.w, f.h, f.t);
        doc.SortImages();
        EXPECT_EQ(Layout(doc), kWindowsDocumentOrder) << "round " << round;
        doc.SortImagesReverse();
        EXPECT_EQ(Layout(doc), kWindowsReverseOrder) << "round " << round;
    }
}

// ---- Clone --------------------------------------------------------------------------------------

TEST(OrbIconClone, CopiesImagesInOrderAndSelectsTheSamePosition) {
    TOrbIcon doc;
    InsertAll(doc, kWindowsList);
    doc.Select(doc.GetImage(48, 48, 8));
    doc.Selected()->Bitmap().SetPixel(3, 4, 0xFF00FF00);
    doc.SetVerbose(false);
    doc.SetCompress(false);
    doc.SetSaved(true);
    doc.SetPreferedExtension(TFileTypes::ftMacIcon);

    const std::unique_ptr<TOrbMultiImage> clone = doc.Clone();
    auto* icon = dynamic_cast<TOrbIcon*>(clone.get());
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(Layout(*icon), kWindowsDocumentOrder);
    ASSERT_NE(icon->Selected(), nullptr);
    EXPECT_NE(icon->Selected(), doc.Selected());
    EXPECT_EQ(icon->Selected(), &icon->Image()[icon->GetImage(48, 48, 8)]);
    EXPECT_TRUE(icon->Selected()->IsEqual(*doc.Selected()));
    for (const TOrbImage& img : icon->Image())
        EXPECT_NE(dynamic_cast<const TOrbImageIcon*>(&img), nullptr);
    // A clone starts with the creation defaults.
    EXPECT_TRUE(icon->Verbose());
    EXPECT_TRUE(icon->Compress());
    EXPECT_FALSE(icon->Saved());
    EXPECT_EQ(icon->PreferedExtension(), TFileTypes::ftIco);
}

TEST(OrbIconClone, EmptyDocumentClonesEmpty) {
    TOrbIcon doc;
    const auto clone = doc.Clone();
    EXPECT_EQ(clone->ImageCount(), 0);
    EXPECT_EQ(clone->Selected(), nullptr);
}

} // namespace
} // namespace gw
