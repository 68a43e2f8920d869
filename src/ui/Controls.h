#pragma once
// The few control kinds the window is built from: filled rectangles (plain or textured), text labels
// whose colour the theme sets, text buttons that fade to the accent colour under the mouse, and
// pictures that cross-fade to a second picture (hover and lit variants).

#include <QColor>
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace gw {

// The accent colour of hovered buttons, the progress bar and lit pictures.
inline constexpr QRgb kAccentColor = 0x4AB1D8;

// A click is a left button released over the control that was pressed.
bool IsClickRelease(const QWidget* widget, const QMouseEvent* event);

// A rectangle with a fill and a one-pixel border, or a tiled texture instead of the fill.
class TRectangle : public QWidget {
    Q_OBJECT
public:
    explicit TRectangle(QWidget* parent);
    void SetColors(const QColor& fill, const QColor& border);
    // A null pixmap returns to the plain fill.
    void SetTexture(const QPixmap& texture);
    QColor FillColor() const { return FFill; }
    QColor BorderColor() const { return FBorder; }
    bool Textured() const { return !FTexture.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor FFill = Qt::transparent;
    QColor FBorder = Qt::transparent;
    QPixmap FTexture;
};

// The layout's font sizes are given in the units of the original design; this maps them to pixels so
// that the texts fit their boxes. Every text of the window goes through it.
inline int FontPixels(int designSize) {
    return designSize - 2;
}

// A text whose colour comes from the theme.
class TTextLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QColor textColor READ TextColor WRITE SetTextColor)
public:
    TTextLabel(const QString& text, int pixelSize, Qt::Alignment alignment, QWidget* parent);
    QColor TextColor() const { return FTextColor; }
    void SetTextColor(const QColor& color);

private:
    QColor FTextColor;
};

// A text that acts as a button: it fades to the accent colour while the mouse is over it and back to
// the theme's colour when the mouse leaves, and reports a left click released inside it.
class TTextButton : public TTextLabel {
    Q_OBJECT
public:
    TTextButton(const QString& text, int pixelSize, QWidget* parent);
    // The resting colour; a running fade is stopped.
    void SetBaseColor(const QColor& color);
    QColor BaseColor() const { return FBaseColor; }
    void SetAnimationSpeed(double seconds) { FSpeed = seconds; }

signals:
    void Clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QColor FBaseColor;
    double FSpeed = 0.3;
};

// A picture drawn from the program's resources at the control's size, with an optional second
// picture it cross-fades to (a highlighted or lit variant).
class TImageView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(qreal blend READ Blend WRITE SetBlend)
public:
    TImageView(const QString& picture, const QString& alternate, QWidget* parent);
    void SetPictures(const QString& picture, const QString& alternate);
    // 0 shows the picture, 1 its alternate.
    qreal Blend() const { return FBlend; }
    void SetBlend(qreal value);
    // Fades to the alternate (or back) over the control's animation speed.
    void ShowAlternate(bool alternate);
    void SetAnimationSpeed(double seconds) { FSpeed = seconds; }
    // Hover swaps to the alternate while the mouse is over the picture.
    void SetHoverSwap(bool value) { FHoverSwap = value; }

signals:
    void Clicked();
    void MousePressed(QMouseEvent* event);
    void MouseMoved(QMouseEvent* event);
    void MouseReleased(QMouseEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString FPicture;
    QString FAlternate;
    qreal FBlend = 0.0;
    double FSpeed = 0.3;
    bool FHoverSwap = false;
};

} // namespace gw
