#include "netdisk.h"

#include "utils/gcore.h"

NetDisk::NetDisk(QWidget *parent) : QWidget(parent)
{
    GCore::instance()->setNetDisk(this);
}

void NetDisk::placeOverlays() {}

void NetDisk::reloadList() {}
