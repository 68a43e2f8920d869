#include "pipeline/FileNames.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace gw {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TTempDir;

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

void Touch(const fs::path& path, const std::string& content = "old") {
    test::WriteFileBytes(path, Bytes(content));
}

// The bytes of a file to place.
std::vector<std::uint8_t> Writing(const std::string& content) {
    return Bytes(content);
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct TNumberedCase {
    const char* Name;
    const char* Wanted;
    std::int32_t N;
    const char* Expected;
};

class NumberedFileNameTest : public testing::TestWithParam<TNumberedCase> {};

TEST_P(NumberedFileNameTest, InsertsTheNumberBeforeTheLastExtension) {
    EXPECT_EQ(NumberedFileName(GetParam().Wanted, GetParam().N), fs::path(GetParam().Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Names, NumberedFileNameTest,
    testing::Values(TNumberedCase{"FirstIsTheWantedName", "/icons/photo.ico", 1, "/icons/photo.ico"},
                    TNumberedCase{"Second", "/icons/photo.ico", 2, "/icons/photo (2).ico"},
                    TNumberedCase{"OnlyLastExtensionMoves", "/icons/photo.large.ico", 3,
                                  "/icons/photo.large (3).ico"},
                    TNumberedCase{"NoExtension", "/icons/photo", 2, "/icons/photo (2)"},
                    TNumberedCase{"NameIsAllExtension", "/icons/.ico", 2, "/icons/ (2).ico"},
                    TNumberedCase{"RelativeWithoutFolder", "photo.icns", 12, "photo (12).icns"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(UniqueFileNameTest, FreeNameIsKept) {
    TTempDir dir;
    EXPECT_EQ(UniqueFileName(dir / "photo.ico"), dir / "photo.ico");
}

TEST(UniqueFileNameTest, TwoTakenNamesGiveTheThird) {
    TTempDir dir;
    Touch(dir / "photo.ico");
    Touch(dir / "photo (2).ico");
    EXPECT_EQ(UniqueFileName(dir / "photo.ico"), dir / "photo (3).ico");
}

TEST(UniqueFileNameTest, GapInTheSeriesIsUsed) {
    TTempDir dir;
    Touch(dir / "photo.ico");
    Touch(dir / "photo (3).ico");
    EXPECT_EQ(UniqueFileName(dir / "photo.ico"), dir / "photo (2).ico");
}

TEST(UniqueFileNameTest, FolderOfThatNameCountsAsTaken) {
    TTempDir dir;
    fs::create_directory(dir / "photo.ico");
    EXPECT_EQ(UniqueFileName(dir / "photo.ico"), dir / "photo (2).ico");
}

TEST(UniqueFileNameTest, LinkToAnExistingFileCountsAsTaken) {
    TTempDir dir;
    Touch(dir / "target");
    fs::create_symlink(dir / "target", dir / "photo.ico");
    EXPECT_EQ(UniqueFileName(dir / "photo.ico"), dir / "photo (2).ico");
}

TEST(UniqueFileNameTest, DanglingLinkDoesNotCount) {
    TTempDir dir;
    fs::create_symlink(dir / "missing", dir / "photo.ico");
    EXPECT_EQ(UniqueFileName(dir / "photo.ico"), dir / "photo.ico");
}

TEST(SaveWithoutOverwriteTest, WritesUnderTheWantedNameAndLeavesNoTemporaryFile) {
    TTempDir dir;
    const TPlacedFile placed = SaveWithoutOverwrite(dir / "photo.ico", Writing("new"));
    ASSERT_TRUE(placed.Status) << placed.Status.Reason();
    EXPECT_EQ(placed.Path, dir / "photo.ico");
    EXPECT_EQ(ReadFileBytes(placed.Path), Bytes("new"));
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"photo.ico"});
}

TEST(SaveWithoutOverwriteTest, ExistingFilesStayAndTheNewOneGetsTheNextNumber) {
    TTempDir dir;
    Touch(dir / "photo.ico", "first");
    Touch(dir / "photo (2).ico", "second");
    const TPlacedFile placed = SaveWithoutOverwrite(dir / "photo.ico", Writing("third"));
    ASSERT_TRUE(placed.Status) << placed.Status.Reason();
    EXPECT_EQ(placed.Path, dir / "photo (3).ico");
    EXPECT_EQ(ReadFileBytes(dir / "photo.ico"), Bytes("first"));
    EXPECT_EQ(ReadFileBytes(dir / "photo (2).ico"), Bytes("second"));
    EXPECT_EQ(ReadFileBytes(dir / "photo (3).ico"), Bytes("third"));
}

// A dangling link passes the existence test (links are followed) but is a name all the same. This is
// the window between the test and the move: the move must not write through the link nor replace it.
TEST(SaveWithoutOverwriteTest, NameTakenAfterTheExistenceTestMovesOnToTheNextNumber) {
    TTempDir dir;
    fs::create_symlink(dir / "victim", dir / "photo.ico");
    const TPlacedFile placed = SaveWithoutOverwrite(dir / "photo.ico", Writing("new"));
    ASSERT_TRUE(placed.Status) << placed.Status.Reason();
    EXPECT_EQ(placed.Path, dir / "photo (2).ico");
    EXPECT_TRUE(fs::is_symlink(dir / "photo.ico"));
    EXPECT_FALSE(fs::exists(dir / "victim"));
}

TEST(SaveWithoutOverwriteTest, MissingFolderFailsAndNamesIt) {
    TTempDir dir;
    const TPlacedFile placed = SaveWithoutOverwrite(dir / "gone" / "photo.ico", Writing("x"));
    EXPECT_EQ(placed.Status.Kind(), TFailure::Io);
    EXPECT_NE(placed.Status.Reason().find("gone"), std::string::npos) << placed.Status.Reason();
    EXPECT_TRUE(placed.Path.empty());
}

// Several writers racing for the same name, as two program instances converting one picture would:
// every file lands under its own name with its own content.
TEST(SaveWithoutOverwriteTest, ConcurrentSavesNeverOverwriteEachOther) {
    TTempDir dir;
    constexpr int kThreads = 6;
    constexpr int kSavesEach = 5;
    std::vector<std::vector<TPlacedFile>> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kSavesEach; ++i)
                results[t].push_back(SaveWithoutOverwrite(
                    dir / "photo.ico", Writing(std::to_string(t) + "/" + std::to_string(i))));
        });
    for (auto& thread : threads)
        thread.join();

    std::set<fs::path> names;
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kSavesEach; ++i) {
            const TPlacedFile& placed = results[t][i];
            ASSERT_TRUE(placed.Status) << placed.Status.Reason();
            EXPECT_EQ(ReadFileBytes(placed.Path), Bytes(std::to_string(t) + "/" + std::to_string(i)));
            names.insert(placed.Path);
        }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(kThreads * kSavesEach));
    EXPECT_EQ(FolderEntries(dir.Path()).size(), static_cast<std::size_t>(kThreads * kSavesEach));
}

} // namespace
} // namespace gw
