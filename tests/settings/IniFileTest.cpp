#include "settings/IniFile.h"

#include "settings/SettingsTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gw {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::WriteText;

// --- Whole numbers --------------------------------------------------------------------------------

struct TIntegerCase {
    const char* name;
    const char* text;
    std::optional<std::int32_t> expected;
};

class IniInteger : public ::testing::TestWithParam<TIntegerCase> {};

TEST_P(IniInteger, ConvertsOrRefuses) {
    EXPECT_EQ(ParseIniInteger(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniInteger,
    ::testing::Values(
        TIntegerCase{"Zero", "0", 0}, TIntegerCase{"Seven", "7", 7}, TIntegerCase{"Negative", "-1", -1},
        TIntegerCase{"LeadingPlus", "+5", 5}, TIntegerCase{"Hexadecimal", "0x1", 1},
        TIntegerCase{"UpperCaseHexPrefix", "0X1f", 31},
        TIntegerCase{"HexWrapsLikeA32BitRegister", "0xFFFFFFFF", -1},
        TIntegerCase{"LargestInt32", "2147483647", 2147483647},
        TIntegerCase{"SmallestInt32", "-2147483648", INT32_MIN}, TIntegerCase{"Empty", "", std::nullopt},
        TIntegerCase{"Word", "abc", std::nullopt}, TIntegerCase{"Fraction", "1.5", std::nullopt},
        TIntegerCase{"HexPrefixWithoutDigits", "0x", std::nullopt},
        TIntegerCase{"BadHexDigit", "0x1G", std::nullopt},
        TIntegerCase{"HexBeyond32Bits", "0x100000000", std::nullopt},
        TIntegerCase{"NegativeHex", "0x-1", std::nullopt},
        TIntegerCase{"DecimalBeyondInt32", "2147483648", std::nullopt},
        TIntegerCase{"PlusMinus", "+-1", std::nullopt}, TIntegerCase{"DoublePlus", "++1", std::nullopt},
        TIntegerCase{"LoneSign", "-", std::nullopt}, TIntegerCase{"InnerSpace", "1 2", std::nullopt},
        TIntegerCase{"TrailingGarbage", "1x", std::nullopt},
        TIntegerCase{"NonAsciiDigit", "\xD9\xA3", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Floats and the decimal separator -------------------------------------------------------------

struct TFloatCase {
    const char* name;
    const char* text;
    const char* separator;
    std::optional<long double> expected;
};

class IniFloat : public ::testing::TestWithParam<TFloatCase> {};

TEST_P(IniFloat, ConvertsInTheLocaleFormatOrRefuses) {
    EXPECT_EQ(ParseIniFloat(GetParam().text, GetParam().separator), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniFloat,
                         ::testing::Values(TFloatCase{"Point", "0.3", ".", 0.3L},
                                           TFloatCase{"Comma", "0,3", ",", 0.3L},
                                           TFloatCase{"PointInACommaLocale", "0.3", ",", std::nullopt},
                                           TFloatCase{"CommaInAPointLocale", "0,3", ".", std::nullopt},
                                           TFloatCase{"Whole", "2", ".", 2.0L},
                                           TFloatCase{"Negative", "-1", ".", -1.0L},
                                           TFloatCase{"LeadingPlus", "+0.5", ".", 0.5L},
                                           TFloatCase{"Exponent", "1e-3", ".", 1e-3L},
                                           TFloatCase{"MultiByteSeparator",
                                                      "0\xD9\xAB"
                                                      "5",
                                                      "\xD9\xAB", 0.5L},
                                           TFloatCase{"Empty", "", ".", std::nullopt},
                                           TFloatCase{"Word", "abc", ".", std::nullopt},
                                           TFloatCase{"TwoSeparators", "0.3.4", ".", std::nullopt},
                                           TFloatCase{"DoublePlus", "++1", ".", std::nullopt},
                                           TFloatCase{"HexFloat", "0x1p3", ".", std::nullopt},
                                           TFloatCase{"TrailingGarbage", "0.3s", ".", std::nullopt},
                                           TFloatCase{"Overflow", "1e99999", ".", std::nullopt}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IniFloat, NotANumberConvertsSoTheGetterCanRepairIt) {
    const auto value = ParseIniFloat("nan", ".");
    ASSERT_TRUE(value.has_value());
    EXPECT_TRUE(std::isnan(*value));
}

struct TFormatCase {
    double value;
    const char* separator;
    const char* expected;
};

class IniFloatFormat : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(IniFloatFormat, WritesTheShortestGeneralForm) {
    EXPECT_EQ(FormatIniFloat(GetParam().value, GetParam().separator), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniFloatFormat,
                         ::testing::Values(TFormatCase{0.3, ".", "0.3"}, TFormatCase{0.3, ",", "0,3"},
                                           TFormatCase{1.0, ".", "1"}, TFormatCase{0.0, ",", "0"},
                                           TFormatCase{0.125, ",", "0,125"},
                                           TFormatCase{0.0001, ".", "0.0001"},
                                           TFormatCase{1e-5, ",", "1e-05"}));

TEST(IniFloatFormat, ReadsBackAsTheSameDouble) {
    for (const char* separator : {".", ","}) {
        for (double value : {0.3, 0.1 + 0.2, 1.0 / 3.0, 0.999999999999, 5e-324, 0.5}) {
            const auto back = ParseIniFloat(FormatIniFloat(value, separator), separator);
            ASSERT_TRUE(back.has_value()) << value;
            EXPECT_EQ(static_cast<double>(*back), value) << separator;
        }
    }
}

// --- Reading and writing the text ---------------------------------------------------------------

TEST(IniText, DropsCommentsBlankLinesAndLinesBeforeTheFirstSection) {
    TIniFile f;
    f.SetText("orphan=1\n; comment\n\n[General]\n; another\n  Dither = 0 \n\n[Other]\nx=y\n");
    EXPECT_EQ(f.Text(), "[General]\nDither=0\n\n[Other]\nx=y\n\n");
    EXPECT_FALSE(f.ReadValue("General", "orphan"));
}

TEST(IniText, MatchesSectionsAndKeysWithoutCase) {
    TIniFile f;
    f.SetText("[general]\nICONTYPE=1\n");
    EXPECT_EQ(f.ReadInteger("General", "IconType", 0), 1);
    f.WriteString("GENERAL", "icontype", "0");
    EXPECT_EQ(f.Text(), "[general]\nicontype=0\n\n");
}

TEST(IniText, SplitsAtTheFirstEqualsSignAndTrimsBothSides) {
    TIniFile f;
    f.SetText("[S]\n\t key \t= a=b = c \r\n");
    EXPECT_EQ(f.ReadValue("S", "key"), "a=b = c");
}

TEST(IniText, HandlesCarriageReturnsAndAByteOrderMark) {
    TIniFile f;
    f.SetText("\xEF\xBB\xBF[A]\r\nx=1\r\ry=2\r\n");
    EXPECT_EQ(f.ReadValue("A", "x"), "1");
    EXPECT_EQ(f.ReadValue("A", "y"), "2");
    EXPECT_EQ(f.Text(), "[A]\nx=1\ny=2\n\n");
}

TEST(IniText, TheFirstOfDuplicateSectionsAndKeysWins) {
    TIniFile f;
    f.SetText("[A]\nx=1\nX=2\n[a]\nx=3\n");
    EXPECT_EQ(f.ReadValue("A", "x"), "1");
    f.WriteString("A", "x", "9");
    EXPECT_EQ(f.Text(), "[A]\nx=9\nX=2\n\n[a]\nx=3\n\n");
}

TEST(IniText, KeepsALineWithoutAKeyButNeverMatchesIt) {
    TIniFile f;
    f.SetText("[General]\nDither\n=orphan value\nIconType=1\n");
    EXPECT_FALSE(f.ReadValue("General", "Dither"));
    EXPECT_FALSE(f.ReadValue("General", ""));
    f.WriteString("General", "Dither", "0");
    EXPECT_EQ(f.Text(), "[General]\nDither\n=orphan value\nIconType=1\nDither=0\n\n");
}

TEST(IniText, AddsANewKeyAtTheEndOfItsSectionAndANewSectionAtTheEnd) {
    TIniFile f;
    f.SetText("[A]\nx=1\n[B]\ny=2\n");
    f.WriteString("A", "z", "3");
    f.WriteString("C", "w", "4");
    EXPECT_EQ(f.Text(), "[A]\nx=1\nz=3\n\n[B]\ny=2\n\n[C]\nw=4\n\n");
}

TEST(IniText, AValueWithALineBreakCannotInjectLinesAndIsWrittenEmpty) {
    TIniFile f;
    f.WriteString("General", "Path", "/tmp/x\n[General]\nIconType=1");
    f.WriteString("General", "Other", "a\rb");
    EXPECT_EQ(f.Text(), "[General]\nPath=\nOther=\n\n");
}

TEST(IniText, AnEmptyDocumentIsAnEmptyFile) {
    EXPECT_EQ(TIniFile().Text(), "");
}

TEST(IniText, BinaryJunkGivesNoSectionsAndNoCrash) {
    std::string junk;
    for (int i = 0; i < 70000; ++i)
        junk += static_cast<char>((i * 7919) % 251);
    TIniFile f;
    f.SetText(junk);
    EXPECT_EQ(f.ReadInteger("General", "IconType", 42), 42);
}

// --- Files ------------------------------------------------------------------------------------------

TEST(IniFileLoad, AMissingFileIsAnEmptyDocument) {
    test::TTempDir dir;
    TIniFile f;
    EXPECT_TRUE(f.LoadFromFile(dir / "absent.ini").IsOk());
    EXPECT_EQ(f.Text(), "");
}

TEST(IniFileLoad, AFolderInPlaceOfTheFileFails) {
    test::TTempDir dir;
    fs::create_directory(dir / "config.ini");
    TIniFile f;
    EXPECT_EQ(f.LoadFromFile(dir / "config.ini").Kind(), TFailure::Io);
}

TEST(IniFileLoad, AFifoInPlaceOfTheFileFailsWithoutBlocking) {
    test::TTempDir dir;
    ASSERT_EQ(::mkfifo((dir / "config.ini").c_str(), 0644), 0);
    TIniFile f;
    EXPECT_EQ(f.LoadFromFile(dir / "config.ini").Kind(), TFailure::Io);
}

struct TCapCase {
    const char* name;
    const char* content;
    std::uint64_t cap;
    const char* expected;
};

class IniFileCap : public ::testing::TestWithParam<TCapCase> {};

TEST_P(IniFileCap, ReadsOnlyCompleteLinesWithinTheCap) {
    test::TTempDir dir;
    WriteText(dir / "a.ini", GetParam().content);
    TIniFile f;
    ASSERT_TRUE(f.LoadFromFile(dir / "a.ini", GetParam().cap).IsOk());
    EXPECT_EQ(f.Text(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniFileCap,
    ::testing::Values(
        // The cap ends inside "y=22222": that half line must not be read as "y=22".
        TCapCase{"CutAfterTheLastCompleteLine", "[A]\nx=1\ny=22222\nz=3\n", 12, "[A]\nx=1\n\n"},
        TCapCase{"NoLineBreakWithinTheCapReadsAsEmpty", "[A]x=1111111111111111111\n", 8, ""},
        TCapCase{"AFileOfExactlyTheCapIsWhole", "[A]\nx=1\ny=2", 12, "[A]\nx=1\ny=2\n\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniFileLoad, AHundredMegabyteFileIsReadOnlyUpToTheCap) {
    test::TTempDir dir;
    const fs::path name = dir / "huge.ini";
    WriteText(name, "[General]\nDither=0\n");
    // Sparse: the 100 MB of zero bytes take no disk space.
    fs::resize_file(name, 100ull * 1024 * 1024);
    TIniFile f;
    ASSERT_TRUE(f.LoadFromFile(name).IsOk());
    EXPECT_EQ(f.Text(), "[General]\nDither=0\n\n");
}

TEST(IniFileSave, WritesTheTextAndLeavesNoTemporaryFile) {
    test::TTempDir dir;
    TIniFile f;
    f.WriteString("General", "a", "1");
    ASSERT_TRUE(f.SaveToFile(dir / "config.ini").IsOk());
    EXPECT_EQ(ReadText(dir / "config.ini"), "[General]\na=1\n\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(IniFileSave, KeepsThePermissionsOfTheReplacedFile) {
    test::TTempDir dir;
    WriteText(dir / "config.ini", "old");
    fs::permissions(dir / "config.ini", fs::perms::owner_read | fs::perms::owner_write);
    TIniFile f;
    ASSERT_TRUE(f.SaveToFile(dir / "config.ini").IsOk());
    EXPECT_EQ(fs::status(dir / "config.ini").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(IniFileSave, ReplacesTheTargetOfASymbolicLinkAndKeepsTheLink) {
    test::TTempDir dir;
    fs::create_directory(dir / "real");
    WriteText(dir / "real" / "config.ini", "old");
    fs::create_symlink(dir / "real" / "config.ini", dir / "config.ini");
    TIniFile f;
    f.WriteString("A", "x", "1");
    ASSERT_TRUE(f.SaveToFile(dir / "config.ini").IsOk());
    EXPECT_TRUE(fs::is_symlink(dir / "config.ini"));
    EXPECT_EQ(ReadText(dir / "real" / "config.ini"), "[A]\nx=1\n\n");
}

struct TUnwritableCase {
    const char* name;
    fs::perms folderMode;
    fs::perms fileMode;
};

class IniFileSaveRefused : public ::testing::TestWithParam<TUnwritableCase> {};

TEST_P(IniFileSaveRefused, FailsAndLeavesThePreviousFileIntact) {
    test::TTempDir dir;
    WriteText(dir / "config.ini", "[General]\nprevious=1\n");
    fs::permissions(dir / "config.ini", GetParam().fileMode);
    fs::permissions(dir.Path(), GetParam().folderMode);
    const int status = test::RunUnprivileged([&] {
        TIniFile f;
        f.WriteString("General", "new", "1");
        ::_exit(f.SaveToFile(dir / "config.ini").Kind() == TFailure::Io ? 0 : 1);
    });
    fs::permissions(dir.Path(), fs::perms::owner_all);
    EXPECT_TRUE(test::ExitedCleanly(status));
    EXPECT_EQ(ReadText(dir / "config.ini"), "[General]\nprevious=1\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

constexpr fs::perms kReadable = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
constexpr fs::perms kReadWrite =
    kReadable | fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
constexpr fs::perms kOpenFolder = fs::perms::all;
constexpr fs::perms kClosedFolder =
    kReadable | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;

INSTANTIATE_TEST_SUITE_P(Cases, IniFileSaveRefused,
                         ::testing::Values(TUnwritableCase{"UnwritableFolder", kClosedFolder, kReadWrite},
                                           TUnwritableCase{"ReadOnlyFile", kOpenFolder, kReadable}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace gw
