#include "platform/ProcessList.h"

#include <atomic>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

// Processes that end while the list is read are no error: they are simply
// not running. (Reading a /proc file of a process that has just ended fails
// with ESRCH.)
TEST(IsProcessRunning, ProcessesEndingWhileTheListIsReadAreNoError)
{
    std::atomic<bool> done {false};
    std::thread churn([&] {
        char program[] = "/bin/true";
        char* argv[] = {program, nullptr};
        for (int i = 0; i < 2000; ++i) {
            pid_t pid = 0;
            if (::posix_spawn(&pid, program, nullptr, nullptr, argv, environ) == 0)
                ::waitpid(pid, nullptr, 0);
        }
        done = true;
    });
    while (!done)
        EXPECT_NO_THROW(platform::IsProcessRunning("nvlib.exe"));
    churn.join();
}
