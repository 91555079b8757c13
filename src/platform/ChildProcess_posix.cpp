#include "platform/ChildProcess.h"

#include "platform/File.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

// The descriptor an output goes to, for the caller to own; -1 when it
// cannot be used (a link or a special file at its path is refused before
// anything is written).
int OpenOutput(const std::string& path)
{
    if (path.empty())
        return -1;
    File file;
    try {
        file = CreateRegularFile(path);
    } catch (const std::runtime_error&) {
        return -1;
    }
    // Above the standard descriptors, which the child's own set-up replaces.
    return ::fcntl(static_cast<int>(file.NativeHandle()), F_DUPFD_CLOEXEC, 3);
}

}  // namespace

std::optional<ChildProcess> ChildProcess::Spawn(const std::vector<std::string>& argv,
                                                const std::string& currentDirectory,
                                                const std::string& errorOutputPath, const std::string& outputPath)
{
    std::vector<char*> arguments;
    for (const auto& argument : argv)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (::posix_spawn_file_actions_init(&actions) != 0)
        return std::nullopt;
    const File errorOutput = File::FromNativeHandle(OpenOutput(errorOutputPath));
    const File output = File::FromNativeHandle(OpenOutput(outputPath));
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (output.IsOpen())
        ::posix_spawn_file_actions_adddup2(&actions, static_cast<int>(output.NativeHandle()), 1);
    else
        ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, errorOutput.IsOpen() ? static_cast<int>(errorOutput.NativeHandle()) : 1, 2);
    // Descriptors that libraries opened without close-on-exec (the database
    // engine's files among them) must not reach the child.
    ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!currentDirectory.empty())
        ::posix_spawn_file_actions_addchdir_np(&actions, currentDirectory.c_str());
    // The child starts with the usual signal dispositions: an ignored
    // SIGPIPE would be inherited through exec.
    posix_spawnattr_t attributes;
    if (::posix_spawnattr_init(&attributes) != 0) {
        ::posix_spawn_file_actions_destroy(&actions);
        return std::nullopt;
    }
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP})
        sigaddset(&defaults, signal);
    ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int result = ::posix_spawn(&pid, arguments[0], &actions, &attributes, arguments.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
        return std::nullopt;
    return ChildProcess(pid);
}

void ChildProcess::KillAndReap() noexcept
{
    if (process_ <= 0)
        return;
    const auto pid = static_cast<pid_t>(process_);
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    process_ = kNoProcess;
}

ExitStatus ChildProcess::Wait()
{
    ExitStatus result;
    if (process_ <= 0)
        return result;
    int status = 0;
    pid_t waited;
    while ((waited = ::waitpid(static_cast<pid_t>(process_), &status, 0)) < 0 && errno == EINTR) {
    }
    process_ = kNoProcess;
    if (waited < 0)
        return result;
    if (WIFEXITED(status)) {
        result.exited = true;
        result.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

}  // namespace platform
