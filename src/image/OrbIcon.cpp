#include "image/OrbIcon.h"

#include <string>
#include <utility>

namespace gw {

namespace {

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
