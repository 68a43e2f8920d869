// glyphwright-cli info and extract: what they list and write for icons the program made, their JSON,
// and what they say about files that are not icons or are damaged.

#include "CliTestSupport.h"
#include "support/TestSupport.h"

#include "codecs/ConvertPng.h"
#include "formats/IconCoders.h"
#include "image/OrbIcon.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gw {
namespace {

namespace fs = std::filesystem;
using test::Lines;
using test::RunCli;
using test::TCliResult;
using test::TTempDir;

std::string FormatOf(const TOrbImage& image) {
    return std::to_string(image.Width()) + "x" + std::to_string(image.Height()) + "-" +
           std::to_string(image.DataType());
}

class IconCommandsTest : public ::testing::Test {
protected:
    // An icon made by the convert command from a 300 x 200 picture with alpha.
    fs::path MakeIcon(const std::string& name, const std::vector<std::string>& options = {}) {
        const fs::path picture = Dir / (name + ".png");
        test::WritePngPicture(picture, test::MakeGradient(300, 200, true));
        std::vector<std::string> args{"convert"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(picture.string());
        const TCliResult result = RunCli(args);
        EXPECT_EQ(result.Status, 0) << result.Err;
        fs::remove(picture);
        const bool mac = std::find(options.begin(), options.end(), "mac") != options.end();
        return Dir / (name + (mac ? ".icns" : ".ico"));
    }

    TTempDir Dir;
};

// --- info -----------------------------------------------------------------------------------------

struct TListingCase {
    const char* Name;
    std::vector<std::string> Options;
    std::vector<std::string> Lines; // after the file's own line
};

class InfoListingTest : public IconCommandsTest, public ::testing::WithParamInterface<TListingCase> {};

TEST_P(InfoListingTest, ListsEveryImageInDocumentOrderWithItsStorage) {
    const fs::path icon = MakeIcon("app", GetParam().Options);
    const TCliResult result = RunCli({"info", icon.string()});
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_TRUE(result.Err.empty());
    std::vector<std::string> expected = GetParam().Lines;
    const std::string kind = icon.extension() == ".icns" ? "Macintosh icon" : "Windows icon";
    expected.insert(expected.begin(),
                    icon.string() + ": " + kind + ", " + std::to_string(expected.size()) + " images");
    EXPECT_EQ(Lines(result.Out), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Icons, InfoListingTest,
    ::testing::Values(
        TListingCase{"windowsDefaults",
                     {},
                     {"  256x256-32  png", "  64x64-32    dib", "  48x48-32    dib", "  32x32-32    dib",
                      "  16x16-32    dib", "  48x48-8     dib", "  32x32-8     dib", "  16x16-8     dib",
                      "  32x32-4     dib", "  16x16-4     dib"}},
        TListingCase{"windowsWithoutPng",
                     {"--no-png", "--formats", "256x256-32;16x16-8"},
                     {"  256x256-32  dib", "  16x16-8     dib"}},
        // The writer adds the 1-bit image that carries the 48 x 48 family's mask.
        TListingCase{"macintosh",
                     {"--type", "mac", "--formats", "16x16-32;48x48-8;128x128-32;256x256-32"},
                     {"  256x256-32  ic08", "  128x128-32  it32+t8mk", "  16x16-32    is32+s8mk",
                      "  48x48-8     ich8+ich#", "  48x48-1     ich#"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(IconCommandsTest, CursorIsToldByItsContent) {
    const fs::path icon = MakeIcon("pointer", {"--formats", "32x32-32"});
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(icon);
    bytes[2] = 2; // resource type 2: a cursor
    test::WriteFileBytes(Dir / "pointer.bin", bytes);
    const TCliResult result = RunCli({"info", (Dir / "pointer.bin").string()});
    EXPECT_EQ(result.Status, 0);
    EXPECT_EQ(Lines(result.Out),
              (std::vector<std::string>{(Dir / "pointer.bin").string() + ": Windows cursor, 1 image",
                                        "  32x32-32  dib"}));
}

// The JSON document parses, and its values are those of the text listing; odd bytes in file names
// are escaped or replaced, never passed through.
TEST_F(IconCommandsTest, JsonIsValidAndComplete) {
    if (!test::HaveTool("python3"))
        GTEST_SKIP() << "python3 is needed to parse the JSON";
    const fs::path icon = MakeIcon("app", {"--formats", "256x256-32;16x16-4"});
    const fs::path odd = Dir / "we\"ird\\name\t\xff.ico";
    fs::copy_file(icon, odd);
    test::WriteFileBytes(Dir / "notes.txt", {'h', 'i'});
    const TCliResult result =
        RunCli({"info", "--json", odd.string(), (Dir / "notes.txt").string(), (Dir / "gone.ico").string()});
    EXPECT_EQ(result.Status, 1);
    test::WriteFileBytes(Dir / "out.json", std::vector<std::uint8_t>(result.Out.begin(), result.Out.end()));

    // Prints one line per file: its name in Python's ASCII notation, then the images or the error.
    const std::string script =
        "import json, sys\n"
        "for f in json.load(open(sys.argv[1], encoding='utf-8', errors='strict')):\n"
        "    rest = f.get('error', '') + ' ' + f.get('reason', '') if 'error' in f else f['type'] + ' ' + "
        "' '.join('%dx%d-%d:%s' % (i['width'], i['height'], i['bitCount'], i['storage']) for i in "
        "f['images'])\n"
        "    print(ascii(f['file'])[len(sys.argv[2]) + 1:], rest)\n";
    test::WriteFileBytes(Dir / "check.py", std::vector<std::uint8_t>(script.begin(), script.end()));
    std::string parsed;
    ASSERT_EQ(test::RunCommand("python3 '" + (Dir / "check.py").string() + "' '" +
                                   (Dir / "out.json").string() + "' '" + Dir.Path().string() + "' 2>&1",
                               &parsed),
              0)
        << parsed << result.Out;
    EXPECT_EQ(Lines(parsed),
              (std::vector<std::string>{R"(/we"ird\\name\t\ufffd.ico' ico 256x256-32:png 16x16-4:dib)",
                                        "/notes.txt' not an icon file ",
                                        "/gone.ico' unreadable No such file or directory"}));
}

// Every icon of the public corpora is either listed with a storage for each of the images the
// document reads from it (and each it set aside, marked so), or named with a reason; nothing else is
// printed.
TEST_F(IconCommandsTest, CorpusIconsAreListedOrNamedWithAReason) {
    GW_REQUIRE_TESTDATA(data);
    std::size_t listed = 0;
    for (const auto& entry : fs::recursive_directory_iterator(data / "icons")) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || (extension != ".ico" && extension != ".cur" && extension != ".icns"))
            continue;
        const TCliResult result = RunCli({"info", entry.path().string()});
        TOrbIcon doc;
        TIconLoadReport report;
        // A file that gives no image at all is unreadable, like one the reader refuses.
        if (!LoadIcon(entry.path(), doc, report) || doc.ImageCount() == 0) {
            EXPECT_EQ(result.Status, 1) << entry;
            EXPECT_EQ(result.Err.rfind(entry.path().string() + ": unreadable (", 0), 0u) << result.Err;
            EXPECT_TRUE(result.Out.empty());
            continue;
        }
        EXPECT_EQ(result.Status, 0) << entry << result.Err;
        const std::vector<std::string> lines = Lines(result.Out);
        ASSERT_EQ(lines.size(), report.Images.size() + 1) << entry;
        std::size_t line = 1;
        const auto setAsideOf = [&](const std::string& prefix) {
            return line < lines.size() && lines[line].rfind(prefix, 0) == 0 &&
                   lines[line].find("  (not kept: ") != std::string::npos;
        };
        for (const TOrbImage& image : doc.Image()) {
            const std::string prefix = "  " + FormatOf(image) + " ";
            const std::string& text = lines[line++];
            EXPECT_EQ(text.rfind(prefix, 0), 0u) << text;
            const std::string storage = text.substr(text.find_last_of(' ') + 1);
            EXPECT_TRUE(storage == "png" || storage == "dib" || storage.size() == 4 ||
                        (storage.size() == 9 && storage[4] == '+'))
                << entry << ": " << text;
            while (setAsideOf(prefix)) // those of its shape set aside follow it
                ++line;
        }
        while (setAsideOf("  ")) // then those of shapes the document does not hold
            ++line;
        EXPECT_EQ(line, lines.size()) << entry << ": " << result.Out;
        ++listed;
    }
    EXPECT_GT(listed, 20u);
}

// --- info and extract of files that are not icons -------------------------------------------------

struct TBadFileCase {
    const char* Name;
    std::vector<std::uint8_t> Bytes;
    const char* Message; // after "FILE: "; a message ending in "(" is followed by a reader's reason
};

std::vector<std::uint8_t> operator+(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class BadFileTest : public IconCommandsTest, public ::testing::WithParamInterface<TBadFileCase> {
protected:
    fs::path WriteBadFile() {
        const fs::path bad = Dir / "bad.ico";
        if (std::string(GetParam().Name) == "folder")
            fs::create_directory(bad);
        else if (std::string(GetParam().Name) != "missing")
            test::WriteFileBytes(bad, GetParam().Bytes);
        return bad;
    }
    void ExpectMessage(const std::string& err, const fs::path& bad) {
        const std::string message = GetParam().Message;
        const std::string line = bad.string() + ": " + message;
        if (message.back() == '(')
            EXPECT_TRUE(err.rfind(line, 0) == 0 && err.size() > line.size() + 2 &&
                        err.substr(err.size() - 2) == ")\n")
                << err;
        else
            EXPECT_EQ(err, line + "\n");
    }
};

TEST_P(BadFileTest, InfoNamesTheFileAndListsTheOthers) {
    const fs::path good = MakeIcon("good", {"--formats", "16x16-8"});
    const fs::path bad = WriteBadFile();
    const TCliResult result = RunCli({"info", bad.string(), good.string()});
    EXPECT_EQ(result.Status, 1);
    ExpectMessage(result.Err, bad);
    EXPECT_EQ(Lines(result.Out),
              (std::vector<std::string>{good.string() + ": Windows icon, 1 image", "  16x16-8  dib"}));
}

TEST_P(BadFileTest, ExtractNamesTheFileAndWritesNothingForIt) {
    const fs::path bad = WriteBadFile();
    const auto before = test::FolderContents(Dir.Path());
    const TCliResult result = RunCli({"extract", bad.string()});
    EXPECT_EQ(result.Status, 1);
    ExpectMessage(result.Err, bad);
    EXPECT_TRUE(result.Out.empty());
    EXPECT_TRUE(test::FolderContents(Dir.Path()) == before);
}

std::vector<TBadFileCase> BadFiles() {
    const std::vector<std::uint8_t> icnsHeader = {'i', 'c', 'n', 's'};
    return {TBadFileCase{"textFile", {'h', 'e', 'l', 'l', 'o'}, "not an icon file"},
            TBadFileCase{"emptyFile", {}, "not an icon file"},
            TBadFileCase{
                "pngPicture", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13}, "not an icon file"},
            TBadFileCase{"upperCaseIcnsMagic", {'I', 'C', 'N', 'S', 0, 0, 0, 8}, "not an icon file"},
            TBadFileCase{"missing", {}, "unreadable (No such file or directory)"},
            TBadFileCase{"folder", {}, "unreadable (not a regular file)"},
            TBadFileCase{"icoWithoutImages", {0, 0, 1, 0, 0, 0}, "unreadable ("},
            TBadFileCase{"icoDirectoryCutShort", {0, 0, 1, 0, 2, 0, 16, 16, 0, 0, 1, 0}, "unreadable ("},
            TBadFileCase{"icoEntryBeyondTheEnd",
                         {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 0, 1, 0, 0, 0xFF, 0xFF, 0, 0},
                         "unreadable ("},
            TBadFileCase{"icoEntryNeitherDibNorPng",
                         std::vector<std::uint8_t>{0, 0,  1, 0,  1, 0, 16, 16, 0, 0, 1,
                                                   0, 32, 0, 40, 0, 0, 0,  22, 0, 0, 0} +
                             std::vector<std::uint8_t>(40, 0x5A),
                         "unreadable ("},
            TBadFileCase{"icnsLengthBeyondTheFile",
                         icnsHeader + std::vector<std::uint8_t>{0, 0, 4, 0, 'i', 's'}, "unreadable ("},
            TBadFileCase{"icnsElementBeyondTheTotal",
                         icnsHeader + std::vector<std::uint8_t>{0, 0, 0, 24, 'i', 's', '3', '2', 0, 0, 1, 0} +
                             std::vector<std::uint8_t>(8, 0),
                         "unreadable ("},
            TBadFileCase{"icnsHeaderOnly", icnsHeader + std::vector<std::uint8_t>{0, 0, 0, 8},
                         "unreadable (no image could be read)"},
            TBadFileCase{"icnsOfUnknownElementsOnly",
                         icnsHeader + std::vector<std::uint8_t>{0, 0, 0, 16, 'z', 'z', 'z', 'z', 0, 0, 0, 8},
                         "unreadable (no image could be read)"}};
}

INSTANTIATE_TEST_SUITE_P(Files, BadFileTest, ::testing::ValuesIn(BadFiles()),
                         [](const auto& info) { return std::string(info.param.Name); });

// --- Output that cannot be written -----------------------------------------------------------------

// Standard output on a full disk: every command says so on standard error and fails.
TEST_F(IconCommandsTest, OutputOnAFullDiskFailsEveryCommand) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    const fs::path icon = MakeIcon("app", {"--formats", "16x16-32"});
    const fs::path picture = Dir / "photo.png";
    test::WritePngPicture(picture, test::MakeGradient(40, 30, false));
    const std::vector<std::string> toFull{"/bin/sh", "-c", "exec \"$0\" \"$@\" > /dev/full"};
    for (const auto& [command, args] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"convert", {"convert", picture.string()}},
             {"info", {"info", icon.string()}},
             {"info", {"info", "--json", icon.string()}},
             {"extract", {"extract", icon.string()}},
             {"", {"--help"}}}) {
        const TCliResult result = test::RunCliWrapped(toFull, args);
        EXPECT_EQ(result.Status, 1) << args.front();
        const std::string prefix =
            command.empty() ? "glyphwright-cli: " : "glyphwright-cli " + command + ": ";
        EXPECT_NE(result.Err.find(prefix + "write error on standard output: No space left on device\n"),
                  std::string::npos)
            << result.Err;
    }
}

// --- extract --------------------------------------------------------------------------------------

class RoundTripTest : public IconCommandsTest, public ::testing::WithParamInterface<const char*> {};

// convert, then info, then extract: every image the icon document reads from the icon comes out as
// an 8-bit RGBA PNG of the same pixels, named after its format, in the order info lists them.
TEST_P(RoundTripTest, ExtractedPngsHoldTheDocumentsPixels) {
    const bool mac = std::string(GetParam()) == "mac";
    const fs::path icon = MakeIcon("app", {"--type", GetParam()});
    TOrbIcon doc;
    ASSERT_TRUE(LoadIcon(icon, doc));
    ASSERT_GT(doc.ImageCount(), 0);

    const TCliResult info = RunCli({"info", icon.string()});
    ASSERT_EQ(info.Status, 0) << info.Err;
    const std::vector<std::string> listing = Lines(info.Out);
    ASSERT_EQ(listing.size(), static_cast<std::size_t>(doc.ImageCount()) + 1);

    fs::create_directory(Dir / "png");
    const TCliResult extract = RunCli({"extract", "--output-dir", (Dir / "png").string(), icon.string()});
    ASSERT_EQ(extract.Status, 0) << extract.Err;
    const std::vector<std::string> written = Lines(extract.Out);
    ASSERT_EQ(written.size(), static_cast<std::size_t>(doc.ImageCount()));

    std::int32_t index = 0;
    for (const TOrbImage& image : doc.Image()) {
        const std::string format = FormatOf(image);
        EXPECT_EQ(listing[static_cast<std::size_t>(index) + 1].substr(0, 2 + format.size() + 1),
                  "  " + format + " ");
        const fs::path png = Dir / "png" / ("app-" + format + ".png");
        EXPECT_EQ(written[static_cast<std::size_t>(index)], png.string());
        const std::vector<std::uint8_t> bytes = test::ReadFileBytes(png);
        ASSERT_GT(bytes.size(), 26u);
        EXPECT_EQ(bytes[24], 8) << "bit depth of " << png;
        EXPECT_EQ(bytes[25], 6) << "colour type (RGBA) of " << png;
        TBitmap decoded;
        ASSERT_TRUE(PngDataToBitmap(bytes, decoded).IsOk()) << png;
        ASSERT_EQ(decoded.Width(), image.Width());
        ASSERT_EQ(decoded.Height(), image.Height());
        EXPECT_TRUE(
            std::equal(decoded.Pixels().begin(), decoded.Pixels().end(), image.Bitmap().Pixels().begin()))
            << format << (mac ? " (icns)" : " (ico)");
        ++index;
    }
}

INSTANTIATE_TEST_SUITE_P(IconTypes, RoundTripTest, ::testing::Values("win", "mac"));

TEST_F(IconCommandsTest, ExtractNeverOverwrites) {
    const fs::path icon = MakeIcon("app", {"--formats", "32x32-32;16x16-4"});
    const TCliResult first = RunCli({"extract", icon.string()});
    ASSERT_EQ(first.Status, 0) << first.Err;
    EXPECT_EQ(Lines(first.Out), (std::vector<std::string>{(Dir / "app-32x32-32.png").string(),
                                                          (Dir / "app-16x16-4.png").string()}));
    const auto firstBytes = test::ReadFileBytes(Dir / "app-32x32-32.png");

    const TCliResult second = RunCli({"extract", icon.string()});
    ASSERT_EQ(second.Status, 0) << second.Err;
    EXPECT_EQ(Lines(second.Out), (std::vector<std::string>{(Dir / "app-32x32-32 (2).png").string(),
                                                           (Dir / "app-16x16-4 (2).png").string()}));
    EXPECT_EQ(test::ReadFileBytes(Dir / "app-32x32-32.png"), firstBytes);
    EXPECT_EQ(test::ReadFileBytes(Dir / "app-32x32-32 (2).png"), firstBytes);
}

TEST_F(IconCommandsTest, ExtractIntoAMissingFolderIsAUsageError) {
    const fs::path icon = MakeIcon("app", {"--formats", "16x16-32"});
    const TCliResult result = RunCli({"extract", "--output-dir", (Dir / "nowhere").string(), icon.string()});
    EXPECT_EQ(result.Status, 2);
    EXPECT_NE(result.Err.find("nowhere"), std::string::npos);
    EXPECT_TRUE(result.Out.empty());
}

TEST_F(IconCommandsTest, ExtractWriteFailureNamesThePath) {
    const fs::path icon = MakeIcon("app", {"--formats", "16x16-32"});
    const TCliResult result = RunCli({"extract", "--output-dir", "/proc", icon.string()});
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Err.rfind("glyphwright-cli extract: /proc/app-16x16-32.png: cannot write: ", 0), 0u)
        << result.Err;
}

} // namespace
} // namespace gw
