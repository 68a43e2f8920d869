#include "pipeline/FileNames.h"

#include "image/AtomicFile.h"
#include "image/Limits.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

std::string SystemReason(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

// Moves from to to unless to exists. Tries rename-without-replace first and falls back to a hard link
// on file systems that lack it. Returns 0 or the errno value; EEXIST means the name is taken.
int MoveWithoutReplace(const fs::path& from, const fs::path& to, bool& renameUnsupported) {
    if (!renameUnsupported) {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return 0;
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return errno;
        renameUnsupported = true;
    }
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno;
    ::unlink(from.c_str());
    return 0;
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

TPlacedFile SaveWithoutOverwrite(const fs::path& wanted, const std::function<bool(const fs::path&)>& write) {
    std::string base, extension;
    SplitFileName(wanted, base, extension);
    const fs::path folder = wanted.parent_path().empty() ? fs::path(".") : wanted.parent_path();

    fs::path temporary;
    if (auto status = CreateTemporaryFile(folder, extension, temporary); !status)
        return {status, {}};
    const auto discard = [&](TStatus status) {
        ::unlink(temporary.c_str());
        return TPlacedFile{std::move(status), {}};
    };

    bool written = false;
    try {
        written = write(temporary);
    } catch (...) {
        written = false;
    }
    if (!written)
        return discard(TStatus::Fail(TFailure::Io, "the file could not be written"));

    bool renameUnsupported = false;
    for (std::int32_t n = 1; n <= limits::kMaxNumberedFileNames; ++n) {
        fs::path candidate = NumberedFileName(wanted, n);
        if (FileExists(candidate))
            continue;
        const int error = MoveWithoutReplace(temporary, candidate, renameUnsupported);
        if (error == 0)
            return {TStatus::Ok(), std::move(candidate)};
        if (error != EEXIST)
            return discard(
                TStatus::Fail(TFailure::Io, SystemReason("cannot move the file into place", error)));
        // Someone created this name since the existence test: go on with the next one.
    }
    return discard(TStatus::Fail(TFailure::Io, "every numbered name is taken"));
}

} // namespace gw
