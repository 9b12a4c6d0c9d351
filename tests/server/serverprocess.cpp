#include "serverprocess.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

TempDir::TempDir()
{
    char pattern[] = "/tmp/folvane-test-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    dir = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

ServerProcess::ServerProcess(bool demo, const std::string &dataDir) : data(dataDir)
{
    if (data.empty()) {
        char pattern[] = "/tmp/folvane-data-XXXXXX";
        if (!mkdtemp(pattern))
            throw std::runtime_error("mkdtemp failed");
        data = pattern;
        ownsData = true;
    }
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        throw std::runtime_error("pipe failed");
    child = fork();
    if (child == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (demo)
            execl(FOLVANE_SERVER_BIN, FOLVANE_SERVER_BIN, "--data", data.c_str(), "--listen",
                  "127.0.0.1:0", "--seed", "demo", static_cast<char *>(nullptr));
        else
            execl(FOLVANE_SERVER_BIN, FOLVANE_SERVER_BIN, "--data", data.c_str(), "--listen",
                  "127.0.0.1:0", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    FILE *out = fdopen(pipeFds[0], "r");
    char line[256] = {0};
    bool found = false;
    while (fgets(line, sizeof line, out)) {
        if (std::sscanf(line, "listening on 127.0.0.1:%d", &listenPort) == 1) {
            found = true;
            break;
        }
    }
    fclose(out);
    if (!found) {
        stop();
        throw std::runtime_error("folvane-server did not start");
    }
}

ServerProcess::~ServerProcess()
{
    stop();
    if (ownsData) {
        std::error_code ec;
        std::filesystem::remove_all(data, ec);
    }
}

int ServerProcess::stop()
{
    if (child <= 0)
        return -1;
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    child = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

long ServerProcess::peakRssKiB() const
{
    std::ifstream in("/proc/" + std::to_string(child) + "/status");
    std::string key;
    while (in >> key) {
        if (key == "VmHWM:") {
            long value = 0;
            in >> value;
            return value;
        }
        std::string rest;
        std::getline(in, rest);
    }
    return -1;
}
