#include "pipeline/TypeCheck.h"

#include "codecs/SvgCodec.h"
#include "image/Limits.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gw {

namespace {

// The bytes the detector looks at. A probe that would need a byte beyond the end of the file is
// absent and matches nothing, so short files (an empty one included) fall through to ftOther.
struct TProbes {
    std::array<std::uint8_t, 16> Head{};
    std::size_t HeadSize = 0;
    std::uint64_t FileSize = 0;
    std::array<std::uint8_t, 4> P65{}, P102{};
    bool HaveP65 = false, HaveP102 = false;
    std::array<std::uint8_t, 2> ExeSignature{};
    bool HaveExeSignature = false;
    // More of the start of the file, for text (an SVG root element may follow a long document type)
    // and for the file type box of ISO media files (its list of compatible brands).
    std::vector<std::uint8_t> More;
};

// The ISO base media file type box ("ftyp" at 4) is read up to this many bytes.
constexpr std::size_t kMaxFileTypeBoxBytes = 4096;

bool MayBeText(const std::array<std::uint8_t, 16>& head, std::size_t size) {
    if (size == 0)
        return false;
    const std::uint8_t c = head[0];
    return c == '<' || c == 0xEF || c == ' ' || c == '\t' || c == '\r' || c == '\n' ||
           (c == 0x1F && size >= 2 && head[1] == 0x8B);
}

// Executables are probed and the MacBinary tags read only in files longer than this.
constexpr std::uint64_t kLongFileSize = 128;
constexpr std::size_t kExeHeaderPointer = 0x3C;

// Gathers the probes through readAt(offset, destination) -> number of bytes read.
template <typename ReadAt> TProbes GatherProbes(std::uint64_t fileSize, ReadAt&& readAt) {
    TProbes probes;
    probes.FileSize = fileSize;
    probes.HeadSize = readAt(0, std::span<std::uint8_t>(probes.Head));
    std::size_t more = 0;
    if (MayBeText(probes.Head, probes.HeadSize))
        more = limits::kSvgSniffBytes;
    else if (probes.HeadSize >= 12 && std::equal(probes.Head.begin() + 4, probes.Head.begin() + 8, "ftyp"))
        more = kMaxFileTypeBoxBytes;
    if (more > 0) {
        // Without the memory for the longer probe the type is told from the head alone.
        if (!GuardAllocation("reading the type probe", [&] {
                probes.More.resize(static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, more)));
                probes.More.resize(readAt(0, std::span<std::uint8_t>(probes.More)));
                return TStatus::Ok();
            }))
            probes.More.clear();
    }
    if (fileSize > kLongFileSize) {
        probes.HaveP65 = readAt(65, std::span<std::uint8_t>(probes.P65)) == probes.P65.size();
        probes.HaveP102 = readAt(102, std::span<std::uint8_t>(probes.P102)) == probes.P102.size();
        if (probes.HeadSize >= 2 && probes.Head[0] == 'M' && probes.Head[1] == 'Z') {
            std::array<std::uint8_t, 4> pointer{};
            if (readAt(kExeHeaderPointer, std::span<std::uint8_t>(pointer)) == pointer.size()) {
                const std::uint64_t position = std::uint32_t{pointer[0]} | std::uint32_t{pointer[1]} << 8 |
                                               std::uint32_t{pointer[2]} << 16 |
                                               std::uint32_t{pointer[3]} << 24;
                probes.HaveExeSignature = readAt(position, std::span<std::uint8_t>(probes.ExeSignature)) ==
                                          probes.ExeSignature.size();
            }
        }
    }
    return probes;
}

bool HeadMatches(const TProbes& probes, std::size_t offset, std::string_view signature) {
    if (offset > probes.HeadSize || signature.size() > probes.HeadSize - offset)
        return false;
    return std::equal(signature.begin(), signature.end(), probes.Head.begin() + offset,
                      [](char s, std::uint8_t b) { return static_cast<std::uint8_t>(s) == b; });
}

bool ProbeIs(bool present, const std::array<std::uint8_t, 4>& probe, std::string_view tag) {
    return present && std::equal(tag.begin(), tag.end(), probe.begin(),
                                 [](char s, std::uint8_t b) { return static_cast<std::uint8_t>(s) == b; });
}

std::uint32_t HeadU32BE(const TProbes& probes, std::size_t offset) {
    return std::uint32_t{probes.Head[offset]} << 24 | std::uint32_t{probes.Head[offset + 1]} << 16 |
           std::uint32_t{probes.Head[offset + 2]} << 8 | std::uint32_t{probes.Head[offset + 3]};
}

// A raw Macintosh resource fork starts with data offset, map offset, data length and map length
// (big-endian). The sums wrap at 32 bits as the header fields do; the file size is compared whole.
bool IsRawResourceFork(const TProbes& probes) {
    if (probes.HeadSize < probes.Head.size())
        return false;
    const std::uint32_t dataOffset = HeadU32BE(probes, 0);
    const std::uint32_t mapOffset = HeadU32BE(probes, 4);
    const std::uint32_t dataLength = HeadU32BE(probes, 8);
    const std::uint32_t mapLength = HeadU32BE(probes, 12);
    return std::uint32_t(mapOffset + mapLength) == probes.FileSize &&
           mapOffset == std::uint32_t(dataLength + dataOffset);
}

using namespace std::string_view_literals;

struct TSignature {
    std::size_t Offset;
    std::string_view Bytes;
    TFileTypes Type;
};

// Tested in this order; the first match decides. Two rows for one type are alternatives, and ANI
// needs both of its rows (handled below).
constexpr std::array kSignatures{
    TSignature{0, "\x00\x00\x01\x00"sv, TFileTypes::ftIco},
    TSignature{0, "II*\x00"sv, TFileTypes::ftTiff},
    TSignature{0, "MM\x00*"sv, TFileTypes::ftTiff},
    TSignature{0, "I I"sv, TFileTypes::ftTiff},
    TSignature{0, "\x00\x00\x02\x00"sv, TFileTypes::ftCur},
    TSignature{0, "RIFF"sv, TFileTypes::ftAni},
    TSignature{0, "RIFF"sv, TFileTypes::ftWebp},
    TSignature{0, "BM"sv, TFileTypes::ftBmp},
    TSignature{0, "\xFF\xD8\xFF"sv, TFileTypes::ftJpg},
    TSignature{0, "\x89PNG"sv, TFileTypes::ftPng},
    TSignature{0, "OBIM"sv, TFileTypes::ftOrbDoc},
    TSignature{0, "GIF"sv, TFileTypes::ftGif},
    TSignature{0, "\x00\x00\x00\x0CjP  "sv, TFileTypes::ftJpg2000},
    TSignature{0, "\xFF\x4F\xFF\x51\x00"sv, TFileTypes::ftJpg2000CS},
    TSignature{0, "icns"sv, TFileTypes::ftMacIcon},
    TSignature{0, "\x00\x05\x16\x00"sv, TFileTypes::ftAppleSingle},
    TSignature{0, "\x00\x05\x16\x07"sv, TFileTypes::ftAppleDouble},
};

// HEIF files are ISO media files whose file type box names a HEIF brand, as major brand or among the
// compatible ones: AV1 brands make an AVIF file, HEVC brands and the generic image brands a HEIF file.
TFileTypes HeifBrand(const TProbes& probes) {
    if (!HeadMatches(probes, 4, "ftyp") || probes.More.size() < 16)
        return TFileTypes::ftOther;
    const std::uint32_t boxSize = HeadU32BE(probes, 0);
    const std::size_t end = std::min<std::size_t>(probes.More.size(), boxSize);
    constexpr std::array kAvif{"avif"sv, "avis"sv};
    constexpr std::array kHeif{"heic"sv, "heix"sv, "heim"sv, "heis"sv,
                               "hevc"sv, "hevx"sv, "mif1"sv, "msf1"sv};
    const auto brandAt = [&](std::size_t offset) {
        return std::string_view(reinterpret_cast<const char*>(probes.More.data()) + offset, 4);
    };
    const auto isOneOf = [](std::string_view brand, const auto& list) {
        return std::find(list.begin(), list.end(), brand) != list.end();
    };
    // Major brand at 8, minor version at 12, compatible brands from 16.
    if (isOneOf(brandAt(8), kAvif))
        return TFileTypes::ftAvif;
    bool heif = isOneOf(brandAt(8), kHeif);
    for (std::size_t offset = 16; offset + 4 <= end; offset += 4) {
        if (isOneOf(brandAt(offset), kAvif))
            return TFileTypes::ftAvif;
        heif = heif || isOneOf(brandAt(offset), kHeif);
    }
    return heif ? TFileTypes::ftHeif : TFileTypes::ftOther;
}

TFileTypes Classify(const TProbes& probes) {
    if (probes.HaveExeSignature) {
        if (probes.ExeSignature[0] == 'N' && probes.ExeSignature[1] == 'E')
            return TFileTypes::ftWin16Binary;
        if (probes.ExeSignature[0] == 'P' && probes.ExeSignature[1] == 'E')
            return TFileTypes::ftWin32Binary;
    }
    if (IsRawResourceFork(probes))
        return TFileTypes::ftRawRes;
    for (const TSignature& signature : kSignatures) {
        if (!HeadMatches(probes, signature.Offset, signature.Bytes))
            continue;
        if (signature.Type == TFileTypes::ftAni && !HeadMatches(probes, 8, "ACON"))
            continue;
        if (signature.Type == TFileTypes::ftWebp && !HeadMatches(probes, 8, "WEBP"))
            continue;
        return signature.Type;
    }
    if (const TFileTypes heif = HeifBrand(probes); heif != TFileTypes::ftOther)
        return heif;
    if (!probes.More.empty() && !HeadMatches(probes, 4, "ftyp") && LooksLikeSvg(probes.More))
        return TFileTypes::ftSvg;
    if (ProbeIs(probes.HaveP65, probes.P65, "mBIN") || ProbeIs(probes.HaveP102, probes.P102, "mBIN"))
        return TFileTypes::ftMacBinary;
    return TFileTypes::ftOther;
}

// Owns an open descriptor so the file is closed on every path out of CheckFileType.
class TReadOnlyFile {
public:
    explicit TReadOnlyFile(const std::filesystem::path& fileName) {
        // O_NONBLOCK keeps a FIFO from blocking the open; it is refused as non-regular below.
        FHandle = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (FHandle < 0)
            Fail(fileName, errno);
        struct stat info {};
        if (::fstat(FHandle, &info) != 0)
            Fail(fileName, errno);
        if (S_ISDIR(info.st_mode))
            Fail(fileName, EISDIR);
        if (!S_ISREG(info.st_mode))
            Fail(fileName, EINVAL);
        FSize = static_cast<std::uint64_t>(info.st_size);
    }
    ~TReadOnlyFile() {
        if (FHandle >= 0)
            ::close(FHandle);
    }
    TReadOnlyFile(const TReadOnlyFile&) = delete;
    TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;

    std::uint64_t Size() const { return FSize; }

    // Reads as many of the wanted bytes as exist; a read error counts as the end of the file.
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t got =
                ::pread(FHandle, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

private:
    [[noreturn]] void Fail(const std::filesystem::path& fileName, int error) {
        if (FHandle >= 0)
            ::close(FHandle);
        FHandle = -1;
        throw std::filesystem::filesystem_error("cannot open file for reading", fileName,
                                                std::error_code(error, std::generic_category()));
    }

    int FHandle = -1;
    std::uint64_t FSize = 0;
};

} // namespace

TFileTypes CheckFileType(const std::filesystem::path& fileName) {
    const TReadOnlyFile file(fileName);
    return Classify(GatherProbes(file.Size(), [&file](std::uint64_t offset, std::span<std::uint8_t> out) {
        return file.ReadAt(offset, out);
    }));
}

TFileTypes CheckFileType(std::span<const std::uint8_t> data) noexcept {
    return Classify(GatherProbes(data.size(), [data](std::uint64_t offset, std::span<std::uint8_t> out) {
        if (offset >= data.size())
            return std::size_t{0};
        const std::size_t count = std::min<std::uint64_t>(out.size(), data.size() - offset);
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(offset), count, out.begin());
        return count;
    }));
}

TFileCategory GetTypeCategory(TFileTypes fileType) noexcept {
    switch (fileType) {
    case TFileTypes::ftIco:
        return TFileCategory::fcIcon;
    case TFileTypes::ftBmp:
    case TFileTypes::ftJpg:
    case TFileTypes::ftPng:
    case TFileTypes::ftGif:
    case TFileTypes::ftJpg2000:
    case TFileTypes::ftJpg2000CS:
    case TFileTypes::ftTiff:
    case TFileTypes::ftSvg:
    case TFileTypes::ftWebp:
    case TFileTypes::ftHeif:
    case TFileTypes::ftAvif:
        return TFileCategory::fcPicture;
    case TFileTypes::ftWin32Binary:
        return TFileCategory::fcWin32Binary;
    case TFileTypes::ftMacIcon:
        return TFileCategory::fcMacIcon;
    case TFileTypes::ftMacBinary:
    case TFileTypes::ftAppleSingle:
    case TFileTypes::ftAppleDouble:
    case TFileTypes::ftRawRes:
        return TFileCategory::fcMacResource;
    case TFileTypes::ftWin16Binary:
        return TFileCategory::fcWin16Binary;
    case TFileTypes::ftCur:
    case TFileTypes::ftAni:
    case TFileTypes::ftOther:
    case TFileTypes::ftDirectory:
    case TFileTypes::ftOrbDoc:
        break;
    }
    return TFileCategory::fcOther;
}

TFileCategory GetFileCategory(const std::filesystem::path& fileName) {
    return GetTypeCategory(CheckFileType(fileName));
}

TTypeResult DetectFileType(const std::filesystem::path& fileName) noexcept {
    TTypeResult result;
    try {
        result.Type = CheckFileType(fileName);
    } catch (const std::filesystem::filesystem_error& error) {
        result.Error = error.code();
    } catch (...) {
        result.Error = std::make_error_code(std::errc::io_error);
    }
    return result;
}

} // namespace gw
