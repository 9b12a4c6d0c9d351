#include "collab/dexternallink.h"

#include "core/gcore.h"
#include "widgets/dialogstyle.h"

#include <QApplication>
#include <QClipboard>
#include <QDate>
#include <QDateEdit>
#include <QFrame>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QTextLayout>
#include <QVBoxLayout>
#include <QtMath>

namespace {

const Qt::Alignment kCaptionAlignment = Qt::AlignLeft | Qt::AlignVCenter;

// The height that shows `lines` lines of a text box without a scroll bar.
// A line is measured laid out with Chinese in it: the font that draws the
// Chinese characters may need taller lines than the box's own font.
int linesHeight(const QPlainTextEdit *edit, int lines)
{
    QTextLayout layout(QStringLiteral("描述Ag"), edit->font());
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    const int lineHeight = qMax(qCeil(line.height()), edit->fontMetrics().lineSpacing());
    return lineHeight * lines + 2 * edit->frameWidth() +
           2 * qCeil(edit->document()->documentMargin()) + 2;
}

} // namespace

DExternalLink::DExternalLink(const QList<QVariantMap> &files, QWidget *parent)
    : CollabDialog(files, parent, QStringLiteral("外部链接"), QSize(450, 450),
                   QMargins(9, 9, 14, 9), 5, 80)
{
    const auto addSeparator = [this] {
        auto *line = new QFrame(body);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        bodyLayout->addWidget(line);
    };

    addFileRow(QStringLiteral("文件列表:"), kCaptionAlignment, 5);
    addSeparator();

    QHBoxLayout *typeRow = addRow(5);
    addCaption(typeRow, QStringLiteral("链接发布方式:"), kCaptionAlignment);
    auto *typeGroup = new QVBoxLayout;
    typeGroup->setSpacing(4);
    anonymousButton = new QRadioButton(QStringLiteral("授权匿名访问文件"), body);
    anonymousButton->setChecked(true);
    typeGroup->addWidget(anonymousButton);
    auto *passwordRow = new QHBoxLayout;
    passwordRow->setSpacing(2);
    passwordButton = new QRadioButton(QStringLiteral("授权通过密码访问文件"), body);
    passwordRow->addWidget(passwordButton);
    auto *passwordCaption = new QLabel(QStringLiteral("密码:"), body);
    passwordCaption->setStyleSheet(QStringLiteral("color:#666;"));
    passwordRow->addWidget(passwordCaption);
    passwordEdit = new QLineEdit(body);
    passwordEdit->setEchoMode(QLineEdit::Password);
    passwordEdit->setFixedWidth(100);
    passwordEdit->setEnabled(false);
    passwordRow->addWidget(passwordEdit);
    passwordRow->addStretch();
    typeGroup->addLayout(passwordRow);
    typeRow->addLayout(typeGroup);
    addSeparator();

    QHBoxLayout *visitRow = addRow(5);
    addCaption(visitRow, QStringLiteral("最大访问次数:"), kCaptionAlignment);
    maxVisitEdit = new QLineEdit(body);
    maxVisitEdit->setFixedWidth(90);
    maxVisitEdit->setValidator(new QIntValidator(0, 999999, maxVisitEdit));
    visitRow->addWidget(maxVisitEdit);
    visitRow->addStretch();

    expiryEdit = addDateRow(QStringLiteral("链接过期日:"), QDate::currentDate().addDays(7), 5);
    rights = addRightsRow(QStringLiteral("链接授权:"),
                          {{QStringLiteral("预览文件"), QStringLiteral("1")},
                           {QStringLiteral("下载文件"), QStringLiteral("2")},
                           {QStringLiteral("上传文件"), QStringLiteral("3")}},
                          5);
    addSeparator();

    descriptionEdit = addNoteRow(QStringLiteral("描述:"), 5);
    // Three lines of description stay in sight when the address appears
    // below it; the dialog grows for the address instead.
    descriptionEdit->setMinimumHeight(linesHeight(descriptionEdit, 3));

    QHBoxLayout *addressRow = addRow(5);
    addressCaption =
        addCaption(addressRow, QStringLiteral("访问地址:"), Qt::AlignLeft | Qt::AlignTop);
    addressEdit = new QPlainTextEdit(body);
    addressEdit->setReadOnly(true);
    // Read-only text is still selectable with the mouse and the keyboard.
    addressEdit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    addressEdit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // A long server name wraps the address to a third line.
    addressEdit->setMinimumHeight(linesHeight(addressEdit, 3));
    addressRow->addWidget(addressEdit);
    copyButton = DialogStyle::makeButton(QStringLiteral("复制"), body);
    copyButton->setFixedSize(64, 24);
    addressRow->addWidget(copyButton, 0, Qt::AlignTop);
    for (QWidget *widget :
         {static_cast<QWidget *>(addressCaption), static_cast<QWidget *>(addressEdit),
          static_cast<QWidget *>(copyButton)})
        widget->hide();

    addButtonRow(QStringLiteral("生成"));

    connect(passwordButton, &QRadioButton::toggled, this, [this](bool on) {
        passwordEdit->setEnabled(on);
        if (on)
            passwordEdit->setFocus();
        else
            passwordEdit->clear();
    });
    connect(saveButton, &QPushButton::clicked, this, &DExternalLink::generalLink);
    connect(copyButton, &QPushButton::clicked, this, &DExternalLink::copyAddress);
}

void DExternalLink::generalLink()
{
    const bool withPassword = passwordButton->isChecked();
    const QString password = withPassword ? passwordEdit->text().trimmed() : QString();
    if (withPassword && password.isEmpty()) {
        showMessage(QStringLiteral("请填写授权密码"));
        passwordEdit->selectAll();
        passwordEdit->setFocus();
        return;
    }
    const QStringList granted = rights->values();
    if (granted.isEmpty()) {
        showMessage(QStringLiteral("请设定链接授权"));
        return;
    }
    // Never logged: the form goes to the transport and nowhere else.
    const FormParams form{
        {QStringLiteral("fileIds"), fileIds()},
        {QStringLiteral("linkType"), withPassword ? QStringLiteral("2") : QStringLiteral("1")},
        {QStringLiteral("maxVisit"), QString::number(maxVisitEdit->text().trimmed().toInt())},
        {QStringLiteral("pwd"), password},
        {QStringLiteral("linkAuth"), granted.join(QLatin1Char(','))},
        {QStringLiteral("linkExpiry"), expiryEdit->date().toString(QStringLiteral("yyyy-MM-dd"))},
        {QStringLiteral("desp"), descriptionEdit->toPlainText().trimmed()}};
    const QString fallback = QStringLiteral("无法生成外部链接");
    QVariantMap reply;
    if (!send(QStringLiteral("/api/file/link-add.jf"), form, fallback, &reply))
        return;
    const QString path = reply.value(QStringLiteral("url")).toString();
    // A success without an address gives the user nothing to hand on.
    if (path.isEmpty()) {
        showMessage(fallback);
        return;
    }
    addressEdit->setPlainText(GCore::instance()->serverUrl() + path);
    addressCaption->show();
    addressEdit->show();
    copyButton->show();
    saveButton->setEnabled(false);
    resize(width(), qMax(height(), minimumSizeHint().height()));
}

void DExternalLink::copyAddress()
{
    QApplication::clipboard()->setText(addressEdit->toPlainText());
    // The whole address shows as selected: what went to the clipboard.
    addressEdit->selectAll();
    addressEdit->setFocus();
}
