#pragma once
// The updater's command line: the window without options, else the
// unattended modes.

#include <cstdint>
#include <optional>
#include <string>

namespace app {

struct CommandLine {
    enum class Mode {
        Window,      // no options
        Unattended,  // --unattended [--no-backup]
        Restore,     // --restore [VERSION], with or without --unattended
        Rehearse,    // --rehearse, with or without --unattended
        Status,      // --status, with or without --unattended
        Help,        // --help
        Invalid,     // anything else: error says what
    };
    Mode mode = Mode::Window;
    bool noBackup = false;
    std::optional<std::int32_t> restoreVersion;
    std::string error;
};

// Reads the options after the program's name.
CommandLine ParseCommandLine(int argc, char** argv);

// The usage text, with the exit codes when exitCodes is set (for --help).
std::string UsageText(bool exitCodes);

}  // namespace app
