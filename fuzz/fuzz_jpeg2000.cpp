// The JPEG 2000 importer on raw bytes, at full size and at a reduced resolution.
#include "FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return gw::fuzz::RunOrTrap("jpeg2000", data, size);
}
