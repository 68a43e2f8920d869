#include "settings/Setting.h"

#include "settings/SettingsTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <memory>

namespace gw {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::WriteText;

// A file written with the defaults in a locale with a decimal point.
const std::string kDefaultFile =
    "[General]\n"
    "AnimateExit=1\n"
    "AnimationSpeed=0.3\n"
    "CompressVista=1\n"
    "Dither=1\n"
    "IconType=0\n"
    "MacFormats=16x16-32;16x16-8;16x16-4;32x32-32;32x32-8;32x32-4;48x48-32;48x48-8;128x128-32;256x256-32;"
    "512x512-32;1024x1024-32\n"
    "MacModern=0\n"
    "Path=\n"
    "ShowSplash=1\n"
    "Textured=1\n"
    "ThemeType=1\n"
    "TopMost=0\n"
    "WinFormats=16x16-32;16x16-8;16x16-4;32x32-32;32x32-8;32x32-4;48x48-32;48x48-8;64x64-32;256x256-32\n"
    "\n";

// Every test gets its own settings folder (not created yet) through GLYPHWRIGHT_CONFIG_DIR.
class Settings : public ::testing::Test {
protected:
    fs::path File() const { return FFolder / "config.ini"; }
    void WriteConfig(const std::string& text) {
        fs::create_directories(FFolder);
        WriteText(File(), text);
    }
    // Loads the file, lets check look at the object, then destroys it (which saves) and returns the
    // saved file.
    std::string LoadCheckAndSave(const std::function<void(TGlobalSetting&)>& check) {
        {
            TGlobalSetting settings;
            check(settings);
        }
        return ReadText(File());
    }

    test::TTempDir FDir;
    fs::path FFolder = FDir / "glyphwright";
    test::TScopedEnv FEnv{"GLYPHWRIGHT_CONFIG_DIR", FFolder.string()};
};

TEST_F(Settings, WithoutAFileEverySettingHasItsDefault) {
    const TGlobalSetting settings;
    EXPECT_EQ(settings.IconType(), TIconType::itWin);
    EXPECT_EQ(settings.ThemeType(), TThemeType::ttDark);
    EXPECT_EQ(settings.Path(), "");
    EXPECT_TRUE(settings.ShowSplash());
    EXPECT_TRUE(settings.Textured());
    EXPECT_FALSE(settings.TopMost());
    EXPECT_EQ(settings.AnimationSpeed(), 0.3L);
    EXPECT_TRUE(settings.AnimateExit());
    EXPECT_TRUE(settings.CompressVista());
    EXPECT_TRUE(settings.Dither());
    EXPECT_FALSE(settings.MacModern());
    EXPECT_EQ(settings.WinFormats(),
              "16x16-32;16x16-8;16x16-4;32x32-32;32x32-8;32x32-4;48x48-32;48x48-8;64x64-32;256x256-32");
    EXPECT_EQ(settings.MacFormats(), "16x16-32;16x16-8;16x16-4;32x32-32;32x32-8;32x32-4;48x48-32;48x48-8;"
                                     "128x128-32;256x256-32;512x512-32;1024x1024-32");
    EXPECT_FALSE(settings.Verbose());
    EXPECT_EQ(settings.FileName(), File());
    EXPECT_FALSE(fs::exists(FFolder)) << "loading must not create the folder";
}

TEST_F(Settings, ShutdownCreatesTheFolderAndWritesTheDefaultsByteForByte) {
    EXPECT_EQ(LoadCheckAndSave([](TGlobalSetting&) {}), kDefaultFile);
}

TEST_F(Settings, ChangesMadeInMemoryReachTheFileAtShutdown) {
    {
        TGlobalSetting settings;
        settings.SetIconType(TIconType::itMac);
        settings.SetThemeType(TThemeType::ttLight);
        settings.SetPath(FDir.Path().string());
        settings.SetShowSplash(false);
        settings.SetTextured(false);
        settings.SetTopMost(true);
        settings.SetAnimationSpeed(0.75L);
        settings.SetAnimateExit(false);
        settings.SetCompressVista(false);
        settings.SetDither(false);
        settings.SetWinFormats("16x16-4");
        settings.SetMacFormats("32x32-8");
    }
    const TGlobalSetting settings;
    EXPECT_EQ(settings.IconType(), TIconType::itMac);
    EXPECT_EQ(settings.ThemeType(), TThemeType::ttLight);
    EXPECT_EQ(settings.Path(), FDir.Path().string());
    EXPECT_FALSE(settings.ShowSplash());
    EXPECT_FALSE(settings.Textured());
    EXPECT_TRUE(settings.TopMost());
    EXPECT_EQ(settings.AnimationSpeed(), 0.75L);
    EXPECT_FALSE(settings.AnimateExit());
    EXPECT_FALSE(settings.CompressVista());
    EXPECT_FALSE(settings.Dither());
    EXPECT_EQ(settings.WinFormats(), "16x16-4");
    EXPECT_EQ(settings.MacFormats(), "32x32-8");
}

TEST_F(Settings, ADetachedObjectNeitherReadsNorWritesTheFile) {
    WriteConfig("[General]\nIconType=1\n");
    {
        TGlobalSetting settings(TPersistence::Detached);
        EXPECT_EQ(settings.IconType(), TIconType::itWin);
        settings.SetDither(false);
    }
    EXPECT_EQ(ReadText(File()), "[General]\nIconType=1\n");
}

// --- Values read from the file, repaired at first use, saved at shutdown ---------------------------

struct TValueCase {
    const char* name;
    std::string line;                                 // in section [General]
    std::function<void(const TGlobalSetting&)> check; // what the object holds after loading
    std::string saved;                                // the key's line after shutdown
};

class SettingsValue : public Settings, public ::testing::WithParamInterface<TValueCase> {};

TEST_P(SettingsValue, IsReadRepairedAndSaved) {
    WriteConfig("[General]\n" + GetParam().line + "\n");
    const std::string saved = LoadCheckAndSave(GetParam().check);
    EXPECT_NE(saved.find("\n" + GetParam().saved + "\n"), std::string::npos) << saved;
}

auto IconTypeIs(TIconType expected) {
    return [expected](const TGlobalSetting& s) { EXPECT_EQ(s.IconType(), expected); };
}
auto ThemeTypeIs(TThemeType expected) {
    return [expected](const TGlobalSetting& s) { EXPECT_EQ(s.ThemeType(), expected); };
}
auto SpeedIs(long double expected) {
    return [expected](const TGlobalSetting& s) { EXPECT_EQ(s.AnimationSpeed(), expected); };
}
template <class TGetter> auto FlagIs(TGetter getter, bool expected) {
    return [getter, expected](const TGlobalSetting& s) { EXPECT_EQ((s.*getter)(), expected); };
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsValue,
    ::testing::Values(
        TValueCase{"IconTypeOutOfRangeBecomesWin", "IconType=7", IconTypeIs(TIconType::itWin), "IconType=0"},
        TValueCase{"IconTypeInHexadecimal", "IconType=0x1", IconTypeIs(TIconType::itMac), "IconType=1"},
        TValueCase{"KeyMatchedWithoutCase", "icontype=1", IconTypeIs(TIconType::itMac), "IconType=1"},
        TValueCase{"IconTypeWordKeepsTheDefault", "IconType=mac", IconTypeIs(TIconType::itWin), "IconType=0"},
        TValueCase{"IconTypeMinusOneIsAByteOf255ThenWin", "IconType=-1", IconTypeIs(TIconType::itWin),
                   "IconType=0"},
        TValueCase{"ThemeTypeOutOfRangeBecomesDark", "ThemeType=2", ThemeTypeIs(TThemeType::ttDark),
                   "ThemeType=1"},
        TValueCase{"ThemeTypeLight", "ThemeType=0", ThemeTypeIs(TThemeType::ttLight), "ThemeType=0"},
        TValueCase{"SpeedAboveOneBecomesOne", "AnimationSpeed=2.5", SpeedIs(1.0L), "AnimationSpeed=1"},
        TValueCase{"NegativeSpeedBecomesZero", "AnimationSpeed=-1", SpeedIs(0.0L), "AnimationSpeed=0"},
        TValueCase{"SpeedNotANumberBecomesZero", "AnimationSpeed=nan", SpeedIs(0.0L), "AnimationSpeed=0"},
        TValueCase{"SpeedWordKeepsTheDefault", "AnimationSpeed=abc", SpeedIs(0.3L), "AnimationSpeed=0.3"},
        TValueCase{"SpeedWithACommaInAPointLocale", "AnimationSpeed=0,5", SpeedIs(0.3L),
                   "AnimationSpeed=0.3"},
        TValueCase{"SpeedInRange", "AnimationSpeed = 0.5", SpeedIs(0.5L), "AnimationSpeed=0.5"},
        TValueCase{"BooleanFiveIsKeptAndCountsAsTrue", "Dither=5", FlagIs(&TGlobalSetting::Dither, true),
                   "Dither=5"},
        TValueCase{"ModernMacintoshIcons", "MacModern=1", FlagIs(&TGlobalSetting::MacModern, true),
                   "MacModern=1"},
        TValueCase{"ModernMacintoshIconsWordKeepsTheDefault", "MacModern=on",
                   FlagIs(&TGlobalSetting::MacModern, false), "MacModern=0"},
        TValueCase{"BooleanZero", "Dither=0", FlagIs(&TGlobalSetting::Dither, false), "Dither=0"},
        TValueCase{"Boolean256KeepsItsLowByte", "CompressVista=256",
                   FlagIs(&TGlobalSetting::CompressVista, false), "CompressVista=0"},
        TValueCase{"BooleanWordKeepsTheDefault", "TopMost=yes", FlagIs(&TGlobalSetting::TopMost, false),
                   "TopMost=0"},
        TValueCase{"BooleanKeyWithoutEqualsKeepsTheDefault", "ShowSplash",
                   FlagIs(&TGlobalSetting::ShowSplash, true), "ShowSplash=1"},
        TValueCase{"FormatListTrimmed", "WinFormats= 16x16-32 ",
                   [](const TGlobalSetting& s) { EXPECT_EQ(s.WinFormats(), "16x16-32"); },
                   "WinFormats=16x16-32"},
        TValueCase{"InvalidUtf8KeptByteForByte", "MacFormats=\xFF\xFE\xC0 16x16-32",
                   [](const TGlobalSetting& s) { EXPECT_EQ(s.MacFormats(), "\xFF\xFE\xC0 16x16-32"); },
                   "MacFormats=\xFF\xFE\xC0 16x16-32"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- The output folder ------------------------------------------------------------------------------

struct TPathCase {
    const char* name;
    std::function<std::string(const fs::path& dir)> make; // builds the value, maybe a folder too
    bool kept;                                            // false: the value reads as empty
    bool saved = true; // the value stays chosen and saved (a folder may come back)
};

class SettingsPath : public Settings, public ::testing::WithParamInterface<TPathCase> {};

TEST_P(SettingsPath, ReadsOnlyWhileItNamesAFolderAndStaysChosen) {
    const std::string value = GetParam().make(FDir.Path());
    WriteConfig("[General]\nPath=" + value + "\n");
    const std::string expected = GetParam().kept ? value : "";
    const std::string chosen = GetParam().saved ? value : "";
    const std::string saved = LoadCheckAndSave([&](const TGlobalSetting& s) {
        EXPECT_EQ(s.Path(), expected);
        EXPECT_EQ(s.Path(), expected); // reading twice repairs nothing
        if (GetParam().saved) {
            EXPECT_EQ(s.ChosenPath(), value);
        }
    });
    EXPECT_NE(saved.find("\nPath=" + chosen + "\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsPath,
    ::testing::Values(
        TPathCase{"ExistingFolder", [](const fs::path& d) { return d.string(); }, true},
        TPathCase{"DeletedFolder",
                  [](const fs::path& d) {
                      fs::create_directory(d / "gone");
                      fs::remove(d / "gone");
                      return (d / "gone").string();
                  },
                  false},
        TPathCase{"AFileNotAFolder",
                  [](const fs::path& d) {
                      WriteText(d / "file", "x");
                      return (d / "file").string();
                  },
                  false},
        TPathCase{"SymbolicLinkToAFolder",
                  [](const fs::path& d) {
                      fs::create_symlink(d, d / "link");
                      return (d / "link").string();
                  },
                  true},
        TPathCase{"NonUtf8FolderName",
                  [](const fs::path& d) {
                      fs::create_directory(d / "\xFF\xFE");
                      return (d / "\xFF\xFE").string();
                  },
                  true},
        TPathCase{"TenThousandCharacters",
                  [](const fs::path& d) { return d.string() + std::string(10000, 'a'); }, false},
        TPathCase{"NulByteHidingTheRest",
                  [](const fs::path& d) { return d.string() + std::string(1, '\0') + "/elsewhere"; }, false,
                  false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Settings, AFolderWithALineBreakInItsNameIsSavedEmptyRatherThanBreakingTheFile) {
    fs::create_directory(FDir / "a\n[General]\nIconType=1");
    const std::string saved =
        LoadCheckAndSave([&](TGlobalSetting& s) { s.SetPath((FDir / "a\n[General]\nIconType=1").string()); });
    EXPECT_EQ(saved, kDefaultFile);
}

// --- Other content of the file ----------------------------------------------------------------------

TEST_F(Settings, OtherSectionsAndKeysStayAndNewKeysFollowInAlphabeticalOrder) {
    WriteConfig("; hand-written\n[Other]\na=b\n\n[General]\nExtra=1\nIconType=1\n; comment\n");
    // The twelve keys less IconType, which keeps its line.
    std::string newKeys = kDefaultFile.substr(std::string("[General]\n").size());
    newKeys.erase(newKeys.find("IconType=0\n"), std::string("IconType=0\n").size());
    EXPECT_EQ(LoadCheckAndSave([](TGlobalSetting&) {}),
              "[Other]\na=b\n\n[General]\nExtra=1\nIconType=1\n" + newKeys);
}

TEST_F(Settings, ABinaryFileGivesDefaultsWithoutACrash) {
    std::string junk;
    for (int i = 0; i < 65536; ++i)
        junk += static_cast<char>((i * 2654435761u) >> 24);
    WriteConfig(junk);
    LoadCheckAndSave([](TGlobalSetting& s) {
        EXPECT_EQ(s.IconType(), TIconType::itWin);
        EXPECT_EQ(s.AnimationSpeed(), 0.3L);
    });
}

// A file beyond the cap is read up to it, and never written back: that would cut off the rest.
TEST_F(Settings, AFileLongerThanTheCapIsReadInPartAndLeftUntouched) {
    const std::string tail = "\n[Other]\nKept=1\n";
    WriteConfig("[General]\nIconType=1\n" + std::string(2 * 1024 * 1024, ';') + tail);
    const std::string before = ReadText(File());
    testing::internal::CaptureStderr();
    const std::string after = LoadCheckAndSave([](TGlobalSetting& s) {
        EXPECT_EQ(s.IconType(), TIconType::itMac);
        s.SetIconType(TIconType::itWin);
        EXPECT_FALSE(s.SaveSettings());
    });
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(after, before);
    EXPECT_NE(said.find("read only in part"), std::string::npos) << said;
    EXPECT_NE(said.find(File().string()), std::string::npos) << said;
}

TEST_F(Settings, AFolderInPlaceOfTheFileGivesDefaultsAndShutdownDoesNotThrow) {
    fs::create_directories(File());
    TGlobalSetting settings;
    EXPECT_FALSE(settings.LoadSettings());
    EXPECT_FALSE(settings.SaveSettings());
    EXPECT_EQ(settings.IconType(), TIconType::itWin);
}

// --- Failures at shutdown ---------------------------------------------------------------------------

struct TShutdownCase {
    const char* name;
    fs::perms folderMode;
    fs::perms fileMode;
};

class SettingsShutdown : public Settings, public ::testing::WithParamInterface<TShutdownCase> {};

TEST_P(SettingsShutdown, DoesNotCrashAndLeavesThePreviousFileIntact) {
    const std::string previous = "[General]\nIconType=1\n";
    WriteConfig(previous);
    fs::permissions(File(), GetParam().fileMode);
    fs::permissions(FFolder, GetParam().folderMode);
    const int status = test::RunUnprivileged([] {
        TGlobalSetting settings;
        settings.SetIconType(TIconType::itWin);
    });
    fs::permissions(FFolder, fs::perms::owner_all);
    fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(test::ExitedCleanly(status));
    EXPECT_EQ(ReadText(File()), previous);
    EXPECT_EQ(std::distance(fs::directory_iterator(FFolder), fs::directory_iterator()), 1);
}

constexpr fs::perms kEveryoneRead = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
constexpr fs::perms kEveryoneWrite =
    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
constexpr fs::perms kEveryoneExec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsShutdown,
    ::testing::Values(TShutdownCase{"UnwritableFolder", kEveryoneRead | kEveryoneExec,
                                    kEveryoneRead | kEveryoneWrite},
                      TShutdownCase{"ReadOnlyFile", fs::perms::all, kEveryoneRead},
                      // A file the program cannot read would lose its other sections if it were replaced.
                      TShutdownCase{"UnreadableFile", fs::perms::all, kEveryoneWrite}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Settings, AFolderThatCannotBeCreatedFailsTheSaveQuietly) {
    WriteText(FDir / "blocker", "x");
    test::TScopedEnv env("GLYPHWRIGHT_CONFIG_DIR", (FDir / "blocker" / "glyphwright").string());
    TGlobalSetting settings;
    EXPECT_FALSE(settings.SaveSettings());
}

// --- The locale's decimal separator -----------------------------------------------------------------

// Switches the numeric locale to a decimal-comma locale for one scope. When the machine has none
// installed, one is compiled from the system's locale sources into a private folder, if it can be.
class TCommaLocale {
public:
    TCommaLocale() { FActive = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr || CompilePrivateCopy(); }
    ~TCommaLocale() { std::setlocale(LC_NUMERIC, "C"); }
    bool Active() const { return FActive; }

private:
    static bool CompilePrivateCopy() {
        static const std::unique_ptr<test::TTempDir> folder = [] {
            auto dir = std::make_unique<test::TTempDir>();
            if (!fs::exists("/usr/share/i18n/locales/de_DE") || !test::HaveTool("localedef") ||
                test::RunCommand("localedef -i de_DE -f UTF-8 '" + (dir->Path() / "de_DE.UTF-8").string() +
                                 "' >/dev/null 2>&1") != 0)
                dir.reset();
            return dir;
        }();
        if (!folder)
            return false;
        test::TScopedEnv locPath("LOCPATH", folder->Path().string());
        return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }
    bool FActive = false;
};

TEST_F(Settings, InACommaLocaleTheSpeedIsWrittenAndReadWithAComma) {
    TCommaLocale locale;
    if (!locale.Active())
        GTEST_SKIP() << "no decimal-comma locale on this machine";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_NE(LoadCheckAndSave([](TGlobalSetting&) {}).find("\nAnimationSpeed=0,3\n"), std::string::npos);

    WriteConfig("[General]\nAnimationSpeed=0,5\n");
    LoadCheckAndSave([](TGlobalSetting& s) { EXPECT_EQ(s.AnimationSpeed(), 0.5L); });
    WriteConfig("[General]\nAnimationSpeed=0.5\n");
    LoadCheckAndSave([](TGlobalSetting& s) { EXPECT_EQ(s.AnimationSpeed(), 0.3L); });
}

} // namespace
} // namespace gw
