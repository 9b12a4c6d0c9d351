#pragma once

#include <QLabel>

#include <functional>

class QTimer;

// The dialogs' one-line red message: shows a text and withdraws it again after
// a while (3 seconds unless told otherwise), hiding itself while empty.
//
// Deliberately without Q_OBJECT: the class name seen by style sheets stays
// "QLabel", so the ".QLabel {...}" rules the dialogs give their message labels
// apply to this one unchanged.
class MessageLabel : public QLabel
{
public:
    static constexpr int defaultTimeoutMs = 3000;

    // The default look is ".QLabel {color:#a00;}"; dialogs may set their own.
    explicit MessageLabel(QWidget *parent = nullptr);

    // A message line for the left of a dialog's button row: right-aligned
    // next to the buttons, taking the free width and keeping it while hidden,
    // so the buttons stay where they are.
    static MessageLabel *forButtonRow(QWidget *parent);

    // Shows `text`; after `timeoutMs` (none when 0 or less) the label is hidden
    // and cleared. A new message replaces the old one and restarts the clock.
    void showMessage(const QString &text, int timeoutMs = defaultTimeoutMs);
    // Hides and clears the label at once.
    void clearMessage();
    bool isPending() const;

    // Called each time a message is withdrawn (by the clock or clearMessage),
    // for example to show a footer that the message covered.
    void setClearedHandler(std::function<void()> handler) { m_cleared = std::move(handler); }

private:
    QTimer *m_timer;
    std::function<void()> m_cleared;
};
