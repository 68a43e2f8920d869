#include "pipeline/IconCoders.h"

#include "formats/ico/IcoIO.h"
#include "image/OrbIcon.h"
#include "settings/Setting.h"

namespace gw {

void RegisterIconCoders(const TGlobalSetting& settings) {
    TIconCoders coders = GetIconCoders();
    coders.Ico = IcoIconCoder([&settings] { return settings.CompressVista(); });
    // FIXME: the Macintosh coder is installed here as well once formats/icns provides it.
    SetIconCoders(std::move(coders));
}

} // namespace gw
