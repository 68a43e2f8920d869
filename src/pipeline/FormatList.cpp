#include "pipeline/FormatList.h"

#include "formats/icns/IcnsElements.h"
#include "settings/Setting.h"

#include <charconv>
#include <limits>

namespace gw {

namespace {

constexpr char kQuote = '"';

// Characters that end an unquoted item and are skipped around items: codes 1 to 32.
bool IsBlank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

// Reads a quoted string starting at the opening quote; a doubled quote inside stands for one quote.
// An unterminated string runs to the end of the text.
std::string ReadQuoted(std::string_view text, std::size_t& pos) {
    std::string result;
    ++pos; // the opening quote
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c != kQuote) {
            result += c;
            continue;
        }
        if (pos < text.size() && text[pos] == kQuote) {
            result += kQuote;
            ++pos;
            continue;
        }
        break;
    }
    return result;
}

// The substring rule of the original list format: positions count from 1, a start before 1 counts
// as 1 and a count of 0 or less gives the empty text.
std::string_view CopyText(std::string_view s, std::ptrdiff_t index, std::ptrdiff_t count) {
    if (index < 1)
        index = 1;
    if (count <= 0 || index > static_cast<std::ptrdiff_t>(s.size()))
        return {};
    return s.substr(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
}

// A whole decimal number in 32 bits: leading spaces and one sign allowed, nothing after the digits.
std::optional<std::int64_t> ParseWholeNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    std::int64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return value;
}

} // namespace

std::vector<std::string> SplitDelimitedText(std::string_view text, char delimiter) {
    // NOTE: the list is a C string to the original rule, so an embedded NUL ends it.
    if (const auto nul = text.find('\0'); nul != std::string_view::npos)
        text = text.substr(0, nul);

    std::vector<std::string> items;
    std::size_t pos = 0;
    const auto skipBlanks = [&] {
        while (pos < text.size() && IsBlank(text[pos]))
            ++pos;
    };
    skipBlanks();
    while (pos < text.size()) {
        if (text[pos] == kQuote) {
            items.push_back(ReadQuoted(text, pos));
        } else {
            const std::size_t start = pos;
            while (pos < text.size() && !IsBlank(text[pos]) && text[pos] != delimiter)
                ++pos;
            items.emplace_back(text.substr(start, pos - start));
        }
        skipBlanks();
        if (pos < text.size() && text[pos] == delimiter) {
            if (pos + 1 == text.size())
                items.emplace_back();
            ++pos;
            skipBlanks();
        }
    }
    return items;
}

namespace {

struct TRawFormat {
    std::int64_t Width = 0, Height = 0, Bits = 0;
};

// The three numbers of an item as written; none when a part is not a number or a side is below 1.
std::optional<TRawFormat> ParseRawFormat(std::string_view item) {
    const auto position = [&](char c) -> std::ptrdiff_t {
        const auto found = item.find(c);
        return found == std::string_view::npos ? 0 : static_cast<std::ptrdiff_t>(found) + 1;
    };
    const std::ptrdiff_t d = position('-');
    const std::ptrdiff_t x = position('x');
    const auto width = ParseWholeNumber(CopyText(item, 1, x - 1));
    const auto height = ParseWholeNumber(CopyText(item, x + 1, d - x - 1));
    const auto bits = ParseWholeNumber(CopyText(item, d + 1, std::numeric_limits<std::ptrdiff_t>::max() / 2));
    if (!width || !height || !bits)
        return std::nullopt;
    // An image without pixels cannot be drawn or stored, so a size below 1 does not parse.
    if (*width < 1 || *height < 1)
        return std::nullopt;
    return TRawFormat{*width, *height, *bits};
}

} // namespace

std::optional<TImgFormat> ParseImageFormat(std::string_view item) {
    const auto raw = ParseRawFormat(item);
    if (!raw)
        return std::nullopt;
    return TImgFormat{static_cast<std::int32_t>(raw->Width), static_cast<std::int32_t>(raw->Height),
                      static_cast<std::uint8_t>(static_cast<std::uint64_t>(raw->Bits) & 0xFFu)};
}

std::optional<std::string> FormatListProblem(std::string_view text, bool mac) {
    const std::vector<std::string> items = SplitDelimitedText(text);
    if (items.empty())
        return "the list is empty";
    for (const std::string& item : items) {
        const auto raw = ParseRawFormat(item);
        if (!raw)
            return "'" + item + "' is not an item like 16x16-32";
        const std::int64_t bits = raw->Bits;
        if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
            return "'" + item + "': the bit count must be 1, 4, 8, 24 or 32";
        if (mac) {
            if (icns::FindIconType(static_cast<std::int32_t>(raw->Width),
                                   static_cast<std::int32_t>(raw->Height), static_cast<std::int32_t>(bits))
                    .empty())
                return "'" + item + "' is not an image a Macintosh icon holds";
        } else if (raw->Width > kMaxWindowsIconSide || raw->Height > kMaxWindowsIconSide) {
            return "'" + item + "' is larger than a Windows icon holds (" +
                   std::to_string(kMaxWindowsIconSide) + " x " + std::to_string(kMaxWindowsIconSide) + ")";
        }
    }
    return std::nullopt;
}

bool RepairFormatLists(TGlobalSetting& settings) {
    bool repaired = false;
    if (FormatListProblem(settings.WinFormats(), false)) {
        settings.SetWinFormats(TGlobalSetting::kDefaultWinFormats);
        repaired = true;
    }
    if (FormatListProblem(settings.MacFormats(), true)) {
        settings.SetMacFormats(TGlobalSetting::kDefaultMacFormats);
        repaired = true;
    }
    return repaired;
}

std::optional<TImageFormats> ParseFormatList(std::string_view text) {
    TImageFormats formats;
    for (const auto& item : SplitDelimitedText(text)) {
        const auto format = ParseImageFormat(item);
        if (!format)
            return std::nullopt;
        formats.push_back(*format);
    }
    return formats;
}

} // namespace gw
