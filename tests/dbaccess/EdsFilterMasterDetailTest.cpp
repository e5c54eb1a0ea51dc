// A detail table on a master link, shaped like the address book's Groups and
// Members: it shows the master's members as the master scrolls, before and
// after changes of its order, fills new members' group, and refuses what
// cannot work with a clear message instead of a wrong range.

#include "tests/dbaccess/EdsLocateTestSupport.h"

using edstabletest::CreateAppTable;
using edstabletest::OpenTable;
using edstabletest::Raises;

namespace {

class EdsMasterDetail : public ::testing::Test {
protected:
    void SetUp() override {
        {
            auto groups = CreateAppTable(dir_.str(), "Groups", "GroupID,Integer; Title,Char,30;");
            groups->AddIndex("ByID", "GroupID", {});
            groups->Open();
            for (int id : {10, 20, 30}) groups->AppendRecord({id, "Group " + std::to_string(id)});
            auto members = CreateAppTable(dir_.str(), "Members", "MemberID,Integer; GroupID,Integer; Name,Char,30;");
            members->AddIndex("ByGroup", "GroupID;Name", {});
            members->AddIndex("ByGroupMember", "GroupID;MemberID", {});
            members->AddIndex("ByName", "Name", {});
            members->Open();
            const struct {
                int id;
                int group;
                const char* name;
            } rows[] = {{1, 10, "Yara"}, {2, 20, "Bob"}, {3, 10, "Abe"}, {4, 30, "Cy"}, {5, 10, "Max"}, {6, 20, "Al"}};
            for (const auto& row : rows) members->AppendRecord({row.id, row.group, row.name});
        }
        master_ = OpenTable(dir_.str(), "Groups");
        master_->SetIndexName("ByID");
        source_ = std::make_unique<db::TDataSource>();
        source_->SetDataSet(master_.get());
        detail_ = std::make_unique<TEdsTable>();
        detail_->SetDatabaseName(dir_.str());
        detail_->SetTableName("Members");
        detail_->SetIndexName("ByGroup");
        detail_->SetMasterSource(source_.get());
        detail_->SetMasterFields("GroupID");
        detail_->Open();
    }
    std::vector<std::string> Members() {
        std::vector<std::string> names;
        for (detail_->First(); !detail_->Eof(); detail_->Next()) names.push_back(detail_->FieldByName("Name")->AsString());
        return names;
    }
    using TNames = std::vector<std::string>;

    testsupport::TempDir dir_;
    std::unique_ptr<TEdsTable> master_;
    std::unique_ptr<db::TDataSource> source_;
    std::unique_ptr<TEdsTable> detail_;
};

TEST_F(EdsMasterDetail, TheDetailFollowsTheMasterAsItScrolls) {
    EXPECT_EQ(Members(), (TNames{"Abe", "Max", "Yara"}));
    master_->Next();
    EXPECT_EQ(Members(), (TNames{"Al", "Bob"}));
    master_->Next();
    EXPECT_EQ(Members(), (TNames{"Cy"}));
    master_->Prior();
    EXPECT_EQ(Members(), (TNames{"Al", "Bob"}));
    master_->First();
    EXPECT_EQ(detail_->FieldByName("Name")->AsString(), "Abe");
}

TEST_F(EdsMasterDetail, ItKeepsFollowingAfterChangesOfOrder) {
    master_->Next();
    detail_->SetIndexName("ByGroupMember");
    EXPECT_EQ(Members(), (TNames{"Bob", "Al"}));
    master_->First();
    EXPECT_EQ(Members(), (TNames{"Yara", "Abe", "Max"}));

    detail_->SetIndexFieldNames("GroupID;Name");
    EXPECT_EQ(Members(), (TNames{"Abe", "Max", "Yara"}));
    master_->Last();
    EXPECT_EQ(Members(), (TNames{"Cy"}));
}

TEST_F(EdsMasterDetail, AnOrderThatCannotCarryTheLinkIsRefusedAndTheRangeStays) {
    const auto natural = Raises([&] { detail_->SetIndexName(std::string()); });
    EXPECT_TRUE(natural.Raised);
    EXPECT_NE(natural.Message.find("no index is active"), std::string::npos);
    EXPECT_EQ(detail_->IndexName(), "ByGroup");
    EXPECT_EQ(Members(), (TNames{"Abe", "Max", "Yara"}));

    // Two master fields need two leading segments.
    detail_->SetMasterFields("GroupID;Title");
    EXPECT_EQ(Members(), (TNames{}));  // no member is named after its group's title
    const auto shortIndex = Raises([&] { detail_->SetIndexName("ByName"); });
    EXPECT_NE(shortIndex.Message.find("fewer fields than the master fields"), std::string::npos);
    EXPECT_EQ(detail_->IndexName(), "ByGroup");
}

TEST_F(EdsMasterDetail, NewMembersJoinTheMastersGroup) {
    master_->Next();
    detail_->Append();
    detail_->FieldByName("MemberID")->SetAsInteger(7);
    detail_->FieldByName("Name")->SetAsString("Zed");
    detail_->Post();
    EXPECT_EQ(detail_->FieldByName("GroupID")->AsInteger(), 20);
    EXPECT_EQ(Members(), (TNames{"Al", "Bob", "Zed"}));
}

TEST_F(EdsMasterDetail, ClosingTheMasterOrDroppingTheLinkShowsEveryMember) {
    master_->Close();
    EXPECT_EQ(Members().size(), 6u);
    master_->Open();
    EXPECT_EQ(Members(), (TNames{"Abe", "Max", "Yara"}));
    detail_->SetMasterSource(nullptr);
    EXPECT_EQ(detail_->MasterFields(), "");
    EXPECT_EQ(Members().size(), 6u);
}

TEST_F(EdsMasterDetail, ADatasetCannotBeItsOwnMaster) {
    db::TDataSource own;
    own.SetDataSet(detail_.get());
    const auto self = Raises([&] { detail_->SetMasterSource(&own); });
    EXPECT_EQ(self.Code, EdsClientErrorCode);
    EXPECT_NE(self.Message.find("Circular Data Link"), std::string::npos);
    db::TDataSource details;
    details.SetDataSet(detail_.get());
    EXPECT_TRUE(Raises([&] { master_->SetMasterSource(&details); }).Raised);
    EXPECT_EQ(master_->MasterSource(), nullptr);
}

}  // namespace
