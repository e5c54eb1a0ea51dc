#pragma once
// The log window: the mail log in a read-only grid (oldest first) with the
// details of the current row beside it, and the commands that find, edit and
// delete rows. It runs the data module's edsqLog over the log folder and
// writes through edsqLog2, so the grid keeps its cursor; both are closed when
// the window goes.
//
// A restriction (the log filters) plugs in as an SQL condition: the grid
// shows only its rows and "Delete All Records" deletes exactly those.

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

class QAction;
class TdmSendoPro;
class TDataSetGridModel;

namespace Ui {
class TF_Log;
}

// Opens the returned-receipt dialog modally; true after OK. Whoever owns that
// dialog sets it (the main window); unset, the button is disabled.
extern std::function<bool(QWidget* parent)> gShowIncomingMailers;

class TF_Log : public QDialog {
    Q_OBJECT

public:
    // Opens the log of gLogDB; a log that cannot be opened is shown as an
    // error and the window opens empty.
    explicit TF_Log(TdmSendoPro& dm, QWidget* parent = nullptr);
    ~TF_Log() override;

    // (Re)opens the log from its first row, with the restriction applied.
    void OpenLog();
    // Runs the log's query again and stands on the same row position (or the
    // last row when fewer are left), as after an edit or a deletion.
    void RefreshLog();
    // Shows only the rows meeting `where` (SQL over Log37; empty: all rows)
    // and opens the log again.
    void SetFilterWhere(const std::string& where);
    const std::string& FilterWhere() const { return filterWhere_; }

    // Walks from the current row to the next one matching gSingleEditText as
    // gFindMailerType says: "1" a mailer number, "2" a part of the addressee's
    // name. A number hit opens the editor on it.
    void FindMailer();

    void btnDeleteRecordClick();
    void btnDeleteAllRecordsClick();
    void btnEditMailerClick();
    void btnFindMailerClick();
    void btnChangeLogDBClick();
    void Button1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs the log's query and stands on row `row` (from 0, clamped).
    void RunLogQuery(int row);
    // Grid, panel and record commands follow whether the log has rows.
    void UpdateRecordState();
    void ShowDetails();
    void SelectCurrentRow();
    void GridRowChanged(int row);
    void ShowLogFileName();
    // Runs a statement through edsqLog2 on the log folder.
    void ExecuteOnLog(const std::string& sql);
    void CloseQueries() noexcept;

    TdmSendoPro& dm_;
    const std::unique_ptr<Ui::TF_Log> ui;
    TDataSetGridModel* model_ = nullptr;  // the window owns it as a child
    std::string filterWhere_;
    bool syncing_ = false;
    QAction* miFindMailer = nullptr;
    QAction* miEditMailer = nullptr;
    QAction* miDeleteRecord = nullptr;
    QAction* miDeleteAllRecords = nullptr;
};
