// The application's tables made, indexed and edited by one process, then read
// back by another: what one run writes is what the next run finds.

#include "tests/dbaccess/EdsTableTestSupport.h"

#include "platform/rtl/DateUtils.h"

#include <filesystem>

using namespace edstabletest;

namespace {

const std::string kAddressFields =
    "A_ID,AutoInc; Address1,Char,50; Address2,Char,50;Address3,Char,50; Address4,Char,50;City,Char,35; "
    "State,Char,4; Zip,Char,10;";
const std::string kLogFields =
    "LID,AutoInc; DateTime,TimeStamp; MailerNum,Char,30; CustID,Char,11; SerialNum,Integer; "
    "ToAddress1,Char,50; ToAddress2,Char,50; ToAddress3,Char,50; ToAddress4,Char,50; ToCity,Char,35; "
    "ToState,Char,4; ToZip,Char,10; YourAddress1,Char,50; YourAddress2,Char,50; YourAddress3,Char,50; "
    "YourAddress4,Char,50; YourCity,Char,35; YourState,Char,4; YourZip,Char,10; Postage,Char,15; "
    "Certified,Char,15; Return,Char,15; Restricted,Char,15; Total,Char,15; Department,Char,20; "
    "ProcessedBy,Char,20; RE,Char,25; Comment,Char,35; WishRest,Logical; Batch,Logical; Result,Char,22;";

void Expect(bool Condition, const std::string& What) {
    if (!Condition) throw std::runtime_error("expected: " + What);
}

void AppendAddress(TEdsTable& Table, const std::string& Name, const std::string& City, const std::string& Zip) {
    Table.Append();
    Table.FieldByName("Address1")->SetAsString(Name);
    Table.FieldByName("City")->SetAsString(City);
    Table.FieldByName("State")->SetAsString("NY");
    Table.FieldByName("Zip")->SetAsString(Zip);
    Table.Post();
}

// Reads column `Field` of every row in the table's current order.
std::vector<std::string> Column(TEdsTable& Table, const std::string& Field) {
    std::vector<std::string> values;
    for (Table.First(); !Table.Eof(); Table.Next()) values.push_back(Table.FieldByName(Field)->AsString());
    return values;
}

std::vector<std::string> IndexNames(TEdsTable& Table) {
    Table.IndexDefs().Update();
    std::vector<std::string> names;
    for (int i = 0; i < Table.IndexDefs().Count(); ++i) names.push_back(Table.IndexDefs()[i]->Name());
    return names;
}

}  // namespace

TEST(EdsTableSchemas, AddressBookTablesKeepRowsIndexesAndRefusalsAcrossProcesses) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    const std::string failure = RunInChild([&] {
        CreateAppTable(folder, "Address", kAddressFields);
        auto groups = CreateAppTable(folder, "Groups", "G_ID,AutoInc; Parent_ID,Integer; Group_Name,Char,40;");
        groups->AddIndex("Group_Name", "Group_Name", {db::ixUnique, db::ixCaseInsensitive});
        Expect(!groups->Active(), "AddIndex leaves a closed table closed");
        auto members = CreateAppTable(folder, "Members", "A_ID,Integer; G_ID,Integer;");
        members->AddIndex("ID", "A_ID;G_ID", {db::ixUnique});

        auto address = OpenTable(folder, "Address");
        AppendAddress(*address, "Ann Archer", "Albany", "12207");
        AppendAddress(*address, "Bob Baker", "Buffalo", "14201-1234");
        AppendAddress(*address, "Cy Cole", "Corning", "14830");
        address->First();
        address->Next();
        address->Edit();
        address->FieldByName("City")->SetAsString("Batavia");
        address->Post();
        address->Last();
        address->Delete();

        groups->Open();
        groups->Append();
        groups->FieldByName("Parent_ID")->SetAsInteger(0);
        groups->FieldByName("Group_Name")->SetAsString("Friends");
        groups->Post();
        const TRaised duplicate = Raises([&] {
            groups->Append();
            groups->FieldByName("Group_Name")->SetAsString("FRIENDS");
            groups->Post();
        });
        Expect(duplicate.Raised, "a group name differing only in case is refused");
        groups->Cancel();

        members->Open();
        members->AppendRecord({db::Variant(1), db::Variant(1)});
        const TRaised twice = Raises([&] { members->AppendRecord({db::Variant(1), db::Variant(1)}); });
        Expect(twice.Raised, "a second membership of the same address and group is refused");
        members->Cancel();
        members->AppendRecord({db::Variant(2), db::Variant(1)});
    });
    ASSERT_EQ(failure, "");

    auto address = OpenTable(folder, "Address");
    EXPECT_EQ(address->RecordCount(), 2);
    EXPECT_EQ(Column(*address, "Address1"), (std::vector<std::string>{"Ann Archer", "Bob Baker"}));
    EXPECT_EQ(Column(*address, "City"), (std::vector<std::string>{"Albany", "Batavia"}));
    EXPECT_EQ(Column(*address, "Zip"), (std::vector<std::string>{"12207", "14201-1234"}));
    EXPECT_EQ(Column(*address, "A_ID"), (std::vector<std::string>{"1", "2"}));
    EXPECT_TRUE(IndexNames(*address).empty());

    auto groups = OpenTable(folder, "Groups");
    EXPECT_EQ(IndexNames(*groups), std::vector<std::string>{"Group_Name"});
    EXPECT_EQ(Column(*groups, "Group_Name"), std::vector<std::string>{"Friends"});
    auto members = OpenTable(folder, "Members");
    EXPECT_EQ(IndexNames(*members), std::vector<std::string>{"ID"});
    EXPECT_EQ(Column(*members, "A_ID"), (std::vector<std::string>{"1", "2"}));
    // The index still refuses duplicates in the new process.
    EXPECT_TRUE(Raises([&] { members->AppendRecord({db::Variant(2), db::Variant(1)}); }).Raised);
    members->Cancel();
}

TEST(EdsTableSchemas, MailerNumHoldsOneSeededRowThatANewProcessReadsAndAdvances) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    const std::string failure = RunInChild([&] {
        auto table = CreateAppTable(folder, "MailerNum",
                                    "CustID,Char,9; SerialNum,Char,8; Increment,Logical;BarCodes,Logical");
        table->Open();
        table->Append();
        table->FieldByName("CustID")->SetAsString("000000000");
        table->FieldByName("SerialNum")->SetAsString("0000000");
        table->FieldByName("Increment")->SetAsBoolean(true);
        table->FieldByName("BarCodes")->SetAsBoolean(true);
        table->Post();
    });
    ASSERT_EQ(failure, "");

    {
        auto table = OpenTable(folder, "MailerNum", true);
        ASSERT_EQ(table->RecordCount(), 1);
        EXPECT_EQ(table->FieldByName("CustID")->AsString(), "000000000");
        EXPECT_EQ(table->FieldByName("SerialNum")->AsString(), "0000000");
        EXPECT_TRUE(table->FieldByName("Increment")->AsBoolean());
        EXPECT_TRUE(table->FieldByName("BarCodes")->AsBoolean());
        table->Edit();
        table->FieldByName("CustID")->SetAsString("123456789");
        table->FieldByName("SerialNum")->SetAsString("0000042");
        table->FieldByName("Increment")->SetAsBoolean(false);
        table->Post();
    }
    const std::string check = RunInChild([&] {
        auto table = OpenTable(folder, "MailerNum");
        Expect(table->RecordCount() == 1, "one row");
        Expect(table->FieldByName("CustID")->AsString() == "123456789", "the customer ID written by the parent");
        Expect(table->FieldByName("SerialNum")->AsString() == "0000042", "the serial written by the parent");
        Expect(!table->FieldByName("Increment")->AsBoolean(), "the direction written by the parent");
    });
    EXPECT_EQ(check, "");
}

TEST(EdsTableSchemas, LogWithItsSideTablesKeepsEveryColumnType) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    const rtl::TDateTime printed = rtl::EncodeDate(2026, 12, 7) + rtl::EncodeTime(9, 41, 5, 250);
    const std::string failure = RunInChild([&] {
        auto log = CreateAppTable(folder, "Log37", kLogFields);
        auto side = std::make_unique<TEdsTable>();
        side->CreateTable(folder + "\\LogFilters.edt", ttEdsEDT, ANSI, 0, "FilterName,Char,20; FilterCombination,Char,3;");
        side->CreateTable(folder + "\\LogFiltersDetail.edt", ttEdsEDT, ANSI, 0,
                          "FilterName,Char,20; FieldName,Char,2; Operator,Char,2; Value,Char,40;");
        side->SetDatabaseName(folder);
        side->SetTableName("LogFilters");
        side->AddIndex("FilterName", "FilterName", {db::ixUnique});
        side->CreateTable(folder + "\\Reports.edt", ttEdsEDT, ANSI, 0, "ReportName,Char,20; Orientation,Char,1;");
        side->SetTableName("Reports");
        side->AddIndex("ReportName", "ReportName", {db::ixUnique});
        side->CreateTable(folder + "\\Report_Detail.edt", ttEdsEDT, ANSI, 0,
                          "ReportName,Char,20; Field_Name,Char,15; FieldOrder,Integer;");

        log->Open();
        Expect(log->FieldCount() == 31, "31 log columns");
        for (int i = 0; i < 3; ++i) {
            log->Append();
            log->FieldByName("DateTime")->SetAsDateTime(printed + i);
            log->FieldByName("MailerNum")->SetAsString("9207 1901 2345 6700 0000 1" + std::to_string(i));
            log->FieldByName("CustID")->SetAsString("123456789");
            log->FieldByName("SerialNum")->SetAsInteger(100 + i);
            log->FieldByName("ToAddress1")->SetAsString("Recipient " + std::to_string(i));
            log->FieldByName("Total")->SetAsString("$7.35");
            log->FieldByName("WishRest")->SetAsBoolean(i == 1);
            log->FieldByName("Batch")->SetAsBoolean(true);
            log->FieldByName("Result")->SetAsString("None");
            log->Post();
        }
        log->First();
        log->Edit();
        log->FieldByName("Batch")->SetAsBoolean(false);
        log->FieldByName("Result")->SetAsString("Delivered");
        log->Post();
        log->Next();
        log->Delete();

        auto reports = OpenTable(folder, "Reports");
        reports->AppendRecord({db::Variant(std::string("Monthly")), db::Variant(std::string("L"))});
        auto filters = OpenTable(folder, "LogFilters");
        filters->AppendRecord({db::Variant(std::string("Batch only")), db::Variant(std::string("AND"))});
    });
    ASSERT_EQ(failure, "");

    for (const char* name : {"Log37", "LogFilters", "LogFiltersDetail", "Reports", "Report_Detail"})
        EXPECT_TRUE(std::filesystem::exists(dir / (std::string(name) + ".edt"))) << name;

    auto log = OpenTable(folder, "Log37");
    ASSERT_EQ(log->RecordCount(), 2);
    log->First();
    EXPECT_DOUBLE_EQ(log->FieldByName("DateTime")->AsDateTime(), printed);
    EXPECT_EQ(log->FieldByName("MailerNum")->AsString(), "9207 1901 2345 6700 0000 10");
    EXPECT_EQ(log->FieldByName("SerialNum")->AsInteger(), 100);
    EXPECT_FALSE(log->FieldByName("Batch")->AsBoolean());
    EXPECT_EQ(log->FieldByName("Result")->AsString(), "Delivered");
    EXPECT_EQ(log->FieldByName("LID")->AsInteger(), 1);
    log->Next();
    EXPECT_EQ(log->FieldByName("LID")->AsInteger(), 3);
    EXPECT_EQ(log->FieldByName("ToAddress1")->AsString(), "Recipient 2");
    EXPECT_FALSE(log->FieldByName("WishRest")->AsBoolean());
    EXPECT_TRUE(log->FieldByName("Batch")->AsBoolean());
    EXPECT_TRUE(log->FieldByName("Comment")->IsNull());

    auto filters = OpenTable(folder, "LogFilters");
    EXPECT_EQ(IndexNames(*filters), std::vector<std::string>{"FilterName"});
    EXPECT_EQ(Column(*filters, "FilterCombination"), std::vector<std::string>{"AND"});
    auto reports = OpenTable(folder, "Reports");
    EXPECT_EQ(IndexNames(*reports), std::vector<std::string>{"ReportName"});
    EXPECT_EQ(Column(*reports, "Orientation"), std::vector<std::string>{"L"});
    EXPECT_TRUE(IndexNames(*OpenTable(folder, "LogFiltersDetail")).empty());
    EXPECT_TRUE(IndexNames(*OpenTable(folder, "Report_Detail")).empty());
    EXPECT_TRUE(IndexNames(*log).empty());
}

TEST(EdsTableSchemas, SenderAddressesShareTheAddressLayout) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    const std::string failure = RunInChild([&] {
        CreateAppTable(folder, "YourAddress", kAddressFields);
        auto table = OpenTable(folder, "YourAddress");
        AppendAddress(*table, "Sendora Office", "Rochester", "14604");
        table->Edit();
        table->FieldByName("Address2")->SetAsString("Suite 5");
        table->Post();
    });
    ASSERT_EQ(failure, "");
    auto table = OpenTable(folder, "YourAddress");
    ASSERT_EQ(table->RecordCount(), 1);
    EXPECT_EQ(table->FieldByName("Address2")->AsString(), "Suite 5");
    EXPECT_EQ(table->FieldByName("Zip")->AsString(), "14604");
    EXPECT_EQ(table->FieldCount(), 8);
}
