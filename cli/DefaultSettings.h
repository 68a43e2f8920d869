#pragma once
// The settings of a command-line run: the defaults, changed only by options. The window's settings
// file is neither read nor written.

#include "settings/Setting.h"

#include <memory>

namespace gw::cli {

class TDefaultSettings {
public:
    TDefaultSettings();
    ~TDefaultSettings();
    TDefaultSettings(const TDefaultSettings&) = delete;
    TDefaultSettings& operator=(const TDefaultSettings&) = delete;

    TGlobalSetting& Get() { return *FSettings; }

private:
    std::unique_ptr<TGlobalSetting> FSettings;
};

} // namespace gw::cli
