#include "transfer/transferpanel.h"

#include "core/downloadthread.h"
#include "core/filewriter.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "core/uploadthread.h"
#include "transfer/historymodel.h"
#include "transfer/partialdownloads.h"
#include "transfer/transferdelegate.h"
#include "transfer/transferroles.h"
#include "widgets/desktopopen.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QMutexLocker>
#include <QPushButton>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTableView>
#include <QTemporaryFile>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kRowHeight = 54;
constexpr int kRemoveDelayMs = 1000;
// Finished rows leave together at most this often: each removal moves and
// repaints every row below, and a dropped folder finishes many a second.
constexpr int kRemoveBatchMs = 250;
// The history tab's counter follows finishing transfers at most this often.
constexpr int kHistoryTitleDelayMs = 200;
// Ten progress updates a second for all rows together.
constexpr int kProgressTickMs = 100;
constexpr int kHistorySaveDelayMs = 1000;
constexpr int kQueueSaveDelayMs = 500;

QTableView *makeTable(QAbstractItemModel *model, TransferDelegate *delegate,
                      const QList<int> &widths, const QString &name, QWidget *parent)
{
    auto *table = new QTableView(parent);
    table->setObjectName(name);
    table->setModel(model);
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    // Every row has the same height: the view never asks the delegate.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(kRowHeight);
    table->setShowGrid(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setItemDelegate(delegate);
    table->setMouseTracking(true);
    table->setWordWrap(false);
    table->setStyleSheet(
        QStringLiteral(".QTableView {border:0px;border-top:0px solid #ccc;}"
                       "QTableView::item:selected {background-color:transparent;color:#333;}"));
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int i = 0; i < widths.size(); ++i)
        table->setColumnWidth(i + 1, widths.at(i));
    return table;
}

std::atomic<int> retryDelay{2000};

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

    // The running pages' strip: one button starts every stopped row, such as
    // those a restart brings back.
    startBar = new QWidget(this);
    startBar->setFixedHeight(32);
    startBar->setStyleSheet(clearBar->styleSheet());
    auto *startLayout = new QHBoxLayout(startBar);
    startLayout->setContentsMargins(0, 0, 6, 0);
    startLayout->addStretch();
    auto *startButton = new QPushButton(QStringLiteral("全部开始"), startBar);
    startButton->setObjectName(QStringLiteral("startAll"));
    startButton->setFixedSize(100, 24);
    startButton->setStyleSheet(clearButton->styleSheet());
    connect(startButton, &QPushButton::clicked, this, &TransferPanel::startAll);
    startLayout->addWidget(startButton);
    layout->addWidget(startBar);

    delegate = new TransferDelegate(this);
    downloads = new TransferModel(true, this);
    uploads = new TransferModel(false, this);
    history = new HistoryModel(this);
    downloadTable =
        makeTable(downloads, delegate, {200, 150}, QStringLiteral("downloadTable"), this);
    historyTable =
        makeTable(history, delegate, {150, 120, 150}, QStringLiteral("historyTable"), this);
    uploadTable = makeTable(uploads, delegate, {200, 150}, QStringLiteral("uploadTable"), this);
    layout->addWidget(downloadTable);
    layout->addWidget(historyTable);
    layout->addWidget(uploadTable);
    downloadTable->hide();
    historyTable->hide();
    connect(delegate, &TransferDelegate::buttonClicked, this,
            [this](const QModelIndex &index, const QString &id) {
                auto *table = index.model() == downloads ? downloadTable
                              : index.model() == uploads ? uploadTable
                                                         : historyTable;
                rowButtonClicked(table, index, id);
            });
    // The queue is written at most half a second after a change, so a crash
    // loses little, and a dropped folder's rows make one write.
    queueSave = new QTimer(this);
    queueSave->setSingleShot(true);
    queueSave->setInterval(kQueueSaveDelayMs);
    connect(queueSave, &QTimer::timeout, this, &TransferPanel::saveQueue);
    for (TransferModel *model : {downloads, uploads}) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &TransferPanel::updateTabTitles);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &TransferPanel::updateTabTitles);
        connect(model, &TransferModel::listChanged, this, [this] {
            if (!queueSave->isActive())
                queueSave->start();
        });
    }
    auto *historyTitle = new QTimer(this);
    historyTitle->setSingleShot(true);
    historyTitle->setInterval(kHistoryTitleDelayMs);
    connect(historyTitle, &QTimer::timeout, this, &TransferPanel::updateTabTitles);
    connect(history, &QAbstractItemModel::rowsInserted, historyTitle, [historyTitle] {
        if (!historyTitle->isActive())
            historyTitle->start();
    });
    connect(history, &QAbstractItemModel::rowsRemoved, this, &TransferPanel::updateTabTitles);
    connect(history, &QAbstractItemModel::modelReset, this, &TransferPanel::updateTabTitles);

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

    partials = std::make_unique<PartialDownloads>(GCore::dataDir() +
                                                  QStringLiteral("/partial-downloads.json"));

    leaveTimer = new QTimer(this);
    leaveTimer->setSingleShot(true);
    connect(leaveTimer, &QTimer::timeout, this, &TransferPanel::removeFinished);

    loadHistory();

    GCore *core = GCore::instance();
    const QByteArray owner = (core->serverUrl() + QLatin1Char('\n') +
                              core->userInfo().value(QStringLiteral("username")).toString())
                                 .toUtf8();
    queuePath =
        GCore::dataDir() + QStringLiteral("/queue-%1.json").arg(HttpCurl::md5Hex(owner).left(16));
    restoreQueue();
}

TransferPanel::~TransferPanel()
{
    if (historySave->isActive())
        saveHistory();
    saveQueue();
    // The next panel (the next sign-in) reads what this one wrote.
    FileWriter::flush();
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
    const QString fileId = item.value(QStringLiteral("fileId")).toString();
    if (isDownloading(fileId))
        return;
    downloads->add(downloadRow(item, type, TransferRow::State::Running));
    queueDownload(fileId);
}

TransferRow TransferPanel::downloadRow(const QVariantMap &item, int type, TransferRow::State state)
{
    TransferRow row;
    row.key = item.value(QStringLiteral("fileId")).toString();
    row.item = item;
    row.type = type;
    row.name = item.value(QStringLiteral("fileName")).toString();
    row.sizeText = HttpCurl::sizeText(item.value(QStringLiteral("fileLength")));
    row.icon = GCore::fileIconPath(item);
    row.state = state;
    row.serial = nextSerial++;
    return row;
}

TransferRow TransferPanel::uploadRow(const QVariantMap &item, int type, TransferRow::State state)
{
    const QString filePath = item.value(QStringLiteral("file")).toString();
    const QFileInfo info(filePath);
    TransferRow row;
    row.key = filePath;
    row.item = item;
    row.type = type;
    row.name = info.fileName();
    row.sizeText = HttpCurl::formatSize(info.size());
    row.icon = GCore::localFileIconPath(filePath);
    row.state = state;
    row.serial = nextSerial++;
    return row;
}

void TransferPanel::addUpload(const QString &filePath, const QString &parentId, int type,
                              const QString &fileId)
{
    showPage(QStringLiteral("upload"));
    // All per-upload state is keyed by the path: a second row for it would
    // take over the first one's record.
    if (filePath.isEmpty() || isUploading(filePath))
        return;
    const QFileInfo info(filePath);
    // Size and time tell at the next start whether the file changed meanwhile.
    const QVariantMap item{{QStringLiteral("file"), filePath},
                           {QStringLiteral("parentId"), parentId},
                           {QStringLiteral("type"), type},
                           {QStringLiteral("fileId"), fileId},
                           {QStringLiteral("size"), info.size()},
                           {QStringLiteral("modified"), info.lastModified().toMSecsSinceEpoch()}};
    uploads->add(uploadRow(item, type, TransferRow::State::Running));
    queueUpload(filePath);
}

bool TransferPanel::isUploading(const QString &filePath) const
{
    return uploads->contains(filePath);
}

bool TransferPanel::isDownloading(const QString &fileId) const
{
    return downloads->contains(fileId);
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
    uploadTable->setVisible(upload);
    downloadTable->setVisible(download);
    historyTable->setVisible(historyPage);
    clearBar->setVisible(historyPage);
    startBar->setVisible(!historyPage);
}

void TransferPanel::holdLayout(bool hold)
{
    uploads->setBatch(hold);
    downloads->setBatch(hold);
    if (!hold)
        updateTabTitles();
}

void TransferPanel::updateTabTitles()
{
    downloadTab->setText(QStringLiteral("正在下载(%1)").arg(downloads->size()));
    historyTab->setText(QStringLiteral("传输完成(%1)").arg(history->rowCount()));
    uploadTab->setText(QStringLiteral("正在上传(%1)").arg(uploads->size()));
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

QString TransferPanel::partialKey(const QVariantMap &item, int type) const
{
    return PartialDownloads::keyOf(GCore::instance()->serverUrl(), type,
                                   item.value(QStringLiteral("fileId")).toString());
}

void TransferPanel::startDownload(const QVariantMap &item, int type)
{
    const QString fileId = item.value(QStringLiteral("fileId")).toString();
    const QString target = downloadTarget(item);
    if (target.isEmpty()) {
        qDebug() << __FILE__ << __LINE__ << "download without a folder" << fileId;
        downloads->setState(fileId, TransferRow::State::Failed);
        return;
    }
    // The bytes an earlier try left beside the target, when they are still
    // of this file; otherwise a new partial file.
    const QString key = partialKey(item, type);
    PartialDownloads::Record record = partials->usable(key, item, target);
    if (record.partPath.isEmpty()) {
        const QFileInfo info(target);
        QTemporaryFile part(info.absolutePath() + QLatin1Char('/') + info.fileName() +
                            QStringLiteral(".XXXXXX.part"));
        if (!part.open()) {
            qDebug() << __FILE__ << __LINE__ << "cannot create a file beside" << target;
            downloads->setState(fileId, TransferRow::State::Failed);
            return;
        }
        part.setAutoRemove(false);
        record = PartialDownloads::recordFor(item, target);
        record.partPath = part.fileName();
        partials->put(key, record);
    }
    PartDownload part;
    part.path = record.partPath;
    part.held = QFileInfo(record.partPath).size();
    part.total = record.total;

    GCore *core = GCore::instance();
    const QString url = core->serverUrl() + (type == 1 ? QStringLiteral("/api/netdisk/download.jf")
                                                       : QStringLiteral("/api/file/download.jf"));
    const FormParams form{{QStringLiteral("token"), core->token()},
                          {QStringLiteral("fileIds"), fileId}};
    auto *progress = new TransferProgress;
    progress->downloadTotal.store(item.value(QStringLiteral("length")).toDouble());
    progress->downloaded.store(double(part.held));
    downloadProgress.insert(fileId, progress);
    downloads->setPercent(
        fileId, TransferProgress::percent(double(part.held), progress->downloadTotal.load()));

    auto *thread =
        new DownloadThread(url, form, part, item.value(QStringLiteral("md5")).toString(), progress);
    downloadThreads.insert(fileId, thread);
    thread->setProperty("map", item);
    thread->setProperty("type", type);
    runs.insert(thread, Run{thread, progress, false});
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &DownloadThread::partFinished, this, &TransferPanel::downloadFinished);
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
    const TransferRow *row = downloads->row(fileId);
    if (!row || row->state == TransferRow::State::Waiting)
        return;
    if (!downloadQueue.isEmpty() || runningCount(false) >= maxRunning) {
        downloadQueue.append(fileId);
        downloads->setState(fileId, TransferRow::State::Waiting);
        return;
    }
    runDownloadRow(fileId);
}

void TransferPanel::queueUpload(const QString &filePath)
{
    const TransferRow *row = uploads->row(filePath);
    if (!row || row->state == TransferRow::State::Waiting)
        return;
    if (!uploadQueue.isEmpty() || runningCount(true) >= maxRunning) {
        uploadQueue.append(filePath);
        uploads->setState(filePath, TransferRow::State::Waiting);
        return;
    }
    runUploadRow(filePath);
}

void TransferPanel::runDownloadRow(const QString &fileId)
{
    const TransferRow *row = downloads->row(fileId);
    if (!row)
        return;
    const QVariantMap item = row->item;
    const int type = row->type;
    downloads->setState(fileId, TransferRow::State::Running);
    startDownload(item, type);
}

void TransferPanel::runUploadRow(const QString &filePath)
{
    const TransferRow *row = uploads->row(filePath);
    if (!row)
        return;
    const QVariantMap map = row->item;
    uploads->setState(filePath, TransferRow::State::Running);
    // Uploads always send the whole file again.
    uploads->setPercent(filePath, 0);
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

void TransferPanel::startOrStop(bool download, const QString &key)
{
    TransferModel *model = download ? downloads : uploads;
    TransferProgress *p = download ? downloadProgress.value(key) : uploadProgress.value(key);
    QStringList &queue = download ? downloadQueue : uploadQueue;
    const TransferRow *row = model->row(key);
    if (p) {
        p->cancel();
    } else if (row && row->state == TransferRow::State::Waiting) {
        queue.removeOne(key);
        model->setState(key, TransferRow::State::Stopped);
    } else if (row && row->state == TransferRow::State::Retrying) {
        model->setState(key, TransferRow::State::Stopped);
    } else {
        // Started by the user: a full set of tries again.
        attempts.remove((download ? QLatin1Char('d') : QLatin1Char('u')) + key);
        if (download)
            queueDownload(key);
        else
            queueUpload(key);
    }
}

void TransferPanel::retryLater(bool download, const QString &key)
{
    TransferModel *model = download ? downloads : uploads;
    const TransferRow *row = model->row(key);
    if (!row)
        return;
    const QString counter = (download ? QLatin1Char('d') : QLatin1Char('u')) + key;
    const int attempt = attempts.value(counter) + 1;
    if (attempt > maxRetries) {
        attempts.remove(counter);
        model->setState(key, TransferRow::State::Failed);
        return;
    }
    attempts.insert(counter, attempt);
    model->setState(key, TransferRow::State::Retrying, QString(), attempt);
    const quint64 serial = row->serial;
    QTimer::singleShot(retryDelay.load() << (attempt - 1), this, [this, download, key, serial] {
        TransferModel *m = download ? downloads : uploads;
        const TransferRow *r = m->row(key);
        // Stopped or dropped meanwhile: no retry.
        if (!r || r->serial != serial || r->state != TransferRow::State::Retrying)
            return;
        m->setState(key, TransferRow::State::Stopped);
        if (download)
            queueDownload(key);
        else
            queueUpload(key);
    });
}

int TransferPanel::retryDelayMs()
{
    return retryDelay.load();
}

void TransferPanel::setRetryDelayMs(int ms)
{
    retryDelay.store(qMax(1, ms));
}

void TransferPanel::rowButtonClicked(QTableView *table, const QModelIndex &index, const QString &id)
{
    if (table == historyTable) {
        const QVariantMap record = history->recordAt(index.row());
        if (id == QLatin1String("openFile"))
            openLocalPath(this, record.value(QStringLiteral("filePath")).toString());
        else if (id == QLatin1String("openFolder"))
            openLocalPath(this, record.value(QStringLiteral("folderPath")).toString());
        else if (id == QLatin1String("drop"))
            removeHistoryRow(index.row());
        return;
    }
    const bool download = table == downloadTable;
    const QString key = index.data(TransferRoles::Key).toString();
    if (id == QLatin1String("startStop")) {
        startOrStop(download, key);
    } else if (id == QLatin1String("openFolder")) {
        const TransferRow *row = (download ? downloads : uploads)->row(key);
        if (row)
            openLocalPath(this, download ? row->item.value(QStringLiteral("localPath")).toString()
                                         : QFileInfo(key).absolutePath());
    } else if (id == QLatin1String("drop")) {
        if (TransferProgress *p =
                download ? downloadProgress.value(key) : uploadProgress.value(key))
            p->cancel();
        if (download)
            removeDownloadRow(key);
        else
            removeUploadRow(key);
    }
}

void TransferPanel::removeDownloadRow(const QString &fileId)
{
    const TransferRow *row = downloads->row(fileId);
    if (!row)
        return;
    if (row->state == TransferRow::State::Waiting)
        downloadQueue.removeOne(fileId);
    // The held bytes go with the row; a worker still writing (told to stop
    // by now) removes its file when it ends, as one that is no longer its row's.
    partials->remove(partialKey(row->item, row->type), downloadThreads.contains(fileId));
    downloadThreads.remove(fileId);
    downloadProgress.remove(fileId);
    downloads->remove({fileId});
}

void TransferPanel::removeUploadRow(const QString &filePath)
{
    const TransferRow *row = uploads->row(filePath);
    if (row && row->state == TransferRow::State::Waiting)
        uploadQueue.removeOne(filePath);
    uploadThreads.remove(filePath);
    uploadProgress.remove(filePath);
    uploads->remove({filePath});
}

void TransferPanel::removeHistoryRow(int row)
{
    history->removeAt(row);
    saveHistory();
}

void TransferPanel::removeLater(const QString &key, bool download)
{
    const TransferRow *row = (download ? downloads : uploads)->row(key);
    if (!row)
        return;
    leaving.append(
        Leaving{key, download, QDateTime::currentMSecsSinceEpoch() + kRemoveDelayMs, row->serial});
    if (!leaveTimer->isActive())
        leaveTimer->start(kRemoveDelayMs);
}

void TransferPanel::removeFinished()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QStringList downloadKeys;
    QStringList uploadKeys;
    while (!leaving.isEmpty() && leaving.first().due <= now) {
        const Leaving l = leaving.takeFirst();
        // Only the finished row goes: if it was dropped meanwhile and the
        // same key added again, the new row stays.
        const TransferRow *row = (l.download ? downloads : uploads)->row(l.key);
        if (row && row->serial == l.serial)
            (l.download ? downloadKeys : uploadKeys) << l.key;
    }
    downloads->remove(downloadKeys);
    uploads->remove(uploadKeys);
    if (!leaving.isEmpty())
        leaveTimer->start(int(qMax<qint64>(kRemoveBatchMs, leaving.first().due - now)));
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

void TransferPanel::downloadFinished(PartDownload part, bool intact)
{
    QObject *worker = sender();
    if (!worker)
        return;
    QMutexLocker lock(&mutex);
    const QVariantMap item = worker->property("map").toMap();
    const QString key = item.value(QStringLiteral("fileId")).toString();
    const QString partKey = partialKey(item, worker->property("type").toInt());
    const Run run = runs.take(worker);
    // Whatever became of this row, its place goes to the next waiting one.
    const auto next = qScopeGuard([this] { startWaiting(); });
    const bool current = downloadThreads.value(key) == worker;
    delete run.progress;
    if (!current) {
        // Dropped: its record went with the row; the bytes go now.
        QFile::remove(part.path);
        return;
    }
    downloadProgress.remove(key);
    downloadThreads.remove(key);

    using Outcome = PartDownload::Outcome;
    if (part.outcome != Outcome::Complete) {
        // The bytes stay for the next start, with the size the server gave.
        PartialDownloads::Record record = partials->usable(partKey, item, downloadTarget(item));
        if (!record.partPath.isEmpty() && part.serverTotal >= 0) {
            record.total = part.serverTotal;
            partials->put(partKey, record);
        }
        if (part.outcome == Outcome::Cancelled)
            downloads->setState(key, TransferRow::State::Stopped);
        else if (part.outcome == Outcome::NetworkFault)
            retryLater(true, key);
        else
            downloads->setState(key, TransferRow::State::Failed);
        return;
    }
    attempts.remove(QLatin1Char('d') + key);
    partials->remove(partKey, true);
    if (!intact) {
        qDebug() << __FILE__ << __LINE__ << "download does not match its size or MD5" << key;
        QFile::remove(part.path);
        downloads->setState(key, TransferRow::State::Failed, QStringLiteral("文件校验失败"));
        return;
    }
    QString refusal;
    const QString saved = finishDownloadFile(part.path, item, &refusal);
    if (saved.isEmpty()) {
        downloads->setState(key, TransferRow::State::Failed, refusal);
        return;
    }
    // The last bytes may have come after the last progress tick.
    downloads->setPercent(key, 100);
    downloads->flushProgress();
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
    const auto *thread = qobject_cast<UploadThread *>(worker);
    if (!ok && current && map.isEmpty() && thread && thread->networkFault()) {
        retryLater(false, key);
        return;
    }
    if (current)
        attempts.remove(QLatin1Char('u') + key);
    if (!ok) {
        if (current)
            uploads->setState(key, TransferRow::State::Failed,
                              map.value(QStringLiteral("msg")).toString());
        return;
    }
    if (current) {
        uploads->setPercent(key, 100);
        uploads->flushProgress();
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
    uploads->setState(key, TransferRow::State::Stopped);
}

void TransferPanel::showProgress()
{
    QMutexLocker lock(&mutex);
    for (auto it = downloadProgress.constBegin(); it != downloadProgress.constEnd(); ++it)
        downloads->setPercent(it.key(),
                              TransferProgress::percent(it.value()->downloaded.load(),
                                                        it.value()->downloadTotal.load()));
    for (auto it = uploadProgress.constBegin(); it != uploadProgress.constEnd(); ++it)
        uploads->setPercent(it.key(), TransferProgress::percent(it.value()->uploaded.load(),
                                                                it.value()->uploadTotal.load()));
    downloads->flushProgress();
    uploads->flushProgress();
}

// ---- the queue across runs ----

void TransferPanel::saveQueue()
{
    queueSave->stop();
    // Failed rows stay behind: they wait for the user, not for a restart. The
    // rows' items are shared, not copied, and become JSON on the writer's
    // thread.
    auto list = [](const TransferModel *model) {
        QVariantList out;
        for (const QString &key : model->keys()) {
            const TransferRow *row = model->row(key);
            if (row->state == TransferRow::State::Failed)
                continue;
            out.append(QVariantMap{{QStringLiteral("item"), row->item},
                                   {QStringLiteral("type"), row->type}});
        }
        return out;
    };
    const QVariantMap queue{{QStringLiteral("downloads"), list(downloads)},
                            {QStringLiteral("uploads"), list(uploads)}};
    FileWriter::write(queuePath, [queue] {
        return QJsonDocument(QJsonObject::fromVariantMap(queue)).toJson(QJsonDocument::Compact);
    });
}

void TransferPanel::restoreQueue()
{
    QFile file(queuePath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject saved = HttpCurl::parseJson(file.readAll()).object();
    file.close();
    downloads->setBatch(true);
    uploads->setBatch(true);
    for (const QJsonValue &v : saved.value(QStringLiteral("downloads")).toArray()) {
        const QVariantMap item =
            v.toObject().value(QStringLiteral("item")).toObject().toVariantMap();
        const int type = v.toObject().value(QStringLiteral("type")).toInt();
        const QString fileId = item.value(QStringLiteral("fileId")).toString();
        if (fileId.isEmpty() || isDownloading(fileId))
            continue;
        TransferRow row = downloadRow(item, type, TransferRow::State::Stopped);
        // The bar shows what the partial file holds.
        const PartialDownloads::Record held =
            partials->usable(partialKey(item, type), item, downloadTarget(item));
        if (!held.partPath.isEmpty())
            row.percent =
                TransferProgress::percent(double(QFileInfo(held.partPath).size()),
                                          item.value(QStringLiteral("length")).toDouble());
        downloads->add(row);
    }
    for (const QJsonValue &v : saved.value(QStringLiteral("uploads")).toArray()) {
        const QVariantMap item =
            v.toObject().value(QStringLiteral("item")).toObject().toVariantMap();
        const QString filePath = item.value(QStringLiteral("file")).toString();
        if (filePath.isEmpty() || isUploading(filePath))
            continue;
        const QFileInfo info(filePath);
        TransferRow row = uploadRow(item, v.toObject().value(QStringLiteral("type")).toInt(),
                                    TransferRow::State::Stopped);
        if (!info.isFile()) {
            row.state = TransferRow::State::Failed;
            row.reason = QStringLiteral("文件已不存在");
        } else if (info.size() != item.value(QStringLiteral("size")).toLongLong() ||
                   info.lastModified().toMSecsSinceEpoch() !=
                       item.value(QStringLiteral("modified")).toLongLong()) {
            row.state = TransferRow::State::Failed;
            row.reason = QStringLiteral("文件已被修改");
        }
        uploads->add(row);
    }
    downloads->setBatch(false);
    uploads->setBatch(false);
    updateTabTitles();
}

void TransferPanel::startAll()
{
    const bool download = downloadTab->isChecked();
    TransferModel *model = download ? downloads : uploads;
    for (const QString &key : model->keys()) {
        const TransferRow *row = model->row(key);
        if (!row || row->state != TransferRow::State::Stopped)
            continue;
        attempts.remove((download ? QLatin1Char('d') : QLatin1Char('u')) + key);
        if (download)
            queueDownload(key);
        else
            queueUpload(key);
    }
}

// ---- history ----

void TransferPanel::appendHistory(const QVariantMap &record)
{
    history->append(record);
    if (!historySave->isActive())
        historySave->start();
}

void TransferPanel::loadHistory()
{
    QFile file(historyFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    bool cleaned = false;
    const bool cut = history->setRecords(readHistory(file.readAll(), &cleaned));
    if (cleaned || cut)
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
    FileWriter::write(historyFilePath(), [records = history->records()] {
        return QJsonDocument::fromVariant(records).toJson(QJsonDocument::Indented);
    });
}

void TransferPanel::clearItems()
{
    if (history->rowCount() == 0)
        return;
    const auto answer = QMessageBox::question(this, QStringLiteral("清除确认"),
                                              QStringLiteral("是否确认清除所有记录？"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    history->clear();
    saveHistory();
}
