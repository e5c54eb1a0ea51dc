// Entry points: connections, tables, fields, record images and record changes.

#include <algorithm>
#include <cstring>
#include <ctime>

#include <sys/time.h>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsDates.h"
#include "platform/edsengine/EdsObjects.h"
#include "platform/edsengine/EdsSettings.h"
#include "platform/edsengine/EdsSqlApi.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"

using namespace eds;

namespace {

Registry& Objects() { return Registry::Instance(); }

std::string ConnectFolder(std::string_view given) {
    std::string path = rtl::ExcludeTrailingPathDelimiter(rtl::NormalizePath(given));
    if (path.empty()) Throw(EDS_E_INVALID_ARGUMENT, "A connection needs a folder.");
    const std::string upper = rtl::UpperCase(path);
    if (upper.size() > 4 && upper.compare(upper.size() - 4, 4, ".ADD") == 0)
        Throw(EDS_E_NOT_SUPPORTED, "Data dictionaries are not supported.");
    path = rtl::ResolvePathNoCase(path);
    if (!rtl::DirectoryExists(path)) Throw(EDS_E_FILE_NOT_FOUND, "The folder " + path + " does not exist.");
    return path;
}

EDSHANDLE NewConnection(std::string_view path, UNSIGNED16 serverTypes) {
    const UNSIGNED16 types = serverTypes ? serverTypes : ProcessSettings().serverTypes;
    if ((types & (EDS_LOCAL_SERVER | EDS_REMOTE_SERVER)) == 0)
        Throw(EDS_E_NOT_SUPPORTED, "Only local connections are supported.");
    return Objects().Add(std::make_unique<Connection>(ConnectFolder(path)));
}

std::string TablePath(EDSHANDLE hConnect, std::string_view name) {
    std::string path = rtl::NormalizePath(name);
    if (path.empty()) Throw(EDS_E_INVALID_ARGUMENT, "A table name is required.");
    if (hConnect != 0) {
        const Connection& connection = Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED);
        if (path[0] != '/') path = rtl::JoinPath(connection.Folder(), path);
    }
    if (rtl::ExtractFileExt(path).empty()) path += ".edt";
    return rtl::ResolvePathNoCase(path);
}

void CheckTableType(UNSIGNED16 tableType, UNSIGNED16 charType) {
    if (tableType == EDS_NTX || tableType == EDS_CDX)
        Throw(EDS_E_NOT_SUPPORTED, "Only EDT tables are supported; NTX and CDX tables are not.");
    if (tableType != EDS_DEFAULT && tableType != EDS_EDT) Throw(EDS_E_INVALID_ARGUMENT, "Unknown table type.");
    if (charType == EDS_OEM) Throw(EDS_E_NOT_SUPPORTED, "OEM tables are not supported.");
}

EDSHANDLE Register(EDSHANDLE hConnect, std::unique_ptr<TableFile> file, UNSIGNED32 options) {
    Connection* connection = hConnect ? &Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED) : nullptr;
    if (connection) file->SetTransaction(connection->transaction);
    const std::size_t indexes = file->Indexes().size();
    const EDSHANDLE handle = Objects().Add(std::make_unique<Table>(hConnect, std::move(file), options));
    Table& table = Objects().As<Table>(handle);
    for (std::size_t i = 0; i < indexes; ++i) {
        const EDSHANDLE index = Objects().Add(std::make_unique<Index>(handle, i));
        table.indexHandles.push_back(index);
    }
    if (connection) connection->tables.push_back(handle);
    return handle;
}

Table& TableOf(EDSHANDLE handle) { return *Navigate(handle).table; }

const FieldDef& FieldOf(Table& table, const EdsFieldId& field) {
    return table.Fields().At(static_cast<std::size_t>(table.Column(field)));
}

void Out32(UNSIGNED32* out, UNSIGNED32 value) {
    CheckOut(out, "answer");
    *out = value;
}

void Out16(UNSIGNED16* out, UNSIGNED16 value) {
    CheckOut(out, "answer");
    *out = value;
}

// Bytes out with a 32-bit room; refuses short room with the length needed.
void CopyBytes(std::string_view bytes, UNSIGNED8* buf, UNSIGNED32* len, bool terminate) {
    CheckOut(len, "length");
    const std::size_t room = *len;
    if (!buf || bytes.size() > room) {
        *len = static_cast<UNSIGNED32>(bytes.size());
        Throw(EDS_E_INSUFFICIENT_BUFFER, DefaultErrorText(EDS_E_INSUFFICIENT_BUFFER));
    }
    if (!bytes.empty()) std::memcpy(buf, bytes.data(), bytes.size());
    if (terminate && bytes.size() < room) buf[bytes.size()] = 0;
    *len = static_cast<UNSIGNED32>(bytes.size());
}

std::string_view Given(const UNSIGNED8* buf, UNSIGNED32 len) {
    if (!buf) return {};
    const auto* p = static_cast<const UNSIGNED8*>(std::memchr(buf, 0, len));
    return std::string_view(reinterpret_cast<const char*>(buf), p ? static_cast<std::size_t>(p - buf) : len);
}

// A key segment of the index under construction, from a column value.
void SetKeySegment(Index& index, const EdsFieldId& field, std::optional<Value> value, bool prefix) {
    Table& table = Objects().As<Table>(index.TableHandle());
    const int column = table.Column(field);
    const IndexDef& def = table.File().Indexes()[index.Number()];
    index.keySegments.resize(def.segments.size());
    for (std::size_t i = 0; i < def.segments.size(); ++i) {
        if (def.segments[i].field != column) continue;
        index.keySegments[i] = std::make_pair(KeyValue(table.Fields(), def.segments[i], value.value_or(Value())), prefix);
        return;
    }
    Throw(EDS_E_COLUMN_NOT_FOUND, "The column \"" + table.Fields().At(static_cast<std::size_t>(column)).name +
                                      "\" is not part of the index.");
}

}  // namespace

// ---- Connections ------------------------------------------------------------------

UNSIGNED32 EdsConnect(const UNSIGNED8* pucServerPath, EDSHANDLE* phConnect) {
    return Run([&] {
        CheckOut(phConnect, "handle");
        *phConnect = NewConnection(TextArg(pucServerPath), 0);
    });
}

UNSIGNED32 EdsConnect60(const UNSIGNED8* pucServerPath, UNSIGNED16 usServerTypes, const UNSIGNED8*, const UNSIGNED8*,
                        UNSIGNED32, EDSHANDLE* phConnect) {
    return Run([&] {
        CheckOut(phConnect, "handle");
        *phConnect = NewConnection(TextArg(pucServerPath), usServerTypes);
    });
}

UNSIGNED32 EdsDisconnect(EDSHANDLE hConnect) {
    return Run([&] {
        Connection& connection = Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED);
        const std::vector<EDSHANDLE> tables = connection.tables;
        for (EDSHANDLE table : tables) CloseTable(table);
        CloseSqlSession(hConnect);
        Objects().Remove(hConnect);
    });
}

UNSIGNED32 EdsGetServerName(EDSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
    return Run([&] {
        Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED);
        CopyOut("Local", pucName, pusLen);
    });
}

UNSIGNED32 EdsGetConnectionType(EDSHANDLE hConnect, UNSIGNED16* pusConnectType) {
    return Run([&] {
        Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED);
        Out16(pusConnectType, EDS_LOCAL_SERVER);
    });
}

UNSIGNED32 EdsGetHandleType(EDSHANDLE hObj, UNSIGNED16* pusType) {
    return Run([&] {
        const Object* object = Objects().Find(hObj);
        if (!object) Throw(EDS_E_INVALID_HANDLE, "The handle " + std::to_string(hObj) + " is not valid.");
        Out16(pusType, object->HandleType());
    });
}

UNSIGNED32 EdsCloseCachedTables(EDSHANDLE hConnect) {
    return Run([&] { Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED); });
}

UNSIGNED32 EdsGetServerTime(EDSHANDLE hConnect, UNSIGNED8* pucDate, UNSIGNED16* pusDateLen, UNSIGNED32* pulTime,
                            UNSIGNED8* pucTime, UNSIGNED16* pusTimeLen) {
    return Run([&] {
        Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED);
        struct timeval now {};
        ::gettimeofday(&now, nullptr);
        struct tm local {};
        const time_t seconds = now.tv_sec;
        ::localtime_r(&seconds, &local);
        const std::int32_t julian = JulianFromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
        const auto ms = static_cast<UNSIGNED32>(((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 +
                                                now.tv_usec / 1000);
        CopyOut(DateFormat::Parse(ProcessSettings().dateFormat).Format(julian), pucDate, pusDateLen);
        if (pulTime) *pulTime = ms;
        if (pucTime && pusTimeLen) CopyOut(IsoTime(ms).substr(0, 8), pucTime, pusTimeLen);
    });
}

UNSIGNED32 EdsGetNumActiveLinks(EDSHANDLE hConnect, UNSIGNED16* pusNumLinks) {
    return Run([&] {
        Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED);
        Out16(pusNumLinks, 0);
    });
}

UNSIGNED32 EdsGetActiveLinkInfo(EDSHANDLE hConnect, UNSIGNED16 usLinkNum, UNSIGNED8*, UNSIGNED16*) {
    return Run([&] {
        Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED);
        Throw(EDS_E_INVALID_ARGUMENT, "There is no active link " + std::to_string(usLinkNum) + ".");
    });
}

UNSIGNED32 EdsGetNumOpenTables(UNSIGNED16* pusNum) {
    return Run([&] { Out16(pusNum, static_cast<UNSIGNED16>(Objects().CountOfType(EDS_TABLE))); });
}

// ---- Dates --------------------------------------------------------------------------

UNSIGNED32 EdsConvertDateToJulian(const UNSIGNED8* pucDate, UNSIGNED16 usLen, DOUBLE* pdJulian) {
    return Run([&] {
        CheckOut(pdJulian, "answer");
        const std::string_view text = Given(pucDate, usLen);
        if (text.find_first_not_of(" /.-") == std::string_view::npos) {
            *pdJulian = 0;
            return;
        }
        const auto julian = DateFormat::Parse(ProcessSettings().dateFormat).Read(text);
        if (!julian) Throw(EDS_E_INVALID_DATE, "The date \"" + std::string(text) + "\" is not valid.");
        *pdJulian = *julian;
    });
}

UNSIGNED32 EdsConvertJulianToString(DOUBLE dJulian, UNSIGNED8* pucDate, UNSIGNED16* pusLen) {
    return Run([&] {
        // 5373484 is 31 December 9999, the last day a date's digits can hold.
        if (!(dJulian >= 0 && dJulian < 5373485.0)) Throw(EDS_E_INVALID_DATE, "The day number is out of range.");
        CopyOut(JulianToDigits(static_cast<std::int32_t>(dJulian)), pucDate, pusLen);
    });
}

UNSIGNED32 EdsConvertStringToJulian(const UNSIGNED8* pucDate, UNSIGNED16 usLen, DOUBLE* pdJulian) {
    return Run([&] {
        CheckOut(pdJulian, "answer");
        const std::string_view text = Given(pucDate, usLen);
        const auto julian = DigitsToJulian(text);
        if (!julian) Throw(EDS_E_INVALID_DATE, "The date \"" + std::string(text) + "\" is not valid.");
        *pdJulian = *julian;
    });
}

// ---- Tables -------------------------------------------------------------------------

UNSIGNED32 EdsCreateTable(EDSHANDLE hConnect, const UNSIGNED8* pucName, const UNSIGNED8*, UNSIGNED16 usTableType,
                          UNSIGNED16 usCharType, UNSIGNED16, UNSIGNED16, UNSIGNED16, const UNSIGNED8* pucFields,
                          EDSHANDLE* phTable) {
    return Run([&] {
        CheckOut(phTable, "handle");
        CheckTableType(usTableType, usCharType);
        const Schema schema = Schema::Parse(TextArg(pucFields));
        schema.CheckCreatable();
        const std::string path = TablePath(hConnect, TextArg(pucName));
        TableFile::Create(path, schema);
        *phTable = Register(hConnect, std::make_unique<TableFile>(path, true, false), EDS_EXCLUSIVE);
    });
}

UNSIGNED32 EdsOpenTable(EDSHANDLE hConnect, const UNSIGNED8* pucName, const UNSIGNED8*, UNSIGNED16 usTableType,
                        UNSIGNED16 usCharType, UNSIGNED16, UNSIGNED16, UNSIGNED32 ulOptions, EDSHANDLE* phTable) {
    return Run([&] {
        CheckOut(phTable, "handle");
        CheckTableType(usTableType, usCharType);
        const std::string path = TablePath(hConnect, TextArg(pucName));
        const bool exclusive = (ulOptions & EDS_EXCLUSIVE) != 0;
        const bool readOnly = (ulOptions & EDS_READONLY) != 0;
        // A table closed inside the running transaction opens again on its kept
        // file: a second SQLite connection would not see the transaction's rows
        // and would wait on the transaction's own lock to write.
        Connection* connection = hConnect ? &Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED) : nullptr;
        std::unique_ptr<TableFile> file = connection ? connection->TakeKeptFile(path, exclusive, readOnly) : nullptr;
        if (!file) file = std::make_unique<TableFile>(path, exclusive, readOnly);
        *phTable = Register(hConnect, std::move(file), ulOptions);
    });
}

UNSIGNED32 EdsCloseTable(EDSHANDLE hTable) {
    return Run([&] { CloseTable(hTable); });
}

UNSIGNED32 EdsGetTableType(EDSHANDLE hTable, UNSIGNED16* pusType) {
    return Run([&] {
        TableOf(hTable);
        Out16(pusType, EDS_EDT);
    });
}

UNSIGNED32 EdsGetTableCharType(EDSHANDLE hTable, UNSIGNED16* pusCharType) {
    return Run([&] {
        TableOf(hTable);
        Out16(pusCharType, EDS_ANSI);
    });
}

UNSIGNED32 EdsIsTableEncrypted(EDSHANDLE hTable, UNSIGNED16* pbEncrypted) {
    return Run([&] {
        TableOf(hTable);
        Out16(pbEncrypted, 0);
    });
}

UNSIGNED32 EdsIsEncryptionEnabled(EDSHANDLE hTable, UNSIGNED16* pbEnabled) {
    return Run([&] {
        TableOf(hTable);
        Out16(pbEnabled, 0);
    });
}

UNSIGNED32 EdsEnableEncryption(EDSHANDLE hTable, const UNSIGNED8*) {
    return Run([&] {
        TableOf(hTable);
        Throw(EDS_E_NOT_SUPPORTED, "Encrypted tables are not supported.");
    });
}

UNSIGNED32 EdsGetRecordLength(EDSHANDLE hTable, UNSIGNED32* pulLength) {
    return Run([&] { Out32(pulLength, TableOf(hTable).Fields().RecordLength()); });
}

UNSIGNED32 EdsGetTableOpenOptions(EDSHANDLE hTable, UNSIGNED32* pulOptions) {
    return Run([&] {
        Table& table = TableOf(hTable);
        UNSIGNED32 options = table.OpenOptions() & (EDS_EXCLUSIVE | EDS_READONLY | EDS_REINDEX_ON_COLLATION_MISMATCH |
                                                    EDS_IGNORE_COLLATION_MISMATCH);
        if (!table.ReadOnly()) options |= EDS_UPDATE_RIGHT | EDS_INSERT_RIGHT;
        Out32(pulOptions, options);
    });
}

UNSIGNED32 EdsCacheRecords(EDSHANDLE hTable, UNSIGNED16) {
    return Run([&] { TableOf(hTable); });
}

UNSIGNED32 EdsGetLastAutoinc(EDSHANDLE hObj, UNSIGNED32* pulAutoinc) {
    return Run([&] {
        if (SqlStatementLastAutoinc(hObj, pulAutoinc)) return;
        Out32(pulAutoinc, TableOf(hObj).lastAutoinc);
    });
}

// ---- Fields -------------------------------------------------------------------------

UNSIGNED32 EdsGetNumFields(EDSHANDLE hTable, UNSIGNED16* pusCount) {
    return Run([&] { Out16(pusCount, static_cast<UNSIGNED16>(TableOf(hTable).Fields().Count())); });
}

UNSIGNED32 EdsGetFieldName(EDSHANDLE hTable, UNSIGNED16 usFieldNum, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
    return Run([&] { CopyOut(FieldOf(TableOf(hTable), usFieldNum).name, pucName, pusLen); });
}

UNSIGNED32 EdsGetFieldType(EDSHANDLE hTable, EdsFieldId field, UNSIGNED16* pusType) {
    return Run([&] { Out16(pusType, FieldOf(TableOf(hTable), field).type); });
}

UNSIGNED32 EdsGetFieldLength(EDSHANDLE hTable, EdsFieldId field, UNSIGNED32* pulLength) {
    return Run([&] { Out32(pulLength, FieldOf(TableOf(hTable), field).length); });
}

UNSIGNED32 EdsGetFieldDecimals(EDSHANDLE hTable, EdsFieldId field, UNSIGNED16* pusDecimals) {
    return Run([&] { Out16(pusDecimals, FieldOf(TableOf(hTable), field).decimals); });
}

UNSIGNED32 EdsGetFieldOffset(EDSHANDLE hTable, EdsFieldId field, UNSIGNED32* pulOffset) {
    return Run([&] { Out32(pulOffset, FieldOf(TableOf(hTable), field).offset); });
}

UNSIGNED32 EdsGetColumnPermissions(EDSHANDLE hTable, EdsFieldId field, UNSIGNED16* pusPermissions) {
    return Run([&] {
        Table& table = TableOf(hTable);
        const FieldDef& f = FieldOf(table, field);
        UNSIGNED16 rights = EDS_PERMISSION_READ;
        if (!table.ReadOnly() && f.type != EDS_AUTOINC) rights |= EDS_PERMISSION_UPDATE | EDS_PERMISSION_INSERT;
        Out16(pusPermissions, rights);
    });
}

UNSIGNED32 EdsGetMemoDataType(EDSHANDLE hTable, EdsFieldId field, UNSIGNED16* pusType) {
    return Run([&] {
        const FieldDef& f = FieldOf(TableOf(hTable), field);
        if (!f.IsBlob()) Throw(EDS_E_COLUMN_TYPE, "The column \"" + f.name + "\" is not a memo or binary column.");
        Out16(pusType, f.IsMemoText() ? EDS_MEMO : EDS_BINARY);
    });
}

namespace {

UNSIGNED32 BlobLength(EDSHANDLE hTable, const EdsFieldId& field, UNSIGNED32* pulLength, bool text) {
    return Run([&] {
        Table& table = TableOf(hTable);
        const int column = table.Column(field);
        const FieldDef& f = table.Fields().At(static_cast<std::size_t>(column));
        if (!f.IsBlob() || f.IsMemoText() != text)
            Throw(EDS_E_COLUMN_TYPE, "The column \"" + f.name + "\" is not a " + (text ? "memo" : "binary") + " column.");
        const std::optional<std::string> value = table.BlobValue(column);
        Out32(pulLength, !value ? 0 : static_cast<UNSIGNED32>(text ? rtl::Utf8ToAnsi(*value).size() : value->size()));
    });
}

}  // namespace

UNSIGNED32 EdsGetMemoLength(EDSHANDLE hTable, EdsFieldId field, UNSIGNED32* pulLength) {
    return BlobLength(hTable, field, pulLength, true);
}

UNSIGNED32 EdsGetBinaryLength(EDSHANDLE hTable, EdsFieldId field, UNSIGNED32* pulLength) {
    return BlobLength(hTable, field, pulLength, false);
}

// ---- Records ------------------------------------------------------------------------

UNSIGNED32 EdsGetRecord(EDSHANDLE hTable, UNSIGNED8* pucRec, UNSIGNED32* pulLen) {
    return Run([&] {
        Table& table = TableOf(hTable);
        const UNSIGNED8* image = table.Image();
        if (!image) Throw(EDS_E_NO_CURRENT_RECORD, "There is no current record.");
        CopyBytes(std::string_view(reinterpret_cast<const char*>(image), table.Fields().RecordLength()), pucRec, pulLen,
                  false);
    });
}

UNSIGNED32 EdsGetField(EDSHANDLE hTable, EdsFieldId field, UNSIGNED8* pucBuf, UNSIGNED32* pulLen, UNSIGNED16 usOption) {
    return Run([&] {
        Table& table = TableOf(hTable);
        const int column = table.Column(field);
        const FieldDef& f = table.Fields().At(static_cast<std::size_t>(column));
        if (f.IsBlob()) {
            const std::optional<std::string> value = table.BlobValue(column);
            const std::string bytes = !value ? std::string() : f.IsMemoText() ? rtl::Utf8ToAnsi(*value) : *value;
            CopyBytes(bytes, pucBuf, pulLen, f.IsMemoText());
            return;
        }
        const UNSIGNED8* image = table.Image();
        if (!image) Throw(EDS_E_NO_CURRENT_RECORD, "There is no current record.");
        std::string_view bytes(reinterpret_cast<const char*>(image + f.offset), f.length);
        if (f.IsText()) {
            const std::size_t zero = bytes.find('\0');
            if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
            if (usOption & EDS_LTRIM)
                while (!bytes.empty() && bytes.front() == ' ') bytes.remove_prefix(1);
            if (usOption & EDS_RTRIM)
                while (!bytes.empty() && bytes.back() == ' ') bytes.remove_suffix(1);
        }
        CopyBytes(bytes, pucBuf, pulLen, f.IsText());
    });
}

UNSIGNED32 EdsSetField(EDSHANDLE hObj, EdsFieldId field, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    return Run([&] {
        if (auto* index = ObjectAs<Index>(Objects().Find(hObj))) {
            Table& table = Objects().As<Table>(index->TableHandle());
            const FieldDef& f = FieldOf(table, field);
            if (!f.IsText()) {
                std::vector<UNSIGNED8> image(f.length, 0);
                std::memcpy(image.data(), pucBuf, std::min<std::size_t>(ulLen, f.length));
                SetKeySegment(*index, field, ValueFromImage(f, image.data()), false);
                return;
            }
            // A value shorter than the column matches every text it starts; the whole
            // column (blank-padded, or zeros for empty) is an exact key.
            const bool prefix = ulLen < f.length;
            std::string stored = StoredText(Given(pucBuf, ulLen));
            SetKeySegment(*index, field, Value::Text(std::move(stored)), prefix);
            return;
        }
        Table& table = Objects().As<Table>(hObj);
        const int column = table.Column(field);
        const FieldDef& f = table.Fields().At(static_cast<std::size_t>(column));
        PendingRecord& record = table.Edit();
        UNSIGNED8* dst = record.image.data() + f.offset;
        if (f.IsBlob()) {
            const std::string_view bytes = f.IsMemoText() ? Given(pucBuf, ulLen)
                                                          : std::string_view(reinterpret_cast<const char*>(pucBuf),
                                                                             pucBuf ? ulLen : 0);
            if (bytes.empty()) {
                record.blobs[column] = std::nullopt;
            } else {
                record.blobs[column] = f.IsMemoText() ? rtl::AnsiToUtf8(bytes) : std::string(bytes);
            }
            const std::uint32_t marker = bytes.empty() ? 0u : 0xFFFFFFFFu;
            std::memcpy(dst, &marker, 4);
        } else if (f.IsText()) {
            // Text longer than the column is cut to it, never written past it.
            const std::string_view text = Given(pucBuf, ulLen);
            const std::size_t n = std::min<std::size_t>(text.size(), f.length);
            if (n == 0) {
                NullImage(f, dst);
            } else {
                std::memcpy(dst, text.data(), n);
                std::memset(dst + n, ' ', f.length - n);
            }
        } else {
            if (!pucBuf || ulLen < f.length)
                Throw(EDS_E_COLUMN_VALUE, "The value for column \"" + f.name + "\" is shorter than the column.");
            std::memcpy(dst, pucBuf, f.length);
        }
        record.changed[static_cast<std::size_t>(column)] = true;
    });
}

UNSIGNED32 EdsSetFieldRaw(EDSHANDLE hObj, EdsFieldId field, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    return Run([&] {
        if (auto* index = ObjectAs<Index>(Objects().Find(hObj))) {
            Table& table = Objects().As<Table>(index->TableHandle());
            const FieldDef& f = FieldOf(table, field);
            std::vector<UNSIGNED8> image(f.length, 0);
            if (pucBuf) std::memcpy(image.data(), pucBuf, std::min<std::size_t>(ulLen, f.length));
            SetKeySegment(*index, field, ValueFromImage(f, image.data()), false);
            return;
        }
        Table& table = Objects().As<Table>(hObj);
        const int column = table.Column(field);
        const FieldDef& f = table.Fields().At(static_cast<std::size_t>(column));
        if (f.IsBlob()) Throw(EDS_E_COLUMN_TYPE, "The column \"" + f.name + "\" takes its value with EdsSetField.");
        if (!pucBuf || ulLen < f.length)
            Throw(EDS_E_COLUMN_VALUE, "The value for column \"" + f.name + "\" is shorter than the column.");
        PendingRecord& record = table.Edit();
        std::memcpy(record.image.data() + f.offset, pucBuf, f.length);
        record.changed[static_cast<std::size_t>(column)] = true;
    });
}

UNSIGNED32 EdsSetEmpty(EDSHANDLE hObj, EdsFieldId field) {
    return Run([&] {
        if (SqlStatementSetEmpty(hObj, field)) return;  // a statement parameter
        if (auto* index = ObjectAs<Index>(Objects().Find(hObj))) {
            SetKeySegment(*index, field, std::nullopt, false);
            return;
        }
        Table& table = Objects().As<Table>(hObj);
        const int column = table.Column(field);
        const FieldDef& f = table.Fields().At(static_cast<std::size_t>(column));
        PendingRecord& record = table.Edit();
        NullImage(f, record.image.data() + f.offset);
        if (f.IsBlob()) record.blobs[column] = std::nullopt;
        record.changed[static_cast<std::size_t>(column)] = true;
    });
}

UNSIGNED32 EdsIsEmpty(EDSHANDLE hTable, EdsFieldId field, UNSIGNED16* pbEmpty) {
    return Run([&] {
        Table& table = TableOf(hTable);
        const int column = table.Column(field);
        const FieldDef& f = table.Fields().At(static_cast<std::size_t>(column));
        if (f.IsBlob() && table.pending && table.pending->blobs.count(column)) {
            const std::optional<std::string>& value = table.pending->blobs.at(column);
            Out16(pbEmpty, !value || value->empty() ? 1 : 0);
            return;
        }
        const UNSIGNED8* image = table.Image();  // a blob column's image says whether it holds a value
        if (!image) Throw(EDS_E_NO_CURRENT_RECORD, "There is no current record.");
        Out16(pbEmpty, IsNullImage(f, image + f.offset) ? 1 : 0);
    });
}

UNSIGNED32 EdsAppendRecord(EDSHANDLE hTable) {
    return Run([&] { TableOf(hTable).Append(); });
}

UNSIGNED32 EdsWriteRecord(EDSHANDLE hTable) {
    return Run([&] { TableOf(hTable).Write(); });
}

UNSIGNED32 EdsCancelUpdate(EDSHANDLE hTable) {
    return Run([&] {
        Table& table = TableOf(hTable);
        // What a cancel reads next is the record as stored now: a change another
        // station committed just before must show, however fresh the row read last.
        table.Cur().Reread();
        if (!table.pending) Throw(EDS_E_NO_PENDING_UPDATE, "No update is pending.");
        table.pending.reset();
    });
}

UNSIGNED32 EdsDeleteRecord(EDSHANDLE hTable) {
    return Run([&] { TableOf(hTable).DeleteCurrent(); });
}

UNSIGNED32 EdsRefreshRecord(EDSHANDLE hTable) {
    return Run([&] {
        Table& table = TableOf(hTable);
        table.pending.reset();
        table.Cur().Reread();
        if (!table.Cur().Current()) Throw(EDS_E_NO_CURRENT_RECORD, "There is no current record.");
    });
}

namespace {

UNSIGNED32 Crc32(const UNSIGNED8* data, std::size_t n) {
    UNSIGNED32 crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

}  // namespace

UNSIGNED32 EdsGetRecordCRC(EDSHANDLE hTable, UNSIGNED32* pulCRC, UNSIGNED32) {
    return Run([&] {
        Table& table = TableOf(hTable);
        table.Cur().Reread();
        const Row* row = table.Cur().Current();
        if (!row) Throw(EDS_E_NO_CURRENT_RECORD, "There is no current record.");
        Out32(pulCRC, Crc32(row->image.data(), row->image.size()));
    });
}

UNSIGNED32 EdsClearRecordBuffer(EDSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    return Run([&] {
        const Schema& schema = TableOf(hTable).Fields();
        CheckOut(pucBuf, "buffer");
        if (ulLen < schema.RecordLength()) Throw(EDS_E_INSUFFICIENT_BUFFER, "The buffer is shorter than a record.");
        schema.FillNullImage(pucBuf);
    });
}

UNSIGNED32 EdsGetNullRecord(EDSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32* pulLen) {
    return Run([&] {
        const Schema& schema = TableOf(hTable).Fields();
        std::string image(schema.RecordLength(), '\0');
        schema.FillNullImage(reinterpret_cast<UNSIGNED8*>(image.data()));
        CopyBytes(image, pucBuf, pulLen, false);
    });
}
