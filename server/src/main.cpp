// folvane-server: the reference document server of the Folvane client.

#include "folvaneversion.h"
#include "http/apiserver.h"
#include "seed/demoseed.h"
#include "service/accountservice.h"
#include "service/deskservice.h"
#include "service/fileservice.h"
#include "service/linkservice.h"
#include "service/searchservice.h"
#include "service/shareservice.h"
#include "store/blobstore.h"
#include "store/sessionstore.h"
#include "store/store.h"

#include <sodium.h>

#include <malloc.h>
#include <sys/stat.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>
#include <vector>

namespace {

const char *const usage =
    "Usage: folvane-server [--config FILE] --data DIR --listen HOST:PORT [--seed demo]\n"
    "                      [--tls-cert FILE --tls-key FILE] [--header-seconds N]\n"
    "\n"
    "The reference document server of the Folvane desktop client.\n"
    "\n"
    "Options:\n"
    "  --config FILE       read options from FILE, one \"key = value\" a line\n"
    "                      (keys: listen, data, tls-cert, tls-key; \"#\" starts a\n"
    "                      comment). Options on the command line win.\n"
    "  --data DIR          data folder: DIR/folvane.db (SQLite), DIR/sessions.db\n"
    "                      (sign-in tokens) and DIR/blobs/ (file contents by MD5).\n"
    "                      Created when missing.\n"
    "  --listen HOST:PORT  address to serve on, for example 127.0.0.1:8080. Port 0\n"
    "                      picks a free port. Default 127.0.0.1:8080.\n"
    "  --seed demo         on an empty data folder, build the demo data set (users,\n"
    "                      groups, a library tree, net disks, announcements,\n"
    "                      favourites, shares and publications) and print the\n"
    "                      demo accounts to standard error; a folder that already\n"
    "                      has data is left as it is.\n"
    "  --tls-cert FILE     serve HTTPS (TLS 1.2 and 1.3 only) instead of plain HTTP,\n"
    "                      with this PEM certificate: the server's certificate\n"
    "                      first, then the intermediate CA certificates.\n"
    "  --tls-key FILE      the PEM private key of that certificate (unencrypted;\n"
    "                      keep it readable by the server's user alone).\n"
    "  --header-seconds N  a request's line and headers must arrive within N\n"
    "                      seconds of its first byte (over HTTPS the first\n"
    "                      request's within N seconds of the connection, the\n"
    "                      handshake included). Default 10.\n"
    "  --help              show this text.\n"
    "  --version           print the version.\n"
    "\n"
    "Once it accepts connections the server prints one line to standard output:\n"
    "  listening on HOST:PORT\n"
    "SIGINT and SIGTERM stop it cleanly. See server/API.md for the paths it serves.\n";

int fail(const std::string &message)
{
    std::fprintf(stderr, "folvane-server: %s\n", message.c_str());
    return 2;
}

// A configuration file's lines stand for the options of the same names, so
// they go through the same checks as the command line, which follows them
// and so overrides them.
bool readConfig(const std::string &path, std::vector<std::string> &args, std::string &error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    const auto trim = [](const std::string &text) {
        const size_t first = text.find_first_not_of(" \t\r");
        if (first == std::string::npos)
            return std::string();
        return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
    };
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        const std::string where = path + ":" + std::to_string(number) + ": ";
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            error = where + "expected key = value";
            return false;
        }
        const std::string key = trim(line.substr(0, equals));
        const std::string value = trim(line.substr(equals + 1));
        if (key != "listen" && key != "data" && key != "tls-cert" && key != "tls-key") {
            error = where + "unknown key " + key;
            return false;
        }
        if (value.empty()) {
            error = where + key + " has no value";
            return false;
        }
        args.push_back("--" + key);
        args.push_back(value);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::string dataDir, listen = "127.0.0.1:8080", seed, tlsCert, tlsKey;
    HttpServer::Options options = ApiServer::defaultOptions();
    std::vector<std::string> args, commandLine(argv + 1, argv + argc);
    for (size_t i = 0; i < commandLine.size(); ++i) {
        if (commandLine[i] != "--config")
            continue;
        std::string error;
        if (i + 1 >= commandLine.size())
            return fail("--config needs a file");
        if (!readConfig(commandLine[i + 1], args, error))
            return fail(error);
        commandLine.erase(commandLine.begin() + i, commandLine.begin() + i + 2);
        break;
    }
    args.insert(args.end(), commandLine.begin(), commandLine.end());
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("folvane-server %s\n", FOLVANE_VERSION);
            return 0;
        } else if (arg == "--data") {
            if (!value(dataDir))
                return fail("--data needs a folder");
        } else if (arg == "--listen") {
            if (!value(listen))
                return fail("--listen needs HOST:PORT");
        } else if (arg == "--tls-cert") {
            if (!value(tlsCert))
                return fail("--tls-cert needs a file");
        } else if (arg == "--tls-key") {
            if (!value(tlsKey))
                return fail("--tls-key needs a file");
        } else if (arg == "--header-seconds") {
            std::string seconds;
            if (!value(seconds) || seconds.empty() ||
                seconds.find_first_not_of("0123456789") != std::string::npos ||
                seconds.size() > 5 || std::stoi(seconds) < 1)
                return fail("--header-seconds needs a number of seconds (1 or more)");
            options.headerSeconds = std::stoi(seconds);
        } else if (arg == "--seed") {
            if (!value(seed) || seed != "demo")
                return fail("--seed knows only \"demo\"");
        } else {
            std::fputs(usage, stderr);
            return fail("unknown argument " + arg);
        }
    }
    if (dataDir.empty()) {
        std::fputs(usage, stderr);
        return fail("--data is required");
    }
    size_t colon = listen.rfind(':');
    if (colon == std::string::npos)
        return fail("--listen needs HOST:PORT");
    std::string host = listen.substr(0, colon);
    int port = -1;
    try {
        port = std::stoi(listen.substr(colon + 1));
    } catch (...) {
    }
    if (host.empty() || port < 0 || port > 65535)
        return fail("bad --listen value " + listen);
    if (tlsCert.empty() != tlsKey.empty())
        return fail("--tls-cert and --tls-key go together");

    if (sodium_init() < 0)
        return fail("libsodium cannot start");

    // Signals go to one thread that stops the server; the request threads
    // inherit the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        // The data folder holds every user's files and the account hashes:
        // whatever the server creates there is its own user's alone, and so
        // is the folder, also one made by an earlier version.
        ::umask(077);
        std::error_code ec;
        std::filesystem::create_directories(dataDir, ec);
        if (!ec)
            std::filesystem::permissions(dataDir, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, ec);
        if (ec)
            return fail("cannot create " + dataDir + ": " + ec.message());
        Store store(dataDir + "/folvane.db");
        BlobStore blobs(dataDir + "/blobs");
        if (seed == "demo")
            DemoSeed(store, blobs).run(std::cerr);

        SearchService search(store, blobs);
        search.ensureIndexed();
        // Seeding or a first indexing may have left a large write-ahead log and
        // freed memory behind; neither should weigh on serving.
        store.database().exec("PRAGMA wal_checkpoint(TRUNCATE)");
        malloc_trim(0);

        SessionStore sessions(dataDir + "/sessions.db", store);
        AccountService accounts(store, sessions);
        FileService files(store, blobs, search);
        ShareService shares(store, files);
        DeskService desk(store, files);
        LinkService links(store, files, accounts);
        ApiServer server(Services{accounts, files, shares, desk, links, search, blobs}, options);
        std::string tlsProblem;
        if (!tlsCert.empty() && !server.useTls(tlsCert, tlsKey, tlsProblem))
            return fail(tlsProblem);
        int bound = server.bind(host, port);
        if (bound < 0)
            return fail("cannot listen on " + listen);

        std::thread stopper([&] {
            int signal = 0;
            sigwait(&stopSignals, &signal);
            server.stop();
        });
        // Contents that a stop (even kill -9) left without a version, a
        // delete's clean-up cut short or an upload that never committed, go
        // while the server already serves: a large library starts as fast.
        std::atomic<bool> stopSweep{false};
        std::thread sweeper([&] {
            try {
                if (size_t swept = files.sweepContents(stopSweep))
                    std::fprintf(stderr,
                                 "folvane-server: removed %zu stored contents no longer in use\n",
                                 swept);
            } catch (const std::exception &e) {
                std::fprintf(stderr, "folvane-server: sweep of stored contents: %s\n", e.what());
            }
        });
        std::printf("listening on %s:%d\n", host.c_str(), bound);
        std::fflush(stdout);
        bool ok = server.run();
        stopSweep = true;
        sweeper.join();
        // The server may also end without a signal; wake the waiting thread.
        pthread_kill(stopper.native_handle(), SIGTERM);
        stopper.join();
        return ok ? 0 : 1;
    } catch (const std::exception &e) {
        return fail(e.what());
    }
}
