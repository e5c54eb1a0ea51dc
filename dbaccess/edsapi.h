#pragma once
// The one table through which the database layer calls the client table engine.
// Every entry defaults to the engine's own function. Tests replace single
// entries (with a TEdsEntryPointsGuard restoring them) to produce answers the
// engine never gives, such as a dictionary-only code or a failing disconnect.
//
// Replacing entries is not synchronised: do it only while no other thread can
// call the engine.

#include "platform/edsengine/eds.h"

#include <string>
#include <string_view>

struct TEdsEntryPoints {
    decltype(&::EdsAppendRecord) EdsAppendRecord = &::EdsAppendRecord;
    decltype(&::EdsAtBOF) EdsAtBOF = &::EdsAtBOF;
    decltype(&::EdsAtEOF) EdsAtEOF = &::EdsAtEOF;
    decltype(&::EdsBeginTransaction) EdsBeginTransaction = &::EdsBeginTransaction;
    decltype(&::EdsBuildRawKey) EdsBuildRawKey = &::EdsBuildRawKey;
    decltype(&::EdsCacheOpenCursors) EdsCacheOpenCursors = &::EdsCacheOpenCursors;
    decltype(&::EdsCacheOpenTables) EdsCacheOpenTables = &::EdsCacheOpenTables;
    decltype(&::EdsCacheRecords) EdsCacheRecords = &::EdsCacheRecords;
    decltype(&::EdsCancelUpdate) EdsCancelUpdate = &::EdsCancelUpdate;
    decltype(&::EdsClearAOF) EdsClearAOF = &::EdsClearAOF;
    decltype(&::EdsClearAllScopes) EdsClearAllScopes = &::EdsClearAllScopes;
    decltype(&::EdsClearFilter) EdsClearFilter = &::EdsClearFilter;
    decltype(&::EdsClearRecordBuffer) EdsClearRecordBuffer = &::EdsClearRecordBuffer;
    decltype(&::EdsClearScope) EdsClearScope = &::EdsClearScope;
    decltype(&::EdsCloseCachedTables) EdsCloseCachedTables = &::EdsCloseCachedTables;
    decltype(&::EdsCloseIndex) EdsCloseIndex = &::EdsCloseIndex;
    decltype(&::EdsCloseSQLStatement) EdsCloseSQLStatement = &::EdsCloseSQLStatement;
    decltype(&::EdsCloseTable) EdsCloseTable = &::EdsCloseTable;
    decltype(&::EdsCommitTransaction) EdsCommitTransaction = &::EdsCommitTransaction;
    decltype(&::EdsCompareBookmarks) EdsCompareBookmarks = &::EdsCompareBookmarks;
    decltype(&::EdsConnect) EdsConnect = &::EdsConnect;
    decltype(&::EdsConnect60) EdsConnect60 = &::EdsConnect60;
    decltype(&::EdsConvertDateToJulian) EdsConvertDateToJulian = &::EdsConvertDateToJulian;
    decltype(&::EdsConvertJulianToString) EdsConvertJulianToString = &::EdsConvertJulianToString;
    decltype(&::EdsConvertStringToJulian) EdsConvertStringToJulian = &::EdsConvertStringToJulian;
    decltype(&::EdsCreateIndex61) EdsCreateIndex61 = &::EdsCreateIndex61;
    decltype(&::EdsCreateSQLStatement) EdsCreateSQLStatement = &::EdsCreateSQLStatement;
    decltype(&::EdsCreateTable) EdsCreateTable = &::EdsCreateTable;
    decltype(&::EdsDDFindClose) EdsDDFindClose = &::EdsDDFindClose;
    decltype(&::EdsDDFindFirstObject) EdsDDFindFirstObject = &::EdsDDFindFirstObject;
    decltype(&::EdsDDFindNextObject) EdsDDFindNextObject = &::EdsDDFindNextObject;
    decltype(&::EdsDDGetTableProperty) EdsDDGetTableProperty = &::EdsDDGetTableProperty;
    decltype(&::EdsDDGetUserProperty) EdsDDGetUserProperty = &::EdsDDGetUserProperty;
    decltype(&::EdsDeleteRecord) EdsDeleteRecord = &::EdsDeleteRecord;
    decltype(&::EdsDisconnect) EdsDisconnect = &::EdsDisconnect;
    decltype(&::EdsEnableEncryption) EdsEnableEncryption = &::EdsEnableEncryption;
    decltype(&::EdsEvalLogicalExpr) EdsEvalLogicalExpr = &::EdsEvalLogicalExpr;
    decltype(&::EdsExecuteSQL) EdsExecuteSQL = &::EdsExecuteSQL;
    decltype(&::EdsExecuteSQLDirect) EdsExecuteSQLDirect = &::EdsExecuteSQLDirect;
    decltype(&::EdsExpressionLongToShort) EdsExpressionLongToShort = &::EdsExpressionLongToShort;
    decltype(&::EdsExpressionShortToLong) EdsExpressionShortToLong = &::EdsExpressionShortToLong;
    decltype(&::EdsFindClose) EdsFindClose = &::EdsFindClose;
    decltype(&::EdsFindFirstTable) EdsFindFirstTable = &::EdsFindFirstTable;
    decltype(&::EdsFindFirstTable62) EdsFindFirstTable62 = &::EdsFindFirstTable62;
    decltype(&::EdsFindNextTable) EdsFindNextTable = &::EdsFindNextTable;
    decltype(&::EdsFindNextTable62) EdsFindNextTable62 = &::EdsFindNextTable62;
    decltype(&::EdsGetAOF) EdsGetAOF = &::EdsGetAOF;
    decltype(&::EdsGetActiveLinkInfo) EdsGetActiveLinkInfo = &::EdsGetActiveLinkInfo;
    decltype(&::EdsGetAllIndexes) EdsGetAllIndexes = &::EdsGetAllIndexes;
    decltype(&::EdsGetBinaryLength) EdsGetBinaryLength = &::EdsGetBinaryLength;
    decltype(&::EdsGetBookmark) EdsGetBookmark = &::EdsGetBookmark;
    decltype(&::EdsGetBookmark60) EdsGetBookmark60 = &::EdsGetBookmark60;
    decltype(&::EdsGetBookmarkLength) EdsGetBookmarkLength = &::EdsGetBookmarkLength;
    decltype(&::EdsGetColumnPermissions) EdsGetColumnPermissions = &::EdsGetColumnPermissions;
    decltype(&::EdsGetConnectionType) EdsGetConnectionType = &::EdsGetConnectionType;
    decltype(&::EdsGetDecimals) EdsGetDecimals = &::EdsGetDecimals;
    decltype(&::EdsGetDeleted) EdsGetDeleted = &::EdsGetDeleted;
    decltype(&::EdsGetErrorString) EdsGetErrorString = &::EdsGetErrorString;
    decltype(&::EdsGetExact22) EdsGetExact22 = &::EdsGetExact22;
    decltype(&::EdsGetField) EdsGetField = &::EdsGetField;
    decltype(&::EdsGetFieldDecimals) EdsGetFieldDecimals = &::EdsGetFieldDecimals;
    decltype(&::EdsGetFieldLength) EdsGetFieldLength = &::EdsGetFieldLength;
    decltype(&::EdsGetFieldName) EdsGetFieldName = &::EdsGetFieldName;
    decltype(&::EdsGetFieldOffset) EdsGetFieldOffset = &::EdsGetFieldOffset;
    decltype(&::EdsGetFieldType) EdsGetFieldType = &::EdsGetFieldType;
    decltype(&::EdsGetFilter) EdsGetFilter = &::EdsGetFilter;
    decltype(&::EdsGetHandleType) EdsGetHandleType = &::EdsGetHandleType;
    decltype(&::EdsGetIndexCondition) EdsGetIndexCondition = &::EdsGetIndexCondition;
    decltype(&::EdsGetIndexFilename) EdsGetIndexFilename = &::EdsGetIndexFilename;
    decltype(&::EdsGetIndexFlags) EdsGetIndexFlags = &::EdsGetIndexFlags;
    decltype(&::EdsGetIndexHandle) EdsGetIndexHandle = &::EdsGetIndexHandle;
    decltype(&::EdsGetIndexName) EdsGetIndexName = &::EdsGetIndexName;
    decltype(&::EdsGetIndexPageSize) EdsGetIndexPageSize = &::EdsGetIndexPageSize;
    decltype(&::EdsGetKeyLength) EdsGetKeyLength = &::EdsGetKeyLength;
    decltype(&::EdsGetKeyNum) EdsGetKeyNum = &::EdsGetKeyNum;
    decltype(&::EdsGetLastAutoinc) EdsGetLastAutoinc = &::EdsGetLastAutoinc;
    decltype(&::EdsGetLastError) EdsGetLastError = &::EdsGetLastError;
    decltype(&::EdsGetMemoDataType) EdsGetMemoDataType = &::EdsGetMemoDataType;
    decltype(&::EdsGetMemoLength) EdsGetMemoLength = &::EdsGetMemoLength;
    decltype(&::EdsGetNullRecord) EdsGetNullRecord = &::EdsGetNullRecord;
    decltype(&::EdsGetNumActiveLinks) EdsGetNumActiveLinks = &::EdsGetNumActiveLinks;
    decltype(&::EdsGetNumFields) EdsGetNumFields = &::EdsGetNumFields;
    decltype(&::EdsGetNumIndexes) EdsGetNumIndexes = &::EdsGetNumIndexes;
    decltype(&::EdsGetNumOpenTables) EdsGetNumOpenTables = &::EdsGetNumOpenTables;
    decltype(&::EdsGetNumSegments) EdsGetNumSegments = &::EdsGetNumSegments;
    decltype(&::EdsGetRecord) EdsGetRecord = &::EdsGetRecord;
    decltype(&::EdsGetRecordCRC) EdsGetRecordCRC = &::EdsGetRecordCRC;
    decltype(&::EdsGetRecordCount) EdsGetRecordCount = &::EdsGetRecordCount;
    decltype(&::EdsGetRecordLength) EdsGetRecordLength = &::EdsGetRecordLength;
    decltype(&::EdsGetRecordNum) EdsGetRecordNum = &::EdsGetRecordNum;
    decltype(&::EdsGetRelKeyPos) EdsGetRelKeyPos = &::EdsGetRelKeyPos;
    decltype(&::EdsGetSQLStmtParams) EdsGetSQLStmtParams = &::EdsGetSQLStmtParams;
    decltype(&::EdsGetScope) EdsGetScope = &::EdsGetScope;
    decltype(&::EdsGetSegmentFieldname) EdsGetSegmentFieldname = &::EdsGetSegmentFieldname;
    decltype(&::EdsGetServerName) EdsGetServerName = &::EdsGetServerName;
    decltype(&::EdsGetServerTime) EdsGetServerTime = &::EdsGetServerTime;
    decltype(&::EdsGetTableCharType) EdsGetTableCharType = &::EdsGetTableCharType;
    decltype(&::EdsGetTableOpenOptions) EdsGetTableOpenOptions = &::EdsGetTableOpenOptions;
    decltype(&::EdsGetTableType) EdsGetTableType = &::EdsGetTableType;
    decltype(&::EdsGetVersion) EdsGetVersion = &::EdsGetVersion;
    decltype(&::EdsGotoBOF) EdsGotoBOF = &::EdsGotoBOF;
    decltype(&::EdsGotoBookmark) EdsGotoBookmark = &::EdsGotoBookmark;
    decltype(&::EdsGotoBookmarkOrPlace) EdsGotoBookmarkOrPlace = &::EdsGotoBookmarkOrPlace;
    decltype(&::EdsGotoBottom) EdsGotoBottom = &::EdsGotoBottom;
    decltype(&::EdsGotoRecord) EdsGotoRecord = &::EdsGotoRecord;
    decltype(&::EdsGotoTop) EdsGotoTop = &::EdsGotoTop;
    decltype(&::EdsInitRawKey) EdsInitRawKey = &::EdsInitRawKey;
    decltype(&::EdsIsEmpty) EdsIsEmpty = &::EdsIsEmpty;
    decltype(&::EdsIsEncryptionEnabled) EdsIsEncryptionEnabled = &::EdsIsEncryptionEnabled;
    decltype(&::EdsIsIndexDescending) EdsIsIndexDescending = &::EdsIsIndexDescending;
    decltype(&::EdsIsIndexPrimaryKey) EdsIsIndexPrimaryKey = &::EdsIsIndexPrimaryKey;
    decltype(&::EdsIsIndexUnique) EdsIsIndexUnique = &::EdsIsIndexUnique;
    decltype(&::EdsIsRecordDeleted) EdsIsRecordDeleted = &::EdsIsRecordDeleted;
    decltype(&::EdsIsRecordVisible) EdsIsRecordVisible = &::EdsIsRecordVisible;
    decltype(&::EdsIsTableEncrypted) EdsIsTableEncrypted = &::EdsIsTableEncrypted;
    decltype(&::EdsLockRecord) EdsLockRecord = &::EdsLockRecord;
    decltype(&::EdsOpenIndex) EdsOpenIndex = &::EdsOpenIndex;
    decltype(&::EdsOpenTable) EdsOpenTable = &::EdsOpenTable;
    decltype(&::EdsPrepareSQL) EdsPrepareSQL = &::EdsPrepareSQL;
    decltype(&::EdsRefreshRecord) EdsRefreshRecord = &::EdsRefreshRecord;
    decltype(&::EdsRollbackTransaction) EdsRollbackTransaction = &::EdsRollbackTransaction;
    decltype(&::EdsSeek) EdsSeek = &::EdsSeek;
    decltype(&::EdsSetAOF) EdsSetAOF = &::EdsSetAOF;
    decltype(&::EdsSetBinary) EdsSetBinary = &::EdsSetBinary;
    decltype(&::EdsSetDateFormat) EdsSetDateFormat = &::EdsSetDateFormat;
    decltype(&::EdsSetDecimals) EdsSetDecimals = &::EdsSetDecimals;
    decltype(&::EdsSetDouble) EdsSetDouble = &::EdsSetDouble;
    decltype(&::EdsSetEmpty) EdsSetEmpty = &::EdsSetEmpty;
    decltype(&::EdsSetExact22) EdsSetExact22 = &::EdsSetExact22;
    decltype(&::EdsSetField) EdsSetField = &::EdsSetField;
    decltype(&::EdsSetFieldRaw) EdsSetFieldRaw = &::EdsSetFieldRaw;
    decltype(&::EdsSetFilter) EdsSetFilter = &::EdsSetFilter;
    decltype(&::EdsSetJulian) EdsSetJulian = &::EdsSetJulian;
    decltype(&::EdsSetLastError) EdsSetLastError = &::EdsSetLastError;
    decltype(&::EdsSetLogical) EdsSetLogical = &::EdsSetLogical;
    decltype(&::EdsSetMilliseconds) EdsSetMilliseconds = &::EdsSetMilliseconds;
    decltype(&::EdsSetRelKeyPos) EdsSetRelKeyPos = &::EdsSetRelKeyPos;
    decltype(&::EdsSetScope) EdsSetScope = &::EdsSetScope;
    decltype(&::EdsSetServerType) EdsSetServerType = &::EdsSetServerType;
    decltype(&::EdsSetString) EdsSetString = &::EdsSetString;
    decltype(&::EdsSetTimeStampRaw) EdsSetTimeStampRaw = &::EdsSetTimeStampRaw;
    decltype(&::EdsShowDeleted) EdsShowDeleted = &::EdsShowDeleted;
    decltype(&::EdsShowError) EdsShowError = &::EdsShowError;
    decltype(&::EdsSkip) EdsSkip = &::EdsSkip;
    decltype(&::EdsSqlPeekStatement) EdsSqlPeekStatement = &::EdsSqlPeekStatement;
    decltype(&::EdsStepIndexKey) EdsStepIndexKey = &::EdsStepIndexKey;
    decltype(&::EdsStmtConstrainUpdates) EdsStmtConstrainUpdates = &::EdsStmtConstrainUpdates;
    decltype(&::EdsStmtReadAllColumns) EdsStmtReadAllColumns = &::EdsStmtReadAllColumns;
    decltype(&::EdsStmtSetTableCharType) EdsStmtSetTableCharType = &::EdsStmtSetTableCharType;
    decltype(&::EdsStmtSetTableLockType) EdsStmtSetTableLockType = &::EdsStmtSetTableLockType;
    decltype(&::EdsStmtSetTableReadOnly) EdsStmtSetTableReadOnly = &::EdsStmtSetTableReadOnly;
    decltype(&::EdsStmtSetTableRights) EdsStmtSetTableRights = &::EdsStmtSetTableRights;
    decltype(&::EdsStmtSetTableType) EdsStmtSetTableType = &::EdsStmtSetTableType;
    decltype(&::EdsUnlockRecord) EdsUnlockRecord = &::EdsUnlockRecord;
    decltype(&::EdsWriteRecord) EdsWriteRecord = &::EdsWriteRecord;
};

// The process's table. Constant-initialised, so it is usable from any static
// constructor or destructor.
extern TEdsEntryPoints EdsApi;

// Puts the whole table back as it was at construction.
class TEdsEntryPointsGuard {
public:
    TEdsEntryPointsGuard() : saved_(EdsApi) {}
    ~TEdsEntryPointsGuard() { EdsApi = saved_; }
    TEdsEntryPointsGuard(const TEdsEntryPointsGuard&) = delete;
    TEdsEntryPointsGuard& operator=(const TEdsEntryPointsGuard&) = delete;

private:
    TEdsEntryPoints saved_;
};

// A text as the engine takes it: zero-terminated 8-bit characters.
inline const UNSIGNED8* EdsText(const std::string& text) {
    return reinterpret_cast<const UNSIGNED8*>(text.c_str());
}

// The text an engine call wrote into `buffer`, `length` characters long (cut at
// the buffer's size and at a zero, whichever comes first).
std::string EdsBufferText(const UNSIGNED8* buffer, std::size_t size, std::size_t length);
