#include "platform/Termination.h"

#include "platform/TerminationState.h"

namespace platform {

namespace termination {

std::atomic<bool> deferring {false};
std::atomic<bool> requested {false};
// Deferrals alive; the outermost one begins and ends the deferring.
std::atomic<int> depth {0};

}  // namespace termination

bool TerminationRequested() noexcept { return termination::requested.load(); }

void RequestTermination() noexcept
{
    if (termination::deferring.load())
        termination::requested.store(true);
}

TerminationDeferral::TerminationDeferral() noexcept
{
    if (termination::depth.fetch_add(1) > 0)
        return;
    termination::requested.store(false);
    termination::deferring.store(true);
    termination::OnRunStarts();
}

TerminationDeferral::~TerminationDeferral()
{
    if (termination::depth.fetch_sub(1) > 1)
        return;
    termination::deferring.store(false);
    termination::OnRunEnds();
}

}  // namespace platform
