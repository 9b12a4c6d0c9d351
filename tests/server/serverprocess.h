#pragma once

#include "serverlauncher.h"

#include <string>
#include <vector>

// The real folvane-server on a free loopback port with a fresh data folder
// (optionally with the demo data), stopped when it goes out of scope. Throws
// when the server does not start, which fails the test that asked for it.
// `extraArgs` go to the server's command line as they are.
class ServerProcess : public ServerLauncher
{
public:
    explicit ServerProcess(bool demo = true, const std::string &dataDir = std::string(),
                           const std::vector<std::string> &extraArgs = {});
    ~ServerProcess();

    const std::string &dataDir() const { return data; }

private:
    std::string data;
    bool ownsData = false;
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
