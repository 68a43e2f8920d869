#pragma once
// Reduction of a picture while it is being decoded: the decoder hands over its rows one at a time and
// only a picture reduced by a whole factor is kept, so the memory a large picture costs no longer
// grows with its size.
//
// Each reduced pixel is the exact mean of a factor x factor block of source pixels (blocks at the
// right and bottom edges may be smaller and are averaged over the pixels they hold). The mean is taken
// in integers on premultiplied colour: alpha is the mean alpha and colour the alpha-weighted mean, so
// transparent pixels carry no colour into their block, just as the drawing filter treats them. The
// result is the same on every machine.
//
// At factor 1 the rows are the picture's own rows: decoding through the reducer then gives exactly
// the picture a whole-picture decode gives.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"

#include <cstdint>
#include <span>
#include <vector>

namespace gw {

// The factor a width x height picture is reduced by on reading when it will be fitted to a longer
// side of targetSide: the largest whole factor that keeps the reduced longer side at least targetSide
// (so it stays below 2 x targetSide), at most kMaxAreaFactor; 1 when targetSide is 0 or less.
std::int32_t AreaReductionFactor(std::int64_t width, std::int64_t height, std::int32_t targetSide);

// Larger factors would let a block's premultiplied sums leave 32 bits.
inline constexpr std::int32_t kMaxAreaFactor = 256;

class TAreaReducer {
public:
    // Which transparency rule the rows follow.
    enum class TAlphaRule {
        Straight,          // the fourth byte is alpha
        ZeroAlphaIsOpaque, // when no pixel of the whole picture has a non-zero fourth byte, all are opaque
    };

    // Prepares for a width x height source reduced by factor (at least 1). The reduced picture must
    // keep to the bitmap limits and is allocated here; the caller has checked the source size.
    TStatus Start(std::int32_t width, std::int32_t height, std::int32_t factor,
                  TAlphaRule rule = TAlphaRule::Straight);

    std::int32_t Factor() const { return FFactor; }
    std::int32_t SourceWidth() const { return FWidth; }
    std::int32_t SourceHeight() const { return FHeight; }

    // Where source row y (0 = top) is to be written, SourceWidth() pixels: the picture's own row at
    // factor 1, a scratch row otherwise. Rows come in one direction, top down or bottom up, each once;
    // AddRow takes the row written there.
    std::span<TColor> RowBuffer(std::int32_t y);
    void AddRow(std::int32_t y);
    // Copies row into RowBuffer(y) and adds it.
    void AddRow(std::int32_t y, std::span<const TColor> row);

    // The reduced picture once every row was added; Corrupt when rows are missing, repeated or out of
    // order (a decoder fault).
    TStatus Finish(TBitmap& picture);

private:
    void FlushBand();
    void ClearFlushedRows();

    std::int32_t FWidth = 0, FHeight = 0, FFactor = 1;
    TAlphaRule FRule = TAlphaRule::Straight;
    TBitmap FPicture;
    std::vector<TColor> FScratch;
    // Sums of the band being gathered, per source column: premultiplied B, G, R and alpha (as
    // a * 255), then for the zero-alpha rule a second run of straight B, G, R (and an unused slot).
    std::vector<std::uint32_t> FSums;
    std::int32_t FBand = -1;     // reduced row of the band being gathered
    std::int32_t FBandRows = 0;  // rows gathered into it
    std::int32_t FLastRow = -1;  // last row added
    std::int32_t FDirection = 0; // +1 top down, -1 bottom up, 0 not yet known
    std::int32_t FRowsAdded = 0;
    bool FOutOfOrder = false;
    bool FAnyAlpha = false; // some pixel so far has a non-zero fourth byte
};

} // namespace gw
