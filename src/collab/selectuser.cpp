#include "collab/selectuser.h"

#include "collab/dialogtable.h"
#include "core/gcore.h"
#include "core/httpthread.h"
#include "models/userviewmodel.h"
#include "widgets/dialogstyle.h"
#include "widgets/treeview.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kIdRole = Qt::UserRole + 1;
constexpr int kKindRole = Qt::UserRole + 3;
// The account name of a user candidate ("wangwu" for 王五): the filter finds
// colleagues by either name.
constexpr int kAccountRole = Qt::UserRole + 4;
constexpr int kGroup = 1;
constexpr int kUser = 2;

bool isSuccess(const QVariantMap &map)
{
    return map.contains(QStringLiteral("code")) &&
           map.value(QStringLiteral("code")).toString() == QLatin1String("0");
}

// Runs one request of the picker on a worker; `receive` gets the reply.
template <typename Receive>
void request(QObject *context, const QString &path, const FormParams &params, Receive receive)
{
    auto *thread = new HttpThread(GCore::instance()->serverUrl() + path, params);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    QObject::connect(thread, &HttpThread::receiveJson, context, receive);
    thread->start(QThread::InheritPriority);
}

} // namespace

SelectUser::SelectUser(QStringList &names, QStringList &ids, QWidget *parent, int mode)
    : FramelessDialog(parent, QColor(QLatin1String(DialogStyle::titleColor)), true), names(names),
      ids(ids), m_mode(mode), groupIcon(QStringLiteral(":/images/main/group.png")),
      personIcon(QStringLiteral(":/images/main/person.png"))
{
    resize(550, 400);
    initTitleBar();
    titleLabel->setText(QStringLiteral("选择用户"));

    auto *body = new QWidget(contentWidget);
    addContentWidget(body);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(9, 9, 9, 9);
    layout->setSpacing(5);

    auto *columns = new QHBoxLayout;
    columns->setSpacing(8);
    treeView = new TreeView(body, true);
    treeView->setFixedWidth(220);
    treeView->header()->hide();
    model = new UserViewModel(treeView);
    treeView->setModel(model);
    columns->addWidget(treeView);

    auto *middle = new QVBoxLayout;
    middle->setSpacing(4);
    filterEdit = new QLineEdit(body);
    filterEdit->setPlaceholderText(QStringLiteral("筛选用户"));
    filterEdit->setFixedSize(90, 22);
    middle->addWidget(filterEdit, 0, Qt::AlignLeft | Qt::AlignVCenter);
    candidateTable = new DialogTable(body, QStringLiteral("#aaa"));
    middle->addWidget(candidateTable);
    columns->addLayout(middle);

    auto *right = new QVBoxLayout;
    right->setSpacing(4);
    auto *caption = new QLabel(QStringLiteral("选中列表："), body);
    caption->setStyleSheet(QStringLiteral("color:#888;font-weight:bold;font-size:10pt;"));
    caption->setFixedHeight(22);
    right->addWidget(caption);
    chosenTable = new DialogTable(body, QStringLiteral("#aaa"));
    right->addWidget(chosenTable);
    columns->addLayout(right);
    layout->addLayout(columns);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    auto *filler = new QLabel(body);
    filler->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    buttons->addWidget(filler);
    okButton = DialogStyle::makeButton(QStringLiteral("确定"), body);
    okButton->setStyleSheet(DialogStyle::buttonStyle() + QLatin1String(DialogStyle::disabledLook));
    cancelButton = DialogStyle::makeButton(QStringLiteral("取消"), body);
    for (QPushButton *button : {okButton, cancelButton}) {
        button->setFixedSize(64, 24);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);

    connect(treeView, &QTreeView::clicked, this, &SelectUser::treeClicked);
    connect(model, &UserViewModel::refreshFinished, this, &SelectUser::treeClicked);
    connect(filterEdit, &QLineEdit::textChanged, this, &SelectUser::slotSearch);
    connect(candidateTable, &QTableWidget::itemClicked, this, &SelectUser::table1Clicked);
    connect(chosenTable, &QTableWidget::cellClicked, this, &SelectUser::table2Clicked);
    connect(okButton, &QPushButton::clicked, this, &SelectUser::accept);
    connect(cancelButton, &QPushButton::clicked, this, &SelectUser::reject);

    QTimer::singleShot(50, this, &SelectUser::requestGroups);
}

bool SelectUser::chooseInto(QWidget *parent, int mode, QLineEdit *field, QStringList &ids)
{
    QStringList chosenNames, chosenIds;
    SelectUser picker(chosenNames, chosenIds, parent, mode);
    if (picker.exec() != QDialog::Accepted)
        return false;
    field->setText(chosenNames.join(QLatin1Char(',')));
    ids = chosenIds;
    return true;
}

void SelectUser::requestGroups()
{
    request(model, QStringLiteral("/api/user/list-all-group.jf"),
            {{QStringLiteral("token"), GCore::instance()->token()}},
            [this](QVariantMap map) { model->receiveData(map); });
}

QTableWidgetItem *SelectUser::makeEntry(const QString &text, const QString &id, int kind) const
{
    auto *item = new QTableWidgetItem(kind == kGroup ? groupIcon : personIcon, text);
    item->setData(kIdRole, id);
    item->setData(kKindRole, kind);
    return item;
}

void SelectUser::treeClicked(QModelIndex index)
{
    filterEdit->clear();
    const QString groupId = index.data(kIdRole).toString();
    candidateTable->setRowCount(0);
    if (m_mode == 0) {
        const int children = model->rowCount(index);
        candidateTable->setRowCount(children);
        for (int row = 0; row < children; ++row) {
            const QModelIndex child = model->index(row, 0, index);
            candidateTable->setItem(row, 0,
                                    makeEntry(child.data(Qt::DisplayRole).toString(),
                                              child.data(kIdRole).toString(), kGroup));
        }
    }
    // The candidates belong to the group clicked last: a reply to an earlier
    // click that arrives late is dropped.
    const quint64 serial = ++memberSerial;
    request(this, QStringLiteral("/api/user/user-list.jf"),
            {{QStringLiteral("token"), GCore::instance()->token()},
             {QStringLiteral("groupId"), groupId}},
            [this, serial](QVariantMap map) {
                if (serial == memberSerial)
                    receiveData(map);
            });
}

void SelectUser::receiveData(QVariantMap map)
{
    if (!isSuccess(map))
        return;
    const QVariantList users = map.value(QStringLiteral("data")).toList();
    int row = candidateTable->rowCount();
    candidateTable->setRowCount(row + users.size());
    for (const QVariant &value : users) {
        const QVariantMap user = value.toMap();
        QTableWidgetItem *entry = makeEntry(user.value(QStringLiteral("realname")).toString(),
                                            user.value(QStringLiteral("id")).toString(), kUser);
        entry->setData(kAccountRole, user.value(QStringLiteral("username")).toString());
        candidateTable->setItem(row++, 0, entry);
    }
    // Members that arrive while a filter is typed obey it too.
    if (!filterEdit->text().trimmed().isEmpty())
        slotSearch(filterEdit->text());
}

void SelectUser::table1Clicked(QTableWidgetItem *item)
{
    if (!item)
        return;
    const QString id = item->data(kIdRole).toString();
    const int kind = item->data(kKindRole).toInt();
    for (int row = 0; row < chosenTable->rowCount(); ++row) {
        const QTableWidgetItem *chosen = chosenTable->item(row, 0);
        if (chosen && chosen->data(kIdRole).toString() == id &&
            chosen->data(kKindRole).toInt() == kind) {
            chosenTable->removeRow(row);
            return;
        }
    }
    QTableWidgetItem *entry = makeEntry(item->text(), id, kind);
    if (m_mode == 1)
        chosenTable->setRowCount(0);
    chosenTable->insertRow(0);
    chosenTable->setItem(0, 0, entry);
}

void SelectUser::table2Clicked(int row, int)
{
    chosenTable->removeRow(row);
}

bool SelectUser::matches(const QTableWidgetItem *item, const QString &key)
{
    return item && (key.isEmpty() || item->text().contains(key, Qt::CaseInsensitive) ||
                    item->data(kAccountRole).toString().contains(key, Qt::CaseInsensitive));
}

void SelectUser::slotSearch(QString key)
{
    key = key.trimmed();
    candidateTable->filterRows(
        [this, &key](int row) { return matches(candidateTable->item(row, 0), key); });
}

void SelectUser::accept()
{
    for (int row = 0; row < chosenTable->rowCount(); ++row) {
        const QTableWidgetItem *item = chosenTable->item(row, 0);
        if (!item)
            continue;
        const QString id = item->data(kIdRole).toString();
        names.append(item->text());
        if (m_mode == 0)
            ids.append((item->data(kKindRole).toInt() == kGroup ? QStringLiteral("G")
                                                                : QStringLiteral("U")) +
                       id);
        else
            ids.append(id);
    }
    FramelessDialog::accept();
}
