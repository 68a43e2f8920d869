#pragma once
// The modal folder picker of the output folder setting.

#include <QString>

class QWidget;

namespace gw {

// True with the picked absolute folder in `path`; false and an empty path when the user cancels.
bool SelectFolder(QWidget* parent, QString& path);

} // namespace gw
