#pragma once
// The generic settings store: persists the published properties of a derived class as the keys of
// one section of an INI file.
//
// A derived class lists its published properties (name, kind and accessors); the store walks that
// list in alphabetical order of the names, so adding a setting means adding a field, its default and
// one entry in the list. Ordinal properties (enumerations and Booleans) are kept as 8-bit ordinals,
// floats as extended precision, strings as UTF-8 bytes.
//
// C++ cannot dispatch virtual calls from a base constructor or destructor, so the derived class calls
// ResetToDefault() and LoadSettings() at the end of its constructor and SaveOnDestroy() at the start of
// its destructor.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace gw {

class TIniFile;

class TSetting {
public:
    TSetting() = default;
    virtual ~TSetting() = default;
    TSetting(const TSetting&) = delete;
    TSetting& operator=(const TSetting&) = delete;

    // Sets the section name and every property to its default.
    virtual void ResetToDefault() = 0;

    // Reads every published property from the settings file; a missing file leaves the defaults.
    // False when the file exists but cannot be read, or reading a value failed.
    bool LoadSettings();
    // Writes every published property into the settings file, keeping its other sections and keys.
    // The file is replaced atomically: on any failure the previous file stays as it was. False when
    // writing failed. Never throws.
    bool SaveSettings() noexcept;

    // Full path of the settings file, set at every load and save.
    const std::filesystem::path& FileName() const { return FFileName; }
    const std::string& SectionName() const { return FSectionName; }
    bool Verbose() const { return FVerbose; }
    void SetVerbose(bool value) { FVerbose = value; }

protected:
    // Accessors of one published property, by kind.
    struct TOrdinalAccess {
        std::function<std::uint8_t()> Get;
        std::function<void(std::uint8_t)> Set;
    };
    struct TFloatAccess {
        std::function<long double()> Get;
        std::function<void(long double)> Set;
    };
    struct TStringAccess {
        std::function<std::string()> Get;
        std::function<void(const std::string&)> Set;
    };
    struct TPublishedProperty {
        std::string_view Name;
        std::variant<TOrdinalAccess, TFloatAccess, TStringAccess> Access;
    };

    // The published properties of the actual class, in any order.
    virtual std::vector<TPublishedProperty> PublishedProperties() = 0;

    // For the derived destructor: saves and swallows every failure, so that shutdown never throws.
    void SaveOnDestroy() noexcept;

    void SetSectionName(std::string value) { FSectionName = std::move(value); }

private:
    std::vector<TPublishedProperty> SortedProperties();
    void ReadProperty(const TIniFile& f, const TPublishedProperty& property);
    void WriteProperty(TIniFile& f, const TPublishedProperty& property);

    std::filesystem::path FFileName;
    bool FVerbose = false;
    std::string FSectionName;
};

} // namespace gw
