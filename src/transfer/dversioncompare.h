#pragma once

#include "core/workerset.h"
#include "widgets/framelessdialog.h"

#include <QMutex>
#include <QPointer>
#include <QVariantMap>

class MessageLabel;
class QCheckBox;
class QPushButton;
class QTableWidget;
class VersionComparer;
struct TransferProgress;

// "版本列表": the versions of one library file, newest first. With exactly
// two ticked, "版本对比" streams both into the version cache and hands them,
// older and newer, to the comparison backend chosen for the file's format;
// the dialog stays open for further comparisons.
class DVersionCompare : public FramelessDialog
{
    Q_OBJECT
public:
    DVersionCompare(const QVariantMap &item, QWidget *parent);
    // Stops its downloads and comparison and waits for their workers; open
    // comparison windows move to the dialog's parent and stay.
    ~DVersionCompare() override;

    QVariantMap item;
    QTableWidget *versionTable = nullptr;
    MessageLabel *errorLabel = nullptr;
    QPushButton *compareButton = nullptr;
    QList<QCheckBox *> checkBoxes;
    TransferProgress *firstProgress = nullptr;
    TransferProgress *secondProgress = nullptr;
    QMutex mutex;
    QString firstPath, secondPath;
    bool firstDownloading = false;
    bool secondDownloading = false;
    // The backend of the comparison running or last run.
    QPointer<VersionComparer> comparer;

public slots:
    void receiveData(QVariantMap map);
    void compare();
    void downloadFinished(QString tempPath);
    void downloadFinished2(QString tempPath);
    void showProgress();

private:
    void startDownload(QCheckBox *box, TransferProgress *progress, bool first);
    void receiveFile(const QString &tempPath, const QString &target, bool first);
    void startComparison();

    WorkerSet workers;
    // A download failed in the current pair: nothing is compared.
    bool pairFailed = false;
    bool comparing = false;
    int firstVersion = 0;
    int secondVersion = 0;
};
