#pragma once
// Where the program keeps its per-user files.

#include <filesystem>

namespace gw {

// The platform's per-user configuration folder: $XDG_CONFIG_HOME when it is an absolute path, else
// ~/.config (on Windows it would be the roaming application data folder). Empty when none is known.
std::filesystem::path UserConfigBase();

// The program's folder: $GLYPHWRIGHT_CONFIG_DIR when set and not empty (tests, portable installs),
// else UserConfigBase()/"glyphwright". Empty when none is known.
std::filesystem::path ConfigFolder();

// ConfigFolder()/"config.ini", or empty when no folder is known.
std::filesystem::path SettingsFilePath();

} // namespace gw
