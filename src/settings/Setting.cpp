#include "settings/Setting.h"

#include <filesystem>
#include <system_error>

namespace gw {

namespace {

constexpr const char* kSectionName = "General";

// True when the text names an existing folder, symbolic links followed. A text with a NUL byte names
// nothing: the file system would only see the part before it.
bool NamesFolder(const std::string& text) {
    if (text.empty() || text.find('\0') != std::string::npos)
        return false;
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::path(text), ec);
}

} // namespace

TGlobalSetting::TGlobalSetting(TPersistence persistence) : FPersistence(persistence) {
    ResetToDefault();
    if (FPersistence == TPersistence::Persisted)
        LoadSettings();
}

TGlobalSetting::~TGlobalSetting() {
    if (FPersistence == TPersistence::Persisted)
        SaveOnDestroy();
}

void TGlobalSetting::ResetToDefault() {
    SetSectionName(kSectionName);
    FIconType = TIconType::itWin;
    FThemeType = TThemeType::ttDark;
    FPath.clear();
    FShowSplash = 1;
    FTextured = 1;
    FTopMost = 0;
    FAnimationSpeed = 0.3L;
    FAnimateExit = 1;
    FCompressVista = 1;
    FDither = 1;
    FMacModern = 0;
    FWinFormats = kDefaultWinFormats;
    FMacFormats = kDefaultMacFormats;
}

TIconType TGlobalSetting::GetIconType() const {
    if (static_cast<std::uint8_t>(FIconType) > static_cast<std::uint8_t>(TIconType::itMac))
        FIconType = TIconType::itWin;
    return FIconType;
}

TThemeType TGlobalSetting::GetThemeType() const {
    if (static_cast<std::uint8_t>(FThemeType) > static_cast<std::uint8_t>(TThemeType::ttDark))
        FThemeType = TThemeType::ttDark;
    return FThemeType;
}

std::string TGlobalSetting::GetPath() const {
    return NamesFolder(FPath) ? FPath : std::string();
}

long double TGlobalSetting::GetAnimationSpeed() const {
    if (FAnimationSpeed > 1.0L)
        FAnimationSpeed = 1.0L;
    if (!(FAnimationSpeed >= 0.0L)) // negative, or not a number
        FAnimationSpeed = 0.0L;
    return FAnimationSpeed;
}

std::vector<TSetting::TPublishedProperty> TGlobalSetting::PublishedProperties() {
    auto flag = [](std::uint8_t& field) {
        return TOrdinalAccess{[&field] { return field; }, [&field](std::uint8_t value) { field = value; }};
    };
    auto text = [](std::string& field) {
        return TStringAccess{[&field] { return field; },
                             [&field](const std::string& value) { field = value; }};
    };
    return {
        {"IconType",
         TOrdinalAccess{[this] { return static_cast<std::uint8_t>(GetIconType()); },
                        [this](std::uint8_t value) { FIconType = static_cast<TIconType>(value); }}},
        {"ThemeType",
         TOrdinalAccess{[this] { return static_cast<std::uint8_t>(GetThemeType()); },
                        [this](std::uint8_t value) { FThemeType = static_cast<TThemeType>(value); }}},
        {"Path",
         TStringAccess{[this] { return FPath.find('\0') == std::string::npos ? FPath : std::string(); },
                       [this](const std::string& value) { FPath = value; }}},
        {"ShowSplash", flag(FShowSplash)},
        {"Textured", flag(FTextured)},
        {"TopMost", flag(FTopMost)},
        {"AnimationSpeed", TFloatAccess{[this] { return GetAnimationSpeed(); },
                                        [this](long double value) { FAnimationSpeed = value; }}},
        {"AnimateExit", flag(FAnimateExit)},
        {"CompressVista", flag(FCompressVista)},
        {"Dither", flag(FDither)},
        {"MacModern", flag(FMacModern)},
        {"WinFormats", text(FWinFormats)},
        {"MacFormats", text(FMacFormats)},
    };
}

} // namespace gw
