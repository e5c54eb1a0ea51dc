#pragma once
// Tables for the filter and locate tests: a big table filled straight through
// the engine in one transaction, counters on the entry points that tell which
// way a search went, and a table that shows what the layer put on its cursor.

#include "tests/dbaccess/EdsTableTestSupport.h"

#include <cstring>
#include <string>

namespace edslocatetest {

// How often the layer called the entry points that mark a search path.
struct TPathCounts {
    int Seeks = 0;
    int Aofs = 0;
    int Filters = 0;
    int Evals = 0;
};
inline TPathCounts& Counts() {
    static TPathCounts counts;
    return counts;
}

// Counts seeks, AOFs, plain filters and expression evaluations; the engine still does them.
inline void CountSearchPaths() {
    Counts() = TPathCounts{};
    EdsApi.EdsSeek = [](EDSHANDLE index, const UNSIGNED8* key, UNSIGNED16 length, UNSIGNED16 type, UNSIGNED16 seek,
                        UNSIGNED16* found) -> UNSIGNED32 {
        ++Counts().Seeks;
        return ::EdsSeek(index, key, length, type, seek, found);
    };
    EdsApi.EdsSetAOF = [](EDSHANDLE table, const UNSIGNED8* text, UNSIGNED16 options) -> UNSIGNED32 {
        ++Counts().Aofs;
        return ::EdsSetAOF(table, text, options);
    };
    EdsApi.EdsSetFilter = [](EDSHANDLE table, const UNSIGNED8* text) -> UNSIGNED32 {
        ++Counts().Filters;
        return ::EdsSetFilter(table, text);
    };
    EdsApi.EdsEvalLogicalExpr = [](EDSHANDLE handle, const UNSIGNED8* text, UNSIGNED16* result) -> UNSIGNED32 {
        ++Counts().Evals;
        return ::EdsEvalLogicalExpr(handle, text, result);
    };
}

// Folder\Big.edt with `Rows` rows: ID 1..Rows, Name "N" + (ID mod 1000) in
// four digits, City "C" + ID, Amount ID / 2. Indexes ByID (ID) and ByName (Name;ID).
inline void MakeBigTable(const std::string& Folder, int Rows) {
    {
        auto maker = edstabletest::CreateAppTable(Folder, "Big", "ID,Integer; Name,Char,20; City,Char,20; Amount,Double;");
        maker->AddIndex("ByID", "ID", {});
        maker->AddIndex("ByName", "Name;ID", {});
    }
    EDSHANDLE connection = 0;
    EDSHANDLE table = 0;
    if (::EdsConnect(EdsText(Folder), &connection) != 0) throw std::runtime_error("connect");
    if (::EdsOpenTable(connection, EdsText("Big"), EdsText(""), EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING,
                       EDS_CHECK_RIGHTS, EDS_EXCLUSIVE, &table) != 0)
        throw std::runtime_error("open");
    ::EdsBeginTransaction(connection);
    for (int id = 1; id <= Rows; ++id) {
        char name[8];
        std::snprintf(name, sizeof name, "N%04d", id % 1000);
        const std::string city = "C" + std::to_string(id);
        const std::int32_t idImage = id;
        const double amount = id / 2.0;
        ::EdsAppendRecord(table);
        ::EdsSetFieldRaw(table, "ID", reinterpret_cast<const UNSIGNED8*>(&idImage), 4);
        ::EdsSetField(table, "Name", reinterpret_cast<const UNSIGNED8*>(name), static_cast<UNSIGNED32>(std::strlen(name)));
        ::EdsSetField(table, "City", EdsText(city), static_cast<UNSIGNED32>(city.size()));
        ::EdsSetFieldRaw(table, "Amount", reinterpret_cast<const UNSIGNED8*>(&amount), 8);
        if (::EdsWriteRecord(table) != 0) throw std::runtime_error("write");
    }
    ::EdsCommitTransaction(connection);
    ::EdsCloseTable(table);
    ::EdsDisconnect(connection);
}

// The engine's state of a cursor that a search must leave as it found it.
struct TCursorState {
    bool Aof = false;
    bool Filter = false;
    UNSIGNED16 Exact = 0;
    bool operator==(const TCursorState&) const = default;
};
inline TCursorState CursorState(EDSHANDLE Cursor) {
    TCursorState state;
    UNSIGNED16 length = 0;
    state.Aof = ::EdsGetAOF(Cursor, nullptr, &length) != EDS_E_NO_FILTER;
    length = 0;
    state.Filter = ::EdsGetFilter(Cursor, nullptr, &length) != EDS_E_NO_FILTER;
    ::EdsGetExact22(Cursor, &state.Exact);
    return state;
}

// A table that builds filter texts as Locate does.
class TLocateTable : public TEdsTable {
public:
    using TEdsTable::TEdsTable;

    // The expression for `Values` given to `Fields`, as Locate would build it.
    std::string FilterFor(const std::string& Fields, const std::vector<db::Variant>& Values, bool CaseInsensitive) {
        const std::vector<db::TField*> fields = GetFieldList(Fields);
        db::TRecordBuffer buffer = AllocRecordBuffer();
        const db::TRecordBuffer previous = FilterRecordBuffer();
        std::string text;
        {
            TTempState state(*this, db::dsFilter);
            SetFilterRecordBuffer(buffer);
            InternalInitRecord(buffer);
            for (std::size_t i = 0; i < fields.size(); ++i) fields[i]->SetValue(Values[i]);
            text = BuildFilterString(fields, "=", CaseInsensitive);
        }
        SetFilterRecordBuffer(previous);
        FreeRecordBuffer(buffer);
        return text;
    }
    std::string FilterOutsideFilterState() { return BuildFilterString({}, "=", false); }
};

}  // namespace edslocatetest
