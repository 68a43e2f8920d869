#pragma once
// Helpers shared by the test programs.

#include "image/Bitmap.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace gw::test {

// The public conformance corpora beside the repository, or nullopt when they are absent (a user's
// fresh clone has none). Tests that need them call GTEST_SKIP() then.
std::optional<std::filesystem::path> TestDataDir();
// The source folder of the project and the build folder the tests were built in.
const std::filesystem::path& SourceDir();
const std::filesystem::path& BinaryDir();
#define GW_REQUIRE_TESTDATA(var)                                                                             \
    const auto var##Opt = ::gw::test::TestDataDir();                                                         \
    if (!var##Opt)                                                                                           \
        GTEST_SKIP() << "shared test data not present";                                                      \
    const std::filesystem::path var = *var##Opt

// A fresh empty folder under the system's temporary folder, removed when the object dies.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::filesystem::path& Path() const { return FPath; }
    std::filesystem::path operator/(const std::string& name) const { return FPath / name; }

private:
    std::filesystem::path FPath;
};

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// Deterministic test pictures.
TBitmap MakeGradient(std::int32_t width, std::int32_t height, bool withAlpha);
TBitmap MakeSolid(std::int32_t width, std::int32_t height, TColor color);

// A 32-bit top-down BMP file (BITMAPINFOHEADER, BI_RGB) holding bitmap's pixels with their alpha as
// the fourth byte; importers read it back unchanged (an all-opaque bitmap stays opaque).
std::vector<std::uint8_t> EncodeTestBmp(const TBitmap& bitmap);

// True when the program is on PATH.
bool HaveTool(const std::string& name);
// Runs a shell command, returns its exit status; standard output goes into output when given.
int RunCommand(const std::string& command, std::string* output = nullptr);

} // namespace gw::test
