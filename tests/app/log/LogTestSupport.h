#pragma once
// Helpers of the log-window and returned-receipt tests: a program folder with
// the real data module and an empty log, rows put into it through the log
// table, rows read back with the sqlite3 tool, and answering the modal dialog
// of a given title.

#include "app/data/U_Globals.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "dbaccess/edstable.h"
#include "platform/rtl/DateUtils.h"
#include "tests/app/main/MainTestSupport.h"
#include "tests/e2e/E2ESupport.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace logtest {

class LogFixture : public maintest::MainFixture {
protected:
    LogFixture()
    {
        std::filesystem::create_directories(gLogDB);
        dataModule = std::make_unique<TInstalledDataModule>(home.str());
        dm().EnsureTable(gLogDB, "Log37");
        messages.Clear();
    }
    ~LogFixture() override { dataModule.reset(); }

    // The tests read the log back with the sqlite3 tool.
    void SetUp() override { REQUIRE_TOOLS("sqlite3"); }

    TdmSendoPro& dm() const { return dataModule->Module(); }
    std::filesystem::path LogFile() const { return std::filesystem::path(gLogDB) / "Log37.edt"; }

    // Appends a log row: the fields given, Result "None" unless given; the
    // row's DateTime is `minute` minutes into a day, so rows sort as added
    // when their minutes rise. Returns its LID.
    std::string AddRow(int minute, const std::map<std::string, std::string>& fields)
    {
        TEdsTable& log = *dm().edstLog;
        log.Close();
        log.SetDatabaseName(gLogDB);
        log.Open();
        log.Append();
        log.FieldByName("DateTime")->SetAsDateTime(rtl::EncodeDate(2026, 3, 2) + minute / 1440.0);
        log.FieldByName("Result")->SetAsString("None");
        log.FieldByName("Batch")->SetAsBoolean(false);
        for (const auto& [name, value] : fields) {
            if (name == "WishRest")
                log.FieldByName(name)->SetAsBoolean(value == "1");
            else
                log.FieldByName(name)->SetAsString(value);
        }
        log.Post();
        const std::string lid = log.FieldByName("LID")->AsString();
        log.Close();
        return lid;
    }

    // Lines of a query over the log through the sqlite3 tool ("|" between columns).
    std::vector<std::string> Sql(const std::string& query) const { return e2e::SqlRows(LogFile(), query); }

    std::vector<std::string> Texts(ui::MsgKind kind) const
    {
        std::vector<std::string> out;
        for (const ui::MessageRequest& r : messages.Shown())
            if (r.kind == kind) out.push_back(r.text);
        return out;
    }

    std::unique_ptr<TInstalledDataModule> dataModule;
};

// Runs `answer` on the modal dialog titled `title` as soon as it is the active
// one. Fails the test when none opens within a few hundred turns. A dialog the
// answer leaves open (it refused what it was given) fails the test and is
// closed, so the command waiting on it returns instead of waiting for good.
inline void WhenDialog(const QString& title, std::function<void(QWidget&)> answer, int turnsLeft = 400)
{
    QTimer::singleShot(1, [title, answer = std::move(answer), turnsLeft]() mutable {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog != nullptr && dialog->windowTitle() == title && dialog->isVisible()) {
            const QPointer<QWidget> answered(dialog);
            answer(*dialog);
            if (answered != nullptr && answered->isVisible()) {
                ADD_FAILURE() << "the dialog " << title.toStdString() << " stayed open";
                if (auto* modal = qobject_cast<QDialog*>(answered.data()))
                    modal->reject();
                else
                    answered->close();
            }
        } else if (turnsLeft > 0) {
            WhenDialog(title, std::move(answer), turnsLeft - 1);
        } else {
            ADD_FAILURE() << "no dialog " << title.toStdString() << " opened";
        }
    });
}

using maintest::Find;

}  // namespace logtest
