#include "serverlauncher.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <poll.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

ServerLauncher::~ServerLauncher()
{
    stop();
}

bool ServerLauncher::start(const std::string &binary, const std::string &dataDir,
                           const std::string &seed, int timeoutMs,
                           const std::vector<std::string> &extraArgs)
{
    failure.clear();
    // The arguments are put together before the fork: the child only execs.
    std::vector<std::string> args = {binary, "--data", dataDir, "--listen", "127.0.0.1:0"};
    if (!seed.empty()) {
        args.push_back("--seed");
        args.push_back(seed);
    }
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        failure = "pipe failed";
        return false;
    }
    const pid_t parent = getpid();
    child = fork();
    if (child < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        failure = "fork failed";
        return false;
    }
    if (child == 0) {
#ifdef __linux__
        // A test that crashes takes its server along, instead of leaving it
        // running with the test runner's output open until the time-out.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
#endif
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);

    // Read until the listening line, a closed pipe or the deadline, whichever
    // comes first: a server that never starts fails the test instead of hanging it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string output;
    bool found = false;
    while (!found) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            failure = "folvane-server did not report its port within " + std::to_string(timeoutMs) +
                      " ms";
            break;
        }
        pollfd pfd{pipeFds[0], POLLIN, 0};
        const int ready = poll(&pfd, 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        char buffer[256];
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) {
            failure = "folvane-server exited before listening: " + output;
            break;
        }
        output.append(buffer, size_t(n));
        const size_t at = output.find("listening on 127.0.0.1:");
        if (at != std::string::npos && output.find('\n', at) != std::string::npos)
            found = std::sscanf(output.c_str() + at, "listening on 127.0.0.1:%d", &listenPort) == 1;
    }
    close(pipeFds[0]);
    if (!found)
        stop();
    return found;
}

int ServerLauncher::stop()
{
    if (child <= 0)
        return -1;
    kill(child, SIGTERM);
    int status = 0;
    // A server that ignores SIGTERM for 10 s is killed, so no test waits forever.
    for (int i = 0; i < 1000; ++i) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child || done < 0) {
            child = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        usleep(10000);
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    child = -1;
    return -1;
}

long ServerLauncher::peakRssKiB() const
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
