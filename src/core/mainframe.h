#pragma once

class QString;

// What the rest of the client asks of the main window without knowing it: the
// window registers itself with GCore, and the browsers and GCore call it
// through this.
class MainFrame
{
public:
    // Shows one panel by its button's object name: "userdesktop",
    // "companydocument" or "netdisk"; any other name hides them all.
    virtual void showPanelByName(const QString &name) = 0;
    // Shows the transfer panel; no panel button stays checked.
    virtual void showTransferPanel() = 0;

protected:
    ~MainFrame() = default;
};
