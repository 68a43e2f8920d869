#pragma once
// The element types of Macintosh icon files (.icns) that we write and read, and the lookups over
// them that the writer and the reader share.
//
// An .icns file is a big-endian container: the magic "icns", the total length of the file, then
// elements of a four-character type and a length (header included) followed by their data. The type
// fixes the element's pixel size, colour depth and encoding (Apple's icon type codes).

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace gw::icns {

// One row of the element table. (Unrelated to the settings' icon type enumeration, hence the
// namespace.)
struct TIconType {
    std::string_view Name; // four characters, case-sensitive
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t BitCount = 0; // of the image the element holds: 1, 4, 8 or 32
    std::string_view Mask;     // the type of the element that carries this one's mask, or empty
};

// The 25 element types in table order; the order matters for the lookups below.
extern const std::array<TIconType, 25> IconTypes;

// The element types written for document images are rows 3 to 21 of the table (1-based): the
// "SICN"/"ICON" types and the 8-bit masks are never chosen for an image.
std::span<const TIconType> ImageElementTypes();

// The type of one element while it is written or read. Name is empty and BitCount 0 for a type the
// table does not list.
struct TMacIconEntry {
    std::string_view Name;
    std::string_view Mask;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t BitCount = 0;
};

// The first of the image element types whose size and bit count all equal the arguments, or empty.
std::string_view FindIconType(std::int32_t width, std::int32_t height, std::int32_t bitCount);
// The 8-bit alpha mask type ("s8mk", "l8mk", "h8mk", "t8mk") of that size and bit count, or empty.
std::string_view FindMaskType(std::int32_t width, std::int32_t height, std::int32_t bitCount);
// Looks name up among all 25 rows and, on a match, fills the entry's name, mask, size and bit count
// from the row. Leaves the entry as it was when the table does not list name.
void LookupElementType(std::string_view name, TMacIconEntry& entry);

// True for the four 8-bit alpha mask types.
bool IsAlphaMaskType(std::string_view name);
// True for the types that embed a whole picture file ("ic08", "ic09", "ic10").
bool IsEmbeddedPictureType(std::string_view name);

// The element types later than the table above. Each holds one 32-bit picture of a fixed size: a PNG
// or JPEG 2000 file, for "ic04" and "ic05" also the "ARGB" header followed by run-length coded alpha,
// red, green and blue planes, and in older files of some types run-length RGB data as in "is32"
// (its alpha then comes from the 8-bit mask of its size, where the table has one).
struct TModernType {
    std::string_view Name;
    std::int32_t Side = 0;    // width and height in pixels
    std::string_view Meaning; // the point size and scale the type stands for, as "16@2x"
};
extern const std::array<TModernType, 14> ModernTypes;

// The row of ModernTypes named name, or null.
const TModernType* FindModernType(std::string_view name);
// The retina type of pixel side ("ic11" for 32, "ic12" for 64, "ic13" for 256, "ic14" for 512), or
// empty.
std::string_view FindRetinaType(std::int32_t side);

// The number of data bytes an element of a fixed-size encoding holds (the icon and mask bits of the
// 1-bit types with a mask, the icon bits of "SICN" and "ICON", the palette indices, the alpha masks);
// 0 for the run-length coded and embedded-picture types, whose size varies.
std::uint32_t FixedDataSize(const TMacIconEntry& entry);

} // namespace gw::icns
