#pragma once
// The base of the icon file coders (TIcoIO for Windows icons, TMacIcoIO for Macintosh icons) and the
// one signature every coder has: save a document to bytes, load bytes into a document with a report
// of how each image was stored. Everything format-specific lives in the two stream operations each
// coder provides.
//
// A "stream" here is memory: SaveToStream appends the whole file to a TByteWriter and LoadFromStream
// parses a span holding the whole file. So a writer never leaves half a file on disk: the file
// functions only write finished bytes (image/FileIO.h). A coder lives for one save or one load.

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

    // The whole file in bytes. Fails when CanSave refuses or SaveToStream fails or throws; bytes is
    // replaced only on success. Never throws.
    TStatus Save(TOrbMultiImage& img, std::vector<std::uint8_t>& bytes);
    // Reads the file held by data into img and fills report (emptied first): one record per image
    // added and the status, which is also the result. Images read before a failure may stay in the
    // document, as LoadFromStream leaves them. Never throws.
    TStatus Load(std::span<const std::uint8_t> data, TOrbMultiImage& img, TIconLoadReport& report);

    // Save, written as a file named fileName that replaces a file of that name only once the new
    // file is complete; on failure no file of that name appears and one that existed keeps its
    // content.
    TStatus SaveToFile(TOrbMultiImage& img, const std::filesystem::path& fileName);
    // Reads the file (at most limits::kMaxIconFileBytes) and loads its bytes.
    TStatus LoadFromFile(const std::filesystem::path& fileName, TOrbMultiImage& img, TIconLoadReport& report);
    TStatus LoadFromFile(const std::filesystem::path& fileName, TOrbMultiImage& img);

    // The format's own operations. SaveToStream appends the whole file to stream; on failure the
    // caller discards whatever it appended. LoadFromStream reads the file held by data into img,
    // reporting each image it adds through ReportStorage.
    virtual TStatus SaveToStream(TOrbMultiImage& img, TByteWriter& stream) = 0;
    virtual TStatus LoadFromStream(std::span<const std::uint8_t> data, TOrbMultiImage& img) = 0;

    bool Verbose() const { return FVerbose; }
    // Why the last Save, Load or file operation failed (ok after a success).
    const TStatus& LastStatus() const { return FLastStatus; }

protected:
    // Called by the readers for every image they add to the document.
    void ReportStorage(const TOrbImage& image, std::string storage) {
        if (FStorageReport != nullptr)
            FStorageReport->push_back({&image, std::move(storage)});
    }

    bool FVerbose;

private:
    TStatus FLastStatus;
    std::vector<TImageStorage>* FStorageReport = nullptr;
};

} // namespace gw
