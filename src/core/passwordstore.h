#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

// Keeps the remembered sign-in password in the operating system's keyring
// (the Secret Service on Linux, the credential store on Windows, the keychain
// on macOS), under the account and the server, so that the settings file keeps
// "pwd" empty. Where no keyring answers, the password stays enciphered in
// "pwd" as earlier versions kept it. Keyring calls are asynchronous: a lookup
// answers with `recalled`, and saving or forgetting finishes on its own, even
// after the object that started it is gone.
class PasswordStore : public QObject
{
    Q_OBJECT
public:
    // Which password: the account's (fallback "pwd") or the manual proxy's
    // (fallback "proxyPwd"). Both live in the keyring the same way.
    enum Kind { Account, Proxy };

    explicit PasswordStore(QObject *parent = nullptr);

    // The password still enciphered in the settings' "pwd" (an earlier
    // version's file, or a machine without a keyring); empty when none.
    static QString fromSettings(const QVariantMap &settings, Kind kind = Account);

    // Looks the password up in the keyring; answers with `recalled`.
    void recall(const QString &account, const QString &server);
    // Moves the password enciphered in the settings into the keyring and
    // blanks "pwd" once the keyring holds it.
    static void migrate(const QString &account, const QString &server, const QVariantMap &settings);
    // Keeps the password; without a keyring it goes enciphered into "pwd".
    static void remember(const QString &account, const QString &server, const QString &password,
                         Kind kind = Account);
    static void forget(const QString &account, const QString &server);

signals:
    // Empty when the keyring has no entry or cannot be reached.
    void recalled(const QString &account, const QString &password);
};
