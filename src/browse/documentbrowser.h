#pragma once

#include "core/httpcurl.h"

#include <QList>
#include <QMap>
#include <QModelIndex>
#include <QMutex>
#include <QPair>
#include <QSet>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>

class DownloadThread;
class DropTableWidget;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableWidgetItem;
class QTimeZone;
class QHBoxLayout;
class TopBanner;
class TreeView;
class TreeViewModel;
struct TransferProgress;

// What the company library and the personal net disk have in common: a
// toolbar over a folder tree and a file table with a breadcrumb and a quick
// filter, the listing of one folder, every way of moving between folders,
// opening files through the local cache, downloads through the transfer panel,
// uploads, new folder, rename and delete. The two panels differ in their
// server paths, columns, menus and permission test, which the subclasses add.
class DocumentBrowser : public QWidget
{
    Q_OBJECT
public:
    ~DocumentBrowser() override;

    // Area code: 0 the company library, 1 the net disk.
    int area() const { return m_area; }

    // Lists the folder `parentId`. Without `force` nothing happens when that
    // folder is listed already. `selectFileId` names a row to select once the
    // reply is shown.
    // When the server refuses the folder, `fallbackFolderId` (if given) is
    // listed instead, provided it holds `selectFileId`.
    void requestFileList(const QString &parentId, bool force,
                         const QString &selectFileId = QString(),
                         const QString &fallbackFolderId = QString());
    // Lists the current folder again (the main window calls it on switching here).
    void reloadList();
    // Drops the reply of a listing still on its way, for a table that now
    // shows something else.
    void forgetPendingListing() { ++listSerial; }
    // Places the reload button, the error labels (and the tree's loading animation).
    virtual void placeOverlays();

    // Opens one file: through the cached copy when it is fresh, otherwise
    // after streaming it into the cache with its progress in `dateItem`.
    void openFile(const QVariantMap &entry, QTableWidgetItem *dateItem);

    // Fills the table from the entries of a listing (icons and texts), and
    // selects the row of `selectFileId` when given.
    void fillTable(const QVariantList &entries, const QString &selectFileId = QString());

    // Entries and ids of the selected rows, top to bottom.
    QList<QVariantMap> selectedEntries() const;
    QStringList selectedIds() const;

    // True while a rename or delete request is out: the inputs that start
    // either are disabled until its answer.
    bool isChanging() const { return changing; }

    // The cache file of an opened file: a folder per MD5 (32 hex digits, else
    // the result is empty) holding the file under the entry's own file name,
    // made safe, so the program that opens it shows that name.
    static QString cachePath(const QString &md5, const QVariantMap &entry);

    TopBanner *topBanner = nullptr;
    DropTableWidget *table = nullptr;
    QWidget *navWidget = nullptr;
    QWidget *crumbWidget = nullptr;
    TreeViewModel *treeModel = nullptr;
    TreeView *treeView = nullptr;
    QString currentFolderId = QStringLiteral("0");
    QPushButton *reloadButton = nullptr;
    QList<QPair<QString, QString>> pathList;
    QLineEdit *filterEdit = nullptr;
    QLabel *tableErrorLabel = nullptr;
    QLabel *treeErrorLabel = nullptr;

    QMap<QString, TransferProgress *> openProgress;
    QMap<QString, DownloadThread *> openThreads;
    QMap<QString, QTableWidgetItem *> openItems;
    QMutex mutex;

public slots:
    virtual void downloadFile();
    void receiveData(QVariantMap map);
    void reFreshNav();
    void navBtClicked();
    void tableDoubleClicked(QModelIndex index);
    virtual void tableRightClicked(QModelIndex index) = 0;
    void checkDownloadProgress();
    void downloadFinished(QString tempPath);
    void downloadTerminated();
    void addFolder();
    void searchTable(QString key);
    virtual void copyItems();
    virtual void moveItems();
    void deleteItems();
    virtual void shareItems();
    void publishItems();
    void authItems();
    void resizeTreeView(QModelIndex index);
    void uploadFile();
    void updateFile(QVariantMap entry);
    void dropFiles(QStringList files);

protected:
    // Which columns of a row show what; -1 for a column the panel lacks.
    struct Columns
    {
        int count;
        int versionDesc;
        int fileType;
        int user;
        int size;
    };

    DocumentBrowser(QWidget *parent, int area, const Columns &columns);

    // Builds the tree pane and the list pane below the toolbar. `searchButton`
    // (may be null) goes at the right of the navigation bar.
    void buildLayout(QWidget *searchButton, int filterWidth);
    QLabel *makeErrorLabel(QWidget *parent, bool forTree);
    // Shows the table's error label with `reason` before its "请重试".
    void showTableError(const QString &reason);
    // The table's columns: their labels and the widths of the first ones. The
    // name column takes the room the others leave, so all fit the table.
    void setupColumns(const QStringList &labels, const QList<int> &widths);
    void resizeEvent(QResizeEvent *event) override;

    // The first breadcrumb name: "公司文档" or "我的网盘".
    virtual QString rootName() const = 0;
    // May the user open this file by double click (the permission test)?
    virtual bool mayOpen(const QVariantMap &entry) const = 0;
    // May this selected entry be downloaded into a folder?
    virtual bool mayDownload(const QVariantMap &entry) const = 0;
    // May this selected entry be deleted?
    virtual bool mayDelete(const QVariantMap &entry) const = 0;
    // May this entry be renamed (F2 asks the same as the menu)?
    virtual bool mayRename(const QVariantMap &entry) const
    {
        Q_UNUSED(entry)
        return true;
    }
    // May this selected entry be published or given rights ("完全控制")?
    virtual bool mayManage(const QVariantMap &entry) const
    {
        Q_UNUSED(entry)
        return true;
    }
    // Keys of the file table: F2 renames the selected row, Delete deletes
    // the selection, Enter opens the current row, as the menu entries do.
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Called when a listing starts, before the request goes out.
    virtual void prepareListing() {}
    // False while the table shows something other than the listing of
    // `currentFolderId` (search hits): asking for that folder then lists it.
    virtual bool showsListing() const { return true; }
    // Repeats the progress of an open in the row's own view of it (the search
    // hits show it after the name); -1 takes it away.
    virtual void showOpenPercent(int row, int percent)
    {
        Q_UNUSED(row)
        Q_UNUSED(percent)
    }

    QString apiPath(const QString &operation) const;
    // The server folder that new folders and dropped folders go into.
    QString folderForNewItems() const;
    QVariantMap entryOfRow(int row) const;
    // Runs a dialog on the entries of the selected rows and returns its
    // result; with none selected, nothing runs and the result is 0 (rejected).
    template <typename Dialog> int runWithSelection()
    {
        const QList<QVariantMap> entries = selectedEntries();
        if (entries.isEmpty())
            return 0;
        Dialog dialog(entries, this);
        return dialog.exec();
    }
    // Lists a folder chosen in the table or its menu and shows it in the tree
    // and the breadcrumb; `name` names it there when the tree does not hold
    // it (a folder inside a colleague's shared folder).
    void openFolder(const QString &fileId, const QString &name = QString());
    void renameEntry(const QVariantMap &entry);
    // Disables the menu's "重命名" and "删除" (in its submenus too) while a
    // rename or delete is out.
    void disableWhileChanging(QMenu *menu) const;
    // Schedules openFile for a row (the slot returns before the download starts).
    void openRowLater(const QVariantMap &entry);
    // The date text of an entry, as the table shows it.
    static QString dateText(const QVariantMap &entry);
    static QString dateText(const QVariantMap &entry, const QTimeZone &zone);
    void restoreOpenItem(const QString &fileId, const QVariantMap &entry);
    // Makes the tree node of `fileId` current; false when the tree has none.
    bool selectInTree(const QString &fileId);
    // A grey note after the breadcrumb's last folder (what the table shows
    // instead of that folder's listing); empty takes it away.
    void setCrumbNote(const QString &note);
    // The tree's current node and the breadcrumb follow the listed folder,
    // when the tree holds it (after a rebuild of the tree, or a jump to a folder).
    void followListedFolder();

    const Columns columns;

private:
    using FolderPath = QList<QPair<QString, QString>>;

    void setupTable();
    // F2: renames the one selected row, or says why it may not.
    void renameSelected();
    // Names the selected entries that `may` refuses, under `message` ("%1"
    // for the names), before a dialog opens; true when there were any.
    bool refuseSelected(bool (DocumentBrowser::*may)(const QVariantMap &) const,
                        const QString &message);
    // Shows the server's refusal of a folder over the empty table.
    void refuseListing(const QString &reason);
    static bool containsFile(const QVariantList &entries, const QString &fileId);
    // The rest of openFile once the server has told the file's MD5.
    void openChecked(const QVariantMap &entry, QTableWidgetItem *dateItem,
                     const QVariantMap &reply);
    // The date item of the row that lists `fileId`, or null.
    QTableWidgetItem *dateItemOf(const QString &fileId) const;
    void setChanging(bool on);
    // Sends a rename or delete on a worker with the change inputs disabled;
    // lists the folder again when it succeeds, else shows the refusal.
    void sendChange(const QString &url, const FormParams &params, const QString &failure);
    // (id, name) of the folders from the top-level node of the tree down to
    // `index`; the area's top folder when there is no node.
    FolderPath treePath(QModelIndex index) const;
    // Rebuilds the breadcrumb for `path` (the top-level folder first).
    void setCrumbs(const FolderPath &path);

    int m_area = 0;
    // The first folder of the breadcrumb: the area's top folder, or a share folder.
    QPair<QString, QString> crumbTop;
    QString crumbNote;
    // Numbers the listing requests, so a reply that arrives after the user
    // has moved on is dropped instead of replacing the newer listing.
    quint64 listSerial = 0;
    // The last folder whose listing the server gave: where the breadcrumb
    // and "请重试" go back to when a folder is refused.
    QString listedFolderId;
    // The refusal that made the next listing the fallback of a refused
    // folder: shown if that listing does not hold the file either.
    QString fallbackRefusal;
    // Counts the changes that delete the table's items, so an answer that
    // arrives later knows whether an item it was given still exists.
    quint64 tableGeneration = 0;
    // Files whose MD5 check is out: opening one again waits for it.
    QSet<QString> openChecks;
    bool changing = false;
};
