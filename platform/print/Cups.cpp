#include "platform/print/Cups.h"

#include <cups/cups.h>

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

}  // namespace print
