// Symbolic links in the way back: in the run's folder or in the
// installation, they are never followed, whatever a record names.
#include "package/PutBack.h"
#include "package/RunRecord.h"

#include "platform/FileSystem.h"

#include "RecordingView.h"
#include "TestSupport.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>

using package::RunRecord;
using testsupport::ReadFile;
using testsupport::WriteFile;
namespace fs = std::filesystem;

TEST(RunRecord, SymbolicLinksInTheWayBackAreNeverFollowed)
{
    testsupport::TempDir root;
    const fs::path top(root.Path());
    const fs::path exe = top / "installation";
    const fs::path elsewhere = top / "elsewhere";
    fs::create_directories(exe / "Reports");
    fs::create_directories(elsewhere);
    const std::string exeDir = exe.string();
    WriteFile((elsewhere / "a.fr3").string(), "not the installation's");
    WriteFile((elsewhere / "new.fr3").string(), "not the installation's either");
    WriteFile((exe / "Reports" / "a.fr3").string(), "report 122");
    const std::string record = "version 121\nserver \ndatabase /db.fdb\nkept Reports/a.fr3\n";

    struct Case {
        const char* name;
        std::function<void()> plant;
    };
    const std::vector<Case> cases {
        // The kept folder's Reports leads elsewhere: a put-back would copy the
        // outside file in, and the run's beginning would delete it.
        {"a linked Reports in the kept folder",
         [&] {
             fs::create_directories(exe / "121.bak");
             fs::create_directory_symlink(elsewhere, exe / "121.bak" / "Reports");
         }},
        // The kept copy itself is a link to a file elsewhere.
        {"a linked kept copy",
         [&] {
             fs::create_directories(exe / "121.bak" / "Reports");
             fs::create_symlink(elsewhere / "a.fr3", exe / "121.bak" / "Reports" / "a.fr3");
         }},
        // The installation's Reports leads elsewhere: an added file would be
        // deleted there.
        {"a linked Reports in the installation",
         [&] {
             fs::create_directories(exe / "121.bak" / "Reports");
             WriteFile((exe / "121.bak" / "Reports" / "a.fr3").string(), "report 121");
             fs::rename(exe / "Reports", top / "Reports.real");
             fs::create_directory_symlink(elsewhere, exe / "Reports");
         }},
    };
    for (const Case& c : cases) {
        c.plant();
        WriteFile((exe / "121.bak" / "updater-run.txt").string(), record + "added Reports/new.fr3\n");
        const auto runs = package::ListRunRecords(exeDir);
        ASSERT_EQ(runs.size(), 1u) << c.name;
        EXPECT_NE(package::PutBackProblem(exeDir, runs[0]).find("symbolic link"), std::string::npos) << c.name;
        testsupport::RecordingView view;
        EXPECT_GT(package::PutBackProgramFiles(view, exeDir, runs[0]), 0) << c.name;
        package::RemoveKeptFolder(exeDir, runs[0]);
        // The run continuing this record replaces no file with a link on
        // its way.
        try {
            RunRecord::Begin(exeDir, 121, "", "/db.fdb").BeforeReplace("Reports/a.fr3");
            ADD_FAILURE() << c.name << ": replaced through a link";
        } catch (const package::KeepFailed& error) {
            EXPECT_EQ(error.Error(), platform::SymbolicLinkError()) << c.name;
        }
        EXPECT_EQ(ReadFile((elsewhere / "a.fr3").string()), "not the installation's") << c.name;
        EXPECT_EQ(ReadFile((elsewhere / "new.fr3").string()), "not the installation's either") << c.name;
        fs::remove_all(exe / "121.bak");
        if (fs::is_symlink(exe / "Reports")) {
            fs::remove(exe / "Reports");
            fs::rename(top / "Reports.real", exe / "Reports");
        }
    }

    // A kept folder that is itself a link: nothing is read or written through it.
    fs::create_directory_symlink(elsewhere, exe / "121.bak");
    WriteFile((elsewhere / "updater-run.txt").string(), record);
    const auto runs = package::ListRunRecords(exeDir);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NE(runs[0].problem.find("symbolic link"), std::string::npos) << runs[0].problem;
    EXPECT_THROW(RunRecord::Begin(exeDir, 121, "", "/db.fdb"), std::runtime_error);
    EXPECT_EQ(ReadFile((elsewhere / "updater-run.txt").string()), record);
}
