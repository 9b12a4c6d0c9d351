#pragma once

#include <QWidget>

// The personal desktop panel of the main window. For now an empty panel that
// only takes its place in the main window and in GCore; the dashboard itself
// comes later.
class UserDesktop : public QWidget
{
    Q_OBJECT
public:
    explicit UserDesktop(QWidget *parent = nullptr);

    // Centres the panel's load-error labels (none yet).
    void placeErrorLabels();

signals:
    // Asks the company library to list `parentId` and select `fileId`.
    void openFolder(QString parentId, QString fileId);
};
