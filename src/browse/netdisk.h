#pragma once

#include "browse/documentbrowser.h"

// The main window's personal net disk panel: the shared browser with the net
// disk's paths, five columns and its own context menu. There is no permission
// test (every action follows the item type only); copies go to the library.
class NetDisk : public DocumentBrowser
{
    Q_OBJECT
public:
    explicit NetDisk(QWidget *parent = nullptr);
    ~NetDisk() override;

public slots:
    void tableRightClicked(QModelIndex index) override;
    void copyItems() override;
    void moveItems() override;
    void shareItems() override;
    void copytoDocument();

protected:
    QString rootName() const override;
    bool mayOpen(const QVariantMap &entry) const override;
    bool mayDownload(const QVariantMap &entry) const override;
    bool mayDelete(const QVariantMap &entry) const override;
};
