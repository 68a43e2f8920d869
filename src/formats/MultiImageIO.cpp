#include "formats/MultiImageIO.h"

#include "image/FileIO.h"
#include "image/Limits.h"

#include <exception>
#include <vector>

namespace gw {

namespace {

// Runs a coder step: allocation failures become TooLarge, other exceptions Corrupt.
template <class TStep> TStatus RunCoder(const char* what, TStep&& step) {
    try {
        return GuardAllocation(what, step);
    } catch (const std::exception& error) {
        return TStatus::Fail(TFailure::Corrupt, error.what());
    } catch (...) {
        return TStatus::Fail(TFailure::Corrupt, std::string("unknown error while ") + what);
    }
}

} // namespace

bool TMultiImageIO::CanSave(const TOrbMultiImage& /*img*/) const {
    return true;
}

TStatus TMultiImageIO::Save(TOrbMultiImage& img, std::vector<std::uint8_t>& bytes) {
    if (!CanSave(img))
        return FLastStatus = TStatus::Fail(TFailure::Unsupported, "no image this format can store");
    FLastStatus = RunCoder("saving", [&] {
        TByteWriter stream;
        GW_TRY(SaveToStream(img, stream));
        bytes = stream.Take();
        return TStatus::Ok();
    });
    return FLastStatus;
}

TStatus TMultiImageIO::Load(std::span<const std::uint8_t> data, TOrbMultiImage& img,
                            TIconLoadReport& report) {
    report = {};
    FStorageReport = &report.Images;
    FLastStatus = RunCoder("loading", [&] { return LoadFromStream(data, img); });
    FStorageReport = nullptr;
    report.Status = FLastStatus;
    return FLastStatus;
}

TStatus TMultiImageIO::SaveToFile(TOrbMultiImage& img, const std::filesystem::path& fileName) {
    std::vector<std::uint8_t> bytes;
    if (Save(img, bytes))
        FLastStatus = WriteFileReplacing(fileName, bytes);
    return FLastStatus;
}

TStatus TMultiImageIO::LoadFromFile(const std::filesystem::path& fileName, TOrbMultiImage& img,
                                    TIconLoadReport& report) {
    std::vector<std::uint8_t> bytes;
    if (TStatus read = ReadWholeFile(fileName, limits::kMaxIconFileBytes, bytes); !read) {
        report = {};
        report.Status = FLastStatus = read;
        return read;
    }
    return Load(bytes, img, report);
}

TStatus TMultiImageIO::LoadFromFile(const std::filesystem::path& fileName, TOrbMultiImage& img) {
    TIconLoadReport report;
    return LoadFromFile(fileName, img, report);
}

} // namespace gw
