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

inline std::string LastEngineText() {
    UNSIGNED32 code = 0;
    UNSIGNED8 text[600] = {};
    UNSIGNED16 length = sizeof text;
    EdsApi.EdsGetLastError(&code, text, &length);
    return std::to_string(code) + " " + reinterpret_cast<const char*>(text);
}

inline const std::string kAddressFields =
    "A_ID,AutoInc; Address1,Char,50; Address2,Char,50;Address3,Char,50; Address4,Char,50;City,Char,35; "
    "State,Char,4; Zip,Char,10;";
inline const std::string kLogFields =
    "LID,AutoInc; DateTime,TimeStamp; MailerNum,Char,30; CustID,Char,11; SerialNum,Integer;"
    "ToAddress1,Char,50; ToAddress2,Char,50; ToAddress3,Char,50; ToAddress4,Char,50;"
    "ToCity,Char,35; ToState,Char,4; ToZip,Char,10; YourAddress1,Char,50; YourAddress2,Char,50;"
    "YourAddress3,Char,50; YourAddress4,Char,50; YourCity,Char,35; YourState,Char,4;"
    "YourZip,Char,10; Postage,Char,15; Certified,Char,15; Return,Char,15; Restricted,Char,15;"
    "Total,Char,15; Department,Char,20; ProcessedBy,Char,20; RE,Char,25; Comment,Char,35;"
    "WishRest,Logical; Batch,Logical; Result,Char,22;";

// Creates a table with at most one index through the folder's implicit connection.
inline void MakeTable(const std::string& Folder, const std::string& Name, const std::string& Fields,
                      const std::string& Tag = {}, const std::string& Expression = {}, UNSIGNED32 Options = 0) {
    const EDSHANDLE connection = DynamicConnList().Connect(Folder);
    EDSHANDLE table = 0;
    ASSERT_EQ(EdsApi.EdsCreateTable(connection, EdsText(Name), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING,
                                    EDS_CHECK_RIGHTS, 0, EdsText(Fields), &table),
              0u)
        << LastEngineText();
    if (!Tag.empty()) {
        EDSHANDLE index = 0;
        EXPECT_EQ(EdsApi.EdsCreateIndex61(table, EdsText(""), EdsText(Tag), EdsText(Expression), EdsText(""),
                                          EdsText(""), Options, 0, &index),
                  0u)
            << LastEngineText();
    }
    EdsApi.EdsCloseTable(table);
}

// A folder with every table of the program.
struct ProgramFolder {
    testsupport::TempDir dir;

    ProgramFolder() {
        const std::string f = dir.str();
        MakeTable(f, "Address", kAddressFields);
        MakeTable(f, "YourAddress", kAddressFields);
        MakeTable(f, "Groups", "G_ID,AutoInc; Parent_ID,Integer; Group_Name,Char,40;", "Group_Name",
                  "UPPER(Group_Name)", EDS_UNIQUE);
        MakeTable(f, "Members", "A_ID,Integer; G_ID,Integer;", "ID", "A_ID;G_ID", EDS_UNIQUE);
        MakeTable(f, "MailerNum", "CustID,Char,9; SerialNum,Char,8; Increment,Logical;BarCodes,Logical");
        MakeTable(f, "Log37", kLogFields);
        MakeTable(f, "LogFilters", "FilterName,Char,20; FilterCombination,Char,3;", "FilterName", "FilterName",
                  EDS_UNIQUE);
        MakeTable(f, "LogFiltersDetail", "FilterName,Char,20; FieldName,Char,2; Operator,Char,2; Value,Char,40;");
        MakeTable(f, "Reports", "ReportName,Char,20; Orientation,Char,1;", "ReportName", "ReportName", EDS_UNIQUE);
        MakeTable(f, "Report_Detail", "ReportName,Char,20; Field_Name,Char,15; FieldOrder,Integer;");
        MakeTable(f, "ZIPCODES", "ZIP,Char,5; City,Char,35; State,Char,2;");
    }

    std::string str() const { return dir.str(); }

    // Runs a statement without rows; answers RowsAffected.
    std::int32_t Exec(const std::string& Sql) {
        TEdsQuery query;
        query.SetDatabaseName(str());
        query.SetSQLText(Sql);
        query.ExecSQL();
        EXPECT_FALSE(query.Active()) << Sql;
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
    static bool IsOpen(EDSHANDLE handle) {
        UNSIGNED16 type = 0;
        return EdsApi.EdsGetHandleType(handle, &type) == 0;
    }

private:
    TEdsEntryPointsGuard guard_;
};

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

}  // namespace querytest
