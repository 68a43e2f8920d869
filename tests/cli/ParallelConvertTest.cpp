// glyphwright-cli convert on several workers: the same bytes and names as one worker, numbered names
// settled in input order, Ctrl-C, folder walking and the progress line.

#include "CliTestSupport.h"
#include "support/TestSupport.h"

#include "formats/IconCoders.h"
#include "image/OrbIcon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

namespace gw {
namespace {

namespace fs = std::filesystem;
using test::Lines;
using test::RunCli;
using test::TCliChild;
using test::TCliResult;
using test::TTempDir;

// Picture i of a batch: sizes, alpha and format differ from picture to picture.
void WriteBatchPicture(const fs::path& path, std::int32_t i) {
    const TBitmap bitmap = test::MakeGradient(60 + 41 * i, 40 + 29 * (i % 7), i % 3 == 0);
    if (path.extension() == ".png")
        test::WritePngPicture(path, bitmap);
    else
        test::WriteBmpPicture(path, bitmap);
}

// 20 pictures; p3 and p7 come twice (as BMP and PNG), so their icons get numbered names.
std::vector<std::string> WriteBatch(const fs::path& folder) {
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < 20; ++i) {
        const std::int32_t n = i == 17 ? 3 : i == 18 ? 7 : i;
        names.push_back("p" + std::to_string(n) + (i % 2 == 0 || i >= 17 ? ".png" : ".bmp"));
    }
    for (std::size_t i = 0; i < names.size(); ++i)
        WriteBatchPicture(folder / names[i], static_cast<std::int32_t>(i));
    return names;
}

// Runs convert over the batch in folder; the output with the folder's name taken out.
std::string ConvertBatch(const fs::path& folder, const std::vector<std::string>& names,
                         const std::vector<std::string>& options) {
    std::vector<std::string> args{"convert"};
    args.insert(args.end(), options.begin(), options.end());
    for (const std::string& name : names)
        args.push_back((folder / name).string());
    const TCliResult result = RunCli(args);
    EXPECT_EQ(result.Status, 0) << result.Err;
    std::string out = result.Out;
    for (std::size_t at; (at = out.find(folder.string())) != std::string::npos;)
        out.replace(at, folder.string().size(), "DIR");
    return out;
}

struct TJobsCase {
    const char* Name;
    std::vector<std::string> Options;
};

class JobsTest : public ::testing::TestWithParam<TJobsCase> {};

TEST_P(JobsTest, FourWorkersWriteTheBytesAndNamesOfOne) {
    TTempDir one, four;
    const std::vector<std::string> names = WriteBatch(one.Path());
    WriteBatch(four.Path());
    std::vector<std::string> optionsOne = GetParam().Options, optionsFour = GetParam().Options;
    optionsOne.insert(optionsOne.end(), {"--jobs", "1"});
    optionsFour.insert(optionsFour.end(), {"--jobs", "4"});

    const std::string outOne = ConvertBatch(one.Path(), names, optionsOne);
    const std::string outFour = ConvertBatch(four.Path(), names, optionsFour);
    EXPECT_EQ(outFour, outOne);
    const auto contentsOne = test::FolderContents(one.Path());
    EXPECT_EQ(contentsOne.size(), 40u);
    EXPECT_TRUE(test::FolderContents(four.Path()) == contentsOne);
}

INSTANTIATE_TEST_SUITE_P(IconTypes, JobsTest,
                         ::testing::Values(TJobsCase{"windowsDefaults", {}},
                                           TJobsCase{"windowsWithoutDither", {"--no-dither", "--no-png"}},
                                           TJobsCase{"macintosh",
                                                     {"--type", "mac", "--formats",
                                                      "16x16-4;32x32-8;48x48-32;128x128-32"}}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Pictures that want names of one series get them in input order, however the workers race.
TEST(ParallelConvertTest, NumberedNamesFollowTheInputOrder) {
    for (int run = 0; run < 3; ++run) {
        TTempDir dir;
        fs::create_directories(dir / "one");
        fs::create_directories(dir / "two");
        fs::create_directories(dir / "out");
        const std::vector<std::string> names = {"a.bmp", "a.png",     "a (2).bmp",
                                                "b.bmp", "one/x.bmp", "two/x.png"};
        for (std::size_t i = 0; i < names.size(); ++i)
            WriteBatchPicture(dir / names[i], static_cast<std::int32_t>(i));

        std::vector<std::string> args{"convert", "--jobs", "4"};
        for (const std::string& name : names)
            args.push_back((dir / name).string());
        const TCliResult beside = RunCli(args);
        ASSERT_EQ(beside.Status, 0) << beside.Err;
        const std::vector<std::pair<const char*, const char*>> expected = {
            {"a.bmp", "a.ico"}, {"a.png", "a (2).ico"},     {"a (2).bmp", "a (2) (2).ico"},
            {"b.bmp", "b.ico"}, {"one/x.bmp", "one/x.ico"}, {"two/x.png", "two/x.ico"}};
        std::vector<std::string> lines;
        for (const auto& [source, icon] : expected)
            lines.push_back((dir / source).string() + " -> " + (dir / icon).string());
        lines.push_back("All files were processed successfully!");
        EXPECT_EQ(Lines(beside.Out), lines);

        // Into one folder, the two x pictures share a series too.
        const TCliResult into = RunCli({"convert", "-j", "2", "--output-dir", (dir / "out").string(),
                                        (dir / "one/x.bmp").string(), (dir / "two/x.png").string()});
        ASSERT_EQ(into.Status, 0) << into.Err;
        EXPECT_EQ(Lines(into.Out)[1],
                  (dir / "two/x.png").string() + " -> " + (dir / "out/x (2).ico").string());
        // Each icon is its own picture's: the same bytes as the icon made beside it.
        EXPECT_EQ(test::ReadFileBytes(dir / "out/x.ico"), test::ReadFileBytes(dir / "one/x.ico"));
        EXPECT_EQ(test::ReadFileBytes(dir / "out/x (2).ico"), test::ReadFileBytes(dir / "two/x.ico"));
    }
}

struct TSummaryCase {
    const char* Name;
    std::int32_t Good;
    std::int32_t Corrupt;
    const char* Summary;
    const char* Stream;
};

class ParallelSummaryTest : public ::testing::TestWithParam<TSummaryCase> {};

// Every picture counts, whatever worker converted it; the lines come in input order.
TEST_P(ParallelSummaryTest, CountsEveryPicture) {
    TTempDir dir;
    std::vector<std::string> args{"convert", "--jobs", "3"};
    std::vector<std::string> expected;
    for (std::int32_t i = 0; i < GetParam().Good + GetParam().Corrupt; ++i) {
        const fs::path path = dir / ("p" + std::to_string(i) + ".bmp");
        if (i >= GetParam().Good) {
            test::WriteFileBytes(path, {'B', 'M', 1, 2, 3});
            expected.push_back(path.string() + ": read error (BMP: file header)");
        } else {
            WriteBatchPicture(path, i);
            expected.push_back(path.string() + " -> " + (dir / ("p" + std::to_string(i) + ".ico")).string());
        }
        args.push_back(path.string());
    }
    const TCliResult result = RunCli(args);
    EXPECT_EQ(result.Status, GetParam().Corrupt == 0 ? 0 : 1);
    const bool toOut = std::string(GetParam().Stream) == "out";
    if (toOut)
        expected.push_back(GetParam().Summary);
    EXPECT_EQ(Lines(result.Out), expected);
    EXPECT_EQ(result.Err, toOut ? "" : std::string(GetParam().Summary) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Batches, ParallelSummaryTest,
    ::testing::Values(TSummaryCase{"allGood", 7, 0, "All files were processed successfully!", "out"},
                      TSummaryCase{"mixed", 5, 2,
                                   "Some files were processed successfully, but there were also errors!",
                                   "err"},
                      TSummaryCase{"allCorrupt", 0, 5, "Error while opening the files!", "err"}),
    [](const auto& info) { return std::string(info.param.Name); });

// Interrupted after the first icon, a run on two workers finishes the pictures in hand, starts no
// other, and leaves only complete icons and no temporary file.
TEST(ParallelConvertTest, InterruptStopsEveryWorkerAfterThePictureInHand) {
    constexpr int kPictures = 16;
    TTempDir dir;
    test::WritePngPicture(dir / "p0.png", test::MakeGradient(1600, 1200, false));
    std::vector<std::string> args{"convert", "--jobs", "2", (dir / "p0.png").string()};
    for (int i = 1; i < kPictures; ++i) {
        fs::copy_file(dir / "p0.png", dir / ("p" + std::to_string(i) + ".png"));
        args.push_back((dir / ("p" + std::to_string(i) + ".png")).string());
    }
    TCliChild child(args);
    ASSERT_FALSE(child.NextLine().empty());
    child.Signal(SIGINT);
    const TCliResult result = child.Wait();

    EXPECT_EQ(result.Status, 1);
    EXPECT_NE(result.Err.find("Cancelling: the pictures in hand are finished first.\n"), std::string::npos);
    EXPECT_NE(result.Err.find("Processing was cancelled!\n"), std::string::npos);
    const auto lines = Lines(result.Out);
    EXPECT_LT(lines.size(), static_cast<std::size_t>(kPictures));

    std::size_t icons = 0;
    for (const fs::path& entry : fs::directory_iterator(dir.Path())) {
        EXPECT_NE(entry.filename().string().rfind(".gw-", 0), 0u) << entry;
        if (entry.extension() != ".ico")
            continue;
        ++icons;
        TOrbIcon icon;
        EXPECT_TRUE(LoadIcon(entry, icon)) << entry;
        EXPECT_EQ(icon.ImageCount(), 10) << entry;
    }
    EXPECT_EQ(icons, lines.size());
}

// Folders are walked on request, in name order, without following links to folders.
TEST(ParallelConvertTest, RecursiveWalksFoldersInNameOrder) {
    TTempDir dir;
    const fs::path root = dir / "root";
    fs::create_directories(root / "sub" / "deeper");
    WriteBatchPicture(root / "sub" / "b.bmp", 1);
    WriteBatchPicture(root / "a.bmp", 2);
    WriteBatchPicture(root / "sub" / "deeper" / "c.png", 3);
    test::WriteFileBytes(root / "notes.txt", {'h', 'i'});
    fs::create_directory_symlink(root, root / "sub" / "loop");

    const TCliResult skipped = RunCli({"convert", root.string()});
    EXPECT_EQ(skipped.Status, 1);
    EXPECT_EQ(skipped.Err, "No recognizable files were found!\n");

    const TCliResult result = RunCli({"convert", "-r", "-j", "2", root.string()});
    EXPECT_EQ(result.Status, 0) << result.Err;
    std::vector<std::string> expected;
    for (const auto& [source, icon] : {std::pair{"a.bmp", "a.ico"}, std::pair{"sub/b.bmp", "sub/b.ico"},
                                       std::pair{"sub/deeper/c.png", "sub/deeper/c.ico"}})
        expected.push_back((root / source).string() + " -> " + (root / icon).string());
    expected.push_back("All files were processed successfully!");
    EXPECT_EQ(Lines(result.Out), expected);
}

struct TProgressCase {
    const char* Name;
    std::vector<std::string> Options;
    std::int32_t Pictures;
    bool Shown;
};

class ProgressLineTest : public ::testing::TestWithParam<TProgressCase> {};

// Standard error is a terminal here; the line appears for more than one picture unless --quiet.
TEST_P(ProgressLineTest, ShownOnATerminalForMoreThanOnePicture) {
    TTempDir dir;
    std::vector<std::string> args{"convert"};
    args.insert(args.end(), GetParam().Options.begin(), GetParam().Options.end());
    for (std::int32_t i = 0; i < GetParam().Pictures; ++i) {
        WriteBatchPicture(dir / ("p" + std::to_string(i) + ".bmp"), i);
        args.push_back((dir / ("p" + std::to_string(i) + ".bmp")).string());
    }
    const TCliResult result = TCliChild(args, {}, true).Wait();
    EXPECT_EQ(result.Status, 0) << result.Err;
    const std::string done = std::to_string(GetParam().Pictures) + "/" + std::to_string(GetParam().Pictures);
    EXPECT_EQ(result.Err.find("] " + done) != std::string::npos, GetParam().Shown) << result.Err;
    EXPECT_EQ(result.Err.find('\r') != std::string::npos, GetParam().Shown) << result.Err;
    // The bar never reaches standard output.
    EXPECT_EQ(result.Out.find('\r'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Runs, ProgressLineTest,
                         ::testing::Values(TProgressCase{"threePictures", {"-j", "2"}, 3, true},
                                           TProgressCase{"onePicture", {}, 1, false},
                                           TProgressCase{"quiet", {"--quiet"}, 3, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace gw
