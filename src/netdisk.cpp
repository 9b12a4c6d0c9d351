#include "netdisk.h"

#include "dfoldertree.h"
#include "droptablewidget.h"
#include "topbanner.h"
#include "treeviewmodel.h"
#include "utils/gcore.h"

#include <QCursor>
#include <QDebug>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

namespace {

// A folder id that no library folder has: the library's top node "0" is not
// the net disk's top node "0", so picking it must never count as "already there".
const QString kNotALibraryFolder = QStringLiteral("-12");

} // namespace

NetDisk::NetDisk(QWidget *parent) : DocumentBrowser(parent, 1, Columns{5, -1, 2, 3, 4})
{
    buildLayout(nullptr, 230);
    const QList<QPushButton *> buttons = topBanner->buttons();
    const QList<void (NetDisk::*)()> actions{
        &NetDisk::addFolder, &NetDisk::uploadFile, &NetDisk::downloadFile, &NetDisk::shareItems,
        &NetDisk::copyItems, &NetDisk::moveItems,  &NetDisk::deleteItems};
    for (int i = 0; i < buttons.size() && i < actions.size(); ++i)
        connect(buttons.at(i), &QPushButton::clicked, this, actions.at(i));

    table->setColumnCount(5);
    table->setHorizontalHeaderLabels({QStringLiteral("名称"), QStringLiteral("修改日期"),
                                      QStringLiteral("文件类型"), QStringLiteral("创建者"),
                                      QStringLiteral("大小")});
    const int widths[] = {300, 150, 90, 90, 90};
    for (int i = 0; i < 5; ++i)
        table->setColumnWidth(i, widths[i]);

    GCore::instance()->setNetDisk(this);
    reFreshNav();
    QTimer::singleShot(50, this, [this] { requestFileList(QString(), false); });
}

NetDisk::~NetDisk()
{
    if (GCore::instance()->netDisk() == this)
        GCore::instance()->setNetDisk(nullptr);
}

QString NetDisk::rootName() const
{
    return QStringLiteral("我的网盘");
}

bool NetDisk::mayOpen(const QVariantMap &) const
{
    return true;
}

bool NetDisk::mayDownload(const QVariantMap &) const
{
    return true;
}

void NetDisk::tableRightClicked(QModelIndex index)
{
    if (QGuiApplication::mouseButtons() != Qt::RightButton || !index.isValid())
        return;
    const int row = index.row();
    if (!table->item(row, 0))
        return;
    const QVariantMap entry = entryOfRow(row);
    const int fileType = entry.value(QStringLiteral("fileType")).toInt();
    const QString fileId = entry.value(QStringLiteral("fileId")).toString();

    QMenu menu(this);
    QAction *preview = nullptr, *open = nullptr, *download = nullptr, *update = nullptr;
    if (fileType == 2)
        preview = menu.addAction(QStringLiteral("预览"));
    if (fileType == 1)
        open = menu.addAction(QStringLiteral("打开"));
    if (fileType == 2) {
        download = menu.addAction(QStringLiteral("下载"));
        update = menu.addAction(QStringLiteral("上传更新"));
    }
    QAction *rename = menu.addAction(QStringLiteral("重命名"));
    QAction *toLibrary = menu.addAction(QStringLiteral("复制到文档"));
    QAction *move = menu.addAction(QStringLiteral("移动"));
    QAction *remove = menu.addAction(QStringLiteral("删除"));
    QAction *share = menu.addAction(QStringLiteral("共享"));
    QAction *link = menu.addAction(QStringLiteral("外部链接"));

    QAction *chosen = menu.exec(QCursor::pos());
    if (!chosen)
        return;
    if (chosen == preview) {
        openRowLater(entry);
    } else if (chosen == download) {
        downloadFile();
    } else if (chosen == rename) {
        renameEntry(entry);
    } else if (chosen == move) {
        moveItems();
    } else if (chosen == remove) {
        deleteItems();
    } else if (chosen == share) {
        shareItems();
    } else if (chosen == link) {
        qDebug() << __FILE__ << __LINE__ << "external links are not available yet";
    } else if (chosen == open) {
        openFolder(fileId);
    } else if (chosen == toLibrary) {
        copytoDocument();
    } else if (chosen == update) {
        updateFile(entry);
    }
}

void NetDisk::copyItems()
{
    const QStringList ids = selectedIds();
    if (ids.isEmpty())
        return;
    DFolderTree dialog(ids, 1, kNotALibraryFolder, this);
    dialog.exec();
}

// Moving net disk items and copying them through the move-to-library dialog,
// and sharing them, need dialogs the client does not have yet; the entry
// points stay in place and do nothing meanwhile.
void NetDisk::moveItems()
{
    qDebug() << __FILE__ << __LINE__ << "moving net disk items is not available yet";
}

void NetDisk::shareItems()
{
    qDebug() << __FILE__ << __LINE__ << "net disk sharing is not available yet";
}

void NetDisk::copytoDocument()
{
    qDebug() << __FILE__ << __LINE__ << "the move-to-library dialog is not available yet";
}
