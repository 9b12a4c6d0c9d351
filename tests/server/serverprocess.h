#pragma once

#include <string>
#include <sys/types.h>

// Starts the real folvane-server on a free loopback port with a fresh data
// folder (optionally with the demo data) and stops it with SIGTERM when it
// goes out of scope.
class ServerProcess
{
public:
    explicit ServerProcess(bool demo = true, const std::string &dataDir = std::string());
    ~ServerProcess();
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;

    int port() const { return listenPort; }
    const std::string &dataDir() const { return data; }
    pid_t pid() const { return child; }
    // Peak resident memory of the server so far, in KiB (VmHWM).
    long peakRssKiB() const;
    // Sends SIGTERM and waits; returns the exit status (or -1).
    int stop();

private:
    std::string data;
    bool ownsData = false;
    pid_t child = -1;
    int listenPort = 0;
};

// A fresh empty temporary folder, removed with its contents at the end.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    const std::string &path() const { return dir; }

private:
    std::string dir;
};
