#include "IconCoders.h"

namespace gw::cli {

void InstallIconCoders() {
    // FIXME: installed once the icon coders exist in formats/.
}

} // namespace gw::cli
