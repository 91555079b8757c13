#pragma once
// The update's plan: the run changes the database and the installation, and
// keeps the way back (a backup of the database before the first package,
// the replaced program files and the run's record in the installation's
// folder VERSION.bak) for `updater --restore`.

#include "app/RunPlan.h"

#include <memory>

namespace package {
class RunRecord;
}

namespace app {

class UpdatePlan : public RunPlan {
public:
    // With noBackup the run makes no backup of the database (`--no-backup`).
    explicit UpdatePlan(bool noBackup = false);
    ~UpdatePlan() override;

    std::string WorkDirIn(const std::string& tempPath) const override;
    bool RefusedByMainProgram() const override { return true; }
    bool CreatesLockTable() const override { return true; }
    // Without the right to create or change the lock's table the update goes
    // on as it did before there was a lock, and says so once in its first
    // run log.
    void LockUnavailable(RunState& state) override;
    // Names the copies of the database that stopped rehearsals left.
    void AttachmentsChecked(RunState& state) override;

    // Makes the backup of the database, unless an unfinished run from this
    // version made one, and begins the run's record. A backup that fails
    // writes "error" and throws its DatabaseError; nothing is kept then.
    void Prepare(RunState& state) override;
    void UpdateDatabase(RunState& state, std::int64_t n, std::chrono::steady_clock::time_point start,
                        const std::function<void()>& update) override;
    // Installs them, each replaced one kept in the run's folder; only after
    // a database that took the whole package (a termination request stops
    // the run before).
    void ProgramFiles(RunState& state) override;
    // After a run that reached the highest package: records it complete, and
    // when nothing failed removes the runs older than the last two.
    void Finish(RunState& state) override;
    std::string InterruptionMessage(const RunState& state) const override;
    std::string End(RunState&) override { return {}; }

protected:
    // Installs the unpacked package's program files (only those named, when
    // only is given), each replaced one kept in the run's folder.
    void InstallFiles(RunState& state, const std::vector<std::string>* only);

    std::unique_ptr<package::RunRecord> record_;

private:
    const bool noBackup_;
};

}  // namespace app
