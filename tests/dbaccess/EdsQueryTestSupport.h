#pragma once
// A folder holding the program's tables, made by the engine from the program's
// field specifications, and helpers that run SQL through TEdsQuery.

#include "dbaccess/edscnnct.h"
#include "dbaccess/edsquery.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace querytest {

using Strings = std::vector<std::string>;

inline void MakeTable(const std::string& Folder, const std::string& Name, const std::string& Fields,
                      const std::string& Tag = {}, const std::string& Expression = {}) {
    EDSHANDLE table = 0;
    ASSERT_EQ(EdsApi.EdsCreateTable(DynamicConnList().Connect(Folder), EdsText(Name), nullptr, EDS_EDT, EDS_ANSI,
                                    EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, 0, EdsText(Fields), &table),
              0u);
    EDSHANDLE index = 0;
    if (!Tag.empty()) {
        EXPECT_EQ(EdsApi.EdsCreateIndex61(table, EdsText(""), EdsText(Tag), EdsText(Expression), EdsText(""),
                                          EdsText(""), EDS_UNIQUE, 0, &index),
                  0u);
    }
    EdsApi.EdsCloseTable(table);
}

inline const std::string kAddressFields =
    "A_ID,AutoInc; Address1,Char,50; Address2,Char,50;Address3,Char,50; Address4,Char,50;City,Char,35; "
    "State,Char,4; Zip,Char,10;";
inline const std::string kLogFields =
    "LID,AutoInc; DateTime,TimeStamp; MailerNum,Char,30; CustID,Char,11; SerialNum,Integer; ToAddress1,Char,50; "
    "ToAddress2,Char,50; ToAddress3,Char,50; ToAddress4,Char,50; ToCity,Char,35; ToState,Char,4; ToZip,Char,10; "
    "YourAddress1,Char,50; YourAddress2,Char,50; YourAddress3,Char,50; YourAddress4,Char,50; YourCity,Char,35; "
    "YourState,Char,4; YourZip,Char,10; Postage,Char,15; Certified,Char,15; Return,Char,15; Restricted,Char,15; "
    "Total,Char,15; Department,Char,20; ProcessedBy,Char,20; RE,Char,25; Comment,Char,35; WishRest,Logical; "
    "Batch,Logical; Result,Char,22;";

// A folder with every table of the program, unique indexes included.
struct ProgramFolder {
    testsupport::TempDir dir;

    ProgramFolder() {
        const std::string f = dir.str();
        MakeTable(f, "Address", kAddressFields);
        MakeTable(f, "YourAddress", kAddressFields);
        MakeTable(f, "Groups", "G_ID,AutoInc; Parent_ID,Integer; Group_Name,Char,40;", "Group_Name",
                  "UPPER(Group_Name)");
        MakeTable(f, "Members", "A_ID,Integer; G_ID,Integer;", "ID", "A_ID;G_ID");
        MakeTable(f, "Log37", kLogFields);
        MakeTable(f, "LogFilters", "FilterName,Char,20; FilterCombination,Char,3;", "FilterName", "FilterName");
        MakeTable(f, "LogFiltersDetail", "FilterName,Char,20; FieldName,Char,2; Operator,Char,2; Value,Char,40;");
        MakeTable(f, "Reports", "ReportName,Char,20; Orientation,Char,1;", "ReportName", "ReportName");
        MakeTable(f, "Report_Detail", "ReportName,Char,20; Field_Name,Char,15; FieldOrder,Integer;");
        MakeTable(f, "ZIPCODES", "ZIP,Char,5; City,Char,35; State,Char,2;");
    }
    std::string str() const { return dir.str(); }

    // Runs a statement without rows through a fresh query; answers RowsAffected.
    std::int32_t Exec(const std::string& Sql) {
        TEdsQuery query;
        query.SetDatabaseName(str());
        query.SetSQLText(Sql);
        query.ExecSQL();
        return query.RowsAffected();
    }

    // One column of every row a SELECT gives, as text.
    Strings Column(const std::string& Sql, const std::string& Field) {
        TEdsQuery query;
        query.SetDatabaseName(str());
        query.SetSQLText(Sql);
        query.Open();
        Strings values;
        for (query.First(); !query.Eof(); query.Next()) values.push_back(query.FieldByName(Field)->AsString());
        return values;
    }
};

// Groups 1 Friends, 2 Clients, 3 Hobby; members: group 1 {1, 2}, 2 {3}, 3 {4, 5, 6}.
inline void FillGroups(ProgramFolder& f) {
    for (const char* name : {"Friends", "Clients", "Hobby"})
        f.Exec(std::string("insert into Groups (Parent_ID, Group_Name) values(0, '") + name + "')");
    for (const char* m : {"(1, 1)", "(2, 1)", "(3, 2)", "(4, 3)", "(5, 3)", "(6, 3)"})
        f.Exec(std::string("insert into Members (A_ID, G_ID) values") + m);
}

// The code of the EEDSDatabaseError that `call` raises, with its message; 0 when none.
template <class F>
std::int32_t ErrorOf(F&& call, std::string* Message = nullptr) {
    try {
        call();
    } catch (const EEDSDatabaseError& error) {
        if (Message != nullptr) *Message = error.what();
        return error.ErrorCode();
    }
    return 0;
}

// Remembers the cursors that statements return, passing them on.
class CursorSpy {
public:
    CursorSpy() {
        Cursors().clear();
        EdsApi.EdsExecuteSQL = [](EDSHANDLE statement, EDSHANDLE* cursor) {
            const UNSIGNED32 code = ::EdsExecuteSQL(statement, cursor);
            if (code == 0 && *cursor != 0) Cursors().push_back(*cursor);
            return code;
        };
    }
    static std::vector<EDSHANDLE>& Cursors() {
        static std::vector<EDSHANDLE> cursors;
        return cursors;
    }
    static bool IsLive(EDSHANDLE handle) {
        UNSIGNED16 type = 0;
        return EdsApi.EdsGetHandleType(handle, &type) == 0;
    }

private:
    TEdsEntryPointsGuard guard_;
};

}  // namespace querytest
