#include "image/FileIO.h"

#include "image/Limits.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace gw {

namespace fs = std::filesystem;

namespace {

TStatus IoFailure(const std::string& what, int error) {
    return TStatus::Fail(TFailure::Io, what + ": " + std::strerror(error));
}

// Owns a file descriptor.
class TFd {
public:
    TFd() = default;
    explicit TFd(int fd) : FFd(fd) {}
    ~TFd() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFd(TFd&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
    TFd& operator=(TFd&& other) noexcept {
        std::swap(FFd, other.FFd);
        return *this;
    }
    int Get() const { return FFd; }
    int Release() { return std::exchange(FFd, -1); }
    // Closes now and gives the error close reports (some file systems report write errors there).
    int Close() {
        const int result = ::close(std::exchange(FFd, -1));
        return result == 0 ? 0 : errno;
    }

private:
    int FFd = -1;
};

// Writes all bytes, retrying short writes; 0 or the errno value.
int WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return 0;
}

// Reads up to out.size() bytes; the count read through n (short when the file ends first).
int ReadAll(int fd, std::span<std::uint8_t> out, std::size_t& n) {
    n = 0;
    while (n < out.size()) {
        const ssize_t got = ::read(fd, out.data() + n, out.size() - n);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            break; // the file shrank while we read it: keep what is there
        n += static_cast<std::size_t>(got);
    }
    return 0;
}

// Opens a regular file for reading; fails for a missing file, a folder, a FIFO or a device.
// O_NONBLOCK keeps a FIFO in the file's place from blocking the open.
TStatus OpenRegular(const fs::path& path, TFd& file, std::uint64_t& size, int& openError) {
    file = TFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    openError = file.Get() < 0 ? errno : 0;
    if (file.Get() < 0)
        return IoFailure("cannot open the file", openError);
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0)
        return IoFailure("cannot examine the file", errno);
    if (!S_ISREG(info.st_mode))
        return TStatus::Fail(TFailure::Io, "not a regular file");
    size = static_cast<std::uint64_t>(info.st_size);
    return TStatus::Ok();
}

std::string RandomTemporaryName(std::mt19937_64& random, const std::string& extension) {
    char tag[17];
    std::snprintf(tag, sizeof tag, "%016llx", static_cast<unsigned long long>(random()));
    return ".gw-" + std::string(tag) + extension;
}

// A temporary file being written in a folder: unnamed (Name empty) or named.
class TTemporaryFile {
public:
    TTemporaryFile(int folder, std::string extension) : FFolder(folder), FExtension(std::move(extension)) {}
    ~TTemporaryFile() { Discard(); }
    TTemporaryFile(const TTemporaryFile&) = delete;
    TTemporaryFile& operator=(const TTemporaryFile&) = delete;

    // Creates the file and writes bytes into it, flushed to the disk; mode is applied when set.
    // unnamed asks for a file without a name first.
    TStatus Write(std::span<const std::uint8_t> bytes, bool unnamed, const mode_t* mode) {
        GW_TRY(Create(unnamed));
        int error = WriteAll(FFile.Get(), bytes);
        if (error == 0 && mode != nullptr && ::fchmod(FFile.Get(), *mode) != 0)
            error = errno;
        if (error == 0 && ::fsync(FFile.Get()) != 0)
            error = errno;
        return error == 0 ? TStatus::Ok() : IoFailure("cannot write the file", error);
    }

    bool IsNamed() const { return !FName.empty(); }
    const std::string& Name() const { return FName; }

    // Gives the unnamed file the name; 0, EEXIST when the name is taken, or another errno value
    // (ENOTSUP when this system cannot name an unnamed file: the caller writes a named one instead).
    int Link(const std::string& name) {
        // AT_EMPTY_PATH needs a capability most processes lack; /proc/self/fd works for everyone.
        if (::linkat(FFile.Get(), "", FFolder, name.c_str(), AT_EMPTY_PATH) == 0)
            return 0;
        if (errno == EEXIST)
            return EEXIST;
        const std::string self = "/proc/self/fd/" + std::to_string(FFile.Get());
        if (::linkat(AT_FDCWD, self.c_str(), FFolder, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        if (errno == EEXIST || errno == ENOSPC || errno == EDQUOT || errno == EACCES || errno == EROFS)
            return errno;
        return ENOTSUP;
    }

    // Moves the named file to name without replacing anything; 0, EEXIST or another errno value.
    int MoveWithoutReplacing(const std::string& name) {
        if (FRenameWorks) {
            if (::renameat2(FFolder, FName.c_str(), FFolder, name.c_str(), RENAME_NOREPLACE) == 0) {
                FName.clear();
                return 0;
            }
            if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
                return errno;
            FRenameWorks = false; // a file system without it: a hard link never replaces either
        }
        if (::linkat(FFolder, FName.c_str(), FFolder, name.c_str(), 0) != 0)
            return errno;
        Discard();
        return 0;
    }

    // Renames the named file over name.
    int Replace(const std::string& name) {
        if (::renameat(FFolder, FName.c_str(), FFolder, name.c_str()) != 0)
            return errno;
        FName.clear();
        return 0;
    }

    // Gives an unnamed file a fresh temporary name, so that it can replace a file.
    int NameIt() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (std::int32_t attempt = 0; attempt < limits::kMaxTemporaryNameAttempts; ++attempt) {
            const std::string candidate = RandomTemporaryName(random, FExtension);
            const int error = Link(candidate);
            if (error == 0)
                FName = candidate;
            if (error != EEXIST)
                return error;
        }
        return EEXIST;
    }

    int Close() { return FFile.Get() >= 0 ? FFile.Close() : 0; }

    // Removes the named file, if one is left.
    void Discard() {
        if (!FName.empty())
            ::unlinkat(FFolder, FName.c_str(), 0);
        FName.clear();
    }

private:
    TStatus Create(bool unnamed) {
        Discard();
        FFile = TFd();
#ifdef O_TMPFILE
        if (unnamed) {
            FFile = TFd(::openat(FFolder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
            if (FFile.Get() >= 0)
                return TStatus::Ok();
            // Not every file system has unnamed files: go on with a named one.
        }
#else
        (void)unnamed;
#endif
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (std::int32_t attempt = 0; attempt < limits::kMaxTemporaryNameAttempts; ++attempt) {
            const std::string candidate = RandomTemporaryName(random, FExtension);
            FFile = TFd(::openat(FFolder, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (FFile.Get() >= 0) {
                FName = candidate;
                return TStatus::Ok();
            }
            if (errno != EEXIST)
                return IoFailure("cannot create a temporary file", errno);
        }
        return TStatus::Fail(TFailure::Io, "no free temporary name");
    }

    int FFolder;
    std::string FExtension;
    TFd FFile;
    std::string FName;
    bool FRenameWorks = true;
};

TStatus OpenFolder(const fs::path& folder, TFd& fd) {
    fd = TFd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.Get() >= 0 ? TStatus::Ok() : IoFailure("cannot open the folder " + folder.string(), errno);
}

// Makes the new name itself durable; the file is already complete whatever happens here.
void SyncFolder(const TFd& folder) {
    (void)::fsync(folder.Get());
}

} // namespace

// Opens a regular file of at most maxBytes for reading.
static TStatus OpenWithin(const fs::path& path, std::uint64_t maxBytes, TFd& file, std::uint64_t& size) {
    int openError = 0;
    GW_TRY(OpenRegular(path, file, size, openError));
    if (size > maxBytes)
        return TStatus::Fail(TFailure::TooLarge, "file of " + std::to_string(size) +
                                                     " bytes is longer than the limit of " +
                                                     std::to_string(maxBytes));
    return TStatus::Ok();
}

TStatus ReadWholeFile(const fs::path& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& out) {
    TFd file;
    std::uint64_t size = 0;
    GW_TRY(OpenWithin(path, maxBytes, file, size));
    return GuardAllocation("reading the file", [&] {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        std::size_t done = 0;
        if (const int error = ReadAll(file.Get(), bytes, done); error != 0)
            return IoFailure("cannot read the file", error);
        bytes.resize(done);
        out = std::move(bytes);
        return TStatus::Ok();
    });
}

TFileReader::~TFileReader() {
    if (FFd >= 0)
        ::close(FFd);
}

TStatus TFileReader::Open(const fs::path& path, std::uint64_t maxBytes) {
    TFd file;
    std::uint64_t size = 0;
    GW_TRY(OpenWithin(path, maxBytes, file, size));
    return GuardAllocation("reading the file", [&] {
        FBuffer.resize(256 * 1024);
        if (FFd >= 0)
            ::close(FFd);
        FFd = file.Release();
        FBegin = FEnd = 0;
        FError = 0;
        return TStatus::Ok();
    });
}

bool TFileReader::Read(std::span<std::uint8_t> out) {
    while (!out.empty()) {
        if (FBegin == FEnd) {
            if (FFd < 0 || FError != 0)
                return false;
            std::size_t got = 0;
            FError = ReadAll(FFd, FBuffer, got);
            if (FError != 0 || got == 0)
                return false;
            FBegin = 0;
            FEnd = got;
        }
        const std::size_t n = std::min(out.size(), FEnd - FBegin);
        std::copy_n(FBuffer.begin() + static_cast<std::ptrdiff_t>(FBegin), n, out.begin());
        FBegin += n;
        out = out.subspan(n);
    }
    return true;
}

TStatus TFileReader::Status() const {
    return FError != 0 ? IoFailure("cannot read the file", FError) : TStatus::Ok();
}

TStatus ReadFilePrefix(const fs::path& path, std::uint64_t maxBytes, TFilePrefix& out) {
    out = {};
    TFd file;
    std::uint64_t size = 0;
    int openError = 0;
    if (TStatus status = OpenRegular(path, file, size, openError); !status) {
        out.Missing = openError == ENOENT;
        return out.Missing ? TStatus::Ok() : status;
    }
    return GuardAllocation("reading the file", [&] {
        // One byte beyond the cap tells a file that is longer (also one that grew since fstat).
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(size, maxBytes) + 1));
        std::size_t done = 0;
        if (const int error = ReadAll(file.Get(), bytes, done); error != 0)
            return IoFailure("cannot read the file", error);
        out.Complete = done <= maxBytes;
        bytes.resize(std::min<std::size_t>(done, static_cast<std::size_t>(maxBytes)));
        out.Bytes = std::move(bytes);
        return TStatus::Ok();
    });
}

TStatus WriteFileReplacing(const fs::path& path, std::span<const std::uint8_t> bytes,
                           const TReplaceOptions& options) {
    fs::path target = path;
    std::error_code ec;
    if (options.FollowSymlink && fs::is_symlink(path, ec)) {
        const fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec)
            target = resolved;
    }
    // NOTE: rename needs only the folder's permission, so it would replace a read-only file; a plain
    // truncate-and-write could not, and such a file is meant to survive.
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && ::access(target.c_str(), W_OK) != 0)
        return IoFailure("cannot replace the file", errno);
    const mode_t mode = existing.st_mode & 07777;

    TFd folder;
    GW_TRY(OpenFolder(target.parent_path(), folder));
    const std::string name = target.filename().string();
    TTemporaryFile temporary(folder.Get(), target.extension().string());
    // The unnamed file gets its temporary name only once it is complete.
    bool unnamed = true;
    for (;;) {
        GW_TRY(temporary.Write(bytes, unnamed, exists ? &mode : nullptr));
        int error = temporary.IsNamed() ? 0 : temporary.NameIt();
        if (error == ENOTSUP && unnamed) {
            unnamed = false;
            continue;
        }
        const int closeError = temporary.Close();
        if (error == 0)
            error = closeError;
        if (error == 0)
            error = temporary.Replace(name);
        if (error != 0)
            return IoFailure("cannot write the file", error);
        break;
    }
    SyncFolder(folder);
    return TStatus::Ok();
}

TStatus WriteNewFile(const fs::path& folder, const std::string& extension,
                     const std::function<std::string(std::int32_t)>& nameOf,
                     std::span<const std::uint8_t> bytes, fs::path& placed) {
    TFd folderFd;
    GW_TRY(OpenFolder(folder, folderFd));
    TTemporaryFile temporary(folderFd.Get(), extension);
    bool unnamed = true;
    GW_TRY(temporary.Write(bytes, unnamed, nullptr));
    for (std::int32_t n = 1;; ++n) {
        const std::string name = nameOf(n);
        if (name.empty())
            return TStatus::Fail(TFailure::Io, n == 1 ? std::string("no name is free")
                                                      : "every name from " + nameOf(1) + " to " +
                                                            nameOf(n - 1) + " is taken");
        int error = temporary.IsNamed() ? temporary.MoveWithoutReplacing(name) : temporary.Link(name);
        if (error == ENOTSUP && unnamed) {
            unnamed = false;
            GW_TRY(temporary.Write(bytes, false, nullptr));
            error = temporary.MoveWithoutReplacing(name);
        }
        if (error == EEXIST)
            continue; // someone holds this name, perhaps since a moment ago: the next one
        if (error == ENAMETOOLONG)
            return TStatus::Fail(TFailure::Io, "the name " + name + " is too long for the file system");
        if (error != 0)
            return IoFailure("cannot move the file into place", error);
        if (const int closeError = temporary.Close(); closeError != 0) {
            ::unlinkat(folderFd.Get(), name.c_str(), 0);
            return IoFailure("cannot write the file", closeError);
        }
        SyncFolder(folderFd);
        placed = folder / name;
        return TStatus::Ok();
    }
}

} // namespace gw
