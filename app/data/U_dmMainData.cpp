#include "app/data/U_dmMainData.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include <exception>

namespace {

// Closes a dataset when the reading is done, also on failure.
struct CloseAfter {
    db::TDataSet& dataSet;
    ~CloseAfter()
    {
        try {
            dataSet.Close();
        } catch (...) {
            // What was read stands; the next user closes it again before use.
        }
    }
};

std::string Text(db::TDataSet& dataSet, const char* field) { return dataSet.FieldByName(field)->AsString(); }

}  // namespace

void TdmMainData::EnsureTable(const std::string& folder, const std::string& tableName)
{
    module_.EnsureTable(folder, tableName);
}

std::optional<TSenderAddress> TdmMainData::ReadYourAddress(const std::string& folder, int id)
{
    TEdsQuery& query = *module_.edsqYourAddress;
    query.Close();
    query.SetDatabaseName(folder);
    query.SetSQLText("select * from YourAddress where A_ID = " + std::to_string(id));
    query.Open();
    CloseAfter closer{query};
    if (query.IsEmpty()) return std::nullopt;
    return TSenderAddress{Text(query, "Address1"), Text(query, "Address2"), Text(query, "Address3"),
                          Text(query, "Address4"), Text(query, "City"),     Text(query, "State"),
                          Text(query, "Zip")};
}

std::optional<std::string> TdmMainData::ReadCustID(const std::string& folder)
{
    if (!TdmSendoPro::TableExists(folder, kMailerNumTable)) return std::nullopt;
    TEdsTable& table = *module_.edstMailerNum;
    table.Close();
    table.SetDatabaseName(folder);
    table.SetTableName(kMailerNumTable);
    table.Open();
    CloseAfter closer{table};
    table.First();
    if (table.Eof()) return std::nullopt;
    return Text(table, "CustID");
}

std::optional<TZipPlace> TdmMainData::LookupZip(const std::string& folder, const std::string& zip5)
{
    TEdsQuery& query = *module_.edsqZipCodes;
    query.Close();
    query.SetDatabaseName(folder);
    query.SetSQLText("select * from ZIPCODES where ZIP = " + rtl::QuotedStr(zip5));
    query.Open();
    CloseAfter closer{query};
    if (query.IsEmpty()) return std::nullopt;
    return TZipPlace{Text(query, "City"), Text(query, "State")};
}

void TdmMainData::CloseAllTables() { module_.CloseAllTables(); }

TInstalledDataModule::TInstalledDataModule(const std::string& ProgramFolder)
    : module_(std::make_unique<TdmSendoPro>())
{
    // A first start makes the folder; one that cannot be written is told
    // once, here, and the steps that would write there stand aside.
    const std::string problem = ProgramFolderProblem(ProgramFolder);
    gProgramFolderWritable = problem.empty();
    if (!gProgramFolderWritable) ShowProgramFolderNotWritable(ProgramFolder, problem);
    try {
        module_->SetProgramFolder(ProgramFolder);
    } catch (const std::exception& e) {
        if (gProgramFolderWritable) ShowFailure("The program cannot reach its data folder " + ProgramFolder + ".", e);
    }
    dmSendoPro = module_.get();
    SetMainData(std::make_unique<TdmMainData>(*module_));
}

TInstalledDataModule::~TInstalledDataModule()
{
    gProgramFolderWritable = true;
    SetMainData(nullptr);
    dmSendoPro = nullptr;
}
