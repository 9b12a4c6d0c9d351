#pragma once

#include "core/workerset.h"
#include "widgets/framelessdialog.h"

#include <QDateTime>
#include <QVariantMap>

#include <functional>

class MessageLabel;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
struct TransferProgress;

// "编辑文件": edits a library file in the desktop's program while the server
// holds a lock for the user. "开始编辑" takes the lock (a lock held by someone
// else ends the flow with the server's message), streams the file into a
// working copy and opens it; "完成编辑" uploads the working copy as a new
// version (or over the current one) and releases the lock. Cancelling stops a
// running transfer and releases the lock this dialog took.
class DEditFile : public FramelessDialog
{
    Q_OBJECT
public:
    DEditFile(const QVariantMap &item, QWidget *parent);
    ~DEditFile() override;

    // The working copy of a server file: a folder of its own named after the
    // file's id, holding the file under its server name (made safe), so that
    // same-named files never share a copy and the editing program shows the
    // real name.
    static QString workingCopyPath(const QVariantMap &item);

    QVariantMap item;
    TransferProgress *progress = nullptr;
    QPushButton *actionButton = nullptr;
    MessageLabel *errorLabel = nullptr;
    QLabel *statusLabel = nullptr;
    QPlainTextEdit *descEdit = nullptr;
    QComboBox *createVersionBox = nullptr;
    QProgressBar *progressBar = nullptr;
    QString localPath;
    // 0 no transfer, 1 downloading, 2 uploading.
    int phase = 0;
    // The lock is this dialog's: only then does closing release it.
    bool lockHeld = false;

public slots:
    void startEdit();
    void finishEdit();
    void downloadFinished(QString tempPath);
    void downloadTerminated();
    void uploadFinished(QVariantMap map);
    void uploadTerminated();
    void showProgress();
    void reject() override;

private:
    // Asks before an edit with a downloaded working copy is given up.
    bool discardConfirmed();
    // Sends the lock (or unlock) request on a worker; `done` gets the reply.
    // The dialog's buttons wait meanwhile.
    void sendLock(bool lock, std::function<void(const QVariantMap &reply)> done);
    // Releases the lock this dialog holds, then runs `then` (at once when it
    // holds none).
    void unlock(std::function<void()> then);
    void downloadFailed();
    // The rest of "开始编辑" once the server answered the lock request.
    void lockReplied(const QVariantMap &reply);

    WorkerSet workers;
    QPushButton *cancelButton = nullptr;
    bool transferring = false;
    // Cancelled, and waiting for the lock to be released before it closes:
    // a transfer's late answer changes nothing any more.
    bool closing = false;
    // Size and time of the working copy as downloaded, to notice an unchanged one.
    qint64 fetchedSize = -1;
    QDateTime fetchedTime;
};
