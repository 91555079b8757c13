#pragma once
// Requests to end the process (SIGINT, SIGTERM and SIGHUP: Ctrl+C, a kill, a
// logoff or a closed terminal) and writes to a closed pipe.
//
// The database client library and its embedded engine install handlers of
// their own when they are loaded and when a database is attached; those
// shut the connection down under a running update. The updater takes the
// signals back after each of these steps. While a run is in progress
// (a TerminationDeferral lives) a request is recorded, and the run stops at
// its next safe point; outside a run the signals end the process as usual.

namespace platform {

// Installs the updater's handlers for the termination signals and ignores
// SIGPIPE, so that a write to a closed standard output fails instead of
// ending the process. Safe to call again.
void TakeTerminationSignals();

// Whether the updater's handlers are the installed ones (and SIGPIPE is
// ignored).
bool OwnsTerminationSignals();

// A termination request arrived while a deferral lived.
bool TerminationRequested() noexcept;

// Records a termination request as a signal would (a session that ends
// tells the window, not the process); outside a run it has no effect.
void RequestTermination() noexcept;

// While one lives, termination requests are recorded instead of ending the
// process. Constructing one clears an earlier request, unless another one
// lives already (a caller that keeps requests from ending its clean-up too).
class TerminationDeferral {
public:
    TerminationDeferral() noexcept;
    TerminationDeferral(const TerminationDeferral&) = delete;
    TerminationDeferral& operator=(const TerminationDeferral&) = delete;
    ~TerminationDeferral();
};

}  // namespace platform
