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
//   EdsGetNumOpenTables          built (EdsApiTables.cpp)
//   EdsGetVersion                built (EdsSettings.cpp)
//   EdsConnect                   built (EdsApiTables.cpp)
//   EdsConnect60                 built (EdsApiTables.cpp)
//   EdsDisconnect                built (EdsApiTables.cpp)
//   EdsGetServerName             built (EdsApiTables.cpp)
//   EdsGetConnectionType         built (EdsApiTables.cpp)
//   EdsGetHandleType             built (EdsApiTables.cpp)
//   EdsCloseCachedTables         built (EdsApiTables.cpp)
//   EdsGetServerTime             built (EdsApiTables.cpp)
//   EdsGetNumActiveLinks         built (EdsApiTables.cpp)
//   EdsGetActiveLinkInfo         built (EdsApiTables.cpp)
//   EdsBeginTransaction          built (EdsApiNavigation.cpp)
//   EdsCommitTransaction         built (EdsApiNavigation.cpp)
//   EdsRollbackTransaction       built (EdsApiNavigation.cpp)
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
//   EdsConvertDateToJulian       built (EdsApiTables.cpp)
//   EdsConvertJulianToString     built (EdsApiTables.cpp)
//   EdsConvertStringToJulian     built (EdsApiTables.cpp)
//   EdsCreateTable               built (EdsApiTables.cpp)
//   EdsOpenTable                 built (EdsApiTables.cpp)
//   EdsCloseTable                built (EdsApiTables.cpp)
//   EdsGetTableType              built (EdsApiTables.cpp)
//   EdsGetTableCharType          built (EdsApiTables.cpp)
//   EdsIsTableEncrypted          built (EdsApiTables.cpp)
//   EdsIsEncryptionEnabled       built (EdsApiTables.cpp)
//   EdsEnableEncryption          built (EdsApiTables.cpp)
//   EdsGetRecordLength           built (EdsApiTables.cpp)
//   EdsGetTableOpenOptions       built (EdsApiTables.cpp)
//   EdsCacheRecords              built (EdsApiTables.cpp)
//   EdsGetLastAutoinc            built (EdsApiTables.cpp)
//   EdsGetNumFields              built (EdsApiTables.cpp)
//   EdsGetFieldName              built (EdsApiTables.cpp)
//   EdsGetFieldType              built (EdsApiTables.cpp)
//   EdsGetFieldLength            built (EdsApiTables.cpp)
//   EdsGetFieldDecimals          built (EdsApiTables.cpp)
//   EdsGetFieldOffset            built (EdsApiTables.cpp)
//   EdsGetColumnPermissions      built (EdsApiTables.cpp)
//   EdsGetMemoDataType           built (EdsApiTables.cpp)
//   EdsGetMemoLength             built (EdsApiTables.cpp)
//   EdsGetBinaryLength           built (EdsApiTables.cpp)
//   EdsGetRecord                 built (EdsApiTables.cpp)
//   EdsGetField                  built (EdsApiTables.cpp)
//   EdsSetField                  built (EdsApiTables.cpp)
//   EdsSetFieldRaw               built (EdsApiTables.cpp)
//   EdsSetEmpty                  built (EdsApiTables.cpp)
//   EdsIsEmpty                   built (EdsApiTables.cpp)
//   EdsAppendRecord              built (EdsApiTables.cpp)
//   EdsWriteRecord               built (EdsApiTables.cpp)
//   EdsCancelUpdate              built (EdsApiTables.cpp)
//   EdsDeleteRecord              built (EdsApiTables.cpp)
//   EdsRefreshRecord             built (EdsApiTables.cpp)
//   EdsGetRecordCRC              built (EdsApiTables.cpp)
//   EdsClearRecordBuffer         built (EdsApiTables.cpp)
//   EdsGetNullRecord             built (EdsApiTables.cpp)
//   EdsIsRecordDeleted           built (EdsApiNavigation.cpp)
//   EdsIsRecordVisible           built (EdsApiNavigation.cpp)
//   EdsLockRecord                built (EdsApiNavigation.cpp)
//   EdsUnlockRecord              built (EdsApiNavigation.cpp)
//   EdsGotoTop                   built (EdsApiNavigation.cpp)
//   EdsGotoBottom                built (EdsApiNavigation.cpp)
//   EdsGotoBOF                   built (EdsApiNavigation.cpp)
//   EdsSkip                      built (EdsApiNavigation.cpp)
//   EdsAtBOF                     built (EdsApiNavigation.cpp)
//   EdsAtEOF                     built (EdsApiNavigation.cpp)
//   EdsGotoRecord                built (EdsApiNavigation.cpp)
//   EdsGetBookmark               built (EdsApiNavigation.cpp)
//   EdsGetBookmark60             built (EdsApiNavigation.cpp)
//   EdsGetBookmarkLength         built (EdsApiNavigation.cpp)
//   EdsGotoBookmark              built (EdsApiNavigation.cpp)
//   EdsCompareBookmarks          built (EdsApiNavigation.cpp)
//   EdsGetRecordNum              built (EdsApiNavigation.cpp)
//   EdsGetKeyNum                 built (EdsApiNavigation.cpp)
//   EdsGetRelKeyPos              built (EdsApiNavigation.cpp)
//   EdsSetRelKeyPos              built (EdsApiNavigation.cpp)
//   EdsGetRecordCount            built (EdsApiNavigation.cpp)
//   EdsCreateIndex61             built (EdsApiNavigation.cpp)
//   EdsOpenIndex                 built (EdsApiNavigation.cpp)
//   EdsCloseIndex                built (EdsApiNavigation.cpp)
//   EdsGetAllIndexes             built (EdsApiNavigation.cpp)
//   EdsGetNumIndexes             built (EdsApiNavigation.cpp)
//   EdsGetIndexHandle            built (EdsApiNavigation.cpp)
//   EdsGetIndexName              built (EdsApiNavigation.cpp)
//   EdsGetIndexFilename          built (EdsApiNavigation.cpp)
//   EdsGetIndexPageSize          built (EdsApiNavigation.cpp)
//   EdsGetIndexFlags             built (EdsApiNavigation.cpp)
//   EdsGetIndexCondition         built (EdsApiNavigation.cpp)
//   EdsGetNumSegments            built (EdsApiNavigation.cpp)
//   EdsGetSegmentFieldname       built (EdsApiNavigation.cpp)
//   EdsIsIndexDescending         built (EdsApiNavigation.cpp)
//   EdsIsIndexUnique             built (EdsApiNavigation.cpp)
//   EdsIsIndexPrimaryKey         built (EdsApiNavigation.cpp)
//   EdsInitRawKey                built (EdsApiNavigation.cpp)
//   EdsBuildRawKey               built (EdsApiNavigation.cpp)
//   EdsGetKeyLength              built (EdsApiNavigation.cpp)
//   EdsSeek                      built (EdsApiNavigation.cpp)
//   EdsStepIndexKey              built (EdsApiNavigation.cpp)
//   EdsSetScope                  built (EdsApiNavigation.cpp)
//   EdsGetScope                  built (EdsApiNavigation.cpp)
//   EdsClearScope                built (EdsApiNavigation.cpp)
//   EdsClearAllScopes            built (EdsApiNavigation.cpp)
//   EdsSetFilter                 built (EdsExprApi.cpp)
//   EdsGetFilter                 built (EdsExprApi.cpp)
//   EdsClearFilter               built (EdsExprApi.cpp)
//   EdsSetAOF                    built (EdsExprApi.cpp)
//   EdsGetAOF                    built (EdsExprApi.cpp)
//   EdsClearAOF                  built (EdsExprApi.cpp)
//   EdsSetExact22                built (EdsApiNavigation.cpp)
//   EdsGetExact22                built (EdsApiNavigation.cpp)
//   EdsEvalLogicalExpr           built (EdsExprApi.cpp)
//   EdsExpressionLongToShort     built (EdsExprApi.cpp)
//   EdsExpressionShortToLong     built (EdsExprApi.cpp)
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
