#include "app/data/FailureMessage.h"

#include "app/data/U_Settings.h"
#include "dbaccess/edscnnct.h"
#include "dbaccess/edsfunc.h"
#include "dbaccess/edsset.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"

#include <optional>

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

}  // namespace

std::string FailureAdvice(const std::exception& error)
{
    switch (CauseOf(error)) {
        case Cause::InUse: return "Another station is using the same data just now. Please try again in a moment.";
        case Cause::NotWritable:
            return "The data folder " + FolderOf(error) +
                   " cannot be written: it is read-only, or your user has no permission to write to it. Make the "
                   "folder writable for your user, and try again.";
        case Cause::TableMissing:
            return "A table in the data folder " + gAppPath +
                   " is missing or damaged. Close the program and start it again: missing tables are made at "
                   "start-up.";
        case Cause::Disk: return "The disk could not be read or written. Check that it is connected and not full.";
        case Cause::Duplicate: return "An entry with the same key is already there.";
        case Cause::Unknown: break;
    }
    return {};
}

ui::MessageRequest FailureMessage(const std::string& whatFailed, const std::exception& error)
{
    ui::MessageRequest request;
    request.kind = ui::MsgKind::Error;
    request.buttons = ui::MsgButtons::Ok;
    request.title = ui::DefaultTitle(ui::MsgKind::Error);
    request.text = whatFailed;
    const std::string advice = FailureAdvice(error);
    if (IsEngineError(error))
        request.details = error.what();
    else if (*error.what() != '\0')
        request.text += "\r\r" + std::string(error.what());
    if (!advice.empty()) request.text += "\r\r" + advice;
    return request;
}

void ShowFailure(const std::string& whatFailed, const std::exception& error)
{
    ui::ShowMessage(FailureMessage(whatFailed, error));
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
