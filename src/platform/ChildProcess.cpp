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

}  // namespace platform
