#pragma once
// One input through each reader the fuzz targets exercise. The libFuzzer targets, the replay program
// and the regression tests (tests/pipeline/FuzzRegressionTest.cpp) all call these, so a committed
// crashing input replays through exactly the code path that found it.
//
// Each entry answers whether the input was handled cleanly (accepted with a consistent result or
// refused with a failure) and with the reader's status, so a replay can also require the refusal a
// hostile file must meet. Crashes, leaks and undefined behaviour are caught by the sanitizers; an
// unclean answer means a broken promise (a success without a picture, a partial output file left behind).

#include "codecs/ConvertPng.h"
#include "color/DataType.h"
#include "formats/IconCoders.h"
#include "formats/icns/MacIcoIO.h"
#include "formats/ico/IcoIO.h"
#include "image/OrbIcon.h"
#include "pipeline/IOManager.h"
#include "pipeline/Importers.h"
#include "pipeline/TypeCheck.h"
#include "settings/IniFile.h"
#include "settings/Setting.h"

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace gw::fuzz {

using TBytes = std::span<const std::uint8_t>;

struct TOutcome {
    bool Clean = false;
    TStatus Status; // what the reader answered (Ok for the checks that read nothing: typecheck, ini)
};

// A picture type is one an importer reads, and the types told by a signature have it.
inline TOutcome TypeCheckOne(TBytes data) {
    const TFileTypes type = CheckFileType(data);
    const auto startsWith = [data](std::string_view magic) {
        return data.size() >= magic.size() &&
               std::equal(magic.begin(), magic.end(), data.begin(),
                          [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
    };
    const bool readable =
        GetTypeCategory(type) != TFileCategory::fcPicture || CreateImporter(type) != nullptr;
    const bool signed_ = (type != TFileTypes::ftPng || startsWith("\x89PNG")) &&
                         (type != TFileTypes::ftGif || startsWith("GIF")) &&
                         (type != TFileTypes::ftBmp || startsWith("BM")) &&
                         (type != TFileTypes::ftMacIcon || startsWith("icns"));
    return {readable && signed_, TStatus::Ok()};
}

// A decoded picture is valid and within the bitmap limits; a refusal leaves no picture.
inline TOutcome ImportOne(TFileTypes type, TBytes data, std::int32_t targetSide = 0) {
    const auto importer = CreateImporter(type);
    TBitmap picture;
    TStatus status = importer->ImportData(data, picture, targetSide);
    const bool clean = status
                           ? picture.IsValid() && limits::FitsBitmapLimits(picture.Width(), picture.Height())
                           : !picture.IsValid();
    return {clean, std::move(status)};
}

// Full size, and reduced as a conversion asks for it (targetSide); the status is the full-size one.
inline TOutcome ImportTwice(TFileTypes type, TBytes data, std::int32_t targetSide) {
    TOutcome full = ImportOne(type, data);
    full.Clean = ImportOne(type, data, targetSide).Clean && full.Clean;
    return full;
}

// Every image a loaded icon document holds has its bitmap of its own size.
inline bool DocumentConsistent(TOrbIcon& icon) {
    for (const TOrbImage& image : icon.Image())
        if (image.Bitmap().Width() != image.Width() || image.Bitmap().Height() != image.Height())
            return false;
    return true;
}

inline TOutcome IcoOne(TBytes data) {
    TIcoIO coder(false);
    TOrbIcon icon;
    TStatus status = coder.LoadFromStream(data, icon);
    const bool clean = status ? icon.ImageCount() > 0 && DocumentConsistent(icon) : icon.ImageCount() == 0;
    return {clean, std::move(status)};
}

// A refusal has a reason. Either way the images kept are consistent (a
// refusal may keep the images read before it).
inline TOutcome IcnsOne(TBytes data) {
    TMacIcoIO coder(false);
    TOrbIcon icon;
    TStatus status = coder.LoadFromStream(data, icon);
    const bool answered = status || !status.Reason().empty();
    return {answered && DocumentConsistent(icon), std::move(status)};
}

inline TOutcome PngConvertOne(TBytes data) {
    TBitmap bitmap;
    TStatus status = PngDataToBitmap(data, bitmap);
    const bool clean = !status || bitmap.IsValid();
    return {clean, std::move(status)};
}

inline TOutcome IniOne(TBytes data) {
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    TIniFile ini;
    ini.SetText(text);
    (void)ini.ReadString("General", "Path", "");
    (void)ini.ReadInteger("General", "IconType", 0);
    (void)ini.ReadFloat("General", "AnimationSpeed", 1.0L);
    ini.WriteString("General", "Path", "/tmp/out");
    ini.WriteInteger("Fuzz", "Count", 7);
    // What the file says must survive a write and a re-read of the document's own text.
    TIniFile again;
    again.SetText(ini.Text());
    return {again.ReadString("General", "Path", "") == "/tmp/out" &&
                again.ReadInteger("Fuzz", "Count", 0) == 7,
            TStatus::Ok()};
}

// Converts the bytes as a dropped file with the real coders, into a private temporary folder: the
// folder afterwards holds the input and, after a success only, one complete icon file that loads.
class TConversionRig {
public:
    TConversionRig()
        : FSettings(TPersistence::Detached), FDataType(FSettings), FManager(FSettings, FDataType) {
        // A short list keeps each run quick while passing every depth and both palette kinds.
        FSettings.SetWinFormats("16x16-32;16x16-8;16x16-4;32x32-1;256x256-32");
        FSettings.SetMacFormats("16x16-32;16x16-8;16x16-4;32x32-1;256x256-32;512x512-32");
        FDir = std::filesystem::temp_directory_path() / ("gw-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(FDir);
    }
    ~TConversionRig() {
        std::error_code ignored;
        std::filesystem::remove_all(FDir, ignored);
    }

    TOutcome ConvertOne(TBytes data, bool mac) {
        FSettings.SetIconType(mac ? TIconType::itMac : TIconType::itWin);
        const std::filesystem::path input = FDir / "input.bin";
        {
            std::ofstream out(input, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        }
        TErrorType errorType = TErrorType::etNone;
        const bool converted = FManager.ProcessFile(input, errorType);
        bool clean = !converted || errorType == TErrorType::etNone;
        std::size_t others = 0;
        for (const auto& entry : std::filesystem::directory_iterator(FDir)) {
            if (entry.path() == input)
                continue;
            ++others;
            if (converted && entry.path() == FManager.LastOutputFile()) {
                TOrbIcon icon;
                clean = clean && LoadIcon(entry.path(), icon).IsOk() && icon.ImageCount() > 0;
            } else {
                clean = false; // a partial or unexpected file
            }
            std::filesystem::remove(entry.path());
        }
        return {clean && others == (converted ? 1u : 0u), FManager.LastStatus()};
    }

private:
    TGlobalSetting FSettings;
    TDataType FDataType;
    TIOManager FManager;
    std::filesystem::path FDir;
};

// The targets by the name their fuzz_<name> program and regression folder carry; an unknown name is
// never clean.
inline TOutcome Run(std::string_view target, TBytes data) {
    if (target == "typecheck")
        return TypeCheckOne(data);
    if (target == "bmp") // reduced while its rows are read too
        return ImportTwice(TFileTypes::ftBmp, data, 16);
    if (target == "png") // reduced while its rows are read too
        return ImportTwice(TFileTypes::ftPng, data, 16);
    if (target == "gif") // reduced while its rows are read too
        return ImportTwice(TFileTypes::ftGif, data, 16);
    if (target == "tiff") // reduced while its rows are read too
        return ImportTwice(TFileTypes::ftTiff, data, 16);
    if (target == "jpeg2000") // at a reduced wavelet resolution too
        return ImportTwice(TFileTypes::ftJpg2000, data, 16);
    if (target == "jpeg") // reduced by DCT scaling too
        return ImportTwice(TFileTypes::ftJpg, data, 64);
    if (target == "svg") // at an icon size too
        return ImportTwice(TFileTypes::ftSvg, data, 16);
    if (target == "webp")
        return ImportOne(TFileTypes::ftWebp, data);
    if (target == "heif")
        return ImportOne(TFileTypes::ftHeif, data);
    if (target == "ico")
        return IcoOne(data);
    if (target == "icns")
        return IcnsOne(data);
    if (target == "pngconvert")
        return PngConvertOne(data);
    if (target == "ini")
        return IniOne(data);
    if (target == "processfile") {
        static TConversionRig rig;
        // Both icon types: the parity of the size picks one, so the bytes stay as the fuzzer made them.
        return rig.ConvertOne(data, data.size() % 2 == 1);
    }
    return {false, TStatus::Fail(TFailure::Unsupported, "no such fuzz target")};
}

inline bool RunOne(std::string_view target, TBytes data) {
    return Run(target, data).Clean;
}

// The body of every LLVMFuzzerTestOneInput: a broken promise stops the fuzzer like a crash.
inline int RunOrTrap(std::string_view target, const std::uint8_t* data, std::size_t size) {
    if (!RunOne(target, {data, size}))
        __builtin_trap();
    return 0;
}

} // namespace gw::fuzz
