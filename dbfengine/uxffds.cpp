#include "dbfengine/uxffds.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "dbfengine/dbf4.h"
#include "dbfengine/platform/XfCharsets.h"
#include "dbfengine/timedate.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfmemo.h"
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
        if (!message.empty()) XfMessageBox(message, "", 0);
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
    return WorkArea(CurrentWorkArea()) != nullptr;
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
    : dataSet_(dataSet), field_(field), mode_(mode)
{
    if (mode == bmWrite) return;
    const std::uint8_t* record = dataSet_.BufferForState();
    const TXfFieldProp* p = dataSet_.PropOf(field);
    if (!record || !p) return;
    std::int32_t block = 0;
    std::memcpy(&block, record + p->NativeOffset, 4);
    if (block <= 0) return;
    dataSet_.SelectOwnArea("CreateBlobStream");
    std::string bytes;
    const int code = dataSet_.Engine([&] {
        CreateBlobDescriptor(dataSet_.TableLanguage() == tlOem, block, kBlobRead);
        bytes.resize(static_cast<std::size_t>(BlobStreamSize()));
        bytes.resize(static_cast<std::size_t>(ReadBlobStream(bytes.data(), static_cast<std::int64_t>(bytes.size()))));
        DestroyBlobDescriptor();
    });
    dataSet_.CheckResult(code);
    TMemoryStream::Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    SetPosition(0);
}

std::int64_t TXfBlobStream::Write(const void* buffer, std::int64_t count)
{
    if (mode_ == bmRead) DatabaseError("Field '" + field_->DisplayName() + "' cannot be modified", &dataSet_);
    modified_ = true;
    return TMemoryStream::Write(buffer, count);
}

void TXfBlobStream::SetSize(std::int64_t size)
{
    if (mode_ == bmRead) DatabaseError("Field '" + field_->DisplayName() + "' cannot be modified", &dataSet_);
    modified_ = true;
    TMemoryStream::SetSize(size);
}

// The bytes become a new memo; the edit's post puts it in the record and frees the old one.
void TXfBlobStream::Store()
{
    std::uint8_t* record = dataSet_.BufferForState();
    const TXfFieldProp* p = dataSet_.PropOf(field_);
    if (!record || !p) return;
    std::int32_t old = 0;
    std::memcpy(&old, record + p->NativeOffset, 4);
    dataSet_.SelectOwnArea("DestroyBlobStream");
    std::int32_t block = 0;
    const int code = dataSet_.Engine([&] {
        CreateBlobDescriptor(dataSet_.TableLanguage() == tlOem, 0, kBlobWrite);
        WriteBlobStream(Memory(), Size());
        block = DestroyBlobDescriptor();
    });
    dataSet_.CheckResult(code);
    const std::size_t index = static_cast<std::size_t>(field_->FieldNo() - 1);
    // A memo this same edit wrote before is freed now; the record's own only at the post.
    if (old > 0) {
        if (dataSet_.changed_[index]) {
            dataSet_.Engine([&] { EditMemo(old, {}); });
        } else {
            dataSet_.replacedMemos_.push_back(old);
        }
    }
    std::memcpy(record + p->NativeOffset, &block, 4);
    dataSet_.MarkChanged(field_);
    dataSet_.DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field_));
}

TXfBlobStream::~TXfBlobStream()
{
    if (!modified_ && mode_ != bmWrite) return;
    try {
        Store();
    } catch (...) {
        // A destructor cannot raise; the field keeps its memo.
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
