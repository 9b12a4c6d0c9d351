#include "widgets/framelesswidget.h"

#include "widgets/tradiuswidget.h"

#include <QPaintEvent>

FramelessWidget::FramelessWidget(QWidget *parent, const QColor &titleColor, bool fixedSize)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint),
      FramelessFrame(this, QBrush(titleColor), QColor(QStringLiteral("#fff")), fixedSize)
{
    resize(800, 600);
    if (!fixedSize)
        connect(titleBar, &TRadiusWidget::doubleClicked, this, &FramelessWidget::reSizeApp);
}

void FramelessWidget::closeApp()
{
    close();
}

void FramelessWidget::minimizeApp()
{
    showMinimized();
}

void FramelessWidget::reSizeApp()
{
    toggleMaximized();
}

void FramelessWidget::paintEvent(QPaintEvent *event)
{
    paintFrame(event->rect());
}
