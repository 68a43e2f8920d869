#pragma once
// The base of the icon file coders (TIcoIO for Windows icons, TMacIcoIO for Macintosh icons). It binds
// a coder to a named file; everything format-specific lives in the two stream operations each coder
// provides.
//
// A "stream" here is memory: SaveToStream appends the whole file to a TByteWriter and LoadFromStream
// parses a span holding the whole file. So a writer never leaves half a file on disk: SaveToFile only
// writes finished bytes, into a temporary file of the destination folder that is then renamed over
// the target. A coder lives for one save or one load.

#include "image/ByteWriter.h"
#include "image/CommonTypes.h"
#include "image/OrbIcon.h"
#include "image/OrbMultiImage.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace gw {

class TMultiImageIO {
public:
    explicit TMultiImageIO(bool verbose) : FVerbose(verbose) {}
    virtual ~TMultiImageIO() = default;
    TMultiImageIO(const TMultiImageIO&) = delete;
    TMultiImageIO& operator=(const TMultiImageIO&) = delete;

    // Whether the document holds at least one image this format can store. The base says yes.
    virtual bool CanSave(const TOrbMultiImage& img) const;

    // Writes the document as a file named fileName, replacing a file of that name only once the new
    // file is complete. False when CanSave refuses (nothing on disk changes), when SaveToStream fails
    // or throws, or when the file system refuses; then no file of that name appears and one that
    // existed keeps its content. Never throws. LastStatus() tells why.
    bool SaveToFile(TOrbMultiImage& img, const std::filesystem::path& fileName);
    // Reads the file (at most limits::kMaxIconFileBytes) and hands its bytes to LoadFromStream. False
    // when the file cannot be read or the format refuses it; never throws. Images read before a
    // failure may stay in the document, as LoadFromStream leaves them.
    bool LoadFromFile(const std::filesystem::path& fileName, TOrbMultiImage& img);

    // The format's own operations. SaveToStream appends the whole file to stream; on failure the
    // caller discards whatever it appended. LoadFromStream reads the file held by data into img.
    virtual TStatus SaveToStream(TOrbMultiImage& img, TByteWriter& stream) = 0;
    virtual TStatus LoadFromStream(std::span<const std::uint8_t> data, TOrbMultiImage& img) = 0;

    // When set, LoadFromStream appends one record per image it adds: how that image was stored.
    // The records belong to the caller; null (the default) reports nothing.
    void SetStorageReport(std::vector<TImageStorage>* records) { FStorageReport = records; }

    bool Verbose() const { return FVerbose; }
    // Why the last SaveToFile or LoadFromFile failed (ok after a success).
    const TStatus& LastStatus() const { return FLastStatus; }

protected:
    // Called by the readers for every image they add to the document.
    void ReportStorage(const TOrbImage& image, std::string storage) {
        if (FStorageReport == nullptr)
            return;
        TImageStorage record;
        record.Image = &image;
        record.Storage = std::move(storage);
        FStorageReport->push_back(std::move(record));
    }
    // Called by the readers for an image of the file they did not add (see TImageStorage).
    void ReportSetAside(TImageStorage record) {
        record.Image = nullptr;
        if (FStorageReport != nullptr)
            FStorageReport->push_back(std::move(record));
    }

    bool FVerbose;

private:
    TStatus FLastStatus;
    std::vector<TImageStorage>* FStorageReport = nullptr;
};

} // namespace gw
