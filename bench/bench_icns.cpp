// The Macintosh icon coder: a whole save of the default Macintosh format list drawn from a photo-like
// canvas, its slow elements one by one, and reading the file back.

#include "codecs/ConvertPng.h"
#include "codecs/Jpeg2000Codec.h"
#include "color/DataType.h"
#include "formats/icns/IcnsRle.h"
#include "formats/icns/MacIcoIO.h"
#include "image/Graphics.h"
#include "image/OrbIcon.h"
#include "settings/Setting.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

namespace gw {
namespace {

// A 1024 x 1024 canvas like a fitted photo: smooth colour fields, edges and noise, opaque inside a
// transparent border (a landscape picture centred on the square canvas).
const TBitmap& PhotoCanvas() {
    static const TBitmap canvas = [] {
        TBitmap bitmap(1024, 1024);
        std::mt19937 random(11);
        std::uniform_int_distribution<int> noise(-5, 5);
        const auto clamp = [](double v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0)); };
        for (std::int32_t y = 208; y < 816; ++y) {
            const std::span<TColor> row = bitmap.Row(y);
            for (std::int32_t x = 0; x < 1024; ++x) {
                const double fx = x / 1024.0, fy = y / 1024.0;
                const bool sky = fy < 0.5 + 0.06 * std::sin(fx * 11);
                row[x] =
                    MakeColor(255, clamp(70 + 110 * sky + 40 * std::sin(fx * 19 + fy * 5) + noise(random)),
                              clamp(80 + 90 * fy + 30 * std::cos(fx * 7 - fy * 23) + noise(random)),
                              clamp(90 + 140 * sky + 20 * std::sin(fx * fy * 60) + noise(random)));
            }
        }
        return bitmap;
    }();
    return canvas;
}

struct TFormat {
    std::int32_t Side;
    std::uint8_t BitCount;
};
constexpr TFormat kDefaultMac[] = {{16, 32}, {16, 8}, {16, 4},   {32, 32},  {32, 8},   {32, 4},
                                   {48, 32}, {48, 8}, {128, 32}, {256, 32}, {512, 32}, {1024, 32}};

// The document a conversion of the canvas makes with the default settings.
struct TDefaultDocument {
    TGlobalSetting Settings{TPersistence::Detached};
    TDataType DataType{Settings};
    TOrbIcon Icon;

    TDefaultDocument() {
        for (const TFormat& format : kDefaultMac) {
            TOrbImage& image = Icon.Image()[Icon.InsertNewImage(format.Side, format.Side, format.BitCount)];
            DrawBitmap(image.Bitmap(), PhotoCanvas(), TGPRectF{0, 0, float(format.Side), float(format.Side)});
            DataType.Change(image, format.BitCount, format.BitCount == 8 ? pmAdaptive : pmWindows);
        }
    }
};

void BM_IcnsSaveDefault(benchmark::State& state) {
    TDefaultDocument source;
    for (auto _ : state) {
        state.PauseTiming();
        const std::unique_ptr<TOrbMultiImage> doc = source.Icon.Clone();
        TMacIcoIO coder(false, &source.DataType);
        coder.SetThreadCount(static_cast<std::int32_t>(state.range(0)));
        coder.SetModern(state.range(1) != 0);
        TByteWriter out;
        state.ResumeTiming();
        if (!coder.SaveToStream(*doc, out))
            state.SkipWithError("save failed");
        state.counters["bytes"] = static_cast<double>(out.Size());
    }
}
// Arguments: threads, and 1 for a modern file (PNG from 256 up, retina elements).
BENCHMARK(BM_IcnsSaveDefault)
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({1, 1})
    ->Args({2, 1})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The PNG of "ic10", the long pole of a save.
void BM_IcnsPng1024(benchmark::State& state) {
    std::vector<std::uint8_t> out;
    for (auto _ : state)
        BitmapToPngData(PhotoCanvas(), out);
    state.counters["bytes"] = static_cast<double>(out.size());
}
BENCHMARK(BM_IcnsPng1024)->Unit(benchmark::kMillisecond);

void BM_IcnsJpeg2000(benchmark::State& state) {
    const auto side = static_cast<std::int32_t>(state.range(0));
    TBitmap picture(side, side);
    DrawBitmap(picture, PhotoCanvas(), TGPRectF{0, 0, float(side), float(side)});
    std::vector<std::uint8_t> out;
    for (auto _ : state)
        EncodeJpeg2000(picture, static_cast<std::int32_t>(state.range(1)), out);
    state.counters["bytes"] = static_cast<double>(out.size());
}
BENCHMARK(BM_IcnsJpeg2000)
    ->Args({256, 1})
    ->Args({512, 1})
    ->Args({512, 2})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_IcnsRle128(benchmark::State& state) {
    TBitmap picture(128, 128);
    DrawBitmap(picture, PhotoCanvas(), TGPRectF{0, 0, 128, 128});
    for (auto _ : state)
        benchmark::DoNotOptimize(icns::Rle24Encode(picture, true));
}
BENCHMARK(BM_IcnsRle128)->Unit(benchmark::kMicrosecond);

void BM_IcnsLoadDefault(benchmark::State& state) {
    TDefaultDocument source;
    TByteWriter file;
    TMacIcoIO writer(false, &source.DataType);
    writer.SetModern(state.range(0) != 0);
    writer.SaveToStream(source.Icon, file);
    for (auto _ : state) {
        TOrbIcon doc;
        if (!TMacIcoIO(false).LoadFromStream(file.Buffer(), doc))
            state.SkipWithError("load failed");
    }
}
// Argument: 1 for a modern file, whose retina copies are decoded for the load report too.
BENCHMARK(BM_IcnsLoadDefault)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace gw

BENCHMARK_MAIN();
