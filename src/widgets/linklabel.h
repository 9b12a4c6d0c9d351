#pragma once

#include <QLabel>

// A clickable label: the desktop's announcement ticker (mode 0: a bullet and
// the text, underlined under the mouse) and the "请重试" retry links (mode 1:
// a plain label in a given colour).
class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    explicit LinkLabel(QWidget *parent = nullptr);

    void setMode(int mode, const QString &color = QString(), bool bold = false);
    int mode() const { return m_mode; }
    bool isHovered() const { return m_hovered; }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_hovered = false;
    int m_mode = 0;
};
