#pragma once
// Engine-wide plumbing: the error every internal operation throws, the per-thread
// last error, the one engine lock, and the wrapper that turns an entry point's body
// into a return code.

#include <mutex>
#include <string>
#include <string_view>

#include "platform/edsengine/eds.h"

namespace eds {

// Thrown inside the engine; an entry point answers its code and records its text.
class EngineError {
public:
    EngineError(UNSIGNED32 code, std::string text) : code_(code), text_(std::move(text)) {}
    UNSIGNED32 Code() const { return code_; }
    const std::string& Text() const { return text_; }

private:
    UNSIGNED32 code_;
    std::string text_;
};

[[noreturn]] void Throw(UNSIGNED32 code, std::string text);

// Records code and text as this thread's last error and answers the code.
UNSIGNED32 SetLastError(UNSIGNED32 code, std::string text);
UNSIGNED32 LastErrorCode();
std::string LastErrorText();

// The engine's own text for a code (used when a code is reported without one).
std::string DefaultErrorText(UNSIGNED32 code);

// Every entry point runs under this lock: the engine's state is shared by all threads.
std::recursive_mutex& EngineLock();

// Runs body under the engine lock; an EngineError (or any other exception) becomes
// the answered code and this thread's last error.
UNSIGNED32 FailFromCurrentException();

template <class Body>
UNSIGNED32 Run(Body&& body) {
    try {
        std::lock_guard<std::recursive_mutex> lock(EngineLock());
        body();
        return EDS_SUCCESS;
    } catch (...) {
        return FailFromCurrentException();
    }
}

// For calls that are not built: answers EDS_E_NOT_SUPPORTED with a text naming the call.
UNSIGNED32 NotSupported(std::string_view call);

// Text in and out of caller buffers.
std::string_view TextArg(const UNSIGNED8* text);  // null gives ""
void CopyOut(std::string_view text, UNSIGNED8* buf, UNSIGNED16* len);  // throws on short room
void CheckOut(const void* pointer, const char* what);                  // null out-pointer refused

}  // namespace eds
