#include "ui/Selector.h"

#include "ui/Animation.h"

#include <QMouseEvent>

namespace gw {

namespace {

// Positions inside the clipped selector: the shown option's picture at X 0 and its text at X 25; the
// hidden option waits outside at X 215, an incoming one starts at 200 and an outgoing one leaves to -200.
constexpr int kImageX = 0;
constexpr int kTextX = 25;
constexpr int kWaitX = 215;
constexpr int kEnterX = 200;
constexpr int kLeaveX = -200;

} // namespace

TSelector::TSelector(const TOption& first, const TOption& second, QWidget* parent) : QWidget(parent) {
    resize(214, 23);
    setCursor(Qt::PointingHandCursor);
    FField = new TRectangle(this);
    FField->setGeometry(0, 0, 189, 22);

    const auto makeOption = [this](const TOption& option, int x, TImageView*& image, TTextLabel*& text) {
        image = new TImageView(option.Picture, {}, this);
        image->setGeometry(x + kImageX, 0, 22, 22);
        image->setAttribute(Qt::WA_TransparentForMouseEvents);
        text = new TTextLabel(option.Text, FontPixels(15), Qt::AlignLeft | Qt::AlignVCenter, this);
        text->setGeometry(x + kTextX, 0, 160, 22);
        text->setAttribute(Qt::WA_TransparentForMouseEvents);
    };
    makeOption(first, 0, FFirstImage, FFirstText);
    makeOption(second, kWaitX, FSecondImage, FSecondText);
    FSecondText->move(kWaitX, 0);

    // The arrow button stays above the sliding options.
    FArrowButton = new TRectangle(this);
    FArrowButton->setGeometry(191, 1, 22, 22);
    FArrowButton->setAttribute(Qt::WA_TransparentForMouseEvents);
    FArrow = new TImageView(QStringLiteral("arrow"), QStringLiteral("arrow-hover"), FArrowButton);
    FArrow->setGeometry(0, 0, 22, 22);
    FArrow->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TSelector::Toggle(double seconds) {
    const bool firstShown = FFirstText->x() == kTextX;
    TImageView* outImage = firstShown ? FFirstImage : FSecondImage;
    TTextLabel* outText = firstShown ? FFirstText : FSecondText;
    TImageView* inImage = firstShown ? FSecondImage : FFirstImage;
    TTextLabel* inText = firstShown ? FSecondText : FFirstText;

    StopAnimation(inText, "pos");
    StopAnimation(inImage, "pos");
    inText->move(kEnterX, inText->y());
    inImage->move(kEnterX, inImage->y());
    SlideX(outText, kLeaveX, seconds);
    SlideX(outImage, kLeaveX, seconds);
    SlideX(inText, kTextX, seconds);
    SlideX(inImage, kImageX, seconds);
}

bool TSelector::FirstChosen() const {
    return FFirstImage->x() == kImageX;
}

void TSelector::enterEvent(QEnterEvent* event) {
    FArrow->ShowAlternate(true);
    QWidget::enterEvent(event);
}

void TSelector::leaveEvent(QEvent* event) {
    FArrow->ShowAlternate(false);
    QWidget::leaveEvent(event);
}

void TSelector::mousePressEvent(QMouseEvent* event) {
    event->setAccepted(event->button() == Qt::LeftButton);
}

void TSelector::mouseReleaseEvent(QMouseEvent* event) {
    if (IsClickRelease(this, event))
        emit Clicked();
}

} // namespace gw
