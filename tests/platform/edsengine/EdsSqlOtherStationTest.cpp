// SQL beside another station (a second process): whatever a statement's shape,
// it changes, replaces and deletes no record the other station holds locked,
// and no row it inserts takes a record number the other station reserved; a
// record the statement has changed stays its own until it is committed.

#include "platform/edsengine/EdsLockFile.h"
#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using edstest::LastError;
using edstest::U;

// Another station: a child process with the table open, doing what it is told
// one command at a time and answering each with a number.
class Station {
public:
    Station(const std::string& folder, const std::string& name) {
        int down[2], up[2];
        if (::pipe(down) != 0 || ::pipe(up) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(down[1]);
            ::close(up[0]);
            Serve(folder, name, down[0], up[1]);
            ::_exit(0);
        }
        ::close(down[0]);
        ::close(up[1]);
        to_ = down[1];
        from_ = up[0];
    }
    ~Station() {
        ::close(to_);
        ::close(from_);
        ::waitpid(pid_, nullptr, 0);
    }
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // 'l' n: lock record n (answers the code); 'a' n: append a record, after n ms,
    // with its field A set, trying again while the table is busy (answers its
    // record number); 'w': write it (answers the code).
    void Send(char command, std::int64_t argument = 0) {
        char message[9] = {command};
        std::memcpy(message + 1, &argument, 8);
        if (::write(to_, message, sizeof message) != static_cast<ssize_t>(sizeof message)) ADD_FAILURE() << "write";
    }
    std::int64_t Answer() {
        std::int64_t value = -1;
        if (::read(from_, &value, sizeof value) != static_cast<ssize_t>(sizeof value)) ADD_FAILURE() << "no answer";
        return value;
    }
    std::int64_t Ask(char command, std::int64_t argument = 0) {
        Send(command, argument);
        return Answer();
    }

private:
    static void Serve(const std::string& folder, const std::string& name, int in, int out) {
        EDSHANDLE connection = 0, table = 0;
        if (EdsConnect(U(folder), &connection) != EDS_SUCCESS || edstest::Open(connection, name, 0, &table) != EDS_SUCCESS)
            ::_exit(1);
        char message[9];
        while (::read(in, message, sizeof message) == static_cast<ssize_t>(sizeof message)) {
            std::int64_t argument = 0;
            std::memcpy(&argument, message + 1, 8);
            std::int64_t answer = -1;
            if (message[0] == 'l') answer = EdsLockRecord(table, static_cast<UNSIGNED32>(argument));
            if (message[0] == 'a') {
                ::usleep(static_cast<useconds_t>(argument) * 1000);
                // A statement holds the record numbers while it runs: the append is
                // refused after a while, and tried again, as its user would.
                UNSIGNED32 rc = EDS_E_BUSY;
                while (rc == EDS_E_BUSY) rc = EdsAppendRecord(table);
                if (rc == EDS_SUCCESS && edstest::SetText(table, "A", "B's") == EDS_SUCCESS)
                    answer = edstest::RecNo(table);
            }
            if (message[0] == 'w') answer = EdsWriteRecord(table);
            if (::write(out, &answer, sizeof answer) != static_cast<ssize_t>(sizeof answer)) ::_exit(2);
        }
        EdsDisconnect(connection);
    }

    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
};

// Another station running SQL: each line sent is a statement, answered with
// its code (and, for a SELECT, the text of its first row's first column).
class SqlStation {
public:
    explicit SqlStation(const std::string& folder) {
        int down[2], up[2];
        if (::pipe(down) != 0 || ::pipe(up) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(down[1]);
            ::close(up[0]);
            Serve(folder, down[0], up[1]);
            ::_exit(0);
        }
        ::close(down[0]);
        ::close(up[1]);
        to_ = down[1];
        from_ = up[0];
    }
    ~SqlStation() {
        Kill();
        ::close(to_);
        ::close(from_);
    }
    SqlStation(const SqlStation&) = delete;
    SqlStation& operator=(const SqlStation&) = delete;

    void Send(const std::string& sql) {
        const std::string line = sql + "\n";
        if (::write(to_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) ADD_FAILURE() << "write";
    }
    std::string Answer() {
        std::string line;
        char c = 0;
        while (::read(from_, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }
    std::string Ask(const std::string& sql) {
        Send(sql);
        return Answer();
    }
    void Kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    static void Serve(const std::string& folder, int in, int out) {
        EDSHANDLE connection = 0;
        if (EdsConnect(U(folder), &connection) != EDS_SUCCESS) ::_exit(1);
        FILE* commands = ::fdopen(in, "r");
        char* line = nullptr;
        size_t room = 0;
        ssize_t length = 0;
        while ((length = ::getline(&line, &room, commands)) > 0) {
            const std::string sql(line, static_cast<std::size_t>(length - 1));
            EDSHANDLE stmt = 0, cursor = 0;
            EdsCreateSQLStatement(connection, &stmt);
            std::string answer = std::to_string(EdsExecuteSQLDirect(stmt, U(sql), &cursor));
            if (cursor && EdsGotoTop(cursor) == EDS_SUCCESS) answer += " " + edstest::Text(cursor, 1);
            if (cursor) EdsCloseTable(cursor);
            EdsCloseSQLStatement(stmt);
            answer += "\n";
            if (::write(out, answer.data(), answer.size()) != static_cast<ssize_t>(answer.size())) ::_exit(2);
        }
        ::free(line);
        EdsDisconnect(connection);
    }

    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
};

// Waits until `done` holds; false when it does not within a minute.
template <class Condition>
bool Eventually(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done())
        if (std::chrono::steady_clock::now() > deadline) return false;
        else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

// A statement that inserts into a table row by row without end; a station
// running it is killed.
std::string EndlessInsert(const std::string& table) {
    return "insert into " + table +
           "(A) select 'endless' from (with recursive c(n) as (select 1 union all select n + 1 from c) "
           "select n from c) where n < 0";
}

// An Integer field of the current record.
std::int64_t Integer(EDSHANDLE table, const char* field) {
    std::int32_t value = 0;
    UNSIGNED32 length = sizeof value;
    if (EdsGetField(table, field, reinterpret_cast<UNSIGNED8*>(&value), &length, EDS_NONE) != EDS_SUCCESS) return -1;
    return value;
}

// A station beside a long statement of this process. It finds how far the
// statement has come by the record locks the statement holds (a test, which
// takes none), locks a record itself, and once told that the statement is over
// reads that record and writes its field N one higher. Answers whether it saw
// the statement come, what its first lock answered, whether it got the lock,
// the N it read and what its write answered.
class Beside {
public:
    struct Told {
        std::int64_t seen = 0, first = -1, granted = 0, read = -1, written = -1;
    };

    // `watch`: the record whose lock shows the statement there; `lock`: the one it locks.
    Beside(const std::string& folder, const std::string& name, std::int64_t watch, std::int64_t lock) {
        int down[2], up[2];
        if (::pipe(down) != 0 || ::pipe(up) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(down[1]);
            ::close(up[0]);
            Serve(folder, name, watch, lock, down[0], up[1]);
            ::_exit(0);
        }
        ::close(down[0]);
        ::close(up[1]);
        to_ = down[1];
        from_ = up[0];
        char ready = 0;
        ready_ = ::read(from_, &ready, 1) == 1 && ready == 'r';
    }
    ~Beside() {
        ::close(to_);
        ::close(from_);
        ::waitpid(pid_, nullptr, 0);
    }
    Beside(const Beside&) = delete;
    Beside& operator=(const Beside&) = delete;

    bool Ready() const { return ready_; }
    // The statement is over: the station answers.
    Told Over() {
        if (::write(to_, "d", 1) != 1) ADD_FAILURE() << "write";
        Told told;
        if (::read(from_, &told, sizeof told) != static_cast<ssize_t>(sizeof told)) ADD_FAILURE() << "no answer";
        return told;
    }

private:
    static void Serve(const std::string& folder, const std::string& name, std::int64_t watch, std::int64_t lock,
                      int in, int out) {
        try {
            Watch(folder, name, watch, lock, in, out);
        } catch (...) {
            ::_exit(3);
        }
    }
    static void Watch(const std::string& folder, const std::string& name, std::int64_t watch, std::int64_t lock,
                      int in, int out) {
        EDSHANDLE connection = 0, table = 0;
        if (EdsConnect(U(folder), &connection) != EDS_SUCCESS || edstest::Open(connection, name, 0, &table) != EDS_SUCCESS)
            ::_exit(1);
        eds::LockFile probe(folder + "/" + name + ".edt");
        if (::write(out, "r", 1) != 1) ::_exit(2);
        bool over = false;
        auto told = [&] {
            pollfd p{in, POLLIN, 0};
            if (!over && ::poll(&p, 1, 0) == 1) {
                char c = 0;
                over = ::read(in, &c, 1) == 1;
            }
            return over;
        };
        Told answer;
        while (!told() && !(answer.seen = probe.RecordLockedElsewhere(watch))) ::sched_yield();
        if (answer.seen) {
            answer.first = EdsLockRecord(table, static_cast<UNSIGNED32>(lock));
            // Refused while the statement holds the record; granted once it is over.
            while (true) {
                const bool ended = told();
                answer.granted = EdsLockRecord(table, static_cast<UNSIGNED32>(lock)) == EDS_SUCCESS;
                if (answer.granted || ended) break;
                ::sched_yield();
            }
        }
        while (!told()) ::poll(nullptr, 0, 1);
        if (answer.granted && EdsGotoRecord(table, static_cast<UNSIGNED32>(lock)) == EDS_SUCCESS) {
            answer.read = Integer(table, "N");
            answer.written = edstest::SetInt(table, "N", static_cast<std::int32_t>(answer.read + 1));
            if (answer.written == EDS_SUCCESS) answer.written = EdsWriteRecord(table);
        }
        if (::write(out, &answer, sizeof answer) != static_cast<ssize_t>(sizeof answer)) ::_exit(2);
        EdsDisconnect(connection);
    }

    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
    bool ready_ = false;
};

struct Outcome {
    UNSIGNED32 rc = 0;
    std::string text;
    std::int64_t affected = -1;
    std::int64_t autoinc = 0;
};

class OtherStation : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    EDSHANDLE connection = 0;

    void SetUp() override { connection = edstest::Connect(dir.str()); }
    void TearDown() override { EdsDisconnect(connection); }

    void Make(const std::string& name, const std::string& fields) {
        EDSHANDLE table = 0;
        ASSERT_EQ(edstest::Create(connection, name, fields, &table), EDS_SUCCESS) << LastError();
        EdsCloseTable(table);
    }

    Outcome Run(const std::string& sql) {
        Outcome out;
        EDSHANDLE stmt = 0, cursor = 0;
        EdsCreateSQLStatement(connection, &stmt);
        out.rc = EdsExecuteSQLDirect(stmt, U(sql), &cursor);
        out.text = LastError();
        UNSIGNED32 count = 0, last = 0;
        if (out.rc == EDS_SUCCESS && EdsGetRecordCount(stmt, EDS_IGNOREFILTERS, &count) == EDS_SUCCESS)
            out.affected = count;
        if (out.rc == EDS_SUCCESS && EdsGetLastAutoinc(stmt, &last) == EDS_SUCCESS) out.autoinc = last;
        if (cursor) EdsCloseTable(cursor);
        EdsCloseSQLStatement(stmt);
        return out;
    }

    // Every row of a table as "recno:A", in record order.
    std::vector<std::string> Rows(const std::string& name) {
        EDSHANDLE table = 0;
        std::vector<std::string> rows;
        EXPECT_EQ(edstest::Open(connection, name, 0, &table), EDS_SUCCESS) << LastError();
        for (EdsGotoTop(table); !edstest::AtEof(table); EdsSkip(table, 1))
            rows.push_back(std::to_string(edstest::RecNo(table)) + ":" + edstest::Text(table, "A"));
        EdsCloseTable(table);
        return rows;
    }
};

TEST_F(OtherStation, NoStatementChangesReplacesOrDeletesARecordItHoldsLocked) {
    Make("T", "ID,AutoInc; A,Char,10; U,Integer;");
    ASSERT_EQ(Run("insert into T(A, U) values('one', 1), ('two', 2), ('three', 3)").rc, EDS_SUCCESS);
    const std::vector<std::string> before = Rows("T");
    Station b(dir.str(), "T");
    ASSERT_EQ(b.Ask('l', 1), EDS_SUCCESS);
    for (const char* sql : {
             "update T set A = 'p' where ID = 1",
             "with x as (select 1) update T set A = 'p' where ID = 1",
             "with x as (select 1) delete from T where ID = 1",
             "update T set A = 'p' from (select 1 as k) as z where ID = z.k",
             "update T set A = 'p' where ID = 1 limit 1",
             "update T set A = 'p' where ID > 0 order by ID desc limit 3",
             "delete from T where ID = 1 limit 1",
             "delete from T",
             "replace into T(ID, A) values(1, 'p')",
             "insert or replace into T(ID, A) values(1, 'p')",
             "insert into T(ID, A) values(1, 'x') on conflict(ID) do update set A = 'p'",
             "update or replace T set ID = 1 where ID = 3",
             // Rows before the locked one are changed first, and undone with it.
             "update T set A = 'p' where ID in (select ID from T order by ID desc)",
             "insert or replace into T(ID, A) values(3, 'p'), (2, 'p'), (1, 'p')",
         }) {
        const Outcome out = Run(sql);
        EXPECT_EQ(out.rc, EDS_E_RECORD_LOCKED) << sql << ": " << out.text;
        EXPECT_NE(out.text.find("record 1 "), std::string::npos) << sql << ": " << out.text;
        EXPECT_EQ(Rows("T"), before) << sql;
    }
    // The rows that a REPLACE removes through another unique key are judged too;
    // SQLite shows them to the checks only with recursive triggers on.
    ASSERT_EQ(Run("create unique index T_U on T (U)").rc, EDS_SUCCESS);
    for (const char* sql : {"replace into T(A, U) values('p', 1)", "update or replace T set U = 1 where ID = 2"}) {
        EXPECT_EQ(Run(sql).rc, EDS_E_RECORD_LOCKED) << sql;
        EXPECT_EQ(Rows("T"), before) << sql;
    }
    // What the statement picks at random is judged as it picks it.
    for (int i = 0; i < 20; ++i) {
        const UNSIGNED32 rc = Run("delete from T where ID = 1 or abs(random()) % 2 = 0").rc;
        EXPECT_EQ(rc, EDS_E_RECORD_LOCKED);
        EXPECT_EQ(Rows("T"), before);
    }
    // Other records stay open to every shape, with the rows affected as SQLite counts them.
    EXPECT_EQ(Run("with x as (select 2 as k) update T set A = 'w' where ID = (select k from x)").affected, 1);
    EXPECT_EQ(Run("update T set A = 'o' where ID > 1 order by ID limit 5").affected, 2);
    EXPECT_EQ(Run("delete from T where ID = 3").affected, 1);
    EXPECT_EQ(Rows("T"), (std::vector<std::string>{"1:one", "2:o"}));
    // A field may take the name rowid: records are still judged by their numbers.
    Make("R", "rowid,Char,5; A,Char,10;");
    ASSERT_EQ(Run("insert into R(rowid, A) values('r1', 'one'), ('r2', 'two')").rc, EDS_SUCCESS);
    Station r(dir.str(), "R");
    ASSERT_EQ(r.Ask('l', 1), EDS_SUCCESS);
    EXPECT_EQ(Run("update R set rowid = 'x'").rc, EDS_E_RECORD_LOCKED);
    EXPECT_EQ(Run("delete from R where oid = 1").rc, EDS_E_RECORD_LOCKED);
    EXPECT_EQ(Run("delete from R where oid = 2").affected, 1);
    EXPECT_EQ(Rows("R"), (std::vector<std::string>{"1:one"}));
}

TEST_F(OtherStation, NoInsertTakesARecordNumberItReserved) {
    for (const char* name : {"T", "M"}) {
        SCOPED_TRACE(name);
        Make(name, std::string(name) == "T" ? "ID,AutoInc; A,Char,10;" : "A,Char,10; N,Integer;");
        ASSERT_EQ(Run("insert into " + std::string(name) + "(A) values('one'), ('two'), ('three')").rc, EDS_SUCCESS);
        Station b(dir.str(), name);
        const std::int64_t reserved = b.Ask('a');
        ASSERT_EQ(reserved, 4);
        const std::string t = name;
        const Outcome with = Run("with x as (select 1) insert into " + t + "(A) select 'c' from x");
        EXPECT_EQ(with.rc, EDS_SUCCESS) << with.text;
        EXPECT_EQ(with.affected, 1);
        EXPECT_EQ(with.autoinc, 5);
        for (const std::string& sql :
             {"insert into " + t + "(A) values('d')", "replace into " + t + "(A) values('e')",
              "insert into " + t + "(A) select A from " + t + " where rowid <= 2",
              "insert into " + t + "(A) with recursive c(x) as (select 1 union all select x + 1 from c where x < 5) "
                                   "select 'f' from c"})
            EXPECT_EQ(Run(sql).rc, EDS_SUCCESS) << sql;
        // A number handed out to the other station is refused when named, in any form.
        const std::string number = std::string(name) == "T" ? "ID" : "rowid";
        for (const std::string& sql :
             {"insert into " + t + "(" + number + ", A) values(4, 'x')",
              "insert or replace into " + t + "(" + number + ", A) values(4, 'x')",
              "insert into " + t + "(" + number + ", A) values(100, 'y'), (4, 'x')",
              "update " + t + " set " + number + " = 4 where " + number + " = 5"}) {
            const Outcome out = Run(sql);
            EXPECT_EQ(out.rc, EDS_E_UNIQUE_VIOLATION) << sql << ": " << out.text;
        }
        EXPECT_EQ(b.Ask('w'), EDS_SUCCESS);
        // A record's number stays its own when REPLACE puts a new row in its place.
        EXPECT_EQ(Run("replace into " + t + "(" + number + ", A) values(2, 'r')").rc, EDS_SUCCESS);
        const std::vector<std::string> rows = Rows(name);
        ASSERT_EQ(rows.size(), 14u);
        EXPECT_EQ(rows[1], "2:r");
        EXPECT_EQ(rows[3], "4:B's");
        EXPECT_EQ(rows[4], "5:c");
        // A number never handed out may be named; the next insert goes above it.
        EXPECT_EQ(Run("insert into " + t + "(" + number + ", A) values(50, 'g')").rc, EDS_SUCCESS);
        EXPECT_EQ(b.Ask('a'), 51);
    }
}

TEST_F(OtherStation, AManyRowInsertLeavesANumberReservedWhileItRunsToItsStation) {
    Make("T", "ID,AutoInc; A,Char,10;");
    ASSERT_EQ(Run("insert into T(A) values('one'), ('two'), ('three')").rc, EDS_SUCCESS);
    Station b(dir.str(), "T");
    b.Send('a', 100);  // reserves while the insert below runs
    const Outcome out = Run(
        "insert into T(A) with recursive c(x) as (select 1 union all select x + 1 from c where x < 400000) "
        "select 'b' from c");
    EXPECT_EQ(out.rc, EDS_SUCCESS) << out.text;
    EXPECT_EQ(out.affected, 400000);
    const std::int64_t reserved = b.Answer();
    EXPECT_GT(reserved, 400003);
    EXPECT_EQ(b.Ask('w'), EDS_SUCCESS) << "the record reserved as " << reserved << " was lost";
    EDSHANDLE table = 0;
    ASSERT_EQ(edstest::Open(connection, "T", 0, &table), EDS_SUCCESS) << LastError();
    UNSIGNED32 count = 0;
    EXPECT_EQ(EdsGetRecordCount(table, EDS_IGNOREFILTERS, &count), EDS_SUCCESS);
    EXPECT_EQ(count, 400004u);
    EXPECT_EQ(EdsGotoBottom(table), EDS_SUCCESS);
    EXPECT_EQ(edstest::RecNo(table), static_cast<UNSIGNED32>(reserved));
    EXPECT_EQ(edstest::Text(table, "A"), "B's");
    EdsCloseTable(table);
}

TEST_F(OtherStation, AStatementHoldsTheTablesItWritesAndNoOther) {
    Make("Busy", "A,Char,10; N,Integer;");
    Make("Other", "A,Char,10; N,Integer;");
    Make("Auto", "ID,AutoInc; A,Char,10;");
    ASSERT_EQ(Run("insert into Other(A, N) values('one', 1)").rc, EDS_SUCCESS);
    ASSERT_EQ(Run("insert into Auto(A) values('one')").rc, EDS_SUCCESS);
    {
        // A's session has Other and Auto attached from a first statement while
        // it inserts into Busy; its run holds Busy's record numbers.
        SqlStation a(dir.str());
        ASSERT_EQ(a.Ask("select Other.A || Auto.A from Other, Auto"), "0 oneone");
        a.Send(EndlessInsert("Busy"));
        eds::LockFile busy((dir / "Busy.edt").string());
        ASSERT_TRUE(Eventually([&] { return busy.NumbersHeldElsewhere(); }));
        // Appends and edits of the other tables go on beside it.
        EDSHANDLE other = 0;
        EDS_OK(edstest::Open(connection, "Other", 0, &other));
        EDS_EXPECT_OK(EdsAppendRecord(other));
        EDS_EXPECT_OK(edstest::SetText(other, "A", "appended"));
        EDS_EXPECT_OK(EdsWriteRecord(other));
        EDS_EXPECT_OK(EdsGotoTop(other));
        EDS_EXPECT_OK(edstest::SetText(other, "A", "edited"));
        EDS_EXPECT_OK(EdsWriteRecord(other));
        EdsCloseTable(other);
        // So does SQL, on a session that has Busy attached too.
        EXPECT_EQ(Run("select count(*) from Busy").rc, EDS_SUCCESS);
        for (const char* sql : {"insert into Other(A, N) values('sql', 3)", "update Other set N = N + 10",
                                "insert into Auto(A) values('sql')", "insert into Other(A) select A from Auto"}) {
            const Outcome out = Run(sql);
            EXPECT_EQ(out.rc, EDS_SUCCESS) << sql << ": " << out.text;
        }
        EXPECT_TRUE(busy.NumbersHeldElsewhere()) << "the insert into Busy ended";
    }
    EXPECT_EQ(Rows("Busy"), std::vector<std::string>{});
    EXPECT_EQ(Rows("Other"), (std::vector<std::string>{"1:edited", "2:appended", "3:sql", "4:one", "5:sql"}));

    // A statement waits for the table it writes before it takes the table's
    // record numbers: an append inside a transaction, which holds the table
    // while it reserves, goes on while the statement waits.
    SqlStation c(dir.str());
    EDS_OK(EdsBeginTransaction(connection));
    EDSHANDLE autoinc = 0;
    EDS_OK(edstest::Open(connection, "Auto", 0, &autoinc));
    EDS_EXPECT_OK(EdsAppendRecord(autoinc));
    EDS_EXPECT_OK(edstest::SetText(autoinc, "A", "first"));
    EDS_EXPECT_OK(EdsWriteRecord(autoinc));
    c.Send("insert into Auto(A) values('c')");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // C is waiting for Auto by now
    eds::LockFile numbers((dir / "Auto.edt").string());
    EXPECT_FALSE(numbers.NumbersHeldElsewhere()) << "C holds the record numbers while it waits";
    EDS_EXPECT_OK(EdsAppendRecord(autoinc));
    EDS_EXPECT_OK(edstest::SetText(autoinc, "A", "second"));
    EDS_EXPECT_OK(EdsWriteRecord(autoinc));
    EDS_EXPECT_OK(EdsCommitTransaction(connection));
    EdsCloseTable(autoinc);
    EXPECT_EQ(c.Answer(), "0");
    std::vector<std::string> rows = Rows("Auto");
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(rows.begin(), rows.begin() + 4),
              (std::vector<std::string>{"1:one", "2:sql", "3:first", "4:second"}));
    EXPECT_EQ(rows[4].substr(rows[4].find(':')), ":c");
}

TEST_F(OtherStation, ARecordLockedWhileAStatementRunsIsNeverChangedUnderItsLock) {
    // A statement over many rows, and a station that locks a record of it as
    // it runs: before the statement comes to the record, and after it passed it.
    constexpr std::int64_t kRows = 200000;
    Make("L", "N,Integer;");
    ASSERT_EQ(Run("insert into L(N) with recursive c(x) as (select 1 union all select x + 1 from c where x < " +
                  std::to_string(kRows) + ") select x from c")
                  .rc,
              EDS_SUCCESS);
    // The rows whose N is not their record number (plus `by`).
    auto moved = [&](std::int64_t by) {
        EDSHANDLE stmt = 0, cursor = 0;
        EdsCreateSQLStatement(connection, &stmt);
        const std::string sql = "select count(*) as C from L where N <> rowid + " + std::to_string(by);
        EXPECT_EQ(EdsExecuteSQLDirect(stmt, U(sql), &cursor), EDS_SUCCESS) << LastError();
        EdsGotoTop(cursor);
        const std::int64_t count = Integer(cursor, "C");
        EdsCloseTable(cursor);
        EdsCloseSQLStatement(stmt);
        return count;
    };
    const std::string change = "update L set N = N + 1000000";
    {
        SCOPED_TRACE("locked before the statement came to it");
        Beside b(dir.str(), "L", 1, kRows);
        ASSERT_TRUE(b.Ready());
        const Outcome out = Run(change);
        const Beside::Told told = b.Over();
        EXPECT_EQ(told.seen, 1) << "the statement ran without holding a record it changed";
        EXPECT_EQ(told.first, EDS_SUCCESS);
        EXPECT_EQ(out.rc, EDS_E_RECORD_LOCKED) << out.text;
        EXPECT_NE(out.text.find("record " + std::to_string(kRows) + " "), std::string::npos) << out.text;
        EXPECT_EQ(moved(0), 1);  // the station's own write
        EXPECT_EQ(told.read, kRows);
        EXPECT_EQ(told.written, EDS_SUCCESS);
    }
    {
        SCOPED_TRACE("locked after the statement passed it");
        Beside b(dir.str(), "L", 10, 10);
        ASSERT_TRUE(b.Ready());
        const Outcome out = Run(change);
        const Beside::Told told = b.Over();
        EXPECT_EQ(out.rc, EDS_SUCCESS) << out.text;
        EXPECT_EQ(told.seen, 1) << "the statement ran without holding a record it changed";
        EXPECT_EQ(told.first, EDS_E_RECORD_LOCKED) << "granted a record the statement had changed";
        EXPECT_EQ(told.granted, 1);
        // What the station reads under its lock is the statement's change, and stays.
        EXPECT_EQ(told.read, 1000010);
        EXPECT_EQ(told.written, EDS_SUCCESS);
        EXPECT_EQ(moved(1000000), 2);  // the station's two writes, checked below
    }
    EDSHANDLE table = 0;
    ASSERT_EQ(edstest::Open(connection, "L", 0, &table), EDS_SUCCESS) << LastError();
    EXPECT_EQ(EdsGotoRecord(table, 10), EDS_SUCCESS);
    EXPECT_EQ(Integer(table, "N"), 1000011);
    EXPECT_EQ(EdsGotoRecord(table, kRows), EDS_SUCCESS);
    EXPECT_EQ(Integer(table, "N"), kRows + 1 + 1000000);
    EdsCloseTable(table);
    {
        SCOPED_TRACE("however scattered its rows, a statement is refused only a record it touches");
        Station b(dir.str(), "L");
        ASSERT_EQ(b.Ask('l', 1001), EDS_SUCCESS);
        const std::string even = "update L set N = N + 1 where rowid % 2 = 0";
        Outcome out = Run(even);
        EXPECT_EQ(out.rc, EDS_SUCCESS) << out.text;
        EXPECT_EQ(out.affected, kRows / 2);
        ASSERT_EQ(b.Ask('l', 2000), EDS_SUCCESS);
        out = Run(even);
        EXPECT_EQ(out.rc, EDS_E_RECORD_LOCKED) << out.text;
        EXPECT_NE(out.text.find("record 2000 "), std::string::npos) << out.text;
    }
}

TEST_F(OtherStation, RenumberingNumberingAndWhatAStatementAnswersHoldBesideOtherStations) {
    {
        SCOPED_TRACE("a locked record is not numbered away");
        Make("T", "ID,AutoInc; A,Char,10;");
        Make("M", "A,Char,10;");
        for (const char* t : {"T", "M"}) {
            ASSERT_EQ(Run("insert into " + std::string(t) + "(A) values('one'), ('two'), ('three')").rc, EDS_SUCCESS);
            const std::vector<std::string> before = Rows(t);
            Station b(dir.str(), t);
            ASSERT_EQ(b.Ask('l', 1), EDS_SUCCESS);
            for (const std::string& sql : {"update " + std::string(t) + " set " + (t[0] == 'T' ? "ID" : "rowid") +
                                               " = 10 where rowid = 1",
                                           "update " + std::string(t) + " set rowid = rowid + 10"}) {
                const Outcome out = Run(sql);
                EXPECT_EQ(out.rc, EDS_E_RECORD_LOCKED) << sql << ": " << out.text;
                EXPECT_EQ(Rows(t), before) << sql;
            }
        }
    }
    {
        SCOPED_TRACE("an insert goes above every number handed out");
        Make("G", "A,Char,10;");
        ASSERT_EQ(Run("insert into G(A) values('one'), ('two'), ('three')").rc, EDS_SUCCESS);
        Station b1(dir.str(), "G"), b2(dir.str(), "G");
        ASSERT_EQ(b1.Ask('a'), 4);
        ASSERT_EQ(b2.Ask('a'), 5);
        const Outcome out = Run("insert into G(A) values('sql')");
        EXPECT_EQ(out.rc, EDS_SUCCESS) << out.text;
        EXPECT_EQ(out.autoinc, 6);
        EXPECT_EQ(b1.Ask('w'), EDS_SUCCESS);
        EXPECT_EQ(b2.Ask('w'), EDS_SUCCESS);
        EXPECT_EQ(Rows("G"), (std::vector<std::string>{"1:one", "2:two", "3:three", "4:B's", "5:B's", "6:sql"}));
    }
    {
        SCOPED_TRACE("with nothing handed out elsewhere, inserts number on without a gap");
        Make("P", "A,Char,10;");
        std::vector<std::string> expected;
        for (const char* a : {"a", "b", "c"}) {
            const Outcome out = Run("insert into P(A) values('" + std::string(a) + "')");
            EXPECT_EQ(out.rc, EDS_SUCCESS) << out.text;
            expected.push_back(std::to_string(expected.size() + 1) + ":" + a);
            EXPECT_EQ(out.autoinc, static_cast<std::int64_t>(expected.size())) << a;
        }
        Outcome out = Run("insert into P(A) values('d'), ('e')");
        EXPECT_EQ(out.autoinc, 5);
        out = Run("insert into P(A) select A || A from P where rowid <= 2");
        EXPECT_EQ(out.autoinc, 7);
        for (const char* a : {"4:d", "5:e", "6:aa", "7:bb"}) expected.push_back(a);
        EXPECT_EQ(Rows("P"), expected);
    }
    {
        SCOPED_TRACE("only an insert answers a last number");
        ASSERT_EQ(Run("insert into P(A) values('f')").autoinc, 8);
        for (const char* sql : {"update P set A = 'g' where rowid = 8", "delete from P where rowid = 8"}) {
            const Outcome out = Run(sql);
            EXPECT_EQ(out.rc, EDS_SUCCESS) << out.text;
            EXPECT_EQ(out.affected, 1) << sql;
            EXPECT_EQ(out.autoinc, 0) << sql;
        }
    }
}

// However a statement ends, the numbers of the rows it kept are handed out:
// once such a row is deleted, its number is never taken again. OR FAIL keeps
// the rows before the one that failed, in a table with AutoInc or without.
TEST_F(OtherStation, AStatementStoppedPartwayKeepsTheNumbersOfItsRowsHandedOut) {
    for (const bool autoinc : {true, false}) {
        SCOPED_TRACE(autoinc ? "AutoInc" : "without AutoInc");
        const std::string t = autoinc ? "TA" : "TM", r = t + "R", number = autoinc ? "ID" : "rowid";
        for (const std::string& name : {t, r}) {
            Make(name, autoinc ? "ID,AutoInc; A,Char,10; U,Integer;" : "A,Char,10; U,Integer;");
            ASSERT_EQ(Run("create unique index " + name + "_U on " + name + " (U)").rc, EDS_SUCCESS);
            ASSERT_EQ(Run("insert into " + name + "(A, U) values('one', 10), ('two', 20), ('three', 30), ('four', 31)").rc,
                      EDS_SUCCESS);
        }
        auto refused = [&](const std::string& table, int recno) {
            const Outcome out = Run("insert into " + table + "(" + number + ", A) values(" + std::to_string(recno) +
                                    ", 'again')");
            EXPECT_EQ(out.rc, EDS_E_UNIQUE_VIOLATION) << recno << ": " << out.text;
        };
        // An insert that fails at its third row keeps the two before.
        Outcome out = Run("insert or fail into " + t + "(A, U) values('f1', 1), ('f2', 2), ('f3', 10)");
        EXPECT_EQ(out.rc, EDS_E_SQL) << out.text;
        EXPECT_EQ(Rows(t), (std::vector<std::string>{"1:one", "2:two", "3:three", "4:four", "5:f1", "6:f2"}));
        EXPECT_EQ(Run("delete from " + t + " where " + number + " = 6").affected, 1);
        refused(t, 6);
        // Rows that land below the numbers handed out move above them before the failure is answered.
        EXPECT_EQ(Run("delete from " + t + " where " + number + " >= 3").affected, 3);
        out = Run("insert or fail into " + t + "(A, U) select 'g' || x, x from (select 1 as x union all select 2 "
                  "union all select 10)");
        EXPECT_EQ(out.rc, EDS_E_SQL) << out.text;
        EXPECT_EQ(Rows(t), (std::vector<std::string>{"1:one", "2:two", "7:g1", "8:g2"}));
        EXPECT_EQ(Run("delete from " + t + " where " + number + " = 8").affected, 1);
        refused(t, 8);
        // A failure that undoes the statement hands out nothing and moves nothing:
        // the rows that REPLACE removed come back where they were; the next row follows on.
        out = Run("insert or replace into " + t + "(" + number + ", A, U) values(2, 'x', 1), (NULL, 'y', 61), "
                  "(NULL, 'z', 3000000000)");
        EXPECT_EQ(out.rc, EDS_E_COLUMN_VALUE) << out.text;
        EXPECT_EQ(Rows(t), (std::vector<std::string>{"1:one", "2:two", "7:g1"}));
        out = Run("insert into " + t + "(A, U) values('i', 60)");
        EXPECT_EQ(out.rc, EDS_SUCCESS) << out.text;
        EXPECT_EQ(out.autoinc, 9);
        // A renumbering that fails at its third row keeps the two renumbered before.
        out = Run("update or fail " + r + " set " + number + " = " + number + " + 100, U = U + 1");
        EXPECT_EQ(out.rc, EDS_E_SQL) << out.text;
        EXPECT_EQ(Rows(r), (std::vector<std::string>{"3:three", "4:four", "101:one", "102:two"}));
        EXPECT_EQ(Run("delete from " + r + " where " + number + " = 102").affected, 1);
        refused(r, 102);
        EXPECT_EQ(Run("update " + r + " set " + number + " = 102 where " + number + " = 3").rc, EDS_E_UNIQUE_VIOLATION);
        out = Run("insert into " + r + "(A, U) values('j', 70)");
        EXPECT_EQ(out.rc, EDS_SUCCESS) << out.text;
        EXPECT_EQ(out.autoinc, 103);
        EXPECT_EQ(Rows(r), (std::vector<std::string>{"3:three", "4:four", "101:one", "103:j"}));
    }
}

}  // namespace
