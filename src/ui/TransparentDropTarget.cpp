#include "ui/TransparentDropTarget.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>

namespace gw {

TTransparentDropTarget::TTransparentDropTarget(QWidget* owner) : QWidget(owner) {
    // Nothing is painted: the control only catches drags over the window's picture.
    setAttribute(Qt::WA_NoSystemBackground);
    SetAllowDrop(false);
}

void TTransparentDropTarget::SetAllowDrop(bool value) {
    // A disabled control gets no drag events, so a drag in progress ends here for the window.
    if (!value && isEnabled())
        emit DragLeave();
    setEnabled(value);
    setAcceptDrops(value);
    setAttribute(Qt::WA_TransparentForMouseEvents, !value);
}

QStringList TTransparentDropTarget::FilePaths(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (!path.isEmpty())
            paths.append(path);
    }
    return paths;
}

void TTransparentDropTarget::AnswerDrag(QDragMoveEvent* event) {
    const bool hasFiles = AllowDrop() && !FilePaths(event->mimeData()).isEmpty();
    if (hasFiles)
        event->acceptProposedAction();
    else
        event->ignore();
    emit DragOver(hasFiles);
}

void TTransparentDropTarget::dragEnterEvent(QDragEnterEvent* event) {
    AnswerDrag(event);
    // The window sends the leave only to a control that took the enter, so a drag without files is
    // taken too, with no action to offer: it is refused all the same, and its leave puts the
    // picture out.
    if (AllowDrop() && !event->isAccepted()) {
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
    }
}

void TTransparentDropTarget::dragMoveEvent(QDragMoveEvent* event) {
    AnswerDrag(event);
}

void TTransparentDropTarget::dragLeaveEvent(QDragLeaveEvent* event) {
    event->accept();
    emit DragLeave();
}

void TTransparentDropTarget::dropEvent(QDropEvent* event) {
    const QStringList paths = AllowDrop() ? FilePaths(event->mimeData()) : QStringList();
    if (paths.isEmpty()) {
        event->ignore();
        emit DragLeave();
        return;
    }
    event->acceptProposedAction();
    emit Dropped(paths, event->position().toPoint());
}

} // namespace gw
