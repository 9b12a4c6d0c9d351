#pragma once

#include "widgets/framelessdialog.h"

#include <QStringList>

class MessageLabel;
class QLineEdit;
class QPushButton;

// The new-folder dialog of both browsers: shows where the folder will go,
// takes its name, creates it on the server and closes only on success; a
// refusal stays in the dialog for three seconds.
class DAddFolder : public FramelessDialog
{
    Q_OBJECT
public:
    // `type` 1 creates in the net disk, anything else in the library.
    DAddFolder(const QString &parentId, const QStringList &pathNames, QWidget *parent, int type);

    QLineEdit *nameEdit = nullptr;
    // The red message with its own 3-second clock.
    MessageLabel *errorLabel = nullptr;
    QPushButton *saveButton = nullptr;

public slots:
    void accept() override;
    // Ignored while the request is out.
    void reject() override;

private:
    QString parentId;
    QStringList pathNames;
    int type = 0;
};
