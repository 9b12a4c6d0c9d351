#include "transfer/dfoldertree.h"

#include "core/gcore.h"
#include "models/treeviewmodel.h"
#include "widgets/dialogstyle.h"
#include "widgets/plainmessagebox.h"
#include "widgets/treeview.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

DFolderTree::DFolderTree(const QStringList &sourceIds, int mode, const QString &currentFolderId,
                         QWidget *parent)
    : DFolderTree(sourceIds, mode, currentFolderId, parent, 0,
                  mode == 2 ? QStringLiteral("/api/file/move.jf")
                            : QStringLiteral("/api/file/copy.jf"))
{
}

DFolderTree::DFolderTree(const QStringList &sourceIds, int mode, const QString &currentFolderId,
                         QWidget *parent, int area, const QString &path)
    : FramelessDialog(parent, QColor(QLatin1String(DialogStyle::titleColor)), true),
      sourceIds(sourceIds), mode(mode), currentFolderId(currentFolderId), path(path)
{
    resize(550, 450);
    initTitleBar();
    titleLabel->setText(mode == 2 ? QStringLiteral("选择要移动的文件夹")
                                  : QStringLiteral("选择要复制的文件夹"));

    // The frame's content area has its own layout; the dialog's rows go in one body.
    auto *body = new QWidget(contentWidget);
    addContentWidget(body);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(9, 6, 9, 9);
    layout->setSpacing(8);
    view = new TreeView(body, false);
    view->header()->hide();
    model = new TreeViewModel(view, area, this);
    // The share folders hold no items of their own: nothing can go there.
    model->setTargetsOnly(true);
    view->setModel(model);
    layout->addWidget(view);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(0, 0, 0, 6);
    buttonRow->setSpacing(20);
    auto *spacer = new QWidget(body);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    buttonRow->addWidget(spacer);
    QPushButton *ok = DialogStyle::makeButton(QStringLiteral("确定"), body, 11);
    QPushButton *close = DialogStyle::makeButton(QStringLiteral("关闭"), body, 11);
    for (QPushButton *button : {ok, close}) {
        button->setFixedSize(64, 24);
        buttonRow->addWidget(button);
    }
    layout->addLayout(buttonRow);
    okButton = ok;
    connect(ok, &QPushButton::clicked, this, &DFolderTree::accept);
    connect(close, &QPushButton::clicked, this, &DFolderTree::reject);

    QTimer::singleShot(50, this, [this] {
        model->refresh(true);
        // The folder the items are in is chosen at first (the top folder
        // when it is not a library folder).
        model->selectById(this->currentFolderId);
        view->scrollTo(view->currentIndex());
    });
}

void DFolderTree::accept()
{
    if (isWaiting())
        return;
    const QString targetId = view->currentIndex().data(Qt::UserRole + 1).toString();
    if (targetId == currentFolderId) {
        FramelessDialog::accept();
        return;
    }
    GCore *core = GCore::instance();
    const QString url = core->serverUrl() + path;
    postAndAccept(url,
                  {{QStringLiteral("token"), core->token()},
                   {QStringLiteral("targetId"), targetId},
                   {QStringLiteral("sourceIds"), sourceIds.join(QLatin1Char(','))}},
                  {view, okButton}, [this](QString msg) {
                      if (msg.isEmpty())
                          msg = mode == 2 ? QStringLiteral("无法移动") : QStringLiteral("无法复制");
                      plainMessageBox(this, QMessageBox::Warning, QStringLiteral("操作出错"), msg);
                  });
}

void DFolderTree::reject()
{
    if (!isWaiting())
        FramelessDialog::reject();
}
