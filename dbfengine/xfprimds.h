#pragma once
// The record-buffer bookkeeping of the engine's datasets over a small set of
// cursor primitives (Xfi...), each answering a result code. A descendant
// implements the primitives on its storage; this class maps the framework's
// dataset operations onto them.
//
// Record buffer: the native record (byte 0 the deletion flag, then each field's
// native value), the calculated fields, then the record info (record number,
// bookmark flag) and the bookmark (the record number).

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/DataSet.h"

namespace xf {

// Primitive results.
constexpr int xfOk = 0, xfError = 1401, xfAtBegin = 1402, xfAtEnd = 1403, xfNoFileName = 1404;

class TXfPrimDataset : public db::TDataSet {
public:
    explicit TXfPrimDataset(rtl::TComponent* owner = nullptr);
    ~TXfPrimDataset() override;

    bool GetFieldData(db::TField* field, void* buffer) override;
    void SetFieldData(db::TField* field, const void* buffer) override;
    int CompareBookmarks(const db::TBookmark& a, const db::TBookmark& b) override;
    bool BookmarkValid(const db::TBookmark& bookmark) override;
    void SetRecNo(int value) override;
    bool IsSequenced() override { return true; }
    // Never moves: the match is read into the scratch buffer.
    db::Variant Lookup(const std::string& keyFields, const db::Variant& keyValues, const std::string& resultFields) override;

    // 0 passes; the others raise the framework's error with the code's text.
    void CheckResult(int code);

    // Lives from the start of an edit or insert until it ends (posted, cancelled,
    // scrolled away from, closed, or the dataset gone). What may outlive an edit
    // holds it weakly and asks it before it touches the dataset.
    std::weak_ptr<const void> EditLife() const { return editLife_; }
    void DataEvent(db::TDataEvent event, std::intptr_t info = 0) override;

protected:
    // --- the primitives
    virtual int XfiSetToBegin() = 0;
    virtual int XfiSetToEnd() = 0;
    virtual int XfiOpen() = 0;
    virtual int XfiClose() = 0;
    virtual int XfiGetRecordCount(int& count) = 0;
    virtual int XfiForceReread() = 0;
    virtual int XfiAppendRecord(db::TRecordBuffer buffer) = 0;
    virtual int XfiInsertRecord(db::TRecordBuffer buffer) { return XfiAppendRecord(buffer); }
    virtual int XfiDeleteRecord() = 0;
    virtual int XfiInitRecord(db::TRecordBuffer buffer) = 0;
    virtual int XfiPostRecord(db::TRecordBuffer buffer) = 0;
    virtual int XfiGetRecordSize() = 0;
    virtual int XfiGetRecord(db::TRecordBuffer buffer, std::int32_t& recNo) = 0;
    virtual int XfiGetNextRecord(db::TRecordBuffer buffer, std::int32_t& recNo) = 0;
    virtual int XfiGetPriorRecord(db::TRecordBuffer buffer, std::int32_t& recNo) = 0;
    // A field's native value out of (or into) a native record; false: no value.
    virtual bool XfiGetFieldData(db::TField* field, const std::uint8_t* record, void* buffer) = 0;
    virtual void XfiSetFieldData(db::TField* field, std::uint8_t* record, const void* buffer) = 0;
    virtual int XfiGoToRecNo(std::int32_t recNo) = 0;
    // Moves to the first record whose fields match (xfOk), or answers xfAtEnd. This
    // one scans through the framework's buffers.
    virtual int XfiLocateRecord(const std::string& keyFields, const db::Variant& keyValues, db::TLocateOptions options);
    // The dataset's text for a code outside the primitives' own.
    virtual std::string ErrorText(int code) { return std::to_string(code); }

    // --- the framework's operations
    db::TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(db::TRecordBuffer& buffer) override;
    void GetBookmarkData(db::TRecordBuffer buffer, void* data) override;
    db::TBookmarkFlag GetBookmarkFlag(db::TRecordBuffer buffer) override;
    void SetBookmarkData(db::TRecordBuffer buffer, const void* data) override;
    void SetBookmarkFlag(db::TRecordBuffer buffer, db::TBookmarkFlag flag) override;
    db::TGetResult GetRecord(db::TRecordBuffer buffer, db::TGetMode mode, bool doCheck) override;
    int GetRecordSize() override { return nativeSize_; }
    void InternalAddRecord(db::TRecordBuffer buffer, bool append) override;
    void InternalClose() override;
    void InternalDelete() override;
    void InternalFirst() override;
    void InternalGotoBookmark(const void* bookmark) override;
    void InternalInitRecord(db::TRecordBuffer buffer) override;
    void InternalLast() override;
    void InternalOpen() override;
    void InternalPost() override;
    void InternalRefresh() override;
    void InternalSetToRecord(db::TRecordBuffer buffer) override;
    bool LocateRecord(const std::string& keyFields, const db::Variant& keyValues, db::TLocateOptions options) override;
    bool IsCursorOpen() const override { return cursorOpen_; }
    void ClearCalcFields(db::TRecordBuffer buffer) override;
    int GetRecordCount() override;
    int GetRecNo() override;

    std::int32_t RecNoOf(db::TRecordBuffer buffer) const;
    // The buffer the current state reads and writes fields in.
    db::TRecordBuffer BufferForState() const;
    int NativeSize() const { return nativeSize_; }

private:
    // After a record number or bookmark that reached no record.
    void RefusedTarget();
    std::uint8_t* InfoOf(db::TRecordBuffer buffer) const;

    std::map<db::TRecordBuffer, std::unique_ptr<std::uint8_t[]>> buffers_;
    std::vector<std::uint8_t> scratch_;
    int nativeSize_ = 0;
    bool cursorOpen_ = false;
    std::shared_ptr<const void> editLife_;
};

}  // namespace xf
