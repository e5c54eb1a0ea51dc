#pragma once
// The engine's procedural interface in the manner of dBase: numbered work areas
// (1 to 33), one of them current, and every operation (USE, GO, SKIP, Replace,
// RLock ...) acting on the current area. Also the hook tables through which the
// index engine, the memo layer and the expression compiler are reached; an entry
// that is not installed is skipped.
//
// Several programs may share a table: records and the table are locked with
// byte ranges far above the data (RLock, ALock), appends need the table lock,
// changes need the record lock, and a shared table's count is re-read from the
// file size so others' appends become visible. One thread.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "dbfengine/xfdbflow.h"
#include "platform/rtl/TextFiles.h"

namespace xf {

constexpr int kWorkAreas = 33;

struct TXfDbf4Settings {
    std::uint8_t NetworkMode = 1;  // 0: single user, no system locks, every table exclusive
    std::uint8_t SharedMode = fmOpenReadWrite | fmShareDenyNone;
    int ForcedMode = -1;  // a file mode for every open, -1: none
    int RetryCount = 0;
    int RetrySeconds = 0;
    std::function<bool()> RetryCallback;  // true: count the retries again
    int RecordLockLimit = 0;  // per area, 0: none
    std::int64_t LockBase = 0x40000000;
    std::uint8_t IndexOnReplace = 1;
    int PeekCacheSize = 0;  // bytes, 0: no cache
    std::function<void(int n)> SkipOverride;
};
TXfDbf4Settings& XfDbf4Settings();

// Index engine entries, on the current area.
struct TXfIndexHooks {
    std::function<bool()> IndexOpenTest;
    std::function<void(int)> SyncIndex;
    std::function<std::int32_t()> FindNextRec, FindPriorRec, FindFirstRec, FindLastRec;
    std::function<bool()> IndexEof, IndexBof;
    std::function<void()> AppendNewKey;
    std::function<void(int)> SaveCurrentKeys;
    std::function<void()> SyncAndSaveKeys, KeysAfterReplace;
    std::function<void()> SetIndexBof, SetIndexEof;
    std::uint8_t* Found = nullptr;
    std::function<void()> Reindex, CloseIndex, OpenProductionIndex;
    std::function<std::string(int)> OrderName, GetKeyTextProc;
    std::function<std::string()> GetFirstKeyTextProc;
    std::function<bool(int)> IsAscending, IsSoundexKey;
    std::function<void(bool)> SetReadSemaphoreProc, SetLockSemaphoreProc;
};
TXfIndexHooks& XfIndexHooks();

// Memo layer entries (file names without extension).
struct TXfMemoHooks {
    std::function<void(rtl::TTextRec& file, int field)> AssignMemo;
    std::function<void()> PackMemofile;
    std::function<int(const std::string& name)> OpenMemofile;
    std::function<void()> CloseMemofile;
    // A memo of another area into the current one: at the file's end (AppendFrom), or
    // at the block it has there when that is free (CopyTo); the new block.
    std::function<std::int32_t(int sourceArea, std::int32_t block)> CopyMemoIn, CopyMemoOut;
    std::function<void()> ZapMemofile;
    std::function<std::int32_t(std::string_view text)> AddMemo;
    // Whether the memo at `block` contains `text` (LOCATE in memo fields).
    std::function<bool(std::int32_t block, const std::string& text, bool noCase)> MemoContains;
    // The text of the memo at `block` of the current area, its lines joined without
    // their line ends (the expression evaluator's memo fields).
    std::function<std::string(std::int32_t block)> MemoText;
};
TXfMemoHooks& XfMemoHooks();

// Expression entries, filled by the expression unit (xfparser.h); an expression is
// opaque here. Compile reports its errors and answers nullptr.
struct TXfParserHooks {
    std::function<void*(const std::string& text)> Compile;
    std::function<void(void*& expression)> Free;
    std::function<const void*(void* expression)> Evaluate;
    std::function<std::string(void* expression)> SourceText;
    // Evaluates the expression the index layer made current.
    std::function<const void*()> EvaluateCurrent;
    // A compiled condition on the current records: false unless it is true. A division
    // by zero inside is not delivered and does not stop the caller's movement.
    std::function<bool(void* expression)> Condition;
    // 'C', 'N', 'L', 'D' or 'M'.
    std::function<char(void* expression)> ResultType;
    std::uint8_t Present = 0;
};
TXfParserHooks& XfParserHooks();

// ---- typed records --------------------------------------------------------------
//
// The caller's view of the current record: byte 0 the deletion flag (1 = deleted),
// then each field: C a short text (length byte + field length), D a date text in the
// current style (length byte + 10), N and F as NumberKind says, L one byte, M a
// 32-bit block number.
std::size_t TypedFieldSize(const TDbfField& field);
// How an N or F field is held: an integer when it has no decimals and every value
// its width holds fits (32 bits up to 9 digits, 64 bits up to 18); otherwise an
// 8-byte double, so a 19- or 20-digit value past 64 bits still reads (as the
// nearest double).
enum class TXfNumberKind { Real, Int32, Int64 };
TXfNumberKind NumberKind(const TDbfField& field);
// A field's text (blanks and zero bytes around it allowed) read whole as an integer;
// false when it is none, or past 64 bits.
bool ReadWholeInteger(std::string_view text, std::int64_t& value);
std::size_t UnpackedRecordSize(const std::vector<TDbfField>& fields);
// A number as an N or F field with `decimals` places stores it, before it is
// right-aligned: "." as the point, rounded half away from zero on the number's
// shortest decimal form (the digits it was written with: 99999.995 to two places
// is "100000.00"); "" when it is not finite. A text longer than its field does not
// fit, and the field is filled with "*".
std::string NumberText(double value, int decimals);

class TXfTypedRecord {
public:
    TXfTypedRecord(std::byte* data, const std::vector<TDbfField>* fields);
    // With the field offsets of a work area (valid while it stays open).
    TXfTypedRecord(std::byte* data, const std::vector<TDbfField>* fields, const std::vector<std::size_t>* offsets);
    TXfTypedRecord(const TXfTypedRecord& other);
    TXfTypedRecord& operator=(const TXfTypedRecord& other);
    std::byte* Address(int field) const;  // 0: the deletion flag
    bool Deleted() const;
    void SetDeleted(bool deleted);
    std::string Text(int field) const;  // C, D
    void SetText(int field, std::string_view text);
    double Number(int field) const;  // N, F with decimals
    void SetNumber(int field, double value);
    std::int64_t Integer(int field) const;  // N, F without decimals; M
    void SetInteger(int field, std::int64_t value);
    bool Logical(int field) const;
    void SetLogical(int field, bool value);

private:
    std::byte* data_;
    const std::vector<TDbfField>* fields_;
    std::vector<std::size_t> ownOffsets_;
    const std::vector<std::size_t>* offsets_;
};

// ---- work areas -----------------------------------------------------------------

struct TWorkArea {
    TDbfTable Table;
    bool IgnoreDeleted = false;
    std::function<bool()> Filter;
    std::function<void()> Relation;
    std::byte* Typed = nullptr;
    std::vector<std::byte> OwnedTyped;
    std::vector<std::byte> Shadow;  // the typed record as last unpacked
    std::size_t TypedSize = 0;
    std::vector<std::size_t> TypedOffsets;  // of each field (index 0: field 1)
    std::string Alias;
    std::function<bool()> While;
    std::uint8_t LockState = 0;  // 0 none, 2 table locked, 3 record locks
    std::uint16_t LockCount = 0;
    std::deque<std::int32_t> Locks;  // newest first
    std::vector<char> Swap;
    bool Exclusive = false;
    int LocateField = 0;  // for Continue; 0: none
    std::string LocateText;
    bool LocateNoCase = false, LocateExact = false, LocateContained = false;
    // Compiled filter and WHILE conditions, released through the parser hooks.
    void* FilterCondition = nullptr;
    void* WhileCondition = nullptr;
};

// The area in use as `n` (nullptr when free).
TWorkArea* WorkArea(int n);

void Select(int n);
int CurrentWorkArea();

// Opens a table in the current area. The path is taken as given (blanks and case
// kept; case is resolved only when that exact file is missing); `options` may hold
// EXCLUSIVE and ALIAS <name>. `typed`/`size`: the caller's typed record, or none.
// `language` 1 converts OEM text to ANSI and back.
void USE(const std::string& path, std::string_view options = {}, std::byte* typed = nullptr, std::size_t size = 0,
         std::uint8_t language = 1);
void USEWithHooks(const std::string& path, std::string_view options, std::byte* typed, std::size_t size,
                  TXfTextHook beforeWrite, TXfTextHook afterRead, std::uint8_t language = 1);
void CloseDatabase();
void CloseAll();

int FieldCount();
char FieldType(int n);
int FieldLen(int n);
int FieldDec(int n);
std::string Field(int n);
int FieldNo(std::string_view name);
std::byte* FieldAddress(int n);
// The current area's typed record.
TXfTypedRecord CurrentRecord();

std::int32_t RecCount();
std::int32_t RecNo();
int RecSize();
bool dEOF();
bool dBOF();

void GoTop();
void GoBottom();
void GO(std::int32_t n);
bool GoChecked(std::int32_t n);
void Dbf4RawGo(std::int32_t n);
void SKIP(int n = 1);

void ClearRecord();
void Append();
void Replace();
void DeleteRec();
void RecallRec();
bool SetIgnoreDel(bool flag);
bool IsWhileOn();
void SetFilterProc(std::function<bool()> filter);
void SetWhileProc(std::function<bool()> condition);
void SetRelation(std::function<void()> relation);
// A filter or WHILE scope given as an expression text of type L, compiled through
// the parser hooks (false after a reported error; an empty text removes it).
bool SetFilterCondition(std::string_view text);
bool SetWhileCondition(std::string_view text);

bool HasProductionIndex();
void SetProductionIndexFlag(bool flag);

// Locks.
int LockBytes(bool lock, TXfFile& file, std::int64_t offset, std::int64_t length);
bool LockWithRetry(TXfFile& file, std::int64_t offset, std::int64_t length);
bool ALock();
bool RLock();
bool IsLocked(std::int32_t n);
bool UnlockRec(std::int32_t n);
void Unlock();
bool LockDbfLoginByte();
void UnlockDbfLoginByte();

// Reading and writing other records without moving.
using TXfValue = std::variant<std::string, double, std::int64_t, bool>;
// Field 0: the whole record into `typed` (UnpackedRecordSize bytes); else the field's typed bytes.
bool Peek(int field, std::int32_t record, std::vector<std::byte>& value);
// Field 0: `value` is a whole typed record; else the field's typed bytes.
bool Poke(int field, std::int32_t record, const std::vector<std::byte>& value);
// The block memo field `field` of record `record` names in the file now, read past
// the read-ahead and the Peek cache: what another program wrote a moment ago.
// Nothing when the file holds no such record, or after a reported read failure.
std::optional<std::int32_t> StoredMemoBlock(int field, std::int32_t record);

// LOCATE: the first record from the top whose fields (names separated by ";") match
// the values; false (and the cursor back, or at the end when it was to move) when none.
// The top is the record order's, or with `inOrder` the controlling order's. A value
// the field cannot hold (a number not finite or wider than the field, a day outside
// the years 1 to 9999) matches no record.
bool LocateRecord(std::string_view fields, const std::vector<TXfValue>& values, bool caseInsensitive, bool partialKey,
                  bool moveCursor, bool inOrder = false);
// One field: "<name> [NOCASE] [EXACT] [CONTAINED]".
bool LocateCountSum(std::string_view options, const TXfValue& value);
bool Continue();

}  // namespace xf
