#pragma once
// The record layout of every table of the program: the field specifications
// the tables are created from, their indexes, and the log's columns in the
// order the log's datasets list them.
//
// Field specifications are handed to the engine exactly as written here,
// blanks and all: existing installations were created from these texts.

#include <array>
#include <string>
#include <string_view>

// Table names, compared exactly (letter case counts).
inline constexpr const char* kAddressTable = "Address";
inline constexpr const char* kYourAddressTable = "YourAddress";
inline constexpr const char* kGroupsTable = "Groups";
inline constexpr const char* kMembersTable = "Members";
inline constexpr const char* kMailerNumTable = "MailerNum";
inline constexpr const char* kLogTable = "Log37";
inline constexpr const char* kLogFiltersTable = "LogFilters";
inline constexpr const char* kLogFiltersDetailTable = "LogFiltersDetail";
inline constexpr const char* kReportsTable = "Reports";
inline constexpr const char* kReportDetailTable = "Report_Detail";
inline constexpr const char* kZipCodesTable = "ZIPCODES";

// The extension of every table file.
inline constexpr const char* kTableExtension = ".edt";

// Address and YourAddress share one layout.
inline constexpr const char* kAddressFields =
    "A_ID,AutoInc; Address1,Char,50; Address2,Char,50;Address3,Char,50; Address4,Char,50;City,Char,35; "
    "State,Char,4; Zip,Char,10;";
inline constexpr const char* kGroupsFields = "G_ID,AutoInc; Parent_ID,Integer; Group_Name,Char,40;";
inline constexpr const char* kMembersFields = "A_ID,Integer; G_ID,Integer;";
inline constexpr const char* kMailerNumFields = "CustID,Char,9; SerialNum,Char,8; Increment,Logical;BarCodes,Logical";
inline constexpr const char* kLogFiltersFields = "FilterName,Char,20; FilterCombination,Char,3;";
inline constexpr const char* kLogFiltersDetailFields =
    "FilterName,Char,20; FieldName,Char,2; Operator,Char,2; Value,Char,40;";
inline constexpr const char* kReportsFields = "ReportName,Char,20; Orientation,Char,1;";
inline constexpr const char* kReportDetailFields = "ReportName,Char,20; Field_Name,Char,15; FieldOrder,Integer;";
// The program only reads ZIPCODES (ZIP, City, State); the build makes it.
inline constexpr const char* kZipCodesFields = "ZIP,Char,5; City,Char,35; State,Char,2;";

enum class TColumnKind { AutoInc, Char, Integer, Logical, TimeStamp };

struct TLogColumn {
    const char* Name;
    TColumnKind Kind;
    int Width;  // characters, Char only
};

// The 31 columns of Log37 in table order. MailerNum holds the 27-character
// display form of the article number.
inline constexpr std::array<TLogColumn, 31> kLogColumns{{
    {"LID", TColumnKind::AutoInc, 0},
    {"DateTime", TColumnKind::TimeStamp, 0},
    {"MailerNum", TColumnKind::Char, 30},
    {"CustID", TColumnKind::Char, 11},
    {"SerialNum", TColumnKind::Integer, 0},
    {"ToAddress1", TColumnKind::Char, 50},
    {"ToAddress2", TColumnKind::Char, 50},
    {"ToAddress3", TColumnKind::Char, 50},
    {"ToAddress4", TColumnKind::Char, 50},
    {"ToCity", TColumnKind::Char, 35},
    {"ToState", TColumnKind::Char, 4},
    {"ToZip", TColumnKind::Char, 10},
    {"YourAddress1", TColumnKind::Char, 50},
    {"YourAddress2", TColumnKind::Char, 50},
    {"YourAddress3", TColumnKind::Char, 50},
    {"YourAddress4", TColumnKind::Char, 50},
    {"YourCity", TColumnKind::Char, 35},
    {"YourState", TColumnKind::Char, 4},
    {"YourZip", TColumnKind::Char, 10},
    {"Postage", TColumnKind::Char, 15},
    {"Certified", TColumnKind::Char, 15},
    {"Return", TColumnKind::Char, 15},
    {"Restricted", TColumnKind::Char, 15},
    {"Total", TColumnKind::Char, 15},
    {"Department", TColumnKind::Char, 20},
    {"ProcessedBy", TColumnKind::Char, 20},
    {"RE", TColumnKind::Char, 25},
    {"Comment", TColumnKind::Char, 35},
    {"WishRest", TColumnKind::Logical, 0},
    {"Batch", TColumnKind::Logical, 0},
    {"Result", TColumnKind::Char, 22},
}};

// The order in which the log's table and query list their fields.
inline constexpr std::array<const char*, 31> kLogFieldOrder{
    "DateTime",     "MailerNum",    "ToAddress1",   "ToAddress2",   "ToAddress3", "ToAddress4", "ToCity",
    "ToState",      "ToZip",        "YourAddress1", "YourAddress2", "YourAddress3", "YourAddress4", "YourCity",
    "YourState",    "YourZip",      "Postage",      "Certified",    "Return",     "Restricted", "Total",
    "Department",   "ProcessedBy",  "RE",           "Comment",      "WishRest",   "Batch",      "CustID",
    "SerialNum",    "LID",          "Result",
};

// The column of Log37 of that name (exact), or null.
const TLogColumn* FindLogColumn(std::string_view name);

// The field specification of Log37, built from kLogColumns.
const std::string& LogFields();

// The field specification a program table is created from; empty for a name
// the program does not create (ZIPCODES, or one it does not know).
std::string FieldSpecOf(std::string_view tableName);

struct TIndexSpec {
    const char* Table;
    const char* Name;
    const char* Fields;
    bool Unique;
    bool CaseInsensitive;
};

// Every index the program creates. Only these four tables carry one.
inline constexpr std::array<TIndexSpec, 4> kIndexes{{
    {"Groups", "Group_Name", "Group_Name", true, true},
    {"Members", "ID", "A_ID;G_ID", true, false},
    {"LogFilters", "FilterName", "FilterName", true, false},
    {"Reports", "ReportName", "ReportName", true, false},
}};

// The batch entries' index: SQLite's own, over the rows with Batch = True
// only, so that finding them never reads the whole log. It is no index tag
// (the log carries none); a statement whose condition is exactly
// kBatchCondition uses it.
inline constexpr const char* kBatchCondition = "Batch = True";
inline constexpr const char* kLogBatchIndexSql =
    "create index if not exists Log37_BatchEntries on Log37 (LID) where Batch = True";

// The index of a table, or null when the table carries none.
const TIndexSpec* IndexOfTable(std::string_view tableName);

// The columns of the dBase file that the import of the oldest log format
// reads and writes: "name,type,width,decimals".
inline constexpr std::array<const char*, 16> kXfDbfReportFields{
    "sentname0,C,30,0", "sentname1,C,30,0", "sentname2,C,30,0", "sentname3,C,30,0",
    "city,C,35,0",      "state,C,4,0",      "zip,C,10,0",       "rdate,D,10,0",
    "mailernum,C,25,0", "postage,C,15,0",   "certified,C,15,0", "restricted,C,15,0",
    "return,C,15,0",    "total,C,15,0",     "comments,C,35,0",  "re,C,25,0",
};
