// folvane-server under load, each figure from several alternating runs
// (min / median / max), each printed with its ratio and its goal:
// - keep-alive requests against a new connection per request;
// - 64 clients connecting at once (refused connections);
// - a sign-in and a listing while 200 idle connections, 50 slowloris
//   connections and 16 slow transfers (100 KB/s) are held open; the time
//   until a never-ending header is closed; a slow upload that outlasts every
//   timeout;
// - a 100-entry folder listed in a library of 1,000 and of 100,000 items;
//   a 10,000-entry folder against SQLite reading the same rows; the server's
//   peak memory around eight such listings at once;
// - a net disk listing with few and with ~100,000 grants in the system;
// - 8 clients listing against 1;
// - other users' requests while a folder of 10,000 items is copied and deleted.
// Usage: load_bench PATH/TO/folvane-server [scenario ...]; scenarios are
// keepalive, burst, hostile, listing, readers, longops (all by default).

#include "generatedlibrary.h"
#include "rawconnection.h"
#include "serverlauncher.h"
#include "serverprocess.h"

#include <nlohmann/json.hpp>
#include <sqlite3.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

const int rounds = 5;
std::string serverBin;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Figures
{
    std::vector<double> values;
    double min() const { return *std::min_element(values.begin(), values.end()); }
    double max() const { return *std::max_element(values.begin(), values.end()); }
    double median() const
    {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
};

void print(const char *what, const Figures &f, const char *unit)
{
    std::printf("  %-52s %10.2f / %10.2f / %10.2f %s\n", what, f.min(), f.median(), f.max(), unit);
}

void ratio(const char *what, double value, const char *goal)
{
    std::printf("  %-52s %10.2f   (goal %s)\n", what, value, goal);
}

// A running server with the demo data, or on a prepared data folder.
struct Server
{
    explicit Server(const std::string &dataDir = std::string())
    {
        if (dataDir.empty()) {
            dir = std::make_unique<TempDir>();
            data = dir->path();
        } else {
            data = dataDir;
        }
        if (!launcher.start(serverBin, data, "demo"))
            throw std::runtime_error("server did not start: " + launcher.error());
    }
    int port() const { return launcher.port(); }
    long peakKiB() const { return launcher.peakRssKiB(); }
    // Peak memory from now on: the kernel resets the high-water mark.
    void resetPeak() const
    {
        std::ofstream("/proc/" + std::to_string(launcher.pid()) + "/clear_refs") << "5";
    }

    std::unique_ptr<TempDir> dir;
    std::string data;
    ServerLauncher launcher;
};

std::string login(int port, const std::string &account, const std::string &password)
{
    RawConnection c(port);
    std::string head, body;
    if (!c.send(RawConnection::formPost("/api/user/login.jf",
                                        "username=" + account + "&password=" + password)) ||
        !c.readResponse(head, body, 60000))
        return std::string();
    json reply = json::parse(body, nullptr, false);
    return reply.is_object() && reply["code"] == 0 ? reply["data"]["token"].get<std::string>()
                                                   : std::string();
}

// One request on a connection; true when a 200 answer came.
bool ask(RawConnection &c, const std::string &request, std::string *bodyOut = nullptr,
         int timeoutMs = 60000)
{
    std::string head, body;
    if (!c.send(request) || !c.readResponse(head, body, timeoutMs))
        return false;
    if (bodyOut)
        *bodyOut = std::move(body);
    return head.compare(0, 12, "HTTP/1.1 200") == 0;
}

// One request on a kept-alive connection; a connection the server closed is
// opened again, as a client does.
bool askKept(std::unique_ptr<RawConnection> &c, int port, const std::string &request,
             std::string *bodyOut = nullptr)
{
    if (c && ask(*c, request, bodyOut))
        return true;
    c = std::make_unique<RawConnection>(port);
    return ask(*c, request, bodyOut);
}

std::string listing(const std::string &token, const std::string &parent, bool netDisk = false)
{
    return RawConnection::formPost(netDisk ? "/api/netdisk/list.jf" : "/api/file/list-file.jf",
                                   "token=" + token + "&parentId=" + parent);
}

// Requests per second of `count` requests, on one connection or each on its own.
double requestRate(int port, const std::string &request, int count, bool keepAlive)
{
    auto start = Clock::now();
    std::unique_ptr<RawConnection> c;
    for (int i = 0; i < count; ++i) {
        if (!keepAlive)
            c.reset();
        if (!askKept(c, port, request))
            throw std::runtime_error("request failed");
    }
    return count / secondsSince(start);
}

void keepAlive()
{
    std::printf("\nkeep-alive (500 small requests; requests/s)\n");
    Server server;
    std::string token = login(server.port(), "zhangsan", "123456");
    std::string request = RawConnection::formPost("/api/sys/notice-list.jf", "token=" + token);
    Figures kept, fresh;
    for (int r = 0; r < rounds; ++r) {
        kept.values.push_back(requestRate(server.port(), request, 500, true));
        fresh.values.push_back(requestRate(server.port(), request, 500, false));
    }
    print("one kept-alive connection", kept, "req/s");
    print("a new connection per request", fresh, "req/s");
    ratio("kept-alive / new connections (medians)", kept.median() / fresh.median(), ">= 1");
}

void burst()
{
    std::printf("\n64 clients connecting at once\n");
    Server server;
    std::string token = login(server.port(), "zhangsan", "123456");
    std::string request = RawConnection::formPost("/api/sys/notice-list.jf", "token=" + token);
    Figures failed, seconds;
    for (int r = 0; r < rounds; ++r) {
        std::atomic<int> ready{0}, failures{0};
        std::atomic<bool> go{false};
        std::vector<std::thread> clients;
        for (int i = 0; i < 64; ++i)
            clients.emplace_back([&] {
                ++ready;
                while (!go)
                    std::this_thread::yield();
                RawConnection c(server.port());
                if (!c.connected() || !ask(c, request, nullptr, 10000))
                    ++failures;
            });
        while (ready < 64)
            std::this_thread::yield();
        auto start = Clock::now();
        go = true;
        for (auto &t : clients)
            t.join();
        seconds.values.push_back(secondsSince(start));
        failed.values.push_back(failures);
    }
    print("refused or failed connections", failed, "");
    print("time until all 64 were answered", seconds, "s");
}

void hostile()
{
    std::printf("\nhostile connections: 200 idle, 50 slowloris, 16 slow transfers (100 KB/s)\n");
    Server server;
    std::string token = login(server.port(), "zhangsan", "123456");
    // A 4 MiB file to download slowly.
    std::string content(4 << 20, 'd');
    std::string fileId;
    {
        RawConnection c(server.port());
        std::string part = "--b\r\nContent-Disposition: form-data; name=\"token\"\r\n\r\n" + token +
                           "\r\n--b\r\nContent-Disposition: form-data; name=\"file\"; "
                           "filename=\"slow.bin\"\r\n\r\n" +
                           content + "\r\n--b--\r\n";
        std::string body;
        ask(c,
            "POST /api/netdisk/upload.jf HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; "
            "boundary=b\r\nContent-Length: " +
                std::to_string(part.size()) + "\r\n\r\n" + part,
            &body);
        fileId = json::parse(body)["data"]["fileId"];
    }
    std::atomic<bool> stop{false};
    std::vector<std::unique_ptr<RawConnection>> idle;
    for (int i = 0; i < 200; ++i)
        idle.push_back(std::make_unique<RawConnection>(server.port()));
    std::vector<std::thread> workers;
    // Slowloris: a header byte every 10 seconds.
    std::vector<std::unique_ptr<RawConnection>> loris;
    for (int i = 0; i < 50; ++i) {
        loris.push_back(std::make_unique<RawConnection>(server.port()));
        loris.back()->send("P");
    }
    // Slow uploads and downloads at 100 KB/s.
    std::atomic<int> slowUploadsDone{0};
    for (int i = 0; i < 8; ++i)
        workers.emplace_back([&, i] {
            RawConnection c(server.port());
            std::string head = "--b\r\nContent-Disposition: form-data; name=\"token\"\r\n\r\n" +
                               token +
                               "\r\n--b\r\nContent-Disposition: form-data; name=\"file\"; "
                               "filename=\"up" +
                               std::to_string(i) + ".bin\"\r\n\r\n";
            // The first one outlasts every timeout of the server: 3.5 MB.
            size_t total = i == 0 ? 3500000 : 2000000;
            std::string tail = "\r\n--b--\r\n";
            c.send("POST /api/netdisk/upload.jf HTTP/1.1\r\nHost: x\r\nContent-Type: "
                   "multipart/form-data; boundary=b\r\nContent-Length: " +
                   std::to_string(head.size() + total + tail.size()) + "\r\n\r\n" + head);
            std::string piece(10000, 'u');
            for (size_t sent = 0; sent < total && (!stop || i == 0); sent += piece.size()) {
                if (!c.send(piece))
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            std::string h, b;
            if (!stop || i == 0) {
                c.send(tail);
                if (c.readResponse(h, b, 30000) && json::parse(b, nullptr, false)["code"] == 0)
                    ++slowUploadsDone;
            }
        });
    for (int i = 0; i < 8; ++i)
        workers.emplace_back([&] {
            RawConnection c(server.port());
            int small = 4096;
            setsockopt(c.socket(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
            c.send(RawConnection::formPost("/api/netdisk/download.jf",
                                           "token=" + token + "&fileIds=" + fileId));
            char buf[10000];
            while (!stop && recv(c.socket(), buf, sizeof buf, 0) > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Figures answered;
    for (int r = 0; r < rounds; ++r) {
        auto start = Clock::now();
        std::string other = login(server.port(), "lisi", "123456");
        RawConnection c(server.port());
        bool ok = !other.empty() && ask(c, listing(other, "0"), nullptr, 60000);
        answered.values.push_back(ok ? secondsSince(start) : 999);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    }
    print("sign-in and listing of another user", answered, "s (goal < 1)");
    // A header that never ends.
    RawConnection endless(server.port());
    auto start = Clock::now();
    endless.send("G");
    bool closed = false;
    while (!closed && secondsSince(start) < 40) {
        endless.send("E");
        closed = endless.closedByServer(1000);
    }
    std::printf("  %-52s %10.2f s (goal about 10)\n",
                "a header sent a byte a second is closed after",
                closed ? secondsSince(start) : -1.0);
    int lorisClosed = 0;
    for (auto &l : loris)
        lorisClosed += l->closedByServer(0);
    std::printf("  %-52s %10d of 50\n", "slowloris connections closed by then", lorisClosed);
    stop = true;
    for (auto &t : workers)
        t.join();
    std::printf("  %-52s %10s\n", "a 35 s upload at 100 KB/s completes",
                slowUploadsDone >= 1 ? "yes" : "no");
}

// Rows of a folder as SQLite alone reads them: the server's children query.
double sqliteRead(const std::string &db, const std::string &parent, int repeat)
{
    sqlite3 *raw = nullptr;
    sqlite3_open_v2(db.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *q = nullptr;
    sqlite3_prepare_v2(
        raw,
        "SELECT i.id, i.space, i.parent_id, i.kind, i.name, i.ext, i.creator_id, i.created_at, "
        "i.modified_at, i.current_version, COALESCE(v.size, 0), COALESCE(v.md5, ''), "
        "COALESCE(v.memo, ''), COALESCE(u.nickname, '') FROM items i LEFT JOIN versions v ON "
        "v.item_id = i.id AND v.number = i.current_version LEFT JOIN users u ON u.id = "
        "i.creator_id WHERE i.space = 'lib' AND i.parent_id = ? ORDER BY i.kind, i.name",
        -1, &q, nullptr);
    sqlite3_bind_text(q, 1, parent.c_str(), -1, SQLITE_TRANSIENT);
    size_t bytes = 0;
    auto start = Clock::now();
    for (int r = 0; r < repeat; ++r) {
        while (sqlite3_step(q) == SQLITE_ROW)
            for (int c = 0; c < 14; ++c) {
                sqlite3_column_text(q, c);
                bytes += static_cast<size_t>(sqlite3_column_bytes(q, c));
            }
        sqlite3_reset(q);
    }
    double seconds = secondsSince(start) / repeat;
    sqlite3_finalize(q);
    sqlite3_close(raw);
    return bytes > 0 ? seconds : -1;
}

double listTime(int port, const std::string &request, int repeat)
{
    std::unique_ptr<RawConnection> c;
    askKept(c, port, request); // warm
    auto start = Clock::now();
    for (int r = 0; r < repeat; ++r)
        if (!askKept(c, port, request))
            throw std::runtime_error("listing failed");
    return secondsSince(start) / repeat;
}

// Seconds per request of two request streams, each on its own kept-alive
// connection, alternating request by request so that both see the same
// machine.
std::pair<double, double> listTimes(int portA, const std::string &a, int portB,
                                    const std::string &b, int repeat)
{
    std::unique_ptr<RawConnection> ca, cb;
    askKept(ca, portA, a); // warm
    askKept(cb, portB, b);
    double ta = 0, tb = 0;
    for (int r = 0; r < repeat; ++r) {
        auto start = Clock::now();
        if (!askKept(ca, portA, a))
            throw std::runtime_error("listing failed");
        ta += secondsSince(start);
        start = Clock::now();
        if (!askKept(cb, portB, b))
            throw std::runtime_error("listing failed");
        tb += secondsSince(start);
    }
    return {ta / repeat, tb / repeat};
}

struct Library
{
    Library(int totalItems, int wideEntries)
    {
        GeneratedLibrary::Options o;
        o.totalItems = totalItems;
        o.wideEntries = wideEntries;
        made = GeneratedLibrary::create(dir.path(), o);
        server = std::make_unique<Server>(dir.path());
        admin = login(server->port(), "admin", "admin123");
        zhangsan = login(server->port(), "zhangsan", "123456");
    }
    TempDir dir;
    GeneratedLibrary made;
    std::unique_ptr<Server> server;
    std::string admin, zhangsan;
};

void listings()
{
    std::printf("\nlistings (generating libraries of 1,000 and 100,000 items...)\n");
    Library small(1000, 100);
    Library large(100000, 10000);
    Figures hundredSmall, hundredLarge, wide, sqlite, netSmall, netLarge;
    for (int r = 0; r < rounds; ++r) {
        auto [hs, hl] =
            listTimes(small.server->port(), listing(small.admin, small.made.hundredId),
                      large.server->port(), listing(large.admin, large.made.hundredId), 200);
        hundredSmall.values.push_back(hs * 1000);
        hundredLarge.values.push_back(hl * 1000);
        auto [ns, nl] = listTimes(small.server->port(), listing(small.zhangsan, "0", true),
                                  large.server->port(), listing(large.zhangsan, "0", true), 200);
        netSmall.values.push_back(ns * 1000);
        netLarge.values.push_back(nl * 1000);
        sqlite.values.push_back(sqliteRead(large.dir.path() + "/folvane.db", large.made.wideId, 5) *
                                1000);
        wide.values.push_back(
            listTime(large.server->port(), listing(large.admin, large.made.wideId), 5) * 1000);
    }
    print("100-entry folder, library of 1,000 items", hundredSmall, "ms");
    print("100-entry folder, library of 100,000 items", hundredLarge, "ms");
    ratio("large / small (medians)", hundredLarge.median() / hundredSmall.median(), "<= 1.2");
    print("10,000-entry folder through the server", wide, "ms");
    print("10,000-entry folder, SQLite alone reading its rows", sqlite, "ms");
    ratio("server / SQLite (medians)", wide.median() / sqlite.median(), "<= 2");
    std::printf("  net disk listing with %d and %d grants of others in the system:\n",
                small.made.grants, large.made.grants);
    print("few grants", netSmall, "ms");
    print("many grants", netLarge, "ms");
    ratio("many / few (medians)", netLarge.median() / netSmall.median(), "about 1");

    Figures peak;
    large.server->resetPeak();
    long before = large.server->peakKiB();
    for (int r = 0; r < rounds; ++r) {
        large.server->resetPeak();
        std::vector<std::thread> clients;
        for (int i = 0; i < 8; ++i)
            clients.emplace_back([&] {
                std::unique_ptr<RawConnection> c;
                for (int k = 0; k < 3; ++k)
                    askKept(c, large.server->port(), listing(large.admin, large.made.wideId));
            });
        for (auto &t : clients)
            t.join();
        peak.values.push_back(large.server->peakKiB() / 1024.0);
    }
    std::printf("  %-52s %10.2f MiB\n", "server memory before the first of them", before / 1024.0);
    print("server peak memory, 8 such listings at once (x3)", peak, "MiB (goal < 200)");
}

double throughput(int port, const std::string &request, int clients, double seconds)
{
    std::atomic<long> done{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([&] {
            std::unique_ptr<RawConnection> c;
            while (!stop && askKept(c, port, request))
                ++done;
        });
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto &t : threads)
        t.join();
    return done / seconds;
}

void readers()
{
    std::printf("\nparallel readers (100-entry folder, library of 100,000 items)\n");
    Library large(100000, 100);
    std::string request = listing(large.zhangsan, large.made.hundredId);
    Figures one, eight;
    for (int r = 0; r < rounds; ++r) {
        one.values.push_back(throughput(large.server->port(), request, 1, 2));
        eight.values.push_back(throughput(large.server->port(), request, 8, 2));
    }
    print("1 client", one, "listings/s");
    print("8 clients", eight, "listings/s");
    ratio("8 / 1 (medians)", eight.median() / one.median(), ">= 1.7");
}

// The slowest answers to another user while `work` runs: a listing (a read)
// every 20 ms and a sign-in (a sign-in writes its token) every 100 ms.
struct Slowest
{
    double listing = 0;
    double signIn = 0;
};

Slowest slowestDuring(Library &lib, const std::function<void()> &work, double &workSeconds)
{
    std::atomic<bool> stop{false};
    Slowest slowest;
    std::thread reader([&] {
        std::unique_ptr<RawConnection> c;
        while (!stop) {
            auto start = Clock::now();
            askKept(c, lib.server->port(), listing(lib.zhangsan, "0"));
            slowest.listing = std::max(slowest.listing, secondsSince(start));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    std::thread writer([&] {
        while (!stop) {
            auto start = Clock::now();
            login(lib.server->port(), "lisi", "123456");
            slowest.signIn = std::max(slowest.signIn, secondsSince(start));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto start = Clock::now();
    work();
    workSeconds = secondsSince(start);
    stop = true;
    reader.join();
    writer.join();
    return slowest;
}

void longOperations()
{
    std::printf("\nlong operations: copy and delete of a folder of 10,000 items\n");
    Library lib(20000, 10000);
    Figures copy, remove;
    Figures listIdle, listCopy, listRemove, signIdle, signCopy, signRemove;
    auto note = [](const Slowest &s, Figures &list, Figures &sign) {
        list.values.push_back(s.listing * 1000);
        sign.values.push_back(s.signIn * 1000);
    };
    for (int r = 0; r < rounds; ++r) {
        double seconds = 0;
        note(slowestDuring(
                 lib, [] { std::this_thread::sleep_for(std::chrono::seconds(1)); }, seconds),
             listIdle, signIdle);
        std::string copyBody;
        note(slowestDuring(
                 lib,
                 [&] {
                     RawConnection c(lib.server->port());
                     ask(c,
                         RawConnection::formPost("/api/file/copy.jf",
                                                 "token=" + lib.admin +
                                                     "&targetId=" + lib.made.topId +
                                                     "&sourceIds=" + lib.made.wideId),
                         &copyBody, 600000);
                 },
                 seconds),
             listCopy, signCopy);
        copy.values.push_back(seconds);
        // The copy is "大文件夹(2)".
        std::string list;
        RawConnection c(lib.server->port());
        ask(c, listing(lib.admin, lib.made.topId), &list);
        std::string copied;
        const json top = json::parse(list, nullptr, false);
        for (const json &e : top["data"])
            if (e["fileName"] == "大文件夹(2)")
                copied = e["fileId"];
        if (copied.empty() || json::parse(copyBody, nullptr, false)["code"] != 0)
            throw std::runtime_error("the copy failed: " + copyBody);
        std::string deleteBody;
        note(slowestDuring(
                 lib,
                 [&] {
                     RawConnection d(lib.server->port());
                     ask(d,
                         RawConnection::formPost("/api/file/delete.jf",
                                                 "token=" + lib.admin + "&fileIds=" + copied),
                         &deleteBody, 600000);
                 },
                 seconds),
             listRemove, signRemove);
        remove.values.push_back(seconds);
        if (json::parse(deleteBody, nullptr, false)["code"] != 0)
            throw std::runtime_error("the delete failed: " + deleteBody);
    }
    print("copy", copy, "s");
    print("delete", remove, "s");
    std::printf("  another user's slowest answer:\n");
    print("listing, idle", listIdle, "ms");
    print("listing, during the copy", listCopy, "ms");
    print("listing, during the delete", listRemove, "ms");
    print("sign-in, idle", signIdle, "ms");
    print("sign-in, during the copy", signCopy, "ms");
    print("sign-in, during the delete", signRemove, "ms");
    // A sign-in writes its token outside the documents' database: beside a
    // long write it costs what it costs idle (the password check).
    ratio("sign-in during the copy / idle (medians)", signCopy.median() / signIdle.median(),
          "near 1");
    ratio("sign-in during the delete / idle (medians)", signRemove.median() / signIdle.median(),
          "near 1");
}

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc < 2) {
        std::fprintf(stderr, "usage: load_bench PATH/TO/folvane-server [scenario ...]\n");
        return 2;
    }
    serverBin = argv[1];
    std::set<std::string> chosen(argv + 2, argv + argc);
    auto wanted = [&](const char *name) { return chosen.empty() || chosen.count(name) != 0; };
    std::printf("folvane-server under load: min / median / max of %d alternating runs\n", rounds);
    try {
        if (wanted("keepalive"))
            keepAlive();
        if (wanted("burst"))
            burst();
        if (wanted("hostile"))
            hostile();
        if (wanted("listing"))
            listings();
        if (wanted("readers"))
            readers();
        if (wanted("longops"))
            longOperations();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "load_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
