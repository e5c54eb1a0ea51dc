#include "app/dialogs/U_ChoiceDialog.h"

#include "platform/ui/MessageService.h"

int ShowChoiceDialog(const std::string& Caption, const std::string& Message,
                     const std::vector<std::string>& Buttons)
{
    return ui::ShowChoice(Caption, Message, Buttons);
}
