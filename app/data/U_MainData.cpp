#include "app/data/U_MainData.h"

#include "app/data/FailureMessage.h"
#include "app/data/ShippedFiles.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

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

void StartLogIfMissing(const std::string& folder, bool* toldInRun)
{
    if (TdmSendoPro::TableExists(folder, kLogTable)) return;
    if (!rtl::ForceDirectories(folder)) throw rtl::Exception("Cannot create folder " + folder + ".");
    MainData().EnsureTable(folder, kLogTable);
    if (toldInRun != nullptr && std::exchange(*toldInRun, true)) return;
    ui::ShowWarning("The mail log was not found in its folder " + folder +
                    ", so a new log was started there. The mailers from now on are logged in it.\r\r"
                    "If the log was not removed on purpose, the folder may be on a drive that is not connected "
                    "just now: the mailers logged before are in the log that was not found.");
}
