#include "IconOptions.h"

#include "pipeline/FormatList.h"

namespace gw::cli {

std::optional<std::string> ReadIconOptions(const TParsedArgs& parsed, TIconOptions& options,
                                           std::string_view macintosh) {
    const bool mac = options.IconType == TIconType::itMac;
    if (const auto formats = parsed.Value("formats")) {
        if (const auto problem = FormatListProblem(*formats, mac))
            return "--formats: " + *problem + " (a list is like 16x16-32;32x32-8)";
        options.Formats = *formats;
    }
    options.Dither = !parsed.Has("no-dither");
    options.Png = !parsed.Has("no-png");
    options.Modern = parsed.Has("modern");
    if (options.Modern && !mac)
        return "--modern is for Macintosh icons (" + std::string(macintosh) + ")";
    options.Quiet = parsed.Has("quiet");
    return std::nullopt;
}

void ApplyIconOptions(const TIconOptions& options, TGlobalSetting& settings) {
    settings.SetIconType(options.IconType);
    if (options.Formats) {
        if (options.IconType == TIconType::itWin)
            settings.SetWinFormats(*options.Formats);
        else
            settings.SetMacFormats(*options.Formats);
    }
    settings.SetDither(options.Dither);
    settings.SetCompressVista(options.Png);
    settings.SetMacModern(options.Modern);
}

} // namespace gw::cli
