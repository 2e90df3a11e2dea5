// The registry's store: a new store gets its tables and base keys once, a
// store made before is used as it is, a file that is no store fails to open
// with an I/O fault, and a change left uncommitted leaves nothing behind.
#include <gtest/gtest.h>

#include <string>

#include "platform/host/RegistryStore.h"
#include "support/TempHost.h"

namespace {

using platform::RegistryStatement;
using platform::RegistryStoreError;
using platform::SqliteStatementCache;

int baseKeyLayouts = 0;

void AddThreeRoots(sqlite3* db) {
    ++baseKeyLayouts;
    SqliteStatementCache statements;
    for (const char* root : {"ONE", "TWO", "THREE"}) {
        RegistryStatement insert(statements, db, "INSERT INTO keys(parent, name, uname) VALUES(0, ?1, ?1)");
        insert.Bind(1, root);
        insert.Step();
    }
    statements.Finalize(db);
}

// The cache keeps the text of the SQL it was given, so that text outlives it.
std::int64_t Count(SqliteStatementCache& statements, sqlite3* db, const char* table) {
    static const std::string keys = "SELECT COUNT(*) FROM keys", vals = "SELECT COUNT(*) FROM vals";
    RegistryStatement count(statements, db, std::string(table) == "keys" ? keys.c_str() : vals.c_str());
    count.Step();
    return count.Int(0);
}

TEST(RegistryStore, ANewStoreIsLaidOutOnceAndUsedAsItIsAfterwards) {
    testsupport::TempHost host;
    baseKeyLayouts = 0;
    SqliteStatementCache statements;
    for (int open = 0; open < 2; ++open) {
        sqlite3* db = platform::OpenRegistryConnection(platform::RegistryStoreFile(), statements, AddThreeRoots);
        EXPECT_EQ(Count(statements, db, "keys"), 3);
        EXPECT_EQ(Count(statements, db, "vals"), 0);
        platform::CloseRegistryConnection(db, statements);
    }
    EXPECT_EQ(baseKeyLayouts, 1);
}

TEST(RegistryStore, AFileThatIsNoStoreFailsWithAnIoFault) {
    testsupport::TempHost host;
    testsupport::WriteHostFile(platform::RegistryStoreFile(), std::string(8192, '\x5A'));
    SqliteStatementCache statements;
    try {
        platform::OpenRegistryConnection(platform::RegistryStoreFile(), statements, AddThreeRoots);
        FAIL() << "opened";
    } catch (const RegistryStoreError& error) {
        EXPECT_EQ(error.fault, RegistryStoreError::Fault::IoFailed);
    }
}

TEST(RegistryStore, AChangeNotCommittedLeavesNothingAndANestedOneLeavesTheOuterWhole) {
    testsupport::TempHost host;
    SqliteStatementCache statements;
    sqlite3* db = platform::OpenRegistryConnection(platform::RegistryStoreFile(), statements, AddThreeRoots);
    const char* insert = "INSERT INTO vals(key, name, uname, type) VALUES(1, 'v', 'V', 1)";
    {
        platform::RegistryStoreChange change(statements, db);
        RegistryStatement(statements, db, insert).Step();
    }
    EXPECT_EQ(Count(statements, db, "vals"), 0);
    {
        platform::RegistryStoreChange outer(statements, db);
        RegistryStatement(statements, db, insert).Step();
        {
            platform::RegistryStoreChange inner(statements, db);
            RegistryStatement(statements, db, "DELETE FROM vals").Step();
        }
        outer.Commit();
    }
    EXPECT_EQ(Count(statements, db, "vals"), 1);
    platform::CloseRegistryConnection(db, statements);
}

}  // namespace
