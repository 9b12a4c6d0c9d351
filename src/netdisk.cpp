#include "netdisk.h"

#include "utils/gcore.h"

#include <QLabel>

NetDisk::NetDisk(QWidget *parent) : QWidget(parent)
{
    treeErrorLabel = new QLabel(QStringLiteral("数据加载出错，<a href='#'>请重试</a>"), this);
    treeErrorLabel->hide();
    GCore::instance()->setNetDisk(this);
}

NetDisk::~NetDisk()
{
    if (GCore::instance()->netDisk() == this)
        GCore::instance()->setNetDisk(nullptr);
}

void NetDisk::placeOverlays() {}

void NetDisk::reloadList() {}
