#include "platform/rtl/Classes.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace rtl;

namespace {
std::vector<std::string> ItemsOf(const TStringList& list) { return list.Items(); }
using Items = std::vector<std::string>;
}  // namespace

TEST(TStringList, AddIndexAndBounds)
{
    TStringList list;
    EXPECT_EQ(list.Add("b"), 0);
    EXPECT_EQ(list.Add("a"), 1);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list[1], "a");
    EXPECT_EQ(list.IndexOf("B"), 0);  // case ignored by default
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOf("B"), -1);
    EXPECT_THROW(list[2], EStringListError);
    EXPECT_THROW(list[-1], EStringListError);
    EXPECT_THROW(list.Delete(5), EStringListError);
    list.Insert(0, "first");
    list.Delete(2);
    EXPECT_EQ(ItemsOf(list), (Items{"first", "b"}));
}

TEST(TStringList, SortedListsKeepOrderAndHandleDuplicates)
{
    TStringList list;
    for (const char* s : {"pear", "Apple", "banana", "apple"}) list.Add(s);
    list.SetSorted(true);
    EXPECT_EQ(ItemsOf(list), (Items{"Apple", "apple", "banana", "pear"}));  // stable for equal items
    EXPECT_EQ(list.Add("cherry"), 3);
    EXPECT_EQ(list.Add("BANANA"), 2);  // dupIgnore: the existing one
    EXPECT_EQ(list.Count(), 5);
    list.SetDuplicates(TDuplicates::dupError);
    EXPECT_THROW(list.Add("Pear"), EStringListError);
    list.SetDuplicates(TDuplicates::dupAccept);
    EXPECT_EQ(list.Add("Pear"), 5);  // after the equal one already there
    EXPECT_EQ(list.IndexOf("PEAR"), 4);
    EXPECT_THROW(list.Insert(0, "x"), EStringListError);
    EXPECT_THROW(list.Put(0, "x"), EStringListError);
    int at = -1;
    EXPECT_FALSE(list.Find("coconut", at));
    EXPECT_EQ(at, 4);
}

TEST(TStringList, TextSplitsEveryLineEndAndJoinsWithCrLf)
{
    TStringList list;
    list.SetText("one\r\ntwo\nthree\rfour");
    EXPECT_EQ(ItemsOf(list), (Items{"one", "two", "three", "four"}));
    EXPECT_EQ(list.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n");
    list.SetText("a\r\n\r\nb\r\n");
    EXPECT_EQ(ItemsOf(list), (Items{"a", "", "b"}));
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);
    list.SetLineBreak("\n");
    list.Add("x");
    EXPECT_EQ(list.Text(), "x\n");
}

TEST(TStringList, DelimitedTextQuotesWhatNeedsQuoting)
{
    TStringList list;
    for (const char* s : {"plain", "two words", "a,b", "say \"hi\"", ""}) list.Add(s);
    EXPECT_EQ(list.CommaText(), "plain,\"two words\",\"a,b\",\"say \"\"hi\"\"\",");
    TStringList back;
    back.SetCommaText(list.CommaText());
    EXPECT_EQ(ItemsOf(back), ItemsOf(list));

    list.Clear();
    list.Add("");
    EXPECT_EQ(list.CommaText(), "\"\"");
}

TEST(TStringList, DelimitedTextReading)
{
    TStringList list;
    // Blanks separate items unless strict; an empty item between delimiters stays.
    list.SetCommaText(" a b ,, c ");
    EXPECT_EQ(ItemsOf(list), (Items{"a", "b", "", "c"}));
    list.SetCommaText("a,");
    EXPECT_EQ(ItemsOf(list), (Items{"a", ""}));
    list.SetDelimiter(';');
    list.SetStrictDelimiter(true);
    list.SetDelimitedText(" John Smith ;\"x;y\";");
    EXPECT_EQ(ItemsOf(list), (Items{" John Smith ", "x;y", ""}));
    EXPECT_EQ(list.DelimitedText(), " John Smith ;\"x;y\";");
    list.SetDelimitedText("\"unterminated");
    EXPECT_EQ(ItemsOf(list), (Items{"unterminated"}));
}

TEST(TStringList, NameValuePairs)
{
    TStringList list;
    list.SetText("Path=C:\\Data\nEmpty=\nno pair");
    EXPECT_EQ(list.Values("path"), "C:\\Data");
    EXPECT_EQ(list.Values("Empty"), "");
    EXPECT_EQ(list.Values("missing"), "");
    EXPECT_EQ(list.Names(2), "");
    list.SetValues("PATH", "D:\\x=y");
    EXPECT_EQ(list[0], "PATH=D:\\x=y");
    EXPECT_EQ(list.ValueFromIndex(0), "D:\\x=y");
    list.SetValues("Empty", "");
    EXPECT_EQ(list.Count(), 2);
    list.SetValues("New", "1");
    EXPECT_EQ(list[2], "New=1");
}

TEST(TStringList, FilesKeepTheirBytes)
{
    testsupport::TempDir dir;
    std::string file = (dir / "list.txt").string();
    TStringList list;
    list.Add("caf\xC3\xA9");
    list.Add("");
    list.SaveToFile(file);
    EXPECT_EQ(testsupport::ReadFile(file), "caf\xC3\xA9\r\n\r\n");
    TStringList back;
    back.LoadFromFile(file);
    EXPECT_EQ(ItemsOf(back), ItemsOf(list));
    EXPECT_THROW(back.LoadFromFile((dir / "missing.txt").string()), Exception);
    EXPECT_THROW(list.SaveToFile((dir / "no" / "such" / "folder.txt").string()), Exception);
}
