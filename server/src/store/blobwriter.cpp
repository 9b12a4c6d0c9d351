#include "store/blobwriter.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {
const size_t bufferSize = 1 << 20;
}

void BlobWriter::CtxFree::operator()(EVP_MD_CTX *c) const
{
    EVP_MD_CTX_free(c);
}

BlobWriter::BlobWriter(const std::string &tmpDir) : ctx(EVP_MD_CTX_new()), buffer(bufferSize)
{
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
    if (fd >= 0)
        ::close(fd);
    if (!adopted && !path.empty())
        ::unlink(path.c_str());
}

bool BlobWriter::flush()
{
    size_t offset = 0;
    while (offset < used) {
        ssize_t n = ::write(fd, buffer.data() + offset, used - offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failed = true;
            return false;
        }
        offset += static_cast<size_t>(n);
    }
    used = 0;
    return true;
}

bool BlobWriter::write(const char *data, size_t length)
{
    if (failed)
        return false;
    if (EVP_DigestUpdate(ctx.get(), data, length) != 1) {
        failed = true;
        return false;
    }
    total += static_cast<int64_t>(length);
    while (length > 0) {
        size_t n = std::min(length, buffer.size() - used);
        std::copy(data, data + n, buffer.data() + used);
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
    return true;
}
