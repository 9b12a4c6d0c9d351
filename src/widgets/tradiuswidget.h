#pragma once

#include <QBrush>
#include <QWidget>

// The title bar of the frameless windows: a bar filled with a brush whose top
// corners are rounded, that drags its window and reports double-clicks.
class TRadiusWidget : public QWidget
{
    Q_OBJECT
public:
    TRadiusWidget(const QBrush &brush, int radius, QWidget *parent = nullptr);

    // The window this bar moves, and where the bar sits inside it (the width of
    // the window's shadow band).
    void setOwner(QWidget *owner, int offsetX, int offsetY);
    void setRadius(int radius);
    int radius() const { return m_radius; }
    void setBrush(const QBrush &brush);
    QBrush brush() const { return m_brush; }

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QBrush m_brush;
    QWidget *m_owner = nullptr;
    int m_radius = 0;
    int m_offsetX = 0;
    int m_offsetY = 0;
    int m_pressX = 0;
    int m_pressY = 0;
};
