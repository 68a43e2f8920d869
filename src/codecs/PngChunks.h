#pragma once
// The ancillary PNG chunks that neither PNG reader (icon entries, pictures) uses. Both ask libpng to
// skip them unread (png_set_keep_unknown_chunks with PNG_HANDLE_CHUNK_NEVER), so hostile text,
// profile or palette-suggestion chunks cost neither memory nor decompression time: libpng would
// otherwise allocate a text, profile or EXIF chunk whole at the length it declares (up to 2 GiB,
// whatever the file holds; its chunk size limit only warns) before finding the data missing. tRNS
// is the one ancillary chunk both keep.

namespace gw {

// Each name is four letters and a terminating zero.
inline constexpr char kUnusedPngChunks[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0"
                                           "sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt";
inline constexpr int kUnusedPngChunkCount = static_cast<int>(sizeof(kUnusedPngChunks) / 5);
static_assert(sizeof(kUnusedPngChunks) % 5 == 0, "every chunk name takes five bytes");

} // namespace gw
