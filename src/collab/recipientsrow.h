#pragma once

#include <QStringList>
#include <QWidget>

class QLineEdit;
class QPushButton;

// The recipients field of the sharing, publishing and permission dialogs: a
// read-only field with the chosen names and the button "选择" (50 x 22) that
// opens the user picker. Holds the chosen identifiers in the picker's form
// ("G<id>"/"U<id>" in mode 0). A cancelled picker changes nothing.
//
// Use: put it in a row after the dialog's caption, connect `chooseButton` to
// the dialog's selectUser() slot and call choose() there; read ids() when
// saving (empty until something was chosen).
class RecipientsRow : public QWidget
{
    Q_OBJECT
public:
    // `spacing` is the gap between the field and the button.
    explicit RecipientsRow(QWidget *parent, int spacing = 12, int mode = 0);

    // Runs the picker over `dialog`; true when a choice was accepted.
    bool choose(QWidget *dialog);
    QStringList ids() const { return m_ids; }
    bool isEmpty() const { return m_ids.isEmpty(); }

    QLineEdit *field = nullptr;
    QPushButton *chooseButton = nullptr;

private:
    int mode = 0;
    QStringList m_ids;
};
