// The log window's saved filters: the filter and line lists, their commands,
// and setting and undoing a filter over the grid.

#include "app/data/FailureMessage.h"
#include "app/data/U_Globals.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoPro.h"
#include "app/dialogs/U_SingleEdit.h"
#include "app/log/U_Filter.h"
#include "app/log/U_FilterRules.h"
#include "app/log/U_Log.h"
#include "platform/ui/MessageService.h"

#include "ui_U_Log.h"

#include <QAction>
#include <QMenu>

#include <exception>

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

constexpr std::size_t kFilterNameWidth = 20;

std::vector<int> SelectedRows(const QListWidget& list)
{
    std::vector<int> rows;
    for (int i = 0; i < list.count(); ++i)
        if (list.item(i)->isSelected()) rows.push_back(i);
    return rows;
}

}  // namespace

void TF_Log::SetUpFilterControls()
{
    miNewFilter = Command("miNewFilter", "&New Filter", &TF_Log::btnNewFilterClick);
    miDeleteFilter = Command("miDeleteFilter", "&Delete Filter", &TF_Log::btnDeleteFilterClick);
    miSetFilter = Command("miSetFilter", "&Set Filter", &TF_Log::btnSetFilterClick);
    miAddFilterLine = Command("miAddFilterLine", "&Add Filter Line", &TF_Log::btnAddFilterLineClick);
    miEditFilterLine = Command("miEditFilterLine", "&Edit Filter Line", &TF_Log::btnEditFilterLineClick);
    miDeleteFilterLine = Command("miDeleteFilterLine", "De&lete Filter Line", &TF_Log::btnDeleteFilterLineClick);
    const auto popUp = [this](QListWidget* list, QList<QAction*> actions) {
        connect(list, &QWidget::customContextMenuRequested, this, [this, list, actions](const QPoint& at) {
            QMenu menu(this);
            menu.addActions(actions);
            menu.exec(list->viewport()->mapToGlobal(at));
        });
    };
    popUp(ui->lvFilters, {miNewFilter, miDeleteFilter, miSetFilter});
    popUp(ui->lvFilterDetails, {miAddFilterLine, miEditFilterLine, miDeleteFilterLine});

    connect(ui->btnNewFilter, &QPushButton::clicked, this, &TF_Log::btnNewFilterClick);
    connect(ui->btnDeleteFilter, &QPushButton::clicked, this, &TF_Log::btnDeleteFilterClick);
    connect(ui->btnSetFilter, &QPushButton::clicked, this, &TF_Log::btnSetFilterClick);
    connect(ui->btnAddFilterLine, &QPushButton::clicked, this, &TF_Log::btnAddFilterLineClick);
    connect(ui->btnEditFilterLine, &QPushButton::clicked, this, &TF_Log::btnEditFilterLineClick);
    connect(ui->btnDeleteFilterLine, &QPushButton::clicked, this, &TF_Log::btnDeleteFilterLineClick);
    connect(ui->lvFilters, &QListWidget::itemSelectionChanged, this, &TF_Log::lvFiltersSelectItem);
    connect(ui->lvFilterDetails, &QListWidget::itemSelectionChanged, this, &TF_Log::lvFilterDetailsSelectItem);
    connect(ui->cbCombination, &QComboBox::currentIndexChanged, this, &TF_Log::cbCombinationChange);
}

// ---- states ------------------------------------------------------------------------------

namespace {
void Enable(QWidget* button, QAction* twin, bool on)
{
    button->setEnabled(on);
    twin->setEnabled(on);
}
}  // namespace

void TF_Log::DisableFilterButtons()
{
    Enable(ui->btnNewFilter, miNewFilter, true);
    Enable(ui->btnDeleteFilter, miDeleteFilter, false);
    Enable(ui->btnSetFilter, miSetFilter, false);
    Enable(ui->btnAddFilterLine, miAddFilterLine, false);
    Enable(ui->btnEditFilterLine, miEditFilterLine, false);
    Enable(ui->btnDeleteFilterLine, miDeleteFilterLine, false);
    ui->lvFilterDetails->setEnabled(false);
    ui->cbCombination->setEnabled(false);
}

void TF_Log::EnableFilterButtons()
{
    Enable(ui->btnDeleteFilter, miDeleteFilter, true);
    Enable(ui->btnSetFilter, miSetFilter, true);
    Enable(ui->btnAddFilterLine, miAddFilterLine, true);
    ui->lvFilterDetails->setEnabled(true);
    Enable(ui->btnEditFilterLine, miEditFilterLine, false);
    Enable(ui->btnDeleteFilterLine, miDeleteFilterLine, false);
}

void TF_Log::EnableFilterLineButtons()
{
    Enable(ui->btnAddFilterLine, miAddFilterLine, true);
    Enable(ui->btnEditFilterLine, miEditFilterLine, true);
    Enable(ui->btnDeleteFilterLine, miDeleteFilterLine, true);
}

void TF_Log::DisableFilterLineButtons()
{
    Enable(ui->btnAddFilterLine, miAddFilterLine, true);
    Enable(ui->btnEditFilterLine, miEditFilterLine, false);
    Enable(ui->btnDeleteFilterLine, miDeleteFilterLine, false);
}

void TF_Log::ShowFilterApplied(bool applied)
{
    ui->btnSetFilter->setText(applied ? "Undo Filter" : "Set Filter");
    miSetFilter->setText(applied ? "&Undo Filter" : "&Set Filter");
    if (applied) {
        for (auto [button, twin] : {std::pair{ui->btnNewFilter, miNewFilter}, {ui->btnDeleteFilter, miDeleteFilter},
                                    {ui->btnAddFilterLine, miAddFilterLine}, {ui->btnEditFilterLine, miEditFilterLine},
                                    {ui->btnDeleteFilterLine, miDeleteFilterLine}})
            Enable(button, twin, false);
        ui->cbCombination->setEnabled(false);
        ui->lvFilterDetails->setEnabled(false);
        return;
    }
    Enable(ui->btnNewFilter, miNewFilter, true);
    ui->cbCombination->setEnabled(SelectedFilter() != nullptr);
    if (SelectedFilter() != nullptr)
        EnableFilterButtons();
    else
        DisableFilterButtons();
}

// ---- the lists ---------------------------------------------------------------------------

std::vector<TF_Log::TSavedFilter> TF_Log::ReadFilters()
{
    std::vector<TSavedFilter> filters;
    TEdsQuery& query = *dm_.edsqLog2;
    query.Close();
    query.SetDatabaseName(gLogDB);
    query.SetSQLText(SelectFiltersSql());
    query.Open();
    for (query.First(); !query.Eof(); query.Next())
        filters.push_back({query.FieldByName("FilterName")->AsString(),
                           TFilterRec(query.FieldByName("FilterCombination")->AsString())});
    query.Close();
    return filters;
}

void TF_Log::ShowFilters(std::vector<TSavedFilter> filters)
{
    const QSignalBlocker quiet(ui->lvFilters);
    ui->lvFilters->clear();
    ui->lvFilterDetails->clear();
    filters_ = std::move(filters);
    lines_.clear();
    DisableFilterButtons();
    for (const TSavedFilter& filter : filters_) ui->lvFilters->addItem(Q(filter.FilterName));
}

bool TF_Log::LoadFilters()
{
    try {
        ShowFilters(ReadFilters());
    } catch (const std::exception& e) {
        ShowFailure("The saved filters could not be read.", e);
        return false;
    }
    return true;
}

TF_Log::TSavedFilter* TF_Log::SelectedFilter()
{
    const std::vector<int> rows = SelectedRows(*ui->lvFilters);
    if (rows.size() != 1 || rows.front() >= static_cast<int>(filters_.size())) return nullptr;
    return &filters_[static_cast<std::size_t>(rows.front())];
}

void TF_Log::LoadFilterLines(const TSavedFilter& filter)
{
    const QSignalBlocker quiet(ui->lvFilterDetails);
    ui->lvFilterDetails->clear();
    lines_.clear();
    TEdsQuery& query = *dm_.edsqLog2;
    try {
        query.Close();
        query.SetDatabaseName(gLogDB);
        query.SetSQLText(SelectFilterLinesSql(filter.FilterName));
        query.Open();
        for (query.First(); !query.Eof(); query.Next())
            lines_.emplace_back(query.FieldByName("FieldName")->AsString(), query.FieldByName("Operator")->AsString(),
                                query.FieldByName("Value")->AsString());
        query.Close();
    } catch (const std::exception& e) {
        lines_.clear();
        ShowFailure("The lines of filter " + Quoted(filter.FilterName) + " could not be read.", e);
    }
    for (const TFilterLineRec& line : lines_) ui->lvFilterDetails->addItem(Q(FilterLineCaption(line)));
}

void TF_Log::lvFiltersSelectItem()
{
    if (FilterApplied()) return;
    TSavedFilter* filter = SelectedFilter();
    {
        const QSignalBlocker quiet(ui->lvFilterDetails);
        ui->lvFilterDetails->clear();
        lines_.clear();
    }
    if (filter == nullptr) {
        DisableFilterButtons();
        return;
    }
    {
        const QSignalBlocker quiet(ui->cbCombination);
        ui->cbCombination->setCurrentIndex(filter->Rec.FilterCombination == "AND" ? 0 : 1);
    }
    ui->cbCombination->setEnabled(true);
    LoadFilterLines(*filter);
    EnableFilterButtons();
}

void TF_Log::lvFilterDetailsSelectItem()
{
    if (FilterApplied()) return;
    if (SelectedRows(*ui->lvFilterDetails).size() == 1)
        EnableFilterLineButtons();
    else
        DisableFilterLineButtons();
}

// ---- filters -----------------------------------------------------------------------------

void TF_Log::btnNewFilterClick()
{
    if (FilterApplied()) return;
    TF_SingleEdit names(this);
    names.Prepare("New Filter", "Enter in name for new Filter", "");
    if (names.exec() != ui::mrOk) return;
    const std::string name = gSingleEditText;
    if (name.size() > kFilterNameWidth) {
        ui::ShowError("A Filter name can have at most 20 characters.");
        return;
    }
    gFilterField.clear();
    gFilterOperator.clear();
    gFilterValue.clear();
    TF_Filter dialog(this);
    if (dialog.exec() != ui::mrOk) return;
    try {
        ExecuteOnLog(InsertFilterSql(name));
    } catch (const std::exception& e) {
        if (IsUniqueViolation(e))
            ui::ShowError("A Filter name of " + Quoted(name) + " already exists.");
        else
            ShowFailure("The filter " + Quoted(name) + " could not be saved.", e);
        return;
    }
    try {
        ExecuteOnLog(InsertFilterLineSql(name, TFilterLineRec(gFilterField, gFilterOperator, gFilterValue)));
    } catch (const std::exception& e) {
        ShowFailure("The line of filter " + Quoted(name) + " could not be saved.", e);
    }
    if (!LoadFilters()) return;
    for (std::size_t i = 0; i < filters_.size(); ++i)
        if (filters_[i].FilterName == name) ui->lvFilters->setCurrentRow(static_cast<int>(i));
}

void TF_Log::btnDeleteFilterClick()
{
    TSavedFilter* filter = SelectedFilter();
    if (FilterApplied() || filter == nullptr) return;
    const std::string name = filter->FilterName;
    if (ui::AskYesNoCancel("Are you sure you want to delete Filter " + Quoted(name) + "?") != ui::mrYes) return;
    try {
        for (const std::string& sql : DeleteFilterSql(name)) ExecuteOnLog(sql);
    } catch (const std::exception& e) {
        ShowFailure("The filter " + Quoted(name) + " could not be deleted.", e);
        LoadFilters();
        return;
    }
    const int row = SelectedRows(*ui->lvFilters).front();
    {
        const QSignalBlocker quiet(ui->lvFilters);
        delete ui->lvFilters->takeItem(row);
        filters_.erase(filters_.begin() + row);
        ui->lvFilters->clearSelection();
    }
    ui->lvFilterDetails->clear();
    lines_.clear();
    DisableFilterButtons();
}

void TF_Log::cbCombinationChange()
{
    TSavedFilter* filter = SelectedFilter();
    if (FilterApplied() || filter == nullptr) return;
    const std::string combination = ui->cbCombination->currentText().toStdString();
    if (filter->Rec.FilterCombination == combination) return;
    try {
        ExecuteOnLog(UpdateCombinationSql(filter->FilterName, combination));
    } catch (const std::exception& e) {
        ShowFailure("The filter " + Quoted(filter->FilterName) + " could not be changed.", e);
        const QSignalBlocker quiet(ui->cbCombination);
        ui->cbCombination->setCurrentIndex(filter->Rec.FilterCombination == "AND" ? 0 : 1);
        return;
    }
    filter->Rec.FilterCombination = combination;
}

void TF_Log::btnSetFilterClick()
{
    if (FilterApplied()) {
        UndoFilter();
        return;
    }
    if (SelectedFilter() == nullptr) return;
    std::string where;
    try {
        where = FilterWhereText(lines_, ui->cbCombination->currentText().toStdString());
    } catch (const rtl::Exception& e) {
        ui::ShowError(e.what());
        return;
    }
    if (where.empty()) {
        ui::ShowError("No filter lines are defined for this filter.");
        return;
    }
    if (!SetFilterWhere(where)) {
        // Nothing changes: the whole log shows again under the same controls.
        SetFilterWhere({});
        return;
    }
    ShowFilterApplied(true);
}

void TF_Log::UndoFilter()
{
    SetFilterWhere({});
    ShowFilterApplied(false);
    lvFilterDetailsSelectItem();
}

// ---- lines ------------------------------------------------------------------------------

void TF_Log::EditFilterLine(const TFilterLineRec* before)
{
    TSavedFilter* filter = SelectedFilter();
    if (FilterApplied() || filter == nullptr) return;
    const std::string name = filter->FilterName;
    gFilterField = before ? before->FieldName : "";
    gFilterOperator = before ? before->Operator : "";
    gFilterValue = before ? before->Value : "";
    TF_Filter dialog(this);
    if (dialog.exec() != ui::mrOk) return;
    const TFilterLineRec after(gFilterField, gFilterOperator, gFilterValue);
    try {
        ExecuteOnLog(before ? UpdateFilterLineSql(name, *before, after) : InsertFilterLineSql(name, after));
    } catch (const std::exception& e) {
        ShowFailure("The line of filter " + Quoted(name) + " could not be saved.", e);
    }
    lvFiltersSelectItem();
}

void TF_Log::btnAddFilterLineClick() { EditFilterLine(nullptr); }

void TF_Log::btnEditFilterLineClick()
{
    const std::vector<int> rows = SelectedRows(*ui->lvFilterDetails);
    if (rows.size() != 1) return;
    const TFilterLineRec before = lines_[static_cast<std::size_t>(rows.front())];
    EditFilterLine(&before);
}

void TF_Log::btnDeleteFilterLineClick()
{
    TSavedFilter* filter = SelectedFilter();
    const std::vector<int> rows = SelectedRows(*ui->lvFilterDetails);
    if (FilterApplied() || filter == nullptr || rows.size() != 1) return;
    const std::string name = filter->FilterName;
    const TFilterLineRec line = lines_[static_cast<std::size_t>(rows.front())];
    if (ui::AskYesNoCancel("Are you sure you want to delete Filter line " + Quoted(FilterLineCaption(line)) + "?") !=
        ui::mrYes)
        return;
    try {
        ExecuteOnLog(DeleteFilterLineSql(name, line));
    } catch (const std::exception& e) {
        ShowFailure("The line of filter " + Quoted(name) + " could not be deleted.", e);
    }
    lvFiltersSelectItem();
}
