#include "loadinggif.h"

#include "gifencoder.h"

#include <QImage>
#include <QPainter>
#include <QtMath>

namespace LoadingGif {

namespace {

const QColor kDot("#0098f7");

// GIF transparency is all or nothing, so soft edges are blended with white,
// the background of the tree the animation is shown over. Every pixel is the
// dot colour at some opacity, which makes the opacity alone the palette index.
QVector<QRgb> palette()
{
    QVector<QRgb> colours;
    colours.append(qRgb(255, 255, 255)); // index 0: transparent
    for (int i = 1; i < 256; ++i) {
        const qreal a = qreal(i - 1) / 254.0;
        colours.append(qRgb(qRound(255 + (kDot.red() - 255) * a),
                            qRound(255 + (kDot.green() - 255) * a),
                            qRound(255 + (kDot.blue() - 255) * a)));
    }
    return colours;
}

QByteArray frame(int head)
{
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        const QPointF centre(kSize / 2.0, kSize / 2.0);
        for (int dot = 0; dot < kFrames; ++dot) {
            const int age = (head - dot + kFrames) % kFrames;
            QColor c = kDot;
            c.setAlphaF(1.0 - age * 0.075);
            p.setBrush(c);
            const qreal angle = qDegreesToRadians(dot * 360.0 / kFrames - 90.0);
            const QPointF at = centre + QPointF(qCos(angle), qSin(angle)) * 11.0;
            const qreal radius = age == 0 ? 2.8 : 2.4;
            p.drawEllipse(at, radius, radius);
        }
    }

    QByteArray indices;
    indices.reserve(kSize * kSize);
    for (int y = 0; y < kSize; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < kSize; ++x) {
            const int alpha = qAlpha(line[x]);
            indices.append(alpha < 24 ? char(0) : char(1 + qRound(alpha * 254.0 / 255.0)));
        }
    }
    return indices;
}

} // namespace

QByteArray render()
{
    GifEncoder encoder(kSize, kSize, palette(), 0);
    for (int head = 0; head < kFrames; ++head)
        encoder.addFrame(frame(head), 8);
    return encoder.finish();
}

} // namespace LoadingGif
