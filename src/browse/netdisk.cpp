#include "browse/netdisk.h"

#include "browse/droptablewidget.h"
#include "browse/topbanner.h"
#include "collab/copytodocument.h"
#include "collab/dexternallink.h"
#include "collab/dnetdiskshare.h"
#include "core/gcore.h"
#include "models/treeviewmodel.h"

#include <QCursor>
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

    setupColumns({QStringLiteral("名称"), QStringLiteral("修改日期"), QStringLiteral("文件类型"),
                  QStringLiteral("创建者"), QStringLiteral("大小")},
                 {300, 150, 90, 90, 90});

    GCore::instance()->setNetDisk(this);
    reFreshNav();
    // The start-up listing gives way to a folder opened meanwhile.
    QTimer::singleShot(50, this, [this] {
        if (currentFolderId == QLatin1String("0"))
            requestFileList(QString(), false);
    });
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

bool NetDisk::mayDelete(const QVariantMap &) const
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
    if (fileType == 2)
        menu.addAction(QStringLiteral("预览"), this, [this, entry] { openRowLater(entry); });
    if (fileType == 1)
        menu.addAction(QStringLiteral("打开"), this, [this, entry, fileId] {
            openFolder(fileId, entry.value(QStringLiteral("fileName")).toString());
        });
    if (fileType == 2) {
        menu.addAction(QStringLiteral("下载"), this, &NetDisk::downloadFile);
        menu.addAction(QStringLiteral("上传更新"), this, [this, entry] { updateFile(entry); });
    }
    menu.addAction(QStringLiteral("重命名"), this, [this, entry] { renameEntry(entry); });
    menu.addAction(QStringLiteral("复制到文档"), this, &NetDisk::copytoDocument);
    menu.addAction(QStringLiteral("移动"), this, &NetDisk::moveItems);
    menu.addAction(QStringLiteral("删除"), this, &NetDisk::deleteItems);
    menu.addAction(QStringLiteral("共享"), this, &NetDisk::shareItems);
    menu.addAction(QStringLiteral("外部链接"), this, [this] { runWithSelection<DExternalLink>(); });
    disableWhileChanging(&menu);
    menu.exec(QCursor::pos());
}

// The toolbar's "复制到文档" and the menu's do the same.
void NetDisk::copyItems()
{
    copytoDocument();
}

void NetDisk::moveItems()
{
    const QStringList ids = selectedIds();
    if (ids.isEmpty())
        return;
    CopytoDocument dialog(ids, 2, currentFolderId, this);
    if (dialog.exec() == QDialog::Accepted)
        requestFileList(currentFolderId, true);
}

void NetDisk::shareItems()
{
    runWithSelection<DNetDiskShare>();
}

void NetDisk::copytoDocument()
{
    const QStringList ids = selectedIds();
    if (ids.isEmpty())
        return;
    CopytoDocument dialog(ids, 1, kNotALibraryFolder, this);
    dialog.exec();
}
