#include "app/AppVersion.h"

std::string AppVersion() { return SENDORA_VERSION; }
