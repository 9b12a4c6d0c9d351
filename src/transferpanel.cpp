#include "transferpanel.h"

#include "utils/gcore.h"

TransferPanel::TransferPanel(QWidget *parent) : QWidget(parent)
{
    GCore::instance()->setTransferPanel(this);
}

void TransferPanel::addDownload(QVariantMap, int) {}

void TransferPanel::addUpload(QString, QString, int, QString) {}
