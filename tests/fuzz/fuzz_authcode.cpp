// The remembered password: the settings file's "pwd" is deciphered with
// authCode at start-up, and the file may have been changed by anybody who can
// write it. The input is deciphered as it is; then its first part, as a key,
// enciphers the rest, which must come back unchanged.

#include "clientfuzz.h"
#include "core/httpcurl.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startClientFuzz(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    HttpCurl::authCode(input, "DECODE");

    const QList<QByteArray> parts = fuzzParts(data, size, 2);
    const QByteArray key = parts.size() == 2 ? parts.first() : QByteArray();
    const QByteArray text = parts.last();
    const QByteArray sealed = HttpCurl::authCode(text, "ENCODE", key);
    FUZZ_CHECK(HttpCurl::authCode(sealed, "DECODE", key) == text);
    // An expiry in the future keeps the text readable too.
    const QByteArray expiring = HttpCurl::authCode(text, "ENCODE", key, 3600);
    FUZZ_CHECK(HttpCurl::authCode(expiring, "DECODE", key) == text);
    return 0;
}
