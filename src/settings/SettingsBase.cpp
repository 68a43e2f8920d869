#include "settings/SettingsBase.h"

#include "settings/ConfigPath.h"
#include "settings/IniFile.h"

#include "image/Limits.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <system_error>
#include <type_traits>

namespace gw {

std::vector<TSetting::TPublishedProperty> TSetting::SortedProperties() {
    std::vector<TPublishedProperty> properties = PublishedProperties();
    std::ranges::stable_sort(properties, [](const TPublishedProperty& a, const TPublishedProperty& b) {
        return CompareText(a.Name, b.Name) < 0;
    });
    return properties;
}

void TSetting::ReadProperty(const TIniFile& f, const TPublishedProperty& property) {
    std::visit(
        [&](const auto& access) {
            using TAccess = std::decay_t<decltype(access)>;
            if constexpr (std::is_same_v<TAccess, TOrdinalAccess>) {
                // Stored without range checks, as an 8-bit ordinal keeps it: the getters repair.
                access.Set(
                    static_cast<std::uint8_t>(f.ReadInteger(FSectionName, property.Name, access.Get())));
            } else if constexpr (std::is_same_v<TAccess, TFloatAccess>) {
                access.Set(f.ReadFloat(FSectionName, property.Name, access.Get()));
            } else {
                access.Set(f.ReadString(FSectionName, property.Name, access.Get()));
            }
        },
        property.Access);
}

void TSetting::WriteProperty(TIniFile& f, const TPublishedProperty& property) {
    std::visit(
        [&](const auto& access) {
            using TAccess = std::decay_t<decltype(access)>;
            if constexpr (std::is_same_v<TAccess, TOrdinalAccess>)
                f.WriteInteger(FSectionName, property.Name, access.Get());
            else if constexpr (std::is_same_v<TAccess, TFloatAccess>)
                f.WriteFloat(FSectionName, property.Name, static_cast<double>(access.Get()));
            else
                f.WriteString(FSectionName, property.Name, access.Get());
        },
        property.Access);
}

bool TSetting::LoadSettings() {
    try {
        FFileName = SettingsFilePath();
        TIniFile f;
        // No known folder or an unreadable file: the properties stay at their defaults.
        const bool fileRead = !FFileName.empty() && f.LoadFromFile(FFileName).IsOk();
        for (const TPublishedProperty& property : SortedProperties())
            ReadProperty(f, property);
        return fileRead;
    } catch (const std::exception&) {
        return false;
    }
}

bool TSetting::SaveSettings() noexcept {
    try {
        FFileName = SettingsFilePath();
        if (FFileName.empty())
            return false;
        std::error_code ec;
        std::filesystem::create_directories(FFileName.parent_path(), ec);
        if (ec)
            return false;
        // NOTE: a file that exists but cannot be read is left alone rather than replaced, which would
        // lose its other sections.
        TIniFile f;
        if (!f.LoadFromFile(FFileName))
            return false;
        // NOTE: a file longer than the cap was read only in part; writing the document back would cut
        // off the rest, other sections included. It stays as it is, and the user is told why.
        if (!f.Complete()) {
            std::fprintf(stderr,
                         "glyphwright: %s is longer than %llu bytes and was read only in part; it is left "
                         "untouched and the settings are not saved\n",
                         FFileName.c_str(), static_cast<unsigned long long>(limits::kMaxSettingsFileBytes));
            return false;
        }
        bool valuesWritten = true;
        try {
            for (const TPublishedProperty& property : SortedProperties())
                WriteProperty(f, property);
        } catch (const std::exception&) {
            valuesWritten = false;
        }
        return f.SaveToFile(FFileName).IsOk() && valuesWritten;
    } catch (...) {
        return false;
    }
}

void TSetting::SaveOnDestroy() noexcept {
    (void)SaveSettings();
}

} // namespace gw
