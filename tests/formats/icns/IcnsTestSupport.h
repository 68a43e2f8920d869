#pragma once
// Documents as a conversion makes them, and hand-made (often hostile) .icns bytes, for the ICNS tests.

#include "color/DataType.h"
#include "image/CommonTypes.h"
#include "image/OrbIcon.h"
#include "settings/Setting.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace gw::test {

struct TIcnsFormat {
    std::int32_t Width;
    std::int32_t Height;
    std::uint8_t BitCount;
};

// "16x16-32;16x16-8;16x16-4;32x32-32;32x32-8;32x32-4;48x48-32;48x48-8;128x128-32;256x256-32;
// 512x512-32;1024x1024-32", the default Macintosh format list.
std::vector<TIcnsFormat> DefaultMacFormats();

// The colour depth converter of a conversion, on settings that never touch the settings file.
struct TTestConverter {
    explicit TTestConverter(bool dither = true) { Settings.SetDither(dither); }
    TGlobalSetting Settings{TPersistence::Detached};
    TDataType DataType{Settings};
};

// A document with one image per format, inserted in document order, each a gradient with varying
// alpha reduced to its depth (an adaptive palette at 8 bits, the Windows palette at 4 and 1).
std::unique_ptr<TOrbIcon> MakeConvertedIcon(std::span<const TIcnsFormat> formats, TDataType& dataType);

// The whole file TMacIcoIO writes for doc (a modern one with modern); fails the test when the save
// fails.
std::vector<std::uint8_t> SaveIcns(TOrbIcon& doc, TDataType& dataType, std::int32_t threads = 2,
                                   bool modern = false);
// Loads bytes into doc; with report, fills it with the load's storage records.
TStatus LoadIcns(std::span<const std::uint8_t> bytes, TOrbIcon& doc,
                 std::vector<TImageStorage>* report = nullptr);
// The storage of every record of an image set aside, in report order.
std::vector<std::string> SetAsideStorages(const std::vector<TImageStorage>& report);

// One element of a file: its type and data.
struct TIcnsElement {
    TIcnsElement(std::string type, std::vector<std::uint8_t> data,
                 std::optional<std::uint32_t> length = std::nullopt)
        : Type(std::move(type)), Data(std::move(data)), Length(length) {}
    std::string Type;
    std::vector<std::uint8_t> Data;
    std::optional<std::uint32_t> Length; // the length field; default data size + 8
};
// "icns" (or magic), the total length (default: the size of the result), the elements in order.
std::vector<std::uint8_t> BuildIcns(const std::vector<TIcnsElement>& elements,
                                    std::optional<std::uint32_t> total = std::nullopt,
                                    const std::string& magic = "icns");
// The elements of a well-formed file in order; empty when the layout does not add up exactly.
std::vector<TIcnsElement> ParseIcns(std::span<const std::uint8_t> bytes);
std::vector<std::string> ElementTypes(const std::vector<TIcnsElement>& elements);
// The data of the first element of the type, or an empty vector.
std::vector<std::uint8_t> ElementData(const std::vector<TIcnsElement>& elements, const std::string& type);

std::uint32_t U32BE(std::span<const std::uint8_t> bytes, std::size_t at);
// "WxH-B" of every image in document order.
std::vector<std::string> Shapes(const TOrbIcon& doc);
// The bitmap with every transparent pixel made transparent black, as formats with a separate mask
// keep no colour there.
TBitmap Masked(TBitmap bitmap);

// count bytes of value.
std::vector<std::uint8_t> Filled(std::size_t count, std::uint8_t value);

} // namespace gw::test
