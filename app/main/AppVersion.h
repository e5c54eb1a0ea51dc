#pragma once
#include <string>

// The program's version as set once in the build ("4.1.5").
std::string AppVersion();
