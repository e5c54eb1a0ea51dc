#include "TestSupport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <sys/wait.h>

namespace testsupport {

namespace {

// The tools the running test declared; `test` tells whose they are, so a
// test never inherits the declarations of one before it in the same process.
struct Declared {
    const ::testing::TestInfo* test = nullptr;
    std::set<std::string, std::less<>> tools;
};

Declared& DeclaredTools()
{
    static Declared declared;
    const ::testing::TestInfo* running = ::testing::UnitTest::GetInstance()->current_test_info();
    if (declared.test != running) {
        declared.test = running;
        declared.tools.clear();
    }
    return declared;
}

void FailAt(const char* file, int line, const std::string& text) { GTEST_FAIL_AT(file, line) << text; }

// The program a shell command starts, or empty when that cannot be told
// from its first word.
std::string_view StartedProgram(std::string_view command)
{
    constexpr std::array<std::string_view, 18> builtins{"export", "cd",    "command", "echo", "exec",  "test",
                                                        "[",      "true",  "false",   "set",  "unset", "printf",
                                                        "wait",   "kill",  "umask",   "eval", ".",     "type"};
    const std::size_t start = command.find_first_not_of(" \t\n");
    if (start == std::string_view::npos) return {};
    command.remove_prefix(start);
    const std::string_view word = command.substr(0, command.find_first_of(" \t\n;&|<>()"));
    if (word.empty() || word.find_first_of("=\"'$`") != std::string_view::npos) return {};
    if (std::find(builtins.begin(), builtins.end(), word) != builtins.end()) return {};
    return word;
}

}  // namespace

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sendora-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

CommandResult RunCommand(const std::string& command) {
    ExpectDeclaredTool(command);
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer{};
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool HaveProgram(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null 2>&1").status == 0;
}

std::string MissingPrograms(std::initializer_list<const char*> names) {
    std::string missing;
    for (const char* name : names) {
        if (HaveProgram(name)) continue;
        if (!missing.empty()) missing += ", ";
        missing += name;
    }
    return missing;
}

bool RequireTools(std::initializer_list<const char*> names, const char* file, int line)
{
    Declared& declared = DeclaredTools();
    for (const char* name : names) declared.tools.insert(name);
    const std::string missing = MissingPrograms(names);
    if (missing.empty()) return true;
    FailAt(file, line, "missing tool(s): " + missing + " (scripts/install-deps.sh installs them)");
    return false;
}

void ExpectDeclaredTool(const std::string& command)
{
    if (::testing::UnitTest::GetInstance()->current_test_info() == nullptr) return;
    const std::string_view program = StartedProgram(command);
    if (program.empty() || DeclaredTools().tools.count(program) != 0) return;
    ADD_FAILURE() << "the test runs " << program << " without declaring it: REQUIRE_TOOLS(\"" << program
                  << "\") where it starts";
}

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace testsupport
