#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct evp_md_ctx_st EVP_MD_CTX;

// Receives one uploaded body chunk by chunk: writes it to a temporary file of
// the blob store and computes its MD5 on the way, so a body of any size costs
// a few fixed buffers. Once a body passes one buffer, the MD5 runs on a
// thread of its own over the buffers already written, so hashing overlaps
// with reading and writing the next ones. The temporary file is removed on
// destruction unless the blob store adopted it, which is what keeps an
// aborted upload from leaving a half blob behind.
class BlobWriter
{
public:
    explicit BlobWriter(const std::string &tmpDir);
    ~BlobWriter();
    BlobWriter(const BlobWriter &) = delete;
    BlobWriter &operator=(const BlobWriter &) = delete;

    bool write(const char *data, size_t length);
    // Flushes to disk and fixes md5() and size(); false on a write error.
    bool finish();

    const std::string &md5() const { return digest; }
    int64_t size() const { return total; }
    const std::string &tempPath() const { return path; }
    void release() { adopted = true; }

private:
    class Hasher;

    // Writes the filled buffer to the file and has it hashed.
    bool flush();

    struct CtxFree
    {
        void operator()(EVP_MD_CTX *ctx) const;
    };
    std::string path;
    int fd = -1;
    std::unique_ptr<EVP_MD_CTX, CtxFree> ctx;
    std::unique_ptr<Hasher> hasher;
    std::vector<std::vector<char>> buffers; // a ring: one filling, the others being hashed
    size_t current = 0;
    size_t used = 0;
    int64_t total = 0;
    int64_t unsynced = 0; // bytes written since the last request to start writing back
    int64_t synced = 0;
    std::string digest;
    bool failed = false;
    bool adopted = false;
};
