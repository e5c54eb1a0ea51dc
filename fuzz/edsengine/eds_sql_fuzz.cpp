// Fuzzes SQL preparation: any text must end in a prepared statement or an
// engine error. Read-only statements are also run: a result kept as record
// numbers must come from a single-table SELECT, and every result is well formed.

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsSqlSession.h"
#include "platform/edsengine/EdsSqlText.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// A folder with two small tables in the engine's layout, made once.
std::string Folder() {
    static std::string folder = [] {
        std::string dir = std::filesystem::temp_directory_path() / ("eds_sql_fuzz_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        const char* tables[][2] = {
            {"Log37", "LID INTEGER PRIMARY KEY AUTOINCREMENT, DateTime TEXT, SerialNum INTEGER, Batch INTEGER, ToCity TEXT"},
            {"members", "A_ID INTEGER, G_ID INTEGER"},
        };
        const char* specs[] = {"LID,AutoInc;DateTime,TimeStamp;SerialNum,Integer;Batch,Logical;ToCity,Char,35;",
                               "A_ID,Integer;G_ID,Integer;"};
        for (int i = 0; i < 2; ++i) {
            sqlite3* db = nullptr;
            sqlite3_open((dir + "/" + tables[i][0] + ".edt").c_str(), &db);
            std::string sql = std::string("CREATE TABLE _edt_meta(key TEXT PRIMARY KEY, value TEXT);") +
                              "INSERT INTO _edt_meta VALUES('fields','" + specs[i] + "'),('table','" + tables[i][0] +
                              "');CREATE TABLE \"" + tables[i][0] + "\"(" + tables[i][1] + ");";
            sql += i == 0 ? "INSERT INTO Log37 VALUES(NULL,'2026-12-01 10:00:00.000',41,1,'Acme'),"
                            "(NULL,'2026-11-30 00:00:00.000',40,0,NULL),(NULL,NULL,NULL,NULL,'x');"
                          : "INSERT INTO members VALUES(1,3),(2,3),(7,1);";
            sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        return dir;
    }();
    return folder;
}

int StopRunaways(void* counter) { return ++*static_cast<int*>(counter) > 2000; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string sql(reinterpret_cast<const char*>(data), size);
    eds::SqlSession session(Folder());
    int steps = 0;
    sqlite3_progress_handler(session.Db(), 100, StopRunaways, &steps);
    eds::SqlParams params = eds::RewriteSqlParams(sql);
    eds::SingleTableSelect single;
    bool isSingle = eds::AnalyseSingleTableSelect(params.text, single);
    eds::SqlStatementCore stmt(session);
    try {
        stmt.Prepare(sql);
    } catch (const eds::EngineError& e) {
        if (e.Code() == 0 || e.Text().empty()) std::abort();
        return 0;
    }
    if (stmt.ParamNames().size() != params.names.size()) std::abort();
    // Only texts that read nothing but the two tables run.
    std::string upper;
    for (char c : sql) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (upper.rfind("SELECT", 0) != 0 || upper.find("ATTACH") != std::string::npos ||
        upper.find("PRAGMA") != std::string::npos || upper.find("VACUUM") != std::string::npos)
        return 0;
    try {
        eds::SqlOutcome out = stmt.Execute();
        if (!out.result) return 0;
        if (out.result->byRecord && !isSingle) std::abort();
        if (out.result->byRecord && out.result->sourceColumns.size() != out.result->fields.size()) std::abort();
        for (const auto& row : out.result->rows)
            if (row.size() != out.result->fields.size()) std::abort();
    } catch (const eds::EngineError& e) {
        if (e.Code() == 0 || e.Text().empty()) std::abort();
    }
    return 0;
}
