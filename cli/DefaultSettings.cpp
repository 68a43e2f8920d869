#include "DefaultSettings.h"

#include <cstdlib>
#include <optional>
#include <string>

namespace gw::cli {

namespace {

constexpr const char* kConfigDirVariable = "GLYPHWRIGHT_CONFIG_DIR";
// FIXME: TGlobalSetting loads its file when created and saves it when destroyed, and offers no way to
// start from the defaults alone. Until it does, the object is pointed at a folder below /dev/null for
// its lifetime: a path that can never exist nor be created, so loading finds no file (defaults) and
// saving fails quietly. The user's real settings file is never touched.
constexpr const char* kUnreachableFolder = "/dev/null/glyphwright-cli";

// Points the settings folder somewhere unreachable while it lives; puts the old value back after.
class TConfigFolderOverride {
public:
    TConfigFolderOverride() {
        if (const char* old = std::getenv(kConfigDirVariable))
            FOld = old;
        ::setenv(kConfigDirVariable, kUnreachableFolder, 1);
    }
    ~TConfigFolderOverride() {
        if (FOld)
            ::setenv(kConfigDirVariable, FOld->c_str(), 1);
        else
            ::unsetenv(kConfigDirVariable);
    }
    TConfigFolderOverride(const TConfigFolderOverride&) = delete;
    TConfigFolderOverride& operator=(const TConfigFolderOverride&) = delete;

private:
    std::optional<std::string> FOld;
};

} // namespace

TDefaultSettings::TDefaultSettings() {
    const TConfigFolderOverride folder;
    FSettings = std::make_unique<TGlobalSetting>();
    FSettings->ResetToDefault();
}

TDefaultSettings::~TDefaultSettings() {
    const TConfigFolderOverride folder;
    FSettings.reset();
}

} // namespace gw::cli
