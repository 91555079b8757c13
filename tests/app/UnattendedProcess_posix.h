#pragma once
// The packed updater run unattended as a child process whose end the test
// controls: signals, a closed standard output (POSIX systems).

#include "Installation.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fixture {

namespace fs = std::filesystem;
using testsupport::ReadFile;

// The outcome of `updater --unattended` run as a process of its own.
struct UnattendedResult {
    int code = -1;    // exit code, -1 when it did not exit by itself
    int signal = 0;   // the signal that ended it otherwise
    std::string out;
    std::string err;
};

using testsupport::Installation;

// Waits up to 30 s for a condition the test cannot wait for otherwise.
inline bool WaitFor(const std::function<bool()>& condition)
{
    for (int i = 0; i < 300; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Starts the packed updater with options (--unattended), standard output
// and error to files in the installation's directory, or standard output to a
// pipe whose reading end is already closed. A launcher, when given, is the
// command the updater runs under (its arguments come before the updater's
// path).
inline pid_t StartUnattended(const Installation& installation, bool closedOutput = false,
                             const std::vector<std::string>& launcher = {},
                             const std::vector<std::string>& options = {"--unattended"})
{
    std::vector<std::string> arguments = launcher;
    arguments.push_back(installation.updater);
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string outPath = installation.dir / "stdout";
    const std::string errPath = installation.dir / "stderr";
    int pipeEnds[2] = {-1, -1};
    if (closedOutput && ::pipe(pipeEnds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = closedOutput ? pipeEnds[1] : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (closedOutput)
            ::close(pipeEnds[0]);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::unsetenv("DISPLAY");
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    if (closedOutput) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
    }
    return pid;
}

// unshare's own process namespace with its own /proc, for an updater that
// must not see the test's processes; without the right to make one, a user
// namespace gives it. Empty when neither can be made.
inline std::vector<std::string> OwnProcessNamespace()
{
    if (std::system("unshare --pid --fork --mount-proc true >/dev/null 2>&1") == 0)
        return {"unshare", "--pid", "--fork", "--mount-proc"};
    if (std::system("unshare --user --map-root-user --pid --fork --mount-proc true >/dev/null 2>&1") == 0)
        return {"unshare", "--user", "--map-root-user", "--pid", "--fork", "--mount-proc"};
    return {};
}

inline UnattendedResult FinishUnattended(const Installation& installation, pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    UnattendedResult result;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (fs::exists(installation.dir / "stdout"))
        result.out = ReadFile(installation.dir / "stdout");
    result.err = ReadFile(installation.dir / "stderr");
    return result;
}

}  // namespace fixture
