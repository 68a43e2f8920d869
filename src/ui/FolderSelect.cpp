#include "ui/FolderSelect.h"

#include <QDir>
#include <QFileDialog>

namespace gw {

bool SelectFolder(QWidget* parent, QString& path) {
    path.clear();
    const QString picked = QFileDialog::getExistingDirectory(
        parent, QStringLiteral("Select the output folder."), QString(), QFileDialog::ShowDirsOnly);
    if (picked.isEmpty())
        return false;
    path = QDir(picked).absolutePath();
    return true;
}

} // namespace gw
