// PNG data of icon entries to a bitmap.
#include "FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return gw::fuzz::RunOrTrap("pngconvert", data, size);
}
