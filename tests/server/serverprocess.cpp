#include "serverprocess.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

std::string makeTempDir(const char *prefix)
{
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

} // namespace

TempDir::TempDir() : dir(makeTempDir("folvane-test")) {}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

ServerProcess::ServerProcess(bool demo, const std::string &dataDir,
                             const std::vector<std::string> &extraArgs)
    : data(dataDir)
{
    if (data.empty()) {
        data = makeTempDir("folvane-data");
        ownsData = true;
    }
    if (!start(FOLVANE_SERVER_BIN, data, demo ? "demo" : "", 60000, extraArgs)) {
        const std::string why = error();
        if (ownsData) {
            std::error_code ec;
            std::filesystem::remove_all(data, ec);
        }
        throw std::runtime_error(why);
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
