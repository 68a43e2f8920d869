#pragma once
// The picture importers: one small class per input format, each turning a picture file into a
// decoded 32-bit straight-alpha picture. They do no colour reduction, and no scaling unless the
// caller says how large it will reduce the picture anyway: then a JPEG is decoded at a reduced DCT
// scale, a JPEG 2000 picture at a reduced wavelet resolution, and PNG, TIFF, BMP and GIF pictures are
// reduced by a whole factor as their rows are read (TAreaReducer), HEIC and AVIF pictures as
// libheif hands them over. Every failure is a result (the
// caller reports a read error), never an exception.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"
#include "image/GDIUtils.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>

namespace gw {

class TFileReader;
class TSvgDocument;

class TImport {
public:
    virtual ~TImport() = default;

    // Reads fileName whole and decodes it into picture. targetSide > 0 is the longest side the caller
    // will reduce the picture to; importers that can decode more cheaply at a smaller size (JPEG,
    // JPEG 2000, and PNG, TIFF, BMP and GIF by reducing while reading) then deliver a picture whose
    // longer side is still at least targetSide. 0 means full size.
    // On failure picture is empty and the status says why.
    TStatus Import(const std::filesystem::path& fileName, TBitmap& picture,
                   std::int32_t targetSide = 0) const;

    // The same for a file already in memory.
    TStatus ImportData(std::span<const std::uint8_t> data, TBitmap& picture,
                       std::int32_t targetSide = 0) const;

    // The size of the picture the last successful import read, upright: the size its file holds,
    // also when it was decoded at a reduced scale (then the decoded picture is smaller).
    TGPSize SourceSize() const { return FSourceSize; }

protected:
    virtual TStatus Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                           std::int32_t targetSide) const = 0;
    // Importers that can decode straight from the file, piece by piece, so that not even the file is
    // held whole, answer true for the target sides they do it for and decode in DecodeFile.
    virtual bool DecodesFromFile(std::int32_t) const { return false; }
    virtual TStatus DecodeFile(TFileReader& file, TBitmap& picture, std::int32_t targetSide) const;
    // Where decoders that can reduce put the full size of the picture being decoded. Others leave
    // it, and the decoded size counts.
    TGPSize* SourceSizeSlot() const { return &FSourceSize; }

private:
    // Runs decode, turning what it throws into a failure, and checks its picture.
    TStatus RunDecode(const std::function<TStatus()>& decode, TBitmap& picture) const;

    mutable TGPSize FSourceSize{};
};

// Any picture the general decoders read (PNG, JPEG, GIF, TIFF), chosen by content; used for GIF.
class TImportGeneral : public TImport {
protected:
    TStatus Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                   std::int32_t targetSide) const override;
};

// Our own BMP decoder with the BMP alpha rule: when no pixel has a non-zero fourth byte the picture
// is opaque, otherwise the fourth bytes are its alpha.
class TImportBMP : public TImportGeneral {
protected:
    TStatus Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                   std::int32_t targetSide) const override;
};

// Pictures that are reduced (targetSide > 0) are decoded as the file is read.
class TImportPng : public TImportGeneral {
protected:
    TStatus Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                   std::int32_t targetSide) const override;
    bool DecodesFromFile(std::int32_t targetSide) const override { return targetSide > 0; }
    TStatus DecodeFile(TFileReader& file, TBitmap& picture, std::int32_t targetSide) const override;
};

// Upright by the EXIF orientation; CMYK and YCCK converted naively; reduced DCT scale on request.
class TImportJpeg : public TImportGeneral {
protected:
    TStatus Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                   std::int32_t targetSide) const override;
};

// First page.
class TImportTiff : public TImportGeneral {
protected:
    TStatus Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                   std::int32_t targetSide) const override;
};

// JP2 files and raw codestreams; a picture without alpha is opaque; reduced resolution on request.
class TImportJpeg2000 : public TImportGeneral {
protected:
    TStatus Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                   std::int32_t targetSide) const override;
};

// SVG and SVGZ rendered at their own size, or with the longer side targetSide when one is given (a
// vector picture is as sharp at any size). Conversions render each icon image straight from the
// document instead (TIOManager); this is the picture for everything else.
class TImportSvg : public TImportGeneral {
protected:
    TStatus Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                   std::int32_t targetSide) const override;
};

// Still WebP pictures and the first frame of animated ones.
class TImportWebp : public TImportGeneral {
protected:
    TStatus Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                   std::int32_t targetSide) const override;
};

// HEIC and AVIF: the primary image, upright, in 8 bits; reduced by a whole factor on request.
class TImportHeif : public TImportGeneral {
protected:
    TStatus Decode(std::span<const std::uint8_t> data, TBitmap& picture,
                   std::int32_t targetSide) const override;
};

// The importer for a detected file type: BMP, JPEG, PNG, GIF (general), JPEG 2000 (file and
// codestream), TIFF, SVG, WebP, HEIF and AVIF; nullptr for every type that is not a picture.
std::unique_ptr<TImport> CreateImporter(TFileTypes fileType);

// True for the types whose pictures are drawn anew at every size (SVG).
bool IsVectorType(TFileTypes fileType) noexcept;

// Reads fileName whole (within the picture file limit) and parses it as an SVG or SVGZ document.
TStatus LoadSvgDocument(const std::filesystem::path& fileName, std::unique_ptr<TSvgDocument>& document);

} // namespace gw
