#include "transfer/deditfile.h"

#include "core/downloadthread.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "core/httpthread.h"
#include "core/uploadthread.h"
#include "widgets/dialogstyle.h"
#include "widgets/messagelabel.h"

#include <QComboBox>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kCaptionWidth = 90;
const QString kLongestCaption = QStringLiteral("是否创建新版本:");
const QString kStart = QStringLiteral("开始编辑");
const QString kFinish = QStringLiteral("完成编辑");

bool isSuccess(const QVariantMap &map)
{
    return !map.isEmpty() && map.value(QStringLiteral("code")).toString() == QLatin1String("0");
}

} // namespace

DEditFile::DEditFile(const QVariantMap &item, QWidget *parent)
    : FramelessDialog(parent, QColor(QLatin1String(DialogStyle::titleColor)), true), item(item),
      progress(new TransferProgress)
{
    resize(430, 200);
    initTitleBar();
    titleLabel->setText(QStringLiteral("编辑文件"));
    localPath = workingCopyPath(item);

    auto *body = new QWidget(contentWidget);
    addContentWidget(body);
    // At least 90 wide, and wide enough for the longest caption in this font.
    const int captionWidth =
        qMax(kCaptionWidth, body->fontMetrics().horizontalAdvance(kLongestCaption) + 4);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(9, 9, 22, 9);
    layout->setSpacing(7);
    auto addRow = [&](const QString &caption, QWidget *field) {
        auto *row = new QHBoxLayout;
        row->addWidget(DialogStyle::makeCaption(caption, captionWidth,
                                                Qt::AlignLeft | Qt::AlignVCenter, body));
        row->addWidget(field);
        layout->addLayout(row);
    };
    addRow(QStringLiteral("文件名称:"),
           DialogStyle::valueLabel(item.value(QStringLiteral("fileName")).toString(), body));
    addRow(QStringLiteral("当前版本:"),
           DialogStyle::valueLabel(item.value(QStringLiteral("version")).toString(), body));

    auto *statusBox = new QWidget(body);
    statusBox->setStyleSheet(QStringLiteral(".QWidget {background:#f2f2f2;}"));
    auto *statusLayout = new QVBoxLayout(statusBox);
    statusLayout->setContentsMargins(4, 4, 4, 4);
    statusLayout->setSpacing(2);
    statusLabel = new QLabel(QStringLiteral("准备编辑"), statusBox);
    // Carries the server's refusal text too.
    statusLabel->setTextFormat(Qt::PlainText);
    statusLabel->setStyleSheet(QStringLiteral(".QLabel {color:#a00;}"));
    statusLayout->addWidget(statusLabel);
    progressBar = new QProgressBar(statusBox);
    progressBar->setRange(0, 100);
    progressBar->hide();
    statusLayout->addWidget(progressBar);
    addRow(QStringLiteral("当前状态:"), statusBox);

    createVersionBox = new QComboBox(body);
    createVersionBox->setFixedHeight(22);
    createVersionBox->addItems({QStringLiteral("是"), QStringLiteral("否")});
    addRow(QStringLiteral("是否创建新版本:"), createVersionBox);
    descEdit = new QPlainTextEdit(body);
    descEdit->setPlaceholderText(QStringLiteral("选填"));
    addRow(QStringLiteral("版本描述:"), descEdit);

    actionButton = new QPushButton(kStart, body);
    actionButton->setFixedSize(76, 24);
    actionButton->setCursor(Qt::PointingHandCursor);
    actionButton->setStyleSheet(DialogStyle::buttonStyle() +
                                QLatin1String(DialogStyle::disabledLook));
    QPushButton *cancel = DialogStyle::makeButton(QStringLiteral("取消"), body);
    cancel->setFixedSize(64, 24);
    // Enter never discards an edit: neither button is the dialog's default.
    for (QPushButton *button : {actionButton, cancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    cancelButton = cancel;
    errorLabel = DialogStyle::addMessageRow(layout, body, {actionButton, cancel});

    connect(actionButton, &QPushButton::clicked, this, &DEditFile::startEdit);
    connect(cancel, &QPushButton::clicked, this, &DEditFile::reject);
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &DEditFile::showProgress);
    timer->start(150);
}

DEditFile::~DEditFile()
{
    progress->cancel();
    workers.waitAll();
    delete progress;
}

QString DEditFile::workingCopyPath(const QVariantMap &item)
{
    const QString folder = GCore::cacheDir() + QStringLiteral("/edit/") +
                           safeFileName(item.value(QStringLiteral("fileId")).toString());
    return folder + QLatin1Char('/') +
           safeFileName(item.value(QStringLiteral("fileName")).toString());
}

void DEditFile::sendLock(bool lock, std::function<void(const QVariantMap &reply)> done)
{
    GCore *core = GCore::instance();
    const FormParams form{
        {QStringLiteral("token"), core->token()},
        {QStringLiteral("fileId"), item.value(QStringLiteral("fileId")).toString()},
        {QStringLiteral("type"), lock ? QStringLiteral("1") : QStringLiteral("0")}};
    setWaiting(true, {actionButton, cancelButton});
    HttpThread::post(core->serverUrl() + QStringLiteral("/api/file/lock.jf"), form, this,
                     [this, done = std::move(done)](const QVariantMap &reply) {
                         setWaiting(false, {actionButton, cancelButton});
                         done(reply);
                     });
}

void DEditFile::unlock(std::function<void()> then)
{
    // Only a lock this dialog took is released: another user's lock is not
    // ours to lift (an administrator's request would lift it).
    if (!lockHeld) {
        then();
        return;
    }
    sendLock(false, [this, then = std::move(then)](const QVariantMap &reply) {
        if (isSuccess(reply))
            lockHeld = false;
        else
            qDebug() << __FILE__ << __LINE__ << "unlock refused" << reply;
        then();
    });
}

void DEditFile::startEdit()
{
    if (actionButton->text() == kFinish) {
        finishEdit();
        return;
    }
    if (transferring || isWaiting())
        return;
    sendLock(true, [this](const QVariantMap &reply) { lockReplied(reply); });
}

void DEditFile::lockReplied(const QVariantMap &reply)
{
    if (!isSuccess(reply)) {
        // Someone else holds the lock (the message names the holder), or the
        // server cannot be reached: nothing is fetched and no upload offered.
        const QString msg = reply.value(QStringLiteral("msg")).toString();
        statusLabel->setText(msg.isEmpty() ? QStringLiteral("无法锁定文件") : msg);
        return;
    }
    lockHeld = true;
    actionButton->setText(kFinish);
    actionButton->setEnabled(false);
    errorLabel->showMessage(QStringLiteral("文件在服务器已被锁定，请尽快完成编辑"), 0);

    QDir().mkpath(QFileInfo(localPath).absolutePath());
    GCore *core = GCore::instance();
    progress->downloadTotal = item.value(QStringLiteral("length")).toDouble();
    progress->downloaded = 0;
    progress->running = true;
    auto *thread = new DownloadThread(
        core->serverUrl() + QStringLiteral("/api/file/download.jf"),
        {{QStringLiteral("token"), core->token()},
         {QStringLiteral("fileIds"), item.value(QStringLiteral("fileId")).toString()}},
        localPath, progress);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &DownloadThread::fileFinished, this, &DEditFile::downloadFinished);
    connect(thread, &DownloadThread::downloadTerminated, this, &DEditFile::downloadTerminated);
    phase = 1;
    transferring = true;
    workers.start(thread);
}

void DEditFile::downloadFailed()
{
    unlock([this] {
        statusLabel->setText(QStringLiteral("下载出错"));
        errorLabel->clearMessage();
        actionButton->setEnabled(true);
        actionButton->setText(kStart);
        progressBar->hide();
        phase = 0;
    });
}

void DEditFile::downloadFinished(QString tempPath)
{
    transferring = false;
    if (closing) {
        if (!tempPath.isEmpty())
            QFile::remove(tempPath);
        return;
    }
    bool refused = tempPath.isEmpty() || HttpCurl::isServerRefusalFile(tempPath);
    // The earlier working copy is replaced only by a complete download.
    if (!refused) {
        QFile::remove(localPath);
        refused = !QFile::rename(tempPath, localPath);
    }
    if (refused) {
        if (!tempPath.isEmpty())
            QFile::remove(tempPath);
        downloadFailed();
        return;
    }
    const QFileInfo copy(localPath);
    fetchedSize = copy.size();
    fetchedTime = copy.lastModified();
    progressBar->hide();
    phase = 0;
    statusLabel->setText(kStart);
    actionButton->setEnabled(true);
    const QString path = localPath;
    QTimer::singleShot(0, this, [this, path] {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            errorLabel->showMessage(
                QStringLiteral("无法打开文件，请手动打开：%1").arg(QDir::toNativeSeparators(path)),
                0);
    });
}

void DEditFile::downloadTerminated()
{
    transferring = false;
}

void DEditFile::finishEdit()
{
    if (transferring)
        return; // one upload at a time
    const QFileInfo copy(localPath);
    if (!copy.isFile()) {
        QMessageBox::warning(this, QStringLiteral("操作出错"),
                             QStringLiteral("当前编辑的文件不存在"), QMessageBox::Ok);
        return;
    }
    if (copy.size() == fetchedSize && copy.lastModified() == fetchedTime) {
        const auto answer =
            QMessageBox::question(this, QStringLiteral("文件未修改"),
                                  QStringLiteral("文件下载后没有修改，是否仍然上传为新的版本？"),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }
    GCore *core = GCore::instance();
    const FormParams form{
        {QStringLiteral("token"), core->token()},
        {QStringLiteral("fileId"), item.value(QStringLiteral("fileId")).toString()},
        {QStringLiteral("versionDesp"), descEdit->toPlainText()},
        {QStringLiteral("isCreateFile"),
         createVersionBox->currentIndex() == 0 ? QStringLiteral("1") : QStringLiteral("0")}};
    progress->uploadTotal = double(copy.size());
    progress->uploaded = 0;
    progress->running = true;
    auto *thread =
        new UploadThread(core->serverUrl() + QStringLiteral("/api/file/save-update-file.jf"), form,
                         QStringLiteral("file"), localPath, progress);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &UploadThread::uploadFinished, this, &DEditFile::uploadFinished);
    connect(thread, &UploadThread::uploadTerminated, this, &DEditFile::uploadTerminated);
    phase = 2;
    transferring = true;
    actionButton->setEnabled(false);
    workers.start(thread);
}

void DEditFile::uploadFinished(QVariantMap map)
{
    transferring = false;
    progress->uploaded = 0;
    if (closing)
        return;
    actionButton->setEnabled(true);
    if (isSuccess(map)) {
        unlock([this] {
            QMessageBox::information(this, QStringLiteral("编辑成功"),
                                     QStringLiteral("文件已编辑成功"), QMessageBox::Ok);
            accept();
        });
        return;
    }
    const QString msg = map.value(QStringLiteral("msg")).toString();
    errorLabel->showMessage((msg.isEmpty() ? QStringLiteral("上传出错") : msg) +
                            QStringLiteral(",请重试"));
}

void DEditFile::uploadTerminated()
{
    transferring = false;
    progress->uploaded = 0;
}

void DEditFile::showProgress()
{
    const bool fetching = phase == 1;
    if (phase != 1 && phase != 2) {
        progressBar->hide();
        return;
    }
    const double total = fetching ? progress->downloadTotal : progress->uploadTotal;
    const double done = fetching ? progress->downloaded : progress->uploaded;
    statusLabel->setText((fetching ? QStringLiteral("下载中(%1)") : QStringLiteral("上传中(%1)"))
                             .arg(HttpCurl::formatSize(qint64(total))));
    progressBar->setValue(TransferProgress::percent(done, total));
    progressBar->show();
}

bool DEditFile::discardConfirmed()
{
    // Before the download there is nothing of the user's to lose.
    if (!lockHeld || fetchedSize < 0)
        return true;
    return QMessageBox::question(this, QStringLiteral("放弃编辑"),
                                 QStringLiteral("放弃编辑？本地修改不会上传，文件锁将被释放。"),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void DEditFile::reject()
{
    if (isWaiting() || !discardConfirmed())
        return;
    progress->cancel();
    closing = true;
    unlock([this] { FramelessDialog::reject(); });
}
