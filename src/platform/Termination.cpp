#include "platform/Termination.h"

#include "platform/TerminationState.h"

namespace platform {

namespace termination {

std::atomic<bool> deferring {false};
std::atomic<bool> requested {false};

}  // namespace termination

bool TerminationRequested() noexcept { return termination::requested.load(); }

void RequestTermination() noexcept
{
    if (termination::deferring.load())
        termination::requested.store(true);
}

TerminationDeferral::TerminationDeferral() noexcept
{
    termination::requested.store(false);
    termination::deferring.store(true);
    termination::OnRunStarts();
}

TerminationDeferral::~TerminationDeferral()
{
    termination::deferring.store(false);
    termination::OnRunEnds();
}

}  // namespace platform
