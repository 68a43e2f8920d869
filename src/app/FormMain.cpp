#include "app/FormMain.h"

#include "GlyphwrightVersion.h"

#include "color/DataType.h"
#include "pipeline/FormatList.h"
#include "pipeline/IOManager.h"
#include "settings/Setting.h"
#include "ui/Animation.h"
#include "ui/Controls.h"
#include "ui/FolderSelect.h"
#include "ui/Pictures.h"
#include "ui/Selector.h"
#include "ui/SurfaceManager.h"
#include "ui/TransparentDropTarget.h"
#include "ui/WebOpen.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <cmath>
#include <utility>

namespace gw {

namespace {

constexpr int kWindowSize = 230;
constexpr int kHeaderHeight = 25;
const QString kSameAsSource = QStringLiteral("Same as source");
const QColor kTextColor(0xA6, 0xA6, 0xA6);

std::unique_ptr<TFileProcessor> MakeIOManager(const TGlobalSetting& settings, TDataType& dataType) {
    return std::make_unique<TIOManager>(settings, dataType);
}

QString HelpPagePath() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        programFolder + QStringLiteral("/help.html"),
        programFolder + QStringLiteral("/../share/glyphwright/help.html"),
        QStringLiteral(GW_INSTALLED_HELP_PAGE),
    };
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).canonicalFilePath();
    return {};
}

} // namespace

TfrmMain::TfrmMain(TProcessorFactory processorFactory, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    // FormCreate. Critical-error dialogs do not exist on this platform, so step 1 has nothing to do.
    FSettings = std::make_unique<TGlobalSetting>();
    // A format list the program cannot use (hand-edited, say) becomes the default, and is saved so.
    RepairFormatLists(*FSettings);
    FDataType = std::make_unique<TDataType>(*FSettings);
    FIOManager = (processorFactory ? processorFactory : MakeIOManager)(*FSettings, *FDataType);

    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Glyphwright"));
    setFixedSize(kWindowSize, kWindowSize);
    setAttribute(Qt::WA_OpaquePaintEvent);

    BuildSurfaces();
    BuildButtonBar();

    FDropTarget = new TTransparentDropTarget(this);
    FDropTarget->setObjectName(QStringLiteral("DropTarget"));
    FDropTarget->setGeometry(0, kHeaderHeight, width(), height() - kHeaderHeight);
    connect(FDropTarget, &TTransparentDropTarget::DragOver, this, [this](bool) { DropTargetDragOver(); });
    connect(FDropTarget, &TTransparentDropTarget::DragLeave, this, &TfrmMain::DropTargetDragLeave);
    connect(FDropTarget, &TTransparentDropTarget::Dropped, this,
            [this](const QStringList& paths, const QPoint&) { DropTargetDrop(paths); });

    BuildHeader();

    FSurfaceMngr =
        std::make_unique<TSurfaceManager>(layButton, txtButton, [this](bool value) { SetAllowDrop(value); });

    // The splash and the wait before the summary last whole seconds, which a coarse timer may cut
    // by some percent.
    Timer2 = new QTimer(this);
    Timer2->setTimerType(Qt::PreciseTimer);
    Timer2->setSingleShot(true);
    Timer2->setInterval(1);
    connect(Timer2, &QTimer::timeout, this, &TfrmMain::Timer2Timer);
    Timer3 = new QTimer(this);
    Timer3->setInterval(30);
    connect(Timer3, &QTimer::timeout, this, &TfrmMain::Timer3Timer);
    Timer3->start();
    Timer4 = new QTimer(this);
    Timer4->setSingleShot(true);
    Timer4->setInterval(300);
    connect(Timer4, &QTimer::timeout, this, &TfrmMain::Timer4Timer);
    Timer5 = new QTimer(this);
    Timer5->setTimerType(Qt::PreciseTimer);
    Timer5->setSingleShot(true);
    Timer5->setInterval(1000);
    connect(Timer5, &QTimer::timeout, this, &TfrmMain::Timer5Timer);

    ApplyTheme();
    if (FSettings->TopMost())
        setWindowFlag(Qt::WindowStaysOnTopHint, true);

    const double speed = static_cast<double>(FSettings->GetAnimationSpeed());
    if (FSettings->GetIconType() == TIconType::itMac)
        selType->Toggle(speed);
    if (FSettings->GetThemeType() == TThemeType::ttDark)
        selTheme->Toggle(speed);
    SetAnimationSpeeds(speed);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TfrmMain::~TfrmMain() {
    // FormDestroy: the worker is awaited before the conversion manager it uses goes away; the settings
    // object saves the settings file when it is freed last.
    StopWorker();
}

TSurface* TfrmMain::SplashSurface() const {
    return FSplash.get();
}
TSurface* TfrmMain::DropSurface() const {
    return FDrop.get();
}
TSurface* TfrmMain::AboutSurface() const {
    return FAbout.get();
}

QWidget* TfrmMain::NewLayout() {
    auto* layout = new QWidget(this);
    layout->setGeometry(TSurfaceManager::kWaitX, 0, kWindowSize, kWindowSize);
    return layout;
}

TTextButton* TfrmMain::NewRectButton(QWidget* parent, const QRect& geometry, const QString& text,
                                     int fontSize, TRectangle*& rectangle) {
    rectangle = new TRectangle(parent);
    rectangle->setGeometry(geometry);
    auto* button = new TTextButton(text, FontPixels(fontSize), rectangle);
    button->setGeometry(0, 0, geometry.width(), geometry.height());
    return button;
}

void TfrmMain::BuildHeader() {
    layHeader = new QWidget(this);
    layHeader->setObjectName(QStringLiteral("layHeader"));
    // The header waits above the window until the start timer slides it in.
    layHeader->setGeometry(0, -kHeaderHeight, kWindowSize, kHeaderHeight);
    recHeader = new TRectangle(layHeader);
    recHeader->setObjectName(QStringLiteral("recHeader"));
    recHeader->setGeometry(0, 0, kWindowSize, kHeaderHeight);
    FTexturedRects.push_back(recHeader);

    imgTitle = new TImageView(QStringLiteral("title"), {}, layHeader);
    imgTitle->setObjectName(QStringLiteral("imgTitle"));
    imgTitle->setGeometry(0, 0, 181, kHeaderHeight);
    connect(imgTitle, &TImageView::MousePressed, this, &TfrmMain::TitleMouseDown);
    connect(imgTitle, &TImageView::MouseMoved, this, &TfrmMain::TitleMouseMove);
    connect(imgTitle, &TImageView::MouseReleased, this, &TfrmMain::TitleMouseUp);

    imgSettings = new TImageView(QStringLiteral("settings"), QStringLiteral("settings-hover"), layHeader);
    imgSettings->setObjectName(QStringLiteral("imgSettings"));
    imgSettings->setGeometry(180, 0, 25, 25);
    imgSettings->SetHoverSwap(true);
    imgSettings->setCursor(Qt::PointingHandCursor);
    connect(imgSettings, &TImageView::Clicked, this, &TfrmMain::imgSettingsClick);

    imgClose = new TImageView(QStringLiteral("close"), QStringLiteral("close-hover"), layHeader);
    imgClose->setObjectName(QStringLiteral("imgClose"));
    imgClose->setGeometry(205, 0, 25, 25);
    imgClose->SetHoverSwap(true);
    imgClose->setCursor(Qt::PointingHandCursor);
    connect(imgClose, &TImageView::Clicked, this, &TfrmMain::ExitProgram);
}

void TfrmMain::BuildButtonBar() {
    layButton = new QWidget(this);
    layButton->setObjectName(QStringLiteral("layButton"));
    layButton->setGeometry(0, TSurfaceManager::kBarHiddenY, kWindowSize, kHeaderHeight);
    txtButton = NewRectButton(layButton, QRect(0, 0, kWindowSize, kHeaderHeight), QString(), 17, recButton);
    recButton->setObjectName(QStringLiteral("recButton"));
    txtButton->setObjectName(QStringLiteral("txtButton"));
    FTexturedRects.push_back(recButton);
    connect(txtButton, &TTextButton::Clicked, this, &TfrmMain::txtButtonClick);
}

void TfrmMain::BuildSurfaces() {
    // Splash: the logo.
    laySplash = NewLayout();
    laySplash->setObjectName(QStringLiteral("laySplash"));
    (new TImageView(QStringLiteral("logo"), {}, laySplash))->setGeometry(8, 88, 217, 50);
    FSplash = std::make_unique<TSurface>(laySplash, false, false, QString());

    // Drop: the drop picture, lit while files are dragged over it.
    layDrop = NewLayout();
    layDrop->setObjectName(QStringLiteral("layDrop"));
    imgDrop = new TImageView(QStringLiteral("drop"), QStringLiteral("drop-lit"), layDrop);
    imgDrop->setObjectName(QStringLiteral("imgDrop"));
    imgDrop->setGeometry(15, 40, 201, 175);
    // The drop picture names the formats; its tool tip names them all.
    imgDrop->setToolTip(QStringLiteral("Drop pictures here: PNG, JPEG, GIF, BMP, TIFF, JPEG 2000, SVG, SVGZ, "
                                       "WebP, HEIC, AVIF"));
    FDrop = std::make_unique<TSurface>(layDrop, true, false, QString());

    // Progress: track, bar, percentage and the running sprite.
    layProgress = NewLayout();
    layProgress->setObjectName(QStringLiteral("layProgress"));
    auto* track = new TRectangle(layProgress);
    track->setGeometry(16, 74, 200, 2);
    track->SetColors(QColor(0xB2, 0xB2, 0xB2), QColor(0xB2, 0xB2, 0xB2));
    auto* bar = new TRectangle(layProgress);
    bar->setObjectName(QStringLiteral("recProgress"));
    bar->setGeometry(16, 74, 0, 2);
    bar->SetColors(QColor(kAccentColor), QColor(kAccentColor));
    auto* percent = new TTextLabel(QStringLiteral("0%"), FontPixels(17), Qt::AlignCenter, layProgress);
    percent->setObjectName(QStringLiteral("txtProgress"));
    percent->setGeometry(0, 82, kWindowSize, 33);
    auto* viewport = new QWidget(layProgress);
    viewport->setGeometry(93, 118, 186, 135);
    imgSprite = new TImageView(QStringLiteral("sprite"), {}, viewport);
    imgSprite->setObjectName(QStringLiteral("imgSprite"));
    imgSprite->setGeometry(0, 0, 2790, 135);
    FProgress = std::make_unique<TProgressSurface>(layProgress, bar, percent);
    FProgress->SetOnClick([this] { CancelBatch(); });

    // Message: success or error picture and the summary text.
    layMessage = NewLayout();
    layMessage->setObjectName(QStringLiteral("layMessage"));
    auto* success = new TImageView(QStringLiteral("success"), {}, layMessage);
    success->setObjectName(QStringLiteral("imgSuccess"));
    success->setGeometry(16, 56, 49, 33);
    auto* error = new TImageView(QStringLiteral("error"), {}, layMessage);
    error->setObjectName(QStringLiteral("imgError"));
    error->setGeometry(16, 56, 49, 33);
    txtMessage = new TTextLabel(QString(), FontPixels(15), Qt::AlignLeft | Qt::AlignTop, layMessage);
    txtMessage->setObjectName(QStringLiteral("txtMessage"));
    txtMessage->setGeometry(16, 96, 201, 97);
    txtMessage->setWordWrap(true);
    FMessage = std::make_unique<TMessageSurface>(layMessage, txtMessage, success, error);
    FMessage->SetMessageType(TMessageType::mtSuccess);

    // Settings.
    laySettings = NewLayout();
    laySettings->setObjectName(QStringLiteral("laySettings"));
    BuildSettingsLayout(laySettings);
    FSettingsSurface = std::make_unique<TSettingSurface>(laySettings, false, true, QStringLiteral("OK"));
    FSettingsSurface->SetOnClick([this] { SettingsApply(); });
    FSettingsSurface->SetOnBeforeShow([this] { SettingsBeforeShow(); });

    // About: the logo and the version.
    layAbout = NewLayout();
    layAbout->setObjectName(QStringLiteral("layAbout"));
    (new TImageView(QStringLiteral("logo"), {}, layAbout))->setGeometry(8, 40, 217, 50);
    (new TTextLabel(QStringLiteral("Version %1").arg(QLatin1String(kVersion)), FontPixels(15),
                    Qt::AlignCenter, layAbout))
        ->setGeometry(0, 104, kWindowSize, 17);
    FAbout = std::make_unique<TSurface>(layAbout, false, true, QStringLiteral("OK"));
}

void TfrmMain::BuildSettingsLayout(QWidget* layout) {
    const auto caption = [layout](const QString& text, int y) {
        (new TTextLabel(text, FontPixels(15), Qt::AlignLeft | Qt::AlignVCenter, layout))
            ->setGeometry(8, y, 222, 15);
    };
    caption(QStringLiteral("Output folder"), 32);
    edtPath = new QLineEdit(layout);
    edtPath->setObjectName(QStringLiteral("edtPath"));
    edtPath->setGeometry(8, 48, 166, 22);
    edtPath->setReadOnly(true);
    edtPath->setFocusPolicy(Qt::NoFocus);
    QFont font = edtPath->font();
    font.setPixelSize(FontPixels(15));
    edtPath->setFont(font);
    edtPath->setText(kSameAsSource);

    TRectangle* rectangle = nullptr;
    TTextButton* clear = NewRectButton(layout, QRect(176, 48, 22, 22), QStringLiteral("X"), 15, rectangle);
    clear->setObjectName(QStringLiteral("txtClear"));
    FPlainRects.push_back(rectangle);
    connect(clear, &TTextButton::Clicked, this, [this] { edtPath->setText(kSameAsSource); });
    TTextButton* browse = NewRectButton(layout, QRect(200, 48, 22, 22), QStringLiteral("..."), 15, rectangle);
    browse->setObjectName(QStringLiteral("txtBrowse"));
    FPlainRects.push_back(rectangle);
    connect(browse, &TTextButton::Clicked, this, &TfrmMain::txtBrowseClick);

    caption(QStringLiteral("Icon type"), 80);
    selType = new TSelector({QStringLiteral("windows"), QStringLiteral("Windows Icon")},
                            {QStringLiteral("mac"), QStringLiteral("Macintosh Icon")}, layout);
    selType->setObjectName(QStringLiteral("layType"));
    selType->move(8, 96);
    connect(selType, &TSelector::Clicked, this,
            [this] { selType->Toggle(static_cast<double>(FSettings->GetAnimationSpeed())); });

    caption(QStringLiteral("Color theme"), 128);
    selTheme = new TSelector({QStringLiteral("light"), QStringLiteral("Light Theme")},
                             {QStringLiteral("dark"), QStringLiteral("Dark Theme")}, layout);
    selTheme->setObjectName(QStringLiteral("layTheme"));
    selTheme->move(8, 144);
    connect(selTheme, &TSelector::Clicked, this,
            [this] { selTheme->Toggle(static_cast<double>(FSettings->GetAnimationSpeed())); });

    TTextButton* about =
        NewRectButton(layout, QRect(8, 174, 105, 25), QStringLiteral("About"), 17, rectangle);
    about->setObjectName(QStringLiteral("txtAbout"));
    FTexturedRects.push_back(rectangle);
    connect(about, &TTextButton::Clicked, this, [this] { FSurfaceMngr->ChangeTo(FAbout.get()); });
    TTextButton* help =
        NewRectButton(layout, QRect(121, 174, 101, 25), QStringLiteral("Help"), 17, rectangle);
    help->setObjectName(QStringLiteral("txtHelp"));
    FTexturedRects.push_back(rectangle);
    connect(help, &TTextButton::Clicked, this, &TfrmMain::txtHelpClick);
}

void TfrmMain::SetAnimationSpeeds(double seconds) {
    for (TTextButton* button : findChildren<TTextButton*>())
        button->SetAnimationSpeed(seconds);
    for (TImageView* image : findChildren<TImageView*>())
        image->SetAnimationSpeed(seconds);
    FSurfaceMngr->SetAnimationSpeed(static_cast<float>(seconds));
}

void TfrmMain::SetAllowDrop(bool value) {
    FDropTarget->SetAllowDrop(value);
}

void TfrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // NOTE: the first showing stands for the first activation: an offscreen or unfocused start may
    // never be activated, and the splash must run all the same.
    if (FirstActivate)
        FormActivate();
}

void TfrmMain::FormActivate() {
    if (FSettings->ShowSplash()) {
        FSurfaceMngr->ChangeTo(FSplash.get());
        Timer2->setInterval(2000);
    }
    Timer2->start();
    FirstActivate = false;
}

void TfrmMain::Timer2Timer() {
    FSurfaceMngr->ChangeTo(FDrop.get());
    layHeader->move(0, -kHeaderHeight);
    SlideY(layHeader, 0, FSurfaceMngr->AnimationSpeed());
    if (!FStartFiles.isEmpty())
        DropTargetDrop(std::exchange(FStartFiles, {}));
}

void TfrmMain::OpenAtStart(const QStringList& paths) {
    FStartFiles.clear();
    for (const QString& path : paths)
        FStartFiles.append(QFileInfo(path).absoluteFilePath());
}

void TfrmMain::Timer3Timer() {
    // The strip holds 15 frames of 186 pixels; one frame every 30 ms.
    int x = imgSprite->x() - 186;
    if (x == -2790)
        x = 0;
    imgSprite->move(x, 0);
}

void TfrmMain::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (FBackgroundTexture.isNull())
        painter.fillRect(rect(), FBackground);
    else
        painter.fillRect(rect(), QBrush(FBackgroundTexture));
}

void TfrmMain::ApplyTheme() {
    for (TTextButton* button : findChildren<TTextButton*>())
        button->SetBaseColor(kTextColor);
    for (TTextLabel* label : findChildren<TTextLabel*>())
        if (!qobject_cast<TTextButton*>(label))
            label->SetTextColor(kTextColor);

    const bool light = FSettings->GetThemeType() == TThemeType::ttLight;
    const QColor panel = light ? QColor(0xE6, 0xE6, 0xE6) : QColor(0, 0, 0);
    FBackground = light ? QColor(0xF5, 0xF5, 0xF5) : QColor(0x33, 0x33, 0x33);
    for (TRectangle* rectangle : FPlainRects)
        rectangle->SetColors(panel, panel);
    for (TRectangle* rectangle : FTexturedRects)
        rectangle->SetColors(panel, panel);
    for (TSelector* selector : {selType, selTheme}) {
        selector->Field()->SetColors(light ? QColor(0xFF, 0xFF, 0xFF) : panel, panel);
        selector->ArrowButton()->SetColors(panel, panel);
    }
    // The edit: text #B2B2B2, selection #2A8ADF at half opacity, white or black ground.
    edtPath->setStyleSheet(
        light ? QStringLiteral("QLineEdit { background: #FFFFFF; border: 1px solid #E6E6E6; color: #B2B2B2;"
                               " selection-background-color: rgba(42, 138, 223, 128); padding-left: 2px; }")
              : QStringLiteral("QLineEdit { background: #000000; border: 1px solid #000000; color: #B2B2B2;"
                               " selection-background-color: rgba(42, 138, 223, 128); padding-left: 2px; }"));

    const qreal ratio = devicePixelRatioF();
    const bool textured = FSettings->Textured();
    FBackgroundTexture =
        textured ? Texture(light ? QStringLiteral("TextureLight") : QStringLiteral("TextureDark"), ratio)
                 : QPixmap();
    const QPixmap buttonTexture =
        textured ? Texture(light ? QStringLiteral("TextureLightButton") : QStringLiteral("TextureDarkButton"),
                           ratio)
                 : QPixmap();
    for (TRectangle* rectangle : FTexturedRects)
        rectangle->SetTexture(buttonTexture);
    update();
}

void TfrmMain::txtButtonClick() {
    TSurface* current = FSurfaceMngr->Current();
    if (!current)
        return;
    current->Clicked();
    if (current == FAbout.get()) {
        FSurfaceMngr->ChangeTo(FSettingsSurface.get());
        return;
    }
    if (current == FProgress.get())
        return;
    if (current == FSettingsSurface.get()) {
        // One batch at a time: while a batch is under way the settings lead back to it, never to the
        // drop surface, so no second drop can start a second worker.
        switch (FBatchState) {
        case TBatchState::bsIdle:
            break;
        case TBatchState::bsMessageWaiting:
            FBatchState = TBatchState::bsIdle;
            FSurfaceMngr->ChangeTo(FMessage.get());
            return;
        default:
            FSurfaceMngr->ChangeTo(FProgress.get());
            return;
        }
    }
    FSurfaceMngr->ChangeTo(FDrop.get());
}

void TfrmMain::imgSettingsClick() {
    FSurfaceMngr->ChangeTo(FSettingsSurface.get());
}

void TfrmMain::txtBrowseClick() {
    QString folder;
    if (SelectFolder(this, folder))
        edtPath->setText(folder);
}

void TfrmMain::txtHelpClick() {
    const QString page = HelpPagePath();
    if (!page.isEmpty())
        TWebUtilities::Open(QUrl::fromLocalFile(page).toString());
}

void TfrmMain::SettingsBeforeShow() {
    // The folder as chosen is shown even while it is gone (conversions then fail naming it), so that
    // the user sees where icons go; while a batch runs, its folder (or the one chosen for after it).
    std::string stored;
    if (FBatchState == TBatchState::bsRunning)
        stored = FPendingSettings ? FPendingSettings->Path : FBatchPath;
    else
        stored = FSettings->ChosenPath();
    const QString path = QString::fromStdString(stored);
    edtPath->setText(path.isEmpty() ? kSameAsSource : path);
    edtPath->deselect();
    edtPath->setCursorPosition(0);
}

void TfrmMain::SettingsApply() {
    const bool iconTypeMac = !selType->FirstChosen();
    const bool light = selTheme->FirstChosen();
    std::string path = edtPath->text() == kSameAsSource ? std::string() : edtPath->text().toStdString();

    FSettings->SetThemeType(light ? TThemeType::ttLight : TThemeType::ttDark);
    ApplyTheme();
    if (FBatchState == TBatchState::bsRunning) {
        // The worker reads the icon type and the output folder without a lock: they change only
        // once it has ended.
        FPendingSettings = TPendingSettings{iconTypeMac, std::move(path)};
        return;
    }
    FSettings->SetIconType(iconTypeMac ? TIconType::itMac : TIconType::itWin);
    FSettings->SetPath(std::move(path));
}

void TfrmMain::DropTargetDragOver() {
    LightUp();
}

void TfrmMain::DropTargetDragLeave() {
    LightDown();
}

void TfrmMain::LightUp() {
    if (WasAnimated)
        return;
    imgDrop->ShowAlternate(true);
    WasAnimated = true;
}

void TfrmMain::LightDown() {
    imgDrop->ShowAlternate(false);
    WasAnimated = false;
}

void TfrmMain::DropTargetDrop(const QStringList& paths) {
    LightDown();
    if (FBatchState != TBatchState::bsIdle || FSurfaceMngr->Current() != FDrop.get())
        return;
    FBatchState = TBatchState::bsStarting;
    FProgress->SetProgress(0);
    FSurfaceMngr->ChangeTo(FProgress.get());
    FFileList = paths;
    Timer4->start();
}

void TfrmMain::Timer4Timer() {
    FProgress->SetProgress(0);
    std::vector<std::filesystem::path> files;
    files.reserve(static_cast<std::size_t>(FFileList.size()));
    for (const QString& path : FFileList)
        files.emplace_back(path.toStdString());

    FBatchPath = FSettings->ChosenPath();
    FWorker = std::make_unique<TBatchProcess>(*FIOManager);
    FWorker->SetFileList(files);
    // Both events arrive on the worker thread; they are handed to the window's thread, where the
    // window object is the context (a queued call to a destroyed window is dropped).
    FWorker->SetOnProgress([this](TBatchProcess& sender) {
        const std::int32_t progress = sender.CurrentProgress();
        QMetaObject::invokeMethod(
            this, [this, progress] { WorkerProgress(progress); }, Qt::QueuedConnection);
    });
    FWorker->SetOnTerminate([this](TBatchProcess&) {
        QMetaObject::invokeMethod(
            this, [this] { WorkerTerminate(); }, Qt::QueuedConnection);
    });
    FBatchState = TBatchState::bsRunning;
    FWorker->Start();
}

void TfrmMain::WorkerProgress(std::int32_t progress) {
    if (FBatchState == TBatchState::bsRunning)
        FProgress->SetProgress(progress);
}

void TfrmMain::WorkerTerminate() {
    if (FBatchState != TBatchState::bsRunning && FBatchState != TBatchState::bsStarting)
        return;
    if (FWorker)
        FWorker->WaitFor();
    if (FPendingSettings) {
        FSettings->SetIconType(FPendingSettings->IconTypeMac ? TIconType::itMac : TIconType::itWin);
        FSettings->SetPath(std::move(FPendingSettings->Path));
        FPendingSettings.reset();
    }
    FBatchState = TBatchState::bsEnding;
    FProgress->SetProgress(100);
    Timer5->start();
}

void TfrmMain::Timer5Timer() {
    const TSummaryMessage summary =
        FWorker ? GetSummaryMessage(*FWorker) : GetSummaryMessage(true, 0, 0, 0, 0);
    FWorker.reset();
    FMessage->SetMessageType(summary.Type);
    FMessage->SetMessage(QString::fromStdString(summary.Text));
    TSurface* current = FSurfaceMngr->Current();
    if (current == FSettingsSurface.get() || current == FAbout.get()) {
        // The user is in the settings: the message waits until they are left with "OK".
        FBatchState = TBatchState::bsMessageWaiting;
        return;
    }
    FBatchState = TBatchState::bsIdle;
    FSurfaceMngr->ChangeTo(FMessage.get());
}

void TfrmMain::CancelBatch() {
    if (FWorker) {
        FWorker->SetCancelled(true);
        FWorker->Terminate();
        return;
    }
    if (FBatchState == TBatchState::bsStarting && Timer4->isActive()) {
        // Cancelled before the worker started: nothing is processed and the batch ends as cancelled.
        Timer4->stop();
        WorkerTerminate();
    }
}

void TfrmMain::StopWorker() {
    if (!FWorker)
        return;
    FWorker->Terminate();
    FWorker->WaitFor();
}

void TfrmMain::ExitProgram() {
    StopWorker();
    Timer4->stop();
    const double speed = static_cast<double>(FSettings->GetAnimationSpeed());
    if (FSettings->AnimateExit() && speed > 0.0) {
        const auto pause = static_cast<unsigned long>(std::trunc(speed * 1000.0 / 23.0 / 2.0));
        setMinimumHeight(0);
        for (int step = 0; step < 23; ++step) {
            resize(width(), height() - 10);
            repaint();
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            QThread::msleep(pause);
        }
    }
    close();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // A close from the window system waits for the worker as the close icon does.
    StopWorker();
    event->accept();
}

void TfrmMain::TitleMouseDown(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    // The window system moves the window where it can (and must, under Wayland); otherwise the window
    // follows the mouse from where the drag began.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    IsDragged = true;
    OldPos = pos();
    StartPos = event->globalPosition().toPoint();
}

void TfrmMain::TitleMouseMove(QMouseEvent* event) {
    if (!IsDragged)
        return;
    if (!(event->buttons() & Qt::LeftButton)) {
        IsDragged = false;
        return;
    }
    move(OldPos - (StartPos - event->globalPosition().toPoint()));
}

void TfrmMain::TitleMouseUp(QMouseEvent*) {
    IsDragged = false;
}

} // namespace gw
