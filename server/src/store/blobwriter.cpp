#include "store/blobwriter.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace {

const size_t bufferSize = 1 << 20;
const size_t ringSize = 4;
// The kernel is asked to start writing back every few MiB, so the final
// sync of a large body waits for its tail only.
const int64_t writeBackStep = 8 << 20;

} // namespace

// Hashes the buffers handed to it, in order, on a thread of its own.
class BlobWriter::Hasher
{
public:
    explicit Hasher(EVP_MD_CTX *ctx) : ctx(ctx), thread([this] { run(); }) {}

    ~Hasher()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            stopping = true;
        }
        changed.notify_all();
        thread.join();
    }

    // Queues a buffer; it must stay untouched until done() has counted it.
    void push(const char *data, size_t length)
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            queue.emplace_back(data, length);
            ++pushed;
        }
        changed.notify_all();
    }

    // Waits until at most `pending` pushed buffers are still being hashed;
    // false when hashing failed.
    bool waitUntil(size_t pending)
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return pushed - hashed <= pending || failed; });
        return !failed;
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            changed.wait(guard, [&] { return stopping || !queue.empty(); });
            if (queue.empty())
                return;
            auto [data, length] = queue.front();
            guard.unlock();
            bool ok = EVP_DigestUpdate(ctx, data, length) == 1;
            guard.lock();
            queue.pop_front();
            ++hashed;
            failed = failed || !ok;
            changed.notify_all();
        }
    }

    EVP_MD_CTX *ctx;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::pair<const char *, size_t>> queue;
    size_t pushed = 0;
    size_t hashed = 0;
    bool stopping = false;
    bool failed = false;
    std::thread thread;
};

void BlobWriter::CtxFree::operator()(EVP_MD_CTX *c) const
{
    EVP_MD_CTX_free(c);
}

BlobWriter::BlobWriter(const std::string &tmpDir) : ctx(EVP_MD_CTX_new())
{
    buffers.emplace_back(bufferSize);
    std::string pattern = tmpDir + "/upload-XXXXXX";
    fd = mkstemp(pattern.data());
    if (fd < 0 || !ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) {
        failed = true;
        return;
    }
    path = pattern;
}

BlobWriter::~BlobWriter()
{
    hasher.reset(); // stops hashing before the buffers go
    if (fd >= 0)
        ::close(fd);
    if (!adopted && !path.empty())
        ::unlink(path.c_str());
}

bool BlobWriter::flush()
{
    const char *data = buffers[current].data();
    size_t offset = 0;
    while (offset < used) {
        ssize_t n = ::write(fd, data + offset, used - offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failed = true;
            return false;
        }
        offset += static_cast<size_t>(n);
    }
    unsynced += static_cast<int64_t>(used);
    if (unsynced >= writeBackStep) {
        // Writing back starts for the newest step; the step before it, whose
        // writing back has had time to finish, leaves the page cache. A large
        // body thus reuses a few MiB of warm pages instead of claiming fresh
        // memory for every MiB (which costs several times the copy itself),
        // and the final sync has only the tail left to wait for.
        sync_file_range(fd, synced, unsynced, SYNC_FILE_RANGE_WRITE);
        if (synced > 0) {
            int64_t from = std::max<int64_t>(0, synced - writeBackStep);
            sync_file_range(fd, from, synced - from,
                            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                SYNC_FILE_RANGE_WAIT_AFTER);
            posix_fadvise(fd, from, synced - from, POSIX_FADV_DONTNEED);
        }
        synced += unsynced;
        unsynced = 0;
    }
    if (used == bufferSize && !hasher) {
        // A body larger than one buffer: hash on a thread from here on.
        hasher = std::make_unique<Hasher>(ctx.get());
        while (buffers.size() < ringSize)
            buffers.emplace_back(bufferSize);
    }
    if (hasher) {
        hasher->push(data, used);
        current = (current + 1) % buffers.size();
        // The next buffer is free once its earlier contents are hashed.
        if (!hasher->waitUntil(buffers.size() - 1)) {
            failed = true;
            return false;
        }
    } else if (EVP_DigestUpdate(ctx.get(), data, used) != 1) {
        failed = true;
        return false;
    }
    used = 0;
    return true;
}

bool BlobWriter::write(const char *data, size_t length)
{
    if (failed)
        return false;
    total += static_cast<int64_t>(length);
    while (length > 0) {
        std::vector<char> &buffer = buffers[current];
        size_t n = std::min(length, buffer.size() - used);
        std::memcpy(buffer.data() + used, data, n);
        used += n;
        data += n;
        length -= n;
        if (used == buffer.size() && !flush())
            return false;
    }
    return true;
}

bool BlobWriter::finish()
{
    if (failed || !flush())
        return false;
    if (hasher) {
        if (!hasher->waitUntil(0))
            return false;
        hasher.reset();
    }
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int mdLength = 0;
    if (EVP_DigestFinal_ex(ctx.get(), md, &mdLength) != 1)
        return false;
    if (::fdatasync(fd) != 0)
        return false;
    ::close(fd);
    fd = -1;
    static const char hex[] = "0123456789abcdef";
    digest.clear();
    for (unsigned int i = 0; i < mdLength; ++i) {
        digest += hex[md[i] >> 4];
        digest += hex[md[i] & 15];
    }
    // The ring is not needed once the body is complete.
    std::vector<std::vector<char>>().swap(buffers);
    return true;
}
