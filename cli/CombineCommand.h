#pragma once
// glyphwright-cli combine: one icon file from several pictures, each image from the source that suits
// its size best.

#include <string>
#include <vector>

namespace gw::cli {

// Runs the command on its arguments (those after "combine"); returns the exit status.
int RunCombine(const std::vector<std::string>& args);

// The help text of the command.
std::string CombineUsage();

} // namespace gw::cli
