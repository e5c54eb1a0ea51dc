// Every entry point the database layer calls, with its state here:
//   built            - implemented (file named)
//   not supported    - answers EDS_E_NOT_SUPPORTED by design (no data dictionaries,
//                      encryption, separate index files or remote servers)
//   expression/SQL   - answers EDS_E_NOT_SUPPORTED until the expression language and
//                      the SQL statements are built on top of the cursors
//
//   EdsGetLastError              built (EdsSettings.cpp)
//   EdsSetLastError              built (EdsSettings.cpp)
//   EdsGetErrorString            built (EdsSettings.cpp)
//   EdsShowError                 built (EdsSettings.cpp)
//   EdsSetDateFormat             built (EdsSettings.cpp)
//   EdsSetDecimals               built (EdsSettings.cpp)
//   EdsGetDecimals               built (EdsSettings.cpp)
//   EdsShowDeleted               built (EdsSettings.cpp)
//   EdsGetDeleted                built (EdsSettings.cpp)
//   EdsSetServerType             built (EdsSettings.cpp)
//   EdsCacheOpenTables           built (EdsSettings.cpp)
//   EdsCacheOpenCursors          built (EdsSettings.cpp)
//   EdsGetNumOpenTables          not yet (below)
//   EdsGetVersion                built (EdsSettings.cpp)
//   EdsConnect                   not yet (below)
//   EdsConnect60                 not yet (below)
//   EdsDisconnect                not yet (below)
//   EdsGetServerName             not yet (below)
//   EdsGetConnectionType         not yet (below)
//   EdsGetHandleType             not yet (below)
//   EdsCloseCachedTables         not yet (below)
//   EdsGetServerTime             not yet (below)
//   EdsGetNumActiveLinks         not yet (below)
//   EdsGetActiveLinkInfo         not yet (below)
//   EdsBeginTransaction          not yet (below)
//   EdsCommitTransaction         not yet (below)
//   EdsRollbackTransaction       not yet (below)
//   EdsFindFirstTable            not yet (below)
//   EdsFindNextTable             not yet (below)
//   EdsFindFirstTable62          not yet (below)
//   EdsFindNextTable62           not yet (below)
//   EdsFindClose                 not yet (below)
//   EdsDDFindFirstObject         not yet (below)
//   EdsDDFindNextObject          not yet (below)
//   EdsDDFindClose               not yet (below)
//   EdsDDGetUserProperty         not yet (below)
//   EdsDDGetTableProperty        not yet (below)
//   EdsConvertDateToJulian       not yet (below)
//   EdsConvertJulianToString     not yet (below)
//   EdsConvertStringToJulian     not yet (below)
//   EdsCreateTable               not yet (below)
//   EdsOpenTable                 not yet (below)
//   EdsCloseTable                not yet (below)
//   EdsGetTableType              not yet (below)
//   EdsGetTableCharType          not yet (below)
//   EdsIsTableEncrypted          not yet (below)
//   EdsIsEncryptionEnabled       not yet (below)
//   EdsEnableEncryption          not yet (below)
//   EdsGetRecordLength           not yet (below)
//   EdsGetTableOpenOptions       not yet (below)
//   EdsCacheRecords              not yet (below)
//   EdsGetLastAutoinc            not yet (below)
//   EdsGetNumFields              not yet (below)
//   EdsGetFieldName              not yet (below)
//   EdsGetFieldType              not yet (below)
//   EdsGetFieldLength            not yet (below)
//   EdsGetFieldDecimals          not yet (below)
//   EdsGetFieldOffset            not yet (below)
//   EdsGetColumnPermissions      not yet (below)
//   EdsGetMemoDataType           not yet (below)
//   EdsGetMemoLength             not yet (below)
//   EdsGetBinaryLength           not yet (below)
//   EdsGetRecord                 not yet (below)
//   EdsGetField                  not yet (below)
//   EdsSetField                  not yet (below)
//   EdsSetFieldRaw               not yet (below)
//   EdsSetEmpty                  not yet (below)
//   EdsIsEmpty                   not yet (below)
//   EdsAppendRecord              not yet (below)
//   EdsWriteRecord               not yet (below)
//   EdsCancelUpdate              not yet (below)
//   EdsDeleteRecord              not yet (below)
//   EdsRefreshRecord             not yet (below)
//   EdsGetRecordCRC              not yet (below)
//   EdsClearRecordBuffer         not yet (below)
//   EdsGetNullRecord             not yet (below)
//   EdsIsRecordDeleted           not yet (below)
//   EdsIsRecordVisible           not yet (below)
//   EdsLockRecord                not yet (below)
//   EdsUnlockRecord              not yet (below)
//   EdsGotoTop                   not yet (below)
//   EdsGotoBottom                not yet (below)
//   EdsGotoBOF                   not yet (below)
//   EdsSkip                      not yet (below)
//   EdsAtBOF                     not yet (below)
//   EdsAtEOF                     not yet (below)
//   EdsGotoRecord                not yet (below)
//   EdsGetBookmark               not yet (below)
//   EdsGetBookmark60             not yet (below)
//   EdsGetBookmarkLength         not yet (below)
//   EdsGotoBookmark              not yet (below)
//   EdsCompareBookmarks          not yet (below)
//   EdsGetRecordNum              not yet (below)
//   EdsGetKeyNum                 not yet (below)
//   EdsGetRelKeyPos              not yet (below)
//   EdsSetRelKeyPos              not yet (below)
//   EdsGetRecordCount            not yet (below)
//   EdsCreateIndex61             not yet (below)
//   EdsOpenIndex                 not yet (below)
//   EdsCloseIndex                not yet (below)
//   EdsGetAllIndexes             not yet (below)
//   EdsGetNumIndexes             not yet (below)
//   EdsGetIndexHandle            not yet (below)
//   EdsGetIndexName              not yet (below)
//   EdsGetIndexFilename          not yet (below)
//   EdsGetIndexPageSize          not yet (below)
//   EdsGetIndexFlags             not yet (below)
//   EdsGetIndexCondition         not yet (below)
//   EdsGetNumSegments            not yet (below)
//   EdsGetSegmentFieldname       not yet (below)
//   EdsIsIndexDescending         not yet (below)
//   EdsIsIndexUnique             not yet (below)
//   EdsIsIndexPrimaryKey         not yet (below)
//   EdsInitRawKey                not yet (below)
//   EdsBuildRawKey               not yet (below)
//   EdsGetKeyLength              not yet (below)
//   EdsSeek                      not yet (below)
//   EdsStepIndexKey              not yet (below)
//   EdsSetScope                  not yet (below)
//   EdsGetScope                  not yet (below)
//   EdsClearScope                not yet (below)
//   EdsClearAllScopes            not yet (below)
//   EdsSetFilter                 not yet (below)
//   EdsGetFilter                 not yet (below)
//   EdsClearFilter               not yet (below)
//   EdsSetAOF                    not yet (below)
//   EdsGetAOF                    not yet (below)
//   EdsClearAOF                  not yet (below)
//   EdsSetExact22                not yet (below)
//   EdsGetExact22                not yet (below)
//   EdsEvalLogicalExpr           not yet (below)
//   EdsExpressionLongToShort     not yet (below)
//   EdsExpressionShortToLong     not yet (below)
//   EdsCreateSQLStatement        not yet (below)
//   EdsPrepareSQL                not yet (below)
//   EdsExecuteSQL                not yet (below)
//   EdsExecuteSQLDirect          not yet (below)
//   EdsCloseSQLStatement         not yet (below)
//   EdsGetSQLStmtParams          not yet (below)
//   EdsSqlPeekStatement          not yet (below)
//   EdsStmtSetTableLockType      not yet (below)
//   EdsStmtSetTableCharType      not yet (below)
//   EdsStmtSetTableRights        not yet (below)
//   EdsStmtSetTableReadOnly      not yet (below)
//   EdsStmtSetTableType          not yet (below)
//   EdsStmtConstrainUpdates      not yet (below)
//   EdsStmtReadAllColumns        not yet (below)
//   EdsSetString                 not yet (below)
//   EdsSetDouble                 not yet (below)
//   EdsSetLogical                not yet (below)
//   EdsSetJulian                 not yet (below)
//   EdsSetMilliseconds           not yet (below)
//   EdsSetTimeStampRaw           not yet (below)
//   EdsSetBinary                 not yet (below)

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/eds.h"

UNSIGNED32 EdsGetNumOpenTables(UNSIGNED16*) { return eds::NotSupported("EdsGetNumOpenTables"); }
UNSIGNED32 EdsConnect(const UNSIGNED8*, EDSHANDLE*) { return eds::NotSupported("EdsConnect"); }
UNSIGNED32 EdsConnect60(const UNSIGNED8*, UNSIGNED16, const UNSIGNED8*, const UNSIGNED8*, UNSIGNED32, EDSHANDLE*) { return eds::NotSupported("EdsConnect60"); }
UNSIGNED32 EdsDisconnect(EDSHANDLE) { return eds::NotSupported("EdsDisconnect"); }
UNSIGNED32 EdsGetServerName(EDSHANDLE, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsGetServerName"); }
UNSIGNED32 EdsGetConnectionType(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsGetConnectionType"); }
UNSIGNED32 EdsGetHandleType(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsGetHandleType"); }
UNSIGNED32 EdsCloseCachedTables(EDSHANDLE) { return eds::NotSupported("EdsCloseCachedTables"); }
UNSIGNED32 EdsGetServerTime(EDSHANDLE, UNSIGNED8*, UNSIGNED16*, UNSIGNED32*, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsGetServerTime"); }
UNSIGNED32 EdsGetNumActiveLinks(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsGetNumActiveLinks"); }
UNSIGNED32 EdsGetActiveLinkInfo(EDSHANDLE, UNSIGNED16, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsGetActiveLinkInfo"); }
UNSIGNED32 EdsBeginTransaction(EDSHANDLE) { return eds::NotSupported("EdsBeginTransaction"); }
UNSIGNED32 EdsCommitTransaction(EDSHANDLE) { return eds::NotSupported("EdsCommitTransaction"); }
UNSIGNED32 EdsRollbackTransaction(EDSHANDLE) { return eds::NotSupported("EdsRollbackTransaction"); }
UNSIGNED32 EdsFindFirstTable(EDSHANDLE, const UNSIGNED8*, UNSIGNED8*, UNSIGNED16*, EDSHANDLE*) { return eds::NotSupported("EdsFindFirstTable"); }
UNSIGNED32 EdsFindNextTable(EDSHANDLE, EDSHANDLE, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsFindNextTable"); }
UNSIGNED32 EdsFindFirstTable62(EDSHANDLE, const UNSIGNED8*, UNSIGNED8*, UNSIGNED16*, UNSIGNED8*, UNSIGNED16*, EDSHANDLE*) { return eds::NotSupported("EdsFindFirstTable62"); }
UNSIGNED32 EdsFindNextTable62(EDSHANDLE, EDSHANDLE, UNSIGNED8*, UNSIGNED16*, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsFindNextTable62"); }
UNSIGNED32 EdsFindClose(EDSHANDLE, EDSHANDLE) { return eds::NotSupported("EdsFindClose"); }
UNSIGNED32 EdsDDFindFirstObject(EDSHANDLE, UNSIGNED16, const UNSIGNED8*, UNSIGNED8*, UNSIGNED16*, EDSHANDLE*) { return eds::NotSupported("EdsDDFindFirstObject"); }
UNSIGNED32 EdsDDFindNextObject(EDSHANDLE, EDSHANDLE, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsDDFindNextObject"); }
UNSIGNED32 EdsDDFindClose(EDSHANDLE, EDSHANDLE) { return eds::NotSupported("EdsDDFindClose"); }
UNSIGNED32 EdsDDGetUserProperty(EDSHANDLE, const UNSIGNED8*, UNSIGNED16, void*, UNSIGNED16*) { return eds::NotSupported("EdsDDGetUserProperty"); }
UNSIGNED32 EdsDDGetTableProperty(EDSHANDLE, const UNSIGNED8*, UNSIGNED16, void*, UNSIGNED16*) { return eds::NotSupported("EdsDDGetTableProperty"); }
UNSIGNED32 EdsConvertDateToJulian(const UNSIGNED8*, UNSIGNED16, DOUBLE*) { return eds::NotSupported("EdsConvertDateToJulian"); }
UNSIGNED32 EdsConvertJulianToString(DOUBLE, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsConvertJulianToString"); }
UNSIGNED32 EdsConvertStringToJulian(const UNSIGNED8*, UNSIGNED16, DOUBLE*) { return eds::NotSupported("EdsConvertStringToJulian"); }
UNSIGNED32 EdsCreateTable(EDSHANDLE, const UNSIGNED8*, const UNSIGNED8*, UNSIGNED16, UNSIGNED16, UNSIGNED16, UNSIGNED16, UNSIGNED16, const UNSIGNED8*, EDSHANDLE*) { return eds::NotSupported("EdsCreateTable"); }
UNSIGNED32 EdsOpenTable(EDSHANDLE, const UNSIGNED8*, const UNSIGNED8*, UNSIGNED16, UNSIGNED16, UNSIGNED16, UNSIGNED16, UNSIGNED32, EDSHANDLE*) { return eds::NotSupported("EdsOpenTable"); }
UNSIGNED32 EdsCloseTable(EDSHANDLE) { return eds::NotSupported("EdsCloseTable"); }
UNSIGNED32 EdsGetTableType(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsGetTableType"); }
UNSIGNED32 EdsGetTableCharType(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsGetTableCharType"); }
UNSIGNED32 EdsIsTableEncrypted(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsIsTableEncrypted"); }
UNSIGNED32 EdsIsEncryptionEnabled(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsIsEncryptionEnabled"); }
UNSIGNED32 EdsEnableEncryption(EDSHANDLE, const UNSIGNED8*) { return eds::NotSupported("EdsEnableEncryption"); }
UNSIGNED32 EdsGetRecordLength(EDSHANDLE, UNSIGNED32*) { return eds::NotSupported("EdsGetRecordLength"); }
UNSIGNED32 EdsGetTableOpenOptions(EDSHANDLE, UNSIGNED32*) { return eds::NotSupported("EdsGetTableOpenOptions"); }
UNSIGNED32 EdsCacheRecords(EDSHANDLE, UNSIGNED16) { return eds::NotSupported("EdsCacheRecords"); }
UNSIGNED32 EdsGetLastAutoinc(EDSHANDLE, UNSIGNED32*) { return eds::NotSupported("EdsGetLastAutoinc"); }
UNSIGNED32 EdsGetNumFields(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsGetNumFields"); }
UNSIGNED32 EdsGetFieldName(EDSHANDLE, UNSIGNED16, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsGetFieldName"); }
UNSIGNED32 EdsGetFieldType(EDSHANDLE, EdsFieldId, UNSIGNED16*) { return eds::NotSupported("EdsGetFieldType"); }
UNSIGNED32 EdsGetFieldLength(EDSHANDLE, EdsFieldId, UNSIGNED32*) { return eds::NotSupported("EdsGetFieldLength"); }
UNSIGNED32 EdsGetFieldDecimals(EDSHANDLE, EdsFieldId, UNSIGNED16*) { return eds::NotSupported("EdsGetFieldDecimals"); }
UNSIGNED32 EdsGetFieldOffset(EDSHANDLE, EdsFieldId, UNSIGNED32*) { return eds::NotSupported("EdsGetFieldOffset"); }
UNSIGNED32 EdsGetColumnPermissions(EDSHANDLE, EdsFieldId, UNSIGNED16*) { return eds::NotSupported("EdsGetColumnPermissions"); }
UNSIGNED32 EdsGetMemoDataType(EDSHANDLE, EdsFieldId, UNSIGNED16*) { return eds::NotSupported("EdsGetMemoDataType"); }
UNSIGNED32 EdsGetMemoLength(EDSHANDLE, EdsFieldId, UNSIGNED32*) { return eds::NotSupported("EdsGetMemoLength"); }
UNSIGNED32 EdsGetBinaryLength(EDSHANDLE, EdsFieldId, UNSIGNED32*) { return eds::NotSupported("EdsGetBinaryLength"); }
UNSIGNED32 EdsGetRecord(EDSHANDLE, UNSIGNED8*, UNSIGNED32*) { return eds::NotSupported("EdsGetRecord"); }
UNSIGNED32 EdsGetField(EDSHANDLE, EdsFieldId, UNSIGNED8*, UNSIGNED32*, UNSIGNED16) { return eds::NotSupported("EdsGetField"); }
UNSIGNED32 EdsSetField(EDSHANDLE, EdsFieldId, const UNSIGNED8*, UNSIGNED32) { return eds::NotSupported("EdsSetField"); }
UNSIGNED32 EdsSetFieldRaw(EDSHANDLE, EdsFieldId, const UNSIGNED8*, UNSIGNED32) { return eds::NotSupported("EdsSetFieldRaw"); }
UNSIGNED32 EdsSetEmpty(EDSHANDLE, EdsFieldId) { return eds::NotSupported("EdsSetEmpty"); }
UNSIGNED32 EdsIsEmpty(EDSHANDLE, EdsFieldId, UNSIGNED16*) { return eds::NotSupported("EdsIsEmpty"); }
UNSIGNED32 EdsAppendRecord(EDSHANDLE) { return eds::NotSupported("EdsAppendRecord"); }
UNSIGNED32 EdsWriteRecord(EDSHANDLE) { return eds::NotSupported("EdsWriteRecord"); }
UNSIGNED32 EdsCancelUpdate(EDSHANDLE) { return eds::NotSupported("EdsCancelUpdate"); }
UNSIGNED32 EdsDeleteRecord(EDSHANDLE) { return eds::NotSupported("EdsDeleteRecord"); }
UNSIGNED32 EdsRefreshRecord(EDSHANDLE) { return eds::NotSupported("EdsRefreshRecord"); }
UNSIGNED32 EdsGetRecordCRC(EDSHANDLE, UNSIGNED32*, UNSIGNED32) { return eds::NotSupported("EdsGetRecordCRC"); }
UNSIGNED32 EdsClearRecordBuffer(EDSHANDLE, UNSIGNED8*, UNSIGNED32) { return eds::NotSupported("EdsClearRecordBuffer"); }
UNSIGNED32 EdsGetNullRecord(EDSHANDLE, UNSIGNED8*, UNSIGNED32*) { return eds::NotSupported("EdsGetNullRecord"); }
UNSIGNED32 EdsIsRecordDeleted(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsIsRecordDeleted"); }
UNSIGNED32 EdsIsRecordVisible(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsIsRecordVisible"); }
UNSIGNED32 EdsLockRecord(EDSHANDLE, UNSIGNED32) { return eds::NotSupported("EdsLockRecord"); }
UNSIGNED32 EdsUnlockRecord(EDSHANDLE, UNSIGNED32) { return eds::NotSupported("EdsUnlockRecord"); }
UNSIGNED32 EdsGotoTop(EDSHANDLE) { return eds::NotSupported("EdsGotoTop"); }
UNSIGNED32 EdsGotoBottom(EDSHANDLE) { return eds::NotSupported("EdsGotoBottom"); }
UNSIGNED32 EdsGotoBOF(EDSHANDLE) { return eds::NotSupported("EdsGotoBOF"); }
UNSIGNED32 EdsSkip(EDSHANDLE, SIGNED32) { return eds::NotSupported("EdsSkip"); }
UNSIGNED32 EdsAtBOF(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsAtBOF"); }
UNSIGNED32 EdsAtEOF(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsAtEOF"); }
UNSIGNED32 EdsGotoRecord(EDSHANDLE, UNSIGNED32) { return eds::NotSupported("EdsGotoRecord"); }
UNSIGNED32 EdsGetBookmark(EDSHANDLE, EDSHANDLE*) { return eds::NotSupported("EdsGetBookmark"); }
UNSIGNED32 EdsGetBookmark60(EDSHANDLE, UNSIGNED8*, UNSIGNED32*) { return eds::NotSupported("EdsGetBookmark60"); }
UNSIGNED32 EdsGetBookmarkLength(EDSHANDLE, UNSIGNED32*) { return eds::NotSupported("EdsGetBookmarkLength"); }
UNSIGNED32 EdsGotoBookmark(EDSHANDLE, EDSHANDLE) { return eds::NotSupported("EdsGotoBookmark"); }
UNSIGNED32 EdsCompareBookmarks(const UNSIGNED8*, const UNSIGNED8*, SIGNED32*) { return eds::NotSupported("EdsCompareBookmarks"); }
UNSIGNED32 EdsGetRecordNum(EDSHANDLE, UNSIGNED16, UNSIGNED32*) { return eds::NotSupported("EdsGetRecordNum"); }
UNSIGNED32 EdsGetKeyNum(EDSHANDLE, UNSIGNED16, UNSIGNED32*) { return eds::NotSupported("EdsGetKeyNum"); }
UNSIGNED32 EdsGetRelKeyPos(EDSHANDLE, DOUBLE*) { return eds::NotSupported("EdsGetRelKeyPos"); }
UNSIGNED32 EdsSetRelKeyPos(EDSHANDLE, DOUBLE) { return eds::NotSupported("EdsSetRelKeyPos"); }
UNSIGNED32 EdsGetRecordCount(EDSHANDLE, UNSIGNED16, UNSIGNED32*) { return eds::NotSupported("EdsGetRecordCount"); }
UNSIGNED32 EdsCreateIndex61(EDSHANDLE, const UNSIGNED8*, const UNSIGNED8*, const UNSIGNED8*, const UNSIGNED8*, const UNSIGNED8*, UNSIGNED32, UNSIGNED32, EDSHANDLE*) { return eds::NotSupported("EdsCreateIndex61"); }
UNSIGNED32 EdsOpenIndex(EDSHANDLE, const UNSIGNED8*, EDSHANDLE*, UNSIGNED16*) { return eds::NotSupported("EdsOpenIndex"); }
UNSIGNED32 EdsCloseIndex(EDSHANDLE) { return eds::NotSupported("EdsCloseIndex"); }
UNSIGNED32 EdsGetAllIndexes(EDSHANDLE, EDSHANDLE*, UNSIGNED16*) { return eds::NotSupported("EdsGetAllIndexes"); }
UNSIGNED32 EdsGetNumIndexes(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsGetNumIndexes"); }
UNSIGNED32 EdsGetIndexHandle(EDSHANDLE, const UNSIGNED8*, EDSHANDLE*) { return eds::NotSupported("EdsGetIndexHandle"); }
UNSIGNED32 EdsGetIndexName(EDSHANDLE, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsGetIndexName"); }
UNSIGNED32 EdsGetIndexFilename(EDSHANDLE, UNSIGNED16, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsGetIndexFilename"); }
UNSIGNED32 EdsGetIndexPageSize(EDSHANDLE, UNSIGNED32*) { return eds::NotSupported("EdsGetIndexPageSize"); }
UNSIGNED32 EdsGetIndexFlags(EDSHANDLE, UNSIGNED32*) { return eds::NotSupported("EdsGetIndexFlags"); }
UNSIGNED32 EdsGetIndexCondition(EDSHANDLE, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsGetIndexCondition"); }
UNSIGNED32 EdsGetNumSegments(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsGetNumSegments"); }
UNSIGNED32 EdsGetSegmentFieldname(EDSHANDLE, UNSIGNED16, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsGetSegmentFieldname"); }
UNSIGNED32 EdsIsIndexDescending(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsIsIndexDescending"); }
UNSIGNED32 EdsIsIndexUnique(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsIsIndexUnique"); }
UNSIGNED32 EdsIsIndexPrimaryKey(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsIsIndexPrimaryKey"); }
UNSIGNED32 EdsInitRawKey(EDSHANDLE) { return eds::NotSupported("EdsInitRawKey"); }
UNSIGNED32 EdsBuildRawKey(EDSHANDLE, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsBuildRawKey"); }
UNSIGNED32 EdsGetKeyLength(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsGetKeyLength"); }
UNSIGNED32 EdsSeek(EDSHANDLE, const UNSIGNED8*, UNSIGNED16, UNSIGNED16, UNSIGNED16, UNSIGNED16*) { return eds::NotSupported("EdsSeek"); }
UNSIGNED32 EdsStepIndexKey(EDSHANDLE, UNSIGNED8*, UNSIGNED16, SIGNED16) { return eds::NotSupported("EdsStepIndexKey"); }
UNSIGNED32 EdsSetScope(EDSHANDLE, UNSIGNED16, const UNSIGNED8*, UNSIGNED16, UNSIGNED16) { return eds::NotSupported("EdsSetScope"); }
UNSIGNED32 EdsGetScope(EDSHANDLE, UNSIGNED16, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsGetScope"); }
UNSIGNED32 EdsClearScope(EDSHANDLE, UNSIGNED16) { return eds::NotSupported("EdsClearScope"); }
UNSIGNED32 EdsClearAllScopes(EDSHANDLE) { return eds::NotSupported("EdsClearAllScopes"); }
UNSIGNED32 EdsSetFilter(EDSHANDLE, const UNSIGNED8*) { return eds::NotSupported("EdsSetFilter"); }
UNSIGNED32 EdsGetFilter(EDSHANDLE, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsGetFilter"); }
UNSIGNED32 EdsClearFilter(EDSHANDLE) { return eds::NotSupported("EdsClearFilter"); }
UNSIGNED32 EdsSetAOF(EDSHANDLE, const UNSIGNED8*, UNSIGNED16) { return eds::NotSupported("EdsSetAOF"); }
UNSIGNED32 EdsGetAOF(EDSHANDLE, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsGetAOF"); }
UNSIGNED32 EdsClearAOF(EDSHANDLE) { return eds::NotSupported("EdsClearAOF"); }
UNSIGNED32 EdsSetExact22(EDSHANDLE, UNSIGNED16) { return eds::NotSupported("EdsSetExact22"); }
UNSIGNED32 EdsGetExact22(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsGetExact22"); }
UNSIGNED32 EdsEvalLogicalExpr(EDSHANDLE, const UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsEvalLogicalExpr"); }
UNSIGNED32 EdsExpressionLongToShort(EDSHANDLE, const UNSIGNED8*, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsExpressionLongToShort"); }
UNSIGNED32 EdsExpressionShortToLong(EDSHANDLE, const UNSIGNED8*, UNSIGNED8*, UNSIGNED16*) { return eds::NotSupported("EdsExpressionShortToLong"); }
UNSIGNED32 EdsCreateSQLStatement(EDSHANDLE, EDSHANDLE*) { return eds::NotSupported("EdsCreateSQLStatement"); }
UNSIGNED32 EdsPrepareSQL(EDSHANDLE, const UNSIGNED8*) { return eds::NotSupported("EdsPrepareSQL"); }
UNSIGNED32 EdsExecuteSQL(EDSHANDLE, EDSHANDLE*) { return eds::NotSupported("EdsExecuteSQL"); }
UNSIGNED32 EdsExecuteSQLDirect(EDSHANDLE, const UNSIGNED8*, EDSHANDLE*) { return eds::NotSupported("EdsExecuteSQLDirect"); }
UNSIGNED32 EdsCloseSQLStatement(EDSHANDLE) { return eds::NotSupported("EdsCloseSQLStatement"); }
UNSIGNED32 EdsGetSQLStmtParams(const UNSIGNED8*, UNSIGNED8*, UNSIGNED32*) { return eds::NotSupported("EdsGetSQLStmtParams"); }
UNSIGNED32 EdsSqlPeekStatement(EDSHANDLE, UNSIGNED16*) { return eds::NotSupported("EdsSqlPeekStatement"); }
UNSIGNED32 EdsStmtSetTableLockType(EDSHANDLE, UNSIGNED16) { return eds::NotSupported("EdsStmtSetTableLockType"); }
UNSIGNED32 EdsStmtSetTableCharType(EDSHANDLE, UNSIGNED16) { return eds::NotSupported("EdsStmtSetTableCharType"); }
UNSIGNED32 EdsStmtSetTableRights(EDSHANDLE, UNSIGNED16) { return eds::NotSupported("EdsStmtSetTableRights"); }
UNSIGNED32 EdsStmtSetTableReadOnly(EDSHANDLE, UNSIGNED16) { return eds::NotSupported("EdsStmtSetTableReadOnly"); }
UNSIGNED32 EdsStmtSetTableType(EDSHANDLE, UNSIGNED16) { return eds::NotSupported("EdsStmtSetTableType"); }
UNSIGNED32 EdsStmtConstrainUpdates(EDSHANDLE, UNSIGNED16) { return eds::NotSupported("EdsStmtConstrainUpdates"); }
UNSIGNED32 EdsStmtReadAllColumns(EDSHANDLE, UNSIGNED16) { return eds::NotSupported("EdsStmtReadAllColumns"); }
UNSIGNED32 EdsSetString(EDSHANDLE, EdsFieldId, const UNSIGNED8*, UNSIGNED32) { return eds::NotSupported("EdsSetString"); }
UNSIGNED32 EdsSetDouble(EDSHANDLE, EdsFieldId, DOUBLE) { return eds::NotSupported("EdsSetDouble"); }
UNSIGNED32 EdsSetLogical(EDSHANDLE, EdsFieldId, UNSIGNED16) { return eds::NotSupported("EdsSetLogical"); }
UNSIGNED32 EdsSetJulian(EDSHANDLE, EdsFieldId, SIGNED32) { return eds::NotSupported("EdsSetJulian"); }
UNSIGNED32 EdsSetMilliseconds(EDSHANDLE, EdsFieldId, SIGNED32) { return eds::NotSupported("EdsSetMilliseconds"); }
UNSIGNED32 EdsSetTimeStampRaw(EDSHANDLE, EdsFieldId, const UNSIGNED8*, UNSIGNED32) { return eds::NotSupported("EdsSetTimeStampRaw"); }
UNSIGNED32 EdsSetBinary(EDSHANDLE, EdsFieldId, UNSIGNED16, UNSIGNED32, UNSIGNED32, const UNSIGNED8*, UNSIGNED32) { return eds::NotSupported("EdsSetBinary"); }
