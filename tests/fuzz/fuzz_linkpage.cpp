// The external link pages (/link/<code>), the only pages people outside the
// company see: a request as the server has read its head (method, target,
// headers) and then its body in pieces goes through the server's own routes,
// form reader and link page, against a real store in a temporary folder with
// five links: one with a password over a folder (preview, download, upload),
// one without over two files (preview only), one whose single visit is used
// up, one that has expired, and one without password that only takes
// uploads into the folder. Items have fixed ids, so the corpus can name them. The input is the
// method line, the target line, header lines, an empty line and the body.
//
// What the answer must never do: carry a line break in a header, or bring
// markup from the request or the store into a page.

#include "serverfuzz.h"

#include "http/formparser.h"
#include "http/httpserver.h"
#include "http/linkpage.h"
#include "service/accountservice.h"
#include "service/fileservice.h"
#include "service/helpers.h"
#include "service/linkservice.h"
#include "service/searchservice.h"
#include "store/blobstore.h"
#include "store/sessionstore.h"
#include "store/store.h"

#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <set>
#include <string>

namespace {

// The link's password, hashed at the smallest cost libsodium allows: the
// server's own cost (64 MiB a check) would leave the fuzzer a few checks a
// second.
std::string cheapHash(const std::string &password)
{
    char hash[crypto_pwhash_STRBYTES];
    check(crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_MIN,
                            crypto_pwhash_MEMLIMIT_MIN) == 0,
          "a password hash");
    return hash;
}

// Wrong passwords never make an attempt wait: every input meets the same
// link page, whatever the inputs before it guessed.
GuessGuard::Options noWaiting()
{
    GuessGuard::Options options = GuessGuard::defaults();
    options.perTarget.failuresBeforeWait = 1 << 30;
    options.perAddress.failuresBeforeWait = 1 << 30;
    return options;
}

struct Fixture
{
    std::string dir;
    Store store;
    SessionStore sessions;
    BlobStore blobs;
    SearchService search;
    AccountService accounts;
    FileService files;
    LinkService links;
    HttpServer http;
    LinkPage page;
    std::string uploadFolder;
    std::set<std::string> seeded;

    explicit Fixture(const std::string &dir)
        : dir(dir), store(dir + "/folvane.db"), sessions(dir + "/sessions.db", store),
          blobs(dir + "/blobs"), search(store, blobs), accounts(store, sessions),
          files(store, blobs, search), links(store, files, accounts, noWaiting()),
          http(HttpServer::Options{}), page(links, blobs)
    {
        const int64_t now = helpers::nowMs();
        store.insertGroup(Group{AccountService::organisationId, "组织架构", std::string(), 0});
        User owner;
        owner.id = helpers::newId();
        owner.account = "owner";
        owner.nickname = "<b>owner</b>";
        owner.passwordHash = cheapHash("owner-password");
        owner.isAdmin = true;
        owner.createdAt = now;
        store.insertUser(owner);
        store.addMember(owner.id, AccountService::organisationId);

        uploadFolder = item("1000000000000001", owner.id, "0", 1, "共享<文件夹>", "", now);
        item("1000000000000002", owner.id, uploadFolder, 2, "报告<script>.txt", "plain", now);
        item("1000000000000003", owner.id, uploadFolder, 2, "图.png", "\x89PNG\r\n", now);
        const std::string docx =
            item("1000000000000004", owner.id, "0", 2, "合同.docx", "PK\x03\x04", now);
        const std::string note = item("1000000000000005", owner.id, "0", 2, "note.md", "#", now);
        for (const Item &child : store.children("lib", uploadFolder))
            seeded.insert(child.id);

        link("0123456789abcdef0123456789abcdef", owner.id, 2, "1,2,3", 0, now + 86400000,
             {uploadFolder});
        link("fedcba9876543210fedcba9876543210", owner.id, 1, "1", 0, now + 86400000, {docx, note});
        link("00000000000000000000000000000001", owner.id, 1, "1,2", 1, now + 86400000, {note});
        link("00000000000000000000000000000002", owner.id, 1, "1,2", 0, now - 1000, {note});
        link("00000000000000000000000000000003", owner.id, 1, "3", 0, now + 86400000,
             {uploadFolder});
        page.install(http);
    }

    std::string item(const std::string &id, const std::string &owner, const std::string &parent,
                     int kind, const std::string &name, const std::string &content, int64_t now)
    {
        Item it;
        it.id = id;
        it.space = "lib";
        it.parentId = parent;
        it.kind = kind;
        it.name = name;
        it.ext = kind == 2 ? helpers::extensionOf(name) : std::string();
        it.creatorId = owner;
        it.createdAt = it.modifiedAt = now;
        it.currentVersion = kind == 2 ? 1 : 0;
        store.insertItem(it);
        if (kind == 2) {
            Version v;
            v.id = helpers::newId();
            v.itemId = it.id;
            v.number = 1;
            v.md5 = blobs.put(content);
            v.size = static_cast<int64_t>(content.size());
            v.creatorId = owner;
            v.createdAt = now;
            store.insertVersion(v);
        }
        return it.id;
    }

    void link(const std::string &code, const std::string &owner, int type, const char *rights,
              int64_t maxVisit, int64_t expiresAt, const std::vector<std::string> &items)
    {
        Link l;
        l.id = helpers::newId();
        l.code = code;
        l.creatorId = owner;
        l.type = type;
        l.passwordHash = type == 2 ? cheapHash("pass word") : std::string();
        l.maxVisit = maxVisit;
        l.visits = maxVisit;
        l.rights = rights;
        l.description = "说明 <i>markup</i> & more";
        l.createdAt = helpers::nowMs();
        l.expiresAt = expiresAt;
        store.insertLink(l);
        int position = 0;
        for (const std::string &id : items)
            store.addLinkItem(l.id, id, position++);
    }

    // Uploads of earlier inputs are taken out again, so every input meets the
    // same folder.
    void forgetUploads()
    {
        for (const Item &child : store.children("lib", uploadFolder))
            if (!seeded.count(child.id))
                store.deleteItem(child.id);
    }
};

Fixture &fixture()
{
    static FuzzFolder folder("folvane-fuzz-link");
    static Fixture f(folder.path());
    return f;
}

std::string lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    check(sodium_init() >= 0, "libsodium");
    fixture();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fixture &f = fixture();
    const std::string input(reinterpret_cast<const char *>(data), size);
    size_t at = 0;
    HttpRequest request;
    request.method = inputLine(input, at);
    request.target = inputLine(input, at);
    for (std::string header = inputLine(input, at); !header.empty();
         header = inputLine(input, at)) {
        size_t colon = header.find(':');
        if (colon == std::string::npos)
            break;
        size_t value = header.find_first_not_of(' ', colon + 1);
        request.headers.emplace_back(header.substr(0, colon), value == std::string::npos
                                                                  ? std::string()
                                                                  : header.substr(value));
    }
    splitTarget(request.target, request.path, request.query);
    const std::string body = input.substr(at);

    std::unique_ptr<HttpExchange> exchange = f.http.exchangeFor(request);
    bool complete = true;
    for (size_t piece = 0; piece < body.size() && complete; piece += 7)
        complete = exchange->body(body.data() + piece, std::min<size_t>(7, body.size() - piece));
    HttpResponse response;
    exchange->respond(response, complete);
    exchange.reset();
    f.forgetUploads();

    check(response.status >= 200 && response.status < 600, "a status");
    for (const auto &header : response.headers)
        check(header.first.find_first_of("\r\n") == std::string::npos &&
                  header.second.find_first_of("\r\n") == std::string::npos,
              "no line break in a header");
    if (response.contentType.rfind("text/html", 0) == 0) {
        const std::string page = lower(response.body);
        for (const char *tag : {"<script", "<b>", "<i>", "<img", "<iframe", "<svg"})
            check(page.find(tag) == std::string::npos, "no markup from data in a page");
    }
    return 0;
}
