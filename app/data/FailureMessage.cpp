#include "app/data/FailureMessage.h"

#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "dbaccess/edscnnct.h"
#include "dbaccess/edsfunc.h"
#include "dbaccess/edsset.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"

#include <cctype>
#include <optional>
#include <string_view>

namespace {

// Errors whose text is the engine's or the dataset layer's, not ours.
bool IsEngineError(const std::exception& error)
{
    return dynamic_cast<const db::EDatabaseError*>(&error) != nullptr ||
           dynamic_cast<const EdsError*>(&error) != nullptr ||
           dynamic_cast<const EdsConnectionError*>(&error) != nullptr ||
           dynamic_cast<const EdsSettingsError*>(&error) != nullptr ||
           dynamic_cast<const rtl::Exception*>(&error) == nullptr;
}

bool Mentions(const std::string& text, const char* word)
{
    return rtl::UpperCase(text).find(rtl::UpperCase(word)) != std::string::npos;
}

enum class Cause { Unknown, InUse, NotWritable, TableMissing, Disk, Duplicate };

Cause CauseOf(const std::exception& error)
{
    const std::string text = error.what();
    // A folder that may not be written fails as the system says, whatever
    // code the engine gave the failure (a lock file it could not open is an
    // I/O error to the engine).
    if (Mentions(text, "read-only") || Mentions(text, "readonly") || Mentions(text, "permission denied"))
        return Cause::NotWritable;
    std::optional<std::int32_t> code;
    if (const auto* eds = dynamic_cast<const EEDSDatabaseError*>(&error)) code = eds->ErrorCode();
    if (code) {
        switch (static_cast<UNSIGNED32>(*code)) {
            case EDS_E_TABLE_LOCKED:
            case EDS_E_RECORD_LOCKED:
            case EDS_E_BUSY: return Cause::InUse;
            case EDS_E_READ_ONLY:
            case EDS_E_PERMISSION_DENIED: return Cause::NotWritable;
            case EDS_E_FILE_NOT_FOUND:
            case EDS_E_NOT_A_TABLE: return Cause::TableMissing;
            case EDS_E_IO: return Cause::Disk;
            case EDS_E_UNIQUE_VIOLATION: return Cause::Duplicate;
            default: break;
        }
    }
    // SQL statements report what SQLite said.
    if (Mentions(text, "no such table")) return Cause::TableMissing;
    if (Mentions(text, "database is locked")) return Cause::InUse;
    if (Mentions(text, "disk is full") || Mentions(text, "disk I/O")) return Cause::Disk;
    return Cause::Unknown;
}

// The folder of the table that failed, as the engine resolved it; the data
// folder when the failure names no table.
std::string FolderOf(const std::exception& error)
{
    if (const auto* eds = dynamic_cast<const EEDSDatabaseError*>(&error)) {
        const std::string& folder = eds->ConnectPath().empty() ? eds->DatabaseName() : eds->ConnectPath();
        if (!folder.empty()) return rtl::ExcludeTrailingPathDelimiter(folder);
    }
    return gAppPath;
}

// The name of the table that was missing, when the error tells it: the
// table component's own, SQLite's "no such table: [schema.]name", or the
// engine's "The table file <path> does not exist.".
std::string MissingTableOf(const std::exception& error)
{
    std::string name;
    if (const auto* eds = dynamic_cast<const EEDSDatabaseError*>(&error)) name = eds->TableName();
    const std::string text = error.what();
    if (name.empty()) {
        if (const std::size_t at = text.find("no such table: "); at != std::string::npos) {
            const std::size_t begin = at + std::string_view("no such table: ").size();
            std::size_t end = begin;
            while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_' ||
                                         text[end] == '.'))
                ++end;
            name = text.substr(begin, end - begin);
            if (const std::size_t dot = name.rfind('.'); dot != std::string::npos) name = name.substr(dot + 1);
        } else if (const std::size_t file = text.find("The table file "); file != std::string::npos) {
            const std::size_t begin = file + std::string_view("The table file ").size();
            const std::size_t end = text.find(" does not exist", begin);
            if (end != std::string::npos) name = rtl::ExtractFileName(text.substr(begin, end - begin));
        }
    }
    if (rtl::UpperCase(rtl::ExtractFileExt(name)) == rtl::UpperCase(kTableExtension))
        name.resize(name.size() - std::string_view(kTableExtension).size());
    return name;
}

bool SameFolder(const std::string& a, const std::string& b)
{
    return rtl::ExcludeTrailingPathDelimiter(a) == rtl::ExcludeTrailingPathDelimiter(b);
}

// What helps when `table` is missing in `folder`. Start-up makes only the
// sender-address table, the log with its side tables and the mailer-number
// table, each in the folder the settings name for it; an address book is
// chosen or made in its own dialog; for anything else nothing the person can
// do in the program is known.
std::string MissingTableRemedy(const std::string& table, const std::string& folder,
                               const std::string& unknownTableAdvice)
{
    struct TMadeAtStart {
        const char* table;
        const std::string* folder;
    };
    const TMadeAtStart madeAtStart[] = {
        {kYourAddressTable, &gYourAddressDB}, {kLogTable, &gLogDB},          {kLogFiltersTable, &gLogDB},
        {kLogFiltersDetailTable, &gLogDB},    {kReportsTable, &gLogDB},      {kReportDetailTable, &gLogDB},
        {kMailerNumTable, &gMailerNumDB}};
    for (const TMadeAtStart& made : madeAtStart)
        if (rtl::SameText(table, made.table))
            return SameFolder(folder, *made.folder)
                       ? "Close the program and start it again: missing tables are made at start-up."
                       : std::string();
    for (const char* book : {kAddressTable, kGroupsTable, kMembersTable})
        if (rtl::SameText(table, book)) return kAddressBookAdvice;
    return table.empty() ? unknownTableAdvice : std::string();
}

}  // namespace

std::string FailureAdvice(const std::exception& error, const std::string& unknownTableAdvice)
{
    switch (CauseOf(error)) {
        case Cause::InUse: return "Another station is using the same data just now. Please try again in a moment.";
        case Cause::NotWritable:
            return "The data folder " + FolderOf(error) +
                   " cannot be written: it is read-only, or your user has no permission to write to it. Make the "
                   "folder writable for your user, and try again.";
        case Cause::TableMissing: {
            const std::string folder = FolderOf(error);
            const std::string remedy = MissingTableRemedy(MissingTableOf(error), folder, unknownTableAdvice);
            return "A table in the folder " + folder + " is missing or damaged." +
                   (remedy.empty() ? "" : " " + remedy);
        }
        case Cause::Disk: return "The disk could not be read or written. Check that it is connected and not full.";
        case Cause::Duplicate: return "An entry with the same key is already there.";
        case Cause::Unknown: break;
    }
    return {};
}

ui::MessageRequest FailureMessage(const std::string& whatFailed, const std::exception& error,
                                  const std::string& unknownTableAdvice)
{
    ui::MessageRequest request;
    request.kind = ui::MsgKind::Error;
    request.buttons = ui::MsgButtons::Ok;
    request.title = ui::DefaultTitle(ui::MsgKind::Error);
    request.text = whatFailed;
    const std::string advice = FailureAdvice(error, unknownTableAdvice);
    if (IsEngineError(error))
        request.details = error.what();
    else if (*error.what() != '\0')
        request.text += "\r\r" + std::string(error.what());
    if (!advice.empty()) request.text += "\r\r" + advice;
    return request;
}

void ShowFailure(const std::string& whatFailed, const std::exception& error, const std::string& unknownTableAdvice)
{
    ui::ShowMessage(FailureMessage(whatFailed, error, unknownTableAdvice));
}

bool IsUniqueViolation(const std::exception& error)
{
    const auto* e = dynamic_cast<const EEDSDatabaseError*>(&error);
    if (e == nullptr) return false;
    constexpr std::int32_t kSqliteConstraintUnique = 2067;
    constexpr std::int32_t kSqliteConstraintPrimaryKey = 1555;
    return e->ErrorCode() == static_cast<std::int32_t>(EDS_E_UNIQUE_VIOLATION) ||
           e->NativeError() == kSqliteConstraintUnique || e->NativeError() == kSqliteConstraintPrimaryKey;
}
