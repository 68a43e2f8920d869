// Inputs the fuzz targets (fuzz/) found faults with, and their seed corpora, replayed through the same
// entry points: each must be handled cleanly, accepted with a consistent result or refused. Found
// inputs live in tests/pipeline/regressions/<target>/, named after the fault they showed; the seeds
// in fuzz/corpus/<target>/ include damaged files and decompression bombs.

#include "../../fuzz/FuzzEntries.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

namespace gw {
namespace {

namespace fs = std::filesystem;

struct TRegression {
    std::string Target;
    fs::path File;
};

std::ostream& operator<<(std::ostream& os, const TRegression& r) {
    return os << r.Target << "/" << r.File.filename().string();
}

std::vector<TRegression> CollectRegressions() {
    std::vector<TRegression> found;
    const fs::path& source = test::SourceDir();
    for (const fs::path& root : {source / "tests" / "pipeline" / "regressions", source / "fuzz" / "corpus"}) {
        std::error_code error;
        for (const auto& folder : fs::directory_iterator(root, error))
            for (const auto& file : fs::directory_iterator(folder.path(), error))
                if (file.is_regular_file())
                    found.push_back({folder.path().filename().string(), file.path()});
    }
    std::sort(found.begin(), found.end(), [](const TRegression& a, const TRegression& b) {
        return std::tie(a.Target, a.File) < std::tie(b.Target, b.File);
    });
    return found;
}

class FuzzRegressionTest : public testing::TestWithParam<TRegression> {};

TEST_P(FuzzRegressionTest, IsHandledCleanly) {
    const std::vector<std::uint8_t> bytes = test::ReadFileBytes(GetParam().File);
    EXPECT_TRUE(fuzz::RunOne(GetParam().Target, bytes));
}

INSTANTIATE_TEST_SUITE_P(Found, FuzzRegressionTest, testing::ValuesIn(CollectRegressions()),
                         [](const auto& info) {
                             std::string name =
                                 info.param.Target + "_" +
                                 info.param.File.parent_path().parent_path().filename().string() + "_" +
                                 info.param.File.filename().string();
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzRegressionTest);

} // namespace
} // namespace gw
