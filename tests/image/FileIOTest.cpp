#include "image/FileIO.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace gw {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(WriteFileReplacingTest, KeepsThePermissionsOfTheReplacedFileAndLeavesNoTemporaryFile) {
    test::TTempDir dir;
    test::WriteFileBytes(dir / "a.ico", Bytes("old"));
    fs::permissions(dir / "a.ico", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(WriteFileReplacing(dir / "a.ico", Bytes("new")));
    EXPECT_EQ(test::ReadFileBytes(dir / "a.ico"), Bytes("new"));
    EXPECT_EQ(fs::status(dir / "a.ico").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"a.ico"});
}

TEST(WriteFileReplacingTest, FollowsASymbolicLinkOnlyWhenAsked) {
    test::TTempDir dir;
    fs::create_directories(dir / "real");
    test::WriteFileBytes(dir / "real" / "config.ini", Bytes("old"));
    fs::create_symlink(dir / "real" / "config.ini", dir / "link.ini");
    ASSERT_TRUE(WriteFileReplacing(dir / "link.ini", Bytes("followed"), {.FollowSymlink = true}));
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(test::ReadFileBytes(dir / "real" / "config.ini"), Bytes("followed"));
    ASSERT_TRUE(WriteFileReplacing(dir / "link.ini", Bytes("replaced")));
    EXPECT_FALSE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(test::ReadFileBytes(dir / "real" / "config.ini"), Bytes("followed"));
}

TEST(WriteNewFileTest, TakesTheFirstFreeNameAndLeavesNothingElse) {
    test::TTempDir dir;
    test::WriteFileBytes(dir / "a.png", Bytes("first"));
    fs::path placed;
    const auto nameOf = [](std::int32_t n) {
        return n > 3 ? std::string() : "a" + std::to_string(n) + ".png";
    };
    test::WriteFileBytes(dir / "a1.png", Bytes("taken"));
    ASSERT_TRUE(WriteNewFile(dir.Path(), ".png", nameOf, Bytes("new"), placed));
    EXPECT_EQ(placed, dir / "a2.png");
    EXPECT_EQ(test::ReadFileBytes(dir / "a1.png"), Bytes("taken"));
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"a.png", "a1.png", "a2.png"}));
    ASSERT_TRUE(WriteNewFile(dir.Path(), ".png", nameOf, Bytes("x"), placed));
    EXPECT_EQ(WriteNewFile(dir.Path(), ".png", nameOf, Bytes("y"), placed).Reason(),
              "every name from a1.png to a3.png is taken");
    EXPECT_EQ(Entries(dir.Path()).size(), 4u);
}

struct TPrefixCase {
    const char* name;
    std::size_t length;
    bool complete;
};

class ReadFilePrefixTest : public ::testing::TestWithParam<TPrefixCase> {};

TEST_P(ReadFilePrefixTest, TellsWhetherTheWholeFileWasRead) {
    test::TTempDir dir;
    test::WriteFileBytes(dir / "f", std::vector<std::uint8_t>(GetParam().length, 'x'));
    TFilePrefix prefix;
    ASSERT_TRUE(ReadFilePrefix(dir / "f", 10, prefix));
    EXPECT_EQ(prefix.Complete, GetParam().complete);
    EXPECT_EQ(prefix.Bytes.size(), std::min<std::size_t>(GetParam().length, 10));
    EXPECT_FALSE(prefix.Missing);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ReadFilePrefixTest,
                         ::testing::Values(TPrefixCase{"empty", 0, true}, TPrefixCase{"atTheCap", 10, true},
                                           TPrefixCase{"oneBeyond", 11, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadFileTest, MissingFileIsNoFailureForThePrefixButOneForTheWholeRead) {
    test::TTempDir dir;
    TFilePrefix prefix;
    ASSERT_TRUE(ReadFilePrefix(dir / "missing", 10, prefix));
    EXPECT_TRUE(prefix.Missing);
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(ReadWholeFile(dir / "missing", 10, bytes).Kind(), TFailure::Io);
    test::WriteFileBytes(dir / "long", std::vector<std::uint8_t>(11, 'x'));
    EXPECT_EQ(ReadWholeFile(dir / "long", 10, bytes).Kind(), TFailure::TooLarge);
}

} // namespace
} // namespace gw

namespace gw {
namespace {

// Pieces across the reader's buffer, the end of the file, and the size limit of the open.
TEST(FileReaderTest, HandsOutTheFileInPiecesAndStopsAtItsEnd) {
    test::TTempDir dir;
    std::vector<std::uint8_t> content(600 * 1024);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>(i * 7 + i / 1000);
    test::WriteFileBytes(dir / "f.bin", content);

    TFileReader reader;
    ASSERT_TRUE(reader.Open(dir / "f.bin", content.size()));
    std::vector<std::uint8_t> read;
    for (const std::size_t piece :
         {std::size_t{3}, std::size_t{300 * 1024}, std::size_t{1}, std::size_t{250 * 1024}}) {
        std::vector<std::uint8_t> part(piece);
        ASSERT_TRUE(reader.Read(part));
        read.insert(read.end(), part.begin(), part.end());
    }
    std::vector<std::uint8_t> rest(content.size() - read.size() + 1); // one byte more than is left
    EXPECT_FALSE(reader.Read(rest));
    EXPECT_TRUE(reader.Status()); // the end of the file is no read error
    EXPECT_TRUE(std::equal(read.begin(), read.end(), content.begin()));

    TFileReader limited;
    EXPECT_EQ(limited.Open(dir / "f.bin", content.size() - 1).Kind(), TFailure::TooLarge);
    EXPECT_EQ(limited.Open(dir / "missing.bin", 100).Kind(), TFailure::Io);
}

} // namespace
} // namespace gw
