// glyphwright-cli combine as a script runs it.

#include "CliTestSupport.h"
#include "formats/IconCoders.h"
#include "image/OrbIcon.h"
#include "image/OrbImage.h"
#include "settings/Setting.h"
#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace gw {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

class CombineCommand : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteFileBytes(Dir / "hand16.png", test::EncodePng(FHand));
        test::WriteFileBytes(Dir / "large.png", test::EncodePng(test::MakeGradient(300, 300, true)));
        const std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"4\"><circle "
                                "cx=\"2\" cy=\"2\" r=\"2\" fill=\"#e01b24\"/></svg>";
        test::WriteFileBytes(Dir / "logo.svg", test::TextBytes(svg));
    }
    std::vector<fs::path> Files() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(Dir.Path()))
            files.push_back(entry.path().filename());
        std::sort(files.begin(), files.end());
        return files;
    }

    TGlobalSetting FSettings{TPersistence::Detached};
    const TBitmap FHand = test::MakeGradient(16, 16, true);
    test::TTempDir Dir;
};

TEST_F(CombineCommand, WritesOneIconAndNeverOverwrites) {
    const std::string out = (Dir / "app.ico").string();
    const auto args = std::vector<std::string>{"combine",
                                               "-o",
                                               out,
                                               "--formats",
                                               "16x16-32;32x32-32;256x256-32",
                                               (Dir / "hand16.png").string(),
                                               (Dir / "large.png").string(),
                                               (Dir / "logo.svg").string()};
    const auto first = RunCli(args);
    ASSERT_EQ(first.Status, 0) << first.Err;
    EXPECT_NE(first.Out.find("16x16-32 from " + (Dir / "hand16.png").string() + " (as drawn)"),
              std::string::npos)
        << first.Out;
    EXPECT_NE(first.Out.find("32x32-32 from " + (Dir / "logo.svg").string() + " (rendered)"),
              std::string::npos);
    TOrbIcon icon;
    ASSERT_TRUE(LoadIcon(Dir / "app.ico", icon));
    ASSERT_EQ(icon.ImageCount(), 3);
    for (const TOrbImage& image : icon.Image())
        if (image.Width() == 16) {
            EXPECT_EQ(image.Bitmap(), FHand);
        }

    const auto again = RunCli(args);
    ASSERT_EQ(again.Status, 0) << again.Err;
    EXPECT_NE(again.Out.find("-> " + (Dir / "app (2).ico").string()), std::string::npos) << again.Out;
    EXPECT_TRUE(fs::exists(Dir / "app (2).ico"));
}

TEST_F(CombineCommand, MacintoshIconFromTheExtension) {
    const auto result =
        RunCli({"combine", "-q", "-o", (Dir / "app.icns").string(), "--formats", "16x16-32;32x32-32",
                (Dir / "hand16.png").string(), (Dir / "large.png").string()});
    ASSERT_EQ(result.Status, 0) << result.Err;
    EXPECT_TRUE(result.Out.empty());
    TOrbIcon icon;
    ASSERT_TRUE(LoadIcon(Dir / "app.icns", icon));
    EXPECT_EQ(icon.ImageCount(), 2);
}

TEST_F(CombineCommand, ModernMacintoshIconGetsItsRetinaElementsWithoutJpeg2000) {
    const auto result =
        RunCli({"combine", "-q", "--modern", "-o", (Dir / "app.icns").string(), "--formats",
                "16x16-32;256x256-32", (Dir / "hand16.png").string(), (Dir / "logo.svg").string()});
    ASSERT_EQ(result.Status, 0) << result.Err;
    const std::vector<std::uint8_t> bytes = test::ReadFileBytes(Dir / "app.icns");
    const std::string text(bytes.begin(), bytes.end());
    for (const char* type : {"TOC ", "ic11", "ic12", "ic13", "ic14", "ic08"})
        EXPECT_NE(text.find(type), std::string::npos) << type;
    EXPECT_EQ(text.find("jP  "), std::string::npos); // no JPEG 2000 signature box
    TOrbIcon icon;
    ASSERT_TRUE(LoadIcon(Dir / "app.icns", icon));
    EXPECT_EQ(icon.ImageCount(), 5); // 16 and 256, and the retina sources 32, 64 and 512
    for (const TOrbImage& image : icon.Image())
        if (image.Width() == 16) {
            EXPECT_EQ(image.Bitmap(), FHand);
        }
    EXPECT_EQ(RunCli({"combine", "--modern", "-o", (Dir / "app.ico").string(), (Dir / "hand16.png").string()})
                  .Status,
              2);
}

TEST_F(CombineCommand, AnIconFileBringsEachOfItsImages) {
    ASSERT_EQ(RunCli({"combine", "-q", "-o", (Dir / "small.ico").string(), "--formats", "16x16-32;48x48-32",
                      (Dir / "hand16.png").string(), (Dir / "large.png").string()})
                  .Status,
              0);
    const auto result =
        RunCli({"combine", "-o", (Dir / "app.icns").string(), "--formats", "16x16-32;128x128-32",
                (Dir / "small.ico").string(), (Dir / "large.png").string()});
    ASSERT_EQ(result.Status, 0) << result.Err;
    EXPECT_NE(result.Out.find("16x16-32 from " + (Dir / "small.ico").string() + " (as drawn)"),
              std::string::npos)
        << result.Out;
    EXPECT_NE(result.Out.find("128x128-32 from " + (Dir / "large.png").string() + " (scaled down)"),
              std::string::npos)
        << result.Out;
    TOrbIcon icon;
    ASSERT_TRUE(LoadIcon(Dir / "app.icns", icon));
    ASSERT_EQ(icon.ImageCount(), 2);
    for (const TOrbImage& image : icon.Image())
        if (image.Width() == 16) {
            EXPECT_EQ(image.Bitmap(), FHand);
        }
}

TEST_F(CombineCommand, UnreadableSourceIsNamedAndNothingIsWritten) {
    test::WriteFileBytes(Dir / "broken.webp", test::TextBytes("RIFF\x10\x00\x00\x00WEBPVP8 "));
    const auto before = Files();
    const auto result = RunCli({"combine", "-o", (Dir / "app.ico").string(), (Dir / "hand16.png").string(),
                                (Dir / "broken.webp").string()});
    EXPECT_EQ(result.Status, 1);
    EXPECT_NE(result.Err.find((Dir / "broken.webp").string() + ": "), std::string::npos) << result.Err;
    EXPECT_EQ(Files(), before);
}

struct TUsageCase {
    const char* Name;
    std::vector<std::string> Args;
    const char* Message;
};

class CombineUsage : public CombineCommand, public ::testing::WithParamInterface<TUsageCase> {};

TEST_P(CombineUsage, IsRefusedWithItsReason) {
    std::vector<std::string> args{"combine"};
    for (const std::string& arg : GetParam().Args)
        args.push_back(arg == "PIC" ? (Dir / "hand16.png").string() : arg);
    const auto result = RunCli(args);
    EXPECT_EQ(result.Status, 2);
    EXPECT_NE(result.Err.find(GetParam().Message), std::string::npos) << result.Err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CombineUsage,
    ::testing::Values(TUsageCase{"NoOutput", {"PIC"}, "--output FILE is required"},
                      TUsageCase{"NoPicture", {"-o", "x.ico"}, "no PICTURE given"},
                      TUsageCase{"OutputNotAnIcon", {"-o", "x.png", "PIC"}, "must name a .ico or .icns file"},
                      TUsageCase{
                          "TypeAgainstExtension", {"-o", "x.ico", "--type", "mac", "PIC"}, "does not match"},
                      TUsageCase{"BadFormats", {"-o", "x.ico", "--formats", "16x16", "PIC"}, "--formats"}),
    test::TCaseName{});

} // namespace
} // namespace gw
