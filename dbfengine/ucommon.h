#pragma once
// A dataset over one work area: the cursor primitives on the engine's navigation,
// the record converted between the area's typed record and the native record of
// the framework's buffers, and edits under the engine's locks.
//
// Native record: byte 0 the deletion flag, then per field C a zero-terminated
// ANSI text of length + 1 bytes; D an 8-byte date-time (0: no date); N and F with
// decimals an 8-byte float, without (up to 9 digits) a 32-bit integer, wider an
// 8-byte float; L 2 bytes; M the memo's 32-bit block.
//
// Edits write only the fields the edit changed, onto the record as it is in the
// file when the record lock is taken: another station's change to other fields
// of the same record survives.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dbfengine/xfprimds.h"

namespace xf {

enum TTableLanguage { tlOem = 0, tlAnsi = 1 };

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

    TXfLockFailedEvent OnALockFailedOnInsert, OnRLockFailedOnDelete, OnRLockFailedOnPost;

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
    std::string ErrorText(int code) override;

    void InternalInitFieldDefs() override;
    void InternalEdit() override;
    void InternalInsert() override;
    void InternalCancel() override;
    bool GetCanModify() override { return !ReadOnlyTable(); }

    // Opens the table in the current (free) area; false after an engine error.
    virtual bool OpenTable() = 0;
    virtual bool ReadOnlyTable() const { return false; }
    void SetDbfFileNameValue(std::string name) { dbfFileName_ = std::move(name); }
    // Selects the own area; false (after code 1103) when there is none.
    bool SelectOwnArea(const std::string& tag);
    // Runs an engine step, turning a raised engine error into its code.
    int Engine(const std::function<void()>& step);

private:
    void BuildProps();
    void FillNative(db::TRecordBuffer buffer, std::int32_t& recNo);
    // The native record's fields into the typed record (all, or only the changed ones).
    void NativeToTyped(const std::uint8_t* record, bool onlyChanged);
    // Takes the lock (asking the event whether to retry), works, unlocks; raises when
    // the lock is not had.
    void WithLock(bool tableLock, const TXfLockFailedEvent& onFailed, const char* what, const std::function<void()>& work);
    void MarkChanged(const db::TField* field);
    void FreeReplacedMemos();

    std::vector<std::string> dbfFields_;
    std::string dbfFileName_;
    bool showProgress_ = true;
    TTableLanguage tableLanguage_ = tlOem;
    bool hideDeletedRecs_ = false;
    int area_ = 0;
    std::vector<TXfFieldProp> props_;
    int nativeSize_ = 1;
    bool atBegin_ = false, atEnd_ = false;
    std::vector<bool> changed_;
    std::vector<std::int32_t> replacedMemos_;

    friend class TXfBlobStream;
};

}  // namespace xf
