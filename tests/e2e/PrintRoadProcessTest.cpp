// The real program binary printing unattended (SENDORA_UNATTENDED_PRINTS):
// several stations on one data folder, and a station killed half way.

#include "tests/e2e/E2EProgram.h"

#include <gtest/gtest.h>

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

// The pid of the station that wrote `step`.<pid> into its steps folder, empty
// while none has.
std::string StepPid(const std::filesystem::path& steps, const std::string& step)
{
    for (const auto& entry : std::filesystem::directory_iterator(steps)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(step + ".", 0) == 0) return name.substr(step.size() + 1);
    }
    return {};
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
    const std::filesystem::path stepsA = folder.home / "steps-a", stepsB = folder.home / "steps-b";
    std::filesystem::create_directories(stepsA);
    std::filesystem::create_directories(stepsB);
    const auto reached = [](const std::filesystem::path& steps, const std::string& step) {
        return !StepPid(steps, step).empty();
    };
    // Lets the station on from its current step.
    const auto allow = [](const std::filesystem::path& steps, const std::string& reachedStep, const std::string& next) {
        testsupport::WriteFile(steps / (next + "." + StepPid(steps, reachedStep)), "\n");
    };
    const auto finished = [this](const std::string& name) { return !Status(folder, name).empty(); };

    testsupport::RunCommand(
        ProgramCommand(folder, 1, "a", {}, "SENDORA_TEST_NUMBERING_STEPS=" + e2e::Quote(stepsA.string())) +
        " >/dev/null 2>&1 & " +
        ProgramCommand(folder, 1, "b", {}, "SENDORA_TEST_NUMBERING_STEPS=" + e2e::Quote(stepsB.string())) +
        " >/dev/null 2>&1 &");
    ASSERT_TRUE(WaitUntil([&] { return reached(stepsA, "opening") && reached(stepsB, "opening"); }, 30000))
        << Output(folder, "a") << Output(folder, "b");

    allow(stepsA, "opening", "open");
    ASSERT_TRUE(WaitUntil([&] { return reached(stepsA, "read"); }, 10000)) << Output(folder, "a");
    allow(stepsB, "opening", "open");
    // B is at the table now: given time, it would read the serial A holds.
    WaitUntil([&] { return reached(stepsB, "read"); }, 700);
    // A finishes before B goes on, so only the numbers can clash, not the edits.
    allow(stepsA, "read", "post");
    ASSERT_TRUE(WaitUntil([&] { return finished("a"); }, 30000));
    ASSERT_TRUE(WaitUntil([&] { return reached(stepsB, "read"); }, 10000)) << Output(folder, "b");
    allow(stepsB, "read", "post");
    ASSERT_TRUE(WaitUntil([&] { return finished("b"); }, 30000));

    EXPECT_EQ(Status(folder, "a"), "0") << Output(folder, "a");
    EXPECT_EQ(Status(folder, "b"), "0") << Output(folder, "b");
    EXPECT_EQ(folder.LogCount(), 2);
    EXPECT_EQ(folder.Serial(), "0000043");
    ExpectNoNumberTwice();
}

TEST_F(Stations, ProgramKilledMidRunNeverIssuesANumberTwiceAfterRestart)
{
    REQUIRE_TOOLS("pgrep");
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
