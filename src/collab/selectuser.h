#pragma once

#include "widgets/framelessdialog.h"

#include <QIcon>
#include <QModelIndex>
#include <QStringList>
#include <QVariantMap>

class DialogTable;
class QLineEdit;
class QPushButton;
class QTableWidgetItem;
class TreeView;
class UserViewModel;

// The user and group picker: the organisation's group tree on the left, the
// members of the clicked group in the middle (in mode 0 its child groups
// first), the chosen entries on the right, newest on top. A click on a
// candidate chooses it, a second click takes it back; a click on a chosen
// row removes it.
//
// Use: with two empty lists of the caller,
//     QStringList names, ids;
//     SelectUser picker(names, ids, this, 0);
//     if (picker.exec() == QDialog::Accepted) ...
// `names` then holds the chosen display names and `ids` their identifiers,
// top to bottom: in mode 0 (groups and users, several) "G<id>" or "U<id>",
// in mode 1 (one user) the bare user id. On rejection both stay empty.
// chooseInto() does the usual rest for a caller with a read-only field.
class SelectUser : public FramelessDialog
{
    Q_OBJECT
public:
    SelectUser(QStringList &names, QStringList &ids, QWidget *parent, int mode = 0);

    // Runs the picker over `parent`; when it is accepted, `field` shows the
    // chosen names joined with "," and `ids` becomes the chosen identifiers;
    // when it is cancelled both are left as they were. True when accepted.
    static bool chooseInto(QWidget *parent, int mode, QLineEdit *field, QStringList &ids);

    int mode() const { return m_mode; }

    TreeView *treeView = nullptr;
    UserViewModel *model = nullptr;
    QLineEdit *filterEdit = nullptr;
    DialogTable *candidateTable = nullptr;
    DialogTable *chosenTable = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;

public slots:
    void treeClicked(QModelIndex index);
    // A reply of "/api/user/user-list.jf": appends the members to the candidates.
    void receiveData(QVariantMap map);
    void table1Clicked(QTableWidgetItem *item);
    void table2Clicked(int row, int column);
    void slotSearch(QString key);
    void accept() override;

private:
    void requestGroups();
    QTableWidgetItem *makeEntry(const QString &text, const QString &id, int kind) const;
    // Does the candidate pass the filter `key` (trimmed)?
    static bool matches(const QTableWidgetItem *item, const QString &key);

    QStringList &names;
    QStringList &ids;
    int m_mode = 0;
    // Numbers the member requests: only the reply to the last click is shown.
    quint64 memberSerial = 0;
    // Made once per dialog rather than once per row.
    QIcon groupIcon;
    QIcon personIcon;
};
