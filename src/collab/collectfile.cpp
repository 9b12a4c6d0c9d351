#include "collab/collectfile.h"

#include "collab/dialogtable.h"
#include "core/gcore.h"
#include "core/httpthread.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

void warn(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("操作出错"), text, QMessageBox::Ok,
                    parent);
    // The server's message is data.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

CollectFile::CollectFile(const QString &fileId, const QString &fileName, QWidget *parent)
    : CollabDialog({{{QStringLiteral("fileId"), fileId}, {QStringLiteral("fileName"), fileName}}},
                   parent, QStringLiteral("收藏文件：%1").arg(fileName), QSize(400, 300),
                   QMargins(9, 9, 9, 9), 9, 70),
      fileId(fileId)
{
    titleLabel->setTextFormat(Qt::PlainText);

    auto *caption = new QLabel(QStringLiteral("收藏分类名称："), body);
    caption->setStyleSheet(QStringLiteral("font-weight:bold;color:#666;"));
    bodyLayout->addWidget(caption);
    categoryTable = new DialogTable(body);
    // Unlike a file list, this table is a choice: the chosen row shows.
    categoryTable->setStyleSheet(
        categoryTable->styleSheet() +
        QStringLiteral("QTableWidget::item:selected {background-color:#d8ecfc;color:#333;}"));
    bodyLayout->addWidget(categoryTable);
    addButtonRow(QStringLiteral("保存"), 18);
    connect(saveButton, &QPushButton::clicked, this, &CollectFile::accept);

    GCore *core = GCore::instance();
    auto *thread = new HttpThread(core->serverUrl() + QStringLiteral("/api/file/fav-cat-list.jf"),
                                  {{QStringLiteral("token"), core->token()}});
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &HttpThread::receiveJson, this, &CollectFile::receiveData);
    thread->start(QThread::InheritPriority);
}

void CollectFile::receiveData(QVariantMap map)
{
    if (!isSuccess(map))
        return;
    const QVariantList categories = map.value(QStringLiteral("data")).toList();
    categoryTable->setRowCount(categories.size());
    for (int row = 0; row < categories.size(); ++row) {
        const QVariantMap category = categories.at(row).toMap();
        auto *item = new QTableWidgetItem(category.value(QStringLiteral("name")).toString());
        item->setData(Qt::UserRole + 1, category.value(QStringLiteral("catid")).toString());
        categoryTable->setItem(row, 0, item);
    }
}

void CollectFile::accept()
{
    if (isBusy())
        return;
    // The highlighted row: a row that is only current (focus arriving in the
    // table) is not a choice the user can see.
    const QList<QTableWidgetItem *> chosen = categoryTable->selectedItems();
    const QString catId =
        chosen.isEmpty() ? QString() : chosen.first()->data(Qt::UserRole + 1).toString();
    if (catId.isEmpty()) {
        warn(this, QStringLiteral("请选择分类"));
        return;
    }
    const QVariantMap reply =
        post(QStringLiteral("/api/file/add-fav.jf"),
             {{QStringLiteral("fileId"), fileId}, {QStringLiteral("catId"), catId}});
    if (isSuccess(reply)) {
        FramelessDialog::accept();
        return;
    }
    warn(this, refusalText(reply, QStringLiteral("无法收藏")));
}
