// The load report of the ICO reader: how each image was stored ("png" or "dib"), keyed by the image it
// became, and why a file failed. The document itself holds the same images with or without a report.

#include "IcoTestSupport.h"
#include "codecs/ConvertPng.h"
#include "formats/IconCoders.h"
#include "formats/ico/IcoIO.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace gw {
namespace {

namespace fs = std::filesystem;

std::string FormatOf(const TOrbImage& image) {
    return std::to_string(image.Width()) + "x" + std::to_string(image.Height()) + "-" +
           std::to_string(image.DataType());
}

// Every image of doc with its reported storage, in document order.
std::vector<std::string> Described(const TOrbIcon& doc, const TIconLoadReport& report) {
    std::vector<std::string> lines;
    for (const TOrbImage& image : doc.Image())
        lines.push_back(FormatOf(image) + " " + report.StorageOf(image));
    return lines;
}

class IcoStorageReportTest : public ::testing::Test {
protected:
    TIconLoadReport LoadBack(const fs::path& file, TOrbIcon& doc) {
        TIconLoadReport report;
        EXPECT_TRUE(LoadIcon(file, doc, report)) << report.Status.Reason();
        EXPECT_TRUE(report.Status.IsOk());
        return report;
    }

    test::TTempDir Dir;
};

TEST_F(IcoStorageReportTest, LargeImageIsPngWhileTheSwitchIsOnAndEveryOtherADib) {
    for (const bool png : {true, false}) {
        TOrbIcon doc;
        test::FillDocument(doc, test::DefaultWindowsFormats());
        const fs::path file = Dir / (png ? "png.ico" : "dib.ico");
        ASSERT_TRUE(SaveIcon(doc, file, {.CompressVista = png}));

        TOrbIcon back;
        const TIconLoadReport report = LoadBack(file, back);
        ASSERT_EQ(report.Images.size(), 10u);
        const std::vector<std::string> lines = Described(back, report);
        EXPECT_EQ(lines.front(), png ? "256x256-32 png" : "256x256-32 dib");
        for (std::size_t i = 1; i < lines.size(); ++i)
            EXPECT_EQ(lines[i].substr(lines[i].find(' ')), " dib") << lines[i];
    }
}

// One record per image, each naming a distinct image of the document.
TEST_F(IcoStorageReportTest, RecordsNameTheDocumentsImagesOnce) {
    TOrbIcon doc;
    test::FillDocument(doc, test::DefaultWindowsFormats());
    ASSERT_TRUE(SaveIcon(doc, Dir / "a.ico"));
    TOrbIcon back;
    const TIconLoadReport report = LoadBack(Dir / "a.ico", back);
    std::set<const TOrbImage*> seen;
    for (const TImageStorage& record : report.Images) {
        EXPECT_GE(back.Image().IndexOf(record.Image), 0);
        EXPECT_TRUE(seen.insert(record.Image).second);
    }
    EXPECT_EQ(static_cast<std::int32_t>(seen.size()), back.ImageCount());
}

// Images the document held before the load get no record; a refused duplicate entry adds none.
TEST_F(IcoStorageReportTest, OnlyImagesTheLoadAddedAreReported) {
    const std::vector<std::uint8_t> dib =
        test::BuildDib(8, 16, 24, std::vector<std::uint8_t>(8 * 24 + 8 * 4));
    test::WriteFileBytes(Dir / "two.ico", test::BuildIco({{24, dib}, {24, dib}}));
    TOrbIcon doc;
    doc.InsertNewImage(16, 16, 32);
    const TIconLoadReport report = LoadBack(Dir / "two.ico", doc);
    EXPECT_EQ(doc.ImageCount(), 2);
    EXPECT_EQ(Described(doc, report), (std::vector<std::string>{"16x16-32 ", "8x8-24 dib"}));
}

TEST_F(IcoStorageReportTest, PngEntryOfACursorIsPng) {
    TBitmap bitmap = test::MakeGradient(20, 12, true);
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(BitmapToPngData(bitmap, png).IsOk());
    test::WriteFileBytes(Dir / "a.cur", test::BuildIco({{0, png}}, 2));
    TOrbIcon doc;
    const TIconLoadReport report = LoadBack(Dir / "a.cur", doc);
    EXPECT_EQ(Described(doc, report), std::vector<std::string>{"20x12-32 png"});
}

struct TFailureCase {
    const char* Name;
    std::vector<std::uint8_t> Bytes; // empty: no file at all
    TFailure Kind;
};

class IcoStorageReportFailureTest : public IcoStorageReportTest,
                                    public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(IcoStorageReportFailureTest, FailedLoadTellsWhyAndReportsNoImage) {
    const fs::path file = Dir / "x.ico";
    if (!GetParam().Bytes.empty())
        test::WriteFileBytes(file, GetParam().Bytes);
    TOrbIcon doc;
    TIconLoadReport report;
    report.Images.push_back({nullptr, "stale"});
    EXPECT_FALSE(LoadIcon(file, doc, report));
    EXPECT_EQ(report.Status.Kind(), GetParam().Kind);
    EXPECT_FALSE(report.Status.Reason().empty());
    EXPECT_TRUE(report.Images.empty());
    EXPECT_EQ(doc.ImageCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, IcoStorageReportFailureTest,
    ::testing::Values(TFailureCase{"missingFile", {}, TFailure::Io},
                      TFailureCase{"pngSignatureInsteadOfIconHeader",
                                   {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A},
                                   TFailure::Corrupt},
                      TFailureCase{"directoryCutShort", {0, 0, 1, 0, 2, 0, 16, 16, 0}, TFailure::Truncated},
                      TFailureCase{"onlyEntryBeyondTheEnd", test::BuildIco({{32, {1, 2, 3}, 5000}}),
                                   TFailure::Truncated}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(IcoStorageReportTest, FolderIsUnreadable) {
    TOrbIcon doc;
    TIconLoadReport report;
    EXPECT_FALSE(LoadIcon(Dir.Path(), doc, report));
    EXPECT_EQ(report.Status.Kind(), TFailure::Io);
    EXPECT_EQ(report.Status.Reason(), "not a regular file");
}

} // namespace
} // namespace gw
