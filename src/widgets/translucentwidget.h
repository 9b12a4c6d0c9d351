#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>

// One of the eight invisible strips around a frameless window's body that
// resize the window when dragged. The position code says which edges it moves:
// 0 top, 1 left, 2 bottom, 3 right, 4 top-left, 5 top-right, 6 bottom-left,
// 7 bottom-right.
class TranslucentWidget : public QWidget
{
    Q_OBJECT
public:
    TranslucentWidget(int position, QWidget *owner, bool fixedSize, int thickness,
                      QWidget *parent = nullptr);

    int position() const { return m_position; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    bool movesTop() const { return m_position == 0 || m_position == 4 || m_position == 5; }
    bool movesBottom() const { return m_position == 2 || m_position == 6 || m_position == 7; }
    bool movesLeft() const { return m_position == 1 || m_position == 4 || m_position == 6; }
    bool movesRight() const { return m_position == 3 || m_position == 5 || m_position == 7; }

    int m_position;
    QWidget *m_owner;
    bool m_fixedSize;
    QPoint m_pressGlobal;
    QRect m_pressGeometry;
    int m_minWidth = 0;
    int m_minHeight = 0;
};
