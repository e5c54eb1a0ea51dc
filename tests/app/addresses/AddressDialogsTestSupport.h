#pragma once
// Helpers of the address-dialog tests: a fresh program folder with the real
// data module on it, scripted message boxes, and answering a modal dialog
// that the code under test is about to open.

#include "app/data/U_Globals.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "tests/app/main/MainTestSupport.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace addrtest {

class AddressDialogsFixture : public maintest::MainFixture {
protected:
    AddressDialogsFixture()
    {
        for (std::string* value : {&gEditAddress1, &gEditAddress2, &gEditAddress3, &gEditAddress4, &gEditAddress5,
                                   &gEditCity, &gEditState, &gEditZip, &gYourAddress1, &gYourAddress2,
                                   &gYourAddress3, &gYourAddress4, &gYourCity, &gYourState, &gYourZip})
            value->clear();
        // The folders a first start makes.
        for (const std::string& folder : {gYourAddressDB, gLogDB, gMailerNumDB})
            std::filesystem::create_directories(folder);
        dataModule = std::make_unique<TInstalledDataModule>(home.str());
        messages.Clear();
    }
    ~AddressDialogsFixture() override { dataModule.reset(); }

    TdmSendoPro& dm() const { return dataModule->Module(); }

    // Rows of a table as "field|field|..." lines, read through a fresh query.
    std::vector<std::string> Rows(const std::string& folder, const std::string& sql,
                                  const std::vector<std::string>& fields) const
    {
        TEdsQuery& query = *dm().edsqToAddress;
        query.Close();
        query.SetDatabaseName(folder);
        query.SetSQLText(sql);
        query.Open();
        std::vector<std::string> rows;
        for (query.First(); !query.Eof(); query.Next()) {
            std::string row;
            for (const std::string& field : fields)
                row += (row.empty() ? "" : "|") + query.FieldByName(field)->AsString();
            rows.push_back(row);
        }
        query.Close();
        return rows;
    }

    std::unique_ptr<TInstalledDataModule> dataModule;
};

// Runs `answer` on the modal dialog that opens next, once the event loop
// turns inside its exec. Fails the test when none opens within a few turns.
inline void WhenModal(std::function<void(QWidget&)> answer, int turnsLeft = 50)
{
    QTimer::singleShot(0, [answer = std::move(answer), turnsLeft]() mutable {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog != nullptr) {
            answer(*dialog);
        } else if (turnsLeft > 0) {
            WhenModal(std::move(answer), turnsLeft - 1);
        } else {
            ADD_FAILURE() << "no modal dialog opened";
        }
    });
}

using maintest::Find;

}  // namespace addrtest
