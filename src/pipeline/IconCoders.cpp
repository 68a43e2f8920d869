#include "pipeline/IconCoders.h"

#include "formats/icns/MacIcoIO.h"
#include "formats/ico/IcoIO.h"
#include "image/OrbIcon.h"
#include "settings/Setting.h"

namespace gw {

void RegisterIconCoders(const TGlobalSetting& settings) {
    TIconCoders coders = GetIconCoders();
    coders.Ico = IcoIconCoder([&settings] { return settings.CompressVista(); });
    coders.Mac = MacIconCoder(&settings);
    SetIconCoders(std::move(coders));
}

} // namespace gw
