// Failures the storage reports must reach the caller: a full disk inside a
// transaction, a writer killed mid-transaction, SQL statements inside a transaction.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <csignal>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"
#include "tests/support/TestSupport.h"

using namespace edstest;

namespace {

// A SQLite file system over the real one whose writes fail with SQLITE_FULL while
// `full` is set: a disk that fills up at a moment the test chooses. With
// `tableWritesLeft` set, it fills once that many more writes reached table files
// (their journals still take theirs): a commit fails half-way through the table.
struct FullDisk {
    static inline std::atomic<bool> full{false};
    static inline std::atomic<int> tableWritesLeft{-1};
    static inline sqlite3_vfs* real = nullptr;
    static inline sqlite3_vfs vfs{};
    static inline sqlite3_io_methods methods{};

    struct File {
        sqlite3_file base;
        bool table;
        sqlite3_file* inner() { return reinterpret_cast<sqlite3_file*>(this + 1); }
    };
    static sqlite3_file* Inner(sqlite3_file* f) { return reinterpret_cast<File*>(f)->inner(); }

    FullDisk() {
        real = sqlite3_vfs_find(nullptr);
        vfs = *real;
        vfs.zName = "fulldisk";
        vfs.szOsFile = static_cast<int>(sizeof(File)) + real->szOsFile;
        vfs.xOpen = [](sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
            auto* file = reinterpret_cast<File*>(f);
            file->base.pMethods = nullptr;
            file->table = (flags & SQLITE_OPEN_MAIN_DB) != 0;
            const int rc = real->xOpen(real, name, file->inner(), flags, outFlags);
            if (rc == SQLITE_OK) file->base.pMethods = &methods;
            return rc;
        };
        methods.iVersion = 1;
        methods.xClose = [](sqlite3_file* f) { return Inner(f)->pMethods->xClose(Inner(f)); };
        methods.xRead = [](sqlite3_file* f, void* p, int n, sqlite3_int64 o) {
            return Inner(f)->pMethods->xRead(Inner(f), p, n, o);
        };
        methods.xWrite = [](sqlite3_file* f, const void* p, int n, sqlite3_int64 o) {
            if (reinterpret_cast<File*>(f)->table && tableWritesLeft >= 0 && tableWritesLeft-- == 0) full = true;
            if (full) return SQLITE_FULL;
            return Inner(f)->pMethods->xWrite(Inner(f), p, n, o);
        };
        methods.xTruncate = [](sqlite3_file* f, sqlite3_int64 n) { return Inner(f)->pMethods->xTruncate(Inner(f), n); };
        methods.xSync = [](sqlite3_file* f, int flags) { return Inner(f)->pMethods->xSync(Inner(f), flags); };
        methods.xFileSize = [](sqlite3_file* f, sqlite3_int64* n) { return Inner(f)->pMethods->xFileSize(Inner(f), n); };
        methods.xLock = [](sqlite3_file* f, int l) { return Inner(f)->pMethods->xLock(Inner(f), l); };
        methods.xUnlock = [](sqlite3_file* f, int l) { return Inner(f)->pMethods->xUnlock(Inner(f), l); };
        methods.xCheckReservedLock = [](sqlite3_file* f, int* r) {
            return Inner(f)->pMethods->xCheckReservedLock(Inner(f), r);
        };
        methods.xFileControl = [](sqlite3_file* f, int op, void* arg) {
            return Inner(f)->pMethods->xFileControl(Inner(f), op, arg);
        };
        methods.xSectorSize = [](sqlite3_file* f) { return Inner(f)->pMethods->xSectorSize(Inner(f)); };
        methods.xDeviceCharacteristics = [](sqlite3_file* f) {
            return Inner(f)->pMethods->xDeviceCharacteristics(Inner(f));
        };
        sqlite3_vfs_register(&vfs, 1);
    }
    ~FullDisk() {
        full = false;
        tableWritesLeft = -1;
        sqlite3_vfs_unregister(&vfs);
    }
};

const char kGroups[] = "G_ID,AutoInc; Group_Name,Char,40;";

std::vector<std::string> Names(EDSHANDLE table) {
    std::vector<std::string> names;
    EdsGotoTop(table);
    while (!AtEof(table)) {
        names.push_back(Text(table, "Group_Name"));
        EdsSkip(table, 1);
    }
    return names;
}

UNSIGNED32 AppendName(EDSHANDLE table, const std::string& name) {
    if (UNSIGNED32 rc = EdsAppendRecord(table)) return rc;
    if (UNSIGNED32 rc = SetText(table, "Group_Name", name)) return rc;
    const UNSIGNED32 rc = EdsWriteRecord(table);
    if (rc != EDS_SUCCESS) EdsCancelUpdate(table);
    return rc;
}

class Failures : public ::testing::Test {
protected:
    void SetUp() override {
        connection_ = Connect(dir_.str());
        EDSHANDLE table = 0;
        ASSERT_EQ(Create(connection_, "Groups", kGroups, &table), EDS_SUCCESS) << LastError();
        EDS_OK(AppendName(table, "kept"));
        EDS_OK(EdsCloseTable(table));
    }
    void TearDown() override { EdsDisconnect(connection_); }

    testsupport::TempDir dir_;
    EDSHANDLE connection_ = 0;
};

TEST_F(Failures, AFullDiskFailsTheWholeTransactionUntilItIsRolledBack) {
    FullDisk disk;
    EDSHANDLE table = 0, other = 0;
    EDS_OK(Create(connection_, "Other", kGroups, &other));
    EDS_OK(Open(connection_, "Groups", 0, &table));
    EDS_OK(EdsBeginTransaction(connection_));
    EDS_OK(AppendName(other, "other before"));
    EDS_OK(AppendName(table, "before"));
    // The disk fills: some append fails (SQLite then drops the file's transaction).
    FullDisk::full = true;
    UNSIGNED32 failed = EDS_SUCCESS;
    std::string text;
    for (int i = 0; i < 5000 && failed == EDS_SUCCESS; ++i) failed = AppendName(table, std::string(40, 'x'));
    text = LastError();
    FullDisk::full = false;
    ASSERT_EQ(failed, EDS_E_IO) << text;
    EXPECT_NE(text.find("Appending the record: "), std::string::npos) << text;
    // Room again: no later write and no commit may store the tail of the transaction.
    const UNSIGNED32 later = AppendName(table, "after");
    EXPECT_EQ(later, EDS_E_IO);
    EXPECT_NE(LastError().find("can only be rolled back"), std::string::npos) << LastError();
    EXPECT_EQ(AppendName(other, "other after"), EDS_E_IO);
    EXPECT_EQ(EdsCommitTransaction(connection_), EDS_E_IO);
    EXPECT_NE(LastError().find("rolled back"), std::string::npos) << LastError();
    EXPECT_EQ(EdsCommitTransaction(connection_), EDS_E_IO);  // still failed, still running
    EDS_OK(EdsRollbackTransaction(connection_));
    EXPECT_EQ(Names(table), (std::vector<std::string>{"kept"}));
    EXPECT_EQ(Names(other), (std::vector<std::string>{}));
    // The next transaction starts clean.
    EDS_OK(EdsBeginTransaction(connection_));
    EDS_OK(AppendName(table, "next"));
    EDS_OK(EdsCommitTransaction(connection_));
    EDS_OK(EdsCloseTable(table));
    EDS_OK(EdsCloseTable(other));
    EDS_OK(Open(connection_, "Groups", EDS_READONLY, &table));
    EXPECT_EQ(Names(table), (std::vector<std::string>{"kept", "next"}));
    EdsCloseTable(table);
}

TEST_F(Failures, ADiskThatFillsDuringTheCommitFailsItAndTheRollbackKeepsWhatWasCommitted) {
    FullDisk disk;
    EDSHANDLE table = 0;
    EDS_OK(Open(connection_, "Groups", 0, &table));
    EDS_OK(EdsBeginTransaction(connection_));
    for (int i = 0; i < 200; ++i) EDS_OK(AppendName(table, "uncommitted " + std::to_string(i) + std::string(30, 'x')));
    FullDisk::tableWritesLeft = 2;
    EXPECT_EQ(EdsCommitTransaction(connection_), EDS_E_IO);
    EXPECT_NE(LastError().find("Committing the transaction: "), std::string::npos) << LastError();
    ASSERT_TRUE(FullDisk::full) << "the commit wrote less than the test meant to let through";
    FullDisk::full = false;
    EDS_OK(EdsRollbackTransaction(connection_));
    EXPECT_EQ(Names(table), (std::vector<std::string>{"kept"}));
    EDS_OK(AppendName(table, "after"));
    EDS_OK(EdsCloseTable(table));
    EDS_OK(Open(connection_, "Groups", EDS_READONLY, &table));
    EXPECT_EQ(Names(table), (std::vector<std::string>{"kept", "after"}));
    EdsCloseTable(table);
}

TEST_F(Failures, AWriterKilledMidTransactionLeavesTheLastCommitForAReadOnlyOpen) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Enough rows that SQLite spills them into the file before the commit,
        // leaving a journal that only a rollback makes good.
        ::close(fds[0]);
        EDSHANDLE connection = 0, table = 0;
        char answer = 'x';
        if (EdsConnect(U(dir_.str()), &connection) == EDS_SUCCESS && Open(connection, "Groups", 0, &table) == EDS_SUCCESS &&
            AppendName(table, "committed") == EDS_SUCCESS && EdsBeginTransaction(connection) == EDS_SUCCESS) {
            answer = 'k';
            for (int i = 0; i < 60000 && answer == 'k'; ++i)
                if (AppendName(table, "uncommitted " + std::to_string(i)) != EDS_SUCCESS) answer = 'x';
        }
        if (::write(fds[1], &answer, 1) != 1) ::_exit(2);
        while (true) ::pause();
    }
    ::close(fds[1]);
    char answer = 0;
    ASSERT_EQ(::read(fds[0], &answer, 1), 1);
    ::close(fds[0]);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ASSERT_EQ(answer, 'k');
    ASSERT_TRUE(std::filesystem::exists(dir_ / "Groups.edt-journal"));  // the crash the test is about
    EDSHANDLE table = 0;
    EDS_OK(Open(connection_, "Groups", EDS_READONLY, &table));
    EXPECT_EQ(Names(table), (std::vector<std::string>{"kept", "committed"}));
    EdsCloseTable(table);
}

TEST_F(Failures, SqlThatChangesTablesIsRefusedInsideATransactionAndReadsStillRun) {
    auto run = [&](const std::string& sql, EDSHANDLE* cursor) {
        EDSHANDLE stmt = 0;
        EXPECT_EQ(EdsCreateSQLStatement(connection_, &stmt), EDS_SUCCESS);
        const UNSIGNED32 rc = EdsExecuteSQLDirect(stmt, U(sql), cursor);
        EdsCloseSQLStatement(stmt);
        return rc;
    };
    EDSHANDLE table = 0, cursor = 0;
    EDS_OK(Open(connection_, "Groups", 0, &table));
    EDS_OK(EdsBeginTransaction(connection_));
    EDS_OK(AppendName(table, "in transaction"));
    for (const char* sql : {"INSERT INTO Groups(Group_Name) VALUES('sql')", "UPDATE Groups SET Group_Name = 'x'",
                            "DELETE FROM Groups"}) {
        EXPECT_EQ(run(sql, &cursor), EDS_E_TRANSACTION) << sql;
        EXPECT_NE(LastError().find("inside a transaction"), std::string::npos) << LastError();
    }
    // No SQL makes a table, in a transaction or not.
    EXPECT_EQ(run("CREATE TABLE Extra(a)", &cursor), EDS_E_SQL);
    EXPECT_NE(LastError().find("CREATE TABLE cannot be run through SQL"), std::string::npos) << LastError();
    EDS_OK(run("SELECT Group_Name FROM Groups", &cursor));
    EXPECT_NE(cursor, 0u);
    EdsCloseTable(cursor);
    EDS_OK(EdsRollbackTransaction(connection_));
    EDS_OK(run("INSERT INTO Groups(Group_Name) VALUES('sql')", &cursor));
    EXPECT_EQ(Names(table), (std::vector<std::string>{"kept", "sql"}));
    EdsCloseTable(table);
}

}  // namespace
