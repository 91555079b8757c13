#include "platform/Termination.h"

#include "platform/TerminationState.h"

#include <csignal>

namespace platform {

namespace {

constexpr int kTerminationSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnTerminationSignal(int signal)
{
    if (termination::deferring.load()) {
        termination::requested.store(true);
        return;
    }
    // Outside a run: the signal's usual effect. It is blocked while this
    // handler runs and is delivered again once it returns.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

void TakeTerminationSignals()
{
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls (the wait for the unpacker, reads from the
    // server) resume: the request is looked at between two steps.
    action.sa_flags = SA_RESTART;
    for (const int signal : kTerminationSignals)
        ::sigaction(signal, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

bool OwnsTerminationSignals()
{
    for (const int signal : kTerminationSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) ||
            current.sa_handler != OnTerminationSignal)
            return false;
    }
    struct sigaction pipe {};
    return ::sigaction(SIGPIPE, nullptr, &pipe) == 0 && !(pipe.sa_flags & SA_SIGINFO) && pipe.sa_handler == SIG_IGN;
}

// Nothing more to do on POSIX systems: the handlers look at the state.
void termination::OnRunStarts() noexcept {}
void termination::OnRunEnds() noexcept {}

}  // namespace platform
