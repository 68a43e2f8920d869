#include "ProgressBar.h"

#include <cstdio>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace gw::cli {

namespace {

constexpr std::size_t kDefaultColumns = 80;
constexpr std::size_t kBarCells = 24;
constexpr std::size_t kShortestName = 8;

std::size_t TerminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return kDefaultColumns;
}

std::string Elapsed(std::chrono::steady_clock::duration duration) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration).count();
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

} // namespace

TProgressBar::TProgressBar(bool enabled, std::int32_t total)
    : FEnabled(enabled), FTotal(total > 0 ? total : 1), FStart(std::chrono::steady_clock::now()) {}

void TProgressBar::Draw(std::int32_t done, const std::filesystem::path& current) {
    if (!FEnabled)
        return;
    const std::size_t filled = kBarCells * static_cast<std::size_t>(done) / static_cast<std::size_t>(FTotal);
    std::string line = "[" + std::string(filled, '#') + std::string(kBarCells - filled, '-') + "] " +
                       std::to_string(done) + "/" + std::to_string(FTotal) + "  " +
                       Elapsed(std::chrono::steady_clock::now() - FStart);
    // The name of the picture in hand goes last and gives way first; a long name keeps its end.
    const std::size_t columns = TerminalColumns();
    std::string name = current.filename().string();
    if (!name.empty() && line.size() + 2 + kShortestName < columns) {
        const std::size_t room = columns - 1 - line.size() - 2;
        if (name.size() > room) {
            std::size_t start = name.size() - (room - 3);
            // Never start inside a UTF-8 sequence.
            while (start < name.size() && (static_cast<unsigned char>(name[start]) & 0xC0) == 0x80)
                ++start;
            name = "..." + name.substr(start);
        }
        line += "  " + name;
    }
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    FShown = true;
}

void TProgressBar::Clear() {
    if (!FEnabled || !FShown)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    FShown = false;
}

} // namespace gw::cli
