// Index files we build, read by others: Perl's XBase index reader walks every tag
// the way our own reader does and finds character keys, and each tag's record order
// is the order Python sorts the same table into, read by dbfread.

#include <map>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfndx.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/dbfengine/MdxInvariants.h"
#include "tests/dbfengine/MdxTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;
using ::testing::IsEmpty;

TEST(XfMdxInterop, PerlWalksAndFindsOurTagsAndPythonSortsTheTableAlike)
{
    REQUIRE_TOOLS("perl", "/usr/bin/python3");
    IndexTableScope scope(2500, 21, false);
    const std::string& table = scope.Table;
    USE(table);
    ASSERT_TRUE(IndexOn(EveryKindOfTag(), ""));
    ASSERT_THAT(MdxProblems(true), IsEmpty());
    std::vector<std::string> problems;
    const std::vector<MdxTagInfo> tags = ReadMdxTags(IndexFileName(), problems);
    ASSERT_EQ(tags.size(), EveryKindOfTag().size());

    std::map<std::string, std::string> python;
    const int status = ForEachOutputLine("/usr/bin/python3 " + PythonScript("mdx_reference.py") + " '" + table + "'",
                                         [&](const std::string& line) {
                                             const std::size_t bar = line.find('|');
                                             python[line.substr(0, bar)] = line.substr(bar + 1);
                                         });
    ASSERT_EQ(status, 0) << "python3-dbfread";
    for (const MdxTagInfo& tag : tags) {
        SCOPED_TRACE(tag.Name);
        std::string ours, oursWithKeys;
        for (const MdxEntry& e : tag.Entries) {
            ours += (ours.empty() ? "" : " ") + std::to_string(e.Record);
            oursWithKeys += std::to_string(e.Record) + "|" + Hex(e.Key) + "\n";
        }
        EXPECT_EQ(ours, python[tag.Name]);
        const testsupport::CommandResult perl =
            testsupport::RunCommand("perl " + PerlScript() + " walk '" + IndexFileName() + "' " + tag.Name);
        ASSERT_EQ(perl.status, 0) << "libdbd-xbase-perl";
        EXPECT_TRUE(perl.output == oursWithKeys) << perl.output.substr(0, 400);
    }

    // Perl's search lands where ours does on the ascending character tags.
    for (const char* tagName : {"NAME", "CITYONCE", "OKNAMES"}) {
        ASSERT_TRUE(SetOrderToTag(tagName));
        for (const std::string text : {"Abel", "Baker 1", "Cole", "Miller", "Zed 5", "Chicago", "El Paso", "Dunn"}) {
            const testsupport::CommandResult perl =
                testsupport::RunCommand("perl " + PerlScript() + " find '" + IndexFileName() + "' " + tagName + " '" + text + "'");
            ASSERT_EQ(perl.status, 0);
            Find(text);
            if (IndexFound()) {
                EXPECT_EQ(perl.output, std::to_string(RecNo()) + "\n") << tagName << " " << text;
            }
        }
    }
}
