// Runs the glyphwright-cli program as a script would and checks what it prints, writes and answers.

#include "CliTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <unistd.h>
#include <vector>

namespace gw {
namespace {

namespace fs = std::filesystem;
using test::Lines;
using test::RunCli;
using test::TCliChild;
using test::TCliResult;
using test::TTempDir;

class ConvertCommandTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(test::CliProgram())) << test::CliProgram() << " is not built";
    }

    fs::path Picture(const std::string& name, std::int32_t width = 300, std::int32_t height = 200) {
        test::WriteFileBytes(Dir / name, test::EncodeTestBmp(test::MakeGradient(width, height, false)));
        return Dir / name;
    }
    fs::path Corrupt(const std::string& name) {
        auto bytes = test::EncodeTestBmp(test::MakeSolid(64, 64, 0xFF000000));
        bytes.resize(80);
        test::WriteFileBytes(Dir / name, bytes);
        return Dir / name;
    }
    // The environment of a user whose window settings would send icons elsewhere, as .icns, with an
    // empty Windows format list: a run that read them would fail or write elsewhere.
    std::vector<std::string> UserWithSettings() {
        fs::create_directories(Home / "config" / "glyphwright");
        fs::create_directories(Home / "elsewhere");
        const std::string ini = "[General]\nIconType=1\nPath=" + (Home / "elsewhere").string() +
                                "\nWinFormats=\nMacFormats=\nDither=0\n";
        test::WriteFileBytes(SettingsFile(), std::vector<std::uint8_t>(ini.begin(), ini.end()));
        return {"XDG_CONFIG_HOME=" + (Home / "config").string(), "HOME=" + Home.Path().string(),
                "GLYPHWRIGHT_CONFIG_DIR="};
    }
    fs::path SettingsFile() const { return Home / "config" / "glyphwright" / "config.ini"; }

    TTempDir Dir;
    TTempDir Home;
};

// --- Usage ----------------------------------------------------------------------------------------

TEST_F(ConvertCommandTest, HelpExplainsEveryOption) {
    const TCliResult result = RunCli({"convert", "--help"});
    EXPECT_EQ(result.Status, 0);
    for (const char* word : {"--type win|mac", "--output-dir DIR", "--formats LIST", "--no-dither",
                             "--no-png", "--modern", "--quiet", "--jobs N", "--recursive", "SOURCE -> ICON",
                             "read error (REASON)", "EXIT STATUS", "Ctrl-C"})
        EXPECT_NE(result.Out.find(word), std::string::npos) << word;
}

TEST_F(ConvertCommandTest, ProgramHelpNamesTheCommand) {
    const TCliResult result = RunCli({"--help"});
    EXPECT_EQ(result.Status, 0);
    EXPECT_NE(result.Out.find("convert"), std::string::npos);
}

struct TUsageCase {
    const char* Name;
    std::vector<std::string> Args;
};

class ConvertUsageErrorTest : public ConvertCommandTest, public testing::WithParamInterface<TUsageCase> {};

TEST_P(ConvertUsageErrorTest, ExitsWithTwoAndWritesNothing) {
    Picture("photo.bmp");
    std::vector<std::string> args;
    for (const std::string& arg : GetParam().Args)
        args.push_back(arg == "PICTURE"   ? (Dir / "photo.bmp").string()
                       : arg == "MISSING" ? (Dir / "no").string()
                                          : arg);
    const TCliResult result = RunCli(args);
    EXPECT_EQ(result.Status, 2) << result.Err;
    EXPECT_FALSE(result.Err.empty());
    EXPECT_TRUE(result.Out.empty());
    EXPECT_FALSE(fs::exists(Dir / "photo.ico"));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ConvertUsageErrorTest,
    testing::Values(
        TUsageCase{"NoArguments", {}}, TUsageCase{"UnknownCommand", {"transmogrify", "PICTURE"}},
        TUsageCase{"NoPath", {"convert"}}, TUsageCase{"UnknownOption", {"convert", "--fast", "PICTURE"}},
        TUsageCase{"BadType", {"convert", "--type", "linux", "PICTURE"}},
        TUsageCase{"TypeWithoutValue", {"convert", "PICTURE", "--type"}},
        TUsageCase{"MissingOutputFolder", {"convert", "--output-dir", "MISSING", "PICTURE"}},
        TUsageCase{"OutputFolderIsAFile", {"convert", "--output-dir", "PICTURE", "PICTURE"}},
        TUsageCase{"FormatListEndingInDelimiter", {"convert", "--formats", "16x16-32;", "PICTURE"}},
        TUsageCase{"FlagWithValue", {"convert", "--quiet=yes", "PICTURE"}},
        TUsageCase{"ModernWindowsIcon", {"convert", "--modern", "PICTURE"}},
        TUsageCase{"NoJobs", {"convert", "--jobs", "0", "PICTURE"}},
        TUsageCase{"NegativeJobs", {"convert", "-j", "-2", "PICTURE"}},
        TUsageCase{"TooManyJobs", {"convert", "--jobs=65", "PICTURE"}},
        TUsageCase{"JobsNotANumber", {"convert", "--jobs", "2x", "PICTURE"}},
        TUsageCase{"AttachedJobsNotANumber", {"convert", "-j2x", "PICTURE"}},
        TUsageCase{"UnknownShortOptionInAGroup", {"convert", "-qz", "PICTURE"}},
        TUsageCase{"EmptyFormatList", {"convert", "--formats", "", "PICTURE"}},
        TUsageCase{"BitCountTakenModulo256", {"convert", "--formats", "16x16-264", "PICTURE"}},
        TUsageCase{"SixteenBits", {"convert", "--formats", "16x16-16", "PICTURE"}},
        TUsageCase{"TooLargeForAWindowsIcon", {"convert", "--formats", "16x16-32;1024x1024-32", "PICTURE"}},
        TUsageCase{"SizeTheMacintoshTableLacks",
                   {"convert", "--type", "mac", "--formats", "64x64-32", "PICTURE"}}),
    [](const auto& info) { return std::string(info.param.Name); });

// The refusal names the item at fault.
TEST_F(ConvertCommandTest, UnusableFormatItemIsNamed) {
    const TCliResult result =
        RunCli({"convert", "--formats", "16x16-32;32x32-264", Picture("photo.bmp").string()});
    EXPECT_EQ(result.Status, 2);
    EXPECT_NE(result.Err.find("'32x32-264': the bit count must be 1, 4, 8, 24 or 32"), std::string::npos)
        << result.Err;
}

// Short options take their value attached and group as getopt has them; long ones after "=".
TEST_F(ConvertCommandTest, AttachedAndGroupedOptionsAreTaken) {
    const fs::path source = Picture("photo.bmp");
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"-j1"}, {"--jobs=2"}, {"-qj1"}, {"-qj", "1"}, {"--formats=16x16-24"}}) {
        std::vector<std::string> args{"convert"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(source.string());
        const TCliResult result = RunCli(args);
        EXPECT_EQ(result.Status, 0) << options.front() << ": " << result.Err;
    }
    EXPECT_TRUE(fs::exists(Dir / "photo (5).ico"));
}

// --- Failures (no icon written) -------------------------------------------------------------------

TEST_F(ConvertCommandTest, UndecodablePictureIsAReadError) {
    const fs::path bad = Corrupt("bad.bmp");
    const TCliResult result = RunCli({"convert", bad.string()});
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(Lines(result.Out),
              std::vector<std::string>{bad.string() +
                                       ": read error (BMP: image size runs past the end of the file)"});
    EXPECT_EQ(result.Err, "Error while opening the file!\n");
}

TEST_F(ConvertCommandTest, FoldersAndNonPicturesAreSkipped) {
    fs::create_directory(Dir / "folder");
    test::WriteFileBytes(Dir / "notes.txt", {'h', 'i'});
    const TCliResult result = RunCli({"convert", (Dir / "folder").string(), (Dir / "notes.txt").string()});
    EXPECT_EQ(result.Status, 1);
    EXPECT_TRUE(result.Out.empty());
    EXPECT_EQ(result.Err, "No recognizable files were found!\n");
}

TEST_F(ConvertCommandTest, MissingPathFailsWithoutKind) {
    const TCliResult result = RunCli({"convert", (Dir / "gone.png").string()});
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(Lines(result.Out),
              std::vector<std::string>{(Dir / "gone.png").string() +
                                       ": failed (cannot be opened: No such file or directory)"});
    // The summary keeps its trailing space.
    EXPECT_EQ(result.Err, "Error while processing the file! \n");
}

TEST_F(ConvertCommandTest, QuietPrintsOnlyTheFailureSummary) {
    const TCliResult result =
        RunCli({"convert", "--quiet", Corrupt("a.bmp").string(), Corrupt("b.bmp").string()});
    EXPECT_EQ(result.Status, 1);
    EXPECT_TRUE(result.Out.empty());
    EXPECT_EQ(result.Err, "Error while opening the files!\n");
}

TEST_F(ConvertCommandTest, WindowSettingsFileIsNeitherReadNorWritten) {
    const auto env = UserWithSettings();
    const auto before = test::ReadFileBytes(SettingsFile());
    const auto time = fs::last_write_time(SettingsFile());
    RunCli({"convert", Corrupt("bad.bmp").string()}, env);
    EXPECT_EQ(test::ReadFileBytes(SettingsFile()), before);
    EXPECT_EQ(fs::last_write_time(SettingsFile()), time);
    EXPECT_EQ(std::distance(fs::directory_iterator(SettingsFile().parent_path()), fs::directory_iterator()),
              1);
}

// --- Conversions (need the icon writers) ----------------------------------------------------------

std::uint16_t Le16(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

TEST_F(ConvertCommandTest, PictureBecomesAnIconBesideIt) {
    const fs::path source = Picture("photo.bmp");
    const TCliResult result = RunCli({"convert", source.string()});
    EXPECT_EQ(result.Status, 0) << result.Out << result.Err;
    EXPECT_EQ(Lines(result.Out),
              (std::vector<std::string>{source.string() + " -> " + (Dir / "photo.ico").string(),
                                        "The file was processed successfully!"}));
    EXPECT_TRUE(result.Err.empty());
    ASSERT_TRUE(fs::exists(Dir / "photo.ico"));
    const auto icon = test::ReadFileBytes(Dir / "photo.ico");
    // ICONDIR: reserved 0, type 1, and all ten default Windows formats (the canvas is 300 pixels wide).
    EXPECT_EQ(Le16(icon, 0), 0);
    EXPECT_EQ(Le16(icon, 2), 1);
    EXPECT_EQ(Le16(icon, 4), 10);
}

TEST_F(ConvertCommandTest, UsesTheDefaultsWhateverTheWindowSettingsSay) {
    const auto env = UserWithSettings();
    const fs::path source = Picture("photo.bmp");
    const TCliResult result = RunCli({"convert", source.string()}, env);
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_TRUE(fs::exists(Dir / "photo.ico"));
    EXPECT_TRUE(fs::is_empty(Home / "elsewhere"));
}

// An .ico becomes a modern .icns and that an .ico again; icon files are told by content, not name.
TEST_F(ConvertCommandTest, IconFilesAreSourcesBothWays) {
    const fs::path source = Picture("app.bmp", 300, 300);
    ASSERT_EQ(RunCli({"convert", "--quiet", source.string()}).Status, 0);
    fs::rename(Dir / "app.ico", Dir / "app.data");
    TCliResult result = RunCli({"convert", "--type", "mac", "--modern", (Dir / "app.data").string()});
    EXPECT_EQ(result.Status, 0) << result.Out << result.Err;
    EXPECT_EQ(Lines(result.Out).front(), (Dir / "app.data").string() + " -> " + (Dir / "app.icns").string());
    result = RunCli({"info", (Dir / "app.icns").string()});
    for (const char* type : {"ic08", "ic09", "ic10", "ic11", "ic12", "ic13", "ic14", "il32+l8mk"})
        EXPECT_NE(result.Out.find(type), std::string::npos) << type << "\n" << result.Out;
    // extract writes the images not kept too, told apart by their element type.
    fs::create_directory(Dir / "png");
    result = RunCli({"extract", "--output-dir", (Dir / "png").string(), (Dir / "app.icns").string()});
    EXPECT_EQ(result.Status, 0) << result.Err;
    for (const char* name : {"app-32x32-32.png", "app-32x32-32-il32.png", "app-256x256-32-ic13.png",
                             "app-512x512-32-ic14.png", "app-64x64-32.png"})
        EXPECT_TRUE(fs::exists(Dir / "png" / name)) << name << "\n" << result.Out;
    result = RunCli({"convert", "--type", "win", (Dir / "app.icns").string()});
    EXPECT_EQ(result.Status, 0) << result.Err;
    const auto icon = test::ReadFileBytes(Dir / "app.ico");
    EXPECT_EQ(Le16(icon, 4), 10); // every default Windows format
}

TEST_F(ConvertCommandTest, OptionsChooseTypeFolderAndFormats) {
    fs::create_directory(Dir / "out");
    const fs::path source = Picture("photo.bmp");
    const TCliResult result = RunCli({"convert", "--type", "mac", "--output-dir", (Dir / "out").string(),
                                      "--formats", "32x32-32;16x16-8", "--no-dither", source.string()});
    EXPECT_EQ(result.Status, 0) << result.Err;
    ASSERT_TRUE(fs::exists(Dir / "out" / "photo.icns"));
    const auto icon = test::ReadFileBytes(Dir / "out" / "photo.icns");
    EXPECT_EQ(std::string(icon.begin(), icon.begin() + 4), "icns");
}

TEST_F(ConvertCommandTest, NoPngStoresTheLargeImageAsABitmap) {
    const fs::path source = Picture("photo.bmp");
    const TCliResult result = RunCli({"convert", "--no-png", "--formats", "256x256-32", source.string()});
    ASSERT_EQ(result.Status, 0) << result.Err;
    const auto icon = test::ReadFileBytes(Dir / "photo.ico");
    const std::uint32_t offset = icon.at(18) | icon.at(19) << 8 | icon.at(20) << 16 | icon.at(21) << 24;
    // A BITMAPINFOHEADER (size 40) where PNG data would begin with 0x89 "PNG".
    EXPECT_EQ(icon.at(offset), 40);
}

TEST_F(ConvertCommandTest, SecondRunNumbersTheNewIconAndKeepsTheFirst) {
    const fs::path source = Picture("photo.bmp");
    ASSERT_EQ(RunCli({"convert", source.string()}).Status, 0);
    const auto first = test::ReadFileBytes(Dir / "photo.ico");
    const TCliResult second = RunCli({"convert", source.string()});
    EXPECT_EQ(second.Status, 0);
    EXPECT_NE(second.Out.find(" -> " + (Dir / "photo (2).ico").string()), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(Dir / "photo.ico"), first);
}

TEST_F(ConvertCommandTest, MixedRunReportsEachPictureAndExitsWithOne) {
    const fs::path good = Picture("good.bmp");
    const fs::path bad = Corrupt("bad.bmp");
    const TCliResult result = RunCli({"convert", good.string(), bad.string()});
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(Lines(result.Out),
              (std::vector<std::string>{good.string() + " -> " + (Dir / "good.ico").string(),
                                        bad.string() +
                                            ": read error (BMP: image size runs past the end of the file)"}));
    EXPECT_EQ(result.Err, "Some files were processed successfully, but there were also errors!\n");
}

TEST_F(ConvertCommandTest, WriteErrorNamesTheFolder) {
    // Nobody, not even the super-user, can create files in /proc.
    const fs::path source = Picture("photo.bmp");
    const TCliResult result = RunCli({"convert", "--output-dir", "/proc", source.string()});
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(Lines(result.Out),
              std::vector<std::string>{
                  source.string() + ": write error (the icon could not be written into /proc: cannot create "
                                    "a temporary file: No such file or directory)"});
    EXPECT_EQ(result.Err, "Error while saving the file!\n");
}

// An unreadable folder below a walked one is reported on a line of its own and fails the run, while
// the pictures of the other folders are converted. The super-user reads every folder, so as root the
// program runs as nobody.
TEST_F(ConvertCommandTest, UnreadableFolderOfARecursiveWalkFailsTheRun) {
    std::vector<std::string> args{"convert", "-r", "-j1"};
    std::vector<std::string> asNobody;
    if (::geteuid() == 0) {
        if (!fs::exists("/usr/bin/setpriv"))
            GTEST_SKIP() << "root without setpriv";
        asNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    fs::create_directories(Dir / "walk" / "locked");
    const fs::path visible = Picture("walk/visible.bmp");
    Picture("walk/locked/hidden.bmp");
    for (const auto& entry : fs::recursive_directory_iterator(Dir.Path()))
        fs::permissions(entry.path(), fs::perms::all, fs::perm_options::add);
    fs::permissions(Dir.Path(), fs::perms::all, fs::perm_options::add);
    fs::permissions(Dir / "walk" / "locked", fs::perms::none);
    args.push_back((Dir / "walk").string());
    const TCliResult result = asNobody.empty() ? RunCli(args) : test::RunCliWrapped(asNobody, args);
    fs::permissions(Dir / "walk" / "locked", fs::perms::owner_all);
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(Lines(result.Out),
              std::vector<std::string>{visible.string() + " -> " + (Dir / "walk" / "visible.ico").string()});
    EXPECT_NE(result.Err.find("glyphwright-cli convert: " + (Dir / "walk" / "locked").string() +
                              ": cannot read the folder: Permission denied\n"),
              std::string::npos)
        << result.Err;
    EXPECT_FALSE(fs::exists(Dir / "walk" / "locked" / "hidden.ico"));
}

// --- Ctrl-C ---------------------------------------------------------------------------------------

// Interrupted after the first picture, the run finishes the picture in hand and leaves the rest; it
// leaves no temporary file behind.
TEST_F(ConvertCommandTest, InterruptFinishesThePictureInHandAndLeavesTheRest) {
    constexpr int kPictures = 8;
    std::vector<std::string> args{"convert"};
    for (int i = 0; i < kPictures; ++i)
        args.push_back(Picture("p" + std::to_string(i) + ".bmp", 1600, 1200).string());
    TCliChild child(args);
    const std::string first = child.NextLine();
    ASSERT_FALSE(first.empty());
    child.Signal(SIGINT);
    const TCliResult result = child.Wait();
    EXPECT_EQ(result.Status, 1);
    EXPECT_NE(result.Err.find("Processing was cancelled!\n"), std::string::npos);
    const auto lines = Lines(result.Out);
    EXPECT_LT(lines.size(), static_cast<std::size_t>(kPictures));
    for (const fs::path& entry : fs::directory_iterator(Dir.Path()))
        EXPECT_NE(entry.filename().string().rfind(".gw-", 0), 0u) << entry;
}

#if GW_LAZY_CODECS
// librsvg and libheif, with the dozens of libraries they need, are opened when a picture needs them:
// a BMP converts without either, an SVG opens librsvg alone. (The dynamic linker names every library
// it initialises under LD_DEBUG=libs.)
TEST_F(ConvertCommandTest, OpensTheSvgAndHeifLibrariesOnlyForTheirPictures) {
    const fs::path svg = Dir / "logo.svg";
    const std::string text =
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="4" height="4"><rect width="4" height="4"/></svg>)";
    test::WriteFileBytes(svg, std::vector<std::uint8_t>(text.begin(), text.end()));
    const auto initialised = [](const TCliResult& result, const std::string& library) {
        return result.Err.find("calling init: ") != std::string::npos &&
               result.Err.find("/" + library) != std::string::npos;
    };
    const TCliResult bmp = RunCli({"convert", "-q", Picture("photo.bmp").string()}, {"LD_DEBUG=libs"});
    ASSERT_EQ(bmp.Status, 0) << bmp.Err;
    ASSERT_TRUE(initialised(bmp, "libpng16.so")) << "LD_DEBUG gave no list of libraries";
    EXPECT_FALSE(initialised(bmp, "librsvg-2.so"));
    EXPECT_FALSE(initialised(bmp, "libheif.so"));
    const TCliResult vector = RunCli({"convert", "-q", svg.string()}, {"LD_DEBUG=libs"});
    ASSERT_EQ(vector.Status, 0) << vector.Err;
    EXPECT_TRUE(initialised(vector, "librsvg-2.so"));
    EXPECT_FALSE(initialised(vector, "libheif.so"));
    EXPECT_TRUE(fs::exists(Dir / "logo.ico"));
}
#endif

} // namespace
} // namespace gw
