#include "platform/ChildProcess.h"

#include "platform/FileSystem.h"

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

// The file standard error goes to; invalid when it cannot be used (a link
// or a special file at its path is refused before anything is written).
UniqueFd OpenErrorOutput(const std::string& path)
{
    if (path.empty())
        return {};
    UniqueFd fd;
    try {
        fd = CreateRegularFile(path);
    } catch (const std::runtime_error&) {
        return {};
    }
    // Above the standard descriptors, which the child's own set-up replaces.
    if (fd.Get() <= 2)
        fd = UniqueFd(::fcntl(fd.Get(), F_DUPFD_CLOEXEC, 3));
    return fd;
}

}  // namespace

std::optional<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv,
                                                const std::string& currentDirectory,
                                                const std::string& errorOutputPath)
{
    if (argv.empty())
        return std::nullopt;
    std::vector<char*> arguments;
    for (const auto& argument : argv)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (::posix_spawn_file_actions_init(&actions) != 0)
        return std::nullopt;
    const UniqueFd errorOutput = OpenErrorOutput(errorOutputPath);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, errorOutput.Valid() ? errorOutput.Get() : 1, 2);
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

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        KillAndReap();
        pid_ = other.pid_;
        other.pid_ = -1;
    }
    return *this;
}

ChildProcess::~ChildProcess() { KillAndReap(); }

void ChildProcess::KillAndReap() noexcept
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

ExitStatus ChildProcess::Wait()
{
    ExitStatus result;
    if (pid_ <= 0)
        return result;
    int status = 0;
    pid_t waited;
    while ((waited = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    pid_ = -1;
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
