// The server under hostile or heavy use: connections that stall in every
// phase of a request do not keep others waiting, pipelined requests are
// answered in order, and listings stay right in a large generated library.

#include "apiclient.h"
#include "generatedlibrary.h"
#include "rawconnection.h"
#include "serverprocess.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <vector>

using nlohmann::json;

TEST(Load, StalledConnectionsDoNotBlockASignIn)
{
    ServerProcess server;
    ApiClient owner(server.port());
    ASSERT_EQ(owner.login("zhangsan", "123456")["code"], 0);
    // Sixteen connections stalled in every phase: idle, half a header, a
    // body announced and never sent, an upload stopped in the middle of its
    // file.
    std::string upload = "--b\r\nContent-Disposition: form-data; name=\"token\"\r\n\r\n" +
                         owner.token +
                         "\r\n--b\r\nContent-Disposition: form-data; name=\"file\"; "
                         "filename=\"slow.bin\"\r\n\r\n" +
                         std::string(100000, 's');
    std::vector<std::unique_ptr<RawConnection>> stalled;
    for (int i = 0; i < 16; ++i) {
        stalled.push_back(std::make_unique<RawConnection>(server.port()));
        RawConnection &c = *stalled.back();
        ASSERT_TRUE(c.connected());
        switch (i % 4) {
        case 0:
            break;
        case 1:
            ASSERT_TRUE(c.send("POST /api/user/login.jf HTTP/1.1\r\nHost: x"));
            break;
        case 2:
            ASSERT_TRUE(c.send("POST /api/user/login.jf HTTP/1.1\r\nHost: x\r\n"
                               "Content-Length: 1000\r\n\r\nusername="));
            break;
        case 3:
            ASSERT_TRUE(c.send("POST /api/netdisk/upload.jf HTTP/1.1\r\nHost: x\r\n"
                               "Content-Type: multipart/form-data; boundary=b\r\n"
                               "Content-Length: 10000000\r\n\r\n" +
                               upload));
            break;
        }
    }
    ApiClient other(server.port());
    other.http.set_connection_timeout(5);
    other.http.set_read_timeout(5);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(other.login("lisi", "123456")["code"], 0);
    EXPECT_EQ(other.list("0")["code"], 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(Load, PipelinedRequestsAreAnsweredInOrder)
{
    ServerProcess server;
    ApiClient c(server.port());
    ASSERT_EQ(c.login("zhangsan", "123456")["code"], 0);
    RawConnection raw(server.port());
    ASSERT_TRUE(raw.connected());
    // Three requests in one write, the last one split in two.
    std::string third =
        RawConnection::formPost("/api/file/list-file.jf", "token=" + c.token + "&parentId=0");
    ASSERT_TRUE(raw.send(RawConnection::formPost("/api/sys/notice-list.jf", "token=" + c.token) +
                         "GET /api/user/user-thumb.jf?userId=" + c.userId +
                         " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" + third.substr(0, 30)));
    usleep(50000);
    ASSERT_TRUE(raw.send(third.substr(30)));
    std::string head, body;
    ASSERT_TRUE(raw.readResponse(head, body));
    json notices = json::parse(body, nullptr, false);
    ASSERT_TRUE(notices.is_object()) << body;
    EXPECT_EQ(notices["code"], 0);
    EXPECT_EQ(notices["data"].size(), 4u);
    ASSERT_TRUE(raw.readResponse(head, body));
    EXPECT_NE(head.find("image/png"), std::string::npos);
    EXPECT_EQ(body.substr(1, 3), "PNG");
    ASSERT_TRUE(raw.readResponse(head, body));
    json listing = json::parse(body, nullptr, false);
    ASSERT_TRUE(listing.is_object()) << body.substr(0, 200);
    EXPECT_EQ(listing["code"], 0);
    EXPECT_EQ(listing["data"].size(), 4u);           // the four top folders zhangsan sees
    EXPECT_FALSE(raw.readResponse(head, body, 200)); // nothing more came
}

TEST(Load, ListingsStayRightInALargeLibrary)
{
    TempDir dir;
    GeneratedLibrary::Options options;
    GeneratedLibrary made = GeneratedLibrary::create(dir.path(), options);
    ServerProcess server(true, dir.path());
    ApiClient admin(server.port());
    ASSERT_EQ(admin.login("admin", "admin123")["code"], 0);
    json all = admin.list(made.wideId)["data"];
    ASSERT_EQ(all.size(), static_cast<size_t>(options.wideEntries));
    // Folders first, then files, each by name; every entry complete.
    for (size_t i = 0; i < all.size(); ++i) {
        const json &e = all[i];
        bool folder = i < all.size() / 2;
        EXPECT_EQ(e["fileType"], folder ? 1 : 2) << i;
        int n = static_cast<int>(folder ? 2 * i : 2 * (i - all.size() / 2) + 1);
        char name[32];
        std::snprintf(name, sizeof name, folder ? "目录%06d" : "文件%06d.txt", n);
        ASSERT_EQ(e["fileName"], name) << i;
        EXPECT_EQ(e["authList"], "A,C,M,V,P,D,E,R,L");
        EXPECT_EQ(e["parentId"], made.wideId);
        if (!folder) {
            EXPECT_EQ(e["length"], 10);
            EXPECT_EQ(e["fileLength"], "10&nbsp;B");
            EXPECT_EQ(e["md5"].get<std::string>().size(), 32u);
            EXPECT_EQ(e["user"], "系统管理员");
        }
    }
    // A colleague sees only what was granted to him, with his letters.
    ApiClient zhang(server.port());
    ASSERT_EQ(zhang.login("zhangsan", "123456")["code"], 0);
    json mine = zhang.list(made.wideId)["data"];
    ASSERT_EQ(mine.size(), static_cast<size_t>(made.visibleToZhangsan));
    for (const json &e : mine)
        EXPECT_EQ(e["authList"], "A,V");
    EXPECT_EQ(zhang.list(made.hundredId)["data"].size(), 100u);
    EXPECT_EQ(zhang.list(made.topId)["data"].size(), 2u); // 大文件夹 and 百项, not 其余
    // The many grants of another user change nothing for him.
    json netDisk = zhang.list("0", true);
    EXPECT_EQ(netDisk["code"], 0);
    EXPECT_GE(netDisk["data"].size(), 1u);
    EXPECT_GT(made.grants, 10000);
}
