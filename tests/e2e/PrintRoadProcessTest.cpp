// The real program binary printing unattended (SENDORA_UNATTENDED_PRINTS):
// several stations on one data folder, and a station killed half way.

#include "tests/e2e/E2EProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace {

using e2e::ProgramCommand;
using e2e::Output;
using e2e::Status;
using e2e::SqlRows;

class Stations : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("sqlite3");
        // A first start makes the tables.
        testsupport::RunCommand(ProgramCommand(folder, 0, "setup"));
        ASSERT_EQ(Status(folder, "setup"), "0") << Output(folder, "setup");
        folder.SetNumbering("123456789", "0000041", true, true);
    }

    // Every logged article number once only, and each below the next serial.
    void ExpectNoNumberTwice()
    {
        const auto numbers = SqlRows(folder.Log(), "select MailerNum from Log37");
        const std::set<std::string> distinct(numbers.begin(), numbers.end());
        EXPECT_EQ(distinct.size(), numbers.size());
        const auto serials = SqlRows(folder.Log(), "select SerialNum from Log37");
        const std::set<std::string> distinctSerials(serials.begin(), serials.end());
        EXPECT_EQ(distinctSerials.size(), serials.size());
        const int next = std::stoi(folder.Serial());
        for (const std::string& serial : serials) EXPECT_LT(std::stoi(serial), next);
    }

    e2e::ProgramFolder folder;
};

TEST_F(Stations, TwoProgramsPrintingFiftyEachAtOnceShareTheCounter)
{
    testsupport::RunCommand(ProgramCommand(folder, 50, "a") + " & " + ProgramCommand(folder, 50, "b") + " & wait");
    EXPECT_EQ(Status(folder, "a"), "0") << Output(folder, "a");
    EXPECT_EQ(Status(folder, "b"), "0") << Output(folder, "b");

    EXPECT_EQ(folder.LogCount(), 100);
    EXPECT_EQ(SqlRows(folder.Log(), "select distinct MailerNum from Log37").size(), 100u);
    EXPECT_EQ(folder.Serial(), "0000141");
    EXPECT_EQ(e2e::PdfFiles(folder.Pdfs()).size(), 100u);
    ExpectNoNumberTwice();
}

// The pids of the stations that wrote `step`.<pid> into the folder.
std::vector<std::string> StepPids(const std::filesystem::path& steps, const std::string& step)
{
    std::vector<std::string> pids;
    for (const auto& entry : std::filesystem::directory_iterator(steps)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(step + ".", 0) == 0) pids.push_back(name.substr(step.size() + 1));
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

// Polls `done` every 10 ms for at most `ms` milliseconds.
bool WaitUntil(const std::function<bool()>& done, int ms)
{
    for (int waited = 0; waited < ms; waited += 10) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// Both stations are lined up to take a number at the same moment: A reads the
// serial and holds it unposted while B tries to take one. B must not read the
// serial A holds; it waits for the table and takes the next.
TEST_F(Stations, ASecondStationWaitsWhileTheFirstHoldsTheSerialUnposted)
{
    const std::filesystem::path steps = folder.home / "steps";
    std::filesystem::create_directories(steps);
    const std::string environment = "SENDORA_TEST_NUMBERING_STEPS=" + Quote(steps.string());
    const auto touch = [&steps](const std::string& name) { testsupport::WriteFile(steps / name, "\n"); };
    const auto finished = [this](const std::string& name) { return !Status(folder, name).empty(); };

    testsupport::RunCommand(ProgramCommand(folder, 1, "a", environment) + " >/dev/null 2>&1 & " +
                            ProgramCommand(folder, 1, "b", environment) + " >/dev/null 2>&1 &");
    ASSERT_TRUE(WaitUntil([&] { return StepPids(steps, "opening").size() == 2; }, 30000))
        << Output(folder, "a") << Output(folder, "b");
    const std::vector<std::string> pids = StepPids(steps, "opening");
    const std::string& a = pids[0];
    const std::string& b = pids[1];

    touch("open." + a);
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(steps / ("read." + a)); }, 10000));
    touch("open." + b);
    // B is at the table now: given time, it would read the serial A holds.
    WaitUntil([&] { return std::filesystem::exists(steps / ("read." + b)); }, 700);
    // A finishes before B goes on, so only the numbers can clash, not the edits.
    touch("post." + a);
    ASSERT_TRUE(WaitUntil([&] { return finished("a"); }, 30000));
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(steps / ("read." + b)); }, 10000));
    touch("post." + b);
    ASSERT_TRUE(WaitUntil([&] { return finished("b"); }, 30000));

    EXPECT_EQ(Status(folder, "a"), "0") << Output(folder, "a");
    EXPECT_EQ(Status(folder, "b"), "0") << Output(folder, "b");
    EXPECT_EQ(folder.LogCount(), 2);
    EXPECT_EQ(folder.Serial(), "0000043");
    ExpectNoNumberTwice();
}

TEST_F(Stations, ProgramKilledMidRunNeverIssuesANumberTwiceAfterRestart)
{
    const testsupport::CommandResult started =
        testsupport::RunCommand(ProgramCommand(folder, 100000, "killed") + " >/dev/null 2>&1 & echo $!");
    // The subshell's pid: the program is its only child.
    const pid_t shell = static_cast<pid_t>(std::stol(started.output));
    pid_t program = 0;
    for (int i = 0; i < 3000 && program == 0; ++i) {
        const std::string children = testsupport::RunCommand("pgrep -P " + std::to_string(shell)).output;
        if (!children.empty()) program = static_cast<pid_t>(std::stol(children));
        else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(program, 0) << "program did not start";

    // Let it number a few mailers, then kill it wherever it is.
    bool running = false;
    for (int i = 0; i < 6000 && !running; ++i) {
        const std::string serial = folder.Serial();
        running = !serial.empty() && std::stoi(serial) >= 47;
        if (!running) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(::kill(program, SIGKILL), 0);
    ASSERT_TRUE(running) << Output(folder, "killed");
    for (int i = 0; i < 3000 && ::kill(shell, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    const int before = folder.LogCount();
    testsupport::RunCommand(ProgramCommand(folder, 10, "restart"));
    EXPECT_EQ(Status(folder, "restart"), "0") << Output(folder, "restart");
    EXPECT_EQ(folder.LogCount(), before + 10);
    ExpectNoNumberTwice();
}

}  // namespace
