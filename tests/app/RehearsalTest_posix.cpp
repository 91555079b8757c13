// A rehearsal ended by SIGTERM removes its copy of the database and the
// copy's backup before it ends.
#include "app/Unattended.h"

#include "dbupdate/ScratchCopy.h"
#include "dbupdate/Uglobdb.h"
#include "package/WorkDir.h"
#include "platform/Paths.h"

#include "RarWriter.h"
#include "UnattendedProcess_posix.h"

#include <csignal>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::Installation;
using testsupport::ReadFile;

// The first statement takes three seconds, whatever the machine's speed, so
// that the signal comes while it runs.
TEST(Rehearsal, SigtermLeavesNoCopyBehind)
{
    const std::string slow = "SET TERM ^ ;\r\n"
                             "EXECUTE BLOCK AS DECLARE T0 TIMESTAMP = 'NOW'; BEGIN\r\n"
                             "  WHILE (DATEDIFF(MILLISECOND FROM T0 TO CAST('NOW' AS TIMESTAMP)) < 3000) DO T0 = T0;\r\n"
                             "END^\r\n"
                             "SET TERM ; ^\r\n"
                             "UPDATE INFO_DOC SET KIND = 1 WHERE ID = 200;\r\n";
    Installation installation(121, {{"122_RAR", rarformat::WriteRar4({{"up", "", true},
                                                                       {"up/122.001.sql", slow},
                                                                       {"up/122.099.sql",
                                                                        "INSERT INTO VERSIONS (DATA) VALUES (122);\r\n"},
                                                                       {"nvlib.exe", "program 122"}})}});
    const pid_t pid = fixture::StartUnattended(installation, false, {}, {"--unattended", "--rehearse"});
    const std::string out = installation.dir / "stdout";
    const bool running = fixture::WaitFor([&] {
        return fs::exists(out) && ReadFile(out).find("Встановлення оновлення\n") != std::string::npos;
    });
    ::kill(pid, SIGTERM);
    const fixture::UnattendedResult result = fixture::FinishUnattended(installation, pid);
    ASSERT_TRUE(running) << result.out;
    EXPECT_EQ(result.code, app::kExitError) << result.out << result.err;
    EXPECT_TRUE(result.err.ends_with("The rehearsal was interrupted at 122.001.sql of package 122.\n")) << result.err;
    EXPECT_NE(result.out.find("122.001.sql: 1 statement executed\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("The copy of the database was dropped and its backup deleted\n"), std::string::npos)
        << result.out;
    for (const auto& entry : fs::directory_iterator(installation.exeDir))
        EXPECT_EQ(entry.path().filename().string().find(".rehearsal."), std::string::npos) << entry.path();
    // Nothing failed: the rehearsal's working directory went with the copy.
    for (const auto& entry : fs::directory_iterator(installation.temp))
        EXPECT_NE(entry.path().filename().string().rfind(package::kRehearsalWorkDirPrefix, 0), 0u) << entry.path();
    EXPECT_EQ(installation.Version(), 121);
}

// A killed rehearsal leaves its copy beside the database: the next update
// names it, the next rehearsal removes it. A copy that another rehearsal
// has open, a link and a name of another form are left alone.
TEST(Rehearsal, LeftoverCopiesAreNamedByTheUpdateAndRemovedByTheNextRehearsal)
{
    Installation installation(120, {{"121_RAR", testsupport::Package121()}});
    const std::string left = dbupdate::ScratchPathFor(installation.database, "0badc0de");
    const std::string held = dbupdate::ScratchPathFor(installation.database, "5eed5eed");
    const std::string link = dbupdate::ScratchPathFor(installation.database, "11111111");
    const std::string other = dbupdate::ScratchPathFor(installation.database, "0BADC0DE");
    const std::string outside = installation.dir / "outside.fdb";
    for (const std::string& path : {left, other, outside})
        testsupport::WriteFile(path, "a copy");
    fs::create_symlink(outside, link);
    testsupport::CreateDatabase(held);
    dbupdate::CGlobDB rehearsing("", held);

    const auto rehearsal = testsupport::RunUnattended(installation, {"--unattended", "--rehearse"});
    EXPECT_EQ(rehearsal.code, app::kExitApplied) << rehearsal.out << rehearsal.err;
    EXPECT_NE(rehearsal.out.find("A copy of the database that a stopped rehearsal left was removed: " + left + "\n"),
              std::string::npos) << rehearsal.out;
    EXPECT_NE(rehearsal.out.find("A copy of the database that another rehearsal uses is left: " + held + "\n"),
              std::string::npos) << rehearsal.out;
    EXPECT_FALSE(fs::exists(left));
    EXPECT_TRUE(fs::exists(held));
    EXPECT_EQ(ReadFile(link), "a copy");
    EXPECT_EQ(ReadFile(other), "a copy");

    testsupport::WriteFile(left, "a copy");
    const auto update = testsupport::RunUnattended(installation);
    EXPECT_EQ(update.code, app::kExitApplied) << update.out << update.err;
    EXPECT_NE(update.out.find("A copy of the database that a stopped rehearsal left (0 MB): " + left +
                              "; the next rehearsal removes it\nНаявні пакети оновлення:\n"),
              std::string::npos) << update.out;
    EXPECT_EQ(update.out.find(held), std::string::npos) << update.out;
    EXPECT_TRUE(fs::exists(left));
}
