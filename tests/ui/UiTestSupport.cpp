#include "UiTestSupport.h"

#include "ui/TransparentDropTarget.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QMimeData>

#include <fstream>

namespace gw {

TTestConfig::TTestConfig(const QStringList& iniLines) {
    qputenv("GLYPHWRIGHT_CONFIG_DIR", FDir.path().toLocal8Bit());
    QFile file(SettingsFile());
    if (file.open(QIODevice::WriteOnly))
        file.write(
            (QStringLiteral("[General]\n") + iniLines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

QString TTestConfig::ReadSettings() const {
    QFile file(SettingsFile());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString WritePng(const QString& folder, const QString& name, int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(x * 255 / width, y * 255 / height, 128, 255));
    const QString path = folder + QLatin1Char('/') + name;
    image.save(path, "PNG");
    return path;
}

QList<QUrl> FileUrls(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    return urls;
}

bool SendDrop(TTransparentDropTarget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint point(100, 90);
    QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

bool TFakeProcessor::ProcessFile(const std::filesystem::path& fileName, TErrorType& errorType) {
    {
        std::unique_lock lock(FMutex);
        const int number = ++FStarted;
        FChanged.wait(lock, [this, number] { return FAllowed < 0 || number <= FAllowed; });
    }
    std::filesystem::path output = fileName;
    output += ".fake.ico";
    std::ofstream(output, std::ios::binary) << "icon";
    FLast = output;
    errorType = TErrorType::etNone;
    ++FFinished;
    return true;
}

void TFakeProcessor::SetAllowed(int allowed) {
    {
        std::lock_guard lock(FMutex);
        FAllowed = allowed;
    }
    FChanged.notify_all();
}

} // namespace gw
