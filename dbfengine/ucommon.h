#pragma once
// A dataset over one work area: the cursor primitives on the engine's navigation,
// the record converted between the area's typed record and the native record of
// the framework's buffers, and edits under the engine's locks.
//
// Native record: byte 0 the deletion flag, then per field C a zero-terminated
// ANSI text of length + 1 bytes; D an 8-byte date-time (0: no date); N and F as the
// engine holds them (NumberKind): an 8-byte float, or a 32- or 64-bit integer; L 2
// bytes; M the memo's 32-bit block. A number is refused when it is set if its text
// would not fit its field.
//
// Edits write only the fields the edit changed, onto the record as it is in the
// file when the record lock is taken: another station's change to other fields
// of the same record survives.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfprimds.h"
#include "platform/db/Fields.h"
#include "platform/db/Streams.h"

namespace xf {

enum TTableLanguage { tlOem = 0, tlAnsi = 1 };

// Number fields carry their dBase width (up to 20 characters) as their size.
class TXfIntegerField : public db::TIntegerField {
public:
    using db::TIntegerField::TIntegerField;

protected:
    void CheckSize(int size) const override;
};

class TXfFloatField : public db::TFloatField {
public:
    using db::TFloatField::TFloatField;

protected:
    void CheckSize(int size) const override;
};

// A date field whose text follows the engine's date style: read as the date text
// (at most 10 characters), written in the engine's style, and the style's blank
// date (say "  /  /  ") clears it.
class TXfDateField : public db::TDateField {
public:
    using db::TDateField::TDateField;

protected:
    std::string GetText(bool displayText) const override;
    void SetAsStringValue(const std::string& value) override;
};

// Retry := true tries the lock again.
using TXfLockFailedEvent = std::function<void(db::TDataSet& sender, bool& retry)>;

struct TXfFieldProp {
    std::string Name;
    char Type = 'C';
    int Length = 0;
    int Decimals = 0;
    int NativeOffset = 0;
    int NativeSize = 0;
    db::TFieldType FieldType = db::ftString;
};

class TXfDataSet : public TXfPrimDataset {
public:
    explicit TXfDataSet(rtl::TComponent* owner = nullptr);
    ~TXfDataSet() override;

    std::vector<std::string>& DbfFields() { return dbfFields_; }
    void SetDbfFields(std::vector<std::string> lines) { dbfFields_ = std::move(lines); }
    const std::string& DbfFileName() const { return dbfFileName_; }
    bool ShowProgress() const { return showProgress_; }
    void SetShowProgress(bool on) { showProgress_ = on; }
    TTableLanguage TableLanguage() const { return tableLanguage_; }
    void SetTableLanguage(TTableLanguage language) { tableLanguage_ = language; }
    bool HideDeletedRecs() const { return hideDeletedRecs_; }
    void SetHideDeletedRecs(bool on) { hideDeletedRecs_ = on; }
    // The work area while open (0: none).
    int WorkAreaNo() const { return area_; }
    const std::vector<TXfFieldProp>& FieldProps() const { return props_; }
    const TXfFieldProp* PropOf(const db::TField* field) const;

    std::string TextFromNative(std::string_view bytes) const override;
    std::string TextToNative(std::string_view text) const override;
    std::unique_ptr<db::TStream> CreateBlobStream(db::TField* field, db::TBlobStreamMode mode) override;

    TXfLockFailedEvent OnALockFailedOnInsert, OnRLockFailedOnDelete, OnRLockFailedOnPost, OnRLockFailedOnRestore;
    db::TDataSetNotifyEvent BeforeRestore, AfterRestore;

    // Takes back the deletion of the current record, under its record lock.
    void Restore();
    // Closes the table's files (false) or opens them again (true) while the dataset
    // stays active, say to let another program have the table for a while; between
    // the two every operation answers "Database is not open". The cursor comes back
    // to the record it was on.
    void DirectOpenClose(bool open);

    // The reads a memo of a shared table may take before an error says that another
    // program kept moving it (see ReadMemo).
    static constexpr int kSharedMemoReads = 8;

    // Created with a designing owner: engine errors raise instead of ending the
    // program, and where the design has no run-time open (see RunTime) the table is
    // opened only to read its fields into DbfFields, then closed again; the dataset
    // then shows one blank record.
    bool Designing() const { return designing_; }

protected:
    int XfiSetToBegin() override;
    int XfiSetToEnd() override;
    int XfiOpen() override;
    int XfiClose() override;
    int XfiGetRecordCount(int& count) override;
    int XfiForceReread() override;
    int XfiAppendRecord(db::TRecordBuffer buffer) override;
    int XfiDeleteRecord() override;
    int XfiInitRecord(db::TRecordBuffer buffer) override;
    int XfiPostRecord(db::TRecordBuffer buffer) override;
    int XfiGetRecordSize() override { return nativeSize_; }
    int XfiGetRecord(db::TRecordBuffer buffer, std::int32_t& recNo) override;
    int XfiGetNextRecord(db::TRecordBuffer buffer, std::int32_t& recNo) override;
    int XfiGetPriorRecord(db::TRecordBuffer buffer, std::int32_t& recNo) override;
    bool XfiGetFieldData(db::TField* field, const std::uint8_t* record, void* buffer) override;
    void XfiSetFieldData(db::TField* field, std::uint8_t* record, const void* buffer) override;
    int XfiGoToRecNo(std::int32_t recNo) override;
    // Through the engine's LOCATE (in the controlling order's sequence under an
    // index order), unless a key is null or names a calculated or memo field, or
    // the framework filters: then the scan.
    int XfiLocateRecord(const std::string& keyFields, const db::Variant& keyValues, db::TLocateOptions options) override;
    // A Locate key for field `p` as the engine's LOCATE takes it; nothing when no
    // record can match it (it does not convert, or is a day outside the years 1 to
    // 9999).
    std::optional<TXfValue> LocateValue(const TXfFieldProp& p, const db::Variant& key) const;
    // Whether the table stores `text` (in its native form `native`) and gives the
    // same text back.
    bool HeldAsIs(const std::string& text, const std::string& native) const;
    std::string ErrorText(int code) override;
    db::TFieldClass GetFieldClass(db::TFieldType type) override;

    void InternalInitFieldDefs() override;
    void InternalEdit() override;
    void InternalInsert() override;
    void InternalCancel() override;
    bool GetCanModify() override { return RunTime() && !ReadOnlyTable(); }

    // Opens the table in the current (free) area; false after an engine error.
    virtual bool OpenTable() = 0;
    virtual bool ReadOnlyTable() const { return false; }
    // Whether opening really opens the table (false only while designing).
    virtual bool RunTime() const { return !designing_; }
    virtual void DoBeforeRestore() { if (BeforeRestore) BeforeRestore(*this); }
    virtual void DoAfterRestore() { if (AfterRestore) AfterRestore(*this); }
    void SetDbfFileNameValue(std::string name) { dbfFileName_ = std::move(name); }
    // Selects the own area; false (after code 1103) when there is none.
    bool SelectOwnArea(const std::string& tag);
    // Runs an engine step, turning a raised engine error into its code.
    int Engine(const std::function<void()>& step);
    // The cursor stands on a record, not before the first or after the last.
    void LeaveCracks() { atBegin_ = atEnd_ = false; }

private:
    void BuildProps();
    // Design time: the table's fields into DbfFields, the area closed again.
    int OpenForDesign();
    void FieldsFromHeader();
    int DesignRecord(db::TRecordBuffer buffer, std::int32_t& recNo);
    int DesignStep(bool forward, db::TRecordBuffer buffer, std::int32_t& recNo);
    // Opens the table in `area` (0: none free, code 1101) and takes that area; the
    // previous area is selected again after a failure.
    int OpenInArea(int area);
    // The first free work area, or `preferred` when it is free; 0 when none is.
    static int FreeArea(int preferred);
    void FillNative(db::TRecordBuffer buffer, std::int32_t& recNo);
    // The native record's fields into the typed record (all, or only the changed ones).
    void NativeToTyped(const std::uint8_t* record, bool onlyChanged);
    // Takes the lock (asking the event whether to retry), works, unlocks; raises when
    // the lock is not had.
    void WithLock(bool tableLock, const TXfLockFailedEvent& onFailed, const char* what, const std::function<void()>& work);
    void MarkChanged(const db::TField* field);
    // A memo field's edit: the bytes its blob streams wrote, stored as a memo only
    // when the record is posted (so a store that fails fails the post, and the edit
    // stays to be posted again or cancelled), and the block a try of the post
    // stored (0 for an empty memo), which the record takes when it is written.
    struct TMemoEdit {
        std::shared_ptr<db::TMemoryStream> Bytes;
        std::int32_t Stored = 0;
        bool HasStored = false;
        // The bytes that try stored, which their stream may still write to.
        std::weak_ptr<const db::TMemoryStream> StoredFrom;
        // Blocks earlier tries stored, and the block the file named for the field
        // under the lock of a try (not one of these), which the record gives up.
        std::vector<std::int32_t> Superseded;
        std::int32_t Replaced = 0;
        bool Ours(std::int32_t block) const
        {
            return block > 0 && (block == Stored || std::find(Superseded.begin(), Superseded.end(), block) != Superseded.end());
        }
    };
    // The edit of `field` whose bytes wait in `record`, the record being edited; nullptr when none.
    const TMemoEdit* PendingMemo(const db::TField* field, const std::uint8_t* record) const;
    // `bytes` become the new value of memo field `field` of the record being edited.
    void TakeMemoEdit(const db::TField* field, std::shared_ptr<db::TMemoryStream> bytes);
    // `bytes` were the edit's value when a post that failed stored them, and no
    // other bytes have become its value since.
    bool MemoStoredFrom(const db::TField* field, const std::shared_ptr<db::TMemoryStream>& bytes) const;
    // The waiting memo bytes as memos, their blocks into `record`; raises when one fails.
    void StoreMemoEdits(db::TRecordBuffer record);
    // Under the record lock of a post, with the typed record about to be replaced:
    // each memo field with a stored edit is written unless the file holds its block
    // already; the block the record gives up and those earlier tries stored are
    // kept to be freed once the record is through. False after a reported failure
    // to read the record.
    bool ReplaceStoredMemos(std::int32_t recNo);
    // The memo of memo field `field` of `record` (a buffer of this dataset), read
    // through this dataset's own work area. In a shared table with a dBASE IV memo
    // file, whose freed blocks go to other records' memos, it is the memo of the
    // block the record names in the file now: the buffer takes that block, and
    // keeps the rest of its values. Raises when the read fails, or when the record
    // named another block after each of kSharedMemoReads reads.
    std::string ReadMemo(const db::TField* field, std::uint8_t* record);
    // No field changed, no memo waiting or replaced: between edits.
    void ResetEdit();
    // Raises the framework's range error, naming the field, for a number (in its
    // native form) whose text is wider than its dBase field.
    void RefuseNumberThatDoesNotFit(const TXfFieldProp& p, const db::TField* field, const void* buffer);
    void FreeReplacedMemos();
    // The record after `recNo`'s key in the controlling order, whether the order
    // shows `recNo` or not (0: none, or record order). Moves the engine.
    std::int32_t FollowerInOrder(std::int32_t recNo);
    // The engine on record `recNo` by its number, whatever the controlling order
    // shows, then `write` (which raises on failure); the order is in control again
    // afterwards, its position left to StandAfterPost. The engine's code when the
    // record cannot be reached.
    int ByRecordNumber(std::int32_t recNo, const std::function<void()>& write);
    // After a post, deletion or restore of record `recNo`: the engine on that record
    // or, when the controlling order no longer shows it, on `follower`, else on the
    // order's last record; at the end when the order shows none.
    void StandAfterPost(std::int32_t recNo, std::int32_t follower);
    // An edit that ends without a post: the memos its post's tries stored go to the
    // free space, but not one the record names.
    void FreeTriedMemos();

    std::vector<std::string> dbfFields_;
    std::string dbfFileName_;
    bool showProgress_ = true;
    TTableLanguage tableLanguage_ = tlOem;
    bool hideDeletedRecs_ = false;
    int area_ = 0;
    std::vector<TXfFieldProp> props_;
    int nativeSize_ = 1;
    bool atBegin_ = false, atEnd_ = false;
    bool designing_ = false;
    // While directly closed: the area it had and the record to come back to.
    int directArea_ = 0;
    std::int32_t directClosedAt_ = 0;
    std::vector<bool> changed_;
    std::vector<TMemoEdit> memoEdits_;
    // The record's own memos a post replaced, as the file named them under its
    // lock: freed once the post is through.
    std::vector<std::int32_t> replacedMemos_;

    friend class TXfBlobStream;
};

}  // namespace xf
