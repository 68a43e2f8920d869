// The JPEG importer on raw bytes, at full size and DCT-scaled.
#include "FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return gw::fuzz::RunOrTrap("jpeg", data, size);
}
