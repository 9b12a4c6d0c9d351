#pragma once

#include "store/blobwriter.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

// File contents, stored once per MD5 under blobs/ab/cd/<md5>. New blobs are
// written to blobs/tmp and renamed into place when complete.
class BlobStore
{
public:
    // Space kept free on the file system for the database: uploads stop
    // short of it, so signing in or making a folder still works when the
    // blobs have filled the disk.
    static const int64_t defaultReserve = 64ll << 20;

    explicit BlobStore(const std::string &root, int64_t reserve = defaultReserve);

    std::unique_ptr<BlobWriter> newWriter() const;
    // Moves a finished writer's file to its content address; true when it
    // placed a new blob there (false when the content was stored already).
    bool adopt(BlobWriter &writer) const;
    // Stores a small body given in memory (the demo data).
    std::string put(const std::string &content) const;
    std::string path(const std::string &md5) const;
    bool exists(const std::string &md5) const;
    void remove(const std::string &md5) const;
    // The stored blobs whose MD5 is not in `inUse`; the walk ends early when
    // `stop` is set.
    std::vector<std::string> unreferenced(const std::unordered_set<std::string> &inUse,
                                          const std::atomic<bool> &stop) const;
    std::string tmpDir() const { return root + "/tmp"; }
    // Bytes an upload may still take before it meets the reserve (negative
    // when the disk is fuller already); the largest int64 when unknown.
    int64_t room() const;

private:
    std::string root;
    int64_t reserve;
};
