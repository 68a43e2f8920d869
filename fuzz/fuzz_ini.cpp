// The settings file reader on arbitrary text.
#include "FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return gw::fuzz::RunOrTrap("ini", data, size);
}
