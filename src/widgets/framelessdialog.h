#pragma once

#include "widgets/framelessframe.h"

#include <QDialog>
#include <QList>

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

    // Marks a request of the dialog as out (true) or answered (false): the
    // `inputs` that would send it again and the title bar's close button are
    // disabled meanwhile, under the busy cursor. Subclasses ignore reject()
    // while isWaiting(): the answer decides how the dialog ends.
    void setWaiting(bool on, const QList<QWidget *> &inputs);
    bool isWaiting() const { return waiting; }

private:
    bool waiting = false;
};
