#include "codecs/Jpeg2000Decoder.h"

#include "codecs/Jpeg2000Codec.h"

namespace gw {

// The picture importer and the reader of Macintosh icon files decode JPEG 2000 alike; the OpenJPEG
// wrapper lives beside the icon coder that also encodes it.
TStatus DecodeJpeg2000(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide,
                       TGPSize* sourceSize) {
    TStatus status = DecodeJpeg2000Data(data, picture, targetSide);
    if (status && sourceSize != nullptr) {
        std::int32_t width = 0, height = 0;
        *sourceSize = ReadJpeg2000Size(data, width, height) ? TGPSize{width, height}
                                                            : TGPSize{picture.Width(), picture.Height()};
    }
    return status;
}

} // namespace gw
