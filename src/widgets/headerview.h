#pragma once

#include <QHeaderView>

// The browsers' flat column header: white sections with a thin grey line on
// the right of each and the title 8 pixels from the left.
class HeaderView : public QHeaderView
{
    Q_OBJECT
public:
    HeaderView(Qt::Orientation orientation, QWidget *parent = nullptr);

signals:
    void enterHeaderView();

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    void enterEvent(QEvent *event) override;
};
