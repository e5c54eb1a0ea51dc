#pragma once
// A small in-memory dataset for the tests: rows kept in the order of an
// integer key (the first field, unique, like a primary index), record
// buffers laid out as the real dataset families lay them out (record image,
// calculated fields, record info with bookmark and flag), filters through
// OnFilterRecord or a "Name=value" text, a master link, and a blob store.

#include "platform/db/DB.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace dbtest {

using namespace db;

class TMemDataSet : public TDataSet {
public:
    explicit TMemDataSet(rtl::TComponent* owner = nullptr);
    ~TMemDataSet() override;

    // Column definitions, before opening.
    void AddColumn(const std::string& name, TFieldType type, int size = 0, bool required = false);

    // Latin-1 record images: text fields store one byte per character.
    void SetLatin1Image(bool on) { latin1_ = on; }
    void SetReadOnly(bool on) { readOnly_ = on; }
    // Simulated storage faults: fetching the row with this key, or deleting
    // any row, raises (0 = off).
    void SetFailOnFetch(int key) { failKey_ = key; }
    void SetFailOnDelete(bool on) { failDelete_ = on; }
    // Temporary states as descendants use them.
    TDataSetState EnterTempState(TDataSetState state) { return SetTempState(state); }
    void LeaveTempState(TDataSetState state) { RestoreState(state); }
    // The ring size as a control would ask for it.
    void SetBufferCountForTest(int n) { SetBufferCount(n); }

    // Master-detail: the detail shows rows whose DetailFields equal the
    // master's MasterFields.
    void SetMasterSource(TDataSource* source);
    TDataSource* MasterSource() const { return masterLink_.DataSource(); }
    void SetMasterFields(const std::string& names) { masterLink_.SetFieldNames(names); }
    void SetDetailFields(const std::string& names) { detailFields_ = names; }

    TDataSource* GetDataSource() override { return masterLink_.DataSource(); }
    bool GetFieldData(TField* field, void* buffer) override;
    void SetFieldData(TField* field, const void* buffer) override;
    std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;
    bool BookmarkValid(const TBookmark& bookmark) override;
    int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;
    void SetFiltered(bool on) override;
    void SetFilterText(const std::string& text) override;
    void SetRecNo(int value) override;
    std::string TextFromNative(std::string_view bytes) const override;
    std::string TextToNative(std::string_view text) const override;

    // Test probes.
    int StoredRowCount() const { return static_cast<int>(rows_.size()); }
    int CursorPos() const { return pos_; }
    TBookmarkFlag FlagOf(int bufferIndex) { return GetBookmarkFlag(Buffers(bufferIndex)); }
    std::uint32_t IdOf(int bufferIndex);
    int GetRecordCalls() const { return getRecordCalls_; }

protected:
    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer& buffer) override;
    void GetBookmarkData(TRecordBuffer buffer, void* data) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override;
    void SetBookmarkData(TRecordBuffer buffer, const void* data) override;
    void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
    TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
    int GetRecordSize() override { return recordSize_; }
    void InternalAddRecord(TRecordBuffer buffer, bool append) override;
    void InternalClose() override;
    void InternalDelete() override;
    void InternalFirst() override { pos_ = -1; }
    void InternalGotoBookmark(const void* bookmark) override;
    void InternalInitFieldDefs() override;
    void InternalInitRecord(TRecordBuffer buffer) override;
    void InternalLast() override { pos_ = static_cast<int>(rows_.size()); }
    void InternalOpen() override;
    void InternalPost() override;
    void InternalEdit() override;
    void InternalCancel() override;
    void InternalSetToRecord(TRecordBuffer buffer) override;
    bool IsCursorOpen() const override { return open_; }
    void ClearCalcFields(TRecordBuffer buffer) override;
    bool GetCanModify() override { return !readOnly_; }
    int GetRecordCount() override;
    int GetRecNo() override;
    bool FindRecord(bool restart, bool goForward) override;
    void DoAfterOpen() override;

private:
    struct Column {
        std::string name;
        TFieldType type;
        int size;
        bool required;
        int offset = 0;   // of the null flag; the value follows
        int dataSize = 0;
        int blobIndex = -1;
    };
    struct Row {
        std::uint32_t id;
        std::vector<std::uint8_t> image;
        std::vector<std::string> blobs;
    };
    // Record info after the calculated fields: the 4-byte row id (the
    // bookmark), then the bookmark flag byte; unaligned, so read by memcpy.
    static constexpr int kInfoSize = 5;
    std::uint8_t* InfoOf(TRecordBuffer buffer) const;
    std::uint32_t IdIn(TRecordBuffer buffer) const;
    void SetIdIn(TRecordBuffer buffer, std::uint32_t id) const;
    TRecordBuffer BufferForState() const;
    std::vector<std::string>& BlobsOf(TRecordBuffer buffer) { return blobs_[buffer]; }
    bool Visible(int index);
    bool InRange(int index) const;
    bool PassesFilter(int index);
    void Fetch(TRecordBuffer buffer, int index);
    int IndexOfId(std::uint32_t id) const;
    std::int64_t KeyOf(const std::vector<std::uint8_t>& image) const;
    void StoreRow(TRecordBuffer buffer, bool inserting);
    void MasterChanged();
    void MasterDisabled();

    friend class MemBlobStream;

    std::vector<Column> columns_;
    std::vector<Row> rows_;
    std::uint32_t nextId_ = 1;
    int recordSize_ = 0;
    int blobCount_ = 0;
    bool open_ = false;
    bool readOnly_ = false;
    bool latin1_ = false;
    int pos_ = -1;
    int getRecordCalls_ = 0;
    int failKey_ = 0;
    bool failDelete_ = false;
    std::map<TRecordBuffer, std::vector<std::string>> blobs_;
    std::map<TRecordBuffer, std::unique_ptr<std::uint8_t[]>> storage_;
    TRecordBuffer filterBuffer_ = nullptr;
    std::vector<std::uint8_t> oldImage_;
    std::vector<std::string> oldBlobs_;
    bool haveOld_ = false;
    bool findMode_ = false;
    std::string filterField_;
    std::string filterValue_;

    TMasterDataLink masterLink_;
    std::string detailFields_;
    bool ranged_ = false;
    std::vector<Variant> rangeValues_;
};

}  // namespace dbtest
