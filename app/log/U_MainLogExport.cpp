// The main window's log export (Utilities, Text Files, Log File).

#include "app/main/U_Main.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_Globals.h"
#include "app/data/U_Settings.h"
#include "app/data/U_TextFile.h"
#include "app/data/U_dmSendoPro.h"
#include "app/dialogs/U_FileDialogs.h"
#include "app/log/U_LogExport.h"
#include "platform/ui/MessageService.h"
#include "platform/ui/WaitCursor.h"

void TF_Main::miLogExportClick()
{
    const std::string file = AskExportFileName(this);
    if (file.empty()) return;
    TTextExportResult result;
    try {
        ui::WaitCursor hourglass;
        result = ExportLog(*DataModule().edsqLog, gLogDB, file);
    } catch (const std::exception& e) {
        ShowFailure("The log could not be exported to \"" + file + "\".", e);
        return;
    }
    ui::ShowInformation(ExportCompletedText(file, result.Replaced));
}
