#include "image/OrbIcon.h"

#include <array>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace gw {

namespace {

TIconCoders& InstalledCoders() {
    static TIconCoders coders;
    return coders;
}

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

enum class TIconFileKind { Unreadable, Mac, Other };

// Macintosh icon files begin with the four bytes "icns" (Apple's icon family resource type).
TIconFileKind SniffIconFile(const std::filesystem::path& fileName, std::string& reason) {
    const auto unreadable = [&reason](std::string why) {
        reason = std::move(why);
        return TIconFileKind::Unreadable;
    };
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error))
        return unreadable(error                                      ? error.message()
                          : std::filesystem::exists(fileName, error) ? "not a regular file"
                                                                     : "no such file");
    std::ifstream file(fileName, std::ios::binary);
    if (!file)
        return unreadable("cannot be opened for reading");
    std::array<char, 4> head{};
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    if (file.gcount() == 4 && std::string_view(head.data(), 4) == "icns")
        return TIconFileKind::Mac;
    return TIconFileKind::Other;
}

// One exchange pass scheme for both orders: image i + 1 moves before image i when it has the
// preferred depth, or the same depth and a larger width, or the same depth and width and a larger
// height. n - 1 full passes, as the coders expect.
template <class TDepthFirst> bool ExchangeSort(TOrbIcon& doc, TDepthFirst depthFirst) {
    const std::int32_t n = doc.ImageCount();
    if (n < 2)
        return false;
    bool moved = false;
    for (std::int32_t pass = 0; pass < n - 1; ++pass) {
        for (std::int32_t i = 0; i < n - 1; ++i) {
            const TOrbImage& a = doc.Image()[i];
            const TOrbImage& b = doc.Image()[i + 1];
            const bool sameDepth = b.DataType() == a.DataType();
            if (depthFirst(b.DataType(), a.DataType()) || (sameDepth && b.Width() > a.Width()) ||
                (sameDepth && b.Width() == a.Width() && b.Height() > a.Height())) {
                doc.SwapImages(i + 1, i);
                moved = true;
            }
        }
    }
    return moved;
}

} // namespace

std::string TIconLoadReport::StorageOf(const TOrbImage& image) const {
    for (const TImageStorage& record : Images)
        if (record.Image == &image)
            return record.Storage;
    return {};
}

TIconCoders SetIconCoders(TIconCoders coders) {
    return std::exchange(InstalledCoders(), std::move(coders));
}

const TIconCoders& GetIconCoders() {
    return InstalledCoders();
}

TOrbIcon::TOrbIcon() {
    ImageType = TTOrbImageClass::Of<TOrbImageIcon>();
    FPreferedExtension = TFileTypes::ftIco;
}

bool TOrbIcon::CanInsertImage(std::int32_t width, std::int32_t height, std::uint8_t bitCount) const {
    return GetImage(width, height, bitCount) < 0;
}

std::int32_t TOrbIcon::GetInsertIndex(std::int32_t width, std::int32_t height, std::uint8_t bitCount) const {
    if (!CanInsertImage(width, height, bitCount))
        return -1;
    std::int32_t index = 0;
    for (const TOrbImage& img : Image()) {
        const std::uint8_t t = img.DataType();
        if (t == bitCount) {
            if ((img.Width() == width && img.Height() < height) ||
                (img.Width() != width && img.Width() < width))
                return index;
        } else if (t < bitCount) {
            return index;
        }
        ++index;
    }
    return index;
}

bool TOrbIcon::LoadFromFile(const std::filesystem::path& fileName) {
    TIconLoadReport report;
    return LoadFromFile(fileName, report);
}

bool TOrbIcon::LoadFromFile(const std::filesystem::path& fileName, TIconLoadReport& report) {
    report = {};
    std::string reason;
    const TIconFileKind kind = SniffIconFile(fileName, reason);
    if (kind == TIconFileKind::Unreadable) {
        report.Status = TStatus::Fail(TFailure::Io, reason);
        return false;
    }
    const TIconCoder& coder = kind == TIconFileKind::Mac ? GetIconCoders().Mac : GetIconCoders().Ico;
    if (coder.LoadReporting)
        return coder.LoadReporting(fileName, *this, report);
    const bool loaded = coder.LoadFromFile ? coder.LoadFromFile(fileName, *this) : false;
    if (!loaded)
        report.Status = TStatus::Fail(TFailure::Unsupported, "no coder could read the file");
    return loaded;
}

bool TOrbIcon::SaveToFile(const std::filesystem::path& fileName) {
    const TIconCoder& coder = LowerExtension(fileName) == ".icns" ? GetIconCoders().Mac : GetIconCoders().Ico;
    return coder.SaveToFile ? coder.SaveToFile(*this, fileName) : false;
}

bool TOrbIcon::SortImages() {
    return ExchangeSort(*this, [](std::uint8_t b, std::uint8_t a) { return b > a; });
}

bool TOrbIcon::SortImagesReverse() {
    return ExchangeSort(*this, [](std::uint8_t b, std::uint8_t a) { return b < a; });
}

std::unique_ptr<TOrbMultiImage> TOrbIcon::Clone() const {
    auto clone = std::make_unique<TOrbIcon>();
    CopyImagesTo(*clone);
    return clone;
}

} // namespace gw
