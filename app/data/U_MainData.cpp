#include "app/data/U_MainData.h"

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
