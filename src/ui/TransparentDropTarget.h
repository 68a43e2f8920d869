#pragma once
// The invisible control that receives files dragged onto the window from the file manager.

#include <QPoint>
#include <QStringList>
#include <QWidget>

class QMimeData;

namespace gw {

class TTransparentDropTarget : public QWidget {
    Q_OBJECT
public:
    explicit TTransparentDropTarget(QWidget* owner);

    // A refused target neither accepts drops nor blocks clicks on the controls under it.
    void SetAllowDrop(bool value);
    bool AllowDrop() const { return isEnabled(); }

    // The local file paths (files and folders) carried by drag data, in the order delivered; anything
    // without a file path (text, web addresses) is left out.
    static QStringList FilePaths(const QMimeData* data);

signals:
    // Raised on every drag over the target, whether or not it carries files.
    void DragOver(bool hasFiles);
    void DragLeave();
    void Dropped(const QStringList& paths, const QPoint& point);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void AnswerDrag(QDragMoveEvent* event);
};

} // namespace gw
