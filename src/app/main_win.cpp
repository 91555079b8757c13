// The Windows updater's entry. Until the Windows window exists it runs the
// unattended mode only; started without --unattended it says so and ends.

#include "app/Unattended.h"
#include "platform/Locale.h"
#include "platform/Paths.h"
#include "platform/Termination.h"

#include <iostream>

int main(int argc, char** argv)
{
    platform::UseUserLocale();
    platform::TakeTerminationSignals();
    if (!app::IsUnattendedCommandLine(argc, argv)) {
        std::cerr << "This build of the updater runs only as \"updater.exe --unattended\"." << std::endl;
        return app::kExitError;
    }
    return app::RunUnattendedEntry(platform::ExecutablePath, std::cout, std::cerr);
}
