#pragma once

#include "store/blobwriter.h"

#include <memory>
#include <string>

// File contents, stored once per MD5 under blobs/ab/cd/<md5>. New blobs are
// written to blobs/tmp and renamed into place when complete.
class BlobStore
{
public:
    explicit BlobStore(const std::string &root);

    std::unique_ptr<BlobWriter> newWriter() const;
    // Moves a finished writer's file to its content address; true when it
    // placed a new blob there (false when the content was stored already).
    bool adopt(BlobWriter &writer) const;
    // Stores a small body given in memory (the demo data).
    std::string put(const std::string &content) const;
    std::string path(const std::string &md5) const;
    bool exists(const std::string &md5) const;
    void remove(const std::string &md5) const;
    std::string tmpDir() const { return root + "/tmp"; }

private:
    std::string root;
};
