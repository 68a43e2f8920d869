#pragma once
// One icon file loaded for the info and extract commands: the icon document, how each of its images
// was stored, and the failure in words for the user.

#include "image/OrbIcon.h"

#include <filesystem>
#include <memory>
#include <string>

namespace gw::cli {

struct TLoadedIcon {
    std::unique_ptr<TOrbIcon> Document; // never null; empty when the load failed
    TIconLoadReport Report;
    bool Loaded = false;
    // What the file is by its content: "ico", "cur" or "icns"; empty for any other file.
    std::string Kind;
    // When not loaded: "not an icon file" or "unreadable", and the reason ("" for a file that is not
    // an icon).
    std::string Error;
    std::string Reason;
};

// Loads file through the icon document, with the icon coders installed.
TLoadedIcon LoadIconFile(const std::filesystem::path& file);

// The failure line "FILE: not an icon file" or "FILE: unreadable (REASON)".
std::string FailureLine(const std::filesystem::path& file, const TLoadedIcon& icon);

// An image in the format-list syntax: "256x256-32".
std::string FormatName(const TOrbImage& image);
std::string FormatName(std::int32_t width, std::int32_t height, std::int32_t bitCount);

} // namespace gw::cli
