// The main window driven through its own controls on the offscreen platform.

#include "UiTestSupport.h"

#include "app/FormMain.h"
#include "settings/Setting.h"
#include "ui/Controls.h"
#include "ui/Selector.h"
#include "ui/SurfaceManager.h"
#include "ui/TransparentDropTarget.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>

#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <memory>
#include <thread>

using namespace gw;

namespace {

// Settings of a quick, splash-free window with plain (untextured) colours.
const QStringList kQuick{QStringLiteral("ShowSplash=0"), QStringLiteral("AnimationSpeed=0.01"),
                         QStringLiteral("AnimateExit=0"), QStringLiteral("Textured=0")};

// A window whose conversions go to a TFakeProcessor (or to the real conversion manager).
struct TWindowUnderTest {
    TTestConfig Config;
    QTemporaryDir Pictures;
    TFakeProcessor* Processor = nullptr;
    std::unique_ptr<TfrmMain> Window;

    explicit TWindowUnderTest(const QStringList& settings = kQuick, bool realProcessor = false)
        : Config(settings) {
        TfrmMain::TProcessorFactory factory;
        if (!realProcessor)
            factory = [this](const TGlobalSetting&, TDataType&) {
                auto processor = std::make_unique<TFakeProcessor>();
                Processor = processor.get();
                return processor;
            };
        Window = std::make_unique<TfrmMain>(factory);
        Window->show();
    }
    ~TWindowUnderTest() {
        // A failed check must not leave the worker waiting at a gate while the window awaits it.
        if (Window && Processor)
            Processor->SetAllowed(-1);
    }

    template <typename T> T* Child(const char* name) const {
        T* child = Window->findChild<T*>(QString::fromLatin1(name));
        if (!child)
            qFatal("no control %s", name);
        return child;
    }
    TSurface* Current() const { return Window->SurfaceMngr().Current(); }
    void Click(const char* name) const { QTest::mouseClick(Child<QWidget>(name), Qt::LeftButton); }
    void ClickButton() const { Click("txtButton"); }
    // Waits for the drop surface after start-up.
    bool WaitForDropSurface() const {
        return QTest::qWaitFor([this] { return Current() == Window->DropSurface(); }, 5000);
    }
    bool WaitForMessage() const {
        return QTest::qWaitFor([this] { return Current() == Window->MessageSurface(); }, 30000);
    }
    QString Message() const { return Window->MessageSurface()->Message(); }
    QStringList MakePictures(int count) const {
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << WritePng(Pictures.path(), QStringLiteral("picture%1.png").arg(i));
        return paths;
    }
    bool Drop(const QStringList& paths) const { return SendDrop(Window->DropTarget(), FileUrls(paths)); }
    // A pixel of the window's background (left of the drop picture).
    QColor BackgroundPixel() const { return Window->grab().toImage().pixelColor(4, 120); }
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void WindowIsBorderlessSquareTitledGlyphwright() {
        TWindowUnderTest test;
        QCOMPARE(test.Window->size(), QSize(230, 230));
        QCOMPARE(test.Window->windowTitle(), QStringLiteral("Glyphwright"));
        QVERIFY(test.Window->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(!(test.Window->windowFlags() & Qt::WindowStaysOnTopHint));
    }

    void TopMostSettingKeepsWindowAbove() {
        TWindowUnderTest test(kQuick + QStringList{QStringLiteral("TopMost=1")});
        QVERIFY(test.Window->windowFlags() & Qt::WindowStaysOnTopHint);
    }

    void SplashShowsFirstThenDropSurfaceAndHeader() {
        TWindowUnderTest test({QStringLiteral("ShowSplash=1"), QStringLiteral("AnimationSpeed=0.01")});
        QCOMPARE(test.Current(), test.Window->SplashSurface());
        QCOMPARE(test.Child<QWidget>("laySplash")->pos(), QPoint(0, 0));
        // Neither settings nor close can be reached during the splash.
        QCOMPARE(test.Child<QWidget>("layHeader")->y(), -25);
        QVERIFY(!test.Window->DropTarget()->AllowDrop());
        QTest::qWait(1000);
        QCOMPARE(test.Current(), test.Window->SplashSurface());
        QVERIFY(test.WaitForDropSurface());
        QTRY_COMPARE(test.Child<QWidget>("layHeader")->y(), 0);
        QVERIFY(test.Window->DropTarget()->AllowDrop());
    }

    void WithoutSplashDropSurfaceAppearsAtOnce() {
        TWindowUnderTest test({QStringLiteral("ShowSplash=0"), QStringLiteral("AnimationSpeed=1")});
        QVERIFY(test.WaitForDropSurface());
        // The first surface is shown without sliding; only the header slides in.
        QCOMPARE(test.Child<QWidget>("layDrop")->pos(), QPoint(0, 0));
        QVERIFY(test.Child<QWidget>("layHeader")->y() < 0);
        QTRY_COMPARE(test.Child<QWidget>("layHeader")->y(), 0);
        QCOMPARE(test.Child<QWidget>("laySplash")->x(), 230);
    }

    void DefaultsStartDarkWithWindowsIcon() {
        TWindowUnderTest test({QStringLiteral("ShowSplash=0"), QStringLiteral("AnimationSpeed=0.01")});
        QVERIFY(test.WaitForDropSurface());
        auto* type = test.Child<TSelector>("layType");
        auto* theme = test.Child<TSelector>("layTheme");
        QTRY_COMPARE(theme->SecondImage()->x(), 0);
        QVERIFY(type->FirstChosen());
        QVERIFY(!theme->FirstChosen());
        QCOMPARE(theme->SecondText()->x(), 25);
        QCOMPARE(test.Window->BackgroundColor(), QColor(0x33, 0x33, 0x33));
    }

    // An output folder that is gone stays chosen and shown; the conversion fails as a write error
    // and nothing is written beside the picture.
    void MissingOutputFolderFailsTheConversionAsAWriteError() {
        const QString gone = QDir::temp().filePath(
            QStringLiteral("glyphwright-gone-%1").arg(QCoreApplication::applicationPid()));
        TWindowUnderTest test(kQuick + QStringList{QStringLiteral("Path=") + gone}, true);
        QVERIFY(test.WaitForDropSurface());
        test.Click("imgSettings");
        QCOMPARE(test.Child<QLineEdit>("edtPath")->text(), gone);
        test.ClickButton();
        const QString picture = WritePng(test.Pictures.path(), QStringLiteral("photo.png"), 40, 30);
        QVERIFY(test.Drop({picture}));
        QVERIFY(test.WaitForMessage());
        QCOMPARE(test.Message(), QStringLiteral("Error while saving the file!"));
        QVERIFY(!QFileInfo::exists(test.Pictures.filePath(QStringLiteral("photo.ico"))));
        test.Window->ExitProgram();
        test.Window.reset();
        QVERIFY2(test.Config.ReadSettings().contains(QStringLiteral("Path=") + gone),
                 qPrintable(test.Config.ReadSettings()));
    }

    void DropRunsBatchWithRealConverter() {
        TWindowUnderTest test(kQuick, true);
        QVERIFY(test.WaitForDropSurface());
        const QString picture = WritePng(test.Pictures.path(), QStringLiteral("photo.png"), 40, 30);
        const QString text = test.Pictures.filePath(QStringLiteral("notes.txt"));
        QFile(text).open(QIODevice::WriteOnly);
        QVERIFY(test.Drop({text, picture}));
        QCOMPARE(test.Current(), test.Window->ProgressSurface());
        QCOMPARE(test.Window->FileList(), (QStringList{text, picture}));
        QVERIFY(test.WaitForMessage());
        QCOMPARE(test.Message(), QStringLiteral("The file was processed successfully!"));
        QCOMPARE(test.Window->MessageSurface()->MessageType(), TMessageType::mtSuccess);
        QVERIFY(test.Child<QWidget>("imgSuccess")->isVisibleTo(test.Window.get()));
        QVERIFY(!test.Child<QWidget>("imgError")->isVisibleTo(test.Window.get()));
        QCOMPARE(test.Window->ProgressSurface()->Progress(), 100);
        const QFileInfo icon(test.Pictures.filePath(QStringLiteral("photo.ico")));
        QVERIFY(icon.isFile());
        QVERIFY(icon.size() > 6 + 16);
        // "OK" returns to the drop surface, which accepts drops again.
        test.ClickButton();
        QCOMPARE(test.Current(), test.Window->DropSurface());
        QVERIFY(test.Window->DropTarget()->AllowDrop());
    }

    void DropSurfaceNamesItsFormatsAndTakesAnSvg() {
        TWindowUnderTest test(kQuick, true);
        QVERIFY(test.WaitForDropSurface());
        const QString formats = test.Child<TImageView>("imgDrop")->toolTip();
        for (const char* name : {"PNG", "SVG", "WebP", "HEIC", "AVIF", "TIFF"})
            QVERIFY(formats.contains(QLatin1String(name)));
        const QString svg = test.Pictures.filePath(QStringLiteral("logo.svg"));
        QFile file(svg);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"8\"><rect width=\"8\" "
                   "height=\"8\" fill=\"#3584e4\"/></svg>");
        file.close();
        QVERIFY(test.Drop({svg}));
        QVERIFY(test.WaitForMessage());
        QCOMPARE(test.Message(), QStringLiteral("The file was processed successfully!"));
        QVERIFY(QFileInfo(test.Pictures.filePath(QStringLiteral("logo.ico"))).isFile());
    }

    void FilesGivenAtStartConvertAfterSplashWithSummary() {
        // As "Open With" starts the program: two pictures on the command line, the real converter.
        TTestConfig config({QStringLiteral("ShowSplash=1"), QStringLiteral("AnimationSpeed=0.01")});
        QTemporaryDir pictures;
        const QStringList paths{WritePng(pictures.path(), QStringLiteral("first.png"), 40, 30),
                                WritePng(pictures.path(), QStringLiteral("second.png"), 20, 20)};
        TfrmMain window;
        window.OpenAtStart(paths);
        window.show();
        QCOMPARE(window.SurfaceMngr().Current(), window.SplashSurface());
        QTest::qWait(500);
        QCOMPARE(window.BatchState(), TfrmMain::TBatchState::bsIdle);
        QVERIFY(QTest::qWaitFor([&] { return window.SurfaceMngr().Current() == window.MessageSurface(); },
                                30000));
        QCOMPARE(window.FileList(), paths);
        QCOMPARE(window.MessageSurface()->Message(),
                 QStringLiteral("All files were processed successfully!"));
        QCOMPARE(window.MessageSurface()->MessageType(), TMessageType::mtSuccess);
        for (const char* icon : {"first.ico", "second.ico"})
            QVERIFY2(QFileInfo(pictures.filePath(QLatin1String(icon))).size() > 6 + 16, icon);
        // The files are taken once: "OK" leads to the drop surface, which waits for a drop.
        QTest::mouseClick(window.findChild<QWidget*>(QStringLiteral("txtButton")), Qt::LeftButton);
        QCOMPARE(window.SurfaceMngr().Current(), window.DropSurface());
        QCOMPARE(window.BatchState(), TfrmMain::TBatchState::bsIdle);
    }

    void SeveralPicturesEndOnAllFilesMessage() {
        TWindowUnderTest test;
        QVERIFY(test.WaitForDropSurface());
        QVERIFY(test.Drop(test.MakePictures(3)));
        QVERIFY(test.WaitForMessage());
        QCOMPARE(test.Message(), QStringLiteral("All files were processed successfully!"));
        QCOMPARE(test.Processor->Finished(), 3);
    }

    void FolderOnlyFindsNothing() {
        TWindowUnderTest test;
        QVERIFY(test.WaitForDropSurface());
        QVERIFY(test.Drop({test.Pictures.path()}));
        QVERIFY(test.WaitForMessage());
        QCOMPARE(test.Message(), QStringLiteral("No recognizable files were found!"));
        QCOMPARE(test.Window->MessageSurface()->MessageType(), TMessageType::mtFailure);
        QVERIFY(test.Child<QWidget>("imgError")->isVisibleTo(test.Window.get()));
        QCOMPARE(test.Processor->Started(), 0);
    }

    void CancelFinishesPictureInHandOnly() {
        TWindowUnderTest test;
        QVERIFY(test.WaitForDropSurface());
        test.Processor->SetAllowed(1);
        const QStringList pictures = test.MakePictures(5);
        QVERIFY(test.Drop(pictures));
        // The second picture is in hand when Cancel is clicked.
        QTRY_COMPARE(test.Processor->Started(), 2);
        QTRY_COMPARE(test.Window->ProgressSurface()->Progress(), 20);
        QCOMPARE(test.Child<QLabel>("txtProgress")->text(), QStringLiteral("20%"));
        QCOMPARE(test.Child<QWidget>("recProgress")->width(), 40);
        test.ClickButton();
        test.Processor->SetAllowed(-1);
        QVERIFY(test.WaitForMessage());
        QCOMPARE(test.Message(), QStringLiteral("Processing was cancelled!"));
        QCOMPARE(test.Processor->Finished(), 2);
        QVERIFY(!QFileInfo::exists(pictures[2] + QStringLiteral(".fake.ico")));
    }

    void CancelBeforeWorkerStartsProcessesNothing() {
        TWindowUnderTest test;
        QVERIFY(test.WaitForDropSurface());
        QVERIFY(test.Drop(test.MakePictures(2)));
        QCOMPARE(test.Window->BatchState(), TfrmMain::TBatchState::bsStarting);
        test.ClickButton();
        QVERIFY(test.WaitForMessage());
        QCOMPARE(test.Message(), QStringLiteral("Processing was cancelled!"));
        QCOMPARE(test.Processor->Started(), 0);
    }

    void DropsRefusedOnEverySurfaceButDrop() {
        TWindowUnderTest test;
        QVERIFY(test.WaitForDropSurface());
        const QStringList pictures = test.MakePictures(1);
        TfrmMain& window = *test.Window;
        for (TSurface* surface : std::initializer_list<TSurface*>{
                 window.SplashSurface(), window.ProgressSurface(), window.MessageSurface(),
                 window.SettingsSurface(), window.AboutSurface()}) {
            window.SurfaceMngr().ChangeTo(surface);
            QVERIFY(!window.DropTarget()->AllowDrop());
            QVERIFY(window.DropTarget()->testAttribute(Qt::WA_TransparentForMouseEvents));
            QVERIFY(!test.Drop(pictures));
            QCOMPARE(window.BatchState(), TfrmMain::TBatchState::bsIdle);
            QVERIFY(window.FileList().isEmpty());
        }
        window.SurfaceMngr().ChangeTo(window.DropSurface());
        QVERIFY(window.DropTarget()->AllowDrop());
        QVERIFY(test.Drop(pictures));
        QCOMPARE(window.BatchState(), TfrmMain::TBatchState::bsStarting);
    }

    // A drag without local files (text, a web address) lights the drop picture, is refused, and the
    // picture goes dark when the drag leaves. The events take the path a platform drag takes: into
    // the window, which hands them to the control under the pointer.
    void DragWithoutFilesLightsTheDropPictureUntilItLeaves() {
        TWindowUnderTest test;
        QVERIFY(test.WaitForDropSurface());
        auto* image = test.Child<TImageView>("imgDrop");
        QWindow* window = test.Window->windowHandle();
        QVERIFY(window != nullptr);
        const QPoint over = test.Window->DropTarget()->mapTo(test.Window.get(), QPoint(50, 50));
        for (const bool web : {false, true}) {
            QMimeData data;
            if (web)
                data.setUrls({QUrl(QStringLiteral("https://example.org/picture.png"))});
            else
                data.setText(QStringLiteral("words"));
            QDragEnterEvent enter(over, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(window, &enter);
            QDragMoveEvent move(over, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(window, &move);
            QVERIFY(!move.isAccepted() || move.dropAction() == Qt::IgnoreAction);
            QTRY_COMPARE(image->Blend(), 1.0);
            QDragLeaveEvent leave;
            QApplication::sendEvent(window, &leave);
            QTRY_COMPARE(image->Blend(), 0.0);
        }
        // A drag still over the picture when another surface comes puts it out too.
        QMimeData text;
        text.setText(QStringLiteral("words"));
        QDragEnterEvent enter(over, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &enter);
        QTRY_COMPARE(image->Blend(), 1.0);
        test.Click("imgSettings");
        QTRY_COMPARE(image->Blend(), 0.0);
        QDragLeaveEvent leave;
        QApplication::sendEvent(window, &leave);
        QCOMPARE(test.Window->BatchState(), TfrmMain::TBatchState::bsIdle);
    }

    // Timers of a second or more (the splash, the wait before the summary) are precise: coarse ones
    // may fire some percent early.
    void TimersOfASecondOrMoreArePrecise() {
        TWindowUnderTest test({QStringLiteral("ShowSplash=1"), QStringLiteral("AnimationSpeed=0.01")});
        QTRY_COMPARE(test.Current(), test.Window->SplashSurface());
        int longTimers = 0;
        for (const QTimer* timer : test.Window->findChildren<QTimer*>()) {
            if (timer->interval() < 1000)
                continue;
            ++longTimers;
            QCOMPARE(timer->timerType(), Qt::PreciseTimer);
        }
        QCOMPARE(longTimers, 2);
    }

    // The texts of the settings screen (captions, the folder, the selectors' options) share one size.
    void SettingsTextsShareOneSize() {
        TWindowUnderTest test;
        QVERIFY(test.WaitForDropSurface());
        QWidget* layout = test.Window->SettingsSurface()->Layout();
        int captionSize = 0;
        for (const TTextLabel* label : layout->findChildren<TTextLabel*>())
            if (label->text() == QStringLiteral("Icon type"))
                captionSize = label->font().pixelSize();
        QVERIFY(captionSize > 0);
        QCOMPARE(test.Child<QLineEdit>("edtPath")->font().pixelSize(), captionSize);
        for (const char* name : {"layType", "layTheme"}) {
            auto* selector = test.Child<TSelector>(name);
            QCOMPARE(selector->FirstText()->font().pixelSize(), captionSize);
            QCOMPARE(selector->SecondText()->font().pixelSize(), captionSize);
        }
    }

    // One batch at a time: the settings stay reachable during a batch, but leaving them leads back to
    // the batch, never to the drop surface, and the icon type and folder change only once it ended.
    void SettingsDuringBatchLeadBackToProgress() {
        TWindowUnderTest test;
        QVERIFY(test.WaitForDropSurface());
        test.Processor->SetAllowed(0);
        QVERIFY(test.Drop(test.MakePictures(3)));
        QTRY_COMPARE(test.Processor->Started(), 1);
        QTRY_COMPARE(test.Child<TSelector>("layTheme")->SecondImage()->x(), 0);
        test.Click("imgSettings");
        QCOMPARE(test.Current(), test.Window->SettingsSurface());
        QTest::mouseClick(test.Child<TSelector>("layType"), Qt::LeftButton);
        QTRY_VERIFY(!test.Child<TSelector>("layType")->FirstChosen());
        QTRY_COMPARE(test.Child<TSelector>("layType")->SecondImage()->x(), 0);
        test.ClickButton();
        QCOMPARE(test.Current(), test.Window->ProgressSurface());
        QVERIFY(!test.Window->DropTarget()->AllowDrop());
        QVERIFY(!test.Drop(test.MakePictures(1)));
        QCOMPARE(test.Window->Settings().GetIconType(), TIconType::itWin);
        test.Processor->SetAllowed(-1);
        QVERIFY(test.WaitForMessage());
        QCOMPARE(test.Message(), QStringLiteral("All files were processed successfully!"));
        QCOMPARE(test.Window->Settings().GetIconType(), TIconType::itMac);
        QCOMPARE(test.Processor->Finished(), 3);
    }

    void SummaryWaitsWhileSettingsAreOpen() {
        TWindowUnderTest test;
        QVERIFY(test.WaitForDropSurface());
        test.Processor->SetAllowed(0);
        QVERIFY(test.Drop(test.MakePictures(1)));
        QTRY_COMPARE(test.Window->BatchState(), TfrmMain::TBatchState::bsRunning);
        test.Click("imgSettings");
        test.Click("txtAbout");
        QCOMPARE(test.Current(), test.Window->AboutSurface());
        test.Processor->SetAllowed(-1);
        QTRY_COMPARE_WITH_TIMEOUT(test.Window->BatchState(), TfrmMain::TBatchState::bsMessageWaiting, 10000);
        QCOMPARE(test.Current(), test.Window->AboutSurface());
        test.ClickButton();
        QCOMPARE(test.Current(), test.Window->SettingsSurface());
        test.ClickButton();
        QCOMPARE(test.Current(), test.Window->MessageSurface());
        QCOMPARE(test.Message(), QStringLiteral("The file was processed successfully!"));
        test.ClickButton();
        QCOMPARE(test.Current(), test.Window->DropSurface());
        QCOMPARE(test.Window->BatchState(), TfrmMain::TBatchState::bsIdle);
    }

    void SettingsOkStoresSelectorPositionsAndSavesAtExit() {
        TWindowUnderTest test;
        QVERIFY(test.WaitForDropSurface());
        QTRY_COMPARE(test.Child<TSelector>("layTheme")->SecondImage()->x(), 0);
        test.Click("imgSettings");
        QCOMPARE(test.Child<QLineEdit>("edtPath")->text(), QStringLiteral("Same as source"));
        QTest::mouseClick(test.Child<TSelector>("layType"), Qt::LeftButton);
        QTest::mouseClick(test.Child<TSelector>("layTheme"), Qt::LeftButton);
        QTRY_COMPARE(test.Child<TSelector>("layType")->SecondImage()->x(), 0);
        QTRY_COMPARE(test.Child<TSelector>("layTheme")->FirstImage()->x(), 0);
        test.ClickButton();
        QCOMPARE(test.Current(), test.Window->DropSurface());
        QCOMPARE(test.Window->Settings().GetIconType(), TIconType::itMac);
        QCOMPARE(test.Window->Settings().GetThemeType(), TThemeType::ttLight);
        QCOMPARE(test.Window->Settings().GetPath(), std::string());
        test.Window->ExitProgram();
        test.Window.reset();
        const QString saved = test.Config.ReadSettings();
        QVERIFY2(saved.contains(QStringLiteral("IconType=1")), qPrintable(saved));
        QVERIFY2(saved.contains(QStringLiteral("ThemeType=0")), qPrintable(saved));
    }

    void SettingsOkWhileSelectorSlidesStoresOtherOption() {
        TWindowUnderTest test({QStringLiteral("ShowSplash=0"), QStringLiteral("AnimationSpeed=1"),
                               QStringLiteral("IconType=1"), QStringLiteral("ThemeType=1")});
        QVERIFY(test.WaitForDropSurface());
        auto* type = test.Child<TSelector>("layType");
        auto* theme = test.Child<TSelector>("layTheme");
        QTRY_COMPARE(type->SecondImage()->x(), 0);
        QTRY_COMPARE(theme->SecondImage()->x(), 0);
        test.Click("imgSettings");
        // Both selectors start sliding back to Windows and Light; OK comes before they rest.
        QTest::mouseClick(type, Qt::LeftButton);
        QTest::mouseClick(theme, Qt::LeftButton);
        QVERIFY(type->FirstImage()->x() != 0);
        test.ClickButton();
        QCOMPARE(test.Window->Settings().GetIconType(), TIconType::itMac);
        QCOMPARE(test.Window->Settings().GetThemeType(), TThemeType::ttDark);
        // Once they rest, the same choice counts as Windows and Light.
        QTRY_COMPARE(type->FirstImage()->x(), 0);
        QTRY_COMPARE(theme->FirstImage()->x(), 0);
        test.Click("imgSettings");
        QTRY_COMPARE(test.Window->SettingsSurface()->Layout()->x(), 0);
        test.ClickButton();
        QCOMPARE(test.Window->Settings().GetIconType(), TIconType::itWin);
        QCOMPARE(test.Window->Settings().GetThemeType(), TThemeType::ttLight);
    }

    void ClearButtonEmptiesOutputFolder() {
        QTemporaryDir output;
        TWindowUnderTest test(kQuick + QStringList{QStringLiteral("Path=") + output.path()});
        QVERIFY(test.WaitForDropSurface());
        test.Click("imgSettings");
        QCOMPARE(test.Child<QLineEdit>("edtPath")->text(), output.path());
        QVERIFY(!test.Child<QLineEdit>("edtPath")->hasSelectedText());
        test.Click("txtClear");
        QCOMPARE(test.Child<QLineEdit>("edtPath")->text(), QStringLiteral("Same as source"));
        test.ClickButton();
        QCOMPARE(test.Window->Settings().GetPath(), std::string());
    }

    void ThemesChangeColours() {
        TWindowUnderTest test;
        QVERIFY(test.WaitForDropSurface());
        QTRY_COMPARE(test.Child<QWidget>("layHeader")->y(), 0);
        auto* header = test.Child<TRectangle>("recHeader");
        QCOMPARE(test.BackgroundPixel(), QColor(0x33, 0x33, 0x33));
        QCOMPARE(header->FillColor(), QColor(0, 0, 0));
        QCOMPARE(test.Child<TTextLabel>("txtProgress")->TextColor(), QColor(0xA6, 0xA6, 0xA6));

        QTRY_COMPARE(test.Child<TSelector>("layTheme")->SecondImage()->x(), 0);
        test.Click("imgSettings");
        QTest::mouseClick(test.Child<TSelector>("layTheme"), Qt::LeftButton);
        QTRY_COMPARE(test.Child<TSelector>("layTheme")->FirstImage()->x(), 0);
        test.ClickButton();
        QTRY_COMPARE(test.Current()->Layout()->x(), 0);
        QCOMPARE(test.BackgroundPixel(), QColor(0xF5, 0xF5, 0xF5));
        QCOMPARE(header->FillColor(), QColor(0xE6, 0xE6, 0xE6));
        QCOMPARE(test.Child<TSelector>("layTheme")->Field()->FillColor(), QColor(0xFF, 0xFF, 0xFF));
        QCOMPARE(test.Child<TTextLabel>("txtProgress")->TextColor(), QColor(0xA6, 0xA6, 0xA6));
        QVERIFY(test.Child<QLineEdit>("edtPath")->styleSheet().contains(QStringLiteral("#FFFFFF")));
    }

    void TexturedSettingTexturesBackgroundAndBars() {
        TWindowUnderTest test({QStringLiteral("ShowSplash=0"), QStringLiteral("AnimationSpeed=0.01"),
                               QStringLiteral("Textured=1")});
        QVERIFY(test.WaitForDropSurface());
        QVERIFY(test.Child<TRectangle>("recHeader")->Textured());
        QVERIFY(test.Child<TRectangle>("recButton")->Textured());
        // The grain makes the background differ from the plain colour somewhere in a tile.
        const QImage image = test.Window->grab().toImage();
        bool grain = false;
        for (int x = 0; x < 14 && !grain; ++x)
            for (int y = 100; y < 150 && !grain; ++y)
                grain = image.pixelColor(x, y) != QColor(0x33, 0x33, 0x33);
        QVERIFY(grain);
    }

    void ProgressClamps_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::newRow("-5") << -5 << "0%" << 0;
        QTest::newRow("150") << 150 << "100%" << 200;
        QTest::newRow("67") << 67 << "67%" << 134;
    }
    void ProgressClamps() {
        QFETCH(int, value);
        QFETCH(QString, text);
        QFETCH(int, width);
        TWindowUnderTest test;
        test.Window->ProgressSurface()->SetProgress(value);
        QCOMPARE(test.Child<QLabel>("txtProgress")->text(), text);
        QCOMPARE(test.Child<QWidget>("recProgress")->width(), width);
    }

    void SpriteRunsThroughFifteenFrames() {
        TWindowUnderTest test;
        auto* sprite = test.Child<QWidget>("imgSprite");
        // Sample much faster than the 30 ms frame period: polling at a period that divides the
        // animation's cycle would keep seeing the same frames.
        QSet<int> seen;
        QElapsedTimer clock;
        clock.start();
        while (seen.size() < 15 && clock.elapsed() < 30000) {
            seen.insert(sprite->x());
            QTest::qWait(3);
        }
        QCOMPARE(seen.size(), 15);
        for (int x : seen)
            QVERIFY(x <= 0 && x >= -2604 && x % 186 == 0);
    }

    void CloseDuringBatchWaitsForWorker() {
        TWindowUnderTest test;
        QVERIFY(test.WaitForDropSurface());
        test.Processor->SetAllowed(0);
        QVERIFY(test.Drop(test.MakePictures(3)));
        QTRY_COMPARE(test.Processor->Started(), 1);
        // The close icon blocks the window's thread while it waits, so the picture in hand is let go
        // from another thread.
        std::thread release([&test] {
            QThread::msleep(200);
            test.Processor->SetAllowed(-1);
        });
        test.Click("imgClose");
        release.join();
        // The picture in hand was finished before the window closed; no other one was begun.
        QCOMPARE(test.Processor->Finished(), 1);
        QCOMPARE(test.Processor->Started(), 1);
        QVERIFY(!test.Window->isVisible());
    }

    void CloseFoldsWindowUp() {
        TWindowUnderTest test({QStringLiteral("ShowSplash=0"), QStringLiteral("AnimationSpeed=0.05"),
                               QStringLiteral("AnimateExit=1")});
        QVERIFY(test.WaitForDropSurface());
        test.Click("imgClose");
        QCOMPARE(test.Window->height(), 0);
        QVERIFY(!test.Window->isVisible());
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
