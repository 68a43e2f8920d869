#pragma once
// The one place that reads and writes whole files. Writers never leave half a file under a final
// name: the bytes go into a temporary file created in the destination folder (through the folder's
// descriptor), are flushed to the disk, and only then get their final name; the folder is flushed
// after. Where the file system allows it the temporary file has no name at all (O_TMPFILE), so a
// process killed in the middle leaves nothing behind; elsewhere it is a hidden ".gw-<16 hex
// digits><extension>" file that is removed on every failure (a kill can leave one).

#include "image/CommonTypes.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace gw {

// Reads a whole regular file; refuses (TooLarge) one longer than maxBytes before reading it.
TStatus ReadWholeFile(const std::filesystem::path& path, std::uint64_t maxBytes,
                      std::vector<std::uint8_t>& out);

// Reads a regular file from its start piece by piece, for decoders that need not hold it whole. Open
// refuses (TooLarge) a file longer than maxBytes before reading it, as ReadWholeFile does.
class TFileReader {
public:
    TFileReader() = default;
    ~TFileReader();
    TFileReader(const TFileReader&) = delete;
    TFileReader& operator=(const TFileReader&) = delete;

    TStatus Open(const std::filesystem::path& path, std::uint64_t maxBytes);
    // Fills out whole with the next bytes of the file; false when the file ends first or a read
    // fails (Status() then says so).
    bool Read(std::span<std::uint8_t> out);
    TStatus Status() const;

private:
    int FFd = -1;
    int FError = 0;
    std::vector<std::uint8_t> FBuffer;
    std::size_t FBegin = 0, FEnd = 0; // the buffered bytes not yet handed out
};

// The first bytes of a file that may be longer than its reader takes.
struct TFilePrefix {
    std::vector<std::uint8_t> Bytes;
    bool Missing = false; // the file does not exist (Bytes empty)
    bool Complete = true; // Bytes is the whole file
};
// Reads at most maxBytes of a regular file. A missing file is no failure (Missing set).
TStatus ReadFilePrefix(const std::filesystem::path& path, std::uint64_t maxBytes, TFilePrefix& out);

struct TReplaceOptions {
    // A symbolic link at path is followed and its target replaced (the link stays a link).
    bool FollowSymlink = false;
};

// Writes bytes into a temporary file beside path and renames it over path. The replaced file's
// permission bits are kept. On any failure path is untouched: it keeps its old content or stays
// absent. An existing path that we may not write (a read-only file) is refused, not replaced.
TStatus WriteFileReplacing(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                           const TReplaceOptions& options = {});

// Writes bytes as a new file of folder under the first name of the series nameOf(1), nameOf(2), ...
// that is free, never replacing a file, even one created meanwhile. nameOf returns an empty name
// when the series ends. placed gets the path written; extension is that of the temporary file.
TStatus WriteNewFile(const std::filesystem::path& folder, const std::string& extension,
                     const std::function<std::string(std::int32_t n)>& nameOf,
                     std::span<const std::uint8_t> bytes, std::filesystem::path& placed);

} // namespace gw
