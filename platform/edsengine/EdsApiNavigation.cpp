// Entry points: navigation, bookmarks, counts, indexes, seeks, scopes, record locks
// and transactions.

#include <cmath>
#include <cstring>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsObjects.h"
#include "platform/edsengine/EdsSettings.h"
#include "platform/edsengine/EdsSqlApi.h"
#include "platform/rtl/Paths.h"

using namespace eds;

namespace {

Registry& Objects() { return Registry::Instance(); }

void Out16(UNSIGNED16* out, UNSIGNED16 value) {
    CheckOut(out, "answer");
    *out = value;
}

void Out32(UNSIGNED32* out, UNSIGNED32 value) {
    CheckOut(out, "answer");
    *out = value;
}

// A move first stores what is pending, as a record engine does.
Navigation Moving(EDSHANDLE handle) {
    Navigation nav = Navigate(handle);
    nav.table->Write();
    nav.table->activeOrder = nav.index ? nav.index->handle : 0;
    return nav;
}

Index& IndexOf(EDSHANDLE handle) { return Objects().As<Index>(handle); }

struct IndexView {
    Index& index;
    Table& table;
    const IndexDef& def;
};

IndexView ViewOf(EDSHANDLE handle) {
    Index& index = IndexOf(handle);
    Table& table = Objects().As<Table>(index.TableHandle());
    return IndexView{index, table, table.File().Indexes()[index.Number()]};
}

CountMode ModeOf(UNSIGNED16 option) {
    switch (option & 3) {
    case EDS_RESPECTFILTERS: return CountMode::Visible;
    case EDS_RESPECTSCOPES: return CountMode::Scopes;
    default: return CountMode::All;
    }
}

KeyBound KeyArgument(const IndexView& view, const UNSIGNED8* key, UNSIGNED16 length, UNSIGNED16 dataType) {
    if (!key) Throw(EDS_E_INVALID_ARGUMENT, "A key is required.");
    const std::string_view bytes(reinterpret_cast<const char*>(key), length);
    switch (dataType) {
    case EDS_RAWKEY: {
        const std::optional<KeyBound> bound = DecodeRawKey(bytes);
        if (!bound) Throw(EDS_E_INVALID_ARGUMENT, "The raw key was not built by this engine.");
        return *bound;
    }
    case EDS_STRINGKEY: {
        const std::size_t zero = bytes.find('\0');
        return BoundFromText(view.table.Fields(), view.def, zero == std::string_view::npos ? bytes : bytes.substr(0, zero));
    }
    case EDS_DOUBLEKEY: {
        if (length < 8) Throw(EDS_E_INVALID_ARGUMENT, "A double key has 8 bytes.");
        double d = 0;
        std::memcpy(&d, key, 8);
        KeyBound bound;
        bound.values.push_back(KeyValue(view.table.Fields(), view.def.segments[0], Value::Real(d)));
        return bound;
    }
    default: Throw(EDS_E_INVALID_ARGUMENT, "Unknown key type " + std::to_string(dataType) + ".");
    }
}

}  // namespace

// ---- Navigation ---------------------------------------------------------------------

UNSIGNED32 EdsGotoTop(EDSHANDLE hObj) {
    return Run([&] {
        Navigation nav = Moving(hObj);
        nav.table->Cur().GotoTop(nav.order);
    });
}

UNSIGNED32 EdsGotoBottom(EDSHANDLE hObj) {
    return Run([&] {
        Navigation nav = Moving(hObj);
        nav.table->Cur().GotoBottom(nav.order);
    });
}

UNSIGNED32 EdsGotoBOF(EDSHANDLE hObj) {
    return Run([&] {
        Navigation nav = Moving(hObj);
        nav.table->Cur().GotoBof();
    });
}

UNSIGNED32 EdsSkip(EDSHANDLE hObj, SIGNED32 lRecs) {
    return Run([&] {
        Navigation nav = Moving(hObj);
        nav.table->Cur().Skip(nav.order, lRecs);
    });
}

UNSIGNED32 EdsAtBOF(EDSHANDLE hObj, UNSIGNED16* pbAtBOF) {
    return Run([&] { Out16(pbAtBOF, Navigate(hObj).table->Cur().AtBof() ? 1 : 0); });
}

UNSIGNED32 EdsAtEOF(EDSHANDLE hObj, UNSIGNED16* pbAtEOF) {
    return Run([&] { Out16(pbAtEOF, Navigate(hObj).table->Cur().AtEof() ? 1 : 0); });
}

namespace {

// The number of the record a table is on (0 on none): its own, or a refusal for
// one numbered where no record number of the table API names it (stored
// through SQL before such numbers were refused), whose number cut to 32 bits
// would be another record's.
UNSIGNED32 CurrentRecno(Table& table) {
    if (!table.pending && !table.Cur().OnRow()) return 0;
    const std::int64_t recno = table.pending ? table.pending->recno : table.Cur().Recno();
    if (recno < 1 || recno > kLastRecordNumber)
        Throw(EDS_E_NOT_SUPPORTED, "The current record is numbered " + std::to_string(recno) +
                                       ", which no record number of the table API names (they go from 1 to " +
                                       std::to_string(kLastRecordNumber) +
                                       "): give it one through SQL (UPDATE ... SET rowid = ...) or delete it.");
    return static_cast<UNSIGNED32>(recno);
}

}  // namespace

UNSIGNED32 EdsGotoRecord(EDSHANDLE hTable, UNSIGNED32 ulRec) {
    return Run([&] {
        Navigation nav = Navigate(hTable);
        nav.table->Write();
        if (!nav.table->Cur().GotoRecord(ulRec))
            Throw(EDS_E_RECORD_NOT_FOUND, "The record " + std::to_string(ulRec) + " was not found.");
    });
}

UNSIGNED32 EdsGetBookmark(EDSHANDLE hTable, EDSHANDLE* phBookmark) {
    return Run([&] {
        CheckOut(phBookmark, "bookmark");
        Table& table = *Navigate(hTable).table;
        *phBookmark = CurrentRecno(table);
    });
}

UNSIGNED32 EdsGetBookmark60(EDSHANDLE hObj, UNSIGNED8* pucBookmark, UNSIGNED32* pulLength) {
    return Run([&] {
        CheckOut(pulLength, "length");
        Table& table = *Navigate(hObj).table;
        if (!pucBookmark || *pulLength < 4) {
            *pulLength = 4;
            Throw(EDS_E_INSUFFICIENT_BUFFER, DefaultErrorText(EDS_E_INSUFFICIENT_BUFFER));
        }
        const UNSIGNED32 recno = CurrentRecno(table);
        std::memcpy(pucBookmark, &recno, 4);
        *pulLength = 4;
    });
}

UNSIGNED32 EdsGetBookmarkLength(EDSHANDLE hObj, UNSIGNED32* pulLength) {
    return Run([&] {
        Navigate(hObj);
        Out32(pulLength, 4);
    });
}

UNSIGNED32 EdsGotoBookmark(EDSHANDLE hTable, EDSHANDLE hBookmark) {
    return Run([&] {
        Navigation nav = Navigate(hTable);
        nav.table->Write();
        if (hBookmark == 0) {
            nav.table->Cur().GotoEof();  // the bookmark of no position
            return;
        }
        // A deleted record leaves the cursor unpositioned, never on another record.
        if (!nav.table->Cur().GotoRecord(hBookmark))
            Throw(EDS_E_RECORD_NOT_FOUND, "The record " + std::to_string(hBookmark) + " was not found.");
    });
}

UNSIGNED32 EdsGotoBookmarkOrPlace(EDSHANDLE hTable, EDSHANDLE hBookmark, const UNSIGNED8* pucRec, UNSIGNED32 ulLen) {
    return Run([&] {
        Navigation nav = Navigate(hTable);
        nav.table->Write();
        if (hBookmark == 0) {
            nav.table->Cur().GotoEof();
            return;
        }
        if (pucRec && ulLen < nav.table->Fields().RecordLength())
            Throw(EDS_E_INVALID_ARGUMENT, "The record image is shorter than the table's records.");
        if (!nav.table->Cur().GotoRecord(hBookmark, pucRec))
            Throw(EDS_E_RECORD_NOT_FOUND, "The record " + std::to_string(hBookmark) + " was not found.");
    });
}

UNSIGNED32 EdsCompareBookmarks(const UNSIGNED8* pucBookmark1, const UNSIGNED8* pucBookmark2, SIGNED32* plResult) {
    return Run([&] {
        CheckOut(pucBookmark1, "bookmark");
        CheckOut(pucBookmark2, "bookmark");
        CheckOut(plResult, "answer");
        UNSIGNED32 a = 0, b = 0;
        std::memcpy(&a, pucBookmark1, 4);
        std::memcpy(&b, pucBookmark2, 4);
        *plResult = a < b ? -1 : a > b ? 1 : 0;
    });
}

UNSIGNED32 EdsGetRecordNum(EDSHANDLE hObj, UNSIGNED16, UNSIGNED32* pulRec) {
    return Run([&] {
        Table& table = *Navigate(hObj).table;
        Out32(pulRec, CurrentRecno(table));
    });
}

UNSIGNED32 EdsGetKeyNum(EDSHANDLE hIndex, UNSIGNED16, UNSIGNED32* pulKey) {
    return Run([&] {
        Navigation nav = Navigate(hIndex);
        Cursor& cursor = nav.table->Cur();
        Out32(pulKey, cursor.OnRow() ? static_cast<UNSIGNED32>(cursor.KeyNumber(nav.order)) : 0);
    });
}

UNSIGNED32 EdsGetRelKeyPos(EDSHANDLE hObj, DOUBLE* pdPos) {
    return Run([&] {
        CheckOut(pdPos, "answer");
        Navigation nav = Navigate(hObj);
        const std::optional<double> pos = nav.table->Cur().RelativePosition(nav.order);
        if (!pos) Throw(EDS_E_NO_POSITION, "There is no current record.");
        *pdPos = *pos;
    });
}

UNSIGNED32 EdsSetRelKeyPos(EDSHANDLE hObj, DOUBLE dPos) {
    return Run([&] {
        Navigation nav = Moving(hObj);
        nav.table->Cur().SetRelativePosition(nav.order, dPos);
    });
}

UNSIGNED32 EdsGetRecordCount(EDSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulCount) {
    return Run([&] {
        if (SqlStatementRecordCount(hObj, pulCount)) return;  // rows affected by a statement
        Navigation nav = Navigate(hObj);
        Out32(pulCount, static_cast<UNSIGNED32>(nav.table->Cur().Count(nav.order, ModeOf(usFilterOption))));
    });
}

UNSIGNED32 EdsIsRecordDeleted(EDSHANDLE hTable, UNSIGNED16* pbDeleted) {
    return Run([&] { Out16(pbDeleted, Navigate(hTable).table->Cur().CurrentDeleted() ? 1 : 0); });
}

UNSIGNED32 EdsIsRecordVisible(EDSHANDLE hObj, UNSIGNED16* pbVisible) {
    return Run([&] {
        Navigation nav = Navigate(hObj);
        Out16(pbVisible, nav.table->Cur().Visible(nav.order) ? 1 : 0);
    });
}

// ---- Record locks -------------------------------------------------------------------

namespace {

std::int64_t RecordArgument(Table& table, UNSIGNED32 ulRec) {
    if (ulRec != 0) return ulRec;
    const UNSIGNED32 recno = CurrentRecno(table);
    if (recno == 0) Throw(EDS_E_NO_CURRENT_RECORD, "There is no current record to lock.");
    return recno;
}

}  // namespace

UNSIGNED32 EdsLockRecord(EDSHANDLE hTable, UNSIGNED32 ulRec) {
    return Run([&] {
        Table& table = *Navigate(hTable).table;
        const std::int64_t recno = RecordArgument(table, ulRec);
        if (!table.LockRecord(recno))
            Throw(EDS_E_RECORD_LOCKED, "The record " + std::to_string(recno) + " is locked by another user.");
        if (table.Cur().Recno() == recno) table.Cur().Reread();  // an edit starts from what is stored now
    });
}

UNSIGNED32 EdsUnlockRecord(EDSHANDLE hTable, UNSIGNED32 ulRec) {
    return Run([&] {
        Table& table = *Navigate(hTable).table;
        table.UnlockRecord(RecordArgument(table, ulRec));
    });
}

// ---- Indexes ------------------------------------------------------------------------

UNSIGNED32 EdsCreateIndex61(EDSHANDLE hObj, const UNSIGNED8* pucFileName, const UNSIGNED8* pucTag,
                            const UNSIGNED8* pucExpr, const UNSIGNED8* pucCondition, const UNSIGNED8* pucWhile,
                            UNSIGNED32 ulOptions, UNSIGNED32, EDSHANDLE* phIndex) {
    return Run([&] {
        Table& table = *Navigate(hObj).table;
        if (!TextArg(pucFileName).empty())
            Throw(EDS_E_NOT_SUPPORTED, "Separate index files are not supported; tags live in the table file.");
        if (!TextArg(pucCondition).empty() || !TextArg(pucWhile).empty())
            Throw(EDS_E_NOT_SUPPORTED, "Conditional indexes are not supported.");
        if (ulOptions & ~(EDS_UNIQUE | EDS_COMPOUND | EDS_DESCENDING))
            Throw(EDS_E_NOT_SUPPORTED, "Index options " + std::to_string(ulOptions) + " are not supported.");
        table.Write();
        table.File().CreateIndex(std::string(TextArg(pucTag)), std::string(TextArg(pucExpr)), ulOptions);
        const EDSHANDLE handle = Objects().Add(std::make_unique<Index>(table.handle, table.File().Indexes().size() - 1));
        table.indexHandles.push_back(handle);
        if (phIndex) *phIndex = handle;
    });
}

UNSIGNED32 EdsOpenIndex(EDSHANDLE hTable, const UNSIGNED8*, EDSHANDLE*, UNSIGNED16*) {
    return Run([&] {
        Navigate(hTable);
        Throw(EDS_E_NOT_SUPPORTED, "Separate index files are not supported; tags live in the table file.");
    });
}

UNSIGNED32 EdsCloseIndex(EDSHANDLE hIndex) {
    return Run([&] {
        IndexView view = ViewOf(hIndex);
        auto& list = view.table.indexHandles;
        list.erase(std::remove(list.begin(), list.end(), hIndex), list.end());
        if (view.table.activeOrder == hIndex) view.table.activeOrder = 0;
        Objects().Remove(hIndex);
    });
}

UNSIGNED32 EdsGetAllIndexes(EDSHANDLE hTable, EDSHANDLE* ahIndex, UNSIGNED16* pusArrayLen) {
    return Run([&] {
        CheckOut(pusArrayLen, "length");
        Table& table = *Navigate(hTable).table;
        const std::size_t room = ahIndex ? *pusArrayLen : 0;
        const std::size_t n = std::min(room, table.indexHandles.size());
        for (std::size_t i = 0; i < n; ++i) ahIndex[i] = table.indexHandles[i];
        *pusArrayLen = static_cast<UNSIGNED16>(n);
        if (n < table.indexHandles.size())
            Throw(EDS_E_INSUFFICIENT_BUFFER, "The table has " + std::to_string(table.indexHandles.size()) + " indexes.");
    });
}

UNSIGNED32 EdsGetNumIndexes(EDSHANDLE hTable, UNSIGNED16* pusNum) {
    return Run([&] { Out16(pusNum, static_cast<UNSIGNED16>(Navigate(hTable).table->indexHandles.size())); });
}

UNSIGNED32 EdsGetIndexHandle(EDSHANDLE hTable, const UNSIGNED8* pucName, EDSHANDLE* phIndex) {
    return Run([&] {
        CheckOut(phIndex, "handle");
        Table& table = *Navigate(hTable).table;
        const std::string_view name = TextArg(pucName);
        if (name.empty()) {
            *phIndex = table.activeOrder;
            return;
        }
        for (EDSHANDLE handle : table.indexHandles) {
            const std::string& tag = table.File().Indexes()[IndexOf(handle).Number()].tag;
            if (tag.size() == name.size() && sqlite3_strnicmp(tag.data(), name.data(), static_cast<int>(name.size())) == 0) {
                *phIndex = handle;
                return;
            }
        }
        Throw(EDS_E_INDEX_NOT_FOUND, "The index tag " + std::string(name) + " does not exist.");
    });
}

UNSIGNED32 EdsGetIndexName(EDSHANDLE hIndex, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
    return Run([&] { CopyOut(ViewOf(hIndex).def.tag, pucName, pusLen); });
}

UNSIGNED32 EdsGetIndexFilename(EDSHANDLE hIndex, UNSIGNED16 usOption, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
    return Run([&] {
        const std::string& path = ViewOf(hIndex).table.File().Path();
        CopyOut(usOption == 2 ? rtl::ExtractFileName(path) : path, pucName, pusLen);
    });
}

UNSIGNED32 EdsGetIndexPageSize(EDSHANDLE hIndex, UNSIGNED32* pulPageSize) {
    return Run([&] {
        ViewOf(hIndex);
        Out32(pulPageSize, 4096);
    });
}

UNSIGNED32 EdsGetIndexFlags(EDSHANDLE hIndex, UNSIGNED32* pulFlags) {
    return Run([&] {
        const IndexDef& def = ViewOf(hIndex).def;
        UNSIGNED32 flags = def.options & (EDS_UNIQUE | EDS_COMPOUND | EDS_DESCENDING);
        for (const Segment& segment : def.segments)
            if (segment.upper) flags |= EDS_CASE_INSENSITIVE_KEY;
        Out32(pulFlags, flags);
    });
}

UNSIGNED32 EdsGetIndexCondition(EDSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen) {
    return Run([&] {
        ViewOf(hIndex);
        CopyOut("", pucExpr, pusLen);
    });
}

UNSIGNED32 EdsGetNumSegments(EDSHANDLE hIndex, UNSIGNED16* pusSegments) {
    return Run([&] { Out16(pusSegments, static_cast<UNSIGNED16>(ViewOf(hIndex).def.segments.size())); });
}

UNSIGNED32 EdsGetSegmentFieldname(EDSHANDLE hIndex, UNSIGNED16 usSegment, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
    return Run([&] {
        IndexView view = ViewOf(hIndex);
        if (usSegment >= view.def.segments.size())
            Throw(EDS_E_INVALID_ARGUMENT, "The index has no segment " + std::to_string(usSegment) + ".");
        CopyOut(view.table.Fields().At(static_cast<std::size_t>(view.def.segments[usSegment].field)).name, pucName, pusLen);
    });
}

UNSIGNED32 EdsIsIndexDescending(EDSHANDLE hIndex, UNSIGNED16* pbDescending) {
    return Run([&] { Out16(pbDescending, ViewOf(hIndex).def.Descending() ? 1 : 0); });
}

UNSIGNED32 EdsIsIndexUnique(EDSHANDLE hIndex, UNSIGNED16* pbUnique) {
    return Run([&] { Out16(pbUnique, ViewOf(hIndex).def.Unique() ? 1 : 0); });
}

UNSIGNED32 EdsIsIndexPrimaryKey(EDSHANDLE hIndex, UNSIGNED16* pbPrimary) {
    return Run([&] {
        ViewOf(hIndex);
        Out16(pbPrimary, 0);
    });
}

UNSIGNED32 EdsInitRawKey(EDSHANDLE hIndex) {
    return Run([&] {
        IndexView view = ViewOf(hIndex);
        view.index.keySegments.assign(view.def.segments.size(), std::nullopt);
    });
}

UNSIGNED32 EdsBuildRawKey(EDSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen) {
    return Run([&] {
        IndexView view = ViewOf(hIndex);
        KeyBound bound;
        for (const auto& segment : view.index.keySegments) {
            if (!segment) break;  // leading segments only
            bound.values.push_back(segment->first);
            bound.lastPrefix = segment->second;
        }
        const std::string key = EncodeRawKey(bound);
        CheckOut(pusKeyLen, "length");
        if (!pucKey || key.size() > *pusKeyLen) {
            *pusKeyLen = static_cast<UNSIGNED16>(key.size());
            Throw(EDS_E_INSUFFICIENT_BUFFER, DefaultErrorText(EDS_E_INSUFFICIENT_BUFFER));
        }
        std::memcpy(pucKey, key.data(), key.size());
        *pusKeyLen = static_cast<UNSIGNED16>(key.size());
    });
}

UNSIGNED32 EdsGetKeyLength(EDSHANDLE hIndex, UNSIGNED16* pusKeyLength) {
    return Run([&] {
        IndexView view = ViewOf(hIndex);
        Out16(pusKeyLength, static_cast<UNSIGNED16>(RawKeyRoom(view.table.Fields(), view.def)));
    });
}

UNSIGNED32 EdsSeek(EDSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen, UNSIGNED16 usDataType,
                   UNSIGNED16 usSeekType, UNSIGNED16* pbFound) {
    return Run([&] {
        IndexView view = ViewOf(hIndex);
        const KeyBound key = KeyArgument(view, pucKey, usKeyLen, usDataType);
        Navigation nav = Moving(hIndex);
        const bool found = nav.table->Cur().Seek(nav.order, key, (usSeekType & EDS_SOFTSEEK) != 0);
        if (pbFound) *pbFound = found ? 1 : 0;
    });
}

UNSIGNED32 EdsStepIndexKey(EDSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16 usKeyLen, SIGNED16 sDirection) {
    return Run([&] {
        ViewOf(hIndex);
        CheckOut(pucKey, "key");
        std::optional<KeyBound> bound = DecodeRawKey(std::string_view(reinterpret_cast<const char*>(pucKey), usKeyLen));
        if (!bound) Throw(EDS_E_INVALID_ARGUMENT, "The raw key was not built by this engine.");
        bound->step = sDirection > 0 ? 1 : sDirection < 0 ? -1 : 0;
        const std::string stepped = EncodeRawKey(*bound);
        if (stepped.size() > usKeyLen) Throw(EDS_E_INSUFFICIENT_BUFFER, DefaultErrorText(EDS_E_INSUFFICIENT_BUFFER));
        std::memcpy(pucKey, stepped.data(), stepped.size());
    });
}

UNSIGNED32 EdsSetScope(EDSHANDLE hIndex, UNSIGNED16 usScopeOption, const UNSIGNED8* pucScope, UNSIGNED16 usScopeLen,
                       UNSIGNED16 usDataType) {
    return Run([&] {
        IndexView view = ViewOf(hIndex);
        if (usScopeOption != EDS_TOP && usScopeOption != EDS_BOTTOM)
            Throw(EDS_E_INVALID_ARGUMENT, "A scope is top (1) or bottom (2).");
        KeyBound bound = KeyArgument(view, pucScope, usScopeLen, usDataType);
        std::string given(reinterpret_cast<const char*>(pucScope), usScopeLen);
        if (usScopeOption == EDS_TOP) {
            view.index.top = std::move(bound);
            view.index.topGiven = std::move(given);
        } else {
            view.index.bottom = std::move(bound);
            view.index.bottomGiven = std::move(given);
        }
        view.table.Cur().ForgetReadAhead();
    });
}

UNSIGNED32 EdsGetScope(EDSHANDLE hIndex, UNSIGNED16 usScopeOption, UNSIGNED8* pucScope, UNSIGNED16* pusBufLen) {
    return Run([&] {
        IndexView view = ViewOf(hIndex);
        const bool top = usScopeOption == EDS_TOP;
        if (!(top ? view.index.top : view.index.bottom)) Throw(EDS_E_NO_SCOPE, "No scope is set.");
        CopyOut(top ? view.index.topGiven : view.index.bottomGiven, pucScope, pusBufLen);
    });
}

UNSIGNED32 EdsClearScope(EDSHANDLE hIndex, UNSIGNED16 usScopeOption) {
    return Run([&] {
        IndexView view = ViewOf(hIndex);
        std::optional<KeyBound>& scope = usScopeOption == EDS_TOP ? view.index.top : view.index.bottom;
        if (!scope) Throw(EDS_E_NO_SCOPE, "No scope is set.");
        scope.reset();
        view.table.Cur().ForgetReadAhead();
    });
}

UNSIGNED32 EdsClearAllScopes(EDSHANDLE hTable) {
    return Run([&] {
        Table& table = *Navigate(hTable).table;
        for (EDSHANDLE handle : table.indexHandles) {
            IndexOf(handle).top.reset();
            IndexOf(handle).bottom.reset();
        }
        table.Cur().ForgetReadAhead();
    });
}

// ---- Exact matching of filters ---------------------------------------------------------

UNSIGNED32 EdsSetExact22(EDSHANDLE hObj, UNSIGNED16 bExact) {
    return Run([&] { Navigate(hObj).table->exact = bExact != 0; });
}

UNSIGNED32 EdsGetExact22(EDSHANDLE hObj, UNSIGNED16* pbExact) {
    return Run([&] { Out16(pbExact, Navigate(hObj).table->exact ? 1 : 0); });
}

// ---- Transactions -------------------------------------------------------------------

UNSIGNED32 EdsBeginTransaction(EDSHANDLE hConnect) {
    return Run([&] {
        TransactionState& state = *Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED).transaction;
        if (state.active) Throw(EDS_E_TRANSACTION, "A transaction is already running.");
        state.active = true;
        ++state.serial;
        state.failure.reset();
    });
}

namespace {

std::vector<Table*> JoinedTables(const Connection& connection) {
    std::vector<Table*> joined;
    for (EDSHANDLE handle : connection.tables) {
        Table* table = dynamic_cast<Table*>(Objects().Find(handle));
        if (table && table->HasFile() && table->File().Joined()) joined.push_back(table);
    }
    return joined;
}

void EndTransaction(EDSHANDLE hConnect, bool commit) {
    Connection& connection = Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED);
    TransactionState& state = *connection.transaction;
    if (!state.active) Throw(EDS_E_TRANSACTION, "No transaction is running.");
    const std::vector<Table*> joined = JoinedTables(connection);
    std::vector<TableFile*> files;
    for (Table* table : joined) files.push_back(&table->File());
    for (const std::unique_ptr<TableFile>& kept : connection.keptFiles) files.push_back(kept.get());
    if (commit) {
        for (TableFile* file : files)
            if (!state.failure && file->LostTransaction())
                state.failure.emplace(EDS_E_IO, "The changes to " + file->Path() + " in this transaction were lost.");
        if (state.failure) state.ThrowFailed();
        for (TableFile* file : files) {
            try {
                Exec(file->Db(), "COMMIT", "Committing the transaction");
            } catch (const EngineError& e) {
                state.failure.emplace(e);
                state.ThrowFailed();
            }
        }
    } else {
        for (TableFile* file : files) {
            if (file->InTransaction()) Exec(file->Db(), "ROLLBACK", "Rolling back the transaction");
            file->AfterWrite();
        }
        for (Table* table : joined) {
            table->pending.reset();
            table->Cur().ForgetReadAhead();
        }
    }
    state.active = false;
    state.failure.reset();
    connection.keptFiles.clear();
}

}  // namespace

UNSIGNED32 EdsCommitTransaction(EDSHANDLE hConnect) {
    return Run([&] { EndTransaction(hConnect, true); });
}

UNSIGNED32 EdsRollbackTransaction(EDSHANDLE hConnect) {
    return Run([&] { EndTransaction(hConnect, false); });
}
