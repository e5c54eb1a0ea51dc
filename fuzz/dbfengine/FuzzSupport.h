#pragma once
// What the dBase engine's fuzz targets share: an engine error is an answer, not a
// finding, and each run keeps its files apart from other runs.

#include <string>

#include <unistd.h>

#include "dbfengine/xfcommon.h"

namespace dbffuzz {

// Runs `f`; the engine raising its own error is what damaged input should do.
template <typename F>
void Try(F&& f)
{
    try {
        f();
    } catch (const xf::EXfError&) {
    }
}

// A path prefix of this process's files, in memory where the system has it (packs
// and index builds sync their files).
inline std::string FileBase(const std::string& target)
{
    const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return folder + "/" + target + "_" + std::to_string(getpid());
}

}  // namespace dbffuzz
