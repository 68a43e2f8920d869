#pragma once
// Whole-file writes that never leave half a file under a final name, and bounded whole-file reads.
// Shared by the icon coders (which replace their target) and the output placement of the pipeline
// (which never replaces anything): both write into a fresh temporary file of the destination folder
// and rename it only once it is complete.

#include "image/CommonTypes.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace gw {

// Creates an empty file of a fresh name ".gw-<16 hex digits><extension>" in folder (mode 0666 less
// the umask, as any new file) and returns its path in created.
TStatus CreateTemporaryFile(const std::filesystem::path& folder, const std::string& extension,
                            std::filesystem::path& created);

// Writes bytes into a temporary file beside path, flushes it to the disk and renames it over path.
// On any failure the temporary file is removed and path is untouched: it keeps its old content or
// stays absent. An existing path that we may not write (a read-only file) is refused, not replaced.
TStatus WriteFileReplacing(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Reads a whole regular file; refuses (TooLarge) one longer than maxBytes before reading it.
TStatus ReadWholeFile(const std::filesystem::path& path, std::uint64_t maxBytes,
                      std::vector<std::uint8_t>& out);

} // namespace gw
