#pragma once

#include "collab/collabdialog.h"

#include <QList>

class QComboBox;
class QDateEdit;
class QLineEdit;
class RightsGrid;

// Publishes library files to chosen users and groups for a period (a week, a
// month, a number of days or a range of dates) with a chosen set of rights.
// The custom rows show only while their choice is selected and keep their
// values. Closes on success; refusals stay in the dialog.
class DPublish : public CollabDialog
{
    Q_OBJECT
public:
    DPublish(const QList<QVariantMap> &files, QWidget *parent);

    QComboBox *periodBox = nullptr;
    QLineEdit *dayCountEdit = nullptr;
    QDateEdit *startDateEdit = nullptr;
    QDateEdit *endDateEdit = nullptr;
    RightsGrid *rights = nullptr;

public slots:
    void comboBoxChanged(int index);
    void accept() override;

private:
    QList<QWidget *> dayRow;
    QList<QWidget *> dateRow;
};
