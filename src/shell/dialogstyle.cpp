#include "shell/dialogstyle.h"

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

} // namespace DialogStyle
