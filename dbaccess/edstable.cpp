#include "dbaccess/edstable.h"

#include "dbaccess/edsdataconv.h"
#include "platform/db/Params.h"

namespace {

constexpr EDSHANDLE kNoHandle = static_cast<EDSHANDLE>(-1);

// Closes a table handle unless released: a failure half-way through an open
// must not leave the cursor (or its exclusive hold on the file) behind.
class TOpenedTable {
public:
    explicit TOpenedTable(EDSHANDLE Handle) : handle_(Handle) {}
    ~TOpenedTable() {
        if (handle_ != 0 && handle_ != kNoHandle) EdsApi.EdsCloseTable(handle_);
    }
    TOpenedTable(const TOpenedTable&) = delete;
    TOpenedTable& operator=(const TOpenedTable&) = delete;
    EDSHANDLE Release() {
        const EDSHANDLE handle = handle_;
        handle_ = kNoHandle;
        return handle;
    }

private:
    EDSHANDLE handle_;
};

std::string JoinPath(const std::string& Path, const std::string& Name) { return Path + "/" + Name; }

}  // namespace

std::string TrimBlanks(const std::string& Text) {
    const std::size_t first = Text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    const std::size_t last = Text.find_last_not_of(' ');
    return Text.substr(first, last - first + 1);
}

TEdsTable::TEdsTable(rtl::TComponent* Owner) : TEdsExtendedTable(Owner) {}

void TEdsTable::SetIndexCollationMismatch(TIndexCollationMismatchOptions Value) {
    if (Active()) RaiseEdsClientError(this, "Cannot perform this operation on an open dataset");
    collationMismatch_ = Value;
}

EDSHANDLE TEdsTable::OpenCursorHandle() {
    if (TableName().empty()) RaiseEdsClientError(this, "Missing TableName property");

    UNSIGNED32 options = 0;
    if (Exclusive()) options |= EDS_EXCLUSIVE;
    if (ReadOnly()) options |= EDS_READONLY;
    TEdsConnection* component = EdsConnection();
    if (component != nullptr && component->ReadOnly()) {
        options |= EDS_READONLY;
        if (!EdsIsDesigning(*this)) SetReadOnly(true);
    }
    if (collationMismatch_ == icmIgnore) options |= EDS_IGNORE_COLLATION_MISMATCH;
    else if (collationMismatch_ == icmReindex) options |= EDS_REINDEX_ON_COLLATION_MISMATCH;

    const TEdsTableOptions& tableOptions = EdsTableOptions();
    const UNSIGNED16 locking =
        tableOptions.EdsLockType() == Proprietary ? EDS_PROPRIETARY_LOCKING : EDS_COMPATIBLE_LOCKING;
    const UNSIGNED16 charType = tableOptions.EdsCharType() == ANSI ? EDS_ANSI : EDS_OEM;
    const UNSIGNED16 rights = tableOptions.EdsRightsCheck() ? EDS_CHECK_RIGHTS : EDS_IGNORE_RIGHTS;

    std::string path = GetConnectPath();
    if (path.empty())
        RaiseEdsClientError(
            this, "One of the DatabaseName property or the EdsConnection property must have a value.");
    auto nameToOpen = [&] {
        const bool dictionary = component != nullptr && component->IsDictionaryConnection();
        return dictionary ? TableName() : JoinPath(path, TableName());
    };
    std::string name = nameToOpen();

    EDSHANDLE connection = 0;
    if (component != nullptr) {
        if (!component->IsConnected()) {
            component->SetIsConnected(true);
            // Connecting may have made it a dictionary connection or moved its folder.
            path = GetConnectPath();
            name = nameToOpen();
        }
        connection = component->ConnectionHandle();
    } else {
        connection = DynamicConnList().FindByPath(path);
        if (connection == 0) connection = DynamicConnList().Connect(path);
    }
    if (connection == 0) RaiseEdsClientError(this, "Internal Error: invalid connection handle.");

    const bool dictionary = component != nullptr && component->IsDictionaryConnection();
    EDSHANDLE handle = 0;
    UNSIGNED32 code = EdsApi.EdsOpenTable(connection, EdsText(name), nullptr, dictionary ? EDS_DEFAULT : EngineTableType(),
                                          charType, locking, rights, options, &handle);
    if (code == EDS_E_NOT_IN_DICTIONARY && dictionary)
        code = EdsApi.EdsOpenTable(connection, EdsText(JoinPath(path, TableName())), nullptr, EngineTableType(),
                                   charType, locking, rights, options, &handle);
    CheckEdsError(this, code);

    TOpenedTable opened(handle);
    if (dictionary) {
        UNSIGNED16 type = 0;
        CheckEdsError(this, EdsApi.EdsGetTableType(handle, &type));
        SetTableType(type == EDS_CDX ? ttEdsCDX : type == EDS_NTX ? ttEdsNTX : ttEdsEDT);
        if (type == EDS_CDX || type == EDS_NTX) {
            UNSIGNED16 tableChars = 0;
            CheckEdsError(this, EdsApi.EdsGetTableCharType(handle, &tableChars));
            EdsTableOptions().SetEdsCharType(tableChars == EDS_OEM ? OEM : ANSI);
        }
    }
    if (!encryptionPassword_.empty()) {
        UNSIGNED16 encrypted = 0;
        UNSIGNED16 enabled = 0;
        CheckEdsError(this, EdsApi.EdsIsTableEncrypted(handle, &encrypted));
        CheckEdsError(this, EdsApi.EdsIsEncryptionEnabled(handle, &enabled));
        if (encrypted == 1 && enabled == 0)
            CheckEdsError(this, EdsApi.EdsEnableEncryption(handle, EdsText(encryptionPassword_)));
    }
    for (int i = 0; i < IndexFiles().Count(); ++i) {
        EDSHANDLE indexes[50] = {};
        UNSIGNED16 room = 50;
        CheckEdsError(this, EdsApi.EdsOpenIndex(handle, EdsText(JoinPath(path, IndexFiles()[i])), indexes, &room));
    }
    return opened.Release();
}

UNSIGNED32 TEdsTable::GetLastAutoInc() {
    UNSIGNED32 value = 0;
    CheckEdsError(this, EdsApi.EdsGetLastAutoinc(Handle(), &value));
    return value & 0x7FFFFFFFu;
}

// ---- provider support ----------------------------------------------------------------------

std::string TEdsTable::PSGetTableName() {
    std::string name = TableName();
    if (name.size() > 4 && name[name.size() - 4] == '.') name.resize(name.size() - 4);
    return name;
}

void TEdsTable::PSSetCommandText(const std::string& CommandText) {
    if (!CommandText.empty()) SetTableName(CommandText);
}

std::unique_ptr<db::TIndexDefs> TEdsTable::PSGetIndexDefs(db::TIndexOptions IndexTypes) {
    IndexDefs().Update();
    return db::GetIndexDefs(IndexDefs(), IndexTypes);
}

bool TEdsTable::FieldsExist(const db::TIndexDef& Index) {
    for (const std::string& name : db::SplitFieldNames(Index.Fields()))
        if (FindField(name) == nullptr) return false;
    return true;
}

db::TIndexDef* TEdsTable::IndexOfOrder() {
    if (!IndexName().empty()) {
        const int at = IndexDefs().IndexOf(IndexName());
        return at < 0 ? nullptr : IndexDefs()[at];
    }
    if (!IndexFieldNames().empty()) return IndexDefs().GetIndexForFields(IndexFieldNames(), false);
    return nullptr;
}

std::unique_ptr<db::TIndexDef> TEdsTable::PSGetDefaultOrder() {
    IndexDefs().Update();
    const db::TIndexDef* chosen = nullptr;
    auto consider = [&](const db::TIndexDef* candidate) {
        if (chosen == nullptr && candidate != nullptr && FieldsExist(*candidate)) chosen = candidate;
    };
    consider(IndexOfOrder());
    for (const db::TIndexOption kind : {db::ixPrimary, db::ixUnique})
        for (int i = 0; chosen == nullptr && i < IndexDefs().Count(); ++i)
            if (IndexDefs()[i]->Options().Contains(kind)) {
                // Only the first index of each kind is a candidate.
                consider(IndexDefs()[i]);
                break;
            }
    if (chosen == nullptr) return nullptr;
    auto copy = std::make_unique<db::TIndexDef>(*chosen);
    return copy;
}

std::string TEdsTable::PSGetKeyFields() {
    std::string keys = TEdsExtendedTable::PSGetKeyFields();
    if (!keys.empty()) return keys;
    IndexDefs().Update();
    for (int i = 0; i < IndexDefs().Count(); ++i) {
        const db::TIndexDef* index = IndexDefs()[i];
        if (!index->Options().Contains(db::ixUnique)) continue;
        if (FieldCount() == 0 || FieldsExist(*index)) return index->Fields();
    }
    return std::string();
}

void TEdsTable::PSSetParams(const db::TParams& Params) {
    if (Params.Count() > 0) {
        Open();
        auto assign = [&] {
            for (int i = 0; i < Params.Count(); ++i) {
                const db::TParam& param = *Params[i];
                db::TField* field = nullptr;
                if (!param.Name().empty()) {
                    field = FieldByName(param.Name());
                } else {
                    UNSIGNED8 name[511] = {};
                    UNSIGNED16 length = 510;
                    CheckEdsError(this, EdsApi.EdsGetSegmentFieldname(OrderHandle(), static_cast<UNSIGNED16>(i),
                                                                      name, &length));
                    field = FieldByName(EdsBufferText(name, sizeof name, length));
                }
                field->SetValue(param.Value());
            }
        };
        SetRangeStart();
        assign();
        SetRangeEnd();
        assign();
        ApplyRange();
    } else if (Active()) {
        CancelRange();
    }
    PSReset();
}

void TEdsTable::GetDetailLinkFields(std::vector<db::TField*>& MasterFields, std::vector<db::TField*>& DetailFields) {
    MasterFields.clear();
    DetailFields.clear();
    MasterFields = MasterLinkFields();
    IndexDefs().Update();
    const db::TIndexDef* index = IndexOfOrder();
    if (index == nullptr) return;
    for (const std::string& name : db::SplitFieldNames(index->Fields()))
        if (db::TField* field = FindField(name)) DetailFields.push_back(field);
}
