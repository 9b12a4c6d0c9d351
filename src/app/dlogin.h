#pragma once

#include "widgets/framelessdialog.h"

#include <QVariantMap>

class MessageLabel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The sign-in dialog, the first window of the program. It signs in against the
// configured server, remembers the account (and, when asked, the password,
// through PasswordStore), can sign in by itself two seconds after it opens, and has a second
// panel for the server's address and port. Accepted means: GCore holds the
// token and the user's data, and the library's root listing has been fetched.
class DLogin : public FramelessDialog
{
    Q_OBJECT
public:
    explicit DLogin(const QBrush &titleBrush = defaultTitleBrush(), QWidget *parent = nullptr);

    // The title-area background picture (a plain colour when it is missing).
    static QBrush defaultTitleBrush();

    bool isAutoLoginPending() const { return autoLoginPending; }

public slots:
    void showSettingPanel();
    void slotSettingData();
    // From the button: a manual sign-in, or the cancellation of a pending
    // automatic one. Called directly (no sender): an automatic sign-in.
    void login();
    void receiveData(QVariantMap rawData);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildLoginPanel();
    QWidget *buildSettingsPanel();
    void buildTitleArea();

    void scheduleAutoLogin();
    void startLogin(bool manual);
    void sendLogin(const QString &username, const QString &password);
    // The rest of the sign-in once the server answered (or not) at `base`.
    void loginReplied(const QString &username, const QString &password, const QString &base,
                      const QVariantMap &reply);
    void cancelAutoLogin();
    void showError(const QString &text, int timeoutMs);
    void failLogin(const QString &text);
    void setInputsEnabled(bool enabled);
    void restoreForm();
    void showLoginPanel();
    void updatePlainHttpWarning();
    void recallProxyPassword(const QVariantMap &settings);

    TPushButton *settingsButton = nullptr;
    QWidget *loginPanel = nullptr;
    QWidget *settingsPanel = nullptr;
    QLineEdit *hostEdit = nullptr;
    QLineEdit *portEdit = nullptr;
    QLineEdit *caFileEdit = nullptr;
    QComboBox *proxyBox = nullptr;
    QLineEdit *proxyHostEdit = nullptr;
    QLineEdit *proxyPortEdit = nullptr;
    QLineEdit *proxyUserEdit = nullptr;
    QLineEdit *proxyPasswordEdit = nullptr;
    // The manual proxy's password, from the keyring (or typed in the panel).
    QString proxyPassword;
    MessageLabel *settingsMessage = nullptr;
    MessageLabel *errorLabel = nullptr;
    QLabel *footerLabel = nullptr;
    QLabel *plainHttpWarning = nullptr;
    QLineEdit *usernameEdit = nullptr;
    QLineEdit *passwordEdit = nullptr;
    QPushButton *loginButton = nullptr;
    QCheckBox *rememberBox = nullptr;
    QCheckBox *autoLoginBox = nullptr;
    bool autoLoginPending = false;
    // Between the start of a sign-in and its failure or acceptance; a second
    // start (Return during the wait, the automatic timer) is ignored meanwhile.
    bool busy = false;
};
