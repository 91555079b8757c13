// The updater's command line over any arguments (the input split at NUL
// bytes): an invalid line always says why, a valid one never carries an
// error, and only --restore brings a version.
#include "app/CommandLine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> arguments {"updater"};
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (!current.empty())
        arguments.push_back(current);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const app::CommandLine line = app::ParseCommandLine(static_cast<int>(arguments.size()), argv.data());
    const bool invalid = line.mode == app::CommandLine::Mode::Invalid;
    if (invalid == line.error.empty())
        std::abort();
    // A version is read only after --restore: no other mode comes with one
    // (help and an invalid line are never acted on).
    if (line.restoreVersion && (line.mode == app::CommandLine::Mode::Window ||
                                line.mode == app::CommandLine::Mode::Unattended ||
                                line.mode == app::CommandLine::Mode::Rehearse))
        std::abort();
    return 0;
}
