// The SQL form of expressions: it must select exactly the rows the evaluator
// selects (NULL fields, empty texts, prefixes, dates), keep index-friendly
// shapes, and step aside where it cannot mean the same.

#include "platform/edsengine/EdsExpr.h"
#include "platform/edsengine/EdsKeys.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

const std::vector<EdsExprColumn> kColumns = {
    {"Name", 4, 30, 0},   {"Zip", 4, 10, 0},   {"SerialNum", 11, 4, 0},  {"Amount", 10, 8, 2},
    {"Batch", 1, 1, 0},   {"Born", 3, 4, 0},   {"DateTime", 14, 8, 0},   {"At", 13, 4, 0},
    {"City", 20, 20, 0},  // CIChar: stored with a NOCASE collation
};

class Table {
public:
    Table() {
        sqlite3_open(":memory:", &db_);
        eds::RegisterFolding(db_);
        Exec("CREATE TABLE t(Name TEXT, Zip TEXT, SerialNum INTEGER, Amount REAL, Batch INTEGER, Born TEXT, "
             "DateTime TEXT, At INTEGER, City TEXT COLLATE NOCASE)");
        Exec("CREATE INDEX tZip ON t(Zip)");
        const char* rows[] = {
            "'SMITH','12345',41,2.5,1,'2026-12-01','2026-12-01 10:00:00.000',1,'Springfield'",
            "'SMITHERS','12345-6789',42,0.1,0,'2026-11-30','2026-11-30 23:59:59.999',2,'SPRINGFIELD'",
            "'SMI','54321',-3,-2.5,NULL,'1999-01-31','1999-01-31 00:00:00.000',NULL,'springfield'",
            "'',NULL,0,0,0,NULL,NULL,0,''",
            "NULL,'',NULL,NULL,1,'2000-02-29',NULL,3,NULL",
            "'smith','12',7,1e10,1,'2026-12-02','2026-12-02 00:00:00.000',4,'Spr'",
            "'Zürich ä','99999',100,3.25,0,'1950-06-15','1950-06-15 12:30:00.500',5,'albany'",
            "'O''Hara \"x\"','1',1,1,1,'2026-12-01','2026-12-01 00:00:00.000',6,'Albany'",
        };
        for (const char* r : rows) Exec(std::string("INSERT INTO t VALUES(") + r + ")");
    }
    ~Table() { sqlite3_close(db_); }

    void Exec(const std::string& sql) {
        char* err = nullptr;
        ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << sql << ": " << err;
    }

    std::vector<long long> ByEvaluation(const EdsExpr& e) {
        struct Row : EdsExprRow {
            sqlite3_stmt* stmt;
            EdsExprValue Field(std::size_t i) const override {
                return EdsExprValueFromStored(kColumns[i], stmt, static_cast<int>(i) + 1);
            }
        } row;
        std::vector<long long> out;
        sqlite3_prepare_v2(db_, "SELECT rowid, * FROM t ORDER BY rowid", -1, &row.stmt, nullptr);
        while (sqlite3_step(row.stmt) == SQLITE_ROW)
            if (e.IsTrue(row)) out.push_back(sqlite3_column_int64(row.stmt, 0));
        sqlite3_finalize(row.stmt);
        return out;
    }

    std::vector<long long> BySql(const EdsSqlPredicate& p, std::string* plan = nullptr) {
        std::vector<long long> out;
        sqlite3_stmt* stmt = Prepare("SELECT rowid FROM t WHERE " + p.text + " ORDER BY rowid", p);
        if (!stmt) return {-1};
        while (sqlite3_step(stmt) == SQLITE_ROW) out.push_back(sqlite3_column_int64(stmt, 0));
        sqlite3_finalize(stmt);
        if (plan) {
            sqlite3_stmt* q = Prepare("EXPLAIN QUERY PLAN SELECT rowid FROM t WHERE " + p.text, p);
            while (q && sqlite3_step(q) == SQLITE_ROW)
                *plan += reinterpret_cast<const char*>(sqlite3_column_text(q, 3)) + std::string("\n");
            sqlite3_finalize(q);
        }
        return out;
    }

private:
    sqlite3_stmt* Prepare(const std::string& sql, const EdsSqlPredicate& p) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
            return nullptr;
        }
        EXPECT_EQ(sqlite3_bind_parameter_count(stmt), static_cast<int>(p.binds.size())) << sql;
        for (std::size_t i = 0; i < p.binds.size(); ++i) {
            int at = static_cast<int>(i) + 1;
            if (auto* n = std::get_if<std::int64_t>(&p.binds[i])) {
                sqlite3_bind_int64(stmt, at, *n);
            } else if (auto* d = std::get_if<double>(&p.binds[i])) {
                sqlite3_bind_double(stmt, at, *d);
            } else if (auto* s = std::get_if<std::string>(&p.binds[i])) {
                sqlite3_bind_text(stmt, at, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
            }
        }
        return stmt;
    }

    sqlite3* db_ = nullptr;
};

std::unique_ptr<EdsExpr> Compile(const std::string& text, bool exact = false) {
    EdsExprSettings s;
    s.exact = exact;
    s.dateFormat = "MM/DD/YY";
    EdsExprError error;
    auto e = EdsExpr::Compile(text, kColumns, s, error);
    EXPECT_TRUE(e) << text << ": " << error.text;
    return e;
}

// Both ways select the same rows.
void ExpectSameRows(Table& t, const std::string& text, bool exact, bool mustBeSql = true) {
    auto e = Compile(text, exact);
    if (!e) return;
    EdsSqlPredicate p;
    bool inSql = e->ToSql(p);
    if (mustBeSql) {
        EXPECT_TRUE(inSql) << text;
    }
    if (inSql) {
        EXPECT_EQ(t.BySql(p), t.ByEvaluation(*e)) << text << "  =>  " << p.text;
    }
}

TEST(EdsExprSql, SelectsWhatTheEvaluatorSelects) {
    Table t;
    const char* exprs[] = {
        "Name = 'SMI'", "Name = 'SMITH'", "Name <> 'SMI'", "Name # ''", "Name = ''", "Name == 'SMI'",
        "Name < 'SMITH'", "Name >= ''", "Name > 'S'", "'SMITH' = Name", "'SMITH' > Name", "UPPER(Name) = 'SMITH'",
        "Zip = '12345'", "Zip <> '12345'", "EMPTY(Zip)", "NOT EMPTY(Name)", "LEFT(Zip, 2) = '12'",
        "SUBSTR(Name, 2, 3) == 'MIT'", "TRIM(Name) + Zip = 'SMITH12345'", "'MIT' $ Name", "'' $ Zip",
        "SerialNum >= 00000041", "SerialNum < 1", "SerialNum = 0", "NOT (SerialNum > 0)", "-SerialNum > 2",
        "SerialNum * 2 + 1 > 80", "Amount / 2 > 1", "Amount > 1.5 - 1", "Batch", "NOT Batch", "Batch = True",
        "Batch = .F.", "Batch <> .T.", "Born = CTOD('12/01/26')", "Born < CTOD('01/01/2000')",
        "Born >= CTOD('')", "EMPTY(Born)", "DTOS(Born) = '20261201'", "DTOS(Born) = '        '",
        "DateTime >= CTOTS('12/01/2026 00:00:00')", "DateTime < CTOD('12/01/2026')", "EMPTY(DateTime)",
        "DTOS(DateTime) > '2000'", "IIF(Batch, SerialNum, 0) > 5", "IIF(EMPTY(Name), 'e', Name) = 'e'",
        "(SerialNum = 41) or (SerialNum = 42) and Batch", "Name = 'Zü'", "LEFT(Name, 2) == 'Zü'",
        "Name = \"O'Hara\"", "Name = \"O'Hara \" + CHR(34)", "Zip > Name", "Zip = Name",
        // Dates shifted by days, differences of dates, divisions by columns, texts
        // joined with '-', and counts taken from columns.
        "Born + 1 > CTOD('12/01/26')", "Born - 30 = CTOD('11/01/2026')", "1 + Born <= CTOD('02/01/2000')",
        "EMPTY(Born + SerialNum)", "DTOS(Born - Amount) < '2000'", "DTOS(Born - Amount) = '20261128'",
        "DTOS(Born - Amount) = '19990202'", "DTOS(Amount + Born) = '20261203'", "Born + 3000000 = Born + 3000001",
        "Born - 800000 = CTOD('')", "Born - Born = 0", "CTOD('12/31/2026') - Born > 30", "Born - CTOD('') = 0",
        "SerialNum / Amount > 1", "Amount / SerialNum < 0", "SerialNum / (Amount - Amount) = 0",
        "Name - Zip = 'SMITH12345'", "(Name + '  ') - 'x' = Name + 'x  '", "Zip - Name = ''",
        "SUBSTR(Name, SerialNum) = ''", "SUBSTR(Name, Amount, SerialNum) = 'M'", "LEFT(Name, SerialNum) = 'S'",
        "LEFT(Zip, -SerialNum) = ''", "SUBSTR(Zip, SerialNum * 10000000000, 2) = ''",
    };
    for (const char* text : exprs) {
        SCOPED_TRACE(text);
        ExpectSameRows(t, text, false);
        ExpectSameRows(t, text, true);
    }
}

// A case-insensitive column compares by its NOCASE collation in SQLite; the
// filter must still select what the evaluator selects, letter case and all.
TEST(EdsExprSql, CaseInsensitiveColumnsSelectWhatTheEvaluatorSelects) {
    Table t;
    for (const char* text : {"City = 'Springfield'", "City = 'SPRINGFIELD'", "City == 'springfield'",
                             "City <> 'Springfield'", "City = 'spr'", "City = 'Spr'", "City # 'SPR'",
                             "City > 'a'", "City < 'Albany'", "City >= 'ALBANY'", "'albany' = City",
                             "City <= 'Springfield'", "City > 'S' AND City < 's'"}) {
        SCOPED_TRACE(text);
        ExpectSameRows(t, text, false);
        ExpectSameRows(t, text, true);
    }
}

TEST(EdsExprSql, RandomExpressionsAgreeWithTheEvaluator) {
    Table t;
    std::mt19937 rng(20261201);
    const std::vector<std::string> atoms = {
        "Name = 'SMI'", "Name == 'SMITH'", "Zip > '1'", "EMPTY(Zip)", "SerialNum > 0", "SerialNum * 3 < Amount",
        "Batch", "Born < CTOD('06/01/2026')", "DateTime >= CTOD('11/30/2026')", "UPPER(Name) $ 'XSMITHX'",
        "Name < Zip", "Amount = 0", "EMPTY(Born)", "LEFT(Name, 1) = 'S'", "IIF(Batch, Name, Zip) = ''",
        "City = 'spring'", "City < 'a'", "Born + SerialNum < CTOD('12/01/2026')", "Amount / SerialNum > 0.1",
        "Name - Zip > 'SMI'", "SUBSTR(Name, SerialNum, 2) = 'MI'", "CTOD('01/01/2027') - Born < 400",
    };
    std::function<std::string(int)> gen = [&](int depth) -> std::string {
        int pick = static_cast<int>(rng() % (depth > 3 ? 1 : 4));
        if (pick == 0) return atoms[rng() % atoms.size()];
        if (pick == 1) return "NOT (" + gen(depth + 1) + ")";
        return "(" + gen(depth + 1) + (pick == 2 ? " AND " : " OR ") + gen(depth + 1) + ")";
    };
    for (int i = 0; i < 300; ++i) {
        std::string text = gen(0);
        SCOPED_TRACE(text);
        ExpectSameRows(t, text, (i & 1) != 0);
    }
}

TEST(EdsExprSql, ColumnConstantComparisonsCanUseAnIndex) {
    Table t;
    for (const char* text : {"Zip = '12345'", "(Zip = \"12345\")", "'12345' = Zip", "Zip >= '1' AND Zip < '2'"}) {
        auto e = Compile(text, true);
        EdsSqlPredicate p;
        ASSERT_TRUE(e->ToSql(p)) << text;
        std::string plan;
        t.BySql(p, &plan);
        EXPECT_NE(plan.find("INDEX tZip"), std::string::npos) << text << "\n" << p.text << "\n" << plan;
    }
    // The partial match of a prefix is a range on the index too.
    auto e = Compile("Zip = '123'", false);
    EdsSqlPredicate p;
    ASSERT_TRUE(e->ToSql(p));
    std::string plan;
    EXPECT_EQ(t.BySql(p), (std::vector<long long>{1, 2}));
    t.BySql(p, &plan);
    EXPECT_NE(plan.find("INDEX tZip"), std::string::npos) << p.text << "\n" << plan;
}

// Word search, number formatting, characters by code and texts read as dates run
// in SQLite through the evaluator's own routines, NULLs and UTF-8 included.
TEST(EdsExprSql, EvaluatorRoutinesRunInSql) {
    Table t;
    for (const char* text :
         {"CONTAINS(Name, 'smith')", "CONTAINS(Name, 'zür*')", "CONTAINS(City + Zip, 'spring*')",
          "STR(SerialNum) = '        41'", "STR(Amount, 4, 1) = ' 2.5'", "STR(Amount) = '**********'",
          "STR(Amount, SerialNum - 37, 2) = '2.50'", "CHR(SerialNum + 24) = 'A'", "CHR(SerialNum * 2) > 'Z'",
          "CTOD(Zip) = CTOD('')", "CTOD(Zip + '/01/2026') > CTOD('06/01/2026')", "CTOD(Zip + '/2/26') < CTOD('12/03/2026')"}) {
        ExpectSameRows(t, text, false);
    }
}

TEST(EdsExprSql, PartsWithoutAnSqlMeaningStayInTheEvaluator) {
    // Times of day are stored as texts or as numbers.
    for (const char* text : {"At > CTOT('00:00:01')", "CTOT(Name) = CTOT('10:00')", "CTOTS(Zip) > DateTime"}) {
        auto e = Compile(text);
        EdsSqlPredicate p;
        EXPECT_FALSE(e->ToSql(p)) << text << " => " << p.text;
    }
    // A conjunction hands its translatable terms to SQLite and keeps the rest.
    Table t;
    auto e = Compile("Zip = '12345' AND At = CTOT('00:00:00.001') AND SerialNum > 0");
    EdsSqlPredicate part;
    bool complete = true;
    ASSERT_TRUE(e->ToSqlPart(part, complete));
    EXPECT_FALSE(complete);
    EXPECT_EQ(t.BySql(part), (std::vector<long long>{1, 2}));
    EXPECT_EQ(t.ByEvaluation(*e), (std::vector<long long>{1}));
    EXPECT_FALSE(Compile("At > CTOT('00:00:01') OR Batch")->ToSqlPart(part, complete));
    // A date shifted again and again repeats itself in SQL at every level: a few
    // levels still go to SQLite, many stay here rather than grow without bound.
    std::string shifted = "Born";
    for (int level = 1; level <= 20; ++level) {
        shifted += " - 1";
        SCOPED_TRACE(level);
        ExpectSameRows(t, shifted + " > CTOD('01/01/2000')", false, level <= 4);
    }
    EXPECT_FALSE(Compile(shifted + " > CTOD('01/01/2000')")->ToSql(part));
}

TEST(EdsExprSql, ConstantsFoldBeforeTranslation) {
    auto e = Compile("Batch = (1 = 1) AND Name = 'A' + CHR(66) AND Born = CTOD('12/01/2026') + 1", true);
    EdsSqlPredicate p;
    ASSERT_TRUE(e->ToSql(p));
    ASSERT_EQ(p.binds.size(), 3u);
    EXPECT_EQ(std::get<std::int64_t>(p.binds[0]), 1);
    EXPECT_EQ(std::get<std::string>(p.binds[1]), "AB");
    EXPECT_EQ(std::get<std::string>(p.binds[2]), "2026-12-02");
    // A filter that is constant needs no column at all.
    EXPECT_TRUE(Compile("1 = 1 .OR. Name = 'x'")->ToSql(p));
    EXPECT_TRUE(Compile("1 = 1 .OR. Name = 'x'")->ColumnsUsed().size() == 1);
}

}  // namespace
