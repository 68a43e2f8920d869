#include "image/AtomicFile.h"

#include "image/Limits.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace gw {

namespace fs = std::filesystem;

namespace {

TStatus IoFailure(const char* what, int error) {
    return TStatus::Fail(TFailure::Io, std::string(what) + ": " + std::strerror(error));
}

// Owns a file descriptor.
class TFileHandle {
public:
    explicit TFileHandle(int fd) : FFd(fd) {}
    ~TFileHandle() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Get() const { return FFd; }
    // Closes now and reports the error close gives (some file systems report write errors there).
    int Close() {
        const int result = ::close(FFd);
        FFd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int FFd;
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

} // namespace

TStatus CreateTemporaryFile(const fs::path& folder, const std::string& extension, fs::path& created) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (std::int32_t attempt = 0; attempt < limits::kMaxTemporaryNameAttempts; ++attempt) {
        char tag[17];
        std::snprintf(tag, sizeof tag, "%016llx", static_cast<unsigned long long>(random()));
        const fs::path candidate = folder / (".gw-" + std::string(tag) + extension);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            created = candidate;
            return TStatus::Ok();
        }
        if (errno != EEXIST)
            return IoFailure("cannot create a temporary file", errno);
    }
    return TStatus::Fail(TFailure::Io, "no free temporary name");
}

TStatus WriteFileReplacing(const fs::path& path, std::span<const std::uint8_t> bytes) {
    // NOTE: rename needs only the folder's permission, so it would replace a read-only file; the
    // plain truncate-and-write this replaces could not, and such a file is meant to survive.
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0)
        return IoFailure("cannot replace the file", errno);

    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    fs::path temporary;
    if (TStatus status = CreateTemporaryFile(folder, path.extension().string(), temporary); !status)
        return status;

    int error = 0;
    {
        TFileHandle file(::open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        if (file.Get() < 0)
            error = errno;
        if (error == 0)
            error = WriteAll(file.Get(), bytes);
        if (error == 0 && ::fsync(file.Get()) != 0)
            error = errno;
        if (file.Get() >= 0) {
            const int closeError = file.Close();
            if (error == 0)
                error = closeError;
        }
    }
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return IoFailure("cannot write the file", error);
    }
    return TStatus::Ok();
}

TStatus ReadWholeFile(const fs::path& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& out) {
    TFileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0)
        return IoFailure("cannot open the file", errno);
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0)
        return IoFailure("cannot examine the file", errno);
    if (!S_ISREG(info.st_mode))
        return TStatus::Fail(TFailure::Io, "not a regular file");
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > maxBytes)
        return TStatus::Fail(TFailure::TooLarge, "file longer than the limit");

    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(file.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return IoFailure("cannot read the file", errno);
        if (n == 0)
            break; // the file shrank while we read it: keep what is there
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    out = std::move(bytes);
    return TStatus::Ok();
}

} // namespace gw
