// Uploads and downloads: streaming bodies, MD5, versions by name, refusals
// as short JSON, large bodies with flat memory, races and broken transfers.

#include "apiclient.h"
#include "rawconnection.h"
#include "serverprocess.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

std::string md5Hex(const std::string &data)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), md, &n, EVP_md5(), nullptr);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < n; ++i) {
        out += hex[md[i] >> 4];
        out += hex[md[i] & 15];
    }
    return out;
}

// Polls `done` until it holds or 10 seconds pass.
template <typename F> bool waitFor(F done)
{
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        if (done())
            return true;
    return done();
}

size_t countFiles(const std::string &dir)
{
    size_t n = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file())
            ++n;
    return n;
}

const char *const boundary = "----folvaneTestBoundary7MA4YWxk";

std::string multipartHead(const std::string &token, const std::string &pid, const std::string &name)
{
    std::string head;
    for (auto [k, v] : {std::pair<std::string, std::string>{"token", token},
                        {"pid", pid},
                        {"uploadType", "2"},
                        {"fileId", ""}})
        head += std::string("--") + boundary + "\r\nContent-Disposition: form-data; name=\"" + k +
                "\"\r\n\r\n" + v + "\r\n";
    head += std::string("--") + boundary +
            "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + name +
            "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    return head;
}

std::string multipartTail()
{
    return std::string("\r\n--") + boundary + "--\r\n";
}

} // namespace

class Transfer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server = std::make_unique<ServerProcess>();
        c = std::make_unique<ApiClient>(server->port());
        ASSERT_EQ(c->login("zhangsan", "123456")["code"], 0);
        rd = c->find("0", "研发中心")["fileId"];
    }
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<ApiClient> c;
    std::string rd;
};

TEST_F(Transfer, UploadThenDownloadGivesTheSameBytesAndMd5)
{
    std::string content;
    for (int i = 0; i < 300000; ++i)
        content += static_cast<char>((i * 7919) & 0xff);
    json up = c->upload("/api/file/upload-docfile.jf",
                        {{"pid", rd}, {"uploadType", "2"}, {"fileId", ""}}, "数据.bin", content);
    ASSERT_EQ(up["code"], 0) << up.dump();
    std::string id = up["data"]["fileId"];
    EXPECT_EQ(up["data"]["length"], content.size());
    EXPECT_EQ(up["data"]["fileLength"], "292.97&nbsp;KB");
    EXPECT_EQ(up["data"]["version"], 1);
    EXPECT_EQ(c->call("/api/file/md5.jf", {{"fileId", id}})["md5"], md5Hex(content));

    auto down = c->download("/api/file/download.jf", {{"fileIds", id}});
    ASSERT_TRUE(down);
    EXPECT_EQ(down->status, 200);
    EXPECT_EQ(down->get_header_value("Content-Length"), std::to_string(content.size()));
    EXPECT_TRUE(down->body == content);
    // An empty file is a file too.
    json empty =
        c->upload("/api/file/upload-docfile.jf", {{"pid", rd}, {"uploadType", "2"}}, "空.txt", "");
    ASSERT_EQ(empty["code"], 0);
    auto none = c->download("/api/file/download.jf", {{"fileIds", empty["data"]["fileId"]}});
    ASSERT_TRUE(none);
    EXPECT_EQ(none->body.size(), 0u);
}

TEST_F(Transfer, BytesLikeTheBoundaryAcrossBufferEdgesArriveIntact)
{
    // Line breaks and cut-off delimiters everywhere, most densely around the
    // edges of the server's 1 MiB buffers, where the bytes held back as a
    // possible delimiter meet the next piece read in place.
    const std::string fake = std::string("\r\n--") + boundary;
    std::string content;
    uint32_t seed = 12345;
    while (content.size() < (3u << 20) + 777) {
        seed = seed * 1103515245 + 12345;
        size_t mib = content.size() % (1u << 20);
        bool nearEdge = mib < 256 || mib > (1u << 20) - 256;
        if (nearEdge || seed % 7 == 0)
            content += fake.substr(0, (seed >> 8) % fake.size());
        else
            content += static_cast<char>(seed >> 16);
    }
    json up = c->upload("/api/file/upload-docfile.jf", {{"pid", rd}, {"uploadType", "2"}},
                        "边界.bin", content);
    ASSERT_EQ(up["code"], 0) << up.dump();
    EXPECT_EQ(up["data"]["md5"], md5Hex(content));
    auto down = c->download("/api/file/download.jf", {{"fileIds", up["data"]["fileId"]}});
    ASSERT_TRUE(down);
    EXPECT_TRUE(down->body == content);
}

TEST_F(Transfer, SameNameBecomesANewVersionAndUploadTypeOneReplaces)
{
    json first = c->upload("/api/file/upload-docfile.jf", {{"pid", rd}, {"uploadType", "2"}},
                           "计划.txt", "one");
    json second = c->upload("/api/file/upload-docfile.jf", {{"pid", rd}, {"uploadType", "2"}},
                            "计划.txt", "two");
    ASSERT_EQ(second["code"], 0);
    EXPECT_EQ(second["data"]["fileId"], first["data"]["fileId"]);
    EXPECT_EQ(second["data"]["version"], 2);
    std::string id = first["data"]["fileId"];
    json third =
        c->upload("/api/file/upload-docfile.jf", {{"pid", rd}, {"uploadType", "1"}, {"fileId", id}},
                  "other.txt", "three");
    ASSERT_EQ(third["code"], 0);
    EXPECT_EQ(third["data"]["fileName"], "计划.txt");
    EXPECT_EQ(third["data"]["version"], 3);
    EXPECT_EQ(c->download("/api/file/download.jf", {{"fileIds", id}})->body, "three");
    EXPECT_EQ(c->call("/api/file/version-list.jf", {{"fileId", id}})["data"].size(), 3u);
}

TEST_F(Transfer, RefusedDownloadsAreShortJsonObjects)
{
    std::string office = c->find("0", "行政部")["fileId"];
    ApiClient wang(server->port());
    wang.login("wangwu", "123456");
    std::string rules = c->find("0", "公司制度")["fileId"];
    std::string handbook = c->find(rules, "员工手册.docx")["fileId"];
    for (auto [client, id] : {std::pair<ApiClient *, std::string>{c.get(), "ffffffffffffffff"},
                              {c.get(), office},
                              {c.get(), ""},
                              {&wang, c->find(rd, "测试报告.csv")["fileId"]}}) {
        auto res = client->download("/api/file/download.jf", {{"fileIds", id}});
        ASSERT_TRUE(res);
        EXPECT_LT(res->body.size(), 3000u);
        json body = json::parse(res->body, nullptr, false);
        ASSERT_TRUE(body.is_object()) << res->body;
        EXPECT_NE(body["code"], 0);
        EXPECT_FALSE(body["msg"].get<std::string>().empty());
    }
    // Readers of 公司制度 may download.
    EXPECT_EQ(wang.download("/api/file/download.jf", {{"fileIds", handbook}})->status, 200);
}

TEST_F(Transfer, LargeUploadStreamsWithFlatMemory)
{
    const size_t total = 192u << 20;
    std::string head = multipartHead(c->token, rd, "大文件.bin");
    std::string tail = multipartTail();
    std::string block(1 << 16, '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>((i * 31 + 7) & 0xff);
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, EVP_md5(), nullptr);
    for (size_t sent = 0; sent < total; sent += block.size())
        EVP_DigestUpdate(ctx, block.data(), block.size());
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_DigestFinal_ex(ctx, md, &n);
    EVP_MD_CTX_free(ctx);
    std::string expected;
    for (unsigned int i = 0; i < n; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", md[i]);
        expected += hex;
    }

    long before = server->peakRssKiB();
    ASSERT_GT(before, 0);
    auto res = c->http.Post(
        "/api/file/upload-docfile.jf", httplib::Headers(), head.size() + total + tail.size(),
        [&](size_t offset, size_t, httplib::DataSink &sink) {
            if (offset < head.size())
                return sink.write(head.data() + offset, head.size() - offset);
            size_t body = offset - head.size();
            if (body < total)
                return sink.write(block.data(), std::min(block.size(), total - body));
            size_t t = body - total;
            return sink.write(tail.data() + t, tail.size() - t);
        },
        std::string("multipart/form-data; boundary=") + boundary);
    ASSERT_TRUE(res);
    json reply = json::parse(res->body, nullptr, false);
    ASSERT_EQ(reply["code"], 0) << res->body;
    EXPECT_EQ(reply["data"]["length"], total);
    EXPECT_EQ(reply["data"]["md5"], expected);
    long growth = server->peakRssKiB() - before;
    EXPECT_LT(growth, 48 * 1024) << "peak memory grew by " << growth << " KiB";

    // The download streams as well and has the right length.
    long beforeDown = server->peakRssKiB();
    size_t received = 0;
    auto down =
        c->http.Post("/api/file/download.jf", httplib::Headers(),
                     "token=" + c->token + "&fileIds=" + reply["data"]["fileId"].get<std::string>(),
                     "application/x-www-form-urlencoded");
    ASSERT_TRUE(down);
    received = down->body.size();
    EXPECT_EQ(received, total);
    EXPECT_LT(server->peakRssKiB() - beforeDown, 48 * 1024);
}

TEST_F(Transfer, TwoUploadsOfTheSameFileAtOnceMakeOneFileWithTwoVersions)
{
    std::string content(2 << 20, 'z');
    json replies[2];
    std::thread a([&] {
        ApiClient own(server->port());
        own.token = c->token;
        replies[0] = own.upload("/api/file/upload-docfile.jf", {{"pid", rd}, {"uploadType", "2"}},
                                "同时.bin", content);
    });
    std::thread b([&] {
        ApiClient own(server->port());
        own.token = c->token;
        replies[1] = own.upload("/api/file/upload-docfile.jf", {{"pid", rd}, {"uploadType", "2"}},
                                "同时.bin", content);
    });
    a.join();
    b.join();
    ASSERT_EQ(replies[0]["code"], 0);
    ASSERT_EQ(replies[1]["code"], 0);
    EXPECT_EQ(replies[0]["data"]["fileId"], replies[1]["data"]["fileId"]);
    int same = 0;
    json listing = c->list(rd);
    for (const json &e : listing["data"])
        same += e["fileName"] == "同时.bin";
    EXPECT_EQ(same, 1);
    json versions =
        c->call("/api/file/version-list.jf", {{"fileId", replies[0]["data"]["fileId"]}});
    EXPECT_EQ(versions["data"].size(), 2u);
    EXPECT_EQ(countFiles(server->dataDir() + "/blobs/tmp"), 0u);
}

TEST_F(Transfer, ClientThatDisconnectsMidUploadLeavesNothing)
{
    const std::string tmp = server->dataDir() + "/blobs/tmp";
    const size_t blobsBefore = countFiles(server->dataDir() + "/blobs");
    // Cut before any byte of the file, within the first buffer, and once full
    // buffers go through the hashing and writing threads.
    for (size_t sent : {size_t(0), size_t(100) << 10, size_t(5) << 20}) {
        SCOPED_TRACE("disconnected after " + std::to_string(sent) + " bytes of the file");
        std::string head = multipartHead(c->token, rd, "断开.bin");
        const size_t declared = head.size() + (16u << 20) + multipartTail().size();
        RawConnection conn(server->port());
        ASSERT_TRUE(conn.connected());
        ASSERT_TRUE(conn.send("POST /api/file/upload-docfile.jf HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                              "Content-Type: multipart/form-data; boundary=" +
                              std::string(boundary) +
                              "\r\nContent-Length: " + std::to_string(declared) + "\r\n\r\n" +
                              head + std::string(sent, 'q')));
        // The server has begun storing the file before the client goes away.
        ASSERT_TRUE(waitFor([&] { return countFiles(tmp) == 1; })) << "no temporary file appeared";
        conn.close();
        // The server notices the end of the connection and drops its
        // temporary file; a rename into the store would show in the count.
        ASSERT_TRUE(waitFor([&] { return countFiles(tmp) == 0; })) << "the temporary file stayed";
        EXPECT_EQ(countFiles(server->dataDir() + "/blobs"), blobsBefore);
        EXPECT_TRUE(c->find(rd, "断开.bin").is_null());
    }
    // The server still works.
    EXPECT_EQ(c->list(rd)["code"], 0);
}

TEST_F(Transfer, DeletingTheLastUseOfABlobRemovesItButSharedContentStays)
{
    json a = c->upload("/api/file/upload-docfile.jf", {{"pid", rd}, {"uploadType", "2"}}, "a.txt",
                       "shared bytes");
    json b = c->upload("/api/file/upload-docfile.jf", {{"pid", rd}, {"uploadType", "2"}}, "b.txt",
                       "shared bytes");
    std::string md5 = a["data"]["md5"];
    std::string blob =
        server->dataDir() + "/blobs/" + md5.substr(0, 2) + "/" + md5.substr(2, 2) + "/" + md5;
    ASSERT_TRUE(fs::exists(blob));
    ASSERT_EQ(c->call("/api/file/delete.jf", {{"fileIds", a["data"]["fileId"]}})["code"], 0);
    EXPECT_TRUE(fs::exists(blob));
    EXPECT_EQ(c->download("/api/file/download.jf", {{"fileIds", b["data"]["fileId"]}})->body,
              "shared bytes");
    ASSERT_EQ(c->call("/api/file/delete.jf", {{"fileIds", b["data"]["fileId"]}})["code"], 0);
    EXPECT_FALSE(fs::exists(blob));
}

TEST_F(Transfer, ContentsLeftByAStopDuringADeleteGoAtTheNextStart)
{
    std::string blobs = server->dataDir() + "/blobs/";
    auto blobOf = [&](const json &reply) {
        std::string md5 = reply["data"]["md5"];
        return blobs + md5.substr(0, 2) + "/" + md5.substr(2, 2) + "/" + md5;
    };
    std::string folder =
        c->call("/api/file/save-fold.jf", {{"parentId", rd}, {"name", "大删除"}})["fileId"];
    std::vector<std::string> gone;
    for (int i = 0; i < 3; ++i)
        gone.push_back(
            blobOf(c->upload("/api/file/upload-docfile.jf", {{"pid", folder}, {"uploadType", "2"}},
                             "f" + std::to_string(i) + ".txt", "content " + std::to_string(i))));
    json kept = c->upload("/api/file/upload-docfile.jf", {{"pid", rd}, {"uploadType", "2"}},
                          "留下.txt", "kept");
    // The rows go, then the server dies before it removed the contents: put
    // them back as the cut clean-up left them, with an upload's leftover.
    for (const std::string &blob : gone)
        fs::copy_file(blob, blob + ".keep");
    ASSERT_EQ(c->call("/api/file/delete.jf", {{"fileIds", folder}})["code"], 0);
    for (const std::string &blob : gone) {
        ASSERT_FALSE(fs::exists(blob));
        fs::rename(blob + ".keep", blob);
    }
    std::ofstream(blobs + "tmp/upload-cut") << "partial";
    size_t files = countFiles(blobs);
    kill(server->pid(), SIGKILL);
    server->stop();

    ServerProcess again(false, server->dataDir());
    // The sweep runs beside serving.
    for (const std::string &blob : gone)
        EXPECT_TRUE(waitFor([&] { return !fs::exists(blob); })) << blob;
    EXPECT_EQ(countFiles(blobs + "tmp"), 0u);
    // Nothing else went: every other content has its version.
    EXPECT_EQ(countFiles(blobs), files - gone.size() - 1);
    EXPECT_TRUE(fs::exists(blobOf(kept)));
    ApiClient after(again.port());
    ASSERT_EQ(after.login("zhangsan", "123456")["code"], 0);
    EXPECT_EQ(after.download("/api/file/download.jf", {{"fileIds", kept["data"]["fileId"]}})->body,
              "kept");
}
