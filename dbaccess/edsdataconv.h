#pragma once
// Field values between an engine record image and the dataset framework's
// native form, for every engine column type, and the empty (null) images.
//
// Native forms (what TField::GetData/SetData exchange):
//   ftBoolean int16 (0 / -1); ftSmallint int16; ftInteger, ftAutoInc int32;
//   ftFloat, ftCurrency double; ftDate int32 day number (1 January of year 1 = 1);
//   ftTime int32 milliseconds of the day; ftDateTime double milliseconds since
//   the start of day 1; ftBCD db::TBcd; ftString the 8-bit (Windows-1252) text,
//   zero-terminated; ftBytes the column's bytes.
//
// Engine Julian day number = day number + EdsJulianDelta.

#include "dbaccess/edsapi.h"
#include "dbaccess/edsfunc.h"
#include "platform/db/DBTypes.h"

#include <cstddef>
#include <cstdint>

// Where one column lives in an engine record image and what it holds.
struct TEdsColumnLayout {
    UNSIGNED16 FieldType = 0;  // engine field type (EDS_LOGICAL ...)
    UNSIGNED32 Offset = 0;
    UNSIGNED32 Length = 0;
    UNSIGNED16 Decimals = 0;
};

inline constexpr std::int32_t EdsJulianDelta = 1721425;

// Whether the engine types 5 to 8 (memo, binary, image, variable character).
inline bool IsEdsBlobType(UNSIGNED16 FieldType) { return FieldType >= EDS_MEMO && FieldType <= EDS_VARCHAR; }
inline bool IsEdsCharType(UNSIGNED16 FieldType) { return FieldType == EDS_STRING || FieldType == EDS_CISTRING; }

// Whether the column holds no value, by the rules of the table type
// (EDS_EDT, or EDS_CDX/EDS_NTX).
bool EdsColumnIsEmpty(const TEdsColumnLayout& Column, const UNSIGNED8* Image, UNSIGNED16 TableType);

// Writes the column's empty image for the table type.
void EdsWriteEmptyColumn(const TEdsColumnLayout& Column, UNSIGNED8* Image, UNSIGNED16 TableType);

// Reads a column that is not empty into `Native` (room `NativeSize` bytes;
// DataType is the field's type, which picks the native layout where the engine
// type allows two). Raises EEDSDatabaseError for an image the engine cannot
// have written. Blob columns have no native form: nothing is copied.
void ConvertEdsFieldToNative(IEdsDataSet* DataSet, const TEdsColumnLayout& Column, db::TFieldType DataType,
                             const UNSIGNED8* Image, void* Native, std::size_t NativeSize);

// Writes a native value (nullptr: null) into the column. A value that the
// column cannot hold, or that would read back as null, raises "Numeric out of
// range." (code 5121). NativeSize is the room of `Native` (strings may be
// shorter than the column).
void ConvertNativeToEdsField(IEdsDataSet* DataSet, const TEdsColumnLayout& Column, db::TFieldType DataType,
                             const void* Native, std::size_t NativeSize, UNSIGNED8* Image, UNSIGNED16 TableType);

// The fixed-point text of a numeric column (right-aligned by blanks to the
// column length), or false when it does not fit.
bool FormatEdsNumeric(double Value, UNSIGNED32 Length, UNSIGNED16 Decimals, std::string& Text);

// The layer's own refusal (code 5121).
[[noreturn]] void RaiseEdsClientError(IEdsDataSet* DataSet, const std::string& Text);
