#pragma once
// A byte as a text of eight "0" and "1" characters, most significant bit first, and back. The icon
// coders build the 1-bit colour rows and the AND masks of their files from such texts.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace gw {

// 165 gives "10100101".
std::string ByteToBits(std::uint8_t b);

// Reads the first 8 characters as decimal digits d1 .. d8 and gives (d1 x 128 + d2 x 64 + ... + d8)
// modulo 256; for texts of "0" and "1" the inverse of ByteToBits. nullopt when the text is shorter
// than 8 characters or one of them is not a decimal digit.
std::optional<std::uint8_t> BitsToByte(std::string_view text);

} // namespace gw
