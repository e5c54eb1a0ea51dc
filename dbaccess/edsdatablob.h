#pragma once
// Memo and binary values of a dataset: one cache per blob column per record
// buffer, filled from the engine only when a stream is opened on it, and the
// stream that the framework's blob fields read and write through.

#include "dbaccess/edsapi.h"
#include "dbaccess/edsfunc.h"
#include "platform/db/DBTypes.h"
#include "platform/db/Streams.h"

#include <cstdint>

namespace db { class TBlobField; }
class TEdsDataSet;

// The bytes of one blob column of one record, as last read from or meant for
// the engine. Record number 0 means nothing has been read.
class TEdsBlobCache : public db::TMemoryStream {
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
    // Forgets everything: the next read goes to the engine.
    void Reset();
    // Empty and marked modified: the value will be replaced.
    void ClearForWriting();
    void MarkModified() { modified_ = true; }

private:
    void ReadFromEngine();

    EDSHANDLE handle_ = static_cast<EDSHANDLE>(-1);
    UNSIGNED32 recordNumber_ = 0;
    bool modified_ = false;
    UNSIGNED16 column_ = 0;
};

// A stream over one blob field of the record the dataset's state points at.
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

    // The cache the stream works on; null when the state gives no record.
    TEdsBlobCache* Cache() const { return cache_; }

private:
    db::TBlobField* field_;
    TEdsDataSet* dataSet_;
    db::TBlobStreamMode mode_;
    TEdsBlobCache* cache_ = nullptr;
    bool modified_ = false;
};
