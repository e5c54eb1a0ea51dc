#pragma once
// Helpers of the end-to-end tests: a program folder of the test's own
// (SENDORA_HOME) with prints going to PDF files in it, the sqlite3 CLI on its
// table files, the PDF tools and the program binary run as a process.
//
// SENDORA_E2E_KEEP=<folder>: each test copies its program folder, data and
// PDFs to <folder>/<test name> before it cleans up.

#include "tests/support/TestSupport.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

inline std::string Quote(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// The application object lives from the first test that needs it to the
// end of the test program, and goes before the program's statics do.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { app.reset(); }
    static inline std::unique_ptr<QApplication> app;
};

inline void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "e2e_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        ApplicationEnvironment::app = std::make_unique<QApplication>(argc, argv);
        ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);  // gtest owns it
    }
}

// Lines of a query's output through the sqlite3 CLI ("|" between columns).
// A query that fails (no tool, no file, no such table) fails the test, so an
// empty answer always means "no rows".
inline std::vector<std::string> SqlRows(const std::filesystem::path& file, const std::string& query)
{
    std::vector<std::string> rows;
    if (!std::filesystem::is_regular_file(file)) {
        ADD_FAILURE() << "no table file " << file << " for: " << query;
        return rows;
    }
    const testsupport::CommandResult result =
        testsupport::RunCommand("sqlite3 -bail -cmd '.timeout 10000' " + Quote(file.string()) + " " + Quote(query) + " 2>&1");
    if (result.status != 0) {
        ADD_FAILURE() << "sqlite3 failed (status " << result.status << ") on " << file << ": " << query << "\n"
                      << result.output;
        return rows;
    }
    std::istringstream in(result.output);
    for (std::string line; std::getline(in, line);) rows.push_back(line);
    return rows;
}

inline std::string SqlValue(const std::filesystem::path& file, const std::string& query)
{
    const std::vector<std::string> rows = SqlRows(file, query);
    return rows.empty() ? std::string() : rows.front();
}

// A count(*) or other whole number; -1 (and a failure) when the answer is not one.
inline int SqlCount(const std::filesystem::path& file, const std::string& query)
{
    const std::string value = SqlValue(file, query);
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) {
        ADD_FAILURE() << "not a count: \"" << value << "\" from " << query;
        return -1;
    }
    return std::stoi(value);
}

inline std::vector<std::filesystem::path> PdfFiles(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    if (!std::filesystem::exists(folder)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".pdf") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

inline std::string PdfText(const std::filesystem::path& pdf)
{
    return testsupport::RunCommand("pdftotext -layout " + Quote(pdf.string()) + " -").output;
}

// Every text zbarimg reads from the PDF's images.
inline std::set<std::string> PdfBarcodes(const std::filesystem::path& pdf, const std::filesystem::path& scratch)
{
    std::filesystem::create_directories(scratch);
    const std::string prefix = (scratch / "img").string();
    testsupport::RunCommand("pdfimages -png " + Quote(pdf.string()) + " " + Quote(prefix));
    std::set<std::string> decoded;
    for (const auto& entry : std::filesystem::directory_iterator(scratch)) {
        if (entry.path().extension() != ".png") continue;
        std::string text = testsupport::RunCommand("zbarimg --raw -q " + Quote(entry.path().string()) +
                                                   " 2>/dev/null").output;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        if (!text.empty()) decoded.insert(text);
        std::filesystem::remove(entry.path());
    }
    return decoded;
}

// What zbarimg reads from the recipient's GS1-128 data "420" + ZIP5 + number:
// the FNC1 after the ZIP comes out as a GS.
inline std::string Scanned(const std::string& zip5, const std::string& displayNumber)
{
    std::string digits;
    for (char c : displayNumber)
        if (c != ' ') digits += c;
    return "420" + zip5 + '\x1d' + digits;
}

// The outside tools the end-to-end checks read the program's files with.
#define REQUIRE_E2E_TOOLS() REQUIRE_TOOLS("sqlite3", "pdftotext", "pdfimages", "zbarimg")

// A program folder for one test, with the PDF folder inside it.
class ProgramFolder {
public:
    ProgramFolder()
    {
        setenv("SENDORA_HOME", home.str().c_str(), 1);
        setenv("SENDORA_PRINT_TO_PDF", Pdfs().c_str(), 1);
    }
    ~ProgramFolder()
    {
        if (const char* keep = std::getenv("SENDORA_E2E_KEEP"); keep != nullptr && *keep != '\0') {
            const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
            std::filesystem::path target = keep;
            if (info != nullptr) target /= std::string(info->test_suite_name()) + "." + info->name();
            std::error_code ignored;
            std::filesystem::create_directories(target, ignored);
            std::filesystem::copy(home.path(), target,
                                  std::filesystem::copy_options::recursive |
                                      std::filesystem::copy_options::overwrite_existing,
                                  ignored);
        }
        unsetenv("SENDORA_PRINT_TO_PDF");
        unsetenv("SENDORA_HOME");
    }

    std::string Pdfs() const { return (home / "pdf").string(); }
    std::filesystem::path MailerNum() const { return home / "MailerNum.edt"; }
    std::filesystem::path Log() const { return home / "Log" / "Log37.edt"; }

    // Sets the numbering state (the table must exist).
    void SetNumbering(const std::string& custId, const std::string& serial, bool barcodes, bool increment) const
    {
        SqlRows(MailerNum(), "update MailerNum set CustID='" + custId + "', SerialNum='" + serial +
                                 "', BarCodes=" + (barcodes ? "1" : "0") + ", Increment=" + (increment ? "1" : "0"));
    }
    std::string Serial() const { return SqlValue(MailerNum(), "select SerialNum from MailerNum"); }
    int LogCount() const { return SqlCount(Log(), "select count(*) from Log37"); }

    testsupport::TempDir home;
};

}  // namespace e2e
