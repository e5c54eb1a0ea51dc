#pragma once
// Memo and binary values of a dataset: one cache per blob column per record
// buffer, filled from the engine only when a stream is opened on it, and the
// stream that the framework's blob fields read and write through.

#include "dbaccess/edsapi.h"
#include "dbaccess/edsfunc.h"
#include "platform/db/DBTypes.h"
#include "platform/db/Streams.h"

#include <cstdint>
#include <memory>

namespace db { class TBlobField; }
class TEdsDataSet;

// Whether the engine keeps a blob column as text (zero-terminated) rather
// than as bytes.
bool EdsBlobColumnIsText(EDSHANDLE Handle, UNSIGNED16 Column);

// The bytes of one blob column of one record, as last read from or meant for
// the engine. Record number 0 means nothing has been read. Owned by a shared
// pointer of its record buffer, so that streams can tell it is gone.
class TEdsBlobCache : public db::TMemoryStream, public std::enable_shared_from_this<TEdsBlobCache> {
public:
    std::int64_t Write(const void* buffer, std::int64_t count) override;

    EDSHANDLE Handle() const { return handle_; }
    UNSIGNED32 RecordNumber() const { return recordNumber_; }
    UNSIGNED16 Column() const { return column_; }
    bool Modified() const { return modified_; }

    // Fills the cache from the engine unless it already holds that column of
    // that record (then it is only rewound); `force` reads again regardless.
    // Codes 5068 and 5022 (no such record any more) leave it empty.
    void ReadBlob(EDSHANDLE Handle, UNSIGNED16 Column, UNSIGNED32 RecordNumber, bool Force);
    // Hands the bytes to the engine's pending record when they were changed.
    void WriteBlob();
    // Forgets everything: the next read goes to the engine. Streams opened
    // before no longer reach the cache.
    void Reset();
    // Empty and marked modified: the value will be replaced.
    void ClearForWriting();
    void MarkModified() { modified_ = true; }
    bool HoldsZeroByte();

    // Streams opened before this no longer reach the cache (their edit ended).
    void EndStreams() { ++lease_; }
    // Changes at every Reset and EndStreams: a stream holds the value it saw.
    std::uint64_t Lease() const { return lease_; }

private:
    void ReadFromEngine();

    EDSHANDLE handle_ = static_cast<EDSHANDLE>(-1);
    UNSIGNED32 recordNumber_ = 0;
    bool modified_ = false;
    UNSIGNED16 column_ = 0;
    std::uint64_t lease_ = 0;
};

// A stream over one blob field of the record the dataset's state points at.
// It may outlive that record, its edit, its field and its dataset: once its
// cache is freed, reset for another record or its edit has ended, it is a
// stream without a cache and touches neither the dataset nor the field again.
class TEdsBlobStream : public db::TStream {
public:
    TEdsBlobStream(db::TBlobField* Field, db::TBlobStreamMode Mode);
    ~TEdsBlobStream() override;
    TEdsBlobStream(const TEdsBlobStream&) = delete;
    TEdsBlobStream& operator=(const TEdsBlobStream&) = delete;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, db::TSeekOrigin origin) override;
    std::int64_t Size() override;
    void SetSize(std::int64_t size) override;

    // The cache the stream works on; null when the state gave no record or
    // the stream has outlived it.
    TEdsBlobCache* Cache() const;

private:
    // The cache to write to; raises when the mode or the missing cache refuses.
    TEdsBlobCache* WritableCache() const;

    db::TBlobField* field_;
    TEdsDataSet* dataSet_;
    db::TBlobStreamMode mode_;
    std::weak_ptr<TEdsBlobCache> cache_;
    std::uint64_t lease_ = 0;
    bool modified_ = false;
};
