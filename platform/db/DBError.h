#pragma once
// EDatabaseError and the dataset framework's own message texts.

#include "platform/rtl/SysUtils.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace rtl { class TComponent; }

namespace db {

class EDatabaseError : public rtl::Exception {
public:
    using rtl::Exception::Exception;
};

// Raised to end an operation silently (an event handler chose to abort).
class EAbort : public rtl::Exception {
public:
    EAbort() : rtl::Exception("Operation aborted") {}
};

// The framework's texts; %s marks are filled in order by FormatText.
namespace texts {
inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SNotIndexField = "Field '%s' is not indexed and cannot be modified";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SFieldTypeMismatch = "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char* SFieldRangeError =
    "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* SInvalidIntegerValue = "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* SInvalidFloatValue = "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* SInvalidBoolValue = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char* SInvalidDateValue = "'%s' is not a valid date and time for field '%s'";
inline constexpr const char* SFieldValueError = "Invalid value for field '%s'";
inline constexpr const char* SCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* SFieldIndexError = "Field index out of range";
inline constexpr const char* SRecordNotFound = "Record not found";
inline constexpr const char* SIndexNotFound = "Index '%s' not found";
inline constexpr const char* SNoIndexForFields = "No index for fields '%s'";
inline constexpr const char* SDuplicateIndexName = "Duplicate index name '%s'";
inline constexpr const char* SDataSetMissing = "Field '%s' has no dataset";
inline constexpr const char* SLookupInfoError = "Lookup information for field '%s' is incomplete";
inline constexpr const char* SParameterNotFound = "Parameter '%s' not found";
inline constexpr const char* SFieldNameMissing = "Field name missing";
inline constexpr const char* SInvalidFieldSize = "Invalid field size";
inline constexpr const char* SUnknownFieldType = "Field '%s' is of an unknown type";
inline constexpr const char* SInvalidCalcType = "Field '%s' cannot be a calculated or lookup field";
inline constexpr const char* SNotABlobField = "Field '%s' is not a blob field";
inline constexpr const char* SNoDataSource = "Dataset has no data source";
inline constexpr const char* STextTrue = "True";
inline constexpr const char* STextFalse = "False";
}  // namespace texts

// `pattern` with each %s replaced by the next argument; %% gives %.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);

// Raises EDatabaseError; with a named component the text is "Name: message".
[[noreturn]] void DatabaseError(const std::string& message, const rtl::TComponent* component = nullptr);
[[noreturn]] void DatabaseErrorFmt(std::string_view pattern, std::initializer_list<std::string_view> args,
                                   const rtl::TComponent* component = nullptr);

}  // namespace db
