#include "ui/Animation.h"

#include <QPropertyAnimation>
#include <QWidget>

namespace gw {

namespace {

// Each running animation is a child of its target named after the property, which is how a new
// animation finds the one it replaces.
QString AnimationName(const QByteArray& property) {
    return QStringLiteral("gw-animation-") + QString::fromLatin1(property);
}

QPropertyAnimation* FindAnimation(const QObject* target, const QByteArray& property) {
    return target->findChild<QPropertyAnimation*>(AnimationName(property), Qt::FindDirectChildrenOnly);
}

} // namespace

void StopAnimation(QObject* target, const QByteArray& property) {
    // NOTE: deleting a stopped animation is safe here because we are never inside its own callbacks.
    delete FindAnimation(target, property);
}

bool IsAnimating(const QObject* target, const QByteArray& property) {
    const QPropertyAnimation* animation = FindAnimation(target, property);
    return animation && animation->state() == QAbstractAnimation::Running;
}

void Animate(QObject* target, const QByteArray& property, const QVariant& to, double seconds) {
    StopAnimation(target, property);
    const int milliseconds = seconds > 0.0 ? static_cast<int>(seconds * 1000.0 + 0.5) : 0;
    if (milliseconds <= 0) {
        target->setProperty(property.constData(), to);
        return;
    }
    auto* animation = new QPropertyAnimation(target, property, target);
    animation->setObjectName(AnimationName(property));
    animation->setEasingCurve(QEasingCurve::Linear);
    animation->setDuration(milliseconds);
    animation->setStartValue(target->property(property.constData()));
    animation->setEndValue(to);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void SlideX(QWidget* widget, int x, double seconds) {
    Animate(widget, "pos", QPoint(x, widget->y()), seconds);
}

void SlideY(QWidget* widget, int y, double seconds) {
    Animate(widget, "pos", QPoint(widget->x(), y), seconds);
}

} // namespace gw
