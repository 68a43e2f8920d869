#include "formats/icns/IcnsElements.h"

#include <algorithm>

namespace gw::icns {

const std::array<TIconType, 25> IconTypes = {{
    // Old 1-bit icons without a mask; only read.
    {"SICN", 16, 16, 1, ""},
    {"ICON", 32, 32, 1, ""},
    // 1-bit icon bits followed by the mask bits: each is its own mask.
    {"icm#", 16, 12, 1, "icm#"},
    {"ics#", 16, 16, 1, "ics#"},
    {"ICN#", 32, 32, 1, "ICN#"},
    {"ich#", 48, 48, 1, "ich#"},
    // Palette images take their mask from the 1-bit element of their size.
    {"icm4", 16, 12, 4, "icm#"},
    {"ics4", 16, 16, 4, "ics#"},
    {"icl4", 32, 32, 4, "ICN#"},
    {"ich4", 48, 48, 4, "ich#"},
    {"icm8", 16, 12, 8, "icm#"},
    {"ics8", 16, 16, 8, "ics#"},
    {"icl8", 32, 32, 8, "ICN#"},
    {"ich8", 48, 48, 8, "ich#"},
    // Run-length coded RGB with an 8-bit alpha mask element each.
    {"is32", 16, 16, 32, "s8mk"},
    {"il32", 32, 32, 32, "l8mk"},
    {"ih32", 48, 48, 32, "h8mk"},
    {"it32", 128, 128, 32, "t8mk"},
    // Embedded JPEG 2000 or PNG files; their alpha travels inside.
    {"ic08", 256, 256, 32, ""},
    {"ic09", 512, 512, 32, ""},
    {"ic10", 1024, 1024, 32, ""},
    // 8-bit alpha masks.
    {"s8mk", 16, 16, 8, ""},
    {"l8mk", 32, 32, 8, ""},
    {"h8mk", 48, 48, 8, ""},
    {"t8mk", 128, 128, 8, ""},
}};

const std::array<TModernType, 14> ModernTypes = {{
    {"icp4", 16, "16"},
    {"ic04", 16, "16"},
    {"icp5", 32, "32"},
    {"ic05", 32, "32"},
    {"ic11", 32, "16@2x"},
    {"icp6", 64, "64"},
    {"ic12", 64, "32@2x"},
    {"ic07", 128, "128"},
    {"ic13", 256, "128@2x"},
    {"ic14", 512, "256@2x"},
    // The sidebar icons of newer systems.
    {"icsb", 18, "18"},
    {"icsB", 36, "18@2x"},
    {"sb24", 24, "24"},
    {"SB24", 48, "24@2x"},
}};

namespace {

constexpr std::size_t kFirstImageType = 2;      // "icm#"
constexpr std::size_t kImageTypeCount = 19;     // "icm#" .. "ic10"
constexpr std::size_t kFirstAlphaMaskType = 21; // "s8mk"

std::span<const TIconType> AlphaMaskTypes() {
    return std::span(IconTypes).subspan(kFirstAlphaMaskType);
}

std::string_view FindIn(std::span<const TIconType> rows, std::int32_t width, std::int32_t height,
                        std::int32_t bitCount) {
    const auto it = std::find_if(rows.begin(), rows.end(), [&](const TIconType& row) {
        return row.Width == width && row.Height == height && row.BitCount == bitCount;
    });
    return it == rows.end() ? std::string_view() : it->Name;
}

} // namespace

std::span<const TIconType> ImageElementTypes() {
    return std::span(IconTypes).subspan(kFirstImageType, kImageTypeCount);
}

std::string_view FindIconType(std::int32_t width, std::int32_t height, std::int32_t bitCount) {
    return FindIn(ImageElementTypes(), width, height, bitCount);
}

std::string_view FindMaskType(std::int32_t width, std::int32_t height, std::int32_t bitCount) {
    return FindIn(AlphaMaskTypes(), width, height, bitCount);
}

void LookupElementType(std::string_view name, TMacIconEntry& entry) {
    const auto it = std::find_if(IconTypes.begin(), IconTypes.end(),
                                 [&](const TIconType& row) { return row.Name == name; });
    if (it == IconTypes.end())
        return;
    entry.Name = it->Name;
    entry.Mask = it->Mask;
    entry.Width = it->Width;
    entry.Height = it->Height;
    entry.BitCount = it->BitCount;
}

const TModernType* FindModernType(std::string_view name) {
    const auto it = std::find_if(ModernTypes.begin(), ModernTypes.end(),
                                 [&](const TModernType& row) { return row.Name == name; });
    return it == ModernTypes.end() ? nullptr : &*it;
}

std::string_view FindRetinaType(std::int32_t side) {
    switch (side) {
    case 32:
        return "ic11";
    case 64:
        return "ic12";
    case 256:
        return "ic13";
    case 512:
        return "ic14";
    default:
        return {};
    }
}

bool IsAlphaMaskType(std::string_view name) {
    const auto masks = AlphaMaskTypes();
    return std::any_of(masks.begin(), masks.end(), [&](const TIconType& row) { return row.Name == name; });
}

bool IsEmbeddedPictureType(std::string_view name) {
    return name == "ic08" || name == "ic09" || name == "ic10";
}

std::uint32_t FixedDataSize(const TMacIconEntry& entry) {
    if (entry.Name.empty() || IsEmbeddedPictureType(entry.Name))
        return 0;
    const auto pixels = static_cast<std::uint32_t>(entry.Width) * static_cast<std::uint32_t>(entry.Height);
    switch (entry.BitCount) {
    case 1:
        // Icon bits, and for the types that are their own mask as many mask bits again.
        return entry.Mask.empty() ? pixels / 8 : pixels / 4;
    case 4:
        return pixels / 2;
    case 8:
        return pixels;
    default:
        return 0; // run-length coded
    }
}

} // namespace gw::icns
