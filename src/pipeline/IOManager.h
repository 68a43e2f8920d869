#pragma once
// Turns one picture file into one icon file: detects the type, decodes the picture, fits it onto a
// square canvas of at most 1024 pixels, draws one icon image per wanted format, reduces each to its
// colour depth and saves the icon under a name that overwrites nothing.

#include "image/CommonTypes.h"
#include "pipeline/BatchProcess.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace gw {

class TGlobalSetting;
class TDataType;

// One wanted icon image.
struct TImgFormat {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::uint8_t BitCount = 0;
    friend bool operator==(const TImgFormat&, const TImgFormat&) = default;
};
using TImageFormats = std::vector<TImgFormat>;

class TIOManager : public TFileProcessor {
public:
    // The manager reads the settings (format lists, icon type, output folder, PNG switch) and reduces
    // colour depth through dataType; both outlive it.
    TIOManager(const TGlobalSetting& settings, TDataType& dataType);

    bool ProcessFile(const std::filesystem::path& fileName, TErrorType& errorType) override;
    std::filesystem::path LastOutputFile() const override { return FLastOutputFile; }

    std::int32_t MaxSize() const { return FMaxSize; }
    void SetMaxSize(std::int32_t value) { FMaxSize = value; }

    // The remaining steps of a conversion are declared by the implementation below this line.

private:
    const TGlobalSetting& FSettings;
    TDataType& FDataType;
    std::int32_t FMaxSize = 512;
    std::filesystem::path FLastOutputFile;
};

} // namespace gw
