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

// Every argument lands in its own field: each value is distinct, so a swap of
// any two shows.
TEST(Records, ConstructorsKeepTheFieldOrder)
{
    const TAddressRec a(7, "a1", "a2", "a3", "a4", "City", "ST", "12345");
    EXPECT_EQ(a.ID, 7);
    EXPECT_EQ(a.Address1 + "|" + a.Address2 + "|" + a.Address3 + "|" + a.Address4 + "|" + a.City + "|" + a.State +
                  "|" + a.Zip,
              "a1|a2|a3|a4|City|ST|12345");
    const TMailerRec m("12", "9214", "t1", "t2", "t3", "t4", "Town", "IL", "62701");
    EXPECT_EQ(m.LID + "|" + m.MailerNum + "|" + m.ToAddress1 + "|" + m.ToAddress2 + "|" + m.ToAddress3 + "|" +
                  m.ToAddress4 + "|" + m.ToCity + "|" + m.ToState + "|" + m.ToZip,
              "12|9214|t1|t2|t3|t4|Town|IL|62701");
    const TGroupRec group(5, 3);
    EXPECT_EQ(group.GroupID, 5);
    EXPECT_EQ(group.ParentID, 3);
    const TFilterLineRec line("4", "=", "Smith");
    EXPECT_EQ(line.FieldName + "|" + line.Operator + "|" + line.Value, "4|=|Smith");
    const TReportRec report("1", true);
    EXPECT_EQ(report.Orientation, "1");
    EXPECT_TRUE(report.Custom);
    EXPECT_FALSE(TReportRec("0", false).Custom);
}
