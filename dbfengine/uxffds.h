#pragma once
// The published dataset over a .dbf file: its file name and field list, creation
// of a missing table from the field list, shared or exclusive and read-only opens,
// locking edits, memo fields as blob streams, and the field texts the way dBase
// writes them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbfengine/ucommon.h"
#include "dbfengine/xfdbflow.h"
#include "platform/db/Streams.h"

namespace xf {

class TXfCDataSet : public TXfDataSet {
public:
    using TXfDataSet::TXfDataSet;
    // Closes, takes the trimmed name with the extension "DBF" unless it has one (or
    // ends with "."), and reopens when it was open.
    void SetDbfFileName(const std::string& name);
    // Creates the table from DbfFields (each line "name,type,length,decimals"); a
    // line of another shape creates nothing; type X lines are skipped; fields are
    // corrected as the engine would. True when the table was made.
    bool CreateTableFromDbfFields();
};

// A line of DbfFields corrected: B, G, P to M, unknown types to C, numbers at most
// 20 wide with room for their point, texts at most 254. `message` tells what was
// corrected ("" when nothing was).
struct TDbfFieldLine {
    std::string Name;
    char Type = 'C';
    int Length = 0;
    int Decimals = 0;
};
bool ParseDbfFieldLine(const std::string& line, TDbfFieldLine& field);
TDbfFieldLine CorrectDbfField(const std::string& table, const TDbfFieldLine& field, std::string& message);

// The dataset layer's own messages (fields corrected at creation or open) show
// only while this process-wide level is 2, the default. Setting returns the
// level it replaces; 0 is no level and leaves it as it is.
std::uint8_t SetXfMessageLevel(std::uint8_t level);
void XfDataSetMessage(const std::string& text);

// What an open does with the table's own index when IndexList names tags.
enum TCreateIndexType {
    ciNotFound,      // opened; built when it is missing or unreadable
    ciAlways,        // built at every open
    ciVerifyHeader,  // built when its tags are not those of IndexList
    ciNever,         // opened when there, never built
};

using TBeforeMakeIndexEvent = std::function<void(const std::string& name, bool& canMake)>;
using TAfterMakeIndexEvent = std::function<void(const std::string& name)>;

class TXfFileDataSet : public TXfCDataSet {
public:
    using TXfCDataSet::TXfCDataSet;
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on) { readOnly_ = on; }
    bool Exclusive() const { return exclusive_; }
    void SetExclusive(bool on) { exclusive_ = on; }
    bool CreateIfNotFound() const { return createIfNotFound_; }
    void SetCreateIfNotFound(bool on) { createIfNotFound_ = on; }
    bool AutoFixRecCount() const { return autoFixRecCount_; }
    void SetAutoFixRecCount(bool on) { autoFixRecCount_ = on; }
    // The table's own conversions of its text, handed to the work area.
    TXfTextHook BeforeWrite, AfterRead;

    // Two lines per tag: "NAME,<descending T/F>,<unique T/F>,<key expression>" and
    // its FOR condition ("" for none), as ListIndexTags gives them.
    std::vector<std::string>& IndexList() { return indexList_; }
    void SetIndexList(std::vector<std::string> lines) { indexList_ = std::move(lines); }
    TCreateIndexType CreateIndex() const { return createIndex_; }
    void SetCreateIndex(TCreateIndexType type) { createIndex_ = type; }
    // Asked before each tag is built (canMake := false leaves it out); told after.
    TBeforeMakeIndexEvent OnBeforeMakeIndex;
    TAfterMakeIndexEvent OnAfterMakeIndex;

    // Seeks the text in the controlling order (a shorter text matches the keys
    // that begin with it; FindExact wants the whole key). The dataset stands on the
    // found record, or on its last record when none was found. True when found.
    bool Find(const std::string& key);
    bool FindExact(const std::string& key);
    // With a controlling order whose key is the given fields (one field, or fields
    // joined by "+"), a search of the index; otherwise the record-by-record locate.
    bool Locate(const std::string& keyFields, const db::Variant& keyValues, db::TLocateOptions options) override;
    // True when neither a filter nor an index order decides the record order.
    bool IsSequenced() override;

protected:
    bool OpenTable() override;
    bool ReadOnlyTable() const override { return readOnly_; }
    // A design that does not hold the table exclusively may open it for real.
    bool RunTime() const override { return !Designing() || !exclusive_; }

private:
    // The tags of IndexList opened or built on the area just opened.
    void OpenIndexes();
    bool FindKey(const std::string& key, bool exact);
    // The key text of a locate when the controlling order's key is made of exactly
    // those fields; false when the index cannot answer it.
    bool IndexKeyText(const std::string& keyFields, const db::Variant& keyValues, db::TLocateOptions options, std::string& key);
    // The key text of a date or number value for the tag on field `p`; false when
    // the tag would answer the value otherwise than LOCATE in record order.
    bool TypedKeyText(const TXfFieldProp& p, const db::Variant& value, std::string& key);

    std::vector<std::string> indexList_;
    TCreateIndexType createIndex_ = ciNotFound;
    bool readOnly_ = false;
    bool exclusive_ = false;
    bool createIfNotFound_ = true;
    bool autoFixRecCount_ = false;
};

class TXfDbf : public TXfFileDataSet {
public:
    using TXfFileDataSet::TXfFileDataSet;
    ~TXfDbf() override;
};

// A memo field of the current record as a stream. Reading gives the memo's bytes
// (OEM text as ANSI for OEM tables), or what the edit wrote into it. What is
// written is the field's new value in the edit, stored as a new memo when the
// record is posted (a store that fails fails the post; the old memo's blocks are
// freed once it is through). Nothing is stored when the stream goes.
//
// A stream may outlive its edit and its dataset: it goes on reading the bytes it
// holds, but once its edit has ended (posted, cancelled, scrolled away from,
// closed) it refuses every change and never touches the dataset again.
class TXfBlobStream : public db::TStream {
public:
    TXfBlobStream(TXfDataSet& dataSet, db::TField* field, db::TBlobStreamMode mode);
    ~TXfBlobStream() override;
    TXfBlobStream(const TXfBlobStream&) = delete;
    TXfBlobStream& operator=(const TXfBlobStream&) = delete;
    std::int64_t Read(void* buffer, std::int64_t count) override { return bytes_->Read(buffer, count); }
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, db::TSeekOrigin origin) override { return bytes_->Seek(offset, origin); }
    std::int64_t Size() override { return bytes_->Size(); }
    void SetSize(std::int64_t size) override;

private:
    // Refuses a change to a stream opened for reading or whose edit is over; else
    // the bytes become the edit's value.
    void Changing();

    // Reached only while edit_ lives.
    TXfDataSet& dataSet_;
    db::TField* field_;
    std::weak_ptr<const void> edit_;
    // For the refusals, which may come after the dataset and its fields are gone.
    std::string refusal_;
    db::TBlobStreamMode mode_;
    std::shared_ptr<db::TMemoryStream> bytes_ = std::make_shared<db::TMemoryStream>();
    bool modified_ = false;
};

// A field's value as dBase would print it: numbers right-aligned in their width,
// logicals "T"/"F", dates in the engine's style (or its blank date), texts
// left-aligned in their width, memos as their text. UTF-8.
std::string FieldAsDbfText(TXfDataSet& dataSet, const std::string& fieldName);
std::string FieldAsDbfString(TXfDataSet& dataSet, const std::string& fieldName);
// The same cut to 10 characters.
std::string FieldAsDbfShortString(TXfDataSet& dataSet, const std::string& fieldName);

}  // namespace xf
