#include "pipeline/Importers.h"

#include "codecs/BmpDecoder.h"
#include "codecs/GifDecoder.h"
#include "codecs/HeifDecoder.h"
#include "codecs/Jpeg2000Decoder.h"
#include "codecs/JpegDecoder.h"
#include "codecs/PngCodec.h"
#include "codecs/SvgCodec.h"
#include "codecs/TiffDecoder.h"
#include "codecs/WebpDecoder.h"
#include "image/FileIO.h"
#include "image/Limits.h"
#include "pipeline/TypeCheck.h"

#include <exception>
#include <new>
#include <string>
#include <vector>

namespace gw {

namespace {

TStatus ReadPictureFile(const std::filesystem::path& fileName, std::vector<std::uint8_t>& bytes) {
    if (TStatus status = ReadWholeFile(fileName, limits::kMaxPictureFileBytes, bytes); !status)
        return TStatus::Fail(status.Kind(), fileName.string() + ": " + status.Reason());
    return TStatus::Ok();
}

} // namespace

TStatus TImport::Import(const std::filesystem::path& fileName, TBitmap& picture,
                        std::int32_t targetSide) const {
    picture = TBitmap();
    if (!DecodesFromFile(targetSide)) {
        std::vector<std::uint8_t> bytes;
        GW_TRY(ReadPictureFile(fileName, bytes));
        return ImportData(bytes, picture, targetSide);
    }
    TFileReader file;
    if (TStatus status = file.Open(fileName, limits::kMaxPictureFileBytes); !status)
        return TStatus::Fail(status.Kind(), fileName.string() + ": " + status.Reason());
    return RunDecode(
        [&] {
            TStatus status = DecodeFile(file, picture, targetSide);
            if (TStatus read = file.Status(); !status && !read)
                return TStatus::Fail(read.Kind(), fileName.string() + ": " + read.Reason());
            return status;
        },
        picture);
}

TStatus TImport::ImportData(std::span<const std::uint8_t> data, TBitmap& picture,
                            std::int32_t targetSide) const {
    return RunDecode([&] { return Decode(data, picture, targetSide); }, picture);
}

TStatus TImport::DecodeFile(TFileReader&, TBitmap& picture, std::int32_t) const {
    picture = TBitmap();
    return TStatus::Fail(TFailure::Unsupported, "this importer reads whole files only");
}

TStatus TImport::RunDecode(const std::function<TStatus()>& decode, TBitmap& picture) const {
    picture = TBitmap();
    FSourceSize = {};
    TStatus status;
    // Decoders answer with results; what they may still throw (allocation failures) ends here.
    try {
        status = GuardAllocation("decoding", decode);
    } catch (const std::exception& e) {
        status = TStatus::Fail(TFailure::Corrupt, e.what());
    }
    if (!status || !picture.IsValid()) {
        picture = TBitmap();
        FSourceSize = {};
        return status ? TStatus::Fail(TFailure::Corrupt, "decoder gave no picture") : status;
    }
    if (FSourceSize.Width < picture.Width() || FSourceSize.Height < picture.Height())
        FSourceSize = {picture.Width(), picture.Height()};
    return status;
}

TStatus TImportGeneral::Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                               std::int32_t targetSide) const {
    switch (CheckFileType(data)) {
    case TFileTypes::ftPng:
        return DecodePng(data, picture, targetSide, SourceSizeSlot());
    case TFileTypes::ftJpg:
        return DecodeJpeg(data, picture, targetSide, SourceSizeSlot());
    case TFileTypes::ftGif:
        return DecodeGif(data, picture, targetSide, SourceSizeSlot());
    case TFileTypes::ftTiff:
        return DecodeTiff(data, picture, targetSide, SourceSizeSlot());
    default:
        return TStatus::Fail(TFailure::Unsupported, "not a PNG, JPEG, GIF or TIFF picture");
    }
}

TStatus TImportBMP::Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                           std::int32_t targetSide) const {
    return DecodeBmp(data, picture, targetSide, SourceSizeSlot());
}

TStatus TImportPng::Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                           std::int32_t targetSide) const {
    return DecodePng(data, picture, targetSide, SourceSizeSlot());
}

TStatus TImportPng::DecodeFile(TFileReader& file, TBitmap& picture, std::int32_t targetSide) const {
    return DecodePngStream([&file](std::span<std::uint8_t> out) { return file.Read(out); }, picture,
                           targetSide, SourceSizeSlot());
}

TStatus TImportJpeg::Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                            std::int32_t targetSide) const {
    return DecodeJpeg(data, picture, targetSide, SourceSizeSlot());
}

TStatus TImportTiff::Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                            std::int32_t targetSide) const {
    return DecodeTiff(data, picture, targetSide, SourceSizeSlot());
}

TStatus TImportJpeg2000::Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                                std::int32_t targetSide) const {
    return DecodeJpeg2000(data, picture, targetSide, SourceSizeSlot());
}

TStatus TImportSvg::Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                           std::int32_t targetSide) const {
    return DecodeSvg(data, picture, targetSide);
}

TStatus TImportWebp::Decode(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t) const {
    return DecodeWebp(data, picture);
}

TStatus TImportHeif::Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                            std::int32_t targetSide) const {
    return DecodeHeif(data, picture, targetSide, SourceSizeSlot());
}

std::unique_ptr<TImport> CreateImporter(TFileTypes fileType) {
    switch (fileType) {
    case TFileTypes::ftBmp:
        return std::make_unique<TImportBMP>();
    case TFileTypes::ftJpg:
        return std::make_unique<TImportJpeg>();
    case TFileTypes::ftPng:
        return std::make_unique<TImportPng>();
    case TFileTypes::ftGif:
        return std::make_unique<TImportGeneral>();
    case TFileTypes::ftJpg2000:
    case TFileTypes::ftJpg2000CS:
        return std::make_unique<TImportJpeg2000>();
    case TFileTypes::ftTiff:
        return std::make_unique<TImportTiff>();
    case TFileTypes::ftSvg:
        return std::make_unique<TImportSvg>();
    case TFileTypes::ftWebp:
        return std::make_unique<TImportWebp>();
    case TFileTypes::ftHeif:
    case TFileTypes::ftAvif:
        return std::make_unique<TImportHeif>();
    default:
        return nullptr;
    }
}

bool IsVectorType(TFileTypes fileType) noexcept {
    return fileType == TFileTypes::ftSvg;
}

TStatus LoadSvgDocument(const std::filesystem::path& fileName, std::unique_ptr<TSvgDocument>& document) {
    document.reset();
    std::vector<std::uint8_t> bytes;
    GW_TRY(ReadPictureFile(fileName, bytes));
    TStatus status = GuardAllocation("parsing", [&] { return TSvgDocument::Load(bytes, document); });
    if (!status)
        document.reset();
    return status;
}

} // namespace gw
