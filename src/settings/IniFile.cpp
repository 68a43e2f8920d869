#include "settings/IniFile.h"

#include "image/FileIO.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstring>
#include <utility>

namespace gw {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Trims every byte up to and including the space (control characters too), as a text editor's user
// would expect of a hand-edited line.
std::string_view Trim(std::string_view text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Cuts the first bytes of a longer text after their last line break, so that no half line (a value
// cut in the middle) is ever read.
void CutAtLastLineBreak(std::string& bytes) {
    const std::size_t lastBreak = bytes.find_last_of("\r\n");
    bytes.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
}

} // namespace

bool SameText(std::string_view a, std::string_view b) {
    return CompareText(a, b) == 0;
}

int CompareText(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(LowerAscii(a[i]));
        const auto cb = static_cast<unsigned char>(LowerAscii(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::optional<std::int32_t> ParseIniInteger(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        std::uint32_t value = 0;
        const char* end = text.data() + text.size();
        const auto [ptr, ec] = std::from_chars(text.data() + 2, end, value, 16);
        if (ec != std::errc{} || ptr != end)
            return std::nullopt;
        return static_cast<std::int32_t>(value); // 0xFFFFFFFF is -1, as a 32-bit register holds it
    }
    // from_chars takes a "-" but no "+"; a "+" is allowed once, before the digits.
    const bool plus = text.starts_with('+');
    if (plus)
        text.remove_prefix(1);
    if (plus && text.starts_with('-'))
        return std::nullopt;
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (ec != std::errc{} || ptr != end)
        return std::nullopt;
    return value;
}

std::optional<long double> ParseIniFloat(std::string_view text, std::string_view decimalSeparator) {
    // Bring the locale's separator to "." for from_chars, which ignores the locale; a "." is foreign
    // to a locale with another separator and does not convert there.
    std::string normal;
    normal.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (!decimalSeparator.empty() && text.substr(i).starts_with(decimalSeparator)) {
            normal += '.';
            i += decimalSeparator.size();
        } else if (text[i] == '.') {
            return std::nullopt;
        } else {
            normal += text[i++];
        }
    }
    std::string_view digits = normal;
    if (digits.starts_with('+'))
        digits.remove_prefix(1);
    if (digits.empty() || digits.starts_with('+') || digits.starts_with("-+"))
        return std::nullopt;
    long double value = 0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value, std::chars_format::general);
    if (ec != std::errc{} || ptr != end)
        return std::nullopt;
    return value;
}

std::string FormatIniFloat(double value, std::string_view decimalSeparator) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general);
    std::string text;
    for (const char* p = buffer; p != result.ptr; ++p) {
        if (*p == '.')
            text += decimalSeparator;
        else
            text += *p;
    }
    return text;
}

std::string LocaleDecimalSeparator() {
    const std::lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr || *conventions->decimal_point == 0)
        return ".";
    return conventions->decimal_point;
}

TStatus TIniFile::LoadFromFile(const fs::path& fileName, std::uint64_t maxBytes) {
    FSections.clear();
    FComplete = true;
    TFilePrefix prefix;
    if (TStatus status = ReadFilePrefix(fileName, maxBytes, prefix); !status)
        return TStatus::Fail(status.Kind(), fileName.string() + ": " + status.Reason());
    std::string bytes(prefix.Bytes.begin(), prefix.Bytes.end());
    FComplete = prefix.Complete;
    if (!FComplete)
        CutAtLastLineBreak(bytes);
    SetText(bytes);
    return TStatus::Ok();
}

TStatus TIniFile::SaveToFile(const fs::path& fileName) const {
    const std::string text = Text();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (TStatus status = WriteFileReplacing(fileName, {bytes, text.size()}, {.FollowSymlink = true}); !status)
        return TStatus::Fail(status.Kind(), fileName.string() + ": " + status.Reason());
    return TStatus::Ok();
}

void TIniFile::SetText(std::string_view text) {
    FSections.clear();
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    TSection* current = nullptr;
    while (!text.empty()) {
        const std::size_t lineEnd = std::min(text.find_first_of("\r\n"), text.size());
        const std::string_view line = Trim(text.substr(0, lineEnd));
        text.remove_prefix(std::min(lineEnd + 1, text.size()));
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            current =
                &FSections.emplace_back(TSection{std::string(Trim(line.substr(1, line.size() - 2))), {}});
            continue;
        }
        if (current == nullptr)
            continue;
        const std::size_t equals = line.find('=');
        const std::string_view key =
            equals == std::string_view::npos ? std::string_view{} : Trim(line.substr(0, equals));
        if (key.empty())
            current->Lines.push_back(TLine{{}, std::string(line)});
        else
            current->Lines.push_back(TLine{std::string(key), std::string(Trim(line.substr(equals + 1)))});
    }
}

std::string TIniFile::Text() const {
    std::string text;
    for (const TSection& section : FSections) {
        text += '[';
        text += section.Name;
        text += "]\n";
        for (const TLine& line : section.Lines) {
            if (!line.Key.empty()) {
                text += line.Key;
                text += '=';
            }
            text += line.Value;
            text += '\n';
        }
        text += '\n';
    }
    return text;
}

template <class TSections> auto* TIniFile::FindSectionIn(TSections& sections, std::string_view name) {
    const auto found = std::ranges::find_if(
        sections, [name](const TSection& section) { return SameText(section.Name, name); });
    return found == sections.end() ? nullptr : &*found;
}

std::optional<std::string> TIniFile::ReadValue(std::string_view section, std::string_view key) const {
    const TSection* found = FindSectionIn(FSections, section);
    if (found == nullptr)
        return std::nullopt;
    for (const TLine& line : found->Lines) {
        if (!line.Key.empty() && SameText(line.Key, key))
            return line.Value;
    }
    return std::nullopt;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& def) const {
    return ReadValue(section, key).value_or(def);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const {
    const auto text = ReadValue(section, key);
    const auto value = text ? ParseIniInteger(*text) : std::nullopt;
    return value.value_or(def);
}

long double TIniFile::ReadFloat(std::string_view section, std::string_view key, long double def) const {
    const auto text = ReadValue(section, key);
    const auto value = text ? ParseIniFloat(*text, LocaleDecimalSeparator()) : std::nullopt;
    return value.value_or(def);
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (value.find_first_of("\r\n") != std::string_view::npos)
        value = {};
    TSection* found = FindSectionIn(FSections, section);
    if (found == nullptr)
        found = &FSections.emplace_back(TSection{std::string(section), {}});
    for (TLine& line : found->Lines) {
        if (!line.Key.empty() && SameText(line.Key, key)) {
            line.Key = key; // the line stays where it is, spelt as the writer spells the key
            line.Value = value;
            return;
        }
    }
    found->Lines.push_back(TLine{std::string(key), std::string(value)});
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int64_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteFloat(std::string_view section, std::string_view key, double value) {
    WriteString(section, key, FormatIniFloat(value, LocaleDecimalSeparator()));
}

} // namespace gw
