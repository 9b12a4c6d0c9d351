#include "transfer/ddropfolder.h"

#include "transfer/addfolderthread.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

DDropFolder::DDropFolder(const QStringList &folders, const QString &parentId, int type,
                         QVariantMap *result, QWidget *parent)
    : QDialog(parent), folders(folders), parentId(parentId), type(type), result(result)
{
    setWindowTitle(QStringLiteral("上传确认"));
    {
        // The platform's own question icon, as a question box shows it.
        QMessageBox box(QMessageBox::Question, QString(), QString());
        icon = box.iconPixmap();
    }

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *panel = new QWidget(this);
    panel->setStyleSheet(QStringLiteral(".QWidget {background:#fff;}"));
    auto *panelLayout = new QHBoxLayout(panel);
    panelLayout->setContentsMargins(9, 12, 9, 12);
    panelLayout->setSpacing(12);
    auto *iconLabel = new QLabel(panel);
    iconLabel->setPixmap(icon);
    iconLabel->setFixedSize(icon.size());
    panelLayout->addWidget(iconLabel);
    auto *question = new QLabel(QStringLiteral("是否将文件夹上传到当前路径？"), panel);
    question->setFixedHeight(22);
    question->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    panelLayout->addWidget(question);
    layout->addWidget(panel);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(9, 9, 9, 9);
    buttonRow->setSpacing(9);
    statusLabel = new QLabel(this);
    statusLabel->setStyleSheet(QStringLiteral(".QLabel {color:red}"));
    statusLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    buttonRow->addWidget(statusLabel);
    yesButton = new QPushButton(QStringLiteral("Yes"), this);
    auto *noButton = new QPushButton(QStringLiteral("No"), this);
    buttonRow->addWidget(yesButton);
    buttonRow->addWidget(noButton);
    layout->addLayout(buttonRow);
    connect(yesButton, &QPushButton::clicked, this, &DDropFolder::accept);
    connect(noButton, &QPushButton::clicked, this, &DDropFolder::reject);
    noButton->setDefault(true);
    noButton->setFocus();
}

DDropFolder::~DDropFolder()
{
    // The worker is a child of the dialog: it must end before it is deleted.
    if (thread) {
        thread->stop();
        thread->wait();
    }
}

void DDropFolder::accept()
{
    // A second "Yes" while the folders are made would make them twice.
    if (thread)
        return;
    statusLabel->setText(QStringLiteral("请稍候..."));
    if (folders.isEmpty()) {
        QDialog::accept();
        return;
    }
    yesButton->setEnabled(false);
    creating = true;
    thread = new AddFolderThread(folders.first(), parentId, type, this);
    connect(thread, &AddFolderThread::receiveRes, this, &DDropFolder::receiveRes);
    thread->start(QThread::InheritPriority);
}

void DDropFolder::reject()
{
    if (!creating) {
        QDialog::reject();
        return;
    }
    // No further folder is made; the dialog closes when the worker reports.
    closeRequested = true;
    thread->stop();
}

void DDropFolder::receiveRes(QVariantMap map, int status)
{
    creating = false;
    thread->wait();
    if (closeRequested) {
        QDialog::reject();
        return;
    }
    if (status == -2) {
        QMessageBox::warning(this, QStringLiteral("操作出错"),
                             QStringLiteral("您拖入的文件夹已存在"), QMessageBox::Ok);
        QDialog::reject();
        return;
    }
    if (status != 0) {
        QMessageBox::warning(this, QStringLiteral("操作出错"),
                             QStringLiteral("服务器未能创建文件夹"), QMessageBox::Ok);
        QDialog::reject();
        return;
    }
    if (result)
        *result = map;
    QDialog::accept();
}
