#pragma once
// The index invariants, checked from the file's bytes by a reader of our own (not
// the engine's), against the table open in the current work area:
//  - every node holds at most its tag's maximum of keys, and a node below the root
//    at least one; trees are at most 32 levels deep and every block is inside the file;
//  - the keys of the leaves ascend in the tag's order (descending tags reversed),
//    equal keys by ascending record number, and each separator bounds its subtrees;
//  - every record that passes the tag's FOR condition is in the tag exactly once
//    with the key its expression gives (a key of nothing but an integer field of 10
//    to 18 digits: those digits), in OEM for an OEM table (a record with characters
//    the ANSI page lacks read through the lossless pair, so the key keeps its bytes;
//    unique tags: each key once, on a record with that key), and no other record is; the
//    keys-present flag of a FOR tag says whether it has keys;
//  - in a file straight from a build, every leaf but a tag's last is full.
// The current record of the area is restored afterwards; the orders are not touched.

#include <cstdint>
#include <string>
#include <vector>

namespace dbftest {

struct MdxEntry {
    std::string Key;  // the key's bytes
    std::int32_t Record = 0;
    bool operator==(const MdxEntry&) const = default;
};

struct MdxTagInfo {
    std::string Name, KeyExpr, ForExpr;
    char Type = 'C';
    int KeyLength = 0;
    bool Descending = false, Unique = false;
    int MaxKeys = 0;
    std::vector<MdxEntry> Entries;  // in tree order
    std::vector<int> LeafCounts;    // keys of each leaf, in tree order
};

// The tags of an index file as its bytes say; problems go to `problems`.
std::vector<MdxTagInfo> ReadMdxTags(const std::string& path, std::vector<std::string>& problems);

// The problems of the index file open on the current work area (empty when sound).
// `built`: the file comes straight from a build, so every leaf but the last of a tag
// is full.
std::vector<std::string> MdxProblems(bool built = false);

}  // namespace dbftest
