// HTTPS: the server with a certificate of a CA made here by openssl. Sign-in,
// listings and large transfers byte for byte, old protocols refused, and
// connections that are slow or silent in their handshake closed by the
// deadline of a request's headers, while a kept-alive one stays.

#include "apiclient.h"
#include "rawconnection.h"
#include "serverprocess.h"

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <thread>

using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

// What a shell command prints (standard output and error together).
std::string output(const std::string &command)
{
    std::string text;
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    if (!pipe)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0)
        text.append(buffer, n);
    return text;
}

// A private CA and a server certificate it signed for 127.0.0.1 and
// localhost, made with the openssl program in a temporary folder.
struct TestCa
{
    TestCa()
    {
        const std::string d = dir.path() + "/";
        const std::string ext = d + "server.ext";
        FILE *f = std::fopen(ext.c_str(), "w");
        if (f) {
            std::fputs("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n"
                       "extendedKeyUsage=serverAuth\n",
                       f);
            std::fclose(f);
        }
        const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes ";
        made = std::system(("openssl req -x509" + ec + "-keyout " + d + "ca.key -out " + ca +
                            " -days 2 -subj '/CN=Folvane Test CA' >/dev/null 2>&1 && "
                            "openssl req" +
                            ec + "-keyout " + key + " -out " + d + "server.csr" +
                            " -subj '/CN=folvane test server' >/dev/null 2>&1 && "
                            "openssl x509 -req -in " +
                            d + "server.csr -CA " + ca + " -CAkey " + d +
                            "ca.key -CAcreateserial -days 2 -extfile " + ext + " -out " +
                            certificate + " >/dev/null 2>&1")
                               .c_str()) == 0;
    }
    TempDir dir;
    std::string ca = dir.path() + "/ca.pem";
    std::string certificate = dir.path() + "/server.pem";
    std::string key = dir.path() + "/server.key";
    bool made = false;
};

// A connection that speaks TLS through OpenSSL, trusting the test CA.
class TlsConnection : public RawConnection
{
public:
    TlsConnection(int port, const std::string &caFile)
        : RawConnection(port), context(SSL_CTX_new(TLS_client_method()), SSL_CTX_free),
          ssl(nullptr, SSL_free)
    {
        SSL_CTX_load_verify_locations(context.get(), caFile.c_str(), nullptr);
        SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
        ssl.reset(SSL_new(context.get()));
        SSL_set_fd(ssl.get(), socket());
        SSL_set1_host(ssl.get(), "127.0.0.1");
    }

    // The whole handshake, certificate checked.
    bool handshake() { return SSL_connect(ssl.get()) == 1; }

    bool send(const std::string &data) override
    {
        return SSL_write(ssl.get(), data.data(), static_cast<int>(data.size())) ==
               static_cast<int>(data.size());
    }

    bool closedByServer(int timeoutMs) override
    {
        // Data that may arrive first (TLS 1.3 session tickets) is read past.
        auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            char c[4096];
            int n = SSL_read(ssl.get(), c, sizeof c);
            if (n > 0)
                return false; // an answer nobody asked for
            if (SSL_get_error(ssl.get(), n) != SSL_ERROR_WANT_READ) {
                ERR_clear_error();
                return true;
            }
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
            pollfd p{socket(), POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) != 1)
                return false;
        }
    }

protected:
    bool fill(int timeoutMs) override
    {
        for (;;) {
            char buffer[65536];
            int n = SSL_read(ssl.get(), buffer, sizeof buffer);
            if (n > 0) {
                pending.append(buffer, static_cast<size_t>(n));
                return true;
            }
            if (SSL_get_error(ssl.get(), n) != SSL_ERROR_WANT_READ)
                return false;
            pollfd p{socket(), POLLIN, 0};
            if (poll(&p, 1, timeoutMs) != 1)
                return false;
        }
    }

private:
    std::unique_ptr<SSL_CTX, void (*)(SSL_CTX *)> context;
    std::unique_ptr<SSL, void (*)(SSL *)> ssl;
};

std::string https(const ServerProcess &server, const char *host = "127.0.0.1")
{
    return std::string("https://") + host + ":" + std::to_string(server.port());
}

std::string randomBytes(size_t size)
{
    std::mt19937_64 random(size);
    std::string bytes(size, '\0');
    for (size_t i = 0; i + 8 <= size; i += 8) {
        uint64_t v = random();
        std::memcpy(&bytes[i], &v, 8);
    }
    return bytes;
}

std::vector<std::string> tlsArgs(const TestCa &ca)
{
    return {"--tls-cert", ca.certificate, "--tls-key", ca.key};
}

} // namespace

TEST(Tls, SignInListingAndLargeTransfersAreByteExact)
{
    TestCa ca;
    ASSERT_TRUE(ca.made) << "openssl could not make the test certificates";
    ServerProcess server(true, std::string(), tlsArgs(ca));
    ApiClient c(https(server), ca.ca);
    ASSERT_EQ(c.login("zhangsan", "123456")["code"], 0);
    std::string rd = c.idOf("0", "研发中心");
    ASSERT_FALSE(rd.empty());

    // 40 MiB up and down: many TLS records, pieces of the file answer and
    // body reads straight into the upload.
    const std::string content = randomBytes((40u << 20) + 12345);
    json up = c.upload("/api/file/upload-docfile.jf",
                       {{"pid", rd}, {"uploadType", "2"}, {"fileId", ""}}, "大文件.bin", content);
    ASSERT_EQ(up["code"], 0) << up.dump();
    const std::string id = up["data"]["fileId"];
    auto down = c.download("/api/file/download.jf", {{"fileIds", id}});
    ASSERT_TRUE(down);
    EXPECT_EQ(down->status, 200);
    EXPECT_TRUE(down->body == content) << "download differs, " << down->body.size() << " bytes";
    // A range starts in the middle of the file.
    c.http.set_default_headers({{"Range", "bytes=20000000-20999999"}});
    auto part = c.download("/api/file/download.jf", {{"fileIds", id}});
    c.http.set_default_headers({});
    ASSERT_TRUE(part);
    EXPECT_EQ(part->status, 206);
    EXPECT_TRUE(part->body == content.substr(20000000, 1000000));

    // A link page's key is a cookie that never goes back over plain HTTP.
    json link = c.call("/api/file/link-add.jf", {{"fileIds", id},
                                                 {"linkType", "2"},
                                                 {"pwd", "secret"},
                                                 {"linkAuth", "1,2"},
                                                 {"maxVisit", "0"},
                                                 {"linkExpiry", "2099-12-31"},
                                                 {"desp", ""}});
    ASSERT_EQ(link["code"], 0) << link.dump();
    auto unlocked = c.http.Post(link.value("url", "").c_str(), httplib::Params{{"pwd", "secret"}});
    ASSERT_TRUE(unlocked);
    EXPECT_EQ(unlocked->status, 303);
    EXPECT_NE(unlocked->get_header_value("Set-Cookie").find("; Secure"), std::string::npos);

    // The certificate names localhost too; plain HTTP gets no answer.
    ApiClient local(https(server, "localhost"), ca.ca);
    EXPECT_EQ(local.login("lisi", "123456")["code"], 0);
    ApiClient plain(server.port());
    plain.http.set_read_timeout(5);
    EXPECT_TRUE(plain.login("lisi", "123456").is_null());

    // An upload refused before its end is answered over TLS too, while most
    // of its body is still to come.
    TlsConnection refused(server.port(), ca.ca);
    ASSERT_TRUE(refused.handshake());
    const std::string boundary = "b0undary";
    const std::string part0 = "--" + boundary +
                              "\r\nContent-Disposition: form-data; name=\"file\"; "
                              "filename=\"x.bin\"\r\n\r\n";
    ASSERT_TRUE(refused.send("POST /api/netdisk/upload.jf HTTP/1.1\r\nHost: a\r\n"
                             "Content-Type: multipart/form-data; boundary=" +
                             boundary + "\r\nContent-Length: " + std::to_string(64u << 20) +
                             "\r\n\r\n" + part0 + std::string(1u << 20, 'x')));
    std::string head, body;
    ASSERT_TRUE(refused.readResponse(head, body)) << "no answer before the body's end";
    EXPECT_EQ(json::parse(body, nullptr, false)["code"], 2) << body;
    EXPECT_TRUE(refused.closedByServer(5000));
}

TEST(Tls, OlderProtocolsThanTls12AreRefused)
{
    TestCa ca;
    ASSERT_TRUE(ca.made);
    ServerProcess server(false, std::string(), tlsArgs(ca));
    // SECLEVEL=0 lets the client offer TLS 1.1 at all, so the refusal is the
    // server's (its protocol_version alert).
    const std::string client =
        "openssl s_client -connect 127.0.0.1:" + std::to_string(server.port()) + " -CAfile " +
        ca.ca + " -cipher DEFAULT@SECLEVEL=0 </dev/null ";
    for (const char *old : {"-tls1_1", "-tls1"}) {
        std::string said = output(client + old);
        EXPECT_NE(said.find("alert protocol version"), std::string::npos) << old << ": " << said;
        EXPECT_NE(said.find("Cipher is (NONE)"), std::string::npos) << old << ": " << said;
    }
    for (const char *good : {"TLSv1.2", "TLSv1.3"}) {
        std::string option = std::string("-tls1_") + good[6];
        std::string said = output(client + option);
        EXPECT_NE(said.find(std::string("New, ") + good + ", Cipher is "), std::string::npos)
            << good << ": " << said;
        EXPECT_NE(said.find("Verify return code: 0 (ok)"), std::string::npos) << said;
    }
}

TEST(Tls, SlowOrSilentHandshakesAreClosedByTheHeaderDeadline)
{
    TestCa ca;
    ASSERT_TRUE(ca.made);
    const int deadlineMs = 2000;
    ServerProcess server(false, std::string(),
                         {"--tls-cert", ca.certificate, "--tls-key", ca.key, "--header-seconds",
                          std::to_string(deadlineMs / 1000)});
    const auto start = Clock::now();
    auto since = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    // A kept-alive connection with two pipelined requests answered, which
    // may then idle past the deadline of headers.
    TlsConnection kept(server.port(), ca.ca);
    ASSERT_TRUE(kept.handshake());
    const std::string get = "GET /nothing HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    ASSERT_TRUE(kept.send(get + get));
    std::string head, body;
    ASSERT_TRUE(kept.readResponse(head, body));
    ASSERT_TRUE(kept.readResponse(head, body));
    EXPECT_EQ(head.substr(0, 12), "HTTP/1.1 404");

    RawConnection silent(server.port()); // connects, never says hello
    RawConnection dripping(server.port());
    // The first bytes of a ClientHello record, and no more.
    ASSERT_TRUE(dripping.send(std::string("\x16\x03\x01\x02\x00\x01", 6)));
    TlsConnection quiet(server.port(), ca.ca); // shakes hands, asks nothing
    ASSERT_TRUE(quiet.handshake());
    TlsConnection late(server.port(), ca.ca); // shakes hands late, asks nothing
    std::this_thread::sleep_for(std::chrono::milliseconds(deadlineMs * 6 / 10));
    ASSERT_TRUE(late.handshake());

    // Closed once the deadline runs out after connecting, not before; the
    // late one on the same clock (the handshake did not restart it).
    EXPECT_TRUE(silent.closedByServer(deadlineMs + 1500));
    EXPECT_TRUE(dripping.closedByServer(1000));
    EXPECT_TRUE(quiet.closedByServer(1000));
    EXPECT_TRUE(late.closedByServer(1000));
    EXPECT_GE(since(), deadlineMs - 100);
    EXPECT_LT(since(), deadlineMs + deadlineMs * 6 / 10 - 200);

    ASSERT_TRUE(kept.send(get));
    ASSERT_TRUE(kept.readResponse(head, body)) << "the idle connection was closed";
    EXPECT_EQ(head.substr(0, 12), "HTTP/1.1 404");
}
