#include "transfer/dversioncompare.h"

#include "core/downloadthread.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "core/httpthread.h"
#include "transfer/compare/comparewindow.h"
#include "transfer/compare/versioncomparer.h"
#include "widgets/dialogstyle.h"
#include "widgets/messagelabel.h"
#include "widgets/nofocusdelegate.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QMutexLocker>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QUuid>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString extensionOf(const QVariantMap &item)
{
    return item.value(QStringLiteral("fileExtend")).toString().trimmed().toLower();
}

// The cache file of one downloaded version: "版本<n>_<md5 of a fresh uuid>.<ext>".
QString versionFilePath(int version, const QString &extension)
{
    const QString unique = HttpCurl::md5Hex(QUuid::createUuid().toString().toUtf8());
    const QString name = safeFileName(
        QStringLiteral("版本%1_%2.%3").arg(version).arg(unique, safeFileName(extension)));
    return QDir(GCore::versionCacheDir()).filePath(name);
}

} // namespace

DVersionCompare::DVersionCompare(const QVariantMap &item, QWidget *parent)
    : FramelessDialog(parent, QColor(QLatin1String(DialogStyle::titleColor)), true), item(item),
      firstProgress(new TransferProgress), secondProgress(new TransferProgress)
{
    // Wide enough for the upload time and the uploader beside the description.
    resize(640, 300);
    initTitleBar();
    titleLabel->setText(QStringLiteral("版本列表"));

    auto *body = new QWidget(contentWidget);
    addContentWidget(body);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(9, 9, 9, 9);
    layout->setSpacing(7);

    versionTable = new QTableWidget(0, 6, body);
    versionTable->setHorizontalHeaderLabels({QStringLiteral("选择"), QStringLiteral("版本号"),
                                             QStringLiteral("文件长度"), QStringLiteral("版本描述"),
                                             QStringLiteral("上传时间"), QStringLiteral("上传者")});
    // Never narrower than a header's own text with the style's padding; the
    // description takes the width left.
    QHeaderView *header = versionTable->horizontalHeader();
    header->ensurePolished();
    // The upload time as wide as its text with the cells' padding.
    const int timeWidth =
        versionTable->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00")) + 16;
    const int widths[] = {30, 45, 80, 0, timeWidth, 90};
    for (int column = 0; column < 6; ++column) {
        if (widths[column] > 0)
            versionTable->setColumnWidth(column,
                                         qMax(widths[column], header->sectionSizeHint(column)));
    }
    header->setSectionResizeMode(3, QHeaderView::Stretch);
    versionTable->verticalHeader()->hide();
    versionTable->setShowGrid(false);
    versionTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    versionTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    versionTable->setSelectionMode(QAbstractItemView::NoSelection);
    versionTable->setItemDelegate(new NoFocusDelegate(versionTable));
    versionTable->setStyleSheet(QStringLiteral(
        ".QTableWidget {border:1px solid #333;}QTableWidget::item {padding:4px 0 4px 0;"
        "color:#333;}QTableWidget::item:selected {background-color:transparent;color:#333;}"));
    layout->addWidget(versionTable);

    compareButton = new QPushButton(QStringLiteral("版本对比"), body);
    compareButton->setFixedSize(72, 24);
    compareButton->setCursor(Qt::PointingHandCursor);
    compareButton->setStyleSheet(DialogStyle::buttonStyle() +
                                 QLatin1String(DialogStyle::disabledLook));
    QPushButton *close = DialogStyle::makeButton(QStringLiteral("关闭"), body);
    close->setFixedSize(64, 24);
    errorLabel = DialogStyle::addMessageRow(layout, body, {compareButton, close});
    compareButton->setEnabled(VersionComparer::isComparable(extensionOf(item)));
    connect(compareButton, &QPushButton::clicked, this, &DVersionCompare::compare);
    connect(close, &QPushButton::clicked, this, &DVersionCompare::reject);

    GCore *core = GCore::instance();
    auto *request = new HttpThread(
        core->serverUrl() + QStringLiteral("/api/file/version-list.jf"),
        {{QStringLiteral("token"), core->token()},
         {QStringLiteral("fileId"), item.value(QStringLiteral("fileId")).toString()}});
    connect(request, &QThread::finished, request, &QObject::deleteLater);
    connect(request, &HttpThread::receiveJson, this, &DVersionCompare::receiveData);
    // Shares nothing with the dialog: a reply after it closed goes nowhere.
    request->start(QThread::InheritPriority);

    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &DVersionCompare::showProgress);
    timer->start(150);
}

DVersionCompare::~DVersionCompare()
{
    firstProgress->cancel();
    secondProgress->cancel();
    workers.waitAll();
    delete firstProgress;
    delete secondProgress;
    // Comparison windows outlive the list; the backend (a child) goes with it.
    const QList<CompareWindow *> windows =
        findChildren<CompareWindow *>(QString(), Qt::FindDirectChildrenOnly);
    for (CompareWindow *window : windows) {
        const bool shown = window->isVisible();
        window->setParent(parentWidget(), window->windowFlags());
        if (shown)
            window->show();
    }
}

void DVersionCompare::receiveData(QVariantMap map)
{
    if (map.value(QStringLiteral("code")).toString() != QLatin1String("0")) {
        const QString msg = map.value(QStringLiteral("msg")).toString();
        QMessageBox::warning(this, QStringLiteral("服务器错误"),
                             msg.isEmpty() ? QStringLiteral("获取版本列表失败") : msg,
                             QMessageBox::Ok);
        reject();
        return;
    }
    QVariantList versions = map.value(QStringLiteral("data")).toList();
    std::stable_sort(versions.begin(), versions.end(), [](const QVariant &a, const QVariant &b) {
        return a.toMap().value(QStringLiteral("version")).toInt() >
               b.toMap().value(QStringLiteral("version")).toInt();
    });
    for (const QVariant &entry : qAsConst(versions)) {
        const QVariantMap record = entry.toMap();
        const int row = versionTable->rowCount();
        versionTable->insertRow(row);
        auto *cell = new QWidget(versionTable);
        auto *cellLayout = new QHBoxLayout(cell);
        cellLayout->setContentsMargins(0, 0, 0, 0);
        auto *box = new QCheckBox(cell);
        box->setProperty("id", record.value(QStringLiteral("id")).toString());
        box->setProperty("length", record.value(QStringLiteral("length")).toLongLong());
        box->setProperty("version", record.value(QStringLiteral("version")).toString());
        cellLayout->addWidget(box, 0, Qt::AlignCenter);
        versionTable->setCellWidget(row, 0, cell);
        checkBoxes.append(box);
        versionTable->setItem(
            row, 1, new QTableWidgetItem(record.value(QStringLiteral("version")).toString()));
        versionTable->setItem(row, 2,
                              new QTableWidgetItem(HttpCurl::formatSize(
                                  record.value(QStringLiteral("length")).toLongLong())));
        auto *memo = new QTableWidgetItem(record.value(QStringLiteral("memo")).toString());
        memo->setToolTip(memo->text());
        versionTable->setItem(row, 3, memo);
        const qint64 uploaded = record.value(QStringLiteral("createTime")).toLongLong();
        versionTable->setItem(
            row, 4,
            new QTableWidgetItem(uploaded > 0 ? QDateTime::fromMSecsSinceEpoch(uploaded).toString(
                                                    QStringLiteral("yyyy-MM-dd HH:mm"))
                                              : QString()));
        versionTable->setItem(
            row, 5, new QTableWidgetItem(record.value(QStringLiteral("user")).toString()));
    }
    if (versionTable->rowCount() < 2)
        compareButton->setEnabled(false);
}

void DVersionCompare::compare()
{
    QList<QCheckBox *> ticked;
    for (QCheckBox *box : qAsConst(checkBoxes)) {
        if (box->isChecked())
            ticked.append(box);
    }
    if (ticked.size() != 2) {
        errorLabel->showMessage(QStringLiteral("请选中两个版本进行对比"));
        return;
    }
    // One pair at a time: both progress records belong to the pair in flight.
    if (firstDownloading || secondDownloading || comparing) {
        errorLabel->showMessage(QStringLiteral("正在对比，请稍候"));
        return;
    }
    errorLabel->clearMessage();
    {
        QMutexLocker locker(&mutex);
        firstPath.clear();
        secondPath.clear();
        pairFailed = false;
    }
    // Rows are newest first: the first tick is the newer version.
    startDownload(ticked.at(0), firstProgress, true);
    startDownload(ticked.at(1), secondProgress, false);
}

void DVersionCompare::startDownload(QCheckBox *box, TransferProgress *progress, bool first)
{
    const int version = box->property("version").toInt();
    (first ? firstVersion : secondVersion) = version;
    progress->downloadTotal = box->property("length").toDouble();
    progress->downloaded = 0;
    progress->running = true;
    GCore *core = GCore::instance();
    const QString target = versionFilePath(version, extensionOf(item));
    auto *thread =
        new DownloadThread(core->serverUrl() + QStringLiteral("/api/file/version-download.jf"),
                           {{QStringLiteral("token"), core->token()},
                            {QStringLiteral("versionId"), box->property("id").toString()}},
                           target, progress);
    thread->setProperty("version", version);
    thread->setProperty("target", target);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &DownloadThread::fileFinished, this,
            first ? &DVersionCompare::downloadFinished : &DVersionCompare::downloadFinished2);
    (first ? firstDownloading : secondDownloading) = true;
    workers.start(thread);
}

void DVersionCompare::downloadFinished(QString tempPath)
{
    if (sender())
        receiveFile(tempPath, sender()->property("target").toString(), true);
}

void DVersionCompare::downloadFinished2(QString tempPath)
{
    if (sender())
        receiveFile(tempPath, sender()->property("target").toString(), false);
}

void DVersionCompare::receiveFile(const QString &tempPath, const QString &target, bool first)
{
    QMutexLocker locker(&mutex);
    (first ? firstDownloading : secondDownloading) = false;
    bool refused = tempPath.isEmpty() || HttpCurl::isServerRefusalFile(tempPath);
    if (!refused && !QFile::rename(tempPath, target))
        refused = true;
    if (refused) {
        if (!tempPath.isEmpty())
            QFile::remove(tempPath);
        pairFailed = true;
        errorLabel->showMessage(QStringLiteral("文件下载出错"));
        return;
    }
    (first ? firstPath : secondPath) = target;
}

void DVersionCompare::showProgress()
{
    if (firstDownloading || secondDownloading) {
        const double done = firstProgress->downloaded + secondProgress->downloaded;
        const double total = firstProgress->downloadTotal + secondProgress->downloadTotal;
        errorLabel->showMessage(
            QStringLiteral("正在下载(%1%)").arg(TransferProgress::percent(done, total)), 0);
        return;
    }
    if (pairFailed) {
        pairFailed = false;
        QFile::remove(firstPath);
        QFile::remove(secondPath);
        firstPath.clear();
        secondPath.clear();
        return;
    }
    if (!firstPath.isEmpty() && !secondPath.isEmpty())
        startComparison();
}

void DVersionCompare::startComparison()
{
    VersionComparer::Versions versions;
    versions.newerPath = firstPath;
    versions.olderPath = secondPath;
    versions.newerVersion = firstVersion;
    versions.olderVersion = secondVersion;
    versions.fileName = item.value(QStringLiteral("fileName")).toString();
    versions.extension = extensionOf(item);
    // Started once per pair.
    firstPath.clear();
    secondPath.clear();
    errorLabel->showMessage(QStringLiteral("正在打开"), 0);
    delete comparer;
    comparer = VersionComparer::create(versions.extension, this);
    qDebug() << __FILE__ << __LINE__ << "comparing versions" << versions.olderVersion << "and"
             << versions.newerVersion << "with the" << comparer->backendName() << "backend";
    comparing = true;
    connect(comparer, &VersionComparer::finished, this, [this](bool ok, const QString &message) {
        comparing = false;
        if (ok) {
            errorLabel->clearMessage();
            return;
        }
        errorLabel->clearMessage();
        QMessageBox::warning(this, QStringLiteral("对比出错"), message, QMessageBox::Ok);
    });
    comparer->compare(versions, this);
}
