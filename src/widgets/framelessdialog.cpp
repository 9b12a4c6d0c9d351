#include "widgets/framelessdialog.h"

#include "core/httpthread.h"

#include "widgets/tpushbutton.h"
#include "widgets/tradiuswidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>

FramelessDialog::FramelessDialog(QWidget *parent, const QBrush &titleBrush, bool fixedSize)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      FramelessFrame(this, titleBrush, QColor(QStringLiteral("#ffffff")), fixedSize)
{
}

void FramelessDialog::initTitleBar()
{
    titleBar->setFixedHeight(titleHeight);
    auto *layout = new QHBoxLayout(titleBar);
    layout->setContentsMargins(8, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(titleLabel);
    auto *spacer = new QWidget(titleBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    layout->addWidget(spacer);

    minimizeButton = new TPushButton(titleBar);
    minimizeButton->setObjectName(QStringLiteral("minimizeButton"));
    minimizeButton->setFixedSize(28, 28);
    minimizeButton->setStyleSheet(
        TPushButton::titleButtonStyle(QStringLiteral("minimize_transparent_h.png"),
                                      QStringLiteral("minimize_halftransparent_h.png")));
    layout->addWidget(minimizeButton);

    if (!fixedSize) {
        maximizeButton = new TPushButton(titleBar);
        maximizeButton->setObjectName(QStringLiteral("maximizeButton"));
        maximizeButton->setFixedSize(28, 28);
        updateMaximizeButtonStyle();
        layout->addWidget(maximizeButton);
        connect(maximizeButton, &QPushButton::clicked, this, &FramelessDialog::reSizeApp);
        connect(titleBar, &TRadiusWidget::doubleClicked, this, &FramelessDialog::reSizeApp);
    }

    closeButton = new TPushButton(titleBar);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setFixedSize(28, 28);
    closeButton->setStyleSheet(TPushButton::titleButtonStyle(
        QStringLiteral("del_transparent_h.png"), QStringLiteral("del_red_h.png")));
    layout->addWidget(closeButton);

    connect(closeButton, &QPushButton::clicked, this, &FramelessDialog::closeApp);
    connect(minimizeButton, &QPushButton::clicked, this, &FramelessDialog::minimizeApp);
    // Dialogs offer only maximise (when resizable) and close.
    minimizeButton->hide();
}

void FramelessDialog::closeApp()
{
    reject();
}

void FramelessDialog::minimizeApp()
{
    showMinimized();
}

void FramelessDialog::reSizeApp()
{
    toggleMaximized();
}

void FramelessDialog::paintEvent(QPaintEvent *event)
{
    paintFrame(event->rect());
}

void FramelessDialog::setWaiting(bool on, const QList<QWidget *> &inputs)
{
    waiting = on;
    for (QWidget *input : inputs)
        input->setEnabled(!on);
    if (closeButton)
        closeButton->setEnabled(!on);
    if (on)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void FramelessDialog::postAndAccept(const QString &url, const FormParams &params,
                                    const QList<QWidget *> &inputs,
                                    std::function<void(const QString &message)> refused)
{
    setWaiting(true, inputs);
    HttpThread::post(url, params, this, [this, inputs, refused](const QVariantMap &reply) {
        setWaiting(false, inputs);
        if (reply.value(QStringLiteral("code")).toString() == QLatin1String("0")) {
            QDialog::accept();
            return;
        }
        refused(reply.value(QStringLiteral("msg")).toString());
    });
}
