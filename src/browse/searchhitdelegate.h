#pragma once

#include "browse/searchhit.h"
#include "widgets/nofocusdelegate.h"

// Paints the one visible column of the library's search results: per hit the
// file icon, the name with its matched words marked (bold blue, the marks in
// the server's colour), an open's progress after it, and the summary below,
// wrapped, in grey. The texts are laid out as plain text with coloured
// ranges (SearchHit::marked), never read as rich text. Painting instead of a
// widget per row keeps a thousand hits as quick to show as a listing.
class SearchHitDelegate : public NoFocusDelegate
{
    Q_OBJECT
public:
    // Roles of a hit row's name item (column 0): the hit as the server sent
    // it, and the percentage of its open (absent or -1: none).
    static constexpr int hitRole = Qt::UserRole + 5;
    static constexpr int percentRole = Qt::UserRole + 6;

    explicit SearchHitDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

    // The name line (with the progress of an open) and the summary, as painted.
    static SearchHit::MarkedText title(const QModelIndex &index);
    static SearchHit::MarkedText summary(const QModelIndex &index);
};
