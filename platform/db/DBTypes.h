#pragma once
// The dataset base's vocabulary: field types, dataset states, fetch modes and
// results, bookmark flags, data events, and the small set type used for option
// sets. The enumerators keep their framework names (ftString, dsBrowse ...)
// because every layer above spells them that way.

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace db {

// A set of enumerators of one enum whose values are below 64.
template <class E>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> items) {
        for (E e : items) Include(e);
    }
    constexpr bool Contains(E e) const { return (bits_ >> static_cast<unsigned>(e)) & 1u; }
    constexpr void Include(E e) { bits_ |= std::uint64_t{1} << static_cast<unsigned>(e); }
    constexpr void Exclude(E e) { bits_ &= ~(std::uint64_t{1} << static_cast<unsigned>(e)); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool operator==(const TSet&) const = default;

private:
    std::uint64_t bits_ = 0;
};

enum TFieldType {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
    ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
    ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString,
    ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
    ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd
};

// The framework's name of a field type without the "ft" ("String", "Integer"...).
const char* FieldTypeName(TFieldType type);

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc };

enum TDataSetState {
    dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter, dsNewValue,
    dsOldValue, dsCurValue, dsBlockRead, dsInternalCalc, dsOpening
};

// States in which field values may be stored.
inline bool IsWriteState(TDataSetState s) {
    return s == dsEdit || s == dsInsert || s == dsSetKey || s == dsCalcFields || s == dsFilter ||
           s == dsNewValue || s == dsInternalCalc;
}

enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };

// Where a record buffer stands: on a record, on the crack before the first or
// after the last record, or on a record that was inserted but not yet re-read.
enum TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };

enum TResyncModeItem { rmExact, rmCenter };
using TResyncMode = TSet<TResyncModeItem>;

enum TLocateOption { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;

enum TFilterOption { foCaseInsensitive, foNoPartialCompare };
using TFilterOptions = TSet<TFilterOption>;

enum TDataEvent {
    deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange,
    deUpdateRecord, deUpdateState, deCheckBrowseMode, dePropertyChange, deFieldListChange,
    deFocusControl, deParentScroll, deConnectChange, deReconcileError, deDisabledStateChange
};

enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

enum TDataAction { daFail, daAbort, daRetry };

enum TUpdateKind { ukModify, ukInsert, ukDelete };
enum TUpdateAction { uaFail, uaAbort, uaSkip, uaRetry, uaApplied };
enum TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };

// A record buffer: raw bytes whose layout belongs to the dataset that
// allocated it (AllocRecordBuffer).
using TRecordBuffer = std::uint8_t*;

// A bookmark: the bytes GetBookmarkData copies out of a buffer; empty means
// none (the framework's nil bookmark).
using TBookmark = std::vector<std::uint8_t>;

}  // namespace db
