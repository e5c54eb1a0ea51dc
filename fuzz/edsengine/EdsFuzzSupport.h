#pragma once
// What the engine's fuzz targets share: text arguments, and the check that a
// failure leaves its code and a text as the thread's last error.

#include <cstdlib>
#include <string>

#include "platform/edsengine/eds.h"

namespace edsfuzz {

inline const UNSIGNED8* U(const std::string& s) { return reinterpret_cast<const UNSIGNED8*>(s.c_str()); }

inline void Refused(UNSIGNED32 rc) {
    if (rc == EDS_SUCCESS) return;
    UNSIGNED32 code = 0;
    UNSIGNED8 text[600];
    UNSIGNED16 len = sizeof text;
    if (EdsGetLastError(&code, text, &len) != EDS_SUCCESS || code != rc || len == 0) std::abort();
}

}  // namespace edsfuzz
