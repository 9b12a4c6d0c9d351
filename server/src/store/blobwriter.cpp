#include "store/blobwriter.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace {

const size_t bufferSize = 1 << 20;
const size_t ringSize = 8;
const size_t alignment = 4096; // what direct writes need of addresses and sizes
// Buffered writes hand their pages back every few MiB (see writeOut).
const int64_t releaseStep = 8 << 20;

} // namespace

struct BlobWriter::Buffer
{
    Buffer() : data(static_cast<char *>(std::aligned_alloc(alignment, bufferSize))) {}
    ~Buffer() { std::free(data); }
    char *data;
};

// A thread that runs one step (hashing, or writing) over the buffers handed to
// it, in order.
class BlobWriter::Stage
{
public:
    using Step = std::function<bool(const char *, size_t)>;

    explicit Stage(Step step) : step(std::move(step)), thread([this] { run(); }) {}

    ~Stage()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            stopping = true;
        }
        changed.notify_all();
        thread.join();
    }

    // Queues a buffer; it must stay untouched until waitUntil() has counted it.
    void push(const char *data, size_t length)
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            queue.emplace_back(data, length);
            ++pushed;
        }
        changed.notify_all();
    }

    // Waits until at most `pending` pushed buffers are still in the step;
    // false when the step failed.
    bool waitUntil(size_t pending)
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return pushed - done <= pending || failed; });
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
            bool ok = failed || step(data, length);
            guard.lock();
            queue.pop_front();
            ++done;
            failed = failed || !ok;
            changed.notify_all();
        }
    }

    Step step;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::pair<const char *, size_t>> queue;
    size_t pushed = 0;
    size_t done = 0;
    bool stopping = false;
    bool failed = false;
    std::thread thread;
};

void BlobWriter::CtxFree::operator()(EVP_MD_CTX *c) const
{
    EVP_MD_CTX_free(c);
}

BlobWriter::BlobWriter(const std::string &tmpDir, int64_t reserve)
    : ctx(EVP_MD_CTX_new()), reserve(reserve)
{
    buffers.push_back(std::make_unique<Buffer>());
    std::string pattern = tmpDir + "/upload-XXXXXX";
    fd = mkstemp(pattern.data());
    if (fd >= 0)
        path = pattern; // from here on the destructor removes it
    if (fd < 0 || !ctx || !buffers.front()->data ||
        EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1)
        failed = true;
}

BlobWriter::~BlobWriter()
{
    // The stages stop before the buffers they read go.
    hasher.reset();
    writer.reset();
    if (fd >= 0)
        ::close(fd);
    if (!adopted && !path.empty())
        ::unlink(path.c_str());
}

bool BlobWriter::hash(const char *data, size_t length)
{
    return EVP_DigestUpdate(ctx.get(), data, length) == 1;
}

bool BlobWriter::writeOut(const char *data, size_t length)
{
    size_t offset = 0;
    while (offset < length) {
        ssize_t n = ::write(fd, data + offset, length - offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ENOSPC || errno == EDQUOT)
                full = true;
            return false;
        }
        offset += static_cast<size_t>(n);
    }
    written += static_cast<int64_t>(length);
    if (!direct && written - released >= 2 * releaseStep) {
        // Buffered writes: the newest step starts going to disk and the one
        // before it, written back by now, leaves the page cache. A large body
        // then reuses a few MiB of warm pages instead of claiming fresh memory
        // for every MiB (which costs several times the copy itself), and the
        // final sync has only the tail left to wait for.
        sync_file_range(fd, released + releaseStep, written - released - releaseStep,
                        SYNC_FILE_RANGE_WRITE);
        sync_file_range(fd, released, releaseStep,
                        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                            SYNC_FILE_RANGE_WAIT_AFTER);
        posix_fadvise(fd, released, releaseStep, POSIX_FADV_DONTNEED);
        released += releaseStep;
    }
    return true;
}

bool BlobWriter::startStages()
{
    // Full aligned buffers can go to disk without the page cache; a file
    // system that cannot do it keeps buffered writes.
    int flags = fcntl(fd, F_GETFL);
    direct = flags >= 0 && fcntl(fd, F_SETFL, flags | O_DIRECT) == 0;
    hasher = std::make_unique<Stage>([this](const char *d, size_t n) { return hash(d, n); });
    writer = std::make_unique<Stage>([this](const char *d, size_t n) { return writeOut(d, n); });
    while (buffers.size() < ringSize) {
        buffers.push_back(std::make_unique<Buffer>());
        if (!buffers.back()->data)
            return false;
    }
    return true;
}

// Whether the file system keeps its reserve free after the ring's buffers,
// all of them, have gone to the file.
bool BlobWriter::roomForRing() const
{
    struct statvfs fs;
    if (::fstatvfs(fd, &fs) != 0)
        return true; // no figure: a real shortage shows as ENOSPC
    int64_t free = static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize);
    return free - static_cast<int64_t>(ringSize * bufferSize) >= reserve;
}

bool BlobWriter::flush()
{
    const char *data = buffers[current]->data;
    if (!roomForRing()) {
        full = true;
        failed = true;
        return false;
    }
    if (used == bufferSize && !hasher && !startStages()) {
        failed = true;
        return false;
    }
    if (!hasher) {
        if (!hash(data, used) || !writeOut(data, used)) {
            failed = true;
            return false;
        }
        used = 0;
        return true;
    }
    hasher->push(data, used);
    writer->push(data, used);
    current = (current + 1) % buffers.size();
    // The next buffer is free once both stages are done with its last use.
    if (!hasher->waitUntil(buffers.size() - 1) || !writer->waitUntil(buffers.size() - 1)) {
        failed = true;
        return false;
    }
    used = 0;
    return true;
}

char *BlobWriter::space(size_t skip, size_t &length)
{
    length = 0;
    if (failed || buffers.empty() || used + skip >= bufferSize)
        return nullptr;
    length = bufferSize - used - skip;
    return buffers[current]->data + used + skip;
}

bool BlobWriter::write(const char *data, size_t length)
{
    if (failed)
        return false;
    total += static_cast<int64_t>(length);
    if (!buffers.empty() && data == buffers[current]->data + used && length <= bufferSize - used) {
        // Read in place (see space()).
        used += length;
        return used < bufferSize || flush();
    }
    while (length > 0) {
        size_t n = std::min(length, bufferSize - used);
        std::memcpy(buffers[current]->data + used, data, n);
        used += n;
        data += n;
        length -= n;
        if (used == bufferSize && !flush())
            return false;
    }
    return true;
}

bool BlobWriter::finish()
{
    if (failed)
        return false;
    if (hasher) {
        // Everything before the tail goes through the stages; the tail, of
        // any size, is written without bypassing the page cache.
        bool ok = hasher->waitUntil(0) && writer->waitUntil(0);
        hasher.reset();
        writer.reset();
        if (!ok)
            return false;
        if (direct) {
            int flags = fcntl(fd, F_GETFL);
            if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_DIRECT) != 0)
                return false;
            direct = false;
        }
    }
    const char *tail = buffers[current]->data;
    if (!roomForRing()) {
        full = true;
        return false;
    }
    if (!hash(tail, used) || !writeOut(tail, used))
        return false;
    used = 0;
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int mdLength = 0;
    if (EVP_DigestFinal_ex(ctx.get(), md, &mdLength) != 1)
        return false;
    if (::fdatasync(fd) != 0) {
        full = errno == ENOSPC || errno == EDQUOT;
        return false;
    }
    ::close(fd);
    fd = -1;
    static const char hex[] = "0123456789abcdef";
    digest.clear();
    for (unsigned int i = 0; i < mdLength; ++i) {
        digest += hex[md[i] >> 4];
        digest += hex[md[i] & 15];
    }
    // The ring is not needed once the body is complete.
    buffers.clear();
    return true;
}
