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
    // current directory, standard input from /dev/null, standard output to
    // /dev/null and standard error to errorOutputPath (created or emptied; a
    // link or anything but a regular file there is never written through, and
    // /dev/null is used instead, as when the path is empty). The child
    // inherits no other descriptor. Returns nothing when the program cannot
    // be started.
    static std::optional<ChildProcess> Start(const std::vector<std::string>& argv,
                                             const std::string& currentDirectory,
                                             const std::string& errorOutputPath = {});

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
