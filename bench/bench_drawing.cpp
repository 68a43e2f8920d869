// Speed of the high-quality drawing: a photo fitted to the 1024 canvas, and the canvas drawn into the
// icon sizes. bench/compare_pillow.py runs the same sizes through Pillow for comparison.

#include "image/Bitmap.h"
#include "image/Graphics.h"

#include <benchmark/benchmark.h>

namespace {

// A deterministic busy picture (so no pass can be skipped) with an alpha ramp when asked.
gw::TBitmap MakePicture(std::int32_t width, std::int32_t height, bool withAlpha) {
    gw::TBitmap bmp(width, height);
    std::uint32_t state = 12345;
    for (std::int32_t y = 0; y < height; ++y) {
        auto row = bmp.Row(y);
        for (std::int32_t x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const std::uint32_t alpha =
                withAlpha ? static_cast<std::uint32_t>((x + y) * 255 / (width + height)) : 255u;
            row[x] = (alpha << 24) | ((state >> 8) & 0x00FFFFFFu);
        }
    }
    return bmp;
}

void DrawInto(benchmark::State& state, std::int32_t srcW, std::int32_t srcH, std::int32_t dstW,
              std::int32_t dstH, bool withAlpha) {
    const gw::TBitmap src = MakePicture(srcW, srcH, withAlpha);
    for (auto _ : state) {
        gw::TBitmap target(dstW, dstH);
        gw::DrawBitmap(target, src, {0, 0, static_cast<float>(dstW), static_cast<float>(dstH)});
        benchmark::DoNotOptimize(target.Pixels().data());
    }
    state.SetItemsProcessed(state.iterations() * srcW * srcH);
}

void BM_Photo3000x2000To1024x683(benchmark::State& state) {
    DrawInto(state, 3000, 2000, 1024, 683, false);
}
void BM_Canvas1024To256(benchmark::State& state) {
    DrawInto(state, 1024, 1024, 256, 256, true);
}
void BM_Canvas1024To48(benchmark::State& state) {
    DrawInto(state, 1024, 1024, 48, 48, true);
}
void BM_Canvas1024To16(benchmark::State& state) {
    DrawInto(state, 1024, 1024, 16, 16, true);
}

void BM_Canvas1024FractionalRect48(benchmark::State& state) {
    const gw::TBitmap src = MakePicture(1024, 1024, true);
    for (auto _ : state) {
        gw::TBitmap target(48, 48);
        gw::DrawBitmap(target, src, {0, 9.6f, 48, 28.8f});
        benchmark::DoNotOptimize(target.Pixels().data());
    }
}

} // namespace

BENCHMARK(BM_Photo3000x2000To1024x683)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Canvas1024To256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Canvas1024To48)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Canvas1024To16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Canvas1024FractionalRect48)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
