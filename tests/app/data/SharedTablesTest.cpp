#include "app/data/U_FieldTables.h"
#include "app/data/U_Records.h"

#include "platform/rtl/SysUtils.h"

#include <gtest/gtest.h>

#include <set>

TEST(LogFieldTable, CaptionsCarryTheirWidths)
{
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < LogFieldCount; ++i) {
        std::string_view caption = LogFieldCaptions[i];
        std::size_t open = caption.find('(');
        ASSERT_NE(open, std::string_view::npos) << caption;
        ASSERT_EQ(caption.back(), ')') << caption;
        std::string_view width = caption.substr(open + 1, caption.size() - open - 2);
        EXPECT_DOUBLE_EQ(rtl::StrToFloat(width), LogFieldWidths[i]) << caption;
        EXPECT_TRUE(names.insert(LogFieldNames[i]).second) << "twice: " << LogFieldNames[i];
    }
    EXPECT_EQ(LogFieldNames.front(), "DateTime");
    EXPECT_EQ(LogFieldNames.back(), "Result");
}

TEST(LogFilterTable, EveryFieldIsALogColumnOrAnAddressSide)
{
    std::set<std::string_view> columns(LogFieldNames.begin(), LogFieldNames.end());
    for (std::size_t i = 0; i < LogFilterCount; ++i) {
        std::string_view field = LogFilterFields[i];
        EXPECT_TRUE(columns.count(field) || field == "ToAddress" || field == "YourAddress") << field;
        EXPECT_FALSE(LogFilterCaptions[i].empty());
    }
}

TEST(Records, ConstructorsKeepTheFieldOrder)
{
    TAddressRec a(7, "1", "2", "3", "4", "City", "ST", "12345");
    EXPECT_EQ(a.ID, 7);
    EXPECT_EQ(a.Address1 + a.Address2 + a.Address3 + a.Address4, "1234");
    EXPECT_EQ(a.City + "|" + a.State + "|" + a.Zip, "City|ST|12345");
    TMailerRec m("12", "9214", "a", "b", "c", "d", "e", "f", "g");
    EXPECT_EQ(m.LID + m.MailerNum + m.ToAddress1 + m.ToAddress4 + m.ToCity + m.ToState + m.ToZip, "129214adefg");
    TGroupRec root(-1, -1);
    EXPECT_EQ(root.GroupID + root.ParentID, -2);
    TFilterLineRec line("4", "=", "Smith");
    EXPECT_EQ(line.FieldName + line.Operator + line.Value, "4=Smith");
    TReportRec report("0", true);
    EXPECT_TRUE(report.Custom);
}
