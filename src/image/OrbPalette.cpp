#include "image/OrbPalette.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace gw {

namespace {

constexpr TColor kOpaque = 0xFF000000u;

// Entries are written as RRGGBB; every default palette is fully opaque.
constexpr std::array<TColor, 2> kWin2 = {0x000000, 0xFFFFFF};
constexpr std::array<TColor, 2> kMac2 = {0xFFFFFF, 0x000000};

// The 16 colours of the VGA palette. NOTE: index 7 is the dark grey and index 8 the light grey.
constexpr std::array<TColor, 16> kWin16 = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
    0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

// The 16 colours of the classic Macintosh system palette.
constexpr std::array<TColor, 16> kMac16 = {
    0xFFFFFF, 0xFCF305, 0xFF6402, 0xDD0806, 0xF20884, 0x4600A5, 0x0000D4, 0x02ABEA,
    0x1FB714, 0x006411, 0x562C05, 0x90713A, 0xC0C0C0, 0x808080, 0x404040, 0x000000,
};

// 16 ramps of 16 colours, each from black through one hue to white. Columns 1 to 7 carry the hue
// at rising brightness, columns 8 to 14 the hue blended towards white.
// clang-format off
constexpr std::array<TColor, 256> kWin256 = {
    // 0
    0x000000, 0x2F0800, 0x500E00, 0x701400, 0x901A00, 0xB02000, 0xCF2600, 0xF02C00,
    0xFF3D11, 0xFF5731, 0xFF7151, 0xFF8B71, 0xFFA591, 0xFFBFB1, 0xFFDAD1, 0xFFFFFF,
    // 16
    0x000000, 0x2F1A00, 0x502D00, 0x703F00, 0x905100, 0xB06300, 0xCF7600, 0xF08800,
    0xFF9811, 0xFFA631, 0xFFB351, 0xFFC171, 0xFFCF91, 0xFFDDB1, 0xFFEBD1, 0xFFFFFF,
    // 32
    0x000000, 0x2F2C00, 0x504B00, 0x706800, 0x908600, 0xB0A500, 0xCFC300, 0xF0E100,
    0xFFEF11, 0xFFF131, 0xFFF351, 0xFFF571, 0xFFF791, 0xFFF9B1, 0xFFFBD1, 0xFFFFFF,
    // 48
    0x000000, 0x212F00, 0x375000, 0x4C7000, 0x639000, 0x79B000, 0x8FCF00, 0xA6F000,
    0xB4FF11, 0xBEFF31, 0xC8FF51, 0xD3FF71, 0xDCFF91, 0xE5FFB1, 0xF0FFD1, 0xFFFFFF,
    // 64
    0x000000, 0x0E2F00, 0x185000, 0x227000, 0x2C9000, 0x36B000, 0x40CF00, 0x4AF000,
    0x5BFF11, 0x71FF31, 0x87FF51, 0x9DFF71, 0xB2FF91, 0xC9FFB1, 0xDFFFD1, 0xFFFFFF,
    // 80
    0x000000, 0x002F02, 0x005004, 0x007006, 0x009008, 0x00B00A, 0x00CF0B, 0x00F00E,
    0x12FF20, 0x31FF3D, 0x51FF5B, 0x71FF79, 0x91FF98, 0xB1FFB5, 0xD1FFD4, 0xFFFFFF,
    // 96
    0x000000, 0x002F14, 0x005022, 0x007030, 0x00903D, 0x00B04C, 0x00CF59, 0x00F067,
    0x11FF78, 0x31FF8A, 0x51FF9C, 0x71FFAE, 0x91FFC0, 0xB1FFD2, 0xD1FFE4, 0xFFFFFF,
    // 112
    0x000000, 0x002F26, 0x005040, 0x00705A, 0x009074, 0x00B08E, 0x00CFA9, 0x00F0C2,
    0x11FFD1, 0x31FFD8, 0x51FFDE, 0x71FFE3, 0x91FFE9, 0xB1FFEF, 0xD1FFF6, 0xFFFFFF,
    // 128
    0x000000, 0x00262F, 0x004150, 0x005B70, 0x007490, 0x008EB0, 0x00A9CF, 0x00C3F0,
    0x11D2FF, 0x31D8FF, 0x51DDFF, 0x71E4FF, 0x91EAFF, 0xB1F0FF, 0xD1F6FF, 0xFFFFFF,
    // 144
    0x000000, 0x00142F, 0x002250, 0x003070, 0x003E90, 0x004DB0, 0x005BCF, 0x0069F0,
    0x1179FF, 0x318AFF, 0x519DFF, 0x71AFFF, 0x91C1FF, 0xB1D2FF, 0xD1E5FF, 0xFFFFFF,
    // 160
    0x000000, 0x00032F, 0x000450, 0x000670, 0x000990, 0x000AB0, 0x000CCF, 0x000EF0,
    0x1220FF, 0x313EFF, 0x515CFF, 0x717AFF, 0x9197FF, 0xB1B6FF, 0xD1D4FF, 0xFFFFFF,
    // 176
    0x000000, 0x0E002F, 0x170050, 0x210070, 0x2B0090, 0x3600B0, 0x4000CF, 0x4900F0,
    0x5A11FF, 0x7031FF, 0x8651FF, 0x9C71FF, 0xB291FF, 0xC8B1FF, 0xDFD1FF, 0xFFFFFF,
    // 192
    0x000000, 0x20002F, 0x360050, 0x4C0070, 0x620090, 0x7800B0, 0x8E00CF, 0xA400F0,
    0xB311FF, 0xBE31FF, 0xC751FF, 0xD171FF, 0xDC91FF, 0xE5B1FF, 0xF0D1FF, 0xFFFFFF,
    // 208
    0x000000, 0x2F002C, 0x50004B, 0x700069, 0x900087, 0xB000A5, 0xCF00C4, 0xF000E1,
    0xFF11F0, 0xFF31F2, 0xFF51F4, 0xFF71F6, 0xFF91F7, 0xFFB1F9, 0xFFD1FB, 0xFFFFFF,
    // 224
    0x000000, 0x2F001B, 0x50002D, 0x70003F, 0x900052, 0xB00063, 0xCF0076, 0xF00088,
    0xFF1199, 0xFF31A6, 0xFF51B4, 0xFF71C2, 0xFF91CF, 0xFFB1DC, 0xFFD1EB, 0xFFFFFF,
    // 240
    0x000000, 0x2F0008, 0x50000E, 0x700015, 0x90001B, 0xB00021, 0xCF0026, 0xF0002C,
    0xFF113E, 0xFF3158, 0xFF5171, 0xFF718C, 0xFF91A6, 0xFFB1BF, 0xFFD1DA, 0xFFFFFF,
};
// clang-format on

// The Macintosh 256-colour system palette is built by rule: the 6 x 6 x 6 colour cube without its
// last colour (black), then red, green, blue and grey ramps over the ten levels the cube lacks, then
// black.
constexpr std::array<TColor, 256> MakeMac256() {
    constexpr std::array<std::uint8_t, 6> cube = {0xFF, 0xCC, 0x99, 0x66, 0x33, 0x00};
    constexpr std::array<std::uint8_t, 10> ramp = {0xEE, 0xDD, 0xBB, 0xAA, 0x88,
                                                   0x77, 0x55, 0x44, 0x22, 0x11};
    std::array<TColor, 256> pal{};
    std::size_t n = 0;
    for (std::uint8_t r : cube)
        for (std::uint8_t g : cube)
            for (std::uint8_t b : cube)
                if (n < 215)
                    pal[n++] = MakeColor(0, r, g, b);
    for (std::uint8_t v : ramp)
        pal[n++] = MakeColor(0, v, 0, 0);
    for (std::uint8_t v : ramp)
        pal[n++] = MakeColor(0, 0, v, 0);
    for (std::uint8_t v : ramp)
        pal[n++] = MakeColor(0, 0, 0, v);
    for (std::uint8_t v : ramp)
        pal[n++] = MakeColor(0, v, v, v);
    pal[n] = 0x000000;
    return pal;
}
constexpr std::array<TColor, 256> kMac256 = MakeMac256();

int ChannelDistance(std::uint8_t a, std::uint8_t b) {
    return std::abs(int{a} - int{b});
}

int ColorDistance(TColor a, TColor b) {
    return ChannelDistance(RedOf(a), RedOf(b)) + ChannelDistance(GreenOf(a), GreenOf(b)) +
           ChannelDistance(BlueOf(a), BlueOf(b));
}

bool SameRgb(TColor a, TColor b) {
    return (a & 0x00FFFFFFu) == (b & 0x00FFFFFFu);
}

void CheckIndex(std::int32_t index, std::int32_t count) {
    if (index < 0 || index >= count)
        throw std::out_of_range("palette index " + std::to_string(index) + " outside 0.." +
                                std::to_string(count - 1));
}

} // namespace

void TOrbPalette::Resize(std::uint8_t bitCount) {
    switch (bitCount) {
    case 1:
        FPalette.resize(2, 0);
        break;
    case 4:
        FPalette.resize(16, 0);
        break;
    case 8:
        FPalette.resize(256, 0);
        break;
    case 24:
    case 32:
        FPalette.clear();
        break;
    default:
        break;
    }
}

void TOrbPalette::Copy(const TOrbPalette& pal) {
    FPalette = pal.FPalette;
}

bool TOrbPalette::IsEqual(const TOrbPalette& pal) const {
    return FPalette == pal.FPalette;
}

TColor TOrbPalette::GetPalette(std::int32_t index) const {
    CheckIndex(index, Count());
    return FPalette[static_cast<std::size_t>(index)];
}

void TOrbPalette::SetPalette(std::int32_t index, TColor value) {
    CheckIndex(index, Count());
    FPalette[static_cast<std::size_t>(index)] = value;
}

std::int32_t TOrbPalette::GetPaletteIndex(TColor col) const {
    for (std::size_t i = 0; i < FPalette.size(); ++i)
        if (FPalette[i] == col)
            return static_cast<std::int32_t>(i);
    return -1;
}

TColor TOrbPalette::GetClosestColor(TColor col) const {
    // NOTE: callers are promised a non-empty palette; an empty one answers col itself instead of
    // reading past the end.
    if (FPalette.empty())
        return col;
    TColor best = FPalette.front();
    int bestDistance = ColorDistance(best, col);
    for (TColor entry : FPalette) {
        const int distance = ColorDistance(entry, col);
        if (distance < bestDistance) { // strictly nearer: the lowest index wins ties
            best = entry;
            bestDistance = distance;
        }
    }
    return best;
}

bool TOrbPalette::ColorExists(TColor col, std::int32_t lastIndex) const {
    if (lastIndex < 0)
        return false;
    const std::size_t end = std::min(static_cast<std::size_t>(lastIndex) + 1, FPalette.size());
    for (std::size_t i = 0; i < end; ++i)
        if (SameRgb(FPalette[i], col))
            return true;
    return false;
}

void TOrbPalette::GetPaletteFromImage(const TBitmap& bitmap) {
    const std::int32_t count = Count();
    std::int32_t collected = 0;
    if (count == 0)
        return;
    // Colours are taken with alpha 255 whatever the pixel's own alpha, so a transparent pixel
    // contributes its colour bytes.
    for (TColor pixel : bitmap.Pixels()) {
        const TColor c = kOpaque | (pixel & 0x00FFFFFFu);
        if (!ColorExists(c, collected - 1)) {
            FPalette[static_cast<std::size_t>(collected)] = c;
            if (++collected == count)
                return;
        }
    }
}

namespace {

template <std::size_t N> void FillDefault(TColorArray& palette, const std::array<TColor, N>& table) {
    if (palette.size() < N)
        return;
    for (std::size_t i = 0; i < N; ++i)
        palette[i] = kOpaque | table[i];
}

} // namespace

void TOrbPalette::FillWin2() {
    FillDefault(FPalette, kWin2);
}
void TOrbPalette::FillWin16() {
    FillDefault(FPalette, kWin16);
}
void TOrbPalette::FillWin256() {
    FillDefault(FPalette, kWin256);
}
void TOrbPalette::FillMac2() {
    FillDefault(FPalette, kMac2);
}
void TOrbPalette::FillMac16() {
    FillDefault(FPalette, kMac16);
}
void TOrbPalette::FillMac256() {
    FillDefault(FPalette, kMac256);
}

} // namespace gw
