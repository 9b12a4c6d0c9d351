#pragma once

#include <QVariantMap>
#include <QWidget>

// The transfer panel: running uploads and downloads and their history. This
// first version only registers itself; the transfer issue fills it in.
class TransferPanel : public QWidget
{
    Q_OBJECT
public:
    explicit TransferPanel(QWidget *parent = nullptr);

    void addDownload(const QVariantMap &item, int type);
    void addUpload(const QString &filePath, const QString &parentId, int type,
                   const QString &fileId);
};
