// Stand-in for libFuzzer's driver when the targets are built without it (GCC, or no fuzzer runtime):
// runs every file named on the command line, or found in a named folder, through the target once.
// Exits 0 when all inputs ran, 1 when an argument could not be read.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool RunFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    std::printf("Running: %s (%zu bytes)\n", path.c_str(), bytes.size());
    // An empty vector's data() may be null; libFuzzer hands over a valid pointer even for no bytes.
    static const std::uint8_t empty = 0;
    LLVMFuzzerTestOneInput(bytes.empty() ? &empty : bytes.data(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    bool allRead = true;
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg, error))
                if (entry.is_regular_file()) {
                    allRead = RunFile(entry.path()) && allRead;
                    ++count;
                }
        } else {
            allRead = RunFile(arg) && allRead;
            ++count;
        }
    }
    std::printf("Executed %zu inputs\n", count);
    return allRead ? 0 : 1;
}
