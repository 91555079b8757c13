#pragma once
// Where the unattended mode writes its lines.
//
// On Linux: the process's standard output and error. On Windows the updater
// is a window program, which gets no console of its own: each of the two
// goes to its standard handle when that is redirected (a file, a pipe), and
// otherwise to the console of the program that started it (a command
// prompt), attached for the purpose. Lines end in CR LF on Windows; a console
// shows the texts as code page 1251 whatever its own code page, files and
// pipes receive the bytes as they are.

#include <ostream>

namespace platform {

struct ConsoleOutput {
    std::ostream& out;
    std::ostream& err;
};

// Made on first use and kept for the life of the process.
ConsoleOutput& UnattendedOutput();

}  // namespace platform
