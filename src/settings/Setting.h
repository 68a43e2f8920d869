#pragma once
// The program's one settings object: icon type, theme, output folder, window behaviour and the
// format lists of the two icon types, persisted in section "General" of the settings file.
//
// The window's thread creates, changes and destroys the object; creating it loads the settings file,
// destroying it writes the file back (failures there are swallowed, the previous file stays intact).
// The conversion worker reads it through the const getters below while no setter runs.
//
// Getters of IconType, ThemeType and AnimationSpeed repair an out-of-range stored value in place (so
// the repaired value is what gets saved). They are const because the repair does not change the
// meaning of the setting: a bad value already reads as the repaired one.
// NOTE: a repair is a write. Two threads may call the getters at once only when no repair can happen
// meanwhile. The output folder is never repaired: a folder that is gone for a while (an unplugged
// drive) stays chosen.

#include "settings/SettingsBase.h"

#include <cstdint>
#include <string>
#include <vector>

namespace gw {

enum class TIconType : std::uint8_t { itWin = 0, itMac = 1 };
enum class TThemeType : std::uint8_t { ttLight = 0, ttDark = 1 };

// Whether a settings object reads the settings file when created and writes it when destroyed. A
// detached object (for a command line run, say) starts from the defaults and never touches the file
// unless LoadSettings or SaveSettings is called.
enum class TPersistence { Persisted, Detached };

class TGlobalSetting : public TSetting {
public:
    // Resets to the defaults and, when persisted, loads the settings file.
    explicit TGlobalSetting(TPersistence persistence = TPersistence::Persisted);
    // When persisted, saves the settings file; never throws.
    ~TGlobalSetting() override;

    void ResetToDefault() override;

    // A stored value above itMac reads (and becomes) itWin.
    TIconType GetIconType() const;
    TIconType IconType() const { return GetIconType(); }
    void SetIconType(TIconType value) { FIconType = value; }

    // A stored value above ttDark reads (and becomes) ttDark.
    TThemeType GetThemeType() const;
    TThemeType ThemeType() const { return GetThemeType(); }
    void SetThemeType(TThemeType value) { FThemeType = value; }

    // Output folder; empty means beside the source file. A text that does not name an existing folder
    // (symbolic links followed) reads empty, but stays stored and saved: see ChosenPath.
    std::string GetPath() const;
    // The output folder as chosen, whether or not it exists now. A conversion writes there or fails;
    // it never falls back to the folder of the source.
    const std::string& ChosenPath() const { return FPath; }
    std::string Path() const { return GetPath(); }
    void SetPath(std::string value) { FPath = std::move(value); }

    // Slide animation duration in seconds, repaired into 0.0 .. 1.0 (not-a-number becomes 0.0).
    long double GetAnimationSpeed() const;
    long double AnimationSpeed() const { return GetAnimationSpeed(); }
    void SetAnimationSpeed(long double value) { FAnimationSpeed = value; }

    // Booleans read from the file keep their ordinal (5 stays 5 and counts as true).
    bool ShowSplash() const { return FShowSplash != 0; }
    void SetShowSplash(bool value) { FShowSplash = value; }
    bool Textured() const { return FTextured != 0; }
    void SetTextured(bool value) { FTextured = value; }
    bool TopMost() const { return FTopMost != 0; }
    void SetTopMost(bool value) { FTopMost = value; }
    bool AnimateExit() const { return FAnimateExit != 0; }
    void SetAnimateExit(bool value) { FAnimateExit = value; }
    // The 256 x 256 image of an .ico file is stored as PNG.
    bool CompressVista() const { return FCompressVista != 0; }
    void SetCompressVista(bool value) { FCompressVista = value; }
    // Macintosh icons are written in the modern form: PNG from 256 pixels up, retina elements.
    bool MacModern() const { return FMacModern != 0; }
    void SetMacModern(bool value) { FMacModern = value; }
    // Floyd-Steinberg dithering when reducing colour depth.
    bool Dither() const { return FDither != 0; }
    void SetDither(bool value) { FDither = value; }

    // Format lists ("16x16-32;16x16-8;...") of the two icon types.
    const std::string& WinFormats() const { return FWinFormats; }
    void SetWinFormats(std::string value) { FWinFormats = std::move(value); }
    const std::string& MacFormats() const { return FMacFormats; }
    void SetMacFormats(std::string value) { FMacFormats = std::move(value); }

    static constexpr const char* kDefaultWinFormats =
        "16x16-32;16x16-8;16x16-4;32x32-32;32x32-8;32x32-4;48x48-32;48x48-8;64x64-32;256x256-32";
    static constexpr const char* kDefaultMacFormats = "16x16-32;16x16-8;16x16-4;32x32-32;32x32-8;32x32-4;"
                                                      "48x48-32;48x48-8;128x128-32;256x256-32;512x512-32;"
                                                      "1024x1024-32";

protected:
    std::vector<TPublishedProperty> PublishedProperties() override;

private:
    TPersistence FPersistence;
    mutable TIconType FIconType = TIconType::itWin;
    mutable TThemeType FThemeType = TThemeType::ttDark;
    std::string FPath;
    mutable long double FAnimationSpeed = 0.3L;
    std::uint8_t FShowSplash = 1;
    std::uint8_t FTextured = 1;
    std::uint8_t FTopMost = 0;
    std::uint8_t FAnimateExit = 1;
    std::uint8_t FCompressVista = 1;
    std::uint8_t FDither = 1;
    std::uint8_t FMacModern = 0;
    std::string FWinFormats;
    std::string FMacFormats;
};

} // namespace gw
