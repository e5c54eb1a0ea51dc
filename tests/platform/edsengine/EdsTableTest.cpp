// Tables: creating, opening, changing and finding records, indexes and their keys,
// transactions, and the file as other SQLite tools see it.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>

#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"
#include "tests/support/TestSupport.h"

using namespace edstest;

namespace {

const char kGroups[] = "G_ID,AutoInc; Parent_ID,Integer; Group_Name,Char,40;";

class Tables : public ::testing::Test {
protected:
    void SetUp() override { connection_ = Connect(dir_.str()); }
    void TearDown() override { EdsDisconnect(connection_); }

    // Groups with the given names, appended in order (record numbers from 1).
    EDSHANDLE Groups(const std::vector<std::string>& names) {
        EDSHANDLE table = 0;
        EXPECT_EQ(Create(connection_, "Groups", kGroups, &table), EDS_SUCCESS) << LastError();
        for (const std::string& name : names) {
            EXPECT_EQ(EdsAppendRecord(table), EDS_SUCCESS);
            EXPECT_EQ(SetText(table, "Group_Name", name), EDS_SUCCESS);
            EXPECT_EQ(EdsWriteRecord(table), EDS_SUCCESS) << LastError();
        }
        return table;
    }
    std::vector<std::string> Walk(EDSHANDLE order) {
        std::vector<std::string> names;
        EdsGotoTop(order);
        while (!AtEof(order)) {
            names.push_back(Text(order, "Group_Name"));
            EdsSkip(order, 1);
        }
        return names;
    }

    testsupport::TempDir dir_;
    EDSHANDLE connection_ = 0;
};

TEST_F(Tables, CreateNeverReplacesAnExistingFileInAnyLetterCase) {
    EDSHANDLE table = Groups({"Friends"});
    EDS_OK(EdsCloseTable(table));
    EXPECT_EQ(Create(connection_, "Groups", kGroups, &table), EDS_E_FILE_EXISTS);
    EXPECT_EQ(Create(connection_, "GROUPS.edt", "X,Integer", &table), EDS_E_FILE_EXISTS);
    EDS_OK(Open(connection_, "groups", 0, &table));
    UNSIGNED32 count = 0;
    EDS_OK(EdsGetRecordCount(table, EDS_IGNOREFILTERS, &count));
    EXPECT_EQ(count, 1u);
    EDS_OK(EdsCloseTable(table));
    // Only the table and its lock file are left: no temporary files.
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) files.push_back(entry.path().filename());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"Groups.edt", "Groups.edt.lck"}));
}

TEST_F(Tables, OpensByFullPathWithEitherSeparatorAndWithoutConnection) {
    EdsCloseTable(Groups({"a"}));
    EDSHANDLE table = 0;
    std::string windowsStyle = dir_.str() + "\\GROUPS.EDT";
    EDS_OK(Open(0, windowsStyle, EDS_READONLY, &table));
    UNSIGNED32 options = 0;
    EDS_OK(EdsGetTableOpenOptions(table, &options));
    EXPECT_EQ(options, EDS_READONLY);  // no update or insert rights
    EXPECT_EQ(EdsAppendRecord(table), EDS_E_READ_ONLY);
    EDS_OK(EdsCloseTable(table));
    EDS_OK(Open(connection_, "Groups", 0, &table));
    EDS_OK(EdsGetTableOpenOptions(table, &options));
    EXPECT_EQ(options, EDS_UPDATE_RIGHT | EDS_INSERT_RIGHT);
    EDS_OK(EdsCloseTable(table));
    EXPECT_EQ(Open(connection_, "Missing", 0, &table), EDS_E_FILE_NOT_FOUND);
}

TEST_F(Tables, OtherTableTypesAndDictionariesAnswerNotSupported) {
    EDSHANDLE table = 0, connection = 0;
    EXPECT_EQ(EdsCreateTable(connection_, U("X"), nullptr, EDS_NTX, EDS_ANSI, 1, 1, 0, U("A,Integer"), &table),
              EDS_E_NOT_SUPPORTED);
    EXPECT_EQ(EdsOpenTable(connection_, U("X"), nullptr, EDS_CDX, EDS_ANSI, 1, 1, 0, &table), EDS_E_NOT_SUPPORTED);
    EXPECT_EQ(EdsConnect(U(dir_.str() + "/data.add"), &connection), EDS_E_NOT_SUPPORTED);
    EXPECT_NE(LastError().find("not supported"), std::string::npos);
}

TEST_F(Tables, FileOpensInTheSqliteToolWithReadableRowsAndPassesIntegrityCheck) {
    REQUIRE_TOOLS("sqlite3");
    EDSHANDLE table = Groups({"Friends", "Family"});
    EDS_OK(EdsCreateIndex61(table, U(""), U("Group_Name"), U("UPPER(Group_Name)"), U(""), U(""),
                            EDS_UNIQUE | EDS_COMPOUND, 0, nullptr));
    EDS_OK(EdsCloseTable(table));
    const std::string file = (dir_ / "Groups.edt").string();
    auto check = testsupport::RunCommand("sqlite3 '" + file + "' 'PRAGMA integrity_check'");
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(check.output, "ok\n");
    auto rows = testsupport::RunCommand("sqlite3 '" + file + "' 'SELECT G_ID, Group_Name FROM Groups ORDER BY G_ID'");
    EXPECT_EQ(rows.output, "1|Friends\n2|Family\n");
}

TEST_F(Tables, UniqueViolationKeepsThePendingAppendForAnotherTry) {
    EDSHANDLE table = Groups({"Friends"});
    EDSHANDLE index = 0;
    EDS_OK(EdsCreateIndex61(table, U(""), U("Group_Name"), U("UPPER(Group_Name)"), U(""), U(""), EDS_UNIQUE, 0, &index));
    EDS_OK(EdsAppendRecord(table));
    const UNSIGNED32 reserved = RecNo(table);
    EDS_OK(SetText(table, "Group_Name", "FRIENDS"));
    EXPECT_EQ(EdsWriteRecord(table), EDS_E_UNIQUE_VIOLATION);
    EXPECT_NE(LastError().find("Appending the record: the key already exists"), std::string::npos) << LastError();
    EXPECT_EQ(RecNo(table), reserved);
    EDS_OK(SetText(table, "Group_Name", "Neighbours"));
    EDS_OK(EdsWriteRecord(table));
    EXPECT_EQ(RecNo(table), reserved);
    // A change that collides says so too, and the record keeps its name.
    EDS_OK(SetText(table, "Group_Name", "friends"));
    EXPECT_EQ(EdsWriteRecord(table), EDS_E_UNIQUE_VIOLATION);
    EXPECT_NE(LastError().find("Writing the changed record: the key already exists"), std::string::npos)
        << LastError();
    EDS_OK(EdsCancelUpdate(table));
    EXPECT_EQ(Walk(index), (std::vector<std::string>{"Friends", "Neighbours"}));
    EXPECT_EQ(EdsCancelUpdate(table), EDS_E_NO_PENDING_UPDATE);
    EdsCloseTable(table);
}

TEST_F(Tables, UniqueIndexOverDuplicatesIsRefusedAndLeavesNoTag) {
    EDSHANDLE table = Groups({"a", "b", "a"});
    EDSHANDLE index = 0;
    EXPECT_EQ(EdsCreateIndex61(table, U(""), U("Name"), U("Group_Name"), U(""), U(""), EDS_UNIQUE, 0, &index),
              EDS_E_UNIQUE_VIOLATION);
    UNSIGNED16 count = 9;
    EDS_OK(EdsGetNumIndexes(table, &count));
    EXPECT_EQ(count, 0);
    EDS_OK(EdsCreateIndex61(table, U(""), U("Name"), U("Group_Name"), U(""), U(""), 0, 0, &index));
    EXPECT_EQ(EdsCreateIndex61(table, U(""), U("NAME"), U("Parent_ID"), U(""), U(""), 0, 0, &index), EDS_E_INDEX_EXISTS);
    EdsCloseTable(table);
}

TEST_F(Tables, IndexTagsAndTheirSegmentsSurviveReopening) {
    EDSHANDLE table = Groups({});
    EDS_OK(EdsCreateIndex61(table, U(""), U("ID"), U("Parent_ID;G_ID"), U(""), U(""), EDS_UNIQUE | EDS_COMPOUND, 0, nullptr));
    EDS_OK(EdsCloseTable(table));
    EDS_OK(Open(connection_, "Groups", 0, &table));
    EDSHANDLE index = 0;
    EDS_OK(EdsGetIndexHandle(table, U("id"), &index));
    UNSIGNED16 segments = 0, unique = 0;
    EDS_OK(EdsGetNumSegments(index, &segments));
    EDS_OK(EdsIsIndexUnique(index, &unique));
    EXPECT_EQ(segments, 2);
    EXPECT_EQ(unique, 1);
    UNSIGNED8 name[130];
    UNSIGNED16 len = sizeof name;
    EDS_OK(EdsGetSegmentFieldname(index, 1, name, &len));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name), len), "G_ID");
    len = sizeof name;
    EXPECT_EQ(EdsGetSegmentFieldname(index, 2, name, &len), EDS_E_INVALID_ARGUMENT);
    EDSHANDLE all[1];
    UNSIGNED16 room = 1;
    EDS_OK(EdsGetAllIndexes(table, all, &room));
    EXPECT_EQ(all[0], index);
    EDS_OK(EdsCloseTable(table));
}

TEST_F(Tables, DescendingAndCaseInsensitiveOrders) {
    EDSHANDLE table = Groups({"beta", "Alpha", "gamma", "alpha"});
    EDSHANDLE upper = 0, desc = 0, plain = 0;
    EDS_OK(EdsCreateIndex61(table, U(""), U("U"), U("UPPER(Group_Name)"), U(""), U(""), 0, 0, &upper));
    EDS_OK(EdsCreateIndex61(table, U(""), U("D"), U("Group_Name"), U(""), U(""), EDS_DESCENDING, 0, &desc));
    EDS_OK(EdsCreateIndex61(table, U(""), U("P"), U("Group_Name"), U(""), U(""), 0, 0, &plain));
    EXPECT_EQ(Walk(upper), (std::vector<std::string>{"Alpha", "alpha", "beta", "gamma"}));
    EXPECT_EQ(Walk(desc), (std::vector<std::string>{"gamma", "beta", "alpha", "Alpha"}));
    EXPECT_EQ(Walk(plain), (std::vector<std::string>{"Alpha", "alpha", "beta", "gamma"}));
    EXPECT_EQ(Walk(table), (std::vector<std::string>{"beta", "Alpha", "gamma", "alpha"}));
    EdsCloseTable(table);
}

TEST_F(Tables, RawKeysSeekExactlyOrByPrefixOfTheLastCharacterSegment) {
    EDSHANDLE table = Groups({"Smith", "Smithers", "Jones"});
    EDSHANDLE index = 0;
    EDS_OK(EdsCreateIndex61(table, U(""), U("N"), U("Group_Name"), U(""), U(""), 0, 0, &index));
    auto seek = [&](const std::string& text, UNSIGNED32 length) {
        EdsInitRawKey(index);
        std::string padded = text;
        padded.resize(40, ' ');
        EXPECT_EQ(EdsSetField(index, "Group_Name", U(padded), length), EDS_SUCCESS) << LastError();
        UNSIGNED8 key[4083];
        UNSIGNED16 keyLength = sizeof key;
        EXPECT_EQ(EdsBuildRawKey(index, key, &keyLength), EDS_SUCCESS);
        UNSIGNED16 found = 0;
        EXPECT_EQ(EdsSeek(index, key, keyLength, EDS_RAWKEY, EDS_HARDSEEK, &found), EDS_SUCCESS);
        return found ? Text(table, "Group_Name") : std::string("<none>");
    };
    EXPECT_EQ(seek("Smithers", 40), "Smithers");
    EXPECT_EQ(seek("Smith", 40), "Smith");        // the whole column: exact
    EXPECT_EQ(seek("Smi", 40), "<none>");
    EXPECT_TRUE(AtEof(table));
    EXPECT_EQ(seek("Smithe", 6), "Smithers");     // a shortened text: a prefix
    EXPECT_EQ(seek("Smi", 3), "Smith");
    // An empty value over the whole column (zeros) finds only the empty name.
    EDS_OK(EdsAppendRecord(table));
    EDS_OK(EdsWriteRecord(table));
    const UNSIGNED32 empty = RecNo(table);
    EdsInitRawKey(index);
    const std::string zeros(40, '\0');
    EDS_OK(EdsSetField(index, "Group_Name", U(zeros), 40));
    UNSIGNED8 key[4083];
    UNSIGNED16 keyLength = sizeof key;
    EDS_OK(EdsBuildRawKey(index, key, &keyLength));
    UNSIGNED16 found = 0;
    EDS_OK(EdsSeek(index, key, keyLength, EDS_RAWKEY, EDS_HARDSEEK, &found));
    EXPECT_EQ(found, 1);
    EXPECT_EQ(RecNo(table), empty);
    EdsCloseTable(table);
}

TEST_F(Tables, SteppedRawKeysMakeExclusiveRanges) {
    EDSHANDLE table = Groups({"a", "b", "b", "c", "d"});
    EDSHANDLE index = 0;
    EDS_OK(EdsCreateIndex61(table, U(""), U("N"), U("Group_Name"), U(""), U(""), 0, 0, &index));
    auto key = [&](const std::string& text, SIGNED16 step) {
        EdsInitRawKey(index);
        std::string padded = text;
        padded.resize(40, ' ');
        EdsSetField(index, "Group_Name", U(padded), 40);
        std::string raw(4083, '\0');
        UNSIGNED16 length = 4083;
        EdsBuildRawKey(index, reinterpret_cast<UNSIGNED8*>(raw.data()), &length);
        raw.resize(length);
        if (step) EdsStepIndexKey(index, reinterpret_cast<UNSIGNED8*>(raw.data()), length, step);
        return raw;
    };
    const std::string top = key("b", 1), bottom = key("d", -1);
    EDS_OK(EdsSetScope(index, EDS_TOP, reinterpret_cast<const UNSIGNED8*>(top.data()), static_cast<UNSIGNED16>(top.size()), EDS_RAWKEY));
    EDS_OK(EdsSetScope(index, EDS_BOTTOM, reinterpret_cast<const UNSIGNED8*>(bottom.data()), static_cast<UNSIGNED16>(bottom.size()), EDS_RAWKEY));
    EXPECT_EQ(Walk(index), (std::vector<std::string>{"c"}));
    UNSIGNED32 count = 0;
    EDS_OK(EdsGetRecordCount(index, EDS_RESPECTSCOPES, &count));
    EXPECT_EQ(count, 1u);
    EDS_OK(EdsClearAllScopes(table));
    EXPECT_EQ(Walk(index).size(), 5u);
    UNSIGNED8 buf[10];
    UNSIGNED16 len = sizeof buf;
    EXPECT_EQ(EdsGetScope(index, EDS_TOP, buf, &len), EDS_E_NO_SCOPE);
    EdsCloseTable(table);
}

TEST_F(Tables, TextScopesAreGivenBackAsGiven) {
    EDSHANDLE table = Groups({"apple", "banana", "blueberry", "cherry"});
    EDSHANDLE index = 0;
    EDS_OK(EdsCreateIndex61(table, U(""), U("N"), U("Group_Name"), U(""), U(""), 0, 0, &index));
    EDS_OK(EdsSetScope(index, EDS_TOP, U("b"), 1, EDS_STRINGKEY));
    EDS_OK(EdsSetScope(index, EDS_BOTTOM, U("b"), 1, EDS_STRINGKEY));
    EXPECT_EQ(Walk(index), (std::vector<std::string>{"banana", "blueberry"}));
    UNSIGNED8 buf[10];
    UNSIGNED16 len = sizeof buf;
    EDS_OK(EdsGetScope(index, EDS_BOTTOM, buf, &len));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "b");
    EdsCloseTable(table);
}

TEST_F(Tables, APositionSurvivesTheDeletionOfItsRecord) {
    EDSHANDLE table = Groups({"a", "b", "c"});
    EDSHANDLE index = 0;
    EDS_OK(EdsCreateIndex61(table, U(""), U("N"), U("Group_Name"), U(""), U(""), 0, 0, &index));
    EDS_OK(EdsGotoTop(index));
    EDS_OK(EdsSkip(index, 1));
    EXPECT_EQ(Text(table, "Group_Name"), "b");
    EDS_OK(EdsDeleteRecord(table));
    EDS_OK(EdsWriteRecord(table));
    UNSIGNED16 visible = 1, deleted = 0;
    EDS_OK(EdsIsRecordVisible(index, &visible));
    EDS_OK(EdsIsRecordDeleted(table, &deleted));
    EXPECT_EQ(visible, 0);
    EXPECT_EQ(deleted, 1);
    UNSIGNED8 image[100];
    UNSIGNED32 len = sizeof image;
    EXPECT_EQ(EdsGetRecord(table, image, &len), EDS_E_NO_CURRENT_RECORD);
    EXPECT_FALSE(AtEof(table));
    EDS_OK(EdsSkip(index, 1));
    EXPECT_EQ(Text(table, "Group_Name"), "c");
    UNSIGNED32 count = 0;
    EDS_OK(EdsGetRecordCount(table, EDS_IGNOREFILTERS, &count));
    EXPECT_EQ(count, 2u);
    EdsCloseTable(table);
}

TEST_F(Tables, BookmarkOfADeletedRecordLeavesTheCursorUnpositioned) {
    EDSHANDLE table = Groups({"a", "b", "c"});
    EDS_OK(EdsGotoRecord(table, 2));
    UNSIGNED8 bookmark[4];
    UNSIGNED32 length = sizeof bookmark;
    EDS_OK(EdsGetBookmark60(table, bookmark, &length));
    EXPECT_EQ(bookmark[0], 2);
    EDS_OK(EdsDeleteRecord(table));
    EDS_OK(EdsGotoTop(table));
    EXPECT_EQ(EdsGotoBookmark(table, 2), EDS_E_RECORD_NOT_FOUND);
    EXPECT_TRUE(AtEof(table));
    UNSIGNED8 image[100];
    UNSIGNED32 len = sizeof image;
    EXPECT_EQ(EdsGetRecord(table, image, &len), EDS_E_NO_CURRENT_RECORD);
    EXPECT_EQ(EdsGotoRecord(table, 99), EDS_E_RECORD_NOT_FOUND);
    EdsCloseTable(table);
}

TEST_F(Tables, RecordNumbersAreNeverReused) {
    EDSHANDLE table = Groups({"a", "b"});
    EDS_OK(EdsGotoBottom(table));
    EDS_OK(EdsDeleteRecord(table));
    EDS_OK(EdsAppendRecord(table));
    EXPECT_EQ(RecNo(table), 3u);
    EDS_OK(EdsCancelUpdate(table));
    EDS_OK(EdsAppendRecord(table));
    EXPECT_EQ(RecNo(table), 4u);  // a cancelled reservation is not handed out again
    EDS_OK(EdsWriteRecord(table));
    EdsCloseTable(table);
}

TEST_F(Tables, RollbackUndoesAndCommitKeeps) {
    EDSHANDLE table = Groups({"kept"});
    EDS_OK(EdsBeginTransaction(connection_));
    EXPECT_EQ(EdsBeginTransaction(connection_), EDS_E_TRANSACTION);
    EDS_OK(EdsAppendRecord(table));
    EDS_OK(SetText(table, "Group_Name", "undone"));
    EDS_OK(EdsWriteRecord(table));
    EDS_OK(EdsRollbackTransaction(connection_));
    EXPECT_EQ(Walk(table), (std::vector<std::string>{"kept"}));
    EDS_OK(EdsBeginTransaction(connection_));
    EDS_OK(EdsAppendRecord(table));
    EDS_OK(SetText(table, "Group_Name", "done"));
    EDS_OK(EdsWriteRecord(table));
    EDS_OK(EdsCommitTransaction(connection_));
    EXPECT_EQ(EdsCommitTransaction(connection_), EDS_E_TRANSACTION);
    EDS_OK(EdsCloseTable(table));
    EDS_OK(Open(connection_, "Groups", 0, &table));
    EXPECT_EQ(Walk(table), (std::vector<std::string>{"kept", "done"}));
    EdsCloseTable(table);
}

// A table closed inside a transaction gives back what its handle held, yet its
// part of the transaction stays until the transaction ends, and an open of it
// meanwhile goes on with that part; a table that did nothing closes as always.
TEST_F(Tables, ATableClosedInsideATransactionKeepsItsPartUntilTheTransactionEnds) {
    EDSHANDLE table = Groups({"kept"});
    EDSHANDLE idle = 0;
    ASSERT_EQ(Create(connection_, "Idle", kGroups, &idle), EDS_SUCCESS) << LastError();
    const auto append = [](EDSHANDLE handle, const std::string& name) {
        UNSIGNED32 rc = EdsAppendRecord(handle);
        if (rc == EDS_SUCCESS) rc = SetText(handle, "Group_Name", name);
        if (rc == EDS_SUCCESS) rc = EdsWriteRecord(handle);
        if (rc != EDS_SUCCESS) EdsCancelUpdate(handle);
        return rc;
    };
    EDS_OK(EdsBeginTransaction(connection_));
    EDS_OK(append(table, "new"));
    EDS_OK(EdsLockRecord(table, 1));
    EDS_OK(EdsCloseTable(table));  // an exclusive open, as created
    EDS_OK(EdsCloseTable(idle));

    const EDSHANDLE second = Connect(dir_.str());
    EDSHANDLE elsewhere = 0;
    EDS_OK(Open(second, "Groups", 0, &elsewhere));
    EXPECT_EQ(Walk(elsewhere), std::vector<std::string>{"kept"});
    EDS_EXPECT_OK(EdsLockRecord(elsewhere, 1));
    EdsCloseTable(elsewhere);
    EDS_OK(Open(second, "Idle", EDS_EXCLUSIVE, &elsewhere));
    EdsCloseTable(elsewhere);

    EDS_OK(Open(connection_, "Groups", EDS_READONLY, &table));
    EXPECT_EQ(Walk(table), (std::vector<std::string>{"kept", "new"}));
    EXPECT_EQ(append(table, "refused"), EDS_E_READ_ONLY);
    EDS_OK(EdsCloseTable(table));
    EDS_OK(Open(connection_, "Groups", EDS_EXCLUSIVE, &table));
    EDS_OK(append(table, "more"));
    EDS_OK(EdsCloseTable(table));
    EDS_OK(EdsCommitTransaction(connection_));

    // The file closed with the transaction: an exclusive open elsewhere is let in.
    EDS_OK(Open(second, "Groups", EDS_EXCLUSIVE, &elsewhere));
    EXPECT_EQ(Walk(elsewhere), (std::vector<std::string>{"kept", "new", "more"}));
    EdsCloseTable(elsewhere);
    EdsDisconnect(second);
}

TEST_F(Tables, RelativePositionsRoundTrip) {
    EDSHANDLE table = Groups({"a", "b", "c", "d", "e"});
    EDSHANDLE index = 0;
    EDS_OK(EdsCreateIndex61(table, U(""), U("N"), U("Group_Name"), U(""), U(""), EDS_DESCENDING, 0, &index));
    EDS_OK(EdsSetRelKeyPos(index, 0.25));
    EXPECT_EQ(Text(table, "Group_Name"), "d");
    double pos = 0;
    EDS_OK(EdsGetRelKeyPos(index, &pos));
    EXPECT_DOUBLE_EQ(pos, 0.25);
    EDS_OK(EdsSetRelKeyPos(index, 1.0));
    EXPECT_EQ(Text(table, "Group_Name"), "a");
    EDS_OK(EdsGotoBOF(index));
    EXPECT_EQ(EdsGetRelKeyPos(index, &pos), EDS_E_NO_POSITION);
    EdsCloseTable(table);
}

TEST_F(Tables, EmptyTableIsAtBothEnds) {
    EDSHANDLE table = Groups({});
    EDS_OK(EdsGotoTop(table));
    EXPECT_TRUE(AtEof(table));
    EXPECT_TRUE(AtBof(table));
    EDS_OK(EdsSkip(table, -1));
    EXPECT_TRUE(AtBof(table));
    EXPECT_FALSE(AtEof(table));
    EdsCloseTable(table);
}

TEST_F(Tables, HandlesOfClosedObjectsAreRefused) {
    EDSHANDLE table = Groups({"a"});
    EDSHANDLE index = 0;
    EDS_OK(EdsCreateIndex61(table, U(""), U("N"), U("Group_Name"), U(""), U(""), 0, 0, &index));
    EDS_OK(EdsCloseTable(table));
    EXPECT_EQ(EdsGotoTop(table), EDS_E_INVALID_HANDLE);
    EXPECT_EQ(EdsGotoTop(index), EDS_E_INVALID_HANDLE);
    EXPECT_EQ(EdsDisconnect(table), EDS_E_NOT_CONNECTED);
    UNSIGNED16 type = 0;
    EDS_OK(EdsGetHandleType(connection_, &type));
    EXPECT_EQ(type, EDS_CONNECTION);
}

TEST_F(Tables, LockingAndChecksumsSeeChangesMadeElsewhere) {
    EDSHANDLE table = Groups({"before"});
    EDS_OK(EdsGotoTop(table));
    UNSIGNED32 before = 0, after = 0;
    EDS_OK(EdsGetRecordCRC(table, &before, 0));
    sqlite3* other = nullptr;  // another station, as far as this process can tell
    ASSERT_EQ(sqlite3_open((dir_ / "Groups.edt").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "UPDATE Groups SET Group_Name = 'after'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    EDS_OK(EdsLockRecord(table, 0));
    EXPECT_EQ(Text(table, "Group_Name"), "after");  // an edit starts from the stored values
    EDS_OK(EdsGetRecordCRC(table, &after, 0));
    EXPECT_NE(before, after);
    EDS_OK(EdsUnlockRecord(table, 0));
    EdsCloseTable(table);
}

TEST_F(Tables, BinaryValuesAndTheirLengths) {
    EDSHANDLE table = 0;
    EDS_OK(Create(connection_, "Blobs", "Data,Binary; Note,Memo", &table));
    EDS_OK(EdsAppendRecord(table));
    const std::string bytes("\0\1\2\0", 4);
    EDS_OK(EdsSetField(table, "Data", U(bytes), 4));
    EDS_OK(EdsWriteRecord(table));
    EDS_OK(EdsGotoTop(table));
    UNSIGNED32 length = 0;
    EDS_OK(EdsGetBinaryLength(table, "Data", &length));
    EXPECT_EQ(length, 4u);
    EDS_OK(EdsGetMemoLength(table, "Note", &length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(EdsGetMemoLength(table, "Data", &length), EDS_E_COLUMN_TYPE);
    UNSIGNED8 small[2];
    length = sizeof small;
    EXPECT_EQ(EdsGetField(table, "Data", small, &length, EDS_NONE), EDS_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, 4u);  // the room needed
    UNSIGNED16 empty = 0;
    EDS_OK(EdsIsEmpty(table, "Note", &empty));
    EXPECT_EQ(empty, 1);
    EdsCloseTable(table);
}

TEST_F(Tables, UnknownColumnsNameTheColumnInTheText) {
    EDSHANDLE table = Groups({"a"});
    UNSIGNED16 type = 0;
    EXPECT_EQ(EdsGetFieldType(table, "Zip", &type), EDS_E_COLUMN_NOT_FOUND);
    EXPECT_NE(LastError().find("column \"Zip\""), std::string::npos);
    EdsCloseTable(table);
}

TEST(EdsDates, JulianTextsInBothDirections) {
    UNSIGNED8 buf[9];
    UNSIGNED16 len = sizeof buf;
    EDS_OK(EdsConvertJulianToString(2451545, buf, &len));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "20000101");
    double julian = 0;
    EDS_OK(EdsConvertStringToJulian(U("20240229"), 8, &julian));
    EXPECT_EQ(julian, 2460370);
    EXPECT_EQ(EdsConvertStringToJulian(U("20230229"), 8, &julian), EDS_E_INVALID_DATE);
    // The last day both ways; the day after it has no digits.
    EDS_OK(EdsConvertStringToJulian(U("99991231"), 8, &julian));
    len = sizeof buf;
    EDS_OK(EdsConvertJulianToString(julian, buf, &len));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "99991231");
    EXPECT_EQ(EdsConvertJulianToString(julian + 1, buf, &len), EDS_E_INVALID_DATE);
    EDS_OK(EdsSetDateFormat(U("MM/DD/YY")));
    EDS_OK(EdsConvertDateToJulian(U("01/02/49"), 8, &julian));
    EXPECT_EQ(julian, 2469444);  // 2 January 2049
    EDS_OK(EdsConvertDateToJulian(U("  /  /  "), 8, &julian));
    EXPECT_EQ(julian, 0);
    EDS_OK(EdsSetDateFormat(U("MM/DD/CCYY")));
}

}  // namespace
