// Each kind of saved log filter set through the log window on a million-row
// log, beside the sqlite3 tool running the same condition on the same file in
// the same run: "select * from Log37 where <condition> order by DATETIME",
// every row written out (to /dev/null). Ours is Set Filter until the grid's
// first page is read; the two alternate after a warming run, three runs
// each, medians shown.
// Target: under 1.5 times the tool for every kind.
// The rows the grid holds are checked against the tool's count.
// Usage: log_filters_bench [rows]   (default 1000000)

#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "app/log/U_Log.h"
#include "bench/app/AppBench.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace appbench;

struct TKind {
    const char* name;  // the saved filter's name
    const char* fieldName;
    const char* op;
    std::string value;
};

std::vector<TKind> Kinds(long rows)
{
    // Row i is logged at 1500000000 + 60 i seconds (UTC); the date line takes the last half.
    const rtl::TDateTime middle = rtl::EncodeDate(1970, 1, 1) + (1500000000.0 + 60.0 * (rows / 2)) / 86400.0;
    return {{"Date", "0", ">=", rtl::FormatDateTime(rtl::ShortDateFormat, middle) + " " +
                                    rtl::FormatDateTime(rtl::LongTimeFormat, middle)},
            {"Mailer", "1", "=", LoggedMailerNum(rows - 5)},
            {"Customer", "2", "=", "12-345-6789"},
            {"Serial", "3", ">=", std::to_string(rows * 9 / 10)},
            {"To", "4", "=", "acme"},
            {"City", "5", "=", "field"},
            {"Batch", "16", "=", "True"},
            {"Result", "17", "=", "Received - Signed"},
            {"Postage", "18", ">=", "10"}};
}

void Exec(TEdsQuery& query, const std::string& sql)
{
    query.Close();
    query.SetSQLText(sql);
    query.ExecSQL();
}

// Fills the log and the saved filters through the program's tables and the engine's SQL.
int Fill(int argc, char** argv, const std::string& home, long rows)
{
    QCoreApplication app(argc, argv);
    gAppPath = home;
    ResetSettingsToDefaults();
    std::filesystem::create_directories(gLogDB);
    TInstalledDataModule data(home);
    data.Module().EnsureTable(gLogDB, "Log37");
    TEdsQuery& query = *data.Module().edsqLog2;
    query.SetDatabaseName(gLogDB);
    // Every 50th row is a batch row, not yet printed (no DateTime); half the
    // customer IDs are dashed as imports keep them; fees run 0.00 to 19.99.
    Exec(query,
         "insert into Log37 (DateTime, MailerNum, CustID, SerialNum, ToAddress1, ToAddress2, ToAddress3, ToCity, "
         "ToState, ToZip, YourAddress1, YourCity, YourState, YourZip, Postage, Certified, Return, Total, Department, "
         "Comment, WishRest, Batch, Result) "
         "with recursive k(i) as (select 1 union all select i + 1 from k where i < " + std::to_string(rows) + "), "
         "r(i, d) as (select i, '9214712345678' || substr('000000000' || i, -9) from k) "
         "select case when i % 50 = 0 then null else "
         "strftime('%Y-%m-%d %H:%M:%S', 1500000000 + i * 60, 'unixepoch') || '.000' end, "
         "substr(d, 1, 4) || ' ' || substr(d, 5, 4) || ' ' || substr(d, 9, 4) || ' ' || substr(d, 13, 4) || ' ' || "
         "substr(d, 17, 4) || ' ' || substr(d, 21, 2), case when i % 2 then '123456789' else '12-345-6789' end, i, "
         "'Recipient ' || i, 'Suite ' || (i % 500), case when i % 1000 = 0 then 'c/o Acme' else '' end, "
         "case i % 3 when 0 then 'Springfield' when 1 then 'Chicago' else 'Fairfield' end, 'IL', '62701', "
         "'Sender Inc', 'Chicago', 'IL', '60601', printf('%.2f', (i % 2000) / 100.0), '4.40', '3.55', '12.05', "
         "'Dept ' || (i % 20), 'sent', 0, i % 50 = 0, "
         "case when i % 10 = 0 then 'Received - Signed' else 'None' end from r");
    for (const TKind& kind : Kinds(rows)) {
        Exec(query, "insert into LogFilters (FilterName, FilterCombination) values(" + rtl::QuotedStr(kind.name) +
                        ", 'AND')");
        Exec(query, "insert into LogFiltersDetail (FilterName, FieldName, Operator, Value) values(" +
                        rtl::QuotedStr(kind.name) + ", " + rtl::QuotedStr(kind.fieldName) + ", " +
                        rtl::QuotedStr(kind.op) + ", " + rtl::QuotedStr(kind.value) + ")");
    }
    query.Close();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--fill") return Fill(argc, argv, argv[2], std::atol(argv[3]));
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    if (!HaveTool()) return 1;
    const std::filesystem::path home = FilledProgramFolder(argv[0], "log_filters_bench", rows);
    if (home.empty()) return 1;

    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SENDORA_HOME", home.c_str(), 1);
    QApplication app(argc, argv);
    gAppPath = home.string();
    ResetSettingsToDefaults();
    const std::string file = (std::filesystem::path(gLogDB) / "Log37.edt").string();
    ui::ScriptedMessages messages;
    TInstalledDataModule data(home.string());
    TF_Log log(data.Module());
    auto& filters = *log.findChild<QListWidget*>("lvFilters");
    auto& setFilter = *log.findChild<QPushButton*>("btnSetFilter");
    QAbstractItemModel& grid = *log.findChild<QTableView*>("gridLog")->model();

    bool missed = false;
    for (const TKind& kind : Kinds(rows)) {
        const QList<QListWidgetItem*> items = filters.findItems(kind.name, Qt::MatchExactly);
        if (items.size() != 1) {
            std::fprintf(stderr, "filter %s is not listed\n", kind.name);
            return 1;
        }
        filters.setCurrentItem(items.front());
        // Ours and the tool's runs alternate, each going first in turn after a
        // run of the tool that is not counted, so neither reads the file's pages
        // the other just brought in more often, and a busy machine weighs on both alike.
        std::vector<double> ours, tools;
        std::string where;
        int shown = 0;
        const auto tool = [&] {
            tools.push_back(Tool(file, "select * from Log37 where " + where + " order by DATETIME"));
        };
        for (int run = 0; run < 4; ++run) {
            if (run % 2 == 1) tool();
            const auto began = Clock::now();
            setFilter.click();
            for (int r = 0; r < 40; ++r)
                for (int c = 0; c < grid.columnCount(); ++c) grid.data(grid.index(r, c));
            const double took = Since(began);
            if (run > 0) ours.push_back(took);
            where = log.FilterWhere();
            shown = grid.rowCount();
            if (where.empty()) {
                std::fprintf(stderr, "filter %s was not set: %s\n", kind.name,
                             messages.Shown().empty() ? "" : messages.Last().text.c_str());
                return 1;
            }
            setFilter.click();  // Undo Filter, not timed
            if (run == 0) {
                tool();  // warms the file up; not counted
                tools.clear();
            } else if (run % 2 == 0) {
                tool();
            }
        }
        FILE* count = popen(("sqlite3 " + Quote(file) + " " +
                             Quote("select count(*) from Log37 where " + where)).c_str(), "r");
        long expected = -1;
        if (count == nullptr || std::fscanf(count, "%ld", &expected) != 1) expected = -1;
        if (count != nullptr) pclose(count);
        const double ratio = Median(ours) / Median(tools);
        missed = missed || ratio >= 1.5 || expected != shown;
        std::printf("%-9s %8d rows  ours %7.3f s  sqlite3 %7.3f s  ratio %5.2f  target < 1.5 %s%s\n", kind.name, shown,
                    Median(ours), Median(tools), ratio, ratio < 1.5 ? "" : "MISSED",
                    expected == shown ? "" : "  ROW COUNT DIFFERS FROM THE TOOL'S");
    }
    std::filesystem::remove_all(home);
    return missed ? 2 : 0;
}
