#include "browse/documentbrowser.h"

#include "browse/droptablewidget.h"
#include "browse/topbanner.h"
#include "collab/dauthority.h"
#include "collab/dpublish.h"
#include "collab/sharefiles.h"
#include "core/downloadthread.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "core/httpthread.h"
#include "models/treeviewmodel.h"
#include "transfer/daddfolder.h"
#include "transfer/ddropfolder.h"
#include "transfer/dfoldertree.h"
#include "transfer/transferpanel.h"
#include "transfer/updatefile.h"
#include "widgets/desktopopen.h"
#include "widgets/headerview.h"
#include "widgets/linklabel.h"
#include "widgets/nofocusdelegate.h"
#include "widgets/plainmessagebox.h"
#include "widgets/treeview.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QIcon>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMutexLocker>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTimeZone>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const int kIdRole = Qt::UserRole + 1;
const int kEntryRole = Qt::UserRole + 2;
const QString kFileId = QStringLiteral("fileId");
const QString kFileType = QStringLiteral("fileType");

bool isSuccess(const QVariantMap &reply)
{
    return reply.contains(QStringLiteral("code")) &&
           reply.value(QStringLiteral("code")).toString() == QLatin1String("0");
}

QString refusalText(const QVariantMap &reply, const QString &fallback)
{
    const QString msg = reply.value(QStringLiteral("msg")).toString();
    return msg.isEmpty() ? fallback : msg;
}

// Icons are shared between rows: loading one per row would dominate a big listing.
QIcon cachedIcon(const QString &path)
{
    static QHash<QString, QIcon> icons;
    auto it = icons.find(path);
    if (it == icons.end())
        it = icons.insert(path, QIcon(path));
    return it.value();
}

// A file icon with the padlock of a file locked for editing in its lower
// right corner.
QIcon lockedIcon(const QString &path)
{
    static QHash<QString, QIcon> icons;
    auto it = icons.find(path);
    if (it != icons.end())
        return it.value();
    QPixmap pixmap(path);
    if (pixmap.isNull())
        pixmap = QPixmap(32, 32);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const int side = pixmap.width() * 5 / 8;
    painter.drawPixmap(QRect(pixmap.width() - side, pixmap.height() - side, side, side),
                       QPixmap(QStringLiteral(":/images/main/lock_mark.png")));
    painter.end();
    return icons.insert(path, QIcon(pixmap)).value();
}

// Who holds the lock of a listed file and until when, as its tool tip says.
QString lockText(const QVariantMap &entry)
{
    const QString holder = entry.value(QStringLiteral("lockUser")).toString();
    const qint64 end = entry.value(QStringLiteral("lockEndTime")).toLongLong();
    if (end <= 0)
        return QStringLiteral("%1 正在编辑，文件已锁定").arg(holder);
    return QStringLiteral("%1 正在编辑，文件已锁定至 %2")
        .arg(holder,
             QDateTime::fromMSecsSinceEpoch(end).toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

// Names for a box, one a line; a long list ends after the first ten.
QString nameLines(const QStringList &names)
{
    const int shown = 10;
    QString text = QStringList(names.mid(0, shown)).join(QLatin1Char('\n'));
    if (names.size() > shown)
        text += QStringLiteral("\n……");
    return text;
}

void openLocalFileLater(QWidget *context, const QString &path)
{
    QTimer::singleShot(50, context, [context, path] { openLocalPath(context, path); });
}

} // namespace

DocumentBrowser::DocumentBrowser(QWidget *parent, int area, const Columns &columns)
    : QWidget(parent), columns(columns), m_area(area)
{
}

DocumentBrowser::~DocumentBrowser()
{
    // Stop the open downloads and wait for their workers, which still write
    // the progress records.
    QMutexLocker locker(&mutex);
    for (TransferProgress *progress : qAsConst(openProgress))
        progress->cancel();
    for (DownloadThread *thread : qAsConst(openThreads)) {
        disconnect(thread, nullptr, this, nullptr);
        thread->wait();
    }
    qDeleteAll(openProgress);
    openProgress.clear();
    openThreads.clear();
    openItems.clear();
    // The table empties itself after this object is gone.
    disconnect(table->model(), nullptr, this, nullptr);
}

void DocumentBrowser::buildLayout(QWidget *searchButton, int filterWidth)
{
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    topBanner = new TopBanner(this, m_area);
    layout->addWidget(topBanner);

    auto *body = new QWidget(this);
    body->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto *bodyLayout = new QHBoxLayout(body);
    bodyLayout->setSpacing(0);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(body);

    // Tree pane.
    treeView = new TreeView(nullptr, false);
    treeView->header()->hide();
    treeView->setFixedWidth(175);
    treeModel = new TreeViewModel(treeView, m_area, this);
    treeView->setModel(treeModel);
    bodyLayout->addWidget(treeView);
    QTimer::singleShot(50, this, [this] { treeModel->refresh(false); });
    connect(treeView, &QTreeView::clicked, this, &DocumentBrowser::reFreshNav);
    connect(treeView, &QTreeView::expanded, this, &DocumentBrowser::resizeTreeView);
    connect(treeView, &QTreeView::collapsed, this, &DocumentBrowser::resizeTreeView);
    connect(treeModel, &TreeViewModel::rebuilt, this, &DocumentBrowser::followListedFolder);
    treeErrorLabel = makeErrorLabel(treeView, true);
    connect(treeModel, &TreeViewModel::errorShown, treeErrorLabel, &QLabel::setVisible);

    // List pane.
    auto *listPane = new QWidget(body);
    auto *listLayout = new QVBoxLayout(listPane);
    listLayout->setSpacing(0);
    listLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->addWidget(listPane);

    auto *topBar = new QWidget(listPane);
    topBar->setObjectName(QStringLiteral("panel"));
    topBar->setFixedHeight(40);
    topBar->setAttribute(Qt::WA_StyledBackground);
    topBar->setStyleSheet(QStringLiteral(".QWidget#panel {background:#fefefc;}"));
    auto *barLayout = new QHBoxLayout(topBar);
    barLayout->setSpacing(10);
    barLayout->setContentsMargins(10, 0, 8, 0);
    listLayout->addWidget(topBar);

    navWidget = new QWidget(topBar);
    navWidget->setObjectName(QStringLiteral("nav"));
    navWidget->setFixedHeight(32);
    navWidget->setAttribute(Qt::WA_StyledBackground);
    navWidget->setStyleSheet(
        QStringLiteral(".QWidget#nav {background:#fff;border:1px solid #ccc;border-radius:4px;}"));
    navWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    barLayout->addWidget(navWidget);

    reloadButton = new QPushButton(navWidget);
    reloadButton->setFixedSize(22, 22);
    reloadButton->setStyleSheet(
        QStringLiteral(".QPushButton {border:0px;background:url(:/images/main/reload.png)}"));
    reloadButton->setCursor(Qt::PointingHandCursor);
    reloadButton->raise();
    reloadButton->show();
    connect(reloadButton, &QPushButton::clicked, this,
            [this] { requestFileList(currentFolderId, true); });

    filterEdit = new QLineEdit(topBar);
    filterEdit->setPlaceholderText(QStringLiteral("按文件名称检索"));
    filterEdit->setFixedSize(filterWidth, 32);
    filterEdit->setStyleSheet(
        QStringLiteral(".QLineEdit {background:#fff;border:1px solid #ccc;border-radius:4px;"
                       "padding-right:%1px;}")
            .arg(m_area == 1 ? 36 : 30));
    connect(filterEdit, &QLineEdit::textChanged, this, &DocumentBrowser::searchTable);
    auto *filterIcon = new QPushButton(filterEdit);
    filterIcon->setFixedSize(20, 20);
    filterIcon->move(filterWidth - 24, 6);
    filterIcon->setStyleSheet(
        QStringLiteral(".QPushButton {border:0px;background:url(:/images/main/search.png)}"));
    filterIcon->hide();
    barLayout->addWidget(filterEdit);
    if (searchButton)
        barLayout->addWidget(searchButton, 0, Qt::AlignRight | Qt::AlignVCenter);

    table = new DropTableWidget(listPane);
    setupTable();
    listLayout->addWidget(table);
    connect(table, &DropTableWidget::dragFiles, this, &DocumentBrowser::dropFiles);
    connect(table, &QTableWidget::doubleClicked, this, &DocumentBrowser::tableDoubleClicked);
    connect(table, &QTableWidget::pressed, this, &DocumentBrowser::tableRightClicked);
    tableErrorLabel = makeErrorLabel(table, false);
    table->installEventFilter(this);

    auto *progressTimer = new QTimer(this);
    progressTimer->setInterval(500);
    connect(progressTimer, &QTimer::timeout, this, &DocumentBrowser::checkDownloadProgress);
    progressTimer->start();
}

void DocumentBrowser::setupTable()
{
    table->setStyleSheet(
        QStringLiteral("QTableWidget {border:0px;border-top:1px solid #ccc;}"
                       "QTableWidget::item {padding:4px 0 4px 0;color:#333;}"
                       "QTableWidget::item:selected {background-color:transparent;color:#333;}"));
    table->setHorizontalHeader(new HeaderView(Qt::Horizontal, table));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->verticalHeader()->hide();
    table->setShowGrid(false);
    table->setItemDelegate(new NoFocusDelegate(table));
    // Clearing and shrinking are the changes that delete items.
    connect(table->model(), &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { ++tableGeneration; });
    connect(table->model(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this] { ++tableGeneration; });
}

void DocumentBrowser::setupColumns(const QStringList &labels, const QList<int> &widths)
{
    table->setColumnCount(labels.size());
    table->setHorizontalHeaderLabels(labels);
    for (int i = 0; i < widths.size(); ++i)
        table->setColumnWidth(i, widths.at(i));
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
}

namespace {

const QString kLoadFailed = QStringLiteral("数据加载出错");

// Lays out an error label: `reason`, a comma, then its "请重试" link.
void setErrorText(QLabel *label, const QString &reason)
{
    const QString first = reason + QStringLiteral("，");
    label->setText(first);
    auto *retry = label->findChild<LinkLabel *>();
    const QFontMetrics metrics(label->font());
    label->setFixedSize(metrics.horizontalAdvance(first + retry->text()) + 2, metrics.height());
    retry->move(metrics.horizontalAdvance(first), 0);
}

} // namespace

QLabel *DocumentBrowser::makeErrorLabel(QWidget *parent, bool forTree)
{
    auto *label = new QLabel(parent);
    // The server's refusal may be shown here: text, never markup.
    label->setTextFormat(Qt::PlainText);
    label->setStyleSheet(QStringLiteral(".QLabel {background:transparent;color:#888;}"));
    auto *retry = new LinkLabel(label);
    retry->setMode(1, QStringLiteral("#a00"), false);
    retry->setText(QStringLiteral("请重试"));
    retry->adjustSize();
    setErrorText(label, kLoadFailed);
    if (forTree)
        connect(retry, &LinkLabel::clicked, this, [this] { treeModel->refresh(false); });
    else
        connect(retry, &LinkLabel::clicked, this,
                [this] { requestFileList(currentFolderId, true); });
    label->hide();
    return label;
}

void DocumentBrowser::showTableError(const QString &reason)
{
    setErrorText(tableErrorLabel, reason);
    placeOverlays();
    tableErrorLabel->show();
}

void DocumentBrowser::placeOverlays()
{
    if (!reloadButton)
        return;
    reloadButton->move(navWidget->width() - 30, 5);
    for (QLabel *label : {tableErrorLabel, treeErrorLabel}) {
        const QWidget *parent = label->parentWidget();
        label->move((parent->width() - label->width()) / 2,
                    (parent->height() - label->height()) / 2);
    }
}

void DocumentBrowser::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeOverlays();
}

QString DocumentBrowser::apiPath(const QString &operation) const
{
    return GCore::instance()->serverUrl() +
           (m_area == 1 ? QStringLiteral("/api/netdisk/") : QStringLiteral("/api/file/")) +
           operation;
}

// ---- listing ----

void DocumentBrowser::reloadList()
{
    qDebug() << __FILE__ << __LINE__ << "reload folder" << currentFolderId;
    requestFileList(currentFolderId, true);
}

void DocumentBrowser::requestFileList(const QString &parentId, bool force,
                                      const QString &selectFileId, const QString &fallbackFolderId)
{
    tableErrorLabel->hide();
    if (parentId == currentFolderId && !force && showsListing())
        return;
    qDebug() << __FILE__ << __LINE__ << "list folder" << parentId;
    filterEdit->clear();
    {
        QMutexLocker locker(&mutex);
        openItems.clear();
        for (TransferProgress *progress : qAsConst(openProgress))
            progress->cancel();
    }
    currentFolderId = parentId;
    if (m_area == 1 && currentFolderId.isEmpty())
        currentFolderId = QStringLiteral("0");
    table->clearContents();
    table->setRowCount(0);
    prepareListing();

    GCore *core = GCore::instance();
    FormParams params{{QStringLiteral("token"), core->token()},
                      {QStringLiteral("parentId"), parentId}};
    if (m_area == 1)
        params.insert(QStringLiteral("pageSize"), QStringLiteral("1000"));
    auto *thread = new HttpThread(
        apiPath(m_area == 1 ? QStringLiteral("list.jf") : QStringLiteral("list-file.jf")), params);
    thread->setProperty("fileId", selectFileId);
    thread->setProperty("fallback", fallbackFolderId);
    thread->setProperty("refusal", fallbackRefusal);
    fallbackRefusal.clear();
    thread->setProperty("listSerial", ++listSerial);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &HttpThread::receiveJson, this, &DocumentBrowser::receiveData);
    thread->start(QThread::InheritPriority);
}

void DocumentBrowser::receiveData(QVariantMap map)
{
    QString selectFileId, fallback, refusal;
    if (QObject *from = sender()) {
        const QVariant serial = from->property("listSerial");
        if (serial.isValid() && serial.toULongLong() != listSerial) {
            qDebug() << __FILE__ << __LINE__ << "listing reply of an earlier folder dropped";
            return;
        }
        selectFileId = from->property("fileId").toString();
        fallback = from->property("fallback").toString();
        refusal = from->property("refusal").toString();
    } else if (m_area == 0) {
        // The library applies only replies of its own requests.
        return;
    }
    table->clearContents();
    table->setRowCount(0);
    // Without "code" the server was not reached; with one it refused.
    const bool answered = map.contains(QStringLiteral("code"));
    if (answered && !isSuccess(map) && !fallback.isEmpty()) {
        // A file shared with the user in a folder the user may not list: the
        // folder that lists it instead.
        qDebug() << __FILE__ << __LINE__ << "folder refused, listing" << fallback << "instead";
        fallbackRefusal = refusalText(map, kLoadFailed);
        requestFileList(fallback, true, selectFileId);
        followListedFolder();
        return;
    }
    const QVariantList entries = map.value(QStringLiteral("data")).toList();
    if (isSuccess(map) && !refusal.isEmpty() && !containsFile(entries, selectFileId)) {
        refuseListing(refusal);
        return;
    }
    if (!isSuccess(map)) {
        if (answered)
            refuseListing(refusalText(map, kLoadFailed));
        else
            showTableError(kLoadFailed);
        return;
    }
    tableErrorLabel->hide();
    listedFolderId = currentFolderId;
    fillTable(entries, selectFileId);
    treeModel->refresh(false);
}

void DocumentBrowser::refuseListing(const QString &reason)
{
    // The folder asked for stays out of the breadcrumb and the tree, and
    // "请重试" lists the folder shown before it.
    currentFolderId = listedFolderId.isEmpty() ? QStringLiteral("0") : listedFolderId;
    followListedFolder();
    showTableError(reason);
}

bool DocumentBrowser::containsFile(const QVariantList &entries, const QString &fileId)
{
    for (const QVariant &entry : entries) {
        if (entry.toMap().value(kFileId).toString() == fileId)
            return true;
    }
    return false;
}

void DocumentBrowser::fillTable(const QVariantList &entries, const QString &selectFileId)
{
    {
        // The items of a running open are about to be deleted.
        QMutexLocker locker(&mutex);
        openItems.clear();
    }
    table->clearContents();
    table->setRowCount(entries.size());
    // The view would recompute its layout for every single cell; it hears
    // about the whole block once at the end instead.
    QAbstractItemModel *model = table->model();
    const bool wasBlocked = model->blockSignals(true);
    int selectRow = -1;
    const QTimeZone zone = QTimeZone::systemTimeZone();
    QHash<QString, QIcon> icons;
    const Qt::Alignment leftCentre = Qt::AlignLeft | Qt::AlignVCenter;
    for (int i = 0; i < entries.size(); ++i) {
        const QVariantMap e = entries.at(i).toMap();
        const QString fileId = e.value(kFileId).toString();

        // Rows of the same kind share one icon. A server that reports locks
        // names the holder of a locked file; the icon then carries a padlock.
        const bool locked = !e.value(QStringLiteral("lockUser")).toString().isEmpty();
        const QString iconKey = e.value(kFileType).toString() + QLatin1Char('/') +
                                e.value(QStringLiteral("fileExtend")).toString() +
                                (locked ? QStringLiteral("/locked") : QString());
        auto icon = icons.find(iconKey);
        if (icon == icons.end()) {
            const QString path = GCore::fileIconPath(e);
            icon = icons.insert(iconKey, locked ? lockedIcon(path) : cachedIcon(path));
        }
        auto *name =
            new QTableWidgetItem(icon.value(), e.value(QStringLiteral("fileName")).toString());
        if (locked)
            name->setToolTip(plainToolTip(lockText(e)));
        name->setData(kIdRole, fileId);
        name->setData(kEntryRole, e);
        name->setTextAlignment(leftCentre);
        table->setItem(i, 0, name);

        auto *date = new QTableWidgetItem(dateText(e, zone));
        date->setTextAlignment(leftCentre);
        table->setItem(i, 1, date);

        const QString typeText =
            e.value(kFileType).toInt() == 2
                ? QStringLiteral("%1文件").arg(
                      e.value(QStringLiteral("fileExtend")).toString().toUpper())
                : QStringLiteral("文件夹");
        table->setItem(i, columns.fileType, new QTableWidgetItem(typeText));
        table->setItem(i, columns.user,
                       new QTableWidgetItem(e.value(QStringLiteral("user")).toString()));
        table->setItem(
            i, columns.size,
            new QTableWidgetItem(HttpCurl::sizeText(e.value(QStringLiteral("fileLength")))));
        if (columns.versionDesc >= 0) {
            const QString desc = e.value(QStringLiteral("version_desc")).toString();
            auto *version = new QTableWidgetItem(desc);
            version->setToolTip(desc);
            table->setItem(i, columns.versionDesc, version);
        }
        if (!selectFileId.isEmpty() && selectFileId == fileId)
            selectRow = i;
    }
    model->blockSignals(wasBlocked);
    if (!entries.isEmpty())
        emit model->dataChanged(model->index(0, 0),
                                model->index(entries.size() - 1, model->columnCount() - 1));
    if (selectRow != -1)
        table->selectRow(selectRow);
}

QString DocumentBrowser::dateText(const QVariantMap &entry)
{
    return dateText(entry, QTimeZone::systemTimeZone());
}

QString DocumentBrowser::dateText(const QVariantMap &entry, const QTimeZone &zone)
{
    // Through the zone's own tables: plain local time asks the C library,
    // which looks at the zone file on disk for every single conversion.
    return QDateTime::fromMSecsSinceEpoch(
               entry.value(QStringLiteral("lastModifyTime")).toLongLong(), zone)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QVariantMap DocumentBrowser::entryOfRow(int row) const
{
    const QTableWidgetItem *item = table->item(row, 0);
    return item ? item->data(kEntryRole).toMap() : QVariantMap();
}

QList<QVariantMap> DocumentBrowser::selectedEntries() const
{
    QList<QVariantMap> entries;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *item = table->item(row, 0);
        if (item && item->isSelected())
            entries.append(item->data(kEntryRole).toMap());
    }
    return entries;
}

QStringList DocumentBrowser::selectedIds() const
{
    QStringList ids;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *item = table->item(row, 0);
        if (item && item->isSelected())
            ids.append(item->data(kIdRole).toString());
    }
    return ids;
}

// ---- navigation ----

void DocumentBrowser::reFreshNav()
{
    const QModelIndex idx = treeView->currentIndex();
    setCrumbs(treePath(idx));
    requestFileList(idx.data(kIdRole).toString(), false);
}

DocumentBrowser::FolderPath DocumentBrowser::treePath(QModelIndex index) const
{
    FolderPath path;
    for (; index.isValid(); index = index.parent())
        path.prepend({index.data(kIdRole).toString(), index.data(Qt::DisplayRole).toString()});
    if (path.isEmpty())
        path.append({QStringLiteral("0"), rootName()});
    return path;
}

void DocumentBrowser::setCrumbs(const FolderPath &path)
{
    crumbTop = path.first();
    pathList = path.mid(1);

    if (crumbWidget)
        crumbWidget->deleteLater();
    crumbWidget = new QWidget(navWidget);
    crumbWidget->setFixedHeight(navWidget->height() - 4);
    auto *layout = new QHBoxLayout(crumbWidget);
    layout->setContentsMargins(10, 0, 0, 0);
    layout->setSpacing(8);
    // The home icon lists the area's top folder.
    auto *home = new QToolButton(crumbWidget);
    home->setObjectName(QStringLiteral("homeButton"));
    const QPixmap homePixmap(QStringLiteral(":/images/main/home.png"));
    home->setIcon(QIcon(homePixmap));
    home->setIconSize(homePixmap.size());
    home->setFixedSize(homePixmap.size());
    home->setAutoRaise(true);
    home->setCursor(Qt::PointingHandCursor);
    home->setStyleSheet(QStringLiteral("QToolButton {border:0px;background:transparent;}"));
    home->setProperty("fileId", QStringLiteral("0"));
    connect(home, &QToolButton::clicked, this, &DocumentBrowser::navBtClicked);
    layout->addWidget(home);
    for (int i = 0; i < path.size(); ++i) {
        auto *button = new QPushButton(path.at(i).second, crumbWidget);
        button->setProperty("fileId", path.at(i).first);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(
            QStringLiteral(".QPushButton {border:0px;background:#fff;}"
                           ".QPushButton:hover {border:0px solid #ddd;background:#b2eefe;}"));
        button->setFixedSize(button->fontMetrics().horizontalAdvance(path.at(i).second) + 4, 20);
        connect(button, &QPushButton::clicked, this, &DocumentBrowser::navBtClicked);
        layout->addWidget(button);
        if (i + 1 < path.size()) {
            auto *arrow = new QLabel(crumbWidget);
            arrow->setPixmap(QPixmap(QStringLiteral(":/images/main/left_arrow.png")));
            layout->addWidget(arrow);
        }
    }
    if (!crumbNote.isEmpty()) {
        auto *arrow = new QLabel(crumbWidget);
        arrow->setPixmap(QPixmap(QStringLiteral(":/images/main/left_arrow.png")));
        layout->addWidget(arrow);
        auto *note = new QLabel(crumbWidget);
        note->setObjectName(QStringLiteral("crumbNote"));
        // It quotes what the user typed and what the server said: text only.
        note->setTextFormat(Qt::PlainText);
        note->setText(crumbNote);
        note->setStyleSheet(QStringLiteral(".QLabel {color:#888;}"));
        layout->addWidget(note);
    }
    crumbWidget->adjustSize();
    crumbWidget->move(0, 2);
    crumbWidget->show();
    reloadButton->raise();
}

void DocumentBrowser::setCrumbNote(const QString &note)
{
    if (note == crumbNote)
        return;
    crumbNote = note;
    FolderPath path{crumbTop};
    path += pathList;
    setCrumbs(path);
}

bool DocumentBrowser::selectInTree(const QString &fileId)
{
    treeModel->selectById(fileId, QModelIndex());
    return !fileId.isEmpty() && treeView->currentIndex().data(kIdRole).toString() == fileId;
}

void DocumentBrowser::navBtClicked()
{
    if (!sender())
        return;
    const QString fileId = sender()->property("fileId").toString();
    if (selectInTree(fileId)) {
        reFreshNav();
        return;
    }
    // A folder the tree does not hold: the breadcrumb up to it.
    FolderPath path{crumbTop};
    path += pathList;
    while (path.size() > 1 && path.last().first != fileId)
        path.removeLast();
    setCrumbs(path);
    requestFileList(fileId, false);
}

void DocumentBrowser::openFolder(const QString &fileId, const QString &name)
{
    requestFileList(fileId, false);
    if (selectInTree(fileId)) {
        setCrumbs(treePath(treeView->currentIndex()));
        return;
    }
    // Not in the tree (inside a colleague's shared folder): one step below
    // the folder shown so far; the tree keeps that folder's node current.
    FolderPath path{crumbTop};
    path += pathList;
    path.append({fileId, name.isEmpty() ? fileId : name});
    setCrumbs(path);
}

void DocumentBrowser::followListedFolder()
{
    if (selectInTree(currentFolderId))
        setCrumbs(treePath(treeView->currentIndex()));
}

void DocumentBrowser::tableDoubleClicked(QModelIndex index)
{
    const QTableWidgetItem *item = table->item(index.row(), 0);
    if (!item)
        return;
    const QVariantMap entry = item->data(kEntryRole).toMap();
    if (entry.value(kFileType).toInt() == 1) {
        openFolder(entry.value(kFileId).toString(),
                   entry.value(QStringLiteral("fileName")).toString());
        return;
    }
    if (mayOpen(entry))
        openRowLater(entry);
}

void DocumentBrowser::resizeTreeView(QModelIndex)
{
    treeView->resizeColumnToContents(0);
}

void DocumentBrowser::searchTable(QString key)
{
    const QString text = key.trimmed();
    if (text.isEmpty()) {
        for (int row = 0; row < table->rowCount(); ++row)
            table->showRow(row);
        return;
    }
    QSet<int> rows;
    const QList<QTableWidgetItem *> matches = table->findItems(text, Qt::MatchContains);
    for (const QTableWidgetItem *item : matches)
        rows.insert(item->row());
    for (int row = 0; row < table->rowCount(); ++row)
        table->setRowHidden(row, !rows.contains(row));
}

// ---- opening files ----

QString DocumentBrowser::cachePath(const QString &md5, const QVariantMap &entry)
{
    static const QRegularExpression hex32(QStringLiteral("^[0-9a-fA-F]{32}$"));
    if (!hex32.match(md5).hasMatch())
        return QString();
    const QString key = md5.toLower();
    // The program that opens the copy shows its name: the server's file name,
    // with the extension the program is chosen by.
    const QString extension = entry.value(QStringLiteral("fileExtend")).toString().trimmed();
    QString name = entry.value(QStringLiteral("fileName")).toString();
    if (!extension.isEmpty() && !name.endsWith(QLatin1Char('.') + extension, Qt::CaseInsensitive))
        name += QLatin1Char('.') + extension;
    name = safeFileName(name, key);
    return QStringLiteral("%1/%2/%3/%4").arg(GCore::cacheDir(), key.left(2), key, name);
}

void DocumentBrowser::openRowLater(const QVariantMap &entry)
{
    const QString fileId = entry.value(kFileId).toString();
    // The row is looked up again when the timer fires: the table may have
    // been refilled in between.
    QTimer::singleShot(0, this, [this, entry, fileId] { openFile(entry, dateItemOf(fileId)); });
}

QTableWidgetItem *DocumentBrowser::dateItemOf(const QString &fileId) const
{
    for (int r = 0; r < table->rowCount(); ++r) {
        const QTableWidgetItem *item = table->item(r, 0);
        if (item && item->data(kIdRole).toString() == fileId)
            return table->item(r, 1);
    }
    return nullptr;
}

void DocumentBrowser::openFile(const QVariantMap &entry, QTableWidgetItem *dateItem)
{
    const QString fileId = entry.value(kFileId).toString();
    {
        QMutexLocker locker(&mutex);
        if (openProgress.contains(fileId) || openChecks.contains(fileId))
            return; // already on its way
    }
    openChecks.insert(fileId);
    const quint64 generation = tableGeneration;
    HttpThread::post(
        apiPath(QStringLiteral("md5.jf")),
        {{QStringLiteral("token"), GCore::instance()->token()}, {kFileId, fileId}}, this,
        [this, entry, dateItem, fileId, generation](const QVariantMap &reply) {
            openChecks.remove(fileId);
            QTableWidgetItem *item = dateItem;
            // The row was listed anew meanwhile: its item now is another one,
            // and a file no longer listed is not opened (as a listing cancels
            // an open download).
            if (dateItem && generation != tableGeneration) {
                item = dateItemOf(fileId);
                if (!item)
                    return;
            }
            openChecked(entry, item, reply);
        },
        3);
}

void DocumentBrowser::openChecked(const QVariantMap &entry, QTableWidgetItem *dateItem,
                                  const QVariantMap &reply)
{
    const QString fileId = entry.value(kFileId).toString();
    GCore *core = GCore::instance();
    if (!isSuccess(reply)) {
        QMessageBox::warning(this, QStringLiteral("打开出错"), QStringLiteral("无法连接服务器"));
        return;
    }
    const QString path = cachePath(reply.value(QStringLiteral("md5")).toString(), entry);
    if (path.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("打开出错"),
                             QStringLiteral("服务器返回数据错误"));
        return;
    }

    qint64 logged = 0;
    QFile log(path + QStringLiteral(".log"));
    if (log.open(QIODevice::ReadOnly))
        logged = QString::fromLatin1(log.read(32)).trimmed().toLongLong();
    const QFileInfo cached(path);
    if (cached.isFile() && cached.lastModified().toMSecsSinceEpoch() <= logged + 1) {
        openLocalFileLater(this, path);
        return;
    }

    // A file where the copy's folder belongs (a cache of an older layout) gives way.
    if (QFileInfo(cached.absolutePath()).isFile())
        QFile::remove(cached.absolutePath());
    QDir().mkpath(cached.absolutePath());
    QMutexLocker locker(&mutex);
    if (dateItem)
        openItems.insert(fileId, dateItem);
    auto *progress = new TransferProgress;
    progress->downloadTotal = entry.value(QStringLiteral("length")).toDouble();
    openProgress.insert(fileId, progress);
    auto *thread = new DownloadThread(
        apiPath(QStringLiteral("download.jf")),
        {{QStringLiteral("token"), core->token()}, {QStringLiteral("fileIds"), fileId}}, path,
        progress);
    openThreads.insert(fileId, thread);
    thread->setProperty("map", entry);
    thread->setProperty("filePath", path);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &DownloadThread::fileFinished, this, &DocumentBrowser::downloadFinished);
    connect(thread, &DownloadThread::downloadTerminated, this,
            &DocumentBrowser::downloadTerminated);
    thread->start(QThread::InheritPriority);
}

void DocumentBrowser::checkDownloadProgress()
{
    QMutexLocker locker(&mutex);
    for (auto it = openItems.constBegin(); it != openItems.constEnd(); ++it) {
        const TransferProgress *progress = openProgress.value(it.key());
        if (!progress || !it.value())
            continue;
        const double total = progress->downloadTotal;
        // Without a known size there is no percentage to show.
        const bool known = total > 0;
        const int percent = known ? qRound(progress->downloaded / total * 100) : 0;
        it.value()->setText(known ? QStringLiteral("正在打开(%1%)...").arg(percent)
                                  : QStringLiteral("正在打开..."));
        showOpenPercent(it.value()->row(), known ? percent : -1);
    }
}

void DocumentBrowser::restoreOpenItem(const QString &fileId, const QVariantMap &entry)
{
    QTableWidgetItem *item = openItems.value(fileId);
    if (!item)
        return;
    item->setText(dateText(entry));
    showOpenPercent(item->row(), -1);
}

void DocumentBrowser::downloadFinished(QString tempPath)
{
    if (!sender())
        return;
    QMutexLocker locker(&mutex);
    const QVariantMap entry = sender()->property("map").toMap();
    const QString path = sender()->property("filePath").toString();
    const QString fileId = entry.value(kFileId).toString();
    delete openProgress.take(fileId);
    openThreads.remove(fileId);
    QTableWidgetItem *item = openItems.value(fileId);
    auto fail = [&] {
        if (!tempPath.isEmpty())
            QFile::remove(tempPath);
        if (item)
            item->setText(QStringLiteral("打开出错"));
    };

    if (tempPath.isEmpty()) {
        fail();
        return;
    }
    QFile received(tempPath);
    if (received.size() < 3000 && received.open(QIODevice::ReadOnly)) {
        const QByteArray head = received.readAll();
        received.close();
        if (HttpCurl::isServerRefusal(head)) {
            qDebug() << __FILE__ << __LINE__ << "download refused:" << head;
            fail();
            return;
        }
    }
    if (QFileInfo::exists(path) && !QFile::remove(path)) {
        fail();
        QTimer::singleShot(20, this, [this] {
            QMessageBox::warning(this, QStringLiteral("操作出错"),
                                 QStringLiteral("文件已被其它程序占用，请先关闭这些程序"));
        });
        return;
    }
    const bool written = QFile::rename(tempPath, path);
    if (written) {
        QFile log(path + QStringLiteral(".log"));
        if (log.open(QIODevice::WriteOnly | QIODevice::Truncate))
            log.write(QByteArray::number(QDateTime::currentMSecsSinceEpoch()));
    } else {
        QFile::remove(tempPath);
    }
    restoreOpenItem(fileId, entry);
    if (written)
        openLocalFileLater(this, path);
}

void DocumentBrowser::downloadTerminated()
{
    if (!sender())
        return;
    QMutexLocker locker(&mutex);
    const QVariantMap entry = sender()->property("map").toMap();
    const QString fileId = entry.value(kFileId).toString();
    delete openProgress.take(fileId);
    openThreads.remove(fileId);
    restoreOpenItem(fileId, entry);
}

// ---- item operations ----

void DocumentBrowser::downloadFile()
{
    QList<QVariantMap> entries;
    QStringList refused;
    const QList<QVariantMap> selected = selectedEntries();
    for (const QVariantMap &entry : selected) {
        if (entry.value(kFileType).toInt() == 1)
            continue;
        if (mayDownload(entry))
            entries.append(entry);
        else
            refused.append(entry.value(QStringLiteral("fileName")).toString());
    }
    // The user hears about the files left out, before choosing a folder.
    if (!refused.isEmpty())
        plainMessageBox(this, QMessageBox::Warning,
                        entries.isEmpty() ? QStringLiteral("下载出错") : QStringLiteral("下载提示"),
                        QStringLiteral("以下%1个文件没有下载权限，不会下载：\n%2")
                            .arg(refused.size())
                            .arg(nameLines(refused)));
    if (entries.isEmpty())
        return;
    const QString dir = QFileDialog::getExistingDirectory(
        this, QStringLiteral("选择要保存的文件夹"),
        QStandardPaths::writableLocation(QStandardPaths::HomeLocation), QFileDialog::ShowDirsOnly);
    if (dir.isEmpty())
        return;
    for (QVariantMap entry : qAsConst(entries)) {
        entry.insert(QStringLiteral("localPath"), dir);
        GCore::instance()->showDownloadTransfer(QStringLiteral("download"), entry, m_area);
    }
}

void DocumentBrowser::renameEntry(const QVariantMap &entry)
{
    if (changing)
        return;
    QString name = entry.value(QStringLiteral("fileName")).toString();
    const QString extension = entry.value(QStringLiteral("fileExtend")).toString();
    // The server keeps the extension; the user edits only the name before it.
    if (!extension.isEmpty() && name.endsWith(QLatin1Char('.') + extension))
        name.chop(extension.size() + 1);
    const QString newName =
        QInputDialog::getText(this, QStringLiteral("重命名"), QStringLiteral("请输入新的文件名："),
                              QLineEdit::Normal, name);
    // A delete may have started while the name was asked.
    if (newName.isEmpty() || changing)
        return;
    GCore *core = GCore::instance();
    sendChange(core->serverUrl() + QStringLiteral("/api/file/rename.jf"),
               {{QStringLiteral("token"), core->token()},
                {kFileId, entry.value(kFileId).toString()},
                {QStringLiteral("name"), newName}},
               QStringLiteral("无法重命名"));
}

void DocumentBrowser::sendChange(const QString &url, const FormParams &params,
                                 const QString &failure)
{
    setChanging(true);
    HttpThread::post(url, params, this, [this, failure](const QVariantMap &reply) {
        setChanging(false);
        if (isSuccess(reply))
            requestFileList(currentFolderId, true);
        else
            plainMessageBox(this, QMessageBox::Warning, QStringLiteral("操作出错"),
                            refusalText(reply, failure));
    });
}

void DocumentBrowser::setChanging(bool on)
{
    changing = on;
    const QList<QPushButton *> buttons = topBanner->buttons();
    for (QPushButton *button : buttons) {
        if (button->text() == QStringLiteral("删除"))
            button->setEnabled(!on);
    }
}

void DocumentBrowser::disableWhileChanging(QMenu *menu) const
{
    if (!changing)
        return;
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        if (action->menu())
            disableWhileChanging(action->menu());
        else if (action->text() == QStringLiteral("重命名") ||
                 action->text() == QStringLiteral("删除"))
            action->setEnabled(false);
    }
}

void DocumentBrowser::deleteItems()
{
    const QStringList ids = selectedIds();
    if (ids.isEmpty() || changing)
        return;
    // Refused before the question: asking first and refusing after the "yes"
    // would make the user confirm for nothing.
    QStringList refused;
    const QList<QVariantMap> selected = selectedEntries();
    for (const QVariantMap &entry : selected) {
        if (!mayDelete(entry))
            refused.append(entry.value(QStringLiteral("fileName")).toString());
    }
    if (!refused.isEmpty()) {
        plainMessageBox(this, QMessageBox::Warning, QStringLiteral("操作出错"),
                        QStringLiteral("没有删除权限：\n%1").arg(nameLines(refused)));
        return;
    }
    if (QMessageBox::question(
            this, QStringLiteral("删除确认"), QStringLiteral("是否确认删除所选项？"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    // Another delete or a rename may have started while the question was open.
    if (changing)
        return;
    sendChange(apiPath(QStringLiteral("delete.jf")),
               {{QStringLiteral("token"), GCore::instance()->token()},
                {QStringLiteral("fileIds"), ids.join(',')}},
               QStringLiteral("无法删除"));
}

void DocumentBrowser::copyItems()
{
    const QStringList ids = selectedIds();
    if (ids.isEmpty())
        return;
    DFolderTree dialog(ids, 1, currentFolderId, this);
    dialog.exec();
}

void DocumentBrowser::moveItems()
{
    const QStringList ids = selectedIds();
    if (ids.isEmpty())
        return;
    DFolderTree dialog(ids, 2, currentFolderId, this);
    if (dialog.exec() == QDialog::Accepted)
        requestFileList(currentFolderId, true);
}

QString DocumentBrowser::folderForNewItems() const
{
    // The net disk's top folder may be listed under the empty id.
    return m_area == 1 && currentFolderId.isEmpty() ? QStringLiteral("0") : currentFolderId;
}

void DocumentBrowser::addFolder()
{
    QStringList names{crumbTop.second.isEmpty() ? rootName() : crumbTop.second};
    for (const auto &step : qAsConst(pathList))
        names.append(step.second);
    DAddFolder dialog(folderForNewItems(), names, this, m_area);
    if (dialog.exec() == QDialog::Accepted)
        requestFileList(currentFolderId, true);
}

// The library's listing and tree show the new rights the next time they are
// listed; nothing is reloaded here.
void DocumentBrowser::shareItems()
{
    runWithSelection<ShareFiles>();
}

// The toolbar offers both for any selection: rows without full control are
// named before the form is filled in for nothing (the menu leaves them out).
void DocumentBrowser::publishItems()
{
    if (refuseSelected(&DocumentBrowser::mayManage,
                       QStringLiteral("以下项目没有“完全控制”权限，不能发布：\n%1")))
        return;
    runWithSelection<DPublish>();
}

void DocumentBrowser::authItems()
{
    if (refuseSelected(&DocumentBrowser::mayManage,
                       QStringLiteral("以下项目没有“完全控制”权限，不能设置权限：\n%1")))
        return;
    runWithSelection<DAuthority>();
}

bool DocumentBrowser::refuseSelected(bool (DocumentBrowser::*may)(const QVariantMap &) const,
                                     const QString &message)
{
    QStringList refused;
    const QList<QVariantMap> selected = selectedEntries();
    for (const QVariantMap &entry : selected) {
        if (!(this->*may)(entry))
            refused.append(entry.value(QStringLiteral("fileName")).toString());
    }
    if (refused.isEmpty())
        return false;
    plainMessageBox(this, QMessageBox::Warning, QStringLiteral("操作出错"),
                    message.arg(nameLines(refused)));
    return true;
}

// ---- keyboard ----

bool DocumentBrowser::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != table || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (key->key()) {
    case Qt::Key_F2:
        renameSelected();
        return true;
    case Qt::Key_Delete:
        deleteItems();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const QModelIndexList rows = table->selectionModel()->selectedRows();
        if (rows.size() == 1)
            tableDoubleClicked(rows.first());
        return true;
    }
    default:
        return false;
    }
}

void DocumentBrowser::renameSelected()
{
    const QList<QVariantMap> selected = selectedEntries();
    if (selected.size() != 1)
        return;
    if (!mayRename(selected.first())) {
        plainMessageBox(this, QMessageBox::Warning, QStringLiteral("操作出错"),
                        QStringLiteral("没有重命名权限：\n%1")
                            .arg(selected.first().value(QStringLiteral("fileName")).toString()));
        return;
    }
    renameEntry(selected.first());
}

void DocumentBrowser::updateFile(QVariantMap entry)
{
    UpdateFile dialog(entry, this, m_area);
    if (dialog.exec() != QDialog::Accepted)
        return;
    GCore::instance()->noteChange();
    requestFileList(currentFolderId, true);
}

// ---- uploads ----

void DocumentBrowser::uploadFile()
{
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QStringLiteral("选择要上传的文件（可多选）"), QString(), QString());
    if (files.isEmpty())
        return;
    GCore *core = GCore::instance();
    QStringList duplicates;
    for (const QString &path : files) {
        if (core->transferPanel() && core->transferPanel()->isUploading(path))
            duplicates.append(QFileInfo(path).fileName());
    }
    if (duplicates.size() == files.size()) {
        QMessageBox::warning(this, QStringLiteral("上传出错"),
                             QStringLiteral("您上传的文件都已在上传列表里，无法重复上传"));
        return;
    }
    if (!duplicates.isEmpty())
        plainMessageBox(this, QMessageBox::Warning, QStringLiteral("上传重复"),
                        QStringLiteral("以下文件已在上传列表里，将不会重复上传：\n%1")
                            .arg(duplicates.join(',')));
    for (const QString &path : files)
        core->showUploadTransfer(path, currentFolderId, m_area, QString());
}

void DocumentBrowser::dropFiles(QStringList files)
{
    if (files.isEmpty())
        return;
    const QString title = QStringLiteral("操作出错");
    if (files.size() > 1) {
        QMessageBox::warning(this, title, QStringLiteral("软件不支持拖动多个文件上传"));
        return;
    }
    const QString path = files.first();
    const QFileInfo info(path);
    if (!info.exists()) {
        QMessageBox::warning(this, title, QStringLiteral("您拖动的文件无法识别"));
        return;
    }
    GCore *core = GCore::instance();
    if (!info.isDir()) {
        if (core->transferPanel() && core->transferPanel()->isUploading(path)) {
            QMessageBox::warning(this, title, QStringLiteral("您拖动的文件已经在上传列表里"));
            return;
        }
        if (QMessageBox::question(
                this, QStringLiteral("上传确认"), QStringLiteral("是否将文件上传到当前路径？"),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes)
            core->showUploadTransfer(path, currentFolderId, m_area, QString());
        return;
    }
    int limit = core->userInfo().value(QStringLiteral("maxUploadNum")).toInt();
    if (limit < 2)
        limit = 300;
    QStringList dirs;
    QList<QStringList> found;
    const int scanned = HttpCurl::scanFolder(path, limit, dirs, found);
    if (scanned == -1) {
        QMessageBox::warning(this, title, QStringLiteral("您拖动的文件夹无法访问"));
        return;
    }
    if (scanned == -2) {
        QMessageBox::warning(this, title,
                             QStringLiteral("文件夹包含文件超出数量限制：%1个").arg(limit));
        return;
    }
    QVariantMap created;
    DDropFolder dialog(dirs, folderForNewItems(), m_area, &created, this);
    const int answer = dialog.exec();
    reloadList();
    if (answer != QDialog::Accepted)
        return;
    // Each file into the server folder made for its local folder.
    TransferQueue *panel = core->transferPanel();
    if (panel)
        panel->holdLayout(true);
    for (const QStringList &file : qAsConst(found)) {
        const QString folderId = created.value(file.at(1), QStringLiteral("-1")).toString();
        if (folderId != QLatin1String("-1"))
            core->showUploadTransfer(file.at(0), folderId, m_area, QString());
    }
    if (panel)
        panel->holdLayout(false);
}
