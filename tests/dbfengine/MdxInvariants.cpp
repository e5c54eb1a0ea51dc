#include "tests/dbfengine/MdxInvariants.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "dbfengine/dbf4.h"
#include "dbfengine/platform/XfCharsets.h"
#include "dbfengine/xfndx.h"
#include "dbfengine/xfndxlow.h"
#include "dbfengine/xfparser.h"

namespace dbftest {

namespace {

std::uint32_t U32(const std::string& b, std::size_t at)
{
    if (at + 4 > b.size()) return 0;
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
           static_cast<std::uint8_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}
std::uint16_t U16(const std::string& b, std::size_t at)
{
    if (at + 2 > b.size()) return 0;
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8);
}
std::string CText(const std::string& b, std::size_t at, std::size_t max)
{
    if (at >= b.size()) return {};
    const std::size_t end = std::min(b.size(), at + max);
    const std::size_t nul = b.find('\0', at);
    return b.substr(at, (nul == std::string::npos || nul > end ? end : nul) - at);
}

int Compare(const MdxTagInfo& tag, const std::string& x, const std::string& y)
{
    int r;
    if (tag.Type == 'C') {
        const int c = std::memcmp(x.data(), y.data(), x.size());
        r = (c > 0) - (c < 0);
    } else if (tag.Type == 'D') {
        double a, b;
        std::memcpy(&a, x.data(), 8);
        std::memcpy(&b, y.data(), 8);
        r = (a > b) - (a < b);
    } else {
        xf::TBcdKey a, b;
        std::memcpy(a.data(), x.data(), 12);
        std::memcpy(b.data(), y.data(), 12);
        const int c = xf::BcdKeyCompare(a, b);
        r = (c > 0) - (c < 0);
    }
    return tag.Descending ? -r : r;
}

struct Walker {
    const std::string& file;
    MdxTagInfo& tag;
    int entryLength, maxKeys;
    std::vector<std::string>& problems;
    std::set<std::uint32_t> path;

    void Problem(const std::string& text) { problems.push_back(tag.Name + ": " + text); }

    // Appends the subtree's entries; false when it could not be walked.
    bool Walk(std::uint32_t block, int depth, bool root)
    {
        const std::size_t at = static_cast<std::size_t>(block) * 512;
        if (block < 4 || at + 1024 > file.size()) {
            Problem("node block " + std::to_string(block) + " outside the file");
            return false;
        }
        if (depth > 32 || path.count(block)) {
            Problem("node " + std::to_string(block) + " repeats on its path or lies deeper than 32 levels");
            return false;
        }
        const int count = static_cast<int>(U32(file, at));
        if (count > maxKeys) {
            Problem("node " + std::to_string(block) + " holds " + std::to_string(count) + " keys, more than " + std::to_string(maxKeys));
            return false;
        }
        if (!root && count == 0 && U32(file, at + 8) == 0) Problem("empty node " + std::to_string(block) + " below the root");
        const auto key = [&](int i) { return file.substr(at + 8 + static_cast<std::size_t>(i) * entryLength + 4, tag.KeyLength); };
        const auto pointer = [&](int i) { return U32(file, at + 8 + static_cast<std::size_t>(i) * entryLength); };
        if (pointer(count) == 0) {
            tag.LeafCounts.push_back(count);
            for (int i = 0; i < count; ++i) tag.Entries.push_back({key(i), static_cast<std::int32_t>(pointer(i))});
            return true;
        }
        path.insert(block);
        for (int i = 0; i <= count; ++i) {
            const std::size_t before = tag.Entries.size();
            if (!Walk(pointer(i), depth + 1, false)) return false;
            for (std::size_t e = before; e < tag.Entries.size(); ++e) {
                if (i < count && Compare(tag, tag.Entries[e].Key, key(i)) > 0)
                    Problem("a key of child " + std::to_string(i) + " of node " + std::to_string(block) + " is above its separator");
                if (i > 0 && Compare(tag, tag.Entries[e].Key, key(i - 1)) < 0)
                    Problem("a key of child " + std::to_string(i) + " of node " + std::to_string(block) + " is below the separator before it");
            }
        }
        path.erase(block);
        return true;
    }
};

// A key that is nothing but an integer field of 10 to 18 digits holds the field's
// digits (a double would not, past 2^53): those digits, else "".
std::string IntegerFieldDigits(const MdxTagInfo& tag)
{
    const xf::TWorkArea* area = xf::WorkArea(xf::CurrentWorkArea());
    if (!area) return {};
    std::string name;
    for (const char c : tag.KeyExpr)
        if (c != ' ') name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const xf::TDbfField& f : area->Table.Fields) {
        if (f.Name != name || (f.Type != 'N' && f.Type != 'F') || f.Decimals != 0 || f.Length < 10 || f.Length > 18) continue;
        std::string text(area->Table.Record.data() + f.Offset, f.Length);
        text.erase(0, text.find_first_not_of(' '));
        const bool digits = !text.empty() && text.find_first_not_of("-0123456789") == std::string::npos;
        return digits ? text : std::string();
    }
    return {};
}

// The current record of an OEM table as the file holds it, when it has characters
// the ANSI page lacks: its text through the lossless pair, so they survive into the
// key ("" otherwise).
std::vector<char> WholeRecordText(const xf::TWorkArea* area)
{
    if (!area || area->Table.Language != 1) return {};
    const xf::TDbfTable& t = area->Table;
    std::vector<char> bytes(t.RecordLength);
    std::size_t got = 0;
    if (bytes.empty() || t.File.ReadAt(t.RecordOffset(t.CurrentRecord), bytes.data(), bytes.size(), got) != 0 ||
        got != bytes.size() || !xf::XfOemLacksAnsi(bytes.data() + 1, bytes.size() - 1))
        return {};
    xf::XfOemToAnsiWholeBuff(bytes.data() + 1, bytes.size() - 1);
    return bytes;
}

std::string ExpectedKey(const MdxTagInfo& tag, xf::PXfExpr expr)
{
    xf::TWorkArea* area = xf::WorkArea(xf::CurrentWorkArea());
    std::vector<char> whole = tag.Type == 'C' ? WholeRecordText(area) : std::vector<char>();
    if (!whole.empty()) area->Table.Record.swap(whole);
    const void* value = xf::Evaluate(expr);
    if (!whole.empty()) area->Table.Record.swap(whole);
    std::string key(static_cast<std::size_t>(tag.KeyLength), '\0');
    if (tag.Type == 'C') {
        const char* text = static_cast<const char*>(value);
        const std::size_t n = strnlen(text, key.size());
        std::memcpy(key.data(), text, n);
        std::fill(key.begin() + static_cast<std::ptrdiff_t>(n), key.end(), ' ');
        // An OEM table's records read as ANSI text; its keys are stored in OEM.
        if (!whole.empty()) {
            xf::XfAnsiToOemWholeBuff(key.data(), key.size());
        } else if (area && area->Table.Language == 1) {
            key = xf::XfAnsiToOem(key);
        }
    } else if (tag.Type == 'D') {
        std::memcpy(key.data(), value, 8);
    } else {
        xf::TBcdKey bcd;
        const std::string digits = IntegerFieldDigits(tag);
        if (!digits.empty()) {
            xf::BcdKeyFromText(bcd, digits, 0);
        } else {
            xf::BcdKeyFromFloat(bcd, expr->ResultDecimals, *static_cast<const double*>(value));
        }
        std::memcpy(key.data(), bcd.data(), 12);
    }
    return key;
}

}  // namespace

std::vector<MdxTagInfo> ReadMdxTags(const std::string& path, std::vector<std::string>& problems)
{
    std::ifstream in(path, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<MdxTagInfo> tags;
    if (file.size() < 3072) {
        problems.push_back("index file shorter than 3072 bytes");
        return tags;
    }
    const int count = static_cast<std::uint8_t>(file[28]);
    if (count > 47) problems.push_back("more than 47 tags");
    for (int n = 1; n <= std::min(count, 47); ++n) {
        const std::size_t entry = 512 + 32 * static_cast<std::size_t>(n);
        const std::size_t header = static_cast<std::size_t>(U32(file, entry)) * 512;
        MdxTagInfo tag;
        tag.Name = CText(file, entry + 4, 11);
        if (header < 2048 || header + 1024 > file.size()) {
            problems.push_back(tag.Name + ": tag header outside the file");
            continue;
        }
        tag.Type = file[header + 9] == 'F' ? 'N' : file[header + 9];
        tag.KeyLength = U16(file, header + 12);
        const int entryLength = U16(file, header + 18);
        const int maxKeys = U16(file, header + 14);
        tag.Descending = (file[header + 8] & 0x08) != 0;
        tag.Unique = file[header + 23] != 0;
        tag.KeyExpr = CText(file, header + 24, 220);
        tag.ForExpr = CText(file, header + 762, 220);
        if (entryLength != 4 + (tag.KeyLength + 3) / 4 * 4 || tag.KeyLength < 1 || tag.KeyLength > 100 ||
            maxKeys != 1012 / entryLength || file[entry + 20] != file[header + 9]) {
            problems.push_back(tag.Name + ": inconsistent key length, entry length, maximum keys or type");
            continue;
        }
        if ((file[header + 245] != 0) != !tag.ForExpr.empty()) problems.push_back(tag.Name + ": FOR flag disagrees with its text");
        tag.MaxKeys = maxKeys;
        Walker walker {file, tag, entryLength, maxKeys, problems, {}};
        walker.Walk(U32(file, header), 1, true);
        if (!tag.ForExpr.empty() && (file[header + 246] != 0) != !tag.Entries.empty())
            problems.push_back(tag.Name + ": keys-present flag disagrees with the tag's keys");
        for (std::size_t i = 1; i < tag.Entries.size(); ++i) {
            const int c = Compare(tag, tag.Entries[i - 1].Key, tag.Entries[i].Key);
            if (c > 0 || (c == 0 && (tag.Unique || tag.Entries[i - 1].Record >= tag.Entries[i].Record))) {
                problems.push_back(tag.Name + ": entries " + std::to_string(i - 1) + " and " + std::to_string(i) + " out of order");
                break;
            }
        }
        tags.push_back(std::move(tag));
    }
    return tags;
}

std::vector<std::string> MdxProblems(bool built)
{
    std::vector<std::string> problems;
    const std::string path = xf::IndexFileName();
    if (path.empty()) return {"no index open"};
    std::vector<MdxTagInfo> tags = ReadMdxTags(path, problems);
    const std::int32_t saved = xf::RecNo();
    const std::int32_t count = xf::RecCount();
    for (MdxTagInfo& tag : tags) {
        if (built && tag.LeafCounts.size() > 1 &&
            std::any_of(tag.LeafCounts.begin(), tag.LeafCounts.end() - 1, [&](int c) { return c != tag.MaxKeys; }))
            problems.push_back(tag.Name + ": a leaf before the last is not full");
        xf::PXfExpr key = xf::AssignExpr(tag.KeyExpr);
        xf::PXfExpr condition = tag.ForExpr.empty() ? nullptr : xf::AssignExpr(tag.ForExpr);
        std::vector<MdxEntry> expected;
        for (std::int32_t r = 1; r <= count; ++r) {
            xf::Dbf4RawGo(r);
            if (condition && *static_cast<const std::int32_t*>(xf::Evaluate(condition)) == 0) continue;
            expected.push_back({ExpectedKey(tag, key), r});
        }
        xf::FreeExpr(key);
        xf::FreeExpr(condition);
        std::stable_sort(expected.begin(), expected.end(),
                         [&](const MdxEntry& x, const MdxEntry& y) { return Compare(tag, x.Key, y.Key) < 0; });
        if (tag.Unique) {
            std::map<std::string, std::set<std::int32_t>> recordsOfKey;
            for (const MdxEntry& e : expected) recordsOfKey[e.Key].insert(e.Record);
            if (tag.Entries.size() != recordsOfKey.size()) problems.push_back(tag.Name + ": not one entry per distinct key");
            for (const MdxEntry& e : tag.Entries) {
                const auto it = recordsOfKey.find(e.Key);
                if (it == recordsOfKey.end() || !it->second.count(e.Record)) {
                    problems.push_back(tag.Name + ": record " + std::to_string(e.Record) + " does not have its entry's key");
                    break;
                }
            }
        } else if (tag.Entries != expected) {
            std::size_t i = 0;
            while (i < expected.size() && i < tag.Entries.size() && expected[i] == tag.Entries[i]) ++i;
            problems.push_back(tag.Name + ": entries differ from the table's records from position " + std::to_string(i) + " (" +
                               std::to_string(tag.Entries.size()) + " entries, " + std::to_string(expected.size()) + " expected)");
        }
    }
    if (saved >= 1 && saved <= count) xf::Dbf4RawGo(saved);
    else xf::Dbf4RawGo(count + 1);
    return problems;
}

}  // namespace dbftest
