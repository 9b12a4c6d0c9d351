#include "transfer/compare/comparewindow.h"

#include "transfer/compare/compareview.h"
#include "widgets/dialogstyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel *columnHeader(const QString &text, const QString &colour, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFixedHeight(28);
    label->setIndent(8);
    label->setStyleSheet(
        QStringLiteral(".QLabel {background:%1;color:#333;font-weight:bold;}").arg(colour));
    return label;
}

} // namespace

CompareWindow::CompareWindow(const QString &fileName, int olderVersion, int newerVersion,
                             QWidget *parent)
    : FramelessDialog(parent, QColor(QLatin1String(DialogStyle::titleColor)), false)
{
    setAttribute(Qt::WA_DeleteOnClose);
    resize(1100, 720);
    initTitleBar();
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setText(QStringLiteral("版本对比 - %1").arg(fileName));

    auto *body = new QWidget(contentWidget);
    addContentWidget(body);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(9, 9, 9, 9);
    layout->setSpacing(6);

    auto *headers = new QHBoxLayout;
    headers->setSpacing(1);
    headers->addWidget(
        columnHeader(QStringLiteral("版本 %1（较早）").arg(olderVersion), "#f0f0f0", body), 1);
    headers->addWidget(
        columnHeader(QStringLiteral("版本 %1（较新）").arg(newerVersion), "#e8f3fd", body), 1);
    layout->addLayout(headers);

    view = new CompareView(body);
    view->setStyleSheet(QStringLiteral(".CompareView {border:1px solid #ccc;}"));
    layout->addWidget(view, 1);

    auto *bottom = new QHBoxLayout;
    bottom->setSpacing(12);
    summaryLabel = new QLabel(body);
    summaryLabel->setStyleSheet(QStringLiteral("color:#666;"));
    bottom->addWidget(summaryLabel);
    bottom->addStretch();
    positionLabel = new QLabel(body);
    positionLabel->setStyleSheet(QStringLiteral("color:#666;"));
    bottom->addWidget(positionLabel);
    previousButton = new QPushButton(QStringLiteral("上一处"), body);
    nextButton = new QPushButton(QStringLiteral("下一处"), body);
    for (QPushButton *button : {previousButton, nextButton}) {
        button->setFixedSize(64, 24);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(DialogStyle::buttonStyle() +
                              QLatin1String(DialogStyle::disabledLook));
        bottom->addWidget(button);
    }
    layout->addLayout(bottom);

    connect(previousButton, &QPushButton::clicked, this,
            [this] { view->goToChange(view->previousChange()); });
    connect(nextButton, &QPushButton::clicked, this,
            [this] { view->goToChange(view->nextChange()); });
    connect(view, &CompareView::currentChangeChanged, this, &CompareWindow::updateNavigation);
}

void CompareWindow::setComparison(const QStringList &older, const QStringList &newer,
                                  const QVector<TextDiff::Row> &rows)
{
    view->setComparison(older, newer, rows);
    int changed = 0, added = 0, removed = 0;
    for (const TextDiff::Row &row : rows) {
        changed += row.kind == TextDiff::Row::Changed;
        added += row.kind == TextDiff::Row::Added;
        removed += row.kind == TextDiff::Row::Removed;
    }
    summaryLabel->setText(view->changeCount() == 0
                              ? QStringLiteral("两个版本的文字相同")
                              : QStringLiteral("共 %1 处不同：修改 %2 段，新增 %3 段，删除 %4 段")
                                    .arg(view->changeCount())
                                    .arg(changed)
                                    .arg(added)
                                    .arg(removed));
    updateNavigation();
}

void CompareWindow::updateNavigation()
{
    const int current = view->currentChange();
    positionLabel->setText(
        current >= 0 ? QStringLiteral("第 %1/%2 处").arg(current + 1).arg(view->changeCount())
                     : QString());
    previousButton->setEnabled(view->previousChange() >= 0);
    nextButton->setEnabled(view->nextChange() >= 0);
}
