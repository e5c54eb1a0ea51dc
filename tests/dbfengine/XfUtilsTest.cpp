// Text, number and file-name routines where they are easy to get wrong: empty
// patterns, separators, option words, extensions, Soundex and the node lists.

#include <cmath>

#include <gtest/gtest.h>

#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndxlow.h"
#include "dbfengine/xfutils.h"

using namespace xf;

TEST(XfUtils, TextRoutinesTerminateAndCount)
{
    EXPECT_EQ(Occurs("aa", "aaaa"), 2);
    EXPECT_EQ(Occurs("", "aaaa"), 0);
    EXPECT_EQ(Replicate("", 10), "");
    EXPECT_EQ(Replicate("ab", 5), "ababab");
    EXPECT_EQ(Replicate("x", 3), "xxx");
    EXPECT_EQ(AtPos("b", "abcabc", 2, false), 5);
    EXPECT_EQ(AtPos("b", "abcabc", 1, true), 5);
    EXPECT_EQ(AtPos("b", "abcabc", 2, true), 2);
    EXPECT_EQ(AtPos("b", "abcabc", 3, false), 0);
    EXPECT_EQ(AtPos("", "abc", 1, false), 0);

    TXfDateSettingsGuard settings;
    XfDates().DecimalSeparator = '.';
    EXPECT_EQ(TextToSmallInt("$1,234 x"), 1234);
    EXPECT_EQ(TextToSmallInt("99999"), 32767);
    EXPECT_EQ(TextToSmallInt("-99999999999999999999"), -32768);
    EXPECT_EQ(TextToSmallInt("+12"), 12);
    XfDates().DecimalSeparator = ',';
    EXPECT_EQ(TextToSmallInt("1.234"), 1234);
    EXPECT_EQ(FloatToText(-1.5, 2), "-1,50");
    std::string number = "  $-,5";
    CleanNumberText(number);
    EXPECT_EQ(number, "-0.5");
    EXPECT_EQ(IntToText(42, 5), "   42");

    std::string use = "C:/Data/My Tables/report3.dbf EXCLUSIVE ALIAS rep";
    EXPECT_TRUE(RemoveOption(" EXCLUSIVE", use));
    EXPECT_EQ(use, "C:/Data/My Tables/report3.dbf ALIAS rep");
    EXPECT_FALSE(RemoveOption(" EXCL", use));
    std::string locate = "NAME nocase,EXACT";
    EXPECT_TRUE(RemoveOption(" NOCASE", locate));
    EXPECT_EQ(locate, "NAME,EXACT");

    EXPECT_EQ(XfSaturateInt32(1e20), 2147483647);
    EXPECT_EQ(XfSaturateInt32(-1e20), -2147483647 - 1);
    EXPECT_EQ(XfSaturateInt32(std::nan("")), 0);
    EXPECT_EQ(XfSaturateInt64(1e30), INT64_MAX);
}

TEST(XfUtils, FileNamesKeepTheirFolderAndCase)
{
    std::string folder, name, ext;
    SplitFileName("C:\\Sendo\\Reports\\report3.dbf", folder, name, ext);
    EXPECT_EQ(folder, "C:\\Sendo\\Reports\\");
    EXPECT_EQ(name, "report3");
    EXPECT_EQ(ext, ".dbf");
    EXPECT_EQ(ApplyExtension("/data/My Dir.v2/Report  ", "DBF"), "/data/My Dir.v2/Report.DBF");
    EXPECT_EQ(ApplyExtension("/data/report3.", "DBF"), "/data/report3.");
    EXPECT_EQ(ApplyExtension("/data/report3.dbf", "DBF"), "/data/report3.dbf");
    EXPECT_EQ(ForceExtension("/data/report3.dbf", "DBT"), "/data/report3.DBT");
    EXPECT_EQ(StripExtension("/data.d/report3"), "/data.d/report3");
    EXPECT_EQ(ExpandName("/a/b/../c.dbf"), "/a/c.dbf");
    const std::string long300(300, 'x');
    EXPECT_EQ(ApplyExtension(long300, "DBF").size(), 304u);  // never cut
}

TEST(XfUtils, SoundexZeroTextsAndNodeLists)
{
    EXPECT_EQ(Soundex("ROBERT"), "R163");
    EXPECT_EQ(Soundex("rupert"), "R163");
    EXPECT_EQ(Soundex("ASHCRAFT"), "A226");
    EXPECT_EQ(Soundex("A"), "A000");
    EXPECT_EQ(Soundex("TYMCZAK"), "T522");
    EXPECT_EQ(Soundex(""), "0000");

    char text[] = "abcXY";
    SwapAdjacentRanges(text, 3, 2);
    EXPECT_STREQ(text, "XYabc");
    StrUpperAscii(text);
    EXPECT_STREQ(text, "XYABC");
    EXPECT_EQ(StrCompN("abc", "abd", 2), 0);
    EXPECT_LT(StrCompN("abc", "abd", 3), 0);
    EXPECT_EQ(StrLCopyToString("abcdef", 3), "abc");
    EXPECT_EQ(ZeroPadNumber(42, 5), "00042");

    TXfNodeList list;
    for (int i = 1; i <= 3; ++i) *reinterpret_cast<int*>(list.ListAdd(sizeof(int))) = i;
    std::vector<int> order;
    for (TXfNode* node = list.Current()->Next; node; node = list.ListNext(node))
        order.push_back(*reinterpret_cast<int*>(node->Payload.data()));
    EXPECT_EQ(order, (std::vector<int> {1, 2, 3}));
    auto removed = list.ListRemove();
    EXPECT_EQ(*reinterpret_cast<int*>(removed->Payload.data()), 3);
    EXPECT_EQ(*reinterpret_cast<int*>(list.Current()->Payload.data()), 2);
    EXPECT_EQ(list.ListAdd(static_cast<std::size_t>(MaxAvail)), nullptr);
}
