#pragma once

#include <QBrush>
#include <QColor>
#include <QList>

class QLabel;
class QPaintEvent;
class QWidget;
class TPushButton;
class TRadiusWidget;

// What FramelessDialog and FramelessWidget have in common: the shadow band,
// the rounded body, the title bar, the content area, the eight resize strips
// and the switch between normal and maximised. Both classes inherit it beside
// their Qt base, so subclasses reach these members as their own.
class FramelessFrame
{
public:
    bool isFixedSize() const { return fixedSize; }
    // Adds a widget under the title bar, in the content area's vertical layout.
    void addContentWidget(QWidget *widget);

protected:
    FramelessFrame(QWidget *window, const QBrush &titleBrush, const QColor &backgroundColor,
                   bool fixedSize);
    ~FramelessFrame() = default;
    FramelessFrame(const FramelessFrame &) = delete;
    FramelessFrame &operator=(const FramelessFrame &) = delete;

    // Paints the body and its shadow where `dirty` (the paint event's rect) needs it.
    void paintFrame(const QRect &dirty);
    // Switches between normal and maximised: strips, title corners, button look.
    void toggleMaximized();
    void updateMaximizeButtonStyle();

    int shadowWidth = 8;
    QColor backgroundColor;
    QBrush titleBrush;
    QList<int> shadowAlphas{60, 35, 20, 10, 7, 4, 2, 0};
    QList<QWidget *> borderWidgets;
    int titleHeight = 28;
    bool fixedSize = false;
    int cornerRadius = 3;
    TRadiusWidget *titleBar = nullptr;
    QWidget *contentWidget = nullptr;
    QLabel *titleLabel = nullptr;
    TPushButton *closeButton = nullptr;
    TPushButton *minimizeButton = nullptr;
    TPushButton *maximizeButton = nullptr;

private:
    QWidget *m_window;
};
