#include "platform/Termination.h"

#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

// Outside a run a termination signal ends the process as usual; during one
// it is only recorded. A write to a closed pipe never ends it.
TEST(Termination, SignalsAreRecordedOnlyDuringARun)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        for (const bool duringRun : {false, true}) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                platform::TakeTerminationSignals();
                if (!platform::OwnsTerminationSignals())
                    ::_exit(3);
                std::optional<platform::TerminationDeferral> run;
                if (duringRun)
                    run.emplace();
                ::kill(::getpid(), signal);
                int ends[2];
                if (::pipe(ends) != 0)
                    ::_exit(4);
                ::close(ends[0]);
                const bool failedWrite = ::write(ends[1], "x", 1) < 0;
                ::_exit(platform::TerminationRequested() && failedWrite ? 7 : 8);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
            if (duringRun) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << signal << " " << status;
            } else {
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << " " << status;
            }
        }
    }
}
