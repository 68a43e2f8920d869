// Our files in libicns' tools (icnsutils), their files in our reader, and .icns files of other
// programs from the shared corpus.

#include "formats/icns/MacIcoIO.h"

#include "IcnsTestSupport.h"
#include "codecs/ConvertPng.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace gw {
namespace {

using test::Masked;
using test::Shapes;
using TBytes = std::vector<std::uint8_t>;
using TTypes = std::vector<std::string>;

std::string Quote(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

std::unique_ptr<TOrbIcon> LoadFile(const std::filesystem::path& path, TStatus& status) {
    auto doc = std::make_unique<TOrbIcon>();
    status = test::LoadIcns(test::ReadFileBytes(path), *doc);
    return doc;
}

#define GW_REQUIRE_TOOL(name)                                                                                \
    if (!test::HaveTool(name))                                                                               \
    GTEST_SKIP() << name << " not installed (Debian package icnsutils)"

class IcnsutilsTest : public ::testing::Test {
protected:
    test::TTestConverter FConverter;
    test::TTempDir FDir;

    // Our file of the default Macintosh list, and the document as written.
    std::filesystem::path WriteDefaultFile(std::unique_ptr<TOrbIcon>& written) {
        const auto formats = test::DefaultMacFormats();
        written = test::MakeConvertedIcon(formats, FConverter.DataType);
        const auto path = FDir / "ours.icns";
        test::WriteFileBytes(path, test::SaveIcns(*written, FConverter.DataType));
        return path;
    }
};

TEST_F(IcnsutilsTest, ListsExactlyOurElements) {
    GW_REQUIRE_TOOL("icns2png");
    std::unique_ptr<TOrbIcon> written;
    const auto path = WriteDefaultFile(written);
    std::string listing;
    ASSERT_EQ(test::RunCommand("icns2png -l " + Quote(path) + " 2>&1", &listing), 0) << listing;
    TTypes listed;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        // An element line: indentation, then the type in single quotes.
        const std::size_t quote = line.find_first_not_of(' ');
        if (quote != std::string::npos && quote > 0 && line[quote] == '\'' && line.size() >= quote + 6 &&
            line[quote + 5] == '\'')
            listed.push_back(line.substr(quote + 1, 4));
    }
    EXPECT_EQ(listed, test::ElementTypes(test::ParseIcns(test::ReadFileBytes(path))));
    EXPECT_NE(listing.find("20 elements total"), std::string::npos) << listing;
}

// libicns decodes every element (palette images with their "#" masks, run-length RGB with the 8-bit
// masks, the JPEG 2000 and PNG pictures) into the pixels our reader gives and our writer meant.
TEST_F(IcnsutilsTest, ExtractedImagesMatchOurs) {
    GW_REQUIRE_TOOL("icns2png");
    std::unique_ptr<TOrbIcon> written;
    const auto path = WriteDefaultFile(written);
    std::string output;
    ASSERT_EQ(test::RunCommand("icns2png -x -o " + Quote(FDir.Path()) + " " + Quote(path) + " 2>&1", &output),
              0)
        << output;
    EXPECT_NE(output.find("Extracted 15 images"), std::string::npos) << output;
    for (const TOrbImage& image : written->Image()) {
        const std::string name = "ours_" + std::to_string(image.Width()) + "x" +
                                 std::to_string(image.Height()) + "x" + std::to_string(image.DataType()) +
                                 ".png";
        SCOPED_TRACE(name);
        ASSERT_TRUE(std::filesystem::exists(FDir / name));
        TBitmap extracted;
        ASSERT_TRUE(PngDataToBitmap(test::ReadFileBytes(FDir / name), extracted));
        EXPECT_EQ(Masked(extracted), Masked(image.Bitmap()));
    }
}

TEST_F(IcnsutilsTest, WeReadWhatPng2icnsWrites) {
    GW_REQUIRE_TOOL("png2icns");
    std::string command = "png2icns " + Quote(FDir / "theirs.icns");
    const std::vector<std::int32_t> sides = {16, 32, 48, 128, 256, 512, 1024};
    for (const std::int32_t side : sides) {
        TBytes png;
        ASSERT_TRUE(BitmapToPngData(test::MakeGradient(side, side, true), png));
        const auto name = FDir / ("p" + std::to_string(side) + ".png");
        test::WriteFileBytes(name, png);
        command += " " + Quote(name);
    }
    std::string output;
    ASSERT_EQ(test::RunCommand(command + " 2>&1", &output), 0) << output;
    TStatus status;
    const auto doc = LoadFile(FDir / "theirs.icns", status);
    ASSERT_TRUE(status) << status.Reason();
    ASSERT_EQ(doc->ImageCount(), static_cast<std::int32_t>(sides.size()));
    // Sorted from the largest; run-length, mask and JPEG 2000 elements are all lossless.
    for (std::size_t i = 0; i < sides.size(); ++i) {
        const std::int32_t side = sides[sides.size() - 1 - i];
        const TOrbImage& image = doc->Image()[static_cast<std::int32_t>(i)];
        EXPECT_EQ(image.Width(), side);
        EXPECT_EQ(Masked(image.Bitmap()), Masked(test::MakeGradient(side, side, true))) << side;
    }
}

// --- Files of other programs --------------------------------------------------------------------

struct TCorpusCase {
    const char* File;
    TTypes Shapes;   // "WxH-B" in document order
    TTypes SetAside; // the storage of the images of sizes held twice that the document does not keep
};

class IcnsCorpusTest : public ::testing::TestWithParam<TCorpusCase> {};

TEST_P(IcnsCorpusTest, ReadsEveryImage) {
    GW_REQUIRE_TESTDATA(data);
    const auto path = data / "icons" / GetParam().File;
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << path << " not present";
    TOrbIcon doc;
    std::vector<TImageStorage> report;
    const TStatus status = test::LoadIcns(test::ReadFileBytes(path), doc, &report);
    ASSERT_TRUE(status) << status.Reason();
    EXPECT_EQ(Shapes(doc), GetParam().Shapes);
    EXPECT_EQ(test::SetAsideStorages(report), GetParam().SetAside);
    for (const TImageStorage& record : report) {
        if (record.Image != nullptr)
            continue;
        // Every one set aside decoded and is of its size.
        EXPECT_EQ(record.Pixels.Width(), record.Width) << record.Storage << ": " << record.SetAside;
    }
}

INSTANTIATE_TEST_SUITE_P(
    SharedTestdata, IcnsCorpusTest,
    ::testing::Values(
        TCorpusCase{
            "pillow/pillow.icns",
            {"1024x1024-32", "512x512-32", "256x256-32", "128x128-32", "64x64-32", "32x32-32", "16x16-32"},
            {"ic13", "ic14", "il32+l8mk"}},
        TCorpusCase{
            "pillow/pillow2.icns", {"512x512-32", "256x256-32", "128x128-32", "32x32-32", "16x16-32"}, {}},
        TCorpusCase{"pillow/pillow3.icns",
                    {"1024x1024-32", "512x512-32", "256x256-32", "128x128-32", "64x64-32", "32x32-32"},
                    {"ic13", "ic14"}},
        TCorpusCase{"qt/test-legacy.icns",
                    {"48x48-8", "32x32-8", "16x16-8", "16x12-8", "48x48-4", "32x32-4", "16x16-4", "16x12-4",
                     "48x48-1", "32x32-1", "16x16-1", "16x12-1"},
                    {}},
        TCorpusCase{"qt/test-32bit.icns", {"128x128-32", "48x48-32", "32x32-32", "16x16-32"}, {}},
        TCorpusCase{
            "qt/test-png.icns",
            {"1024x1024-32", "512x512-32", "256x256-32", "128x128-32", "64x64-32", "32x32-32", "16x16-32"},
            {}},
        TCorpusCase{
            "qt/test-jp2.icns",
            {"1024x1024-32", "512x512-32", "256x256-32", "128x128-32", "64x64-32", "32x32-32", "16x16-32"},
            {}},
        // Only variant families, which are not read.
        TCorpusCase{"qt/test-variants.icns", {}, {}}, TCorpusCase{"rust-icns/ic07.icns", {"128x128-32"}, {}},
        TCorpusCase{"rust-icns/icon.icns", {"32x32-1"}, {}}),
    [](const auto& info) {
        std::string name = info.param.File;
        for (char& c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

// rust-icns ships the expected decode of each of its files.
struct TReferenceCase {
    const char* Name;
    const char* File;
    const char* Reference;
};

class IcnsReferenceTest : public ::testing::TestWithParam<TReferenceCase> {};

TEST_P(IcnsReferenceTest, DecodesLikeTheReference) {
    GW_REQUIRE_TESTDATA(data);
    const auto folder = data / "icons" / "rust-icns";
    if (!std::filesystem::exists(folder / GetParam().File))
        GTEST_SKIP() << "rust-icns files not present";
    TStatus status;
    const auto doc = LoadFile(folder / GetParam().File, status);
    ASSERT_TRUE(status) << status.Reason();
    ASSERT_GE(doc->ImageCount(), 1); // the palette files also hold their "#" image, which sorts last
    TBitmap reference;
    ASSERT_TRUE(PngDataToBitmap(test::ReadFileBytes(folder / "reference" / GetParam().Reference), reference));
    EXPECT_EQ(Masked(doc->Image()[0].Bitmap()), Masked(reference));
}

INSTANTIATE_TEST_SUITE_P(RustIcns, IcnsReferenceTest,
                         ::testing::Values(TReferenceCase{"ICON", "icon.icns", "icon.png"},
                                           TReferenceCase{"icmMono", "icm#.icns", "icm#.png"},
                                           TReferenceCase{"icm4", "icm4.icns", "icm4.png"},
                                           TReferenceCase{"icm8", "icm8.icns", "icm8.png"},
                                           TReferenceCase{"is32", "is32.icns", "16x16.png"},
                                           TReferenceCase{"il32", "il32.icns", "32x32.png"},
                                           TReferenceCase{"it32", "it32.icns", "128x128.png"},
                                           TReferenceCase{"ic07", "ic07.icns", "128x128.png"},
                                           TReferenceCase{"ic11", "ic11.icns", "32x32.png"},
                                           TReferenceCase{"ic12", "ic12.icns", "64x64.png"},
                                           TReferenceCase{"icp4", "icp4.icns", "16x16.png"},
                                           TReferenceCase{"icp5", "icp5.icns", "32x32.png"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(IcnsCorpusBadTest, HostileFilesFailCleanly) {
    GW_REQUIRE_TESTDATA(data);
    const auto folder = data / "icons" / "pillow" / "bad";
    if (!std::filesystem::exists(folder))
        GTEST_SKIP() << "no bad files";
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".icns")
            continue;
        TStatus status;
        LoadFile(entry.path(), status);
        EXPECT_FALSE(status) << entry.path();
    }
}

} // namespace
} // namespace gw
