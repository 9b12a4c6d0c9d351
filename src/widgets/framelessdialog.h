#pragma once

#include "widgets/framelessframe.h"

#include <QDialog>

// The base of every dialog: a frameless window with a shadow, a rounded white
// body, a title bar in the dialog's brush with maximise (when resizable) and
// close buttons, and resize strips unless the dialog has a fixed size.
// Subclasses resize the dialog, call initTitleBar() and set titleLabel's text.
class FramelessDialog : public QDialog, public FramelessFrame
{
    Q_OBJECT
public:
    FramelessDialog(QWidget *parent, const QBrush &titleBrush, bool fixedSize);

public slots:
    void closeApp();
    void minimizeApp();
    void reSizeApp();

protected:
    void initTitleBar();
    void paintEvent(QPaintEvent *event) override;
};
