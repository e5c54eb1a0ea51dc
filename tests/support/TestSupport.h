#pragma once
// Helpers shared by the test programs.

#include <filesystem>
#include <string>

namespace testsupport {

// A fresh folder under the system temp folder, removed with everything in it
// when the object goes. Every test that touches files makes its own, so tests
// can run in parallel.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Output of a shell command (stdout only) and its exit status.
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult RunCommand(const std::string& command);

// Whether a program is on PATH (tests that need an outside tool skip without it).
bool HaveProgram(const std::string& name);

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& bytes);

}  // namespace testsupport
