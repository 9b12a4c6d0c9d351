#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Starts folvane-server on a free loopback port ("--listen 127.0.0.1:0") and
// reads the port from its "listening on" line; stops it with SIGTERM. Plain
// C++ so that the server tests (no Qt) and the client tests share it.
class ServerLauncher
{
public:
    ServerLauncher() = default;
    ~ServerLauncher();
    ServerLauncher(const ServerLauncher &) = delete;
    ServerLauncher &operator=(const ServerLauncher &) = delete;

    // `seed` is passed as --seed when not empty, `extraArgs` after it (for
    // example --tls-cert FILE --tls-key FILE). Waits at most `timeoutMs` for
    // the listening line; false with error() set otherwise (the child is stopped).
    bool start(const std::string &binary, const std::string &dataDir, const std::string &seed,
               int timeoutMs = 60000, const std::vector<std::string> &extraArgs = {});
    // Sends SIGTERM and waits; returns the exit status, or -1.
    int stop();

    int port() const { return listenPort; }
    pid_t pid() const { return child; }
    const std::string &error() const { return failure; }
    // Peak resident memory of the server so far, in KiB (VmHWM), or -1.
    long peakRssKiB() const;

private:
    pid_t child = -1;
    int listenPort = 0;
    std::string failure;
};
