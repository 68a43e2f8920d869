#include "formats/ico/MultiImageIO.h"

#include "image/AtomicFile.h"
#include "image/Limits.h"

#include <exception>
#include <new>
#include <vector>

namespace gw {

bool TMultiImageIO::CanSave(const TOrbMultiImage& /*img*/) const {
    return true;
}

bool TMultiImageIO::SaveToFile(TOrbMultiImage& img, const std::filesystem::path& fileName) {
    if (!CanSave(img)) {
        FLastStatus = TStatus::Fail(TFailure::Unsupported, "no image this format can store");
        return false;
    }
    try {
        TByteWriter stream;
        FLastStatus = SaveToStream(img, stream);
        if (FLastStatus)
            FLastStatus = WriteFileReplacing(fileName, stream.Buffer());
    } catch (const std::bad_alloc&) {
        FLastStatus = TStatus::Fail(TFailure::TooLarge, "out of memory while saving");
    } catch (const std::exception& error) {
        FLastStatus = TStatus::Fail(TFailure::Corrupt, error.what());
    } catch (...) {
        FLastStatus = TStatus::Fail(TFailure::Corrupt, "unknown error while saving");
    }
    return FLastStatus.IsOk();
}

bool TMultiImageIO::LoadFromFile(const std::filesystem::path& fileName, TOrbMultiImage& img) {
    try {
        std::vector<std::uint8_t> bytes;
        FLastStatus = ReadWholeFile(fileName, limits::kMaxIconFileBytes, bytes);
        if (FLastStatus)
            FLastStatus = LoadFromStream(bytes, img);
    } catch (const std::bad_alloc&) {
        FLastStatus = TStatus::Fail(TFailure::TooLarge, "out of memory while loading");
    } catch (const std::exception& error) {
        FLastStatus = TStatus::Fail(TFailure::Corrupt, error.what());
    }
    return FLastStatus.IsOk();
}

} // namespace gw
