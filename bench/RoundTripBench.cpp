// Client-to-server round trips per script statement in a networked
// installation, and statements per second at a given network latency: the
// script runner (with its journal) against the engine's own script tool
// (isql-fb, a commit after each statement), both through a relay in front of
// the Firebird server that UPDATER_FIREBIRD_SERVER names ("host/port").
//   build/bench/bench/bench_roundtrips [statements] [latency in microseconds, each way]
#include "TcpRelay.h"
#include "TestSupport.h"
#include "app/HeadlessView.h"
#include "dbupdate/DatabaseUpdate.h"
#include "dbupdate/Uglobdb.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string Inserts(int count, const char* separator)
{
    std::string script;
    for (int i = 0; i < count; ++i)
        script += "insert into T (ID, S) values (" + std::to_string(i) + ", 'row " + std::to_string(i) + "');" +
                  separator;
    return script;
}

struct Measure {
    long roundTrips;
    long packets;
    double seconds;
};

// One package of count single-row inserts and its version, applied by the
// updater's database update through the relay.
Measure RunUpdater(const testsupport::TempDir& dir, testsupport::TcpRelay& relay, int count, const std::string& name)
{
    const std::string path = dir / (name + ".fdb");
    testsupport::CreateVersionDatabase(path);
    testsupport::RunStatements(path, {"create table T (ID integer, S varchar(50))"});
    const std::string work = dir / ("work-" + name);
    fs::create_directories(work + "/up");
    std::ofstream(work + "/up/bench.sql", std::ios::binary) << Inserts(count, "\r\n");
    std::ofstream(work + "/up/version.sql", std::ios::binary) << "INSERT INTO VERSIONS (DATA) VALUES (1);\r\n";

    app::HeadlessView view;
    dbupdate::CGlobDB db("", "");
    db.Connect("", "127.0.0.1/" + std::to_string(relay.Port()) + ":" + path, "", "");
    dbupdate::UpdateContext context {view, db, {}};
    context.journal.BeginPackage(1);
    const long before = relay.RoundTrips();
    const long packetsBefore = relay.ClientPackets();
    const auto start = Clock::now();
    dbupdate::UpdateDatabase(context, work, &view.bar, &view.file, &view.updateTime);
    return {relay.RoundTrips() - before, relay.ClientPackets() - packetsBefore, Seconds(start)};
}

// The same inserts by isql-fb, each followed by a commit, through the relay.
Measure RunIsql(const testsupport::TempDir& dir, testsupport::TcpRelay& relay, int count, const std::string& name)
{
    const std::string path = dir / (name + ".fdb");
    testsupport::CreateVersionDatabase(path);
    testsupport::RunStatements(path, {"create table T (ID integer, S varchar(50))"});
    const std::string script = dir / (name + ".sql");
    std::ofstream(script, std::ios::binary) << Inserts(count, "\ncommit;\n");
    const std::string command = std::string("isql-fb -q -user SYSDBA -password ") + dbupdate::kDefaultPassword +
                                " -i '" + script + "' '127.0.0.1/" +
                                std::to_string(relay.Port()) + ":" + path + "' > /dev/null 2>&1";
    const long before = relay.RoundTrips();
    const long packetsBefore = relay.ClientPackets();
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0)
        std::printf("isql-fb failed on %s\n", name.c_str());
    return {relay.RoundTrips() - before, relay.ClientPackets() - packetsBefore, Seconds(start)};
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string server = testsupport::TestServer();
    if (server.empty()) {
        std::fprintf(stderr, "set UPDATER_FIREBIRD_SERVER to host/port of a Firebird server (scripts/firebird-test-server)\n");
        return 2;
    }
    const int statements = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int latency = argc > 2 ? std::atoi(argv[2]) : 500;
    testsupport::TempDir dir;
    try {
        // Round trips without latency: a run of one statement is subtracted,
        // so what connecting, the journal's set-up and the version script cost
        // once is left out.
        testsupport::TcpRelay counting(testsupport::ServerHost(server), testsupport::ServerPort(server));
        const Measure updaterOne = RunUpdater(dir, counting, 1, "u1");
        const Measure updaterMany = RunUpdater(dir, counting, statements + 1, "un");
        const Measure isqlOne = RunIsql(dir, counting, 1, "i1");
        const Measure isqlMany = RunIsql(dir, counting, statements + 1, "in");
        auto perStatement = [statements](long many, long one) { return double(many - one) / statements; };
        std::printf("per statement (%d single-row inserts):   round trips   client packets\n", statements);
        std::printf("  updater, with the journal:          %8.2f %16.2f\n",
                    perStatement(updaterMany.roundTrips, updaterOne.roundTrips),
                    perStatement(updaterMany.packets, updaterOne.packets));
        std::printf("  isql-fb, a commit after each:       %8.2f %16.2f\n",
                    perStatement(isqlMany.roundTrips, isqlOne.roundTrips),
                    perStatement(isqlMany.packets, isqlOne.packets));

        testsupport::TcpRelay slow(testsupport::ServerHost(server), testsupport::ServerPort(server));
        slow.SetLatency(std::chrono::microseconds(latency));
        const Measure updaterSlow = RunUpdater(dir, slow, statements, "us");
        const Measure isqlSlow = RunIsql(dir, slow, statements, "is");
        std::printf("statements per second at %.1f ms each way:\n", latency / 1000.0);
        std::printf("  updater: %.0f   isql-fb: %.0f   ratio %.2f\n", statements / updaterSlow.seconds,
                    statements / isqlSlow.seconds, isqlSlow.seconds / updaterSlow.seconds);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
