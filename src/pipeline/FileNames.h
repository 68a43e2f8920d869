#pragma once
// Output names that never overwrite: the numbered series "photo.ico", "photo (2).ico", "photo (3).ico"
// and a placement that writes a new file in the destination folder under the first free name of that
// series without ever replacing a file.

#include "image/CommonTypes.h"

#include <cstdint>
#include <filesystem>
#include <span>

namespace gw {

// Member n of the series of wanted: n <= 1 gives wanted itself, n >= 2 gives "folder/base (n).ext"
// (base = the file name without its last extension, ext = the last extension with its dot).
std::filesystem::path NumberedFileName(const std::filesystem::path& wanted, std::int32_t n);

// True when a file system object of that name exists, symbolic links followed (a dangling link does
// not count).
bool FileExists(const std::filesystem::path& path);

// The first member of the series of wanted that names no existing file (symbolic links followed).
// NOTE: only a hint: the name can be taken before it is used; SaveWithoutOverwrite closes that gap.
std::filesystem::path UniqueFileName(const std::filesystem::path& wanted);

// Writes bytes as a new file under the first free name of the series of wanted (see
// WriteNewFile in image/FileIO.h): the move never replaces a file, and when the chosen name is taken
// in the meantime the next member of the series is tried. Nothing ever appears under a final name
// before it is complete, and nothing is left behind on a failure.
struct TPlacedFile {
    TStatus Status;
    std::filesystem::path Path; // the final name, when Status is ok
};
TPlacedFile SaveWithoutOverwrite(const std::filesystem::path& wanted, std::span<const std::uint8_t> bytes);

} // namespace gw
