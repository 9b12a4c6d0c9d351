#pragma once

#include <QByteArray>
#include <QList>
#include <QVariantMap>

#include <cstddef>
#include <cstdint>

class QAbstractItemModel;

// What the client's fuzz programs share. Each program calls startClientFuzz()
// from LLVMFuzzerInitialize: it points HOME at a temporary folder and makes
// one offscreen application that lives as long as the process, so every input
// runs against the same widgets and caches as a real session would.
void startClientFuzz(int *argc, char ***argv);

// A reply body as the transport decodes it (HttpCurl::postJson, then the
// worker's toMap()).
QVariantMap fuzzReply(const QByteArray &body);

// The input cut at NUL bytes into at most `max` parts (the last takes the
// rest), for programs that feed several replies in turn. Never empty.
QList<QByteArray> fuzzParts(const uint8_t *data, size_t size, int max);

// Walks every index of the model and stops the program when the model
// contradicts itself (a child whose parent is not where it was found, a row
// count that does not match, an index of another model).
void walkModel(const QAbstractItemModel &model);

// Stops the program with a message when `condition` is false: libFuzzer keeps
// the input that did it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzzFail(#condition, __FILE__, __LINE__);                                              \
    } while (false)

[[noreturn]] void fuzzFail(const char *what, const char *file, int line);
