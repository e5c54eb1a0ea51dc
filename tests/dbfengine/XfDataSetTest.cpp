// The dataset over a table made from its field list: navigation at both ends,
// edits of two programs on different fields of one record, memo fields as text
// and as binary blob streams, and the field texts dBase would print.

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "dbfengine/uxffds.h"
#include "dbfengine/xfmemo.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

const std::vector<std::string> kFields {"name,C,20,0", "city,C,300,0", "born,D,10,0", "amount,N,10,2",
                                        "count,N,5,0", "ok,L,1,0", "notes,M,10,0"};

std::unique_ptr<TXfDbf> OpenTable(const std::string& path)
{
    auto ds = std::make_unique<TXfDbf>();
    ds->SetName("People");
    ds->SetDbfFields(kFields);
    ds->SetDbfFileName(path);
    ds->Open();
    return ds;
}

void AddRow(TXfDbf& ds, const std::string& name, const std::string& city, int count)
{
    ds.Append();
    ds.FieldByName("NAME")->SetAsString(name);
    ds.FieldByName("CITY")->SetAsString(city);
    ds.FieldByName("COUNT")->SetAsInteger(count);
    ds.Post();
}

std::vector<std::string> Names(TXfDbf& ds, bool backwards)
{
    std::vector<std::string> names;
    if (backwards) {
        for (ds.Last(); !ds.Bof(); ds.Prior()) names.push_back(ds.FieldByName("NAME")->AsString());
    } else {
        for (ds.First(); !ds.Eof(); ds.Next()) names.push_back(ds.FieldByName("NAME")->AsString());
    }
    return names;
}

// Blocks until the other side writes a byte.
void Wait(int fd)
{
    char c;
    ASSERT_EQ(read(fd, &c, 1), 1);
}
void Signal(int fd) { ASSERT_EQ(write(fd, "x", 1), 1); }

}  // namespace

TEST(XfDataSet, ATableMadeFromItsFieldListNavigatesToBothEndsAndKeepsWhatWasPosted)
{
    EngineScope scope;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/people";
    auto ds = OpenTable(path);
    ASSERT_TRUE(std::filesystem::exists(path + ".DBF")) << "the name takes the extension DBF";
    // The text field of 300 is made 254 wide.
    EXPECT_EQ(ds->FieldByName("CITY")->Size(), 254);
    EXPECT_EQ(ds->RecordCount(), 0);
    EXPECT_TRUE(ds->Eof());
    AddRow(*ds, "Zoë Ça va", "Köln", 1);
    AddRow(*ds, "Müller ß", "", 2);
    AddRow(*ds, "plain", "Springfield", 3);
    EXPECT_EQ(Names(*ds, false), (std::vector<std::string> {"Zoë Ça va", "Müller ß", "plain"}));
    EXPECT_EQ(Names(*ds, true), (std::vector<std::string> {"plain", "Müller ß", "Zoë Ça va"}));

    // Next past the last record stays on it; Prior then gives the last one.
    ds->Last();
    ds->Next();
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "plain");
    ds->Prior();
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "Müller ß");
    EXPECT_EQ(ds->RecNo(), 2);
    const db::TBookmark mark = ds->GetBookmark();
    ds->First();
    ds->GotoBookmark(mark);
    EXPECT_EQ(ds->FieldByName("COUNT")->AsInteger(), 2);

    ds->Edit();
    ds->FieldByName("BORN")->SetAsString("02/29/2024");
    ds->FieldByName("AMOUNT")->SetAsFloat(1234.567);
    ds->FieldByName("OK")->SetAsBoolean(true);
    ds->Post();
    ds->Close();
    ds->Open();
    ds->SetRecNo(2);
    EXPECT_EQ(FieldAsDbfShortString(*ds, "born"), "02/29/2024");
    EXPECT_EQ(FieldAsDbfString(*ds, "amount"), std::string(10 - 7, ' ') + "1234.57");
    EXPECT_EQ(FieldAsDbfString(*ds, "ok"), "T");
    EXPECT_EQ(FieldAsDbfString(*ds, "name"), "Müller ß" + std::string(12, ' '));
    ds->First();
    EXPECT_EQ(FieldAsDbfShortString(*ds, "born"), "  /  /    ") << "a blank date is the style's blank text";

    // A deleted record is still read (deleted records are not hidden).
    ds->First();
    ds->Delete();
    ds->Close();
    ds->Open();
    EXPECT_EQ(Names(*ds, false).size(), 3u);
    ds->Close();
    EXPECT_EQ(WorkArea(1), nullptr) << "closing frees the work area";
}

TEST(XfDataSet, TwoProgramsEditingDifferentFieldsOfOneRecordBothKeepTheirChange)
{
    EngineScope scope;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/shared.dbf";
    {
        auto ds = OpenTable(path);
        AddRow(*ds, "first", "Boston", 1);
        AddRow(*ds, "second", "Denver", 2);
    }
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The other program: waits until the first has the record in edit, then
        // changes the city and posts first.
        int status = 1;
        try {
            char c;
            if (read(toChild[0], &c, 1) == 1) {
                auto ds = OpenTable(path);
                ds->SetRecNo(2);
                ds->Edit();
                ds->FieldByName("CITY")->SetAsString("Chicago");
                ds->Post();
                ds->Close();
                status = 0;
            }
        } catch (...) {
        }
        if (write(toParent[1], "x", 1) != 1) status = 2;
        _exit(status);
    }
    auto ds = OpenTable(path);
    ds->SetRecNo(2);
    ds->Edit();
    ds->FieldByName("COUNT")->SetAsInteger(42);
    Signal(toChild[1]);
    Wait(toParent[0]);
    ds->Post();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other program failed its edit";
    ds->Close();
    ds->Open();
    ds->SetRecNo(2);
    EXPECT_EQ(ds->FieldByName("CITY")->AsString(), "Chicago") << "the other program's change was overwritten";
    EXPECT_EQ(ds->FieldByName("COUNT")->AsInteger(), 42);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "second");
}

TEST(XfDataSet, MemoFieldsRoundTripAsTextAndAsBinaryBlobStreams)
{
    EngineScope scope;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/memo.dbf";
    auto ds = OpenTable(path);
    AddRow(*ds, "a", "x", 1);
    AddRow(*ds, "b", "y", 2);
    const std::string text = "Grüße aus Köln\r\nzweite Zeile " + std::string(600, 'z');
    std::string binary;
    for (int i = 0; i < 3000; ++i) binary += static_cast<char>(i % 256);

    ds->First();
    ds->Edit();
    ds->FieldByName("NOTES")->SetAsString(text);
    ds->Post();
    ds->Next();
    ds->Edit();
    {
        std::unique_ptr<db::TStream> blob = ds->CreateBlobStream(ds->FieldByName("NOTES"), db::bmWrite);
        blob->WriteBuffer(binary.data(), static_cast<std::int64_t>(binary.size()));
    }
    ds->Post();
    ds->Close();
    ds->Open();
    ds->First();
    EXPECT_EQ(ds->FieldByName("NOTES")->AsString(), text);
    ds->Next();
    const std::string back = ds->CreateBlobStream(ds->FieldByName("NOTES"), db::bmRead)->ReadAllBytes();
    EXPECT_TRUE(back == binary) << "binary memo changed: " << back.size() << " bytes back";

    // A cancelled edit keeps the record's memo; rewrites reuse the freed blocks.
    ds->Edit();
    ds->FieldByName("NOTES")->SetAsString("never posted");
    ds->Cancel();
    EXPECT_TRUE(ds->CreateBlobStream(ds->FieldByName("NOTES"), db::bmRead)->ReadAllBytes() == binary);
    ds->First();
    for (int i = 0; i < 50; ++i) {
        ds->Edit();
        ds->FieldByName("NOTES")->SetAsString(text + std::to_string(i));
        ds->Post();
    }
    EXPECT_EQ(ds->FieldByName("NOTES")->AsString(), text + "49");
    // The rewrites took freed blocks, never the cancelled record's own.
    ds->Next();
    EXPECT_TRUE(ds->CreateBlobStream(ds->FieldByName("NOTES"), db::bmRead)->ReadAllBytes() == binary);
    ds->Close();
    EXPECT_LT(std::filesystem::file_size(dir.str() + "/memo.dbt"), 16u * 1024) << "rewritten memos do not reuse their blocks";
}
