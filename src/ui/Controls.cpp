#include "ui/Controls.h"

#include "ui/Animation.h"
#include "ui/Pictures.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

namespace gw {

bool IsClickRelease(const QWidget* widget, const QMouseEvent* event) {
    return event->button() == Qt::LeftButton && widget->rect().contains(event->position().toPoint());
}

TRectangle::TRectangle(QWidget* parent) : QWidget(parent) {}

void TRectangle::SetColors(const QColor& fill, const QColor& border) {
    FFill = fill;
    FBorder = border;
    update();
}

void TRectangle::SetTexture(const QPixmap& texture) {
    FTexture = texture;
    update();
}

void TRectangle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (FTexture.isNull())
        painter.fillRect(rect(), FFill);
    else
        painter.fillRect(rect(), QBrush(FTexture));
    if (FBorder.alpha() != 0 && FTexture.isNull()) {
        painter.setPen(FBorder);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

TTextLabel::TTextLabel(const QString& text, int pixelSize, Qt::Alignment alignment, QWidget* parent)
    : QLabel(text, parent) {
    QFont font = this->font();
    font.setPixelSize(pixelSize);
    setFont(font);
    setAlignment(alignment);
    SetTextColor(QColor(0xA6, 0xA6, 0xA6));
}

void TTextLabel::SetTextColor(const QColor& color) {
    FTextColor = color;
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    setPalette(palette);
}

TTextButton::TTextButton(const QString& text, int pixelSize, QWidget* parent)
    : TTextLabel(text, pixelSize, Qt::AlignCenter, parent), FBaseColor(TextColor()) {
    setCursor(Qt::PointingHandCursor);
}

void TTextButton::SetBaseColor(const QColor& color) {
    StopAnimation(this, "textColor");
    FBaseColor = color;
    SetTextColor(underMouse() ? QColor(kAccentColor) : color);
}

void TTextButton::enterEvent(QEnterEvent* event) {
    Animate(this, "textColor", QColor(kAccentColor), FSpeed);
    TTextLabel::enterEvent(event);
}

void TTextButton::leaveEvent(QEvent* event) {
    Animate(this, "textColor", FBaseColor, FSpeed);
    TTextLabel::leaveEvent(event);
}

void TTextButton::mousePressEvent(QMouseEvent* event) {
    event->setAccepted(event->button() == Qt::LeftButton);
}

void TTextButton::mouseReleaseEvent(QMouseEvent* event) {
    if (IsClickRelease(this, event))
        emit Clicked();
}

TImageView::TImageView(const QString& picture, const QString& alternate, QWidget* parent)
    : QWidget(parent), FPicture(picture), FAlternate(alternate) {}

void TImageView::SetPictures(const QString& picture, const QString& alternate) {
    FPicture = picture;
    FAlternate = alternate;
    update();
}

void TImageView::SetBlend(qreal value) {
    FBlend = std::clamp<qreal>(value, 0.0, 1.0);
    update();
}

void TImageView::ShowAlternate(bool alternate) {
    Animate(this, "blend", alternate ? 1.0 : 0.0, FSpeed);
}

void TImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const qreal ratio = devicePixelRatioF();
    if (FBlend < 1.0) {
        painter.setOpacity(FAlternate.isEmpty() ? 1.0 : 1.0 - FBlend);
        painter.drawPixmap(0, 0, RenderPicture(FPicture, size(), ratio));
    }
    if (FBlend > 0.0 && !FAlternate.isEmpty()) {
        painter.setOpacity(FBlend);
        painter.drawPixmap(0, 0, RenderPicture(FAlternate, size(), ratio));
    }
}

void TImageView::enterEvent(QEnterEvent* event) {
    if (FHoverSwap)
        ShowAlternate(true);
    QWidget::enterEvent(event);
}

void TImageView::leaveEvent(QEvent* event) {
    if (FHoverSwap)
        ShowAlternate(false);
    QWidget::leaveEvent(event);
}

void TImageView::mousePressEvent(QMouseEvent* event) {
    emit MousePressed(event);
    event->accept();
}

void TImageView::mouseMoveEvent(QMouseEvent* event) {
    emit MouseMoved(event);
}

void TImageView::mouseReleaseEvent(QMouseEvent* event) {
    emit MouseReleased(event);
    if (IsClickRelease(this, event))
        emit Clicked();
}

} // namespace gw
