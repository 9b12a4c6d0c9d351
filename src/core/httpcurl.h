#pragma once

#include <QByteArray>
#include <QFileInfoList>
#include <QJsonDocument>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "core/transportsettings.h"

#include <atomic>

// Form fields of a request; a QMap, so they go on the wire in ascending key order.
using FormParams = QMap<QString, QString>;

// The only memory shared between a transfer's worker thread and the widget that
// shows it. The transport writes the current counts and reads `running`; the
// widget sets the totals, polls the counts and clears `running` to cancel.
struct TransferProgress
{
    std::atomic<double> downloadTotal{0};
    std::atomic<double> downloaded{0};
    // Bytes a resumed download held before its request: `downloaded` counts
    // them too.
    std::atomic<double> downloadBase{0};
    std::atomic<double> uploadTotal{0};
    std::atomic<double> uploaded{0};
    std::atomic<bool> running{true};

    bool isRunning() const { return running.load(std::memory_order_relaxed); }
    void cancel() { running.store(false, std::memory_order_relaxed); }

    // Done of total in percent, to the nearest integer (a half goes up),
    // capped at 100; 0 while the total is unknown.
    static int percent(double done, double total);
};

// A download into a partial file that may already hold the file's first
// bytes. The transport asks for the rest with a Range and appends only when
// the answer continues exactly those bytes of a file of the same size;
// otherwise it writes the whole file again from its first byte.
struct PartDownload
{
    enum class Outcome { Complete, Cancelled, NetworkFault, Failed };

    // The partial file, created when missing.
    QString path;
    // Bytes held at its start (the file is cut to them first).
    qint64 held = 0;
    // The whole file's size as an earlier answer gave it; -1 when unknown.
    qint64 total = -1;

    // What became of it.
    Outcome outcome = Outcome::Failed;
    // The whole file's size as this answer gave it; -1 when it did not say.
    qint64 serverTotal = -1;
    // Whether the answer continued the held bytes.
    bool resumed = false;
};

// The HTTP transport: blocking operations over libcurl's easy interface that
// any number of threads may use at once. Each call borrows an easy handle
// from a pool per server (a handle serves one thread at a time and keeps its
// connection for the next call) and takes the server's TLS rules, the user's
// certificate decisions and the proxy from one set of transport settings. A
// certificate that fails verification stops the call before anything is
// sent and goes to the TrustGate. Failures are empty results; libcurl's codes
// only reach the debug log. The same source holds
// the small helpers used across the client (sizes, JSON dumps, MD5, folder scan,
// the password cipher).
class HttpCurl
{
public:
    static HttpCurl *instance();

    static const char *defaultUserAgent();

    // The settings every call copies when it starts (GCore fills them from
    // the user's settings); setting them closes the idle connections, so no
    // connection made under the old rules is used again.
    void setTransportSettings(const TransportSettings &settings);
    TransportSettings transportSettings() const;
    // How many easy handles (each with its own connections) were made so far.
    static int handlesMade();

    QVariant postJson(const QString &url, const FormParams &params, int timeoutSeconds = -1,
                      const QString &encoding = QStringLiteral("utf8"));

    QString request(const QString &url, const FormParams &params, QMap<QString, QString> &status,
                    const QString &encoding = QStringLiteral("utf8"),
                    const QString &referer = QString(), const QString &userAgent = QString(),
                    const QMap<QString, QString> &headers = {}, const QStringList &headerOrder = {},
                    int timeoutSeconds = -1);

    QByteArray getBytes(const QString &url, const QString &referer = QString(),
                        const QString &userAgent = QString(), bool withHeaders = false);

    QByteArray downloadBytes(const QString &url, const FormParams &params,
                             TransferProgress *progress);

    // Streams the reply body into a temporary file beside `targetPath` as it
    // arrives and returns that temporary file's path on success (the caller
    // checks the bytes and renames it); on any failure, cancellation included,
    // the temporary file is removed and the result is empty.
    QString downloadToFile(const QString &url, const FormParams &params, const QString &targetPath,
                           TransferProgress *progress);

    // Downloads into `part` (see PartDownload) and fills in its outcome.
    void downloadPart(const QString &url, const FormParams &params, PartDownload &part,
                      TransferProgress *progress);

    // `networkFault`, when given, tells a failure of the connection (refused,
    // reset, timed out, stalled, cut short) from any other.
    QByteArray uploadFile(const QString &url, const QString &fieldName, const QString &filePath,
                          const FormParams &params, TransferProgress *progress,
                          bool *networkFault = nullptr);

    // A download or upload that moves no byte for this long fails as a
    // network fault (60 s; tests shorten it).
    static void setStallSeconds(int seconds);
    static int stallSeconds();
    // Whether a libcurl result is a failure of the connection, worth trying again.
    static bool isNetworkFault(int curlCode);

    static QString formatSize(qint64 bytes);
    // A size text from the server as the client shows it: the server joins
    // number and unit with "&nbsp;", which is markup, not text ("35&nbsp;B" is
    // shown "35B").
    static QString sizeText(const QVariant &serverText);
    static QString toJsonText(const QVariant &value);
    static void logJson(const QVariant &value, const char *tag, int line);
    static QString md5Hex(const QByteArray &data);
    static QString md5HexOfFile(const QString &filePath);
    static int scanFolder(const QString &dirPath, int maxCount, QStringList &dirs,
                          QList<QStringList> &files);
    // The entries a folder upload takes from one folder, in QDir's default
    // order (by name, ignoring case; hidden and system entries left out),
    // without "." and ".." and without links to folders, which may lead back
    // up the tree. The scan and the creation of the folders on the server
    // walk the same tree through it.
    static QFileInfoList folderUploadEntries(const QString &dirPath);
    static QByteArray authCode(const QByteArray &data, const QByteArray &operation,
                               const QByteArray &key = QByteArray(), int expirySeconds = 0);

    // A JSON text (a reply, a settings or history file) as a document. A text
    // in which an object names a member twice gives an empty document: Qt 5's
    // parser loses the memory of the first value then, so a peer could make
    // the client leak with every reply. Every JSON text the client reads
    // goes through here.
    static QJsonDocument parseJson(const QByteArray &text);

    // The form body: "name=escaped value" pairs joined with "&", in key order.
    static QByteArray formBody(const FormParams &params, bool utf8 = true, bool escape = true);

    // Splits a raw reply (headers, blank line, body) into status text and body.
    static QString splitStatus(const QByteArray &raw, QString &status);

    // True when a short body (under 3000 bytes) is a JSON object with "code":
    // the server's way of refusing a download.
    static bool isServerRefusal(const QByteArray &head);
    // The same test on a downloaded file.
    static bool isServerRefusalFile(const QString &path);

private:
    HttpCurl();
};
