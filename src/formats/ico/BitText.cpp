#include "formats/ico/BitText.h"

namespace gw {

std::string ByteToBits(std::uint8_t b) {
    std::string text(8, '0');
    for (int k = 0; k < 8; ++k)
        if ((b >> (7 - k)) & 1)
            text[static_cast<std::size_t>(k)] = '1';
    return text;
}

std::optional<std::uint8_t> BitsToByte(std::string_view text) {
    if (text.size() < 8)
        return std::nullopt;
    unsigned value = 0;
    for (std::size_t k = 0; k < 8; ++k) {
        const char c = text[k];
        if (c < '0' || c > '9')
            return std::nullopt;
        // A digit above 1 carries into the higher bits, as the weighted sum says.
        value += static_cast<unsigned>(c - '0') << (7 - k);
    }
    return static_cast<std::uint8_t>(value % 256);
}

} // namespace gw
