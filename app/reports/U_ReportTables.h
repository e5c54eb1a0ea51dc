#pragma once
// The two tables a custom report lives in (its row in Reports, its columns in
// Report_Detail), open on the log folder. Changes to both go in one
// transaction, and so through these tables: the engine takes no SQL writes
// inside a transaction.

#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "dbaccess/edstable.h"

struct TReportTables {
    TReportTables()
    {
        reports.SetDatabaseName(gLogDB);
        reports.SetTableName(kReportsTable);
        detail.SetDatabaseName(gLogDB);
        detail.SetTableName(kReportDetailTable);
        reports.Open();
        detail.Open();
    }

    TEdsTable reports;
    TEdsTable detail;
};
