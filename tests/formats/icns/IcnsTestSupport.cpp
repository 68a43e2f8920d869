#include "IcnsTestSupport.h"

#include "formats/icns/MacIcoIO.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace gw::test {

std::vector<TIcnsFormat> DefaultMacFormats() {
    return {{16, 16, 32}, {16, 16, 8}, {16, 16, 4},    {32, 32, 32},   {32, 32, 8},    {32, 32, 4},
            {48, 48, 32}, {48, 48, 8}, {128, 128, 32}, {256, 256, 32}, {512, 512, 32}, {1024, 1024, 32}};
}

std::unique_ptr<TOrbIcon> MakeConvertedIcon(std::span<const TIcnsFormat> formats, TDataType& dataType) {
    auto doc = std::make_unique<TOrbIcon>();
    for (const TIcnsFormat& format : formats) {
        const std::int32_t index = doc->InsertNewImage(format.Width, format.Height, format.BitCount);
        EXPECT_GE(index, 0) << format.Width << "x" << format.Height << "-" << int(format.BitCount);
        if (index < 0)
            continue;
        TOrbImage& image = doc->Image()[index];
        image.SetBitmap(MakeGradient(format.Width, format.Height, true));
        dataType.Change(image, format.BitCount, format.BitCount == 8 ? pmAdaptive : pmWindows);
    }
    return doc;
}

std::vector<std::uint8_t> SaveIcns(TOrbIcon& doc, TDataType& dataType, std::int32_t threads, bool modern) {
    TMacIcoIO coder(false, &dataType);
    coder.SetThreadCount(threads);
    coder.SetModern(modern);
    TByteWriter out;
    const TStatus status = coder.SaveToStream(doc, out);
    EXPECT_TRUE(status.IsOk()) << status.Reason();
    return out.Take();
}

TStatus LoadIcns(std::span<const std::uint8_t> bytes, TOrbIcon& doc, std::vector<TImageStorage>* report) {
    TMacIcoIO coder(false);
    TIconLoadReport loaded;
    const TStatus status = coder.Load(bytes, doc, loaded);
    if (report != nullptr)
        *report = std::move(loaded.Images);
    return status;
}

namespace {

void PutU32BE(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

} // namespace

std::vector<std::uint8_t> BuildIcns(const std::vector<TIcnsElement>& elements,
                                    std::optional<std::uint32_t> total, const std::string& magic) {
    std::vector<std::uint8_t> out(magic.begin(), magic.end());
    PutU32BE(out, 0);
    for (const TIcnsElement& element : elements) {
        out.insert(out.end(), element.Type.begin(), element.Type.end());
        PutU32BE(out, element.Length.value_or(static_cast<std::uint32_t>(element.Data.size() + 8)));
        out.insert(out.end(), element.Data.begin(), element.Data.end());
    }
    const std::uint32_t length = total.value_or(static_cast<std::uint32_t>(out.size()));
    for (int i = 0; i < 4; ++i)
        out[4 + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    return out;
}

std::uint32_t U32BE(std::span<const std::uint8_t> bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

std::vector<TIcnsElement> ParseIcns(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 8 || U32BE(bytes, 4) != bytes.size())
        return {};
    std::vector<TIcnsElement> elements;
    std::size_t at = 8;
    while (at < bytes.size()) {
        if (bytes.size() - at < 8)
            return {};
        const std::uint32_t length = U32BE(bytes, at + 4);
        if (length < 8 || length > bytes.size() - at)
            return {};
        elements.push_back({std::string(bytes.begin() + at, bytes.begin() + at + 4),
                            std::vector<std::uint8_t>(bytes.begin() + at + 8, bytes.begin() + at + length),
                            length});
        at += length;
    }
    return elements;
}

std::vector<std::string> ElementTypes(const std::vector<TIcnsElement>& elements) {
    std::vector<std::string> types;
    for (const TIcnsElement& element : elements)
        types.push_back(element.Type);
    return types;
}

std::vector<std::uint8_t> ElementData(const std::vector<TIcnsElement>& elements, const std::string& type) {
    for (const TIcnsElement& element : elements) {
        if (element.Type == type)
            return element.Data;
    }
    return {};
}

std::vector<std::string> Shapes(const TOrbIcon& doc) {
    std::vector<std::string> shapes;
    for (const TOrbImage& image : doc.Image())
        shapes.push_back(std::to_string(image.Width()) + "x" + std::to_string(image.Height()) + "-" +
                         std::to_string(image.DataType()));
    return shapes;
}

TBitmap Masked(TBitmap bitmap) {
    for (TColor& pixel : bitmap.Pixels()) {
        if (AlphaOf(pixel) == 0)
            pixel = 0;
    }
    return bitmap;
}

std::vector<std::uint8_t> Filled(std::size_t count, std::uint8_t value) {
    return std::vector<std::uint8_t>(count, value);
}

std::vector<std::string> SetAsideStorages(const std::vector<TImageStorage>& report) {
    std::vector<std::string> storages;
    for (const TImageStorage& record : report) {
        if (record.Image == nullptr)
            storages.push_back(record.Storage);
    }
    return storages;
}

} // namespace gw::test
