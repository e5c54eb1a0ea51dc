// The error table against a list written apart from the code, the dispatcher's
// delivery modes, and the exit status of a program the engine halts.

#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "dbfengine/platform/XfUi.h"
#include "dbfengine/xfcommon.h"
#include "tests/dbfengine/DbfTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;

namespace {

// The codes the table leaves undefined, as the error table's documentation lists them.
const std::vector<std::pair<int, int>> kUndefinedRuns = {
    {7, 7},       {37, 49},     {61, 99},     {107, 149},   {163, 199},   {232, 238},   {244, 253},
    {255, 265},   {267, 1002},  {1006, 1006}, {1008, 1011}, {1013, 1016}, {1020, 1099}, {1104, 1199},
    {1301, 65535},
};

std::map<int, std::string> ReadExpectedMessages()
{
    std::map<int, std::string> expected;
    std::ifstream in(dbftest::DataFile("error_messages.txt"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t bar = line.find('|');
        const std::string codes = line.substr(0, bar), message = line.substr(bar + 1);
        const std::size_t dash = codes.find('-');
        const int first = std::stoi(codes.substr(0, dash));
        const int last = dash == std::string::npos ? first : std::stoi(codes.substr(dash + 1));
        for (int code = first; code <= last; ++code) expected[code] = message;
    }
    return expected;
}

}  // namespace

TEST(XfErrors, EveryCodeRendersItsListedMessage)
{
    const std::map<int, std::string> expected = ReadExpectedMessages();
    ASSERT_EQ(expected.size(), 121u + 97u);
    std::map<int, bool> undefined;
    for (auto [first, last] : kUndefinedRuns)
        for (int code = first; code <= last; ++code) undefined[code] = true;
    // The two lists together name every code exactly once.
    for (int code = 1; code <= 65535; ++code)
        ASSERT_NE(expected.count(code) == 1, undefined.count(code) == 1) << code;

    EXPECT_EQ(DbfErrorText(0), "");
    for (int code = 1; code <= 65535; ++code) {
        const auto it = expected.find(code);
        const std::string message = it == expected.end() ? "Undefined error" : it->second;
        ASSERT_EQ(DbfErrorText(static_cast<std::uint16_t>(code)), "Error # " + std::to_string(code) + " (" + message + ")");
    }
    EXPECT_EQ(DbfErrorText(227), "Error # 227 (Insufficient disk space )");
}

TEST(XfErrors, DeliveryModes)
{
    dbftest::EngineErrorsGuard guard;

    // Raised: the text, CR LF and the context; the context and the pending code are taken.
    try {
        DbfRaiseError(215, "No database in use [GoTop]  WorkArea = 3");
        FAIL() << "no exception";
    } catch (const EXfError& e) {
        EXPECT_EQ(std::string(e.what()), "Error # 215 (No database in use)\r\nNo database in use [GoTop]  WorkArea = 3");
    }
    EXPECT_EQ(XfErrors().LastError, 215);
    EXPECT_EQ(PendingErrorText(), "");

    // Deferred: nothing delivered, the caller reads the last code and the pending text.
    {
        TXfDeferErrors defer;
        DbfRaiseError(212, "Invalid record number = 9 (t.dbf)  [GetDbfRecord]");
        EXPECT_EQ(XfErrors().DeliverNow, 0);
    }
    EXPECT_EQ(XfErrors().DeliverNow, 1);
    EXPECT_EQ(XfErrors().LastError, 212);
    EXPECT_EQ(PendingErrorText(), "Error # 212 (Request beyond range)\r\nInvalid record number = 9 (t.dbf)  [GetDbfRecord]");
    EXPECT_EQ(PendingErrorText(), "");

    // The guard restores the flag when an exception leaves its scope too.
    try {
        TXfDeferErrors defer;
        throw std::runtime_error("x");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(XfErrors().DeliverNow, 1);

    // Code 0 delivers nothing; a hook replaces delivery altogether.
    XfErrors().LastError = 0;
    EXPECT_NO_THROW(CheckError());
    int hookCalls = 0;
    XfErrors().ErrorHook = [&] { ++hookCalls; };
    EXPECT_NO_THROW(DbfRaiseError(210, "x"));
    EXPECT_EQ(hookCalls, 1);
    EXPECT_EQ(XfErrors().PendingError, 210);
    XfErrors().ErrorHook = nullptr;

    // Once halted, the dispatcher does nothing more.
    XfErrors().Halted = 1;
    EXPECT_NO_THROW(DbfRaiseError(5, "x"));
}

TEST(XfErrors, ExitStatusKeepsEightBitsAndNeverZero)
{
    EXPECT_EQ(XfExitStatus(215), 215);
    EXPECT_EQ(XfExitStatus(1), 1);
    EXPECT_EQ(XfExitStatus(255), 255);
    EXPECT_EQ(XfExitStatus(256), 255);
    EXPECT_EQ(XfExitStatus(512), 255);
    EXPECT_EQ(XfExitStatus(1200), 255);
}

namespace {

// In a forked child: records the box in `boxFile`, runs a cleanup that raises a second
// error and writes `cleanupFile`, then reports `code`.
void HaltChild(std::uint16_t code, const std::string& context, const std::string& boxFile, const std::string& cleanupFile)
{
    XfErrors() = TXfErrorState {};
    TXfUiHooks hooks;
    hooks.MessageBox = [boxFile](const std::string& text, const std::string& caption, unsigned flags) {
        std::ofstream(boxFile) << caption << "|" << flags << "|" << text;
        return IDOK;
    };
    XfSetUiHooks(hooks);
    XfAddHaltCleanup([cleanupFile] {
        DbfRaiseError(1200, "second error while halting");
        std::ofstream(cleanupFile) << "closed";
    });
    DbfRaiseError(code, context);
    std::_Exit(0);  // not reached
}

}  // namespace

TEST(XfErrorsDeathTest, HaltShowsTheBoxClosesUpAndExitsWithTheCode)
{
    testsupport::TempDir folder;
    const std::string box = folder.str() + "/box.txt", cleanup = folder.str() + "/cleanup.txt";
    for (auto [code, status] : {std::pair {215, 215}, {256, 255}, {1200, 255}, {33, 33}}) {
        std::remove(box.c_str());
        std::remove(cleanup.c_str());
        const std::string context(300, 'c');
        EXPECT_EXIT(HaltChild(static_cast<std::uint16_t>(code), context, box, cleanup),
                    ::testing::ExitedWithCode(status), "");
        std::stringstream shown;
        shown << std::ifstream(box).rdbuf();
        const std::string expectedText = (DbfErrorText(static_cast<std::uint16_t>(code)) + "\r\n" + context).substr(0, 255);
        EXPECT_EQ(shown.str(), "Program halted.|16|" + expectedText);
        std::stringstream closed;
        closed << std::ifstream(cleanup).rdbuf();
        EXPECT_EQ(closed.str(), "closed") << code;
    }
}
