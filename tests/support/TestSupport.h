#pragma once
// Helpers shared by the test programs.

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
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

// Whether a program is on PATH.
bool HaveProgram(const std::string& name);

// The programs of `names` that are not on PATH, separated by ", "; empty when
// all are there.
std::string MissingPrograms(std::initializer_list<const char*> names);


std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& bytes);

}  // namespace testsupport

// Fails the current test (returning from the test body or SetUp) unless every
// named outside tool is on PATH. The checkers are installed by `make test`, so
// a machine without them fails by name instead of passing with checks left out.
#define REQUIRE_TOOLS(...)                                                                              \
    do {                                                                                                \
        const std::string missingTools_ = ::testsupport::MissingPrograms({__VA_ARGS__});                \
        if (!missingTools_.empty())                                                                     \
            GTEST_FAIL() << "missing tool(s) on PATH: " << missingTools_                                \
                         << " (scripts/install-deps.sh installs them)";                                 \
    } while (false)
