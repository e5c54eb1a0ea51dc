#pragma once
// The CUPS print queues of this machine (or of the server CUPS_SERVER names).

#include <string>
#include <utility>
#include <vector>

namespace print {

// Names of the installed print queues (instances as "queue/instance"), as CUPS
// lists them; empty when CUPS has none or cannot be reached.
std::vector<std::string> PrinterNames();

// The queue CUPS prints to by default (the user's lpoptions included); empty
// when there is none.
std::string DefaultPrinterName();

// The paper trays (IPP "media-source" keywords such as "tray-2") the queue
// offers, in its own order; empty when it offers no choice or cannot be asked.
std::vector<std::string> PaperTrays(const std::string& printerName);

// Why a job sent to the queue now would not print: the queue is paused or
// does not accept jobs (with the reason the printer gives, if any). Empty when
// nothing stands in the way, or when the queue cannot be asked (sending the
// job then reports the failure).
std::string QueueRefusal(const std::string& printerName);

// Sends `file` to the queue as one job with the options (an instance's saved
// options underneath) and returns the job's id. Raises EPrintError when the
// spooler does not take the job.
int SubmitJob(const std::string& printerName, const std::string& file, const std::string& title,
              const std::vector<std::pair<std::string, std::string>>& options);

}  // namespace print
