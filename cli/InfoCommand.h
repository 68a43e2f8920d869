#pragma once
// glyphwright-cli info: lists the images of icon files and how each is stored.

#include <string>
#include <vector>

namespace gw::cli {

// Runs the command on its arguments (those after "info"); returns the exit status.
int RunInfo(const std::vector<std::string>& args);

// The help text of the command.
std::string InfoUsage();

} // namespace gw::cli
