#pragma once
// Brings a raster image to a colour depth: sets its tag and palette and rewrites its 32-bit pixels so
// that they keep the promise of the tag.
//
// After Change to 24 bits every alpha is 0 or 255 and every transparent pixel is 0x00000000; after
// Change to 1, 4 or 8 bits, in addition, every opaque pixel equals a palette entry in all 32 bits.
// 32-bit images keep their pixels. The palette is the Windows default palette, the Macintosh default
// palette or an adaptive octree palette; pixels are mapped to it by nearest colour or, when the
// settings ask for it, by Floyd-Steinberg dithering.

#include <cstdint>

namespace gw {

class TGlobalSetting;
class TOrbImage;

// Palette modes of TDataType::Change. Any other value behaves as pmWindows.
inline constexpr std::uint8_t pmAdaptive = 0;
inline constexpr std::uint8_t pmWindows = 1;
inline constexpr std::uint8_t pmMacintosh = 2;

class TDataType {
public:
    // settings must outlive the converter; its Dither value is read at every NewPalette, so a change
    // of the setting applies to the next image converted.
    explicit TDataType(const TGlobalSetting& settings);
    // A converter that dithers or not, whatever any settings say.
    explicit TDataType(bool dither);

    // Reduces image to bitCount (1, 4, 8, 24 or 32) with the palette of paletteMode.
    //  - Below 32 bits alpha is flattened first (FlattenAlpha).
    //  - 24 and 32 bits: the palette is emptied, nothing else happens.
    //  - 1, 4, 8 bits: the Windows default palette of the depth; mode pmMacintosh writes the Macintosh
    //    one over it; mode pmAdaptive writes the octree colours (at most size - 1) over it, followed by
    //    opaque black when no entry is opaque black. Then NewPalette.
    void Change(TOrbImage& image, std::uint8_t bitCount, std::uint8_t paletteMode);

    // Maps the pixels onto the image's own palette: DitherToPalette when the settings' Dither is on,
    // else MapToClosestColors. Does nothing for an image with an empty palette.
    void NewPalette(TOrbImage& img);

    // Re-establishes the pixel conventions of the image's current tag. Tags other than 32 are
    // flattened; an image with a palette whose opaque pixels are not all palette entries is mapped
    // again: a new adaptive palette at 8 bits, its existing palette at 1 and 4 bits. True when
    // something was changed.
    bool ProcessImageWithoutAsk(TOrbImage& img);
    // As ProcessImageWithoutAsk, but every image with a palette is mapped onto its existing palette.
    bool ProcessImage(TOrbImage& img);

    // Alpha below 128 becomes 0x00000000; otherwise the pixel is composited over opaque white:
    // channel := (255 - alpha) + channel * alpha / 255 (integer division), alpha := 255.
    static void FlattenAlpha(TOrbImage& img);
    // Every pixel with alpha != 0 becomes the palette's closest colour (sum of absolute RGB
    // differences, lowest index on ties, alpha 255). Pixels with alpha 0 stay.
    static void MapToClosestColors(TOrbImage& img);
    // Serpentine Floyd-Steinberg error diffusion onto the palette: rows top to bottom, the first left
    // to right, each following one in the opposite direction; 7/16 of a pixel's error goes ahead, 3/16,
    // 5/16 and 1/16 behind, below and ahead in the next row. Transparent pixels take part as black but
    // stay as they are; every other pixel becomes its reduced colour with alpha 255.
    // NOTE: the nearest entry here is found by squared Euclidean RGB distance, lowest index on ties:
    // it weighs one large channel error above several small ones, which keeps the diffused error small.
    static void DitherToPalette(TOrbImage& img);
    // False at the first pixel with alpha != 0 that is not a palette entry in all 32 bits.
    static bool UsesOnlyPaletteColors(const TOrbImage& img);

    // Whether NewPalette dithers now.
    bool Dithers() const;

private:
    const TGlobalSetting* FSettings = nullptr;
    bool FDither = false;
};

} // namespace gw
