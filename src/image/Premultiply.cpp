#include "image/Premultiply.h"

#if defined(__SSE2__) && !defined(GW_NO_SIMD) // GW_NO_SIMD builds the portable path for comparison
#include <emmintrin.h>
#define GW_PREMULTIPLY_SSE2 1
#else
#define GW_PREMULTIPLY_SSE2 0
#endif

namespace gw {

void PremultiplyRun(const TColor* row, std::int32_t count, std::uint16_t* out) {
    std::int32_t x = 0;
#if GW_PREMULTIPLY_SSE2
    const __m128i zero = _mm_setzero_si128();
    const __m128i colourLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i alphaFactor = _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0);
    for (; x + 2 <= count; x += 2) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + x));
        const __m128i wide = _mm_unpacklo_epi8(bytes, zero); // B G R A B G R A as 16 bits
        __m128i alpha = _mm_shufflelo_epi16(wide, _MM_SHUFFLE(3, 3, 3, 3));
        alpha = _mm_shufflehi_epi16(alpha, _MM_SHUFFLE(3, 3, 3, 3));
        const __m128i factor = _mm_or_si128(_mm_and_si128(alpha, colourLanes), alphaFactor);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_mullo_epi16(wide, factor));
    }
#endif
    for (; x < count; ++x) {
        const TColor c = row[x];
        const std::uint32_t a = c >> 24;
        out[4 * x + 0] = static_cast<std::uint16_t>((c & 0xFFu) * a);
        out[4 * x + 1] = static_cast<std::uint16_t>(((c >> 8) & 0xFFu) * a);
        out[4 * x + 2] = static_cast<std::uint16_t>(((c >> 16) & 0xFFu) * a);
        out[4 * x + 3] = static_cast<std::uint16_t>(a * 255u);
    }
}

} // namespace gw
