// The main window's returned-receipt command, which the log window's button
// reaches too.

#include "app/main/U_Main.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_dmSendoPro.h"
#include "app/receipts/U_IncomingMailers.h"
#include "platform/ui/MessageService.h"

#include <exception>

bool TF_Main::ShowIncomingMailers(QWidget* parent)
{
    try {
        TF_IncomingMailers dialog(DataModule(), parent);
        return dialog.exec() == ui::mrOk;
    } catch (const std::exception& e) {
        ShowFailure("The returned receipts could not be opened.", e);
        return false;
    }
}

void TF_Main::miTrackIncomingMailersClick() { ShowIncomingMailers(this); }
