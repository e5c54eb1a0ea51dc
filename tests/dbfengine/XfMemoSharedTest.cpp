// One record's memo in the hands of two users of a shared table, the other user a
// dataset of this program or another program: the memo rewritten while this user
// stands on the record, or while this user reads it, and its freed block handed on
// to another record's memo. This user's post keeps its memo and its other change,
// and its reads never give another record's memo, nor another table's, whether its
// read-ahead still serves the record or has gone stale (the engine's clock
// decides). dBase IV and level 7 memo files reuse freed blocks; dBase III and
// FoxPro files, which never do, go through the same steps. Posts that fail (the
// lock refused, the file failing before or after the record is written) and the
// edits they leave behind end with every memo block in use or free. After each,
// the files are checked from their bytes (no memo shares a block with another or
// with the free chain, and in a file that reuses blocks no block is neither) and
// read by the engine and by python3-dbfread.

#include <algorithm>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "dbfengine/platform/XfClock.h"
#include "dbfengine/uxffds.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

struct Layout {
    std::uint8_t kind;
    const char* memo;  // the memo file's extension
    const char* name;
};
const Layout kLayouts[] = {
    {0x8B, "dbt", "dBase IV"}, {0x8C, "dbt", "dBase level 7"}, {0x83, "dbt", "dBase III"}, {0xF5, "fpt", "FoxPro"}};
// Files that reuse freed blocks.
bool ReusesBlocks(std::uint8_t kind) { return kind == 0x8B || kind == 0x8C; }

std::unique_ptr<TXfDbf> OpenTable(const std::string& path, const std::string& name)
{
    return OpenDbf(path, name, {"name,C,20,0", "notes,M,10,0"});
}

std::string Notes(TXfDbf& ds) { return ds.FieldByName("NOTES")->AsString(); }

// Records 1 "one" with the memo "memo 1" and 2 "two" with "memo 2"; the table's path.
std::string MakeTable(const testsupport::TempDir& dir, const Layout& layout)
{
    XfDbfSettings().MemoVersion = layout.kind;
    XfDbfSettings().MemoBlockSize = 512;
    const std::string path = dir.str() + "/shared.dbf";
    auto ds = OpenTable(path, "Maker");
    for (const auto& [name, notes] : {std::pair {"one", "memo 1"}, std::pair {"two", "memo 2"}}) {
        ds->Append();
        ds->FieldByName("NAME")->SetAsString(name);
        ds->FieldByName("NOTES")->SetAsString(notes);
        ds->Post();
    }
    return path;
}

std::uint32_t Le(const std::string& b, std::size_t at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b.at(at + static_cast<std::size_t>(i)));
    return v;
}

std::uint32_t Be(const std::string& b, std::size_t at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<std::uint8_t>(b.at(at + static_cast<std::size_t>(i)));
    return v;
}

// What the two files hold, judged from their bytes alone: every block a record
// names holds a memo of its layout inside the file, and no two memos, nor a memo
// and a group of a dBase IV file's free chain, share a block. The faults found.
std::vector<std::string> MemoFaults(const std::string& table, const std::string& memo)
{
    const std::string dbf = testsupport::ReadFile(table), dbt = testsupport::ReadFile(memo);
    const std::uint8_t kind = static_cast<std::uint8_t>(dbf.at(0));
    const std::size_t headerLength = Le(dbf, 8, 2), recordLength = Le(dbf, 10, 2);
    std::vector<std::size_t> memoFields;
    // A level 7 table's field descriptors are 48 bytes long and follow 36 more header bytes.
    const bool level7 = kind == 0x8C;
    const std::size_t size = level7 ? 48 : 32;
    for (std::size_t d = level7 ? 68 : 32, offset = 1; d + size <= headerLength && dbf[d] != '\x0D'; d += size) {
        if (dbf[d + (level7 ? 32 : 11)] == 'M') memoFields.push_back(offset);
        offset += static_cast<std::uint8_t>(dbf[d + (level7 ? 33 : 16)]);
    }
    std::uint32_t blockSize = 512;
    if (kind == 0xF5 && Be(dbt, 6, 2) != 0) blockSize = Be(dbt, 6, 2);
    if (ReusesBlocks(kind) && Le(dbt, 18, 2) == 0x0102) blockSize = Le(dbt, 20, 2);
    const std::int64_t blocks = static_cast<std::int64_t>((dbt.size() + blockSize - 1) / blockSize);
    struct Extent {
        std::int64_t first, count;
        std::string what;
    };
    std::vector<Extent> extents;
    std::vector<std::string> faults;
    for (std::uint32_t r = 1; r <= Le(dbf, 4, 4); ++r) {
        for (const std::size_t field : memoFields) {
            const std::string text = dbf.substr(headerLength + (r - 1) * recordLength + field, 10);
            const std::int64_t block = std::atoll(text.c_str());
            const std::string what = "record " + std::to_string(r) + "'s memo at block " + std::to_string(block);
            if (block <= 0) continue;
            const std::size_t at = static_cast<std::size_t>(block) * blockSize;
            if (at + 8 > dbt.size()) {
                faults.push_back(what + " lies past the file's end");
                continue;
            }
            std::size_t bytes = 0;
            if (kind == 0x83) {
                const std::size_t end = dbt.find('\x1A', at);
                bytes = end == std::string::npos ? dbt.size() - at : end + 1 - at;
            } else if (kind == 0xF5) {
                bytes = 8 + Be(dbt, at + 4, 4);
            } else if (dbt.compare(at, 4, std::string("\xFF\xFF\x08\x00", 4)) != 0) {
                faults.push_back(what + " has no memo header");
                bytes = 1;
            } else {
                bytes = Le(dbt, at + 4, 4);
            }
            extents.push_back({block, static_cast<std::int64_t>((bytes + blockSize - 1) / blockSize), what});
        }
    }
    if (ReusesBlocks(kind)) {
        // The chain runs in block order from the header's first word to the file's end.
        std::int64_t next = Le(dbt, 0, 4), last = 0;
        while (next < blocks) {
            if (next <= last || static_cast<std::size_t>(next) * blockSize + 8 > dbt.size()) {
                faults.push_back("the free chain goes back or out at block " + std::to_string(next));
                break;
            }
            const std::size_t at = static_cast<std::size_t>(next) * blockSize;
            extents.push_back({next, Le(dbt, at + 4, 4), "the free group at block " + std::to_string(next)});
            last = next;
            next = Le(dbt, at, 4);
        }
    }
    std::sort(extents.begin(), extents.end(), [](const Extent& a, const Extent& b) { return a.first < b.first; });
    std::int64_t covered = 1;  // past the header
    for (std::size_t i = 0; i < extents.size(); ++i) {
        if (extents[i].first + extents[i].count > blocks) faults.push_back(extents[i].what + " runs past the file's end");
        if (i > 0 && extents[i - 1].first + extents[i - 1].count > extents[i].first)
            faults.push_back(extents[i - 1].what + " and " + extents[i].what + " share a block");
        // A dBase IV file reuses its space: each block is a memo's or free.
        if (ReusesBlocks(kind) && extents[i].first > covered)
            faults.push_back("blocks " + std::to_string(covered) + " to " + std::to_string(extents[i].first - 1) +
                             " are neither a memo nor free");
        covered = std::max(covered, extents[i].first + extents[i].count);
    }
    if (ReusesBlocks(kind) && covered < blocks)
        faults.push_back("blocks from " + std::to_string(covered) + " are neither a memo nor free");
    return faults;
}

// The table holds `rows` ("recno|name|notes"), read by the engine and by
// python3-dbfread, and its memo file is sound.
void ExpectTable(const std::string& path, const Layout& layout, const std::vector<std::string>& rows)
{
    const std::string memo = path.substr(0, path.size() - 3) + layout.memo;
    EXPECT_EQ(MemoFaults(path, memo), std::vector<std::string> {});
    std::vector<std::string> read;
    {
        auto ds = OpenTable(path, "Reader");
        for (ds->First(); !ds->Eof(); ds->Next())
            read.push_back(std::to_string(ds->RecNo()) + "|" + ds->FieldByName("NAME")->AsString() + "|" + Notes(*ds));
    }
    EXPECT_EQ(read, rows) << "read by the engine";
    // python3-dbfread reads no level 7 header.
    if (layout.kind == 0x8C) return;
    std::vector<std::string> tool;
    const std::string command = "/usr/bin/python3 " + PythonScript("memo_tools.py") + " rows '" + path + "'";
    EXPECT_EQ(ForEachOutputLine(command, [&](const std::string& line) { tool.push_back(line); }), 0);
    EXPECT_EQ(tool, rows) << "read by python3-dbfread";
}

// Every layout, with this user's read-ahead still serving what it read before the
// other user's turn or gone stale, and the other user in this program or another:
// this user's datasets B and R stand on record 1, the other user (A) takes
// `otherTurn` on its own dataset, then this user takes `turn`.
void ForEachCase(const std::function<void(TXfDbf& a)>& otherTurn,
                 const std::function<void(const Layout&, const std::string& path, TXfDbf& b, TXfDbf& r)>& turn)
{
    for (const Layout& layout : kLayouts) {
        for (const bool stale : {false, true}) {
            for (const bool otherProgram : {false, true}) {
                SCOPED_TRACE(std::string(layout.name) + (stale ? ", read-ahead stale" : ", read-ahead fresh") +
                             (otherProgram ? ", other program" : ", other dataset"));
                std::int64_t now = 1000000;
                TXfClocks clocks;
                clocks.MonotonicMs = [&now] { return now; };
                TXfClocksGuard clock(std::move(clocks));
                testsupport::TempDir dir;
                const std::string path = MakeTable(dir, layout);
                auto b = OpenTable(path, "B"), r = OpenTable(path, "R");
                AsOtherUser(otherProgram, [&] { otherTurn(*OpenTable(path, "A")); });
                // Records read ahead serve a shared table for some milliseconds; a second is past that.
                if (stale) now += 1000;
                turn(layout, path, *b, *r);
            }
        }
    }
}

}  // namespace

TEST(XfMemoShared, APostAfterAnotherUserRewroteTheMemoStoresBothChangesAndFreesOnlyTheMemoItReplaced)
{
    REQUIRE_TOOLS("/usr/bin/python3");
    EngineScope scope;
    ForEachCase(
        [](TXfDbf& a) {
            a.Edit();
            a.FieldByName("NOTES")->SetAsString("A's memo");
            a.Post();
        },
        [](const Layout& layout, const std::string& path, TXfDbf& b, TXfDbf&) {
            b.Edit();
            b.FieldByName("NOTES")->SetAsString("B's memo");
            b.FieldByName("NAME")->SetAsString("B's name");
            b.Post();
            EXPECT_EQ(Notes(b), "B's memo");
            b.Next();
            EXPECT_EQ(Notes(b), "memo 2");
            b.Close();
            ExpectTable(path, layout, {"1|B's name|B's memo", "2|two|memo 2"});
        });
}

TEST(XfMemoShared, AMemoWhoseBlockWentToAnotherRecordIsReadAndEditedAsTheRecordHoldsItNow)
{
    REQUIRE_TOOLS("/usr/bin/python3");
    EngineScope scope;
    ForEachCase(
        // Record 1's memo moves; in a dBase IV file record 2's new memo takes its old block.
        [](TXfDbf& a) {
            for (const std::string memo : {"A's memo 1", "A's memo 2"}) {
                a.Edit();
                a.FieldByName("NOTES")->SetAsString(memo);
                a.Post();
                a.Next();
            }
        },
        [](const Layout& layout, const std::string& path, TXfDbf& b, TXfDbf& r) {
            // Layouts that never reuse a block may still show the memo read before.
            const std::string read = Notes(r);
            if (ReusesBlocks(layout.kind)) {
                EXPECT_EQ(read, "A's memo 1");
            } else {
                EXPECT_TRUE(read == "A's memo 1" || read == "memo 1") << read;
            }
            // In an edit with another change pending, the same memo, which a
            // read-write stream then adds to.
            b.Edit();
            b.FieldByName("NAME")->SetAsString("B's name");
            EXPECT_EQ(Notes(b), read);
            {
                std::unique_ptr<db::TStream> blob = b.CreateBlobStream(b.FieldByName("NOTES"), db::bmReadWrite);
                blob->Seek(0, db::TSeekOrigin::soEnd);
                blob->WriteBuffer(" and B's", 8);
            }
            EXPECT_EQ(b.FieldByName("NAME")->AsString(), "B's name");
            b.Post();
            EXPECT_EQ(Notes(b), read + " and B's");
            b.Next();
            EXPECT_EQ(Notes(b), "A's memo 2");
            b.Close();
            r.Close();
            ExpectTable(path, layout, {"1|B's name|" + read + " and B's", "2|two|A's memo 2"});
        });
}

// A post refused because another user holds the record's lock leaves the edit
// going on, with the memo its stream held stored by the refused try. What the
// stream then writes joins what it held: the post that goes through stores the
// whole, and each memo a refused try stored goes back to the free space once.
TEST(XfMemoShared, WritesToAStreamAfterARefusedPostAreStoredWithWhatItHeld)
{
    REQUIRE_TOOLS("/usr/bin/python3");
    EngineScope scope;
    for (const Layout& layout : kLayouts) {
        for (const db::TBlobStreamMode mode : {db::bmWrite, db::bmReadWrite}) {
            SCOPED_TRACE(std::string(layout.name) + (mode == db::bmWrite ? ", write stream" : ", read-write stream"));
            testsupport::TempDir dir;
            const std::string path = MakeTable(dir, layout);
            auto b = OpenTable(path, "B"), holder = OpenTable(path, "Holder");
            const auto holderLock = [&](bool take) {
                Select(holder->WorkAreaNo());
                GO(1);
                if (take) ASSERT_TRUE(RLock());
                else Unlock();
            };
            b->Edit();
            std::unique_ptr<db::TStream> stream = b->CreateBlobStream(b->FieldByName("NOTES"), mode);
            stream->Seek(0, db::TSeekOrigin::soEnd);
            std::string held = mode == db::bmWrite ? "" : "memo 1";
            for (const std::string part : {" first", " second", " third"}) {
                stream->WriteBuffer(part.data(), static_cast<std::int64_t>(part.size()));
                held += part;
                if (part == " third") break;
                holderLock(true);
                EXPECT_THROW(b->Post(), db::EDatabaseError);
                holderLock(false);
                ASSERT_EQ(b->State(), db::dsEdit);
            }
            b->Post();
            stream.reset();
            EXPECT_EQ(Notes(*b), held);
            b->Close();
            holder->Close();
            ExpectTable(path, layout, {"1|one|" + held, "2|two|memo 2"});
        }
    }
}

namespace {

// A memo field of record `recNo` of `path` set to name `block`, past the engine, as
// another program writing the record would leave it.
void NameBlock(const std::string& path, std::uint32_t recNo, std::int32_t block)
{
    std::string dbf = testsupport::ReadFile(path);
    const std::size_t at = Le(dbf, 8, 2) + (recNo - 1) * Le(dbf, 10, 2) + 21;  // NOTES follows the deletion flag and NAME
    const std::string digits = std::to_string(block);
    dbf.replace(at, 10, std::string(10 - digits.size(), ' ') + digits);
    testsupport::WriteFile(path, dbf);
}

// The block memo field NOTES of record `recNo` names in the file.
std::int32_t NamedBlock(const std::string& path, std::uint32_t recNo)
{
    const std::string dbf = testsupport::ReadFile(path);
    return std::atoi(dbf.substr(Le(dbf, 8, 2) + (recNo - 1) * Le(dbf, 10, 2) + 21, 10).c_str());
}

std::string MemoPath(const std::string& table, const Layout& layout)
{
    return table.substr(0, table.size() - 3) + layout.memo;
}

}  // namespace

// Two tables, B's and C's, both with memo files: after B's post or append is
// refused (another open of B's table holds the lock), C moves; B's memo is still
// read from B's table, and a stream that adds to it stores B's text when the post
// goes through.
TEST(XfMemoShared, AMemoReadAfterARefusedPostOrAppendComesFromTheDatasetsOwnMemoFile)
{
    REQUIRE_TOOLS("/usr/bin/python3");
    EngineScope scope;
    for (const Layout& layout : kLayouts) {
        for (const bool append : {false, true}) {
            SCOPED_TRACE(std::string(layout.name) + (append ? ", append" : ", post"));
            testsupport::TempDir dir;
            const std::string one = MakeTable(dir, layout), two = dir.str() + "/two.dbf";
            std::vector<std::string> twoRows;
            {
                // Memos over every block B's memo file uses, so a read there finds C's text.
                auto maker = OpenTable(two, "Maker2");
                for (int n = 1; n <= 4; ++n) {
                    const std::string notes(1500, static_cast<char>('a' + n));
                    maker->Append();
                    maker->FieldByName("NAME")->SetAsString("other " + std::to_string(n));
                    maker->FieldByName("NOTES")->SetAsString(notes);
                    maker->Post();
                    twoRows.push_back(std::to_string(n) + "|other " + std::to_string(n) + "|" + notes);
                }
            }
            auto b = OpenTable(one, "B"), c = OpenTable(two, "C"), holder = OpenTable(one, "Holder");
            const auto hold = [&](bool take) {
                Select(holder->WorkAreaNo());
                if (!take) {
                    Unlock();
                } else if (append) {
                    ASSERT_TRUE(ALock());
                } else {
                    GO(2);
                    ASSERT_TRUE(RLock());
                }
            };
            hold(true);
            if (append) {
                b->Append();
                b->FieldByName("NAME")->SetAsString("three");
            } else {
                b->Last();
                b->Edit();
            }
            b->FieldByName("NOTES")->SetAsString("B's new memo");
            EXPECT_THROW(b->Post(), db::EDatabaseError);
            c->First();
            EXPECT_EQ(Notes(*b), "B's new memo");
            c->Last();
            {
                std::unique_ptr<db::TStream> blob = b->CreateBlobStream(b->FieldByName("NOTES"), db::bmReadWrite);
                blob->Seek(0, db::TSeekOrigin::soEnd);
                blob->WriteBuffer(" and more", 9);
            }
            hold(false);
            c->First();
            b->Post();
            EXPECT_EQ(Notes(*b), "B's new memo and more");
            b->Close();
            c->Close();
            holder->Close();
            std::vector<std::string> rows {"1|one|memo 1", "2|two|memo 2"};
            if (append) {
                rows.push_back("3|three|B's new memo and more");
            } else {
                rows[1] = "2|two|B's new memo and more";
            }
            ExpectTable(one, layout, rows);
            ExpectTable(two, layout, twoRows);
        }
    }
}

// Another program rewrites record 1's memo, and then record 2's, which in a file
// that reuses blocks takes record 1's old block, while this program reads record 1's
// memo without a lock: the read gives one of record 1's memos, never record 2's. A
// record that names another block after every read is an error.
TEST(XfMemoShared, AMemoReadWhileAnotherProgramMovesItGivesTheRecordsOwnMemoOrAnError)
{
    EngineScope scope;
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        std::vector<std::int64_t> sleeps;
        TXfClocks clocks;
        clocks.SleepMs = [&](std::int64_t ms) { sleeps.push_back(ms); };
        TXfClocksGuard clock(std::move(clocks));
        testsupport::TempDir dir;
        const std::string path = MakeTable(dir, layout), memo = MemoPath(path, layout);
        auto r = OpenTable(path, "R");
        const std::int32_t first = NamedBlock(path, 1);
        // Runs between the start of each memo read of this program and its bytes.
        int memoReads = 0;
        std::function<void()> duringRead;
        TXfFileFaults faults;
        faults.SizeTaken = [&](const std::string& file) {
            if (file != memo) return;
            ++memoReads;
            if (duringRead) duringRead();
        };
        TXfFileFaultsGuard guard(std::move(faults));
        duringRead = [&] {
            duringRead = nullptr;
            AsOtherUser(true, [&] {
                auto a = OpenTable(path, "A");
                for (const std::string notes : {"A's memo 1", "A's memo 2"}) {
                    a->Edit();
                    a->FieldByName("NOTES")->SetAsString(notes);
                    a->Post();
                    a->Next();
                }
            });
        };
        const std::string read = Notes(*r);
        if (!ReusesBlocks(layout.kind)) {
            EXPECT_TRUE(read == "memo 1" || read == "A's memo 1") << read;
            continue;
        }
        EXPECT_EQ(read, "A's memo 1");
        EXPECT_EQ(NamedBlock(path, 2), first) << "record 2's memo took record 1's old block";
        EXPECT_EQ(memoReads, 2);
        memoReads = 0;
        const std::int32_t moved = NamedBlock(path, 1);
        duringRead = [&] { NameBlock(path, 1, NamedBlock(path, 1) == first ? moved : first); };
        r->First();
        sleeps.clear();
        EXPECT_THROW(Notes(*r), db::EDatabaseError);
        EXPECT_EQ(memoReads, TXfDataSet::kSharedMemoReads);
        EXPECT_EQ(sleeps.size(), static_cast<std::size_t>(TXfDataSet::kSharedMemoReads - 1));
        duringRead = nullptr;
    }
}

// How a post of a new memo for record 1 ends after its first try failed: the lock
// refused (nothing written), the file failing after the record was written (the
// record names the memo the try stored), or the file failing to give the record's
// block under the lock (nothing may be written then). The edit then ends by a post,
// a cancel or a delete. Whatever the record names stays in use and is read back;
// every other memo a try stored goes back to the free space.
TEST(XfMemoShared, AnEditWhosePostFailedEndsWithEveryMemoInUseOrFree)
{
    EngineScope scope;
    // Records read ahead serve every read before the lock.
    TXfClocks clocks;
    clocks.MonotonicMs = [] { return std::int64_t {1000000}; };
    TXfClocksGuard clock(std::move(clocks));
    enum Failure { LockRefused, AfterRecordWrite, BlockUnread };
    enum Ending { Post, Cancel, Delete };
    for (const Layout& layout : kLayouts) {
        for (const Failure failure : {LockRefused, AfterRecordWrite, BlockUnread}) {
            for (const Ending ending : {Post, Cancel, Delete}) {
                // Delivered at once as exceptions, or only noted while the engine goes on.
                for (const bool noted : {false, true}) {
                    if (noted && failure != BlockUnread) continue;
                    SCOPED_TRACE(std::string(layout.name) + ", failure " + std::to_string(failure) + ", ending " +
                                 std::to_string(ending) + (noted ? ", errors noted" : ""));
                    testsupport::TempDir dir;
                    const std::string path = MakeTable(dir, layout);
                    auto b = OpenTable(path, "B"), holder = OpenTable(path, "Holder");
                    const std::string before = testsupport::ReadFile(path);
                    const std::size_t recordLength = Le(before, 10, 2), recordOffset = Le(before, 8, 2);
                    bool failing = false;
                    TXfFileFaults faults;
                    faults.Flush = [&](const std::string& file) {
                        return failing && failure == AfterRecordWrite && file == path ? 29 : 0;
                    };
                    // The read of the record alone: the one that takes its memo's block.
                    faults.Read = [&](const std::string& file, std::int64_t offset, std::size_t size) {
                        return failing && failure == BlockUnread && file == path &&
                                       offset == static_cast<std::int64_t>(recordOffset) && size == recordLength
                                   ? 30
                                   : 0;
                    };
                    TXfFileFaultsGuard guard(std::move(faults));
                    XfDbfSettings().FlushAfterWrite = failure == AfterRecordWrite;
                    b->Edit();
                    b->FieldByName("NOTES")->SetAsString("B's memo");
                    if (failure == LockRefused) {
                        Select(holder->WorkAreaNo());
                        GO(1);
                        ASSERT_TRUE(RLock());
                    }
                    failing = true;
                    {
                        std::function<void()> saved = XfErrors().ErrorHook;
                        if (noted) XfErrors().ErrorHook = [] {};
                        EXPECT_THROW(b->Post(), db::EDatabaseError);
                        XfErrors().ErrorHook = saved;
                    }
                    failing = false;
                    XfDbfSettings().FlushAfterWrite = 0;
                    if (failure == LockRefused) {
                        Select(holder->WorkAreaNo());
                        Unlock();
                    }
                    ASSERT_EQ(b->State(), db::dsEdit);
                    const bool written = failure == AfterRecordWrite;
                    if (!written) {
                        EXPECT_EQ(Hex(testsupport::ReadFile(path)), Hex(before)) << "the failed post wrote";
                    }
                    std::string memo1 = written ? "B's memo" : "memo 1";
                    switch (ending) {
                    case Post:
                        b->Post();
                        memo1 = "B's memo";
                        break;
                    case Cancel: b->Cancel(); break;
                    case Delete: b->Delete(); break;
                    }
                    b->Close();
                    holder->Close();
                    EXPECT_EQ(MemoFaults(path, MemoPath(path, layout)), std::vector<std::string> {});
                    auto reader = OpenTable(path, "Reader");
                    EXPECT_EQ(Notes(*reader), memo1);
                    EXPECT_EQ(reader->FieldByName("NAME")->AsString(), "one");
                }
            }
        }
    }
}
