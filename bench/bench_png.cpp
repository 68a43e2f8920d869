// PNG data of a 256 x 256 icon image: encoding from a bitmap (level 7, Sub filter) and decoding
// back into a bitmap; and the 1024 x 1024 image of a Macintosh icon, compressed in blocks on 1 and 2
// threads.

#include "codecs/ConvertPng.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

namespace {

// Photo-like content: smooth gradients in every channel with a little noise, partly transparent at
// one corner, which compresses about as well as a scaled-down photograph.
gw::TBitmap MakePhotoLike(std::int32_t side) {
    gw::TBitmap bitmap(side, side);
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> noise(-6, 6);
    auto channel = [&](int base) {
        return static_cast<std::uint8_t>(std::clamp(base + noise(random), 0, 255));
    };
    for (std::int32_t y = 0; y < side; ++y) {
        auto row = bitmap.Row(y);
        for (std::int32_t x = 0; x < side; ++x) {
            const int alpha = std::min(255, (x + y) * 2);
            row[x] = gw::MakeColor(static_cast<std::uint8_t>(alpha), channel(x * 255 / side),
                                   channel(y * 255 / side), channel(128 + (x - y) / 3));
        }
    }
    return bitmap;
}

void BM_EncodePng256(benchmark::State& state) {
    const gw::TBitmap bitmap = MakePhotoLike(256);
    std::vector<std::uint8_t> data;
    for (auto _ : state) {
        if (!gw::BitmapToPngData(bitmap, data))
            state.SkipWithError("encoding failed");
        benchmark::DoNotOptimize(data.data());
    }
    state.counters["png_bytes"] = static_cast<double>(data.size());
    state.SetItemsProcessed(state.iterations() * 256 * 256);
}
BENCHMARK(BM_EncodePng256)->Unit(benchmark::kMillisecond);

void BM_DecodePng256(benchmark::State& state) {
    std::vector<std::uint8_t> data;
    if (!gw::BitmapToPngData(MakePhotoLike(256), data)) {
        state.SkipWithError("encoding failed");
        return;
    }
    gw::TBitmap bitmap;
    for (auto _ : state) {
        if (!gw::PngDataToBitmap(data, bitmap))
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(bitmap.Pixels().data());
    }
    state.SetItemsProcessed(state.iterations() * 256 * 256);
}
BENCHMARK(BM_DecodePng256)->Unit(benchmark::kMillisecond);

void BM_EncodePng1024(benchmark::State& state) {
    const gw::TBitmap bitmap = MakePhotoLike(1024);
    const auto threads = static_cast<std::int32_t>(state.range(0));
    std::vector<std::uint8_t> data;
    for (auto _ : state) {
        if (!gw::BitmapToPngData(bitmap, data, threads))
            state.SkipWithError("encoding failed");
        benchmark::DoNotOptimize(data.data());
    }
    state.counters["png_bytes"] = static_cast<double>(data.size());
    state.SetItemsProcessed(state.iterations() * 1024 * 1024);
}
BENCHMARK(BM_EncodePng1024)->Arg(1)->Arg(2)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
