// Editing a table through the dataset: rights, default values, what a post
// writes, locks on every path, cancel and delete, and every refusal's text.

#include "tests/dbaccess/EdsTableTestSupport.h"

#include "platform/rtl/DateUtils.h"

#include <cmath>

using namespace edstabletest;

namespace {

const std::string kFields =
    "Name,Char,10; Count,Integer; Small,ShortInt; Flag,Logical; Amount,Double; Stamp,TimeStamp; ID,AutoInc; "
    "Day,Date; Clock,Time; Note,Memo";

// A table that lets the tests reach the set-key state and the add-record path.
class TProbeTable : public TEdsTable {
public:
    void EnterSetKey() { saved_ = SetTempState(db::dsSetKey); }
    void LeaveSetKey() { RestoreState(saved_); }
    void AddRecordFromOtherBuffer() {
        std::uint8_t other[8] = {};
        InternalAddRecord(other, true);
    }
    // The auto-increment column's 4 bytes in the active record image.
    std::int32_t RawColumn(const std::string& Name) {
        const TEDSFieldDef* column = EDSFieldDefs()[EDSFieldDefs().IndexOf(Name)];
        std::int32_t value = 0;
        std::memcpy(&value, ActiveBuffer() + column->Offset, sizeof value);
        return value;
    }

protected:
    db::TRecordBuffer KeyRecordBuffer() override {
        key_.resize(EngineRecordLength() + 1);
        return key_.data();
    }

private:
    db::TDataSetState saved_ = db::dsBrowse;
    std::vector<std::uint8_t> key_;
};

class EdsEdit : public ::testing::Test {
protected:
    void SetUp() override {
        auto maker = CreateAppTable(dir_.str(), "Items", kFields);
        maker->AddIndex("ByName", "Name", {db::ixUnique});
        maker->Open();
        for (const char* name : {"alpha", "beta", "gamma"}) {
            maker->Append();
            maker->FieldByName("Name")->SetAsString(name);
            maker->FieldByName("Count")->SetAsInteger(static_cast<int>(std::string(name).size()));
            maker->Post();
        }
    }

    std::unique_ptr<TProbeTable> Open(TEdsRecordLockingModes Mode = lmPessimistic) {
        auto table = std::make_unique<TProbeTable>();
        table->SetDatabaseName(dir_.str());
        table->SetTableName("Items");
        table->EdsTableOptions().SetEdsRecordLockingMode(Mode);
        table->Open();
        return table;
    }
    // Whether another engine handle can lock the record stored under `Name` now.
    bool RecordFree(const std::string& Name) {
        auto other = OpenTable(dir_.str(), "Items");
        other->First();
        while (!other->Eof() && other->FieldByName("Name")->AsString() != Name) other->Next();
        if (other->Eof()) throw std::runtime_error("no record " + Name);
        const TRaised raised = Raises([&] { other->Edit(); });
        if (!raised.Raised) other->Cancel();
        return !raised.Raised;
    }
    std::vector<std::string> Names() {
        auto table = OpenTable(dir_.str(), "Items");
        std::vector<std::string> names;
        for (table->First(); !table->Eof(); table->Next()) names.push_back(table->FieldByName("Name")->AsString());
        return names;
    }

    testsupport::TempDir dir_;
    TEdsEntryPointsGuard entryPoints_;
};

UNSIGNED32 OpenOptionsMasked(EDSHANDLE table, UNSIGNED32* options) {
    const UNSIGNED32 code = ::EdsGetTableOpenOptions(table, options);
    *options &= Calls().OptionsMask;
    return code;
}

UNSIGNED32 PermissionsMasked(EDSHANDLE table, EdsFieldId field, UNSIGNED16* permissions) {
    const UNSIGNED32 code = ::EdsGetColumnPermissions(table, field, permissions);
    UNSIGNED8 name[130] = {};
    UNSIGNED16 length = sizeof name;
    ::EdsGetFieldName(table, static_cast<UNSIGNED16>(field.number), name, &length);
    if (Calls().PermissionsColumn == reinterpret_cast<const char*>(name)) *permissions &= Calls().PermissionsMask;
    return code;
}

}  // namespace

// ---- refusals and their texts ----------------------------------------------------------------

TEST_F(EdsEdit, MissingTableRightsRefuseEditAndInsertWithTheEnginesPermissionCode) {
    Calls() = TCallLog{};
    Calls().OptionsMask = ~EDS_UPDATE_RIGHT;
    EdsApi.EdsGetTableOpenOptions = &OpenOptionsMasked;
    auto table = Open();
    const TRaised edit = Raises([&] { table->Edit(); });
    EXPECT_EQ(edit.Code, static_cast<std::int32_t>(EDS_E_PERMISSION_DENIED));
    EXPECT_EQ(edit.Message, "Update permission not granted on this table.");
    EXPECT_EQ(table->State(), db::dsBrowse);
    table->Append();  // inserting is still allowed
    table->Cancel();
    table->Close();

    Calls().OptionsMask = ~EDS_INSERT_RIGHT;
    table->Open();
    const TRaised insert = Raises([&] { table->Append(); });
    EXPECT_EQ(insert.Code, static_cast<std::int32_t>(EDS_E_PERMISSION_DENIED));
    EXPECT_EQ(insert.Message, "Insert permission not granted on this table.");
    table->Cancel();
    EXPECT_EQ(table->State(), db::dsBrowse);
    EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "beta", "gamma"}));
}

TEST_F(EdsEdit, MissingColumnRightsRefuseOnlyThatColumnInTheirState) {
    Calls() = TCallLog{};
    Calls().PermissionsColumn = "Count";
    Calls().PermissionsMask = EDS_PERMISSION_READ | EDS_PERMISSION_INSERT;
    EdsApi.EdsGetColumnPermissions = &PermissionsMasked;
    auto table = Open();
    table->Edit();
    table->FieldByName("Name")->SetAsString("alpha2");
    const TRaised update = Raises([&] { table->FieldByName("Count")->SetAsInteger(9); });
    EXPECT_EQ(update.Code, static_cast<std::int32_t>(EDS_E_PERMISSION_DENIED));
    EXPECT_EQ(update.Message, "Update permission not granted on this field: Count.");
    table->Post();
    table->Append();
    table->FieldByName("Name")->SetAsString("delta");
    table->FieldByName("Count")->SetAsInteger(5);  // inserting it is allowed
    table->Post();
    table->Close();

    Calls().PermissionsMask = EDS_PERMISSION_READ | EDS_PERMISSION_UPDATE;
    table->Open();
    table->Append();
    const TRaised insert = Raises([&] { table->FieldByName("Count")->SetAsInteger(9); });
    EXPECT_EQ(insert.Message, "Insert permission not granted on this field: Count.");
    EXPECT_EQ(insert.Code, static_cast<std::int32_t>(EDS_E_PERMISSION_DENIED));
    table->Cancel();
    EXPECT_EQ(Names(), (std::vector<std::string>{"alpha2", "beta", "gamma", "delta"}));
}

TEST_F(EdsEdit, LayerRefusalsCarryTheirTexts) {
    auto table = Open();
    db::TField* name = table->FieldByName("Name");
    const char value[] = "x";
    const TRaised browse = Raises([&] { table->SetFieldData(name, value); });
    EXPECT_EQ(browse.Message, "Dataset not in edit mode");
    EXPECT_EQ(browse.Code, 5121);

    table->Edit();
    EXPECT_EQ(Raises([&] { table->AddRecordFromOtherBuffer(); }).Message, "Unexpected error in InternalAddRecord.");
    table->Cancel();

    table->FieldByName("Count")->SetReadOnly(true);
    table->Edit();
    try {
        table->FieldByName("Count")->SetAsInteger(1);
        ADD_FAILURE() << "a read-only field took a value";
    } catch (const db::EDatabaseError& error) {
        EXPECT_NE(std::string(error.what()).find("Field 'Count' cannot be modified"), std::string::npos);
    }
    table->Cancel();

    table->SetIndexName("ByName");
    table->EnterSetKey();
    name->SetAsString("beta");  // a segment of the active index
    try {
        table->FieldByName("Small")->SetAsInteger(1);
        ADD_FAILURE() << "a field outside the index took a key value";
    } catch (const db::EDatabaseError& error) {
        EXPECT_NE(std::string(error.what()).find("Field 'Small' is not indexed and cannot be modified"),
                  std::string::npos);
    }
    table->LeaveSetKey();
}

TEST_F(EdsEdit, StaticViewRefusalOfThePessimisticLockHasItsOwnText) {
    EdsApi.EdsLockRecord = [](EDSHANDLE, UNSIGNED32) -> UNSIGNED32 { return EDS_E_STATIC_VIEW; };
    auto table = Open();
    const TRaised raised = Raises([&] { table->Edit(); });
    EXPECT_EQ(raised.Code, static_cast<std::int32_t>(EDS_E_STATIC_VIEW));
    EXPECT_EQ(raised.Message, "This table is based on a static VIEW. Static VIEWs can not be updated.");
    EXPECT_EQ(table->State(), db::dsBrowse);
}

// ---- default values -------------------------------------------------------------------------

TEST_F(EdsEdit, DefaultExpressionsFillANewRecordByColumnType) {
    auto table = Open();
    table->FieldByName("Name")->SetDefaultExpression("  'abc'  ");
    table->FieldByName("Count")->SetDefaultExpression("42");
    table->FieldByName("Small")->SetDefaultExpression("-32767");
    table->FieldByName("Flag")->SetDefaultExpression(".t.");
    table->FieldByName("Amount")->SetDefaultExpression("2.5");
    table->FieldByName("Day")->SetDefaultExpression("12/07/2026");
    table->FieldByName("Clock")->SetDefaultExpression("09:30:15");
    table->FieldByName("Stamp")->SetDefaultExpression("12/07/2026 09:30:15");
    table->FieldByName("Note")->SetDefaultExpression("'ignored'");
    table->Append();
    EXPECT_EQ(table->FieldByName("Name")->AsString(), "abc");
    EXPECT_EQ(table->FieldByName("Count")->AsInteger(), 42);
    EXPECT_EQ(table->FieldByName("Small")->AsInteger(), -32767);
    EXPECT_TRUE(table->FieldByName("Flag")->AsBoolean());
    EXPECT_DOUBLE_EQ(table->FieldByName("Amount")->AsFloat(), 2.5);
    EXPECT_DOUBLE_EQ(table->FieldByName("Day")->AsDateTime(), rtl::EncodeDate(2026, 12, 7));
    EXPECT_NEAR(table->FieldByName("Clock")->AsDateTime(), rtl::EncodeTime(9, 30, 15), 1e-9);
    EXPECT_NEAR(table->FieldByName("Stamp")->AsDateTime(), rtl::EncodeDate(2026, 12, 7) + rtl::EncodeTime(9, 30, 15),
                1e-9);
    EXPECT_TRUE(table->FieldByName("Note")->IsNull());
    table->Post();
    table->Close();
    table->Open();
    table->Last();
    EXPECT_EQ(table->FieldByName("Name")->AsString(), "abc");
    EXPECT_EQ(table->FieldByName("Count")->AsInteger(), 42);
    EXPECT_TRUE(table->FieldByName("Flag")->AsBoolean());
}

TEST_F(EdsEdit, UnquotedCharacterDefaultStoresNothingButStillMarksTheColumn) {
    auto table = Open();
    table->FieldByName("Name")->SetDefaultExpression("abc");
    table->FieldByName("Flag")->SetDefaultExpression("yes");
    table->Append();
    EXPECT_TRUE(table->FieldByName("Name")->IsNull());
    EXPECT_FALSE(table->FieldByName("Flag")->AsBoolean());
    TEDSFieldDefs& columns = table->EDSFieldDefs();
    EXPECT_EQ(columns[columns.IndexOf("Name")]->Changed, 1);
    EXPECT_EQ(columns[columns.IndexOf("Count")]->Changed, 0);
    table->Cancel();
}

TEST_F(EdsEdit, OutOfRangeOrUnreadableDefaultsNameTheFieldAndTheFirstError) {
    auto table = Open();
    table->FieldByName("Small")->SetDefaultExpression("-32768");
    TRaised raised = Raises([&] { table->Append(); });
    EXPECT_EQ(raised.Code, 0);
    EXPECT_EQ(raised.Message, "Error setting default field value. (Small)\r\nNumeric out of range:-32768");
    EXPECT_EQ(table->State(), db::dsBrowse);

    table->FieldByName("Small")->SetDefaultExpression("");
    table->FieldByName("Count")->SetDefaultExpression("-2147483648");
    EXPECT_EQ(Raises([&] { table->Append(); }).Message,
              "Error setting default field value. (Count)\r\nNumeric out of range:-2147483648");
    table->FieldByName("Count")->SetDisplayLabel("Quantity");
    table->FieldByName("Count")->SetDefaultExpression("many");
    raised = Raises([&] { table->Append(); });
    EXPECT_EQ(raised.Message.rfind("Error setting default field value. (Quantity)\r\n", 0), 0u) << raised.Message;
    EXPECT_GT(raised.Message.size(), std::string("Error setting default field value. (Quantity)\r\n").size());
    EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "beta", "gamma"}));
}

// ---- what a post writes ----------------------------------------------------------------------

TEST_F(EdsEdit, NewRecordHoldsMinusOneForTheAutoIncrementUntilTheEngineNumbersIt) {
    auto table = Open();
    table->Append();
    EXPECT_EQ(table->RawColumn("ID"), -1);
    table->FieldByName("Name")->SetAsString("delta");
    table->Post();
    EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 4);
    table->Edit();
    table->FieldByName("Count")->SetAsInteger(1);
    table->Post();
    EXPECT_EQ(table->FieldByName("ID")->AsInteger(), 4);
}

TEST_F(EdsEdit, BlankCharacterValueIsPostedAsEmpty) {
    auto table = Open();
    table->Edit();
    table->FieldByName("Name")->SetAsString("     ");
    table->Post();
    EXPECT_TRUE(table->FieldByName("Name")->IsNull());
    auto check = OpenTable(dir_.str(), "Items");
    UNSIGNED16 empty = 0;
    ASSERT_EQ(EdsApi.EdsIsEmpty(check->Handle(), "Name", &empty), 0u);
    EXPECT_EQ(empty, 1);
}

TEST_F(EdsEdit, InsertPostedAgainAfterAFailedPostAppendsOneRecord) {
    auto table = Open();
    table->Append();
    table->FieldByName("Name")->SetAsString("beta");  // taken: the unique index refuses it
    table->FieldByName("Count")->SetAsInteger(8);
    EXPECT_TRUE(Raises([&] { table->Post(); }).Raised);
    EXPECT_EQ(table->State(), db::dsInsert);
    table->FieldByName("Name")->SetAsString("epsilon");
    table->Post();
    EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "beta", "gamma", "epsilon"}));
    EXPECT_EQ(table->RecordCount(), 4);
}

TEST_F(EdsEdit, CancelledInsertReturnsToTheRecordThatWasCurrent) {
    auto table = Open();
    table->First();
    table->Next();
    table->Insert();
    table->FieldByName("Name")->SetAsString("zeta");
    table->Cancel();
    EXPECT_EQ(table->FieldByName("Name")->AsString(), "beta");
    EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "beta", "gamma"}));

    // The record that was current deleted by another station meanwhile: the
    // cancel still ends the insert (reading that record again would fail it).
    table->Insert();
    {
        auto other = OpenTable(dir_.str(), "Items");
        ASSERT_TRUE(other->Locate("Name", std::string("beta"), {}));
        other->Delete();
    }
    table->Cancel();
    EXPECT_EQ(table->State(), db::dsBrowse);
    EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "gamma"}));
}

TEST_F(EdsEdit, DeleteLeavesTheCursorOnTheNextRecord) {
    auto table = Open();
    table->First();
    table->Next();
    table->Delete();
    EXPECT_EQ(table->FieldByName("Name")->AsString(), "gamma");
    EXPECT_EQ(table->RecordCount(), 2);
    EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "gamma"}));
}

// ---- locks on every path ---------------------------------------------------------------------

TEST_F(EdsEdit, PessimisticLockLastsFromEditToPostOrCancel) {
    auto table = Open();
    table->Edit();
    EXPECT_FALSE(RecordFree("alpha"));
    table->FieldByName("Count")->SetAsInteger(3);
    table->Post();
    EXPECT_TRUE(RecordFree("alpha"));
    table->Edit();
    EXPECT_FALSE(RecordFree("alpha"));
    table->Cancel();
    EXPECT_TRUE(RecordFree("alpha"));
}

TEST_F(EdsEdit, ExclusiveTableEditsWithoutRecordLocks) {
    int locks = 0;
    static int* counter = nullptr;
    counter = &locks;
    EdsApi.EdsLockRecord = [](EDSHANDLE table, UNSIGNED32 record) -> UNSIGNED32 {
        ++*counter;
        return ::EdsLockRecord(table, record);
    };
    auto table = std::make_unique<TEdsTable>();
    table->SetDatabaseName(dir_.str());
    table->SetTableName("Items");
    table->SetExclusive(true);
    for (TEdsRecordLockingModes mode : {lmPessimistic, lmOptimistic}) {
        table->EdsTableOptions().SetEdsRecordLockingMode(mode);
        table->Open();
        table->Edit();
        table->FieldByName("Count")->SetAsInteger(mode == lmPessimistic ? 10 : 11);
        table->Post();
        table->Close();
    }
    EXPECT_EQ(locks, 0);
    EXPECT_EQ(OpenTable(dir_.str(), "Items")->FieldByName("Count")->AsInteger(), 11);
}

TEST_F(EdsEdit, EditThatFailsAfterItsLockGivesTheLockBack) {
    auto table = Open();
    table->First();
    EdsApi.EdsGetRecord = [](EDSHANDLE, UNSIGNED8*, UNSIGNED32*) -> UNSIGNED32 {
        return EdsApi.EdsSetLastError(EDS_E_IO, EdsText("disk gone"));
    };
    EXPECT_EQ(Raises([&] { table->Edit(); }).Code, static_cast<std::int32_t>(EDS_E_IO));
    EdsApi.EdsGetRecord = &::EdsGetRecord;
    EXPECT_EQ(table->State(), db::dsBrowse);
    EXPECT_TRUE(RecordFree("alpha"));
    table->Edit();  // and the same record can be edited again
    table->Cancel();
}

TEST_F(EdsEdit, EditWhoseCalculatedFieldsFailLeavesNoLockBehind) {
    auto table = Open();
    table->First();
    static bool failing = false;
    failing = false;
    table->OnCalcFields = [](db::TDataSet&) {
        if (failing) throw db::EDatabaseError("calculation failed");
    };
    failing = true;
    EXPECT_THROW(table->Edit(), db::EDatabaseError);
    failing = false;
    EXPECT_EQ(table->State(), db::dsBrowse);
    EXPECT_TRUE(RecordFree("alpha"));
    // Calculations that fail inside an edit leave its lock alone.
    table->Edit();
    failing = true;
    EXPECT_THROW(table->FieldByName("Count")->SetAsInteger(99), db::EDatabaseError);
    failing = false;
    EXPECT_EQ(table->State(), db::dsEdit);
    EXPECT_FALSE(RecordFree("alpha"));
    table->Cancel();
    EXPECT_TRUE(RecordFree("alpha"));
}

TEST_F(EdsEdit, FailedPessimisticPostKeepsTheEditAndItsLockUntilCancelled) {
    auto table = Open();
    table->First();
    table->Edit();
    table->FieldByName("Name")->SetAsString("gamma");  // taken
    EXPECT_TRUE(Raises([&] { table->Post(); }).Raised);
    EXPECT_EQ(table->State(), db::dsEdit);
    EXPECT_FALSE(RecordFree("alpha"));
    table->Cancel();
    EXPECT_EQ(table->FieldByName("Name")->AsString(), "alpha");
    EXPECT_TRUE(RecordFree("alpha"));
}

TEST_F(EdsEdit, CancelThatCannotReadTheRecordAgainKeepsTheEditAndItsLock) {
    auto table = Open();
    table->First();
    table->Edit();
    EdsApi.EdsGetRecord = [](EDSHANDLE, UNSIGNED8*, UNSIGNED32*) -> UNSIGNED32 {
        return EdsApi.EdsSetLastError(EDS_E_IO, EdsText("disk gone"));
    };
    EXPECT_TRUE(Raises([&] { table->Cancel(); }).Raised);
    EdsApi.EdsGetRecord = &::EdsGetRecord;
    EXPECT_EQ(table->State(), db::dsEdit);
    EXPECT_FALSE(RecordFree("alpha"));
    table->Cancel();  // a later cancel ends the edit and gives the lock back
    EXPECT_EQ(table->State(), db::dsBrowse);
    EXPECT_TRUE(RecordFree("alpha"));
}

TEST_F(EdsEdit, OptimisticEditOfARecordAnotherDatasetDeletedAlwaysEnds) {
    std::vector<std::string> reported;
    SetEdsErrorHook([&](const std::string& Text) { reported.push_back(Text); });
    struct THookGuard {
        ~THookGuard() { SetEdsErrorHook(nullptr); }
    } hookGuard;
    auto table = Open(lmOptimistic);
    const auto editThenLose = [&](const std::string& Name, bool PostFirst) {
        ASSERT_TRUE(table->Locate("Name", Name, {}));
        table->Edit();
        table->FieldByName("Count")->SetAsInteger(99);
        auto other = OpenTable(dir_.str(), "Items");
        ASSERT_TRUE(other->Locate("Name", Name, {}));
        other->Delete();
        if (PostFirst) {
            EXPECT_TRUE(Raises([&] { table->Post(); }).Raised);
            EXPECT_EQ(table->State(), db::dsEdit);
        }
    };
    // Cancel stands on a neighbour, from where the dataset moves on.
    editThenLose("beta", false);
    table->Cancel();
    EXPECT_EQ(table->State(), db::dsBrowse);
    EXPECT_EQ(table->FieldByName("Name")->AsString(), "gamma");
    table->First();
    EXPECT_EQ(table->FieldByName("Name")->AsString(), "alpha");
    EXPECT_TRUE(table->Locate("Name", "gamma", {}));
    editThenLose("alpha", true);
    table->Cancel();
    EXPECT_EQ(table->State(), db::dsBrowse);
    EXPECT_EQ(table->FieldByName("Name")->AsString(), "gamma");
    EXPECT_EQ(table->RecordCount(), 1);

    // Close and the destructor end such an edit too.
    editThenLose("gamma", true);
    table->Close();
    EXPECT_FALSE(table->Active());
    table->Open();
    table->AppendRecord({std::string("delta")});
    editThenLose("delta", false);
    table.reset();
    EXPECT_EQ(reported, std::vector<std::string>{});
    EXPECT_EQ(Names(), std::vector<std::string>{});
}
