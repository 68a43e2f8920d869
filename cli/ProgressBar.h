#pragma once
// A one-line progress display on standard error: a bar, pictures done of all, the picture a worker
// took up last and the time since the start, redrawn in place. It is meant for a person watching a
// terminal; the caller decides whether to show it at all.

#include <chrono>
#include <cstdint>
#include <filesystem>

namespace gw::cli {

class TProgressBar {
public:
    // A disabled bar draws nothing and clears nothing.
    TProgressBar(bool enabled, std::int32_t total);

    bool Enabled() const { return FEnabled; }
    // Redraws the line.
    void Draw(std::int32_t done, const std::filesystem::path& current);
    // Erases the line, so that other output starts at the beginning of an empty line.
    void Clear();

private:
    bool FEnabled;
    std::int32_t FTotal;
    bool FShown = false;
    std::chrono::steady_clock::time_point FStart;
};

} // namespace gw::cli
