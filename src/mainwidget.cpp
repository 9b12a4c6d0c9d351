#include "mainwidget.h"

#include "utils/gcore.h"

MainWidget::MainWidget(QWidget *parent) : QWidget(parent)
{
    GCore::instance()->setMainWidget(this);
}

void MainWidget::showTransferPanel()
{
    show();
}
