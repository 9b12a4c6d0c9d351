#include "widgets/messagelabel.h"

#include <QTimer>

MessageLabel::MessageLabel(QWidget *parent) : QLabel(parent), m_timer(new QTimer(this))
{
    setStyleSheet(QStringLiteral(".QLabel {color:#a00;}"));
    // Messages often come from the server: they are data, never markup.
    setTextFormat(Qt::PlainText);
    m_timer->setSingleShot(true);
    QObject::connect(m_timer, &QTimer::timeout, this, [this]() { clearMessage(); });
    hide();
}

MessageLabel *MessageLabel::forButtonRow(QWidget *parent)
{
    auto *label = new MessageLabel(parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setRetainSizeWhenHidden(true);
    label->setSizePolicy(policy);
    return label;
}

void MessageLabel::showMessage(const QString &text, int timeoutMs)
{
    setText(text);
    show();
    if (timeoutMs > 0)
        m_timer->start(timeoutMs);
    else
        m_timer->stop();
}

void MessageLabel::clearMessage()
{
    m_timer->stop();
    hide();
    clear();
    if (m_cleared)
        m_cleared();
}

bool MessageLabel::isPending() const
{
    return m_timer->isActive();
}
