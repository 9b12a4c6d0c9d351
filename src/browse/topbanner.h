#pragma once

#include <QList>
#include <QWidget>

class QPushButton;

// The toolbar above a browser: its action buttons (which the browser connects
// by position) and the button that shows the transfer panel.
class TopBanner : public QWidget
{
    Q_OBJECT
public:
    TopBanner(QWidget *parent, int area);

    QList<QPushButton *> buttons() const { return m_buttons; }

    QPushButton *transferButton = nullptr;

public slots:
    void showTransferPanel();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<QPushButton *> m_buttons;
    int area = 0;
};
