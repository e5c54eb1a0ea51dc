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

// Output of a shell command (stdout only) and its exit status. The program the
// command starts with must be one the running test declared (REQUIRE_TOOLS).
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult RunCommand(const std::string& command);

// Whether a program is on PATH, or, named by its path, is there and runs.
bool HaveProgram(const std::string& name);

// The programs of `names` that are not there, separated by ", "; empty when
// all are.
std::string MissingPrograms(std::initializer_list<const char*> names);

// Declares the outside programs the running test starts and fails it (a
// fatal failure at file:line) unless every one is there. False when one is
// missing. Use it through REQUIRE_TOOLS.
bool RequireTools(std::initializer_list<const char*> names, const char* file, int line);

// Fails the running test when `command` starts a program the test has not
// declared: a test that forgets a tool would otherwise only fail, unclearly or
// by hanging, on a machine without it. Commands that start with a shell
// builtin, a variable assignment, a subshell or a quoted path are not judged.
void ExpectDeclaredTool(const std::string& command);

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& bytes);

}  // namespace testsupport

// Declares the outside tools (programs on PATH, or paths) the current test
// runs, and fails it at once, naming the missing ones, unless all are there.
// The checkers are installed by `make test`, so a machine without them fails
// by name instead of passing with checks left out or hanging on an answer
// that never comes. Place it where the test starts: the first line of the
// test, or the fixture's SetUp, which skips the test body on failure.
#define REQUIRE_TOOLS(...)                                                                  \
    do {                                                                                    \
        if (!::testsupport::RequireTools({__VA_ARGS__}, __FILE__, __LINE__)) return;        \
    } while (false)
