#pragma once
// A two-option selector of the settings screen: a field showing one option (a small picture and its
// name) and an arrow button. A click anywhere slides the shown option out to the left and the other
// one in from the right; which option counts as chosen is read from the positions.

#include "ui/Controls.h"

#include <QWidget>

namespace gw {

class TSelector : public QWidget {
    Q_OBJECT
public:
    struct TOption {
        QString Picture;
        QString Text;
    };
    // The widget is 214 x 23; `first` is shown at start.
    TSelector(const TOption& first, const TOption& second, QWidget* parent);

    // Slides the other option in over `seconds`. The shown option is the first while its text rests
    // at X 25.
    void Toggle(double seconds);
    // True when the first option's picture rests at X 0 exactly (not while it still slides).
    bool FirstChosen() const;

    TRectangle* Field() const { return FField; }
    TRectangle* ArrowButton() const { return FArrowButton; }
    TImageView* FirstImage() const { return FFirstImage; }
    TImageView* SecondImage() const { return FSecondImage; }
    TTextLabel* FirstText() const { return FFirstText; }
    TTextLabel* SecondText() const { return FSecondText; }
    TImageView* Arrow() const { return FArrow; }

signals:
    void Clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TRectangle* FField;
    TRectangle* FArrowButton;
    TImageView* FArrow;
    TImageView* FFirstImage;
    TTextLabel* FFirstText;
    TImageView* FSecondImage;
    TTextLabel* FSecondText;
};

} // namespace gw
