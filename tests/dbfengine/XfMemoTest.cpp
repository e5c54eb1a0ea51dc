// Memo files against a model of what each record's memos should hold: every layout
// and block size, sizes around a block's edge, rewrites that reuse and free blocks,
// packs (whole, failed and killed at each step), and the outside readers and
// writers of memo files.

#include <csignal>
#include <map>
#include <random>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "dbfengine/uxffds.h"
#include "dbfengine/xfmemo.h"
#include "dbfengine/platform/XfFiles.h"
#include "platform/rtl/TextFiles.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

std::string Digest(const std::string& data)
{
    if (data.empty()) return "0|-";
    std::uint64_t h = 1469598103934665603ULL;
    for (const char c : data) h = (h ^ static_cast<std::uint8_t>(c)) * 1099511628211ULL;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return std::to_string(data.size()) + "|" + hex;
}

// Around a block's edge for every layout: a dBase IV header of 8 bytes, two end marks.
const std::vector<std::size_t> kSizes {0, 1, 503, 504, 505, 510, 511, 512, 70000};
const std::vector<std::string> kMemoFields {"NOTES", "MORE"};

// What every record's memo fields hold: record -> field (1 NOTES, 2 MORE) -> bytes.
using Model = std::map<std::int32_t, std::map<int, std::string>>;

std::string Content(std::mt19937& random, std::size_t size, bool binary)
{
    static const std::string text = "abcdefghij KLMNOPQRST \xe9\xe0\xfc\xdf 0123456789\r\n";
    std::string s(size, ' ');
    for (char& c : s)
        c = binary ? static_cast<char>(random() % 256) : text[random() % text.size()];
    // dBase III memos end at their first 0x1A, so text never holds one.
    return s;
}

void CreateMemoTable(const std::string& path, std::uint8_t kind, std::uint16_t blockSize)
{
    XfDbfSettings().MemoVersion = kind;
    XfDbfSettings().MemoBlockSize = blockSize;
    TDbfTable t;
    ASSERT_EQ(CreateDbf(t, path, {{"ID", 'N', 5, 0}, {"NOTES", 'M', 10, 0}, {"MORE", 'M', 10, 0}}), 0);
}

// Field `field` of the current record takes `data` (through the memo and a replace).
void SetMemo(int field, const std::string& data)
{
    ASSERT_TRUE(RLock());
    TXfTypedRecord r = CurrentRecord();
    const std::int32_t block = EditMemo(static_cast<std::int32_t>(r.Integer(field + 1)), data);
    r.SetInteger(field + 1, block);
    Replace();
    Unlock();
}

// Every record's memos read back through the engine equal the model.
void ExpectModel(const Model& model, const std::string& where)
{
    ASSERT_EQ(RecCount(), static_cast<std::int32_t>(model.size())) << where;
    for (const auto& [record, fields] : model) {
        GO(record);
        for (const auto& [field, data] : fields) {
            const std::string got = GetMemo(static_cast<std::int32_t>(CurrentRecord().Integer(field + 1)));
            ASSERT_EQ(Digest(got), Digest(data)) << where << ": record " << record << " field " << field;
        }
    }
}

std::vector<std::string> ModelLines(const Model& model)
{
    std::vector<std::string> lines;
    for (const auto& [record, fields] : model)
        for (const auto& [field, data] : fields)
            lines.push_back(std::to_string(record) + "|" + kMemoFields[static_cast<std::size_t>(field - 1)] + "|" + Digest(data));
    return lines;
}

std::vector<std::string> ToolLines(const std::string& command)
{
    std::vector<std::string> lines;
    const int status = ForEachOutputLine(command, [&](const std::string& l) { lines.push_back(l); });
    EXPECT_EQ(status, 0) << command;
    return lines;
}

std::string MemoTool(const std::string& args) { return "/usr/bin/python3 " + PythonScript("memo_tools.py") + " " + args; }

// Perl's XBase looks for a dBase III memo's two end marks inside one block, so it
// reads a memo whose marks straddle a block's edge (511 bytes past it) on into the
// next, in our files as in those of the layout's other writers: those memos are
// left out of its check.
void ExpectXBaseReads(const std::string& path, const Model& model, bool dbase3, const std::string& where)
{
    std::vector<std::string> got = ToolLines(MemoTool("read xbase '" + path + "'"));
    std::vector<std::string> expected = ModelLines(model);
    if (dbase3) {
        std::set<std::string> straddling;
        for (const auto& [record, fields] : model)
            for (const auto& [field, data] : fields)
                if (data.size() % 512 == 511)
                    straddling.insert(std::to_string(record) + "|" + kMemoFields[static_cast<std::size_t>(field - 1)] + "|");
        const auto drop = [&](std::vector<std::string>& lines) {
            std::erase_if(lines, [&](const std::string& l) { return straddling.count(l.substr(0, l.find('|', l.find('|') + 1) + 1)) > 0; });
        };
        drop(got);
        drop(expected);
    }
    EXPECT_EQ(got, expected) << where << " (Perl XBase)";
}

// A table of 14 records whose memos went through three rounds of rewrites (some
// cleared, some grown past their blocks, some shrunk), returned as the model.
Model Churn(const std::string& path, std::uint8_t kind, std::uint16_t blockSize, bool binary, unsigned seed)
{
    CreateMemoTable(path, kind, blockSize);
    USE(path);
    std::mt19937 random(seed);
    Model model;
    for (std::int32_t n = 1; n <= 14; ++n) {
        ClearRecord();
        CurrentRecord().SetInteger(1, n);
        ALock();
        Append();
        Unlock();
        for (int field = 1; field <= 2; ++field) {
            const std::string data = Content(random, kSizes[static_cast<std::size_t>(n + field) % kSizes.size()], binary);
            SetMemo(field, data);
            model[n][field] = data;
        }
    }
    for (int round = 0; round < 3; ++round) {
        for (std::int32_t n = 1; n <= 14; ++n) {
            if (random() % 2) continue;
            GO(n);
            const int field = 1 + static_cast<int>(random() % 2);
            const std::string data = Content(random, kSizes[random() % kSizes.size()], binary);
            SetMemo(field, data);
            model[n][field] = data;
        }
    }
    return model;
}

std::int64_t SizeOf(const std::string& path) { return static_cast<std::int64_t>(std::filesystem::file_size(path)); }

void AppendRecords(std::int32_t first, std::int32_t last)
{
    for (std::int32_t n = first; n <= last; ++n) {
        ClearRecord();
        CurrentRecord().SetInteger(1, n);
        ALock();
        Append();
        Unlock();
    }
}

// A text written through a memo text file: the exact bytes the memo must hold,
// and the lines reading it back must give (soft-wrapped pieces joined).
struct TextDocument {
    std::vector<std::pair<bool, std::string>> writes;  // (WriteLn?, text)
    std::string bytes;
    std::vector<std::string> lines;
};

TextDocument RandomDocument(std::mt19937& random, int paragraphs)
{
    // 0x8D not followed by LF is a letter; blanks let long lines break at words.
    static const std::string alphabet = "abcdefgh ijklm NOPQR \x8D\x84\x94 0123456789";
    static const std::vector<std::size_t> lengths {0, 1, 30, 253, 254, 255, 300, 700};
    TextDocument d;
    const auto write = [&](bool ln, const std::string& text) {
        d.writes.push_back({ln, text});
        d.bytes += ln ? text + "\r\n" : text;
    };
    for (int p = 0; p < paragraphs; ++p) {
        const std::size_t length = lengths[random() % lengths.size()];
        const bool blanks = random() % 2;
        std::string whole, piece;
        for (std::size_t i = 0; i < length; ++i) {
            char c = alphabet[random() % alphabet.size()];
            if (!blanks && c == ' ') c = 'z';
            whole += c;
            piece += c;
            if (random() % 97 == 0 && i + 1 < length) {
                // Written in pieces, some of them ending with a soft return.
                write(false, piece);
                piece.clear();
                if (random() % 2) write(false, "\x8D\n");
            }
        }
        if (p + 1 == paragraphs && random() % 2) {
            write(false, piece);
            if (!whole.empty()) d.lines.push_back(whole);
        } else {
            write(true, piece);
            d.lines.push_back(whole);
        }
    }
    return d;
}

std::vector<std::string> ReadMemoText(int field)
{
    rtl::TTextRec f;
    AssignMemo(f, field);
    EXPECT_EQ(rtl::Reset(f), 0);
    std::vector<std::string> lines;
    std::string line;
    while (!rtl::Eof(f)) {
        EXPECT_EQ(rtl::ReadLn(f, line), 0);
        lines.push_back(line);
    }
    EXPECT_EQ(rtl::CloseFile(f), 0);
    return lines;
}

// The memo text file's settings, restored afterwards.
class MemoTextSettingsGuard {
public:
    MemoTextSettingsGuard() : saved_(XfMemoTextSettings()) {}
    ~MemoTextSettingsGuard() { XfMemoTextSettings() = saved_; }
    MemoTextSettingsGuard(const MemoTextSettingsGuard&) = delete;
    MemoTextSettingsGuard& operator=(const MemoTextSettingsGuard&) = delete;

private:
    TXfMemoTextSettings saved_;
};

// A new table of `kind` in `dir`, named `name`, with `records` records, in use on
// the first; returns its path.
std::string NewMemoTable(const testsupport::TempDir& dir, const std::string& name, std::uint8_t kind, std::int32_t records)
{
    const std::string path = dir.str() + "/" + name + ".dbf";
    CreateMemoTable(path, kind, 512);
    USE(path);
    AppendRecords(1, records);
    GO(1);
    return path;
}

std::uint32_t HeaderCount(const std::string& memo)
{
    const std::string bytes = testsupport::ReadFile(memo);
    std::uint32_t count = 0;
    for (int i = 3; i >= 0; --i) count = (count << 8) | static_cast<std::uint8_t>(bytes.at(32 + static_cast<std::size_t>(i)));
    return count;
}

}  // namespace

TEST(XfMemo, MemosOfEverySizeSurviveRewritesAndPacksInEveryLayoutAndOutsideReadersAgree)
{
    REQUIRE_TOOLS("/usr/bin/python3", "perl");
    EngineScope scope;
    MemoInit();
    struct Layout {
        std::uint8_t kind;
        std::uint16_t blockSize;
        const char* memo;
    };
    for (const Layout& layout : {Layout {0x83, 512, "dbt"}, Layout {0x8B, 512, "dbt"}, Layout {0x8B, 1024, "dbt"},
                                 Layout {0xF5, 512, "fpt"}, Layout {0xF5, 1024, "fpt"}}) {
        const std::string where = "kind " + std::to_string(layout.kind) + " block " + std::to_string(layout.blockSize);
        testsupport::TempDir dir;
        const std::string path = dir.str() + "/memos.dbf";
        Model model = Churn(path, layout.kind, layout.blockSize, false, layout.kind * 7u + layout.blockSize);
        ExpectModel(model, where + " after rewrites");
        EXPECT_EQ(MemoBlockSize(), layout.kind == 0x83 ? 512u : layout.blockSize) << where;
        // The header's first word names the first block past the memos (or the free chain).
        CloseAll();

        const std::string memoPath = dir.str() + "/memos." + layout.memo;
        const std::int64_t before = SizeOf(memoPath);
        USE(path, "EXCLUSIVE");
        PackMemofile();
        ExpectModel(model, where + " after pack");
        EXPECT_LE(SizeOf(memoPath), before) << where;
        // The packed file takes new memos where it ends.
        GO(3);
        const std::string added(700, 'x');
        SetMemo(2, added);
        model[3][2] = added;
        ExpectModel(model, where + " after pack and a new memo");
        CloseAll();

        // python3-dbfread takes a dBase IV memo's length as counting only its data
        // (and its blocks as 512 bytes), so Perl's XBase alone checks that layout.
        if (layout.kind != 0x8B) {
            EXPECT_EQ(ToolLines(MemoTool("read dbfread '" + path + "'")), ModelLines(model)) << where << " (python3-dbfread)";
        }
        // python3-dbf reads a dBase III memo up to two end marks.
        if (layout.kind == 0x83) {
            EXPECT_EQ(ToolLines(MemoTool("read dbf '" + path + "'")), ModelLines(model)) << where << " (python3-dbf)";
        }
        ExpectXBaseReads(path, model, layout.kind == 0x83, where);
        USE(path);
        ExpectModel(model, where + " reopened");
        CloseAll();
    }
}

TEST(XfMemo, ADbase3MemoEndsWithTwoMarksAndOneStillEndsItOnReading)
{
    EngineScope scope;
    MemoInit();
    testsupport::TempDir dir;
    const std::string path = NewMemoTable(dir, "three", 0x83, 2), memo = dir.str() + "/three.dbt";
    SetMemo(1, "abc");
    EXPECT_EQ(CurrentRecord().Integer(2), 1);
    CloseAll();
    std::string bytes = testsupport::ReadFile(memo);
    ASSERT_EQ(bytes.size(), 1024u);
    EXPECT_EQ(bytes.substr(512), "abc\x1A\x1A" + std::string(507, '\0'));

    // Files we wrote before, with one mark and the next memo right behind it.
    bytes.replace(512, 5, std::string("abc\x1A\0", 5));
    bytes += "next\x1A" + std::string(507, '\0');
    bytes[0] = 3;
    testsupport::WriteFile(memo, bytes);
    USE(path);
    EXPECT_EQ(GetMemo(1), "abc");
    EXPECT_EQ(GetMemo(2), "next");
    CloseAll();
}

TEST(XfMemo, BinaryMemosAndTheFreeChainOfDbase4FilesStayWithinTheFile)
{
    EngineScope scope;
    MemoInit();
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/bin.dbf";
    Model model = Churn(path, 0x8B, 512, true, 99);
    ExpectModel(model, "binary");
    // Rewrites reuse freed blocks: the file holds little more than the live memos
    // plus the largest churned one.
    std::int64_t live = 0;
    for (const auto& [record, fields] : model)
        for (const auto& [field, data] : fields) live += static_cast<std::int64_t>((data.size() + 8 + 511) / 512 * 512);
    CloseAll();
    EXPECT_LT(SizeOf(dir.str() + "/bin.dbt"), live * 3) << "freed blocks are not reused";

    // A block past the end, or one whose length runs past it, is refused, never read.
    USE(path);
    GO(1);
    for (const std::int32_t block : {1000000, 2147483647}) {
        try {
            GetMemo(block);
            ADD_FAILURE() << "block " << block << " was read";
        } catch (const EXfError&) {
            EXPECT_EQ(XfErrors().LastError, 1003);
        }
    }
    CloseAll();
}

TEST(XfMemo, MemoFilesWrittenByPython3DbfReadBack)
{
    REQUIRE_TOOLS("/usr/bin/python3");
    EngineScope scope;
    MemoInit();
    for (const std::string kind : {"db3", "fp"}) {
        testsupport::TempDir dir;
        const std::string path = dir.str() + "/theirs.dbf";
        const std::vector<std::string> expected = ToolLines(MemoTool("write " + kind + " '" + path + "'"));
        ASSERT_EQ(expected.size(), 16u) << kind;
        USE(path, "", nullptr, 0, 0);
        std::vector<std::string> got;
        for (std::int32_t n = 1; n <= RecCount(); ++n) {
            GO(n);
            for (int field = 1; field <= 2; ++field)
                got.push_back(std::to_string(n) + "|" + kMemoFields[static_cast<std::size_t>(field - 1)] + "|" +
                              Digest(GetMemo(static_cast<std::int32_t>(CurrentRecord().Integer(field + 1)))));
        }
        EXPECT_EQ(got, expected) << kind;
        CloseAll();
    }
}

TEST(XfMemo, APackFailedOrKilledAtAnyStepLeavesEveryMemoAsItWas)
{
    EngineScope scope;
    MemoInit();
    for (int step = 1; step <= 5; ++step) {
        for (const bool kill : {false, true}) {
            const std::string where = std::string(kill ? "killed" : "failed") + " at step " + std::to_string(step);
            testsupport::TempDir dir;
            const std::string path = dir.str() + "/pack.dbf";
            const Model model = Churn(path, 0x8B, 512, true, 1000u + static_cast<unsigned>(step));
            CloseAll();
            if (kill) {
                const pid_t child = fork();
                ASSERT_GE(child, 0);
                if (child == 0) {
                    XfMemoPackStepHook() = [step](int at) {
                        if (at == step) raise(SIGKILL);
                    };
                    try {
                        USE(path, "EXCLUSIVE");
                        PackMemofile();
                    } catch (...) {
                    }
                    _exit(0);
                }
                int status = 0;
                ASSERT_EQ(waitpid(child, &status, 0), child);
                ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << where;
            } else {
                XfMemoPackStepHook() = [step](int at) {
                    if (at == step) throw std::runtime_error("injected");
                };
                USE(path, "EXCLUSIVE");
                EXPECT_THROW(PackMemofile(), std::runtime_error) << where;
                XfMemoPackStepHook() = nullptr;
                CloseAll();
            }
            USE(path);
            ExpectModel(model, where);
            CloseAll();
            for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
                EXPECT_TRUE(entry.path().extension() == ".dbf" || entry.path().extension() == ".dbt")
                    << where << ": left " << entry.path();
            // A later pack still works on what the recovery left.
            USE(path, "EXCLUSIVE");
            PackMemofile();
            ExpectModel(model, where + ", packed again");
            CloseAll();
        }
    }
}

TEST(XfMemo, MemoLinesBreakAtBlanksAndReturnsAndWriteBackWithTheirMarks)
{
    // 0x8D is a letter unless LF follows; CR ends a line with or without LF.
    const std::string memo = std::string("ab\r\ncd\re\x8D" "f\x8D\ng\nh") + std::string(300, 'x') + " tail";
    const std::vector<TXfMemoLine> lines = MemoToLines(memo, 254);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].Text, "ab");
    EXPECT_EQ(lines[1].Text, "cd");
    EXPECT_EQ(lines[2].Text, "e\x8D" "f");
    EXPECT_EQ(lines[2].EndMark, 141);
    EXPECT_EQ(lines[3].Text, "g");
    EXPECT_EQ(lines[4].Text.size(), 254u);
    EXPECT_EQ(lines[5].Text, std::string(47, 'x') + " tail");
    EXPECT_EQ(MemoToLines(LinesToMemo(lines), 254).size(), lines.size());

    EngineScope scope;
    MemoInit();
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/lines.dbf";
    CreateMemoTable(path, 0x8B, 512);
    USE(path);
    ClearRecord();
    ALock();
    Append();
    Unlock();
    std::vector<TXfMemoLine> many;
    for (int i = 0; i < 1500; ++i) many.push_back({"line " + std::to_string(i), 13});
    ASSERT_TRUE(RLock());
    WriteMemoLines(2, many);
    Replace();
    Unlock();
    const std::vector<TXfMemoLine> back = ReadMemoLines(2);
    ASSERT_EQ(back.size(), many.size()) << "lines past a fixed table were dropped";
    EXPECT_EQ(back.back().Text, "line 1499");
    CloseAll();
}

TEST(XfMemo, MemoTextFilesWriteReadAndAppendInEveryLayoutAndOutsideReadersAgree)
{
    REQUIRE_TOOLS("/usr/bin/python3", "perl");
    EngineScope scope;
    MemoInit();
    // Room for a memo of 1500 paragraphs: the line limit is the program's to set.
    MemoTextSettingsGuard settings;
    XfMemoTextSettings().MaxLines = 16384;
    struct Layout {
        std::uint8_t kind;
        std::uint16_t blockSize;
    };
    for (const Layout& layout : {Layout {0x83, 512}, Layout {0x8B, 512}, Layout {0x8B, 1024}, Layout {0xF5, 64}}) {
        const std::string where = "kind " + std::to_string(layout.kind) + " block " + std::to_string(layout.blockSize);
        testsupport::TempDir dir;
        const std::string path = dir.str() + "/text.dbf";
        CreateMemoTable(path, layout.kind, layout.blockSize);
        USE(path);
        AppendRecords(1, 6);
        std::mt19937 random(layout.kind + layout.blockSize);
        Model model;
        std::map<std::int32_t, std::vector<std::string>> lines;
        for (std::int32_t n = 1; n <= 6; ++n) {
            GO(n);
            ASSERT_TRUE(RLock());
            // Both memo fields open for output at once, written in turns.
            const TextDocument notes = RandomDocument(random, n == 3 ? 1500 : 1 + static_cast<int>(random() % 12));
            const TextDocument more = RandomDocument(random, 1 + static_cast<int>(random() % 4));
            rtl::TTextRec a, b;
            AssignMemo(a, 2);
            AssignMemo(b, 3);
            ASSERT_EQ(rtl::Rewrite(a), 0);
            ASSERT_EQ(rtl::Rewrite(b), 0);
            for (std::size_t i = 0; i < std::max(notes.writes.size(), more.writes.size()); ++i) {
                for (auto [file, doc] : {std::pair {&a, &notes}, std::pair {&b, &more}}) {
                    if (i >= doc->writes.size()) continue;
                    const auto& [ln, text] = doc->writes[i];
                    ASSERT_EQ(ln ? rtl::WriteLn(*file, text) : rtl::Write(*file, text), 0);
                }
            }
            ASSERT_EQ(rtl::CloseFile(a), 0);
            ASSERT_EQ(rtl::CloseFile(b), 0);
            EXPECT_EQ(MemoTextBlock(a), CurrentRecord().Integer(2)) << where;
            Replace();
            Unlock();
            model[n][1] = notes.bytes;
            model[n][2] = more.bytes;
            lines[n] = notes.lines;
        }
        ExpectModel(model, where + " written");
        for (std::int32_t n = 1; n <= 6; ++n) {
            GO(n);
            EXPECT_EQ(ReadMemoText(2), lines[n]) << where << " record " << n;
        }
        // Appending continues after the last line, which gets its return first.
        for (std::int32_t n = 1; n <= 6; ++n) {
            GO(n);
            ASSERT_TRUE(RLock());
            rtl::TTextRec f;
            AssignMemo(f, 2);
            ASSERT_EQ(rtl::Append(f), 0);
            ASSERT_EQ(rtl::WriteLn(f, "appended " + std::to_string(n)), 0);
            ASSERT_EQ(rtl::CloseFile(f), 0);
            Replace();
            Unlock();
            std::string& bytes = model[n][1];
            const bool ended = bytes.size() >= 2 && (bytes.ends_with("\r\n") || bytes.ends_with("\x8D\n"));
            if (bytes == "\r\n") {
                bytes.clear();
            } else if (!bytes.empty() && !ended) {
                bytes += "\r\n";
            }
            bytes += "appended " + std::to_string(n) + "\r\n";
        }
        ExpectModel(model, where + " appended");
        CloseAll();
        if (layout.kind != 0x8B) {
            EXPECT_EQ(ToolLines(MemoTool("read dbfread '" + path + "'")), ModelLines(model)) << where << " (python3-dbfread)";
        }
        ExpectXBaseReads(path, model, layout.kind == 0x83, where);
    }
}

TEST(XfMemo, CopiedMemosKeepTheirBlocksWhereFreeAndNeverRunIntoNeighbours)
{
    REQUIRE_TOOLS("/usr/bin/python3", "perl");
    EngineScope scope;
    MemoInit();
    struct Pair {
        std::uint8_t fromKind;
        std::uint16_t fromBlock;
        std::uint8_t toKind;
        std::uint16_t toBlock;
    };
    for (const Pair& pair : {Pair {0x8B, 1024, 0x8B, 512}, Pair {0x8B, 512, 0x8B, 1024}, Pair {0x8B, 512, 0x83, 512},
                             Pair {0xF5, 512, 0x8B, 512}, Pair {0x8B, 1024, 0xF5, 64}}) {
        for (const bool placed : {true, false}) {
            const std::string where = std::to_string(pair.fromKind) + "/" + std::to_string(pair.fromBlock) + " to " +
                                      std::to_string(pair.toKind) + "/" + std::to_string(pair.toBlock) +
                                      (placed ? " placed" : " appended");
            testsupport::TempDir dir;
            const std::string from = dir.str() + "/from.dbf", to = dir.str() + "/to.dbf";
            Select(1);
            Model model = Churn(from, pair.fromKind, pair.fromBlock, false, pair.fromBlock + pair.toBlock);
            // The copy already holds a memo of its own, at the blocks a copy would like.
            Select(2);
            CreateMemoTable(to, pair.toKind, pair.toBlock);
            USE(to);
            AppendRecords(1, 15);
            GO(15);
            const std::string own(1500, 'o');
            SetMemo(1, own);
            int kept = 0, copies = 0;
            for (std::int32_t n = 1; n <= 14; ++n) {
                Select(1);
                GO(n);
                const std::int32_t blocks[2] = {static_cast<std::int32_t>(CurrentRecord().Integer(2)),
                                                static_cast<std::int32_t>(CurrentRecord().Integer(3))};
                Select(2);
                GO(n);
                ASSERT_TRUE(RLock());
                for (int field = 0; field < 2; ++field) {
                    const std::int32_t block = CopyMemo(1, pair.fromKind == 0x83 ? -blocks[field] : blocks[field], placed);
                    CurrentRecord().SetInteger(field + 2, block);
                    if (block == 0) continue;
                    ++copies;
                    kept += block == blocks[field];
                }
                Replace();
                Unlock();
            }
            model[15][1] = own;
            model[15][2] = "";
            ExpectModel(model, where);
            // Only a dBASE IV file knows its skipped blocks are free, so only there can a
            // memo placed after a later one still take its own block.
            if (placed && pair.toKind == 0x8B && pair.toBlock >= pair.fromBlock) {
                EXPECT_GT(kept, copies / 2) << where;
            }
            if (!placed) {
                EXPECT_LT(kept, copies) << where;
            }
            // New memos in the copy find free space that is really free.
            std::mt19937 random(7);
            for (std::int32_t n = 1; n <= 15; n += 2) {
                GO(n);
                const std::string data = Content(random, kSizes[random() % kSizes.size()], false);
                SetMemo(2, data);
                model[n][2] = data;
            }
            ExpectModel(model, where + ", then rewritten");
            CloseAll();
            ExpectXBaseReads(to, model, pair.toKind == 0x83, where);
        }
    }
}

// A dBASE IV header counts at offset 32 the blocks memo reads took since the last
// GetMemo began, adding them at every store. An unlock the system refuses is
// reported; the memo stays stored.
TEST(XfMemo, StoresAddTheBlocksReadToTheHeaderCountAndAFailedUnlockIsReported)
{
    EngineScope scope;
    MemoInit();
    testsupport::TempDir dir;
    NewMemoTable(dir, "count", 0x8B, 1);
    const std::string memo = dir.str() + "/count.dbt";
    const std::int32_t big = AddMemo(std::string(1500, 'b'));  // 1508 bytes in 3 blocks
    const std::int32_t small = AddMemo("small");
    const std::uint32_t start = HeaderCount(memo);
    EXPECT_EQ(GetMemo(big), std::string(1500, 'b'));
    AddMemo("one");
    EXPECT_EQ(HeaderCount(memo), start + 3);
    EditMemo(small, "two");
    EXPECT_EQ(HeaderCount(memo), start + 6) << "the count starts again only with a read";
    EXPECT_EQ(GetMemo(small), "two");
    CopyMemo(CurrentWorkArea(), big);
    EXPECT_EQ(HeaderCount(memo), start + 7 + 3) << "a copy reads its memo and counts it";

    {
        TXfFileFaults refused;
        refused.Unlock = [](const std::string& file, std::int64_t offset, std::int64_t) {
            return file.ends_with(".dbt") && offset == 10 ? kDosLockViolation : 0;
        };
        TXfFileFaultsGuard faults(std::move(refused));
        const auto [code, text] = ErrorOf([] { AddMemo("refused unlock"); });
        EXPECT_EQ(code, 1018);
        EXPECT_NE(text.find("Cannot unlock memo file"), std::string::npos) << text;
        EXPECT_NE(text.find("count.dbt [AddMemo()]"), std::string::npos) << text;
        TXfDeferErrors defer;
        const std::int32_t kept = EditMemo(0, "kept");
        EXPECT_EQ(XfErrors().LastError, 1018);
        EXPECT_EQ(GetMemo(kept), "kept");
    }
    CloseAll();
}

// A blob of known size must fit in the free space of the memo file's drive before
// a byte of it is written, through the engine and through the dataset's stream.
TEST(XfMemo, ABlobTheDriveHasNoRoomForIsRefusedBeforeAnythingIsWritten)
{
    EngineScope scope;
    MemoInit();
    testsupport::TempDir dir;
    const std::string path = NewMemoTable(dir, "room", 0x8B, 1), memo = dir.str() + "/room.dbt";
    int freeCode = 0;
    TXfFileFaults fourKb;
    fourKb.DiskFree = [&freeCode](const std::string&, std::int64_t& bytes) {
        bytes = 4096;
        return freeCode;
    };
    TXfFileFaultsGuard faults(std::move(fourKb));
    const std::string before = testsupport::ReadFile(memo);
    const auto [code, text] = ErrorOf([] { CreateBlobDescriptor(false, 0, kBlobWrite, 4097); });
    EXPECT_EQ(code, 1004);
    EXPECT_NE(text.find("room.dbt Record # 1 [CreateBlobDescriptor]"), std::string::npos) << text;
    freeCode = 21;
    EXPECT_EQ(ErrorOf([] { CreateBlobDescriptor(false, 0, kBlobWrite, 10); }).first, 21);
    EXPECT_EQ(testsupport::ReadFile(memo), before);
    freeCode = 0;
    const std::string fits(4096, 'f');
    ASSERT_NE(CreateBlobDescriptor(false, 0, kBlobWrite, 4096), -1);
    WriteBlobStream(fits.data(), 4096);
    EXPECT_EQ(GetMemo(DestroyBlobDescriptor()), fits);
    CloseAll();

    TXfDbf table(nullptr);
    table.SetDbfFileName(path);
    table.Open();
    const std::int64_t size = static_cast<std::int64_t>(std::filesystem::file_size(memo));
    table.Edit();
    const std::int64_t written = [&] {
        std::unique_ptr<db::TStream> blob = table.CreateBlobStream(table.FieldByName("NOTES"), db::bmWrite);
        return blob->Write(std::string(5000, 'w').data(), 5000);
    }();
    EXPECT_EQ(written, 5000);
    table.Cancel();
    table.Close();
    EXPECT_EQ(static_cast<std::int64_t>(std::filesystem::file_size(memo)), size) << "a blob without room was written";
}

// Written text counts in lines of 254 characters (a longer line is stored whole);
// the line past the limit fails, and so does the close, which leaves the field's
// memo as it was. Reading knows no limit. A device step the file was not opened
// for is refused.
TEST(XfMemo, AMemoTextFileKeepsItsLineLimitAndRefusesStepsItWasNotOpenedFor)
{
    EngineScope scope;
    MemoInit();
    MemoTextSettingsGuard settings;
    testsupport::TempDir dir;
    NewMemoTable(dir, "limit", 0x83, 1);
    ASSERT_TRUE(RLock());
    // 1022 lines and one of 300 characters: 1024 lines of the limit.
    std::string bytes;
    rtl::TTextRec f;
    AssignMemo(f, 2);
    ASSERT_EQ(rtl::Rewrite(f), 0);
    for (int i = 0; i < 1022; ++i) {
        ASSERT_EQ(rtl::WriteLn(f, "line " + std::to_string(i)), 0);
        bytes += "line " + std::to_string(i) + "\r\n";
    }
    const std::string wide(300, 'w');
    ASSERT_EQ(rtl::WriteLn(f, wide), 0);
    bytes += wide + "\r\n";
    ASSERT_EQ(rtl::CloseFile(f), 0);
    Replace();
    const std::int32_t block = static_cast<std::int32_t>(CurrentRecord().Integer(2));
    EXPECT_EQ(GetMemo(block), bytes);
    const std::vector<std::string> lines = ReadMemoText(2);
    ASSERT_EQ(lines.size(), 1023u);
    EXPECT_EQ(lines.back(), wide);

    AssignMemo(f, 2);
    ASSERT_EQ(rtl::Append(f), 0);
    EXPECT_EQ(rtl::WriteLn(f, "one too many"), 101);
    EXPECT_EQ(rtl::WriteLn(f, "and another"), 101);
    EXPECT_EQ(rtl::CloseFile(f), 101);
    EXPECT_EQ(CurrentRecord().Integer(2), block);
    EXPECT_EQ(GetMemo(block), bytes);
    // A smaller limit reads the whole memo all the same.
    XfMemoTextSettings().MaxLines = 10;
    EXPECT_EQ(ReadMemoText(2).size(), 1023u);

    // Closed, or opened in neither direction: nothing for the device to do.
    f.Buffer = "x";
    EXPECT_EQ(f.InOutFunc(f), 102);
    f.Mode = rtl::fmInOut;
    EXPECT_EQ(f.InOutFunc(f), 102);
    // Never opened through the device: nothing is written, the field keeps its memo.
    rtl::TTextRec never;
    AssignMemo(never, 2);
    never.Mode = rtl::fmOutput;
    EXPECT_EQ(rtl::WriteLn(never, "never opened"), 104);
    EXPECT_EQ(rtl::CloseFile(never), 104);
    EXPECT_EQ(CurrentRecord().Integer(2), block);
    // Lines beyond what the engine can hand out.
    XfMemoTextSettings().MaxLines = 100000000;
    EXPECT_EQ(rtl::Rewrite(never), 8);
    Unlock();
    CloseAll();
}

// A block size too small for a block's header: the memos are laid out in 512-byte
// blocks, and the new file's header says so, for the engine and for outside readers.
TEST(XfMemo, ABlockSizeSettingBelowEightMakesAFileOf512ByteBlocksThatSaysSo)
{
    REQUIRE_TOOLS("/usr/bin/python3", "perl");
    EngineScope scope;
    MemoInit();
    for (const std::uint8_t kind : {std::uint8_t {0x8B}, std::uint8_t {0xF5}}) {
        for (const std::uint16_t setting : {1, 4, 7}) {
            const std::string where = "kind " + std::to_string(kind) + " setting " + std::to_string(setting);
            testsupport::TempDir dir;
            const std::string path = dir.str() + "/memos.dbf";
            const Model model = Churn(path, kind, setting, false, kind + setting);
            EXPECT_EQ(MemoBlockSize(), 512u) << where;
            CloseAll();
            const std::string memo = testsupport::ReadFile(dir.str() + (kind == 0xF5 ? "/memos.fpt" : "/memos.dbt"));
            const auto byte = [&](std::size_t at) { return static_cast<unsigned>(static_cast<std::uint8_t>(memo.at(at))); };
            EXPECT_EQ(kind == 0xF5 ? byte(6) << 8 | byte(7) : byte(20) | byte(21) << 8, 512u) << where;
            ExpectXBaseReads(path, model, false, where);
            if (kind == 0xF5) {
                EXPECT_EQ(ToolLines(MemoTool("read dbfread '" + path + "'")), ModelLines(model)) << where;
            }
        }
    }
}

// A block size that does not divide 512 starts the memos at the first block past
// the 512-byte header, and a freed block is used again, so that rewrites settle.
// A file written while memos could start inside the header, whose free chain
// starts with a group there, still hands out the groups chained behind it, and
// the part of that group past the header.
TEST(XfMemo, NoMemoStartsInsideTheHeaderAndAFreedGroupThereKeepsTheChainBehindIt)
{
    EngineScope scope;
    MemoInit();
    const auto le = [](const std::string& b, std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b.at(at + static_cast<std::size_t>(i)));
        return v;
    };
    for (const std::uint8_t kind : {std::uint8_t {0x8B}, std::uint8_t {0x8C}, std::uint8_t {0xF5}}) {
        for (const std::uint16_t blockSize : {9, 33, 100, 255, 300, 500, 64, 512, 1000, 1024}) {
            const std::string where = "kind " + std::to_string(kind) + " block " + std::to_string(blockSize);
            testsupport::TempDir dir;
            const std::string path = dir.str() + "/sizes.dbf";
            const std::string memo = dir.str() + (kind == 0xF5 ? "/sizes.fpt" : "/sizes.dbt");
            CreateMemoTable(path, kind, blockSize);
            USE(path);
            const std::int32_t first = (512 + blockSize - 1) / blockSize;
            std::int32_t one = EditMemo(0, "one");
            const std::int32_t two = EditMemo(0, std::string(70, 't'));
            EXPECT_EQ(one, first) << where;
            EXPECT_EQ(GetMemo(one), "one") << where;
            const std::string bytes = testsupport::ReadFile(memo);
            const std::uint32_t nextFree = kind == 0xF5 ? __builtin_bswap32(le(bytes, 0)) : le(bytes, 0);
            EXPECT_EQ(nextFree * blockSize, (bytes.size() + blockSize - 1) / blockSize * blockSize) << where;
            if (kind == 0xF5) {
                CloseAll();
                continue;
            }
            for (int round = 0; round < 6; ++round) {
                EXPECT_EQ(EditMemo(one, ""), 0);
                one = EditMemo(0, "one again");
                EXPECT_EQ(one, first) << where << ", round " << round;
            }
            EXPECT_EQ(testsupport::ReadFile(memo).size(), bytes.size()) << where << ": the file settles";
            EXPECT_EQ(GetMemo(two), std::string(70, 't')) << where;
            CloseAll();
        }
    }

    // Block size 33: a freed group of blocks 15 and 16 (bytes 495 to 560) chained
    // first, memos at 17 (4 blocks) and 23, a free group of 21 and 22 behind.
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/older.dbf", memo = dir.str() + "/older.dbt";
    CreateMemoTable(path, 0x8B, 33);
    std::string bytes = testsupport::ReadFile(memo);
    bytes.resize(24 * 33, '\0');
    const auto put = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    };
    const auto memoAt = [&](std::int32_t block, const std::string& data) {
        const std::size_t at = static_cast<std::size_t>(block) * 33;
        bytes.replace(at, 4, std::string("\xFF\xFF\x08\x00", 4));
        put(at + 4, static_cast<std::uint32_t>(data.size() + 8));
        bytes.replace(at + 8, data.size(), data);
    };
    memoAt(17, std::string(100, 'm'));
    memoAt(23, "last");
    put(0, 15);
    put(15 * 33, 21);
    put(15 * 33 + 4, 2);
    put(21 * 33, 24);
    put(21 * 33 + 4, 2);
    testsupport::WriteFile(memo, bytes);
    USE(path);
    AppendRecords(1, 2);
    EXPECT_EQ(EditMemo(0, "small"), 16) << "the part of the group past the header";
    EXPECT_EQ(EditMemo(0, std::string(40, 'x')), 21) << "the group behind it";
    EXPECT_EQ(testsupport::ReadFile(memo).size(), bytes.size());
    EXPECT_EQ(GetMemo(17), std::string(100, 'm'));
    EXPECT_EQ(GetMemo(23), "last");
    EXPECT_EQ(EditMemo(0, "new"), 24);
    CloseAll();
}
