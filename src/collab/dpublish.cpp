#include "collab/dpublish.h"

#include "collab/recipientsrow.h"
#include "collab/rightsgrid.h"

#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const Qt::Alignment kCaptionAlignment = Qt::AlignLeft | Qt::AlignVCenter;

} // namespace

DPublish::DPublish(const QList<QVariantMap> &files, QWidget *parent)
    : CollabDialog(files, parent, QStringLiteral("发布"), QSize(450, 400), QMargins(9, 9, 14, 9), 5,
                   70)
{
    addFileRow(QStringLiteral("文件列表:"), kCaptionAlignment, 5);

    QHBoxLayout *periodRow = addRow(5);
    addCaption(periodRow, QStringLiteral("有效天数:"), kCaptionAlignment);
    periodBox = new QComboBox(body);
    periodBox->addItems({QStringLiteral("一个星期"), QStringLiteral("一个月"),
                         QStringLiteral("自定义天数"), QStringLiteral("自定义日期")});
    periodRow->addWidget(periodBox);

    QHBoxLayout *daysRow = addRow(5);
    dayRow << addCaption(daysRow, QStringLiteral("自定义天数:"), kCaptionAlignment);
    dayCountEdit = new QLineEdit(body);
    dayCountEdit->setFixedWidth(100);
    dayCountEdit->setValidator(new QIntValidator(0, 99999, dayCountEdit));
    daysRow->addWidget(dayCountEdit);
    auto *unit = new QLabel(QStringLiteral("天"), body);
    daysRow->addWidget(unit);
    daysRow->addStretch();
    dayRow << dayCountEdit << unit;

    QHBoxLayout *datesRow = addRow(5);
    dateRow << addCaption(datesRow, QStringLiteral("自定义日期:"), kCaptionAlignment);
    auto *from = new QLabel(QStringLiteral("从"), body);
    const QDate today = QDate::currentDate();
    startDateEdit = makeDateEdit(today, body);
    auto *to = new QLabel(QStringLiteral("到"), body);
    endDateEdit = makeDateEdit(today.addDays(7), body);
    for (QWidget *widget : {static_cast<QWidget *>(from), static_cast<QWidget *>(startDateEdit),
                            static_cast<QWidget *>(to), static_cast<QWidget *>(endDateEdit)}) {
        datesRow->addWidget(widget);
        dateRow << widget;
    }
    datesRow->addStretch();

    addRecipientsRow(QStringLiteral("接收人列表:"), kCaptionAlignment, 12);

    QHBoxLayout *rightsRow = addRow(5);
    addCaption(rightsRow, QStringLiteral("授予权限:"), kCaptionAlignment);
    rights = new RightsGrid(body);
    rights->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    rightsRow->addWidget(rights);

    addButtonRow();

    for (QWidget *widget : dayRow + dateRow)
        widget->hide();
    connect(periodBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &DPublish::comboBoxChanged);
    connect(saveButton, &QPushButton::clicked, this, &DPublish::accept);
}

void DPublish::comboBoxChanged(int index)
{
    if (index < 0 || index > 3)
        return;
    for (QWidget *widget : qAsConst(dayRow))
        widget->setVisible(index == 2);
    for (QWidget *widget : qAsConst(dateRow))
        widget->setVisible(index == 3);
}

void DPublish::accept()
{
    if (recipients->isEmpty()) {
        showMessage(QStringLiteral("请选择接收人"));
        return;
    }
    const QStringList letters = rights->values();
    if (letters.isEmpty()) {
        showMessage(QStringLiteral("请授予至少一个权限"));
        return;
    }
    const int period = periodBox->currentIndex();
    FormParams form = filesAndRecipients();
    form.insert(QStringLiteral("authList"), letters.join(QLatin1Char(',')));
    form.insert(QStringLiteral("dayCountType"), QString::number(period + 1));
    if (period == 2) {
        const int days = dayCountEdit->text().trimmed().toInt();
        if (days < 1) {
            showMessage(QStringLiteral("自定义天数要大于0"));
            dayCountEdit->setFocus();
            return;
        }
        form.insert(QStringLiteral("dayCount"), QString::number(days));
    } else if (period == 3) {
        // Calendar dates as the user picked them, in the user's own calendar.
        const QDate start = startDateEdit->date();
        const QDate end = endDateEdit->date();
        if (end <= start) {
            showMessage(QStringLiteral("结束时间要大于开始时间"));
            return;
        }
        // A publication whose last day has passed would be over before it began.
        if (end < QDate::currentDate()) {
            showMessage(QStringLiteral("结束时间不能早于今天"));
            return;
        }
        form.insert(QStringLiteral("startTime"), start.toString(QStringLiteral("yyyy-MM-dd")));
        form.insert(QStringLiteral("endTime"), end.toString(QStringLiteral("yyyy-MM-dd")));
    }
    if (send(QStringLiteral("/api/file/publish.jf"), form, QStringLiteral("无法发布")))
        FramelessDialog::accept();
}
