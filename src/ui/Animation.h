#pragma once
// Linear property animations of the window's controls. Every animation starts from the property's
// current value and replaces any animation still running on the same property of the same object, so a
// second slide started during a first one continues from wherever the control is.

#include <QByteArray>
#include <QVariant>

class QObject;
class QWidget;

namespace gw {

// Animates `property` of `target` to `to` over `seconds`, linearly. A duration of zero (or less) sets
// the end value at once and leaves no animation behind.
void Animate(QObject* target, const QByteArray& property, const QVariant& to, double seconds);
// Stops a running animation of `property` of `target`, leaving the property where it is.
void StopAnimation(QObject* target, const QByteArray& property);
// True while an animation of `property` of `target` runs.
bool IsAnimating(const QObject* target, const QByteArray& property);

// Horizontal and vertical slides of a widget inside its parent.
void SlideX(QWidget* widget, int x, double seconds);
void SlideY(QWidget* widget, int y, double seconds);

} // namespace gw
