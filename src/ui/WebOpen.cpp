#include "ui/WebOpen.h"

#include <QDesktopServices>
#include <QUrl>

namespace gw {

void TWebUtilities::Open(const QString& command) {
    QDesktopServices::openUrl(QUrl(command));
}

} // namespace gw
