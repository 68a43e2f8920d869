#include "codecs/Jpeg2000Decoder.h"

#include "codecs/Jpeg2000Codec.h"

namespace gw {

// The picture importer and the reader of Macintosh icon files decode JPEG 2000 alike; the OpenJPEG
// wrapper lives beside the icon coder that also encodes it.
TStatus DecodeJpeg2000(std::span<const std::uint8_t> data, TBitmap& picture, std::int32_t targetSide) {
    return DecodeJpeg2000Data(data, picture, targetSide);
}

} // namespace gw
