#pragma once
// The colour table of a raster image: 2, 16 or 256 colours for 1, 4 or 8 bits per pixel, empty for
// 24 and 32. Holds the fixed default palettes of Windows and the Macintosh and the exact and
// nearest-colour lookups used by the colour depth conversion and the icon coders.

#include "image/Bitmap.h"

#include <cstdint>
#include <span>

namespace gw {

class TOrbPalette {
public:
    std::int32_t Count() const { return static_cast<std::int32_t>(FPalette.size()); }

    // 1 -> 2 entries, 4 -> 16, 8 -> 256, 24 and 32 -> 0; any other value changes nothing.
    // Remaining entries are kept; added entries are 0.
    void Resize(std::uint8_t bitCount);
    void Copy(const TOrbPalette& pal);
    bool IsEqual(const TOrbPalette& pal) const;

    // Entry access; an index outside 0 .. Count() - 1 throws std::out_of_range.
    TColor GetPalette(std::int32_t index) const;
    void SetPalette(std::int32_t index, TColor value);
    std::span<const TColor> Entries() const { return FPalette; }

    // First index whose entry equals col in all 32 bits, or -1.
    std::int32_t GetPaletteIndex(TColor col) const;
    // The entry nearest to col by the sum of absolute RGB differences; the lowest index wins ties.
    // The palette must not be empty.
    TColor GetClosestColor(TColor col) const;
    // True when one of the entries 0 .. min(lastIndex, Count() - 1) has col's red, green and blue.
    bool ColorExists(TColor col, std::int32_t lastIndex) const;
    // Collects the distinct colours of bitmap (alpha ignored), in order of first appearance.
    void GetPaletteFromImage(const TBitmap& bitmap);

    void FillWin2();
    void FillWin16();
    void FillWin256();
    void FillMac2();
    void FillMac16();
    void FillMac256();

private:
    TColorArray FPalette;
};

} // namespace gw
