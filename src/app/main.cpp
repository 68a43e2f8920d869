// Program start: the installer marker, the application object and the window.

#include "app/FormMain.h"
#include "ui/InstanceMarker.h"
#include "ui/SurfaceManager.h"
#include "ui/TransparentDropTarget.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

namespace {

// GLYPHWRIGHT_AUTO_DROP (paths separated by ':') drops those files on the window as soon as the drop
// surface shows; only the start-up check under a virtual display uses it, since a virtual display has
// no file manager to drag from.
void ScheduleSelfCheckDrop(gw::TfrmMain& window) {
    const QStringList paths =
        qEnvironmentVariable("GLYPHWRIGHT_AUTO_DROP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (paths.isEmpty())
        return;
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, paths] {
        if (window.SurfaceMngr().Current() != window.DropSurface())
            return;
        poll->stop();
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls.append(QUrl::fromLocalFile(path));
        data.setUrls(urls);
        const QPoint point(100, 100);
        QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.DropTarget(), &enter);
        QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.DropTarget(), &drop);
    });
    poll->start(50);
}

} // namespace

int main(int argc, char* argv[]) {
    gw::RegisterInstanceMutex("GlyphwrightSetup");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Glyphwright"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setDesktopFileName(QStringLiteral("glyphwright"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/app.svg")));

    gw::TfrmMain window;
    // GLYPHWRIGHT_AUTO_EXIT_MS closes the window after that many milliseconds; only the start-up check
    // under a virtual display uses it. The program itself takes no arguments.
    if (const int autoExit = qEnvironmentVariableIntValue("GLYPHWRIGHT_AUTO_EXIT_MS"); autoExit > 0)
        QTimer::singleShot(autoExit, &window, [&window] { window.ExitProgram(); });
    ScheduleSelfCheckDrop(window);
    window.show();
    return application.exec();
}
