#include "ui/InstanceMarker.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace gw {

std::filesystem::path InstanceMarkerPath(const std::string& name) {
    std::error_code error;
    std::filesystem::path folder;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        folder = runtime;
        if (!folder.is_absolute() || !std::filesystem::is_directory(folder, error))
            folder.clear();
    }
    if (folder.empty())
        folder = std::filesystem::temp_directory_path(error);
    if (folder.empty() || error)
        return {};
    return folder / name;
}

bool RegisterInstanceMutex(const std::string& name) {
    const std::filesystem::path path = InstanceMarkerPath(name);
    if (path.empty())
        return false;
    // NOTE: O_NOFOLLOW because the temporary folder is shared: a planted symbolic link must not make
    // us create or lock some other file. Another user's marker there simply cannot be opened.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    // The descriptor is deliberately never closed: the lock lives as long as the process.
    return true;
}

} // namespace gw
