#pragma once
// The window's pictures: SVG drawings compiled into the program, rendered at the size and pixel ratio
// they are shown at.

#include <QPixmap>
#include <QSize>
#include <QString>

namespace gw {

// Renders picture `name` (":/pictures/<name>.svg") scaled to `size` logical pixels; a null pixmap when
// the picture does not exist.
QPixmap RenderPicture(const QString& name, QSize size, qreal devicePixelRatio = 1.0);

// The 50 x 50 tile of texture `name` ("TextureLight", "TextureLightButton", "TextureDark",
// "TextureDarkButton").
QPixmap Texture(const QString& name, qreal devicePixelRatio = 1.0);

} // namespace gw
