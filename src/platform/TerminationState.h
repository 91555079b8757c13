#pragma once
// The state shared by the termination requests' parts (internal to the
// platform layer). Written from signal handlers and control-event threads:
// lock-free atomics only.

#include <atomic>

namespace platform::termination {

// A run is in progress (a TerminationDeferral lives).
extern std::atomic<bool> deferring;
// A termination request arrived while a run was in progress.
extern std::atomic<bool> requested;
static_assert(std::atomic<bool>::is_always_lock_free);

// The system's own steps when a run starts and when it has ended.
void OnRunStarts() noexcept;
void OnRunEnds() noexcept;

}  // namespace platform::termination
