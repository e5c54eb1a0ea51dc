#include "dbfengine/uxffds.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "dbfengine/dbf4.h"
#include "dbfengine/platform/XfCharsets.h"
#include "dbfengine/timedate.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfmemo.h"
#include "dbfengine/xfmsg.h"
#include "dbfengine/xfndx.h"
#include "dbfengine/xfndxlow.h"
#include "dbfengine/xfutils.h"
#include "platform/db/Convert.h"

namespace xf {

using namespace db;

// ---- the field list -------------------------------------------------------------

bool ParseDbfFieldLine(const std::string& line, TDbfFieldLine& field)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
        parts.push_back(AllTrimStr(line.substr(start, comma - start)));
    parts.push_back(AllTrimStr(line.substr(start)));
    if (parts.size() != 4 || parts[0].empty() || parts[1].size() != 1) return false;
    field.Name = parts[0];
    field.Type = static_cast<char>(std::toupper(static_cast<unsigned char>(parts[1][0])));
    for (const auto& [text, value] : {std::pair {&parts[2], &field.Length}, std::pair {&parts[3], &field.Decimals}}) {
        const auto r = std::from_chars(text->data(), text->data() + text->size(), *value);
        if (r.ec != std::errc() || r.ptr != text->data() + text->size() || *value < 0) return false;
    }
    return true;
}

namespace {
std::uint8_t gMessageLevel = 2;
}  // namespace

std::uint8_t SetXfMessageLevel(std::uint8_t level)
{
    const std::uint8_t old = gMessageLevel;
    if (level != 0) gMessageLevel = level;
    return old;
}

void XfDataSetMessage(const std::string& text)
{
    if (gMessageLevel == 2) XfMessageBox(text, "", 0);
}

TDbfFieldLine CorrectDbfField(const std::string& table, const TDbfFieldLine& field, std::string& message)
{
    TDbfFieldLine c = field;
    if (c.Type == 'B' || c.Type == 'G' || c.Type == 'P') c.Type = 'M';
    if (std::string("CDFLMN").find(c.Type) == std::string::npos) c.Type = 'C';
    if (c.Type == 'N' || c.Type == 'F') {
        if (c.Length >= 21) c.Length = 20;
        if (c.Decimals >= 19) c.Decimals = 18;
        // A number needs room for its digits before the point; never negative decimals.
        if (c.Decimals > 0 && c.Length - c.Decimals < 2) c.Decimals = std::max(0, c.Length - 2);
    } else if (c.Type == 'C') {
        if (c.Length >= 255) c.Length = 254;
        c.Decimals = 0;
    }
    message.clear();
    if (c.Type != field.Type || c.Length != field.Length || c.Decimals != field.Decimals) {
        message = "Invalid field definition for " + table + ": " + field.Name + "," + std::string(1, field.Type) + "," +
                  std::to_string(field.Length) + "," + std::to_string(field.Decimals) + ". Will use corrected definition: " +
                  c.Name + "," + std::string(1, c.Type) + "," + std::to_string(c.Length) + "," + std::to_string(c.Decimals);
    }
    return c;
}

void TXfCDataSet::SetDbfFileName(const std::string& name)
{
    const bool wasActive = Active();
    Close();
    std::string trimmed = AllTrimStr(name);
    if (!trimmed.empty() && trimmed.back() != '.') trimmed = ApplyExtension(trimmed, "DBF");
    SetDbfFileNameValue(trimmed);
    if (wasActive) Open();
}

bool TXfCDataSet::CreateTableFromDbfFields()
{
    if (DbfFields().empty()) DatabaseError("FieldList.Count is <= 0 trying to create a database", this);
    std::vector<TDbfFieldDef> defs;
    for (const std::string& line : DbfFields()) {
        TDbfFieldLine field;
        if (!ParseDbfFieldLine(line, field)) return false;
        if (field.Type == 'X') continue;
        std::string message;
        const TDbfFieldLine c = CorrectDbfField(DbfFileName(), field, message);
        if (!message.empty()) XfDataSetMessage(message);
        defs.push_back({c.Name, c.Type, c.Length, c.Decimals});
    }
    if (defs.empty() || defs.size() > 255) return false;
    TXfDeferErrors defer;
    XfErrors().LastError = 0;
    TDbfTable t;
    CreateDbf(t, DbfFileName(), defs);
    return XfErrors().LastError == 0;
}

// ---- opening ----------------------------------------------------------------------

bool TXfFileDataSet::OpenTable()
{
    if (createIfNotFound_ && !FileExistsShort(DbfFileName()) && !CreateTableFromDbfFields())
        DatabaseError("Could not create \"" + DbfFileName() + "\"", this);
    std::string options = exclusive_ ? "EXCLUSIVE" : "";
    if (!Name().empty()) options += " ALIAS " + Name();
    TXfDbf4Settings& s = XfDbf4Settings();
    TXfDbfSettings& d = XfDbfSettings();
    const int forced = s.ForcedMode;
    const std::uint8_t recount = d.RecountOnOpen;
    if (readOnly_) s.ForcedMode = exclusive_ ? (fmOpenRead | fmShareExclusive) : (fmOpenRead | fmShareDenyNone);
    if (autoFixRecCount_) d.RecountOnOpen = 1;
    struct Restore {
        TXfDbf4Settings& s;
        TXfDbfSettings& d;
        int forced;
        std::uint8_t recount;
        ~Restore()
        {
            s.ForcedMode = forced;
            d.RecountOnOpen = recount;
        }
    } restore {s, d, forced, recount};
    USEWithHooks(DbfFileName(), options, nullptr, 0, BeforeWrite, AfterRead, TableLanguage() == tlOem ? 1 : 0);
    if (!WorkArea(CurrentWorkArea())) return false;
    OpenIndexes();
    return WorkArea(CurrentWorkArea()) != nullptr;
}

// ---- indexes ----------------------------------------------------------------------

namespace {

// "NAME,T,F,key" (the key may hold commas) and the FOR line; false for another shape.
bool ParseIndexLines(const std::string& head, const std::string& condition, TXfTagDef& def)
{
    std::size_t commas[3];
    std::size_t at = 0;
    for (std::size_t& comma : commas) {
        comma = head.find(',', at);
        if (comma == std::string::npos) return false;
        at = comma + 1;
    }
    const auto flag = [&](int i) { return UpperCaseStr(AllTrimStr(head.substr(commas[i] + 1, commas[i + 1] - commas[i] - 1))) == "T"; };
    def.Name = AllTrimStr(head.substr(0, commas[0]));
    def.Descending = flag(0);
    def.Unique = flag(1);
    def.KeyExpr = AllTrimStr(head.substr(commas[2] + 1));
    def.ForExpr = AllTrimStr(condition);
    return !def.Name.empty() && !def.KeyExpr.empty();
}

std::string Squeezed(std::string_view text)
{
    std::string out;
    for (const char c : text)
        if (c != ' ') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

void TXfFileDataSet::OpenIndexes()
{
    std::vector<TXfTagDef> defs;
    for (std::size_t i = 0; i + 1 < indexList_.size(); i += 2) {
        TXfTagDef def;
        if (!ParseIndexLines(indexList_[i], indexList_[i + 1], def)) DatabaseError("Invalid IndexList line: " + indexList_[i], this);
        defs.push_back(def);
    }
    if (defs.empty()) return;
    bool build = createIndex_ == ciAlways;
    if (createIndex_ == ciVerifyHeader) {
        std::vector<std::string> present;
        ListIndexTags(DbfFileName(), present);
        build = present.size() != defs.size() * 2;
        for (std::size_t i = 0; !build && i < defs.size(); ++i)
            build = !rtl::SameText(present[i * 2].substr(0, present[i * 2].find(',')), defs[i].Name);
    }
    if (!build) {
        bool opened = false;
        {
            TXfDeferErrors defer;
            XfErrors().LastError = 0;
            opened = SetIndexTo("");
        }
        const std::uint16_t code = XfErrors().LastError;
        if (opened) return;
        if (createIndex_ == ciNever && (code == 2 || code == 222 || code == 223)) {
            XfErrors().LastError = 0;
            return;
        }
        if (code != 2 && code != 222 && code != 223) {
            // Not the index being absent or unreadable: that error is the open's.
            DbfRaiseError(code ? code : 222, "Unable to open index of " + DbfFileName());
            return;
        }
        XfErrors().LastError = 0;
    }
    std::vector<TXfTagDef> made;
    for (const TXfTagDef& def : defs) {
        bool canMake = true;
        if (OnBeforeMakeIndex) OnBeforeMakeIndex(def.Name, canMake);
        if (canMake) made.push_back(def);
    }
    if (made.empty()) return;
    // Each tag's build reports its progress 100 times: one bar per tag.
    TXfIndexSettings& settings = XfIndexSettings();
    const auto previous = std::pair {settings.Progress, settings.ProgressCount};
    std::unique_ptr<TXfProgress100> bar;
    int calls = 0;
    if (ShowProgress()) {
        SetBuildProgress(
            [&] {
                const std::size_t tag = static_cast<std::size_t>(calls++ / 100);
                if (calls % 100 == 1 && tag < made.size()) bar = std::make_unique<TXfProgress100>("Indexing " + made[tag].Name + "...");
                if (bar) bar->Step();
            },
            100);
    }
    struct Restore {
        TXfIndexSettings& settings;
        std::pair<std::function<void()>, int> previous;
        ~Restore() { SetBuildProgress(previous.first, previous.second); }
    } restore {settings, previous};
    SetProductionIndexFlag(true);
    if (!IndexOn(made, "")) return;
    bar.reset();
    if (OnAfterMakeIndex)
        for (const TXfTagDef& def : made) OnAfterMakeIndex(def.Name);
}

bool TXfFileDataSet::FindKey(const std::string& key, bool exact)
{
    CheckBrowseMode();
    DoBeforeScroll();
    if (!SelectOwnArea(exact ? "FindExact" : "Find")) return false;
    bool found = false;
    CheckResult(Engine([&] {
        const std::string native = TextToNative(key);
        if (exact) xf::FindExact(native);
        else xf::Find(native);
        found = IndexFound();
    }));
    if (!found) {
        Last();
        return false;
    }
    LeaveCracks();
    Resync({rmExact, rmCenter});
    DoAfterScroll();
    return true;
}

bool TXfFileDataSet::Find(const std::string& key) { return FindKey(key, false); }
bool TXfFileDataSet::FindExact(const std::string& key) { return FindKey(key, true); }

bool TXfFileDataSet::IndexKeyText(const std::string& keyFields, const Variant& keyValues, TLocateOptions options, std::string& key)
{
    if (WorkAreaNo() == 0 || !Active()) return false;
    const std::vector<TField*> fields = GetFieldList(keyFields);
    if (fields.empty() || (keyValues.IsArray() ? keyValues.ArrayLength() != fields.size() : fields.size() != 1)) return false;
    SelectOwnArea("Locate");
    const int order = CurrentOrder();
    if (order == 0) return false;
    std::string joined;
    for (const TField* field : fields) joined += (joined.empty() ? "" : "+") + field->FieldName();
    if (Squeezed(OrderKeyExpr(order)) != Squeezed(joined)) return false;
    key.clear();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const Variant& value = keyValues.IsArray() ? keyValues[i] : keyValues;
        const TXfFieldProp* p = PropOf(fields[i]);
        if (!p || value.IsClear()) return false;
        if (p->Type == 'C') {
            // The index compares bytes: a search that ignores case needs a scan.
            if (options.Contains(loCaseInsensitive)) return false;
            const std::string wanted = value.ToString();
            std::string text = TextToNative(wanted);
            const std::size_t length = static_cast<std::size_t>(p->Length);
            // The tag holds each value blank-padded to its field, in the table's
            // bytes, and compares the search text only over its own length. A text
            // it would match wrongly goes to the scan, which answers it as the
            // record order does: empty, ending in blanks (the tag cannot tell them
            // from the padding), longer than the field (the tag would compare only
            // its beginning), or with a character the table cannot hold.
            if (text.empty() || text.back() == ' ' || text.size() > length || !HeldAsIs(wanted, text)) return false;
            if (i + 1 < fields.size()) {
                // A partial key takes every field's text as a beginning; the tag can
                // take only the last one so, a field before it must fill its place.
                if (options.Contains(loPartialKey) && text.size() < length) return false;
                text.resize(length, ' ');
            }
            key += text;
        } else if (fields.size() > 1 || !TypedKeyText(*p, value, key)) {
            return false;
        }
    }
    if (key.size() > 100) key.resize(100);
    return true;
}

bool TXfFileDataSet::TypedKeyText(const TXfFieldProp& p, const Variant& value, std::string& key)
{
    // The key of the value as LOCATE converts it: the day of a date, a number
    // rounded to the field's decimals (1e-40 is the 0.00 an N(8,2) field would
    // hold), an integer's every digit. What the field cannot hold LOCATE finds
    // nowhere: it goes there.
    if (p.Type != 'D' && p.Type != 'N' && p.Type != 'F') return false;
    const std::optional<TXfValue> converted = LocateValue(p, value);
    if (!converted) return false;
    if (p.Type == 'D') {
        key = DateTextFromNumber(std::get<double>(*converted));
        return true;
    }
    // Digits as the tag holds them, never as "3e+19".
    const auto* whole = std::get_if<std::int64_t>(&*converted);
    key = whole ? std::to_string(*whole) : NumberText(std::get<double>(*converted), p.Decimals);
    return !key.empty() && key.size() <= static_cast<std::size_t>(p.Length);
}

bool TXfFileDataSet::Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options)
{
    CheckBrowseMode();
    std::string key;
    if (!IndexKeyText(keyFields, keyValues, options, key)) return TXfCDataSet::Locate(keyFields, keyValues, options);
    DoBeforeScroll();
    const std::int32_t before = RecNo();
    bool found = false;
    CheckResult(Engine([&] {
        if (options.Contains(loPartialKey)) xf::Find(key);
        else xf::FindExact(key);
        found = IndexFound();
        // A failed search leaves the cursor on the record it stood on.
        if (!found && before > 0) xf::GO(before);
    }));
    if (!found) return false;
    LeaveCracks();
    Resync({rmExact, rmCenter});
    DoAfterScroll();
    return true;
}

bool TXfFileDataSet::IsSequenced()
{
    if (Filtered()) return false;
    if (WorkAreaNo() == 0) return true;
    const int previous = CurrentWorkArea();
    xf::Select(WorkAreaNo());
    const int order = CurrentOrder();
    xf::Select(previous);
    return order == 0;
}

TXfDbf::~TXfDbf() { Close(); }

// ---- blob streams -------------------------------------------------------------------

std::unique_ptr<TStream> TXfDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode)
{
    const TXfFieldProp* p = PropOf(field);
    if (!p || p->Type != 'M') DatabaseError("Field '" + field->DisplayName() + "' is not a memo field", this);
    if (mode != bmRead && State() != dsEdit && State() != dsInsert) DatabaseError("Dataset not in edit or insert mode", this);
    return std::make_unique<TXfBlobStream>(*this, field, mode);
}

TXfBlobStream::TXfBlobStream(TXfDataSet& dataSet, TField* field, TBlobStreamMode mode)
    : dataSet_(dataSet), field_(field), refusal_(FormatText(texts::SFieldReadOnly, {field->DisplayName()})), mode_(mode)
{
    if (!dataSet.Name().empty()) refusal_ = dataSet.Name() + ": " + refusal_;
    if (mode != bmRead) edit_ = dataSet.EditLife();
    if (mode == bmWrite) {
        // An empty value replaces the memo even when nothing is written.
        Changing();
        return;
    }
    std::uint8_t* record = dataSet_.BufferForState();
    const TXfFieldProp* p = dataSet_.PropOf(field);
    if (!record || !p) return;
    if (const TXfDataSet::TMemoEdit* edit = dataSet_.PendingMemo(field, record)) {
        bytes_->Write(edit->Bytes->Memory(), edit->Bytes->Size());
        bytes_->SetPosition(0);
        return;
    }
    const std::string bytes = dataSet_.ReadMemo(field, record);
    bytes_->Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    bytes_->SetPosition(0);
}

void TXfBlobStream::Changing()
{
    if (mode_ == bmRead) DatabaseError(refusal_);
    if (edit_.expired()) DatabaseError(refusal_ + ": the edit its stream was opened in has ended");
    // After a post that stored these bytes failed, what is written joins them: the
    // whole is the edit's value again.
    if (modified_ && !dataSet_.MemoStoredFrom(field_, bytes_)) return;
    dataSet_.TakeMemoEdit(field_, bytes_);
    modified_ = true;
}

std::int64_t TXfBlobStream::Write(const void* buffer, std::int64_t count)
{
    Changing();
    return bytes_->Write(buffer, count);
}

void TXfBlobStream::SetSize(std::int64_t size)
{
    Changing();
    bytes_->SetSize(size);
}

TXfBlobStream::~TXfBlobStream()
{
    // After its edit the news would reach another edit, or a dataset that is gone.
    if (!modified_ || edit_.expired()) return;
    try {
        dataSet_.DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field_));
    } catch (...) {
        // Only the news of the change is lost: its bytes are with the edit.
    }
}

// ---- texts ---------------------------------------------------------------------------

std::string FieldAsDbfText(TXfDataSet& dataSet, const std::string& fieldName)
{
    TField* field = dataSet.FieldByName(fieldName);
    const TXfFieldProp* p = dataSet.PropOf(field);
    const int width = p ? p->Length : field->Size();
    const auto pad = [&](std::string text, bool right) {
        // Width in characters, not bytes: the text is UTF-8.
        std::size_t chars = 0;
        for (const char c : text) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (chars >= static_cast<std::size_t>(width)) return text;
        const std::string blanks(static_cast<std::size_t>(width) - chars, ' ');
        return right ? blanks + text : text + blanks;
    };
    switch (field->DataType()) {
    case ftInteger:
    case ftSmallint:
    case ftLargeint:
    case ftFloat: return pad(field->IsNull() ? std::string() : field->AsString(), true);
    case ftBoolean: return field->AsBoolean() ? "T" : "F";
    case ftDate: {
        if (field->IsNull()) return BlankDateText(XfDates().Style);
        const double number = std::floor(field->AsDateTime()) + DateNumber(1899, 12, 30);
        std::string text = DateTextFromNumber(number);
        return text.size() == 8 || text.size() == 10 ? text : BlankDateText(XfDates().Style);
    }
    case ftMemo: return field->AsString();
    default: return pad(field->AsString(), false);
    }
}

std::string FieldAsDbfString(TXfDataSet& dataSet, const std::string& fieldName) { return FieldAsDbfText(dataSet, fieldName); }

std::string FieldAsDbfShortString(TXfDataSet& dataSet, const std::string& fieldName)
{
    return std::string(CutUtf8(FieldAsDbfText(dataSet, fieldName), 10));
}

}  // namespace xf
