#pragma once
// The index semaphore: a small companion file per table (".@S@") through which the
// programs sharing a table's index count its users, let readers run side by side,
// give one writer the index to itself and tell each other that it changed.
//
// The file holds one 4-byte record, kept for other programs that read it: users
// (byte 0), readers (byte 1, 1 while a writer is inside) and a change counter
// (bytes 2..3, little-endian, wrapping at 65536) that every write section raises.
// Bytes 1..4 are the lock region under which the record is read and written; a
// writer holds it for its whole section.
//
// Who is inside is decided by open-file-description locks, not by the counts: a
// logged-in area holds a shared lock on one reserved byte, a reader a shared lock
// on another and the writer an exclusive lock on that one. They vanish with the
// process, so a program that dies inside a section blocks nobody, and the file is
// erased at logout only when no other open holds it. Stale counts left in the
// record are put right by the next login that finds itself alone.
//
// Everything acts on the current work area and is skipped for a table that is
// not shared (exclusive, or network mode off). One thread.

#include <cstdint>
#include <string>
#include <string_view>

namespace xf {

// `HandleSemafore` actions.
enum TSemaphoreAction : int {
    saLogin = 0,
    saLogout = 1,
    saIncRead = 2,
    saDecRead = 3,
    saLockSemaphore = 4,
    saUnlockSemaphore = 5,
};

struct TXfSemaphoreSettings {
    // Seconds a writer waits for the readers to leave; 0: without limit.
    std::uint16_t SemaphoreTimeout = 100;
    // When not empty, every semaphore file lies in this folder.
    std::string SemaphoreFolder;
};
TXfSemaphoreSettings& XfSemaphoreSettings();

// "LOGIN", "LOGOUT", "INCREAD", "DECREAD", "LOCKSEMAPHORE", "UNLOCKSEMAPHORE"; "" for others.
std::string_view SemaphoreActionName(int action);

// The table's file name with the extension ".@S@", in the semaphore folder when one is set.
std::string SemaphoreFileName(std::string_view tableFileName);

// One action for the current area. Actions other than LOGIN do nothing while the
// area is not logged in; numbers above 5 do nothing.
void HandleSemafore(int action);

// Nested read and write sections: only the outermost level touches the file.
// Leaving more often than entering raises 254. An entry that fails leaves the
// nesting as it was, so a retry really waits again.
void SetReadSemaphoreProc(bool enter);
void SetLockSemaphoreProc(bool enter);

// True once after another program finished a write section since this area last
// looked (the caller re-reads its tag headers); never for the area's own writes.
bool IndexChanged();

// The lock region of the current area's semaphore, waited for up to 10 seconds.
bool LockSemaphoreRegion(std::string_view action);
void UnlockSemaphoreRegion(std::string_view action);

// Reports that a writer gave up waiting for the readers (code 1202).
void SemaphoreTimeoutError();

// Whether the current area is logged in to its table's semaphore.
bool SemaphoreLoggedIn();

// The table of the current area is closing: a login the index layer left open is
// ended quietly (errors deferred), so the next table in the area starts afresh.
void LeaveSemaphoreOnClose();

}  // namespace xf
