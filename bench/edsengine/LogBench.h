// What the log benchmarks share: the Log37 layout, the made-up rows they fill it
// with, and the checks that stop a run at the first failed call.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/edsengine/eds.h"

namespace logbench {

using Clock = std::chrono::steady_clock;

inline constexpr char kLog37[] =
    "LID,AutoInc; DateTime,TimeStamp; MailerNum,Char,30; CustID,Char,11; SerialNum,Integer; "
    "ToAddress1,Char,50; ToAddress2,Char,50; ToAddress3,Char,50; ToAddress4,Char,50; ToCity,Char,35; "
    "ToState,Char,4; ToZip,Char,10; YourAddress1,Char,50; YourAddress2,Char,50; YourAddress3,Char,50; "
    "YourAddress4,Char,50; YourCity,Char,35; YourState,Char,4; YourZip,Char,10; Postage,Char,15; "
    "Certified,Char,15; Return,Char,15; Restricted,Char,15; Total,Char,15; Department,Char,20; "
    "ProcessedBy,Char,20; RE,Char,25; Comment,Char,35; WishRest,Logical; Batch,Logical; Result,Char,22;";

inline constexpr const char* kColumns[] = {
    "DateTime",     "MailerNum",    "CustID",   "SerialNum", "ToAddress1", "ToAddress2", "ToAddress3", "ToAddress4",
    "ToCity",       "ToState",      "ToZip",    "YourAddress1", "YourAddress2", "YourAddress3", "YourAddress4",
    "YourCity",     "YourState",    "YourZip",  "Postage",   "Certified",  "Return",     "Restricted", "Total",
    "Department",   "ProcessedBy",  "RE",       "Comment",   "WishRest",   "Batch",      "Result"};
inline constexpr int kColumnCount = 30;  // every column but LID

inline const UNSIGNED8* U(const std::string& s) { return reinterpret_cast<const UNSIGNED8*>(s.c_str()); }

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

inline void Check(UNSIGNED32 rc, const char* what) {
    if (rc == EDS_SUCCESS) return;
    UNSIGNED32 code = 0;
    UNSIGNED8 text[600];
    UNSIGNED16 len = sizeof text;
    EdsGetLastError(&code, text, &len);
    std::fprintf(stderr, "%s failed: %u %.*s\n", what, code, static_cast<int>(len), reinterpret_cast<char*>(text));
    std::exit(1);
}

inline void SqlCheck(sqlite3* db, int rc, const char* what) {
    if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
    std::fprintf(stderr, "%s failed: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
}

// The text of column c (0-based over kColumns) of row i; timestamps spread over
// years, so the DateTime index order differs from the natural one.
inline std::string Value(int c, long i) {
    char buf[64];
    switch (c) {
    case 0: {
        const long day = 1 + (i * 7919) % 28, month = 1 + (i / 28) % 12, year = 2000 + (i * 31) % 25;
        std::snprintf(buf, sizeof buf, "%04ld-%02ld-%02ld %02ld:%02ld:%02ld.%03ld", year, month, day, i % 24,
                      (i / 24) % 60, (i / 1440) % 60, i % 1000);
        return buf;
    }
    case 1: std::snprintf(buf, sizeof buf, "9407 1112 0620 %04ld %04ld 00", i % 10000, (i / 10000) % 10000); return buf;
    case 2: return "123456789";
    case 3: return std::to_string(i % 100000);
    case 27: return i % 3 ? "1" : "0";
    case 28: return "0";
    case 29: return "None";
    default: std::snprintf(buf, sizeof buf, "%s %ld", kColumns[c], i % 997); return buf;
    }
}

inline std::string InsertSql(const std::string& table) {
    std::string sql = "INSERT INTO " + table + "(";
    for (int c = 0; c < kColumnCount; ++c) sql += std::string(c ? ", " : "") + "\"" + kColumns[c] + "\"";
    sql += ") VALUES(";
    for (int c = 0; c < kColumnCount; ++c) sql += c ? ", ?" : "?";
    return sql + ")";
}

// SerialNum and the two logicals go in as integers, the rest as text.
inline void BindRow(sqlite3_stmt* stmt, long i) {
    for (int c = 0; c < kColumnCount; ++c) {
        if (c == 3 || c == 27 || c == 28) {
            sqlite3_bind_int64(stmt, c + 1, std::atol(Value(c, i).c_str()));
        } else {
            const std::string v = Value(c, i);
            sqlite3_bind_text(stmt, c + 1, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        }
    }
}

// Appends `rows` made-up rows to the Log37 table in `file` in one transaction,
// straight through SQLite.
inline void FillLogRows(const std::string& file, long rows) {
    sqlite3* db = nullptr;
    SqlCheck(db, sqlite3_open(file.c_str(), &db), "open");
    sqlite3_stmt* stmt = nullptr;
    SqlCheck(db, sqlite3_prepare_v2(db, InsertSql("Log37").c_str(), -1, &stmt, nullptr), "prepare");
    SqlCheck(db, sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), "begin");
    for (long i = 0; i < rows; ++i) {
        BindRow(stmt, i);
        SqlCheck(db, sqlite3_step(stmt), "insert");
        sqlite3_reset(stmt);
    }
    SqlCheck(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "commit");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

}  // namespace logbench
