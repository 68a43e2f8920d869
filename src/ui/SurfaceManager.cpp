#include "ui/SurfaceManager.h"

#include "ui/Animation.h"

#include <QLabel>
#include <QWidget>

#include <algorithm>

namespace gw {

TSurface::TSurface(QWidget* layout, bool allowDrop, bool hasButton, const QString& buttonText)
    : FLayout(layout), FHasButton(hasButton), FButtonText(buttonText), FAllowDrop(allowDrop) {}

void TSurface::Clicked() {
    if (FOnClick)
        FOnClick();
}

void TSurface::BeforeShow() {}

void TSurface::AfterHide() {}

TMessageSurface::TMessageSurface(QWidget* layout, QLabel* messageText, QWidget* successImage,
                                 QWidget* errorImage)
    : TSurface(layout, false, true, QStringLiteral("OK")), FText(messageText), FSuccessImage(successImage),
      FErrorImage(errorImage) {}

QString TMessageSurface::Message() const {
    return FText->text();
}

void TMessageSurface::SetMessage(const QString& text) {
    FText->setText(text);
}

void TMessageSurface::SetMessageType(TMessageType value) {
    FMessageType = value;
    FSuccessImage->setVisible(false);
    FErrorImage->setVisible(false);
    (value == TMessageType::mtSuccess ? FSuccessImage : FErrorImage)->setVisible(true);
}

TProgressSurface::TProgressSurface(QWidget* layout, QWidget* progressBar, QLabel* progressText)
    : TSurface(layout, false, true, QStringLiteral("Cancel")), FBar(progressBar), FText(progressText) {}

void TProgressSurface::SetProgress(std::int32_t value) {
    FProgress = std::clamp<std::int32_t>(value, 0, 100);
    FBar->resize(2 * FProgress, FBar->height());
    FText->setText(QString::number(FProgress) + QLatin1Char('%'));
}

void TSettingSurface::Clicked() {
    TSurface::Clicked();
}

TSurfaceManager::TSurfaceManager(QWidget* buttonBar, QLabel* buttonCaption,
                                 std::function<void(bool)> setAllowDrop)
    : FButtonBar(buttonBar), FButtonCaption(buttonCaption), FSetAllowDrop(std::move(setAllowDrop)) {}

void TSurfaceManager::ChangeTo(TSurface* surface) {
    if (surface == FCurrent)
        return;
    const double seconds = FAnimationSpeed;
    TSurface* old = FCurrent;
    if (old) {
        SlideX(old->FLayout, kLeaveX, seconds);
        if (old->FHasButton)
            SlideY(FButtonBar, kBarHiddenY, seconds);
        old->AfterHide();
    }

    FCurrent = surface;
    if (!surface)
        return;
    surface->BeforeShow();
    if (surface->FOnBeforeShow)
        surface->FOnBeforeShow();
    if (FSetAllowDrop)
        FSetAllowDrop(surface->FAllowDrop);

    StopAnimation(surface->FLayout, "pos");
    surface->FLayout->move(kWaitX, 0);
    if (old)
        SlideX(surface->FLayout, kShownX, seconds);
    else
        surface->FLayout->move(kShownX, 0);

    if (!surface->FHasButton)
        return;
    StopAnimation(FButtonBar, "pos");
    FButtonBar->move(0, kBarHiddenY);
    if (old)
        SlideY(FButtonBar, kBarShownY, seconds);
    else
        FButtonBar->move(0, kBarShownY);
    FButtonCaption->setText(surface->FButtonText);
}

} // namespace gw
