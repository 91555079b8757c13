#include "platform/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace platform {

std::optional<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv,
                                                const std::string& currentDirectory)
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
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (!currentDirectory.empty())
        ::posix_spawn_file_actions_addchdir_np(&actions, currentDirectory.c_str());
    pid_t pid = -1;
    const int result = ::posix_spawn(&pid, arguments[0], &actions, nullptr, arguments.data(), environ);
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
