#include "dbfengine/xfdbflow.h"

#include <algorithm>
#include <cstring>

#include "dbfengine/platform/XfCharsets.h"
#include "dbfengine/platform/XfClock.h"
#include "dbfengine/xfcommon.h"
#include "platform/rtl/Paths.h"

namespace xf {

namespace {

std::uint16_t ReadWord(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::int32_t ReadLong(const std::uint8_t* p)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                     (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
}

void PutWord(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutLong(std::uint8_t* p, std::uint32_t v)
{
    PutWord(p, v);
    PutWord(p + 2, v >> 16);
}

std::uint16_t Report(std::uint16_t code, std::string_view context)
{
    DbfRaiseError(code, context);
    return code;
}

std::string FolderlessName(const std::string& path) { return rtl::ExtractFileName(rtl::NormalizePath(path)); }

std::string TwoDigits(int v) { return std::string {static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)}; }

std::string UpdateText(int year, int month, int day)
{
    return std::to_string(year / 1000 % 10) + std::to_string(year / 100 % 10) + TwoDigits(year % 100) +
           TwoDigits(month) + TwoDigits(day);
}

bool AnyExtraVersion()
{
    const TXfDbfSettings& s = XfDbfSettings();
    return s.ExtraVersion1 != 0 || s.ExtraVersion2 != 0;
}

bool IsAcceptedVersion(std::uint8_t v)
{
    const TXfDbfSettings& s = XfDbfSettings();
    if (v == 0x02 || v == 0x03 || v == 0x83 || v == 0x8B || v == 0xF5 || v == 0x04 || v == 0x8C) return true;
    return v != 0 && (v == s.ExtraVersion1 || v == s.ExtraVersion2);
}

// Closes the file and drops what the open allocated, then reports.
std::uint16_t FailOpen(TDbfTable& t, std::uint16_t code, const std::string& context)
{
    t.File.Close();
    t.Record.clear();
    t.Fields.clear();
    t.FieldCount = 0;
    t.HeaderState = hsClosed;
    return Report(code, context);
}

std::string NotDbase(const TDbfTable& t, const std::string& why, const char* tag)
{
    return t.FileName + " is not a dBASE database." + " (" + why + ") " + tag;
}

// Parses descriptors of `size` bytes each; false after reporting.
int ParseDescriptors(TDbfTable& t, const std::vector<std::uint8_t>& bytes, std::size_t size, int maxFields, bool level7,
                     bool dbase2)
{
    std::uint32_t offset = 1;
    for (int i = 0; i < maxFields; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) * size;
        if (at + size > bytes.size()) break;
        const std::uint8_t* d = bytes.data() + at;
        if (d[0] == 0x0D) {
            if (i == 0) return FailOpen(t, 222, "Error reading " + t.FileName + " [Use/OpenDbf]");
            break;
        }
        TDbfField field;
        std::size_t nameLength = 0;
        while (nameLength < 11 && d[nameLength] != 0) ++nameLength;
        std::string name(reinterpret_cast<const char*>(d), std::min<std::size_t>(nameLength, 10));
        for (char& c : name)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        field.Name = name;
        field.Type = static_cast<char>(level7 ? d[32] : d[11]);
        field.Length = level7 ? d[33] : dbase2 ? d[12] : d[16];
        field.Decimals = level7 ? d[34] : dbase2 ? d[15] : d[17];
        if (field.Type == 'B' || field.Type == 'G' || field.Type == 'P') field.Type = 'M';
        if (XfDbfSettings().ValidTypes.find(field.Type) == std::string::npos || field.Type == 0)
            return FailOpen(t, 211, "Field: " + field.Name + " [" + std::string(1, field.Type) + "] in " + t.FileName +
                                        " is not a valid field type");
        field.Offset = static_cast<std::uint16_t>(std::min<std::uint32_t>(offset, 0xFFFF));
        offset += field.Length;
        t.Fields.push_back(std::move(field));
    }
    if (t.Fields.empty() || t.Fields.size() > 255)
        return FailOpen(t, 210, FolderlessName(t.FileName) + " is not a dBASE database. (Number of fields is out of range) [Use/OpenDbf]");
    if (offset > t.RecordLength)
        return FailOpen(t, 210, NotDbase(t, "Fields are longer than the record", "[Use/OpenDbf]"));
    t.FieldCount = static_cast<std::uint8_t>(t.Fields.size());
    return 0;
}

// The record count against the file: the header's count must fit in the file
// (unless recounting on open), and the record length must not be 0.
int CheckCounts(TDbfTable& t, std::int64_t fileSize)
{
    if (t.RecordLength == 0) return FailOpen(t, 210, NotDbase(t, "Record length is 0", "[Use/OpenDbf]"));
    if (t.HeaderLength > fileSize) return FailOpen(t, 210, NotDbase(t, "Header is longer than the file", "[Use/OpenDbf]"));
    if (XfDbfSettings().RecountOnOpen) {
        t.RecordCount = FileRecordCount(t);
    } else if (t.RecordCount < 0 || t.HeaderLength + static_cast<std::int64_t>(t.RecordCount) * t.RecordLength > fileSize) {
        return FailOpen(t, 210, NotDbase(t, "Record count is beyond the end of the file", "[Use/OpenDbf]"));
    }
    return 0;
}

void SetPosition(TDbfTable& t)
{
    if (t.RecordCount < 1) {
        t.CurrentRecord = 0;
        t.Bof = t.Eof = true;
    } else {
        t.CurrentRecord = 1;
        t.Bof = t.Eof = false;
    }
}

int ReadDbase2Header(TDbfTable& t, std::int64_t fileSize)
{
    if (fileSize < 521) return FailOpen(t, 210, NotDbase(t, "Header is less than 521 bytes", "[Use/OpenDBF]"));
    t.RecordCount = ReadWord(&t.Prolog[1]);
    t.LastUpdate = UpdateText(t.Prolog[5] + 1900, t.Prolog[3], t.Prolog[4]);
    t.RecordLength = ReadWord(&t.Prolog[6]);
    t.HeaderLength = 521;
    t.MemoFlag = 0;
    std::vector<std::uint8_t> descriptors(512);
    std::size_t got = 0;
    if (const int code = t.File.ReadAt(8, descriptors.data(), descriptors.size(), got))
        return FailOpen(t, static_cast<std::uint16_t>(code), "Error reading " + t.FileName + " [Use/OpenDbf]");
    if (const int code = CheckCounts(t, fileSize)) return code;
    if (const int code = ParseDescriptors(t, descriptors, 16, 32, false, true)) return code;
    t.Record.assign(t.RecordLength, ' ');
    t.HeaderState = hsClean;
    SetPosition(t);
    return 0;
}

int ReadDbfHeader(TDbfTable& t, std::int64_t fileSize)
{
    const TXfDbfSettings& s = XfDbfSettings();
    const std::uint8_t version = t.Prolog[0];
    if (s.ExtraVersion2 != 0) {
        t.MemoFlag = version == s.ExtraVersion2;
    } else if (version == 0x30) {
        t.MemoFlag = (t.Prolog[28] & 0x02) != 0;
    } else {
        t.MemoFlag = (version & 0x80) != 0;
    }
    const bool level7 = IsLevel7(t);
    const int base = level7 ? 68 : 32, size = level7 ? 48 : 32;
    t.RecordCount = ReadLong(&t.Prolog[4]);
    t.HeaderLength = ReadWord(&t.Prolog[8]);
    t.RecordLength = ReadWord(&t.Prolog[10]);
    const int fields = (t.HeaderLength - base) / size;
    if (t.HeaderLength < base || fields < 1 || fields > 255)
        return FailOpen(t, 210, FolderlessName(t.FileName) + " is not a dBASE database. (Number of fields is out of range) [Use/OpenDbf]");
    t.LastUpdate = UpdateText(t.Prolog[1] + 1900, t.Prolog[2], t.Prolog[3]);
    if (const int code = CheckCounts(t, fileSize)) return code;
    std::int64_t at = 32;
    if (level7) at += 36;
    std::vector<std::uint8_t> descriptors(static_cast<std::size_t>(t.HeaderLength - at));
    std::size_t got = 0;
    int code = t.File.ReadAt(at, descriptors.data(), descriptors.size(), got);
    if (code == 0 && got < descriptors.size()) code = 100;
    if (code) return FailOpen(t, static_cast<std::uint16_t>(code), "Error reading " + t.FileName + " [Use/OpenDbf]");
    if ((code = ParseDescriptors(t, descriptors, static_cast<std::size_t>(size), fields, level7, false))) return code;
    t.Record.assign(t.RecordLength, ' ');
    t.HeaderState = hsClean;
    SetPosition(t);
    return 0;
}

int OpenDbf(TDbfTable& t)
{
    std::size_t got = 0;
    const int code = t.File.ReadAt(0, t.Prolog.data(), t.Prolog.size(), got);
    if (code) return FailOpen(t, static_cast<std::uint16_t>(code), "Error reading " + t.FileName + " [Use/OpenDbf]");
    if (got < 32) return FailOpen(t, 210, NotDbase(t, "Prolog is less than 32 bytes", "[USE/OpenDBF]"));
    if (!IsAcceptedVersion(t.Prolog[0]))
        return FailOpen(t, 210, t.FileName + " is not a dBASE database." + "(" + "Invalid version byte" + ")+ [USE/OpenDBF]");
    // The size is taken after the header, never before: a program writes a record
    // before it counts it in the header, and a shared table only grows, so the file
    // then holds every record the header counts. Taken before it, another program's
    // append and header rewrite falling in between would make a sound table look cut
    // short.
    std::int64_t fileSize = 0;
    if (const int sizeCode = t.File.Size(fileSize))
        return FailOpen(t, static_cast<std::uint16_t>(sizeCode), "Failure to open " + t.FileName + " [USE/OpenDbf]");
    return IsDbase2(t) ? ReadDbase2Header(t, fileSize) : ReadDbfHeader(t, fileSize);
}

// Rewrites the header and, after appends, the end mark. No lock is taken: a
// program that closes must not wait for another program's table lock. A shared
// table's count is raised to what the file holds just before the write, and
// written again while the file grew meanwhile (another program's append between
// the count and the write), so records others appended are never cut off; an
// append after the last check is followed by its own program's header rewrite.
int RewriteHeader(TDbfTable& t, std::uint8_t endMark, const std::string& failureContext)
{
    if (t.OthersAppend) t.RecordCount = std::max(t.RecordCount, FileRecordCount(t));
    if (const int code = WriteDbfHeaderPrefix(t)) return code;
    // Not a wait: nothing here sleeps or waits for another program. Each pass is a
    // size query and a 32-byte write, taken again only because the file grew during
    // the previous write; the bound keeps a program that appends without pause from
    // holding the close, and whoever appends after the last pass rewrites the header
    // itself.
    for (int again = 0; t.OthersAppend && again < 8; ++again) {
        const std::int32_t now = FileRecordCount(t);
        if (now <= t.RecordCount) break;
        t.RecordCount = now;
        if (const int code = WriteDbfHeaderPrefix(t)) return code;
    }
    if (t.HeaderState == hsAppended) {
        std::int64_t size = 0;
        int code = t.File.Size(size);
        // Only when the file ends right after the last record counted, and then as an
        // append: a record another program wrote since the size was taken is never
        // overwritten (the mark lands after it, where that program's own rewrite puts
        // one too). A file already longer is left to whoever wrote there.
        if (code == 0 && size == t.RecordOffset(t.RecordCount + 1)) code = t.File.AppendAtEnd(&endMark, 1);
        if (code) return Report(static_cast<std::uint16_t>(code), failureContext);
    }
    return 0;
}

}  // namespace

TXfDbfSettings& XfDbfSettings()
{
    static TXfDbfSettings settings;
    return settings;
}

bool ConvertsText(const TDbfTable& t) { return t.Language == 1 || t.AfterRead || t.BeforeWrite; }

bool IsDbase2(const TDbfTable& t) { return t.Prolog[0] == 0x02 && !AnyExtraVersion(); }
bool IsLevel7(const TDbfTable& t) { return (t.Prolog[0] == 0x04 || t.Prolog[0] == 0x8C) && !AnyExtraVersion(); }
bool IsVersion30(const TDbfTable& t) { return t.Prolog[0] == 0x30; }
bool Version30HasMemo(const TDbfTable& t) { return IsVersion30(t) && (t.Prolog[28] & 0x02) != 0; }

std::int32_t FileRecordCount(const TDbfTable& t)
{
    std::int64_t size = 0;
    if (t.RecordLength == 0 || t.File.Size(size) != 0 || size < t.HeaderLength) return 0;
    const std::int64_t records = (size - t.HeaderLength) / t.RecordLength;
    return static_cast<std::int32_t>(std::min<std::int64_t>(records, INT32_MAX));
}

int OpenDbfFile(TDbfTable& t, const std::string& name, std::uint8_t mode)
{
    t.FileName = ApplyExtension(name, "DBF");
    if (!rtl::FileExists(t.FileName)) {
        const std::string resolved = rtl::ResolvePathNoCase(t.FileName);
        if (rtl::FileExists(resolved)) t.FileName = resolved;
    }
    t.ShareMode = mode;
    t.Fields.clear();
    t.Record.clear();
    if (const int code = t.File.Open(t.FileName, mode))
        return Report(static_cast<std::uint16_t>(code), "Failure to open " + t.FileName + " [USE/OpenDbf]");
    std::string shortName = FolderlessName(t.FileName);
    if (shortName.size() > 12) {
        std::size_t end = 12;
        while (end > 0 && (static_cast<unsigned char>(shortName[end]) & 0xC0) == 0x80) --end;
        shortName.resize(end);
    }
    t.ShortName = shortName;
    return OpenDbf(t);
}

void DropReadAhead(TDbfTable& t) { t.AheadOffset = -1; }

namespace {

constexpr std::size_t kReadAheadBytes = 64 * 1024;

// Reads record bytes through the read-ahead block.
int ReadAheadAt(TDbfTable& t, std::int64_t offset, char* out, std::size_t size, std::size_t& got)
{
    got = 0;
    const std::int64_t end = t.AheadOffset + static_cast<std::int64_t>(t.AheadBytes.size());
    const std::int64_t now = t.AheadMaxAgeMs >= 0 ? XfClocks().MonotonicMs() : 0;
    if (t.AheadOffset < 0 || offset < t.AheadOffset || offset + static_cast<std::int64_t>(size) > end ||
        (t.AheadMaxAgeMs >= 0 && now - t.AheadTime > t.AheadMaxAgeMs)) {
        // A read that continues the block (or the first) fills a whole block; a jump
        // elsewhere, as an index seek makes, reads just its bytes, so the next
        // read decides whether a scan follows.
        const bool continues = t.AheadOffset < 0 || offset == end;
        t.AheadBytes.resize(continues ? std::max(kReadAheadBytes, size) : size);
        std::size_t filled = 0;
        if (const int code = t.File.ReadAt(offset, t.AheadBytes.data(), t.AheadBytes.size(), filled)) {
            t.AheadOffset = -1;
            return code;
        }
        t.AheadBytes.resize(filled);
        t.AheadOffset = offset;
        t.AheadTime = now;
    }
    const std::int64_t available = t.AheadOffset + static_cast<std::int64_t>(t.AheadBytes.size()) - offset;
    got = static_cast<std::size_t>(std::clamp<std::int64_t>(available, 0, static_cast<std::int64_t>(size)));
    std::memcpy(out, t.AheadBytes.data() + (offset - t.AheadOffset), got);
    return 0;
}

}  // namespace

int GetDbfRecord(TDbfTable& t, std::int32_t n)
{
    if (n < 1 || n > t.RecordCount)
        return Report(212, "Invalid record number = " + std::to_string(n) + " (" + t.FileName + ")  [GetDbfRecord]");
    t.Bof = t.Eof = false;
    std::size_t got = 0;
    int code = t.ReadAhead ? ReadAheadAt(t, t.RecordOffset(n), t.Record.data(), t.Record.size(), got)
                           : t.File.ReadAt(t.RecordOffset(n), t.Record.data(), t.Record.size(), got);
    if (code == 0 && got < t.Record.size()) code = 213;
    if (code) {
        if (got == 0) t.Eof = true;
        t.StoredNumber = 0;
        return Report(static_cast<std::uint16_t>(code), "File:  " + t.FileName + "  [GetDbfRecord]");
    }
    TakeStoredRecord(t, n);
    return 0;
}

void TakeStoredRecord(TDbfTable& t, std::int32_t n)
{
    t.CurrentRecord = n;
    if (!ConvertsText(t)) return;
    t.Stored = t.Record;
    t.StoredNumber = n;
    ConvertReadRecords(t, t.Record.data(), 1);
}

int PutDbfRecord(TDbfTable& t, std::int32_t n)
{
    const std::int32_t count = t.RecordCount, current = t.CurrentRecord;
    const bool append = n > t.RecordCount;
    if (append) {
        if ((IsDbase2(t) && t.RecordCount >= 65535) || t.RecordCount == INT32_MAX)
            return Report(212, "Table is full: " + t.FileName + " [Replace/Append/PutDbfRecord]");
        n = t.RecordCount + 1;
        t.RecordCount = n;
        t.CurrentRecord = n;
    }
    DropReadAhead(t);
    const bool converts = ConvertsText(t);
    const char* bytes = t.Record.data();
    if (converts) {
        t.WriteImage.resize(t.Record.size());
        const bool known = t.StoredNumber == n && t.Stored.size() == t.Record.size();
        StoreRecordText(t, t.Record.data(), known ? t.Stored.data() : nullptr, t.WriteImage.data());
        bytes = t.WriteImage.data();
    }
    if (const int code = t.File.WriteAt(t.RecordOffset(n), bytes, t.Record.size())) {
        t.RecordCount = count;
        t.CurrentRecord = current;
        return Report(static_cast<std::uint16_t>(code), "File:  " + t.FileName + " [Replace/Append/PutDbfRecord]");
    }
    if (converts) {
        t.Stored.swap(t.WriteImage);
        t.StoredNumber = n;
    }
    if (append) {
        t.HeaderState = hsAppended;
        if (XfDbfSettings().FlushAfterWrite) return UpdateDbfHeader(t);
    } else {
        if (t.HeaderState != hsAppended) t.HeaderState = hsDirty;
        if (XfDbfSettings().FlushAfterWrite) return FlushFile(t.File);
    }
    return 0;
}

int AppendDbfRecord(TDbfTable& t) { return PutDbfRecord(t, t.RecordCount + 1); }

int WriteDeletionFlag(TDbfTable& t, std::int32_t n)
{
    if (n < 1 || n > t.RecordCount)
        return Report(212, "Invalid record number = " + std::to_string(n) + " (" + t.FileName + ")  [DeleteRec/RecallRec]");
    DropReadAhead(t);
    if (const int code = t.File.WriteAt(t.RecordOffset(n), t.Record.data(), 1))
        return Report(static_cast<std::uint16_t>(code), "File:  " + t.FileName + " [DeleteRec/RecallRec]");
    if (t.StoredNumber == n && !t.Stored.empty()) t.Stored[0] = t.Record[0];
    if (t.HeaderState != hsAppended) t.HeaderState = hsDirty;
    if (XfDbfSettings().FlushAfterWrite) return FlushFile(t.File);
    return 0;
}

int WriteDbfHeaderPrefix(TDbfTable& t)
{
    const TXfDate today = XfClocks().Today();
    int code = 0;
    if (IsDbase2(t)) {
        t.Prolog[3] = static_cast<std::uint8_t>(today.Month);
        t.Prolog[4] = static_cast<std::uint8_t>(today.Day);
        t.Prolog[5] = static_cast<std::uint8_t>(today.Year - 1900);
        PutWord(&t.Prolog[1], static_cast<std::uint32_t>(std::clamp(t.RecordCount, 0, 65535)));
        code = t.File.WriteAt(0, t.Prolog.data(), 8);
    } else {
        std::size_t got = 0;
        std::uint8_t kept[12];
        code = t.File.ReadAt(16, kept, sizeof kept, got);
        if (code == 0 && got == sizeof kept) std::memcpy(&t.Prolog[16], kept, sizeof kept);
        t.Prolog[1] = static_cast<std::uint8_t>(today.Year - 1900);
        t.Prolog[2] = static_cast<std::uint8_t>(today.Month);
        t.Prolog[3] = static_cast<std::uint8_t>(today.Day);
        PutLong(&t.Prolog[4], static_cast<std::uint32_t>(t.RecordCount));
        if (code == 0) code = t.File.WriteAt(0, t.Prolog.data(), 32);
    }
    t.LastUpdate = UpdateText(today.Year, today.Month, today.Day);
    if (code) {
        XfErrors().LastError = static_cast<std::uint16_t>(code);
        return Report(static_cast<std::uint16_t>(code), "File:  " + t.FileName + " [UpdateDbfHeader]");
    }
    return 0;
}

int UpdateDbfHeader(TDbfTable& t)
{
    XfErrors().LastError = 0;
    if (t.HeaderState != hsDirty && t.HeaderState != hsAppended) return 0;
    if (const int code = RewriteHeader(t, 0x1A, "File:  " + t.FileName + " [UpdateDbfHeader]")) return code;
    t.HeaderState = hsClean;
    return FlushFile(t.File);
}

int CloseDbf(TDbfTable& t)
{
    int code = 0;
    if (t.File.IsOpen() && (t.HeaderState == hsDirty || t.HeaderState == hsAppended))
        code = RewriteHeader(t, XfDbfSettings().EndMark, "File:  " + t.FileName + " [CloseDbf(" + t.FileName + ")]");
    t.File.Close();
    t.HeaderState = hsClosed;
    DropReadAhead(t);
    t.AheadBytes = {};
    t.Record.clear();
    t.Record.shrink_to_fit();
    t.Stored = {};
    t.WriteImage = {};
    t.StoredNumber = 0;
    t.Fields.clear();
    return code;
}

int FlushFile(TXfFile& file)
{
    if (const int code = file.Flush()) return Report(static_cast<std::uint16_t>(code), "Unable to flush file [FlushFile]");
    return 0;
}

std::string MemoExtension(std::uint8_t version)
{
    if (!IsAcceptedVersion(version) && version != 0x30) version = XfDbfSettings().MemoVersion;
    return version == 0xF5 || version == 0x30 ? "FPT" : "DBT";
}

int CreateDbf(TDbfTable& t, const std::string& name, const std::vector<TDbfFieldDef>& defs)
{
    const TXfDbfSettings& s = XfDbfSettings();
    const std::uint8_t memoVersion = AnyExtraVersion() ? 0x8B : s.MemoVersion;
    std::string validTypes = s.ValidTypes;
    if (memoVersion == 0x8B || memoVersion == 0x8C) validTypes += "BGP";
    bool hasMemo = false;
    for (const TDbfFieldDef& def : defs) {
        const char type = static_cast<char>(std::toupper(static_cast<unsigned char>(def.Type)));
        if (type == 'B' || type == 'G' || type == 'M' || type == 'P') hasMemo = true;
    }
    const bool level7 = memoVersion == 0x8C && !AnyExtraVersion();
    const std::size_t descriptorSize = level7 ? 48 : 32;
    t = TDbfTable {};
    const auto invalid = [&] { return Report(211, "Invalid dBASE field definition [CreateDBF]"); };
    if (defs.empty() || defs.size() > 255) return invalid();
    const std::size_t headerSize = defs.size() * descriptorSize + 32 + 1 + (level7 ? 36 : 0);
    std::vector<std::uint8_t> header(headerSize, 0);
    std::uint32_t recordLength = 1;
    for (std::size_t i = 0; i < defs.size(); ++i) {
        const TDbfFieldDef& def = defs[i];
        char type = static_cast<char>(std::toupper(static_cast<unsigned char>(def.Type)));
        if (type == 'F' && memoVersion == 0x83) type = 'N';
        std::string fieldName = rtl::UpperCase(AllTrimStr(def.Name)).substr(0, 10);
        int length = def.Length, decimals = def.Decimals;
        if (type == 'C' || type == 'F' || type == 'N') {
            if (length < 1 || length > 255) return invalid();
        } else {
            length = type == 'D' ? 8 : type == 'L' ? 1 : 10;
        }
        if (type != 'N' && type != 'F') decimals = 0;
        if (fieldName.empty() || decimals < 0 || decimals > 255 || validTypes.find(type) == std::string::npos) return invalid();
        std::uint8_t* d = header.data() + 32 + (level7 ? 36 : 0) + i * descriptorSize;
        std::memcpy(d, fieldName.data(), fieldName.size());
        d[level7 ? 32 : 11] = static_cast<std::uint8_t>(type);
        d[level7 ? 33 : 16] = static_cast<std::uint8_t>(length);
        d[level7 ? 34 : 17] = static_cast<std::uint8_t>(decimals);
        recordLength += static_cast<std::uint32_t>(length);
        if (recordLength > 0xFFFF) return invalid();
        TDbfField field;
        field.Name = fieldName;
        field.Type = type == 'B' || type == 'G' || type == 'P' ? 'M' : type;
        field.Length = static_cast<std::uint8_t>(length);
        field.Decimals = static_cast<std::uint8_t>(decimals);
        field.Offset = static_cast<std::uint16_t>(recordLength - length);
        t.Fields.push_back(field);
    }
    header[headerSize - 1] = 0x0D;
    PutWord(&header[8], static_cast<std::uint32_t>(headerSize));
    PutWord(&header[10], recordLength);
    if (level7) std::memcpy(&header[32], s.LanguageDriver.data(), s.LanguageDriver.size());
    if (s.ExtraVersion1 != 0) {
        header[0] = hasMemo ? s.ExtraVersion2 : s.ExtraVersion1;
    } else {
        header[0] = hasMemo ? memoVersion : (memoVersion == 0x8C ? 0x04 : 0x03);
    }
    t.FieldCount = static_cast<std::uint8_t>(defs.size());
    t.MemoFlag = hasMemo;
    t.HeaderLength = static_cast<std::int32_t>(headerSize);
    t.RecordLength = static_cast<std::uint16_t>(recordLength);
    std::string fileName = name;
    while (!fileName.empty() && fileName.back() == ' ') fileName.pop_back();
    while (!fileName.empty() && fileName.front() == ' ') fileName.erase(0, 1);
    t.FileName = ApplyExtension(fileName, "DBF");
    std::memcpy(t.Prolog.data(), header.data(), 32);
    if (const int code = t.File.Create(t.FileName, fmOpenReadWrite | fmShareExclusive))
        return Report(static_cast<std::uint16_t>(code), "Error writing " + name + ". [CreateDbf]");
    if (const int code = t.File.WriteAt(0, header.data(), header.size())) {
        t.File.Close();
        return Report(static_cast<std::uint16_t>(code), "Error writing " + name + ". [CreateDbf]");
    }
    t.HeaderState = hsAppended;
    const TXfDate today = XfClocks().Today();
    t.LastUpdate = UpdateText(today.Year, today.Month, today.Day);
    if (const int code = CloseDbf(t)) return code;
    if (hasMemo) {
        const std::uint8_t version = header[0];
        // On a file system that tells case apart, other tools look for the memo file
        // in the case of the table's own extension.
        std::string extension = MemoExtension(version);
        std::string folder, base, tableExtension;
        SplitFileName(t.FileName, folder, base, tableExtension);
        if (tableExtension != rtl::UpperCase(tableExtension)) extension = rtl::LowerCase(extension);
        return CreateDbtFile(ForceExtension(t.FileName, extension), version, s.MemoBlockSize, "CreateDbf()");
    }
    return 0;
}

std::uint32_t UsableMemoBlockSize(std::uint32_t size) { return size < 8 ? 512 : size; }

int CreateDbtFile(const std::string& name, std::uint8_t version, std::uint16_t blockSize, std::string_view callerTag)
{
    // The header names the size the blocks are laid out in, never a setting the engine replaces.
    blockSize = static_cast<std::uint16_t>(UsableMemoBlockSize(blockSize));
    std::vector<std::uint8_t> bytes;
    const std::uint32_t firstFree = (511u / blockSize) + 1;  // the blocks the header takes
    if (version == 0x83) {
        bytes.assign(513, 0);
        bytes[0] = 1;
        bytes[512] = 0x1A;
    } else if (version == 0xF5) {
        bytes.assign(512, 0);
        PutLong(&bytes[0], SwapLong(firstFree));
        PutWord(&bytes[6], SwapWord(blockSize));
    } else {
        bytes.assign(24, 0);
        PutLong(&bytes[0], firstFree);
        std::string folder, base, ext;
        SplitFileName(name, folder, base, ext);
        std::memcpy(&bytes[8], base.data(), std::min<std::size_t>(8, base.size()));
        bytes[18] = 0x02;
        bytes[19] = 0x01;
        PutLong(&bytes[20], blockSize);
    }
    TXfFile file;
    if (const int code = file.Create(name, fmOpenReadWrite | fmShareExclusive))
        return Report(static_cast<std::uint16_t>(code), "Cannot create memo file " + name + " [" + std::string(callerTag) + "]");
    if (const int code = file.WriteAt(0, bytes.data(), bytes.size()))
        return Report(static_cast<std::uint16_t>(code), name + " [" + std::string(callerTag) + "]");
    return 0;
}

namespace {

void ConvertText(int direction, std::uint8_t language, const TXfTextHook& hook, char* text, std::size_t length)
{
    if (direction == 0) {
        if (hook) hook(text, length);
        if (language == 1) XfOemToAnsiBuff(text, length);
    } else {
        if (language == 1) XfAnsiToOemBuff(text, length);
        if (hook) hook(text, length);
    }
}

}  // namespace

void ConvertRecordText(int direction, std::uint8_t language, const TXfTextHook& hook, std::size_t length,
                       std::size_t unitLength, char* buffer)
{
    if (language != 1 && !hook) return;
    if (unitLength == 0) return;
    for (std::size_t at = 0; at + unitLength <= length; at += unitLength)
        ConvertText(direction, language, hook, buffer + at + 1, unitLength - 1);
}

void ConvertReadRecords(const TDbfTable& t, char* records, std::size_t count)
{
    ConvertRecordText(0, t.Language, t.AfterRead, count * t.RecordLength, t.RecordLength, records);
}

void StoreRecordText(const TDbfTable& t, const char* memory, const char* stored, char* out)
{
    const std::size_t length = t.RecordLength;
    std::memcpy(out, memory, length);
    ConvertRecordText(1, t.Language, t.BeforeWrite, length, length, out);
    if (!stored || !ConvertsText(t)) return;
    std::string read(stored, length);
    ConvertReadRecords(t, read.data(), 1);
    const auto keep = [&](std::size_t from, std::size_t to) {
        if (from < to && std::memcmp(read.data() + from, memory + from, to - from) == 0)
            std::memcpy(out + from, stored + from, to - from);
    };
    std::size_t end = 1;
    for (const TDbfField& f : t.Fields) {
        const std::size_t from = std::min<std::size_t>(f.Offset, length);
        const std::size_t to = std::min<std::size_t>(from + f.Length, length);
        keep(from, to);
        end = std::max(end, to);
    }
    keep(end, length);
}

bool KeyRecordText(const TDbfTable& t, std::vector<char>& out)
{
    if (t.Language != 1 || t.StoredNumber != t.CurrentRecord || t.Stored.size() != t.Record.size() || t.Record.empty())
        return false;
    const std::size_t length = t.Record.size();
    if (!t.AfterRead && !XfOemLacksAnsi(t.Stored.data() + 1, length - 1)) return false;
    out.resize(length);
    StoreRecordText(t, t.Record.data(), t.Stored.data(), out.data());
    if (t.AfterRead) t.AfterRead(out.data() + 1, length - 1);
    if (!XfOemLacksAnsi(out.data() + 1, length - 1)) return false;
    XfOemToAnsiWholeBuff(out.data() + 1, length - 1);
    return true;
}

std::uint32_t SwapLong(std::uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

std::uint16_t SwapWord(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }

}  // namespace xf
