#pragma once
// The program's only window: a borderless 230 x 230 square that shows one surface at a time (splash,
// drop area, progress, result message, settings, About), runs one batch of dropped files at a time on
// the conversion worker and shows its summary message.
//
// The window owns the program-wide objects: the settings (loaded when the window is created, saved
// when it is destroyed), the colour depth converter and the conversion manager.

#include "pipeline/BatchProcess.h"

#include <QPoint>
#include <QStringList>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class QTimer;

namespace gw {

class TDataType;
class TGlobalSetting;
class TImageView;
class TMessageSurface;
class TProgressSurface;
class TRectangle;
class TSelector;
class TSettingSurface;
class TSurface;
class TSurfaceManager;
class TTextButton;
class TTextLabel;
class TTransparentDropTarget;

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    // Makes the conversion manager the worker uses; the default makes the program's TIOManager.
    using TProcessorFactory =
        std::function<std::unique_ptr<TFileProcessor>(const TGlobalSetting& settings, TDataType& dataType)>;

    // Where a batch stands. Only one batch exists at a time: files are accepted only in bsIdle.
    enum class TBatchState {
        bsIdle,          // no batch
        bsStarting,      // dropped, the worker starts 300 ms later
        bsRunning,       // the worker runs
        bsEnding,        // the worker has ended; the summary comes 1000 ms later
        bsMessageWaiting // the summary is ready but the settings screen is open
    };

    explicit TfrmMain(TProcessorFactory processorFactory = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    TGlobalSetting& Settings() { return *FSettings; }
    TSurfaceManager& SurfaceMngr() { return *FSurfaceMngr; }
    TSurface* SplashSurface() const;
    TSurface* DropSurface() const;
    TProgressSurface* ProgressSurface() const { return FProgress.get(); }
    TMessageSurface* MessageSurface() const { return FMessage.get(); }
    TSettingSurface* SettingsSurface() const { return FSettingsSurface.get(); }
    TSurface* AboutSurface() const;
    TTransparentDropTarget* DropTarget() const { return FDropTarget; }
    TBatchState BatchState() const { return FBatchState; }
    // The paths of the last drop, in the order delivered.
    const QStringList& FileList() const { return FFileList; }
    // The window's background colour of the current theme.
    QColor BackgroundColor() const { return FBackground; }

    // Files to convert as soon as the drop surface first shows (after the splash), as if they had
    // been dropped on the window: the paths given on the command line, as "Open With" passes them.
    // Relative paths are taken from the current folder now. Call before the window is shown.
    void OpenAtStart(const QStringList& paths);

    // The close icon: stops a running batch (the picture in hand finishes), folds the window up and
    // closes it.
    void ExitProgram();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void BuildHeader();
    void BuildButtonBar();
    void BuildSurfaces();
    void BuildSettingsLayout(QWidget* layout);
    QWidget* NewLayout();
    TTextButton* NewRectButton(QWidget* parent, const QRect& geometry, const QString& text, int fontSize,
                               TRectangle*& rectangle);

    void FormActivate();
    void Timer2Timer();
    void Timer3Timer();
    void Timer4Timer();
    void Timer5Timer();
    void txtButtonClick();
    void imgSettingsClick();
    void txtBrowseClick();
    void txtHelpClick();

    void ApplyTheme();
    void SettingsBeforeShow();
    void SettingsApply();
    void CancelBatch();
    void WorkerProgress(std::int32_t progress);
    void WorkerTerminate();
    void StopWorker();
    void TitleMouseDown(QMouseEvent* event);
    void TitleMouseMove(QMouseEvent* event);
    void TitleMouseUp(QMouseEvent* event);
    void DropTargetDragOver();
    void DropTargetDragLeave();
    void DropTargetDrop(const QStringList& paths);
    void LightUp();
    void LightDown();
    void SetAnimationSpeeds(double seconds);
    void SetAllowDrop(bool value);

    // Program-wide objects; the worker is declared last so it is destroyed (and awaited) first.
    std::unique_ptr<TGlobalSetting> FSettings;
    std::unique_ptr<TDataType> FDataType;
    std::unique_ptr<TFileProcessor> FIOManager;
    std::unique_ptr<TBatchProcess> FWorker;

    QStringList FFileList;
    QStringList FStartFiles;
    TBatchState FBatchState = TBatchState::bsIdle;
    // Icon type and output folder chosen while the worker reads them; applied when it has ended.
    struct TPendingSettings {
        bool IconTypeMac = false;
        std::string Path;
    };
    std::optional<TPendingSettings> FPendingSettings;
    // The output folder the running batch writes to, read before the worker started.
    std::string FBatchPath;
    bool FirstActivate = true;
    bool IsDragged = false;
    QPoint StartPos;
    QPoint OldPos;
    bool WasAnimated = false;
    QColor FBackground;
    QPixmap FBackgroundTexture;

    // Controls.
    QWidget* layHeader = nullptr;
    TRectangle* recHeader = nullptr;
    TImageView* imgTitle = nullptr;
    TImageView* imgSettings = nullptr;
    TImageView* imgClose = nullptr;
    QWidget* layButton = nullptr;
    TRectangle* recButton = nullptr;
    TTextButton* txtButton = nullptr;
    TTransparentDropTarget* FDropTarget = nullptr;
    QWidget* laySplash = nullptr;
    QWidget* layDrop = nullptr;
    QWidget* layProgress = nullptr;
    QWidget* layMessage = nullptr;
    QWidget* laySettings = nullptr;
    QWidget* layAbout = nullptr;
    TImageView* imgDrop = nullptr;
    TImageView* imgSprite = nullptr;
    TTextLabel* txtMessage = nullptr;
    QLineEdit* edtPath = nullptr;
    TSelector* selType = nullptr;
    TSelector* selTheme = nullptr;
    std::vector<TRectangle*> FPlainRects;    // header-like rectangles that are never textured
    std::vector<TRectangle*> FTexturedRects; // header, button bar, "About", "Help"

    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;
    QTimer* Timer4 = nullptr;
    QTimer* Timer5 = nullptr;

    std::unique_ptr<TSurface> FSplash;
    std::unique_ptr<TSurface> FDrop;
    std::unique_ptr<TProgressSurface> FProgress;
    std::unique_ptr<TMessageSurface> FMessage;
    std::unique_ptr<TSettingSurface> FSettingsSurface;
    std::unique_ptr<TSurface> FAbout;
    std::unique_ptr<TSurfaceManager> FSurfaceMngr;
};

} // namespace gw
