#include "pipeline/TypeCheck.h"

#include "support/PictureMakers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace gw {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes MakeBytes(std::initializer_list<int> head, std::size_t size = 0) {
    Bytes bytes;
    for (int b : head)
        bytes.push_back(static_cast<std::uint8_t>(b));
    if (bytes.size() < size)
        bytes.resize(size, 0x20);
    return bytes;
}

Bytes WithText(Bytes bytes, std::size_t offset, const std::string& text) {
    if (bytes.size() < offset + text.size())
        bytes.resize(offset + text.size(), 0x20);
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return bytes;
}

void PutU32LE(Bytes& bytes, std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A file of `size` bytes whose DOS header points at `signature` placed at `position`.
Bytes MakeExecutable(std::size_t size, std::uint32_t position, const std::string& signature) {
    Bytes bytes = WithText(MakeBytes({}, size), 0, "MZ");
    PutU32LE(bytes, 0x3C, position);
    if (position + signature.size() <= bytes.size())
        bytes = WithText(bytes, position, signature);
    return bytes;
}

// First 16 bytes that satisfy the raw resource fork sums for a file of `size` bytes, starting with
// the ICO signature 00 00 01 00: D = 0x100, L = 0x100, M = 0x200, N = size - 0x200.
Bytes MakeRawResource(std::uint32_t size) {
    Bytes bytes = MakeBytes({0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0}, size);
    const std::uint32_t mapLength = size - 0x200;
    for (int i = 0; i < 4; ++i)
        bytes[12 + i] = static_cast<std::uint8_t>(mapLength >> (8 * (3 - i)));
    return bytes;
}

// An ISO media file type box with the major and compatible brands, then a little more.
Bytes FileTypeBox(const std::string& major, const std::vector<std::string>& compatible) {
    Bytes bytes = MakeBytes({0, 0, 0, static_cast<int>(16 + 4 * compatible.size())});
    bytes = WithText(WithText(bytes, 4, "ftyp"), 8, major);
    bytes.resize(16, 0);
    for (const std::string& brand : compatible)
        bytes = WithText(bytes, bytes.size(), brand);
    return WithText(bytes, bytes.size(), "\0\0\0\x08meta");
}

struct TTypeCase {
    const char* Name;
    Bytes Data;
    TFileTypes Expected;
};

std::ostream& operator<<(std::ostream& os, const TTypeCase& c) {
    return os << c.Name;
}

class CheckFileTypeTable : public ::testing::TestWithParam<TTypeCase> {};

TEST_P(CheckFileTypeTable, DetectsFromBytes) {
    EXPECT_EQ(CheckFileType(GetParam().Data), GetParam().Expected);
}

// The same bytes in a file give the same answer, whatever the file is called.
TEST_P(CheckFileTypeTable, DetectsFromFileWithMisleadingName) {
    test::TTempDir dir;
    const auto path = dir / "picture.jpg";
    test::WriteFileBytes(path, GetParam().Data);
    EXPECT_EQ(CheckFileType(path), GetParam().Expected);
}

const TTypeCase kTypeCases[] = {
    {"Empty", {}, TFileTypes::ftOther},
    {"Ico", MakeBytes({0, 0, 1, 0, 1, 0}, 40), TFileTypes::ftIco},
    {"TiffLittleEndian", MakeBytes({'I', 'I', 0x2A, 0, 8, 0, 0, 0}, 40), TFileTypes::ftTiff},
    {"TiffOldSignature", MakeBytes({'I', ' ', 'I'}), TFileTypes::ftTiff},
    {"TiffBigEndian", MakeBytes({'M', 'M', 0, 0x2A, 0, 0, 0, 8}, 40), TFileTypes::ftTiff},
    {"TiffBigEndianWrongMagic", MakeBytes({'M', 'M', 0x2A, 0, 0, 0, 0, 8}, 40), TFileTypes::ftOther},
    {"Cursor", MakeBytes({0, 0, 2, 0, 1, 0}, 40), TFileTypes::ftCur},
    {"AnimatedCursor", WithText(WithText({}, 0, "RIFF\x10\0\0\0"), 8, "ACON"), TFileTypes::ftAni},
    {"RiffWithoutAcon", WithText(WithText({}, 0, "RIFF\x10\0\0\0"), 8, "WAVE"), TFileTypes::ftOther},
    {"Bmp", WithText(MakeBytes({}, 60), 0, "BM"), TFileTypes::ftBmp},
    {"Jpeg", MakeBytes({0xFF, 0xD8, 0xFF, 0xE0}, 40), TFileTypes::ftJpg},
    {"JpegTooShort", MakeBytes({0xFF, 0xD8}), TFileTypes::ftOther},
    {"Png", MakeBytes({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, 40), TFileTypes::ftPng},
    {"OrbDocument", WithText({}, 0, "OBIM"), TFileTypes::ftOrbDoc},
    {"Gif87a", WithText({}, 0, "GIF87a"), TFileTypes::ftGif},
    {"Gif89a", WithText(MakeBytes({}, 30), 0, "GIF89a"), TFileTypes::ftGif},
    {"Jp2", MakeBytes({0, 0, 0, 0x0C, 'j', 'P', 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A}, 40),
     TFileTypes::ftJpg2000},
    {"Jp2CutShort", MakeBytes({0, 0, 0, 0x0C, 'j', 'P', 0x20}), TFileTypes::ftOther},
    {"J2kCodestream", MakeBytes({0xFF, 0x4F, 0xFF, 0x51, 0x00, 0x2F}, 40), TFileTypes::ftJpg2000CS},
    {"J2kWrongLengthByte", MakeBytes({0xFF, 0x4F, 0xFF, 0x51, 0x01}, 40), TFileTypes::ftOther},
    {"Icns", WithText(MakeBytes({}, 40), 0, "icns"), TFileTypes::ftMacIcon},
    {"AppleSingle", MakeBytes({0, 5, 0x16, 0, 0, 2}, 40), TFileTypes::ftAppleSingle},
    {"AppleDouble", MakeBytes({0, 5, 0x16, 7, 0, 2}, 40), TFileTypes::ftAppleDouble},
    {"MacBinaryTagAt102", WithText(MakeBytes({}, 129), 102, "mBIN"), TFileTypes::ftMacBinary},
    {"MacBinaryTagAt65", WithText(MakeBytes({}, 200), 65, "mBIN"), TFileTypes::ftMacBinary},
    {"MacBinaryTagIgnoredIn128ByteFile", WithText(MakeBytes({}, 128), 102, "mBIN"), TFileTypes::ftOther},
    {"SignatureBeatsMacBinaryTag", WithText(WithText(MakeBytes({}, 200), 102, "mBIN"), 0, "GIF8"),
     TFileTypes::ftGif},
    {"Win32Executable", MakeExecutable(256, 0x80, "PE\0\0"), TFileTypes::ftWin32Binary},
    {"Win16Executable", MakeExecutable(256, 0x80, "NE"), TFileTypes::ftWin16Binary},
    {"DosExecutable", MakeExecutable(256, 0x80, "LE"), TFileTypes::ftOther},
    {"ExecutableProbeSkippedAt128Bytes", MakeExecutable(128, 0x40, "PE"), TFileTypes::ftOther},
    {"ExecutableProbeAtLastTwoBytes", MakeExecutable(256, 254, "PE"), TFileTypes::ftWin32Binary},
    {"ExecutableProbeOneBytePastEnd", MakeExecutable(256, 255, "P"), TFileTypes::ftOther},
    {"ExecutableProbeFarPastEnd", MakeExecutable(256, 0xFFFFFFF0, ""), TFileTypes::ftOther},
    {"RawResourceBeatsIco", MakeRawResource(0x300), TFileTypes::ftRawRes},
    {"RawResourceNeedsExactSize",
     [] {
         Bytes b = MakeRawResource(0x300);
         b.push_back(0);
         return b;
     }(),
     TFileTypes::ftIco},
    {"AllZeroHeaderIsNotRawResource", Bytes(64, 0), TFileTypes::ftOther},
    {"Webp", WithText(WithText(MakeBytes({}, 40), 0, "RIFF"), 8, "WEBPVP8 "), TFileTypes::ftWebp},
    {"RiffOfAnotherKind", WithText(WithText(MakeBytes({}, 40), 0, "RIFF"), 8, "WAVEfmt "),
     TFileTypes::ftOther},
    {"HeicMajorBrand", FileTypeBox("heic", {"mif1", "heic"}), TFileTypes::ftHeif},
    {"AvifMajorBrand", FileTypeBox("avif", {"mif1", "miaf"}), TFileTypes::ftAvif},
    {"AvifAmongCompatibleBrands", FileTypeBox("mif1", {"miaf", "avif"}), TFileTypes::ftAvif},
    {"GenericHeifBrand", FileTypeBox("mif1", {"miaf"}), TFileTypes::ftHeif},
    {"Mp4IsNotAPicture", FileTypeBox("isom", {"iso2", "mp41"}), TFileTypes::ftOther},
    {"BrandBeyondTheBoxIsIgnored", WithText(FileTypeBox("isom", {"mp41"}), 24, "avif"), TFileTypes::ftOther},
    {"SvgPlain", test::TextBytes("<svg xmlns=\"http://www.w3.org/2000/svg\"/>"), TFileTypes::ftSvg},
    {"SvgAfterPrologue",
     test::TextBytes(
         "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- made by hand -->\n<!DOCTYPE svg PUBLIC \"-//W3C//DTD "
         "SVG 1.1//EN\" \"x.dtd\" [ <!ENTITY a \"<svg>\"> ]>\n  <svg width=\"1\"></svg>"),
     TFileTypes::ftSvg},
    {"SvgWithPrefix", test::TextBytes("<svg:svg xmlns:svg=\"http://www.w3.org/2000/svg\"/>"),
     TFileTypes::ftSvg},
    {"SvgRootNameMustBeWhole", test::TextBytes("<svgx/>"), TFileTypes::ftOther},
    {"HtmlIsNotSvg", test::TextBytes("<!DOCTYPE html><html><svg/></html>"), TFileTypes::ftOther},
    {"SvgInsideUnclosedComment", test::TextBytes("<!-- <svg/>"), TFileTypes::ftOther},
    {"SvgzOfSvg", test::Gzip(test::TextBytes("<?xml version=\"1.0\"?><svg/>")), TFileTypes::ftSvg},
    {"GzipOfOtherText", test::Gzip(test::TextBytes("<html/>")), TFileTypes::ftOther},
};

INSTANTIATE_TEST_SUITE_P(Signatures, CheckFileTypeTable, ::testing::ValuesIn(kTypeCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(CheckFileType, RawResourceSumsWrapAt32Bits) {
    // D = 0xFFFFFF00, L = 0x200: D + L wraps to 0x100 = M; M + N = 0x100 + 0x20 = the file size.
    // N = 0xFFFFFF20.
    Bytes bytes = MakeBytes({0xFF, 0xFF, 0xFF, 0x00, 0, 0, 1, 0, 0, 0, 2, 0, 0xFF, 0xFF, 0xFF, 0x20});
    bytes.resize(0x20, 0);
    EXPECT_EQ(CheckFileType(bytes), TFileTypes::ftRawRes);
}

TEST(CheckFileType, OrdinalsFollowTheDeclaredOrder) {
    EXPECT_EQ(static_cast<int>(TFileTypes::ftIco), 0);
    EXPECT_EQ(static_cast<int>(TFileTypes::ftOther), 7);
    EXPECT_EQ(static_cast<int>(TFileTypes::ftRawRes), 12);
    EXPECT_EQ(static_cast<int>(TFileTypes::ftDirectory), 17);
    EXPECT_EQ(static_cast<int>(TFileTypes::ftTiff), 19);
    EXPECT_EQ(static_cast<int>(TFileTypes::ftSvg), 20);
    EXPECT_EQ(static_cast<int>(TFileTypes::ftAvif), 23);
    EXPECT_EQ(static_cast<int>(TFileCategory::fcOther), 6);
}

TEST(CheckFileType, MissingFileThrows) {
    test::TTempDir dir;
    EXPECT_THROW(CheckFileType(dir / "absent.png"), std::filesystem::filesystem_error);
    EXPECT_THROW(GetFileCategory(dir / "absent.png"), std::filesystem::filesystem_error);
}

TEST(CheckFileType, FolderThrows) {
    test::TTempDir dir;
    EXPECT_THROW(CheckFileType(dir.Path()), std::filesystem::filesystem_error);
}

// A named pipe would block an ordinary open until a writer comes; it is refused at once instead.
TEST(CheckFileType, NamedPipeThrowsWithoutBlocking) {
    test::TTempDir dir;
    const auto path = dir / "pipe.png";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_THROW(CheckFileType(path), std::filesystem::filesystem_error);
}

TEST(CheckFileType, UnreadableFileThrows) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    test::TTempDir dir;
    const auto path = dir / "locked.png";
    test::WriteFileBytes(path, {0x89, 'P', 'N', 'G'});
    std::filesystem::permissions(path, std::filesystem::perms::none);
    EXPECT_THROW(CheckFileType(path), std::filesystem::filesystem_error);
}

TEST(GetFileCategory, PictureFileIsPicture) {
    test::TTempDir dir;
    const auto path = dir / "photo";
    test::WriteFileBytes(path, MakeBytes({0xFF, 0xD8, 0xFF, 0xE1}, 64));
    EXPECT_EQ(GetFileCategory(path), TFileCategory::fcPicture);
}

struct TCategoryCase {
    TFileTypes Type;
    TFileCategory Expected;
};

class GetTypeCategoryTable : public ::testing::TestWithParam<TCategoryCase> {};

TEST_P(GetTypeCategoryTable, MapsEveryType) {
    EXPECT_EQ(GetTypeCategory(GetParam().Type), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, GetTypeCategoryTable,
    ::testing::Values(TCategoryCase{TFileTypes::ftIco, TFileCategory::fcIcon},
                      TCategoryCase{TFileTypes::ftCur, TFileCategory::fcOther},
                      TCategoryCase{TFileTypes::ftAni, TFileCategory::fcOther},
                      TCategoryCase{TFileTypes::ftBmp, TFileCategory::fcPicture},
                      TCategoryCase{TFileTypes::ftJpg, TFileCategory::fcPicture},
                      TCategoryCase{TFileTypes::ftPng, TFileCategory::fcPicture},
                      TCategoryCase{TFileTypes::ftGif, TFileCategory::fcPicture},
                      TCategoryCase{TFileTypes::ftOther, TFileCategory::fcOther},
                      TCategoryCase{TFileTypes::ftMacBinary, TFileCategory::fcMacResource},
                      TCategoryCase{TFileTypes::ftMacIcon, TFileCategory::fcMacIcon},
                      TCategoryCase{TFileTypes::ftAppleSingle, TFileCategory::fcMacResource},
                      TCategoryCase{TFileTypes::ftAppleDouble, TFileCategory::fcMacResource},
                      TCategoryCase{TFileTypes::ftRawRes, TFileCategory::fcMacResource},
                      TCategoryCase{TFileTypes::ftJpg2000, TFileCategory::fcPicture},
                      TCategoryCase{TFileTypes::ftJpg2000CS, TFileCategory::fcPicture},
                      TCategoryCase{TFileTypes::ftWin16Binary, TFileCategory::fcWin16Binary},
                      TCategoryCase{TFileTypes::ftWin32Binary, TFileCategory::fcWin32Binary},
                      TCategoryCase{TFileTypes::ftDirectory, TFileCategory::fcOther},
                      TCategoryCase{TFileTypes::ftOrbDoc, TFileCategory::fcOther},
                      TCategoryCase{TFileTypes::ftTiff, TFileCategory::fcPicture},
                      TCategoryCase{TFileTypes::ftSvg, TFileCategory::fcPicture},
                      TCategoryCase{TFileTypes::ftWebp, TFileCategory::fcPicture},
                      TCategoryCase{TFileTypes::ftHeif, TFileCategory::fcPicture},
                      TCategoryCase{TFileTypes::ftAvif, TFileCategory::fcPicture}));

// Every file of the shared corpora that the importers take is detected as a picture type, twice alike.
TEST(CheckFileType, CorpusPicturesAreDetected) {
    GW_REQUIRE_TESTDATA(data);
    int checked = 0;
    for (const char* folder : {"pngsuite", "gif", "jpeg2000"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(data / folder)) {
            const auto extension = entry.path().extension().string();
            if (!entry.is_regular_file() || entry.path().string().find("/bad/") != std::string::npos ||
                entry.path().filename().string().starts_with("x") ||
                (extension != ".png" && extension != ".gif" && extension != ".jp2" && extension != ".j2k"))
                continue;
            const TFileTypes type = CheckFileType(entry.path());
            EXPECT_EQ(GetTypeCategory(type), TFileCategory::fcPicture) << entry.path();
            EXPECT_EQ(CheckFileType(test::ReadFileBytes(entry.path())), type) << entry.path();
            ++checked;
        }
    }
    EXPECT_GT(checked, 150);
}

} // namespace
} // namespace gw
