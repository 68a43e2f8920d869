// Colour depth conversion of icon-sized images: the adaptive 8-bit palette with dithering and the
// 4-bit Windows palette, with and without dithering, at 256 x 256 and 48 x 48.

#include "color/ColorQuantizer.h"
#include "color/DataType.h"
#include "image/Convert.h"
#include "image/OrbImage.h"
#include "settings/Setting.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include <unistd.h>

namespace {

using namespace gw;

// A photo-like picture: smooth colour waves, some noise, and a soft-edged opaque disc on transparency.
TBitmap MakePicture(std::int32_t side) {
    TBitmap bitmap(side, side);
    std::mt19937 rng(7);
    const double c = (side - 1) / 2.0;
    for (std::int32_t y = 0; y < side; ++y) {
        for (std::int32_t x = 0; x < side; ++x) {
            const double u = static_cast<double>(x) / side, v = static_cast<double>(y) / side;
            const auto wave = [&](double f, double phase) {
                return static_cast<int>(127.5 + 110 * std::sin(f * u + 3 * v + phase)) +
                       static_cast<int>(rng() % 17) - 8;
            };
            const auto channel = [](int value) {
                return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
            };
            const double d = std::hypot(x - c, y - c) / c;
            const auto alpha = static_cast<std::uint8_t>(std::clamp((1.05 - d) * 1200, 0.0, 255.0));
            bitmap.SetPixel(x, y,
                            MakeColor(alpha, channel(wave(5, 0)), channel(wave(7, 2)), channel(wave(3, 4))));
        }
    }
    return bitmap;
}

// The settings live in a private folder so that the benchmark never touches the user's settings file.
class TBenchSettings {
public:
    TBenchSettings() {
        FFolder = std::filesystem::temp_directory_path() / ("gw-bench-color-" + std::to_string(::getpid()));
        std::filesystem::create_directories(FFolder);
        ::setenv("GLYPHWRIGHT_CONFIG_DIR", FFolder.c_str(), 1);
        FSettings = std::make_unique<TGlobalSetting>();
    }
    ~TBenchSettings() {
        FSettings.reset();
        std::error_code ignored;
        std::filesystem::remove_all(FFolder, ignored);
    }
    TGlobalSetting& Settings() { return *FSettings; }

private:
    std::filesystem::path FFolder;
    std::unique_ptr<TGlobalSetting> FSettings;
};

TBenchSettings& BenchSettings() {
    static TBenchSettings settings;
    return settings;
}

void RunChange(benchmark::State& state, std::uint8_t bitCount, std::uint8_t mode, bool dither) {
    const auto side = static_cast<std::int32_t>(state.range(0));
    const TBitmap source = MakePicture(side);
    BenchSettings().Settings().SetDither(dither);
    TDataType converter(BenchSettings().Settings());
    for (auto _ : state) {
        TOrbImage image(side, side, 32);
        image.SetBitmap(source);
        converter.Change(image, bitCount, mode);
        benchmark::DoNotOptimize(image.Bitmap().Pixels().data());
    }
    state.SetItemsProcessed(state.iterations() * side * side);
}

void BM_Change8AdaptiveDithered(benchmark::State& state) {
    RunChange(state, 8, pmAdaptive, true);
}
void BM_Change8AdaptiveNearest(benchmark::State& state) {
    RunChange(state, 8, pmAdaptive, false);
}
void BM_Change4WindowsDithered(benchmark::State& state) {
    RunChange(state, 4, pmWindows, true);
}
void BM_Change4WindowsNearest(benchmark::State& state) {
    RunChange(state, 4, pmWindows, false);
}

void BM_Quantize(benchmark::State& state) {
    const auto side = static_cast<std::int32_t>(state.range(0));
    TBitmap24 grid;
    GPBitmapToBitmap(MakePicture(side), grid);
    for (auto _ : state) {
        TColorQuantizer quantizer(255, 6);
        quantizer.ProcessImage(grid);
        TRGBTripleArray table;
        quantizer.GetColorTable(table);
        benchmark::DoNotOptimize(table.data());
    }
    state.SetItemsProcessed(state.iterations() * side * side);
}

BENCHMARK(BM_Change8AdaptiveDithered)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Change8AdaptiveNearest)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Change4WindowsDithered)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Change4WindowsNearest)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Quantize)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
