#pragma once
// The CUPS print queues of this machine.

#include <string>
#include <vector>

namespace print {

// Names of the installed print queues (instances as "queue/instance"), as CUPS
// lists them; empty when CUPS has none or cannot be reached.
std::vector<std::string> PrinterNames();

// The queue CUPS prints to by default (the user's lpoptions included); empty
// when there is none.
std::string DefaultPrinterName();

}  // namespace print
