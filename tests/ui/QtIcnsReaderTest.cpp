// Modern .icns files in Qt's own reader (the icns plugin of qt6-image-formats-plugins): every image
// is found, at its size, with our pixels.

#include "formats/icns/MacIcoIO.h"
#include "image/OrbIcon.h"

#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <vector>

using namespace gw;

namespace {

// A gradient with varying alpha; every pixel differs from its neighbours.
TBitmap Gradient(std::int32_t side) {
    TBitmap bitmap(side, side);
    for (std::int32_t y = 0; y < side; ++y) {
        for (std::int32_t x = 0; x < side; ++x) {
            const auto r = static_cast<std::uint8_t>(x * 255 / side);
            const auto g = static_cast<std::uint8_t>(y * 255 / side);
            const auto a = static_cast<std::uint8_t>(64 + (x + y) * 191 / (2 * side));
            bitmap.SetPixel(x, y, MakeColor(a, r, g, 128));
        }
    }
    return bitmap;
}

// Straight-alpha pixels as Qt gives them, transparent ones as transparent black.
std::vector<TColor> QtPixels(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    std::vector<TColor> pixels;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb rgb = argb.pixel(x, y);
            pixels.push_back(qAlpha(rgb) == 0 ? 0 : static_cast<TColor>(rgb));
        }
    }
    return pixels;
}

std::vector<TColor> OurPixels(const TBitmap& bitmap) {
    std::vector<TColor> pixels;
    for (const TColor pixel : bitmap.Pixels())
        pixels.push_back(AlphaOf(pixel) == 0 ? 0 : pixel);
    return pixels;
}

// Qt applies a mask element through premultiplied alpha, so colours of partly transparent pixels may
// differ by what that rounding loses: the same alpha, and premultiplied channels at most 1 apart.
bool SameShown(TColor theirs, TColor ours) {
    if (AlphaOf(theirs) != AlphaOf(ours))
        return false;
    const int alpha = AlphaOf(ours);
    const auto close = [alpha](int a, int b) { return std::abs(a - b) * alpha <= 255 + 127; };
    return close(RedOf(theirs), RedOf(ours)) && close(GreenOf(theirs), GreenOf(ours)) &&
           close(BlueOf(theirs), BlueOf(ours));
}

} // namespace

class QtIcnsReaderTest : public QObject {
    Q_OBJECT
private slots:
    void ModernFileOpensWithEveryImage() {
        if (!QImageReader::supportedImageFormats().contains("icns"))
            QSKIP("Qt's icns plugin is not installed (Debian package qt6-image-formats-plugins)");
        const std::vector<std::int32_t> sides = {1024, 512, 256, 128, 64, 48, 32, 16};
        TOrbIcon doc;
        for (const std::int32_t side : sides) {
            const std::int32_t index = doc.InsertNewImage(side, side, 32);
            QVERIFY(index >= 0);
            doc.Image()[index].SetBitmap(Gradient(side));
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("modern.icns"));
        TMacIcoIO coder(false);
        coder.SetModern(true);
        QVERIFY(coder.SaveToFile(doc, path.toStdString()));

        QImageReader reader(path);
        QVERIFY(reader.canRead());
        std::vector<std::int32_t> found;
        for (int i = 0; i < reader.imageCount(); ++i) {
            QVERIFY(reader.jumpToImage(i));
            const QImage image = reader.read();
            QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
            QCOMPARE(image.width(), image.height());
            found.push_back(image.width());
            const auto it = std::find_if(doc.Image().begin(), doc.Image().end(),
                                         [&](const TOrbImage& o) { return o.Width() == image.width(); });
            QVERIFY(it != doc.Image().end());
            const auto theirs = QtPixels(image);
            const auto ours = OurPixels(it->Bitmap());
            QCOMPARE(theirs.size(), ours.size());
            const auto diff = std::mismatch(theirs.begin(), theirs.end(), ours.begin(), SameShown);
            // The message is built only for a mismatch: QVERIFY2 evaluates it either way.
            if (diff.first != theirs.end())
                QFAIL(qPrintable(QStringLiteral("%1 px image %2: pixel %3 is %4, not %5")
                                     .arg(image.width())
                                     .arg(i)
                                     .arg(diff.first - theirs.begin())
                                     .arg(*diff.first, 8, 16)
                                     .arg(*diff.second, 8, 16)));
        }
        // Each size at least once (the retina copies of 32, 256 and 512 pixels are images of their own).
        for (const std::int32_t side : sides)
            QVERIFY2(std::count(found.begin(), found.end(), side) >= 1, qPrintable(QString::number(side)));
    }
};

QTEST_MAIN(QtIcnsReaderTest)
#include "QtIcnsReaderTest.moc"
