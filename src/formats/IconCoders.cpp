#include "formats/IconCoders.h"

#include "formats/icns/MacIcoIO.h"
#include "formats/ico/IcoIO.h"
#include "image/FileIO.h"
#include "image/Limits.h"

#include <string>
#include <string_view>
#include <system_error>

namespace gw {

namespace {

// The extension from the last "." of the file name, dot included, lower-cased; empty without a dot.
// NOTE: std::filesystem::path::extension() answers "" for a name such as ".icns", which would write
// the wrong format, so the name is taken apart by hand.
std::string LowerExtension(const std::filesystem::path& fileName) {
    const std::string name = fileName.filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return {};
    std::string ext = name.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

// Why fileName cannot be read as a file at all, in the words the user sees; empty when it can.
std::string WhyUnreadable(const std::filesystem::path& fileName) {
    std::error_code error;
    if (std::filesystem::is_regular_file(fileName, error))
        return {};
    if (error)
        return error.message();
    return std::filesystem::exists(fileName, error) ? "not a regular file" : "no such file";
}

} // namespace

TIconFileKind IconKindForName(const std::filesystem::path& fileName) {
    return LowerExtension(fileName) == ".icns" ? TIconFileKind::Macintosh : TIconFileKind::Windows;
}

TIconFileKind IconKindForContent(std::span<const std::uint8_t> data) {
    constexpr std::string_view kMagic = "icns";
    const bool mac = data.size() >= kMagic.size() &&
                     std::equal(kMagic.begin(), kMagic.end(), data.begin(),
                                [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
    return mac ? TIconFileKind::Macintosh : TIconFileKind::Windows;
}

std::unique_ptr<TMultiImageIO> CreateIconCoder(TIconFileKind kind, bool verbose,
                                               const TIconWriteOptions& options) {
    if (kind == TIconFileKind::Macintosh) {
        auto coder = std::make_unique<TMacIcoIO>(verbose, options.Palettes);
        coder->SetModern(options.MacModern);
        return coder;
    }
    auto coder = std::make_unique<TIcoIO>(verbose, options.CompressVista);
    coder->SetPngEncoder(options.PngEncoder);
    return coder;
}

TStatus EncodeIcon(TOrbIcon& doc, TIconFileKind kind, const TIconWriteOptions& options,
                   std::vector<std::uint8_t>& bytes) {
    return CreateIconCoder(kind, doc.Verbose(), options)->Save(doc, bytes);
}

TStatus SaveIcon(TOrbIcon& doc, const std::filesystem::path& fileName, const TIconWriteOptions& options) {
    return CreateIconCoder(IconKindForName(fileName), doc.Verbose(), options)->SaveToFile(doc, fileName);
}

TStatus LoadIconData(std::span<const std::uint8_t> data, TOrbIcon& doc, TIconLoadReport& report) {
    return CreateIconCoder(IconKindForContent(data), doc.Verbose())->Load(data, doc, report);
}

TStatus LoadIcon(const std::filesystem::path& fileName, TOrbIcon& doc, TIconLoadReport& report) {
    report = {};
    if (std::string why = WhyUnreadable(fileName); !why.empty())
        return report.Status = TStatus::Fail(TFailure::Io, std::move(why));
    std::vector<std::uint8_t> bytes;
    if (TStatus read = ReadWholeFile(fileName, limits::kMaxIconFileBytes, bytes); !read)
        return report.Status = read;
    return LoadIconData(bytes, doc, report);
}

TStatus LoadIcon(const std::filesystem::path& fileName, TOrbIcon& doc) {
    TIconLoadReport report;
    return LoadIcon(fileName, doc, report);
}

} // namespace gw
