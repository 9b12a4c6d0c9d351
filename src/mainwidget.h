#pragma once

#include <QWidget>

// The main window. This first version only offers what the process-wide
// context calls; the window shell replaces it with the real frame and panels.
class MainWidget : public QWidget
{
    Q_OBJECT
public:
    explicit MainWidget(QWidget *parent = nullptr);

public slots:
    void showTransferPanel();
};
