#pragma once
// The options that say how icons are made, shared by convert and combine: --formats, --no-dither,
// --no-png, --modern and --quiet, read once the icon type is known, and put into the settings a
// conversion reads.

#include "Options.h"

#include "settings/Setting.h"

#include <optional>
#include <string>
#include <string_view>

namespace gw::cli {

struct TIconOptions {
    TIconType IconType = TIconType::itWin;
    std::optional<std::string> Formats;
    bool Dither = true;
    bool Png = true;
    bool Modern = false;
    bool Quiet = false;
};

// Fills options (IconType already set) from parsed; an error message when they do not make sense.
// macintosh says what asks for a Macintosh icon in this command ("--type mac").
std::optional<std::string> ReadIconOptions(const TParsedArgs& parsed, TIconOptions& options,
                                           std::string_view macintosh);

// The icon type, the format list of that type, dithering, PNG images and modern elements.
void ApplyIconOptions(const TIconOptions& options, TGlobalSetting& settings);

} // namespace gw::cli
