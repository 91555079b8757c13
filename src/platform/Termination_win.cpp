#include "platform/Termination.h"

#include "platform/TerminationState.h"

#include <atomic>
#include <windows.h>

// Windows has no signals for these requests: Ctrl+C and Ctrl+Break in a
// console, the console window's close, a logoff and a shutdown reach the
// process as console control events, on a thread of their own. A write to a
// closed pipe fails with an error and ends nothing, so there is nothing to
// ignore.

namespace platform {

namespace {

std::atomic<bool> g_installed {false};
// Set while no run is in progress; a close, logoff or shutdown request
// waits for it.
HANDLE g_runEnded = nullptr;

BOOL WINAPI OnControlEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return FALSE;
    }
    if (!termination::deferring.load())
        return FALSE;  // the usual end of the process
    termination::requested.store(true);
    // The system ends the process as soon as this handler returns from a
    // close, logoff or shutdown event: hold it until the run has stopped at
    // its next safe point (the system's own time limit still applies).
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && g_runEnded)
        WaitForSingleObject(g_runEnded, INFINITE);
    return TRUE;
}

}  // namespace

void TakeTerminationSignals()
{
    if (!g_runEnded)
        g_runEnded = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    // Handlers are called last-added first: removing and adding ours again
    // puts it before any that a library added since.
    SetConsoleCtrlHandler(OnControlEvent, FALSE);
    g_installed.store(SetConsoleCtrlHandler(OnControlEvent, TRUE) != 0);
}

bool OwnsTerminationSignals() { return g_installed.load(); }

void termination::OnRunStarts() noexcept
{
    if (g_runEnded)
        ResetEvent(g_runEnded);
}

void termination::OnRunEnds() noexcept
{
    if (g_runEnded)
        SetEvent(g_runEnded);
}

}  // namespace platform
