// A whole conversion of arbitrary bytes as a dropped file, with the real coders.
#include "FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return gw::fuzz::RunOrTrap("processfile", data, size);
}
