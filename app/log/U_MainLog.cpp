// The main window's log command.

#include "app/main/U_Main.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_dmSendoPro.h"
#include "app/log/U_Log.h"
#include "platform/ui/MessageService.h"

#include <exception>

void TF_Main::miLogFileClick()
{
    try {
        TF_Log log(DataModule(), this);
        // The failure was told; an empty window would pass for an emptied log.
        if (log.Opened()) log.exec();
    } catch (const std::exception& e) {
        ShowFailure("The log could not be opened.", e);
    }
}
