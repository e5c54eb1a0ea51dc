#pragma once
// The log window: the mail log in a read-only grid (oldest first) with the
// details of the current row beside it, and the commands that find, edit and
// delete rows. It runs the data module's edsqLog over the log folder and
// writes through edsqLog2, so the grid keeps its cursor; both are closed when
// the window goes.
//
// The saved filters (LogFilters and LogFiltersDetail beside the log) are
// listed beside the grid. Setting one restricts the log by the SQL condition
// its lines make: the grid shows only its rows, "Delete All Records" deletes
// exactly those, and the reports print them (FilterWhere).

#include <QDialog>

#include "app/data/U_Records.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class TdmSendoPro;
class TDataSetGridModel;

namespace Ui {
class TF_Log;
}

// Opens the returned-receipt dialog modally; true after OK. Whoever owns that
// dialog sets it (the main window); unset, the button is disabled.
extern std::function<bool(QWidget* parent)> gShowIncomingMailers;
// Opens the reports dialog over edsqLog as it stands; set by the main window.
extern std::function<void(QWidget* parent)> gShowReports;

class TF_Log : public QDialog {
    Q_OBJECT

public:
    // Opens the log of gLogDB; a log or filter list that cannot be read is
    // shown as an error, and Opened() then answers false.
    explicit TF_Log(TdmSendoPro& dm, QWidget* parent = nullptr);
    ~TF_Log() override;

    // Whether the log and its saved filters were read when the window was
    // made. A window without them would pass for an emptied log: whoever
    // opens it shows it only when this is true.
    bool Opened() const { return opened_; }

    // (Re)opens the log from its first row, with the restriction applied, and
    // lists the saved filters of the log folder with none selected; false,
    // with the failure shown, when either could not be read.
    bool OpenLog();
    // Runs the log's query again and stands on the same row position (or the
    // last row when fewer are left), as after an edit or a deletion.
    void RefreshLog();
    // Shows only the rows meeting `where` (SQL over Log37; empty: all rows)
    // from the first row; false, with the failure shown, when the log could
    // not be read so.
    bool SetFilterWhere(const std::string& where);
    // The condition of the filter applied now, as it follows "where" in a
    // statement over Log37; empty while the whole log shows. The grid's
    // query is "select * from Log37 where " + FilterWhere() + " order by
    // DATETIME", so a report over these rows prints what the grid shows.
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
    // The reports over the rows shown, filtered or not.
    void btnReportClick();

    // The saved filters.
    void btnNewFilterClick();
    void btnDeleteFilterClick();
    // "Set Filter" applies the selected filter, "Undo Filter" shows all rows again.
    void btnSetFilterClick();
    void lvFiltersSelectItem();
    void lvFilterDetailsSelectItem();
    void btnAddFilterLineClick();
    void btnEditFilterLineClick();
    void btnDeleteFilterLineClick();
    void cbCombinationChange();
    void EnableFilterButtons();
    void DisableFilterButtons();
    void EnableFilterLineButtons();
    void DisableFilterLineButtons();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs the log's query over gLogDB and stands on row `row` (from 0,
    // clamped). Raises when it could not run; the grid is then empty and the
    // record commands are off.
    void QueryLog(int row);
    // QueryLog; false, with `whatFailed` shown, when it could not run.
    bool RunLogQuery(int row, const char* whatFailed = "The log could not be opened.");
    // The grid's current row, from 0 (0 while the log shows no rows).
    int CurrentRow() const;
    // Grid, panel and record commands follow whether the log has rows.
    void UpdateRecordState();
    void ShowDetails();
    void SelectCurrentRow();
    void GridRowChanged(int row);
    void ShowLogFileName();
    // Runs a statement through edsqLog2 on the log folder.
    void ExecuteOnLog(const std::string& sql);
    void CloseQueries() noexcept;
    void SetColumnWidths();
    // A pop-up menu command named `name` that runs `handler`; the window owns it.
    QAction* Command(const char* name, const char* caption, void (TF_Log::*handler)());

    struct TSavedFilter {
        std::string FilterName;
        TFilterRec Rec;
    };
    void SetUpFilterControls();
    // The saved filters of the log folder; raises when they cannot be read.
    std::vector<TSavedFilter> ReadFilters();
    // Lists `filters` in place of the shown ones, none selected.
    void ShowFilters(std::vector<TSavedFilter> filters);
    // Lists the saved filters anew, none selected; false with the failure
    // shown (the list then stays as it was).
    bool LoadFilters();
    // The one selected filter, or null.
    TSavedFilter* SelectedFilter();
    // Reads the selected filter's lines into the line list.
    void LoadFilterLines(const TSavedFilter& filter);
    // Opens TF_Filter on the exchange strings (`before`, or empty for a new
    // line) and stores the line it returns in the selected filter.
    void EditFilterLine(const TFilterLineRec* before);
    bool FilterApplied() const { return !filterWhere_.empty(); }
    // Back to the whole log with the filter controls usable again.
    void UndoFilter();
    // The Set/Undo captions and the controls a set filter locks.
    void ShowFilterApplied(bool applied);

    TdmSendoPro& dm_;
    const std::unique_ptr<Ui::TF_Log> ui;
    TDataSetGridModel* model_ = nullptr;  // the window owns it as a child
    std::string filterWhere_;
    bool opened_ = false;
    std::vector<TSavedFilter> filters_;   // in the order of lvFilters
    std::vector<TFilterLineRec> lines_;   // in the order of lvFilterDetails
    bool syncing_ = false;
    QAction* miFindMailer = nullptr;
    QAction* miEditMailer = nullptr;
    QAction* miDeleteRecord = nullptr;
    QAction* miDeleteAllRecords = nullptr;
    QAction* miNewFilter = nullptr;
    QAction* miDeleteFilter = nullptr;
    QAction* miSetFilter = nullptr;
    QAction* miAddFilterLine = nullptr;
    QAction* miEditFilterLine = nullptr;
    QAction* miDeleteFilterLine = nullptr;
};
