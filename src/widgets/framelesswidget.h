#pragma once

#include "widgets/framelessframe.h"

#include <QWidget>

// The base of the main window: the same frame as FramelessDialog on a plain
// top-level widget, 800 x 600 at first. The subclass creates the title bar's
// contents and window buttons.
class FramelessWidget : public QWidget, public FramelessFrame
{
    Q_OBJECT
public:
    FramelessWidget(QWidget *parent, const QColor &titleColor, bool fixedSize);

public slots:
    void closeApp();
    void minimizeApp();
    void reSizeApp();

protected:
    void paintEvent(QPaintEvent *event) override;
};
