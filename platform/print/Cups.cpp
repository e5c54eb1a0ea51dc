#include "platform/print/Cups.h"

#include "platform/print/PrintDevice.h"

#include <cups/cups.h>

#include <memory>

namespace print {

namespace {

// The destination list, freed on every path.
class Destinations {
public:
    Destinations() { count_ = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests_); }
    ~Destinations() { cupsFreeDests(count_, dests_); }
    Destinations(const Destinations&) = delete;
    Destinations& operator=(const Destinations&) = delete;

    int Count() const { return count_; }
    const cups_dest_t& At(int i) const { return dests_[i]; }

private:
    cups_dest_t* dests_ = nullptr;
    int count_ = 0;
};

std::string NameOf(const cups_dest_t& dest)
{
    std::string name = dest.name != nullptr ? dest.name : "";
    if (dest.instance != nullptr)
        name += std::string("/") + dest.instance;
    return name;
}

struct DestDeleter {
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
using DestPtr = std::unique_ptr<cups_dest_t, DestDeleter>;

// The queue of "queue/instance" with the instance's saved options; null when
// CUPS does not know it.
DestPtr NamedDest(const std::string& printerName)
{
    std::string queue = printerName, instance;
    if (const std::size_t slash = queue.find('/'); slash != std::string::npos) {
        instance = queue.substr(slash + 1);
        queue.resize(slash);
    }
    return DestPtr(cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.c_str(), instance.empty() ? nullptr : instance.c_str()));
}

std::string LastCupsError()
{
    std::string text = cupsLastErrorString() != nullptr ? cupsLastErrorString() : "";
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text.empty() ? "no answer from the print server" : text;
}

}  // namespace

std::vector<std::string> PrinterNames()
{
    Destinations dests;
    std::vector<std::string> names;
    for (int i = 0; i < dests.Count(); ++i)
        names.push_back(NameOf(dests.At(i)));
    return names;
}

std::string DefaultPrinterName()
{
    Destinations dests;
    for (int i = 0; i < dests.Count(); ++i)
        if (dests.At(i).is_default)
            return NameOf(dests.At(i));
    return {};
}

std::vector<std::string> PaperTrays(const std::string& printerName)
{
    std::vector<std::string> trays;
    if (printerName.empty())
        return trays;
    const DestPtr dest = NamedDest(printerName);
    if (!dest)
        return trays;
    if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest.get())) {
        if (ipp_attribute_t* attr = cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest.get(), info, CUPS_MEDIA_SOURCE)) {
            for (int i = 0; i < ippGetCount(attr); ++i)
                if (const char* value = ippGetString(attr, i, nullptr))
                    trays.emplace_back(value);
        }
        cupsFreeDestInfo(info);
    }
    return trays;
}

std::string QueueRefusal(const std::string& printerName)
{
    const DestPtr dest = NamedDest(printerName);
    const char* uri = dest ? cupsGetOption("printer-uri-supported", dest->num_options, dest->options) : nullptr;
    if (uri == nullptr)
        return {};
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    static const char* const wanted[] = {"printer-state", "printer-is-accepting-jobs", "printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    if (response == nullptr)
        return {};
    ipp_attribute_t* state = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM);
    ipp_attribute_t* accepting = ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    ipp_attribute_t* message = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT);
    const std::string reason = message != nullptr && ippGetString(message, 0, nullptr) != nullptr
                                   ? ippGetString(message, 0, nullptr)
                                   : "";
    const std::string because = reason.empty() ? "" : " (" + reason + ")";
    std::string refusal;
    if (state != nullptr && ippGetInteger(state, 0) == IPP_PSTATE_STOPPED)
        refusal = "The printer \"" + printerName + "\" is paused" + because +
                  "; resume it in the system's printer settings.";
    else if (accepting != nullptr && !ippGetBoolean(accepting, 0))
        refusal = "The printer \"" + printerName + "\" is not accepting jobs" + because +
                  "; let it accept jobs again in the system's printer settings.";
    ippDelete(response);
    return refusal;
}

int SubmitJob(const std::string& printerName, const std::string& file, const std::string& title,
              const std::vector<std::pair<std::string, std::string>>& options)
{
    const DestPtr dest = NamedDest(printerName);
    if (!dest)
        throw EPrintError("The printer \"" + printerName + "\" did not take the job: " + LastCupsError() + ".");
    int count = 0;
    cups_option_t* all = nullptr;
    for (const auto& [name, value] : options)
        count = cupsAddOption(name.c_str(), value.c_str(), count, &all);
    for (int i = 0; i < dest->num_options; ++i)
        if (cupsGetOption(dest->options[i].name, count, all) == nullptr)
            count = cupsAddOption(dest->options[i].name, dest->options[i].value, count, &all);
    const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, dest->name, file.c_str(), title.c_str(), count, all);
    cupsFreeOptions(count, all);
    if (job == 0)
        throw EPrintError("The printer \"" + printerName + "\" did not take the job: " + LastCupsError() + ".");
    return job;
}

}  // namespace print
