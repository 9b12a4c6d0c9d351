#include "transfer/transferdelegate.h"

#include "transfer/transferroles.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace {

constexpr int kButtonSpacing = 22;
constexpr int kIconSide = 32;

QVariantList buttonsOf(const QModelIndex &index)
{
    return index.data(TransferRoles::Buttons).toList();
}

} // namespace

TransferDelegate::TransferDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

const QPixmap &TransferDelegate::pixmap(const QString &path, int side) const
{
    const QString key = side > 0 ? path + QLatin1Char('@') + QString::number(side) : path;
    auto it = pixmaps.find(key);
    if (it == pixmaps.end()) {
        QPixmap p(path);
        if (side > 0 && !p.isNull())
            p = p.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        it = pixmaps.insert(key, p);
    }
    return *it;
}

QList<QRect> TransferDelegate::buttonRects(const QRect &cell, const QModelIndex &index) const
{
    QList<QRect> rects;
    int x = cell.left();
    for (const QVariant &b : buttonsOf(index)) {
        const QPixmap &p = pixmap(b.toStringList().value(1));
        // Until a picture exists the button keeps a clickable size.
        const QSize size = p.isNull() ? QSize(20, 20) : p.size();
        rects << QRect(QPoint(x, cell.top() + (cell.height() - size.height()) / 2), size);
        x += size.width() + kButtonSpacing;
    }
    return rects;
}

QRect TransferDelegate::buttonRect(const QRect &cell, const QModelIndex &index,
                                   const QString &id) const
{
    const QVariantList buttons = buttonsOf(index);
    const QList<QRect> rects = buttonRects(cell, index);
    for (int i = 0; i < buttons.size(); ++i) {
        if (buttons.at(i).toStringList().value(0) == id)
            return rects.at(i);
    }
    return QRect();
}

int TransferDelegate::buttonAt(const QRect &cell, const QModelIndex &index, const QPoint &pos) const
{
    const QList<QRect> rects = buttonRects(cell, index);
    for (int i = 0; i < rects.size(); ++i) {
        if (rects.at(i).contains(pos))
            return i;
    }
    return -1;
}

void TransferDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    const QVariant buttons = index.data(TransferRoles::Buttons);
    const QVariant progress = index.data(TransferRoles::Progress);
    const QVariant icon = index.data(TransferRoles::IconPath);
    if (!buttons.isValid() && !progress.isValid() && !icon.isValid()) {
        // Plain text cells (the history's time and direction), without the
        // focus frame.
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, plain, index);
        return;
    }
    painter->save();
    const QRect r = option.rect;
    if (buttons.isValid()) {
        const QList<QRect> rects = buttonRects(r, index);
        const QVariantList list = buttons.toList();
        for (int i = 0; i < list.size(); ++i)
            painter->drawPixmap(rects.at(i).topLeft(), pixmap(list.at(i).toStringList().value(1)));
    } else if (progress.isValid()) {
        QStyleOptionProgressBar bar;
        bar.rect = QRect(r.left() + 3, r.top() + 12, r.width() - 18, 20);
        bar.state = QStyle::State_Enabled | QStyle::State_Horizontal;
        bar.direction = option.direction;
        bar.fontMetrics = option.fontMetrics;
        bar.palette = option.palette;
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = progress.toInt();
        bar.textVisible = true;
        bar.textAlignment = Qt::AlignCenter;
        bar.text = QStringLiteral("%1%").arg(bar.progress);
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);

        const QRect textRect(r.left() + 3, r.top() + 32, r.width() - 18, 18);
        const QString word = index.data(TransferRoles::StatusWord).toString();
        const QString all = index.data(Qt::DisplayRole).toString();
        QFont bold = option.font;
        bold.setBold(true);
        painter->setFont(bold);
        painter->setPen(index.data(Qt::ForegroundRole).value<QColor>());
        const QFontMetrics boldMetrics(bold);
        const QString wordShown = boldMetrics.elidedText(word, Qt::ElideRight, textRect.width());
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          wordShown);
        if (all.size() > word.size()) {
            const int used = boldMetrics.horizontalAdvance(wordShown);
            QRect rest = textRect.adjusted(used, 0, 0, 0);
            painter->setFont(option.font);
            painter->setPen(QColor(0x66, 0x66, 0x66));
            painter->drawText(
                rest, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                option.fontMetrics.elidedText(all.mid(word.size()), Qt::ElideRight, rest.width()));
        }
    } else {
        const QPixmap &p = pixmap(icon.toString(), kIconSide);
        const int iconTop = r.top() + (r.height() - kIconSide) / 2;
        painter->drawPixmap(r.left() + 20, iconTop, p);
        const int textLeft = r.left() + 20 + kIconSide + 6;
        const QRect texts(textLeft, r.top() + 5, r.right() - textLeft, r.height() - 10);
        QFont bold = option.font;
        bold.setBold(true);
        const QFontMetrics boldMetrics(bold);
        const int lineGap = 3;
        const int block = boldMetrics.height() + lineGap + option.fontMetrics.height();
        const int top = texts.top() + (texts.height() - block) / 2;
        painter->setFont(bold);
        painter->setPen(QColor(0x33, 0x33, 0x33));
        painter->drawText(QRect(texts.left(), top, texts.width(), boldMetrics.height()),
                          Qt::AlignLeft | Qt::TextSingleLine,
                          boldMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                 Qt::ElideMiddle, texts.width()));
        painter->setFont(option.font);
        painter->setPen(QColor(0x66, 0x66, 0x66));
        painter->drawText(QRect(texts.left(), top + boldMetrics.height() + lineGap, texts.width(),
                                option.fontMetrics.height()),
                          Qt::AlignLeft | Qt::TextSingleLine,
                          index.data(TransferRoles::SizeText).toString());
    }
    painter->restore();
}

QSize TransferDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), 54);
}

bool TransferDelegate::editorEvent(QEvent *event, QAbstractItemModel *model,
                                   const QStyleOptionViewItem &option, const QModelIndex &index)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseMove && type != QEvent::MouseButtonDblClick)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const int hit = buttonAt(option.rect, index, mouse->pos());
    if (type == QEvent::MouseMove) {
        // The hand over a button, as over the buttons the rows once held.
        if (auto *view = qobject_cast<QAbstractItemView *>(const_cast<QWidget *>(option.widget)))
            view->viewport()->setCursor(hit >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
        return false;
    }
    if (mouse->button() != Qt::LeftButton || hit < 0) {
        if (type == QEvent::MouseButtonRelease)
            pressedButton = -1;
        return false;
    }
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        pressedIndex = index;
        pressedButton = hit;
        return true;
    }
    const bool same = pressedIndex == index && pressedButton == hit;
    pressedButton = -1;
    if (!same)
        return false;
    emit buttonClicked(index, buttonsOf(index).value(hit).toStringList().value(0));
    return true;
}

bool TransferDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                 const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event && event->type() == QEvent::ToolTip) {
        const int hit = buttonAt(option.rect, index, event->pos());
        if (hit >= 0) {
            QToolTip::showText(event->globalPos(),
                               buttonsOf(index).value(hit).toStringList().value(2), view,
                               buttonRects(option.rect, index).at(hit));
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
