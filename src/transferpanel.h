#pragma once

#include <QString>
#include <QVariantMap>
#include <QWidget>

// The transfer panel of the main window. For now an empty panel that takes its
// place in the main window and in GCore; it does not transfer anything yet.
class TransferPanel : public QWidget
{
    Q_OBJECT
public:
    explicit TransferPanel(QWidget *parent = nullptr);

    // Starts one download of a listing entry (not yet: ignored).
    void addDownload(QVariantMap item, int type);
    // Starts one upload of a local file (not yet: ignored).
    void addUpload(QString filePath, QString parentId, int type, QString fileId);
};
