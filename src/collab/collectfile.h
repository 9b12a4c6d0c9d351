#pragma once

#include "collab/collabdialog.h"

// Files one library item under one of the user's favourite categories: lists
// the categories the server holds for the user, and saves the chosen one.
// Favourites then appear on the personal desktop under "我的收藏". Refusals
// come in a warning box; the dialog stays open.
class CollectFile : public CollabDialog
{
    Q_OBJECT
public:
    CollectFile(const QString &fileId, const QString &fileName, QWidget *parent);

    QString fileId;
    DialogTable *categoryTable = nullptr;

public slots:
    // The category list (the reply of "fav-cat-list.jf").
    void receiveData(QVariantMap map);
    void accept() override;
};
