#include "fileicons.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace FileIcons {

const QVector<Family> &families()
{
    static const QVector<Family> table = {
        {"word", QColor("#2b78e4"), {"doc", "docx", "wps", "rtf", "odt"}},
        {"sheet", QColor("#1f9d55"), {"xls", "xlsx", "csv", "ods"}},
        {"slides", QColor("#e4682c"), {"ppt", "pptx", "odp"}},
        {"pdf", QColor("#d9362f"), {"pdf"}},
        {"text", QColor("#6b7c8f"), {"txt", "log", "xml", "html"}},
        {"image",
         QColor("#8e5bd8"),
         {"bmp", "png", "gif", "jpg", "jpeg", "tif", "ico", "svg", "webp"}},
        {"drawing", QColor("#11a3a0"), {"psd", "cdr", "dxf", "max", "3dx", "dwg", "ai", "eps"}},
        {"audio",
         QColor("#e09a00"),
         {"wma", "mp3", "mid", "wav", "rm", "aac", "flac", "ogg", "m4a"}},
        {"video",
         QColor("#d33f7d"),
         {"avi", "rmvb", "mpeg", "2gp", "mkv", "mp4", "mov", "wmv", "flv", "3gp", "mpg"}},
        {"archive", QColor("#8b6a3e"), {"zip", "rar", "7z", "gz", "tar"}},
    };
    return table;
}

namespace {

const QColor kOutline("#b4bfcb");
const QColor kFold("#e1e8ef");
const QColor kLine("#cfd8e2");

QImage blank()
{
    QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// A page with its top-right corner folded over; the outline sits on pixel
// centres so that it stays crisp at the native size.
void drawPage(QPainter &p)
{
    QPainterPath page;
    page.moveTo(6.5, 1.5);
    page.lineTo(20.5, 1.5);
    page.lineTo(26.5, 7.5);
    page.lineTo(26.5, 30.5);
    page.lineTo(6.5, 30.5);
    page.closeSubpath();
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(Qt::white);
    p.drawPath(page);

    QPainterPath fold;
    fold.moveTo(20.5, 1.5);
    fold.lineTo(20.5, 7.5);
    fold.lineTo(26.5, 7.5);
    fold.closeSubpath();
    p.setBrush(kFold);
    p.drawPath(fold);
}

void drawTextLines(QPainter &p, const QVector<int> &rows)
{
    p.setPen(QPen(kLine, 1.0));
    for (int i = 0; i < rows.size(); ++i) {
        const qreal y = rows.at(i) + 0.5;
        const qreal right = (i % 2 == 0) ? 22.5 : 18.5;
        p.drawLine(QPointF(9.5, y), QPointF(right, y));
    }
}

// The largest bold font, down to 7 pixels, in which text fits the band.
QFont bandFont(const QString &text, qreal maxWidth)
{
    QFont font("DejaVu Sans");
    font.setBold(true);
    font.setHintingPreference(QFont::PreferFullHinting);
    for (int px = 9; px >= 7; --px) {
        for (int stretch :
             {int(QFont::Unstretched), int(QFont::SemiCondensed), int(QFont::Condensed)}) {
            font.setPixelSize(px);
            font.setStretch(stretch);
            if (QFontMetricsF(font).horizontalAdvance(text) <= maxWidth)
                return font;
        }
    }
    return font;
}

} // namespace

QImage drawExtension(const QString &extension, const QColor &colour)
{
    QImage image = blank();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawPage(p);
    drawTextLines(p, {10, 13});

    const QRectF band(2, 16, 28, 11);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(band, 2, 2);

    const QString text = extension.toUpper();
    p.setFont(bandFont(text, band.width() - 3));
    p.setPen(Qt::white);
    p.drawText(band.adjusted(0, 0, 0, 0.5), Qt::AlignCenter, text);
    return image;
}

QImage drawGenericFile()
{
    QImage image = blank();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawPage(p);
    drawTextLines(p, {11, 14, 17, 20, 23, 26});
    return image;
}

QImage drawFolder()
{
    QImage image = blank();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    QPainterPath back;
    back.moveTo(2, 6);
    back.lineTo(12, 6);
    back.lineTo(15, 9);
    back.lineTo(30, 9);
    back.lineTo(30, 27);
    back.lineTo(2, 27);
    back.closeSubpath();
    p.setBrush(QColor("#eaa920"));
    p.drawPath(back);

    p.setBrush(QColor("#fbe3a6"));
    p.drawRect(QRectF(4, 10, 24, 6));

    p.setBrush(QColor("#f7c13f"));
    p.drawRoundedRect(QRectF(2, 12, 28, 15), 1.5, 1.5);
    return image;
}

} // namespace FileIcons
