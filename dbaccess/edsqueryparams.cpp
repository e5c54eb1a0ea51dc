// Binding statement parameters by number.

#include "dbaccess/edsdataconv.h"
#include "dbaccess/edsquery.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// The Julian day number of the date-time origin, 30 December 1899.
constexpr std::int64_t kJulianOfDateTimeZero = 2415019;
constexpr std::int64_t kMillisecondsPerDay = 86400000;

std::string FieldNamed(const db::TParam& Param) { return "The field named: '" + Param.Name() + "'"; }

// Julian day and milliseconds of a date-time value. The time of day is
// rounded to the millisecond; a time that rounds up to midnight belongs to
// the next day, so the engine never sees 86,400,000 ms.
struct TDayAndTime {
    std::int32_t WholeDays = 0;  // the day the value falls on, as a Julian day
    std::int32_t Julian = 0;     // the day once the time of day is rounded
    std::int32_t Milliseconds = 0;
};

TDayAndTime SplitDateTime(const db::TParam& Param, IEdsDataSet* DataSet) {
    const double value = Param.Value().ToDateTime();
    const double days = std::trunc(value);
    // Beyond these the day number no longer fits the engine's 32 bits.
    constexpr double kLimit = 1.0e9;
    if (!std::isfinite(value) || days > kLimit || days < -kLimit)
        RaiseEdsClientError(DataSet, FieldNamed(Param) + " has a date-time value that is out of range.");
    const std::int64_t wholeDays = static_cast<std::int64_t>(days) + kJulianOfDateTimeZero;
    std::int64_t julian = wholeDays;
    std::int64_t ms = std::llround(std::fabs(value - days) * static_cast<double>(kMillisecondsPerDay));
    if (ms >= kMillisecondsPerDay) {
        ms -= kMillisecondsPerDay;
        ++julian;
    }
    return {static_cast<std::int32_t>(wholeDays), static_cast<std::int32_t>(julian), static_cast<std::int32_t>(ms)};
}

void BindOne(EDSHANDLE Statement, UNSIGNED32 Number, const db::TParam& Param, IEdsDataSet* DataSet) {
    const EdsFieldId id(Number);
    if (Param.IsNull()) {
        CheckEdsError(DataSet, EdsApi.EdsSetEmpty(Statement, id));
        return;
    }
    switch (Param.DataType()) {
        case db::ftUnknown:
            RaiseEdsClientError(DataSet, FieldNamed(Param) + " has the DataType of ftUnknown, which is invalid.");
        case db::ftString:
        case db::ftFixedChar:
        case db::ftMemo:
        case db::ftFmtMemo:
        case db::ftSmallint:
        case db::ftInteger:
        case db::ftWord:
        case db::ftLargeint:
        case db::ftAutoInc:
        case db::ftBCD: {
            const std::string text = Param.Value().ToString();
            CheckEdsError(DataSet, EdsApi.EdsSetString(Statement, id, EdsText(text), static_cast<UNSIGNED32>(text.size())));
            return;
        }
        case db::ftFloat:
        case db::ftCurrency:
            CheckEdsError(DataSet, EdsApi.EdsSetDouble(Statement, id, Param.Value().ToDouble()));
            return;
        case db::ftBoolean:
            CheckEdsError(DataSet, EdsApi.EdsSetLogical(Statement, id, Param.Value().ToBool() ? 1 : 0));
            return;
        case db::ftDate:
            // The whole days only: a date is not moved by its time of day.
            CheckEdsError(DataSet, EdsApi.EdsSetJulian(Statement, id, SplitDateTime(Param, DataSet).WholeDays));
            return;
        case db::ftTime:
            CheckEdsError(DataSet, EdsApi.EdsSetMilliseconds(Statement, id, SplitDateTime(Param, DataSet).Milliseconds));
            return;
        case db::ftDateTime: {
            const TDayAndTime stamp = SplitDateTime(Param, DataSet);
            UNSIGNED8 raw[8];
            std::memcpy(raw, &stamp.Julian, 4);
            std::memcpy(raw + 4, &stamp.Milliseconds, 4);
            CheckEdsError(DataSet, EdsApi.EdsSetTimeStampRaw(Statement, id, raw, sizeof raw));
            return;
        }
        case db::ftBytes:
        case db::ftVarBytes:
        case db::ftBlob:
        case db::ftGraphic: {
            const std::string bytes = Param.GetBytes();
            const std::vector<UNSIGNED8> copy(bytes.begin(), bytes.end());
            const auto length = static_cast<UNSIGNED32>(copy.size());
            CheckEdsError(DataSet, EdsApi.EdsSetBinary(Statement, id, EDS_BINARY, length, 0,
                                                       copy.empty() ? nullptr : copy.data(), length));
            return;
        }
        default:
            // Leaving a parameter unbound would run the statement with whatever
            // value it held before: refuse every type the engine cannot take.
            RaiseEdsClientError(DataSet, FieldNamed(Param) + " has a DataType that is not supported.");
    }
}

}  // namespace

void EdsBindParams(EDSHANDLE Statement, const db::TParams& Params, IEdsDataSet* DataSet) {
    for (int i = 0; i < Params.Count(); ++i) BindOne(Statement, static_cast<UNSIGNED32>(i + 1), *Params[i], DataSet);
}
