// Writing and reading the default Windows icon (ten images, the 256 x 256 one as PNG or as a DIB).

#include "formats/ico/IcoIO.h"

#include <benchmark/benchmark.h>

namespace {

using namespace gw;

void FillDefault(TOrbIcon& doc) {
    const std::int32_t formats[][3] = {{16, 16, 32}, {16, 16, 8},  {16, 16, 4}, {32, 32, 32}, {32, 32, 8},
                                       {32, 32, 4},  {48, 48, 32}, {48, 48, 8}, {64, 64, 32}, {256, 256, 32}};
    for (const auto& f : formats)
        doc.InsertNewImage(f[0], f[1], static_cast<std::uint8_t>(f[2]));
    for (TOrbImage& image : doc.Image()) {
        TBitmap& bitmap = image.Bitmap();
        for (std::int32_t y = 0; y < bitmap.Height(); ++y)
            for (std::int32_t x = 0; x < bitmap.Width(); ++x)
                bitmap.SetPixel(x, y,
                                image.HasPalette()
                                    ? image.Palette().GetPalette((x * 7 + y * 3) % image.Palette().Count())
                                    : MakeColor(static_cast<std::uint8_t>(x + y),
                                                static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
                                                static_cast<std::uint8_t>(x * y)));
    }
}

void BM_SaveDefaultIcon(benchmark::State& state) {
    TOrbIcon doc;
    FillDefault(doc);
    for (auto _ : state) {
        TIcoIO coder(false, state.range(0) != 0);
        TByteWriter out;
        benchmark::DoNotOptimize(coder.SaveToStream(doc, out));
        benchmark::DoNotOptimize(out.Size());
    }
}
BENCHMARK(BM_SaveDefaultIcon)->Arg(0)->Arg(1)->ArgName("png")->Unit(benchmark::kMillisecond);

void BM_LoadDefaultIcon(benchmark::State& state) {
    TOrbIcon doc;
    FillDefault(doc);
    TIcoIO writer(false, state.range(0) != 0);
    TByteWriter out;
    writer.SaveToStream(doc, out);
    for (auto _ : state) {
        TOrbIcon back;
        TIcoIO coder(false);
        benchmark::DoNotOptimize(coder.LoadFromStream(out.Buffer(), back));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.Size()));
}
BENCHMARK(BM_LoadDefaultIcon)->Arg(0)->Arg(1)->ArgName("png")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
