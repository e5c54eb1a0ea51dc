#pragma once
// The only code that touches the bytes of a .dbf table: header and field
// descriptors, single records and deletion marks, the header's date and count,
// closing, creating tables with their empty memo files, and OEM/ANSI text.
//
// Every number read from a file is checked against the file before use, so a
// damaged or crafted table answers code 210 (or 211, 222) and is never read or
// written past a buffer. Failures are reported through DbfRaiseError; the
// functions also return the code (0 on success) for callers that defer delivery.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "dbfengine/platform/XfFiles.h"

namespace xf {

struct TXfDbfSettings {
    std::uint8_t ExtraVersion1 = 0;  // 0: none
    std::uint8_t ExtraVersion2 = 0;
    std::uint8_t MemoVersion = 0x8B;
    std::uint16_t MemoBlockSize = 512;
    std::uint8_t FlushAfterWrite = 0;
    std::uint8_t RecountOnOpen = 0;
    std::uint8_t EndMark = 0x1A;
    std::array<std::uint8_t, 36> LanguageDriver {'D', 'B', 'W', 'I', 'N', 'W', 'E', '0'};
    std::string ValidTypes = "CDFLMN";
};
TXfDbfSettings& XfDbfSettings();

struct TDbfField {
    std::string Name;  // upper case, at most 10 characters
    char Type = 'C';
    std::uint8_t Length = 0;
    std::uint8_t Decimals = 0;
    std::uint16_t Offset = 0;  // in the record; the first field is at 1
};

// Header states.
constexpr std::uint8_t hsClosed = 0, hsClean = 1, hsDirty = 2, hsAppended = 3;

// Converts a run of text in place (a table's own conversion of its text).
using TXfTextHook = std::function<void(char* text, std::size_t length)>;

struct TDbfTable {
    std::string FileName;  // as opened, extension applied
    std::string ShortName;  // the file's name, at most 12 characters
    std::array<std::uint8_t, 32> Prolog {};
    std::uint8_t MemoFlag = 0;
    std::int32_t HeaderLength = 0;
    std::uint16_t RecordLength = 0;
    std::uint8_t FieldCount = 0;
    std::vector<TDbfField> Fields;
    std::uint8_t HeaderState = hsClosed;
    std::string LastUpdate;  // "YYYYMMDD"
    // The current record in memory form: its text converted once when it was read
    // (OEM to ANSI, the after-read hook) and back only on its way to the file.
    std::vector<char> Record;
    std::int32_t RecordCount = 0;
    std::int32_t CurrentRecord = 0;
    bool Bof = false, Eof = false;
    std::uint8_t ShareMode = 0;
    std::uint8_t Language = 1;  // 1: the table's text is OEM
    TXfTextHook BeforeWrite, AfterRead;
    TXfFile File;
    bool Virtual = false;
    // Set by the work-area layer for tables other programs may append to: a header
    // rewrite then counts the records the file holds, never fewer than its own.
    bool OthersAppend = false;
    // Records read ahead in one block. Every write through this table drops the
    // block; for tables other programs may change it serves for at most
    // AheadMaxAgeMs (a read then is as fresh as any unlocked read), and taking a
    // lock drops it, so what is read under a lock is read from the file.
    bool ReadAhead = false;
    std::int64_t AheadMaxAgeMs = -1;  // -1: no other writer, no bound
    std::vector<char> AheadBytes;
    std::int64_t AheadOffset = -1;
    std::int64_t AheadTime = 0;
    // For tables whose text is converted: record StoredNumber's bytes as the file
    // holds them (as last read or written; 0: none), and room to build the next write.
    std::vector<char> Stored, WriteImage;
    std::int32_t StoredNumber = 0;

    std::int64_t RecordOffset(std::int32_t n) const
    {
        return HeaderLength + static_cast<std::int64_t>(n - 1) * RecordLength;
    }
};

// Whether the table's text is converted between the file and memory.
bool ConvertsText(const TDbfTable& t);

bool IsDbase2(const TDbfTable& t);
bool IsLevel7(const TDbfTable& t);
bool IsVersion30(const TDbfTable& t);
bool Version30HasMemo(const TDbfTable& t);

// Opens `name` (extension "DBF" applied; when that exact file is missing, the name
// is matched without regard to case) in `mode`.
int OpenDbfFile(TDbfTable& t, const std::string& name, std::uint8_t mode);
// Reads record n into Record and converts its text for reading.
int GetDbfRecord(TDbfTable& t, std::int32_t n);
// Record holds record n's bytes as the file holds them (read past GetDbfRecord):
// makes it the current record, its bytes kept as the stored copy and its text
// converted for reading.
void TakeStoredRecord(TDbfTable& t, std::int32_t n);
// Writes Record as record n (n beyond the count appends at count + 1), its text
// converted for the file in a copy: Record stays as it was.
int PutDbfRecord(TDbfTable& t, std::int32_t n);
int AppendDbfRecord(TDbfTable& t);
// n must be a record of the table (code 212 otherwise).
int WriteDeletionFlag(TDbfTable& t, std::int32_t n);
int WriteDbfHeaderPrefix(TDbfTable& t);
int UpdateDbfHeader(TDbfTable& t);
int CloseDbf(TDbfTable& t);
int FlushFile(TXfFile& file);
// Forgets the records read ahead (after a write that bypassed this table's functions).
void DropReadAhead(TDbfTable& t);
// The number of whole records the file holds now.
std::int32_t FileRecordCount(const TDbfTable& t);

struct TDbfFieldDef {
    std::string Name;
    char Type = 'C';
    int Length = 0;
    int Decimals = 0;
};
int CreateDbf(TDbfTable& t, const std::string& name, const std::vector<TDbfFieldDef>& fields);
// The block size a memo file is laid out in for a setting or a header's word: a
// block must at least hold its 8-byte header, so 0 to 7 stand for 512.
std::uint32_t UsableMemoBlockSize(std::uint32_t size);
// The header names the size UsableMemoBlockSize gives for `blockSize`.
int CreateDbtFile(const std::string& name, std::uint8_t version, std::uint16_t blockSize, std::string_view callerTag);
std::string MemoExtension(std::uint8_t version);

// direction 0 reads (hook, then OEM to ANSI), 1 writes (ANSI to OEM, then hook); the
// buffer is `length / unitLength` units whose bytes after the first are converted.
void ConvertRecordText(int direction, std::uint8_t language, const TXfTextHook& hook, std::size_t length,
                       std::size_t unitLength, char* buffer);
// `count` whole records read from the table's file, converted for reading in place.
void ConvertReadRecords(const TDbfTable& t, char* records, std::size_t count);
// The bytes to store for a record held in memory form: its text converted for
// writing, once. A field whose memory text is what the bytes in `stored` (the
// record in the file; nullptr: none) read as keeps those bytes, so characters
// without a counterpart in the program's character set (they read as "?")
// survive a rewrite of the record. `out` holds RecordLength bytes.
void StoreRecordText(const TDbfTable& t, const char* memory, const char* stored, char* out);
// The current record of an OEM table as key expressions see it, in `out`, when it
// holds characters the program's text lacks (false otherwise: its text as read
// serves): the bytes it is stored as (StoreRecordText) read through the lossless
// pair, so a key turned back the same way holds the file's bytes, as another
// program's key does. Without a stored copy of the current record, false.
bool KeyRecordText(const TDbfTable& t, std::vector<char>& out);

std::uint32_t SwapLong(std::uint32_t value);
std::uint16_t SwapWord(std::uint16_t value);

}  // namespace xf
