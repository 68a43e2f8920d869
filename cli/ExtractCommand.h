#pragma once
// glyphwright-cli extract: writes every image of icon files as a PNG file.

#include <string>
#include <vector>

namespace gw::cli {

// Runs the command on its arguments (those after "extract"); returns the exit status.
int RunExtract(const std::vector<std::string>& args);

// The help text of the command.
std::string ExtractUsage();

} // namespace gw::cli
