// Hostile inputs replayed through the fuzz targets' entry points (fuzz/FuzzEntries.h): the inputs the
// fuzzers found faults with (tests/pipeline/regressions/<target>/, named after the fault), the seed
// corpora (fuzz/corpus/<target>/, with damaged files and decompression bombs) and the bad/ folders of
// the public test data. Each must be handled cleanly; the ones tests/pipeline/refusals.txt names must
// be refused with the failure it gives, or read, as it says. Every regression and every bad/ file is
// named there, so a new one cannot go in without saying what must become of it.

#include "../../fuzz/FuzzEntries.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace gw {
namespace {

namespace fs = std::filesystem;

struct TRegression {
    std::string Target;
    fs::path File;
    std::string
        Key; // the file's name in refusals.txt: "regressions/png/x.png", "testdata/gif/pillow/bad/y.gif"
};

std::ostream& operator<<(std::ostream& os, const TRegression& r) {
    return os << r.Key;
}

// The reader a public test-data file goes to, by its folder and name.
std::string TargetOfTestData(const fs::path& relative) {
    const std::string top = relative.begin()->string();
    if (top == "bmpsuite")
        return "bmp";
    if (top == "gif" || top == "tiff" || top == "jpeg2000")
        return top;
    return relative.extension() == ".icns" ? "icns" : "ico";
}

std::vector<TRegression> CollectRegressions() {
    std::vector<TRegression> found;
    const fs::path& source = test::SourceDir();
    std::error_code error;
    for (const auto& [root, prefix] :
         {std::pair{source / "tests" / "pipeline" / "regressions", "regressions"},
          std::pair{source / "fuzz" / "corpus", "corpus"}})
        for (const auto& folder : fs::directory_iterator(root, error))
            for (const auto& file : fs::directory_iterator(folder.path(), error))
                if (file.is_regular_file()) {
                    const std::string target = folder.path().filename().string();
                    found.push_back(
                        {target, file.path(),
                         std::string(prefix) + "/" + target + "/" + file.path().filename().string()});
                }
    if (const auto data = test::TestDataDir())
        for (const auto& entry : fs::recursive_directory_iterator(*data, error))
            if (entry.is_regular_file() && entry.path().parent_path().filename() == "bad") {
                const fs::path relative = entry.path().lexically_relative(*data);
                found.push_back(
                    {TargetOfTestData(relative), entry.path(), "testdata/" + relative.generic_string()});
            }
    std::sort(found.begin(), found.end(), [](const TRegression& a, const TRegression& b) {
        return std::tie(a.Target, a.Key) < std::tie(b.Target, b.Key);
    });
    return found;
}

// refusals.txt: "<key> <verdict>" a line, # starts a comment; the verdict is a failure kind (Truncated,
// Corrupt, Unsupported, TooLarge), "read" (accepted: the flaw lies in a field nothing needs), or
// "checked" (a target that refuses nothing, whose own check is the assertion).
const std::map<std::string, std::string>& Verdicts() {
    static const std::map<std::string, std::string> verdicts = [] {
        std::map<std::string, std::string> table;
        std::ifstream in(test::SourceDir() / "tests" / "pipeline" / "refusals.txt");
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line.substr(0, line.find('#')));
            std::string key, verdict;
            if (words >> key >> verdict)
                table[key] = verdict;
        }
        return table;
    }();
    return verdicts;
}

// Hostile by where it lies: every committed regression, every bad/ file and the seeds copied from them.
bool MustBeListed(const TRegression& r) {
    return r.Key.starts_with("regressions/") || r.Key.starts_with("testdata/") ||
           r.Key.find("_bad_") != std::string::npos;
}

std::string KindName(TFailure kind) {
    switch (kind) {
    case TFailure::None:
        return "read";
    case TFailure::Truncated:
        return "Truncated";
    case TFailure::Corrupt:
        return "Corrupt";
    case TFailure::Unsupported:
        return "Unsupported";
    case TFailure::TooLarge:
        return "TooLarge";
    case TFailure::Io:
        return "Io";
    }
    return "?";
}

class FuzzRegressionTest : public testing::TestWithParam<TRegression> {};

TEST_P(FuzzRegressionTest, IsHandledAsListed) {
    const TRegression& regression = GetParam();
    const fuzz::TOutcome outcome = fuzz::Run(regression.Target, test::ReadFileBytes(regression.File));
    EXPECT_TRUE(outcome.Clean);
    const auto verdict = Verdicts().find(regression.Key);
    if (verdict == Verdicts().end()) {
        EXPECT_FALSE(MustBeListed(regression))
            << "not in refusals.txt; it answered " << KindName(outcome.Status.Kind()) << " ("
            << outcome.Status.Reason() << ")";
        return;
    }
    if (verdict->second == "checked")
        return;
    EXPECT_EQ(KindName(outcome.Status.Kind()), verdict->second) << outcome.Status.Reason();
    if (!outcome.Status) {
        EXPECT_FALSE(outcome.Status.Reason().empty());
    }
}

// A line that names no file is a mark that guards nothing (a renamed or removed input).
TEST(FuzzRegressionList, EveryLineNamesAnInput) {
    std::set<std::string> keys;
    for (const TRegression& r : CollectRegressions())
        keys.insert(r.Key);
    const bool haveData = test::TestDataDir().has_value();
    for (const auto& [key, verdict] : Verdicts())
        if (haveData || !key.starts_with("testdata/")) {
            EXPECT_TRUE(keys.contains(key)) << key;
        }
}

INSTANTIATE_TEST_SUITE_P(Found, FuzzRegressionTest, testing::ValuesIn(CollectRegressions()),
                         [](const auto& info) {
                             std::string name = info.param.Key;
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzRegressionTest);

} // namespace
} // namespace gw
