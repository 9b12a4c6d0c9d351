#include "browse/companydocument.h"

#include "browse/droptablewidget.h"
#include "browse/dsearchfulltxt.h"
#include "browse/searchhit.h"
#include "browse/searchhitdelegate.h"
#include "browse/topbanner.h"
#include "collab/collectfile.h"
#include "collab/dexternallink.h"
#include "core/gcore.h"
#include "core/httpthread.h"
#include "core/mainframe.h"
#include "desk/userdesktop.h"
#include "models/treeviewmodel.h"
#include "transfer/deditfile.h"
#include "transfer/dversioncompare.h"
#include "widgets/treeview.h"

#include <QCursor>
#include <QDebug>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMovie>
#include <QMutexLocker>
#include <QPushButton>
#include <QTimer>

namespace {

const QString kAuthList = QStringLiteral("authList");

bool hasLetter(const QVariantMap &entry, const QString &letter)
{
    const QString letters = entry.value(kAuthList).toString();
    return letters.indexOf(letter) >= 0 || letters.indexOf(QLatin1Char('L')) >= 0;
}

} // namespace

CompanyDocument::CompanyDocument(QWidget *parent)
    : DocumentBrowser(parent, 0, Columns{7, 2, 3, 4, 5})
{
    auto *searchButton = new QPushButton(QStringLiteral("高级搜索"), this);
    searchButton->setToolTip(QStringLiteral("点击进入高级搜索"));
    const QPixmap searchPixmap(QStringLiteral(":/images/main/search2.png"));
    searchButton->setIcon(QIcon(searchPixmap));
    searchButton->setIconSize(searchPixmap.size());
    searchButton->setFixedSize(100, 30);
    searchButton->setStyleSheet(
        QStringLiteral(".QPushButton {border-radius:4px;border:0px;background:#0696f5;color:#fff;"
                       "font-size:9pt;text-align:left;padding-left:11px;}"
                       ".QPushButton:hover {background:#07b2fc;}"));
    connect(searchButton, &QPushButton::clicked, this, &CompanyDocument::searchFullTxt);

    buildLayout(searchButton, 170);
    const QList<QPushButton *> buttons = topBanner->buttons();
    const QList<void (CompanyDocument::*)()> actions{
        &CompanyDocument::addFolder,    &CompanyDocument::uploadFile,
        &CompanyDocument::downloadFile, &CompanyDocument::shareItems,
        &CompanyDocument::publishItems, &CompanyDocument::copyItems,
        &CompanyDocument::moveItems,    &CompanyDocument::deleteItems};
    for (int i = 0; i < buttons.size() && i < actions.size(); ++i)
        connect(buttons.at(i), &QPushButton::clicked, this, actions.at(i));

    treeLoadingMovie = new QMovie(QStringLiteral(":/images/main/loading.gif"), QByteArray(), this);
    treeLoadingLabel = new QLabel(treeView);
    treeLoadingLabel->setFixedSize(31, 31);
    treeLoadingLabel->setMovie(treeLoadingMovie);
    treeLoadingLabel->hide();
    connect(treeModel, &TreeViewModel::loadingChanged, this, &CompanyDocument::showTreeLoading);

    setupColumns({QStringLiteral("名称"), QStringLiteral("修改日期"), QStringLiteral("版本描述"),
                  QStringLiteral("文件类型"), QStringLiteral("创建者"), QStringLiteral("大小"),
                  QString()},
                 {290, 140, 90, 80, 80, 80});
    table->horizontalHeader()->setSectionResizeMode(6, QHeaderView::Stretch);
    table->setColumnHidden(6, true);
    table->setItemDelegateForColumn(6, new SearchHitDelegate(table));

    // The start-up listing of the top folder gives way to a folder opened
    // meanwhile (the personal desktop may open one at once): until then the
    // folder listed is the empty id of the first breadcrumb.
    QTimer::singleShot(50, this, [this] {
        if (currentFolderId.isEmpty())
            requestFileList(QStringLiteral("0"), false);
    });

    GCore *core = GCore::instance();
    core->setCompanyDocument(this);
    if (UserDesktop *desktop = core->userDesktop())
        connect(desktop, &UserDesktop::openFolder, this, &CompanyDocument::showFolder);
    reFreshNav();
}

CompanyDocument::~CompanyDocument()
{
    if (GCore::instance()->companyDocument() == this)
        GCore::instance()->setCompanyDocument(nullptr);
}

QString CompanyDocument::rootName() const
{
    return QStringLiteral("公司文档");
}

void CompanyDocument::showTreeLoading(bool on)
{
    treeLoadingLabel->setVisible(on);
    if (on)
        treeLoadingMovie->start();
    else
        treeLoadingMovie->stop();
}

void CompanyDocument::placeOverlays()
{
    DocumentBrowser::placeOverlays();
    treeLoadingLabel->move((treeView->width() - treeLoadingLabel->width()) / 2,
                           (treeView->height() - treeLoadingLabel->height()) / 3);
}

void CompanyDocument::prepareListing()
{
    if (resultMode) {
        table->verticalHeader()->setDefaultSectionSize(listingRowHeight);
        setCrumbNote(QString());
    }
    resultMode = false;
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (int i = 0; i + 1 < table->columnCount(); ++i)
        table->setColumnHidden(i, false);
    table->setColumnHidden(table->columnCount() - 1, true);
    table->horizontalHeader()->show();
}

bool CompanyDocument::checkAuth(const QVariantMap &entry, const QString &letter, bool multi,
                                int type) const
{
    if (entry.contains(QStringLiteral("searchType")) || !multi) {
        const int fileType = entry.value(QStringLiteral("fileType")).toInt();
        if ((type == 1 && fileType != 1) || (type == 2 && fileType != 2))
            return false;
        return hasLetter(entry, letter);
    }
    bool any = false;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *item = table->item(row, 0);
        if (!item || !item->isSelected())
            continue;
        const QVariantMap selected = item->data(Qt::UserRole + 2).toMap();
        if (!hasLetter(selected, letter))
            return false;
        if ((type == 1 || type == 2) && selected.value(QStringLiteral("fileType")).toInt() != type)
            return false;
        any = true;
    }
    return any;
}

bool CompanyDocument::checkAny(const QVariantMap &entry, const QStringList &letters,
                               bool multi) const
{
    for (const QString &letter : letters) {
        if (checkAuth(entry, letter, multi, 0))
            return true;
    }
    return false;
}

bool CompanyDocument::mayOpen(const QVariantMap &entry) const
{
    return checkAuth(entry, QStringLiteral("V"), false, 0);
}

bool CompanyDocument::mayDownload(const QVariantMap &entry) const
{
    return hasLetter(entry, QStringLiteral("D"));
}

bool CompanyDocument::mayDelete(const QVariantMap &entry) const
{
    return hasLetter(entry, QStringLiteral("R"));
}

bool CompanyDocument::mayRename(const QVariantMap &entry) const
{
    return checkAny(entry, {QStringLiteral("R"), QStringLiteral("E")}, false);
}

bool CompanyDocument::mayManage(const QVariantMap &entry) const
{
    return hasLetter(entry, QStringLiteral("L"));
}

void CompanyDocument::tableRightClicked(QModelIndex index)
{
    if (QGuiApplication::mouseButtons() != Qt::RightButton || !index.isValid())
        return;
    const int row = index.row();
    // Listing and search rows alike keep their entry on the name item.
    const QTableWidgetItem *nameItem = table->item(row, 0);
    if (!nameItem)
        return;
    const QVariantMap entry = nameItem->data(Qt::UserRole + 2).toMap();
    const int fileType = entry.value(QStringLiteral("fileType")).toInt();
    const QString fileId = entry.value(QStringLiteral("fileId")).toString();
    const QString R = QStringLiteral("R"), E = QStringLiteral("E"), D = QStringLiteral("D"),
                  V = QStringLiteral("V");

    // Each entry acts through its own handler.
    QMenu menu(this);
    if (checkAuth(entry, V, false, 0) && fileType == 2)
        menu.addAction(QStringLiteral("预览"), this, [this, entry] { openRowLater(entry); });
    if (fileType == 1)
        menu.addAction(QStringLiteral("打开"), this, [this, entry, fileId] {
            openFolder(fileId, entry.value(QStringLiteral("fileName")).toString());
        });
    if (checkAuth(entry, D, false, 2))
        menu.addAction(QStringLiteral("版本列表"), this, [this, entry] { versionCompare(entry); });
    if (checkAuth(entry, D, true, 2))
        menu.addAction(QStringLiteral("下载"), this, &CompanyDocument::downloadFile);
    if (checkAuth(entry, E, false, 2)) {
        menu.addAction(QStringLiteral("上传更新"), this, [this, entry] { updateFile(entry); });
        static const QStringList editable{"doc", "docx", "xls", "xlsx", "txt", "ppt", "pptx"};
        if (editable.contains(
                entry.value(QStringLiteral("fileExtend")).toString().trimmed().toLower()))
            menu.addAction(QStringLiteral("编辑"), this, [this, entry] { editFile(entry); });
    }
    auto *basic = new QMenu(QStringLiteral("基本操作"), &menu);
    if (mayRename(entry))
        basic->addAction(QStringLiteral("重命名"), this, [this, entry] { renameEntry(entry); });
    if (checkAny(entry, {R, E, D}, true))
        basic->addAction(QStringLiteral("复制"), this, &CompanyDocument::copyItems);
    if (checkAuth(entry, R, true, 0)) {
        basic->addAction(QStringLiteral("移动"), this, &CompanyDocument::moveItems);
        basic->addAction(QStringLiteral("删除"), this, &CompanyDocument::deleteItems);
    }
    const bool shareable = checkAny(entry, {R, E, D, V}, true);
    if (shareable)
        basic->addAction(QStringLiteral("收藏"), this, [this, entry] {
            CollectFile dialog(entry.value(QStringLiteral("fileId")).toString(),
                               entry.value(QStringLiteral("fileName")).toString(), this);
            dialog.exec();
        });
    if (!basic->actions().isEmpty())
        menu.addMenu(basic);
    if (checkAuth(entry, QStringLiteral("L"), true, 0)) {
        QMenu *manage = menu.addMenu(QStringLiteral("管理操作"));
        manage->addAction(QStringLiteral("添加权限"), this, &CompanyDocument::authItems);
        manage->addAction(QStringLiteral("发布"), this, &CompanyDocument::publishItems);
    }
    if (shareable) {
        menu.addAction(QStringLiteral("分享"), this, &CompanyDocument::shareItems);
        menu.addAction(QStringLiteral("外部链接"), this,
                       [this] { runWithSelection<DExternalLink>(); });
    }
    disableWhileChanging(&menu);
    menu.exec(QCursor::pos());
}

void CompanyDocument::editFile(QVariantMap entry)
{
    DEditFile dialog(entry, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    GCore::instance()->noteChange();
    requestFileList(currentFolderId, true);
}

void CompanyDocument::versionCompare(QVariantMap entry)
{
    DVersionCompare dialog(entry, this);
    dialog.exec();
}

void CompanyDocument::searchFullTxt()
{
    QVariantMap criteria;
    DSearchFullTxt dialog(&criteria, this);
    if (dialog.exec() == QDialog::Accepted)
        startSearch(criteria);
}

void CompanyDocument::startSearch(const QVariantMap &criteria)
{
    tableErrorLabel->hide();
    // A listing on its way would replace the results.
    forgetPendingListing();
    filterEdit->clear();
    {
        // The rows of running opens are about to go.
        QMutexLocker locker(&mutex);
        openItems.clear();
    }
    table->clearContents();
    table->setRowCount(0);
    // Most hits have a summary and take 62 pixels; the others are set one by one.
    if (!resultMode)
        listingRowHeight = table->verticalHeader()->defaultSectionSize();
    table->verticalHeader()->setDefaultSectionSize(62);
    resultMode = true;
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    const int last = table->columnCount() - 1;
    for (int i = 0; i < last; ++i)
        table->setColumnHidden(i, true);
    table->setColumnHidden(last, false);
    table->horizontalHeader()->hide();

    searchKey = criteria.value(QStringLiteral("key")).toString();
    setCrumbNote(QStringLiteral("正在搜索“%1”").arg(searchKey));

    FormParams form = DSearchFullTxt::searchForm(criteria);
    form.insert(QStringLiteral("token"), GCore::instance()->token());
    // Sent once, on a worker: the panel stays usable while the server searches.
    auto *thread = new HttpThread(
        GCore::instance()->serverUrl() + QStringLiteral("/api/file/search.jf"), form);
    thread->setProperty("searchSerial", ++searchSerial);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &HttpThread::receiveJson, this, &CompanyDocument::receiveFullTxtData);
    thread->start(QThread::InheritPriority);
}

void CompanyDocument::receiveFullTxtData(QVariantMap map)
{
    const QObject *from = sender();
    if (!resultMode || (from && from->property("searchSerial").toULongLong() != searchSerial)) {
        qDebug() << __FILE__ << __LINE__ << "search reply dropped: the table shows other rows";
        return;
    }
    if (!map.contains(QStringLiteral("code")) ||
        map.value(QStringLiteral("code")).toString() != QLatin1String("0")) {
        qDebug() << __FILE__ << __LINE__ << "search failed:" << map.value(QStringLiteral("msg"));
        const QString msg = map.value(QStringLiteral("msg")).toString();
        setCrumbNote(QStringLiteral("搜索“%1”失败：%2")
                         .arg(searchKey, msg.isEmpty() ? QStringLiteral("无法连接服务器") : msg));
        return;
    }
    tableErrorLabel->hide();
    const QVariantList hits = map.value(QStringLiteral("data")).toList();
    qDebug() << __FILE__ << __LINE__ << "search hits:" << hits.size();
    // Said where the folder's name stood: an empty table is no empty folder.
    setCrumbNote(hits.isEmpty()
                     ? QStringLiteral("未找到与“%1”相关的文件").arg(searchKey)
                     : QStringLiteral("搜索“%1”：%2 个文件").arg(searchKey).arg(hits.size()));
    {
        // The rows of running opens are about to go.
        QMutexLocker locker(&mutex);
        openItems.clear();
    }
    table->clearContents();
    table->setRowCount(hits.size());
    // Only what the result mode uses: the name item with the entry (menus,
    // opening, selection, the quick filter, which then matches names only)
    // and the hit for the painted column, and the date item that an open
    // writes its progress to (hidden, so left without text). The view hears
    // about the whole block once.
    QAbstractItemModel *model = table->model();
    const bool wasBlocked = model->blockSignals(true);
    const Qt::Alignment leftCentre = Qt::AlignLeft | Qt::AlignVCenter;
    const int last = table->columnCount() - 1;
    for (int row = 0; row < hits.size(); ++row) {
        const QVariantMap hit = hits.at(row).toMap();
        const QVariantMap entry = SearchHit::toEntry(hit);
        auto *name = new QTableWidgetItem(entry.value(QStringLiteral("fileName")).toString());
        name->setData(Qt::UserRole + 1, entry.value(QStringLiteral("fileId")));
        name->setData(Qt::UserRole + 2, entry);
        name->setData(SearchHitDelegate::hitRole, hit);
        name->setTextAlignment(leftCentre);
        table->setItem(row, 0, name);
        table->setItem(row, 1, new QTableWidgetItem);
    }
    model->blockSignals(wasBlocked);
    if (!hits.isEmpty())
        emit model->dataChanged(model->index(0, 0), model->index(hits.size() - 1, last));
    for (int row = 0; row < hits.size(); ++row) {
        const int height = SearchHit::rowHeight(hits.at(row).toMap());
        if (height != 62)
            table->setRowHeight(row, height);
    }
}

void CompanyDocument::showOpenPercent(int row, int percent)
{
    QTableWidgetItem *item = resultMode ? table->item(row, 0) : nullptr;
    if (!item)
        return;
    item->setData(SearchHitDelegate::percentRole, percent);
    // The name column is hidden: the painted one shows the change.
    table->viewport()->update(
        table->visualRect(table->model()->index(row, table->columnCount() - 1)));
}

void CompanyDocument::showFolder(QString parentId, QString fileId)
{
    if (MainFrame *main = GCore::instance()->mainWidget())
        main->showPanelByName(QStringLiteral("companydocument"));
    // A file shared with the user may lie in a folder the user cannot list:
    // "分享给我的" lists it then.
    requestFileList(parentId, true, fileId,
                    parentId == QLatin1String("-9") ? QString() : QStringLiteral("-9"));
    followListedFolder();
}
