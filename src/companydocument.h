#pragma once

#include <QWidget>

class QLabel;

// The company document library panel. For now only what the folder tree
// reaches through GCore: the tree's loading indicator and error label. The
// browser issue replaces this with the whole panel.
class CompanyDocument : public QWidget
{
    Q_OBJECT
public:
    explicit CompanyDocument(QWidget *parent = nullptr);
    ~CompanyDocument() override;

    // Positions the panel's floating widgets.
    void placeOverlays();
    // Lists the current folder again.
    void reloadList();

    void showTreeLoading(bool show);

    QLabel *treeLoading = nullptr;
    QLabel *treeErrorLabel = nullptr;
};
