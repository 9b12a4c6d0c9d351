#include "browse/dsearchfulltxt.h"

#include "collab/selectuser.h"
#include "models/treeviewmodel.h"
#include "widgets/dialogstyle.h"
#include "widgets/messagelabel.h"
#include "widgets/treeview.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const int kCaptionWidth = 60;
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

} // namespace

const QList<QPair<QString, QStringList>> &DSearchFullTxt::categories()
{
    static const QList<QPair<QString, QStringList>> list{
        {QStringLiteral("文档"), {"doc", "txt", "xls", "ppt", "pdf"}},
        {QStringLiteral("图片"), {"bmp", "png", "gif", "jpg", "jpeg"}},
        {QStringLiteral("图纸"), {"psd", "cdr", "dxf", "max", "3dx"}},
        {QStringLiteral("音频"), {"wma", "mp3", "mid", "wav", "rm"}},
        {QStringLiteral("视频"), {"avi", "rmvb", "mpeg", "3gp", "mkv"}},
        {QStringLiteral("压缩包"), {"zip", "rar"}},
        {QStringLiteral("自定义"), {}}};
    return list;
}

DSearchFullTxt::DSearchFullTxt(QVariantMap *criteria, QWidget *parent)
    : FramelessDialog(parent, QColor(QLatin1String(DialogStyle::titleColor)), true),
      criteria(criteria)
{
    resize(500, 400);
    initTitleBar();
    titleLabel->setText(QStringLiteral("高级搜索"));

    auto *body = new QWidget(contentWidget);
    addContentWidget(body);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(15, 10, 20, 10);
    layout->setSpacing(8);
    const auto addRow = [&](const QString &caption, Qt::Alignment alignment) {
        auto *row = new QHBoxLayout;
        row->setSpacing(8);
        row->addWidget(DialogStyle::makeCaption(caption, kCaptionWidth,
                                                Qt::AlignRight | Qt::AlignVCenter, body),
                       0, alignment);
        layout->addLayout(row);
        return row;
    };

    QHBoxLayout *keywordRow = addRow(QStringLiteral("关键词:"), Qt::AlignVCenter);
    keywordEdit = new QLineEdit(body);
    keywordEdit->setFixedHeight(30);
    keywordEdit->setPlaceholderText(QStringLiteral("请输入关键词"));
    keywordRow->addWidget(keywordEdit);

    QHBoxLayout *folderRow = addRow(QStringLiteral("文件路径:"), Qt::AlignTop);
    folderView = new TreeView(body, true);
    folderView->header()->hide();
    folderModel = new TreeViewModel(folderView, 0, this);
    folderView->setModel(folderModel);
    folderRow->addWidget(folderView);
    layout->setStretchFactor(folderRow, 1);

    // File types: a tab per category over a strip with that category's boxes
    // (or the free text field of "自定义").
    QHBoxLayout *typeRow = addRow(QStringLiteral("文件类型:"), Qt::AlignTop);
    auto *typeBox = new QWidget(body);
    auto *typeLayout = new QVBoxLayout(typeBox);
    typeLayout->setContentsMargins(0, 0, 0, 0);
    typeLayout->setSpacing(0);
    auto *tabs = new QHBoxLayout;
    tabs->setContentsMargins(0, 0, 0, 0);
    tabs->setSpacing(0);
    for (const auto &category : categories()) {
        auto *button = new QPushButton(category.first, typeBox);
        button->setProperty("exts", category.second);
        button->setCheckable(true);
        button->setAutoDefault(false);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(QStringLiteral(
            ".QPushButton {border:0px;background:transparent;color:#333;}"
            ".QPushButton:checked {border-top-left-radius:4px;border-top-right-radius:4px;"
            "background:#ccc;color:#333;}"));
        button->setFixedSize(button->fontMetrics().horizontalAdvance(category.first) + 16, 24);
        connect(button, &QPushButton::clicked, this, &DSearchFullTxt::showExtPanel);
        categoryButtons.append(button);
        tabs->addWidget(button);
        extensions.append(category.second);
    }
    tabs->addStretch();
    typeLayout->addLayout(tabs);
    auto *strip = new QWidget(typeBox);
    strip->setObjectName(QStringLiteral("strip"));
    strip->setAttribute(Qt::WA_StyledBackground);
    strip->setStyleSheet(QStringLiteral(".QWidget#strip {background:#ccc;border-radius:2px;}"));
    strip->setFixedHeight(28);
    auto *stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(5, 2, 2, 2);
    stripLayout->setSpacing(5);
    for (const QString &extension : qAsConst(extensions)) {
        auto *box = new QCheckBox(extension, strip);
        box->hide();
        extBoxes.insert(extension, box);
        stripLayout->addWidget(box);
    }
    customExtEdit = new QLineEdit(strip);
    customExtEdit->setPlaceholderText(QStringLiteral("请输入文件后缀名，多个值用逗号分开"));
    customExtEdit->hide();
    stripLayout->addWidget(customExtEdit, 1);
    stripLayout->addStretch();
    typeLayout->addWidget(strip);
    typeRow->addWidget(typeBox);

    QHBoxLayout *creatorRow = addRow(QStringLiteral("创建者:"), Qt::AlignVCenter);
    creatorEdit = new QLineEdit(body);
    creatorEdit->setFixedSize(90, 26);
    creatorEdit->setPlaceholderText(QStringLiteral("请选择"));
    // The creator is picked, never typed: the name shown is the one searched for.
    creatorEdit->setReadOnly(true);
    creatorRow->addWidget(creatorEdit);
    chooseButton = DialogStyle::makeButton(QStringLiteral("选择"), body);
    chooseButton->setAutoDefault(false);
    chooseButton->setFixedSize(50, 22);
    creatorRow->addWidget(chooseButton);
    creatorRow->addStretch();
    connect(chooseButton, &QPushButton::clicked, this, &DSearchFullTxt::selectUser);

    QHBoxLayout *dateRow = addRow(QStringLiteral("修改日期:"), Qt::AlignVCenter);
    const QDate today = QDate::currentDate();
    fromDate = new QDateEdit(today.addYears(-20), body);
    toDate = new QDateEdit(today, body);
    for (QDateEdit *edit : {fromDate, toDate}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(kDateFormat);
        edit->setFixedHeight(26);
    }
    dateRow->addWidget(new QLabel(QStringLiteral("从"), body));
    dateRow->addWidget(fromDate);
    dateRow->addWidget(new QLabel(QStringLiteral("到"), body));
    dateRow->addWidget(toDate);
    dateRow->addStretch();

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(12);
    errorLabel = MessageLabel::forButtonRow(body);
    buttonRow->addWidget(errorLabel);
    searchButton = DialogStyle::makeButton(QStringLiteral("搜索文件"), body);
    searchButton->setFixedSize(75, 24);
    // Enter in the keyword field searches.
    searchButton->setDefault(true);
    auto *cancelButton = DialogStyle::makeButton(QStringLiteral("取消"), body);
    cancelButton->setAutoDefault(false);
    cancelButton->setFixedSize(64, 24);
    buttonRow->addWidget(searchButton);
    buttonRow->addWidget(cancelButton);
    layout->addLayout(buttonRow);
    connect(searchButton, &QPushButton::clicked, this, &DSearchFullTxt::accept);
    connect(cancelButton, &QPushButton::clicked, this, &DSearchFullTxt::reject);

    // The first category is the one shown, with its boxes.
    showCategory(categoryButtons.first());

    QTimer::singleShot(50, this, [this] {
        folderModel->refresh(true);
        // The tree makes its first node current, which is "分享给我的"; a
        // search starts over the whole library.
        folderModel->selectById(QStringLiteral("0"), QModelIndex());
    });
    QTimer::singleShot(100, this, [this] { keywordEdit->setFocus(); });
}

void DSearchFullTxt::showExtPanel()
{
    if (auto *button = qobject_cast<QPushButton *>(sender()))
        showCategory(button);
}

void DSearchFullTxt::showCategory(QPushButton *button)
{
    for (QPushButton *b : qAsConst(categoryButtons))
        b->setChecked(b == button);
    const QStringList shown = button->property("exts").toStringList();
    if (shown.isEmpty()) {
        if (customExtEdit->isHidden())
            customExtEdit->clear();
        customExtEdit->show();
    } else {
        customExtEdit->clear();
        customExtEdit->hide();
    }
    for (auto it = extBoxes.cbegin(); it != extBoxes.cend(); ++it) {
        it.value()->setChecked(false);
        it.value()->setVisible(shown.contains(it.key()));
    }
}

void DSearchFullTxt::selectUser()
{
    SelectUser::chooseInto(this, 1, creatorEdit, creatorIds);
}

QStringList DSearchFullTxt::chosenExtensions() const
{
    QStringList chosen;
    for (const QString &extension : extensions) {
        if (extBoxes.value(extension)->isChecked())
            chosen.append(extension);
    }
    QString typed = customExtEdit->text();
    typed.remove(QRegularExpression(QStringLiteral("\\s")));
    // A Chinese input method writes the full-width comma.
    typed.replace(QChar(0xFF0C), QLatin1Char(','));
    chosen.append(typed.split(QLatin1Char(','), Qt::SkipEmptyParts));
    return chosen;
}

void DSearchFullTxt::accept()
{
    const QString key = keywordEdit->text().trimmed();
    if (key.isEmpty()) {
        errorLabel->showMessage(QStringLiteral("请输入关键词"));
        return;
    }
    criteria->insert(QStringLiteral("key"), key);
    criteria->insert(QStringLiteral("parentId"),
                     folderView->currentIndex().data(Qt::UserRole + 1).toString());
    criteria->insert(QStringLiteral("ext"), chosenExtensions());
    if (!creatorIds.isEmpty())
        criteria->insert(QStringLiteral("userId"), creatorIds.first());
    const QDate from = fromDate->date();
    const QDate to = toDate->date();
    // A period of one day (the same date twice) is a period too.
    if (to >= from && to.year() - from.year() < 9) {
        criteria->insert(QStringLiteral("startTime"), from.toString(kDateFormat));
        criteria->insert(QStringLiteral("endTime"), to.toString(kDateFormat));
    }
    FramelessDialog::accept();
}

FormParams DSearchFullTxt::searchForm(const QVariantMap &criteria)
{
    FormParams form{
        {QStringLiteral("solrKeyword"), criteria.value(QStringLiteral("key")).toString()}};
    const QString parentId = criteria.value(QStringLiteral("parentId")).toString();
    if (!parentId.isEmpty() && parentId != QLatin1String("0"))
        form.insert(QStringLiteral("solrDirectoryId"), parentId);
    const QStringList ext = criteria.value(QStringLiteral("ext")).toStringList();
    if (!ext.isEmpty())
        form.insert(QStringLiteral("solrFileExtend"), ext.join(QLatin1Char(',')));
    const QString userId = criteria.value(QStringLiteral("userId")).toString();
    if (!userId.isEmpty())
        form.insert(QStringLiteral("solrCreatorId"), userId);
    if (criteria.contains(QStringLiteral("startTime"))) {
        form.insert(QStringLiteral("solrStartTime"),
                    criteria.value(QStringLiteral("startTime")).toString());
        form.insert(QStringLiteral("solrEndTime"),
                    criteria.value(QStringLiteral("endTime")).toString());
    }
    return form;
}
