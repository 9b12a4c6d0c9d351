// What an attacker without an account, or with one, may try on the HTTP
// layer: endless headers, files sent without a token, a full disk, ranges,
// tokens in URLs; and how the data folder is kept from other local users.

#include "apiclient.h"
#include "rawconnection.h"
#include "serverprocess.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cstdio>
#include <filesystem>
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

namespace {

const char *const boundary = "----hardeningBoundary";

std::string part(const std::string &name, const std::string &value)
{
    return std::string("--") + boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
           "\"\r\n\r\n" + value + "\r\n";
}

std::string filePartHead(const std::string &fileName)
{
    return std::string("--") + boundary +
           "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + fileName +
           "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
}

std::string multipartTail()
{
    return std::string("\r\n--") + boundary + "--\r\n";
}

std::string uploadHead(const std::string &path, const std::string &length)
{
    return "POST " + path +
           " HTTP/1.1\r\nHost: a\r\nContent-Type: multipart/form-data; boundary=" + boundary +
           "\r\n" +
           (length.empty() ? std::string("Transfer-Encoding: chunked")
                           : "Content-Length: " + length) +
           "\r\n\r\n";
}

size_t filesIn(const std::string &dir)
{
    size_t n = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        n += entry.is_regular_file();
    return n;
}

} // namespace

TEST_F(Hardening, AFilePartWithoutATokenBeforeItIsRefusedBeforeAnyByteIsStored)
{
    const std::string tmp = server->dataDir() + "/blobs/tmp";
    const std::string head = filePartHead("无令牌.bin");
    const size_t declared = head.size() + (64u << 20) + multipartTail().size();
    RawConnection conn(server->port());
    ASSERT_TRUE(conn.send(uploadHead("/api/netdisk/upload.jf", std::to_string(declared)) + head +
                          std::string(1u << 20, 'x')));
    // Answered while 63 MiB are still to come.
    std::string reply, body;
    ASSERT_TRUE(conn.readResponse(reply, body)) << "no answer before the body's end";
    EXPECT_EQ(json::parse(body, nullptr, false)["code"], 2) << body;
    EXPECT_EQ(filesIn(tmp), 0u);
}

namespace {

// A small file system of its own for a data folder, when the test may mount
// one (it runs as root).
class SmallDisk
{
public:
    explicit SmallDisk(const std::string &size)
    {
        mounted = ::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(dir.path().c_str(), MNT_DETACH);
    }
    bool mounted = false;
    TempDir dir;
    std::string path() const { return dir.path() + "/data"; }
};

} // namespace

TEST(HardeningDisk, AFullDiskSaysSoAndStillLetsUsersSignInAndMakeFolders)
{
    SmallDisk disk("100m");
    if (!disk.mounted)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    auto server = std::make_unique<ServerProcess>(true, disk.path());
    ApiClient c(server->port());
    ASSERT_EQ(c.login("zhangsan", "123456")["code"], 0);
    const std::string tmp = disk.path() + "/blobs/tmp";

    // Fits beside the space kept for the database.
    json first = c.upload("/api/netdisk/upload.jf", {{"pid", "0"}, {"uploadType", "2"}}, "一.bin",
                          std::string(20u << 20, 'a'));
    ASSERT_EQ(first["code"], 0) << first.dump();
    // Announced too large for what is left: refused before it is stored.
    json second = c.upload("/api/netdisk/upload.jf", {{"pid", "0"}, {"uploadType", "2"}}, "二.bin",
                           std::string(20u << 20, 'b'));
    EXPECT_EQ(second["code"], 9);
    EXPECT_EQ(second["msg"], "磁盘空间不足");
    // Of unknown length (chunked): stopped once the disk fills.
    {
        RawConnection conn(server->port());
        std::string body = part("token", c.token) + part("pid", "0") + part("uploadType", "2") +
                           filePartHead("三.bin");
        auto chunk = [](const std::string &data) {
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", data.size());
            return size + data + "\r\n";
        };
        bool sending = conn.send(uploadHead("/api/netdisk/upload.jf", "") + chunk(body));
        for (int i = 0; i < 40 && sending; ++i)
            sending = conn.send(chunk(std::string(1u << 20, 'c')));
        std::string head, reply;
        ASSERT_TRUE(conn.readResponse(head, reply));
        EXPECT_EQ(json::parse(reply, nullptr, false)["msg"], "磁盘空间不足") << reply;
    }
    EXPECT_EQ(filesIn(tmp), 0u);

    ApiClient other(server->port());
    EXPECT_EQ(other.login("lisi", "123456")["code"], 0);
    EXPECT_EQ(c.call("/api/netdisk/save-fold.jf",
                     {{"parentId", "0"}, {"name", "满盘时的文件夹"}})["code"],
              0);
    EXPECT_FALSE(c.find("0", "满盘时的文件夹", true).is_null());
    EXPECT_TRUE(c.find("0", "二.bin", true).is_null());
    EXPECT_TRUE(c.find("0", "三.bin", true).is_null());
    server.reset();
}

TEST_F(Hardening, ATokenCountsInTheBodyOnly)
{
    auto post = [&](const std::string &target, const std::string &body) {
        RawConnection conn(server->port());
        std::string head, reply;
        if (!conn.send(RawConnection::formPost(target, body)) || !conn.readResponse(head, reply))
            return json();
        return json::parse(reply, nullptr, false);
    };
    EXPECT_EQ(post("/api/sys/notice-list.jf?token=" + c->token, "")["code"], 2);
    EXPECT_EQ(post("/api/file/list-file.jf?token=" + c->token, "parentId=0")["code"], 2);
    EXPECT_EQ(post("/api/file/list-file.jf", "token=" + c->token + "&parentId=0")["code"], 0);
}

TEST_F(Hardening, AClosingAnswerSaysConnectionCloseOnce)
{
    auto connectionHeaders = [&](const std::string &request) {
        RawConnection conn(server->port());
        std::string head, body;
        if (!conn.send(request) || !conn.readResponse(head, body))
            return -1;
        int n = 0;
        for (size_t at = head.find("\r\nConnection:"); at != std::string::npos;
             at = head.find("\r\nConnection:", at + 1))
            ++n;
        return n;
    };
    std::string asked = RawConnection::formPost("/api/sys/notice-list.jf", "token=" + c->token);
    asked.insert(asked.find("\r\n") + 2, "Connection: close\r\n");
    EXPECT_EQ(connectionHeaders(asked), 1);
    // Closed by the server's own choice as well as asked by the client.
    std::string refused = uploadHead("/api/netdisk/upload.jf", "1000000") + part("token", "bad") +
                          filePartHead("x.bin");
    EXPECT_EQ(connectionHeaders(refused), 1);
    refused.insert(refused.find("\r\n") + 2, "Connection: close\r\n");
    EXPECT_EQ(connectionHeaders(refused), 1);
    EXPECT_EQ(connectionHeaders("GET / HTTP/1.1\r\nHost: a\r\nBad header\r\n\r\n"), 1);
}

TEST(HardeningFiles, TheDataFolderIsTheServerUsersAlone)
{
    namespace fs = std::filesystem;
    TempDir dir;
    // A folder made earlier, readable by all.
    const std::string data = dir.path() + "/data";
    fs::create_directory(data);
    fs::permissions(data, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    {
        ServerProcess server(true, data);
        ApiClient c(server.port());
        ASSERT_EQ(c.login("zhangsan", "123456")["code"], 0);
        EXPECT_EQ(c.upload("/api/netdisk/upload.jf", {{"pid", "0"}, {"uploadType", "2"}}, "私.txt",
                           "private")["code"],
                  0);
    }
    const auto others = fs::perms::group_all | fs::perms::others_all;
    EXPECT_EQ(fs::status(data).permissions() & fs::perms::all, fs::perms::owner_all);
    size_t seen = 0;
    for (const auto &entry : fs::recursive_directory_iterator(data)) {
        EXPECT_EQ(entry.status().permissions() & others, fs::perms::none) << entry.path();
        ++seen;
    }
    EXPECT_GT(seen, 10u); // the databases, the blob folders and blobs
}

TEST_F(Hardening, ARangeGetsItsBytesOrA416)
{
    std::string content;
    for (int i = 0; i < (1 << 20); ++i)
        content += static_cast<char>(i * 31 + (i >> 9));
    json up = c->upload("/api/netdisk/upload.jf", {{"pid", "0"}, {"uploadType", "2"}}, "区间.bin",
                        content);
    ASSERT_EQ(up["code"], 0) << up.dump();
    const std::string size = std::to_string(content.size());
    struct Answer
    {
        int status = 0;
        std::string contentRange, body;
    };
    auto fetch = [&](const std::string &range) {
        std::string request = RawConnection::formPost(
            "/api/netdisk/download.jf",
            "token=" + c->token + "&fileIds=" + up["data"]["fileId"].get<std::string>());
        request.insert(request.find("\r\n") + 2, "Range: " + range + "\r\n");
        RawConnection conn(server->port());
        Answer a;
        std::string head;
        if (!conn.send(request) || !conn.readResponse(head, a.body))
            return a;
        a.status = statusOf(head);
        size_t at = head.find("\r\nContent-Range: ");
        if (at != std::string::npos)
            a.contentRange = head.substr(at + 17, head.find("\r\n", at + 2) - at - 17);
        return a;
    };
    Answer a = fetch("bytes=0-99");
    EXPECT_EQ(a.status, 206);
    EXPECT_EQ(a.contentRange, "bytes 0-99/" + size);
    EXPECT_TRUE(a.body == content.substr(0, 100));
    a = fetch("bytes=1000-");
    EXPECT_EQ(a.contentRange, "bytes 1000-1048575/" + size);
    EXPECT_TRUE(a.body == content.substr(1000));
    a = fetch("bytes=-10");
    EXPECT_EQ(a.contentRange, "bytes 1048566-1048575/" + size);
    EXPECT_TRUE(a.body == content.substr(content.size() - 10));
    // An end past the file ends with it.
    a = fetch("bytes=0-99999999");
    EXPECT_EQ(a.status, 206);
    EXPECT_EQ(a.contentRange, "bytes 0-1048575/" + size);
    EXPECT_TRUE(a.body == content);
    // Beginning past the end.
    a = fetch("bytes=2000000-");
    EXPECT_EQ(a.status, 416);
    EXPECT_EQ(a.contentRange, "bytes */" + size);
    // Several ranges: the whole file.
    a = fetch("bytes=0-1,5-6");
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.contentRange, "");
    EXPECT_TRUE(a.body == content);
}
