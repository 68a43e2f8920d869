#pragma once
// The window's full-window screens (surfaces) and the manager that slides between them: the old
// surface leaves to the left, the new one comes in from the right, and the shared button bar at the
// bottom drops and comes back up with the new surface's caption when the new surface has a button.

#include "image/CommonTypes.h"

#include <QString>

#include <cstdint>
#include <functional>

class QLabel;
class QWidget;

namespace gw {

class TSurface {
public:
    using TEvent = std::function<void()>;

    // `layout` holds the surface's controls and is not owned.
    TSurface(QWidget* layout, bool allowDrop, bool hasButton, const QString& buttonText);
    virtual ~TSurface() = default;
    TSurface(const TSurface&) = delete;
    TSurface& operator=(const TSurface&) = delete;

    QWidget* Layout() const { return FLayout; }
    bool AllowDrop() const { return FAllowDrop; }
    bool HasButton() const { return FHasButton; }
    const QString& ButtonText() const { return FButtonText; }
    void SetOnClick(TEvent handler) { FOnClick = std::move(handler); }
    void SetOnBeforeShow(TEvent handler) { FOnBeforeShow = std::move(handler); }

    // What the shared button does on this surface: calls OnClick when assigned.
    virtual void Clicked();
    // Hooks called by the manager when the surface is about to slide in and after it slid out.
    virtual void BeforeShow();
    virtual void AfterHide();

private:
    friend class TSurfaceManager;
    QWidget* FLayout;
    TEvent FOnClick;
    bool FHasButton;
    QString FButtonText;
    bool FAllowDrop;
    TEvent FOnBeforeShow;
};

// The result screen: a message text and either the success or the error picture.
class TMessageSurface : public TSurface {
public:
    TMessageSurface(QWidget* layout, QLabel* messageText, QWidget* successImage, QWidget* errorImage);
    QString Message() const;
    void SetMessage(const QString& text);
    TMessageType MessageType() const { return FMessageType; }
    void SetMessageType(TMessageType value);

private:
    QLabel* FText;
    QWidget* FSuccessImage;
    QWidget* FErrorImage;
    TMessageType FMessageType = TMessageType::mtSuccess;
};

// The progress screen: a bar of 2 pixels per percent and the percentage as text.
class TProgressSurface : public TSurface {
public:
    TProgressSurface(QWidget* layout, QWidget* progressBar, QLabel* progressText);
    std::int32_t Progress() const { return FProgress; }
    // Clamps to 0 .. 100.
    void SetProgress(std::int32_t value);

private:
    QWidget* FBar;
    QLabel* FText;
    std::int32_t FProgress = 0;
};

class TSettingSurface : public TSurface {
public:
    using TSurface::TSurface;
    void Clicked() override;
};

class TSurfaceManager {
public:
    // Window geometry of the slides.
    static constexpr int kShownX = 0;
    static constexpr int kWaitX = 230;
    static constexpr int kLeaveX = -280;
    static constexpr int kBarShownY = 205;
    static constexpr int kBarHiddenY = 230;

    // `buttonBar` is the shared bar, `buttonCaption` its text; `setAllowDrop` switches the window's
    // drop target. None is owned.
    TSurfaceManager(QWidget* buttonBar, QLabel* buttonCaption, std::function<void(bool)> setAllowDrop);

    TSurface* Current() const { return FCurrent; }
    float AnimationSpeed() const { return FAnimationSpeed; }
    void SetAnimationSpeed(float seconds) { FAnimationSpeed = seconds; }

    // Switches to `surface` (nothing happens when it is the current one). The slides are not awaited.
    void ChangeTo(TSurface* surface);

private:
    QWidget* FButtonBar;
    QLabel* FButtonCaption;
    std::function<void(bool)> FSetAllowDrop;
    TSurface* FCurrent = nullptr;
    float FAnimationSpeed = 0.3f;
};

} // namespace gw
