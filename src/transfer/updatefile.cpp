#include "transfer/updatefile.h"

#include "core/gcore.h"
#include "core/httpcurl.h"
#include "core/uploadthread.h"
#include "widgets/dialogstyle.h"
#include "widgets/messagelabel.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMutexLocker>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kCaptionWidth = 90;
const QString kLongestCaption = QStringLiteral("是否创建新版本:");

bool isSuccess(const QVariantMap &map)
{
    return !map.isEmpty() && map.value(QStringLiteral("code")).toString() == QLatin1String("0");
}

} // namespace

UpdateFile::UpdateFile(const QVariantMap &item, QWidget *parent, int type)
    : FramelessDialog(parent, QColor(QLatin1String(DialogStyle::titleColor)), true), item(item),
      progress(new TransferProgress), type(type)
{
    resize(400, 50);
    initTitleBar();
    titleLabel->setText(QStringLiteral("上传更新"));

    auto *body = new QWidget(contentWidget);
    addContentWidget(body);
    // At least 90 wide, and wide enough for the longest caption in this font.
    const int captionWidth =
        qMax(kCaptionWidth, body->fontMetrics().horizontalAdvance(kLongestCaption) + 4);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(9, 9, 22, 9);
    layout->setSpacing(7);
    const bool library = type != 1;
    auto addRow = [&](const QString &caption, QWidget *field) {
        auto *row = new QHBoxLayout;
        QLabel *label =
            DialogStyle::makeCaption(caption, captionWidth, Qt::AlignLeft | Qt::AlignVCenter, body);
        // Beside the first line of a taller field.
        label->setFixedHeight(22);
        row->addWidget(label, 0, Qt::AlignTop);
        row->addWidget(field);
        layout->addLayout(row);
        return label;
    };

    addRow(QStringLiteral("文件名称:"),
           DialogStyle::valueLabel(item.value(QStringLiteral("fileName")).toString(), body));
    QLabel *versionValue =
        DialogStyle::valueLabel(item.value(QStringLiteral("version")).toString(), body);
    QLabel *versionCaption = addRow(QStringLiteral("当前版本:"), versionValue);

    // The chosen file: the add button, and under it the box with the name,
    // the cancel button and the progress bar.
    auto *fileColumn = new QWidget(body);
    auto *fileLayout = new QVBoxLayout(fileColumn);
    fileLayout->setContentsMargins(0, 0, 0, 0);
    fileLayout->setSpacing(4);
    addButton = new QPushButton(QStringLiteral("添加文件"), fileColumn);
    addButton->setFixedSize(70, 22);
    addButton->setCursor(Qt::PointingHandCursor);
    addButton->setStyleSheet(QStringLiteral(
        ".QPushButton {border-radius:0px;border:0px;background:#1b86e0;color:#fff;"
        "font-weight:bold;font-size:10pt;}.QPushButton:hover {background:#1d93ec;}"));
    fileLayout->addWidget(addButton, 0, Qt::AlignLeft);
    fileBox = new QWidget(fileColumn);
    fileBox->setStyleSheet(QStringLiteral(".QWidget {background:#f2f2f2;}"));
    auto *boxLayout = new QVBoxLayout(fileBox);
    boxLayout->setContentsMargins(4, 4, 4, 4);
    boxLayout->setSpacing(2);
    auto *nameRow = new QHBoxLayout;
    fileLabel = new QLabel(fileBox);
    fileLabel->setTextFormat(Qt::PlainText);
    fileLabel->setStyleSheet(QStringLiteral(".QLabel {color:#666;}"));
    nameRow->addWidget(fileLabel);
    nameRow->addStretch();
    auto *cancelButton = new QPushButton(fileBox);
    cancelButton->setObjectName(QStringLiteral("cancelFile"));
    cancelButton->setFixedSize(16, 16);
    cancelButton->setCursor(Qt::PointingHandCursor);
    cancelButton->setStyleSheet(QStringLiteral(
        ".QPushButton {border:0px;background:url(:/images/main/uploadify-cancel.png)}"));
    nameRow->addWidget(cancelButton);
    boxLayout->addLayout(nameRow);
    progressBar = new QProgressBar(fileBox);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    boxLayout->addWidget(progressBar);
    fileLayout->addWidget(fileBox);
    fileBox->hide();
    addRow(QStringLiteral("选择附件:"), fileColumn);

    createVersionBox = new QComboBox(body);
    createVersionBox->setFixedHeight(22);
    createVersionBox->addItems({QStringLiteral("是"), QStringLiteral("否")});
    QLabel *createCaption = addRow(QStringLiteral("是否创建新版本:"), createVersionBox);
    descEdit = new QPlainTextEdit(body);
    descEdit->setPlaceholderText(QStringLiteral("选填"));
    QLabel *descCaption = addRow(QStringLiteral("版本描述:"), descEdit);
    for (QWidget *w :
         {static_cast<QWidget *>(versionCaption), static_cast<QWidget *>(versionValue),
          static_cast<QWidget *>(createCaption), static_cast<QWidget *>(createVersionBox),
          static_cast<QWidget *>(descCaption), static_cast<QWidget *>(descEdit)})
        w->setVisible(library);

    saveButton = DialogStyle::makeButton(QStringLiteral("保存"), body);
    QPushButton *close = DialogStyle::makeButton(QStringLiteral("取消"), body);
    for (QPushButton *button : {saveButton, close})
        button->setFixedSize(64, 24);
    errorLabel = DialogStyle::addMessageRow(layout, body, {saveButton, close});
    adjustSize();

    connect(addButton, &QPushButton::clicked, this, &UpdateFile::addFile);
    connect(cancelButton, &QPushButton::clicked, this, &UpdateFile::cancelFile);
    connect(saveButton, &QPushButton::clicked, this, &UpdateFile::uploadFile);
    connect(close, &QPushButton::clicked, this, &UpdateFile::reject);

    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &UpdateFile::showProgress);
    timer->start(250);
}

UpdateFile::~UpdateFile()
{
    progress->cancel();
    workers.waitAll();
    delete progress;
}

void UpdateFile::addFile()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("请选择要添加的文件"),
                                                      QString(), QString());
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    fileLabel->setText(
        QStringLiteral("%1(%2)").arg(info.fileName(), HttpCurl::formatSize(info.size())));
    fileBox->show();
    filePath = path;
}

void UpdateFile::uploadFile()
{
    if (uploading)
        return;
    QString problem;
    if (filePath.isEmpty())
        problem = QStringLiteral("请添加文件");
    else if (!QFileInfo(filePath).isFile())
        problem = QStringLiteral("所选文件不存在");
    else if (QFileInfo(filePath).suffix().toLower() !=
             QFileInfo(item.value(QStringLiteral("fileName")).toString()).suffix().toLower())
        problem = QStringLiteral("添加文件与原文件扩展名不一致");
    if (!problem.isEmpty()) {
        errorLabel->showMessage(problem);
        return;
    }
    setInputsEnabled(false);

    GCore *core = GCore::instance();
    FormParams form{{QStringLiteral("token"), core->token()},
                    {QStringLiteral("fileId"), item.value(QStringLiteral("fileId")).toString()}};
    QString url = core->serverUrl();
    if (type == 1) {
        url += QStringLiteral("/api/netdisk/save-update-file.jf");
    } else {
        url += QStringLiteral("/api/file/save-update-file.jf");
        form.insert(QStringLiteral("versionDesp"), descEdit->toPlainText());
        form.insert(QStringLiteral("isCreateFile"), createVersionBox->currentIndex() == 0
                                                        ? QStringLiteral("1")
                                                        : QStringLiteral("0"));
    }
    progress->uploadTotal = double(QFileInfo(filePath).size());
    progress->uploaded = 0;
    progress->running = true;
    // The file goes from disk in pieces; it is never read whole into memory.
    auto *thread = new UploadThread(url, form, QStringLiteral("file"), filePath, progress);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &UploadThread::uploadFinished, this, &UpdateFile::uploadFinished);
    connect(thread, &UploadThread::uploadTerminated2, this, &UpdateFile::uploadTerminated);
    uploading = true;
    workers.start(thread);
}

void UpdateFile::cancelFile()
{
    if (uploading) {
        progress->cancel();
        return;
    }
    dropFile();
}

void UpdateFile::dropFile()
{
    fileLabel->clear();
    filePath.clear();
    fileBox->hide();
    setInputsEnabled(true);
}

void UpdateFile::setInputsEnabled(bool enabled)
{
    addButton->setEnabled(enabled);
    createVersionBox->setEnabled(enabled);
    descEdit->setEnabled(enabled);
}

void UpdateFile::uploadFinished(QVariantMap map)
{
    uploading = false;
    progress->uploaded = 0;
    if (!sender())
        return;
    QMutexLocker locker(&mutex);
    if (!isSuccess(map)) {
        const QString msg = map.value(QStringLiteral("msg")).toString();
        errorLabel->showMessage(msg.isEmpty() ? QStringLiteral("上传出错") : msg);
        // A close asked for meanwhile is honoured now that nothing runs.
        if (closeRequested)
            FramelessDialog::reject();
        return;
    }
    QMessageBox::information(this, QStringLiteral("上传成功"), QStringLiteral("上传更新成功"),
                             QMessageBox::Ok);
    accept();
}

void UpdateFile::uploadTerminated(QVariantMap map)
{
    uploading = false;
    progress->uploaded = 0;
    if (!sender())
        return;
    QMutexLocker locker(&mutex);
    if (!isSuccess(map)) {
        dropFile();
        if (closeRequested)
            FramelessDialog::reject();
        return;
    }
    // The server had the whole file before the cancel took effect.
    QMessageBox::information(this, QStringLiteral("上传成功"), QStringLiteral("更新上传成功"),
                             QMessageBox::Ok);
    accept();
}

void UpdateFile::showProgress()
{
    progressBar->setValue(TransferProgress::percent(progress->uploaded, progress->uploadTotal));
}

void UpdateFile::reject()
{
    if (!uploading) {
        FramelessDialog::reject();
        return;
    }
    closeRequested = true;
    progress->cancel();
}
