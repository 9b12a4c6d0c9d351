#pragma once

#include "core/mainframe.h"
#include "widgets/framelesswidget.h"

#include <QByteArray>
#include <QImage>
#include <QString>

class CompanyDocument;
class NetDisk;
class TransferPanel;
class UserDesktop;

// The one main window, opened after sign-in. Its tall title bar carries the
// logo, the three panel buttons, the user's picture and nickname and the window
// buttons; its body stacks the four panels, of which exactly one is visible.
// Closing it ends the program.
class MainWidget : public FramelessWidget, public MainFrame
{
    Q_OBJECT
public:
    explicit MainWidget(const QColor &titleColor = QColor(QStringLiteral("#0098f7")),
                        QWidget *parent = nullptr);

    // Shows one panel by its button's object name: "userdesktop",
    // "companydocument" or "netdisk"; any other name hides them all.
    void showPanelByName(const QString &name) override;
    // Shows the transfer panel; no panel button stays checked.
    void showTransferPanel() override;
    // Where the user's picture is cached: the data folder, the account name, ".png".
    QString avatarCachePath() const;

    // The side of the cached picture in pixels: the button's, twice that on a
    // high-density screen.
    static int avatarPixels();

public slots:
    void showPanel();
    void receiveThumb(QByteArray data);

private:
    void buildTitleBar();
    void setAvatar(const QString &imagePath);
    TPushButton *addPanelButton(const QString &text, const QString &name, const QString &image);

    TPushButton *desktopButton = nullptr;
    TPushButton *netDiskButton = nullptr;
    TPushButton *documentButton = nullptr;
    TPushButton *avatarButton = nullptr;
    UserDesktop *userDesktopPanel = nullptr;
    TransferPanel *transferPanelWidget = nullptr;
    CompanyDocument *companyDocumentPanel = nullptr;
    NetDisk *netDiskPanel = nullptr;
};
