// SQL writes of values a field cannot hold: each is refused with the engine's
// error naming the column, no row changes and no rows are reported affected;
// values the fields hold pass, and every row stays readable through a table.

#include "dbaccess/edstable.h"
#include "tests/dbaccess/EdsQueryTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace querytest;

// A field of every type whose values SQL writes are checked against, and a text.
const std::string kKinds =
    "ID,AutoInc; N,Numeric,6,2; I,Integer; SI,ShortInt; D,Date; T,Time; TS,TimeStamp; F,Double; M,Money; C,Char,5; "
    "SD,ShortDate; CD,CurDouble";

// Every field of every row, read through a table as the program reads them.
Strings ReadAll(const std::string& folder) {
    TEdsTable table;
    table.SetDatabaseName(folder);
    table.SetTableName("Kinds");
    table.Open();
    Strings rows;
    for (table.First(); !table.Eof(); table.Next()) {
        std::string row;
        for (int i = 0; i < table.FieldCount(); ++i) row += (i ? "|" : "") + table.Fields()[i]->AsString();
        rows.push_back(row);
    }
    return rows;
}

TEST(EdsQueryStoredValues, WhatAFieldCannotHoldIsRefusedNamingItsColumnAndChangesNothing) {
    ProgramFolder f;
    MakeTable(f.str(), "Kinds", kKinds);
    f.Exec("insert into Kinds (N, I, SI, D, T, TS, F, M, C, SD, CD) values "
           "(1.5, 7, 7, '2020-02-29', '12:00:00.000', '2020-02-29 12:00:00.000', 0.5, 2.5, 'abc', '2020-02-29', 0.75)");
    const Strings before = ReadAll(f.str());

    struct Refusal {
        const char* sql;
        const char* column;
    };
    for (const Refusal& r : std::vector<Refusal>{
             {"insert into Kinds (ID, N) values (2, 12345.5)", "N"},
             {"update Kinds set N = 99999999", "N"},
             {"update Kinds set N = 999.995", "N"},  // rounded to two decimals it needs seven characters
             {"insert into Kinds (I) values (3000000000)", "I"},
             {"insert into Kinds (SI) values (70000)", "SI"},
             {"insert into Kinds (I) values (-2147483648)", "I"},  // the empty Integer
             {"insert into Kinds (SI) values (-32768)", "SI"},     // the empty ShortInt
             {"insert into Kinds (I) values ('abc')", "I"},
             {"insert into Kinds (D) values ('not a date')", "D"},
             {"update Kinds set D = '10000-01-01'", "D"},
             {"update Kinds set T = '24:00'", "T"},
             {"update Kinds set TS = '2020-02-30 12:00'", "TS"},
             {"update Kinds set F = 'x'", "F"},
             {"update Kinds set M = 1e15", "M"},
             {"update Kinds set M = 1e300", "M"},
             {"insert into Kinds (M) values (-1e300)", "M"},
             {"insert into Kinds (SD) values ('2020-13-45')", "SD"},
             {"update Kinds set SD = '2021-02-29'", "SD"},
             {"update Kinds set CD = '1,5'", "CD"},
             {"insert into Kinds (CD) values ('abc')", "CD"},
             {"insert into Kinds (ID) values (2147483648)", "ID"},
             {"insert into Kinds (ID) values (-1)", "ID"},
             {"insert into Kinds (I, C) select 1, 'a' union all select 2, 'b' union all select 'three', 'c'", "I"},
         }) {
        TEdsQuery query;
        query.SetName("edsqKinds");
        query.SetDatabaseName(f.str());
        query.SetSQLText(r.sql);
        try {
            query.ExecSQL();
            ADD_FAILURE() << r.sql << ": no refusal";
        } catch (const EEDSDatabaseError& e) {
            EXPECT_EQ(e.ErrorCode(), 5148) << r.sql << ": " << e.what();
            EXPECT_EQ(e.ColumnName(), r.column) << r.sql << ": " << e.what();
            const std::string start = std::string("edsqKinds: The column \"") + r.column + "\" of the table Kinds ";
            EXPECT_EQ(std::string(e.what()).rfind(start + "cannot hold ", 0), 0u) << e.what();
        }
        EXPECT_EQ(query.RowsAffected(), -1) << r.sql;
        EXPECT_EQ(ReadAll(f.str()), before) << r.sql;
    }

    // A date parameter past the last day the fields hold.
    TEdsQuery dated;
    dated.SetDatabaseName(f.str());
    dated.SetSQLText("update Kinds set D = :D");
    dated.ParamByName("D")->SetAsDate(2958466.0);  // 10000-01-01
    EXPECT_EQ(ErrorOf([&] { dated.ExecSQL(); }), 5148);
    EXPECT_EQ(ReadAll(f.str()), before);

    // What the fields hold passes: rounded to its decimals, numbers given as text,
    // the last values of each kind, and the integer parameters bound as text.
    EXPECT_EQ(f.Exec("insert into Kinds (N, I, SI, D, T, TS, F, M, C, SD, CD) values "
                     "(1.234, '42', -32767, '9999-12-31', '23:59:59.999', '9999-12-31 23:59:59.999', -0.25, "
                     "1234.56789, 'wider than five', '9999-12-31', '1.5')"),
              1);
    EXPECT_EQ(f.Exec("update Kinds set N = -99.99, I = 2147483647, SI = '32767' where ID = 1"), 1);
    TEdsQuery integers;
    integers.SetDatabaseName(f.str());
    integers.SetSQLText("update Kinds set I = :I, SI = :SI where ID <> 1");
    integers.ParamByName("I")->SetAsInteger(-2147483647);
    integers.ParamByName("SI")->SetAsSmallInt(-32767);
    integers.ExecSQL();
    EXPECT_EQ(integers.RowsAffected(), 1);
    Strings after = ReadAll(f.str());
    ASSERT_EQ(after.size(), 2u);
    after[1].erase(0, after[1].find('|') + 1);  // a refused INSERT may have used up record numbers
    EXPECT_EQ(after,
              (Strings{"1|-99.99|2147483647|32767|02/29/2020|12:00:00|02/29/2020 12:00:00|0.5|2.5|abc|02/29/2020|0.75",
                       "1.23|-2147483647|-32767|12/31/9999|23:59:59|12/31/9999 23:59:59|-0.25|1234.5679|wider|"
                       "12/31/9999|1.5"}));
}

}  // namespace
