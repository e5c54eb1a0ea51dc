#include "dbaccess/edsapi.h"

#include <algorithm>

constinit TEdsEntryPoints EdsApi{};

std::string EdsBufferText(const UNSIGNED8* buffer, std::size_t size, std::size_t length) {
    const auto* begin = reinterpret_cast<const char*>(buffer);
    const std::size_t limit = std::min(size, length);
    const auto* end = std::find(begin, begin + limit, '\0');
    return std::string(begin, end);
}
