#pragma once
// A child process started without a shell, owned until it has been waited for.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ExitStatus {
    bool exited = false;  // ended by itself (exit code valid)
    int code = 0;         // exit code when exited
    int signal = 0;       // terminating signal otherwise (POSIX systems)
};

class ChildProcess {
public:
    // Starts argv[0] (a path, not searched in PATH) with the given arguments,
    // current directory, standard input from the null device, standard error
    // to errorOutputPath and standard output to outputPath (each created or
    // emptied; a link or anything but a regular file there is never written
    // through, and the null device is used instead, as when the path is
    // empty). The child inherits no other handle; on Windows it gets no
    // console (and so no window) and a command line quoted so that the
    // program path and every argument arrive whole. Returns nothing when the
    // program cannot be started.
    static std::optional<ChildProcess> Start(const std::vector<std::string>& argv,
                                             const std::string& currentDirectory,
                                             const std::string& errorOutputPath = {},
                                             const std::string& outputPath = {});

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // A child still running is killed and reaped, so none is left behind.
    ~ChildProcess();

    // Waits, without a time-out, until the process has ended.
    ExitStatus Wait();

private:
    explicit ChildProcess(std::intptr_t process) noexcept : process_(process) {}
    // Start for a program named in argv[0], the system's way.
    static std::optional<ChildProcess> Spawn(const std::vector<std::string>& argv,
                                             const std::string& currentDirectory, const std::string& errorOutputPath,
                                             const std::string& outputPath);
    void KillAndReap() noexcept;
    // The process id or handle; kNoProcess when there is none.
    static constexpr std::intptr_t kNoProcess = -1;
    std::intptr_t process_ = kNoProcess;
};

}  // namespace platform
