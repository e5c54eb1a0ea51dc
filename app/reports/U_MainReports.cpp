// The main window's report command: the reports over the whole log.

#include "app/main/U_Main.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoPro.h"
#include "app/reports/U_Report.h"
#include "platform/ui/MessageService.h"

#include <exception>

void TF_Main::ShowReports(QWidget* parent)
{
    try {
        TF_Report dialog(DataModule(), parent);
        dialog.exec();
    } catch (const std::exception& e) {
        ShowFailure("The reports could not be opened.", e);
    }
}

void TF_Main::miReportClick()
{
    TdmSendoPro& dm = DataModule();
    try {
        dm.edsqLog->Close();
        dm.edsqLog->SetDatabaseName(gLogDB);
        dm.edsqLog->SetSQLText("select * from Log37 order by DATETIME");
        dm.edsqLog->Open();
        if (dm.edsqLog->Eof())
            ui::ShowError("No records available for report.");
        else
            ShowReports(this);
    } catch (const std::exception& e) {
        ShowFailure("The log could not be read for a report.", e);
    }
    for (TEdsQuery* query : {dm.edsqLog.get(), dm.edsqLog2.get()}) {
        try {
            query->Close();
        } catch (const std::exception&) {
            // Nothing is left to free on a query whose connection went.
        }
    }
}
