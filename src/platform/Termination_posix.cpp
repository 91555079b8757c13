#include "platform/Termination.h"

#include <atomic>
#include <csignal>

namespace platform {

namespace {

constexpr int kTerminationSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Read and written from signal handlers on any thread: lock-free atomics.
std::atomic<bool> g_deferring {false};
std::atomic<bool> g_requested {false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnTerminationSignal(int signal)
{
    if (g_deferring.load()) {
        g_requested.store(true);
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

bool TerminationRequested() noexcept { return g_requested.load(); }

void RequestTermination() noexcept
{
    if (g_deferring.load())
        g_requested.store(true);
}

TerminationDeferral::TerminationDeferral() noexcept
{
    g_requested.store(false);
    g_deferring.store(true);
}

TerminationDeferral::~TerminationDeferral() { g_deferring.store(false); }

}  // namespace platform
