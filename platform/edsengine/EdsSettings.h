#pragma once
// Process-wide engine settings, read by the rest of the engine.

#include <string>

#include "platform/edsengine/eds.h"

namespace eds {

struct Settings {
    std::string dateFormat = "MM/DD/CCYY";  // as given to EdsSetDateFormat
    UNSIGNED16 decimals = 2;
    bool showDeleted = true;
    UNSIGNED16 serverTypes = EDS_LOCAL_SERVER | EDS_REMOTE_SERVER;
    UNSIGNED16 cachedTables = 0;
    UNSIGNED16 cachedCursors = 25;
};

// REQUIRES: the engine lock.
Settings& ProcessSettings();

}  // namespace eds
