#include "widgets/loaderrorlabel.h"

#include "widgets/linklabel.h"

#include <QFontMetrics>

LoadErrorLabel::LoadErrorLabel(QWidget *list) : QLabel(list)
{
    const QString first = QStringLiteral("数据加载出错，");
    const QString link = QStringLiteral("请重试");
    setText(first);
    // The class selector names this class: ".QLabel" would not match a subclass.
    setStyleSheet(QStringLiteral(".LoadErrorLabel {background:transparent;color:#888;}"));
    // Measured with the font of the application's style sheet.
    ensurePolished();
    const QFontMetrics metrics(font());
    setFixedSize(metrics.horizontalAdvance(first + link) + 2, metrics.height());
    m_retry = new LinkLabel(this);
    m_retry->setMode(1, QStringLiteral("#a00"), false);
    m_retry->setText(link);
    m_retry->move(metrics.horizontalAdvance(first), 0);
    m_retry->adjustSize();
    connect(m_retry, &LinkLabel::clicked, this, &LoadErrorLabel::retry);
    hide();
}

void LoadErrorLabel::centre()
{
    if (const QWidget *list = parentWidget())
        move((list->width() - width()) / 2, (list->height() - height()) / 2);
}
