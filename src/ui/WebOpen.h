#pragma once
// Opens a web address or a local page in the user's default browser.

#include <QString>

namespace gw {

class TWebUtilities {
public:
    // Returns at once; a failure is silent.
    static void Open(const QString& command);
};

} // namespace gw
