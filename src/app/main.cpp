// Program start: the installer marker, the application object, the command line and the window.
//
//   glyphwright [FILE...]
// Files given (as "Open With" passes them) are converted as if dropped on the window once the splash
// has gone; without any the window waits for a drop.

#include "app/FormMain.h"
#include "ui/InstanceMarker.h"

#include "GlyphwrightVersion.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

int main(int argc, char* argv[]) {
    gw::RegisterInstanceMutex("GlyphwrightSetup");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Glyphwright"));
    QApplication::setApplicationVersion(QLatin1String(gw::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("glyphwright"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/app.svg")));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Turns pictures into multi-resolution Windows (.ico) and Macintosh (.icns) icons."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Pictures to convert at start, as if dropped on the window."),
                                 QStringLiteral("[FILE...]"));
    parser.process(application);

    gw::TfrmMain window;
    window.OpenAtStart(parser.positionalArguments());
    // GLYPHWRIGHT_AUTO_EXIT_MS closes the window after that many milliseconds; only the start-up check
    // under a virtual display uses it.
    if (const int autoExit = qEnvironmentVariableIntValue("GLYPHWRIGHT_AUTO_EXIT_MS"); autoExit > 0)
        QTimer::singleShot(autoExit, &window, [&window] { window.ExitProgram(); });
    window.show();
    return application.exec();
}
