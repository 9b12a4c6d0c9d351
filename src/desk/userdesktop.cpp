#include "desk/userdesktop.h"

#include "core/avatarimage.h"
#include "core/downloadthread.h"
#include "core/gcore.h"
#include "core/httpthread.h"
#include "desk/daytext.h"
#include "desk/dshowanouncement.h"
#include "widgets/linklabel.h"
#include "widgets/loaderrorlabel.h"
#include "widgets/tpushbutton.h"

#include <QCursor>
#include <QDebug>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPropertyAnimation>
#include <QShowEvent>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <functional>

namespace {

const int fileIdRole = Qt::UserRole + 1;
const int parentIdRole = Qt::UserRole + 4;
const int rowHeight = 52;
const int avatarSide = 32;

// Where the name in a list's first text line comes from.
enum class NameFrom { Field, Recipients };

// One list of the left bar: its caption and path, whether each record
// carries a "files" list (one row per file) or is a file itself, its first
// text line, its avatar, and the library folder that "查看" opens.
struct LeftList
{
    const char *caption;
    const char *path;
    bool perFile;
    const char *firstLine;
    NameFrom nameFrom;
    const char *nameKey;
    // The key of the user whose picture the rows show; null: the default picture.
    const char *avatarKey;
    // Null: the file's own folder. Net disk files have no folder in the
    // library; the library lists them under "-9" (shared with me) and "-8"
    // (shared by me).
    const char *folderId;
    // Per-record lists: the field of the date shown, the one the server
    // orders the list by (the filing of a favourite, the last change of a
    // subscribed file); "time" when the record lacks it.
    const char *dateKey;
};

// The records of my shares carry the share's own "id", which names no user:
// like my publications and net disk shares they show the default picture,
// without a request that could only fail.
const LeftList leftLists[UserDesktop::leftListCount] = {
    {"分享给我的", "/api/file/share-to-me-list.jf", true, "%1 - 分享给我", NameFrom::Field,
     "userName", "userId", nullptr, nullptr},
    {"发布给我的", "/api/file/publish-to-me-list.jf", true, "%1 - 发布给我", NameFrom::Field,
     "creatorName", "creatorId", nullptr, nullptr},
    {"共享给我的", "/api/netdisk/share-to-me-list.jf", true, "%1 - 共享给我", NameFrom::Field,
     "creatorName", "userId", "-9", nullptr},
    // The creator's name beside the creator's picture.
    {"我的收藏", "/api/file/my-fav-list.jf", false, "%1", NameFrom::Field, "creatorName",
     "creatorId", nullptr, "createTime"},
    {"我分享的", "/api/file/my-share-list.jf", true, "我分享给- %1", NameFrom::Recipients, nullptr,
     nullptr, nullptr, nullptr},
    {"我发布的", "/api/file/my-publish-list.jf", true, "我发布给- %1", NameFrom::Recipients,
     nullptr, nullptr, nullptr, nullptr},
    {"我共享的", "/api/netdisk/my-share-list.jf", true, "我共享给- %1", NameFrom::Recipients,
     nullptr, nullptr, "-8", nullptr},
    {"我订阅的", "/api/file/my-subscribe-list.jf", false, "%1", NameFrom::Field, "creatorName",
     "creatorId", nullptr, "time"},
};

const char *leftBarStyle = ".TPushButton {border:0px;font-weight:bold;font-size:10pt;color:#666;"
                           "border-bottom:1px solid #eaeaea;text-align:left;padding-left:14px;}";
const char *leftBarSelectedStyle =
    ".TPushButton {border:0px;font-weight:bold;font-size:10pt;color:#666;background:#fff;"
    "border-bottom:1px solid #eaeaea;text-align:left;padding-left:14px;}";

bool isSuccess(const QVariantMap &reply)
{
    return reply.value(QStringLiteral("code")).toString() == QLatin1String("0");
}

// Posts one form on a worker; the reply goes to `handler` on this thread.
void post(QObject *receiver, const QString &path, const FormParams &params,
          std::function<void(QVariantMap)> handler)
{
    auto *worker = new HttpThread(GCore::instance()->serverUrl() + path, params);
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    QObject::connect(worker, &HttpThread::receiveJson, receiver, std::move(handler));
    worker->start();
}

FormParams tokenOnly()
{
    return {{QStringLiteral("token"), GCore::instance()->token()}};
}

QString firstLineOf(const LeftList &list, const QVariantMap &record)
{
    QString name;
    switch (list.nameFrom) {
    case NameFrom::Field:
        name = record.value(QLatin1String(list.nameKey)).toString();
        break;
    case NameFrom::Recipients: {
        QStringList names;
        for (const QVariant &rec : record.value(QStringLiteral("recs")).toList())
            names << rec.toMap().value(QStringLiteral("name")).toString();
        name = names.join(QLatin1Char(','));
        break;
    }
    }
    return QString::fromUtf8(list.firstLine).arg(name);
}

QString avatarOf(const LeftList &list, const QVariantMap &record)
{
    return list.avatarKey ? record.value(QLatin1String(list.avatarKey)).toString() : QString();
}

// The date item of a row; it carries the ids that opening the row needs.
QTableWidgetItem *idItem(const QString &text, const QVariantMap &file, const QString &folderId)
{
    auto *item = new QTableWidgetItem(text);
    item->setData(fileIdRole, file.value(QStringLiteral("fileId")).toString());
    item->setData(parentIdRole, folderId.isEmpty()
                                    ? file.value(QStringLiteral("parentId")).toString()
                                    : folderId);
    return item;
}

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

// A plain box painted by its own style sheet rule, which names it.
QWidget *styledBox(QWidget *parent, const QString &name, const QString &style)
{
    auto *box = new QWidget(parent);
    box->setObjectName(name);
    box->setAttribute(Qt::WA_StyledBackground);
    box->setStyleSheet(style);
    return box;
}

// Layouts of the desktop's boxes: no margins, no spacing.
template <typename Layout> Layout *bareLayout(QWidget *box)
{
    auto *layout = new Layout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

QLabel *pictureLabel(QWidget *parent, const QString &path)
{
    auto *label = new QLabel(parent);
    label->setPixmap(QPixmap(path));
    label->setScaledContents(true);
    return label;
}

} // namespace

UserDesktop::UserDesktop(QWidget *parent) : QWidget(parent)
{
    // The library browser, built right after the desktop, connects to openFolder.
    GCore::instance()->setUserDesktop(this);
    defaultThumb =
        QPixmap(QStringLiteral(":/images/main/default_thumb.png"))
            .scaled(avatarSide, avatarSide, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    // The three areas load at once, each on its own worker, while the widgets
    // are built; their replies are handled once the desktop is complete.
    requestAnouncementData();
    requestRightList(1);
    requestLeftList(0);
    listsRequested.start();
    changesSeen = GCore::instance()->changeCount();

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(9, 9, 9, 9);
    outer->setSpacing(0);
    outer->addWidget(buildTicker());

    auto *panels = new QHBoxLayout;
    panels->setContentsMargins(0, 6, 0, 0);
    panels->setSpacing(9);
    panels->addWidget(buildLeftPanel(), 1);
    panels->addWidget(buildRightPanel());
    outer->addLayout(panels, 1);

    noticeAnimation = new QPropertyAnimation(noticeLabel, "geometry", this);
    noticeAnimation->setDuration(300);
    noticeTimer = new QTimer(this);
    noticeTimer->setObjectName(QStringLiteral("noticeTimer"));
    connect(noticeTimer, &QTimer::timeout, this, &UserDesktop::showAnouncement);
    noticeTimer->start(3000);
    showAnouncement();
    noticeReloadTimer = new QTimer(this);
    noticeReloadTimer->setObjectName(QStringLiteral("noticeReloadTimer"));
    connect(noticeReloadTimer, &QTimer::timeout, this, &UserDesktop::requestAnouncementData);
    noticeReloadTimer->start(5 * 60 * 1000);

    markLeftBarButton(leftBarButtons.first());

    QTimer::singleShot(100, this, &UserDesktop::placeErrorLabels);
}

QWidget *UserDesktop::buildTicker()
{
    QWidget *container = styledBox(this, QStringLiteral("container"),
                                   QStringLiteral(".QWidget#container {border:1px solid #ccc;}"));
    container->setFixedHeight(38);
    auto *layout = bareLayout<QHBoxLayout>(container);

    auto *caption = new QLabel(QStringLiteral("最新公告"), container);
    caption->setFixedWidth(110);
    caption->setIndent(35);
    caption->setStyleSheet(
        QStringLiteral(".QLabel {background:#00c6fb;font-size:11pt;color:#fff;font-weight:bold;}"));
    pictureLabel(caption, QStringLiteral(":/images/main/anouncement.png"))
        ->setGeometry(6, 9, 25, 23);
    layout->addWidget(caption);

    noticeArea = new QWidget(container);
    noticeArea->setObjectName(QStringLiteral("noticeArea"));
    noticeArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    layout->addWidget(noticeArea);
    noticeLabel = new LinkLabel(noticeArea);
    noticeLabel->setObjectName(QStringLiteral("noticeLabel"));
    noticeLabel->setTextFormat(Qt::PlainText);
    noticeLabel->hide();
    connect(noticeLabel, &LinkLabel::clicked, this, [this] {
        const QString id = noticeLabel->property("id").toString();
        if (id.isEmpty())
            return;
        QTimer::singleShot(0, this, [this, id] {
            DShowAnouncement dialog(id, this);
            dialog.exec();
        });
    });
    return container;
}

QWidget *UserDesktop::buildLeftPanel()
{
    auto *panel = new QWidget(this);
    auto *layout = bareLayout<QVBoxLayout>(panel);

    QWidget *top = styledBox(panel, QStringLiteral("top"),
                             QStringLiteral("QWidget#top {background:#00c6fb;}"));
    top->setFixedHeight(36);
    auto *topLayout = bareLayout<QHBoxLayout>(top);
    auto *title = new QLabel(QStringLiteral("我的待办"), top);
    title->setIndent(37);
    title->setStyleSheet(
        QStringLiteral(".QLabel {background:#00c6fb;font-size:10pt;color:#fff;font-weight:bold;}"));
    topLayout->addWidget(title);
    QLabel *icon = pictureLabel(top, QStringLiteral(":/images/main/todolist.png"));
    icon->setGeometry(8, 6, 24, 24);
    icon->raise();
    layout->addWidget(top);

    QWidget *content =
        styledBox(panel, QStringLiteral("content"),
                  QStringLiteral("QWidget#content {border:1px solid #ccc;border-top:0px;}"));
    content->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto *contentLayout = bareLayout<QHBoxLayout>(content);
    layout->addWidget(content, 1);

    QWidget *leftBar =
        styledBox(content, QStringLiteral("leftBar"),
                  QStringLiteral("QWidget#leftBar {background:#e5f9ff;border-bottom:1px solid "
                                 "#eaeaea;border-left:1px solid #eaeaea;}"));
    leftBar->setFixedWidth(110);
    auto *barLayout = bareLayout<QVBoxLayout>(leftBar);
    for (const LeftList &list : leftLists) {
        auto *button = new TPushButton(leftBar);
        static_cast<QPushButton *>(button)->setText(QString::fromUtf8(list.caption));
        button->setCheckable(true);
        // Pressing the entry in force again keeps it checked.
        button->setAutoExclusive(true);
        button->setFixedSize(110, 52);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(QLatin1String(leftBarStyle));
        connect(button, &QPushButton::pressed, this, &UserDesktop::slotLeftBarBtClicked);
        barLayout->addWidget(button);
        leftBarButtons.append(button);
    }
    barLayout->addStretch();
    contentLayout->addWidget(leftBar);

    leftTable = makeTable(2);
    leftTable->setObjectName(QStringLiteral("content"));
    connect(leftTable, &QTableWidget::cellPressed, this, &UserDesktop::slotLeftTablePressed);
    connect(leftTable, &QTableWidget::cellDoubleClicked, this,
            &UserDesktop::slotLeftTableDoubleClicked);
    contentLayout->addWidget(leftTable);
    leftErrorLabel = new LoadErrorLabel(leftTable);
    connect(leftErrorLabel, &LoadErrorLabel::retry, this, &UserDesktop::showLeftTable);
    return panel;
}

QWidget *UserDesktop::buildRightPanel()
{
    auto *panel = new QWidget(this);
    panel->setFixedWidth(330);
    auto *layout = bareLayout<QVBoxLayout>(panel);

    QWidget *top = styledBox(panel, QStringLiteral("top"),
                             QStringLiteral("QWidget#top {background:#00c6fb;}"));
    top->setFixedHeight(32);
    auto *topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(8, 0, 0, 0);
    QLabel *icon = pictureLabel(top, QStringLiteral(":/images/main/oftenfile.png"));
    icon->setFixedSize(24, 24);
    topLayout->addWidget(icon);
    auto switchButton = [top, topLayout](const QString &text, const char *style) {
        auto *button = new TPushButton(top);
        static_cast<QPushButton *>(button)->setText(text);
        button->setCheckable(true);
        button->setFixedSize(74, 16);
        button->setStyleSheet(QLatin1String(style));
        topLayout->addWidget(button);
        return button;
    };
    oftenButton = switchButton(
        QStringLiteral("常用文件"),
        ".TPushButton {border:0px;color:#fff;font-weight:bold;}"
        ".TPushButton:checked {border:0px;font-size:11pt;pt;color:#fff;font-weight:bold;}");
    oftenButton->setObjectName(QStringLiteral("oftenButton"));
    oftenButton->setChecked(true);
    latestButton =
        switchButton(QStringLiteral("最新文件"),
                     ".TPushButton {border:0px;color:#fff;border-left:2px solid #fff;"
                     "font-weight:bold;}.TPushButton:checked {border:0px;font-size:11pt; "
                     "color:#fff;border-left:2px solid #fff;font-weight:bold;}");
    latestButton->setObjectName(QStringLiteral("latestButton"));
    topLayout->addStretch();
    connect(oftenButton, &QPushButton::clicked, this, [this] {
        oftenButton->setChecked(true);
        latestButton->setChecked(false);
        showRightTable(1);
    });
    connect(latestButton, &QPushButton::clicked, this, [this] {
        latestButton->setChecked(true);
        oftenButton->setChecked(false);
        showRightTable(2);
    });
    layout->addWidget(top);

    rightTable = makeTable(3);
    rightTable->setObjectName(QStringLiteral("content"));
    rightTable->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Fixed);
    rightTable->horizontalHeader()->resizeSection(2, 80);
    connect(rightTable, &QTableWidget::cellPressed, this, &UserDesktop::slotRightTablePressed);
    connect(rightTable, &QTableWidget::cellDoubleClicked, this,
            &UserDesktop::slotRightTableDoubleClicked);
    layout->addWidget(rightTable, 1);
    rightErrorLabel = new LoadErrorLabel(rightTable);
    connect(rightErrorLabel, &LoadErrorLabel::retry, this,
            [this] { showRightTable(latestButton->isChecked() ? 2 : 1); });
    return panel;
}

QTableWidget *UserDesktop::makeTable(int columns)
{
    auto *table = new QTableWidget(0, columns, this);
    table->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    table->setShowGrid(false);
    table->setAlternatingRowColors(true);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);
    table->horizontalHeader()->resizeSection(1, 80);
    table->setStyleSheet(QStringLiteral(
        "QTableWidget::item:selected { background-color:#f2ebcd;}QTableWidget::item { "
        "border:0px;}QTableWidget#content {border:1px solid #eaeaea;border-top:0px;"
        "alternate-background-color:#f2f2f2;background:#fff;}"));
    return table;
}

int UserDesktop::leftEntry() const
{
    for (int i = 0; i < leftBarButtons.size(); ++i) {
        if (leftBarButtons.at(i)->markerShown())
            return i;
    }
    return 0;
}

void UserDesktop::placeErrorLabels()
{
    leftErrorLabel->centre();
    rightErrorLabel->centre();
}

void UserDesktop::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeErrorLabels();
}

void UserDesktop::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A window restored by the window system is not a return to the desktop.
    if (event->spontaneous())
        return;
    const quint64 changes = GCore::instance()->changeCount();
    if (changes == changesSeen && listsRequested.isValid() &&
        listsRequested.elapsed() < reloadSpacingMs)
        return;
    changesSeen = changes;
    listsRequested.start();
    showLeftTable();
    showRightTable(latestButton->isChecked() ? 2 : 1);
}

// ---- announcements ----

void UserDesktop::requestAnouncementData()
{
    post(this, QStringLiteral("/api/sys/notice-list.jf"), tokenOnly(), [this](QVariantMap reply) {
        // A failed reload keeps the announcements already shown.
        if (!isSuccess(reply))
            return;
        notices = reply.value(QStringLiteral("data")).toList();
        noticeIndex = 0;
    });
}

void UserDesktop::showAnouncement()
{
    if (notices.isEmpty()) {
        noticeLabel->hide();
        return;
    }
    noticeIndex = (noticeIndex + 1) % notices.size();
    const QVariantMap notice = notices.at(noticeIndex).toMap();
    const QString text =
        QStringLiteral("%1 (%2)").arg(notice.value(QStringLiteral("title")).toString(),
                                      dayText(notice.value(QStringLiteral("noticeTime"))));
    noticeLabel->setText(text);
    noticeLabel->setProperty("id", notice.value(QStringLiteral("id")).toString());
    noticeLabel->show();
    const int h = noticeArea->height();
    const int w = noticeLabel->fontMetrics().horizontalAdvance(text) + 27;
    noticeAnimation->stop();
    noticeAnimation->setStartValue(QRect(0, h, w, h));
    noticeAnimation->setEndValue(QRect(0, 0, w, h));
    noticeAnimation->start();
}

// ---- the left lists ----

void UserDesktop::slotLeftBarBtClicked()
{
    if (auto *button = qobject_cast<TPushButton *>(sender()))
        selectLeftBarButton(button);
}

void UserDesktop::selectLeftBarButton(TPushButton *chosen)
{
    markLeftBarButton(chosen);
    showLeftTable();
}

void UserDesktop::markLeftBarButton(TPushButton *chosen)
{
    for (TPushButton *button : qAsConst(leftBarButtons)) {
        const bool selected = button == chosen;
        // Restyling costs a polish of the button: only the two that change.
        if (button->markerShown() == selected)
            continue;
        button->setShowMarker(selected);
        button->setStyleSheet(QLatin1String(selected ? leftBarSelectedStyle : leftBarStyle));
    }
    chosen->setChecked(true);
}

void UserDesktop::clearLeftTable()
{
    thumbLabels.clear();
    thumbRequests.clear();
    leftTable->clearContents();
    leftTable->setRowCount(0);
}

void UserDesktop::showLeftTable()
{
    clearLeftTable();
    leftErrorLabel->hide();
    requestLeftList(leftEntry());
}

void UserDesktop::requestLeftList(int entry)
{
    postList(QString::fromLatin1(leftLists[entry].path), tokenOnly(), &leftSerial,
             &UserDesktop::slotLeftTableReceiveData);
}

void UserDesktop::postList(const QString &path, const FormParams &params, quint64 *serial,
                           void (UserDesktop::*handler)(QVariantMap))
{
    const quint64 number = ++*serial;
    post(this, path, params, [this, serial, number, handler](QVariantMap reply) {
        if (number != *serial) {
            qDebug() << __FILE__ << __LINE__ << "reply of an earlier list dropped" << number;
            return;
        }
        (this->*handler)(reply);
    });
}

void UserDesktop::slotLeftTableReceiveData(QVariantMap reply)
{
    clearLeftTable();
    if (!isSuccess(reply)) {
        leftErrorLabel->centre();
        leftErrorLabel->show();
        return;
    }
    leftErrorLabel->hide();
    const QList<LeftRow> rows = leftRows(leftEntry(), reply);
    for (const LeftRow &row : rows)
        addLeftRow(row.file, row.firstLine, row.date, row.avatarUser, row.folderId);
    requestThumbs();
}

QList<UserDesktop::LeftRow> UserDesktop::leftRows(int entry, const QVariantMap &reply)
{
    const LeftList &list = leftLists[entry];
    const QString folderId = list.folderId ? QString::fromLatin1(list.folderId) : QString();
    QList<LeftRow> rows;
    for (const QVariant &value : reply.value(QStringLiteral("data")).toList()) {
        const QVariantMap record = value.toMap();
        const QString firstLine = firstLineOf(list, record);
        const QString avatar = avatarOf(list, record);
        if (list.perFile) {
            const QString date = dayText(record.value(QStringLiteral("time")));
            for (const QVariant &file : record.value(QStringLiteral("files")).toList())
                rows.append({file.toMap(), firstLine, date, avatar, folderId});
        } else {
            const QString dateKey = QLatin1String(list.dateKey);
            const QVariant time = record.contains(dateKey) ? record.value(dateKey)
                                                           : record.value(QStringLiteral("time"));
            rows.append({record, firstLine, dayText(time), avatar, folderId});
        }
    }
    return rows;
}

void UserDesktop::addLeftRow(const QVariantMap &file, const QString &firstLine, const QString &date,
                             const QString &avatarUser, const QString &folderId)
{
    const int row = leftTable->rowCount();
    leftTable->insertRow(row);
    leftTable->setRowHeight(row, rowHeight);
    leftTable->setCellWidget(row, 0, rowWidget(file, firstLine, avatarUser));
    leftTable->setItem(row, 1, idItem(date, file, folderId));
}

QWidget *UserDesktop::rowWidget(const QVariantMap &file, const QString &firstLine,
                                const QString &avatarUser)
{
    auto *cell = new QWidget;
    auto *layout = new QHBoxLayout(cell);
    layout->setContentsMargins(8, 9, 5, 9);
    layout->setSpacing(5);

    auto *avatar = new QLabel(cell);
    avatar->setObjectName(QStringLiteral("avatar"));
    avatar->setFixedSize(avatarSide, avatarSide);
    avatar->setPixmap(defaultThumb);
    layout->addWidget(avatar);
    if (!avatarUser.isEmpty())
        thumbLabels[avatarUser].append(avatar);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    QLabel *first = plainLabel(firstLine, cell);
    first->setObjectName(QStringLiteral("firstLine"));
    texts->addWidget(first);
    QLabel *name = plainLabel(file.value(QStringLiteral("fileName")).toString(), cell);
    name->setObjectName(QStringLiteral("fileName"));
    name->setIndent(20);
    const QPixmap icon(GCore::fileIconPath(file));
    if (!icon.isNull()) {
        auto *iconLabel = new QLabel(name);
        iconLabel->setGeometry(0, 0, 16, 16);
        iconLabel->setPixmap(icon);
        iconLabel->setScaledContents(true);
        name->setMinimumHeight(16);
    }
    texts->addWidget(name);
    layout->addLayout(texts, 1);
    return cell;
}

void UserDesktop::requestThumbs()
{
    const QString base = GCore::instance()->serverUrl();
    for (auto it = thumbLabels.cbegin(); it != thumbLabels.cend(); ++it) {
        const quintptr number = ++thumbSerial;
        thumbRequests.insert(number, it.key());
        // The id comes from the server: escaped, so it stays one query value.
        const QString url = QStringLiteral("%1/api/user/user-thumb.jf?userId=%2")
                                .arg(base, QString::fromLatin1(QUrl::toPercentEncoding(it.key())));
        auto *worker = new DownloadThread(url, reinterpret_cast<void *>(number));
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        connect(worker, &DownloadThread::downloadFinished2, this, &UserDesktop::receiveThumb);
        worker->start();
    }
}

void UserDesktop::receiveThumb(QByteArray data, void *pt)
{
    // Requests of a list that has been cleared since are forgotten.
    const QString user = thumbRequests.take(reinterpret_cast<quintptr>(pt));
    if (user.isEmpty())
        return;
    const QList<QLabel *> labels = thumbLabels.take(user);
    const QImage image = readAvatar(data);
    if (image.isNull())
        return;
    const QPixmap picture = QPixmap::fromImage(
        image.scaled(avatarSide, avatarSide, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    for (QLabel *label : labels)
        label->setPixmap(picture);
}

void UserDesktop::slotLeftTablePressed(int row, int column)
{
    Q_UNUSED(column)
    pressRow(leftTable->item(row, 1));
}

void UserDesktop::slotLeftTableDoubleClicked(int row, int column)
{
    Q_UNUSED(column)
    openRow(leftTable->item(row, 1));
}

// ---- frequent and latest files ----

void UserDesktop::showRightTable(int type)
{
    rightErrorLabel->hide();
    rightTable->clearContents();
    rightTable->setRowCount(0);
    requestRightList(type);
}

void UserDesktop::requestRightList(int type)
{
    rightType = type;
    FormParams params = tokenOnly();
    params.insert(QStringLiteral("type"), QString::number(type));
    params.insert(QStringLiteral("limit"), QStringLiteral("20"));
    postList(QStringLiteral("/api/file/list-my-file.jf"), params, &rightSerial,
             &UserDesktop::receiveRightTableData);
}

void UserDesktop::receiveRightTableData(QVariantMap reply)
{
    if (!isSuccess(reply)) {
        rightErrorLabel->centre();
        rightErrorLabel->show();
        return;
    }
    rightErrorLabel->hide();
    rightTable->clearContents();
    const QVariantList files = reply.value(QStringLiteral("data")).toList();
    rightTable->setRowCount(files.size());
    // The latest files come in the order of their last change: that date is
    // shown, not the creation, which would look out of order.
    const QString dateKey =
        rightType == 2 ? QStringLiteral("lastModifyTime") : QStringLiteral("createTime");
    QHash<QString, QIcon> icons;
    for (int row = 0; row < files.size(); ++row) {
        const QVariantMap file = files.at(row).toMap();
        const QString iconPath = GCore::fileIconPath(file);
        auto icon = icons.find(iconPath);
        if (icon == icons.end())
            icon = icons.insert(iconPath, QIcon(iconPath));
        QTableWidgetItem *name =
            idItem(file.value(QStringLiteral("fileName")).toString(), file, QString());
        name->setIcon(*icon);
        rightTable->setItem(row, 0, name);
        rightTable->setItem(row, 1,
                            new QTableWidgetItem(file.value(QStringLiteral("user")).toString()));
        rightTable->setItem(row, 2, new QTableWidgetItem(dayText(file.value(dateKey))));
    }
}

void UserDesktop::slotRightTablePressed(int row, int column)
{
    Q_UNUSED(column)
    pressRow(rightTable->item(row, 0));
}

void UserDesktop::slotRightTableDoubleClicked(int row, int column)
{
    Q_UNUSED(column)
    openRow(rightTable->item(row, 0));
}

// ---- opening ----

void UserDesktop::openRow(const QTableWidgetItem *item)
{
    if (!item)
        return;
    emit openFolder(item->data(parentIdRole).toString(), item->data(fileIdRole).toString());
}

void UserDesktop::pressRow(const QTableWidgetItem *item)
{
    if (QGuiApplication::mouseButtons() != Qt::RightButton || !item)
        return;
    const QString parentId = item->data(parentIdRole).toString();
    const QString fileId = item->data(fileIdRole).toString();
    QMenu menu(this);
    menu.addAction(QStringLiteral("查看"), this,
                   [this, parentId, fileId] { emit openFolder(parentId, fileId); });
    menu.exec(QCursor::pos());
}
