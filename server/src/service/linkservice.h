#pragma once

#include "service/fileservice.h"
#include "service/guessguard.h"
#include "service/session.h"
#include "store/records.h"

#include <string>
#include <vector>

class AccountService;
class BlobWriter;
class Store;

// The form of a new external link, as the client sends it.
struct LinkRequest
{
    std::string fileIds;
    std::string linkType; // "1" anonymous, "2" with password
    std::string maxVisit; // 0: no limit
    std::string pwd;
    std::string linkAuth;   // "1" preview, "2" download, "3" upload, joined with ","
    std::string linkExpiry; // "yyyy-MM-dd", the last day the link works
    std::string desp;
};

// External links: a random code under /link/ that lets anybody with the
// address (and the password, when it has one) see the linked files and
// preview, download or upload as the link allows, until its expiry day has
// passed or its visits are used up. Each page view, download and upload is a
// visit. Passwords are kept only as hashes; a browser that gave the right one
// carries a key derived from the hash in a cookie.
class LinkService
{
public:
    LinkService(Store &store, FileService &files, AccountService &accounts,
                GuessGuard::Options guesses = GuessGuard::defaults());

    // Creates a link; returns its path ("/link/<code>").
    std::string add(const Session &s, const LinkRequest &request);

    // The link of a code, refused when unknown or expired.
    Link open(const std::string &code);
    // Whether `password` opens the link (always for a link without one).
    // Wrong ones are counted per link and per `address`; while either must
    // wait, the attempt is refused with CodeTooMany before any check.
    bool passwordMatches(const Link &link, const std::string &password, const std::string &address);
    // The cookie value that proves the password was given.
    std::string accessKey(const Link &link) const;
    bool unlocked(const Link &link, const std::string &cookieKey) const;
    // Counts a visit; refused when the limit is used up.
    void visit(const Link &link);

    // The files the link shows: linked files and the files directly inside
    // linked folders.
    std::vector<Item> files(const Link &link);
    // The folder uploads go to (the first linked folder), if any.
    std::optional<Item> uploadFolder(const Link &link);
    static bool allows(const Link &link, char right);

    FileRef download(const Link &link, const std::string &fileId);
    // Stores an upload under a free name in the upload folder, as the link's creator.
    std::string upload(const Link &link, const std::string &fileName, BlobWriter &body);

private:
    Store &store;
    FileService &fileRules;
    AccountService &accounts;
    GuessGuard guesses;
};
