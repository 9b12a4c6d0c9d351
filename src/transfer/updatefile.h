#pragma once

#include "core/workerset.h"
#include "widgets/framelessdialog.h"

#include <QMutex>
#include <QVariantMap>

class MessageLabel;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
struct TransferProgress;

// "上传更新": replaces the content of one server file with a local file of the
// same extension. In the library the upload adds a version (or overwrites the
// current one) with a description; in the net disk it replaces the file. The
// upload streams the file from disk on a worker and can be cancelled; the
// dialog closes with a success box once the server accepts it.
class UpdateFile : public FramelessDialog
{
    Q_OBJECT
public:
    // `type` 1: a net disk file; otherwise a library file.
    UpdateFile(const QVariantMap &item, QWidget *parent, int type);
    ~UpdateFile() override;

    QVariantMap item;
    QLabel *fileLabel = nullptr;
    QWidget *fileBox = nullptr;
    QPlainTextEdit *descEdit = nullptr;
    QComboBox *createVersionBox = nullptr;
    QPushButton *addButton = nullptr;
    QPushButton *saveButton = nullptr;
    QString filePath;
    QProgressBar *progressBar = nullptr;
    MessageLabel *errorLabel = nullptr;
    // One record for the dialog's whole life; it outlives every worker that
    // writes into it (the destructor waits for them).
    TransferProgress *progress = nullptr;
    bool uploading = false;
    bool closeRequested = false;
    QMutex mutex;
    int type = 0;

public slots:
    void addFile();
    void uploadFile();
    void cancelFile();
    void uploadFinished(QVariantMap map);
    void uploadTerminated(QVariantMap map);
    void showProgress();
    void reject() override;

private:
    void setInputsEnabled(bool enabled);
    void dropFile();

    WorkerSet workers;
};
