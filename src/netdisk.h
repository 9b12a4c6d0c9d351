#pragma once

#include <QWidget>

class QLabel;

// The personal net disk panel. For now only what the folder tree reaches
// through GCore: the tree's error label. The browser issue replaces this with
// the whole panel.
class NetDisk : public QWidget
{
    Q_OBJECT
public:
    explicit NetDisk(QWidget *parent = nullptr);
    ~NetDisk() override;

    // Positions the panel's floating widgets.
    void placeOverlays();
    // Lists the current folder again.
    void reloadList();

    QLabel *treeErrorLabel = nullptr;
};
