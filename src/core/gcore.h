#pragma once

#include <QPair>
#include <QString>
#include <QVariantMap>

struct CertificateInfo;
class MainFrame;
class TransferQueue;
class CompanyDocument;
class NetDisk;
class UserDesktop;

// The process-wide context: the signed-in user and token, the long-lived panels,
// the cached root listings of the two folder trees, and the places on disk
// (settings file, data and cache folders). Used on the interface thread only;
// workers get copies of what they need.
class GCore
{
public:
    static GCore *instance();

    QVariantMap userInfo() const { return m_userInfo; }
    void setUserInfo(const QVariantMap &info) { m_userInfo = info; }
    QString token() const { return m_token; }
    void setToken(const QString &token) { m_token = token; }

    // The main window and the transfer panel, as far as the rest of the client
    // needs them; each registers itself when made.
    MainFrame *mainWidget() const { return m_mainWidget; }
    void setMainWidget(MainFrame *w) { m_mainWidget = w; }
    TransferQueue *transferPanel() const { return m_transferPanel; }
    void setTransferPanel(TransferQueue *w) { m_transferPanel = w; }
    CompanyDocument *companyDocument() const { return m_companyDocument; }
    void setCompanyDocument(CompanyDocument *w) { m_companyDocument = w; }
    NetDisk *netDisk() const { return m_netDisk; }
    void setNetDisk(NetDisk *w) { m_netDisk = w; }
    UserDesktop *userDesktop() const { return m_userDesktop; }
    void setUserDesktop(UserDesktop *w) { m_userDesktop = w; }

    // Counts the changes this client made to files (an edit, a new version):
    // a panel that lists files from elsewhere reloads when shown after one.
    void noteChange() { ++m_changeCount; }
    quint64 changeCount() const { return m_changeCount; }

    QVariantMap companyRootCache() const { return m_companyRootCache; }
    void setCompanyRootCache(const QVariantMap &cache) { m_companyRootCache = cache; }
    QVariantMap netDiskRootCache() const { return m_netDiskRootCache; }
    void setNetDiskRootCache(const QVariantMap &cache) { m_netDiskRootCache = cache; }

    // The base address of every request, "scheme://host:port", from the
    // settings ("host" may carry "https://" or "http://"; a bare host is plain
    // HTTP), or empty when host or port is missing.
    QString serverUrl() const;

    // Hands the transport the settings every call takes (CA file, pinned
    // certificates, the proxy choice resolved now, so the system proxy is
    // asked again at each sign-in). `proxyPassword` comes from the keyring.
    void applyTransportSettings(const QString &proxyPassword = QString());
    // The user trusted this certificate: pins it for its host:port in the
    // settings and in the transport.
    void pinCertificate(const CertificateInfo &info);

    QVariantMap readSettings() const;
    bool writeSettings(const QVariantMap &settings) const;

    static QString dataDir();
    static QString cacheDir();
    // The cache's area for versions fetched for comparison and the comparison
    // results; created when missing.
    static QString versionCacheDir();
    // Removes the files of the version area that have not changed for
    // `maxAgeDays` days (called at start-up); returns how many went.
    static int removeStaleVersionFiles(int maxAgeDays = 7);
    static QString settingsFilePath();

    static QString fileIconPath(const QVariantMap &item);
    static QString localFileIconPath(const QString &path);
    static QString uniqueFilePath(const QString &path);

    // The MAC and IP of the interface that reaches the configured server.
    QPair<QString, QString> localMacAndIp() const;

    void mergeCompanyRootList(const QVariantMap &reply, bool incremental);

    void showDownloadTransfer(const QString &kind, const QVariantMap &item, int type);
    void showUploadTransfer(const QString &filePath, const QString &parentId, int type,
                            const QString &fileId);

private:
    GCore() = default;

    QVariantMap m_userInfo;
    QString m_token;
    MainFrame *m_mainWidget = nullptr;
    TransferQueue *m_transferPanel = nullptr;
    CompanyDocument *m_companyDocument = nullptr;
    NetDisk *m_netDisk = nullptr;
    QVariantMap m_companyRootCache;
    QVariantMap m_netDiskRootCache;
    UserDesktop *m_userDesktop = nullptr;
    quint64 m_changeCount = 0;
};

// Turns a name that came from the server into one safe path component: no
// folder separators, no "." or "..", no control characters, no drive letter,
// never empty, at most 200 characters. Every server-sent name that becomes
// part of a local path goes through here.
QString safeFileName(const QString &name, const QString &fallback = QStringLiteral("file"));

// A tool tip that shows `text` as it is: Qt takes a tool tip that looks like
// markup for rich text, and text from the server is data.
QString plainToolTip(const QString &text);
