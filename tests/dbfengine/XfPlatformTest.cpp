// The Linux layer: share modes and byte-range locks between processes, what a
// killed process leaves behind, refused paths, temporary files, free space, the
// file search, and the message and progress panels.

#include <csignal>
#include <fstream>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "dbfengine/platform/XfFiles.h"
#include "dbfengine/platform/XfUi.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfmsg.h"
#include "dbfengine/xfutils.h"
#include "tests/dbfengine/DbfTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;

namespace {

// A child process that opens `path` in `mode`, optionally locks a range, reports
// over a pipe and then waits to be killed.
class HolderProcess {
public:
    HolderProcess(const std::string& path, std::uint8_t mode, std::int64_t lockOffset = -1, std::int64_t lockLength = 0)
    {
        int fds[2];
        if (pipe(fds) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            TXfFile file;
            int code = file.Open(path, mode);
            if (code == 0 && lockOffset >= 0) code = file.Lock(lockOffset, lockLength);
            const char answer = static_cast<char>(code);
            (void)!write(fds[1], &answer, 1);
            for (;;) pause();
        }
        close(fds[1]);
        char answer = -1;
        (void)!read(fds[0], &answer, 1);
        close(fds[0]);
        code_ = answer;
    }
    ~HolderProcess() { Kill(); }
    int Code() const { return code_; }
    void Kill() { dbftest::KillChild(pid_); }

private:
    pid_t pid_ = -1;
    int code_ = -1;
};

}  // namespace

TEST(XfPlatform, ShareModesAndLocksHoldBetweenProcessesUntilTheHolderDies)
{
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/t.dbf";
    testsupport::WriteFile(path, std::string(100, 'x'));
    const std::uint8_t shared = fmOpenReadWrite | fmShareDenyNone, exclusive = fmOpenReadWrite | fmShareExclusive;
    {
        HolderProcess holder(path, exclusive);
        ASSERT_EQ(holder.Code(), 0);
        TXfFile file;
        EXPECT_EQ(file.Open(path, shared), kDosSharingViolation);
        EXPECT_EQ(file.Open(path, exclusive), kDosSharingViolation);
        EXPECT_FALSE(file.IsOpen());
        holder.Kill();
        EXPECT_EQ(file.Open(path, exclusive), 0);
    }
    {
        HolderProcess holder(path, shared, 0x40000000 + 65, 20);
        ASSERT_EQ(holder.Code(), 0);
        TXfFile file;
        ASSERT_EQ(file.Open(path, shared), 0);
        TXfFile other;
        EXPECT_EQ(other.Open(path, exclusive), kDosSharingViolation);
        EXPECT_EQ(file.Lock(0x40000000 + 65 + 19, 1), kDosLockViolation);
        EXPECT_EQ(file.Lock(0x40000000 + 65 + 20, 20), 0);  // the next record is free
        // Locks never block reading the data.
        char buffer[100];
        std::size_t got = 0;
        EXPECT_EQ(file.ReadAt(0, buffer, sizeof buffer, got), 0);
        EXPECT_EQ(got, 100u);
        holder.Kill();
        EXPECT_EQ(file.Lock(0x40000000 + 65, 20), 0);
    }
    // Two opens in one process are two holders too.
    TXfFile a, b;
    ASSERT_EQ(a.Open(path, exclusive), 0);
    EXPECT_EQ(b.Open(path, shared), kDosSharingViolation);
    a.Close();
    EXPECT_EQ(b.Open(path, shared), 0);
    // Creating a file another open holds exclusively neither empties it nor succeeds.
    b.Close();
    ASSERT_EQ(a.Open(path, exclusive), 0);
    TXfFile c;
    EXPECT_EQ(c.Create(path, exclusive), kDosSharingViolation);
    std::int64_t size = 0;
    EXPECT_EQ(a.Size(size), 0);
    EXPECT_EQ(size, 100);
}

TEST(XfPlatform, ErrorsPathsTemporaryFilesAndFreeSpace)
{
    REQUIRE_TOOLS("/usr/bin/python3");
    dbftest::EngineErrorsGuard errors;
    testsupport::TempDir dir;
    TXfFile file;
    EXPECT_EQ(file.Open(dir.str() + "/missing.dbf", fmOpenReadWrite), kDosFileNotFound);
    EXPECT_EQ(file.Open(dir.str() + "/no/such/t.dbf", fmOpenReadWrite), kDosPathNotFound);
    EXPECT_EQ(file.Open(dir.str(), fmOpenReadWrite), kDosAccessDenied);
    // Over-long names are refused, never cut to another name.
    const std::string longPart = dir.str() + "/" + std::string(65, 'a');
    testsupport::WriteFile(dir.str() + "/" + std::string(64, 'a'), "x");
    EXPECT_EQ(file.Create(longPart, fmOpenReadWrite), kDosPathNotFound);
    EXPECT_EQ(XfEraseFile(longPart), kDosPathNotFound);
    std::string longPath = dir.str();
    while (longPath.size() <= 255) longPath += "/abcdefgh";
    EXPECT_EQ(file.Create(longPath, fmOpenReadWrite), kDosPathNotFound);
    EXPECT_TRUE(testsupport::ReadFile(dir.str() + "/" + std::string(64, 'a')) == "x");

    setenv("TMPDIR", dir.str().c_str(), 1);
    const std::string temp = UniqueFilename();
    unsetenv("TMPDIR");
    EXPECT_EQ(temp.rfind(dir.str() + "/XFP", 0), 0u) << temp;
    EXPECT_TRUE(FileExistsShort(temp));
    EXPECT_TRUE(FileDateIsToday(temp));

    // Free space in 64 bits, as the file system reports it to Python.
    const auto python = testsupport::RunCommand("/usr/bin/python3 -c \"import os; s = os.statvfs('" + dir.str() +
                                                "'); print(s.f_bavail * s.f_frsize)\"");
    ASSERT_EQ(python.status, 0);
    const double expected = std::stod(python.output);
    EXPECT_NEAR(static_cast<double>(DiskFree(dir.str())), expected, expected * 0.01 + 1e7);

    // Erasing by pattern: matches only, without regard to case; nothing matched is no error.
    for (const char* name : {"a.NTX", "b.ntx", "c.dbf"}) testsupport::WriteFile(dir.str() + "/" + name, "x");
    EraseFiles(dir.str() + "/*.ntx");
    EXPECT_FALSE(FileExistsShort(dir.str() + "/a.NTX"));
    EXPECT_FALSE(FileExistsShort(dir.str() + "/b.ntx"));
    EXPECT_TRUE(FileExistsShort(dir.str() + "/c.dbf"));
    EXPECT_NO_THROW(EraseFiles(dir.str() + "/*.zzz"));
    try {
        EraseFiles(dir.str() + "/gone.dbf");
        FAIL() << "no error";
    } catch (const EXfError& e) {
        EXPECT_NE(std::string(e.what()).find("Error # 2 (File not found)\r\nError erasing "), std::string::npos);
    }
}

TEST(XfPlatform, ProgressPanelShrinksByAMarkAndStartsAgain)
{
    std::vector<TXfPanelView> shown;
    std::vector<int> closed;
    TXfUiHooks hooks;
    hooks.ShowPanel = [&](const TXfPanelView& view) { shown.push_back(view); };
    hooks.ClosePanel = [&](int id) { closed.push_back(id); };
    XfSetUiHooks(hooks);
    int id = 0;
    {
        TXfProgress100 progress("Indexing REPORT");
        ASSERT_EQ(shown.size(), 1u);
        id = shown[0].Id;
        EXPECT_EQ(shown[0].Text, std::string(100, '|'));
        EXPECT_EQ(shown[0].Caption, "Indexing REPORT");
        const int width = shown[0].Width;
        for (int i = 0; i < 100; ++i) progress.Step();
        EXPECT_EQ(progress.Bar(), "");
        EXPECT_EQ(shown[99].Text, "|");
        EXPECT_EQ(shown.back().Width, width);  // the panel never shrinks
        progress.Step();
        EXPECT_EQ(shown.back().Text, std::string(100, '|'));
    }
    EXPECT_EQ(closed, std::vector<int> {id});
    {
        TXfMsg message;
        message.ShowText("short");
        const int width = message.Width();
        message.ShowText("a much longer message text");
        EXPECT_GT(message.Width(), width);
        message.ShowText("");
        EXPECT_EQ(shown.back().Text, "a much longer message text");
        EXPECT_EQ(shown.back().Caption, "");
    }
    XfSetUiHooks({});
}
