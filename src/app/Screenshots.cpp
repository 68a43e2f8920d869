// Developer tool: renders every surface of the window in both themes into PNG files (as committed in
// docs/screenshots/). Runs on the offscreen platform at twice the pixel density.
//   gw_screenshots <output folder>

#include "app/FormMain.h"
#include "settings/Setting.h"
#include "ui/SurfaceManager.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

// The screenshots never convert anything.
class TIdleProcessor : public gw::TFileProcessor {
public:
    bool ProcessFile(const std::filesystem::path&, gw::TErrorType& errorType) override {
        errorType = gw::TErrorType::etNone;
        return false;
    }
    std::filesystem::path LastOutputFile() const override { return {}; }
};

void Settle() {
    QTest::qWait(120);
}

bool Save(QWidget& window, const QString& folder, const QString& name) {
    Settle();
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    if (!window.grab().save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool ShootTheme(const QString& folder, const QString& theme, bool light) {
    QTemporaryDir config;
    qputenv("GLYPHWRIGHT_CONFIG_DIR", config.path().toLocal8Bit());
    QFile file(config.filePath(QStringLiteral("config.ini")));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QStringLiteral("[General]\nShowSplash=1\nAnimationSpeed=0\nThemeType=%1\n")
                   .arg(light ? 0 : 1)
                   .toUtf8());
    file.close();

    gw::TfrmMain window(
        [](const gw::TGlobalSetting&, gw::TDataType&) { return std::make_unique<TIdleProcessor>(); });
    window.show();
    bool ok = Save(window, folder, QStringLiteral("splash-") + theme);
    if (!QTest::qWaitFor([&window] { return window.SurfaceMngr().Current() == window.DropSurface(); }, 5000))
        return false;
    ok = Save(window, folder, QStringLiteral("drop-") + theme) && ok;

    gw::TSurfaceManager& manager = window.SurfaceMngr();
    window.ProgressSurface()->SetProgress(64);
    manager.ChangeTo(window.ProgressSurface());
    ok = Save(window, folder, QStringLiteral("progress-") + theme) && ok;

    window.MessageSurface()->SetMessageType(gw::TMessageType::mtSuccess);
    window.MessageSurface()->SetMessage(QStringLiteral("All files were processed successfully!"));
    manager.ChangeTo(window.MessageSurface());
    ok = Save(window, folder, QStringLiteral("message-success-") + theme) && ok;

    window.MessageSurface()->SetMessageType(gw::TMessageType::mtFailure);
    window.MessageSurface()->SetMessage(
        QStringLiteral("Some files were processed successfully, but there were also errors!"));
    manager.ChangeTo(window.SettingsSurface());
    manager.ChangeTo(window.MessageSurface());
    ok = Save(window, folder, QStringLiteral("message-error-") + theme) && ok;

    manager.ChangeTo(window.SettingsSurface());
    ok = Save(window, folder, QStringLiteral("settings-") + theme) && ok;
    manager.ChangeTo(window.AboutSurface());
    ok = Save(window, folder, QStringLiteral("about-") + theme) && ok;
    return ok;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gw_screenshots <output folder>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    const bool ok = ShootTheme(folder, QStringLiteral("dark"), false) &&
                    ShootTheme(folder, QStringLiteral("light"), true);
    return ok ? 0 : 1;
}
