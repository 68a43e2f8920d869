#include "ui/Pictures.h"

#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

// The resources live in a static library, so they are registered explicitly; the macro must be used
// outside any namespace.
static void RegisterPictureResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(pictures);
        return true;
    }();
    (void)registered;
}

namespace gw {

QPixmap RenderPicture(const QString& name, QSize size, qreal devicePixelRatio) {
    RegisterPictureResources();
    if (size.isEmpty() || name.isEmpty())
        return {};
    const QString key =
        QStringLiteral("gw:%1:%2x%3@%4").arg(name).arg(size.width()).arg(size.height()).arg(devicePixelRatio);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;

    QSvgRenderer renderer(QStringLiteral(":/pictures/%1.svg").arg(name));
    if (!renderer.isValid())
        return {};
    QImage image((QSizeF(size) * devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    image.setDevicePixelRatio(devicePixelRatio);
    pixmap = QPixmap::fromImage(std::move(image));
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QPixmap Texture(const QString& name, qreal devicePixelRatio) {
    return RenderPicture(name, QSize(50, 50), devicePixelRatio);
}

} // namespace gw
