// Memo blob streams kept past the edit they were opened in, and past their
// dataset: what they read, what they refuse, and that no other record's memo
// ever takes their bytes.

#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "dbfengine/uxffds.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

std::unique_ptr<TXfDbf> OpenNotes(const std::string& path)
{
    auto ds = std::make_unique<TXfDbf>();
    ds->SetName("Notes");
    ds->SetDbfFields({"name,C,10,0", "notes,M,10,0"});
    ds->SetDbfFileName(path);
    ds->Open();
    return ds;
}

std::string Memo(TXfDbf& ds, int recNo)
{
    ds.SetRecNo(recNo);
    return ds.FieldByName("NOTES")->AsString();
}

// The message of the database error `action` raises; "" when it raises none.
std::string Refusal(const std::function<void()>& action)
{
    try {
        action();
    } catch (const db::EDatabaseError& e) {
        return e.Message();
    }
    return "";
}

const char* ModeName(db::TBlobStreamMode mode) { return mode == db::bmRead ? "read" : mode == db::bmWrite ? "write" : "read-write"; }

}  // namespace

// Each stream mode, written or not while its edit lasts, through each way an edit
// ends: the stream keeps reading what it holds, refuses every change, and the
// record of the next edit keeps its own memo.
TEST(XfBlobStream, AStreamThatOutlivesItsEditOrItsDatasetReadsWhatItHeldAndChangesNothing)
{
    EngineScope scope;
    const std::vector<std::string> endings {"post", "cancel", "scroll", "close", "destroy"};
    for (const db::TBlobStreamMode mode : {db::bmRead, db::bmWrite, db::bmReadWrite}) {
        for (const std::string& ending : endings) {
            for (const bool wroteBefore : {false, true}) {
                if (mode == db::bmRead && wroteBefore) continue;
                SCOPED_TRACE(std::string(ModeName(mode)) + " stream, " + ending + (wroteBefore ? ", written in its edit" : ""));
                testsupport::TempDir dir;
                const std::string path = dir.str() + "/notes.dbf";
                auto ds = OpenNotes(path);
                for (const char* memo : {"memo 1", "memo 2", "memo 3"}) {
                    ds->Append();
                    ds->FieldByName("NAME")->SetAsString(memo);
                    ds->FieldByName("NOTES")->SetAsString(memo);
                    ds->Post();
                }
                ds->First();
                ds->Edit();
                std::unique_ptr<db::TStream> stream = ds->CreateBlobStream(ds->FieldByName("NOTES"), mode);
                std::string held = mode == db::bmWrite ? "" : "memo 1";
                if (wroteBefore) {
                    stream->Seek(0, db::TSeekOrigin::soEnd);
                    stream->WriteBuffer(" edited", 7);
                    held += " edited";
                }
                // What record 1 holds once its edit is over.
                std::string first = "memo 1";
                if (ending == "post") {
                    ds->Post();
                    if (mode != db::bmRead) first = held;
                } else if (ending == "cancel") {
                    ds->Cancel();
                } else if (ending == "scroll") {
                    ds->Next();
                } else if (ending == "close") {
                    ds->Close();
                } else {
                    ds.reset();
                }
                // Another edit, on another record, while the stream is still there.
                if (ds && ds->Active()) {
                    ds->SetRecNo(2);
                    ds->Edit();
                }

                stream->Seek(0, db::TSeekOrigin::soBeginning);
                EXPECT_EQ(stream->ReadAllBytes(), held);
                const std::string writeRefused = Refusal([&] { stream->Write(" more", 5); });
                EXPECT_NE(writeRefused.find("'NOTES'"), std::string::npos) << "a write was taken: " << writeRefused;
                const std::string sizeRefused = Refusal([&] { stream->SetSize(0); });
                EXPECT_NE(sizeRefused.find("'NOTES'"), std::string::npos) << "a new size was taken: " << sizeRefused;
                EXPECT_EQ(stream->Size(), static_cast<std::int64_t>(held.size()));
                stream.reset();

                if (ds && ds->Active()) {
                    EXPECT_EQ(ds->State(), db::dsEdit);
                    EXPECT_FALSE(ds->Modified()) << "the dropped stream changed the edit of record 2";
                    ds->Post();
                    ds->Close();
                }
                ds = OpenNotes(path);
                EXPECT_EQ(Memo(*ds, 1), first);
                EXPECT_EQ(Memo(*ds, 2), "memo 2");
                EXPECT_EQ(Memo(*ds, 3), "memo 3");
            }
        }
    }
}

// A stream opened to read in browse state, and the short-lived streams behind a
// memo field's text, behave as they always did.
TEST(XfBlobStream, BrowseReadsAndTheFieldsOwnStreamsAreUnchanged)
{
    EngineScope scope;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/notes.dbf";
    auto ds = OpenNotes(path);
    ds->Append();
    ds->FieldByName("NOTES")->SetAsString("first");
    ds->Post();
    ds->Append();
    auto* notes = static_cast<db::TBlobField*>(ds->FieldByName("NOTES"));
    notes->SetAsBytes(std::string("\x01\x02\x00\x1A", 4));
    ds->Post();

    ds->First();
    std::unique_ptr<db::TStream> browse = ds->CreateBlobStream(notes, db::bmRead);
    EXPECT_NE(Refusal([&] { browse->Write("x", 1); }).find("cannot be modified"), std::string::npos);
    ds->Last();
    EXPECT_EQ(notes->AsBytes(), std::string("\x01\x02\x00\x1A", 4));
    ds->Edit();
    notes->Clear();
    EXPECT_TRUE(notes->IsNull());
    EXPECT_TRUE(ds->Modified());
    ds->Post();
    ds.reset();
    EXPECT_EQ(browse->ReadAllBytes(), "first");
    browse.reset();

    ds = OpenNotes(path);
    EXPECT_EQ(Memo(*ds, 1), "first");
    ds->SetRecNo(2);
    EXPECT_TRUE(ds->FieldByName("NOTES")->IsNull());
}
