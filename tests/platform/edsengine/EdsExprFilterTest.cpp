// Filters and AOFs on engine tables: which records a cursor shows, with the
// exact setting, fixed record sets, evaluations on the current record, and the
// codes the layer relies on.

#include <gtest/gtest.h>

#include <cstring>

#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"
#include "tests/support/TestSupport.h"

using namespace edstest;

namespace {

struct LogTable {
    testsupport::TempDir dir;
    EDSHANDLE connection = 0;
    EDSHANDLE table = 0;

    LogTable() {
        connection = Connect(dir.str());
        EXPECT_EQ(Create(connection, "Log37", "LID,AutoInc; Name,Char,20; Batch,Logical; Serial,Integer; Stamp,TimeStamp; Note,Memo;",
                         &table),
                  EDS_SUCCESS)
            << LastError();
        Add("SMITH", true, 41, 2461376);
        Add("SMITHERS", false, 42, 2461375);
        Add("Acme Widgets", true, 7, 2461377);
        Add("", false, 0, 0);
        Add("SMI", true, 43, 2461376);
    }
    ~LogTable() {
        EdsCloseTable(table);
        EdsDisconnect(connection);
    }

    void Add(const std::string& name, bool batch, int serial, std::int32_t julian) {
        EXPECT_EQ(EdsAppendRecord(table), EDS_SUCCESS) << LastError();
        if (!name.empty()) {
            EXPECT_EQ(SetText(table, "Name", name), EDS_SUCCESS) << LastError();
        }
        UNSIGNED8 logical = batch ? 'T' : 'F';
        EXPECT_EQ(EdsSetFieldRaw(table, "Batch", &logical, 1), EDS_SUCCESS) << LastError();
        EXPECT_EQ(SetInt(table, "Serial", serial), EDS_SUCCESS) << LastError();
        if (julian) {
            UNSIGNED8 stamp[8];
            std::int32_t ms = 36000000;
            std::memcpy(stamp, &julian, 4);
            std::memcpy(stamp + 4, &ms, 4);
            EXPECT_EQ(EdsSetFieldRaw(table, "Stamp", stamp, 8), EDS_SUCCESS) << LastError();
        }
        EXPECT_EQ(EdsWriteRecord(table), EDS_SUCCESS) << LastError();
    }

    // Record numbers the cursor shows, top to bottom.
    std::vector<UNSIGNED32> Visible() {
        std::vector<UNSIGNED32> out;
        EXPECT_EQ(EdsGotoTop(table), EDS_SUCCESS) << LastError();
        while (!AtEof(table) && out.size() < 100) {
            out.push_back(RecNo(table));
            EXPECT_EQ(EdsSkip(table, 1), EDS_SUCCESS) << LastError();
        }
        return out;
    }

    UNSIGNED32 Count() {
        UNSIGNED32 n = 0;
        EXPECT_EQ(EdsGetRecordCount(table, EDS_RESPECTFILTERS, &n), EDS_SUCCESS) << LastError();
        return n;
    }

    std::string Filter(bool aof) {
        UNSIGNED8 buf[200];
        UNSIGNED16 len = sizeof buf;
        UNSIGNED32 rc = aof ? EdsGetAOF(table, buf, &len) : EdsGetFilter(table, buf, &len);
        if (rc) return std::to_string(rc);
        return std::string(reinterpret_cast<char*>(buf), len);
    }
};

using Recs = std::vector<UNSIGNED32>;

TEST(EdsFilters, FilterAndAofAreAnded) {
    LogTable t;
    EXPECT_EQ(EdsGetFilter(t.table, nullptr, nullptr), EDS_E_NO_FILTER);
    EXPECT_EQ(EdsGetAOF(t.table, nullptr, nullptr), EDS_E_NO_FILTER);
    EXPECT_EQ(EdsClearFilter(t.table), EDS_E_NO_FILTER);
    EXPECT_EQ(EdsClearAOF(t.table), EDS_E_NO_FILTER);

    EDS_OK(EdsSetAOF(t.table, U("(Batch = True)"), EDS_RESOLVE_DYNAMIC));
    EXPECT_EQ(t.Visible(), (Recs{1, 3, 5}));
    EXPECT_EQ(t.Count(), 3u);
    EXPECT_EQ(EdsGetAOF(t.table, nullptr, nullptr), EDS_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(t.Filter(true), "(Batch = True)");

    EDS_OK(EdsSetFilter(t.table, U("Serial >= 41")));
    EXPECT_EQ(t.Visible(), (Recs{1, 5}));
    EXPECT_EQ(t.Filter(false), "Serial >= 41");
    UNSIGNED16 visible = 9;
    EDS_OK(EdsGotoRecord(t.table, 2));
    EDS_OK(EdsIsRecordVisible(t.table, &visible));
    EXPECT_EQ(visible, 0);
    EDS_OK(EdsGotoRecord(t.table, 5));
    EDS_OK(EdsIsRecordVisible(t.table, &visible));
    EXPECT_EQ(visible, 1);

    EDS_OK(EdsClearAOF(t.table));
    EXPECT_EQ(t.Visible(), (Recs{1, 2, 5}));
    EDS_OK(EdsClearFilter(t.table));
    EXPECT_EQ(t.Visible(), (Recs{1, 2, 3, 4, 5}));
    EXPECT_EQ(t.Filter(false), std::to_string(EDS_E_NO_FILTER));

    // Backwards too, and the ends of a filtered table.
    EDS_OK(EdsSetFilter(t.table, U("Batch")));
    EDS_OK(EdsGotoBottom(t.table));
    EXPECT_EQ(RecNo(t.table), 5u);
    EDS_OK(EdsSkip(t.table, -1));
    EXPECT_EQ(RecNo(t.table), 3u);
    EDS_OK(EdsSkip(t.table, -5));
    EXPECT_TRUE(AtBof(t.table));
}

TEST(EdsFilters, ExpressionsWithoutAnSqlFormStillFilter) {
    LogTable t;
    EDS_OK(EdsSetAOF(t.table, U("CONTAINS(Name, 'widg*') .OR. STR(Serial, 2) == '42' .OR. CTOT(Name) > CTOT('23:59')"), EDS_RESOLVE_DYNAMIC));
    EXPECT_EQ(t.Visible(), (Recs{2, 3}));
    EXPECT_EQ(t.Count(), 2u);
    // An SQL part narrows, the rest is checked row by row.
    EDS_OK(EdsSetFilter(t.table, U("Batch .AND. STR(Serial, 2) >= ' 7' .AND. .NOT. CTOT(Name) > CTOT('23:59') .AND. CONTAINS(Name, 'acme')")));
    EXPECT_EQ(t.Visible(), (Recs{3}));
    EDS_OK(EdsClearAOF(t.table));
    EDS_OK(EdsSetFilter(t.table, U("EMPTY(Name) .OR. EMPTY(Stamp)")));
    EXPECT_EQ(t.Visible(), (Recs{4}));
    EDS_OK(EdsSetFilter(t.table, U("Stamp >= CTOTS('12/01/2026 10:00:00 AM') .AND. Stamp < CTOD('12/02/2026')")));
    EXPECT_EQ(t.Visible(), (Recs{1, 5}));
}

TEST(EdsFilters, MemoTextsAreReadWhereTheImageHasNone) {
    LogTable t;
    EDS_OK(EdsGotoRecord(t.table, 2));
    EDS_OK(SetText(t.table, "Note", "urgent: call back"));
    EDS_OK(EdsWriteRecord(t.table));
    // In SQL and in the evaluator (a time of day has no SQL form) alike.
    EDS_OK(EdsSetAOF(t.table, U("'urgent' $ Note"), EDS_RESOLVE_DYNAMIC));
    EXPECT_EQ(t.Visible(), (Recs{2}));
    EDS_OK(EdsSetAOF(t.table, U("'urgent' $ Note .AND. .NOT. CTOT(Name) > CTOT('23:59')"), EDS_RESOLVE_DYNAMIC));
    EXPECT_EQ(t.Visible(), (Recs{2}));
    UNSIGNED16 result = 0;
    EDS_OK(EdsGotoRecord(t.table, 2));
    EDS_OK(EdsEvalLogicalExpr(t.table, U("LEFT(Note, 6) == 'urgent'"), &result));
    EXPECT_EQ(result, 1);
}

TEST(EdsFilters, ExactSettingDecidesPartialMatches) {
    LogTable t;
    EDS_OK(EdsSetExact22(t.table, 0));
    EDS_OK(EdsSetAOF(t.table, U("Name = \"SMI\""), EDS_RESOLVE_DYNAMIC));
    EXPECT_EQ(t.Visible(), (Recs{1, 2, 5}));
    EDS_OK(EdsSetExact22(t.table, 1));
    EDS_OK(EdsSetAOF(t.table, U("Name = \"SMI\""), EDS_RESOLVE_DYNAMIC));
    EXPECT_EQ(t.Visible(), (Recs{5}));
    EDS_OK(EdsSetAOF(t.table, U("(UPPER(Name) = UPPER(\"acme widgets\"))"), EDS_RESOLVE_DYNAMIC));
    EXPECT_EQ(t.Visible(), (Recs{3}));
    EDS_OK(EdsSetAOF(t.table, U("(empty(Name))"), EDS_RESOLVE_DYNAMIC));
    EXPECT_EQ(t.Visible(), (Recs{4}));
    EDS_OK(EdsSetAOF(t.table, U("(Name = \"O\"+ Chr(34) + \"x\")"), EDS_RESOLVE_DYNAMIC));
    EXPECT_EQ(t.Visible(), (Recs{}));
}

TEST(EdsFilters, FixedAofKeepsItsRecordsDynamicFollowsChanges) {
    LogTable t;
    EDS_OK(EdsSetAOF(t.table, U("Batch"), EDS_RESOLVE_IMMEDIATE | EDS_FIXED));
    EXPECT_EQ(t.Visible(), (Recs{1, 3, 5}));
    // Record 1 changes, record 6 arrives: the fixed set stays as it was resolved.
    EDS_OK(EdsGotoRecord(t.table, 1));
    UNSIGNED8 no = 'F';
    EDS_OK(EdsSetFieldRaw(t.table, "Batch", &no, 1));
    EDS_OK(EdsWriteRecord(t.table));
    t.Add("NEW", true, 50, 2461380);
    EXPECT_EQ(t.Visible(), (Recs{1, 3, 5}));
    EDS_OK(EdsSetAOF(t.table, U("Batch"), EDS_RESOLVE_DYNAMIC));
    EXPECT_EQ(t.Visible(), (Recs{3, 5, 6}));
    EDS_OK(EdsSetAOF(t.table, U("Serial > 100"), EDS_KEYSET));
    EXPECT_EQ(t.Visible(), (Recs{}));
    EXPECT_TRUE(AtEof(t.table));
}

TEST(EdsFilters, EvaluationsAndRefusals) {
    LogTable t;
    EDS_OK(EdsGotoRecord(t.table, 3));
    UNSIGNED16 result = 9;
    EDS_OK(EdsEvalLogicalExpr(t.table, U("Batch .AND. 'Acme' $ Name"), &result));
    EXPECT_EQ(result, 1);
    EDS_OK(EdsEvalLogicalExpr(t.table, U("Serial > 7"), &result));
    EXPECT_EQ(result, 0);
    // The pending edit is what is evaluated.
    EDS_OK(SetInt(t.table, "Serial", 8));
    EDS_OK(EdsEvalLogicalExpr(t.table, U("Serial > 7"), &result));
    EXPECT_EQ(result, 1);
    EDS_OK(EdsCancelUpdate(t.table));

    EXPECT_EQ(EdsEvalLogicalExpr(t.table, U("Serial +"), &result), EDS_E_EXPRESSION);
    EXPECT_NE(LastError().find("position 9"), std::string::npos) << LastError();
    EXPECT_EQ(EdsSetFilter(t.table, U("Nmae = 'x'")), EDS_E_EXPRESSION);
    EXPECT_NE(LastError().find("Nmae"), std::string::npos);
    EXPECT_EQ(EdsSetAOF(t.table, U("Serial + 1"), EDS_RESOLVE_DYNAMIC), EDS_E_EXPRESSION);
    EXPECT_EQ(EdsGetAOF(t.table, nullptr, nullptr), EDS_E_NO_FILTER);  // a refused AOF sets nothing
    EXPECT_EQ(EdsSetFilter(99999, U("Batch")), EDS_E_INVALID_HANDLE);
    EDS_OK(EdsGotoBottom(t.table));
    EDS_OK(EdsSkip(t.table, 1));
    EXPECT_EQ(EdsEvalLogicalExpr(t.table, U("Batch"), &result), EDS_E_NO_CURRENT_RECORD);

    UNSIGNED8 buf[64];
    UNSIGNED16 len = sizeof buf;
    EDS_OK(EdsExpressionLongToShort(t.table, U("[Name] = 'x'"), buf, &len));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "[Name] = 'x'");
    len = 4;
    EXPECT_EQ(EdsExpressionShortToLong(t.table, U("[Name] = 'x'"), buf, &len), EDS_E_INSUFFICIENT_BUFFER);
}

}  // namespace
