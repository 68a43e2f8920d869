#include "formats/IconCoders.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gw {
namespace {

struct TNameCase {
    const char* name;
    const char* fileName;
    TIconFileKind kind;
};

class IconKindForNameTest : public ::testing::TestWithParam<TNameCase> {};

TEST_P(IconKindForNameTest, PicksTheWriterByExtension) {
    EXPECT_EQ(IconKindForName(GetParam().fileName), GetParam().kind);
}

constexpr auto kMac = TIconFileKind::Macintosh;
constexpr auto kWin = TIconFileKind::Windows;

INSTANTIATE_TEST_SUITE_P(Extensions, IconKindForNameTest,
                         ::testing::Values(TNameCase{"upperCaseIcns", "C:\\out\\a.ICNS", kMac},
                                           TNameCase{"mixedCaseIcns", "/tmp/x/a.IcNs", kMac},
                                           TNameCase{"icnsThenBak", "a.icns.bak", kWin},
                                           TNameCase{"ico", "/tmp/a.ico", kWin},
                                           TNameCase{"noExtension", "/tmp/icns", kWin},
                                           TNameCase{"trailingDot", "/tmp/a.icns.", kWin},
                                           TNameCase{"folderWithDot", "/tmp/d.icns/a", kWin},
                                           TNameCase{"dotFileNamedIcns", "/tmp/.icns", kMac},
                                           TNameCase{"png", "a.png", kWin}),
                         [](const auto& info) { return std::string(info.param.name); });

struct TContentCase {
    const char* name;
    std::vector<std::uint8_t> content;
    TIconFileKind kind;
};

class IconKindForContentTest : public ::testing::TestWithParam<TContentCase> {};

TEST_P(IconKindForContentTest, PicksTheReaderByContent) {
    EXPECT_EQ(IconKindForContent(GetParam().content), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Content, IconKindForContentTest,
    ::testing::Values(TContentCase{"icns", {'i', 'c', 'n', 's', 0, 0, 0, 8}, kMac},
                      TContentCase{"ico", {0, 0, 1, 0, 1, 0}, kWin},
                      TContentCase{"upperCaseSignatureIsNotIcns", {'I', 'C', 'N', 'S', 0, 0, 0, 8}, kWin},
                      TContentCase{"shorterThanSignature", {'i', 'c', 'n'}, kWin},
                      TContentCase{"emptyFile", {}, kWin}),
    [](const auto& info) { return std::string(info.param.name); });

// The reader is chosen by content, whatever the name says, and its reason reaches the report.
TEST(LoadIconTest, IcnsContentUnderAnIcoNameIsReadAsIcns) {
    test::TTempDir dir;
    test::WriteFileBytes(dir / "x.ico", {'i', 'c', 'n', 's', 0, 0, 0, 8});
    TOrbIcon doc;
    TIconLoadReport report;
    LoadIcon(dir / "x.ico", doc, report);
    EXPECT_EQ(doc.PreferedExtension(), TFileTypes::ftMacIcon);
}

TEST(LoadIconTest, MissingFileAndFolderAreUnreadable) {
    test::TTempDir dir;
    TOrbIcon doc;
    TIconLoadReport report;
    EXPECT_EQ(LoadIcon(dir / "missing.icns", doc, report).Kind(), TFailure::Io);
    EXPECT_EQ(report.Status.Reason(), "No such file or directory");
    EXPECT_EQ(LoadIcon(dir.Path(), doc, report).Kind(), TFailure::Io);
    EXPECT_EQ(report.Status.Reason(), "not a regular file");
    EXPECT_EQ(doc.ImageCount(), 0);
}

// Saving an empty document fails with the writer's reason and leaves no file.
TEST(SaveIconTest, DocumentWithoutStorableImageFailsAndWritesNothing) {
    test::TTempDir dir;
    TOrbIcon doc;
    EXPECT_FALSE(SaveIcon(doc, dir / "b.icns"));
    TOrbIcon big;
    big.AddNewImage(512, 512, 32);
    EXPECT_EQ(SaveIcon(big, dir / "b.ico").Kind(), TFailure::Unsupported);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

} // namespace
} // namespace gw
