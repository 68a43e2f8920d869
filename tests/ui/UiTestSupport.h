#pragma once
// Shared set-up of the window tests: a private settings folder, small picture files, synthesized
// drops, and a conversion manager stand-in whose pace the test controls.

#include "pipeline/BatchProcess.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <atomic>
#include <condition_variable>
#include <mutex>

class QWidget;

namespace gw {

class TTransparentDropTarget;

// Points GLYPHWRIGHT_CONFIG_DIR at a fresh folder and writes `iniLines` into section "General" of the
// settings file there, so that no test reads or writes the user's settings.
class TTestConfig {
public:
    explicit TTestConfig(const QStringList& iniLines);
    QString Folder() const { return FDir.path(); }
    QString SettingsFile() const { return FDir.filePath(QStringLiteral("config.ini")); }
    // The settings file's text.
    QString ReadSettings() const;

private:
    QTemporaryDir FDir;
};

// Writes a width x height PNG picture (a gradient) and returns its path.
QString WritePng(const QString& folder, const QString& name, int width = 24, int height = 16);

// Sends drag enter and drop of `data` to the drop target; true when the drop was accepted.
bool SendDrop(TTransparentDropTarget* target, const QList<QUrl>& urls);
QList<QUrl> FileUrls(const QStringList& paths);

// A conversion manager that writes a small file beside each picture. The test can hold a picture in
// hand (started, not finished) until it lets it go on.
class TFakeProcessor : public TFileProcessor {
public:
    bool ProcessFile(const std::filesystem::path& fileName, TErrorType& errorType) override;
    std::filesystem::path LastOutputFile() const override { return FLast; }

    // Only the first `allowed` pictures finish; the next one waits in hand. Negative: no gate.
    void SetAllowed(int allowed);
    int Started() const { return FStarted; }
    int Finished() const { return FFinished; }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    int FAllowed = -1;
    std::atomic<int> FStarted{0};
    std::atomic<int> FFinished{0};
    std::filesystem::path FLast;
};

} // namespace gw
