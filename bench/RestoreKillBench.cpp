// The way back killed (SIGKILL) at each of its steps, on an installation
// whose database holds about MB megabytes: the update's backup, the restored
// database made beside the database (as it is created and half-way), the
// moment it takes the database's place (through a server: the restore over
// the database, as it begins and half-way) and the put-back of the program
// files. After each kill it says what state the database is in, then runs
// `updater --restore` again and says whether that recovered it.
//
//   [UPDATER_FIREBIRD_SERVER=host/port] bench_restore_kill [MB]   (default 300)
//
// The updaters run on a lock directory of this run's own (FIREBIRD_LOCK): a
// killed embedded engine can leave a mutex of its lock files held, which
// would hang every later embedded attachment that shares them.
#include "BenchSupport.h"
#include "Installation.h"
#include "RarWriter.h"
#include "dbupdate/BackupNames.h"
#include "dbupdate/DatabaseError.h"
#include "dbupdate/Uglobdb.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using bench::Clock;
using bench::Seconds;
using testsupport::Installation;

namespace {

std::string Package122()
{
    return rarformat::WriteRar4({{"up", "", true},
                                 {"up/122.001.sql", "CREATE TABLE PRICES (ID INTEGER, NAME VARCHAR(60));\r\n"
                                                    "INSERT INTO PRICES VALUES (1, 'Concrete M200');\r\n"},
                                 {"up/122.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (122);\r\n"},
                                 {"nvlib.exe", "Norvex 122\n"},
                                 {"Reports", "", true},
                                 {"Reports/Smeta.fr3", "<report name=\"Smeta\" version=\"122\"/>\n"}});
}

// The updater started with options, its output to files beside the
// installation; killed when the object ends if it still runs.
class Updater {
public:
    Updater(const Installation& installation, const std::vector<std::string>& options)
        : out_(installation.dir / "stdout")
    {
        std::vector<std::string> arguments {installation.updater};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string err = installation.dir / "stderr";
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Updater()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
    }

    // Whether it still runs.
    bool Running()
    {
        if (pid_ <= 0)
            return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) != pid_)
            return true;
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        return false;
    }
    int Wait()
    {
        int status = 0;
        while (pid_ > 0 && ::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        if (pid_ > 0)
            code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        return code_;
    }
    void Kill()
    {
        if (pid_ > 0)
            ::kill(pid_, SIGKILL);
        Wait();
    }
    std::string Output() const
    {
        return fs::exists(out_) ? testsupport::ReadFile(out_) : std::string();
    }

private:
    std::string out_;
    pid_t pid_ = -1;
    int code_ = -1;
};

// Polls until ready says yes (true) or the updater ended first (false).
bool WaitFor(Updater& updater, const std::function<bool()>& ready)
{
    while (!ready()) {
        if (!updater.Running())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A message on one line.
std::string OneLine(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

std::string DatabaseState(const Installation& installation)
{
    try {
        return "opens at version " + std::to_string(installation.Version());
    } catch (const dbupdate::DatabaseError& error) {
        return "does not open (" + OneLine(error.what()) + ")";
    }
}

// Whether the database at connection is shut down: the server restores it.
bool ShutDown(const std::string& connection)
{
    try {
        testsupport::QueryInteger(connection, "SELECT 1 FROM RDB$DATABASE");
        return false;
    } catch (const dbupdate::DatabaseError& error) {
        return std::string(error.what()).find("shutdown") != std::string::npos;
    }
}

std::uintmax_t SizeOf(const std::string& path)
{
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

// Copies the installation's directory (database, backup, record, programs)
// to or from a saved one.
void CopyTree(const std::string& from, const std::string& to)
{
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive);
}

struct KillPoint {
    const char* step;
    // When to kill the running `--restore`, given the installation.
    std::function<bool(const Installation&, Updater&)> when;
};

// The outcome of a rerun of `--restore`: its exit code, the database after
// it and its message.
std::string Rerun(const Installation& installation)
{
    const auto start = Clock::now();
    const auto rerun = testsupport::RunUnattended(installation, {"--restore"});
    char took[48];
    std::snprintf(took, sizeof took, "exit %d in %.1f s, ", rerun.code, Seconds(start));
    return took + DatabaseState(installation) + (rerun.code == 0 ? "" : ": " + OneLine(rerun.err));
}

void Report(const char* engine, const char* step, bool killed, const std::string& state, const std::string& rerun)
{
    std::printf("| %s | %s | %s | %s | %s |\n", engine, step, killed ? "killed" : "ended before the point",
                state.c_str(), rerun.c_str());
    std::fflush(stdout);
}

// A server goes on with a restore whose updater was killed; waits until it
// has finished (both the check restore and the restore over the database).
void WaitForServer(const Installation& installation, const std::string& server, const std::string& restored)
{
    for (int i = 0; i < 600; ++i) {
        if (!ShutDown(installation.connection) && (!fs::exists(restored) || !ShutDown(server + ":" + restored)))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void RunEngine(Installation& installation, const char* engine, const std::string& server, const std::string& saved,
               const std::vector<KillPoint>& points)
{
    const std::string restored = dbupdate::CheckDatabasePathFor(dbupdate::BackupPathFor(installation.database, 121));
    for (const KillPoint& point : points) {
        if (!server.empty())
            WaitForServer(installation, server, restored);
        CopyTree(saved, installation.dir.Path());
        bool killed = false;
        {
            Updater updater(installation, {"--restore"});
            killed = point.when(installation, updater);
            if (killed)
                updater.Kill();
            else
                updater.Wait();
        }
        std::string state = DatabaseState(installation);
        if (fs::exists(restored))
            state += "; restored copy of " + std::to_string(SizeOf(restored) >> 20) + " MB beside it";
        std::string rerun = Rerun(installation);
        if (!rerun.starts_with("exit 0") && !server.empty()) {
            WaitForServer(installation, server, restored);
            rerun += "; once the server finished: " + Rerun(installation);
        }
        Report(engine, point.step, killed, state, rerun);
    }
}

// The update killed while it writes its backup, then `--restore`.
void KillTheBackup(Installation& installation, const char* engine, const std::string& saved121)
{
    CopyTree(saved121, installation.dir.Path());
    const std::string backup = dbupdate::BackupPathFor(installation.database, 121);
    bool killed = false;
    {
        Updater updater(installation, {"--unattended"});
        killed = WaitFor(updater, [&] { return SizeOf(backup) > (8u << 20); });
        if (killed)
            updater.Kill();
    }
    // A server goes on with the backup (attached to the database) until it
    // has written it whole.
    for (std::uintmax_t last = 0; killed && SizeOf(backup) != last;) {
        last = SizeOf(backup);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    const std::string state = DatabaseState(installation) +
                              (fs::exists(installation.InExeDir("121.bak")) ? "; 121.bak there" : "; no 121.bak");
    Report(engine, "the update's backup", killed, state, Rerun(installation));
}

bool LineCame(Updater& updater, const char* line)
{
    return WaitFor(updater, [&] { return updater.Output().find(line) != std::string::npos; });
}

}  // namespace

int main(int argc, char** argv)
{
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 300;
    testsupport::TempDir lock;
    setenv("FIREBIRD_LOCK", lock.Path().c_str(), 1);
    testsupport::TempDir saves;
    const std::string saved121 = saves / "121";
    const std::string saved122 = saves / "122";

    Installation installation(121, {{"122_RAR", Package122()}});
    std::printf("making a database of %d MB...\n", megabytes);
    bench::FillTo(installation.database, megabytes);
    CopyTree(installation.dir.Path(), saved121);
    const auto update = testsupport::RunUnattended(installation);
    if (update.code != 0) {
        std::printf("the update failed (%d): %s%s\n", update.code, update.out.c_str(), update.err.c_str());
        return 1;
    }
    CopyTree(installation.dir.Path(), saved122);
    const std::uintmax_t size = SizeOf(installation.database);
    std::printf("database %.0f MB, backup %.0f MB\n\n", bench::MB(size),
                bench::MB(SizeOf(dbupdate::BackupPathFor(installation.database, 121))));
    std::printf("| engine | killed during | | state after the kill | rerun of --restore |\n|---|---|---|---|---|\n");

    const std::string restored = dbupdate::CheckDatabasePathFor(dbupdate::BackupPathFor(installation.database, 121));
    auto created = [&](const Installation&, Updater& updater) {
        return WaitFor(updater, [&] { return fs::exists(restored); });
    };
    auto halfWay = [&](const Installation&, Updater& updater) {
        return WaitFor(updater, [&] { return SizeOf(restored) > size / 2; });
    };
    const std::string checked = "\n" + dbupdate::BackupPathFor(installation.database, 121) + "\n";
    // A progress line is written when the next one begins: the backup's
    // path, which follows the check, comes out as the database is replaced.
    auto inPlace = [&](const Installation&, Updater& updater) { return LineCame(updater, checked.c_str()); };
    // The server's restore over the database: killed a moment after it
    // began, and after half the time the check restore took.
    auto recreatedAfter = [&](double share) {
        return [&, share](const Installation&, Updater& updater) {
            if (!WaitFor(updater, [&] { return fs::exists(restored); }))
                return false;
            const auto start = Clock::now();
            if (!LineCame(updater, checked.c_str()))
                return false;
            const auto check = Clock::now() - start;
            std::this_thread::sleep_for(share == 0 ? std::chrono::duration_cast<Clock::duration>(
                                                         std::chrono::milliseconds(200))
                                                   : std::chrono::duration_cast<Clock::duration>(check * share));
            return updater.Running();
        };
    };
    auto putBack = [&](const Installation&, Updater& updater) {
        return LineCame(updater, "Відновлення файлів програми\n");
    };

    KillTheBackup(installation, "embedded", saved121);
    RunEngine(installation, "embedded", "", saved122,
              {{"the restored copy, as it is created", created},
               {"the restored copy, half-way", halfWay},
               {"the copy taking the database's place", inPlace},
               {"the put-back", putBack}});

    if (const std::string server = testsupport::TestServer(); !server.empty()) {
        // The same installation, networked: its update through the server.
        const std::string server121 = saves / "server121";
        const std::string server122 = saves / "server122";
        CopyTree(saved121, installation.dir.Path());
        installation.UseServer(server, server);
        CopyTree(installation.dir.Path(), server121);
        if (testsupport::RunUnattended(installation).code != 0) {
            std::printf("the update through the server failed\n");
            return 1;
        }
        CopyTree(installation.dir.Path(), server122);
        KillTheBackup(installation, "server", server121);
        RunEngine(installation, "server", server, server122,
                  {{"the check restore, as it is created", created},
                   {"the check restore, half-way", halfWay},
                   {"the restore over the database, 0.2 s after it began", recreatedAfter(0)},
                   {"the restore over the database, half-way", recreatedAfter(0.5)},
                   {"the put-back", putBack}});
    }
    return 0;
}
