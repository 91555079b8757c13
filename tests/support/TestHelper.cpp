// A small program the tests start, on every system:
//   test-helper sleep SECONDS [READY_FILE]  creates READY_FILE, then sleeps
//   test-helper exit CODE                   ends with CODE
//   test-helper args FILE [ARG...]          writes each ARG on a line of FILE
// Copied under another name it stands in for the main application.

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) {
        if (argc >= 4)
            std::ofstream(argv[3], std::ios::binary) << "ready";
        std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[2])));
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "exit") == 0)
        return std::atoi(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "args") == 0) {
        std::ofstream out(argv[2], std::ios::binary);
        for (int i = 3; i < argc; ++i)
            out << argv[i] << "\n";
        return out ? 0 : 1;
    }
    return 64;
}
