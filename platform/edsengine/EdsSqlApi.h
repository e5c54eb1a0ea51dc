#pragma once
// SQL statement handles, for the entry points that take a statement as well as
// a table (EdsGetRecordCount, EdsGetLastAutoinc, EdsSetEmpty): each answers true
// when the handle is a statement and it has handled the call.
//
// REQUIRES: the engine lock (called from inside an entry point's body).

#include "platform/edsengine/eds.h"

namespace eds {

// Closes the SQL session of a connection that goes (its SQLite connection, with
// the files attached and their locks).
void CloseSqlSession(EDSHANDLE connection);

// Rows the statement's last execution affected; EDS_E_NO_ROWS_AFFECTED when
// that is not known (a SELECT, or nothing executed yet).
bool SqlStatementRecordCount(EDSHANDLE handle, UNSIGNED32* count);
bool SqlStatementLastAutoinc(EDSHANDLE handle, UNSIGNED32* autoinc);
bool SqlStatementSetEmpty(EDSHANDLE handle, const EdsFieldId& parameter);

}  // namespace eds
