#pragma once
// Installs the icon file coders into the icon document before anything is saved.

namespace gw::cli {

void InstallIconCoders();

} // namespace gw::cli
