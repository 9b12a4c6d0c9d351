#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct evp_md_ctx_st EVP_MD_CTX;

// Receives one uploaded body chunk by chunk: writes it to a temporary file of
// the blob store and computes its MD5 on the way, so a body of any size costs
// a few fixed buffers. A small body is hashed and written as it comes. Once a
// body passes one buffer, full buffers go to two threads of its own, one
// computing the MD5 and one writing to the file (bypassing the page cache
// where the file system allows it), while the caller fills the next buffer:
// the MD5, the one thing that cannot be avoided, sets the pace. The temporary
// file is removed on destruction unless the blob store adopted it, which is
// what keeps an aborted upload from leaving a half blob behind.
class BlobWriter
{
public:
    // `reserve`: bytes of the file system the body must leave free (for the
    // database); a body that would eat into them fails as diskFull().
    BlobWriter(const std::string &tmpDir, int64_t reserve);
    ~BlobWriter();
    BlobWriter(const BlobWriter &) = delete;
    BlobWriter &operator=(const BlobWriter &) = delete;

    bool write(const char *data, size_t length);
    // Room in the buffer being filled, `skip` bytes past what was written: a
    // caller that reads the next bytes there and passes them to write() at
    // that same place saves their copy. Null when there is no room.
    char *space(size_t skip, size_t &length);
    // Flushes to disk and fixes md5() and size(); false on a write error.
    bool finish();

    // The body failed because the file system is (nearly) full.
    bool diskFull() const { return full; }
    const std::string &md5() const { return digest; }
    int64_t size() const { return total; }
    const std::string &tempPath() const { return path; }
    void release() { adopted = true; }

private:
    class Stage;
    struct Buffer;

    // Hands the filled buffer on (or, for a small body, hashes and writes it).
    bool flush();
    bool writeOut(const char *data, size_t length);
    bool hash(const char *data, size_t length);
    bool startStages();
    bool roomForRing() const;

    struct CtxFree
    {
        void operator()(EVP_MD_CTX *ctx) const;
    };
    std::string path;
    int fd = -1;
    std::unique_ptr<EVP_MD_CTX, CtxFree> ctx;
    std::vector<std::unique_ptr<Buffer>> buffers; // a ring: one filling, the others in the stages
    std::unique_ptr<Stage> hasher;
    std::unique_ptr<Stage> writer;
    size_t current = 0;
    size_t used = 0;
    int64_t total = 0;
    int64_t written = 0;  // bytes in the file
    int64_t released = 0; // bytes of the file already dropped from the page cache
    bool direct = false;  // writes bypass the page cache
    std::string digest;
    bool failed = false;
    bool adopted = false;
    int64_t reserve;
    std::atomic<bool> full{false}; // set by the writing thread too
};
