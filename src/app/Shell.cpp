#include "app/Shell.h"

#include "app/WayBack.h"
#include "platform/Paths.h"

namespace app {

namespace {

std::unique_ptr<RunPlan> UpdateUnlessGiven(std::unique_ptr<RunPlan> plan)
{
    return plan ? std::move(plan) : std::make_unique<UpdatePlan>();
}

}  // namespace

CUpdaterShell::CUpdaterShell(IShellView& view, const std::string& executablePath, std::unique_ptr<RunPlan> plan)
    : plan_(UpdateUnlessGiven(std::move(plan))),
      state_(view, executablePath, plan_->WorkDirIn(platform::TempPath()))
{
}

// A run's own report names what could not be removed (EndRun); at the end
// of the shell only what it did not end is removed.
CUpdaterShell::~CUpdaterShell() { static_cast<void>(plan_->End(state_)); }

}  // namespace app
