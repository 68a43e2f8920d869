#include "support/TestSupport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <sys/wait.h>

namespace gw::test {

std::optional<std::filesystem::path> TestDataDir() {
    std::filesystem::path dir = GW_TESTDATA_DIR;
    if (const char* env = std::getenv("GW_TESTDATA_DIR"))
        dir = env;
    std::error_code ec;
    if (std::filesystem::is_directory(dir, ec))
        return std::filesystem::canonical(dir, ec);
    return std::nullopt;
}

// The folders come as definitions of this file alone: the other test files compile the same in every
// clone, so that ccache serves them to a fresh clone.
const std::filesystem::path& SourceDir() {
    static const std::filesystem::path dir = GW_SOURCE_DIR;
    return dir;
}

const std::filesystem::path& BinaryDir() {
    static const std::filesystem::path dir = GW_BINARY_DIR;
    return dir;
}

TTempDir::TTempDir() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("gw-test-" + std::to_string(rd()) + "-" + std::to_string(attempt));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            FPath = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TTempDir::~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
}

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path.string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

TBitmap MakeGradient(std::int32_t width, std::int32_t height, bool withAlpha) {
    TBitmap bmp(width, height);
    for (std::int32_t y = 0; y < height; ++y) {
        auto row = bmp.Row(y);
        for (std::int32_t x = 0; x < width; ++x) {
            const auto r = static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1));
            const auto g = static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1));
            const auto b = static_cast<std::uint8_t>((x + y) * 7);
            const auto a = withAlpha ? static_cast<std::uint8_t>((x * 3 + y * 5) % 256) : std::uint8_t{255};
            row[x] = MakeColor(a, r, g, b);
        }
    }
    return bmp;
}

TBitmap MakeSolid(std::int32_t width, std::int32_t height, TColor color) {
    TBitmap bmp(width, height);
    bmp.Fill(color);
    return bmp;
}

std::vector<std::uint8_t> EncodeTestBmp(const TBitmap& bitmap) {
    constexpr std::uint32_t kHeaderBytes = 14 + 40;
    const auto pixelBytes = static_cast<std::uint32_t>(bitmap.Pixels().size() * 4);
    std::vector<std::uint8_t> out;
    out.reserve(kHeaderBytes + pixelBytes);
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    out.push_back('B');
    out.push_back('M');
    put(kHeaderBytes + pixelBytes, 4); // bfSize
    put(0, 4);                         // bfReserved1, bfReserved2
    put(kHeaderBytes, 4);              // bfOffBits
    put(40, 4);                        // biSize
    put(static_cast<std::uint32_t>(bitmap.Width()), 4);
    put(static_cast<std::uint32_t>(-bitmap.Height()), 4); // negative: rows top-down
    put(1, 2);                                            // biPlanes
    put(32, 2);                                           // biBitCount
    put(0, 4);                                            // biCompression = BI_RGB
    put(pixelBytes, 4);                                   // biSizeImage
    put(2835, 4);                                         // 72 dpi
    put(2835, 4);
    put(0, 4); // biClrUsed
    put(0, 4); // biClrImportant
    for (const TColor pixel : bitmap.Pixels())
        put(pixel, 4); // B, G, R, A
    return out;
}

bool HaveTool(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null 2>&1") == 0;
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        if (output)
            output->append(buffer.data(), n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace gw::test
