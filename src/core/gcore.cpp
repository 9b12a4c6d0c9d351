#include "core/gcore.h"

#include "core/httpcurl.h"

#include "core/mainframe.h"
#include "core/transferqueue.h"
#include "core/transportsettings.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>
#include <QTcpSocket>

// The compiled-in images and style sheet live in a static library; referencing
// its initialiser here keeps the linker from dropping them.
static void initFolvaneResources()
{
    Q_INIT_RESOURCE(folvane);
}
Q_CONSTRUCTOR_FUNCTION(initFolvaneResources)

namespace {

constexpr qint64 kMaxSettingsBytes = 4 * 1024 * 1024;
const QFileDevice::Permissions kOwnerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
const QFileDevice::Permissions kOwnerOnlyDir =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

QString ensureDir(const QString &path, bool ownerOnly)
{
    QDir().mkpath(path);
    if (ownerOnly)
        QFile::setPermissions(path, kOwnerOnlyDir);
    return path;
}

QString iconResource(const QString &typeName)
{
    const QString path = QStringLiteral(":/images/fileicon_middle/%1.png").arg(typeName);
    return QFile::exists(path) ? path : QStringLiteral(":/images/fileicon_middle/file.png");
}

} // namespace

GCore *GCore::instance()
{
    static GCore *const theInstance = new GCore;
    return theInstance;
}

QString GCore::dataDir()
{
    const QString home = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    // The data folder holds the enciphered password and the history: owner only.
    ensureDir(home + QStringLiteral("/folvane"), false);
    return ensureDir(home + QStringLiteral("/folvane/data"), true);
}

QString GCore::cacheDir()
{
    return ensureDir(dataDir() + QStringLiteral("/cache"), false);
}

QString GCore::versionCacheDir()
{
    return ensureDir(cacheDir() + QStringLiteral("/versions"), false);
}

int GCore::removeStaleVersionFiles(int maxAgeDays)
{
    const QDateTime limit = QDateTime::currentDateTime().addDays(-maxAgeDays);
    int removed = 0;
    // Files only, also below subfolders; links are removed, never followed.
    QDirIterator it(versionCacheDir(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.lastModified() < limit && QFile::remove(info.filePath()))
            ++removed;
    }
    return removed;
}

QString GCore::settingsFilePath()
{
    return dataDir() + QStringLiteral("/setting.json");
}

QString GCore::serverUrl() const
{
    return ServerAddress::fromSettings(readSettings()).baseUrl();
}

void GCore::applyTransportSettings(const QString &proxyPassword)
{
    const QVariantMap settings = readSettings();
    TransportSettings transport = TransportSettings::fromSettings(settings);
    ProxyChoice proxy = ProxyChoice::fromSettings(settings);
    proxy.password = proxyPassword;
    transport.resolveProxy(proxy, ServerAddress::fromSettings(settings).baseUrl());
    HttpCurl::instance()->setTransportSettings(transport);
}

void GCore::pinCertificate(const CertificateInfo &info)
{
    CertificatePin pin;
    pin.publicKey = info.publicKeyPin;
    pin.fingerprint = info.fingerprint;
    QVariantMap settings = readSettings();
    TransportSettings::storePin(settings, info.server, pin);
    writeSettings(settings);
    // The transport keeps its proxy; only the pins change.
    TransportSettings transport = HttpCurl::instance()->transportSettings();
    transport.pins.insert(info.server, pin);
    HttpCurl::instance()->setTransportSettings(transport);
}

QVariantMap GCore::readSettings() const
{
    QFile file(settingsFilePath());
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSettingsBytes)
        return QVariantMap();
    return HttpCurl::parseJson(file.readAll()).toVariant().toMap();
}

bool GCore::writeSettings(const QVariantMap &settings) const
{
    // Written to a temporary file and renamed, so a failed write keeps the old
    // settings instead of leaving a truncated file.
    QSaveFile file(settingsFilePath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(kOwnerOnlyFile);
    const QByteArray bytes = QJsonDocument::fromVariant(settings).toJson(QJsonDocument::Indented);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString GCore::fileIconPath(const QVariantMap &item)
{
    QString typeName = QStringLiteral("file");
    if (item.contains(QStringLiteral("fileType")) &&
        item.value(QStringLiteral("fileType")).toInt() == 1) {
        typeName = QStringLiteral("fold");
    } else if (item.contains(QStringLiteral("fileExtend"))) {
        typeName = item.value(QStringLiteral("fileExtend")).toString().trimmed();
    } else if (item.contains(QStringLiteral("fileExt"))) {
        typeName = item.value(QStringLiteral("fileExt")).toString().trimmed();
    } else {
        static const QRegularExpression plainSuffix(QStringLiteral("^[a-zA-Z0-9_-]{1,8}$"));
        const QString suffix =
            QFileInfo(item.value(QStringLiteral("fileName")).toString()).suffix();
        if (suffix.isEmpty()) {
            typeName = QStringLiteral("fold");
        } else if (!plainSuffix.match(suffix).hasMatch()) {
            qDebug() << "unusual file suffix" << suffix;
            typeName = QStringLiteral("fold");
        } else {
            typeName = suffix;
        }
    }
    return iconResource(typeName);
}

QString GCore::localFileIconPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix();
    return iconResource(suffix.isEmpty() ? QStringLiteral("file") : suffix);
}

QString GCore::uniqueFilePath(const QString &path)
{
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return path;
    const QFileInfo info(path);
    const QString name = info.fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    // Only the last suffix counts (a.tar.gz gives a.tar(2).gz); a name without a
    // suffix, or one that only starts with a dot, gets the number at its end.
    const bool hasSuffix = dot > 0;
    const QString folder = path.left(path.size() - name.size());
    const QString base = folder + (hasSuffix ? name.left(dot) : name);
    const QString suffix = hasSuffix ? name.mid(dot + 1) : QString();
    for (int n = 2;; ++n) {
        const QString candidate = hasSuffix
                                      ? QStringLiteral("%1(%2).%3").arg(base).arg(n).arg(suffix)
                                      : QStringLiteral("%1(%2)").arg(base).arg(n);
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink())
            return candidate;
    }
}

QPair<QString, QString> GCore::localMacAndIp() const
{
    const ServerAddress server = ServerAddress::fromSettings(readSettings());
    if (!server.isValid())
        return {};
    QTcpSocket socket;
    // Only the address of the local end is wanted: no proxy in between.
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(server.host, quint16(server.port.toUInt()));
    if (!socket.waitForConnected(1000))
        return {};
    const QHostAddress local = socket.localAddress();
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip() == local)
                return {iface.hardwareAddress(), local.toString()};
        }
    }
    return {};
}

void GCore::mergeCompanyRootList(const QVariantMap &reply, bool incremental)
{
    if (!incremental) {
        m_companyRootCache = reply;
    } else {
        QVariantList cached = m_companyRootCache.value(QStringLiteral("data")).toList();

        QSet<QString> removed;
        const QVariantList removes = reply.value(QStringLiteral("removes")).toList();
        for (const QVariant &entry : removes) {
            // Entries are objects with "fileId"; a bare id is accepted as well.
            removed.insert(entry.type() == QVariant::Map
                               ? entry.toMap().value(QStringLiteral("fileId")).toString()
                               : entry.toString());
        }

        QMap<QString, QVariant> pending;
        const QVariantList changes = reply.value(QStringLiteral("data")).toList();
        for (const QVariant &entry : changes)
            pending.insert(entry.toMap().value(QStringLiteral("fileId")).toString(), entry);

        for (int i = 0; i < cached.size();) {
            const QString id = cached.at(i).toMap().value(QStringLiteral("fileId")).toString();
            if (removed.contains(id)) {
                cached.removeAt(i);
                continue;
            }
            auto it = pending.find(id);
            if (it != pending.end()) {
                cached[i] = it.value();
                pending.erase(it);
            }
            ++i;
        }
        for (auto it = pending.constBegin(); it != pending.constEnd(); ++it)
            cached.append(it.value());
        m_companyRootCache.insert(QStringLiteral("data"), cached);
    }
    m_companyRootCache.insert(QStringLiteral("updateTime"),
                              quint64(QDateTime::currentSecsSinceEpoch()));
}

void GCore::showDownloadTransfer(const QString &kind, const QVariantMap &item, int type)
{
    if (m_mainWidget)
        m_mainWidget->showTransferPanel();
    if (kind == QLatin1String("download") && m_transferPanel)
        m_transferPanel->addDownload(item, type);
}

void GCore::showUploadTransfer(const QString &filePath, const QString &parentId, int type,
                               const QString &fileId)
{
    if (m_mainWidget)
        m_mainWidget->showTransferPanel();
    if (m_transferPanel)
        m_transferPanel->addUpload(filePath, parentId, type, fileId);
}

QString plainToolTip(const QString &text)
{
    if (text.isEmpty())
        return text;
    // One line per line of the text: a rich tool tip would otherwise wrap
    // even a short text at a narrow width of its own choosing.
    return QStringLiteral("<p style='white-space:nowrap'>%1</p>")
        .arg(text.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>")));
}

QString safeFileName(const QString &name, const QString &fallback)
{
    QString out;
    out.reserve(name.size());
    for (const QChar ch : name) {
        const ushort u = ch.unicode();
        if (u < 0x20 || u == 0x7f)
            continue;
        // Separators, drive colons and the characters Windows refuses in names.
        if (QStringLiteral("/\\:*?\"<>|").contains(ch))
            out += QLatin1Char('_');
        else
            out += ch;
    }
    out = out.trimmed();
    while (out.endsWith(QLatin1Char('.')) || out.endsWith(QLatin1Char(' ')))
        out.chop(1);
    if (out.isEmpty() || out == QLatin1String("."))
        out = fallback;
    static const QRegularExpression reserved(
        QStringLiteral("^(con|prn|aux|nul|com[0-9]|lpt[0-9])(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    if (reserved.match(out).hasMatch())
        out.prepend(QLatin1Char('_'));
    constexpr int kMaxName = 200;
    if (out.size() > kMaxName) {
        const int dot = out.lastIndexOf(QLatin1Char('.'));
        const QString suffix = (dot > 0 && out.size() - dot <= 16) ? out.mid(dot) : QString();
        int keep = kMaxName - suffix.size();
        // Never half a surrogate pair; and a cut that ends in blanks or dots
        // drops them too, as the cleaning above does, since Windows would.
        if (out.at(keep - 1).isHighSurrogate())
            --keep;
        QString base = out.left(keep);
        while (base.endsWith(QLatin1Char('.')) || base.endsWith(QLatin1Char(' ')))
            base.chop(1);
        out = base + suffix;
    }
    return out;
}
