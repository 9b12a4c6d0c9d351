#include "transferpanel.h"

#include "utils/gcore.h"

TransferPanel::TransferPanel(QWidget *parent) : QWidget(parent)
{
    GCore::instance()->setTransferPanel(this);
}

void TransferPanel::addDownload(const QVariantMap &, int) {}

void TransferPanel::addUpload(const QString &, const QString &, int, const QString &) {}
