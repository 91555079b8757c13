#pragma once
// A child process started without a shell, owned until it has been waited for.

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

struct ExitStatus {
    bool exited = false;  // ended by itself (exit code valid)
    int code = 0;         // exit code when exited
    int signal = 0;       // terminating signal otherwise
};

class ChildProcess {
public:
    // Starts argv[0] (a path, not searched in PATH) with the given arguments,
    // current directory, standard input from /dev/null and standard output and
    // error to /dev/null. Returns nothing when the program cannot be started.
    static std::optional<ChildProcess> Start(const std::vector<std::string>& argv,
                                             const std::string& currentDirectory);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // A child still running is killed and reaped, so none is left behind.
    ~ChildProcess();

    // Waits, without a time-out, until the process has ended.
    ExitStatus Wait();

private:
    explicit ChildProcess(pid_t pid) noexcept : pid_(pid) {}
    void KillAndReap() noexcept;
    pid_t pid_ = -1;
};

}  // namespace platform
