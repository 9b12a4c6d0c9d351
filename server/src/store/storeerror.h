#pragma once

#include <stdexcept>
#include <string>

// A failure of the database or the blob store: a broken file, a full disk.
// The HTTP layer answers it with a generic envelope; nothing half-done stays
// because every multi-row write runs in a Transaction.
class StoreError : public std::runtime_error
{
public:
    explicit StoreError(const std::string &what) : std::runtime_error(what) {}
};

// A UNIQUE or FOREIGN KEY constraint refused a write (for example two uploads
// racing for the same name); services catch it and retry or refuse politely.
class ConstraintError : public StoreError
{
public:
    explicit ConstraintError(const std::string &what) : StoreError(what) {}
};
