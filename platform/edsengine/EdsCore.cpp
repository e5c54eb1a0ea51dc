#include "platform/edsengine/EdsCore.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace eds {
namespace {

// Trivially destructible on purpose: the layer above disconnects its implicit
// connections from an exit handler, which runs after the main thread's
// thread-local objects are gone. A std::string here would then be written after
// its destruction. Texts past the buffer are cut, which the engine allows.
struct LastError {
    UNSIGNED32 code = EDS_SUCCESS;
    std::size_t length = 0;
    char text[4096];
};

LastError& ThreadLastError() {
    thread_local LastError last;
    return last;
}

}  // namespace

void Throw(UNSIGNED32 code, std::string text) { throw EngineError(code, std::move(text)); }

UNSIGNED32 SetLastError(UNSIGNED32 code, std::string text) {
    LastError& last = ThreadLastError();
    last.code = code;
    last.length = std::min(text.size(), sizeof last.text);
    std::memcpy(last.text, text.data(), last.length);
    return code;
}

UNSIGNED32 LastErrorCode() { return ThreadLastError().code; }
std::string LastErrorText() {
    const LastError& last = ThreadLastError();
    return std::string(last.text, last.length);
}

std::string DefaultErrorText(UNSIGNED32 code) {
    switch (code) {
    case EDS_SUCCESS: return "";
    case EDS_E_INSUFFICIENT_BUFFER: return "The buffer is too small for the answer.";
    case EDS_E_RECORD_NOT_FOUND: return "The record was not found.";
    case EDS_E_NOT_CONNECTED: return "The handle is not an open connection.";
    case EDS_E_NO_FILTER: return "No filter is set.";
    case EDS_E_NO_SCOPE: return "No scope is set.";
    case EDS_E_NO_POSITION: return "There is no current position.";
    case EDS_E_PERMISSION_DENIED: return "Permission denied.";
    case EDS_E_NO_MORE_FILES: return "No more tables.";
    case EDS_E_STATIC_VIEW: return "This table is based on a static VIEW. Static VIEWs can not be updated.";
    case EDS_E_NO_CURRENT_RECORD: return "There is no current record.";
    case EDS_E_NO_PENDING_UPDATE: return "No update is pending.";
    case EDS_E_INVALID_STATEMENT: return "The handle is not an SQL statement.";
    case EDS_E_NO_ROWS_AFFECTED: return "The statement reports no affected rows.";
    case EDS_E_NOT_IN_DICTIONARY: return "The table is not in the data dictionary.";
    case EDS_E_NO_MORE_OBJECTS: return "No more objects.";
    case EDS_E_PROPERTY_NOT_FOUND: return "The property was not found.";
    case EDS_E_INVALID_HANDLE: return "The handle is not valid.";
    case EDS_E_NOT_SUPPORTED: return "The operation is not supported.";
    case EDS_E_FILE_NOT_FOUND: return "The table file was not found.";
    case EDS_E_FILE_EXISTS: return "The table file already exists.";
    case EDS_E_TABLE_LOCKED: return "The table is in use by another user.";
    case EDS_E_RECORD_LOCKED: return "The record is locked by another user.";
    case EDS_E_UNIQUE_VIOLATION: return "The key already exists in a unique index.";
    case EDS_E_READ_ONLY: return "The table is open read-only.";
    case EDS_E_BUSY: return "The table file stayed locked by another user.";
    default: return "Engine error " + std::to_string(code) + ".";
    }
}

std::recursive_mutex& EngineLock() {
    static std::recursive_mutex lock;
    return lock;
}

UNSIGNED32 FailFromCurrentException() {
    try {
        throw;
    } catch (const EngineError& e) {
        return SetLastError(e.Code(), e.Text().empty() ? DefaultErrorText(e.Code()) : e.Text());
    } catch (const std::bad_alloc&) {
        return SetLastError(EDS_E_IO, "Out of memory.");
    } catch (const std::exception& e) {
        return SetLastError(EDS_E_IO, std::string("Internal engine error: ") + e.what());
    } catch (...) {
        return SetLastError(EDS_E_IO, "Internal engine error.");
    }
}

UNSIGNED32 NotSupported(std::string_view call) {
    return SetLastError(EDS_E_NOT_SUPPORTED, std::string(call) + " is not supported by this engine.");
}

std::string_view TextArg(const UNSIGNED8* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

void CheckOut(const void* pointer, const char* what) {
    if (!pointer) Throw(EDS_E_INVALID_ARGUMENT, std::string("Missing ") + what + ".");
}

void CopyOut(std::string_view text, UNSIGNED8* buf, UNSIGNED16* len) {
    CheckOut(len, "length");
    const std::size_t room = *len;
    if (text.size() > 0xFFFF) Throw(EDS_E_INSUFFICIENT_BUFFER, DefaultErrorText(EDS_E_INSUFFICIENT_BUFFER));
    if (!buf || text.size() + 1 > room) {
        if (buf && room > 0) {
            std::memcpy(buf, text.data(), room - 1);
            buf[room - 1] = 0;
        }
        *len = static_cast<UNSIGNED16>(text.size());
        Throw(EDS_E_INSUFFICIENT_BUFFER, DefaultErrorText(EDS_E_INSUFFICIENT_BUFFER));
    }
    std::memcpy(buf, text.data(), text.size());
    buf[text.size()] = 0;
    *len = static_cast<UNSIGNED16>(text.size());
}

}  // namespace eds
