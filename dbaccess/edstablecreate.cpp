// Making table files and adding index tags to them.

#include "dbaccess/edstable.h"

#include "dbaccess/edsdataconv.h"

#include <algorithm>

namespace {

constexpr EDSHANDLE kNoHandle = static_cast<EDSHANDLE>(-1);
constexpr std::size_t kMaxFileName = 260;

UNSIGNED16 EngineTypeOf(TEdsTableTypes Type) {
    switch (Type) {
        case ttEdsNTX: return EDS_NTX;
        case ttEdsCDX: return EDS_CDX;
        default: return EDS_EDT;
    }
}

}  // namespace

std::string NthListName(const std::string& List, int Number) {
    if (Number < 1) return std::string();
    std::size_t start = 0;
    for (int i = 1; i < Number; ++i) {
        const std::size_t separator = List.find(';', start);
        if (separator == std::string::npos) return std::string();
        start = separator + 1;
    }
    const std::size_t end = List.find(';', start);
    return List.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void BuildIndexExpression(EDSHANDLE Table, std::string& Fields) {
    std::string expression;
    for (int i = 1;; ++i) {
        const std::string name = NthListName(Fields, i);
        // The list ends at the first empty name: "A;" has one name, not two.
        if (name.empty()) break;
        UNSIGNED16 type = 0;
        // An unknown column is left as written: the index creation reports it.
        EdsApi.EdsGetFieldType(Table, EdsText(name), &type);
        if (i > 1) expression += ';';
        expression += type == EDS_STRING ? "UPPER(" + name + ")" : name;
    }
    Fields = expression;
}

void TEdsExtendedTable::CreateTable(const std::string& FileName, TEdsTableTypes TableType, TEdsCharTypes CharType,
                                    UNSIGNED16 MemoSize, const std::string& Fields) {
    const UNSIGNED16 tableType = EngineTypeOf(TableType);
    const UNSIGNED16 charType = CharType == OEM ? EDS_OEM : EDS_ANSI;
    EDSHANDLE connection = 0;
    if (TEdsConnection* component = EdsConnection()) {
        if (!component->IsConnected()) component->SetIsConnected(true);
        connection = component->ConnectionHandle();
    }
    // A longer name would have been cut at this length: refuse it rather than
    // create a file of another name.
    if (FileName.size() >= kMaxFileName)
        RaiseEdsClientError(this, "The table file name is too long: " + FileName);
    EDSHANDLE table = 0;
    CheckEdsError(this, EdsApi.EdsCreateTable(connection, EdsText(FileName), nullptr, tableType, charType,
                                              EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, MemoSize, EdsText(Fields),
                                              &table));
    CheckEdsResultExcept5068(this, EdsApi.EdsCloseTable(table));
}

void TEdsDataSet::AddIndex(const std::string& Name, const std::string& Fields, db::TIndexOptions Options) {
    UNSIGNED32 options = 0;
    if (Options.Contains(db::ixUnique)) options |= EDS_UNIQUE;
    if (Options.Contains(db::ixDescending)) options |= EDS_DESCENDING;
    if (tableType_ == ttEdsCDX || tableType_ == ttEdsEDT) options |= EDS_COMPOUND;

    // Refused before the table is touched.
    if (Options.Contains(db::ixCaseInsensitive) && Options.Contains(db::ixExpression))
        RaiseEdsClientError(this, "ixCaseInsensitive is not supported with ixExpression indexes");

    const bool openedHere = cursor_ == kNoHandle;
    const EDSHANDLE table = openedHere ? OpenCursorHandle() : cursor_;
    try {
        std::string expression = Fields;
        if (Options.Contains(db::ixCaseInsensitive)) BuildIndexExpression(table, expression);
        if (tableType_ != ttEdsEDT) std::replace(expression.begin(), expression.end(), ';', '+');
        const bool tagInTable = tableType_ == ttEdsCDX || tableType_ == ttEdsEDT;
        const std::string fileName = tagInTable ? std::string() : Name;
        const std::string tag = tagInTable ? Name : std::string();
        EDSHANDLE index = 0;
        CheckEdsError(this, EdsApi.EdsCreateIndex61(table, EdsText(fileName), EdsText(tag), EdsText(expression),
                                                    EdsText(""), EdsText(""), options, options_->EdsIndexPageSize(),
                                                    &index));
    } catch (...) {
        // The index error is the one the caller must see, not a failing close.
        if (openedHere) EdsApi.EdsCloseTable(table);
        throw;
    }
    if (openedHere) CheckEdsError(this, EdsApi.EdsCloseTable(table));
    indexDefs_.SetUpdated(false);
}
