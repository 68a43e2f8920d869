// Whole conversions of a photo-like JPEG to the default Windows icon, and the steps they consist of,
// so that a slow conversion shows where its time goes.

#include "color/DataType.h"
#include "image/OrbIcon.h"
#include "image/OrbImage.h"
#include "pipeline/IOManager.h"
#include "settings/Setting.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <jpeglib.h>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

namespace gw {
namespace {

namespace fs = std::filesystem;

constexpr int kPhotoWidth = 6000;
constexpr int kPhotoHeight = 3400;

// Smooth colour fields with edges and some sensor-like noise: compresses and decodes like a photo.
std::vector<std::uint8_t> MakePhotoRgb(int width, int height) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 6.0f);
    for (int y = 0; y < height; ++y) {
        const float fy = static_cast<float>(y) / height;
        for (int x = 0; x < width; ++x) {
            const float fx = static_cast<float>(x) / width;
            const float sky = fy < 0.45f + 0.08f * std::sin(fx * 9.0f) ? 1.0f : 0.0f;
            const float r = 60 + 120 * sky * (1 - fy) + 50 * std::sin(fx * 23 + fy * 7) + noise(random);
            const float g = 90 + 80 * (1 - sky) * fy + 40 * std::sin(fx * 5 - fy * 31) + noise(random);
            const float b = 80 + 150 * sky + 30 * std::cos(fx * 41 * fy) + noise(random);
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(std::clamp(r, 0.0f, 255.0f));
            p[1] = static_cast<std::uint8_t>(std::clamp(g, 0.0f, 255.0f));
            p[2] = static_cast<std::uint8_t>(std::clamp(b, 0.0f, 255.0f));
        }
    }
    return rgb;
}

void WriteJpeg(const fs::path& path, const std::vector<std::uint8_t>& rgb, int width, int height) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<std::size_t>(cinfo.next_scanline) * width * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

// One photo file and the program-wide objects, shared by every benchmark of this program.
struct TFixture {
    fs::path Folder;
    fs::path Photo;
    std::unique_ptr<TGlobalSetting> Settings;
    std::unique_ptr<TDataType> DataType;
    std::unique_ptr<TIOManager> Manager;

    TFixture() {
        Folder = fs::temp_directory_path() / ("gw-bench-convert-" + std::to_string(::getpid()));
        fs::create_directories(Folder);
        Photo = Folder / "photo.jpg";
        WriteJpeg(Photo, MakePhotoRgb(kPhotoWidth, kPhotoHeight), kPhotoWidth, kPhotoHeight);
        // The defaults, without reading or writing the user's settings file.
        Settings = std::make_unique<TGlobalSetting>(TPersistence::Detached);
        DataType = std::make_unique<TDataType>(*Settings);
        Manager = std::make_unique<TIOManager>(*Settings, *DataType);
    }
    ~TFixture() {
        Manager.reset();
        DataType.reset();
        Settings.reset();
        std::error_code ec;
        fs::remove_all(Folder, ec);
    }
};

TFixture& Fixture() {
    static TFixture fixture;
    return fixture;
}

void BM_ConvertJpegToDefaultIco(benchmark::State& state) {
    TFixture& f = Fixture();
    bool saved = true;
    for (auto _ : state) {
        TErrorType errorType = TErrorType::etNone;
        saved = f.Manager->ProcessFile(f.Photo, errorType) && saved;
        state.PauseTiming();
        if (!f.Manager->LastOutputFile().empty())
            fs::remove(f.Manager->LastOutputFile());
        state.ResumeTiming();
    }
    if (!saved)
        state.SetLabel("icon not saved (no icon coder installed)");
}
BENCHMARK(BM_ConvertJpegToDefaultIco)->Unit(benchmark::kMillisecond);

// The JPEG decoded at the smallest DCT scale that still covers the 1024-pixel canvas, and in full.
void BM_DecodeJpeg(benchmark::State& state) {
    TFixture& f = Fixture();
    const auto targetSide = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(TIOManager::OpenImage(f.Photo, TFileTypes::ftJpg, targetSide));
}
BENCHMARK(BM_DecodeJpeg)->Arg(TIOManager::kCanvasSize)->Arg(0)->Unit(benchmark::kMillisecond);

// Fitting the reduced picture and centring it on the canvas.
void BM_FitOntoCanvas(benchmark::State& state) {
    TFixture& f = Fixture();
    const auto decoded = TIOManager::OpenImage(f.Photo, TFileTypes::ftJpg, TIOManager::kCanvasSize);
    f.Manager->SetMaxSize(TIOManager::kCanvasSize);
    for (auto _ : state) {
        std::int32_t width = TIOManager::kCanvasSize, height = TIOManager::kCanvasSize;
        const auto fitted = f.Manager->SolveBitmapSize(width, height, true, *decoded);
        TBitmap canvas(std::max(width, height), std::max(width, height));
        TIOManager::ImageToImage(*fitted, canvas);
        benchmark::DoNotOptimize(canvas);
    }
    f.Manager->SetMaxSize(512);
}
BENCHMARK(BM_FitOntoCanvas)->Unit(benchmark::kMillisecond);

// Drawing the ten default formats from a full canvas and reducing each to its depth.
void BM_DrawAndReduceDefaultFormats(benchmark::State& state) {
    TFixture& f = Fixture();
    TOrbImage canvas(TIOManager::kCanvasSize, TIOManager::kCanvasSize, 32);
    {
        const auto decoded = TIOManager::OpenImage(f.Photo, TFileTypes::ftJpg, TIOManager::kCanvasSize);
        TIOManager::ImageToImage(*decoded, canvas.Bitmap());
    }
    const auto formats = ParseFormatList(TGlobalSetting::kDefaultWinFormats);
    for (auto _ : state) {
        TOrbIcon icon;
        for (const TImgFormat& format : *formats)
            f.Manager->CreateImageFromImage(icon, canvas, format.Width, format.Height, format.BitCount, true);
        benchmark::DoNotOptimize(icon.ImageCount());
    }
}
BENCHMARK(BM_DrawAndReduceDefaultFormats)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace gw

BENCHMARK_MAIN();
