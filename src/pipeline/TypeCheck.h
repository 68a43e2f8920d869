#pragma once
// Content-based file type detection: what a file is, decided from its first bytes and never from its
// name, and the category that tells pictures apart from icons, executables and Macintosh resources.

#include "image/CommonTypes.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

namespace gw {

// Values as stored in one byte.
enum class TFileCategory : std::uint8_t {
    fcIcon = 0,
    fcPicture = 1,
    fcWin32Binary = 2,
    fcMacIcon = 3,
    fcMacResource = 4,
    fcWin16Binary = 5,
    fcOther = 6,
};

// The type of the file at fileName. Reads at most the first 16 bytes, two 4-byte probes, for
// executables the 2-byte header signature, for files that start like text or gzip data the first
// 64 KiB (an SVG's root element) and for ISO media files their file type box (HEIF brands). Throws
// std::filesystem::filesystem_error when the file cannot be opened for reading (missing, no permission, a
// folder or another non-regular file).
TFileTypes CheckFileType(const std::filesystem::path& fileName);

// The same decision for a file whose whole content is data. Never throws; for tests and fuzzing.
TFileTypes CheckFileType(std::span<const std::uint8_t> data) noexcept;

TFileCategory GetTypeCategory(TFileTypes fileType) noexcept;

// The type of the file at fileName, or why it could not be opened: for callers that only want the
// answer. Never throws.
struct TTypeResult {
    TFileTypes Type = TFileTypes::ftOther;
    std::error_code Error; // set when the file could not be read
    explicit operator bool() const { return !Error; }
    TFileCategory Category() const { return GetTypeCategory(Type); }
};
TTypeResult DetectFileType(const std::filesystem::path& fileName) noexcept;

// GetTypeCategory(CheckFileType(fileName)); throws as CheckFileType does.
TFileCategory GetFileCategory(const std::filesystem::path& fileName);

} // namespace gw
