#include "transfer/transferpanel.h"

#include "core/downloadthread.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "core/uploadthread.h"
#include "widgets/desktopopen.h"
#include "widgets/nofocusdelegate.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QMutexLocker>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kDownloadRunning =
    QStringLiteral("<span style='font-weight:bold;color:#666;'>正在下载</span>");
const QString kDownloadStopped =
    QStringLiteral("<span style='color:#666;font-weight:bold;'>下载停止</span>");
const QString kDownloadFailed =
    QStringLiteral("<span style='color:red;font-weight:bold;'>下载出错</span>");
const QString kUploadRunning =
    QStringLiteral("<span style='font-weight:bold;color:#666;'>正在上传</span>");
const QString kUploadStopped =
    QStringLiteral("<span style='color:#666;font-weight:bold;'>上传停止</span>");
const QString kUploadFailed =
    QStringLiteral("<span style='color:red;font-weight:bold;'>上传出错</span>");
const QString kWaiting = QStringLiteral("<span style='font-weight:bold;color:#666;'>等待中</span>");

const QString kStopImage = QStringLiteral(":/images/main/stop_down_file.png");
const QString kStartImage = QStringLiteral(":/images/main/start_down_file.png");
const QString kOpenFolderImage = QStringLiteral(":/images/main/open_fold.png");
const QString kOpenFileImage = QStringLiteral(":/images/main/open_file.png");
const QString kDropImage = QStringLiteral(":/images/main/cancel_file.png");

constexpr int kRowHeight = 54;
constexpr int kRemoveDelayMs = 1000;
constexpr int kProgressTickMs = 250;
constexpr int kHistorySaveDelayMs = 300;

// An image button: sized to its picture, the picture as its only background.
void setButtonImage(QPushButton *button, const QString &image)
{
    // A style sheet costs a new polish of the button: set it only when the
    // picture changes (a waiting row starting keeps its stop picture).
    if (button->property("image").toString() == image)
        return;
    button->setProperty("image", image);
    const QPixmap pixmap(image);
    // Until a picture exists the button keeps a clickable size.
    button->setFixedSize(pixmap.isNull() ? QSize(20, 20) : pixmap.size());
    button->setStyleSheet(
        QStringLiteral(".QPushButton {background:url(%1);border:0px;}").arg(image));
}

QPushButton *imageButton(const QString &image, const QString &tip, QWidget *parent)
{
    auto *button = new QPushButton(parent);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip(tip);
    setButtonImage(button, image);
    return button;
}

QWidget *buttonCell(const QList<QPushButton *> &buttons)
{
    auto *cell = new QWidget;
    auto *layout = new QHBoxLayout(cell);
    layout->setSpacing(22);
    layout->setContentsMargins(0, 5, 20, 5);
    for (QPushButton *b : buttons) {
        b->setParent(cell);
        layout->addWidget(b);
    }
    return cell;
}

// Column 0 of every table: icon, bold name, size text; carries the row key.
QWidget *nameCell(const QString &icon, const QString &name, const QString &size,
                  const char *keyProperty, const QString &key)
{
    auto *cell = new QWidget;
    cell->setProperty(keyProperty, key);
    auto *layout = new QHBoxLayout(cell);
    layout->setSpacing(6);
    layout->setContentsMargins(20, 5, 0, 5);
    auto *iconLabel = new QLabel(cell);
    iconLabel->setFixedSize(32, 32);
    iconLabel->setPixmap(QPixmap(icon).scaled(32, 32));
    layout->addWidget(iconLabel);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->setContentsMargins(0, 0, 0, 0);
    auto *nameLabel = new QLabel(name, cell);
    nameLabel->setStyleSheet(QStringLiteral(".QLabel {font-weight:bold;color:#333;}"));
    nameLabel->setTextFormat(Qt::PlainText);
    auto *sizeLabel = new QLabel(size, cell);
    sizeLabel->setStyleSheet(QStringLiteral(".QLabel {color:#666;}"));
    texts->addWidget(nameLabel);
    texts->addWidget(sizeLabel);
    layout->addLayout(texts);
    return cell;
}

// Column 1 of the running tables: the progress bar over the status label.
QWidget *progressCell(QProgressBar *&bar, QLabel *&status, const QString &runningText)
{
    auto *cell = new QWidget;
    auto *layout = new QVBoxLayout(cell);
    layout->setContentsMargins(3, 12, 15, 0);
    layout->setSpacing(0);
    bar = new QProgressBar(cell);
    bar->setFixedHeight(20);
    bar->setRange(0, 100);
    bar->setValue(0);
    status = new QLabel(runningText, cell);
    status->setFixedHeight(18);
    status->setTextFormat(Qt::RichText);
    layout->addWidget(bar);
    layout->addWidget(status);
    return cell;
}

QTableWidget *makeTable(int columns, const QList<int> &widths, QWidget *parent)
{
    auto *table = new QTableWidget(0, columns, parent);
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    table->setShowGrid(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setItemDelegate(new NoFocusDelegate(table));
    table->setStyleSheet(
        QStringLiteral(".QTableWidget {border:0px;border-top:0px solid #ccc;}"
                       "QTableWidget::item:selected {background-color:transparent;color:#333;}"));
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int i = 0; i < widths.size(); ++i)
        table->setColumnWidth(i + 1, widths.at(i));
    return table;
}

int rowWithKey(const QTableWidget *table, const char *property, const QString &key)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        const QWidget *cell = table->cellWidget(row, 0);
        if (cell && cell->property(property).toString() == key)
            return row;
    }
    return -1;
}

QString historyFilePath()
{
    return GCore::dataDir() + QStringLiteral("/history.json");
}

} // namespace

TransferPanel::TransferPanel(QWidget *parent) : QWidget(parent)
{
    GCore::instance()->setTransferPanel(this);

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(2);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *tabStrip = new QWidget(this);
    tabStrip->setFixedHeight(44);
    tabStrip->setStyleSheet(
        QStringLiteral(".QWidget {background:#ededed;border-bottom:1px solid #dcdcdc;}"));
    auto *tabLayout = new QHBoxLayout(tabStrip);
    tabLayout->setSpacing(18);
    tabLayout->setContentsMargins(30, 0, 0, 0);
    auto makeTab = [&](const QString &name, const QString &text) {
        auto *tab = new QPushButton(text, tabStrip);
        tab->setObjectName(name);
        tab->setFixedSize(200, 36);
        tab->setCheckable(true);
        tab->setCursor(Qt::PointingHandCursor);
        tab->setStyleSheet(QStringLiteral(
            ".QPushButton {background:transparent;border:0px;font-size:11pt;}"
            ".QPushButton::checked {background:#fff;border:1px solid #dcdcdc;border-bottom:0px;}"));
        tabLayout->addWidget(tab, 0, Qt::AlignLeft | Qt::AlignBottom);
        connect(tab, &QPushButton::clicked, this, &TransferPanel::showPanel);
        return tab;
    };
    uploadTab = makeTab(QStringLiteral("upload"), QStringLiteral("正在上传(0)"));
    uploadTab->setChecked(true);
    downloadTab = makeTab(QStringLiteral("download"), QStringLiteral("正在下载"));
    historyTab = makeTab(QStringLiteral("history"), QStringLiteral("传输完成"));
    tabLayout->addStretch();
    layout->addWidget(tabStrip);

    clearBar = new QWidget(this);
    clearBar->setFixedHeight(32);
    clearBar->setStyleSheet(
        QStringLiteral(".QWidget {background:#fff;border-bottom:0px solid #dcdcdc;}"));
    auto *clearLayout = new QHBoxLayout(clearBar);
    clearLayout->setContentsMargins(0, 0, 6, 0);
    clearLayout->addStretch();
    auto *clearButton = new QPushButton(QStringLiteral("清除所有记录"), clearBar);
    clearButton->setObjectName(QStringLiteral("clearAll"));
    clearButton->setFixedSize(100, 24);
    clearButton->setStyleSheet(QStringLiteral(
        ".QPushButton {border-radius:4px;border:0px;background:#0696f5;color:#fff;font-size:10pt;}"
        ".QPushButton:hover {background:#067dcb;}.QPushButton:disabled {background:#999;}"));
    connect(clearButton, &QPushButton::clicked, this, &TransferPanel::clearItems);
    clearLayout->addWidget(clearButton);
    clearBar->hide();
    layout->addWidget(clearBar);

    downloadTable = makeTable(3, {200, 150}, this);
    downloadTable->setObjectName(QStringLiteral("downloadTable"));
    historyTable = makeTable(4, {150, 120, 150}, this);
    historyTable->setObjectName(QStringLiteral("historyTable"));
    uploadTable = makeTable(3, {200, 150}, this);
    uploadTable->setObjectName(QStringLiteral("uploadTable"));
    layout->addWidget(downloadTable);
    layout->addWidget(historyTable);
    layout->addWidget(uploadTable);
    downloadTable->hide();
    historyTable->hide();

    updateTabTitles();

    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &TransferPanel::showProgress);
    timer->start(kProgressTickMs);

    // Transfers that end close together are written in one go: each write
    // replaces the whole file, and a dropped folder ends hundreds of them.
    historySave = new QTimer(this);
    historySave->setSingleShot(true);
    historySave->setInterval(kHistorySaveDelayMs);
    connect(historySave, &QTimer::timeout, this, &TransferPanel::saveHistory);

    loadHistory();
}

TransferPanel::~TransferPanel()
{
    if (historySave->isActive())
        saveHistory();
    if (GCore::instance()->transferPanel() == this)
        GCore::instance()->setTransferPanel(nullptr);
    // The workers write into records the panel owns: tell every one to stop
    // and wait for it before the records go.
    for (const Run &run : qAsConst(runs))
        run.progress->cancel();
    for (const Run &run : qAsConst(runs)) {
        if (run.thread)
            run.thread->wait();
        delete run.progress;
    }
}

// ---- public operations ----

void TransferPanel::addDownload(const QVariantMap &item, int type)
{
    if (item.isEmpty())
        return;
    showPage(QStringLiteral("download"));
    if (isDownloading(item.value(QStringLiteral("fileId")).toString()))
        return;
    addDownloadRow(item, type);
    queueDownload(item.value(QStringLiteral("fileId")).toString());
}

void TransferPanel::addUpload(const QString &filePath, const QString &parentId, int type,
                              const QString &fileId)
{
    showPage(QStringLiteral("upload"));
    // All per-upload state is keyed by the path: a second row for it would
    // take over the first one's record.
    if (filePath.isEmpty() || isUploading(filePath))
        return;
    addUploadRow(filePath, parentId, type, fileId);
    queueUpload(filePath);
}

// Every row, waiting, running, stopped or failed, has its status label.
bool TransferPanel::isUploading(const QString &filePath) const
{
    return uploadLabels.contains(filePath);
}

bool TransferPanel::isDownloading(const QString &fileId) const
{
    return downloadLabels.contains(fileId);
}

// ---- pages ----

void TransferPanel::showPanel()
{
    if (QObject *s = sender())
        showPage(s->objectName());
}

void TransferPanel::showPage(const QString &name)
{
    const bool upload = name == QLatin1String("upload");
    const bool download = name == QLatin1String("download");
    const bool historyPage = name == QLatin1String("history");
    if (!upload && !download && !historyPage)
        return;
    uploadTab->setChecked(upload);
    downloadTab->setChecked(download);
    historyTab->setChecked(historyPage);
    uploadTable->setVisible(upload && !rowsArriving);
    downloadTable->setVisible(download && !rowsArriving);
    historyTable->setVisible(historyPage);
    clearBar->setVisible(historyPage);
}

void TransferPanel::holdLayout(bool hold)
{
    rowsArriving = hold;
    if (hold) {
        uploadTable->hide();
        downloadTable->hide();
        return;
    }
    showPage(uploadTab->isChecked()     ? QStringLiteral("upload")
             : downloadTab->isChecked() ? QStringLiteral("download")
                                        : QStringLiteral("history"));
}

void TransferPanel::updateTabTitles()
{
    downloadTab->setText(QStringLiteral("正在下载(%1)").arg(downloadTable->rowCount()));
    historyTab->setText(QStringLiteral("传输完成(%1)").arg(historyTable->rowCount()));
    uploadTab->setText(QStringLiteral("正在上传(%1)").arg(uploadTable->rowCount()));
}

// ---- starting transfers ----

QString TransferPanel::downloadTarget(const QVariantMap &item) const
{
    const QString folder = item.value(QStringLiteral("localPath")).toString();
    if (folder.isEmpty())
        return QString();
    // The server's name never leaves the chosen folder.
    return QDir(folder).filePath(safeFileName(item.value(QStringLiteral("fileName")).toString()));
}

void TransferPanel::startDownload(const QVariantMap &item, int type)
{
    const QString fileId = item.value(QStringLiteral("fileId")).toString();
    const QString target = downloadTarget(item);
    if (target.isEmpty()) {
        qDebug() << __FILE__ << __LINE__ << "download without a folder" << fileId;
        setDownloadState(fileId, RowState::Failed);
        return;
    }
    GCore *core = GCore::instance();
    const QString url = core->serverUrl() + (type == 1 ? QStringLiteral("/api/netdisk/download.jf")
                                                       : QStringLiteral("/api/file/download.jf"));
    const FormParams form{{QStringLiteral("token"), core->token()},
                          {QStringLiteral("fileIds"), fileId}};
    auto *progress = new TransferProgress;
    progress->downloadTotal.store(item.value(QStringLiteral("length")).toDouble());
    downloadProgress.insert(fileId, progress);

    auto *thread = new DownloadThread(url, form, target, progress);
    downloadThreads.insert(fileId, thread);
    thread->setProperty("map", item);
    runs.insert(thread, Run{thread, progress, false});
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &DownloadThread::fileFinished, this, &TransferPanel::downloadFinished);
    connect(thread, &DownloadThread::downloadTerminated, this, &TransferPanel::downloadTerminated);
    thread->start(QThread::InheritPriority);
}

void TransferPanel::startUpload(const QString &filePath, const QString &parentId, int type,
                                const QString &fileId)
{
    const QString pid = parentId.isEmpty() ? QStringLiteral("0") : parentId;
    GCore *core = GCore::instance();
    const QString url =
        core->serverUrl() + (type == 1 ? QStringLiteral("/api/netdisk/upload.jf")
                                       : QStringLiteral("/api/file/upload-docfile.jf"));
    FormParams form{{QStringLiteral("token"), core->token()},
                    {QStringLiteral("pid"), pid},
                    {QStringLiteral("uploadType"),
                     fileId.isEmpty() ? QStringLiteral("2") : QStringLiteral("1")}};
    if (type != 1)
        form.insert(QStringLiteral("fileId"), fileId);

    auto *progress = new TransferProgress;
    progress->uploadTotal.store(double(QFileInfo(filePath).size()));
    uploadProgress.insert(filePath, progress);

    auto *thread = new UploadThread(url, form, QStringLiteral("file"), filePath, progress);
    uploadThreads.insert(filePath, thread);
    thread->setProperty("file", filePath);
    thread->setProperty("type", type);
    runs.insert(thread, Run{thread, progress, true});
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &UploadThread::uploadFinished, this, &TransferPanel::uploadFinished);
    connect(thread, &UploadThread::uploadTerminated, this, &TransferPanel::uploadTerminated);
    thread->start(QThread::InheritPriority);
}

int TransferPanel::runningCount(bool upload) const
{
    int count = 0;
    for (const Run &run : runs) {
        if (run.upload == upload)
            ++count;
    }
    return count;
}

void TransferPanel::queueDownload(const QString &fileId)
{
    if (!downloadLabels.contains(fileId))
        return;
    if (!downloadQueue.isEmpty() || runningCount(false) >= maxRunning) {
        if (!downloadQueue.contains(fileId))
            downloadQueue.append(fileId);
        setDownloadState(fileId, RowState::Waiting);
        return;
    }
    runDownloadRow(fileId);
}

void TransferPanel::queueUpload(const QString &filePath)
{
    if (!uploadLabels.contains(filePath))
        return;
    if (!uploadQueue.isEmpty() || runningCount(true) >= maxRunning) {
        if (!uploadQueue.contains(filePath))
            uploadQueue.append(filePath);
        setUploadState(filePath, RowState::Waiting);
        return;
    }
    runUploadRow(filePath);
}

void TransferPanel::runDownloadRow(const QString &fileId)
{
    QLabel *status = downloadLabels.value(fileId);
    if (!status)
        return;
    setDownloadState(fileId, RowState::Running);
    startDownload(status->property("map").toMap(), status->property("type").toInt());
}

void TransferPanel::runUploadRow(const QString &filePath)
{
    QLabel *status = uploadLabels.value(filePath);
    if (!status)
        return;
    const QVariantMap map = status->property("map").toMap();
    setUploadState(filePath, RowState::Running);
    startUpload(filePath, map.value(QStringLiteral("parentId")).toString(),
                map.value(QStringLiteral("type")).toInt(),
                map.value(QStringLiteral("fileId")).toString());
}

void TransferPanel::startWaiting()
{
    while (!downloadQueue.isEmpty() && runningCount(false) < maxRunning)
        runDownloadRow(downloadQueue.takeFirst());
    while (!uploadQueue.isEmpty() && runningCount(true) < maxRunning)
        runUploadRow(uploadQueue.takeFirst());
}

// ---- rows ----

void TransferPanel::addDownloadRow(const QVariantMap &item, int type)
{
    const QString fileId = item.value(QStringLiteral("fileId")).toString();
    downloadTable->insertRow(0);
    downloadTable->setRowHeight(0, kRowHeight);
    downloadTable->setCellWidget(
        0, 0,
        nameCell(GCore::fileIconPath(item), item.value(QStringLiteral("fileName")).toString(),
                 HttpCurl::sizeText(item.value(QStringLiteral("fileLength"))), "fileId", fileId));

    QProgressBar *bar = nullptr;
    QLabel *status = nullptr;
    downloadTable->setCellWidget(0, 1, progressCell(bar, status, kDownloadRunning));
    status->setProperty("map", item);
    status->setProperty("type", type);

    QPushButton *startStop = imageButton(kStopImage, QStringLiteral("停止下载"), nullptr);
    startStop->setProperty("fileId", fileId);
    connect(startStop, &QPushButton::clicked, this, &TransferPanel::downLoadStartOrStop);
    QPushButton *openFolder =
        imageButton(kOpenFolderImage, QStringLiteral("打开所在文件夹"), nullptr);
    const QString folder = item.value(QStringLiteral("localPath")).toString();
    connect(openFolder, &QPushButton::clicked, this,
            [this, folder] { openLocalPath(this, folder); });
    QPushButton *drop = imageButton(kDropImage, QStringLiteral("清除记录"), nullptr);
    connect(drop, &QPushButton::clicked, this, [this, fileId] {
        if (TransferProgress *p = downloadProgress.value(fileId))
            p->cancel();
        removeDownloadRow(fileId);
    });
    downloadTable->setCellWidget(0, 2, buttonCell({startStop, openFolder, drop}));

    downloadBars.insert(fileId, bar);
    downloadLabels.insert(fileId, status);
    downloadButtons.insert(fileId, startStop);
    updateTabTitles();
}

void TransferPanel::addUploadRow(const QString &filePath, const QString &parentId, int type,
                                 const QString &fileId)
{
    const QFileInfo info(filePath);
    uploadTable->insertRow(0);
    uploadTable->setRowHeight(0, kRowHeight);
    uploadTable->setCellWidget(0, 0,
                               nameCell(GCore::localFileIconPath(filePath), info.fileName(),
                                        HttpCurl::formatSize(info.size()), "file", filePath));

    QProgressBar *bar = nullptr;
    QLabel *status = nullptr;
    uploadTable->setCellWidget(0, 1, progressCell(bar, status, kUploadRunning));
    status->setProperty("map", QVariantMap{{QStringLiteral("file"), filePath},
                                           {QStringLiteral("parentId"), parentId},
                                           {QStringLiteral("type"), type},
                                           {QStringLiteral("fileId"), fileId}});

    QPushButton *startStop = imageButton(kStopImage, QStringLiteral("停止上传"), nullptr);
    startStop->setProperty("file", filePath);
    connect(startStop, &QPushButton::clicked, this, &TransferPanel::uploadStartOrStop);
    QPushButton *openFolder =
        imageButton(kOpenFolderImage, QStringLiteral("打开所在文件夹"), nullptr);
    const QString folder = info.absolutePath();
    connect(openFolder, &QPushButton::clicked, this,
            [this, folder] { openLocalPath(this, folder); });
    QPushButton *drop = imageButton(kDropImage, QStringLiteral("清除记录"), nullptr);
    connect(drop, &QPushButton::clicked, this, [this, filePath] {
        if (TransferProgress *p = uploadProgress.value(filePath))
            p->cancel();
        removeUploadRow(filePath);
    });
    uploadTable->setCellWidget(0, 2, buttonCell({startStop, openFolder, drop}));

    uploadBars.insert(filePath, bar);
    uploadLabels.insert(filePath, status);
    uploadButtons.insert(filePath, startStop);
    updateTabTitles();
}

void TransferPanel::addHistoryRow(const QVariantMap &record)
{
    historyTable->insertRow(0);
    historyTable->setRowHeight(0, kRowHeight);
    historyTable->setCellWidget(
        0, 0,
        nameCell(GCore::fileIconPath(record), record.value(QStringLiteral("fileName")).toString(),
                 record.value(QStringLiteral("fileLength")).toString(), "filePath",
                 record.value(QStringLiteral("filePath")).toString()));
    const qint64 when = record.value(QStringLiteral("handleTime")).toLongLong();
    historyTable->setItem(0, 1,
                          new QTableWidgetItem(QDateTime::fromMSecsSinceEpoch(when).toString(
                              QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    const bool download = record.value(QStringLiteral("type")).toInt() == 0;
    historyTable->setItem(
        0, 2,
        new QTableWidgetItem(QIcon(download ? QStringLiteral(":/images/main/down_file.png")
                                            : QStringLiteral(":/images/main/upload_file.png")),
                             download ? QStringLiteral("下载完成") : QStringLiteral("上传完成")));

    const QString filePath = record.value(QStringLiteral("filePath")).toString();
    const QString folderPath = record.value(QStringLiteral("folderPath")).toString();
    QPushButton *openFile = imageButton(kOpenFileImage, QStringLiteral("打开文件"), nullptr);
    connect(openFile, &QPushButton::clicked, this,
            [this, filePath] { openLocalPath(this, filePath); });
    QPushButton *openFolder =
        imageButton(kOpenFolderImage, QStringLiteral("打开所在文件夹"), nullptr);
    connect(openFolder, &QPushButton::clicked, this,
            [this, folderPath] { openLocalPath(this, folderPath); });
    QPushButton *drop = imageButton(kDropImage, QStringLiteral("清除记录"), nullptr);
    connect(drop, &QPushButton::clicked, this, [this, record] { removeHistoryRow(record); });
    historyTable->setCellWidget(0, 3, buttonCell({openFile, openFolder, drop}));
    updateTabTitles();
}

void TransferPanel::removeDownloadRow(const QString &fileId)
{
    downloadQueue.removeAll(fileId);
    downloadLabels.remove(fileId);
    downloadBars.remove(fileId);
    downloadButtons.remove(fileId);
    removeKeyedRow(downloadTable, "fileId", fileId);
}

void TransferPanel::removeUploadRow(const QString &filePath)
{
    uploadQueue.removeAll(filePath);
    uploadLabels.remove(filePath);
    uploadBars.remove(filePath);
    uploadButtons.remove(filePath);
    removeKeyedRow(uploadTable, "file", filePath);
}

void TransferPanel::removeKeyedRow(QTableWidget *table, const char *keyName, const QString &key)
{
    const int row = rowWithKey(table, keyName, key);
    if (row >= 0)
        table->removeRow(row);
    updateTabTitles();
}

void TransferPanel::removeHistoryRow(const QVariantMap &record)
{
    const QString filePath = record.value(QStringLiteral("filePath")).toString();
    for (int i = 0; i < history.size(); ++i) {
        if (history.at(i).toMap().value(QStringLiteral("filePath")).toString() == filePath) {
            history.removeAt(i);
            break;
        }
    }
    saveHistory();
    removeKeyedRow(historyTable, "filePath", filePath);
}

void TransferPanel::removeLater(const QString &key, bool download)
{
    // Only the finished row goes: if it was dropped meanwhile and the same
    // key added again, the new row (with a label of its own) stays.
    QPointer<QLabel> label = (download ? downloadLabels : uploadLabels).value(key);
    if (!label)
        return;
    QTimer::singleShot(kRemoveDelayMs, this, [this, label, key, download] {
        if (!label || (download ? downloadLabels : uploadLabels).value(key) != label)
            return;
        if (download)
            removeDownloadRow(key);
        else
            removeUploadRow(key);
    });
}

void TransferPanel::setDownloadState(const QString &fileId, RowState state, const QString &refusal)
{
    showRowState(downloadLabels.value(fileId), downloadBars.value(fileId),
                 downloadButtons.value(fileId), state, refusal,
                 {kDownloadRunning, kDownloadStopped, kDownloadFailed, kWaiting},
                 {QStringLiteral("停止下载"), QStringLiteral("开始下载")});
}

void TransferPanel::setUploadState(const QString &filePath, RowState state, const QString &refusal)
{
    showRowState(uploadLabels.value(filePath), uploadBars.value(filePath),
                 uploadButtons.value(filePath), state, refusal,
                 {kUploadRunning, kUploadStopped, kUploadFailed, kWaiting},
                 {QStringLiteral("停止上传"), QStringLiteral("开始上传")});
}

// `texts`: the status of a running, stopped, failed and waiting row; `tips`:
// the button's tool tip while running or waiting (it stops both) and
// otherwise. `refusal` is the server's reason for a failure, shown after the
// status and in full as its tool tip.
void TransferPanel::showRowState(QLabel *status, QProgressBar *bar, QPushButton *button,
                                 RowState state, const QString &refusal, const QStringList &texts,
                                 const QStringList &tips)
{
    const bool running = state == RowState::Running || state == RowState::Waiting;
    const bool refused = state == RowState::Failed && !refusal.isEmpty();
    if (status) {
        QString text = texts.at(int(state));
        if (refused)
            text += QStringLiteral("<span style='color:#666;'>：%1</span>")
                        .arg(refusal.toHtmlEscaped());
        status->setText(text);
        status->setToolTip(refused ? plainToolTip(refusal) : QString());
    }
    if (bar && state != RowState::Running)
        bar->setValue(0);
    if (button) {
        setButtonImage(button, running ? kStopImage : kStartImage);
        button->setToolTip(tips.at(running ? 0 : 1));
    }
}

// ---- ends of transfers ----

QString TransferPanel::finishDownloadFile(const QString &tempPath, const QVariantMap &item,
                                          QString *refusal)
{
    QFile temp(tempPath);
    // The server refuses with a short JSON object instead of the file.
    if (temp.size() < 3000) {
        if (!temp.open(QIODevice::ReadOnly)) {
            temp.remove();
            return QString();
        }
        const QByteArray head = temp.readAll();
        temp.close();
        if (HttpCurl::isServerRefusal(head)) {
            qDebug() << __FILE__ << __LINE__ << "download refused:" << head;
            *refusal = HttpCurl::parseJson(head).object().value(QStringLiteral("msg")).toString();
            temp.remove();
            return QString();
        }
    }
    const QString target = downloadTarget(item);
    // QFile::rename never replaces an existing file; if another program takes
    // the free name first, look for the next one.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = GCore::uniqueFilePath(target);
        if (QFile::rename(tempPath, path)) {
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ReadGroup | QFileDevice::ReadOther);
            return path;
        }
        if (!QFileInfo::exists(path))
            break;
    }
    qDebug() << __FILE__ << __LINE__ << "cannot move the download into place" << target;
    QFile::remove(tempPath);
    return QString();
}

void TransferPanel::downloadFinished(QString tempPath)
{
    QObject *worker = sender();
    if (!worker)
        return;
    QMutexLocker lock(&mutex);
    const QVariantMap item = worker->property("map").toMap();
    const QString key = item.value(QStringLiteral("fileId")).toString();
    const Run run = runs.take(worker);
    // Whatever became of this row, its place goes to the next waiting one.
    const auto next = qScopeGuard([this] { startWaiting(); });
    const bool current = downloadThreads.value(key) == worker;
    const bool cancelled = run.progress && !run.progress->isRunning();
    delete run.progress;
    if (current) {
        downloadProgress.remove(key);
        downloadThreads.remove(key);
    }

    // Stopped or dropped after the last byte came: the user asked for no file.
    if (cancelled || !current) {
        if (!tempPath.isEmpty())
            QFile::remove(tempPath);
        if (current)
            setDownloadState(key, RowState::Stopped);
        return;
    }
    QString refusal;
    const QString saved =
        tempPath.isEmpty() ? QString() : finishDownloadFile(tempPath, item, &refusal);
    if (saved.isEmpty()) {
        setDownloadState(key, RowState::Failed, refusal);
        return;
    }
    // The last bytes may have come after the last progress tick.
    if (QProgressBar *bar = downloadBars.value(key))
        bar->setValue(100);
    removeLater(key, true);
    appendHistory(
        QVariantMap{{QStringLiteral("fileExtend"), item.value(QStringLiteral("fileExtend"))},
                    {QStringLiteral("fileName"), QFileInfo(saved).fileName()},
                    {QStringLiteral("fileLength"),
                     HttpCurl::sizeText(item.value(QStringLiteral("fileLength")))},
                    {QStringLiteral("handleTime"), QDateTime::currentMSecsSinceEpoch()},
                    {QStringLiteral("type"), 0},
                    {QStringLiteral("filePath"), saved},
                    {QStringLiteral("folderPath"), item.value(QStringLiteral("localPath"))}});
}

void TransferPanel::downloadTerminated()
{
    QObject *worker = sender();
    if (!worker)
        return;
    QMutexLocker lock(&mutex);
    const QString key = worker->property("map").toMap().value(QStringLiteral("fileId")).toString();
    const Run run = runs.take(worker);
    const auto next = qScopeGuard([this] { startWaiting(); });
    delete run.progress;
    if (downloadThreads.value(key) != worker)
        return;
    downloadProgress.remove(key);
    downloadThreads.remove(key);
    setDownloadState(key, RowState::Stopped);
}

void TransferPanel::uploadFinished(QVariantMap map)
{
    QObject *worker = sender();
    if (!worker)
        return;
    QMutexLocker lock(&mutex);
    const QString key = worker->property("file").toString();
    const Run run = runs.take(worker);
    const auto next = qScopeGuard([this] { startWaiting(); });
    delete run.progress;
    const bool current = uploadThreads.value(key) == worker;
    if (current) {
        uploadProgress.remove(key);
        uploadThreads.remove(key);
    }
    const bool ok =
        !map.isEmpty() && map.value(QStringLiteral("code")).toString() == QLatin1String("0");
    if (!ok) {
        if (current)
            setUploadState(key, RowState::Failed, map.value(QStringLiteral("msg")).toString());
        return;
    }
    if (current) {
        if (QProgressBar *bar = uploadBars.value(key))
            bar->setValue(100);
        removeLater(key, false);
    }
    // The file is on the server whatever became of the row meanwhile.
    const QFileInfo info(key);
    appendHistory(QVariantMap{{QStringLiteral("fileExtend"), info.suffix()},
                              {QStringLiteral("fileName"), info.fileName()},
                              {QStringLiteral("fileLength"), HttpCurl::formatSize(info.size())},
                              {QStringLiteral("handleTime"), QDateTime::currentMSecsSinceEpoch()},
                              {QStringLiteral("type"), 1},
                              {QStringLiteral("filePath"), key},
                              {QStringLiteral("folderPath"), info.absolutePath()}});
}

void TransferPanel::uploadTerminated()
{
    QObject *worker = sender();
    if (!worker)
        return;
    QMutexLocker lock(&mutex);
    const QString key = worker->property("file").toString();
    const Run run = runs.take(worker);
    const auto next = qScopeGuard([this] { startWaiting(); });
    delete run.progress;
    if (uploadThreads.value(key) != worker)
        return;
    uploadProgress.remove(key);
    uploadThreads.remove(key);
    setUploadState(key, RowState::Stopped);
}

void TransferPanel::showProgress()
{
    QMutexLocker lock(&mutex);
    for (auto it = downloadBars.constBegin(); it != downloadBars.constEnd(); ++it) {
        if (const TransferProgress *p = downloadProgress.value(it.key()))
            it.value()->setValue(
                TransferProgress::percent(p->downloaded.load(), p->downloadTotal.load()));
    }
    for (auto it = uploadBars.constBegin(); it != uploadBars.constEnd(); ++it) {
        if (const TransferProgress *p = uploadProgress.value(it.key()))
            it.value()->setValue(
                TransferProgress::percent(p->uploaded.load(), p->uploadTotal.load()));
    }
}

void TransferPanel::downLoadStartOrStop()
{
    QObject *button = sender();
    if (!button)
        return;
    const QString fileId = button->property("fileId").toString();
    if (TransferProgress *p = downloadProgress.value(fileId))
        p->cancel();
    else if (downloadQueue.removeAll(fileId) > 0)
        setDownloadState(fileId, RowState::Stopped);
    else
        queueDownload(fileId);
}

void TransferPanel::uploadStartOrStop()
{
    QObject *button = sender();
    if (!button)
        return;
    const QString filePath = button->property("file").toString();
    if (TransferProgress *p = uploadProgress.value(filePath))
        p->cancel();
    else if (uploadQueue.removeAll(filePath) > 0)
        setUploadState(filePath, RowState::Stopped);
    else
        queueUpload(filePath);
}

// ---- history ----

void TransferPanel::appendHistory(const QVariantMap &record)
{
    addHistoryRow(record);
    history.append(record);
    if (!historySave->isActive())
        historySave->start();
}

void TransferPanel::loadHistory()
{
    QFile file(historyFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    bool cleaned = false;
    history = readHistory(file.readAll(), &cleaned);
    for (const QVariant &entry : qAsConst(history))
        addHistoryRow(entry.toMap());
    if (cleaned)
        saveHistory();
}

QVariantList TransferPanel::readHistory(const QByteArray &json, bool *cleaned)
{
    QVariantList records;
    *cleaned = false;
    const QJsonDocument doc = HttpCurl::parseJson(json);
    if (!doc.isArray())
        return records;
    const QVariantList list = doc.toVariant().toList();
    for (const QVariant &entry : list) {
        if (entry.type() != QVariant::Map)
            continue;
        // Records written before the size text was cleaned still hold "&nbsp;".
        QVariantMap record = entry.toMap();
        const QString size = HttpCurl::sizeText(record.value(QStringLiteral("fileLength")));
        if (record.contains(QStringLiteral("fileLength")) &&
            size != record.value(QStringLiteral("fileLength")).toString()) {
            record.insert(QStringLiteral("fileLength"), size);
            *cleaned = true;
        }
        records.append(record);
    }
    return records;
}

void TransferPanel::saveHistory()
{
    historySave->stop();
    QSaveFile file(historyFilePath());
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QJsonDocument::fromVariant(history).toJson(QJsonDocument::Indented));
    file.commit();
}

void TransferPanel::clearItems()
{
    if (history.isEmpty())
        return;
    const auto answer = QMessageBox::question(this, QStringLiteral("清除确认"),
                                              QStringLiteral("是否确认清除所有记录？"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    history.clear();
    saveHistory();
    historyTable->setRowCount(0);
    updateTabTitles();
}
