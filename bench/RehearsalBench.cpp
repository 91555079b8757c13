// `updater --rehearse` of the demo's two packages on an installation whose
// database holds about MB megabytes, then the update itself on the same
// database for comparison: the rehearsal's report gives the copy's backup and
// restore and each package's run on the copy.
//
//   [UPDATER_FIREBIRD_SERVER=host/port] bench_rehearsal [MB]   (default 200)
//
// Both run the packed release updater as a process of its own, on the
// embedded engine; with a server (scripts/firebird-test-server) the
// rehearsal runs through it too.
#include "BenchSupport.h"
#include "Installation.h"
#include "RarWriter.h"
#include "dbupdate/Uglobdb.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using bench::Clock;
using bench::Seconds;

namespace {

// The demo's packages: a table and a procedure under SET TERM, rows, a
// blob; then a column and UPDATEs with their SET lines on their own.
std::string Package122()
{
    return rarformat::WriteRar4(
        {{"up", "", true},
         {"up/122.001.sql", "SET SQL DIALECT 3;\r\n"
                            "CREATE TABLE PRICES (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(60), "
                            "PRICE NUMERIC(12,2));\r\n"
                            "SET TERM ^ ;\r\n"
                            "CREATE PROCEDURE ADD_PRICE (ID INTEGER, NAME VARCHAR(60), PRICE NUMERIC(12,2)) AS\r\n"
                            "BEGIN\r\n  INSERT INTO PRICES (ID, NAME, PRICE) VALUES (:ID, :NAME, :PRICE);\r\nEND^\r\n"
                            "SET TERM ; ^\r\n"
                            "EXECUTE PROCEDURE ADD_PRICE 1, 'Concrete M200', 1850.00;\r\n"
                            "EXECUTE PROCEDURE ADD_PRICE 2, 'Rebar A500', 31.40;\r\n"},
         {"up/122.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (122);\r\n"},
         {"up/INFO_DOC.NOTE_U.ID 200.blo", "Norvex 122: price list added.\r\n"},
         {"nvlib.exe", "Norvex 122\n"},
         {"Reports", "", true},
         {"Reports/Smeta.fr3", "<report name=\"Smeta\" version=\"122\"/>\n"}});
}

std::string Package123()
{
    return rarformat::WriteRar4({{"up", "", true},
                                 {"up/123.001.sql", "ALTER TABLE PRICES ADD UNIT VARCHAR(10);\r\n"
                                                    "UPDATE PRICES\r\nSET UNIT = 'm3'\r\nWHERE ID = 1;\r\n"
                                                    "UPDATE PRICES\r\nSET UNIT = 't'\r\nWHERE ID = 2;\r\n"},
                                 {"up/123.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (123);\r\n"},
                                 {"nvlib.exe", "Norvex 123\n"},
                                 {"Reports", "", true},
                                 {"Reports/Akt.fr3", "<report name=\"Akt\" version=\"123\"/>\n"}});
}

void Rehearse(const testsupport::Installation& installation, const std::string& engine)
{
    const auto start = Clock::now();
    const auto rehearsal = testsupport::RunUnattended(installation, {"--rehearse"});
    const double rehearsed = Seconds(start);
    const auto reportStart = rehearsal.out.find("Rehearsal on a copy");
    const std::string report = reportStart == std::string::npos ? rehearsal.out : rehearsal.out.substr(reportStart);
    std::printf("updater --rehearse (%s): exit code %d, %.2f s in all, peak memory %.0f MB\n%s%s", engine.c_str(),
                rehearsal.code, rehearsed, bench::PeakMegabytes(true), report.c_str(), rehearsal.err.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 200;
    testsupport::Installation installation(121, {{"122_RAR", Package122()}, {"123_RAR", Package123()}});
    std::printf("making a database of %d MB...\n", megabytes);
    auto start = Clock::now();
    bench::FillTo(installation.database, megabytes);
    std::printf("database: %.0f MB in %.1f s\n", bench::MB(std::filesystem::file_size(installation.database)),
                Seconds(start));

    Rehearse(installation, "embedded engine");
    // Through a server the backup travels to this machine and back.
    if (const std::string server = testsupport::TestServer(); !server.empty()) {
        installation.UseServer(server, server);
        Rehearse(installation, "server " + server);
        installation.connection = installation.database;
        std::filesystem::remove(installation.InExeDir("cnfg.ini"));
    }

    // The engine's own tool, the same backup sent to this machine, and the
    // same backup written by the engine to a file, for comparison.
    const std::string login = std::string(" -user ") + dbupdate::kDefaultUser + " -password " +
                              dbupdate::kDefaultPassword + " ";
    const std::string copy = installation.dir / "fbsvcmgr.fbk";
    start = Clock::now();
    if (std::system(("fbsvcmgr service_mgr" + login + "action_backup dbname '" + installation.database +
                     "' bkp_file stdout > '" + copy + "'").c_str()) != 0)
        std::printf("fbsvcmgr failed\n");
    std::printf("fbsvcmgr action_backup bkp_file stdout: %.2f s\n", Seconds(start));
    start = Clock::now();
    if (std::system(("gbak -b" + login + "'" + installation.database + "' '" + copy + "'").c_str()) != 0)
        std::printf("gbak failed\n");
    std::printf("gbak -b to a file: %.2f s\n", Seconds(start));

    start = Clock::now();
    const auto update = testsupport::RunUnattended(installation, {"--unattended", "--no-backup"});
    std::printf("the update itself (--unattended --no-backup): exit code %d, %.2f s\n", update.code, Seconds(start));
    return 0;
}
