#pragma once
// The coder of Macintosh icon files (.icns), writing and reading.
//
// Saving first brings the icon document into the shape the format asks for: images without an
// element type are removed, 1-, 4- and 8-bit images get the Macintosh palette of their depth (pixels
// remapped), every 16 x 12, 16 x 16, 32 x 32 and 48 x 48 family with a 4- or 8-bit image gets a
// 1-bit image (its element carries the family's mask) and the family's images share one alpha. Then
// the whole file is built in memory: the header, a table of contents when there is a 1024-pixel
// image, one element per image in document order and one 8-bit mask per run-length coded image. The
// elements do not depend on each other, so the slow ones (the PNG and JPEG 2000 pictures) are encoded
// on worker threads while the rest is coded; the bytes are the same whatever the thread count.
//
// Loading reads elements in any order, skips types it does not know ("TOC ", "icnV" and newer kinds),
// finds masks before or after their images, and appends one image per image element to the document.

#include "formats/MultiImageIO.h"
#include "formats/icns/IcnsElements.h"
#include "image/OrbIcon.h"

#include <cstdint>

namespace gw {

class TDataType;

class TMacIcoIO : public TMultiImageIO {
public:
    // dataType remaps palette images while saving and follows the settings' dithering; it must
    // outlive the coder. Without one, saving maps to the nearest palette colour without dithering.
    explicit TMacIcoIO(bool verbose, TDataType* dataType = nullptr);

    // True when some image of the document has an element type.
    bool CanSave(const TOrbMultiImage& img) const override;

    // Prepares the document (see above; the changes stay) and appends the whole file to stream.
    // A document in which no image has an element type is refused (Unsupported); it is then left
    // holding one new 32 x 32 32-bit image.
    TStatus SaveToStream(TOrbMultiImage& img, TByteWriter& stream) override;

    // Appends the images of an .icns file to img (an icon document), sorts the document and selects
    // its first image. Sets the document's preferred extension to ftMacIcon in every case.
    //  - Refused without adding an image: a magic other than "icns" (Corrupt), a total length below 8
    //    or beyond the data (Truncated), an element header or element that does not fit within the
    //    total length, or an element length below 8 (Corrupt).
    //  - Skipped, the load going on: elements too short for their type or whose run-length data ends
    //    early, PNG data that does not decode, embedded pictures whose size is not their type's, and
    //    elements whose width, height and depth the document already holds (with their masks). A mask
    //    element too short for its size is not applied.
    //  - JPEG 2000 data that does not decode fails the load (Corrupt); the images decoded before it
    //    stay, unsorted.
    TStatus LoadFromStream(std::span<const std::uint8_t> data, TOrbMultiImage& img) override;

    // How many threads a save may use for the independent elements and inside the JPEG 2000 encoder.
    // The default is the machine's core count; 1 encodes everything on the calling thread.
    std::int32_t ThreadCount() const { return FThreadCount; }
    void SetThreadCount(std::int32_t count) { FThreadCount = count < 1 ? 1 : count; }

private:
    TDataType* FDataType;
    std::int32_t FThreadCount;
};

} // namespace gw
