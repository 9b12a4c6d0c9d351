// What an attacker without an account, or with one, may try on the HTTP
// layer: endless headers, files sent without a token, a full disk, ranges,
// tokens in URLs; and how the data folder is kept from other local users.

#include "apiclient.h"
#include "rawconnection.h"
#include "serverprocess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <thread>
#include <vector>

using nlohmann::json;

namespace {

// The server's resident memory now, in KiB.
long rssKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

int statusOf(const std::string &head)
{
    return head.size() > 12 ? std::stoi(head.substr(9, 3)) : 0;
}

} // namespace

class Hardening : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        server = std::make_unique<ServerProcess>();
        c = std::make_unique<ApiClient>(server->port());
        ASSERT_EQ(c->login("zhangsan", "123456")["code"], 0);
    }
    static void TearDownTestSuite()
    {
        c.reset();
        server.reset();
    }
    static std::unique_ptr<ServerProcess> server;
    static std::unique_ptr<ApiClient> c;
};
std::unique_ptr<ServerProcess> Hardening::server;
std::unique_ptr<ApiClient> Hardening::c;

TEST_F(Hardening, ManyOrLargeHeadersAre431AndCostNoMemory)
{
    auto withHeaders = [](int count) {
        std::string request = "GET /api/user/user-thumb.jf?userId=1 HTTP/1.1\r\nHost: a\r\n";
        for (int i = 0; i < count; ++i)
            request += "X-" + std::to_string(i) + ": v\r\n";
        return request + "\r\n";
    };
    for (int count : {90, 101}) {
        RawConnection conn(server->port());
        ASSERT_TRUE(conn.send(withHeaders(count)));
        std::string head, body;
        ASSERT_TRUE(conn.readResponse(head, body)) << count << " headers: no answer";
        EXPECT_EQ(statusOf(head) == 431, count > 100) << head;
    }

    // Connections that send header lines without end, 16 MiB each, at once.
    const long before = rssKiB(server->pid());
    std::vector<std::thread> senders;
    std::vector<std::string> heads(4);
    for (std::string &head : heads)
        senders.emplace_back([&] {
            RawConnection conn(server->port());
            std::string lines = "GET / HTTP/1.1\r\n";
            while (lines.size() < (64u << 10))
                lines += "X-Filler: " + std::string(100, 'f') + "\r\n";
            // The server answers and closes long before the end.
            for (int i = 0; i < 256 && conn.send(lines); ++i) {
            }
            std::string body;
            conn.readResponse(head, body);
        });
    for (std::thread &t : senders)
        t.join();
    for (const std::string &head : heads)
        EXPECT_EQ(statusOf(head), 431) << head;
    EXPECT_LT(rssKiB(server->pid()) - before, 16 * 1024) << "the headers stayed in memory";
    EXPECT_EQ(c->call("/api/sys/notice-list.jf")["code"], 0);
}
