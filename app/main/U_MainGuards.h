#pragma once
// Guards the main window's commands share.

#include "app/data/U_dmSendoPro.h"
#include "dbaccess/edstable.h"

// Closes a table on every path and, for MailerNum, gives up exclusive use. A
// failure while closing is swallowed: the error that is already on its way
// (or the work that succeeded) matters more, and the next use closes again.
class TCloseTableGuard {
public:
    TCloseTableGuard(TEdsTable& table, bool releaseExclusive) : table_(table), release_(releaseExclusive) {}
    ~TCloseTableGuard();
    TCloseTableGuard(const TCloseTableGuard&) = delete;
    TCloseTableGuard& operator=(const TCloseTableGuard&) = delete;

private:
    TEdsTable& table_;
    bool release_;
};
