#include "app/CommandLine.h"

#include "platform/Text.h"

#include <string_view>

namespace app {

CommandLine ParseCommandLine(int argc, char** argv)
{
    CommandLine line;
    bool unattended = false;
    bool restore = false;
    bool rehearse = false;
    bool help = false;
    bool status = false;
    auto invalid = [&](const std::string& error) {
        line.mode = CommandLine::Mode::Invalid;
        line.error = error;
        return line;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--unattended") {
            unattended = true;
        } else if (option == "--no-backup") {
            line.noBackup = true;
        } else if (option == "--rehearse") {
            rehearse = true;
        } else if (option == "--status") {
            status = true;
        } else if (option == "--help") {
            help = true;
        } else if (option == "--restore") {
            restore = true;
            std::int32_t version = 0;
            if (i + 1 < argc && argv[i + 1][0] != '-') {
                if (!platform::TryParseInt32(argv[i + 1], 10, version))
                    return invalid(std::string("not a version: ") + argv[i + 1]);
                line.restoreVersion = version;
                ++i;
            }
        } else {
            return invalid("unknown option " + std::string(option));
        }
    }
    if (help) {
        line.mode = CommandLine::Mode::Help;
    } else if (status) {
        if (restore || rehearse || line.noBackup)
            return invalid("--status is given alone (with or without --unattended)");
        line.mode = CommandLine::Mode::Status;
    } else if (restore && rehearse) {
        return invalid("--rehearse and --restore cannot be given together");
    } else if (rehearse) {
        if (line.noBackup)
            return invalid("--no-backup is an option of the update, not of --rehearse");
        line.mode = CommandLine::Mode::Rehearse;
    } else if (restore) {
        if (line.noBackup)
            return invalid("--no-backup is an option of the update, not of --restore");
        line.mode = CommandLine::Mode::Restore;
    } else if (unattended) {
        line.mode = CommandLine::Mode::Unattended;
    } else if (line.noBackup) {
        return invalid("--no-backup needs --unattended: the window always makes a backup");
    }
    return line;
}

std::string UsageText(bool exitCodes)
{
    std::string text =
        "Usage: updater                          opens the window\n"
        "       updater --unattended [--no-backup]\n"
        "       updater --restore [VERSION]\n"
        "       updater --rehearse\n"
        "       updater --status\n"
        "       updater --help\n"
        "\n"
        "  --unattended   runs the checks and the update without a window: the progress\n"
        "                 lines on standard output, the messages on standard error\n"
        "  --no-backup    makes no backup of the database before the update (for\n"
        "                 administrators who keep their own); the update cannot be undone\n"
        "  --restore      undoes the newest update, or with VERSION every update from\n"
        "                 that version on: restores the database from the backup made\n"
        "                 before it and puts back the program files it replaced\n"
        "  --rehearse     rehearses the update on a scratch copy of the database (made\n"
        "                 through the engine, dropped afterwards): reports what every\n"
        "                 script and blob file would do and which program files would\n"
        "                 change; the database and the installation stay as they are\n"
        "  --status       prints the database's version, an update in progress, the last\n"
        "                 packages applied and every workstation's program version, and\n"
        "                 this workstation's program files that lag behind the database;\n"
        "                 changes nothing\n";
    if (exitCodes)
        text +=
            "\n"
            "Exit codes:\n"
            "  0  applied cleanly, or the database is already at or past the highest\n"
            "     package; restored\n"
            "  1  refused: the main application runs here or is attached from another\n"
            "     workstation, another updater holds the database, the database is too\n"
            "     old, rar is missing or failing, the update did not reach the highest\n"
            "     package, a catch-up left program files lagging; a restore while other\n"
            "     clients are attached\n"
            "  2  an error ended it: a missing or damaged package or backup, a database\n"
            "     that cannot be opened, a lost connection, a termination request, a\n"
            "     backup that failed, a command line it does not understand\n"
            "  3  applied, but statements or blob files failed (the run logs are named)\n"
            "A rehearsal exits as the update would: 0 clean, 1 refused or short of the\n"
            "highest package, 2 an error, 3 statements or blob files failed.\n"
            "--status exits 0 when this workstation's program files match the database,\n"
            "1 when they lag behind it (updater --status || updater --unattended), 2 on\n"
            "an error.\n";
    return text;
}

}  // namespace app
