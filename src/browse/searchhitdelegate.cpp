#include "browse/searchhitdelegate.h"

#include "core/gcore.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>

namespace {

const int kLeft = 12;     // the row's inner margin
const int kTextLeft = 22; // from there to the texts: icon and gap
const int kTitleHeight = 20;

// A pixmap per icon file, already at the 18 x 18 the rows show.
QPixmap smallIcon(const QString &path)
{
    static QHash<QString, QPixmap> icons;
    auto it = icons.find(path);
    if (it == icons.end())
        it = icons.insert(
            path, QPixmap(path).scaled(18, 18, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    return it.value();
}

// Draws a marked text into `box`: one line centred in its height, or wrapped
// to its width from the top; what does not fit is cut off.
void drawMarked(QPainter *painter, const SearchHit::MarkedText &marked, const QFont &font,
                const QColor &color, const QRect &box, bool wrap)
{
    if (box.width() <= 0 || box.height() <= 0 || marked.text.isEmpty())
        return;
    QTextLayout layout(marked.text, font);
    QTextOption option;
    option.setWrapMode(wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.setFormats(marked.marks);
    layout.beginLayout();
    qreal y = 0;
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        // Without wrapping the whole text stays on the line and is cut at the box.
        line.setLineWidth(box.width());
        line.setPosition(QPointF(0, y));
        y += line.height();
        if (!wrap || y >= box.height())
            break;
    }
    layout.endLayout();
    const qreal top = wrap ? box.top() : box.top() + (box.height() - y) / 2;
    painter->save();
    painter->setClipRect(box, Qt::IntersectClip);
    painter->setPen(color);
    layout.draw(painter, QPointF(box.left(), top));
    painter->restore();
}

} // namespace

SearchHitDelegate::SearchHitDelegate(QObject *parent) : NoFocusDelegate(parent) {}

SearchHit::MarkedText SearchHitDelegate::title(const QModelIndex &index)
{
    const QModelIndex name = index.sibling(index.row(), 0);
    const QVariantMap hit = name.data(hitRole).toMap();
    SearchHit::MarkedText text =
        SearchHit::marked(hit.value(QStringLiteral("fileName")).toString(), false);
    const QVariant percent = name.data(percentRole);
    if (percent.isValid() && percent.toInt() >= 0)
        text.text += QStringLiteral("(%1%)").arg(percent.toInt());
    return text;
}

SearchHit::MarkedText SearchHitDelegate::summary(const QModelIndex &index)
{
    const QString text = index.sibling(index.row(), 0)
                             .data(hitRole)
                             .toMap()
                             .value(QStringLiteral("summary"))
                             .toString();
    return text.trimmed().isEmpty() ? SearchHit::MarkedText() : SearchHit::summary(text);
}

void SearchHitDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    // The cell has no item of its own to draw, only the hit of its row.
    paintBand(painter, option);
    const QVariantMap hit = index.sibling(index.row(), 0).data(hitRole).toMap();
    if (hit.isEmpty())
        return;
    const QRect area = option.rect.adjusted(kLeft, 0, 0, -4);
    const int textLeft = area.left() + kTextLeft;
    painter->save();
    painter->setClipRect(option.rect, Qt::IntersectClip);
    painter->drawPixmap(area.left(), area.top() + 1, smallIcon(GCore::fileIconPath(hit)));

    QFont font = option.font;
    font.setPointSize(10);
    QFont bold = font;
    bold.setBold(true);
    drawMarked(painter, title(index), bold, QColor(0x24, 0x94, 0xf2),
               QRect(textLeft, area.top(), area.right() - textLeft, kTitleHeight), false);
    drawMarked(painter, summary(index), font, QColor(0x88, 0x88, 0x88),
               QRect(textLeft, area.top() + kTitleHeight, area.right() - textLeft,
                     area.height() - kTitleHeight),
               true);
    painter->restore();
}
