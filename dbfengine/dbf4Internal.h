#pragma once
// What the parts of the work-area unit share; not for other units.

#include <array>
#include <memory>

#include "dbfengine/dbf4.h"

namespace xf::dbf4 {

struct TAreas {
    std::array<std::unique_ptr<TWorkArea>, kWorkAreas + 1> Slots;  // 1..33
    int Current = 1;
    TAreas();
    ~TAreas();
};
TAreas& Areas();

// The current area with a table, or nullptr after reporting code 215 with `tag`.
TWorkArea* Need(std::string_view tag);
TWorkArea* Current();
// The table may be used by other programs: locks and recounts apply.
bool Shared(const TWorkArea& a);
bool HasIndex();
void Recount(TWorkArea& a);

std::vector<std::size_t> TypedOffsets(const std::vector<TDbfField>& fields);
// Record bytes (in memory form) to a typed record, and back for the fields whose typed
// bytes differ from `shadow` (every field when `shadow` is null), and with
// `fillBlanks` also the numbers and logicals whose bytes are blank (a new record
// takes its typed values). Every record reads, whatever its numbers hold; a number
// that does not fit fills its field with "*".
void UnpackRecord(const TDbfTable& t, const std::vector<std::size_t>& offsets, const char* raw, std::byte* typed);
void PackRecord(const TDbfTable& t, const std::vector<std::size_t>& offsets, char* raw, const std::byte* typed,
                const std::byte* shadow, bool fillBlanks = false);
// The area's record buffer into its typed record (and the shadow).
void Unpack(TWorkArea& a);
// The typed record's changes into the record buffer.
void Pack(TWorkArea& a, bool fillBlanks = false);
// Reads record n and unpacks it; false after an error.
bool ReadRecord(TWorkArea& a, std::int32_t n);
void Phantom(TWorkArea& a);
// The phantom record, with the controlling order past its end as well.
void ToEnd(TWorkArea& a);
// Whether movements stop on the current record (deleted records hidden, filter).
bool Accepted(TWorkArea& a);
void RelationStep(TWorkArea& a);
void RefreshPeekCache(const TWorkArea& a);
void DropPeekCache(const TWorkArea& a);
void Report(std::uint16_t code, const std::string& context);
std::string Quoted(const std::string& text);
// Frees a compiled filter or WHILE condition through the parser hooks.
void ReleaseCondition(void*& condition);

// SetReadSemaphoreProc / SetLockSemaphoreProc on and off around a scope, when an
// index order is open.
class TSemaphoreScope {
public:
    TSemaphoreScope(bool active, bool write);
    ~TSemaphoreScope();
    TSemaphoreScope(const TSemaphoreScope&) = delete;
    TSemaphoreScope& operator=(const TSemaphoreScope&) = delete;

private:
    bool active_, write_;
};

}  // namespace xf::dbf4
