// The Windows updater's entry. Until the Windows window exists it runs the
// unattended mode only; started without --unattended it says so and ends.

#include "app/Shell.h"
#include "app/Unattended.h"
#include "platform/Locale.h"
#include "platform/Paths.h"
#include "platform/Termination.h"

#include <cstring>
#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    platform::UseUserLocale();
    platform::TakeTerminationSignals();
    if (argc != 2 || std::strcmp(argv[1], "--unattended") != 0) {
        std::cerr << "This build of the updater runs only as \"updater.exe --unattended\"." << std::endl;
        return app::kExitError;
    }
    std::string executablePath;
    try {
        executablePath = platform::ExecutablePath();
    } catch (const std::exception& error) {
        std::cerr << app::ErrorBoxText(error.what()) << std::endl;
        return app::kExitError;
    }
    return app::RunUnattended(executablePath, std::cout, std::cerr);
}
