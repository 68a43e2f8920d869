#pragma once
// Output names that never overwrite: the numbered series "photo.ico", "photo (2).ico", "photo (3).ico"
// and a placement that writes a new file under a temporary name in the destination folder and then
// moves it to the first free name of that series without ever replacing a file.

#include "image/CommonTypes.h"

#include <cstdint>
#include <filesystem>
#include <functional>

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

// Writes a file through write(temporaryPath) and moves it to the first free name of the series of
// wanted. The temporary file lies in the folder of wanted and ends in wanted's extension (writers
// choose their format by it). The move never replaces a file: when the chosen name is taken in the
// meantime, the next member of the series is tried. Nothing ever appears under a final name before
// it is complete; the temporary file is removed on every failure.
struct TPlacedFile {
    TStatus Status;
    std::filesystem::path Path; // the final name, when Status is ok
};
TPlacedFile
SaveWithoutOverwrite(const std::filesystem::path& wanted,
                     const std::function<bool(const std::filesystem::path& temporaryPath)>& write);

} // namespace gw
