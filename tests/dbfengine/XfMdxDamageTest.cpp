// Hand-damaged index files: each field of the file that the engine reads, made
// wrong, answers an engine code at open or while the tree is walked and searched,
// never a read outside a buffer (the sanitizer build runs these too).

#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfndx.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/dbfengine/MdxTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

std::uint32_t Get32(const std::string& b, std::size_t at)
{
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
void Put32(std::string& b, std::size_t at, std::uint32_t v) { std::memcpy(b.data() + at, &v, 4); }
void Put16(std::string& b, std::size_t at, std::uint16_t v) { std::memcpy(b.data() + at, &v, 2); }

// The places of a sound file's parts: tag 1's header, its root (a branch) and the
// first leaf below it.
struct Layout {
    std::size_t tagHeader, root, leaf;
    explicit Layout(const std::string& b)
    {
        tagHeader = static_cast<std::size_t>(Get32(b, 512 + 32)) * 512;
        root = static_cast<std::size_t>(Get32(b, tagHeader)) * 512;
        leaf = static_cast<std::size_t>(Get32(b, root + 8)) * 512;
    }
};

// The first engine code of opening the index, walking its controlling order both
// ways and searching it (0 when all went through).
int CodeOf(const std::string& table, const std::string& mdx)
{
    int code = ErrorOf([&] { SetIndexTo(mdx); }).first;
    if (code || !IndexOpenTest()) return code;
    code = ErrorOf([] {
        int guard = 0;
        for (std::int32_t n = FindFirstRec(); !IndexEof() && ++guard < 100000;) n = _FindNextRec(), (void)n;
        FindLastRec();
        while (!IndexBof() && ++guard < 200000) _FindPriorRec();
        Find("M");
        Find("Zed");
    }).first;
    CloseIndex();
    (void)table;
    return code;
}

}  // namespace

TEST(XfMdxDamage, EveryCheckedFieldAnswersItsCode)
{
    IndexTableScope scope(400, 13);
    const std::string& table = scope.Table;
    const std::string dir = scope.Dir.str();
    USE(table, "EXCLUSIVE");
    ASSERT_TRUE(MakeIndex({{"NAME", "NAME", "", false, false}, {"OKNAMES", "NAME", "OK", false, false}}, ""));
    const std::string mdx = dir + "/people.MDX";
    const std::string sound = testsupport::ReadFile(mdx);
    const Layout at(sound);
    ASSERT_NE(Get32(sound, at.root + 8 + 4 * 16), 0u) << "tag 1's root must be a branch";
    const std::string bad = dir + "/bad.mdx";

    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        int code;
    };
    const std::vector<Case> cases = {
        {"sound", [](std::string&) {}, 0},
        {"3071 bytes", [](std::string& b) { b.resize(3071); }, 222},
        {"48 tags", [](std::string& b) { b[28] = 48; }, 222},
        {"node size", [](std::string& b) { Put16(b, 22, 512); }, 222},
        {"tag header in the file header", [](std::string& b) { Put32(b, 512 + 32, 1); }, 222},
        {"tag header past the end", [&](std::string& b) { Put32(b, 512 + 32, static_cast<std::uint32_t>(b.size() / 512)); }, 222},
        {"key length 0", [&](std::string& b) { Put16(b, at.tagHeader + 12, 0); }, 266},
        {"key length 101", [&](std::string& b) { Put16(b, at.tagHeader + 12, 101); }, 266},
        {"date key of 12 bytes", [&](std::string& b) { b[at.tagHeader + 9] = 'D'; }, 266},
        {"numeric key of 12 bytes over a character expression", [&](std::string& b) { b[at.tagHeader + 9] = 'N'; }, 222},
        {"entry length", [&](std::string& b) { Put16(b, at.tagHeader + 18, 20); }, 222},
        {"keys per node", [&](std::string& b) { Put16(b, at.tagHeader + 14, 64); }, 222},
        {"key expression without its end", [&](std::string& b) { std::memset(&b[at.tagHeader + 24], 'A', 220); }, 222},
        {"FOR condition without its end", [&](std::string& b) { std::memset(&b[at.tagHeader + 762], 'A', 220); }, 222},
        {"key expression naming no field", [&](std::string& b) { std::memcpy(&b[at.tagHeader + 24], "NOFIELD", 8); }, 222},
        {"FOR condition that is no condition",
         [&](std::string& b) {
             b[at.tagHeader + 245] = 1;
             std::memcpy(&b[at.tagHeader + 762], "NAME", 5);
         },
         222},
        {"root 0", [&](std::string& b) { Put32(b, at.tagHeader, 0); }, 222},
        {"root past the end", [&](std::string& b) { Put32(b, at.tagHeader, static_cast<std::uint32_t>(b.size() / 512 + 8)); }, 222},
        {"more keys than a node holds", [&](std::string& b) { Put32(b, at.leaf, 64); }, 254},
        {"child block 0", [&](std::string& b) { Put32(b, at.root + 8 + 16, 0); }, 254},
        {"child past the end", [&](std::string& b) { Put32(b, at.root + 8 + 16, 0x7FFFFFF0); }, 254},
        {"child inside the file header", [&](std::string& b) { Put32(b, at.root + 8 + 16, 2); }, 254},
        {"child that is its own ancestor", [&](std::string& b) { Put32(b, at.root + 8 + 16, static_cast<std::uint32_t>(at.root / 512)); }, 254},
        {"record beyond the table", [&](std::string& b) { Put32(b, at.leaf + 8 + 16 * 3, 401); }, 254},
        {"record 0 before the last key", [&](std::string& b) { Put32(b, at.leaf + 8 + 16 * 2, 0); }, 254},
        {"a chain 40 nodes deep",
         [&](std::string& b) {
             const std::size_t first = b.size() / 512;
             for (std::size_t i = 0; i < 40; ++i) {
                 std::string node(1024, '\0');
                 Put32(node, 8, static_cast<std::uint32_t>(i + 1 < 40 ? first + 2 * (i + 1) : at.root / 512));
                 b += node;
             }
             Put32(b, at.tagHeader, static_cast<std::uint32_t>(first));
         },
         254},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = sound;
        c.damage(bytes);
        testsupport::WriteFile(bad, bytes);
        EXPECT_EQ(CodeOf(table, bad), c.code);
        EXPECT_FALSE(IndexOpenTest());
    }
}
