// The help texts, --version and the manual page tell the same story.

#include "CliTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

namespace gw {
namespace {

namespace fs = std::filesystem;
using test::RunCli;
using test::TCliResult;

const fs::path kManPage = test::SourceDir() / "cli" / "glyphwright-cli.1";

// The manual page's text with roff's escaped hyphens made plain.
std::string ManPageText() {
    const auto bytes = test::ReadFileBytes(kManPage);
    std::string text(bytes.begin(), bytes.end());
    for (std::size_t at; (at = text.find("\\-")) != std::string::npos;)
        text.replace(at, 2, "-");
    return text;
}

// Every long option a help text names.
std::set<std::string> LongOptions(const std::string& help) {
    std::set<std::string> options;
    for (std::size_t at = 0; (at = help.find("--", at)) != std::string::npos;) {
        std::size_t end = at + 2;
        while (end < help.size() && (std::islower(static_cast<unsigned char>(help[end])) || help[end] == '-'))
            ++end;
        if (end > at + 2)
            options.insert(help.substr(at, end - at));
        at = end;
    }
    return options;
}

class HelpTest : public ::testing::TestWithParam<const char*> {};

TEST_P(HelpTest, ReadsLikeAManualPageAndMatchesIt) {
    const std::string command = GetParam();
    const TCliResult result = command.empty() ? RunCli({"--help"}) : RunCli({command, "--help"});
    EXPECT_EQ(result.Status, 0);
    EXPECT_TRUE(result.Err.empty());
    for (const char* section : {"NAME\n", "SYNOPSIS\n", "DESCRIPTION\n", "EXIT STATUS\n"})
        EXPECT_NE(result.Out.find(section), std::string::npos) << section;
    // Lines fit a terminal of 100 columns.
    for (const std::string& line : test::Lines(result.Out))
        EXPECT_LE(line.size(), 100u) << line;

    const std::string manual = ManPageText();
    const std::set<std::string> options = LongOptions(result.Out);
    EXPECT_FALSE(options.empty());
    for (const std::string& option : options)
        EXPECT_NE(manual.find(option), std::string::npos) << option << " is not in the manual page";
    if (!command.empty()) {
        std::string section = ".SH " + command + "\n";
        for (char& c : section)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_NE(manual.find(section), std::string::npos) << section;
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, HelpTest, ::testing::Values("", "convert", "combine", "info", "extract"),
                         [](const auto& info) {
                             return info.param[0] == 0 ? std::string("program") : std::string(info.param);
                         });

TEST(VersionTest, VersionIsTheManualPagesVersion) {
    const TCliResult result = RunCli({"--version"});
    EXPECT_EQ(result.Status, 0);
    const std::string manual = ManPageText();
    const auto th = manual.find(".TH ");
    ASSERT_NE(th, std::string::npos);
    const std::string heading = manual.substr(th, manual.find('\n', th) - th);
    const std::string version = result.Out.substr(std::string("glyphwright-cli ").size());
    ASSERT_EQ(result.Out.rfind("glyphwright-cli ", 0), 0u) << result.Out;
    EXPECT_NE(heading.find("\"Glyphwright " + version.substr(0, version.size() - 1) + "\""),
              std::string::npos)
        << heading << " vs " << result.Out;
}

TEST(ManPageTest, FormatsWithoutWarnings) {
    if (!test::HaveTool("groff"))
        GTEST_SKIP() << "groff is not installed";
    std::string warnings;
    ASSERT_EQ(test::RunCommand("LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z '" + kManPage.string() + "' 2>&1",
                               &warnings),
              0);
    EXPECT_EQ(warnings, "");
}

} // namespace
} // namespace gw
