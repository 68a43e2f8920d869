#include "image/OrbMultiImage.h"

#include "image/Limits.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace gw {
namespace {

// An image that counts how many of its kind are alive, to see what a container frees.
class TCountedImage : public TOrbImage {
public:
    inline static int Alive = 0;
    TCountedImage(std::int32_t width, std::int32_t height, std::uint8_t bitCount = 32)
        : TOrbImage(width, height, bitCount) {
        ++Alive;
    }
    ~TCountedImage() override { --Alive; }
};

// Widths of the images in order; tests tell images apart by width.
template <class TList> std::vector<std::int32_t> Widths(const TList& list) {
    std::vector<std::int32_t> widths;
    for (const TOrbImage& img : list)
        widths.push_back(img.Width());
    return widths;
}

std::vector<std::int32_t> SelectedWidths(const TSelectableContainer& list) {
    std::vector<std::int32_t> widths;
    for (const TOrbImage& img : list.Selected())
        widths.push_back(img.Width());
    return widths;
}

class ContainerTest : public ::testing::Test {
protected:
    void SetUp() override { TCountedImage::Alive = 0; }
    void TearDown() override { EXPECT_EQ(TCountedImage::Alive, 0) << "an image leaked"; }
};

// ---- TContainer ---------------------------------------------------------------------------------

TEST_F(ContainerTest, AddAppendsAndInsertPlacesBeforeIndex) {
    TContainer list;
    EXPECT_EQ(list.Add(std::make_unique<TCountedImage>(1, 1)), 0);
    EXPECT_EQ(list.Add(std::make_unique<TCountedImage>(2, 1)), 1);
    list.Insert(0, std::make_unique<TCountedImage>(3, 1));
    list.Insert(3, std::make_unique<TCountedImage>(4, 1)); // Count is a valid insert position
    list.Insert(2, std::make_unique<TCountedImage>(5, 1));
    EXPECT_EQ(Widths(list), (std::vector<std::int32_t>{3, 1, 5, 2, 4}));
    EXPECT_EQ(list.Count(), 5);
}

TEST_F(ContainerTest, RemoveDeleteSetItemAndClearFreeTheirImages) {
    TContainer list;
    for (std::int32_t w = 1; w <= 4; ++w)
        list.Add(std::make_unique<TCountedImage>(w, 1));
    EXPECT_EQ(list.Remove(&list[1]), 1);
    EXPECT_EQ(TCountedImage::Alive, 3);
    list.Delete(0);
    EXPECT_EQ(TCountedImage::Alive, 2);
    list.SetItem(0, std::make_unique<TCountedImage>(9, 1));
    EXPECT_EQ(TCountedImage::Alive, 2);
    EXPECT_EQ(Widths(list), (std::vector<std::int32_t>{9, 4}));
    list.Clear();
    EXPECT_EQ(TCountedImage::Alive, 0);
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(ContainerTest, RemoveOfAForeignImageReturnsMinusOneAndFreesNothing) {
    TContainer list;
    list.Add(std::make_unique<TCountedImage>(1, 1));
    TCountedImage foreign(2, 1);
    EXPECT_EQ(list.Remove(&foreign), -1);
    EXPECT_EQ(list.Remove(nullptr), -1);
    EXPECT_EQ(TCountedImage::Alive, 2);
    EXPECT_EQ(list.IndexOf(&foreign), -1);
}

TEST_F(ContainerTest, ExchangeSwapsWithoutFreeing) {
    TContainer list;
    for (std::int32_t w = 1; w <= 3; ++w)
        list.Add(std::make_unique<TCountedImage>(w, 1));
    TOrbImage* first = &list[0];
    list.Exchange(0, 2);
    EXPECT_EQ(Widths(list), (std::vector<std::int32_t>{3, 2, 1}));
    EXPECT_EQ(list.IndexOf(first), 2);
    EXPECT_EQ(TCountedImage::Alive, 3);
}

// Every operation with an index outside the list raises std::out_of_range and changes nothing.
struct TBadIndexCase {
    const char* name;
    void (*op)(TContainer&);
};

class ContainerBadIndex : public ContainerTest, public ::testing::WithParamInterface<TBadIndexCase> {};

TEST_P(ContainerBadIndex, ThrowsOutOfRangeAndChangesNothing) {
    TContainer list;
    list.Add(std::make_unique<TCountedImage>(1, 1));
    list.Add(std::make_unique<TCountedImage>(2, 1));
    EXPECT_THROW(GetParam().op(list), std::out_of_range);
    EXPECT_EQ(Widths(list), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(TCountedImage::Alive, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Indices, ContainerBadIndex,
    ::testing::Values(
        TBadIndexCase{"getPastEnd", [](TContainer& l) { l.GetItem(2); }},
        TBadIndexCase{"getNegative", [](TContainer& l) { l.GetItem(-1); }},
        TBadIndexCase{"deletePastEnd", [](TContainer& l) { l.Delete(2); }},
        TBadIndexCase{"exchangeSecondPastEnd", [](TContainer& l) { l.Exchange(0, 2); }},
        TBadIndexCase{"exchangeFirstNegative", [](TContainer& l) { l.Exchange(-1, 1); }},
        TBadIndexCase{"insertPastCount",
                      [](TContainer& l) { l.Insert(3, std::make_unique<TOrbImage>(5, 1, 32)); }},
        TBadIndexCase{"insertNegative",
                      [](TContainer& l) { l.Insert(-1, std::make_unique<TOrbImage>(5, 1, 32)); }},
        TBadIndexCase{"setPastEnd",
                      [](TContainer& l) { l.SetItem(2, std::make_unique<TOrbImage>(5, 1, 32)); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContainerTest, NullImagesAreRefused) {
    TContainer list;
    EXPECT_THROW(list.Add(nullptr), std::invalid_argument);
    EXPECT_EQ(list.Count(), 0);
}

// ---- TSelectableContainer -----------------------------------------------------------------------

class SelectableTest : public ContainerTest {
protected:
    void SetUp() override {
        ContainerTest::SetUp();
        for (std::int32_t w = 1; w <= 4; ++w)
            list.Add(std::make_unique<TCountedImage>(w, 1));
    }
    void TearDown() override {
        list.Clear();
        ContainerTest::TearDown();
    }
    TSelectableContainer list;
};

TEST_F(SelectableTest, AddedImagesAreNotSelected) {
    EXPECT_EQ(list.SelecedCount(), 0);
    list.Insert(0, std::make_unique<TCountedImage>(5, 1));
    EXPECT_EQ(list.SelecedCount(), 0);
}

TEST_F(SelectableTest, SelectRecordsSelectionOrderOnce) {
    EXPECT_EQ(list.Select(list[2]), 0);
    EXPECT_EQ(list.Select(list[0]), 1);
    EXPECT_EQ(list.Select(list[2]), 0); // already selected: its position
    EXPECT_EQ(SelectedWidths(list), (std::vector<std::int32_t>{3, 1}));
    EXPECT_EQ(list.GetSelectedItem(1).Width(), 1);
    EXPECT_TRUE(list.IsSelected(&list[0]));
    EXPECT_FALSE(list.IsSelected(&list[1]));
}

TEST_F(SelectableTest, SelectingAnImageOutsideTheContainerIsRefused) {
    TCountedImage foreign(9, 1);
    EXPECT_EQ(list.Select(foreign), -1);
    EXPECT_EQ(list.SelecedCount(), 0);
}

TEST_F(SelectableTest, UnSelectReturnsFormerPosition) {
    list.Select(list[0]);
    list.Select(list[1]);
    EXPECT_EQ(list.UnSelect(&list[1]), 1);
    EXPECT_EQ(list.UnSelect(&list[1]), -1);
    EXPECT_EQ(list.UnSelect(&list[3]), -1);
    EXPECT_EQ(SelectedWidths(list), (std::vector<std::int32_t>{1}));
}

struct TSelectionChangeCase {
    const char* name;
    void (*op)(TSelectableContainer&);
    std::vector<std::int32_t> widths;         // images left
    std::vector<std::int32_t> selectedWidths; // selection left (images 2 and 3 were selected, in that order)
};

class SelectableChange : public SelectableTest, public ::testing::WithParamInterface<TSelectionChangeCase> {};

TEST_P(SelectableChange, SelectionNeverKeepsAnImageThatLeft) {
    list.Select(list[1]);
    list.Select(list[2]);
    GetParam().op(list);
    EXPECT_EQ(Widths(list), GetParam().widths);
    EXPECT_EQ(SelectedWidths(list), GetParam().selectedWidths);
    EXPECT_EQ(TCountedImage::Alive, static_cast<int>(GetParam().widths.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Operations, SelectableChange,
    ::testing::Values(
        TSelectionChangeCase{
            "removeSelected", [](TSelectableContainer& l) { l.Remove(&l[1]); }, {1, 3, 4}, {3}},
        TSelectionChangeCase{"deleteSelected", [](TSelectableContainer& l) { l.Delete(2); }, {1, 2, 4}, {2}},
        TSelectionChangeCase{
            "deleteUnselected", [](TSelectableContainer& l) { l.Delete(0); }, {2, 3, 4}, {2, 3}},
        TSelectionChangeCase{
            "setItemOverSelected",
            [](TSelectableContainer& l) { l.SetItem(1, std::make_unique<TCountedImage>(7, 1)); },
            {1, 7, 3, 4},
            {3}},
        TSelectionChangeCase{"exchangeKeepsSelection",
                             [](TSelectableContainer& l) { l.Exchange(1, 3); },
                             {1, 4, 3, 2},
                             {2, 3}},
        TSelectionChangeCase{
            "unSelectAllFreesNothing", [](TSelectableContainer& l) { l.UnSelectAll(); }, {1, 2, 3, 4}, {}},
        TSelectionChangeCase{"clear", [](TSelectableContainer& l) { l.Clear(); }, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SelectableTest, OutOfRangeIndicesThrow) {
    list.Select(list[0]);
    EXPECT_THROW(list.GetSelectedItem(1), std::out_of_range);
    EXPECT_THROW(list.GetSelectedItem(-1), std::out_of_range);
    EXPECT_THROW(list.Delete(4), std::out_of_range);
    EXPECT_THROW(list.SetItem(-1, std::make_unique<TCountedImage>(7, 1)), std::out_of_range);
    EXPECT_EQ(Widths(list), (std::vector<std::int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(list.SelecedCount(), 1);
}

// ---- TOrbMultiImage -----------------------------------------------------------------------------

// A document that admits one image per size and depth except images 13 pixels wide, appends new
// images, and counts its hook calls.
class TTestDocument : public TOrbMultiImage {
public:
    TTestDocument() = default;
    template <class T> void SetImageClass() { ImageType = TTOrbImageClass::Of<T>(); }
    std::int32_t GetInsertIndex(std::int32_t width, std::int32_t height,
                                std::uint8_t bitCount) const override {
        return CanInsertImage(width, height, bitCount) ? ImageCount() : -1;
    }
    bool CanInsertImage(std::int32_t width, std::int32_t height, std::uint8_t bitCount) const override {
        return width != 13 && GetImage(width, height, bitCount) < 0;
    }
    std::unique_ptr<TOrbMultiImage> Clone() const override {
        auto clone = std::make_unique<TTestDocument>();
        CopyImagesTo(*clone);
        return clone;
    }
    int SelectionChanges = 0;
    int Exchanges = 0;

protected:
    void SelectionChanged() override { ++SelectionChanges; }
    void ImagesExchanged() override { ++Exchanges; }
};

// A document of count images 1, 2, 3, ... pixels wide (10 high, 32 bits), the last one selected.
void Fill(TTestDocument& doc, std::int32_t count) {
    for (std::int32_t w = 1; w <= count; ++w)
        doc.AddNewImage(w, 10, 32);
}

std::int32_t SelectedWidth(const TOrbMultiImage& doc) {
    return doc.Selected() ? doc.Selected()->Width() : -1;
}

TEST(OrbMultiImage, StartsEmptyWithItsDefaults) {
    TTestDocument doc;
    EXPECT_EQ(doc.ImageCount(), 0);
    EXPECT_EQ(doc.Selected(), nullptr);
    EXPECT_TRUE(doc.Verbose());
    EXPECT_FALSE(doc.Saved());
    EXPECT_EQ(doc.PreferedExtension(), TFileTypes::ftOther);
}

TEST(OrbMultiImage, EachAddedImageBecomesTheOnlySelectedOne) {
    TTestDocument doc;
    EXPECT_EQ(doc.AddNewImage(16, 16, 32), 0);
    EXPECT_EQ(doc.AddNewImage(32, 32, 8), 1);
    EXPECT_EQ(doc.AddNewImage(48, 48, 4), 2);
    EXPECT_EQ(SelectedWidth(doc), 48);
    EXPECT_EQ(doc.Image().SelecedCount(), 1);
    EXPECT_EQ(doc.SelectionChanges, 3);
    // The new image is transparent and carries its tag and default palette.
    const TOrbImage& img = doc.Image()[2];
    EXPECT_EQ(img.DataType(), 4);
    EXPECT_EQ(img.Palette().Count(), 16);
    EXPECT_EQ(img.Bitmap().Pixel(47, 47), 0u);
}

struct TFmtRow {
    std::int32_t width, height;
    std::uint8_t bitCount;
};

struct TRefusedAdd {
    const char* name;
    std::int32_t width, height;
    std::uint8_t bitCount;
};

class OrbMultiImageRefusedAdd : public ::testing::TestWithParam<TRefusedAdd> {};

TEST_P(OrbMultiImageRefusedAdd, ReturnsMinusOneAndLeavesTheDocumentAlone) {
    TTestDocument doc;
    Fill(doc, 3);
    doc.Select(0);
    const int changes = doc.SelectionChanges;
    const std::int32_t w = GetParam().width, h = GetParam().height;
    const std::uint8_t t = GetParam().bitCount;
    EXPECT_EQ(doc.AddNewImage(w, h, t), -1);
    EXPECT_EQ(doc.InsertNewImage(w, h, t), -1);
    EXPECT_EQ(doc.InsertNewImage(w, h, 1, t), -1);
    EXPECT_EQ(doc.ImageCount(), 3);
    EXPECT_EQ(SelectedWidth(doc), 1);
    EXPECT_EQ(doc.SelectionChanges, changes);
}

INSTANTIATE_TEST_SUITE_P(
    Admission, OrbMultiImageRefusedAdd,
    ::testing::Values(TRefusedAdd{"refusedBySubclass", 13, 13, 32}, TRefusedAdd{"duplicate", 2, 10, 32},
                      TRefusedAdd{"zeroWidth", 0, 10, 32}, TRefusedAdd{"negativeHeight", 10, -1, 32},
                      TRefusedAdd{"sideBeyondLimit", limits::kMaxBitmapSide + 1, 1, 32},
                      TRefusedAdd{"pixelsBeyondLimit", limits::kMaxBitmapSide, limits::kMaxBitmapSide, 32}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OrbMultiImage, InsertNewImageAtIndexPlacesAndSelects) {
    TTestDocument doc;
    Fill(doc, 3);
    EXPECT_EQ(doc.InsertNewImage(9, 10, 1, 32), 1);
    EXPECT_EQ(Widths(doc.Image()), (std::vector<std::int32_t>{1, 9, 2, 3}));
    EXPECT_EQ(SelectedWidth(doc), 9);
    EXPECT_THROW(doc.InsertNewImage(8, 10, 5, 32), std::out_of_range);
    EXPECT_THROW(doc.InsertNewImage(8, 10, -1, 32), std::out_of_range);
    EXPECT_EQ(doc.ImageCount(), 4);
    EXPECT_EQ(SelectedWidth(doc), 9);
}

TEST(OrbMultiImage, AddNewImageTakesAnImageOnlyOnSuccess) {
    TTestDocument doc;
    doc.SetImageClass<TOrbImageIcon>();
    doc.AddNewImage(16, 16, 32);

    std::unique_ptr<TOrbImage> plain = std::make_unique<TOrbImage>(32, 32, 32);
    EXPECT_EQ(doc.AddNewImage(plain), -1) << "not of the document's image class";
    ASSERT_NE(plain, nullptr);

    std::unique_ptr<TOrbImage> duplicate = std::make_unique<TOrbImageIcon>(16, 16, 32);
    EXPECT_EQ(doc.AddNewImage(duplicate), -1);
    ASSERT_NE(duplicate, nullptr);

    std::unique_ptr<TOrbImage> empty = std::make_unique<TOrbImageIcon>(0, 0, 32);
    EXPECT_EQ(doc.AddNewImage(empty), -1) << "an image without pixels";
    ASSERT_NE(empty, nullptr);

    std::unique_ptr<TOrbImage> none;
    EXPECT_EQ(doc.AddNewImage(none), -1);

    std::unique_ptr<TOrbImage> icon = std::make_unique<TOrbImageIcon>(32, 32, 32);
    TOrbImage* raw = icon.get();
    EXPECT_EQ(doc.AddNewImage(icon), 1);
    EXPECT_EQ(icon, nullptr);
    EXPECT_EQ(doc.Selected(), raw);
    EXPECT_EQ(doc.ImageCount(), 2);
}

TEST(OrbMultiImage, ImageClassDecidesWhatIsCreated) {
    TTestDocument doc;
    doc.SetImageClass<TOrbImageIcon>();
    doc.AddNewImage(16, 16, 32);
    EXPECT_NE(dynamic_cast<TOrbImageIcon*>(doc.Selected()), nullptr);
    EXPECT_TRUE(doc.GetImageType().IsInstance(*doc.Selected()));
    EXPECT_FALSE(doc.GetImageType().IsInstance(TOrbImage(1, 1, 32)));
    EXPECT_TRUE(TTestDocument().GetImageType().IsInstance(TOrbImageIcon(1, 1, 32)))
        << "subclasses are accepted";
}

TEST(OrbMultiImage, SelectOnlyChangesWhatIsNotSelectedYet) {
    TTestDocument doc;
    Fill(doc, 3);
    const int changes = doc.SelectionChanges;
    doc.Select(5);
    doc.Select(-1);
    EXPECT_EQ(SelectedWidth(doc), 3);
    doc.Select(2); // already the selected image
    EXPECT_EQ(doc.SelectionChanges, changes);
    TOrbImage foreign(7, 10, 32);
    doc.Select(foreign);
    EXPECT_EQ(SelectedWidth(doc), 3);
    EXPECT_EQ(doc.SelectionChanges, changes);
    doc.Select(0);
    EXPECT_EQ(SelectedWidth(doc), 1);
    EXPECT_EQ(doc.SelectionChanges, changes + 1);
    EXPECT_EQ(doc.Image().SelecedCount(), 1);
}

struct TDeleteCase {
    const char* name;
    std::int32_t count;
    std::int32_t selectIndex; // -1: clear the selection first
    std::int32_t deleteIndex;
    std::vector<std::int32_t> widths;
    std::int32_t selectedWidth; // -1: nothing selected
};

class OrbMultiImageDelete : public ::testing::TestWithParam<TDeleteCase> {};

TEST_P(OrbMultiImageDelete, KeepsOrReplacesTheSelection) {
    TTestDocument doc;
    Fill(doc, GetParam().count);
    if (GetParam().selectIndex < 0)
        doc.Image().UnSelectAll();
    else
        doc.Select(GetParam().selectIndex);
    doc.DeleteImage(GetParam().deleteIndex);
    EXPECT_EQ(Widths(doc.Image()), GetParam().widths);
    EXPECT_EQ(SelectedWidth(doc), GetParam().selectedWidth);
}

INSTANTIATE_TEST_SUITE_P(Selection, OrbMultiImageDelete,
                         ::testing::Values(TDeleteCase{"selectedGivesWayToFirst", 3, 1, 1, {1, 3}, 1},
                                           TDeleteCase{"selectedFirstGivesWayToNewFirst", 3, 0, 0, {2, 3}, 2},
                                           TDeleteCase{"unselectedKeepsSelection", 3, 2, 0, {2, 3}, 3},
                                           TDeleteCase{"lastImageLeavesNothingSelected", 1, 0, 0, {}, -1},
                                           TDeleteCase{"nothingSelectedSelectsFirst", 3, -1, 2, {1, 2}, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OrbMultiImage, DeleteImageOutOfRangeThrowsAndKeepsEverything) {
    TTestDocument doc;
    Fill(doc, 3);
    EXPECT_THROW(doc.DeleteImage(3), std::out_of_range);
    EXPECT_EQ(doc.ImageCount(), 3);
    EXPECT_EQ(SelectedWidth(doc), 3);
}

TEST(OrbMultiImage, ExchangeMovesImagesAndTheSelectionFollows) {
    TTestDocument doc;
    Fill(doc, 3);
    doc.Select(0);
    doc.Exchange(0, 2);
    EXPECT_EQ(Widths(doc.Image()), (std::vector<std::int32_t>{3, 2, 1}));
    EXPECT_EQ(SelectedWidth(doc), 1);
    EXPECT_EQ(doc.Exchanges, 1);
    doc.SwapImages(0, 1);
    EXPECT_EQ(Widths(doc.Image()), (std::vector<std::int32_t>{2, 3, 1}));
    EXPECT_EQ(doc.Exchanges, 1) << "SwapImages calls no hook";
    EXPECT_THROW(doc.Exchange(0, 3), std::out_of_range);
    EXPECT_EQ(doc.Exchanges, 1);
}

TEST(OrbMultiImage, GetImageFindsSizeAndDepth) {
    TTestDocument doc;
    doc.AddNewImage(48, 48, 32);
    doc.AddNewImage(48, 48, 8);
    EXPECT_EQ(doc.GetImage(48, 48, 8), 1);
    EXPECT_EQ(doc.GetImage(48, 48, 4), -1);
    EXPECT_EQ(doc.GetImage(32, 48, 32), -1);
}

TEST(OrbMultiImage, ZoomIsTheSelectedImages) {
    TTestDocument doc;
    EXPECT_EQ(doc.GetZoom(), 100);
    doc.SetZoom(300); // nothing selected: ignored
    Fill(doc, 2);
    doc.SetZoom(250);
    EXPECT_EQ(doc.Image()[1].Zoom(), 250);
    EXPECT_EQ(doc.Image()[0].Zoom(), 100);
    doc.Select(0);
    EXPECT_EQ(doc.GetZoom(), 100);
}

// Resize, crop and rotations of the selected image, refused when the new size is taken.
enum class TGeometryOp { RotateRight, RotateLeft, Resize, Crop };

struct TGeometryCase {
    const char* name;
    std::vector<TFmtRow> others; // further images in the document
    std::int32_t width, height;  // the selected image, 32 bits
    TGeometryOp op;
    TGPRect rect; // Crop's rectangle; Resize takes its width and height
    bool expected;
    std::int32_t newWidth, newHeight;
};

bool Apply(TOrbMultiImage& doc, TGeometryOp op, const TGPRect& rect) {
    switch (op) {
    case TGeometryOp::RotateRight:
        return doc.RotateRight();
    case TGeometryOp::RotateLeft:
        return doc.RotateLeft();
    case TGeometryOp::Resize:
        return doc.Resize(rect.Width, rect.Height, false);
    case TGeometryOp::Crop:
        return doc.Crop(rect);
    }
    return false;
}

class OrbMultiImageGeometry : public ::testing::TestWithParam<TGeometryCase> {};

TEST_P(OrbMultiImageGeometry, ChangesTheSelectedImageOnlyWhenAdmitted) {
    TTestDocument doc;
    for (const TFmtRow& other : GetParam().others)
        ASSERT_GE(doc.AddNewImage(other.width, other.height, other.bitCount), 0);
    ASSERT_GE(doc.AddNewImage(GetParam().width, GetParam().height, 32), 0);
    EXPECT_EQ(Apply(doc, GetParam().op, GetParam().rect), GetParam().expected);
    EXPECT_EQ(doc.Selected()->Width(), GetParam().newWidth);
    EXPECT_EQ(doc.Selected()->Height(), GetParam().newHeight);
}

using enum TGeometryOp;
INSTANTIATE_TEST_SUITE_P(
    Geometry, OrbMultiImageGeometry,
    ::testing::Values(
        TGeometryCase{
            "rotateRightRefusedWhenTurnedSizeTaken", {{16, 32, 32}}, 32, 16, RotateRight, {}, false, 32, 16},
        TGeometryCase{
            "rotateLeftRefusedWhenTurnedSizeTaken", {{16, 32, 32}}, 32, 16, RotateLeft, {}, false, 32, 16},
        TGeometryCase{"rotateAllowedBesideOtherDepth", {{16, 32, 8}}, 32, 16, RotateRight, {}, true, 16, 32},
        TGeometryCase{"rotateLeftTurnsNonSquare", {}, 32, 16, RotateLeft, {}, true, 16, 32},
        TGeometryCase{"squareAlwaysRotates", {}, 16, 16, RotateRight, {}, true, 16, 16},
        TGeometryCase{"resizeToCurrentSizeRefused", {}, 16, 16, Resize, {0, 0, 16, 16}, false, 16, 16},
        TGeometryCase{
            "resizeToTakenSizeRefused", {{32, 32, 32}}, 16, 16, Resize, {0, 0, 32, 32}, false, 16, 16},
        TGeometryCase{"resizeRefusedBySubclass", {}, 16, 16, Resize, {0, 0, 13, 13}, false, 16, 16},
        TGeometryCase{"resizeBeyondLimitsRefused", {}, 16, 16, Resize, {0, 0, 0, 16}, false, 16, 16},
        TGeometryCase{"resizeAdmitted", {{32, 32, 8}}, 16, 16, Resize, {0, 0, 32, 32}, true, 32, 32},
        TGeometryCase{"cropToTakenSizeRefused", {{8, 8, 32}}, 16, 16, Crop, {2, 2, 8, 8}, false, 16, 16},
        TGeometryCase{"cropAdmitted", {}, 16, 16, Crop, {2, 2, 8, 6}, true, 8, 6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OrbMultiImage, GeometryWithoutASelectedImageIsRefused) {
    TTestDocument doc;
    Fill(doc, 1);
    doc.Image().UnSelectAll();
    EXPECT_FALSE(doc.RotateRight());
    EXPECT_FALSE(doc.RotateLeft());
    EXPECT_FALSE(doc.Resize(20, 20, true));
    EXPECT_FALSE(doc.Crop({0, 0, 1, 1}));
    EXPECT_EQ(doc.Image()[0].Width(), 1);
}

// Four images with distinct pixels, tags and zoom; the third selected.
void FillDistinct(TTestDocument& doc) {
    const std::uint8_t tags[4] = {32, 8, 4, 1};
    for (std::int32_t i = 0; i < 4; ++i) {
        doc.AddNewImage(8 + i, 6, tags[i]);
        doc.Selected()->Bitmap().SetPixel(i, 1, 0xFF102030u + static_cast<TColor>(i));
        doc.Selected()->SetZoom(100 + i);
    }
    doc.Select(2);
}

TEST(OrbMultiImage, CopyImagesToGivesEqualCopiesAndTheSameSelectedPosition) {
    TTestDocument source;
    FillDistinct(source);
    TTestDocument dest;
    Fill(dest, 2); // replaced by the copies
    source.CopyImagesTo(dest);
    ASSERT_EQ(dest.ImageCount(), 4);
    for (std::int32_t i = 0; i < 4; ++i) {
        const TOrbImage& a = source.Image()[i];
        const TOrbImage& b = dest.Image()[i];
        EXPECT_NE(&a, &b);
        EXPECT_TRUE(b.IsEqual(a)) << i;
        EXPECT_EQ(b.DataType(), a.DataType()) << i;
        EXPECT_EQ(b.Zoom(), a.Zoom()) << i;
    }
    EXPECT_EQ(dest.Selected(), &dest.Image()[2]);
    EXPECT_EQ(dest.Image().SelecedCount(), 1);
    // The source is unchanged, and the copies are independent of it.
    EXPECT_EQ(source.ImageCount(), 4);
    EXPECT_EQ(source.Selected(), &source.Image()[2]);
    dest.Image()[0].Bitmap().Fill(0xFFFFFFFF);
    EXPECT_EQ(source.Image()[0].Bitmap().Pixel(0, 0), 0u);
}

TEST(OrbMultiImage, CopyImagesToADocumentThatRefusesSomeSkipsThem) {
    TTestDocument source;
    source.AddNewImage(12, 12, 32);
    source.AddNewImage(14, 14, 32);
    TTestDocument dest;
    dest.SetImageClass<TOrbImageIcon>(); // refuses every plain TOrbImage copy
    dest.AddNewImage(1, 1, 32);
    source.CopyImagesTo(dest);
    EXPECT_EQ(dest.ImageCount(), 0);
    EXPECT_EQ(dest.Selected(), nullptr);
}

TEST(OrbMultiImage, CopyImagesToItselfChangesNothing) {
    TTestDocument doc;
    FillDistinct(doc);
    doc.CopyImagesTo(doc);
    EXPECT_EQ(doc.ImageCount(), 4);
    EXPECT_EQ(doc.Selected(), &doc.Image()[2]);
}

TEST(OrbMultiImage, CopyImagesToWithNothingSelectedKeepsTheLastCopySelected) {
    TTestDocument source;
    Fill(source, 2);
    source.Select(0);
    source.Image().UnSelectAll();
    const auto clone = source.Clone();
    EXPECT_EQ(clone->ImageCount(), 2);
    EXPECT_EQ(clone->Selected(), &clone->Image()[1]) << "each added copy was selected in turn";
}

} // namespace
} // namespace gw
