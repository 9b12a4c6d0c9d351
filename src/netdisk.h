#pragma once

#include <QWidget>

// The personal net disk panel. For now an empty panel that only takes its
// place in the main window and in GCore; the browser comes later.
class NetDisk : public QWidget
{
    Q_OBJECT
public:
    explicit NetDisk(QWidget *parent = nullptr);

    // Positions the panel's floating widgets (none yet).
    void placeOverlays();
    // Lists the current folder again (nothing to list yet).
    void reloadList();
};
