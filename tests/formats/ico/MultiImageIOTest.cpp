#include "formats/MultiImageIO.h"
#include "formats/IconCoders.h"
#include "formats/ico/IcoIO.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace gw {
namespace {

namespace fs = std::filesystem;

// A coder that writes some bytes and then fails in the way it is told.
class TFailingIO : public TMultiImageIO {
public:
    enum class TMode { Fail, Throw, Succeed };
    explicit TFailingIO(TMode mode) : TMultiImageIO(false), FMode(mode) {}
    TStatus SaveToStream(TOrbMultiImage&, TByteWriter& stream) override {
        stream.Zeros(100);
        if (FMode == TMode::Throw)
            throw std::runtime_error("encoder broke");
        return FMode == TMode::Fail ? TStatus::Fail(TFailure::Corrupt, "refused") : TStatus::Ok();
    }
    TStatus LoadFromStream(std::span<const std::uint8_t>, TOrbMultiImage&) override {
        throw std::runtime_error("reader broke");
    }

private:
    TMode FMode;
};

std::vector<fs::path> FolderContents(const fs::path& folder) {
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename());
    return names;
}

class MultiImageIOTest : public ::testing::TestWithParam<TFailingIO::TMode> {};

// A failing save leaves no new file, keeps an old one intact and leaves no temporary file behind.
TEST_P(MultiImageIOTest, FailedSaveLeavesNothingBehind) {
    test::TTempDir dir;
    const fs::path target = dir / "a.ico";
    TOrbIcon doc;
    doc.InsertNewImage(16, 16, 32);

    TFailingIO fresh(GetParam());
    EXPECT_FALSE(fresh.SaveToFile(doc, target));
    EXPECT_TRUE(FolderContents(dir.Path()).empty());

    test::WriteFileBytes(target, {1, 2, 3});
    TFailingIO existing(GetParam());
    EXPECT_FALSE(existing.SaveToFile(doc, target));
    EXPECT_EQ(test::ReadFileBytes(target), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(FolderContents(dir.Path()).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Failures, MultiImageIOTest,
                         ::testing::Values(TFailingIO::TMode::Fail, TFailingIO::TMode::Throw));

TEST(MultiImageIOTest, SuccessfulSaveReplacesTheFileWhole) {
    test::TTempDir dir;
    const fs::path target = dir / "a.ico";
    test::WriteFileBytes(target, {1, 2, 3});
    TOrbIcon doc;
    TFailingIO coder(TFailingIO::TMode::Succeed);
    ASSERT_TRUE(coder.SaveToFile(doc, target));
    EXPECT_EQ(test::ReadFileBytes(target), std::vector<std::uint8_t>(100, 0));
    EXPECT_EQ(FolderContents(dir.Path()).size(), 1u);
}

TEST(MultiImageIOTest, NothingStorableChangesNothingOnDisk) {
    test::TTempDir dir;
    const fs::path target = dir / "big.ico";
    test::WriteFileBytes(target, {7});
    TOrbIcon doc;
    doc.InsertNewImage(300, 300, 32);
    TIcoIO coder(false);
    EXPECT_FALSE(coder.CanSave(doc));
    EXPECT_FALSE(coder.SaveToFile(doc, target));
    EXPECT_EQ(test::ReadFileBytes(target), std::vector<std::uint8_t>{7});
}

TEST(MultiImageIOTest, MissingFolderAndMissingFileAreFailuresNotExceptions) {
    test::TTempDir dir;
    TOrbIcon doc;
    doc.InsertNewImage(16, 16, 32);
    TIcoIO coder(false);
    EXPECT_FALSE(coder.SaveToFile(doc, dir / "no/such/folder.ico"));
    EXPECT_EQ(coder.LastStatus().Kind(), TFailure::Io);
    EXPECT_FALSE(coder.LoadFromFile(dir / "absent.ico", doc));
    EXPECT_EQ(coder.LastStatus().Kind(), TFailure::Io);
}

TEST(MultiImageIOTest, ReaderExceptionBecomesFalse) {
    test::TTempDir dir;
    test::WriteFileBytes(dir / "x.ico", {0, 0, 1, 0});
    TOrbIcon doc;
    TFailingIO coder(TFailingIO::TMode::Succeed);
    EXPECT_FALSE(coder.LoadFromFile(dir / "x.ico", doc));
}

// The document reaches the ICO coder through the icon file functions, with the PNG switch given.
TEST(MultiImageIOTest, IconFileFunctionsSaveAndLoadThroughTheIcoCoder) {
    test::TTempDir dir;
    for (const bool png : {false, true}) {
        TOrbIcon doc;
        doc.InsertNewImage(256, 256, 32);
        doc.InsertNewImage(16, 16, 8);
        const fs::path file = dir / (png ? "png.ico" : "dib.ico");
        ASSERT_TRUE(SaveIcon(doc, file, {.CompressVista = png}));
        const std::vector<std::uint8_t> bytes = test::ReadFileBytes(file);
        const std::size_t offset = bytes[6 + 16 + 12] | bytes[6 + 16 + 13] << 8 | bytes[6 + 16 + 14] << 16;
        EXPECT_EQ(bytes[offset + 1], png ? 'P' : 0) << png;
        TOrbIcon back;
        ASSERT_TRUE(LoadIcon(file, back));
        EXPECT_EQ(back.ImageCount(), 2);
    }
}

} // namespace
} // namespace gw
