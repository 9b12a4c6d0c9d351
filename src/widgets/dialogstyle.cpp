#include "widgets/dialogstyle.h"

#include "widgets/messagelabel.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace DialogStyle {

QString buttonStyle(int fontPointSize, int borderRadius)
{
    return QStringLiteral(".QPushButton {border-radius:%1px;border:0px;background:#0696f5;"
                          "color:#fff;font-weight:bold;font-size:%2pt;}"
                          ".QPushButton:hover {background:#067dcb;}")
        .arg(borderRadius)
        .arg(fontPointSize);
}

QPushButton *makeButton(const QString &text, QWidget *parent, int fontPointSize)
{
    auto *button = new QPushButton(text, parent);
    button->setStyleSheet(buttonStyle(fontPointSize));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QLabel *makeCaption(const QString &text, int width, Qt::Alignment alignment, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFixedWidth(width);
    label->setStyleSheet(QStringLiteral("color:#666;"));
    label->setAlignment(alignment);
    return label;
}

QLabel *valueLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFixedHeight(22);
    label->setIndent(4);
    label->setStyleSheet(QStringLiteral(".QLabel {border:0px;background:#f2f2f2;}"));
    return label;
}

MessageLabel *addMessageRow(QBoxLayout *layout, QWidget *parent,
                            const QList<QPushButton *> &buttons)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(12);
    auto *message = new MessageLabel(parent);
    message->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    message->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    // Keeps the buttons on the right while the message is hidden.
    row->addStretch();
    row->addWidget(message);
    for (QPushButton *button : buttons)
        row->addWidget(button);
    layout->addLayout(row);
    return message;
}

} // namespace DialogStyle
