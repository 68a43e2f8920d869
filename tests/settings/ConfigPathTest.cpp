#include "settings/ConfigPath.h"

#include "settings/SettingsTestSupport.h"

#include <gtest/gtest.h>

namespace gw {
namespace {

struct TFolderCase {
    const char* name;
    std::optional<std::string> configDir, xdgConfigHome, home;
    std::string expected;
};

class ConfigFolderChoice : public ::testing::TestWithParam<TFolderCase> {};

TEST_P(ConfigFolderChoice, FollowsTheEnvironment) {
    test::TScopedEnv configDir("GLYPHWRIGHT_CONFIG_DIR", GetParam().configDir);
    test::TScopedEnv xdg("XDG_CONFIG_HOME", GetParam().xdgConfigHome);
    test::TScopedEnv home("HOME", GetParam().home);
    EXPECT_EQ(ConfigFolder(), GetParam().expected);
    EXPECT_EQ(SettingsFilePath(), std::filesystem::path(GetParam().expected) / "config.ini");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigFolderChoice,
    ::testing::Values(
        TFolderCase{"OverrideWins", "/portable/cfg", "/x", "/h", "/portable/cfg"},
        TFolderCase{"EmptyOverrideIgnored", "", "/x", "/h", "/x/glyphwright"},
        TFolderCase{"XdgConfigHome", std::nullopt, "/x", "/h", "/x/glyphwright"},
        TFolderCase{"RelativeXdgConfigHomeIgnored", std::nullopt, "rel", "/h", "/h/.config/glyphwright"},
        TFolderCase{"HomeDotConfig", std::nullopt, std::nullopt, "/h", "/h/.config/glyphwright"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigFolderChoice, WithoutHomeFallsBackToThePasswordDatabase) {
    test::TScopedEnv configDir("GLYPHWRIGHT_CONFIG_DIR", std::nullopt);
    test::TScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    test::TScopedEnv home("HOME", std::nullopt);
    const std::filesystem::path folder = ConfigFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(folder.is_absolute());
    EXPECT_EQ(folder.filename(), "glyphwright");
    EXPECT_EQ(folder.parent_path().filename(), ".config");
}

} // namespace
} // namespace gw
