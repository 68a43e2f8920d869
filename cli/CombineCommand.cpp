#include "CombineCommand.h"

#include "IconOptions.h"
#include "Options.h"

#include "color/DataType.h"
#include "formats/IconCoders.h"
#include "image/OrbIcon.h"
#include "pipeline/CombineIcon.h"
#include "pipeline/FileNames.h"
#include "pipeline/FormatList.h"
#include "pipeline/IOManager.h"
#include "settings/Setting.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <optional>

namespace gw::cli {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCommand = "combine";

const std::vector<TOptionSpec> kSpecs = {
    {"output", true, 'o'}, {"type", true},    {"formats", true},     {"no-dither", false},
    {"no-png", false},     {"modern", false}, {"quiet", false, 'q'}, {"help", false, 'h'},
};

struct TCombineOptions : TIconOptions {
    fs::path Output;
    std::vector<fs::path> Sources;
};

std::string LowerExtension(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::optional<std::string> ReadOptions(const TParsedArgs& parsed, TCombineOptions& options) {
    const auto output = parsed.Value("output");
    if (!output || output->empty())
        return "--output FILE is required";
    options.Output = *output;
    const std::string extension = LowerExtension(options.Output);
    if (extension != ".ico" && extension != ".icns")
        return "--output must name a .ico or .icns file, not '" + *output + "'";
    options.IconType = extension == ".icns" ? TIconType::itMac : TIconType::itWin;
    if (const auto type = parsed.Value("type")) {
        if (*type != "win" && *type != "mac")
            return "--type must be win or mac, not '" + *type + "'";
        if ((*type == "mac") != (options.IconType == TIconType::itMac))
            return "--type " + *type + " does not match the output name '" + *output + "'";
    }
    std::error_code error;
    const fs::path folder =
        options.Output.parent_path().empty() ? fs::path(".") : options.Output.parent_path();
    if (!fs::is_directory(folder, error))
        return "output folder '" + folder.string() + "' does not exist";
    if (const auto problem = ReadIconOptions(parsed, options, "an .icns output"))
        return problem;
    for (const auto& operand : parsed.Operands)
        options.Sources.emplace_back(operand);
    if (options.Sources.empty())
        return "no PICTURE given";
    return std::nullopt;
}

const char* RuleText(TCombineRule rule) {
    switch (rule) {
    case TCombineRule::crExact:
        return "as drawn";
    case TCombineRule::crVector:
        return "rendered";
    case TCombineRule::crScaledDown:
        return "scaled down";
    case TCombineRule::crScaledUp:
        return "scaled up";
    }
    return "";
}

} // namespace

std::string CombineUsage() {
    return R"HELP(NAME
    glyphwright-cli combine - make one icon file from several pictures

SYNOPSIS
    glyphwright-cli combine --output FILE [OPTIONS] PICTURE...

DESCRIPTION
    Writes one icon file whose images come from several pictures (BMP, JPEG, PNG, GIF, TIFF,
    JPEG 2000, SVG, SVGZ, WebP, HEIC and AVIF, recognised by their content). An icon file (.ico,
    .cur, .icns) given as a PICTURE brings each of its images as a picture of its own. For each
    format of the list, in this order of preference:
      - a picture of exactly that size is taken as it is, pixel for pixel;
      - else an SVG picture is rendered at that size;
      - else the smallest picture at least that large is scaled down to it;
      - else the largest picture is scaled up to it.
    Pictures keep their aspect and are centred on transparency. Images of fewer than 32 bits are
    then reduced to their palette.

    FILE is never overwritten: when it exists, the icon gets the next free name of the series
    NAME (2).ico, NAME (3).ico, ... When a picture cannot be read, its name and the reason are
    reported and no icon is written.

OPTIONS
    -o, --output FILE
        The icon file to write: NAME.ico for a Windows icon, NAME.icns for a Macintosh icon.

    --type win|mac
        The icon type; it must agree with the extension of FILE, which chooses it by default.

    --formats LIST
        The images, as WIDTHxHEIGHT-BITS items separated by ";", as for 'convert'; by default the
        format list of the icon type.

    --no-dither
        Map 8-, 4- and 1-bit images to their palette without Floyd-Steinberg dithering.

    --no-png
        Store 256 x 256 images of a Windows icon as bitmaps, not as PNG.

    --modern
        For an .icns output: write a modern Macintosh icon. The images from 256 pixels up are
        stored as PNG (no JPEG 2000), and the 32-bit images of 32, 64, 256 and 512 pixels the
        retina elements ic11, ic12, ic13 and ic14 need are added to the list when it lacks them.

    -q, --quiet
        Print nothing but errors.

    -h, --help
        Show this help.

EXIT STATUS
    0 the icon was written, 1 a picture could not be read or the icon not written, 2 the command
    line is wrong.
)HELP";
}

int RunCombine(const std::vector<std::string>& args) {
    TParsedArgs parsed;
    if (const auto done = ParseCommandArgs(kCommand, args, kSpecs, CombineUsage(), parsed))
        return *done;
    TCombineOptions options;
    if (const auto error = ReadOptions(parsed, options))
        return UsageError(kCommand, *error);
    std::signal(SIGPIPE, SIG_IGN);

    TGlobalSetting settings(TPersistence::Detached);
    ApplyIconOptions(options, settings);
    const bool win = options.IconType == TIconType::itWin;
    if (options.Formats)
        win ? settings.SetWinFormats(*options.Formats) : settings.SetMacFormats(*options.Formats);
    TDataType dataType(settings);
    TIOManager manager(settings, dataType);

    std::vector<TCombineSource> sources;
    for (const fs::path& path : options.Sources) {
        if (TStatus status = AddCombineSources(path, sources); !status) {
            ReportError(kCommand, path, status.Reason());
            return kExitFailure;
        }
    }
    std::vector<fs::path> sourcePaths;
    for (const TCombineSource& source : sources)
        sourcePaths.push_back(source.Path);

    auto formats = ParseFormatList(win ? settings.WinFormats() : settings.MacFormats());
    if (formats && options.Modern) {
        // The retina elements are drawn from 32-bit images of these sides.
        for (const std::int32_t side : {32, 64, 256, 512}) {
            const bool listed = std::any_of(formats->begin(), formats->end(), [&](const TImgFormat& format) {
                return format.Width == side && format.Height == side && format.BitCount == 32;
            });
            if (!listed)
                formats->push_back(TImgFormat{side, side, 32});
        }
    }
    TOrbIcon icon;
    std::vector<TCombineChoice> choices;
    if (TStatus status =
            CombineToIcon(sources, formats.value_or(TImageFormats{}), win, manager, icon, &choices);
        !status) {
        PrintLine(stderr, "glyphwright-cli combine: " + status.Reason());
        return kExitFailure;
    }
    sources.clear();

    std::vector<std::uint8_t> bytes;
    const TIconWriteOptions writeOptions{
        .CompressVista = settings.CompressVista(), .Palettes = &dataType, .MacModern = options.Modern};
    TPlacedFile placed;
    placed.Status = EncodeIcon(icon, IconKindForName(options.Output), writeOptions, bytes);
    if (placed.Status)
        placed = SaveWithoutOverwrite(options.Output, bytes);
    if (!placed.Status) {
        ReportError(kCommand, options.Output, "not written: " + placed.Status.Reason());
        return kExitFailure;
    }
    if (!options.Quiet) {
        for (const TCombineChoice& choice : choices)
            PrintLine(stdout, "  " + std::to_string(choice.Format.Width) + "x" +
                                  std::to_string(choice.Format.Height) + "-" +
                                  std::to_string(choice.Format.BitCount) + " from " +
                                  sourcePaths[choice.Source].string() + " (" + RuleText(choice.Rule) + ")");
        PrintLine(stdout, "-> " + placed.Path.string());
    }
    return kExitOk;
}

} // namespace gw::cli
