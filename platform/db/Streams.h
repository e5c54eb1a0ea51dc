#pragma once
// Byte streams: the blob streams of the dataset families and the memory
// stream their caches are made of.

#include "platform/rtl/SysUtils.h"

#include <cstdint>
#include <string>
#include <vector>

namespace db {

class EStreamError : public rtl::Exception {
public:
    using rtl::Exception::Exception;
};
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;

    // Read and Write answer the bytes actually moved.
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // Answers the new position.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t size);

    // All-or-error forms: "Stream read error" / "Stream write error".
    void ReadBuffer(void* buffer, std::int64_t count);
    void WriteBuffer(const void* buffer, std::int64_t count);
    // Copies `count` bytes from `source`; 0 copies all of it from its start.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);

    // Whole contents as bytes, from the start, leaving the position at the end.
    std::string ReadAllBytes();
};

class TMemoryStream : public TStream {
public:
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
    void SetSize(std::int64_t size) override;

    std::uint8_t* Memory() { return data_.data(); }
    const std::uint8_t* Memory() const { return data_.data(); }
    void Clear();
    void LoadFromStream(TStream& source);
    void SaveToStream(TStream& target);

private:
    std::vector<std::uint8_t> data_;
    std::int64_t position_ = 0;
};

}  // namespace db
