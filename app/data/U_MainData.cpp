#include "app/data/U_MainData.h"

#include "app/data/FailureMessage.h"
#include "app/data/ShippedFiles.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"

#include <utility>

namespace {

// Without the data module: no tables to create or read.
class TNoTables final : public TMainData {
public:
    void EnsureTable(const std::string&, const std::string&) override {}
    std::optional<TSenderAddress> ReadYourAddress(const std::string&, int) override { return std::nullopt; }
    std::optional<std::string> ReadCustID(const std::string&) override { return std::nullopt; }
    std::optional<TZipPlace> LookupZip(const std::string&, const std::string&) override
    {
        throw rtl::Exception("Table ZIPCODES is not available.");
    }
    void CloseAllTables() override {}
};

bool& ZipLookupTold()
{
    static bool told = false;
    return told;
}

std::unique_ptr<TMainData>& Current()
{
    static std::unique_ptr<TMainData> current = std::make_unique<TNoTables>();
    return current;
}

}  // namespace

TMainData& MainData() { return *Current(); }

std::unique_ptr<TMainData> SetMainData(std::unique_ptr<TMainData> data)
{
    if (!data) data = std::make_unique<TNoTables>();
    return std::exchange(Current(), std::move(data));
}

std::optional<TZipPlace> LookupShippedZip(const std::string& zip5)
{
    const std::optional<std::string> table = FindShippedFile(kZipCodesTableFile);
    if (table) {
        try {
            return MainData().LookupZip(rtl::ExtractFileDir(*table), zip5);
        } catch (const std::exception& e) {
            if (!std::exchange(ZipLookupTold(), true))
                ShowFailure("The ZIP code lookup is unavailable: the ZIP code table " + *table +
                                " could not be read. City and state are not filled in from the ZIP code in this "
                                "session.",
                            e);
            return std::nullopt;
        }
    }
    if (!std::exchange(ZipLookupTold(), true)) {
        std::string places;
        for (const std::string& folder : ShippedFolders()) places += "\r    " + folder;
        ui::ShowInformation(std::string("The ZIP code lookup is unavailable: the ZIP code table ") + kZipCodesTableFile +
                            " is not installed. City and state are not filled in from the ZIP code.\r\r"
                            "It was looked for in:" + places +
                            "\r\rA build makes it with \"cmake --build build --target zipcodes\" (once, with the "
                            "network), and \"cmake --install\" installs it.");
    }
    return std::nullopt;
}

void ForgetZipLookupNotice() { ZipLookupTold() = false; }
