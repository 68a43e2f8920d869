#pragma once
// The format list of the settings: items such as "16x16-32" separated by ";", each naming one icon
// image by width, height and bit count.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gw {

// One wanted icon image.
struct TImgFormat {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::uint8_t BitCount = 0;
    friend bool operator==(const TImgFormat&, const TImgFormat&) = default;
};
using TImageFormats = std::vector<TImgFormat>;

// Splits text by the delimited-text rule of a string list with a non-strict delimiter: characters
// with codes 1 to 32 before an item are skipped, an item ends at the delimiter or at any such
// character, an item that begins with a double quote is a quoted string ("" stands for one quote),
// two delimiters in a row give an empty item and a delimiter at the very end adds one empty item.
// A NUL character ends the text.
std::vector<std::string> SplitDelimitedText(std::string_view text, char delimiter = ';');

// Parses one item "<width>x<height>-<bits>": the width is the text before the first "x", the height
// the text between it and the first "-", the bit count the text after that "-". Each part must be a
// whole decimal number (leading blanks and a sign allowed); the bit count keeps its low 8 bits.
// None when a part is not a number or the width or height is not positive.
std::optional<TImgFormat> ParseImageFormat(std::string_view item);

// The largest side of a Windows icon image.
inline constexpr std::int32_t kMaxWindowsIconSide = 256;

// Why the list cannot be used for the icon type (mac: Macintosh, else Windows), naming the first item
// at fault: an empty list, an item that does not parse, a bit count other than 1, 4, 8, 24 and 32, an
// image the icon type cannot hold. None for a usable list.
std::optional<std::string> FormatListProblem(std::string_view text, bool mac);

class TGlobalSetting;
// Puts the default list in place of a list of the settings that FormatListProblem refuses, as the
// settings' getters repair their values. True when a list was repaired.
bool RepairFormatLists(TGlobalSetting& settings);

// Splits and parses a whole list in list order; none as soon as one item does not parse (so a list
// ending in ";" fails as a whole). An empty list gives no formats.
std::optional<TImageFormats> ParseFormatList(std::string_view text);

} // namespace gw
