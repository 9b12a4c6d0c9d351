#pragma once

#include "core/httpcurl.h"
#include "widgets/framelessframe.h"

#include <QDialog>
#include <QList>

#include <functional>

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
    // Sends the dialog's form on a worker, waiting meanwhile with `inputs`
    // disabled; the dialog accepts itself when the server answers code "0",
    // otherwise `refused` gets the server's message (empty when it gave none).
    void postAndAccept(const QString &url, const FormParams &params,
                       const QList<QWidget *> &inputs,
                       std::function<void(const QString &message)> refused);

private:
    bool waiting = false;
};
