#include "platform/ChildProcess.h"

namespace platform {

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : process_(other.process_) { other.process_ = kNoProcess; }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        KillAndReap();
        process_ = other.process_;
        other.process_ = kNoProcess;
    }
    return *this;
}

ChildProcess::~ChildProcess() { KillAndReap(); }

std::optional<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv,
                                                const std::string& currentDirectory,
                                                const std::string& errorOutputPath, const std::string& outputPath)
{
    if (argv.empty())
        return std::nullopt;
    return Spawn(argv, currentDirectory, errorOutputPath, outputPath);
}

}  // namespace platform
