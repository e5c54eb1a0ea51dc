#include "platform/report/RpProject.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>

namespace report {
namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string TrimBlanks(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// Amounts are added in cents, so a long report does not drift.
std::int64_t Cents(const std::string& text, const std::string& field) {
    const std::string value = TrimBlanks(text);
    if (value.empty()) return 0;
    double amount = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), amount);
    if (ec != std::errc() || end != value.data() + value.size() || !std::isfinite(amount))
        throw EReportError("The value \"" + value + "\" of the column " + field + " is not a number.");
    return static_cast<std::int64_t>(std::llround(amount * 100.0));
}

std::string Money(std::int64_t cents) {
    const bool negative = cents < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(cents) : static_cast<std::uint64_t>(cents);
    std::string fraction = std::to_string(magnitude % 100);
    if (fraction.size() < 2) fraction.insert(0, "0");
    return (negative ? "-" : "") + std::to_string(magnitude / 100) + "." + fraction;
}

}  // namespace

struct TRpProject::RunState {
    ProjectReport report;
    RowSource* source = nullptr;
    std::vector<std::size_t> columns;  // indexes into the source, per report column
    std::size_t totalColumn = 0;
    std::map<std::string, std::string> params;
    double marginRight = 0.5;
    bool started = false;
    std::int64_t count = 0;
    std::int64_t cents = 0;
};

void TRpProject::AddConnection(TRpDataSetConnection& connection) { connections_.push_back(&connection); }

void TRpProject::Open() {
    // The program names its files the Windows way (folder + "\" + name).
    std::string path = projectFile_;
    std::replace(path.begin(), path.end(), '\\', '/');
    project_ = LoadProject(path);
    active_ = true;
}

void TRpProject::Close() {
    project_ = {};
    active_ = false;
}

void TRpProject::GetReportList(std::vector<std::string>& list, bool fullNames) {
    if (!active_) Open();
    list.clear();
    for (const ProjectReport& report : project_.reports) list.push_back(fullNames ? report.name : RunName(report.name));
}

std::string TRpProject::GetParam(const std::string& name) const {
    const auto it = params_.find(name);
    return it == params_.end() ? std::string() : it->second;
}

const ProjectReport& TRpProject::Report(const std::string& name) {
    if (!active_) Open();
    for (const ProjectReport& report : project_.reports)
        if (Lower(RunName(report.name)) == Lower(name)) return report;
    throw EReportError("The report \"" + name + "\" is not in the report project.");
}

ReportLayout TRpProject::LayoutOf(const std::string& name) {
    auto state = std::make_shared<RunState>();
    state->report = Report(name);
    const ProjectReport& report = state->report;

    TRpDataSetConnection* connection = nullptr;
    for (TRpDataSetConnection* c : connections_)
        if (Lower(c->Name()) == Lower(report.connection)) connection = c;
    if (connection == nullptr)
        throw EReportError("The report \"" + report.name + "\" needs the data connection " + report.connection + ".");
    for (const ProjectColumn& column : report.columns) state->columns.push_back(connection->ColumnIndex(column.field));
    if (!report.totalField.empty()) state->totalColumn = connection->ColumnIndex(report.totalField);
    state->source = connection->DataSet();
    state->params = params_;
    if (engine_ != nullptr) state->marginRight = engine_->SystemPrinter().MarginRight;

    ReportLayout layout;
    layout.beforePrint = [state] {
        state->source->First();
        state->started = false;
        state->count = 0;
        state->cents = 0;
    };
    layout.print = [state](TBaseReport& w) {
        const ProjectReport& r = state->report;
        RowSource& rows = *state->source;
        state->started = true;
        w.ClearTabs();
        double tableWidth = 0;
        for (const ProjectColumn& column : r.columns) tableWidth += column.width;
        const double left = (w.PageWidth() - tableWidth) / 2;
        for (std::size_t i = 0; i < r.columns.size(); ++i)
            w.SetTab(i == 0 ? left : NA, r.columns[i].justify, r.columns[i].width, 5.0, BOXLINEALL, 0);
        for (;;) {
            w.SetFont(r.titleFont.name, r.titleFont.size);
            w.AdjustLine();
            w.Home();
            w.PrintCenter(ExpandText(r.title.empty() ? r.name : r.title, state->params, w.CurrentPage()),
                          w.PageWidth() / 2);
            w.NewLine();
            w.SetFont(r.headerFont.name, r.headerFont.size);
            w.AdjustLine();
            w.NewLine();
            w.SetTabJustify(tjCenter);
            for (const ProjectColumn& column : r.columns) w.PrintTab(column.caption);
            w.SetTabJustify(tjNone);
            w.NewLine();
            w.SetFont(r.font.name, r.font.size);
            w.AdjustLine();
            int printed = 0;
            while (w.LinesLeft() > 0 && !rows.Eof()) {
                if (!r.totalField.empty()) state->cents += Cents(rows.Text(state->totalColumn), r.totalField);
                ++state->count;
                for (const std::size_t column : state->columns) w.PrintTab(rows.Text(column));
                w.NewLine();
                rows.Next();
                ++printed;
            }
            if (rows.Eof()) break;
            // A page that cannot take one row would be followed by endless empty ones.
            if (printed == 0)
                throw EReportError("The report \"" + r.name + "\" leaves no room for its rows on a page.");
            w.NewPage();
        }
    };
    layout.printFooter = [state](TBaseReport& w) {
        const ProjectReport& r = state->report;
        while (w.LinesLeft() > 0) w.NewLine();
        w.Print(ExpandText(r.footer, state->params, w.CurrentPage()));
        w.PrintCenter("Page " + std::to_string(w.CurrentPage()), w.PageWidth() / 2);
        if (!state->started || !state->source->Eof()) return;
        std::string totals;
        if (!r.countLabel.empty()) totals = r.countLabel + ": " + std::to_string(state->count);
        if (!r.totalLabel.empty() || !r.totalField.empty()) {
            if (!totals.empty()) totals += "   ";
            totals += (r.totalLabel.empty() ? r.totalField : r.totalLabel) + ": " + Money(state->cents);
        }
        w.PrintRight(totals, w.PageWidth() - state->marginRight);
    };
    return layout;
}

void TRpProject::ExecuteReport(const std::string& name) {
    if (engine_ == nullptr) throw EReportError("The report project has no report system.");
    const ReportLayout layout = LayoutOf(name);
    engine_->ExecuteLayout(layout, Report(name).orientation);
}

}  // namespace report
