// The main window's address book on 10,000 addresses in 50 groups, each
// figure beside the sqlite3 tool running the same SQL on the same files in
// the same run (output discarded), medians of five runs:
//  - the panel opened and filled: tree, all addresses listed and painted
//    (target: under 1 s);
//  - a click on a group that lists its members (target: under 0.3 s);
//  - a find that turns once round the whole list without a match
//    (target: under 0.2 s).
// Usage: address_book_bench [addresses] [groups]   (default 10000 50)

#include "app/addresses/U_YourAddress.h"
#include "app/data/U_Globals.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "app/main/U_About.h"
#include "app/main/U_Main.h"
#include "platform/ui/MessageService.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Timed(const std::function<void()>& work, int runs = 5)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        QCoreApplication::processEvents();  // the list painted
        times.push_back(Since(start));
    }
    return Median(times);
}

std::string Quote(const std::string& text)
{
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Wall time of the sqlite3 tool running `sql` on the address book's files.
double Tool(const std::string& folder, const std::string& sql, int runs = 5)
{
    const std::string command = "cd " + Quote(folder) +
                                " && sqlite3 Address.edt \"attach 'Members.edt' as m; attach 'Groups.edt' as g;\" " +
                                Quote(sql) + " > /dev/null";
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "sqlite3 failed: %s\n", command.c_str());
            std::exit(1);
        }
        times.push_back(Since(start));
    }
    return Median(times);
}

void Report(const char* what, double ours, double tool, double target)
{
    std::printf("%-40s %8.3f s  sqlite3 %8.3f s  ratio %5.2f  target < %.1f s %s\n", what, ours, tool, ours / tool,
                target, ours < target ? "" : "MISSED");
}

void Exec(TEdsQuery& query, const std::string& sql)
{
    query.Close();
    query.SetSQLText(sql);
    query.ExecSQL();
}

// The address book through the program's own tables and the engine's SQL:
// groups 1 to 10 at the top, the others under them; every address in one
// group and every fifth in a second one.
void Fill(TdmSendoPro& module, int addresses, int groups)
{
    std::filesystem::create_directories(gAddressDB);
    for (const char* table : {"Address", "Groups", "Members"}) module.EnsureTable(gAddressDB, table);
    module.EnsureTable(gMailerNumDB, "MailerNum");
    TEdsQuery& query = *module.edsqToAddress;
    query.SetDatabaseName(gAddressDB);
    const std::string a = std::to_string(addresses), g = std::to_string(groups);
    Exec(query, "insert into Groups (Parent_ID, Group_Name) with recursive k(i) as (select 1 union all select i + 1 "
                "from k where i < " + g + ") select case when i <= 10 then -1 else (i - 11) % 10 + 1 end, "
                "'Group ' || i from k");
    Exec(query, "insert into Address (Address1, Address2, Address3, City, State, Zip) with recursive k(i) as "
                "(select 1 union all select i + 1 from k where i < " + a + ") select 'Recipient ' || i, "
                "'Suite ' || (i % 500), '12 Elm Street', 'Springfield', 'IL', '62701' from k");
    Exec(query, "insert into Members (A_ID, G_ID) with recursive k(i) as (select 1 union all select i + 1 from k "
                "where i < " + a + ") select i, i % " + g + " + 1 from k");
    Exec(query, "insert into Members (A_ID, G_ID) with recursive k(i) as (select 5 union all select i + 5 from k "
                "where i + 5 <= " + a + ") select i, (i * 7 + 3) % " + g + " + 1 from k where (i * 7 + 3) % " + g +
                " <> i % " + g);
    query.Close();
    TEdsQuery& mailer = *module.edsqLog2;
    mailer.SetDatabaseName(gMailerNumDB);
    Exec(mailer, "update MailerNum set CustID = '123456789'");
    mailer.Close();
}

}  // namespace

int main(int argc, char** argv)
{
    const int addresses = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int groups = argc > 2 ? std::atoi(argv[2]) : 50;
    if (std::system("command -v sqlite3 > /dev/null") != 0) {
        std::fprintf(stderr, "the sqlite3 tool is needed for the comparison\n");
        return 1;
    }
    const std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("address_book_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    // A chosen sender and no registration notice: the first show asks nothing.
    std::ofstream(home / "sendo4.ini") << "[YourAddress]\nID=1\n[Type]\nBarCodeApp=0\n";

    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SENDORA_HOME", home.c_str(), 1);
    QApplication app(argc, argv);
    gAppPath = home.string();
    ResetSettingsToDefaults();
    ui::ScriptedMessages messages;  // answers every box; the figures count no person
    TInstalledDataModule data(home.string());
    auto start = Clock::now();
    Fill(data.Module(), addresses, groups);
    std::printf("filled %d addresses in %d groups in %.1f s\n", addresses, groups, Since(start));

    TF_Main window(nullptr, {});
    window.show();
    while (window.FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    auto& list = *window.findChild<QTreeWidget*>("lvAddress");
    auto& tree = *window.findChild<QTreeWidget*>("tvGroups");
    auto& close = *window.findChild<QPushButton*>("btnCloseDB");
    const std::string folder = gAddressDB;

    const double fill = Timed([&] {
        close.click();
        window.OpenAddressBook();
    });
    if (list.topLevelItemCount() != addresses) {
        std::fprintf(stderr, "the list shows %d addresses\n", list.topLevelItemCount());
        return 1;
    }
    Report("panel opened and filled", fill,
           Tool(folder, "select * from Groups order by G_ID") + Tool(folder, "select * from Address order by A_ID"),
           1.0);

    // The click on group 27 (under group 7), as the user lists it.
    const QList<QTreeWidgetItem*> found = tree.findItems("Group 27", Qt::MatchExactly | Qt::MatchRecursive);
    if (found.size() != 1) return 1;
    tree.scrollToItem(found[0]);
    const double click = Timed([&] {
        tree.clearSelection();
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, tree.visualItemRect(found[0]).center());
    });
    const int members = list.topLevelItemCount();
    if (members == addresses || members == 0) {
        std::fprintf(stderr, "the click listed %d addresses\n", members);
        return 1;
    }
    Report("group click lists its members", click,
           Tool(folder, "select A.*  from Address A, Members M where M.G_ID = 27 and A.A_ID = M.A_ID order by A.A_ID"),
           0.3);
    std::printf("%-40s %d addresses\n", "", members);

    // A search that matches nothing walks the whole list once.
    tree.scrollToItem(tree.topLevelItem(0));
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier,
                      tree.visualItemRect(tree.topLevelItem(0)).center());
    if (list.topLevelItemCount() != addresses) return 1;
    gFindText = "zzz";
    messages.Clear();
    const double find = Timed([&] { QTest::keyClick(&list, Qt::Key_F3); });
    if (messages.Count() != 5) {
        std::fprintf(stderr, "the find showed %zu messages\n", messages.Count());
        return 1;
    }
    Report("find, one full turn without a match", find,
           Tool(folder, "select A_ID from Address where instr(upper(Address1), 'ZZZ') > 0 or "
                        "instr(upper(Address2), 'ZZZ') > 0 or instr(upper(Address3), 'ZZZ') > 0 or "
                        "instr(upper(Address4), 'ZZZ') > 0 or instr(upper(City), 'ZZZ') > 0 or "
                        "instr(upper(State), 'ZZZ') > 0 or instr(upper(Zip), 'ZZZ') > 0 order by A_ID"),
           0.2);

    window.close();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return 0;
}
