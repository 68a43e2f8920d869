// Cross-tool runs: our files in icoutils' icotool, and icons made by icotool, ImageMagick and other
// programs in our reader. Each test skips when its tool or corpus is absent.

#include "IcoTestSupport.h"
#include "codecs/ConvertPng.h"
#include "formats/ico/IcoIO.h"
#include "support/TestPngWriter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

namespace gw {
namespace {

namespace fs = std::filesystem;

std::string Quote(const fs::path& path) {
    return "'" + path.string() + "'";
}

bool SaveIco(TOrbIcon& doc, const fs::path& file, bool compressVista = true) {
    TIcoIO coder(false, compressVista);
    return coder.SaveToFile(doc, file).IsOk();
}

TBitmap ReadPngFile(const fs::path& file) {
    TBitmap bitmap;
    const TStatus status = PngDataToBitmap(test::ReadFileBytes(file), bitmap);
    EXPECT_TRUE(status.IsOk()) << file << ": " << status.Reason();
    return bitmap;
}

void WritePngFile(const TBitmap& bitmap, const fs::path& file) {
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(BitmapToPngData(bitmap, png));
    test::WriteFileBytes(file, png);
}

// Equal pixels, where a clear pixel's colour bytes do not count (icotool stores them as 0). The
// first difference, or an empty text.
std::string VisibleDifference(const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return "sizes differ";
    for (std::int32_t y = 0; y < a.Height(); ++y)
        for (std::int32_t x = 0; x < a.Width(); ++x) {
            const TColor p = a.Pixel(x, y), q = b.Pixel(x, y);
            if (p != q && (AlphaOf(p) != 0 || AlphaOf(q) != 0)) {
                std::ostringstream text;
                text << std::hex << "at " << std::dec << x << "," << y << std::hex << ": " << p << " vs "
                     << q;
                return text.str();
            }
        }
    return {};
}

// A painted default Windows document.
void DefaultDocument(TOrbIcon& doc) {
    const auto formats = test::DefaultWindowsFormats();
    test::FillDocument(doc, formats);
    for (TOrbImage& image : doc.Image())
        test::PaintStorable(image);
}

// icotool -l lists every entry with our size and depth, in our directory order.
TEST(IcoInteropTest, IcotoolListsEveryEntry) {
    if (!test::HaveTool("icotool"))
        GTEST_SKIP() << "icotool not installed";
    test::TTempDir dir;
    for (const bool png : {false, true}) {
        TOrbIcon doc;
        DefaultDocument(doc);
        const fs::path file = dir / "default.ico";
        ASSERT_TRUE(SaveIco(doc, file, png));
        std::string listing;
        ASSERT_EQ(test::RunCommand("icotool -l " + Quote(file), &listing), 0);

        // Directory order is the reverse-depth order.
        doc.SortImagesReverse();
        std::istringstream lines(listing);
        std::string line;
        std::int32_t index = 0;
        const std::regex entry(R"(--icon --index=(\d+) --width=(\d+) --height=(\d+) --bit-depth=(\d+))");
        while (std::getline(lines, line)) {
            std::smatch m;
            ASSERT_TRUE(std::regex_search(line, m, entry)) << line;
            ASSERT_LT(index, doc.ImageCount());
            const TOrbImage& image = doc.Image()[index];
            EXPECT_EQ(std::stoi(m[1]), index + 1);
            EXPECT_EQ(std::stoi(m[2]), image.Width());
            EXPECT_EQ(std::stoi(m[3]), image.Height());
            EXPECT_EQ(std::stoi(m[4]), image.DataType());
            ++index;
        }
        EXPECT_EQ(index, 10);
    }
}

// icotool -x extracts every entry; the 32-bit ones (the PNG block among them) match our pixels.
TEST(IcoInteropTest, IcotoolExtractsOurThirtyTwoBitPixels) {
    if (!test::HaveTool("icotool"))
        GTEST_SKIP() << "icotool not installed";
    test::TTempDir dir;
    TOrbIcon doc;
    DefaultDocument(doc);
    const fs::path file = dir / "ours.ico";
    ASSERT_TRUE(SaveIco(doc, file, true));
    const fs::path out = dir / "x";
    fs::create_directory(out);
    ASSERT_EQ(test::RunCommand("icotool -x -o " + Quote(out) + " " + Quote(file)), 0);

    std::int32_t compared = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        std::smatch m;
        const std::string name = entry.path().filename().string();
        const std::regex pattern(R"(_(\d+)_(\d+)x(\d+)x(\d+)\.png$)");
        ASSERT_TRUE(std::regex_search(name, m, pattern)) << name;
        if (std::stoi(m[4]) != 32)
            continue;
        const std::int32_t index = doc.GetImage(std::stoi(m[2]), std::stoi(m[3]), 32);
        ASSERT_GE(index, 0) << name;
        EXPECT_TRUE(ReadPngFile(entry.path()) == doc.Image()[index].Bitmap()) << name;
        ++compared;
    }
    EXPECT_EQ(compared, 5);
}

// Icons icotool makes (1-, 8- and 32-bit DIBs, and a raw PNG entry) come into our reader.
TEST(IcoInteropTest, ReadsIconsIcotoolMakes) {
    if (!test::HaveTool("icotool"))
        GTEST_SKIP() << "icotool not installed";
    test::TTempDir dir;
    const TBitmap alpha = test::MakeGradient(48, 48, true);
    const TBitmap big = test::MakeGradient(256, 256, true);
    WritePngFile(alpha, dir / "alpha.png");
    WritePngFile(big, dir / "big.png");
    WritePngFile(test::MakeSolid(16, 16, 0xFF00FF00u), dir / "green.png");
    TBitmap twoColours = test::MakeSolid(32, 32, 0xFFFFFFFFu);
    for (std::int32_t i = 0; i < 32; ++i)
        twoColours.SetPixel(i, i, 0xFF000000u);
    WritePngFile(twoColours, dir / "two.png");
    const fs::path file = dir / "made.ico";
    ASSERT_EQ(test::RunCommand("cd " + Quote(dir.Path()) +
                               " && icotool -c -o made.ico alpha.png green.png two.png --raw=big.png"),
              0);

    TOrbIcon doc;
    TIcoIO coder(false);
    ASSERT_TRUE(coder.LoadFromFile(file, doc)) << coder.LastStatus().Reason();
    EXPECT_EQ(doc.ImageCount(), 4);
    const std::int32_t alphaIndex = doc.GetImage(48, 48, 32);
    ASSERT_GE(alphaIndex, 0);
    EXPECT_EQ(VisibleDifference(doc.Image()[alphaIndex].Bitmap(), alpha), "");
    const std::int32_t bigIndex = doc.GetImage(256, 256, 32);
    ASSERT_GE(bigIndex, 0);
    EXPECT_TRUE(doc.Image()[bigIndex].Bitmap() == big);
    for (const TOrbImage& image : doc.Image()) {
        if (image.Width() == 32) {
            EXPECT_TRUE(image.Bitmap() == twoColours);
        }
    }
}

// A Python interpreter that has Pillow, or empty.
std::string PillowPython() {
    for (const char* python : {"/usr/bin/python3", "python3"})
        if (test::RunCommand(std::string(python) + " -c 'import PIL' >/dev/null 2>&1") == 0)
            return python;
    return {};
}

// Pillow's RGBA pixels of the largest image of an icon file, as the bitmap values we keep.
std::vector<TColor> PillowPixels(const std::string& python, const fs::path& file) {
    std::string output;
    const std::string script =
        "from PIL import Image; im = Image.open('" + file.string() +
        "').convert('RGBA'); print(' '.join('%02x%02x%02x%02x' % (a, r, g, b) for r, g, b, a"
        " in im.getdata()))";
    EXPECT_EQ(test::RunCommand(python + " -c \"" + script + "\"", &output), 0) << output;
    std::vector<TColor> pixels;
    std::istringstream words(output);
    for (std::string word; words >> word;)
        pixels.push_back(static_cast<TColor>(std::stoul(word, nullptr, 16)));
    return pixels;
}

// Entries other readers take as they are: a DIB with a palette shorter than its bit count allows,
// and a palette PNG with partial transparency in an entry the directory calls 32-bit. Compared pixel
// for pixel with Pillow's decode.
TEST(IcoInteropTest, ShortPaletteAndPalettePngEntriesMatchPillow) {
    const std::string python = PillowPython();
    if (python.empty())
        GTEST_SKIP() << "Pillow not installed";
    test::TTempDir dir;

    // 4 x 4 at 8 bits with three palette entries, indexes 0..2, mask all clear.
    std::vector<std::uint8_t> dib = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            dib.push_back(static_cast<std::uint8_t>((x + y) % 3));
    dib.resize(dib.size() + 4 * 4, 0);
    test::WriteFileBytes(dir / "short.ico", test::BuildIco({{8, test::BuildDib(4, 8, 8, dib, 40, 1, 0, 3)}}));

    test::TTestPng png;
    png.Width = 16;
    png.Height = 16;
    png.ColorType = 3;
    for (int i = 0; i < 16; ++i)
        png.Palette.push_back(
            {static_cast<std::uint8_t>(i * 16), 80, static_cast<std::uint8_t>(255 - i * 16)});
    for (int i = 0; i < 16; ++i)
        png.TrnsAlpha.push_back(static_cast<std::uint8_t>(i * 17));
    for (int y = 0; y < 16; ++y) {
        std::vector<std::uint8_t> row;
        for (int x = 0; x < 16; ++x)
            row.push_back(static_cast<std::uint8_t>((x + y) % 16));
        png.Rows.push_back(row);
    }
    const std::vector<std::uint8_t> pngData = test::WriteTestPng(png);
    test::WriteFileBytes(dir / "palette.ico", test::BuildIco({{32, pngData}}));
    // NOTE: Pillow's icon reader drops the tRNS chunk of a palette PNG entry, so the entry is
    // compared with Pillow's decode of the same PNG on its own.
    test::WriteFileBytes(dir / "palette.png", pngData);

    for (const auto& [name, reference] :
         {std::pair{"short.ico", "short.ico"}, std::pair{"palette.ico", "palette.png"}}) {
        TOrbIcon doc;
        TIcoIO coder(false);
        ASSERT_TRUE(coder.LoadFromFile(dir / name, doc)) << name << ": " << coder.LastStatus().Reason();
        const TBitmap& ours = doc.Image()[0].Bitmap();
        const std::vector<TColor> theirs = PillowPixels(python, dir / reference);
        ASSERT_EQ(theirs.size(), ours.Pixels().size()) << name;
        for (std::size_t i = 0; i < theirs.size(); ++i)
            EXPECT_EQ(ours.Pixels()[i], theirs[i]) << name << " pixel " << i;
    }
}

// ImageMagick's own icon writer, several sizes from one picture.
TEST(IcoInteropTest, ReadsIconsImageMagickMakes) {
    if (!test::HaveTool("convert"))
        GTEST_SKIP() << "ImageMagick not installed";
    test::TTempDir dir;
    WritePngFile(test::MakeGradient(256, 256, true), dir / "in.png");
    const fs::path file = dir / "magick.ico";
    ASSERT_EQ(test::RunCommand("convert " + Quote(dir / "in.png") +
                               " -define icon:auto-resize=256,48,32,16 " + Quote(file)),
              0);
    TOrbIcon doc;
    TIcoIO coder(false);
    ASSERT_TRUE(coder.LoadFromFile(file, doc)) << coder.LastStatus().Reason();
    std::set<std::int32_t> sides;
    for (const TOrbImage& image : doc.Image())
        sides.insert(image.Width());
    EXPECT_EQ(sides, (std::set<std::int32_t>{16, 32, 48, 256}));
}

// The sample icons of other programs. Files under bad/ are hostile and must be refused, except the
// ones listed here whose flaw every peer reads past (a wrong length field before intact image data);
// the rest load.
TEST(IcoInteropTest, SampleIconCorpus) {
    GW_REQUIRE_TESTDATA(data);
    const fs::path icons = data / "icons";
    if (!fs::is_directory(icons))
        GTEST_SKIP() << "no sample icons";
    std::int32_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(icons)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".ico" && ext != ".cur")
            continue;
        ++files;
        TOrbIcon doc;
        TIcoIO coder(false);
        const bool loaded = coder.LoadFromFile(entry.path(), doc).IsOk();
        static const std::set<std::string> kReadPastTheFlaw = {"Bad_smile-incorrect-image-length.ico"};
        const bool hostile = entry.path().parent_path().filename() == "bad";
        if (hostile && !kReadPastTheFlaw.contains(entry.path().filename().string())) {
            EXPECT_FALSE(loaded) << entry.path() << " must be refused";
            EXPECT_FALSE(coder.LastStatus().Reason().empty()) << entry.path();
            continue;
        }
        EXPECT_TRUE(loaded) << entry.path() << ": " << coder.LastStatus().Reason();
        EXPECT_GT(doc.ImageCount(), 0) << entry.path();
    }
    EXPECT_GT(files, 0);
}

} // namespace
} // namespace gw
