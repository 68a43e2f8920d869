#pragma once
// glyphwright-cli convert: turns pictures into icon files through the batch worker, as a drop on the
// window would, with the default settings changed only by options.

#include <string>
#include <vector>

namespace gw::cli {

// Runs the command on its arguments (those after "convert"); returns the exit status.
int RunConvert(const std::vector<std::string>& args);

// The help text of the command.
std::string ConvertUsage();

} // namespace gw::cli
