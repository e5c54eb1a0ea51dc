#pragma once
// Shared by the engine's tests: the engine's error state reset to raising mode
// (an engine error inside a test must never end the test program), and the
// Python and Perl reference scripts beside the tests.

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "dbfengine/uxffds.h"
#include "dbfengine/xfcommon.h"
#include "tests/support/TestSupport.h"

namespace dbftest {

// A dataset named `name` on the table at `path` with the field list `fields`,
// open (the table is made when it is missing).
inline std::unique_ptr<xf::TXfDbf> OpenDbf(const std::string& path, const std::string& name,
                                           std::vector<std::string> fields)
{
    auto ds = std::make_unique<xf::TXfDbf>();
    ds->SetName(name);
    ds->SetDbfFields(std::move(fields));
    ds->SetDbfFileName(path);
    ds->Open();
    return ds;
}

// Raise mode, delivery on, no hook, no pending error; restored afterwards.
class EngineErrorsGuard {
public:
    EngineErrorsGuard() : saved_(xf::XfErrors())
    {
        xf::TXfErrorState& state = xf::XfErrors();
        state = xf::TXfErrorState {};
        state.RaiseOnError = 1;
    }
    ~EngineErrorsGuard() { xf::XfErrors() = saved_; }
    EngineErrorsGuard(const EngineErrorsGuard&) = delete;
    EngineErrorsGuard& operator=(const EngineErrorsGuard&) = delete;

private:
    xf::TXfErrorState saved_;
};

// The code and the text of the engine error `action` raises ({0, ""} for none).
inline std::pair<int, std::string> ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const xf::EXfError& e) {
        return {xf::XfErrors().LastError, e.what()};
    }
    return {0, ""};
}

// Ends a forked child at once, as a crash would, and reaps it; `pid` becomes -1.
inline void KillChild(pid_t& pid)
{
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

// Another user's turn: in this program (`turn` runs here), or in another program,
// forked, that has ended when this returns.
inline void AsOtherUser(bool otherProgram, const std::function<void()>& turn)
{
    if (!otherProgram) {
        turn();
        return;
    }
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int status = 0;
        try {
            turn();
        } catch (...) {
            status = 1;
        }
        _exit(status);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other program failed its turn";
}

// Bytes as lower-case hexadecimal digits, two a byte.
inline std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

inline std::string PythonScript(const std::string& name)
{
    return std::string(SENDORA_SOURCE_DIR) + "/tests/dbfengine/python/" + name;
}

// The Perl script that reads index files with Perl's XBase index reader.
inline std::string PerlScript() { return std::string(SENDORA_SOURCE_DIR) + "/tests/dbfengine/perl/mdx_read.pl"; }

inline std::string DataFile(const std::string& name)
{
    return std::string(SENDORA_SOURCE_DIR) + "/tests/dbfengine/data/" + name;
}

// Runs a command and hands every line of its output to `line`; returns the exit status.
inline int ForEachOutputLine(const std::string& command, const std::function<void(const std::string&)>& line)
{
    testsupport::ExpectDeclaredTool(command);
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::string current;
    char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        for (std::size_t i = 0; i < n; ++i) {
            if (buffer[i] == '\n') {
                line(current);
                current.clear();
            } else {
                current += buffer[i];
            }
        }
    }
    if (!current.empty()) line(current);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace dbftest
