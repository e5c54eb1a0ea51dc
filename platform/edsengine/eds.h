#pragma once
// The client table engine: the entry points that the database layer calls.
//
// Conventions every entry point keeps:
// - Each returns a 32-bit code, 0 (EDS_SUCCESS) for success. On failure the code
//   and a text are also this thread's last error (EdsGetLastError).
// - Handles (connection, table, cursor, index, statement, find) are 32-bit, never 0,
//   and never reused while the object lives. The layer keeps -1 for "none".
// - Texts in are zero-terminated 8-bit strings. Texts out go into caller buffers
//   with an in/out 16-bit length: in, the room in bytes (including the zero);
//   out, the length of the text without the zero. A text that does not fit gives
//   EDS_E_INSUFFICIENT_BUFFER and the needed length (without the zero) in the
//   length. Every text answer is zero-terminated when the room allows.
// - Character data inside record images, and the values that EdsGetField,
//   EdsSetField and EdsSetFieldRaw move for tables and index keys, are
//   Windows-1252 (memo columns too). Every other text (paths, names, field
//   specifications, expressions, SQL, statement parameters, scope texts, error
//   texts) is UTF-8.
// - A column is named by its number (from 1) or by its name (case-insensitive):
//   see EdsFieldId. Statement parameters are numbered from 1 the same way.
// - Numbers in record images are little-endian.
// - Thread-safe: entry points serialise on one engine lock; the last error is
//   per thread.
//
// Record images of EDT tables (offsets from EdsGetFieldOffset, fields packed in
// column order from offset 0):
//   type                 bytes  value                                  empty (null) image
//   1 logical             1     'T' or 'F'                             ' '
//   2 numeric             n     text right-aligned by blanks           all 0
//   3 date                4     Julian day number (int32)              0
//   4 character           n     text, blank-padded                     all 0
//   5-8 memo, binary,     4     0 when empty, 0xFFFFFFFF with value    0
//       image, varchar          (the value itself: EdsGetField)
//   9 compact date        3     big-endian (year*2 + month>>3),        all 0
//                               then (month<<5) + day
//   10 double, 17 curdbl  8     IEEE double                            low 0x00000020, high 0x80000000
//   11 integer            4     int32                                  0x80000000
//   12 short integer      2     int16                                  0x8000
//   13 time               4     milliseconds of the day                0xFFFFFFFF
//   14 timestamp          8     Julian day (int32), then ms of day      day 0, ms 0xFFFFFFFF
//   15 auto-increment     4     int32 (-1 in a new record)             0xFFFFFFFF
//   16 raw                n     bytes                                  all 0
//   18 money              8     int64, value * 10000                   low 0, high 0x80000000
//   20 case-insens. char  n     as 4                                   all 0
//
// Field specification of EdsCreateTable: entries "name,type[,length[,decimals]]"
// separated by ";" (blanks after ";" allowed, a final ";" optional). Types, any
// letter case: Logical, Numeric (length, decimals), Date, Char or Character
// (length), Memo, Binary, Image, VarChar (length), ShortDate, Double, Integer,
// ShortInt, Time, TimeStamp, AutoInc, Raw (length), CurDouble, Money, CIChar
// (length).

#include <concepts>
#include <cstdint>

using UNSIGNED8 = std::uint8_t;
using UNSIGNED16 = std::uint16_t;
using UNSIGNED32 = std::uint32_t;
using UNSIGNED64 = std::uint64_t;
using SIGNED16 = std::int16_t;
using SIGNED32 = std::int32_t;
using SIGNED64 = std::int64_t;
using DOUBLE = double;
using EDSHANDLE = UNSIGNED32;

// A column (or statement parameter) named by number from 1, or by name.
// Converts implicitly from either, so calls read EdsGetFieldType(h, "Zip", &t)
// and EdsSetField(h, 3, buf, len) alike.
struct EdsFieldId {
    const UNSIGNED8* name = nullptr;  // used when not null
    UNSIGNED32 number = 0;

    EdsFieldId(const char* fieldName) : name(reinterpret_cast<const UNSIGNED8*>(fieldName)) {}
    EdsFieldId(const UNSIGNED8* fieldName) : name(fieldName) {}
    template <std::integral T>
    EdsFieldId(T fieldNumber) : number(static_cast<UNSIGNED32>(fieldNumber)) {}
};

// ---- Numbers passed -------------------------------------------------------------

// Table types.
inline constexpr UNSIGNED16 EDS_DEFAULT = 0;  // the data dictionary decides
inline constexpr UNSIGNED16 EDS_NTX = 1;
inline constexpr UNSIGNED16 EDS_CDX = 2;
inline constexpr UNSIGNED16 EDS_EDT = 3;

// Character sets.
inline constexpr UNSIGNED16 EDS_ANSI = 1;
inline constexpr UNSIGNED16 EDS_OEM = 2;

// Locking.
inline constexpr UNSIGNED16 EDS_COMPATIBLE_LOCKING = 0;
inline constexpr UNSIGNED16 EDS_PROPRIETARY_LOCKING = 1;

// Rights checking.
inline constexpr UNSIGNED16 EDS_CHECK_RIGHTS = 1;
inline constexpr UNSIGNED16 EDS_IGNORE_RIGHTS = 2;

// Open options (EdsOpenTable) and the bits EdsGetTableOpenOptions answers.
inline constexpr UNSIGNED32 EDS_EXCLUSIVE = 1;
inline constexpr UNSIGNED32 EDS_READONLY = 2;
inline constexpr UNSIGNED32 EDS_UPDATE_RIGHT = 32;  // answered, never passed
inline constexpr UNSIGNED32 EDS_INSERT_RIGHT = 64;  // answered, never passed
inline constexpr UNSIGNED32 EDS_REINDEX_ON_COLLATION_MISMATCH = 256;
inline constexpr UNSIGNED32 EDS_IGNORE_COLLATION_MISMATCH = 512;

// Column permissions (EdsGetColumnPermissions).
inline constexpr UNSIGNED16 EDS_PERMISSION_READ = 1;
inline constexpr UNSIGNED16 EDS_PERMISSION_UPDATE = 2;
inline constexpr UNSIGNED16 EDS_PERMISSION_INSERT = 4;

// Index options (EdsCreateIndex61) and flags (EdsGetIndexFlags).
inline constexpr UNSIGNED32 EDS_UNIQUE = 1;
inline constexpr UNSIGNED32 EDS_COMPOUND = 2;
inline constexpr UNSIGNED32 EDS_CUSTOM = 4;
inline constexpr UNSIGNED32 EDS_DESCENDING = 8;
// Answered by EdsGetIndexFlags (never passed): a key segment is UPPER(column).
inline constexpr UNSIGNED32 EDS_CASE_INSENSITIVE_KEY = 0x4000;

// Server types, OR-ed (0: the process default).
inline constexpr UNSIGNED16 EDS_LOCAL_SERVER = 1;
inline constexpr UNSIGNED16 EDS_REMOTE_SERVER = 2;
inline constexpr UNSIGNED16 EDS_AIS_SERVER = 4;

// Connect options, OR-ed.
inline constexpr UNSIGNED32 EDS_MIDDLE_TIER = 1;
inline constexpr UNSIGNED32 EDS_STORED_PROC_CONN = 2;
inline constexpr UNSIGNED32 EDS_COMPRESS_ALWAYS = 4;
inline constexpr UNSIGNED32 EDS_COMPRESS_NEVER = 8;
inline constexpr UNSIGNED32 EDS_COMPRESS_INTERNET = 12;

// Handle types (EdsGetHandleType).
inline constexpr UNSIGNED16 EDS_CONNECTION = 1;
inline constexpr UNSIGNED16 EDS_TABLE = 2;
inline constexpr UNSIGNED16 EDS_INDEX_ORDER = 3;
inline constexpr UNSIGNED16 EDS_STATEMENT = 4;
inline constexpr UNSIGNED16 EDS_CURSOR = 5;
inline constexpr UNSIGNED16 EDS_FIND = 6;

// Filter options of counts and positions.
inline constexpr UNSIGNED16 EDS_RESPECTFILTERS = 1;
inline constexpr UNSIGNED16 EDS_IGNOREFILTERS = 2;
inline constexpr UNSIGNED16 EDS_RESPECTSCOPES = 3;
inline constexpr UNSIGNED16 EDS_REFRESHCOUNT = 4;  // OR-ed with one of the above

// Scopes.
inline constexpr UNSIGNED16 EDS_TOP = 1;
inline constexpr UNSIGNED16 EDS_BOTTOM = 2;

// Key data types (EdsSeek, EdsSetScope).
inline constexpr UNSIGNED16 EDS_RAWKEY = 1;
inline constexpr UNSIGNED16 EDS_STRINGKEY = 2;
inline constexpr UNSIGNED16 EDS_DOUBLEKEY = 4;

// Seek types.
inline constexpr UNSIGNED16 EDS_HARDSEEK = 1;
inline constexpr UNSIGNED16 EDS_SOFTSEEK = 2;

// AOF options, OR-ed.
inline constexpr UNSIGNED16 EDS_RESOLVE_IMMEDIATE = 1;
inline constexpr UNSIGNED16 EDS_RESOLVE_DYNAMIC = 2;
inline constexpr UNSIGNED16 EDS_KEYSET = 4;
inline constexpr UNSIGNED16 EDS_FIXED = 8;

// Trimming options of EdsGetField.
inline constexpr UNSIGNED16 EDS_NONE = 0;
inline constexpr UNSIGNED16 EDS_LTRIM = 1;
inline constexpr UNSIGNED16 EDS_RTRIM = 2;
inline constexpr UNSIGNED16 EDS_TRIM = 3;

// Field types.
inline constexpr UNSIGNED16 EDS_LOGICAL = 1;
inline constexpr UNSIGNED16 EDS_NUMERIC = 2;
inline constexpr UNSIGNED16 EDS_DATE = 3;
inline constexpr UNSIGNED16 EDS_STRING = 4;
inline constexpr UNSIGNED16 EDS_MEMO = 5;
inline constexpr UNSIGNED16 EDS_BINARY = 6;
inline constexpr UNSIGNED16 EDS_IMAGE = 7;
inline constexpr UNSIGNED16 EDS_VARCHAR = 8;
inline constexpr UNSIGNED16 EDS_COMPACTDATE = 9;
inline constexpr UNSIGNED16 EDS_DOUBLE = 10;
inline constexpr UNSIGNED16 EDS_INTEGER = 11;
inline constexpr UNSIGNED16 EDS_SHORTINT = 12;
inline constexpr UNSIGNED16 EDS_TIME = 13;
inline constexpr UNSIGNED16 EDS_TIMESTAMP = 14;
inline constexpr UNSIGNED16 EDS_AUTOINC = 15;
inline constexpr UNSIGNED16 EDS_RAW = 16;
inline constexpr UNSIGNED16 EDS_CURDOUBLE = 17;
inline constexpr UNSIGNED16 EDS_MONEY = 18;
inline constexpr UNSIGNED16 EDS_CISTRING = 20;

// SQL cursor kinds (EdsSqlPeekStatement).
inline constexpr UNSIGNED16 EDS_CURSOR_STATIC = 0;  // read-only result
inline constexpr UNSIGNED16 EDS_CURSOR_LIVE = 1;    // rows of one table, writable

// Data dictionary numbers the layer passes.
inline constexpr UNSIGNED16 EDS_DD_TABLE_OBJECT = 10;
inline constexpr UNSIGNED16 EDS_DD_TABLE_DEFAULT_INDEX = 213;
inline constexpr UNSIGNED16 EDS_DD_USER_GROUP_MEMBERSHIP = 1102;

// ---- Codes ------------------------------------------------------------------------
inline constexpr UNSIGNED32 EDS_SUCCESS = 0;
inline constexpr UNSIGNED32 EDS_E_INSUFFICIENT_BUFFER = 5005;  // also: "a filter/AOF is set"
inline constexpr UNSIGNED32 EDS_E_RECORD_NOT_FOUND = 5022;     // no such (or a deleted) record
inline constexpr UNSIGNED32 EDS_E_NOT_CONNECTED = 5024;        // not a live connection handle
inline constexpr UNSIGNED32 EDS_E_NO_FILTER = 5037;
inline constexpr UNSIGNED32 EDS_E_NO_SCOPE = 5038;
inline constexpr UNSIGNED32 EDS_E_NO_POSITION = 5041;          // no relative position
inline constexpr UNSIGNED32 EDS_E_PERMISSION_DENIED = 5054;
inline constexpr UNSIGNED32 EDS_E_NO_MORE_FILES = 5059;
inline constexpr UNSIGNED32 EDS_E_STATIC_VIEW = 5064;
inline constexpr UNSIGNED32 EDS_E_NO_CURRENT_RECORD = 5068;
inline constexpr UNSIGNED32 EDS_E_NO_PENDING_UPDATE = 5085;
inline constexpr UNSIGNED32 EDS_E_INVALID_STATEMENT = 5106;
inline constexpr UNSIGNED32 EDS_E_NO_ROWS_AFFECTED = 5117;
inline constexpr UNSIGNED32 EDS_E_CLIENT = 5121;               // refusals made by the layer
inline constexpr UNSIGNED32 EDS_E_NOT_IN_DICTIONARY = 5132;
inline constexpr UNSIGNED32 EDS_E_NO_MORE_OBJECTS = 5137;
inline constexpr UNSIGNED32 EDS_E_PROPERTY_NOT_FOUND = 5138;
// Column errors: the text holds the word column, a blank and the name in double quotes.
inline constexpr UNSIGNED32 EDS_E_COLUMN_NOT_FOUND = 5147;
inline constexpr UNSIGNED32 EDS_E_COLUMN_VALUE = 5148;
inline constexpr UNSIGNED32 EDS_E_COLUMN_TYPE = 5149;
inline constexpr UNSIGNED32 EDS_E_RECORD_CHANGED = 5186;       // made by the layer
inline constexpr UNSIGNED32 EDS_E_INVALID_HANDLE = 5200;
inline constexpr UNSIGNED32 EDS_E_NOT_SUPPORTED = 5201;
inline constexpr UNSIGNED32 EDS_E_FILE_NOT_FOUND = 5202;
inline constexpr UNSIGNED32 EDS_E_FILE_EXISTS = 5203;
inline constexpr UNSIGNED32 EDS_E_TABLE_LOCKED = 5204;         // opened exclusively elsewhere, or in use
inline constexpr UNSIGNED32 EDS_E_RECORD_LOCKED = 5205;
inline constexpr UNSIGNED32 EDS_E_UNIQUE_VIOLATION = 5206;
inline constexpr UNSIGNED32 EDS_E_FIELD_SPEC = 5207;
inline constexpr UNSIGNED32 EDS_E_INVALID_ARGUMENT = 5208;
inline constexpr UNSIGNED32 EDS_E_IO = 5209;                   // the storage failed
inline constexpr UNSIGNED32 EDS_E_BUSY = 5210;                 // the file stayed locked by another writer
inline constexpr UNSIGNED32 EDS_E_READ_ONLY = 5211;
inline constexpr UNSIGNED32 EDS_E_INDEX_EXPRESSION = 5212;
inline constexpr UNSIGNED32 EDS_E_INDEX_EXISTS = 5213;
inline constexpr UNSIGNED32 EDS_E_INDEX_NOT_FOUND = 5214;
inline constexpr UNSIGNED32 EDS_E_TRANSACTION = 5215;          // begin twice, commit without begin
inline constexpr UNSIGNED32 EDS_E_INVALID_DATE = 5216;
inline constexpr UNSIGNED32 EDS_E_NOT_A_TABLE = 5217;          // the file is no table of ours
inline constexpr UNSIGNED32 EDS_E_EXPRESSION = 5218;           // filter or key expression
inline constexpr UNSIGNED32 EDS_E_RECORD_DELETED = 5219;
inline constexpr UNSIGNED32 EDS_E_WRONG_HANDLE_TYPE = 5220;
inline constexpr UNSIGNED32 EDS_E_SQL = 7200;                  // text: "ERROR 7200: ... NATIVEERROR = n; ..."
inline constexpr UNSIGNED32 EDS_E_SQL_REPREPARE = 7209;        // prepare the statement again

// ---- Process settings and errors -------------------------------------------------
// The last error of this thread. pucBuf may be null (then only the code is given).
UNSIGNED32 EdsGetLastError(UNSIGNED32* pulErrCode, UNSIGNED8* pucBuf, UNSIGNED16* pusBufLen);
// Records code and text as this thread's last error; answers ulErrCode.
UNSIGNED32 EdsSetLastError(UNSIGNED32 ulErrCode, const UNSIGNED8* pucText);
// The engine's fixed text of a code.
UNSIGNED32 EdsGetErrorString(UNSIGNED32 ulErrCode, UNSIGNED8* pucBuf, UNSIGNED16* pusBufLen);
// Writes the title and this thread's last error text to standard error.
UNSIGNED32 EdsShowError(const UNSIGNED8* pucTitle);
// Date format of date texts: letters CC, YY, MM, DD in any case plus separators
// (for example "MM/DD/YY", "MM/dd/ccyy"); at most 11 characters.
UNSIGNED32 EdsSetDateFormat(const UNSIGNED8* pucFormat);
UNSIGNED32 EdsSetDecimals(UNSIGNED16 usDecimals);
UNSIGNED32 EdsGetDecimals(UNSIGNED16* pusDecimals);
// Whether deleted records are visible. Kept for the layer; records deleted here are
// gone from storage, so this only changes what EdsGetDeleted answers.
UNSIGNED32 EdsShowDeleted(UNSIGNED16 bShowDeleted);
UNSIGNED32 EdsGetDeleted(UNSIGNED16* pbShowDeleted);
UNSIGNED32 EdsSetServerType(UNSIGNED16 usServerTypes);
UNSIGNED32 EdsCacheOpenTables(UNSIGNED16 usNumTables);
UNSIGNED32 EdsCacheOpenCursors(UNSIGNED16 usNumCursors);
UNSIGNED32 EdsGetNumOpenTables(UNSIGNED16* pusNum);
// pucLetter: one character (a blank when none). pucDesc may be null.
UNSIGNED32 EdsGetVersion(UNSIGNED32* pulMajor, UNSIGNED32* pulMinor, UNSIGNED8* pucLetter,
                         UNSIGNED8* pucDesc, UNSIGNED16* pusDescLen);

// ---- Connections --------------------------------------------------------------------
// pucServerPath is a folder (or a data dictionary file, refused as not supported).
UNSIGNED32 EdsConnect(const UNSIGNED8* pucServerPath, EDSHANDLE* phConnect);
UNSIGNED32 EdsConnect60(const UNSIGNED8* pucServerPath, UNSIGNED16 usServerTypes,
                        const UNSIGNED8* pucUserName, const UNSIGNED8* pucPassword,
                        UNSIGNED32 ulOptions, EDSHANDLE* phConnect);
// Closes every table, cursor and statement still open on the connection.
UNSIGNED32 EdsDisconnect(EDSHANDLE hConnect);
UNSIGNED32 EdsGetServerName(EDSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED16* pusLen);
// Answers EDS_LOCAL_SERVER for every connection.
UNSIGNED32 EdsGetConnectionType(EDSHANDLE hConnect, UNSIGNED16* pusConnectType);
UNSIGNED32 EdsGetHandleType(EDSHANDLE hObj, UNSIGNED16* pusType);
UNSIGNED32 EdsCloseCachedTables(EDSHANDLE hConnect);
// Date text in the process date format, the milliseconds since midnight, and the
// time as "HH:MM:SS".
UNSIGNED32 EdsGetServerTime(EDSHANDLE hConnect, UNSIGNED8* pucDate, UNSIGNED16* pusDateLen,
                            UNSIGNED32* pulTime, UNSIGNED8* pucTime, UNSIGNED16* pusTimeLen);
UNSIGNED32 EdsGetNumActiveLinks(EDSHANDLE hConnect, UNSIGNED16* pusNumLinks);
UNSIGNED32 EdsGetActiveLinkInfo(EDSHANDLE hConnect, UNSIGNED16 usLinkNum, UNSIGNED8* pucInfo,
                                UNSIGNED16* pusLen);
// A transaction spans the writes through the connection's table handles. Once the
// storage has dropped any file's part of it (a full disk, an I/O error), every later
// write and the commit answer that first failure until EdsRollbackTransaction ends it.
// A table closed inside a transaction fails its commit the same way.
UNSIGNED32 EdsBeginTransaction(EDSHANDLE hConnect);
UNSIGNED32 EdsCommitTransaction(EDSHANDLE hConnect);
UNSIGNED32 EdsRollbackTransaction(EDSHANDLE hConnect);
// Table listings: pucMask is a folder plus a file mask ("C:\Log\*.edt").
// EDS_E_NO_MORE_FILES ends a listing.
UNSIGNED32 EdsFindFirstTable(EDSHANDLE hConnect, const UNSIGNED8* pucMask, UNSIGNED8* pucFileName,
                             UNSIGNED16* pusFileNameLen, EDSHANDLE* phFind);
UNSIGNED32 EdsFindNextTable(EDSHANDLE hConnect, EDSHANDLE hFind, UNSIGNED8* pucFileName,
                            UNSIGNED16* pusFileNameLen);
// The newer form also answers a database name (the folder) for each table.
UNSIGNED32 EdsFindFirstTable62(EDSHANDLE hConnect, const UNSIGNED8* pucMask, UNSIGNED8* pucDatabase,
                               UNSIGNED16* pusDatabaseLen, UNSIGNED8* pucFileName,
                               UNSIGNED16* pusFileNameLen, EDSHANDLE* phFind);
UNSIGNED32 EdsFindNextTable62(EDSHANDLE hConnect, EDSHANDLE hFind, UNSIGNED8* pucDatabase,
                              UNSIGNED16* pusDatabaseLen, UNSIGNED8* pucFileName,
                              UNSIGNED16* pusFileNameLen);
UNSIGNED32 EdsFindClose(EDSHANDLE hConnect, EDSHANDLE hFind);
// Data dictionaries are not supported: these answer EDS_E_NOT_SUPPORTED.
UNSIGNED32 EdsDDFindFirstObject(EDSHANDLE hConnect, UNSIGNED16 usObjectType,
                                const UNSIGNED8* pucParentName, UNSIGNED8* pucObjectName,
                                UNSIGNED16* pusObjectNameLen, EDSHANDLE* phFind);
UNSIGNED32 EdsDDFindNextObject(EDSHANDLE hConnect, EDSHANDLE hFind, UNSIGNED8* pucObjectName,
                               UNSIGNED16* pusObjectNameLen);
UNSIGNED32 EdsDDFindClose(EDSHANDLE hConnect, EDSHANDLE hFind);
// pvProperty may be null to ask only for the length.
UNSIGNED32 EdsDDGetUserProperty(EDSHANDLE hConnect, const UNSIGNED8* pucUserName,
                                UNSIGNED16 usPropertyId, void* pvProperty, UNSIGNED16* pusPropertyLen);
UNSIGNED32 EdsDDGetTableProperty(EDSHANDLE hConnect, const UNSIGNED8* pucTableName,
                                 UNSIGNED16 usPropertyId, void* pvProperty, UNSIGNED16* pusPropertyLen);

// ---- Dates --------------------------------------------------------------------------
// A date text in the process date format to a Julian day number.
UNSIGNED32 EdsConvertDateToJulian(const UNSIGNED8* pucDate, UNSIGNED16 usLen, DOUBLE* pdJulian);
// A Julian day number to eight digits CCYYMMDD (room for at least 9 bytes).
UNSIGNED32 EdsConvertJulianToString(DOUBLE dJulian, UNSIGNED8* pucDate, UNSIGNED16* pusLen);
// Eight digits CCYYMMDD to a Julian day number. Blank or all-zero text gives 0.
UNSIGNED32 EdsConvertStringToJulian(const UNSIGNED8* pucDate, UNSIGNED16 usLen, DOUBLE* pdJulian);

// ---- Tables --------------------------------------------------------------------------
// Creates the table file pucName (".edt" added when it has no extension; relative
// names are taken in the connection's folder; hConnect 0: a path is required) and
// opens it exclusively. An existing file is refused (EDS_E_FILE_EXISTS). pucAlias
// may be null or empty.
UNSIGNED32 EdsCreateTable(EDSHANDLE hConnect, const UNSIGNED8* pucName, const UNSIGNED8* pucAlias,
                          UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                          UNSIGNED16 usCheckRights, UNSIGNED16 usMemoSize, const UNSIGNED8* pucFields,
                          EDSHANDLE* phTable);
// Opens a table file (the name's case does not matter; "\" and "/" both separate).
// An exclusive open waits up to 2 s for other opens to close, then fails with
// EDS_E_TABLE_LOCKED; so does a shared open while another holds it exclusively.
UNSIGNED32 EdsOpenTable(EDSHANDLE hConnect, const UNSIGNED8* pucName, const UNSIGNED8* pucAlias,
                        UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                        UNSIGNED16 usCheckRights, UNSIGNED32 ulOptions, EDSHANDLE* phTable);
// Closes a table or an SQL cursor, with its indexes.
UNSIGNED32 EdsCloseTable(EDSHANDLE hTable);
UNSIGNED32 EdsGetTableType(EDSHANDLE hTable, UNSIGNED16* pusType);
UNSIGNED32 EdsGetTableCharType(EDSHANDLE hTable, UNSIGNED16* pusCharType);
UNSIGNED32 EdsIsTableEncrypted(EDSHANDLE hTable, UNSIGNED16* pbEncrypted);  // always 0
UNSIGNED32 EdsIsEncryptionEnabled(EDSHANDLE hTable, UNSIGNED16* pbEnabled);  // always 0
UNSIGNED32 EdsEnableEncryption(EDSHANDLE hTable, const UNSIGNED8* pucPassword);  // not supported
UNSIGNED32 EdsGetRecordLength(EDSHANDLE hTable, UNSIGNED32* pulLength);
// The options of the open, plus EDS_UPDATE_RIGHT and EDS_INSERT_RIGHT unless read-only.
UNSIGNED32 EdsGetTableOpenOptions(EDSHANDLE hTable, UNSIGNED32* pulOptions);
UNSIGNED32 EdsCacheRecords(EDSHANDLE hTable, UNSIGNED16 usNumRecords);
// The auto-increment value given to the last record appended through this table
// (or, for a statement, by its last execution).
UNSIGNED32 EdsGetLastAutoinc(EDSHANDLE hObj, UNSIGNED32* pulAutoinc);

// ---- Fields -------------------------------------------------------------------------
UNSIGNED32 EdsGetNumFields(EDSHANDLE hTable, UNSIGNED16* pusCount);
UNSIGNED32 EdsGetFieldName(EDSHANDLE hTable, UNSIGNED16 usFieldNum, UNSIGNED8* pucName, UNSIGNED16* pusLen);
UNSIGNED32 EdsGetFieldType(EDSHANDLE hTable, EdsFieldId field, UNSIGNED16* pusType);
UNSIGNED32 EdsGetFieldLength(EDSHANDLE hTable, EdsFieldId field, UNSIGNED32* pulLength);
UNSIGNED32 EdsGetFieldDecimals(EDSHANDLE hTable, EdsFieldId field, UNSIGNED16* pusDecimals);
UNSIGNED32 EdsGetFieldOffset(EDSHANDLE hTable, EdsFieldId field, UNSIGNED32* pulOffset);
// EDS_PERMISSION_READ | UPDATE | INSERT; READ alone on a read-only open or an auto-increment column.
UNSIGNED32 EdsGetColumnPermissions(EDSHANDLE hTable, EdsFieldId field, UNSIGNED16* pusPermissions);
// EDS_MEMO for text memos and varchar, EDS_BINARY for binary and image columns.
UNSIGNED32 EdsGetMemoDataType(EDSHANDLE hTable, EdsFieldId field, UNSIGNED16* pusType);
UNSIGNED32 EdsGetMemoLength(EDSHANDLE hTable, EdsFieldId field, UNSIGNED32* pulLength);
UNSIGNED32 EdsGetBinaryLength(EDSHANDLE hTable, EdsFieldId field, UNSIGNED32* pulLength);

// ---- Records ------------------------------------------------------------------------
// The current record's image (EdsGetRecordLength bytes; the pending edit when one is
// open). EDS_E_NO_CURRENT_RECORD at BOF/EOF or off a deleted record.
UNSIGNED32 EdsGetRecord(EDSHANDLE hTable, UNSIGNED8* pucRec, UNSIGNED32* pulLen);
// A column's value: character columns as text (trimmed by usOption), memo and
// binary columns as their bytes, other columns as their image. Text answers are
// zero-terminated when room allows; *pulLen in: room, out: length.
UNSIGNED32 EdsGetField(EDSHANDLE hTable, EdsFieldId field, UNSIGNED8* pucBuf, UNSIGNED32* pulLen,
                       UNSIGNED16 usOption);
// Stores a value into the pending edit (starting one on the current record if none):
// character columns take text (cut to the column), memo and binary columns the bytes,
// other columns their image. On an index handle it sets a segment of the key that
// EdsBuildRawKey builds.
UNSIGNED32 EdsSetField(EDSHANDLE hObj, EdsFieldId field, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
// Stores an image of the column's layout (length = column length).
UNSIGNED32 EdsSetFieldRaw(EDSHANDLE hObj, EdsFieldId field, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
// Null into a column, a key segment, or a statement parameter.
UNSIGNED32 EdsSetEmpty(EDSHANDLE hObj, EdsFieldId field);
UNSIGNED32 EdsIsEmpty(EDSHANDLE hTable, EdsFieldId field, UNSIGNED16* pbEmpty);
// Starts a new record (every column null, auto-increment columns numbered) and
// reserves its record number at once (EdsGetRecordNum answers it). Nothing is stored
// until EdsWriteRecord. A pending edit is written first.
UNSIGNED32 EdsAppendRecord(EDSHANDLE hTable);
// Stores the pending append or edit. On failure (for example a unique violation)
// the pending values stay, so the write can be repeated or cancelled.
UNSIGNED32 EdsWriteRecord(EDSHANDLE hTable);
// Drops the pending append or edit; EDS_E_NO_PENDING_UPDATE when there is none.
// Either way the current record is read from the file when next asked for.
UNSIGNED32 EdsCancelUpdate(EDSHANDLE hTable);
// Deletes the current record at once (a following EdsWriteRecord has nothing left to
// do). The cursor keeps the deleted record's position.
UNSIGNED32 EdsDeleteRecord(EDSHANDLE hTable);
// Reads the current record again from the file, dropping a pending edit.
UNSIGNED32 EdsRefreshRecord(EDSHANDLE hTable);
UNSIGNED32 EdsGetRecordCRC(EDSHANDLE hTable, UNSIGNED32* pulCRC, UNSIGNED32 ulOptions);
// Fills a buffer of ulLen bytes with the table's null record image.
UNSIGNED32 EdsClearRecordBuffer(EDSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
UNSIGNED32 EdsGetNullRecord(EDSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32* pulLen);
UNSIGNED32 EdsIsRecordDeleted(EDSHANDLE hTable, UNSIGNED16* pbDeleted);
// Whether the current record passes the scopes and filters of hObj (table or index).
UNSIGNED32 EdsIsRecordVisible(EDSHANDLE hObj, UNSIGNED16* pbVisible);
// Record locks hold against every other table handle, in this and other processes,
// until unlocked, the table is closed, or the process ends. ulRec 0: the current record.
UNSIGNED32 EdsLockRecord(EDSHANDLE hTable, UNSIGNED32 ulRec);
UNSIGNED32 EdsUnlockRecord(EDSHANDLE hTable, UNSIGNED32 ulRec);

// ---- Navigation ---------------------------------------------------------------------
// hObj is a table (natural order: record numbers) or an index (its key order). The
// table's position is shared by the table and all its index handles.
UNSIGNED32 EdsGotoTop(EDSHANDLE hObj);
UNSIGNED32 EdsGotoBottom(EDSHANDLE hObj);
// Before the first record (at BOF).
UNSIGNED32 EdsGotoBOF(EDSHANDLE hObj);
// Over visible records; past the end is EOF, before the start BOF (still success).
UNSIGNED32 EdsSkip(EDSHANDLE hObj, SIGNED32 lRecs);
UNSIGNED32 EdsAtBOF(EDSHANDLE hObj, UNSIGNED16* pbAtBOF);
UNSIGNED32 EdsAtEOF(EDSHANDLE hObj, UNSIGNED16* pbAtEOF);
// EDS_E_RECORD_NOT_FOUND (and the cursor at EOF) for a record that does not exist.
UNSIGNED32 EdsGotoRecord(EDSHANDLE hTable, UNSIGNED32 ulRec);
// Bookmarks: EdsGetBookmark answers the record number as a 32-bit bookmark; the
// byte form (EdsGetBookmark60) is EdsGetBookmarkLength bytes that start with the
// record number (little-endian 32-bit).
UNSIGNED32 EdsGetBookmark(EDSHANDLE hTable, EDSHANDLE* phBookmark);
UNSIGNED32 EdsGetBookmark60(EDSHANDLE hObj, UNSIGNED8* pucBookmark, UNSIGNED32* pulLength);
UNSIGNED32 EdsGetBookmarkLength(EDSHANDLE hObj, UNSIGNED32* pulLength);
// Going to the bookmark of a deleted record leaves the cursor at EOF (unpositioned)
// and answers EDS_E_RECORD_NOT_FOUND.
UNSIGNED32 EdsGotoBookmark(EDSHANDLE hTable, EDSHANDLE hBookmark);
// As EdsGotoBookmark, except that for a deleted record the cursor stands where the
// record stood, its keys taken from pucRec (its image as last read, at least
// EdsGetRecordLength bytes): a skip then goes on to its neighbours in any order,
// as when a record is deleted while the cursor stands on it. Still answers
// EDS_E_RECORD_NOT_FOUND; without an image it leaves the cursor at EOF.
UNSIGNED32 EdsGotoBookmarkOrPlace(EDSHANDLE hTable, EDSHANDLE hBookmark, const UNSIGNED8* pucRec,
                                  UNSIGNED32 ulLen);
UNSIGNED32 EdsCompareBookmarks(const UNSIGNED8* pucBookmark1, const UNSIGNED8* pucBookmark2,
                               SIGNED32* plResult);
// Record number of the current record (also while it is a pending append); 0 at BOF/EOF.
UNSIGNED32 EdsGetRecordNum(EDSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulRec);
// Position (from 1) of the current record in the index's key order.
UNSIGNED32 EdsGetKeyNum(EDSHANDLE hIndex, UNSIGNED16 usFilterOption, UNSIGNED32* pulKey);
// Relative position 0.0 .. 1.0 in the order of hObj; EDS_E_NO_POSITION without a record.
UNSIGNED32 EdsGetRelKeyPos(EDSHANDLE hObj, DOUBLE* pdPos);
UNSIGNED32 EdsSetRelKeyPos(EDSHANDLE hObj, DOUBLE dPos);
// usFilterOption: EDS_RESPECTFILTERS, EDS_IGNOREFILTERS or EDS_RESPECTSCOPES, optionally
// | EDS_REFRESHCOUNT. On a statement: the rows its last execution affected.
UNSIGNED32 EdsGetRecordCount(EDSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulCount);

// ---- Indexes ------------------------------------------------------------------------
// Creates an index tag. Expressions: a field list "A;B" or "A+B", each part a column
// name or UPPER(name); options EDS_UNIQUE, EDS_DESCENDING (EDS_COMPOUND accepted).
// pucFileName must be empty (tags live in the table file); pucCondition and pucWhile
// empty. Existing rows that break a unique index refuse its creation.
UNSIGNED32 EdsCreateIndex61(EDSHANDLE hObj, const UNSIGNED8* pucFileName, const UNSIGNED8* pucTag,
                            const UNSIGNED8* pucExpr, const UNSIGNED8* pucCondition,
                            const UNSIGNED8* pucWhile, UNSIGNED32 ulOptions, UNSIGNED32 ulPageSize,
                            EDSHANDLE* phIndex);
// Separate index files are not kept (EDS_E_NOT_SUPPORTED).
UNSIGNED32 EdsOpenIndex(EDSHANDLE hTable, const UNSIGNED8* pucName, EDSHANDLE* ahIndex,
                        UNSIGNED16* pusArrayLen);
UNSIGNED32 EdsCloseIndex(EDSHANDLE hIndex);
// Index handles of the table's tags; *pusArrayLen in: room, out: handles given.
// EDS_E_INSUFFICIENT_BUFFER (with the room filled) when there are more.
UNSIGNED32 EdsGetAllIndexes(EDSHANDLE hTable, EDSHANDLE* ahIndex, UNSIGNED16* pusArrayLen);
UNSIGNED32 EdsGetNumIndexes(EDSHANDLE hTable, UNSIGNED16* pusNum);
// The index of a tag name (case-insensitive). A null or empty name answers the
// table's active order: the index a navigation last used, or 0 for natural order.
UNSIGNED32 EdsGetIndexHandle(EDSHANDLE hTable, const UNSIGNED8* pucName, EDSHANDLE* phIndex);
UNSIGNED32 EdsGetIndexName(EDSHANDLE hIndex, UNSIGNED8* pucName, UNSIGNED16* pusLen);
// usOption 2: the table file name with its extension; other options: the full path.
UNSIGNED32 EdsGetIndexFilename(EDSHANDLE hIndex, UNSIGNED16 usOption, UNSIGNED8* pucName,
                               UNSIGNED16* pusLen);
UNSIGNED32 EdsGetIndexPageSize(EDSHANDLE hIndex, UNSIGNED32* pulPageSize);
UNSIGNED32 EdsGetIndexFlags(EDSHANDLE hIndex, UNSIGNED32* pulFlags);
// Always empty (no conditional indexes).
UNSIGNED32 EdsGetIndexCondition(EDSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen);
UNSIGNED32 EdsGetNumSegments(EDSHANDLE hIndex, UNSIGNED16* pusSegments);
// Column name of a segment, segments counted from 0; EDS_E_INVALID_ARGUMENT past the last.
UNSIGNED32 EdsGetSegmentFieldname(EDSHANDLE hIndex, UNSIGNED16 usSegment, UNSIGNED8* pucName,
                                  UNSIGNED16* pusLen);
UNSIGNED32 EdsIsIndexDescending(EDSHANDLE hIndex, UNSIGNED16* pbDescending);
UNSIGNED32 EdsIsIndexUnique(EDSHANDLE hIndex, UNSIGNED16* pbUnique);
UNSIGNED32 EdsIsIndexPrimaryKey(EDSHANDLE hIndex, UNSIGNED16* pbPrimary);  // always 0
// Raw keys: EdsInitRawKey empties the key under construction; EdsSetField,
// EdsSetFieldRaw and EdsSetEmpty on the index set its segments by column (values in
// the column's image or, for character columns, as text); EdsBuildRawKey answers the
// key of the segments given so far (leading segments only; a partial last character
// segment makes a prefix key). A raw key is opaque and only means something to the
// index that built it.
UNSIGNED32 EdsInitRawKey(EDSHANDLE hIndex);
UNSIGNED32 EdsBuildRawKey(EDSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen);
// Room a raw key of this index may need.
UNSIGNED32 EdsGetKeyLength(EDSHANDLE hIndex, UNSIGNED16* pusKeyLength);
// Seeks a key: EDS_RAWKEY (from EdsBuildRawKey) or EDS_STRINGKEY (the text of the first
// segment, or of several segments given as "a;b"). A hard seek that finds nothing leaves
// the cursor at EOF; a soft seek stands on the next key. *pbFound answers.
UNSIGNED32 EdsSeek(EDSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                   UNSIGNED16 usDataType, UNSIGNED16 usSeekType, UNSIGNED16* pbFound);
// Changes a raw key in place so that it sorts just after (+1) or just before (-1)
// every key that it is a prefix of.
UNSIGNED32 EdsStepIndexKey(EDSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                           SIGNED16 sDirection);
// Scopes limit an index's order to keys >= top and <= bottom (a key that is a prefix
// takes in every key that starts with it).
UNSIGNED32 EdsSetScope(EDSHANDLE hIndex, UNSIGNED16 usScopeOption, const UNSIGNED8* pucScope,
                       UNSIGNED16 usScopeLen, UNSIGNED16 usDataType);
// EDS_E_NO_SCOPE when that scope is not set. The answer is the key as it was given.
UNSIGNED32 EdsGetScope(EDSHANDLE hIndex, UNSIGNED16 usScopeOption, UNSIGNED8* pucScope,
                       UNSIGNED16* pusBufLen);
UNSIGNED32 EdsClearScope(EDSHANDLE hIndex, UNSIGNED16 usScopeOption);
UNSIGNED32 EdsClearAllScopes(EDSHANDLE hTable);

// ---- Filters ------------------------------------------------------------------------
// Expressions of the engine's expression language. EdsGetFilter/EdsGetAOF with a
// null buffer answer EDS_E_INSUFFICIENT_BUFFER when one is set and EDS_E_NO_FILTER
// when none is.
UNSIGNED32 EdsSetFilter(EDSHANDLE hTable, const UNSIGNED8* pucFilter);
UNSIGNED32 EdsGetFilter(EDSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen);
UNSIGNED32 EdsClearFilter(EDSHANDLE hTable);
UNSIGNED32 EdsSetAOF(EDSHANDLE hTable, const UNSIGNED8* pucFilter, UNSIGNED16 usOptions);
UNSIGNED32 EdsGetAOF(EDSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen);
UNSIGNED32 EdsClearAOF(EDSHANDLE hTable);
UNSIGNED32 EdsSetExact22(EDSHANDLE hObj, UNSIGNED16 bExact);
UNSIGNED32 EdsGetExact22(EDSHANDLE hObj, UNSIGNED16* pbExact);
UNSIGNED32 EdsEvalLogicalExpr(EDSHANDLE hObj, const UNSIGNED8* pucExpr, UNSIGNED16* pbResult);
UNSIGNED32 EdsExpressionLongToShort(EDSHANDLE hTable, const UNSIGNED8* pucLongExpr,
                                    UNSIGNED8* pucShortExpr, UNSIGNED16* pusBufLen);
UNSIGNED32 EdsExpressionShortToLong(EDSHANDLE hTable, const UNSIGNED8* pucShortExpr,
                                    UNSIGNED8* pucLongExpr, UNSIGNED16* pusBufLen);

// ---- SQL statements -------------------------------------------------------------------
UNSIGNED32 EdsCreateSQLStatement(EDSHANDLE hConnect, EDSHANDLE* phStatement);
UNSIGNED32 EdsPrepareSQL(EDSHANDLE hStatement, const UNSIGNED8* pucSql);
// *phCursor: the result cursor (a table-like handle), or 0 for a statement without rows.
// While the connection runs a transaction, a statement that would change a table is
// refused (EDS_E_TRANSACTION); statements that only read run.
UNSIGNED32 EdsExecuteSQL(EDSHANDLE hStatement, EDSHANDLE* phCursor);
UNSIGNED32 EdsExecuteSQLDirect(EDSHANDLE hStatement, const UNSIGNED8* pucSql, EDSHANDLE* phCursor);
// Closes the statement; its cursors stay open until EdsCloseTable.
UNSIGNED32 EdsCloseSQLStatement(EDSHANDLE hStatement);
// The names of the statement's parameters, ";"-separated; pucParams may be null.
UNSIGNED32 EdsGetSQLStmtParams(const UNSIGNED8* pucSql, UNSIGNED8* pucParams, UNSIGNED32* pulLen);
// EDS_CURSOR_STATIC or EDS_CURSOR_LIVE.
UNSIGNED32 EdsSqlPeekStatement(EDSHANDLE hCursor, UNSIGNED16* pusKind);
UNSIGNED32 EdsStmtSetTableLockType(EDSHANDLE hStatement, UNSIGNED16 usLockType);
UNSIGNED32 EdsStmtSetTableCharType(EDSHANDLE hStatement, UNSIGNED16 usCharType);
UNSIGNED32 EdsStmtSetTableRights(EDSHANDLE hStatement, UNSIGNED16 usCheckRights);
UNSIGNED32 EdsStmtSetTableReadOnly(EDSHANDLE hStatement, UNSIGNED16 usReadOnly);
UNSIGNED32 EdsStmtSetTableType(EDSHANDLE hStatement, UNSIGNED16 usTableType);
UNSIGNED32 EdsStmtConstrainUpdates(EDSHANDLE hStatement, UNSIGNED16 usConstrain);
UNSIGNED32 EdsStmtReadAllColumns(EDSHANDLE hStatement, UNSIGNED16 usReadAll);
// Parameter binding; parameters are numbered from 1 (or named).
UNSIGNED32 EdsSetString(EDSHANDLE hObj, EdsFieldId field, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
UNSIGNED32 EdsSetDouble(EDSHANDLE hObj, EdsFieldId field, DOUBLE dValue);
UNSIGNED32 EdsSetLogical(EDSHANDLE hObj, EdsFieldId field, UNSIGNED16 bValue);
// A Julian day number.
UNSIGNED32 EdsSetJulian(EDSHANDLE hObj, EdsFieldId field, SIGNED32 lDate);
// Milliseconds of the day.
UNSIGNED32 EdsSetMilliseconds(EDSHANDLE hObj, EdsFieldId field, SIGNED32 lTime);
// 8 bytes: Julian day (int32), then milliseconds of the day (int32).
UNSIGNED32 EdsSetTimeStampRaw(EDSHANDLE hObj, EdsFieldId field, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
// usBinaryType EDS_BINARY or EDS_IMAGE; the value is ulTotalLength bytes of which this
// call gives ulLen from ulOffset.
UNSIGNED32 EdsSetBinary(EDSHANDLE hObj, EdsFieldId field, UNSIGNED16 usBinaryType,
                        UNSIGNED32 ulTotalLength, UNSIGNED32 ulOffset, const UNSIGNED8* pucBuf,
                        UNSIGNED32 ulLen);
