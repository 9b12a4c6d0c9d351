#pragma once

#include <QLabel>

class LinkLabel;

// The grey "数据加载出错，" line with its red "请重试" link that a list shows in
// its middle when it could not be loaded. A child of the list it belongs to,
// hidden until a load fails.
class LoadErrorLabel : public QLabel
{
    Q_OBJECT
public:
    explicit LoadErrorLabel(QWidget *list);

    LinkLabel *retryLink() const { return m_retry; }
    // Puts the label in the middle of its list.
    void centre();

signals:
    void retry();

private:
    LinkLabel *m_retry = nullptr;
};
