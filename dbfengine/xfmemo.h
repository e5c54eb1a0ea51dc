#pragma once
// Memo files: the companion file of a table with memo fields, in one of three
// layouts (dBASE III: the bytes and two 0x1A, read up to the first; dBASE IV: an
// 8-byte block header and a chain of free blocks that rewrites reuse; FoxPro: a
// big-endian block header).
// A memo field holds the memo's first block as 10 characters.
//
// Each work area with memo fields has its memo state from USE to close. Adding or
// rewriting memos in a shared table is serialised between programs by a one-byte
// lock on the memo file; reading takes no lock.
//
// Every number read from a memo file is checked against the file: a block outside
// it, a length past its end or a free chain that loops or goes backwards is
// refused (code 1003), never followed.
//
// Also here: a memo as lines of text (hard returns CR, soft returns 0x8D 0x0A), and
// the byte streams of the dataset's blob fields.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "dbfengine/dbf4.h"

namespace xf {

constexpr std::uint8_t kMemoDbase3 = 0x83, kMemoDbase4 = 0x8B, kMemoLevel7 = 0x8C, kMemoFox = 0xF5;

// Installs the memo entries into the work-area layer's hook table (once; the
// dataset layer and the tests call it before opening tables).
void MemoInit();

// The memo kind of the current area.
std::uint8_t GetMemoType();
// The memo file's block size (0 when the area has no memo file).
std::uint32_t MemoBlockSize();
std::string MemoFileName();

// A memo's bytes as stored (the table's read hook applied). Block 0 is no memo.
std::string GetMemo(std::int32_t block);
// Stores `data` as a new memo and returns its block; 0 for a text of blanks only
// (nothing is written) or after a reported failure.
std::int32_t AddMemo(std::string_view data);
// Stores `data` in place of the memo at `oldBlock` (0: none) and returns the block
// that now holds it; empty data frees the old memo and returns 0. dBASE IV files
// reuse the old blocks when they suffice and free ones from the chain; the other
// layouts append.
std::int32_t EditMemo(std::int32_t oldBlock, std::string_view data);
// Copies the memo at `block` (negative for a dBASE III file) of area `sourceArea`
// into the current area's memo file, in that file's layout, and returns its block
// there. `placed` asks for the same block number in the copy (so a copied table
// keeps its fields); it is granted only when those blocks hold nothing (past the
// file's end, or inside a free group of a dBASE IV file), since a memo that needs
// more blocks in the copy than in its source would run into its neighbour.
// Otherwise, and without `placed`, the memo goes where a new memo would.
std::int32_t CopyMemo(int sourceArea, std::int32_t block, bool placed = false);
// Empties the memo file (the table keeps its field values: the caller clears them).
void ZapMemofile();

// Rewrites the memo file with the memos the records point to, in record order,
// and the fields with their new blocks. Needs the table in exclusive use. A crash
// at any moment leaves either the old pair of files or the new one: the new memo
// file and a journal of the new field values are made first, and the next open
// of the table finishes (or drops) an unfinished pack.
void PackMemofile();

// Tests only: called at each step of a pack (1 new memo file made, 2 journal
// written, 3 memo file replaced, 4 half of the fields rewritten, 5 all fields
// rewritten), so a test can fail or kill the pack there.
std::function<void(int step)>& XfMemoPackStepHook();

// ---- memo text ------------------------------------------------------------------

struct TXfMemoLine {
    std::string Text;
    std::uint8_t EndMark = 0;  // 13 hard return, 141 soft return, 0 the memo's end
};
// Breaks memo bytes into lines of at most `width` characters (at the last blank
// when the line has one). CR (with or without LF) ends a line, 0x8D ends one only
// when LF follows (elsewhere it is a letter); a lone LF ends one too.
std::vector<TXfMemoLine> MemoToLines(std::string_view memo, std::size_t width = 254);
// Lines back into memo bytes: a hard return as CR LF, a soft one as 0x8D LF.
std::string LinesToMemo(const std::vector<TXfMemoLine>& lines);
// The memo of memo field `field` of the current record as lines.
std::vector<TXfMemoLine> ReadMemoLines(int field);
// Writes the lines as the memo of field `field` of the current record (the typed
// record takes the new block; the caller replaces the record).
std::int32_t WriteMemoLines(int field, const std::vector<TXfMemoLine>& lines);

// ---- a memo field as a text file -----------------------------------------------

struct TXfMemoTextSettings {
    int MemoWidth = 0;  // characters per line read, 0: 254 (else this many + 1)
    bool FlushOnClose = false;
    int MaxLines = 1024;  // lines a memo written through a text file may hold
};
TXfMemoTextSettings& XfMemoTextSettings();

// Binds `file` to memo field `field` (from 1) of the current record of the current
// area; the text-file routines then read and write the memo. Reading delivers each
// line that ended with a hard return with CR LF, and soft-wrapped pieces without,
// so a wrapped paragraph reads as one line. Rewrite starts a new memo (the old one
// stays until the record is replaced); Append continues after the last line.
// Closing a file written to stores its lines as the memo: the current record's
// field takes the memo's block (the caller replaces the record), which
// MemoTextBlock also answers. Each file has its own lines, so two memo texts can
// be open at once.
//
// Written text counts in lines of at most 254 characters (a longer one counts as
// several, and is stored whole). The line that would pass MaxLines fails with 101,
// as does every later write and the close, which then stores nothing: the field
// keeps its memo. Reading delivers every line of a memo. Device answers: 8 no room
// for the lines, 100 the memo unreadable, 102 a device step on a file neither
// open for input nor for output, 104 one on a file the device never opened.
void AssignMemo(rtl::TTextRec& file, int field);
std::int32_t MemoTextBlock(const rtl::TTextRec& file);

// ---- blob streams -----------------------------------------------------------------

constexpr int kBlobRead = 1, kBlobWrite = 2;

// Starts a stream over the memo at `block` of the current area. Read: the memo's
// bytes. Write: the bytes written replace the memo when the descriptor is
// destroyed; a known `size` (above 0) must fit in the free space of the memo
// file's drive (else 1004, before anything is written). With `translate`, text
// (decided by the first bytes) is converted between OEM and ANSI. Returns the
// memo's block (negated for a dBASE III file), or 0 when there is nothing to read
// or after a reported failure.
std::int32_t CreateBlobDescriptor(bool translate, std::int32_t block, int mode, std::int64_t size = 0);
std::int64_t ReadBlobStream(void* buffer, std::int64_t count);
std::int64_t WriteBlobStream(const void* buffer, std::int64_t count);
// origin 0 start, 1 current, 2 end; a negative result is 0.
std::int64_t SeekBlobStream(std::int64_t offset, int origin);
std::int64_t BlobStreamSize();
// Ends the stream; for a write stream returns the memo's block (0 when nothing was
// written, which leaves the field without a memo).
std::int32_t DestroyBlobDescriptor();

}  // namespace xf
