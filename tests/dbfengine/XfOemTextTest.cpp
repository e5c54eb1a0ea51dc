// Tables whose text is OEM, as DOS programs left them: a record reads as the
// program's own text, so filters, FOR conditions and key expressions see "Müller"
// and not its OEM bytes; character keys are stored and searched in OEM, so other
// readers of the index agree with us; a write stores OEM once and keeps the bytes
// of what it did not change.

#include <cstring>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/uxffds.h"
#include "dbfengine/xfndx.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/dbfengine/MdxInvariants.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// NAME C(12) and NOTE C(6); the names come in UTF-8 and are stored in code page
// 437, the notes are stored as given.
struct OemRow {
    std::string Name, Note;
};

std::string StoredRecord(const OemRow& row)
{
    std::string name = rtl::FromUtf8(row.Name, rtl::CodePage::Oem437), note = row.Note;
    name.resize(12, ' ');
    note.resize(6, ' ');
    return " " + name + note;
}

// The table as another program wrote it, byte for byte.
void WriteOemTable(const std::string& path, const std::vector<OemRow>& rows)
{
    TDbfTable t;
    ASSERT_EQ(CreateDbf(t, path, {{"NAME", 'C', 12, 0}, {"NOTE", 'C', 6, 0}}), 0);
    std::string bytes = testsupport::ReadFile(path);
    bytes.pop_back();
    for (const OemRow& row : rows) bytes += StoredRecord(row);
    bytes += '\x1A';
    const std::int32_t count = static_cast<std::int32_t>(rows.size());
    std::memcpy(&bytes[4], &count, 4);
    testsupport::WriteFile(path, bytes);
}

// Record n as the file holds it.
std::string FileRecord(const std::string& path, int n)
{
    const std::string bytes = testsupport::ReadFile(path);
    return bytes.substr(32 * 3 + 1 + static_cast<std::size_t>(n - 1) * 19, 19);
}

const std::vector<OemRow> kPeople = {{"Müller", ""}, {"MÜLLER", ""}, {"Straße", ""}, {"Smith", ""}};

// The engine's state kept, code page 437, and a table of the rows in a folder of its own.
struct OemTableScope {
    explicit OemTableScope(const std::vector<OemRow>& rows) : Path(Dir.str() + "/people.dbf")
    {
        XfSetOemCodePage(rtl::CodePage::Oem437);
        WriteOemTable(Path, rows);
    }
    EngineScope Engine;
    testsupport::TempDir Dir;
    std::string Path;
};

std::string Ansi(const std::string& utf8) { return XfUtf8ToAnsi(utf8); }

// The records a filter lets through.
int Passing(const std::string& condition)
{
    EXPECT_TRUE(SetFilterCondition(Ansi(condition))) << condition;
    int count = 0;
    for (GoTop(); !dEOF(); SKIP(1)) ++count;
    SetFilterCondition("");
    return count;
}

// "record|key" for every entry of a tag of the open index, keys without their
// trailing blanks.
std::vector<std::string> TagEntries(const std::string& tag)
{
    std::vector<std::string> problems, entries;
    for (const MdxTagInfo& info : ReadMdxTags(IndexFileName(), problems))
        if (info.Name == tag)
            for (const MdxEntry& e : info.Entries) entries.push_back(std::to_string(e.Record) + "|" + TrimRightStr(e.Key));
    EXPECT_THAT(problems, IsEmpty());
    return entries;
}

}  // namespace

TEST(XfOemText, FiltersAndForConditionsSeeTheTextAsRead)
{
    OemTableScope table(kPeople);
    USE(table.Path, "EXCLUSIVE");
    EXPECT_EQ(Passing("NAME = \"Müller\""), 1);
    EXPECT_EQ(Passing("UPPER(NAME) = \"MÜLLER\""), 2);
    EXPECT_EQ(Passing("\"ü\" $ NAME"), 1);
    EXPECT_EQ(Passing("\"ü\" $ LOWER(NAME)"), 2);
    EXPECT_EQ(Passing("SUBSTR(NAME, 5, 1) = \"ß\""), 1);

    ASSERT_TRUE(IndexOn({{"UMLAUTS", "NAME", Ansi("\"ü\" $ LOWER(NAME)"), false, false}}, ""));
    EXPECT_THAT(TagEntries("UMLAUTS"), ElementsAre("1|M\x81ller", "2|M\x9ALLER"));
    EXPECT_THAT(MdxProblems(true), IsEmpty());
}

TEST(XfOemText, TagsStoreAndSearchOemKeysThatPerlFindsToo)
{
    REQUIRE_TOOLS("perl");
    OemTableScope table(kPeople);
    const std::string& path = table.Path;
    const std::vector<std::string> expected = {"1|M\x9ALLER", "2|M\x9ALLER", "4|SMITH", "3|STRA\xE1" "E"};

    // Kept up key by key while the records are appended...
    const std::string grown = table.Dir.str() + "/grown.dbf";
    WriteOemTable(grown, {});
    USE(grown, "EXCLUSIVE");
    ASSERT_TRUE(IndexOn({{"UPNAME", "UPPER(NAME)", "", false, false}}, ""));
    for (const OemRow& row : kPeople) {
        ClearRecord();
        CurrentRecord().SetText(1, Ansi(row.Name));
        Append();
    }
    EXPECT_EQ(TagEntries("UPNAME"), expected);
    CloseDatabase();

    // ...and built in one pass over a table another program wrote.
    USE(path, "EXCLUSIVE");
    ASSERT_TRUE(IndexOn({{"UPNAME", "UPPER(NAME)", "", false, false}, {"UNIQUP", "UPPER(NAME)", "", false, true}}, ""));
    EXPECT_EQ(TagEntries("UPNAME"), expected);
    EXPECT_THAT(MdxProblems(true), IsEmpty());

    Find(Ansi("MÜLLER"));
    ASSERT_TRUE(IndexFound());
    EXPECT_EQ(RecNo(), 1);
    EXPECT_EQ(GetFirstKeyTextProc()(), Ansi("MÜLLER      "));
    Find(Ansi("STRAß"));
    ASSERT_TRUE(IndexFound());
    EXPECT_EQ(RecNo(), 3);

    // Perl's reader sees the same keys and finds the OEM text where we do.
    const testsupport::CommandResult walk = testsupport::RunCommand("perl " + PerlScript() + " walk '" + IndexFileName() + "' UPNAME");
    ASSERT_EQ(walk.status, 0) << "libdbd-xbase-perl";
    std::string walked;
    for (const std::string& entry : expected) {
        std::string key = entry.substr(2);
        key.resize(12, ' ');
        walked += entry.substr(0, 2) + Hex(key) + "\n";
    }
    EXPECT_EQ(walk.output, walked);
    for (const auto& [text, record] : {std::pair {"M\x9ALLER", "1\n"}, {"STRA\xE1", "3\n"}}) {
        const testsupport::CommandResult find =
            testsupport::RunCommand("perl " + PerlScript() + " find '" + IndexFileName() + "' UPNAME '" + text + "'");
        ASSERT_EQ(find.status, 0) << "libdbd-xbase-perl";
        EXPECT_EQ(find.output, record) << text;
    }

    // Replaced records move their keys; the unique tag hands "MÜLLER" on to the next
    // record that has it when its first record changes.
    GO(3);
    CurrentRecord().SetText(1, Ansi("Jürgen"));
    Replace();
    GO(1);
    CurrentRecord().SetText(1, Ansi("Schmidt"));
    Replace();
    EXPECT_THAT(TagEntries("UPNAME"), ElementsAre("3|J\x9ARGEN", "2|M\x9ALLER", "1|SCHMIDT", "4|SMITH"));
    EXPECT_THAT(TagEntries("UNIQUP"), ElementsAre("3|J\x9ARGEN", "2|M\x9ALLER", "1|SCHMIDT", "4|SMITH"));
    EXPECT_THAT(MdxProblems(), IsEmpty());
    ASSERT_TRUE(SetOrderToTag("UNIQUP"));
    Find(Ansi("MÜLLER"));
    EXPECT_TRUE(IndexFound());
    EXPECT_EQ(RecNo(), 2);
}

TEST(XfOemText, TheDatasetFindsByItsUpperCaseTagAndPostsOemText)
{
    OemTableScope table(kPeople);
    const std::string& path = table.Path;
    TXfDbf ds;
    ds.SetDbfFields({"NAME,C,12,0", "NOTE,C,6,0"});
    ds.SetIndexList({"UPNAME,F,F,UPPER(NAME)", ""});
    ds.SetDbfFileName(path);
    ds.Open();
    ASSERT_TRUE(ds.Find("MÜLLER"));
    EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "Müller");
    ASSERT_TRUE(ds.Find("STRAß"));
    EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "Straße");

    ds.Edit();
    ds.FieldByName("NAME")->SetAsString("Jürgen Groß");
    ds.Post();
    EXPECT_EQ(FileRecord(path, 3), " J\x81rgen Gro\xE1 " + std::string(6, ' '));
    ASSERT_TRUE(ds.Find("JÜRGEN"));
    EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "Jürgen Groß");
    ds.Close();
}

TEST(XfOemText, WritesStoreOemOnceAndKeepTheBytesOfWhatTheyDidNotChange)
{
    // Box drawing has no counterpart in the program's text: it reads as "?".
    const std::string box = "\xC4\xB3\xDA";
    OemTableScope table({{"Müller", box}, {"Smith", "ab"}});
    const std::string& path = table.Path;
    USE(path, "EXCLUSIVE");
    TXfTypedRecord r = CurrentRecord();
    EXPECT_EQ(TrimRightStr(r.Text(1)), Ansi("Müller"));
    EXPECT_EQ(TrimRightStr(r.Text(2)), "???");

    r.SetText(1, Ansi("Jürgen"));
    Replace();
    EXPECT_EQ(FileRecord(path, 1), StoredRecord({"Jürgen", box}));
    EXPECT_EQ(TrimRightStr(r.Text(1)), Ansi("Jürgen"));
    Replace();  // nothing changed: nothing converted again
    EXPECT_EQ(FileRecord(path, 1), StoredRecord({"Jürgen", box}));
    SKIP(0);
    EXPECT_EQ(TrimRightStr(r.Text(1)), Ansi("Jürgen"));

    // A changed field is stored whole; a character the OEM page lacks becomes "?".
    r.SetText(2, "x??");
    Replace();
    EXPECT_EQ(FileRecord(path, 1), StoredRecord({"Jürgen", "x??"}));
    ClearRecord();
    r.SetText(1, Ansi("Größe €5"));
    Append();
    EXPECT_EQ(FileRecord(path, 3), StoredRecord({"Größe ?5", ""}));

    // Poke stores its field the same way, in the current record and in another.
    CloseDatabase();
    WriteOemTable(path, {{"Müller", box}, {"Smith", "ab"}});
    USE(path, "EXCLUSIVE");
    std::vector<std::byte> value;
    ASSERT_TRUE(Peek(1, 1, value));
    const std::string name = Ansi("Ärger");
    value[0] = std::byte {static_cast<std::uint8_t>(name.size())};
    std::memcpy(value.data() + 1, name.data(), name.size());
    ASSERT_TRUE(Poke(1, 2, value));
    ASSERT_TRUE(Poke(1, 1, value));
    EXPECT_EQ(FileRecord(path, 1), StoredRecord({"Ärger", box}));
    EXPECT_EQ(FileRecord(path, 2), StoredRecord({"Ärger", "ab"}));
    EXPECT_EQ(TrimRightStr(CurrentRecord().Text(1)), name);
    ASSERT_TRUE(Peek(1, 2, value));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(value.data()) + 1, 12), name + "       ");
}

TEST(XfOemText, ThePeekCacheServesEveryAreaItsOwnText)
{
    OemTableScope table(kPeople);
    const std::string& path = table.Path;
    XfDbf4Settings().PeekCacheSize = 4096;
    const auto peekName = [](std::int32_t record) {
        std::vector<std::byte> value;
        EXPECT_TRUE(Peek(1, record, value));
        return TrimRightStr(std::string(reinterpret_cast<const char*>(value.data()) + 1, 12));
    };
    Select(1);
    USE(path, "ALIAS OEM");
    Select(2);
    USE(path, "ALIAS RAW", nullptr, 0, 0);
    EXPECT_EQ(peekName(1), "M\x81ller");
    Select(1);
    EXPECT_EQ(peekName(1), Ansi("Müller"));
    EXPECT_EQ(peekName(3), Ansi("Straße"));

    // A write refreshes the cached record, which the other area reads as stored.
    GO(2);
    ASSERT_TRUE(RLock());
    CurrentRecord().SetText(1, Ansi("Jürgen"));
    Replace();
    DeleteRec();
    Unlock();
    EXPECT_EQ(peekName(2), Ansi("Jürgen"));
    std::vector<std::byte> whole;
    ASSERT_TRUE(Peek(0, 2, whole));
    EXPECT_EQ(whole[0], std::byte {1});
    Select(2);
    EXPECT_EQ(peekName(2), "J\x81rgen");
    Select(1);
    EXPECT_TRUE(LocateCountSum("NAME NOCASE", Ansi("jürgen")));
    EXPECT_EQ(RecNo(), 2);
}

TEST(XfOemText, KeysHoldTheOemCharactersTheProgramsTextLacksAsOtherProgramsTagsDo)
{
    REQUIRE_TOOLS("perl");
    // Box drawing reads as "?" here, but keys hold it as the file does.
    OemTableScope table({{"Box│─", ""}, {"Smith", ""}, {"Box┤", "ab"}, {"Abel ═╗", ""}, {"Box?", ""}});
    const std::string& path = table.Path;
    const std::vector<TXfTagDef> tags = {{"NAME", "NAME", "", false, false}, {"UPNAME", "UPPER(NAME)", "", false, false}};
    // Another program's tags: made from the bytes the file holds, unconverted.
    USE(path, "EXCLUSIVE", nullptr, 0, 0);
    ASSERT_TRUE(IndexOn(tags, ""));
    const std::vector<std::string> theirs = TagEntries("UPNAME");
    EXPECT_THAT(theirs, ElementsAre("4|ABEL \xCD\xBB", "5|BOX?", "1|BOX\xB3\xC4", "3|BOX\xB4", "2|SMITH"));
    CloseDatabase();

    // We keep them up through a replace that leaves the indexed text alone, and
    // through one that changes it.
    USE(path, "EXCLUSIVE");
    ASSERT_TRUE(SetIndexTo(""));
    EXPECT_THAT(MdxProblems(), IsEmpty());
    GO(1);
    CurrentRecord().SetText(2, "note");
    EXPECT_EQ(ErrorOf([] { Replace(); }), (std::pair<int, std::string> {0, ""}));
    EXPECT_EQ(FileRecord(path, 1), StoredRecord({"Box│─", "note"}));
    EXPECT_EQ(TagEntries("UPNAME"), theirs);
    GO(3);
    CurrentRecord().SetText(1, "Boxer");
    EXPECT_EQ(ErrorOf([] { Replace(); }), (std::pair<int, std::string> {0, ""}));
    EXPECT_THAT(TagEntries("UPNAME"), ElementsAre("4|ABEL \xCD\xBB", "5|BOX?", "3|BOXER", "1|BOX\xB3\xC4", "2|SMITH"));
    EXPECT_THAT(MdxProblems(), IsEmpty());

    // Built by us, the tags hold what the other program's did, and Perl's reader
    // finds the records by the file's bytes.
    ASSERT_TRUE(IndexOn(tags, ""));
    EXPECT_THAT(MdxProblems(true), IsEmpty());
    EXPECT_THAT(TagEntries("NAME"), ElementsAre("4|Abel \xCD\xBB", "5|Box?", "3|Boxer", "1|Box\xB3\xC4", "2|Smith"));
    const testsupport::CommandResult walk = testsupport::RunCommand("perl " + PerlScript() + " walk '" + IndexFileName() + "' UPNAME");
    ASSERT_EQ(walk.status, 0) << "libdbd-xbase-perl";
    EXPECT_EQ(walk.output, "4|" + Hex("ABEL \xCD\xBB     ") + "\n5|" + Hex("BOX?        ") + "\n3|" + Hex("BOXER       ") +
                               "\n1|" + Hex("BOX\xB3\xC4       ") + "\n2|" + Hex("SMITH       ") + "\n");
    for (const auto& [text, record] : {std::pair {"BOX\xB3", "1\n"}, {"ABEL \xCD", "4\n"}}) {
        const testsupport::CommandResult find =
            testsupport::RunCommand("perl " + PerlScript() + " find '" + IndexFileName() + "' UPNAME '" + text + "'");
        ASSERT_EQ(find.status, 0) << "libdbd-xbase-perl";
        EXPECT_EQ(find.output, record) << text;
    }
    // A search is made from the program's text, as a write stores it.
    ASSERT_TRUE(SetOrderToTag("UPNAME"));
    Find("BOX?");
    EXPECT_TRUE(IndexFound());
    EXPECT_EQ(RecNo(), 5);
    CloseDatabase();
}
