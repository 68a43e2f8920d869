// The drop target and the installer marker.

#include "UiTestSupport.h"

#include "ui/InstanceMarker.h"
#include "ui/TransparentDropTarget.h"

#include <QDir>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace gw;

namespace {

// What an installer does: asks for the exclusive lock without waiting. True when it was refused,
// which means an instance holds the marker.
bool InstallerSeesRunningInstance(const std::filesystem::path& marker) {
    const int fd = ::open(marker.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool refused = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return refused;
}

} // namespace

class ShellGlueTest : public QObject {
    Q_OBJECT
private slots:
    void FilePathsKeepOrderAndDropNonFiles() {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/b.png")),
                      QUrl(QStringLiteral("https://example.org/x.png")),
                      QUrl::fromLocalFile(QStringLiteral("/tmp/a folder")),
                      QUrl::fromLocalFile(QStringLiteral("/tmp/a.png"))});
        QCOMPARE(TTransparentDropTarget::FilePaths(&data),
                 (QStringList{"/tmp/b.png", "/tmp/a folder", "/tmp/a.png"}));
    }

    void TextOnlyDragIsRefusedButReported() {
        QWidget owner;
        TTransparentDropTarget target(&owner);
        target.SetAllowDrop(true);
        QSignalSpy over(&target, &TTransparentDropTarget::DragOver);
        QSignalSpy dropped(&target, &TTransparentDropTarget::Dropped);
        QMimeData data;
        data.setText(QStringLiteral("just some words"));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&target, &enter);
        // Taken with no action to offer, so that the leave comes back to the target.
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::IgnoreAction);
        QDragMoveEvent move(QPoint(6, 6), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&target, &move);
        QVERIFY(!move.isAccepted());
        QCOMPARE(over.count(), 2);
        QCOMPARE(over.first().first().toBool(), false);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&target, &drop);
        QVERIFY(!drop.isAccepted());
        QCOMPARE(dropped.count(), 0);
    }

    void WebAddressDragIsRefused() {
        QWidget owner;
        TTransparentDropTarget target(&owner);
        target.SetAllowDrop(true);
        QSignalSpy dropped(&target, &TTransparentDropTarget::Dropped);
        QVERIFY(!SendDrop(&target, {QUrl(QStringLiteral("https://example.org/picture.png"))}));
        QCOMPARE(dropped.count(), 0);
    }

    void FilesAreDeliveredInOrder() {
        QWidget owner;
        TTransparentDropTarget target(&owner);
        target.SetAllowDrop(true);
        QSignalSpy dropped(&target, &TTransparentDropTarget::Dropped);
        const QStringList paths{QStringLiteral("/tmp/z.png"), QStringLiteral("/tmp/a.png")};
        QVERIFY(SendDrop(&target, FileUrls(paths)));
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped.first().first().toStringList(), paths);
    }

    void RefusedTargetLetsClicksThrough() {
        QWidget owner;
        TTransparentDropTarget target(&owner);
        QSignalSpy dropped(&target, &TTransparentDropTarget::Dropped);
        target.SetAllowDrop(false);
        QVERIFY(!target.AllowDrop());
        QVERIFY(!target.acceptDrops());
        QVERIFY(target.testAttribute(Qt::WA_TransparentForMouseEvents));
        QVERIFY(!SendDrop(&target, FileUrls({QStringLiteral("/tmp/a.png")})));
        QCOMPARE(dropped.count(), 0);
        target.SetAllowDrop(true);
        QVERIFY(target.acceptDrops() && !target.testAttribute(Qt::WA_TransparentForMouseEvents));
    }

    void TwoInstancesBothHoldTheMarker() {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        const std::filesystem::path marker = InstanceMarkerPath("GlyphwrightSetupTest");
        QCOMPARE(QString::fromStdString(marker.parent_path().string()), runtime.path());
        QVERIFY(!InstallerSeesRunningInstance(marker));
        // Each registration is its own open file, as in two processes.
        QVERIFY(RegisterInstanceMutex("GlyphwrightSetupTest"));
        QVERIFY(RegisterInstanceMutex("GlyphwrightSetupTest"));
        QVERIFY(InstallerSeesRunningInstance(marker));
    }

    void MarkerFallsBackToTemporaryFolder() {
        qputenv("XDG_RUNTIME_DIR", "relative/folder");
        const std::filesystem::path marker = InstanceMarkerPath("GlyphwrightSetup");
        QCOMPARE(marker.parent_path(), std::filesystem::temp_directory_path());
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(InstanceMarkerPath("GlyphwrightSetup").parent_path(),
                 std::filesystem::temp_directory_path());
    }

    void PlantedLinkIsNotFollowedAndDoesNotBlock() {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        const QString victim = runtime.filePath(QStringLiteral("victim"));
        QVERIFY(QFile::link(victim, runtime.filePath(QStringLiteral("GlyphwrightSetupLink"))));
        QVERIFY(!RegisterInstanceMutex("GlyphwrightSetupLink"));
        QVERIFY(!QFileInfo::exists(victim));
    }

    void MissingRuntimeFolderNeverFailsTheStart() {
        qputenv("XDG_RUNTIME_DIR", "/nonexistent/glyphwright/runtime");
        qputenv("TMPDIR", "/nonexistent/glyphwright/tmp");
        // Whatever the folders, the call returns without blocking.
        RegisterInstanceMutex("GlyphwrightSetup");
        qunsetenv("TMPDIR");
        qunsetenv("XDG_RUNTIME_DIR");
    }
};

QTEST_MAIN(ShellGlueTest)
#include "ShellGlueTest.moc"
