// The update lock: how a conflict is told from the status, and what an
// account without the rights meets on a real embedded database. Holders and
// refusals are in the checks' and the server's tests.
#include "dbupdate/UpdateLock.h"

#include "dbupdate/CDBStatement.h"
#include "dbupdate/Uglobdb.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <memory>

using dbupdate::CGlobDB;
using dbupdate::UpdateLock;
using Outcome = dbupdate::UpdateLock::Outcome;

namespace {

struct Database {
    testsupport::TempDir dir;
    std::string path = dir / "norvexlib.fdb";
    Database() { testsupport::CreateVersionDatabase(path); }

    std::unique_ptr<CGlobDB> Connect(const std::string& user = "") const
    {
        auto db = std::make_unique<CGlobDB>("", "");
        db->Connect("", path, user, user.empty() ? "" : "secret");
        return db;
    }
};

}  // namespace

TEST(UpdateLock, TheStatusTellsAConflictAndTheTransactionHoldingTheRow)
{
    const char* text = "NVX$UPDATE_LOCK";
    struct Case {
        std::vector<ISC_STATUS> status;
        bool conflict;
        ISC_INT64 transaction;
    };
    const Case cases[] = {
        {{isc_arg_gds, isc_deadlock, isc_arg_gds, isc_update_conflict, isc_arg_gds, isc_concurrent_transaction,
          isc_arg_number, 11, isc_arg_end},
         true, 11},
        // Firebird 3 gives the number as a string.
        {{isc_arg_gds, isc_update_conflict, isc_arg_gds, isc_concurrent_transaction, isc_arg_string,
          reinterpret_cast<ISC_STATUS>("4294967300"), isc_arg_end},
         true, 4294967300LL},
        {{isc_arg_gds, isc_update_conflict, isc_arg_gds, isc_concurrent_transaction, isc_arg_string,
          reinterpret_cast<ISC_STATUS>("12x"), isc_arg_end},
         true, 0},
        {{isc_arg_gds, isc_lock_conflict, isc_arg_end}, true, 0},
        // A counted string before the code is skipped whole.
        {{isc_arg_cstring, 15, reinterpret_cast<ISC_STATUS>(text), isc_arg_gds, isc_unique_key_violation,
          isc_arg_end},
         true, 0},
        {{isc_arg_gds, isc_no_priv, isc_arg_string, reinterpret_cast<ISC_STATUS>(text), isc_arg_end}, false, 0},
        // The number must follow the code that says what it is.
        {{isc_arg_gds, isc_deadlock, isc_arg_number, 7, isc_arg_end}, true, 0},
        {{isc_arg_end}, false, 0},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        std::vector<ISC_STATUS> status = cases[i].status;
        status.resize(ISC_STATUS_LENGTH, isc_arg_end);
        EXPECT_EQ(dbupdate::IsLockConflict(status.data()), cases[i].conflict);
        EXPECT_EQ(dbupdate::ConcurrentTransaction(status.data()), cases[i].transaction);
    }
}

TEST(UpdateLock, AnAccountWithoutTheRightsGoesOnWithoutIt)
{
    const Database database;
    {
        // Neither the table nor the right to create it.
        auto clerk = database.Connect("CLERK");
        UpdateLock lock(*clerk);
        EXPECT_EQ(lock.Acquire(), Outcome::Unavailable);
        EXPECT_NE(lock.Reason().find("There is no privilege for this operation"), std::string::npos) << lock.Reason();
    }
    {
        auto owner = database.Connect();
        UpdateLock lock(*owner);
        ASSERT_EQ(lock.Acquire(), Outcome::Held);
    }
    // The table, but not the right to change its row.
    auto clerk = database.Connect("CLERK");
    UpdateLock lock(*clerk);
    EXPECT_EQ(lock.Acquire(), Outcome::Unavailable);
    EXPECT_NE(lock.Reason().find("no permission for"), std::string::npos) << lock.Reason();
    // The connection is usable as before.
    EXPECT_FALSE(clerk->InTransaction());
    clerk->StartTransaction();
    dbupdate::CDBStatement query(*clerk);
    query.SetSQL("select count(*) as N from rdb$database");
    query.Execute();
    EXPECT_EQ(query.FieldAsInteger("N"), 1);
}
