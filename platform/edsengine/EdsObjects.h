#pragma once
// The objects behind handles: connections, open tables (each with its cursor and
// its pending record), and index orders; and the registry that numbers them.

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsCursor.h"
#include "platform/edsengine/EdsTableFile.h"

namespace eds {

class Table;
class Index;

class Object {
public:
    virtual ~Object() = default;
    virtual UNSIGNED16 HandleType() const = 0;
    // What most calls ask of a handle, answered without a dynamic_cast (a
    // table is asked for each field of each row written).
    virtual Table* AsTable() { return nullptr; }
    virtual Index* AsIndex() { return nullptr; }
    EDSHANDLE handle = 0;
};

// The object as a T, or null.
template <class T>
T* ObjectAs(Object* object) {
    if constexpr (std::is_same_v<T, Table>) return object ? object->AsTable() : nullptr;
    else if constexpr (std::is_same_v<T, Index>) return object ? object->AsIndex() : nullptr;
    else return dynamic_cast<T*>(object);
}

class Connection : public Object {
public:
    explicit Connection(std::string folder) : folder_(std::move(folder)) {}
    UNSIGNED16 HandleType() const override { return EDS_CONNECTION; }
    const std::string& Folder() const { return folder_; }
    std::shared_ptr<TransactionState> transaction = std::make_shared<TransactionState>();
    std::vector<EDSHANDLE> tables;  // open tables and cursors, in open order
    // The files of tables closed inside the running transaction after they took
    // part in it: they hold their part until Commit or Rollback, and an open of
    // the same table meanwhile goes on with its file.
    std::vector<std::unique_ptr<TableFile>> keptFiles;
    // The kept file of `path` in the mode asked, taken out of the list; null when
    // there is none. A mode the file cannot take throws and leaves it kept.
    std::unique_ptr<TableFile> TakeKeptFile(const std::string& path, bool exclusive, bool readOnly);

private:
    std::string folder_;
};

// A record being appended or edited, before EdsWriteRecord stores it.
struct PendingRecord {
    bool append = false;
    std::int64_t recno = 0;
    std::vector<UNSIGNED8> image;
    std::vector<bool> changed;                           // per column
    std::map<int, std::optional<std::string>> blobs;     // column -> stored value (null: empty)
};

class Index;

// An open table file, or a read-only cursor over the rows of a relation (a statement's
// result): navigation, bookmarks, record images and field reads work alike on both.
class Table : public Object {
public:
    Table(EDSHANDLE connection, std::unique_ptr<TableFile> file, UNSIGNED32 openOptions);
    // A read-only cursor; keepAlive holds what the relation's rows live in.
    Table(EDSHANDLE connection, const Relation& relation, std::shared_ptr<void> keepAlive);
    UNSIGNED16 HandleType() const override { return file_ ? EDS_TABLE : EDS_CURSOR; }
    Table* AsTable() override { return this; }

    EDSHANDLE Connection() const { return connection_; }
    bool HasFile() const { return file_ != nullptr; }
    // The table file; a cursor over a result has none (EDS_E_NOT_SUPPORTED).
    TableFile& File();
    bool ReadOnly() const { return !file_ || file_->ReadOnly(); }
    const Schema& Fields() const { return *cursor_.Rel().schema; }
    Cursor& Cur() { return cursor_; }
    UNSIGNED32 OpenOptions() const { return openOptions_; }
    OrderSpec Natural() const { return OrderSpec{}; }

    // Column index of a field argument; throws EDS_E_COLUMN_NOT_FOUND.
    int Column(const EdsFieldId& field) const;

    std::vector<EDSHANDLE> indexHandles;
    EDSHANDLE activeOrder = 0;   // the index last navigated with (0: natural order)
    UNSIGNED32 lastAutoinc = 0;
    bool exact = false;
    std::optional<PendingRecord> pending;
    std::set<std::int64_t> lockedRecords;

    // The image of the pending record, else of the current row; null when neither.
    const UNSIGNED8* Image();
    // The pending record, starting an edit of the current row when none is pending.
    PendingRecord& Edit();
    void Append();
    void Write();
    void DeleteCurrent();
    // A memo or binary column's stored value (the pending one when changed).
    std::optional<std::string> BlobValue(int column);
    bool LockRecord(std::int64_t recno);
    void UnlockRecord(std::int64_t recno);
    // Ends this table's use of its file as a close does (pending record dropped,
    // record locks given back, an exclusive open made shared) and hands the file
    // over; the table is not used afterwards.
    std::unique_ptr<TableFile> TakeFile();

private:
    void CheckWritable() const;
    void CheckNotLockedElsewhere(std::int64_t recno);
    std::int64_t ReserveRecordNumber();

    // Record numbers reserved ahead while a transaction holds the file for writing;
    // what is left when it ends stays unused.
    std::int64_t reservedNext_ = 0, reservedEnd_ = 0;
    std::string insertSql_;

    EDSHANDLE connection_;
    std::unique_ptr<TableFile> file_;
    std::shared_ptr<void> keepAlive_;
    Cursor cursor_;
    UNSIGNED32 openOptions_;
};

class Index : public Object {
public:
    Index(EDSHANDLE table, std::size_t number) : table_(table), number_(number) {}
    UNSIGNED16 HandleType() const override { return EDS_INDEX_ORDER; }
    Index* AsIndex() override { return this; }
    EDSHANDLE TableHandle() const { return table_; }
    std::size_t Number() const { return number_; }

    std::optional<KeyBound> top, bottom;
    std::string topGiven, bottomGiven;               // the scope keys as given
    // The raw key under construction: per segment its value and whether it is a prefix.
    std::vector<std::optional<std::pair<Value, bool>>> keySegments;

private:
    EDSHANDLE table_;
    std::size_t number_;
};

class Registry {
public:
    static Registry& Instance();
    EDSHANDLE Add(std::unique_ptr<Object> object);
    Object* Find(EDSHANDLE handle) const;
    void Remove(EDSHANDLE handle);
    std::size_t CountOfType(UNSIGNED16 type) const;

    template <class T>
    T& As(EDSHANDLE handle, UNSIGNED32 code = EDS_E_INVALID_HANDLE) const {
        T* object = ObjectAs<T>(Find(handle));
        if (!object) Throw(code, "The handle " + std::to_string(handle) + " is not valid for this call.");
        return *object;
    }

private:
    std::map<EDSHANDLE, std::unique_ptr<Object>> objects_;
    EDSHANDLE next_ = 1;
};

// A table or an index handle, as navigation takes them.
struct Navigation {
    Table* table = nullptr;
    Index* index = nullptr;
    OrderSpec order;
};
Navigation Navigate(EDSHANDLE handle);
OrderSpec OrderOf(Table& table, Index& index);

// Closes a table with its index handles (and its locks, by closing its files).
void CloseTable(EDSHANDLE handle);

}  // namespace eds
