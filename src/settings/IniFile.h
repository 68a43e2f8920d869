#pragma once
// An INI document held in memory: sections of "key=value" lines, read from and written to a UTF-8
// file.
//
// Reading trims every line (bytes up to and including the space) and the text on both sides of the
// first "="; empty lines, lines beginning with ";" and lines before the first "[section]" header are
// ignored and not written back. A line inside a section that has no "=" (or nothing before it) is kept
// as it is and written back, but never matches a key. Section names and keys are matched without
// regard to ASCII case; the first of duplicate sections or keys wins. A leading UTF-8 byte order mark
// is skipped; none is written.
//
// Writing gives every section as its "[name]" header, its lines and one empty line, with "\n" line
// ends, and replaces the file atomically.

#include "image/CommonTypes.h"
#include "image/Limits.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gw {

class TIniFile {
public:
    // Reads the file. A missing file gives an empty document. At most maxBytes are read: a longer file
    // is cut after its last line break within them, the rest is treated as absent, and Complete()
    // turns false. A file that exists but cannot be read (or is not a regular file) fails and leaves
    // the document empty.
    TStatus LoadFromFile(const std::filesystem::path& fileName,
                         std::uint64_t maxBytes = limits::kMaxSettingsFileBytes);
    // False after a LoadFromFile that read only the first part of a longer file: such a document must
    // not be saved over that file, which would lose the rest.
    bool Complete() const { return FComplete; }
    // Writes the document to a temporary file beside fileName and renames it over fileName, so the
    // previous file stays intact on any failure. A file that exists but is not writable is refused.
    // A symbolic link is followed: its target is replaced.
    TStatus SaveToFile(const std::filesystem::path& fileName) const;

    void SetText(std::string_view text);
    std::string Text() const;

    std::optional<std::string> ReadValue(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key, const std::string& def) const;
    // A whole decimal number of 32 bits, or "0x"/"0X" and up to 32 bits of hexadecimal; def otherwise.
    std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const;
    // A decimal number with the process locale's decimal separator; def otherwise.
    long double ReadFloat(std::string_view section, std::string_view key, long double def) const;

    // Replaces the key's value (and spelling) in its line, or adds the key at the end of its section
    // (the section at the end of the document). A value holding a line break cannot be stored in a line and
    // is written empty.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int64_t value);
    // The shortest general decimal form that reads back as the same double, with the process locale's
    // decimal separator.
    void WriteFloat(std::string_view section, std::string_view key, double value);

private:
    struct TLine {
        std::string Key; // empty for a line kept as it is
        std::string Value;
    };
    struct TSection {
        std::string Name;
        std::vector<TLine> Lines;
    };
    template <class TSections> static auto* FindSectionIn(TSections& sections, std::string_view name);
    std::vector<TSection> FSections;
    bool FComplete = true;
};

// The number conversions of the file format, with the decimal separator given.
std::optional<std::int32_t> ParseIniInteger(std::string_view text);
std::optional<long double> ParseIniFloat(std::string_view text, std::string_view decimalSeparator);
std::string FormatIniFloat(double value, std::string_view decimalSeparator);
// The decimal separator of the process's current C locale (localeconv), "." when it has none.
std::string LocaleDecimalSeparator();

// ASCII case-insensitive comparison, as used for section names, keys and property order.
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);

} // namespace gw
