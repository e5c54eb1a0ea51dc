#include "app/main/AppVersion.h"

std::string AppVersion() { return SENDORA_VERSION; }
