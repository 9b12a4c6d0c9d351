#include "core/httpcurl.h"

#include "core/trustgate.h"

#include <curl/curl.h>

#include <QCoreApplication>
#include <QThread>
#include <QUrl>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

// A JSON reply or a picture larger than this is not something the server
// sends; stop reading rather than let a hostile peer fill memory.
constexpr qint64 kMaxReplyBytes = 64LL * 1024 * 1024;
// In-memory downloads stop short of what a QByteArray can hold.
constexpr qint64 kMaxMemoryDownloadBytes = 1024LL * 1024 * 1024;

constexpr long kShortConnectTimeout = 2;
constexpr long kDefaultTimeout = 30;
constexpr long kDownloadConnectTimeout = 29;
constexpr long kDownloadTimeout = 36000;
constexpr long kUploadConnectTimeout = 20;
constexpr long kUploadTimeout = 10800;

std::atomic<int> stallTime{60};

// Any fixed 20 characters of lower-case letters and digits: values written
// under "pwd" by one build can only be read back by a build with the same key.
constexpr char kBuiltInKey[] = "f0lv4nedesk7opk3y9q2";

// The text of a JSON string that starts at `at` (its opening quote), with its
// escapes decoded as Qt's parser decodes them; `at` ends after the closing
// quote.
std::string_view jsonName(const QByteArray &text, int &at, std::string &decoded)
{
    const int start = ++at;
    bool escaped = false;
    while (at < text.size() && text.at(at) != '"') {
        if (text.at(at) == '\\') {
            escaped = true;
            ++at;
        }
        ++at;
    }
    const int end = qMin(at, text.size());
    ++at;
    if (!escaped)
        return std::string_view(text.constData() + start, size_t(end - start));
    decoded.clear();
    for (int i = start; i < end; ++i) {
        const char c = text.at(i);
        if (c != '\\' || i + 1 >= end) {
            decoded += c;
            continue;
        }
        const char e = text.at(++i);
        static const char from[] = "\"\\/bfnrt";
        static const char to[] = "\"\\/\b\f\n\r\t";
        if (const char *hit = std::strchr(from, e); hit && e) {
            decoded += to[hit - from];
        } else if (e == 'u' && i + 4 < end) {
            bool ok = false;
            uint code = text.mid(i + 1, 4).toUInt(&ok, 16);
            if (!ok) {
                decoded += "\\u";
                continue;
            }
            i += 4;
            // A surrogate pair is one character, the same as its UTF-8 form.
            if (code >= 0xd800 && code < 0xdc00 && i + 6 < end && text.at(i + 1) == '\\' &&
                text.at(i + 2) == 'u') {
                const uint low = text.mid(i + 3, 4).toUInt(&ok, 16);
                if (ok && low >= 0xdc00 && low < 0xe000) {
                    code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
                    i += 6;
                }
            }
            if (code < 0x80) {
                decoded += char(code);
            } else if (code < 0x800) {
                decoded += char(0xc0 | (code >> 6));
                decoded += char(0x80 | (code & 0x3f));
            } else if (code < 0x10000) {
                decoded += char(0xe0 | (code >> 12));
                decoded += char(0x80 | ((code >> 6) & 0x3f));
                decoded += char(0x80 | (code & 0x3f));
            } else {
                decoded += char(0xf0 | (code >> 18));
                decoded += char(0x80 | ((code >> 12) & 0x3f));
                decoded += char(0x80 | ((code >> 6) & 0x3f));
                decoded += char(0x80 | (code & 0x3f));
            }
        } else {
            // Qt's parser takes any other escaped character as itself.
            decoded += e;
        }
    }
    return decoded;
}

// True when an object of the JSON text names a member twice. Only the
// structure is followed; whether the text is valid JSON is the parser's
// business. Every reply passes here, so the names of the open objects share
// one list (most objects have a few members, looked up in a row); an object
// with many members gets a hash of its own.
bool repeatsName(const QByteArray &text)
{
    constexpr size_t kHashFrom = 32;
    struct Level
    {
        bool object;
        bool expectName;
        size_t firstName;
        std::unique_ptr<std::unordered_set<std::string_view>> hashed;
    };
    std::vector<Level> levels;
    std::vector<std::string_view> names;
    // Decoded names of escaped ones; a deque keeps them in place as it grows.
    std::deque<std::string> owned;
    std::string decoded;
    int at = 0;
    while (at < text.size()) {
        const char c = text.at(at);
        if (c == '"') {
            std::string_view name = jsonName(text, at, decoded);
            if (!levels.empty() && levels.back().object && levels.back().expectName) {
                Level &level = levels.back();
                level.expectName = false;
                if (name.data() == decoded.data())
                    name = owned.emplace_back(decoded);
                if (level.hashed) {
                    if (!level.hashed->insert(name).second)
                        return true;
                } else {
                    const auto first = names.cbegin() + std::ptrdiff_t(level.firstName);
                    if (std::find(first, names.cend(), name) != names.cend())
                        return true;
                    names.push_back(name);
                    if (names.size() - level.firstName >= kHashFrom) {
                        level.hashed = std::make_unique<std::unordered_set<std::string_view>>(
                            names.cbegin() + std::ptrdiff_t(level.firstName), names.cend());
                        names.resize(level.firstName);
                    }
                }
            }
            continue;
        }
        if (c == '{' || c == '[') {
            levels.push_back(Level{c == '{', c == '{', names.size(), nullptr});
        } else if ((c == '}' || c == ']') && !levels.empty()) {
            names.resize(levels.back().firstName);
            levels.pop_back();
        } else if (c == ',' && !levels.empty() && levels.back().object) {
            levels.back().expectName = true;
        }
        ++at;
    }
    return false;
}

struct CurlDeleter
{
    void operator()(CURL *h) const { curl_easy_cleanup(h); }
};
struct SlistDeleter
{
    void operator()(curl_slist *l) const { curl_slist_free_all(l); }
};
struct MimeDeleter
{
    void operator()(curl_mime *m) const { curl_mime_free(m); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using CurlList = std::unique_ptr<curl_slist, SlistDeleter>;
using CurlMime = std::unique_ptr<curl_mime, MimeDeleter>;

// Short requests to one server share at most this many connections; the
// desktop's first load (three lists and dozens of pictures) then reuses warm
// connections instead of opening one per request.
constexpr int kShortHandlesPerServer = 4;
// Idle handles (each keeping its live connection) kept per server.
constexpr size_t kIdleHandlesPerServer = 8;
// A failed verification asks the user at most this often per call (a
// server that changes its certificate between the question and the retry).
constexpr int kTrustAttempts = 3;
constexpr long kProbeConnectTimeout = 5;

// The server part of a URL ("scheme://host:port"), the key of the pool, and
// its "host:port", the key of a certificate decision.
struct UrlServer
{
    QString key;
    QString host;
    QString hostPort;

    explicit UrlServer(const QString &url)
    {
        const QUrl parsed(url);
        const int port = parsed.port(parsed.scheme() == QLatin1String("https") ? 443 : 80);
        host = parsed.host();
        hostPort =
            (host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2"))
                .arg(host)
                .arg(port);
        key = parsed.scheme() + QStringLiteral("://") + hostPort;
    }
};

// The process-wide transport state: the settings every call takes, the
// handle pool and the share. libcurl's connection cache lives in each easy
// handle and is never shared: a handle is used by one thread at a time and
// goes back to the pool with curl_easy_reset, which keeps its connection and
// TLS session. Only DNS answers and TLS sessions are shared between handles,
// under the share's locks.
class Transport
{
public:
    static Transport &instance()
    {
        static Transport *const theInstance = new Transport;
        return *theInstance;
    }

    TransportSettings settings() const
    {
        std::lock_guard<std::mutex> lock(settingsMutex);
        return current;
    }
    void setSettings(const TransportSettings &settings)
    {
        std::lock_guard<std::mutex> lock(settingsMutex);
        current = settings;
    }

    // A handle for a call to `key`; `limited` calls (the short requests)
    // wait while the server's connections are all busy. The interface thread
    // never waits: a worker holding a handle may be waiting for a dialog.
    CURL *acquire(const QString &key, bool limited)
    {
        std::unique_lock<std::mutex> lock(poolMutex);
        Server &server = servers[key];
        const bool interfaceThread =
            QCoreApplication::instance() &&
            QThread::currentThread() == QCoreApplication::instance()->thread();
        if (limited && !interfaceThread) {
            poolChanged.wait(lock, [&] { return server.limitedBusy < kShortHandlesPerServer; });
        }
        if (limited)
            ++server.limitedBusy;
        if (!server.idle.empty()) {
            CURL *h = server.idle.back();
            server.idle.pop_back();
            return h;
        }
        ++handlesMade;
        return curl_easy_init();
    }

    void release(const QString &key, CURL *h, bool limited)
    {
        if (h)
            curl_easy_reset(h);
        std::lock_guard<std::mutex> lock(poolMutex);
        Server &server = servers[key];
        if (limited)
            --server.limitedBusy;
        if (h && server.idle.size() < kIdleHandlesPerServer)
            server.idle.push_back(h);
        else if (h)
            curl_easy_cleanup(h);
        poolChanged.notify_all();
    }

    // Drops every idle handle and its connections (settings changed).
    void closeIdle()
    {
        std::lock_guard<std::mutex> lock(poolMutex);
        for (auto &entry : servers) {
            for (CURL *h : entry.second.idle)
                curl_easy_cleanup(h);
            entry.second.idle.clear();
        }
    }

    CURLSH *share() const { return sharing; }
    int madeHandles() const { return handlesMade.load(); }

private:
    Transport()
    {
        HttpCurl::instance(); // libcurl's global set-up comes first
        sharing = curl_share_init();
        curl_share_setopt(sharing, CURLSHOPT_LOCKFUNC, lockShare);
        curl_share_setopt(sharing, CURLSHOPT_UNLOCKFUNC, unlockShare);
        curl_share_setopt(sharing, CURLSHOPT_USERDATA, this);
        curl_share_setopt(sharing, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(sharing, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }

    static void lockShare(CURL *, curl_lock_data data, curl_lock_access, void *user)
    {
        static_cast<Transport *>(user)->shareMutex(data).lock();
    }
    static void unlockShare(CURL *, curl_lock_data data, void *user)
    {
        static_cast<Transport *>(user)->shareMutex(data).unlock();
    }
    std::recursive_mutex &shareMutex(curl_lock_data data)
    {
        return shareMutexes[size_t(data) < shareMutexes.size() ? size_t(data) : 0];
    }

    struct Server
    {
        std::vector<CURL *> idle;
        int limitedBusy = 0;
    };

    mutable std::mutex settingsMutex;
    TransportSettings current;
    std::mutex poolMutex;
    std::condition_variable poolChanged;
    // A map, whose entries stay where they are while a call waits for its
    // server's entry and another server is added.
    std::map<QString, Server> servers;
    std::array<std::recursive_mutex, CURL_LOCK_DATA_LAST> shareMutexes;
    CURLSH *sharing = nullptr;
    std::atomic<int> handlesMade{0};
};

// A handle from the pool for one call; back to the pool when it goes.
class PooledHandle
{
public:
    PooledHandle(const QString &url, bool limited)
        : key(UrlServer(url).key), limited(limited), h(Transport::instance().acquire(key, limited))
    {
    }
    ~PooledHandle() { Transport::instance().release(key, h, limited); }
    PooledHandle(const PooledHandle &) = delete;
    PooledHandle &operator=(const PooledHandle &) = delete;

    CURL *get() const { return h; }
    explicit operator bool() const { return h != nullptr; }

private:
    QString key;
    bool limited;
    CURL *h;
};

// Whether libcurl knows the system's CA folder (hashed names, as OpenSSL
// reads them), which then stays in use whatever CURLOPT_CAINFO says.
bool systemCaFolder()
{
    static const bool known = [] {
        const curl_version_info_data *info = curl_version_info(CURLVERSION_NOW);
        return info && info->capath && QFileInfo(QFile::decodeName(info->capath)).isDir();
    }();
    return known;
}

void setStallLimit(CURL *h);

// The options every call takes from the one place: the proxy, the TLS
// verification (or the user's pin), the share and the stall limit.
void setTransportOptions(CURL *h, const UrlServer &server, const TransportSettings &settings)
{
    curl_easy_setopt(h, CURLOPT_SHARE, Transport::instance().share());
    setStallLimit(h);

    if (settings.direct) {
        // An empty proxy and "*" as the exceptions: libcurl then ignores the
        // proxy variables of the environment too.
        curl_easy_setopt(h, CURLOPT_PROXY, "");
        curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    } else if (!settings.proxyUrl.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_PROXY, settings.proxyUrl.toUtf8().constData());
        // The user's choice holds for every address, whatever no_proxy says.
        curl_easy_setopt(h, CURLOPT_NOPROXY, "");
        // The requests that return headers with the body read one header
        // block: the proxy's answer to CONNECT is not part of the reply.
        curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        if (!settings.proxyUser.isEmpty()) {
            curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, settings.proxyUser.toUtf8().constData());
            curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, settings.proxyPassword.toUtf8().constData());
        }
    }

    curl_easy_setopt(h, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
    const auto pin = settings.pins.constFind(server.hostPort);
    if (pin != settings.pins.constEnd()) {
        // The user trusted exactly this server's key. The pin is checked in
        // the handshake, before anything is sent, and is stricter than any
        // chain: only this key passes, for this host and port alone. The
        // chain and name checks are off here because the certificate failed
        // them when the user trusted it (self-signed, another name, expired);
        // a certificate added as a trust anchor would still fail those, and
        // could sign other servers' certificates besides.
        curl_easy_setopt(h, CURLOPT_PINNEDPUBLICKEY, pin->publicKey.toLatin1().constData());
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
    } else {
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!settings.caBundle.isEmpty()) {
            curl_blob blob{const_cast<char *>(settings.caBundle.constData()),
                           size_t(settings.caBundle.size()), CURL_BLOB_COPY};
            curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &blob);
        } else if (systemCaFolder()) {
            // The system's CAs come from their folder, looked up by hash
            // when a chain needs them; reading the whole bundle file instead
            // costs a new connection far more than its handshake. The CA
            // file, when there is one, is read beside them.
            curl_easy_setopt(h, CURLOPT_CAINFO,
                             settings.caFile.isEmpty()
                                 ? nullptr
                                 : QFile::encodeName(settings.caFile).constData());
        }
    }
#ifdef Q_OS_WIN
    // Windows keeps its trusted CAs in its own store, not in a file.
    curl_easy_setopt(h, CURLOPT_SSL_OPTIONS, long(CURLSSLOPT_NATIVE_CA));
#endif
}

bool isCertificateFailure(CURLcode rc)
{
    return rc == CURLE_PEER_FAILED_VERIFICATION || rc == CURLE_SSL_PINNEDPUBKEYNOTMATCH;
}

// Reads the certificate a server shows, for the trust dialog: a connection
// of its own that completes the handshake without verifying and then stops
// (CONNECT_ONLY), so no request and no byte of a body is ever sent on it.
CertificateInfo probeCertificate(const QString &url, const UrlServer &server,
                                 const TransportSettings &settings, const QString &error)
{
    CurlHandle h(curl_easy_init());
    if (!h)
        return CertificateInfo();
    TransportSettings unverified = settings;
    unverified.pins.clear();
    setTransportOptions(h.get(), server, unverified);
    // No share: an unverified session must never be offered for reuse.
    curl_easy_setopt(h.get(), CURLOPT_SHARE, nullptr);
    curl_easy_setopt(h.get(), CURLOPT_URL, url.toLocal8Bit().constData());
    curl_easy_setopt(h.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h.get(), CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(h.get(), CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(h.get(), CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(h.get(), CURLOPT_CERTINFO, 1L);
    curl_easy_setopt(h.get(), CURLOPT_CONNECTTIMEOUT, kProbeConnectTimeout);
    curl_easy_setopt(h.get(), CURLOPT_TIMEOUT, kProbeConnectTimeout);
    if (curl_easy_perform(h.get()) != CURLE_OK)
        return CertificateInfo();
    curl_certinfo *chain = nullptr;
    if (curl_easy_getinfo(h.get(), CURLINFO_CERTINFO, &chain) != CURLE_OK || !chain ||
        chain->num_of_certs < 1)
        return CertificateInfo();
    QByteArray pem;
    for (curl_slist *field = chain->certinfo[0]; field; field = field->next) {
        if (std::strncmp(field->data, "Cert:", 5) == 0)
            pem = QByteArray(field->data + 5);
    }
    return CertificateInfo::fromPem(pem, server.host, server.hostPort, error);
}

// Performs a call whose options are set, with the transport's options of
// the moment. A certificate that fails verification fails in the handshake,
// before the request is sent; the user is then asked (once for all calls
// that meet it) and, when the certificate is trusted, the call is made
// again with its pin, which is verified as strictly.
CURLcode performCall(CURL *h, const QString &url)
{
    const UrlServer server(url);
    char error[CURL_ERROR_SIZE];
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
    CURLcode rc = CURLE_OK;
    for (int attempt = 0; attempt < kTrustAttempts; ++attempt) {
        const TransportSettings settings = Transport::instance().settings();
        setTransportOptions(h, server, settings);
        error[0] = '\0';
        rc = curl_easy_perform(h);
        if (!isCertificateFailure(rc))
            break;
        const QString reason = QString::fromUtf8(error);
        qDebug() << "certificate of" << server.hostPort << "not trusted:" << reason;
        CertificateInfo info = probeCertificate(url, server, settings, reason);
        if (info.fingerprint.isEmpty())
            break;
        const auto pin = settings.pins.constFind(server.hostPort);
        if (pin != settings.pins.constEnd())
            info.previousFingerprint = pin->fingerprint;
        if (!TrustGate::instance()->ask(info))
            break;
    }
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
    return rc;
}

struct MemorySink
{
    QByteArray data;
    qint64 limit = kMaxReplyBytes;
};

size_t writeToMemory(char *ptr, size_t size, size_t count, void *userdata)
{
    auto *sink = static_cast<MemorySink *>(userdata);
    const size_t n = size * count;
    if (sink->data.size() + qint64(n) > sink->limit) {
        qDebug() << "reply larger than" << sink->limit << "bytes; transfer stopped";
        return 0; // libcurl ends the transfer with a write error
    }
    sink->data.append(ptr, int(n));
    return n;
}

size_t writeToFile(char *ptr, size_t size, size_t count, void *userdata)
{
    auto *file = static_cast<QFile *>(userdata);
    const size_t n = size * count;
    return file->write(ptr, qint64(n)) == qint64(n) ? n : 0;
}

int progressCallback(void *clientp, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow)
{
    auto *progress = static_cast<TransferProgress *>(clientp);
    progress->downloaded.store(progress->downloadBase.load(std::memory_order_relaxed) +
                                   double(dlnow),
                               std::memory_order_relaxed);
    progress->uploaded.store(double(ulnow), std::memory_order_relaxed);
    return progress->isRunning() ? 0 : 1;
}

CurlList expectOffHeaders()
{
    return CurlList(curl_slist_append(nullptr, "Expect:"));
}

// Options every operation shares.
void setCommonOptions(CURL *h, const QByteArray &url)
{
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "gzip");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, -1L);
    // Signals cannot be used safely from worker threads; every operation runs
    // on one, so none of them may use the alarm-based name lookup timeout.
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
}

// A connection that moves no byte for the stall time fails, instead of
// waiting for the long total timeout.
void setStallLimit(CURL *h)
{
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, long(stallTime.load()));
}

void setProgress(CURL *h, TransferProgress *progress)
{
    if (!progress)
        return;
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, progressCallback);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, progress);
}

QByteArray md5hexBytes(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

// The options of the short requests (form POST and GET): the given or default
// user agent, an optional referer, the short connect timeout, the body into
// memory. libcurl copies string options, so the temporaries may go.
void setShortRequestOptions(CURL *c, const QString &url, const QString &referer,
                            const QString &userAgent, long timeoutSeconds, MemorySink *sink)
{
    setCommonOptions(c, url.toLocal8Bit());
    curl_easy_setopt(c, CURLOPT_USERAGENT,
                     userAgent.isEmpty() ? HttpCurl::defaultUserAgent()
                                         : userAgent.toUtf8().constData());
    if (!referer.isEmpty())
        curl_easy_setopt(c, CURLOPT_REFERER, referer.toUtf8().constData());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kShortConnectTimeout);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeToMemory);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, sink);
}

} // namespace

int TransferProgress::percent(double done, double total)
{
    if (!(total > 0) || !(done > 0))
        return 0;
    const double value = std::floor(done / total * 100.0 + 0.5);
    return value >= 100.0 ? 100 : int(value);
}

HttpCurl::HttpCurl()
{
    curl_global_init(CURL_GLOBAL_ALL);
}

HttpCurl *HttpCurl::instance()
{
    // A function-local static is created exactly once even when two threads
    // arrive together; its constructor performs libcurl's global set-up.
    static HttpCurl *const theInstance = new HttpCurl;
    return theInstance;
}

const char *HttpCurl::defaultUserAgent()
{
    return "Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
           "Chrome/44.0.2403.107 Safari/537.36";
}

void HttpCurl::setTransportSettings(const TransportSettings &settings)
{
    Transport::instance().setSettings(settings);
    Transport::instance().closeIdle();
}

TransportSettings HttpCurl::transportSettings() const
{
    return Transport::instance().settings();
}

int HttpCurl::handlesMade()
{
    return Transport::instance().madeHandles();
}

QByteArray HttpCurl::formBody(const FormParams &params, bool utf8, bool escape)
{
    QByteArray body;
    for (auto it = params.constBegin(); it != params.constEnd(); ++it) {
        const QByteArray name = utf8 ? it.key().toUtf8() : it.key().toLocal8Bit();
        const QByteArray value = utf8 ? it.value().toUtf8() : it.value().toLocal8Bit();
        body += '&';
        body += name;
        body += '=';
        if (escape) {
            char *escaped = curl_easy_escape(nullptr, value.constData(), value.size());
            if (escaped) {
                body += escaped;
                curl_free(escaped);
            }
        } else {
            body += value;
        }
    }
    return body.mid(1);
}

QString HttpCurl::splitStatus(const QByteArray &raw, QString &status)
{
    const QString text = QString::fromUtf8(raw);
    const int blank = text.indexOf(QLatin1String("\r\n\r\n"));
    if (blank < 0) {
        status = QStringLiteral("0");
        return text;
    }
    const QStringList lines = text.left(blank).split(QStringLiteral("\r\n"));
    const QStringList parts = lines.first().split(QLatin1Char(' '));
    status = (lines.size() >= 2 && parts.size() >= 3) ? parts.at(1).trimmed() : QStringLiteral("0");
    return text.mid(blank + 4);
}

QVariant HttpCurl::postJson(const QString &url, const FormParams &params, int timeoutSeconds,
                            const QString &encoding)
{
    QMap<QString, QString> status;
    const QString body =
        request(url, params, status, encoding, QString(), QString(), {}, {}, timeoutSeconds);
    if (body.isEmpty())
        return QVariant();
    return parseJson(body.toUtf8()).toVariant();
}

QString HttpCurl::request(const QString &url, const FormParams &params,
                          QMap<QString, QString> &status, const QString &encoding,
                          const QString &referer, const QString &userAgent,
                          const QMap<QString, QString> &headers, const QStringList &headerOrder,
                          int timeoutSeconds)
{
    status.clear();
    if (params.isEmpty()) {
        status.insert(QStringLiteral("status"), QStringLiteral("-1"));
        return QString();
    }
    PooledHandle h(url, true);
    if (!h) {
        status.insert(QStringLiteral("status"), QStringLiteral("0"));
        return QString();
    }

    const QByteArray body = formBody(params, encoding == QLatin1String("utf8"));
    CurlList headerList = expectOffHeaders();
    const QStringList names = headerOrder.isEmpty() ? QStringList(headers.keys()) : headerOrder;
    for (const QString &name : names) {
        if (!headers.contains(name))
            continue;
        const QByteArray line = QStringLiteral("%1: %2").arg(name, headers.value(name)).toUtf8();
        headerList.reset(curl_slist_append(headerList.release(), line.constData()));
    }

    MemorySink sink;
    CURL *c = h.get();
    setShortRequestOptions(c, url, referer, userAgent,
                           timeoutSeconds < 0 ? kDefaultTimeout : long(timeoutSeconds), &sink);
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, long(body.size()));
    curl_easy_setopt(c, CURLOPT_HEADER, 1L);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headerList.get());

    const CURLcode rc = performCall(c, url);
    qDebug() << __FILE__ << __LINE__ << "received" << sink.data.size() << "bytes, curl code"
             << int(rc);
    if (rc != CURLE_OK) {
        status.insert(QStringLiteral("status"), QStringLiteral("0"));
        return QString();
    }
    QString code;
    const QString reply = splitStatus(sink.data, code);
    status.insert(QStringLiteral("status"), code);
    return reply;
}

QByteArray HttpCurl::getBytes(const QString &url, const QString &referer, const QString &userAgent,
                              bool withHeaders)
{
    PooledHandle h(url, true);
    if (!h)
        return QByteArray();
    MemorySink sink;
    CURL *c = h.get();
    setShortRequestOptions(c, url, referer, userAgent, kDefaultTimeout, &sink);
    curl_easy_setopt(c, CURLOPT_HEADER, withHeaders ? 1L : 0L);
    const CURLcode rc = performCall(c, url);
    if (rc != CURLE_OK) {
        qDebug() << __FILE__ << __LINE__ << "GET failed, curl code" << int(rc) << url;
        return QByteArray();
    }
    return sink.data;
}

namespace {

// Options of a form POST with the long transfer timeouts (both download kinds).
void setDownloadOptions(CURL *c, const QByteArray &url, const QByteArray &body, curl_slist *headers,
                        TransferProgress *progress)
{
    setCommonOptions(c, url);
    curl_easy_setopt(c, CURLOPT_USERAGENT, HttpCurl::defaultUserAgent());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kDownloadConnectTimeout);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, kDownloadTimeout);
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, long(body.size()));
    curl_easy_setopt(c, CURLOPT_HEADER, 0L);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    setStallLimit(c);
    setProgress(c, progress);
}

// What the write callback of a partial download knows: the answer's headers
// as they come, and whether it has decided to append, to write again from
// the first byte, or to stop and ask again without a range.
struct PartSink
{
    CURL *handle = nullptr;
    QFile *file = nullptr;
    PartDownload *part = nullptr;
    bool decided = false;
    bool askAgain = false;
    QByteArray contentRange;
    bool encoded = false;
};

size_t partHeader(char *ptr, size_t size, size_t count, void *userdata)
{
    auto *sink = static_cast<PartSink *>(userdata);
    const QByteArray line = QByteArray(ptr, int(size * count)).trimmed();
    // A new status line (after a redirect or a 100) starts a new answer.
    if (line.startsWith("HTTP/")) {
        sink->contentRange.clear();
        sink->encoded = false;
    }
    const int colon = line.indexOf(':');
    if (colon > 0) {
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-range")
            sink->contentRange = value;
        else if (name == "content-encoding" && !value.isEmpty() && value.toLower() != "identity")
            sink->encoded = true;
    }
    return size * count;
}

// "bytes FIRST-LAST/TOTAL": false when it is not that.
bool parseContentRange(const QByteArray &value, qint64 &first, qint64 &total)
{
    if (!value.startsWith("bytes "))
        return false;
    const QByteArray rest = value.mid(6);
    const int dash = rest.indexOf('-');
    const int slash = rest.indexOf('/');
    if (dash <= 0 || slash <= dash)
        return false;
    bool okFirst = false, okLast = false, okTotal = false;
    first = rest.left(dash).toLongLong(&okFirst);
    const qint64 last = rest.mid(dash + 1, slash - dash - 1).toLongLong(&okLast);
    total = rest.mid(slash + 1).toLongLong(&okTotal);
    return okFirst && okLast && okTotal && first <= last && last < total;
}

// Decides, at the answer's first bytes, where they go.
bool decidePart(PartSink *sink)
{
    sink->decided = true;
    PartDownload &part = *sink->part;
    long code = 0;
    curl_easy_getinfo(sink->handle, CURLINFO_RESPONSE_CODE, &code);
    curl_off_t length = -1;
    curl_easy_getinfo(sink->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (part.held > 0 && code == 206) {
        qint64 first = 0, total = 0;
        // Ranges of an encoded answer count encoded bytes: never appended.
        if (!sink->encoded && parseContentRange(sink->contentRange, first, total) &&
            first == part.held && (part.total < 0 || total == part.total)) {
            part.resumed = true;
            part.serverTotal = total;
            return sink->file->seek(part.held);
        }
        sink->askAgain = true;
        return false;
    }
    // A whole answer (a server without ranges, or a refusal): from the first byte.
    part.resumed = false;
    part.serverTotal = length >= 0 && !sink->encoded ? qint64(length) : -1;
    return sink->file->resize(0) && sink->file->seek(0);
}

size_t writePart(char *ptr, size_t size, size_t count, void *userdata)
{
    auto *sink = static_cast<PartSink *>(userdata);
    if (!sink->decided && !decidePart(sink))
        return 0;
    const size_t n = size * count;
    return sink->file->write(ptr, qint64(n)) == qint64(n) ? n : 0;
}

} // namespace

QByteArray HttpCurl::downloadBytes(const QString &url, const FormParams &params,
                                   TransferProgress *progress)
{
    if (params.isEmpty())
        return QByteArray();
    PooledHandle h(url, false);
    if (!h)
        return QByteArray();
    const QByteArray body = formBody(params);
    CurlList headers = expectOffHeaders();
    MemorySink sink;
    sink.limit = kMaxMemoryDownloadBytes;
    setDownloadOptions(h.get(), url.toLocal8Bit(), body, headers.get(), progress);
    curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, writeToMemory);
    curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &sink);
    const CURLcode rc = performCall(h.get(), url);
    if (rc != CURLE_OK) {
        qDebug() << __FILE__ << __LINE__ << "download failed, curl code" << int(rc) << url;
        return QByteArray();
    }
    return sink.data;
}

QString HttpCurl::downloadToFile(const QString &url, const FormParams &params,
                                 const QString &targetPath, TransferProgress *progress)
{
    if (params.isEmpty() || targetPath.isEmpty())
        return QString();
    const QFileInfo target(targetPath);
    QTemporaryFile file(target.absolutePath() + QLatin1Char('/') + target.fileName() +
                        QStringLiteral(".XXXXXX.part"));
    if (!file.open()) {
        qDebug() << __FILE__ << __LINE__ << "cannot create a file beside" << targetPath;
        return QString();
    }
    PooledHandle h(url, false);
    if (!h)
        return QString();
    const QByteArray body = formBody(params);
    CurlList headers = expectOffHeaders();
    setDownloadOptions(h.get(), url.toLocal8Bit(), body, headers.get(), progress);
    curl_easy_setopt(h.get(), CURLOPT_BUFFERSIZE, 256L * 1024);
    curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, writeToFile);
    curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, static_cast<QFile *>(&file));
    const CURLcode rc = performCall(h.get(), url);
    if (rc != CURLE_OK || !file.flush()) {
        qDebug() << __FILE__ << __LINE__ << "download failed, curl code" << int(rc) << url;
        return QString(); // the temporary file removes itself
    }
    file.setAutoRemove(false);
    return file.fileName();
}

void HttpCurl::downloadPart(const QString &url, const FormParams &params, PartDownload &part,
                            TransferProgress *progress)
{
    part.outcome = PartDownload::Outcome::Failed;
    part.resumed = false;
    part.serverTotal = -1;
    QFile file(part.path);
    if (params.isEmpty() || !file.open(QIODevice::ReadWrite)) {
        qDebug() << __FILE__ << __LINE__ << "cannot open the partial file" << part.path;
        return;
    }
    part.held = qBound<qint64>(0, part.held, file.size());
    if (part.total >= 0 && part.held > part.total)
        part.held = 0;
    if (!file.resize(part.held))
        return;
    const QByteArray body = formBody(params);
    // At most twice: with a range, then without when the answer does not
    // continue the held bytes.
    for (int round = 0; round < 2; ++round) {
        PooledHandle h(url, false);
        if (!h)
            return;
        CurlList headers = expectOffHeaders();
        if (part.held > 0) {
            const QByteArray range = "Range: bytes=" + QByteArray::number(part.held) + "-";
            curl_slist *list = headers.release();
            curl_slist *grown = curl_slist_append(list, range.constData());
            headers.reset(grown ? grown : list);
        }
        setDownloadOptions(h.get(), url.toLocal8Bit(), body, headers.get(), progress);
        if (part.held > 0) // the ranges of an encoded answer are of no use
            curl_easy_setopt(h.get(), CURLOPT_ACCEPT_ENCODING, nullptr);
        curl_easy_setopt(h.get(), CURLOPT_BUFFERSIZE, 256L * 1024);
        PartSink sink;
        sink.handle = h.get();
        sink.file = &file;
        sink.part = &part;
        curl_easy_setopt(h.get(), CURLOPT_HEADERFUNCTION, partHeader);
        curl_easy_setopt(h.get(), CURLOPT_HEADERDATA, &sink);
        curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, writePart);
        curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &sink);
        if (progress)
            progress->downloadBase.store(double(part.held));
        const CURLcode rc = performCall(h.get(), url);
        long code = 0;
        curl_easy_getinfo(h.get(), CURLINFO_RESPONSE_CODE, &code);
        // 416 (the held bytes are past the file's end) may come with no body.
        const bool refusedRange = part.held > 0 && code == 416;
        if ((rc == CURLE_WRITE_ERROR && sink.askAgain) || (rc == CURLE_OK && refusedRange)) {
            qDebug() << __FILE__ << __LINE__ << "the answer does not continue the held bytes"
                     << code << sink.contentRange;
            part.held = 0;
            part.total = -1;
            if (!file.resize(0))
                return;
            if (progress) {
                progress->downloadBase.store(0);
                progress->downloaded.store(0);
            }
            continue;
        }
        if (rc == CURLE_OK && !sink.decided && !decidePart(&sink))
            return; // an empty answer: the file is empty too
        if (progress && !progress->isRunning()) {
            part.outcome = PartDownload::Outcome::Cancelled;
        } else if (rc != CURLE_OK) {
            qDebug() << __FILE__ << __LINE__ << "download failed, curl code" << int(rc) << url;
            part.outcome = isNetworkFault(int(rc)) ? PartDownload::Outcome::NetworkFault
                                                   : PartDownload::Outcome::Failed;
        } else {
            part.outcome =
                file.flush() ? PartDownload::Outcome::Complete : PartDownload::Outcome::Failed;
        }
        part.held = file.size();
        return;
    }
}

void HttpCurl::setStallSeconds(int seconds)
{
    stallTime.store(qMax(1, seconds));
}

int HttpCurl::stallSeconds()
{
    return stallTime.load();
}

bool HttpCurl::isNetworkFault(int curlCode)
{
    switch (CURLcode(curlCode)) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return true;
    default:
        return false;
    }
}

QByteArray HttpCurl::uploadFile(const QString &url, const QString &fieldName,
                                const QString &filePath, const FormParams &params,
                                TransferProgress *progress, bool *networkFault)
{
    if (networkFault)
        *networkFault = false;
    if (filePath.isEmpty() || !QFileInfo(filePath).isFile())
        return QByteArray();
    PooledHandle h(url, false);
    if (!h)
        return QByteArray();
    CURL *c = h.get();

    CurlMime form(curl_mime_init(c));
    for (auto it = params.constBegin(); it != params.constEnd(); ++it) {
        curl_mimepart *part = curl_mime_addpart(form.get());
        curl_mime_name(part, it.key().toUtf8().constData());
        const QByteArray value = it.value().toUtf8();
        curl_mime_data(part, value.constData(), size_t(value.size()));
    }
    curl_mimepart *filePart = curl_mime_addpart(form.get());
    curl_mime_name(filePart, fieldName.toUtf8().constData());
    if (curl_mime_filedata(filePart, filePath.toLocal8Bit().constData()) != CURLE_OK)
        return QByteArray();
    curl_mime_filename(filePart, QFileInfo(filePath).fileName().toUtf8().constData());

    CurlList headers = expectOffHeaders();
    MemorySink sink;
    setCommonOptions(c, url.toLocal8Bit());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kUploadConnectTimeout);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, kUploadTimeout);
    setStallLimit(c);
    curl_easy_setopt(c, CURLOPT_MIMEPOST, form.get());
    curl_easy_setopt(c, CURLOPT_HEADER, 0L);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeToMemory);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    setProgress(c, progress);
    const CURLcode rc = performCall(c, url);
    qDebug() << __FILE__ << __LINE__ << "upload curl code" << int(rc) << url;
    if (rc != CURLE_OK) {
        if (networkFault)
            *networkFault = isNetworkFault(int(rc));
        return QByteArray();
    }
    return sink.data;
}

QString HttpCurl::formatSize(qint64 bytes)
{
    struct Unit
    {
        qint64 divisor;
        const char *name;
    };
    static const Unit units[] = {{1LL << 30, "GB"}, {1LL << 20, "MB"}, {1LL << 10, "KB"}};
    for (const Unit &u : units) {
        if (bytes >= u.divisor) {
            const double hundredths = std::floor(double(bytes) * 100.0 / double(u.divisor) + 0.5);
            return QString::number(hundredths / 100.0, 'g', 6) + QLatin1String(u.name);
        }
    }
    return QString::number(bytes) + QLatin1Char('B');
}

QString HttpCurl::sizeText(const QVariant &serverText)
{
    return serverText.toString().remove(QStringLiteral("&nbsp;"));
}

QJsonDocument HttpCurl::parseJson(const QByteArray &text)
{
    if (repeatsName(text)) {
        qDebug() << "JSON text refused: an object names a member twice";
        return QJsonDocument();
    }
    return QJsonDocument::fromJson(text);
}

QString HttpCurl::toJsonText(const QVariant &value)
{
    return QString::fromUtf8(QJsonDocument::fromVariant(value).toJson(QJsonDocument::Indented));
}

void HttpCurl::logJson(const QVariant &value, const char *tag, int line)
{
    const QString text = QStringLiteral("%1 %2====start====\n%3\n%1 %2====end====")
                             .arg(QString::fromUtf8(tag), QString::number(line), toJsonText(value));
    qDebug().noquote() << text;
}

QString HttpCurl::md5Hex(const QByteArray &data)
{
    return QString::fromLatin1(md5hexBytes(data));
}

QString HttpCurl::md5HexOfFile(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}

int HttpCurl::scanFolder(const QString &dirPath, int maxCount, QStringList &dirs,
                         QList<QStringList> &files)
{
    if (!QDir(dirPath).exists())
        return -1;
    dirs.append(dirPath);
    const QFileInfoList entries = folderUploadEntries(dirPath);
    for (const QFileInfo &info : entries) {
        if (info.isDir()) {
            if (scanFolder(info.filePath(), maxCount, dirs, files) == -2)
                return -2;
        } else if (info.isReadable()) {
            files.append(QStringList{info.filePath(), dirPath});
        }
        // The counts only grow: a folder far over the limit (a whole disk
        // dropped by mistake) is refused without walking all of it.
        if (dirs.size() + files.size() > maxCount)
            return -2;
    }
    return dirs.size() + files.size() > maxCount ? -2 : 0;
}

QFileInfoList HttpCurl::folderUploadEntries(const QString &dirPath)
{
    QFileInfoList entries = QDir(dirPath).entryInfoList();
    for (int i = entries.size() - 1; i >= 0; --i) {
        const QFileInfo &info = entries.at(i);
        const QString name = info.fileName();
        if (name == QLatin1String(".") || name == QLatin1String("..") ||
            (info.isDir() && info.isSymLink()))
            entries.removeAt(i);
    }
    return entries;
}

QByteArray HttpCurl::authCode(const QByteArray &data, const QByteArray &operation,
                              const QByteArray &keyIn, int expirySeconds)
{
    const bool decode = operation == "DECODE";
    const QByteArray key = md5hexBytes(keyIn.isEmpty() ? QByteArray(kBuiltInKey) : keyIn);
    const QByteArray keyA = md5hexBytes(key.left(16));
    const QByteArray keyB = md5hexBytes(key.mid(16, 16));
    const QByteArray keyC =
        decode ? data.left(4)
               : md5hexBytes(QByteArray::number(QDateTime::currentMSecsSinceEpoch())).left(4);
    const QByteArray cryptKey = keyA + md5hexBytes(keyA + keyC);

    QByteArray text;
    if (decode) {
        text = QByteArray::fromBase64(data.mid(4));
    } else {
        const qint64 stamp =
            expirySeconds >= 1 ? expirySeconds + QDateTime::currentSecsSinceEpoch() : 0;
        text = QByteArray::number(stamp).rightJustified(10, '0') +
               md5hexBytes(data + keyB).left(16) + data;
    }

    int box[256];
    int rnd[256];
    for (int i = 0; i < 256; ++i) {
        box[i] = i;
        rnd[i] = static_cast<unsigned char>(cryptKey.at(i % cryptKey.size()));
    }
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + box[i] + rnd[i]) % 256;
        std::swap(box[i], box[j]);
    }
    QByteArray out(text.size(), Qt::Uninitialized);
    for (int k = 0, a = 0, j = 0; k < text.size(); ++k) {
        a = (a + 1) % 256;
        j = (j + box[a]) % 256;
        std::swap(box[a], box[j]);
        out[k] = char(static_cast<unsigned char>(text.at(k)) ^ box[(box[a] + box[j]) % 256]);
    }

    if (!decode)
        return keyC + out.toBase64().replace('=', QByteArray());

    if (out.size() < 26)
        return QByteArray();
    bool ok = false;
    const qulonglong stamp = out.left(10).toULongLong(&ok);
    const QByteArray payload = out.mid(26);
    const bool fresh = ok && (stamp == 0 || stamp > qulonglong(QDateTime::currentSecsSinceEpoch()));
    if (fresh && out.mid(10, 16) == md5hexBytes(payload + keyB).left(16))
        return payload;
    return QByteArray();
}

bool HttpCurl::isServerRefusal(const QByteArray &head)
{
    if (head.size() >= 3000)
        return false;
    const QJsonDocument doc = parseJson(head);
    return doc.isObject() && doc.object().contains(QStringLiteral("code"));
}

bool HttpCurl::isServerRefusalFile(const QString &path)
{
    QFile file(path);
    if (file.size() >= 3000 || !file.open(QIODevice::ReadOnly))
        return false;
    return isServerRefusal(file.readAll());
}
