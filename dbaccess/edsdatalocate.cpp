// Locate and Lookup: the first record whose key fields equal given values,
// found the cheapest way the engine offers: a seek on an index whose leading
// segments are the key fields, else a temporary engine filter, else (when the
// user's AOF and filter both occupy the cursor) a record-by-record scan.
// Whatever the search changes on the cursor is put back on every path.

#include "dbaccess/edsdata.h"

#include "platform/db/DBError.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::size_t kMaxKeyFields = 100;
constexpr UNSIGNED16 kKeyRoom = 4082;

// The short date format with the year written in four digits, so that no
// century is lost between the text and the engine.
std::string FullYearDateFormat() {
    std::string format;
    const std::string& shortFormat = rtl::ShortDateFormat;
    for (std::size_t i = 0; i < shortFormat.size();) {
        if (shortFormat[i] == 'y' || shortFormat[i] == 'Y') {
            while (i < shortFormat.size() && (shortFormat[i] == 'y' || shortFormat[i] == 'Y')) ++i;
            format += "yyyy";
        } else {
            format += shortFormat[i++];
        }
    }
    return format;
}

std::string QuotedText(const std::string& Text) {
    std::string quoted = "\"";
    for (char c : Text) {
        if (c == '"') quoted += "\"+ Chr(34) + \"";
        else quoted += c;
    }
    return quoted + "\"";
}

// A field as the filter text names it: bare where the expression language reads
// the bare name as that field, which is every name the program itself uses, and
// in brackets otherwise (a "]" in the name doubled), so a Locate can name every
// field a table may be created with.
std::string FieldReference(const std::string& Name) {
    auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    bool bare = !Name.empty() && alpha(Name.front()) &&
                std::all_of(Name.begin(), Name.end(), [&](char c) { return alpha(c) || digit(c); });
    if (bare) {
        static const char* const kWords[] = {"AND", "OR", "NOT", "TRUE", "FALSE"};
        const std::string upper = rtl::UpperCase(Name);
        bare = std::none_of(std::begin(kWords), std::end(kWords), [&](const char* w) { return upper == w; });
    }
    if (bare) return Name;
    std::string bracketed = "[";
    for (char c : Name) bracketed += c == ']' ? std::string("]]") : std::string(1, c);
    return bracketed + "]";
}

}  // namespace

std::string TEdsDataSet::BuildFilterString(const std::vector<db::TField*>& Fields, const std::string& Operator,
                                           bool CaseInsensitive) {
    if (State() != db::dsFilter) RaiseEdsClientError(this, "Internal Error, << BuildFilterString >>");
    std::string expression;
    for (db::TField* field : Fields) {
        if (!expression.empty()) expression += " AND ";
        const std::string name = FieldReference(field->FieldName());
        if (field->IsNull()) {
            expression += "(empty(" + name + "))";
            continue;
        }
        const TEDSFieldDef* column = ColumnOf(field);
        const UNSIGNED16 type = column != nullptr ? column->FieldType : 0;
        std::string value;
        switch (type) {
            case EDS_LOGICAL: value = field->AsBoolean() ? ".TRUE." : ".FALSE."; break;
            case EDS_DATE:
            case EDS_COMPACTDATE:
                value = "ctod(\"" + rtl::FormatDateTime(FullYearDateFormat(), field->AsDateTime()) + "\")";
                break;
            case EDS_TIME: value = "ctot(\"" + rtl::FormatDateTime("hh:nn:ss.zzz", field->AsDateTime()) + "\")"; break;
            case EDS_TIMESTAMP:
                value = "ctots(\"" + rtl::FormatDateTime(FullYearDateFormat() + " hh:nn:ss.zzz", field->AsDateTime()) +
                        "\")";
                break;
            case EDS_STRING:
            case EDS_CISTRING: value = QuotedText(field->AsString()); break;
            case EDS_NUMERIC:
            case EDS_DOUBLE:
            case EDS_CURDOUBLE:
            case EDS_MONEY: value = rtl::FloatToStr(field->AsFloat()); break;
            default: value = field->AsString(); break;
        }
        if (IsEdsCharType(type)) {
            const std::string open = CaseInsensitive ? "UPPER(" : "";
            const std::string close = CaseInsensitive ? ")" : "";
            expression += "(" + open + name + close + Operator + open + value + close + ")";
        } else {
            expression += "(" + name + Operator + value + ")";
        }
    }
    return expression;
}

std::vector<std::string> TEdsDataSet::IndexSegmentNames(EDSHANDLE Index) {
    UNSIGNED16 segments = 0;
    Check(EdsApi.EdsGetNumSegments(Index, &segments));
    std::vector<std::string> names;
    for (UNSIGNED16 segment = 0; segment < segments; ++segment)
        names.push_back(rtl::UpperCase(SegmentName(Index, segment, 510)));
    return names;
}

bool TEdsDataSet::IndexUsableForSeek(EDSHANDLE Index) {
    if (!IndexIsPlain(Index)) return false;
    UNSIGNED32 flags = 0;
    Check(EdsApi.EdsGetIndexFlags(Index, &flags));
    return (flags & EDS_CUSTOM) == 0;
}

std::string TEdsDataSet::MatchKeySegments(EDSHANDLE Index, const std::vector<db::TField*>& Fields) {
    const std::vector<std::string> names = IndexSegmentNames(Index);
    const std::size_t count = Fields.size();
    if (count == 0 || count > kMaxKeyFields || count > names.size()) return std::string();
    std::vector<bool> covered(count, false);
    for (db::TField* field : Fields) {
        const auto found = std::find(names.begin(), names.end(), rtl::UpperCase(field->FieldName()));
        if (found == names.end()) return std::string();
        const auto position = static_cast<std::size_t>(found - names.begin());
        if (position >= count || covered[position]) return std::string();
        covered[position] = true;
    }
    return names[count - 1];
}

bool TEdsDataSet::SeekKey(EDSHANDLE Index, const std::vector<db::TField*>& Fields, const std::string& LastSegment,
                          bool Partial) {
    Check(EdsApi.EdsInitRawKey(Index));
    for (db::TField* field : Fields) {
        const TEDSFieldDef* column = ColumnOf(field);
        if (column == nullptr) RaiseEdsClientError(this, "Field '" + field->FieldName() + "' is not a table column.");
        const UNSIGNED8* value = FilterRecordBuffer() + column->Offset;
        const std::string name = column->Name;
        if (IsEdsCharType(column->FieldType)) {
            UNSIGNED32 length = column->Length;
            // Only the last key segment may match partially.
            if (Partial && rtl::UpperCase(name) == LastSegment)
                while (length > 0 && (value[length - 1] == ' ' || value[length - 1] == 0)) --length;
            Check(EdsApi.EdsSetField(Index, EdsText(name), value, length));
        } else {
            Check(EdsApi.EdsSetFieldRaw(Index, EdsText(name), value, column->Length));
        }
    }
    std::vector<UNSIGNED8> key(kKeyRoom + 1u, 0);
    UNSIGNED16 length = kKeyRoom;
    Check(EdsApi.EdsBuildRawKey(Index, key.data(), &length));
    UNSIGNED16 found = 0;
    Check(EdsApi.EdsSeek(Index, key.data(), length, EDS_RAWKEY, EDS_HARDSEEK, &found));
    return found != 0;
}

namespace {

// Whether the cursor has an AOF (or a plain filter) in force.
bool FilterInForce(UNSIGNED32 Code, IEdsDataSet* DataSet) {
    if (Code == EDS_E_NO_FILTER) return false;
    if (Code == 0 || Code == EDS_E_INSUFFICIENT_BUFFER) return true;
    CheckEdsError(DataSet, Code);
    return false;
}

}  // namespace

bool TEdsDataSet::FilterForKey(const std::string& Expression, bool Partial) {
    UNSIGNED16 unused = 0;
    const bool userAof = FilterInForce(EdsApi.EdsGetAOF(cursor_, nullptr, &unused), this);
    unused = 0;
    const bool userFilter = FilterInForce(EdsApi.EdsGetFilter(cursor_, nullptr, &unused), this);
    UNSIGNED16 exact = 1;
    Check(EdsApi.EdsGetExact22(cursor_, &exact));

    // Puts the exact setting back and takes away what this search set,
    // whichever way it ends; the user's own AOF and filter are never touched.
    struct TRestore {
        EDSHANDLE cursor;
        UNSIGNED16 exact;
        bool aofSet = false;
        bool filterSet = false;
        ~TRestore() {
            if (aofSet) EdsApi.EdsClearAOF(cursor);
            if (filterSet) EdsApi.EdsClearFilter(cursor);
            EdsApi.EdsSetExact22(cursor, exact);
        }
    } restore{cursor_, exact};

    Check(EdsApi.EdsSetExact22(cursor_, Partial ? 0 : 1));
    if (userAof && userFilter) return ScanForExpression(Expression);
    if (!userAof) {
        Check(EdsApi.EdsSetAOF(cursor_, EdsText(Expression), EDS_RESOLVE_DYNAMIC));
        restore.aofSet = true;
    } else {
        Check(EdsApi.EdsSetFilter(cursor_, EdsText(Expression)));
        restore.filterSet = true;
    }
    Check(EdsApi.EdsGotoTop(order_));
    for (;;) {
        UNSIGNED16 atEnd = 0;
        Check(EdsApi.EdsAtEOF(cursor_, &atEnd));
        if (atEnd != 0) return false;
        if (RecordShown(true)) return true;
        Check(EdsApi.EdsSkip(order_, 1));
    }
}

bool TEdsDataSet::HoldsExactly(const std::string& Expression, bool Partial) {
    UNSIGNED16 exact = 1;
    Check(EdsApi.EdsGetExact22(cursor_, &exact));
    struct TRestore {
        EDSHANDLE cursor;
        UNSIGNED16 exact;
        ~TRestore() { EdsApi.EdsSetExact22(cursor, exact); }
    } restore{cursor_, exact};
    Check(EdsApi.EdsSetExact22(cursor_, Partial ? 0 : 1));
    UNSIGNED16 result = 0;
    Check(EdsApi.EdsEvalLogicalExpr(order_, EdsText(Expression), &result));
    return result == 1;
}

bool TEdsDataSet::RecordShown(bool OnlyForTheEvent) {
    if (OnlyForTheEvent && (!OnFilterRecord() || !Filtered())) return true;
    db::TRecordBuffer buffer = AllocRecordBuffer();
    struct TBufferGuard {
        TEdsDataSet& dataSet;
        db::TRecordBuffer buffer;
        ~TBufferGuard() { dataSet.FreeRecordBuffer(buffer); }
    } guard{*this, buffer};
    return FetchRecord(buffer, db::gmCurrent) == db::grOK;
}

bool TEdsDataSet::ScanForExpression(const std::string& Expression) {
    Check(EdsApi.EdsGotoTop(order_));
    for (;;) {
        UNSIGNED16 atEnd = 0;
        Check(EdsApi.EdsAtEOF(cursor_, &atEnd));
        if (atEnd != 0) return false;
        UNSIGNED16 result = 0;
        Check(EdsApi.EdsEvalLogicalExpr(order_, EdsText(Expression), &result));
        if (result == 1 && RecordShown(true)) return true;
        Check(EdsApi.EdsSkip(order_, 1));
    }
}

bool TEdsDataSet::LocateRecord(const std::string& KeyFields, const db::Variant& KeyValues,
                               db::TLocateOptions Options) {
    CheckBrowseMode();
    const std::vector<db::TField*> fields = GetFieldList(KeyFields);
    // One value per key field: fewer would read past the values given.
    const std::size_t given = KeyValues.IsArray() ? KeyValues.ArrayLength() : 1;
    if (fields.empty() || given < fields.size() || (fields.size() > 1 && !KeyValues.IsArray()))
        RaiseEdsClientError(this, "Locate needs one key value for each of the fields " + KeyFields + ".");

    UpdateCursorPos();
    EDSHANDLE saved = 0;
    const bool positioned = EdsApi.EdsGetBookmark(cursor_, &saved) == 0;
    CursorPosChanged();

    bool found = false;
    // Back to where the search started unless it ends on a record found.
    struct TPositionGuard {
        EDSHANDLE cursor;
        EDSHANDLE saved;
        bool positioned;
        const bool& found;
        ~TPositionGuard() {
            if (!found && positioned) EdsApi.EdsGotoBookmark(cursor, saved);
        }
    } positionGuard{cursor_, saved, positioned, found};

    db::TRecordBuffer buffer = AllocRecordBuffer();
    struct TBufferGuard {
        TEdsDataSet& dataSet;
        db::TRecordBuffer buffer;
        db::TRecordBuffer previous;
        ~TBufferGuard() {
            dataSet.SetFilterRecordBuffer(previous);
            dataSet.FreeRecordBuffer(buffer);
        }
    } bufferGuard{*this, buffer, FilterRecordBuffer()};

    const bool partial = Options.Contains(db::loPartialKey);
    const bool caseInsensitive = Options.Contains(db::loCaseInsensitive);
    std::string expression;
    EDSHANDLE index = static_cast<EDSHANDLE>(-1);
    std::string lastSegment;
    {
        TTempState state(*this, db::dsFilter);
        SetFilterRecordBuffer(buffer);
        InternalInitRecord(buffer);
        for (std::size_t i = 0; i < fields.size(); ++i)
            fields[i]->SetValue(KeyValues.IsArray() ? KeyValues[i] : KeyValues);

        if (!caseInsensitive) {
            const bool activeOnly = HasActiveIndex() && !IndexUsableForSeek(order_);
            if (HasActiveIndex()) {
                lastSegment = MatchKeySegments(order_, fields);
                if (!lastSegment.empty()) index = order_;
            }
            if (index == static_cast<EDSHANDLE>(-1) && !activeOnly) {
                UNSIGNED16 count = 0;
                Check(EdsApi.EdsGetNumIndexes(cursor_, &count));
                std::vector<EDSHANDLE> indexes(count);
                UNSIGNED16 listed = count;
                if (count > 0) {
                    const UNSIGNED32 code = EdsApi.EdsGetAllIndexes(cursor_, indexes.data(), &listed);
                    if (code != EDS_E_INSUFFICIENT_BUFFER) Check(code);
                    indexes.resize(std::min(listed, count));
                }
                for (EDSHANDLE candidate : indexes) {
                    lastSegment = MatchKeySegments(candidate, fields);
                    if (!lastSegment.empty() && IndexUsableForSeek(candidate)) {
                        index = candidate;
                        break;
                    }
                }
            }
        }
        if (index != static_cast<EDSHANDLE>(-1)) found = SeekKey(index, fields, lastSegment, partial);
        expression = BuildFilterString(fields, "=", caseInsensitive);
    }
    // A case-insensitive index finds a key in any case: a case-sensitive search
    // takes the record only with the exact value. A record the dataset does not
    // show (the filter event rejects it) is no answer either: in both cases the
    // filter path walks on to the first record that matches and is shown.
    const bool anyCase = std::any_of(fields.begin(), fields.end(), [&](db::TField* field) {
        const TEDSFieldDef* column = ColumnOf(field);
        return column != nullptr && column->FieldType == EDS_CISTRING;
    });
    if (index == static_cast<EDSHANDLE>(-1) ||
        (found && ((anyCase && !HoldsExactly(expression, partial)) || !RecordShown(false))))
        found = FilterForKey(expression, partial);
    return found;
}

db::Variant TEdsDataSet::Lookup(const std::string& KeyFields, const db::Variant& KeyValues,
                                const std::string& ResultFields) {
    db::Variant result = db::Variant::Null();
    if (KeyValues.IsClear()) return result;
    const bool found = LocateRecord(KeyFields, KeyValues, {});
    // The visible record stays; the engine cursor is wherever the search left it.
    struct TCursorGuard {
        TEdsDataSet& dataSet;
        ~TCursorGuard() { dataSet.CursorPosChanged(); }
    } cursorGuard{*this};
    if (!found) return result;
    db::TRecordBuffer buffer = AllocRecordBuffer();
    const db::TRecordBuffer previousCalc = CalcBuffer();
    struct TBufferGuard {
        TEdsDataSet& dataSet;
        db::TRecordBuffer buffer;
        db::TRecordBuffer previousCalc;
        ~TBufferGuard() {
            dataSet.SetCalcBuffer(previousCalc);
            dataSet.FreeRecordBuffer(buffer);
        }
    } bufferGuard{*this, buffer, previousCalc};
    TTempState state(*this, db::dsCalcFields);
    if (FetchRecord(buffer, db::gmCurrent) != db::grOK) return result;
    SetCalcBuffer(buffer);
    result = FieldValues(ResultFields);
    return result;
}
