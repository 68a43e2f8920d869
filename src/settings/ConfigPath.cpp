#include "settings/ConfigPath.h"

#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#include <vector>
#endif

namespace gw {

namespace fs = std::filesystem;

namespace {

constexpr const char* kConfigDirVariable = "GLYPHWRIGHT_CONFIG_DIR";
constexpr const char* kFolderName = "glyphwright";
constexpr const char* kFileName = "config.ini";

#ifndef _WIN32
// The home folder from the password database, for processes started without $HOME.
fs::path HomeFromPasswordDatabase() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) != 0 || result == nullptr ||
        result->pw_dir == nullptr || result->pw_dir[0] != '/')
        return {};
    return result->pw_dir;
}
#endif

} // namespace

fs::path UserConfigBase() {
#ifdef _WIN32
    // The roaming application data folder.
    if (const wchar_t* appData = ::_wgetenv(L"APPDATA"); appData != nullptr && *appData != 0)
        return appData;
    return {};
#else
    // The XDG base directory rules ignore a relative $XDG_CONFIG_HOME.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
        return xdg;
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return fs::path(home) / ".config";
    const fs::path home = HomeFromPasswordDatabase();
    return home.empty() ? home : home / ".config";
#endif
}

fs::path ConfigFolder() {
    if (const char* folder = std::getenv(kConfigDirVariable); folder != nullptr && *folder != 0)
        return folder;
    const fs::path base = UserConfigBase();
    return base.empty() ? base : base / kFolderName;
}

fs::path SettingsFilePath() {
    const fs::path folder = ConfigFolder();
    return folder.empty() ? folder : folder / kFileName;
}

} // namespace gw
