#include "pipeline/FileNames.h"

#include "image/FileIO.h"
#include "image/Limits.h"

#include <string>
#include <sys/stat.h>

namespace gw {

namespace fs = std::filesystem;

namespace {

// Splits the file name part at its last "." (the dot goes with the extension); no dot: no extension.
void SplitFileName(const fs::path& path, std::string& base, std::string& extension) {
    const std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    base = dot == std::string::npos ? name : name.substr(0, dot);
    extension = dot == std::string::npos ? std::string() : name.substr(dot);
}

} // namespace

fs::path NumberedFileName(const fs::path& wanted, std::int32_t n) {
    if (n <= 1)
        return wanted;
    std::string base, extension;
    SplitFileName(wanted, base, extension);
    return wanted.parent_path() / (base + " (" + std::to_string(n) + ")" + extension);
}

bool FileExists(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

fs::path UniqueFileName(const fs::path& wanted) {
    for (std::int32_t n = 1; n <= limits::kMaxNumberedFileNames; ++n) {
        fs::path candidate = NumberedFileName(wanted, n);
        if (!FileExists(candidate))
            return candidate;
    }
    return {};
}

TPlacedFile SaveWithoutOverwrite(const fs::path& wanted, std::span<const std::uint8_t> bytes) {
    std::string base, extension;
    SplitFileName(wanted, base, extension);
    const fs::path folder = wanted.parent_path().empty() ? fs::path(".") : wanted.parent_path();
    const auto nameOf = [&wanted](std::int32_t n) {
        if (n > limits::kMaxNumberedFileNames)
            return std::string();
        return NumberedFileName(wanted, n).filename().string();
    };
    TPlacedFile placed;
    placed.Status = WriteNewFile(folder, extension, nameOf, bytes, placed.Path);
    if (!placed.Status)
        placed.Path.clear();
    else if (wanted.parent_path().empty())
        placed.Path = placed.Path.filename();
    return placed;
}

} // namespace gw
