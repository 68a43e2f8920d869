// Modern files in other readers (Pillow, libicns, gdk-pixbuf), and the files of Pillow and png2icns in
// ours, image by image. Each test skips when its tool is missing.

#include "formats/icns/MacIcoIO.h"

#include "IcnsTestSupport.h"
#include "codecs/ConvertPng.h"
#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace gw {
namespace {

using test::Masked;
using test::Shapes;
using TBytes = std::vector<std::uint8_t>;
using TTypes = std::vector<std::string>;

const char* kPython = "/usr/bin/python3";

std::string Quote(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

TBitmap ReadPng(const std::filesystem::path& path) {
    TBitmap bitmap;
    EXPECT_TRUE(PngDataToBitmap(test::ReadFileBytes(path), bitmap)) << path;
    return bitmap;
}

class ModernInteropTest : public ::testing::Test {
protected:
    test::TTestConverter FConverter;
    test::TTempDir FDir;
    std::unique_ptr<TOrbIcon> FWritten;

    // Our modern file of the default list and the 64-pixel image.
    std::filesystem::path WriteModernFile() {
        auto formats = test::DefaultMacFormats();
        formats.push_back({64, 64, 32});
        FWritten = test::MakeConvertedIcon(formats, FConverter.DataType);
        const auto path = FDir / "modern.icns";
        test::WriteFileBytes(path, test::SaveIcns(*FWritten, FConverter.DataType, 2, true));
        return path;
    }

    const TOrbImage* WrittenImage(std::int32_t side, std::int32_t bitCount = 32) const {
        for (const TOrbImage& image : FWritten->Image()) {
            if (image.Width() == side && image.DataType() == bitCount)
                return &image;
        }
        return nullptr;
    }
};

// Pillow lists every size and scale it knows and decodes each; the pixels are ours.
TEST_F(ModernInteropTest, PillowDecodesEveryImage) {
    if (!test::HavePillow())
        GTEST_SKIP() << "Pillow not installed (Debian package python3-pil)";
    const auto path = WriteModernFile();
    WriteText(FDir / "sizes.py", "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
                                 "for w, h, s in sorted(im.info['sizes']):\n"
                                 "    im.size = (w, h, s)\n    im.load()\n"
                                 "    im.convert('RGBA').save('%s/%dx%d@%d.png' % (sys.argv[2], w, h, s))\n"
                                 "    print('%dx%d@%d' % (w, h, s))\n");
    std::string output;
    ASSERT_EQ(test::RunCommand(std::string(kPython) + " " + Quote(FDir / "sizes.py") + " " + Quote(path) +
                                   " " + Quote(FDir.Path()) + " 2>&1",
                               &output),
              0)
        << output;
    // 16, 32, 48, 128, 256 and 512 at scale 1, and the retina ones: 16@2 (32 px) to 512@2 (1024 px).
    EXPECT_EQ(output, "16x16@1\n16x16@2\n32x32@1\n32x32@2\n48x48@1\n128x128@1\n128x128@2\n256x256@1\n"
                      "256x256@2\n512x512@1\n512x512@2\n");
    for (const auto& [name, side] : std::vector<std::pair<std::string, std::int32_t>>{{"16x16@1", 16},
                                                                                      {"16x16@2", 32},
                                                                                      {"32x32@1", 32},
                                                                                      {"32x32@2", 64},
                                                                                      {"48x48@1", 48},
                                                                                      {"128x128@1", 128},
                                                                                      {"128x128@2", 256},
                                                                                      {"256x256@1", 256},
                                                                                      {"256x256@2", 512},
                                                                                      {"512x512@1", 512},
                                                                                      {"512x512@2", 1024}}) {
        SCOPED_TRACE(name);
        const TOrbImage* image = WrittenImage(side);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(Masked(ReadPng(FDir / (name + ".png"))), Masked(image->Bitmap()));
    }
}

// libicns names every classic element and extracts each image it knows; the retina types are beyond
// the libicns of Debian 12 and only listed.
TEST_F(ModernInteropTest, LibicnsExtractsEveryImageItKnows) {
    if (!test::HaveTool("icns2png"))
        GTEST_SKIP() << "icns2png not installed (Debian package icnsutils)";
    const auto path = WriteModernFile();
    std::string output;
    ASSERT_EQ(test::RunCommand("icns2png -x -o " + Quote(FDir.Path()) + " " + Quote(path) + " 2>&1", &output),
              0)
        << output;
    EXPECT_NE(output.find("Extracted 15 images"), std::string::npos) << output;
    for (const TOrbImage& image : FWritten->Image()) {
        if (image.Width() == 64)
            continue; // only in ic12
        const std::string name = "modern_" + std::to_string(image.Width()) + "x" +
                                 std::to_string(image.Height()) + "x" + std::to_string(image.DataType()) +
                                 ".png";
        SCOPED_TRACE(name);
        ASSERT_TRUE(std::filesystem::exists(FDir / name));
        EXPECT_EQ(Masked(ReadPng(FDir / name)), Masked(image.Bitmap()));
    }
}

// gdk-pixbuf (the loader of most Linux file managers and viewers) opens one image, the largest it
// supports, which is the 256-pixel PNG.
TEST_F(ModernInteropTest, GdkPixbufShowsThe256PixelImage) {
    if (test::RunCommand(std::string(kPython) + " -c \"import gi; gi.require_version('GdkPixbuf', '2.0'); "
                                                "from gi.repository import GdkPixbuf\" >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gdk-pixbuf for Python not installed (python3-gi, gir1.2-gdkpixbuf-2.0)";
    const auto path = WriteModernFile();
    WriteText(FDir / "pixbuf.py", "import sys, gi\ngi.require_version('GdkPixbuf', '2.0')\n"
                                  "from gi.repository import GdkPixbuf\n"
                                  "p = GdkPixbuf.Pixbuf.new_from_file(sys.argv[1])\n"
                                  "p.savev(sys.argv[2], 'png', [], [])\n"
                                  "print(p.get_width(), p.get_height(), p.get_has_alpha())\n");
    std::string output;
    ASSERT_EQ(test::RunCommand(std::string(kPython) + " " + Quote(FDir / "pixbuf.py") + " " + Quote(path) +
                                   " " + Quote(FDir / "pixbuf.png") + " 2>&1",
                               &output),
              0)
        << output;
    EXPECT_EQ(output, "256 256 True\n");
    EXPECT_EQ(Masked(ReadPng(FDir / "pixbuf.png")), Masked(WrittenImage(256)->Bitmap()));
}

// Pillow's own .icns files: every size it writes (PNG elements of the later types), compared with
// Pillow's decode of the same file.
TEST_F(ModernInteropTest, WeReadEveryImageOfAPillowFile) {
    if (!test::HavePillow())
        GTEST_SKIP() << "Pillow not installed (Debian package python3-pil)";
    TBytes png;
    ASSERT_TRUE(BitmapToPngData(test::MakeGradient(1024, 1024, true), png));
    test::WriteFileBytes(FDir / "source.png", png);
    WriteText(FDir / "write.py",
              "import sys\nfrom PIL import Image\nImage.open(sys.argv[1]).save(sys.argv[2])\n"
              "im = Image.open(sys.argv[2])\n"
              "for w, h, s in sorted(im.info['sizes']):\n"
              "    im.size = (w, h, s)\n    im.load()\n"
              "    im.convert('RGBA').save('%s/%d.png' % (sys.argv[3], w * s))\n");
    std::string output;
    ASSERT_EQ(test::RunCommand(std::string(kPython) + " " + Quote(FDir / "write.py") + " " +
                                   Quote(FDir / "source.png") + " " + Quote(FDir / "pillow.icns") + " " +
                                   Quote(FDir.Path()) + " 2>&1",
                               &output),
              0)
        << output;
    TOrbIcon doc;
    std::vector<TImageStorage> report;
    ASSERT_TRUE(test::LoadIcns(test::ReadFileBytes(FDir / "pillow.icns"), doc, &report));
    EXPECT_EQ(Shapes(doc),
              (TTypes{"1024x1024-32", "512x512-32", "256x256-32", "128x128-32", "64x64-32", "32x32-32"}));
    for (const TOrbImage& image : doc.Image()) {
        SCOPED_TRACE(image.Width());
        EXPECT_EQ(image.Bitmap(), ReadPng(FDir / (std::to_string(image.Width()) + ".png")));
    }
    EXPECT_EQ(test::SetAsideStorages(report).size(), 2u); // ic13 beside ic08, ic14 beside ic09
}

} // namespace
} // namespace gw

namespace gw {
namespace {

// The .icns files of the shared corpus and of installed software (found at run time).
std::vector<std::filesystem::path> IcnsFilesAround() {
    std::vector<std::filesystem::path> files;
    std::vector<std::filesystem::path> roots = {"/usr/share/icons", "/usr/share/pixmaps", "/usr/lib/python3"};
    if (const auto data = test::TestDataDir())
        roots.push_back(*data / "icons");
    for (const auto& root : roots) {
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it->path().extension() == ".icns" && it->path().parent_path().filename() != "bad")
                files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Every image Pillow finds in a file (each size and scale) we find too, kept or set aside, with
// Pillow's pixels.
TEST(IcnsPillowCorpusTest, EveryImagePillowFindsWeFindWithItsPixels) {
    if (!test::HavePillow())
        GTEST_SKIP() << "Pillow not installed (Debian package python3-pil)";
    const auto files = IcnsFilesAround();
    if (files.empty())
        GTEST_SKIP() << "no .icns files around";
    test::TTempDir dir;
    std::ofstream(dir / "sizes.py")
        << "import sys, os\nfrom PIL import Image\nfor n, f in enumerate(sys.argv[2:]):\n"
           "    try:\n        im = Image.open(f)\n        sizes = sorted(im.info['sizes'])\n"
           "    except Exception:\n        continue\n"
           "    for w, h, s in sizes:\n        im.size = (w, h, s)\n        im.load()\n"
           "        name = os.path.join(sys.argv[1], '%d-%d' % (n, w * s))\n"
           "        im.convert('RGBA').save(name + '.png')\n"
           "        if im.mode == 'P':\n            open(name + '.p', 'w').close()\n";
    std::string command = std::string(kPython) + " " + Quote(dir / "sizes.py") + " " + Quote(dir.Path());
    for (const auto& file : files)
        command += " " + Quote(file);
    std::string output;
    ASSERT_EQ(test::RunCommand(command + " 2>&1", &output), 0) << output;
    std::size_t compared = 0;
    for (std::size_t n = 0; n < files.size(); ++n) {
        TOrbIcon doc;
        std::vector<TImageStorage> report;
        const TStatus status = test::LoadIcns(test::ReadFileBytes(files[n]), doc, &report);
        for (const std::int32_t side : {16, 32, 48, 64, 128, 256, 512, 1024}) {
            const auto png = dir / (std::to_string(n) + "-" + std::to_string(side) + ".png");
            if (!std::filesystem::exists(png))
                continue;
            SCOPED_TRACE(files[n].string() + " at " + std::to_string(side));
            ASSERT_TRUE(status) << status.Reason();
            const TBitmap theirs = Masked(ReadPng(png));
            // Pillow's .icns reader drops the transparency of palette PNG elements (decoding the PNG
            // data by itself, it keeps it): of those only the colours of opaque pixels are compared.
            const bool palette =
                std::filesystem::exists(png.string().substr(0, png.string().size() - 3) + "p");
            const auto same = [&](const TBitmap& ours) {
                if (!palette)
                    return Masked(ours) == theirs;
                for (std::int32_t y = 0; y < side; ++y) {
                    for (std::int32_t x = 0; x < side; ++x) {
                        if (AlphaOf(ours.Pixel(x, y)) == 255 && ours.Pixel(x, y) != theirs.Pixel(x, y))
                            return false;
                    }
                }
                return true;
            };
            const bool found = std::any_of(report.begin(), report.end(), [&](const TImageStorage& record) {
                const TBitmap& ours = record.Image != nullptr ? record.Image->Bitmap() : record.Pixels;
                return ours.Width() == side && (record.Image == nullptr || record.Image->DataType() == 32) &&
                       same(ours);
            });
            EXPECT_TRUE(found);
            ++compared;
        }
    }
    EXPECT_GT(compared, 0u);
}

} // namespace
} // namespace gw

namespace gw {
namespace {

// Every image element libicns lists in a file (its masks, table of contents and nested variant
// families aside) is among the images we report, kept or set aside.
TEST(IcnsLibicnsCorpusTest, EveryElementLibicnsListsWeReport) {
    if (!test::HaveTool("icns2png"))
        GTEST_SKIP() << "icns2png not installed (Debian package icnsutils)";
    const auto files = IcnsFilesAround();
    if (files.empty())
        GTEST_SKIP() << "no .icns files around";
    std::size_t compared = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        std::string listing;
        test::RunCommand("icns2png -l " + Quote(file) + " 2>/dev/null", &listing);
        TOrbIcon doc;
        std::vector<TImageStorage> report;
        if (!test::LoadIcns(test::ReadFileBytes(file), doc, &report))
            continue; // files both refuse are checked elsewhere
        std::istringstream lines(listing);
        bool inVariant = false; // libicns lists the elements of a nested variant family after it
        for (std::string line; std::getline(lines, line);) {
            inVariant = inVariant || line.find("icon variant") != std::string::npos;
            if (inVariant)
                continue; // variant families are not read
            const std::size_t quote = line.find('\'');
            if (quote == std::string::npos || line.size() < quote + 6 || line[quote + 5] != '\'' ||
                line.find(" icon") == std::string::npos)
                continue; // not an image element: table of contents, masks, headings
            const std::string type = line.substr(quote + 1, 4);
            const bool reported = std::any_of(report.begin(), report.end(), [&](const TImageStorage& record) {
                return record.Storage.rfind(type, 0) == 0;
            });
            EXPECT_TRUE(reported) << type;
            ++compared;
        }
    }
    EXPECT_GT(compared, 0u);
}

} // namespace
} // namespace gw
