#include "platform/rtl/Paths.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace rtl;

TEST(Paths, BothSeparatorsSplitAndJoin)
{
    EXPECT_EQ(NormalizePath("C:\\Sendo\\\\Data/"), "C:/Sendo/Data/");
    EXPECT_EQ(JoinPath("data\\", "Log37.edt"), "data/Log37.edt");
    EXPECT_EQ(JoinPath("/srv/data", "sub\\x.ini"), "/srv/data/sub/x.ini");
    EXPECT_EQ(JoinPath("", "x.ini"), "x.ini");
    EXPECT_EQ(JoinPath("/srv", "/abs/x"), "/abs/x");
    EXPECT_EQ(SplitPath("\\a//b\\c.txt"), (std::vector<std::string>{"a", "b", "c.txt"}));
    EXPECT_EQ(IncludeTrailingPathDelimiter("a\\b"), "a/b/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("a/b\\"), "a/b");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
}

TEST(Paths, ExtractParts)
{
    EXPECT_EQ(ExtractFileName("C:\\Sendo\\report3.dbf"), "report3.dbf");
    EXPECT_EQ(ExtractFilePath("C:\\Sendo\\report3.dbf"), "C:/Sendo/");
    EXPECT_EQ(ExtractFileDir("C:\\Sendo\\report3.dbf"), "C:/Sendo");
    EXPECT_EQ(ExtractFileDir("/x"), "/");
    EXPECT_EQ(ExtractFileDir("x"), "");
    EXPECT_EQ(ExtractFileExt("a.b/report3.DBF"), ".DBF");
    EXPECT_EQ(ExtractFileExt("a.b/report3"), "");  // a dot in a folder is no extension
    EXPECT_EQ(ChangeFileExt("a.b/report3", ".mdx"), "a.b/report3.mdx");
    EXPECT_EQ(ChangeFileExt("data\\t.dbf", ".@S@"), "data\\t.@S@");
    EXPECT_EQ(ChangeFileExt("t.tar.gz", ""), "t.tar");
}

TEST(Paths, FindFileWithoutRegardToCase)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "Log37.EDT", "x");
    std::filesystem::create_directory(dir / "Data");
    testsupport::WriteFile(dir / "Data" / "MailerNum.edt", "x");

    EXPECT_EQ(FindFileNoCase(dir.str(), "log37.edt"), dir.str() + "/Log37.EDT");
    EXPECT_EQ(FindFileNoCase(dir.str() + "\\", "LOG37.edt"), dir.str() + "/Log37.EDT");
    EXPECT_FALSE(FindFileNoCase(dir.str(), "log38.edt"));
    EXPECT_FALSE(FindFileNoCase(dir.str() + "/nowhere", "x"));
    EXPECT_EQ(ResolvePathNoCase(dir.str() + "\\DATA\\mailernum.EDT"), dir.str() + "/Data/MailerNum.edt");
    // Missing parts are kept as written under the part that exists.
    EXPECT_EQ(ResolvePathNoCase(dir.str() + "/data/New/file.txt"), dir.str() + "/Data/New/file.txt");
    EXPECT_TRUE(FileExists(dir.str() + "\\Log37.EDT"));
    EXPECT_FALSE(FileExists(dir.str()));
    EXPECT_TRUE(DirectoryExists(dir.str() + "/Data/"));
}

TEST(Paths, ExactNameWinsOverOtherCases)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "a.txt", "1");
    testsupport::WriteFile(dir / "A.TXT", "2");
    EXPECT_EQ(FindFileNoCase(dir.str(), "A.TXT"), dir.str() + "/A.TXT");
    EXPECT_EQ(FindFileNoCase(dir.str(), "a.txt"), dir.str() + "/a.txt");
    EXPECT_EQ(FindFileNoCase(dir.str(), "A.txt"), dir.str() + "/A.TXT");  // smallest in byte order
    EXPECT_TRUE(ForceDirectories(dir.str() + "\\x\\y\\z"));
    EXPECT_TRUE(DirectoryExists(dir.str() + "/x/y/z"));
}
