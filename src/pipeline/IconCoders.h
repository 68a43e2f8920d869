#pragma once
// Puts the program's icon file coders behind the icon document's seam (TIconCoder in image/OrbIcon.h),
// so that TOrbIcon::SaveToFile and LoadFromFile reach the ICO and ICNS coders. The window, the command
// line and tests call it once, after creating the settings object.

namespace gw {

class TGlobalSetting;

// The ICO coder asks settings.CompressVista() and the ICNS coder settings.Dither() and MacModern() at
// every save, so settings must outlive every save made through the document afterwards.
void RegisterIconCoders(const TGlobalSetting& settings);

} // namespace gw
