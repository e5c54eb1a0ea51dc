#include "app/log/U_Log.h"

#include "app/data/FailureMessage.h"
#include "app/data/RowEdit.h"
#include "app/data/U_Globals.h"
#include "app/data/U_MailerNumbers.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "app/log/U_DataSetGridModel.h"
#include "app/log/U_EditMailer.h"
#include "app/log/U_FindMailer.h"
#include "app/log/U_LogRules.h"
#include "app/printing/U_ProMailer.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"
#include "platform/ui/WaitCursor.h"

#include "ui_U_Log.h"

#include <QAction>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QStyle>

#include <algorithm>
#include <exception>

std::function<bool(QWidget* parent)> gShowIncomingMailers;
std::function<void(QWidget* parent)> gShowReports;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The grid's columns.
std::vector<TDataSetGridModel::TColumn> LogColumns()
{
    return {{"DateTime", "Date/Time"}, {"MailerNum", "Mailer Number"}, {"ToAddress1", "To"}, {"YourAddress1", "From"}};
}

// The details panel's texts, each named "dbt" + its field.
constexpr const char* kDetailFields[] = {
    "Department", "RE",          "ProcessedBy", "Comment",    "Result",       "Batch",        "ToAddress1",
    "ToAddress2", "ToAddress3",  "ToAddress4",  "ToCity",     "ToState",      "ToZip",        "YourAddress1",
    "YourAddress2", "YourAddress3", "YourAddress4", "YourCity", "YourState",  "YourZip",      "Postage",
    "Certified",  "Return",      "Restricted",  "Total"};

}  // namespace

TF_Log::TF_Log(TdmSendoPro& dm, QWidget* parent) : QDialog(parent), dm_(dm), ui(std::make_unique<Ui::TF_Log>())
{
    ui->setupUi(this);
    model_ = new TDataSetGridModel(*dm_.edsqLog, LogColumns(), this);
    ui->gridLog->setModel(model_);
    ui->gridLog->verticalHeader()->hide();
    ui->gridLog->verticalHeader()->setDefaultSectionSize(ui->gridLog->fontMetrics().height() + 4);
    SetColumnWidths();
    ui->gridLog->installEventFilter(this);
    connect(ui->gridLog->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { GridRowChanged(current.row()); });

    miFindMailer = Command("miFindMailer", "Find Mailer", &TF_Log::btnFindMailerClick);
    miEditMailer = Command("miEditMailer", "Edit Mailer", &TF_Log::btnEditMailerClick);
    miDeleteRecord = Command("miDeleteRecord", "Delete Record", &TF_Log::btnDeleteRecordClick);
    miDeleteAllRecords = Command("miDeleteAllRecords", "Delete All Records", &TF_Log::btnDeleteAllRecordsClick);
    connect(ui->gridLog, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        menu.addActions({miFindMailer, miEditMailer, miDeleteRecord, miDeleteAllRecords});
        menu.exec(ui->gridLog->viewport()->mapToGlobal(at));
    });

    connect(ui->btnFindMailer, &QPushButton::clicked, this, &TF_Log::btnFindMailerClick);
    connect(ui->btnEditMailer, &QPushButton::clicked, this, &TF_Log::btnEditMailerClick);
    connect(ui->btnDeleteRecord, &QPushButton::clicked, this, &TF_Log::btnDeleteRecordClick);
    connect(ui->btnDeleteAllRecords, &QPushButton::clicked, this, &TF_Log::btnDeleteAllRecordsClick);
    connect(ui->btnChangeLogDB, &QPushButton::clicked, this, &TF_Log::btnChangeLogDBClick);
    connect(ui->Button1, &QPushButton::clicked, this, &TF_Log::Button1Click);
    connect(ui->btnReport, &QPushButton::clicked, this, &TF_Log::btnReportClick);
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::accept);
    ui->btnChangeLogDB->setEnabled(static_cast<bool>(gShowDatabaseFolders));
    ui->Button1->setEnabled(static_cast<bool>(gShowIncomingMailers));
    ui->btnReport->setEnabled(static_cast<bool>(gShowReports));

    SetUpFilterControls();

    gSingleEditText.clear();
    opened_ = OpenLog();
}

TF_Log::~TF_Log()
{
    ui->gridLog->setModel(nullptr);
    CloseQueries();
}

void TF_Log::SetColumnWidths()
{
    // The number shows whole; To and From share what is left beside the
    // scroll bar of a long log, so From is never cut off at the grid's edge.
    QTableView& grid = *ui->gridLog;
    grid.ensurePolished();
    const QFontMetrics metrics = grid.fontMetrics();
    const int date = 120;
    const int number = metrics.horizontalAdvance(QStringLiteral("0000 0000 0000 0000 0000 00")) +
                       2 * metrics.averageCharWidth();
    const int addresses = grid.width() - 2 * grid.frameWidth() -
                          grid.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &grid) - date - number;
    grid.horizontalHeader()->setStretchLastSection(false);
    grid.setColumnWidth(0, date);
    grid.setColumnWidth(1, number);
    grid.setColumnWidth(2, addresses / 2);
    grid.setColumnWidth(3, addresses - addresses / 2);
}

QAction* TF_Log::Command(const char* name, const char* caption, void (TF_Log::*handler)())
{
    auto* action = new QAction(QString::fromUtf8(caption), this);
    action->setObjectName(QString::fromUtf8(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void TF_Log::CloseQueries() noexcept
{
    for (TEdsQuery* query : {dm_.edsqLog.get(), dm_.edsqLog2.get()}) {
        try {
            query->Close();
        } catch (const std::exception&) {
            // Closing a query whose connection went already has nothing left to free.
        }
    }
}

void TF_Log::ShowLogFileName()
{
    QString name = Q(rtl::JoinPath(gLogDB, std::string(kLogTable) + kTableExtension));
    const QFontMetrics metrics(ui->labelLogDBName->font());
    if (metrics.horizontalAdvance(name) > 580) {
        while (metrics.horizontalAdvance(name) >= 567) {
            const int cut = name.indexOf('/');
            if (cut < 0) break;
            name = name.mid(cut + 1);
        }
        name = ".../" + name;
    }
    ui->labelLogDBName->setText(name);
}

bool TF_Log::OpenLog()
{
    ShowLogFileName();
    // A log that cannot be read has no filters to offer either; one failure is told.
    return RunLogQuery(0) && LoadFilters();
}

int TF_Log::CurrentRow() const
{
    TEdsQuery& log = *dm_.edsqLog;
    return log.Active() && !log.IsEmpty() ? log.RecNo() - 1 : 0;
}

void TF_Log::RefreshLog() { RunLogQuery(CurrentRow()); }

bool TF_Log::SetFilterWhere(const std::string& where)
{
    filterWhere_ = where;
    return RunLogQuery(0, where.empty() ? "The log could not be opened." : "The filter could not be applied.");
}

bool TF_Log::RunLogQuery(int row, const char* whatFailed)
{
    try {
        QueryLog(row);
    } catch (const std::exception& e) {
        ShowFailure(whatFailed, e);
        return false;
    }
    return true;
}

void TF_Log::QueryLog(int row)
{
    TEdsQuery& log = *dm_.edsqLog;
    {
        ui::WaitCursor hourglass;
        try {
            log.Close();
            log.SetDatabaseName(gLogDB);
            log.SetSQLText(LogSelectSql(filterWhere_));
            log.Open();
        } catch (const std::exception&) {
            try {
                log.Close();
            } catch (const std::exception&) {
            }
            model_->Reset();
            UpdateRecordState();
            throw;
        }
        model_->Reset();
        const int rows = model_->rowCount();
        if (rows > 0) {
            try {
                log.SetRecNo(std::clamp(row, 0, rows - 1) + 1);
            } catch (const std::exception&) {
                log.First();
            }
        }
    }
    UpdateRecordState();
    SelectCurrentRow();
    ShowDetails();
}

void TF_Log::UpdateRecordState()
{
    const bool rows = dm_.edsqLog->Active() && !dm_.edsqLog->IsEmpty();
    ui->gridLog->setEnabled(rows);
    ui->panelDBdetails->setVisible(rows);
    for (QPushButton* button : {ui->btnFindMailer, ui->btnEditMailer, ui->btnDeleteRecord, ui->btnDeleteAllRecords})
        button->setEnabled(rows);
    for (QAction* action : {miFindMailer, miEditMailer, miDeleteRecord, miDeleteAllRecords}) action->setEnabled(rows);
}

void TF_Log::ShowDetails()
{
    TEdsQuery& log = *dm_.edsqLog;
    if (!log.Active() || log.IsEmpty()) return;
    for (const char* field : kDetailFields)
        if (auto* text = ui->panelDBdetails->findChild<QLabel*>(QString("dbt") + field))
            text->setText(Q(log.FieldByName(field)->DisplayText()));
    ui->cbWishRest->setChecked(log.FieldByName("WishRest")->AsBoolean());
}

void TF_Log::SelectCurrentRow()
{
    TEdsQuery& log = *dm_.edsqLog;
    if (!log.Active() || log.IsEmpty()) return;
    syncing_ = true;
    const QModelIndex index = model_->index(log.RecNo() - 1, 0);
    ui->gridLog->setCurrentIndex(index);
    ui->gridLog->scrollTo(index);
    syncing_ = false;
}

void TF_Log::GridRowChanged(int row)
{
    if (syncing_ || row < 0) return;
    try {
        dm_.edsqLog->SetRecNo(row + 1);
        ShowDetails();
    } catch (const std::exception& e) {
        ShowFailure("The log row could not be read.", e);
    }
}

void TF_Log::ExecuteOnLog(const std::string& sql)
{
    TEdsQuery& query = *dm_.edsqLog2;
    query.Close();
    query.SetDatabaseName(gLogDB);
    query.SetSQLText(sql);
    query.ExecSQL();
}

bool TF_Log::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->gridLog && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F3) {
        if (!rtl::Trim(gSingleEditText).empty() && gFindMailerType == "2") FindMailer();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// ---- deleting ----------------------------------------------------------------------------

void TF_Log::btnDeleteRecordClick()
{
    TEdsQuery& log = *dm_.edsqLog;
    if (!log.Active() || log.IsEmpty()) return;
    if (ui::AskYesNoCancel("Are you sure you want to remove this record from the Log file?") != ui::mrYes) return;
    try {
        ExecuteOnLog("delete from Log37 where LID = " + log.FieldByName("LID")->AsString());
    } catch (const std::exception& e) {
        ShowFailure("The record could not be deleted.", e);
        return;
    }
    RefreshLog();
    ui::ShowInformation("Record deleted.");
}

void TF_Log::btnDeleteAllRecordsClick()
{
    const bool filtered = !filterWhere_.empty();
    const char* question = filtered
                               ? "Are you sure you want to remove all records from current filter from the Log file?"
                               : "Are you sure you want to remove all records from the Log file?";
    if (ui::AskYesNoCancel(question) != ui::mrYes) return;
    try {
        // The restriction itself, never a rewrite of the query's text: a value
        // inside it may read like a part of the statement.
        ExecuteOnLog(LogDeleteAllSql(filterWhere_));
    } catch (const std::exception& e) {
        ShowFailure("The records could not be deleted.", e);
        return;
    }
    // After a filtered deletion the whole log shows again.
    if (filtered)
        UndoFilter();
    else
        OpenLog();
    ui::ShowInformation("Records deleted.");
}

// ---- editing -----------------------------------------------------------------------------

void TF_Log::btnEditMailerClick()
{
    TEdsQuery& log = *dm_.edsqLog;
    if (!log.Active() || log.IsEmpty()) return;
    const auto text = [&log](const char* field) { return log.FieldByName(field)->AsString(); };
    const TMailerEdit before{text("Postage"), text("Certified"), text("Return"), text("Restricted"),
                             log.FieldByName("WishRest")->AsBoolean(), text("Comment"), text("Result")};
    const std::string lid = text("LID");
    const std::string total = text("Total");
    SetLogEditExchange(before);

    TF_EditMailer dialog(this);
    if (dialog.exec() != ui::mrOk) return;
    const std::optional<std::string> sql = LogUpdateSql(before, LogEditExchange(), total, lid);
    if (!sql) return;
    TRowEditOutcome outcome = TRowEditOutcome::Saved;
    try {
        TEdsQuery& query = *dm_.edsqLog2;
        query.Close();
        query.SetDatabaseName(gLogDB);
        outcome = RunRowEdit(query, *sql, kLogTable, "LID = " + lid);
    } catch (const std::exception& e) {
        ShowFailure("The mailer could not be changed.", e);
        return;
    }
    // Whatever became of the edit, the log shows the row as it is now.
    RefreshLog();
    TellRowEditOutcome(outcome, "mailer");
}

// ---- finding -----------------------------------------------------------------------------

void TF_Log::btnFindMailerClick()
{
    TF_FindMailer dialog(this);
    if (dialog.exec() != ui::mrOk) return;
    FindMailer();
}

void TF_Log::FindMailer()
{
    TEdsQuery& log = *dm_.edsqLog;
    if (!log.Active() || log.IsEmpty()) return;
    const bool byNumber = gFindMailerType == "1";
    std::string expression;
    if (byNumber) {
        const std::optional<TMailerNumberKey> key = MailerNumberKey(gSingleEditText);
        if (!key) {
            ui::ShowError("Mailer not found.");
            return;
        }
        if (MatchesMailerNumber(*key, log.FieldByName("MailerNum")->AsString())) {
            btnEditMailerClick();
            return;
        }
        expression = MailerNumberExpression(*key);
    } else {
        expression = AddresseeNameExpression(gSingleEditText);
    }

    // The walk runs in the engine, over the rows in the grid's order: on from
    // the current row to the end, then from the first row back to it.
    bool found = false;
    try {
        ui::WaitCursor hourglass;
        const int start = log.RecNo();
        const db::TBookmark mark = log.GetBookmark();
        struct TFilterText {
            TEdsQuery& log;
            ~TFilterText() { log.SetFilter({}); }
        } clear{log};
        log.SetFilter(expression);
        found = log.FindNext();
        if (!found) found = log.FindFirst() && log.RecNo() != start;
        if (!found) log.GotoBookmark(mark);
    } catch (const std::exception& e) {
        ShowFailure("The log could not be searched.", e);
        return;
    }
    SelectCurrentRow();
    ShowDetails();
    if (!found) {
        ui::ShowError("Mailer not found.");
        return;
    }
    if (byNumber)
        btnEditMailerClick();
    else
        ui->gridLog->setFocus();
}

// ---- around ------------------------------------------------------------------------------

void TF_Log::btnChangeLogDBClick()
{
    if (!gShowDatabaseFolders) return;
    const std::string before = gLogDB;
    gShowDatabaseFolders(this);
    if (gLogDB == before) return;
    // The log shown stays, with its filters, until the new folder's log and
    // filters have been read: a log that cannot be opened must not look
    // emptied, nor take the next mailers.
    const std::string chosen = gLogDB;
    const std::string shownWhere = filterWhere_;
    const int shownRow = CurrentRow();
    // A filter of the old folder's list means nothing over the new log.
    filterWhere_.clear();
    try {
        QueryLog(0);
        ShowFilters(ReadFilters());
    } catch (const std::exception& e) {
        gLogDB = before;
        filterWhere_ = shownWhere;
        RunLogQuery(shownRow);
        ShowFailure("The log in " + chosen + " could not be opened, so the log in " + before + " stays in use.", e);
        return;
    }
    ShowLogFileName();
    ShowFilterApplied(false);
}

void TF_Log::Button1Click()
{
    if (gShowIncomingMailers && gShowIncomingMailers(this)) RefreshLog();
}

void TF_Log::btnReportClick()
{
    // An empty log, or a filter that leaves nothing, has nothing to report.
    if (!dm_.edsqLog->Active() || dm_.edsqLog->IsEmpty()) {
        ui::ShowError("No records available for report.");
        return;
    }
    if (gShowReports) gShowReports(this);
}
