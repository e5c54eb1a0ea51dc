// The dataset over a table made from its field list: navigation at both ends,
// edits of two programs on different fields of one record, memo fields as text
// and as binary blob streams, and the field texts dBase would print.

#include <csignal>
#include <cstring>
#include <functional>
#include <tuple>
#include <random>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "dbfengine/platform/XfUi.h"
#include "dbfengine/uxffds.h"
#include "dbfengine/xfmemo.h"
#include "dbfengine/xfndx.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "platform/rtl/DateUtils.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

const std::vector<std::string> kFields {"name,C,20,0", "city,C,300,0", "born,D,10,0", "amount,N,10,2",
                                        "count,N,5,0", "ok,L,1,0", "notes,M,10,0"};

std::unique_ptr<TXfDbf> OpenTable(const std::string& path, const std::string& name = "People")
{
    auto ds = std::make_unique<TXfDbf>();
    ds->SetName(name);
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

// A table of people with these names, cities and counts.
void MakePeople(const std::string& path, const std::vector<std::tuple<std::string, std::string, int>>& rows)
{
    auto ds = OpenTable(path);
    for (const auto& [name, city, count] : rows) AddRow(*ds, name, city, count);
}

// Another program (a child process) running `body`, which answers its exit status;
// it reads the test's signals from `in` and writes its own to `out`.
class OtherProgram {
public:
    explicit OtherProgram(const std::function<int(int in, int out)>& body)
    {
        if (pipe(toChild_) != 0 || pipe(toParent_) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            int status = 1;
            try {
                status = body(toChild_[0], toParent_[1]);
            } catch (...) {
            }
            _exit(status);
        }
    }
    int In() const { return toParent_[0]; }
    int Out() const { return toChild_[1]; }
    // The exit status, -1 when it did not end normally.
    int Finish()
    {
        int status = 0;
        if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    int toChild_[2] {-1, -1}, toParent_[2] {-1, -1};
    pid_t pid_ = -1;
};

bool Read1(int fd)
{
    char c;
    return read(fd, &c, 1) == 1;
}
bool Write1(int fd) { return write(fd, "x", 1) == 1; }

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
    MakePeople(path, {{"first", "Boston", 1}, {"second", "Denver", 2}});
    // The other program: waits until the first has the record in edit, then changes
    // the city and posts first.
    OtherProgram other([&](int in, int out) {
        if (!Read1(in)) return 1;
        auto ds = OpenTable(path);
        ds->SetRecNo(2);
        ds->Edit();
        ds->FieldByName("CITY")->SetAsString("Chicago");
        ds->Post();
        ds->Close();
        return Write1(out) ? 0 : 2;
    });
    auto ds = OpenTable(path);
    ds->SetRecNo(2);
    ds->Edit();
    ds->FieldByName("COUNT")->SetAsInteger(42);
    Signal(other.Out());
    Wait(other.In());
    ds->Post();
    ASSERT_EQ(other.Finish(), 0) << "the other program failed its edit";
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

TEST(XfDataSet, RestoreUnderAnotherProgramsLockAsksTheEventAndWritesOnlyTheDeletionFlag)
{
    EngineScope scope;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/restore.dbf";
    MakePeople(path, {{"first", "Boston", 1}, {"second", "Denver", 2}, {"third", "Austin", 3}});
    {
        auto ds = OpenTable(path);
        ds->SetRecNo(2);
        ds->Delete();
    }
    // The other program: holds record 2's lock (changing its city meanwhile) until
    // told, then takes it again and keeps it.
    OtherProgram other([&](int in, int out) {
        USE(path);
        GO(2);
        if (!RLock()) return 1;
        CurrentRecord().SetText(2, "Chicago");
        Replace();
        if (!Write1(out) || !Read1(in)) return 2;
        Unlock();
        if (!Write1(out) || !Read1(in) || !RLock()) return 3;
        return Write1(out) && Read1(in) ? 0 : 4;
    });
    Wait(other.In());
    auto ds = OpenTable(path);
    std::vector<std::string> calls;
    ds->BeforeRestore = [&](db::TDataSet&) { calls.push_back("before"); };
    ds->AfterRestore = [&](db::TDataSet&) { calls.push_back("after"); };
    ds->OnRLockFailedOnRestore = [&](db::TDataSet&, bool& retry) {
        calls.push_back("lock failed");
        Signal(other.Out());
        Wait(other.In());
        retry = true;
    };
    ds->SetRecNo(2);
    ds->Restore();
    EXPECT_EQ(calls, (std::vector<std::string> {"before", "lock failed", "after"}));

    // Refused again, without a retry: the record stays deleted and no after-event runs.
    ds->Delete();
    Signal(other.Out());
    Wait(other.In());
    calls.clear();
    ds->OnRLockFailedOnRestore = [&](db::TDataSet&, bool&) { calls.push_back("lock failed"); };
    ds->SetRecNo(2);
    try {
        ds->Restore();
        ADD_FAILURE() << "a restore without the lock went through";
    } catch (const db::EDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("Lock failed [Restore]"), std::string::npos) << e.what();
    }
    EXPECT_EQ(calls, (std::vector<std::string> {"before", "lock failed"}));
    Signal(other.Out());
    ASSERT_EQ(other.Finish(), 0) << "the other program failed";
    ds->Close();
    ds->SetHideDeletedRecs(true);
    ds->Open();
    EXPECT_EQ(Names(*ds, false), (std::vector<std::string> {"first", "third"}));
    ds->Close();
    ds->SetHideDeletedRecs(false);
    ds->Open();
    ds->SetRecNo(2);
    ds->Restore();
    ds->Close();
    ds->SetHideDeletedRecs(true);
    ds->Open();
    EXPECT_EQ(Names(*ds, false), (std::vector<std::string> {"first", "second", "third"}));
    ds->SetRecNo(2);
    EXPECT_EQ(ds->FieldByName("CITY")->AsString(), "Chicago") << "the restore wrote over the other program's change";
}

TEST(XfDataSet, LocateAgreesWithAScanOfTheRecordsAndLookupLeavesTheCursorWhereItWas)
{
    EngineScope scope;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/locate.dbf";
    auto ds = OpenTable(path);
    std::mt19937 random(5);
    const std::vector<std::string> words {"al", "Al", "alpha", "ALPHA beta", "be", "Beta", "gam", "gamma ray"};
    for (int i = 0; i < 60; ++i) {
        ds->Append();
        ds->FieldByName("NAME")->SetAsString(words[random() % words.size()] + (random() % 2 ? " x" : ""));
        ds->FieldByName("COUNT")->SetAsInteger(static_cast<int>(random() % 7));
        ds->FieldByName("AMOUNT")->SetAsFloat(static_cast<double>(random() % 5) / 4);
        ds->FieldByName("OK")->SetAsBoolean(random() % 2);
        ds->FieldByName("BORN")->SetAsDateTime(45000 + static_cast<double>(random() % 4));
        ds->Post();
    }
    const auto upper = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    };
    // The first record a walk through the dataset finds, 0 for none.
    const auto scan = [&](const std::string& name, int count, bool noCase, bool partial, bool withCount) {
        for (ds->First(); !ds->Eof(); ds->Next()) {
            std::string have = ds->FieldByName("NAME")->AsString(), want = name;
            if (noCase) have = upper(have), want = upper(want);
            const bool nameOk = partial ? have.compare(0, want.size(), want) == 0 : have == want;
            if (nameOk && (!withCount || ds->FieldByName("COUNT")->AsInteger() == count)) return ds->RecNo();
        }
        return 0;
    };
    for (int i = 0; i < 200; ++i) {
        std::string name = words[random() % words.size()];
        name.resize(1 + random() % name.size());
        const int count = static_cast<int>(random() % 7);
        const bool noCase = random() % 2, partial = random() % 2, withCount = random() % 2;
        db::TLocateOptions options;
        if (noCase) options.Include(db::loCaseInsensitive);
        if (partial) options.Include(db::loPartialKey);
        const int expected = scan(name, count, noCase, partial, withCount);
        const bool found = withCount ? ds->Locate("NAME;COUNT", db::VarArrayOf({name, count}), options) : ds->Locate("name", name, options);
        EXPECT_EQ(found ? ds->RecNo() : 0, expected) << name << " " << count << " " << noCase << partial << withCount;
    }
    // Under an index order the first match is the order's.
    Select(ds->WorkAreaNo());
    ASSERT_TRUE(IndexOn({{"BYNAME", "UPPER(NAME)", "", true, false}}, dir.str() + "/byname"));
    ds->First();
    for (const std::string name : {"al", "be", "g", "ALPHA"}) {
        const int expected = scan(name, 0, true, true, false);
        ASSERT_NE(expected, 0) << name;
        EXPECT_TRUE(ds->Locate("NAME", name, db::TLocateOptions {db::loCaseInsensitive, db::loPartialKey}));
        EXPECT_EQ(ds->RecNo(), expected) << name << " under the index";
    }
    Select(ds->WorkAreaNo());
    CloseIndex();
    ds->First();

    // Numbers, logicals and dates are compared as values.
    for (int i = 0; i < 30; ++i) {
        const double amount = static_cast<double>(random() % 5) / 4;
        const bool ok = random() % 2;
        const double born = 45000 + static_cast<double>(random() % 4);
        int expected = 0;
        for (ds->First(); !ds->Eof() && expected == 0; ds->Next())
            if (ds->FieldByName("AMOUNT")->AsFloat() == amount && ds->FieldByName("OK")->AsBoolean() == ok &&
                ds->FieldByName("BORN")->AsDateTime() == born)
                expected = ds->RecNo();
        const bool found = ds->Locate("AMOUNT;OK;BORN", db::VarArrayOf({amount, ok, db::Variant::FromDateTime(born)}), {});
        EXPECT_EQ(found ? ds->RecNo() : 0, expected) << amount << " " << ok << " " << born;
    }
    // An accented name is found whatever its case.
    ds->SetRecNo(7);
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("Müller");
    ds->Post();
    ds->First();
    ASSERT_TRUE(ds->Locate("NAME", "MÜLLER", db::TLocateOptions {db::loCaseInsensitive}));
    EXPECT_EQ(ds->RecNo(), 7);

    // Lookup reads the match but leaves the cursor (and the engine's record) alone.
    ds->SetRecNo(3);
    const std::string third = ds->FieldByName("NAME")->AsString();
    EXPECT_EQ(ds->Lookup("NAME", "Müller", "NAME;COUNT")[0].ToString(), "Müller");
    EXPECT_TRUE(ds->Lookup("NAME", "nobody", "NAME").IsNull());
    EXPECT_EQ(ds->RecNo(), 3);
    ds->Next();
    EXPECT_EQ(ds->RecNo(), 4) << "the cursor moved with the lookup";
    ds->Prior();
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), third);

    // A deleted record is not found once deleted records are hidden.
    ds->SetRecNo(7);
    ds->Delete();
    ds->Close();
    ds->SetHideDeletedRecs(true);
    ds->Open();
    EXPECT_FALSE(ds->Locate("NAME", "Müller", {}));
}

TEST(XfDataSet, FieldClassesDirectCloseAndReopenAndTheDesignTimeOpen)
{
    EngineScope scope;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/design.dbf";
    auto ds = OpenTable(path);
    AddRow(*ds, "first", "Boston", 1);
    AddRow(*ds, "second", "Denver", 2);
    AddRow(*ds, "third", "Austin", 3);

    // Field classes: number fields take a dBase width as size; dates follow the engine's style.
    EXPECT_NE(dynamic_cast<TXfIntegerField*>(ds->FieldByName("COUNT")), nullptr);
    EXPECT_NE(dynamic_cast<TXfFloatField*>(ds->FieldByName("AMOUNT")), nullptr);
    auto* born = dynamic_cast<TXfDateField*>(ds->FieldByName("BORN"));
    ASSERT_NE(born, nullptr);
    TXfIntegerField integer;
    TXfFloatField number;
    EXPECT_NO_THROW(integer.SetSize(20));
    EXPECT_THROW(integer.SetSize(21), db::EDatabaseError);
    EXPECT_THROW(number.SetSize(21), db::EDatabaseError);
    XfDates().Century = 1;
    SetDateStyle(5);  // German: DD.MM.YYYY
    ds->SetRecNo(2);
    ds->Edit();
    born->SetText("29.02.2024");
    EXPECT_EQ(born->AsDateTime(), rtl::EncodeDate(2024, 2, 29));
    EXPECT_EQ(born->Text(), "29.02.2024");
    EXPECT_THROW(born->SetText("30.02.2024"), db::EDatabaseError);
    born->SetText("  .  .    ");
    EXPECT_TRUE(born->IsNull()) << "the style's blank date clears the field";
    born->SetText("01.03.2024");
    ds->Post();

    // Closed directly, the table is free for another program's exclusive use; another
    // dataset may take the freed work area meanwhile.
    const int area = ds->WorkAreaNo();
    ds->DirectOpenClose(false);
    EXPECT_EQ(WorkArea(area), nullptr);
    EXPECT_THROW(ds->Next(), db::EDatabaseError);
    Select(area);
    USE(path, "EXCLUSIVE");
    GO(2);
    CurrentRecord().SetText(2, "Chicago");
    Replace();
    CloseDatabase();
    auto other = OpenTable(dir.str() + "/other.dbf", "Other");
    EXPECT_EQ(other->WorkAreaNo(), area);
    ds->DirectOpenClose(true);
    EXPECT_NE(ds->WorkAreaNo(), area);
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_EQ(ds->FieldByName("CITY")->AsString(), "Chicago");
    EXPECT_EQ(FieldAsDbfString(*ds, "born"), "01.03.2024");
    ds->Next();
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "third");
    AddRow(*other, "still there", "", 9);
    EXPECT_EQ(other->RecordCount(), 1);
    other->Close();
    ds->Close();
    EXPECT_THROW(ds->DirectOpenClose(true), db::EDatabaseError) << "an inactive dataset";

    // On a form being designed, an exclusive dataset reads only the table's fields and
    // lets the file go; a shared one opens it. Engine errors raise there.
    rtl::TComponent form;
    form.SetDesigning(true);
    XfErrors().RaiseOnError = 0;
    TXfDbf design(&form);
    EXPECT_EQ(XfErrors().RaiseOnError, 1);
    design.SetName("Design");
    design.SetExclusive(true);
    design.SetDbfFields({"only,C,1,0"});
    design.SetDbfFileName(path);
    design.Open();
    EXPECT_EQ(design.DbfFields(), (std::vector<std::string> {"NAME, C, 20, 0", "CITY, C, 254, 0", "BORN, D, 8, 0",
                                                             "AMOUNT, N, 10, 2", "COUNT, N, 5, 0", "OK, L, 1, 0",
                                                             "NOTES, M, 10, 0"}));
    for (int n = 1; n <= kWorkAreas; ++n) EXPECT_EQ(WorkArea(n), nullptr) << "area " << n << " kept at design time";
    EXPECT_EQ(design.RecordCount(), 1);
    design.First();
    EXPECT_FALSE(design.Eof());
    EXPECT_TRUE(design.FieldByName("NAME")->IsNull());
    design.Next();
    EXPECT_TRUE(design.Eof());
    EXPECT_THROW(design.Edit(), db::EDatabaseError);
    design.Close();
    design.SetExclusive(false);
    design.Open();
    EXPECT_EQ(design.RecordCount(), 3);
    EXPECT_NE(WorkArea(design.WorkAreaNo()), nullptr);
    design.Close();
}

TEST(XfDataSet, CorrectedFieldsAreToldOnlyAtMessageLevelTwo)
{
    EngineScope scope;
    testsupport::TempDir dir;
    std::vector<std::string> boxes;
    TXfUiHooks hooks;
    hooks.MessageBox = [&boxes](const std::string& text, const std::string&, unsigned) {
        boxes.push_back(text);
        return IDOK;
    };
    XfSetUiHooks(hooks);
    struct Restore {
        ~Restore()
        {
            SetXfMessageLevel(2);
            XfSetUiHooks({});
        }
    } restore;

    EXPECT_EQ(SetXfMessageLevel(1), 2) << "the level starts at 2";
    OpenTable(dir.str() + "/quiet")->Close();
    EXPECT_TRUE(boxes.empty()) << "the 300-wide text was corrected without a word";

    EXPECT_EQ(SetXfMessageLevel(0), 1) << "0 only asks";
    EXPECT_EQ(SetXfMessageLevel(2), 1);
    OpenTable(dir.str() + "/told")->Close();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("city,C,254,0"), std::string::npos) << boxes[0];
}

TEST(XfDataSet, NumbersThatDoNotFitAreRefusedWhenSetAndWideIntegersStayExact)
{
    EngineScope scope;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/numbers.dbf";
    const std::vector<std::string> fields {"count,N,5,0", "amount,N,8,2", "big,N,18,0", "name,C,10,0"};
    auto open = [&] {
        auto ds = std::make_unique<TXfDbf>();
        ds->SetName("Numbers");
        ds->SetDbfFields(fields);
        ds->SetDbfFileName(path);
        ds->Open();
        return ds;
    };
    auto refusal = [](const std::function<void()>& set) {
        try {
            set();
        } catch (const db::EDatabaseError& e) {
            return e.Message();
        }
        return std::string("accepted");
    };
    auto ds = open();
    db::TField* count = ds->FieldByName("COUNT");
    db::TField* amount = ds->FieldByName("AMOUNT");
    db::TField* big = ds->FieldByName("BIG");
    ASSERT_NE(dynamic_cast<db::TLargeintField*>(big), nullptr);

    // Refused when set, with the field's name and what fits; the edit goes on and can be cancelled.
    ds->Append();
    EXPECT_EQ(refusal([&] { count->SetAsInteger(123456); }),
              "Numbers: 123456 is not a valid value for field 'COUNT'. The allowed range is -9999 to 99999");
    EXPECT_EQ(refusal([&] { amount->SetAsFloat(99999.995); }),  // "100000.00" once rounded
              "Numbers: 99999.995 is not a valid value for field 'AMOUNT'. The allowed range is -9999.99 to 99999.99");
    EXPECT_EQ(refusal([&] { amount->SetAsFloat(-9999.995); }).substr(0, 27), "Numbers: -9999.995 is not a");
    EXPECT_EQ(refusal([&] { big->SetAsString("-999999999999999999"); }).substr(0, 37),
              "Numbers: -999999999999999999 is not a");
    EXPECT_EQ(count->AsInteger(), 0) << "a refused value leaves no trace";
    ds->Cancel();
    EXPECT_EQ(ds->RecordCount(), 0);

    // What fits is written, wide integers digit for digit.
    const std::pair<const char*, double> rows[] = {
        {"123456789012345678", 99999.99}, {"9007199254740993", -9999.994}, {"-99999999999999999", 0.005}};
    for (const auto& [digits, money] : rows) {
        ds->Append();
        count->SetAsInteger(-9999);
        amount->SetAsFloat(money);
        big->SetAsString(digits);
        ds->Post();
    }
    ds->Close();
    const std::string bytes = testsupport::ReadFile(path);
    EXPECT_NE(bytes.find("-999999999.99123456789012345678"), std::string::npos);
    EXPECT_NE(bytes.find("-9999-9999.99  9007199254740993"), std::string::npos);
    EXPECT_NE(bytes.find("-9999    0.01-99999999999999999"), std::string::npos);
    ds = open();
    big = ds->FieldByName("BIG");
    std::vector<std::string> texts, dbfTexts;
    for (ds->First(); !ds->Eof(); ds->Next()) {
        texts.push_back(big->AsString());
        dbfTexts.push_back(FieldAsDbfString(*ds, "big"));
    }
    EXPECT_EQ(texts, (std::vector<std::string> {"123456789012345678", "9007199254740993", "-99999999999999999"}));
    EXPECT_EQ(dbfTexts, (std::vector<std::string> {"123456789012345678", "  9007199254740993", "-99999999999999999"}));
    EXPECT_TRUE(ds->Locate("BIG", db::Variant(std::int64_t {9007199254740993}), {}));
    EXPECT_EQ(ds->RecNo(), 2);
    ds->Close();

    // At run time, where an engine error ends the program, what a user types never does.
    OtherProgram program([&](int, int) {
        XfErrors() = TXfErrorState {};
        auto other = open();
        other->Append();
        try {
            other->FieldByName("COUNT")->SetAsInteger(123456);
            return 2;
        } catch (const db::EDatabaseError&) {
        }
        other->Post();
        other->Close();
        return 0;
    });
    EXPECT_EQ(program.Finish(), 0);
    ds = open();
    EXPECT_EQ(ds->RecordCount(), 4);
}

// Integer fields of 19 and 20 digits, as other programs write them, may hold values
// beyond 64 bits. They read without an error (as the nearest double), an edit of
// another field keeps their digits, and a value wider than the field is refused.
TEST(XfDataSet, IntegersBeyondSixtyFourBitsReadWithoutAnErrorAndKeepTheirDigits)
{
    REQUIRE_TOOLS("/usr/bin/python3");
    EngineScope scope;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/wide.dbf";
    {
        TDbfTable t;
        ASSERT_EQ(CreateDbf(t, path, {{"NAME", 'C', 4, 0}, {"N18", 'N', 18, 0}, {"N19", 'N', 19, 0}, {"N20", 'N', 20, 0}}), 0);
    }
    const std::string high = std::string(18, '9') + std::string(19, '9') + std::string(20, '9');
    const std::string low = "-" + std::string(17, '9') + "-" + std::string(18, '9') + "-" + std::string(19, '9');
    std::string bytes = testsupport::ReadFile(path);
    bytes.pop_back();
    bytes += " high" + high + " low " + low + "\x1A";
    const std::int32_t two = 2;
    std::memcpy(&bytes[4], &two, 4);
    testsupport::WriteFile(path, bytes);
    // Another reader takes the file for what it is: integers of every width, digit for digit.
    const testsupport::CommandResult read = testsupport::RunCommand(
        "/usr/bin/python3 -c \"import sys; from dbfread import DBF\n"
        "for r in DBF(sys.argv[1]): print(r['N18'], r['N19'], r['N20'])\" '" + path + "'");
    ASSERT_EQ(read.status, 0);
    EXPECT_EQ(read.output, std::string(18, '9') + " " + std::string(19, '9') + " " + std::string(20, '9') + "\n-" +
                               std::string(17, '9') + " -" + std::string(18, '9') + " -" + std::string(19, '9') + "\n");

    // At run time, where an engine error ends the program, the whole table reads.
    OtherProgram program([&](int, int) {
        XfErrors() = TXfErrorState {};
        TXfDbf other;
        other.SetDbfFileName(path);
        other.Open();
        for (other.First(); !other.Eof(); other.Next())
            for (const char* name : {"N18", "N19", "N20"}) FieldAsDbfString(other, name);
        other.Close();
        return 0;
    });
    EXPECT_EQ(program.Finish(), 0);

    TXfDbf ds;
    ds.SetName("Wide");
    ds.SetDbfFileName(path);
    ds.Open();
    db::TField* n18 = ds.FieldByName("N18");
    db::TField* n19 = ds.FieldByName("N19");
    db::TField* n20 = ds.FieldByName("N20");
    EXPECT_NE(dynamic_cast<db::TLargeintField*>(n18), nullptr) << "18 digits always fit 64 bits";
    EXPECT_NE(dynamic_cast<db::TFloatField*>(n20), nullptr);
    EXPECT_EQ(n18->AsString(), std::string(18, '9'));
    EXPECT_EQ(n19->AsFloat(), 1e19);
    EXPECT_EQ(n20->AsFloat(), 1e20);
    ds.Next();
    EXPECT_EQ(n18->AsString(), "-" + std::string(17, '9'));
    EXPECT_EQ(n19->AsFloat(), -1e18);
    EXPECT_EQ(n20->AsFloat(), -1e19);

    // Too wide for the field: refused when set, with what fits. The fields the
    // edit leaves keep their digits.
    ds.First();
    ds.Edit();
    ds.FieldByName("NAME")->SetAsString("top");
    try {
        n20->SetAsString("123456789012345678901");
        ADD_FAILURE() << "21 digits were taken for 20";
    } catch (const db::EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Wide: 1.23456789012346E20 is not a valid value for field 'N20'. The allowed range is -" +
                                   std::string(19, '9') + " to " + std::string(20, '9'));
    }
    EXPECT_THROW(n19->SetAsFloat(1e19), db::EDatabaseError) << "20 digits for 19";
    n19->SetAsFloat(4611686018427387904.0);  // 2^62, a double to the last digit
    ds.Post();
    ds.Close();
    bytes = testsupport::ReadFile(path);
    EXPECT_NE(bytes.find(" top " + std::string(18, '9') + "4611686018427387904" + std::string(20, '9')), std::string::npos);
    EXPECT_NE(bytes.find(" low " + low), std::string::npos);
}

// A memo the memo file cannot take (no room on its drive, an unlock the system
// refuses after the store) fails the post, which keeps the edit: posted again it
// is stored, cancelled the record keeps its memo. An edit is never dropped without
// a word. The text is stored in the table's OEM code page.
TEST(XfDataSet, AMemoThatCannotBeStoredFailsThePostAndTheEditStays)
{
    EngineScope scope;
    XfSetOemCodePage(rtl::CodePage::Oem850);
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/memo.dbf";
    auto ds = OpenTable(path);
    AddRow(*ds, "a", "x", 1);
    db::TField* notes = ds->FieldByName("NOTES");
    std::int64_t room = 4096;
    int unlockCode = 0;
    TXfFileFaults faults;
    faults.DiskFree = [&room](const std::string&, std::int64_t& bytes) {
        bytes = room;
        return 0;
    };
    faults.Unlock = [&unlockCode](const std::string& file, std::int64_t offset, std::int64_t) {
        return file.ends_with(".dbt") && offset == 10 ? unlockCode : 0;
    };
    TXfFileFaultsGuard guard(std::move(faults));
    const auto postError = [&] {
        try {
            ds->Post();
        } catch (const db::EDatabaseError& e) {
            return e.Message();
        }
        return std::string("posted");
    };

    const std::string edit = "Grüße aus Köln " + std::string(5000, 'e');
    ds->Edit();
    notes->SetAsString(edit);
    const std::string noRoom = postError();
    EXPECT_NE(noRoom.find("Error # 1004"), std::string::npos) << noRoom;
    EXPECT_EQ(ds->State(), db::dsEdit);
    EXPECT_TRUE(notes->AsString() == edit);
    room = 1 << 20;
    ds->Post();
    EXPECT_TRUE(notes->AsString() == edit);
    EXPECT_NE(testsupport::ReadFile(dir.str() + "/memo.dbt").find("Gr\x81\xE1" "e aus K\x94" "ln"), std::string::npos);

    ds->Edit();
    notes->SetAsString("second edit");
    unlockCode = kDosLockViolation;
    const std::string refused = postError();
    EXPECT_NE(refused.find("Error # 1018"), std::string::npos) << refused;
    EXPECT_EQ(ds->State(), db::dsEdit);
    unlockCode = 0;
    ds->Post();

    ds->Edit();
    notes->SetAsString(edit + edit);
    room = 4096;
    EXPECT_NE(postError().find("Error # 1004"), std::string::npos);
    ds->Cancel();
    EXPECT_EQ(notes->AsString(), "second edit");
    ds->Close();
    ds = OpenTable(path);
    EXPECT_EQ(ds->FieldByName("NOTES")->AsString(), "second edit");
}
