#include "platform/rtl/IniFiles.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace rtl;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

// A settings file as a Windows editor leaves it: CR LF, lower-case section
// names, a comment, values with ';', '\', ',' and blanks.
const char* const kWindowsFile =
    "; Sendora settings\r\n"
    "[type]\r\n"
    "BarCodeApp=1\r\n"
    "Company = Smith, Jones; Partners \r\n"
    "\r\n"
    "[print align]\r\n"
    "LeftRight=-3\r\n"
    "TopBottom=0x10\r\n"
    "\r\n"
    "[folders]\r\n"
    "LogDB=C:\\Sendo\\Log\\\r\n"
    "Quoted=\"  padded  \"\r\n"
    "junk line without equals\r\n";

}  // namespace

TEST(TIniFile, ReadsAWindowsFile)
{
    testsupport::TempDir dir;
    WriteFile(dir / "sendo4.ini", kWindowsFile);
    TIniFile ini((dir / "sendo4.ini").string());
    EXPECT_TRUE(ini.ReadBool("Type", "barcodeapp", false));
    EXPECT_EQ(ini.ReadString("TYPE", "Company", ""), "Smith, Jones; Partners");
    EXPECT_EQ(ini.ReadInteger("Print Align", "LeftRight", 0), -3);
    EXPECT_EQ(ini.ReadInteger("Print Align", "TopBottom", 0), 16);
    EXPECT_EQ(ini.ReadString("Folders", "LogDB", ""), "C:\\Sendo\\Log\\");
    EXPECT_EQ(ini.ReadString("Folders", "Quoted", ""), "  padded  ");
    EXPECT_EQ(ini.ReadString("Folders", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("Nowhere", "LogDB", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("Type", "Company", 7), 7);  // not an integer
    EXPECT_TRUE(ini.ReadBool("Type", "Company", true));
    EXPECT_FALSE(ini.ReadBool("Type", "Company", false));
}

TEST(TIniFile, WritingKeepsEverythingElseByteForByte)
{
    testsupport::TempDir dir;
    std::string file = (dir / "sendo4.ini").string();
    WriteFile(file, kWindowsFile);
    TIniFile ini(file);
    // Rewriting the values as they read changes nothing in the file.
    ini.WriteString("Type", "Company", ini.ReadString("Type", "Company", ""));
    ini.WriteString("FOLDERS", "logdb", ini.ReadString("Folders", "LogDB", ""));
    ini.WriteBool("type", "BarCodeApp", true);
    EXPECT_EQ(ReadFile(file), kWindowsFile);
    // A changed value keeps the line's layout up to the value.
    ini.WriteString("Type", "Company", "Acme, Inc.; NY");
    std::string expected = kWindowsFile;
    expected.replace(expected.find("Company = Smith, Jones; Partners "), 33, "Company = Acme, Inc.; NY");
    EXPECT_EQ(ReadFile(file), expected);

    // A new key goes to the end of its section, before the blank line.
    ini.WriteInteger("Print Align", "Extra", 5);
    EXPECT_NE(ReadFile(file).find("TopBottom=0x10\r\nExtra=5\r\n\r\n[folders]"), std::string::npos);
    // A new section is appended with its name as written.
    ini.WriteString("Print Align 2", "Path", "D:\\a b\\c;d");
    std::string text = ReadFile(file);
    std::string tail = "junk line without equals\r\n[Print Align 2]\r\nPath=D:\\a b\\c;d\r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(TIniFile(file).ReadString("print align 2", "PATH", ""), "D:\\a b\\c;d");
}

TEST(TIniFile, RewriteKeepsThePermissions)
{
    testsupport::TempDir dir;
    std::string file = (dir / "p.ini").string();
    WriteFile(file, "[A]\nk=1\n");
    ::chmod(file.c_str(), 0600);
    TIniFile(file).WriteString("A", "k", "2");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(TIniFile, NewFilesAndUnixFiles)
{
    testsupport::TempDir dir;
    std::string fresh = (dir / "new.ini").string();
    TIniFile ini(fresh);
    EXPECT_FALSE(ini.SectionExists("Values"));
    ini.WriteBool("Values", "PrintBarCode", false);
    ini.WriteString("Values", "Name", "x");
    EXPECT_EQ(ReadFile(fresh), "[Values]\r\nPrintBarCode=0\r\nName=x\r\n");

    std::string unix = (dir / "unix.ini").string();
    WriteFile(unix, "[A]\nk=1\n");
    TIniFile(unix).WriteString("a", "j", "2");
    EXPECT_EQ(ReadFile(unix), "[A]\nk=1\nj=2\n");
}

TEST(TIniFile, FileNameIgnoresCase)
{
    testsupport::TempDir dir;
    WriteFile(dir / "EDS.INI", "[Databases]\r\nLog=/data\r\n");
    TIniFile ini((dir / "eds.ini").string());
    EXPECT_EQ(ini.ReadString("Databases", "Log", ""), "/data");
    ini.WriteString("Databases", "Main", "/main");
    EXPECT_FALSE(std::filesystem::exists(dir / "eds.ini"));
    EXPECT_EQ(ReadFile(dir / "EDS.INI"), "[Databases]\r\nLog=/data\r\nMain=/main\r\n");
}

TEST(TIniFile, FirstSectionAndFirstKeyWin)
{
    testsupport::TempDir dir;
    std::string file = (dir / "dup.ini").string();
    WriteFile(file, "[S]\nk=first\nK=second\n[s]\nk=third\n");
    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("s", "k", ""), "first");
    ini.WriteString("S", "k", "new");
    EXPECT_EQ(ReadFile(file), "[S]\nk=new\nK=second\n[s]\nk=third\n");
    TStringList sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections.Items(), (std::vector<std::string>{"S"}));
}

TEST(TIniFile, SectionListingAndDeletion)
{
    testsupport::TempDir dir;
    std::string file = (dir / "eds.ini").string();
    WriteFile(file, "[Databases]\r\n; comment\r\nLog=C:\\Log;N\r\nMain = D:\\Main\r\n[Other]\r\nx=1\r\n");
    TIniFile ini(file);
    TStringList keys;
    ini.ReadSection("databases", keys);
    EXPECT_EQ(keys.Items(), (std::vector<std::string>{"Log", "Main"}));
    TStringList values;
    ini.ReadSectionValues("Databases", values);
    EXPECT_EQ(values.Values("main"), "D:\\Main");
    EXPECT_EQ(values.Values("Log"), "C:\\Log;N");
    EXPECT_TRUE(ini.ValueExists("DATABASES", "log"));
    ini.DeleteKey("Databases", "Log");
    EXPECT_FALSE(ini.ValueExists("Databases", "Log"));
    ini.EraseSection("databases");
    EXPECT_EQ(ReadFile(file), "[Other]\r\nx=1\r\n");
    ini.DeleteKey("Nowhere", "x");  // nothing to do, no error
    EXPECT_EQ(ReadFile(file), "[Other]\r\nx=1\r\n");
}

TEST(TIniFile, ValuesReadBackAsWritten)
{
    testsupport::TempDir dir;
    TIniFile ini((dir / "v.ini").string());
    for (const char* value : {"  padded  ", "\"quoted\"", "'single'", "a;b\\c,d e", "", "\"", "x = y"}) {
        ini.WriteString("Values", "Key", value);
        EXPECT_EQ(ini.ReadString("Values", "Key", "dflt"), value);
    }
    ini.WriteInteger("Values", "Count", -2147483647 - 1);
    EXPECT_EQ(ini.ReadInteger("Values", "Count", 0), -2147483647 - 1);
}

TEST(TIniFile, LineBreaksInValuesCannotInjectLines)
{
    testsupport::TempDir dir;
    std::string file = (dir / "s.ini").string();
    TIniFile ini(file);
    ini.WriteString("Values", "Company", "Acme\r\n[Evil]\r\nx=1");
    EXPECT_FALSE(ini.SectionExists("Evil"));
    EXPECT_EQ(ini.ReadString("Values", "Company", ""), "Acme  [Evil]  x=1");
}

TEST(TIniFile, Windows1252FilesStayWindows1252)
{
    testsupport::TempDir dir;
    std::string file = (dir / "ansi.ini").string();
    WriteFile(file, "[Your]\r\nCity=M\xFCnchen\r\n");
    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("Your", "City", ""), "M\xC3\xBCnchen");
    ini.WriteString("Your", "Name", "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(ReadFile(file), "[Your]\r\nCity=M\xFCnchen\r\nName=Caf\xE9 \x80\r\n");
}

TEST(TIniFile, AFailedWriteRaises)
{
    testsupport::TempDir dir;
    // The name is taken by a folder: the new file cannot be put in its place.
    std::filesystem::create_directory(dir / "taken.ini");
    EXPECT_THROW(TIniFile((dir / "taken.ini").string()).WriteString("A", "k", "1"), EIniFileException);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "taken.ini"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temporary left
    EXPECT_THROW(TIniFile((dir / "no" / "x.ini").string()).WriteString("A", "k", "1"), EIniFileException);
}

// The disk fills up half way through the write (a file size limit, which binds
// root as well): the write raises, and the old file stays whole.
TEST(TIniFile, AFailedWriteLeavesTheFile)
{
    testsupport::TempDir dir;
    const std::string file = (dir / "full.ini").string();
    WriteFile(file, "[A]\nk=1\n");
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
        const rlimit limit{16, 16};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int code = 1;
        try {
            TIniFile(file).WriteString("A", "k", std::string(100, 'x'));
        } catch (const EIniFileException&) {
            code = 0;
        } catch (...) {
            code = 2;
        }
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the failed write went unnoticed, 2: not an EIniFileException";
    EXPECT_EQ(ReadFile(file), "[A]\nk=1\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temporary left
}
