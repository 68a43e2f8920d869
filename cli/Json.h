#pragma once
// Just enough JSON for the command line's machine-readable output (RFC 8259).

#include <string>
#include <string_view>

namespace gw::cli {

// text as a JSON string literal with its quotes. Quote, backslash and control characters are
// escaped; bytes that are not valid UTF-8 (file names on Linux may hold any byte) each become
// U+FFFD, so the document is always valid UTF-8.
std::string JsonString(std::string_view text);

} // namespace gw::cli
