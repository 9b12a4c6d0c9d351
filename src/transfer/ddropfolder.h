#pragma once

#include <QDialog>
#include <QPixmap>
#include <QStringList>
#include <QVariantMap>

class AddFolderThread;
class QLabel;
class QPushButton;

// Asks whether a dropped folder goes into the current server folder and, on
// "Yes", recreates its folder tree there on a worker. Accepted hands the
// caller a map from each local folder path to its new server folder id, so
// the caller can queue the files; any failure is shown and rejects. The
// worker never outlives the dialog: closing it while folders are made stops
// the worker after its current request and closes once it has ended.
class DDropFolder : public QDialog
{
    Q_OBJECT
public:
    // Only the first of `folders` is uploaded. `type` 1: the net disk,
    // otherwise the library. `result` is filled on success.
    DDropFolder(const QStringList &folders, const QString &parentId, int type, QVariantMap *result,
                QWidget *parent = nullptr);
    ~DDropFolder() override;

    QStringList folders;
    QPixmap icon;
    QLabel *statusLabel = nullptr;
    QString parentId;
    int type = 0;
    QVariantMap *result = nullptr;

public slots:
    void receiveRes(QVariantMap map, int status);
    void accept() override;
    void reject() override;

private:
    QPushButton *yesButton = nullptr;
    AddFolderThread *thread = nullptr;
    // From "Yes" until the worker has reported.
    bool creating = false;
    bool closeRequested = false;
};
