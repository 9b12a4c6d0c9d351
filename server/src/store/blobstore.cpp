#include "store/blobstore.h"

#include "store/storeerror.h"

#include <sys/statvfs.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

namespace fs = std::filesystem;

BlobStore::BlobStore(const std::string &root, int64_t reserve) : root(root), reserve(reserve)
{
    std::error_code ec;
    fs::create_directories(tmpDir(), ec);
    if (ec)
        throw StoreError("cannot create " + tmpDir() + ": " + ec.message());
    // Leftovers of uploads that were running when the server stopped.
    for (const auto &entry : fs::directory_iterator(tmpDir(), ec))
        fs::remove(entry.path(), ec);
}

std::unique_ptr<BlobWriter> BlobStore::newWriter() const
{
    return std::make_unique<BlobWriter>(tmpDir(), reserve);
}

int64_t BlobStore::room() const
{
    struct statvfs fs;
    if (::statvfs(tmpDir().c_str(), &fs) != 0)
        return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize) - reserve;
}

std::string BlobStore::path(const std::string &md5) const
{
    return root + "/" + md5.substr(0, 2) + "/" + md5.substr(2, 2) + "/" + md5;
}

bool BlobStore::exists(const std::string &md5) const
{
    std::error_code ec;
    return md5.size() == 32 && fs::exists(path(md5), ec);
}

bool BlobStore::adopt(BlobWriter &writer) const
{
    std::string target = path(writer.md5());
    std::error_code ec;
    fs::create_directories(fs::path(target).parent_path(), ec);
    if (ec)
        throw StoreError("cannot create blob folder: " + ec.message());
    if (fs::exists(target, ec))
        return false; // the same content is stored already; the writer removes its copy
    fs::rename(writer.tempPath(), target, ec);
    if (ec)
        throw StoreError("cannot store blob: " + ec.message());
    writer.release();
    return true;
}

std::string BlobStore::put(const std::string &content) const
{
    auto writer = newWriter();
    if (!writer->write(content.data(), content.size()) || !writer->finish())
        throw StoreError("cannot write blob");
    adopt(*writer);
    return writer->md5();
}

namespace {

bool hexName(const std::string &name, size_t length)
{
    return name.size() == length && name.find_first_not_of("0123456789abcdef") == std::string::npos;
}

} // namespace

std::vector<std::string> BlobStore::unreferenced(const std::unordered_set<std::string> &inUse,
                                                 const std::atomic<bool> &stop) const
{
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto &first : fs::directory_iterator(root, ec)) {
        std::string a = first.path().filename().string();
        if (!hexName(a, 2) || !first.is_directory(ec))
            continue;
        for (const auto &second : fs::directory_iterator(first.path(), ec)) {
            if (stop)
                return out;
            std::string b = second.path().filename().string();
            if (!hexName(b, 2) || !second.is_directory(ec))
                continue;
            for (const auto &blob : fs::directory_iterator(second.path(), ec)) {
                std::string md5 = blob.path().filename().string();
                if (hexName(md5, 32) && md5.compare(0, 2, a) == 0 && md5.compare(2, 2, b) == 0 &&
                    !inUse.count(md5))
                    out.push_back(md5);
            }
        }
    }
    return out;
}

void BlobStore::remove(const std::string &md5) const
{
    if (md5.size() != 32)
        return;
    std::error_code ec;
    fs::remove(path(md5), ec);
}
