// Blob streams that outlive what they were opened on: the edit ends, the
// dataset closes or goes away, the buffer ring shrinks. Such a stream must
// neither touch what was freed nor reach another record's value. And memo
// text the engine would cut at a zero byte is refused instead of shortened.

#include "dbaccess/edsdatablob.h"
#include "tests/dbaccess/EdsDataTestSupport.h"

#include "platform/db/DataLink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

namespace {

using edsdatatest::AppendRows;
using edsdatatest::CreateTable;
using edsdatatest::TTestTable;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

constexpr int kRows = 4;

void CreateNotes(const std::string& Folder) {
    CreateTable(Folder, "Notes", "ID,Integer; M,Memo; B,Binary");
    AppendRows(Folder, "Notes", kRows, [](EDSHANDLE table, int row) {
        ASSERT_EQ(edsdatatest::SetInteger(table, "ID", row + 1), 0u);
        ASSERT_EQ(edsdatatest::SetText(table, "M", "memo " + std::to_string(row + 1)), 0u);
    });
}

// The memo of every record, in record order, as a fresh dataset reads it.
std::vector<std::string> StoredMemos(const std::string& Folder) {
    TTestTable t(Folder, "Notes");
    t.Open();
    std::vector<std::string> memos;
    for (; !t.Eof(); t.Next()) memos.push_back(t.FieldByName("M")->AsString());
    return memos;
}

std::string ReadAll(db::TStream& Stream) {
    std::string bytes(64, '\0');
    bytes.resize(static_cast<std::size_t>(Stream.Read(bytes.data(), static_cast<std::int64_t>(bytes.size()))));
    return bytes;
}

// What outlives the stream's record or edit.
enum class TOutlived {
    PostThenClose,
    Close,
    DataSetFreed,
    PostNextEdit,
    CancelNextEdit,
    BufferRingShrinks,
    PostSameEdit,
    CancelSameEdit
};
const char* const kOutlivedNames[] = {"PostThenClose",  "Close",          "DataSetFreed",     "PostNextEdit",
                                      "CancelNextEdit", "BufferRingShrinks", "PostSameEdit", "CancelSameEdit"};
const char* const kModeNames[] = {"Read", "Write", "ReadWrite"};

class EdsBlobStreamOutlived : public ::testing::TestWithParam<std::tuple<db::TBlobStreamMode, TOutlived>> {};

TEST_P(EdsBlobStreamOutlived, BecomesAStreamWithoutACache) {
    const auto [mode, what] = GetParam();
    const bool writing = mode != db::bmRead;
    testsupport::TempDir dir;
    CreateNotes(dir.str());

    // Field-change events reach this source; it outlives the dataset.
    db::TDataSource events;
    int fieldChanges = 0;
    events.OnDataChange = [&](db::TDataSource&, db::TField* field) { fieldChanges += field != nullptr ? 1 : 0; };
    // A grid-like link keeps four records in the ring.
    db::TDataSource gridSource;
    db::TDataLink grid;
    grid.SetBufferCount(4);

    auto table = std::make_unique<TTestTable>(dir.str(), "Notes");
    TTestTable& t = *table;
    events.SetDataSet(&t);
    gridSource.SetDataSet(&t);
    grid.SetDataSource(&gridSource);
    t.Open();

    // A read stream reads its record; a writing one replaces the start of the
    // memo in an edit. Where the case ends an edit, the stream is one of it,
    // whatever its mode. The ring keeps the buffer of the first record when it
    // shrinks (as its spare): that case takes the second.
    const int record = what == TOutlived::BufferRingShrinks ? 2 : 1;
    const std::string stored = "memo " + std::to_string(record);
    if (record == 2) t.Next();
    const bool sameEdit = what == TOutlived::PostSameEdit || what == TOutlived::CancelSameEdit;
    const bool editFirst = writing || sameEdit || what == TOutlived::PostThenClose ||
                           what == TOutlived::PostNextEdit || what == TOutlived::CancelNextEdit;
    // A stream still in its edit at Close was cancelled with it.
    const bool posted = writing && (what == TOutlived::PostThenClose || what == TOutlived::PostNextEdit ||
                                    what == TOutlived::BufferRingShrinks || what == TOutlived::PostSameEdit);
    const std::string written = mode == db::bmWrite ? "new" : "new" + stored.substr(3);
    if (editFirst) t.Edit();
    // Two streams: one is freed before anything else is asked of it.
    std::unique_ptr<db::TStream> untouched = t.CreateBlobStream(t.FieldByName("M"), mode);
    if (writing) untouched->WriteBuffer("new", 3);
    std::unique_ptr<db::TStream> stream = t.CreateBlobStream(t.FieldByName("M"), mode);
    if (writing) stream->WriteBuffer("new", 3);
    else EXPECT_EQ(ReadAll(*stream), stored);
    stream->Seek(0, db::TSeekOrigin::soBeginning);

    switch (what) {
        case TOutlived::PostThenClose:
            t.Post();
            t.Close();
            break;
        case TOutlived::Close: t.Close(); break;
        case TOutlived::DataSetFreed: table.reset(); break;
        case TOutlived::PostNextEdit:
        case TOutlived::CancelNextEdit:
            if (what == TOutlived::PostNextEdit) t.Post();
            else t.Cancel();
            t.Next();
            t.Edit();
            // The buffer's cache now holds record 2's memo.
            EXPECT_EQ(t.FieldByName("M")->AsString(), "memo 2");
            break;
        case TOutlived::PostSameEdit:
        case TOutlived::CancelSameEdit:
            // The same record, the same buffer and its cache, in an edit of its own.
            if (what == TOutlived::PostSameEdit) t.Post();
            else t.Cancel();
            t.Edit();
            EXPECT_EQ(t.FieldByName("M")->AsString(), posted ? written : stored);
            break;
        case TOutlived::BufferRingShrinks:
            if (editFirst) t.Post();
            ASSERT_EQ(t.MoveBy(2), 2);
            // The ring keeps the active record (4) and a spare: record 2's buffer is freed.
            grid.SetBufferCount(1);
            break;
    }
    // A Close destroyed the default field the streams were opened on.
    untouched.reset();

    char byte = 0;
    EXPECT_EQ(stream->Read(&byte, 1), 0);
    EXPECT_EQ(stream->Seek(0, db::TSeekOrigin::soEnd), 0);
    EXPECT_EQ(stream->Seek(5, db::TSeekOrigin::soBeginning), 0);
    EXPECT_EQ(stream->Size(), 0);
    const char* refusal = writing ? "Cannot write to blob in current state." : "Error modifying read only blob.";
    EXPECT_THAT([&] { stream->Write("x", 1); }, ThrowsMessage<EEDSDatabaseError>(HasSubstr(refusal)));
    EXPECT_THAT([&] { stream->SetSize(1); }, ThrowsMessage<EEDSDatabaseError>(HasSubstr(refusal)));
    stream.reset();
    EXPECT_EQ(fieldChanges, 0);

    const bool open = table != nullptr && t.Active();
    if (open && t.State() == db::dsEdit) {
        EXPECT_FALSE(t.Modified());
        EXPECT_FALSE(static_cast<db::TBlobField*>(t.FieldByName("M"))->Modified());
        t.Post();
    }
    table.reset();
    std::vector<std::string> memos{"memo 1", "memo 2", "memo 3", "memo 4"};
    if (posted) memos[record - 1] = written;
    EXPECT_EQ(StoredMemos(dir.str()), memos);
}

INSTANTIATE_TEST_SUITE_P(
    EveryModeAndCase, EdsBlobStreamOutlived,
    ::testing::Combine(::testing::Values(db::bmRead, db::bmWrite, db::bmReadWrite),
                       ::testing::Values(TOutlived::PostThenClose, TOutlived::Close, TOutlived::DataSetFreed,
                                         TOutlived::PostNextEdit, TOutlived::CancelNextEdit,
                                         TOutlived::BufferRingShrinks, TOutlived::PostSameEdit,
                                         TOutlived::CancelSameEdit)),
    [](const auto& info) {
        return std::string(kModeNames[std::get<0>(info.param)]) + "_" +
               kOutlivedNames[static_cast<int>(std::get<1>(info.param))];
    });

// ---- zero bytes in memo text --------------------------------------------------------------

TEST(EdsBlobStream, MemoTextWithAZeroByteIsRefusedAtPostAndTheEditStays) {
    testsupport::TempDir dir;
    CreateTable(dir.str(), "Texts", "ID,Integer; M,Memo; V,VarChar,20; B,Binary");
    AppendRows(dir.str(), "Texts", 1, [](EDSHANDLE table, int) {
        ASSERT_EQ(edsdatatest::SetInteger(table, "ID", 1), 0u);
        ASSERT_EQ(edsdatatest::SetText(table, "M", "abc"), 0u);
    });
    const auto refused = [](TTestTable& t, const std::string& field) {
        EXPECT_THAT([&] { t.Post(); },
                    ThrowsMessage<EEDSDatabaseError>(HasSubstr("Memo field " + field + " cannot hold a zero byte.")));
        EXPECT_EQ(t.State(), db::dsEdit);
    };
    {
        TTestTable t(dir.str(), "Texts");
        t.Open();
        t.Edit();
        const std::string binary("z\0z", 3);
        static_cast<db::TBlobField*>(t.FieldByName("B"))->SetAsBytes(binary);
        t.FieldByName("ID")->SetAsInteger(2);
        {
            // Past the end of "abc": the gap is zeros.
            auto stream = t.CreateBlobStream(t.FieldByName("M"), db::bmReadWrite);
            stream->Seek(10, db::TSeekOrigin::soBeginning);
            stream->WriteBuffer("Q", 1);
            EXPECT_EQ(stream->Size(), 11);
        }
        refused(t, "M");
        {
            auto stream = t.CreateBlobStream(t.FieldByName("M"), db::bmWrite);
            stream->WriteBuffer("ab\0cd", 5);
        }
        refused(t, "M");
        // Growing the value leaves zeros too.
        t.FieldByName("M")->SetAsString("fine");
        t.CreateBlobStream(t.FieldByName("V"), db::bmReadWrite)->SetSize(3);
        refused(t, "V");
        t.FieldByName("V")->SetAsString(std::string("x\0y", 3));
        refused(t, "V");

        // Nothing reached the engine: the stored record is unchanged.
        TTestTable other(dir.str(), "Texts");
        other.Open();
        EXPECT_EQ(other.FieldByName("ID")->AsInteger(), 1);
        EXPECT_EQ(other.FieldByName("M")->AsString(), "abc");

        t.FieldByName("V")->SetAsString("xy");
        t.Post();
        EXPECT_EQ(t.FieldByName("M")->AsString(), "fine");
        EXPECT_EQ(static_cast<db::TBlobField*>(t.FieldByName("B"))->AsBytes(), binary);

        // An insert refused the same way adds no record.
        t.Append();
        t.FieldByName("M")->SetAsString(std::string("\0", 1));
        EXPECT_THAT([&] { t.Post(); }, ThrowsMessage<EEDSDatabaseError>(HasSubstr("cannot hold a zero byte.")));
        EXPECT_EQ(t.State(), db::dsInsert);
        t.Cancel();
        EXPECT_EQ(t.RecordCount(), 1);
    }
    TTestTable t(dir.str(), "Texts");
    t.Open();
    EXPECT_EQ(t.RecordCount(), 1);
    EXPECT_EQ(t.FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(t.FieldByName("M")->AsString(), "fine");
    EXPECT_EQ(t.FieldByName("V")->AsString(), "xy");
    EXPECT_EQ(static_cast<db::TBlobField*>(t.FieldByName("B"))->AsBytes(), std::string("z\0z", 3));
}

}  // namespace
