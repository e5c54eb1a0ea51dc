#pragma once
// Files the program ships and only reads: the report project, the ZIP table
// ZIPCODES.edt and its licence, help. They are found apart from the user's
// data folder (gAppPath): beside the executable (a build folder), then in the
// installed share folder (<prefix>/share/sendora-pro beside <prefix>/bin),
// whatever the install prefix.

#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kReportProjectFile = "Sendo3pro.rpf";
inline constexpr const char* kZipCodesTableFile = "ZIPCODES.edt";

// The folders looked in, in order.
std::vector<std::string> ShippedFolders();

// The path of shipped file `name` in the first folder that holds it (names
// matched without regard to case, as tables are found); nothing when none does.
std::optional<std::string> FindShippedFile(const std::string& name);

// Tests: the folders looked in while this lives, instead of the executable's.
class ScopedShippedFolders {
public:
    explicit ScopedShippedFolders(std::vector<std::string> folders);
    ~ScopedShippedFolders();
    ScopedShippedFolders(const ScopedShippedFolders&) = delete;
    ScopedShippedFolders& operator=(const ScopedShippedFolders&) = delete;

private:
    std::optional<std::vector<std::string>> previous_;
};
