#pragma once
// The main window's data over the program's data module, and the start-up
// step that makes the module and installs it.

#include "app/data/U_MainData.h"

#include <memory>
#include <string>

class TdmSendoPro;

class TdmMainData final : public TMainData {
public:
    // Does not own the module; it must outlive this object.
    explicit TdmMainData(TdmSendoPro& Module) : module_(Module) {}

    void EnsureTable(const std::string& folder, const std::string& tableName) override;
    std::optional<TSenderAddress> ReadYourAddress(const std::string& folder, int id) override;
    std::optional<std::string> ReadCustID(const std::string& folder) override;
    std::optional<TZipPlace> LookupZip(const std::string& folder, const std::string& zip5) override;
    void CloseAllTables() override;

private:
    TdmSendoPro& module_;
};

// The program's data module from start-up to the end: made for the program
// folder, reachable as dmSendoPro and installed as the main window's data
// while this object lives.
class TInstalledDataModule {
public:
    // Makes the program folder when missing. A folder that cannot be
    // written is told once (gProgramFolderWritable turns false); otherwise a
    // connection the engine refuses is told. The tables reach their folders
    // without the connection.
    explicit TInstalledDataModule(const std::string& ProgramFolder);
    ~TInstalledDataModule();
    TInstalledDataModule(const TInstalledDataModule&) = delete;
    TInstalledDataModule& operator=(const TInstalledDataModule&) = delete;

    TdmSendoPro& Module() const { return *module_; }

private:
    std::unique_ptr<TdmSendoPro> module_;
};
