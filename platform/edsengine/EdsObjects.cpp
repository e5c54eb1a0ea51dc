#include "platform/edsengine/EdsObjects.h"

#include <algorithm>
#include <cstring>

#include "platform/rtl/CodePages.h"

namespace eds {
namespace {

bool IsAutoinc(const FieldDef& f) { return f.type == EDS_AUTOINC; }

void PutInt32(UNSIGNED8* dst, std::int32_t v) { std::memcpy(dst, &v, 4); }

}  // namespace

Table::Table(EDSHANDLE connection, std::unique_ptr<TableFile> file, UNSIGNED32 openOptions)
    : connection_(connection),
      file_(std::move(file)),
      cursor_(Relation{file_->Db(), &file_->Statements(), &file_->Fields(), file_->RowTable(),
                       file_->Fields().RecnoSql(),
                       file_->SharedPtr(), {}}),
      openOptions_(openOptions) {}

Table::Table(EDSHANDLE connection, const Relation& relation, std::shared_ptr<void> keepAlive)
    : connection_(connection), keepAlive_(std::move(keepAlive)), cursor_(relation), openOptions_(EDS_READONLY) {}

TableFile& Table::File() {
    if (!file_) Throw(EDS_E_NOT_SUPPORTED, "The cursor of a statement result is not a table file.");
    return *file_;
}

int Table::Column(const EdsFieldId& field) const {
    const Schema& schema = Fields();
    if (field.name) {
        const std::string name(reinterpret_cast<const char*>(field.name));
        const int column = schema.Find(name);
        if (column < 0) Throw(EDS_E_COLUMN_NOT_FOUND, "The column \"" + name + "\" does not exist in the table.");
        return column;
    }
    if (field.number < 1 || field.number > schema.Count())
        Throw(EDS_E_COLUMN_NOT_FOUND, "The column number " + std::to_string(field.number) + " does not exist.");
    return static_cast<int>(field.number - 1);
}

void Table::CheckWritable() const {
    if (ReadOnly()) Throw(EDS_E_READ_ONLY, file_ ? "The table is open read-only." : "The cursor is read-only.");
}

void Table::CheckNotLockedElsewhere(std::int64_t recno) {
    if (lockedRecords.count(recno) == 0 && file_->Locks().RecordLockedElsewhere(recno))
        Throw(EDS_E_RECORD_LOCKED, "The record " + std::to_string(recno) + " is locked by another user.");
}

const UNSIGNED8* Table::Image() {
    if (pending) return pending->image.data();
    const Row* row = cursor_.Current();
    return row ? row->image.data() : nullptr;
}

PendingRecord& Table::Edit() {
    if (pending) return *pending;
    CheckWritable();
    const Row* row = cursor_.Current();
    if (!row) Throw(EDS_E_NO_CURRENT_RECORD, "There is no current record to change.");
    PendingRecord edit;
    edit.recno = row->recno;
    edit.image = row->image;
    edit.changed.assign(Fields().Count(), false);
    pending = std::move(edit);
    return *pending;
}

void Table::Append() {
    CheckWritable();
    if (pending) Write();
    const Schema& schema = Fields();
    PendingRecord record;
    record.append = true;
    record.recno = ReserveRecordNumber();
    record.image.resize(schema.RecordLength());
    schema.FillNullImage(record.image.data());
    record.changed.assign(schema.Count(), false);
    for (const FieldDef& f : schema.Fields())
        if (IsAutoinc(f)) PutInt32(record.image.data() + f.offset, static_cast<std::int32_t>(record.recno));
    pending = std::move(record);
}

std::int64_t Table::ReserveRecordNumber() {
    const bool held = file_->InTransaction();
    if (held && reservedNext_ < reservedEnd_) return reservedNext_++;
    const std::int64_t last = Fields().RowidAlias() >= 0 ? kLastAutoincNumber : kLastRecordNumber;
    // Above every row in the file too (rows that SQL inserted took no reservation),
    // but for rows that SQL stored where no record number names them, before it
    // refused such numbers: appends go on in the range beside them.
    std::int64_t minimum = 1;
    const std::string& recno = cursor_.Rel().recnoSql;
    const std::string inRange = " WHERE " + recno + " BETWEEN 1 AND " + std::to_string(last);
    std::string sql = "SELECT coalesce(max(" + recno + "), 0) + 1 FROM " + file_->RowTable() + inRange;
    if (Fields().RowidAlias() >= 0)
        sql = "SELECT max(coalesce((SELECT max(" + recno + ") FROM " + file_->RowTable() + inRange +
              "), 0), coalesce((SELECT seq FROM sqlite_sequence WHERE name = '" +
              file_->RowTable().substr(1, file_->RowTable().size() - 2) + "'), 0)) + 1";
    {
        sqlite3_stmt* stmt = file_->Statements().Get(sql);
        StatementUse use(stmt);
        if (Step(file_->Db(), stmt)) minimum = std::max<std::int64_t>(1, sqlite3_column_int64(stmt, 0));
    }
    // Within a write transaction no other process can append, so a block of numbers
    // costs one reservation instead of one each.
    constexpr std::int64_t kBlock = 64;
    reservedNext_ = reservedEnd_ = 0;
    const std::int64_t next = file_->Locks().ReserveRecordNumbers(minimum, held ? kBlock : 1, last);
    if (next > last)
        Throw(EDS_E_NOT_SUPPORTED, "No record can be appended to the table: every record number up to the last, " +
                                       std::to_string(last) + ", has been given out.");
    if (!held) return next;
    reservedNext_ = next;
    reservedEnd_ = std::min(next + kBlock, last + 1);
    return reservedNext_++;
}

void Table::Write() {
    if (!pending) return;
    CheckWritable();
    PendingRecord& p = *pending;
    const Schema& schema = Fields();
    sqlite3* db = file_->Db();
    auto columnValue = [&](std::size_t i) -> Value {
        const FieldDef& f = schema.At(i);
        if (IsAutoinc(f)) return Value::Int(p.recno);
        if (f.IsBlob()) {
            auto it = p.blobs.find(static_cast<int>(i));
            if (it == p.blobs.end() || !it->second) return Value();
            return f.IsMemoText() ? Value::Text(*it->second) : Value::Blob(*it->second);
        }
        return ValueFromImage(f, p.image.data() + f.offset);
    };
    if (p.append) {
        if (insertSql_.empty()) {
            std::string columns, values;
            if (schema.RowidAlias() < 0) {
                columns = cursor_.Rel().recnoSql;
                values = "?";
            }
            for (std::size_t i = 0; i < schema.Count(); ++i) {
                if (!columns.empty()) columns += ", ";
                columns += QuoteName(schema.At(i).name);
                values += values.empty() ? "?" : ", ?";
            }
            insertSql_ = "INSERT INTO " + file_->RowTable() + "(" + columns + ") VALUES(" + values + ")";
        }
        file_->Writing([&] {
            sqlite3_stmt* stmt = file_->Statements().Get(insertSql_);
            StatementUse use(stmt);
            // Columns are bound from the image where they stand; only blobs (and the
            // record number) make values of their own, kept here until the step.
            std::vector<Value> own;
            own.reserve(schema.Count() + 1);
            int parameter = 1;
            if (schema.RowidAlias() < 0) sqlite3_bind_int64(stmt, parameter++, p.recno);
            for (std::size_t i = 0; i < schema.Count(); ++i, ++parameter) {
                const FieldDef& f = schema.At(i);
                if (IsAutoinc(f) || f.IsBlob()) {
                    own.push_back(columnValue(i));
                    BindValue(stmt, parameter, own.back());
                } else {
                    BindImage(stmt, parameter, f, p.image.data() + f.offset);
                }
            }
            Step(db, stmt, "Appending the record");
        });
        if (schema.RowidAlias() >= 0) lastAutoinc = static_cast<UNSIGNED32>(p.recno);
        Row row;
        row.recno = p.recno;
        row.image = std::move(p.image);
        for (const auto& [column, value] : p.blobs) {
            const FieldDef& f = schema.At(static_cast<std::size_t>(column));
            const std::uint32_t marker = value && !value->empty() ? 0xFFFFFFFFu : 0u;
            std::memcpy(row.image.data() + f.offset, &marker, 4);
        }
        pending.reset();
        cursor_.Place(std::move(row));
        return;
    }
    CheckNotLockedElsewhere(p.recno);
    std::string sets;
    std::vector<Value> params;
    for (std::size_t i = 0; i < schema.Count(); ++i) {
        const FieldDef& f = schema.At(i);
        const bool changed = f.IsBlob() ? p.blobs.count(static_cast<int>(i)) > 0 : p.changed[i];
        if (!changed || IsAutoinc(f)) continue;
        sets += (sets.empty() ? "" : ", ") + QuoteName(f.name) + " = ?";
        params.push_back(columnValue(i));
    }
    if (!sets.empty()) {
        params.push_back(Value::Int(p.recno));
        file_->Writing([&] {
            sqlite3_stmt* stmt =
                file_->Statements().Get("UPDATE " + file_->RowTable() + " SET " + sets + " WHERE " +
                                            cursor_.Rel().recnoSql + " = ?");
            StatementUse use(stmt);
            for (std::size_t i = 0; i < params.size(); ++i) BindValue(stmt, static_cast<int>(i + 1), params[i]);
            Step(db, stmt, "Writing the changed record");
        });
        if (sqlite3_changes(db) == 0)
            Throw(EDS_E_RECORD_NOT_FOUND, "The record " + std::to_string(p.recno) + " was deleted by another user.");
    }
    pending.reset();
}

void Table::DeleteCurrent() {
    CheckWritable();
    pending.reset();
    const Row* row = cursor_.Current();
    if (!row) Throw(EDS_E_NO_CURRENT_RECORD, "There is no current record to delete.");
    const std::int64_t recno = row->recno;
    CheckNotLockedElsewhere(recno);
    file_->Writing([&] {
        sqlite3_stmt* stmt = file_->Statements().Get("DELETE FROM " + file_->RowTable() + " WHERE " +
                                                               cursor_.Rel().recnoSql + " = ?");
        StatementUse use(stmt);
        sqlite3_bind_int64(stmt, 1, recno);
        Step(file_->Db(), stmt, "Deleting the record");
    });
}

std::optional<std::string> Table::BlobValue(int column) {
    if (pending) {
        auto it = pending->blobs.find(column);
        if (it != pending->blobs.end()) return it->second;
        if (pending->append) return std::nullopt;
    }
    const std::int64_t recno = pending ? pending->recno : cursor_.Recno();
    if (recno == 0 || (!pending && !cursor_.Current()))
        Throw(EDS_E_NO_CURRENT_RECORD, "There is no current record.");
    const Relation& rel = cursor_.Rel();
    sqlite3_stmt* stmt = rel.statements->Get("SELECT " + QuoteName(Fields().At(static_cast<std::size_t>(column)).name) +
                                             " FROM " + rel.from + " WHERE " + rel.recnoSql + " = ?");
    StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, recno);
    if (!Step(rel.db, stmt)) Throw(EDS_E_NO_CURRENT_RECORD, "The record was deleted.");
    const Value v = ColumnValue(stmt, 0);
    if (v.IsNull()) return std::nullopt;
    if (v.kind == Value::Kind::Int || v.kind == Value::Kind::Real) {
        sqlite3_stmt* s = stmt;
        return std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    }
    return v.s;
}

bool Table::LockRecord(std::int64_t recno) {
    if (!file_) Throw(EDS_E_READ_ONLY, "The cursor is read-only.");
    if (lockedRecords.count(recno)) return true;
    if (!file_->Locks().TryLockRecord(recno)) return false;
    lockedRecords.insert(recno);
    return true;
}

void Table::UnlockRecord(std::int64_t recno) {
    if (file_ && lockedRecords.erase(recno)) file_->Locks().UnlockRecord(recno);
}

std::unique_ptr<TableFile> Table::TakeFile() {
    pending.reset();
    for (const std::int64_t recno : lockedRecords) file_->Locks().UnlockRecord(recno);
    lockedRecords.clear();
    file_->Reopen(false, file_->ReadOnly());
    return std::move(file_);
}

std::unique_ptr<TableFile> Connection::TakeKeptFile(const std::string& path, bool exclusive, bool readOnly) {
    const auto kept = std::find_if(keptFiles.begin(), keptFiles.end(), [&](const auto& file) { return file->Path() == path; });
    if (kept == keptFiles.end()) return nullptr;
    (*kept)->Reopen(exclusive, readOnly);
    std::unique_ptr<TableFile> file = std::move(*kept);
    keptFiles.erase(kept);
    return file;
}

Registry& Registry::Instance() {
    static Registry registry;
    return registry;
}

EDSHANDLE Registry::Add(std::unique_ptr<Object> object) {
    while (next_ == 0 || next_ == 0xFFFFFFFFu || objects_.count(next_)) ++next_;
    const EDSHANDLE handle = next_++;
    object->handle = handle;
    objects_.emplace(handle, std::move(object));
    return handle;
}

Object* Registry::Find(EDSHANDLE handle) const {
    auto it = objects_.find(handle);
    return it == objects_.end() ? nullptr : it->second.get();
}

void Registry::Remove(EDSHANDLE handle) { objects_.erase(handle); }

std::size_t Registry::CountOfType(UNSIGNED16 type) const {
    return static_cast<std::size_t>(std::count_if(objects_.begin(), objects_.end(),
                                                  [&](const auto& o) { return o.second->HandleType() == type; }));
}

OrderSpec OrderOf(Table& table, Index& index) {
    OrderSpec order;
    order.id = static_cast<int>(index.handle);
    order.index = &table.File().Indexes()[index.Number()];
    order.top = index.top ? &*index.top : nullptr;
    order.bottom = index.bottom ? &*index.bottom : nullptr;
    return order;
}

Navigation Navigate(EDSHANDLE handle) {
    Registry& registry = Registry::Instance();
    Object* object = registry.Find(handle);
    Navigation nav;
    if (auto* table = ObjectAs<Table>(object)) {
        nav.table = table;
        return nav;
    }
    if (auto* index = ObjectAs<Index>(object)) {
        nav.index = index;
        nav.table = &registry.As<Table>(index->TableHandle());
        nav.order = OrderOf(*nav.table, *index);
        return nav;
    }
    Throw(EDS_E_INVALID_HANDLE, "The handle " + std::to_string(handle) + " is not a table or an index.");
}

void CloseTable(EDSHANDLE handle) {
    Registry& registry = Registry::Instance();
    Table& table = registry.As<Table>(handle);
    for (EDSHANDLE index : table.indexHandles) registry.Remove(index);
    if (auto* connection = dynamic_cast<Connection*>(registry.Find(table.Connection()))) {
        auto& list = connection->tables;
        list.erase(std::remove(list.begin(), list.end(), handle), list.end());
        // Closing the file would throw away its part of the transaction, and with
        // it the whole transaction.
        if (table.HasFile() && table.File().Joined()) connection->keptFiles.push_back(table.TakeFile());
    }
    registry.Remove(handle);
}

}  // namespace eds
