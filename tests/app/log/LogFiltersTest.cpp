// The saved log filters through the real log window over a real log: filters
// and lines made in the window's dialogs, stored in LogFilters and
// LogFiltersDetail (read back with the sqlite3 tool), set over the grid and
// undone; the values that must still find their rows (amounts, both forms of
// a customer ID, a quote, today's date beside batch rows); and every refusal.

#include "app/data/U_FieldTables.h"
#include "app/log/U_Log.h"
#include "platform/ui/MaskEdit.h"
#include "tests/app/log/LogTestSupport.h"

#include <QComboBox>
#include <QDateTime>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTimeEdit>

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <set>

using logtest::Find;
using logtest::WhenDialog;

namespace {

using Names = std::set<std::string>;

// One line as typed into the Filter dialog: the field's caption, the
// operator and the value for the field's editor.
struct TTyped {
    std::string field, op, value;
};

int FieldRow(const std::string& caption)
{
    const auto at = std::find(LogFilterCaptions.begin(), LogFilterCaptions.end(), caption);
    EXPECT_NE(at, LogFilterCaptions.end()) << caption;
    return static_cast<int>(at - LogFilterCaptions.begin());
}

// Puts `line` into the open Filter dialog (its value into whichever editor shows).
void Type(QWidget& dialog, const TTyped& line)
{
    auto* field = Find<QComboBox>(dialog, "cbFieldName");
    if (field->isEnabled()) field->setCurrentIndex(line.field.empty() ? -1 : FieldRow(line.field));
    if (!line.op.empty()) Find<QComboBox>(dialog, "cbOperator")->setCurrentText(QString::fromStdString(line.op));
    const QString value = QString::fromStdString(line.value);
    if (auto* e = Find<QLineEdit>(dialog, "editValue"); e->isVisibleTo(&dialog)) e->setText(value);
    if (auto* e = Find<QLineEdit>(dialog, "maskeditMailerNum"); e->isVisibleTo(&dialog)) e->setText(value);
    for (const char* name : {"editCustID", "editSerialNum"})
        if (auto* e = Find<ui::MaskEdit>(dialog, name); e->isVisibleTo(&dialog)) e->SetText(line.value);
    for (const char* name : {"cbTrueFalse", "cbResult"})
        if (auto* c = Find<QComboBox>(dialog, name); c->isVisibleTo(&dialog)) c->setCurrentText(value);
    if (auto* time = Find<QTimeEdit>(dialog, "pickerTime"); time->isVisibleTo(&dialog))
        time->setTime(QTime::fromString(value, "HH:mm:ss"));
}

void Ok(QWidget& dialog) { Find<QPushButton>(dialog, "btnOK")->click(); }

class LogFilters : public logtest::LogFixture {
protected:
    QTableView& Grid(TF_Log& log) const { return *Find<QTableView>(log, "gridLog"); }
    QListWidget& Filters(TF_Log& log) const { return *Find<QListWidget>(log, "lvFilters"); }
    QListWidget& Lines(TF_Log& log) const { return *Find<QListWidget>(log, "lvFilterDetails"); }
    QPushButton& Button(TF_Log& log, const char* name) const { return *Find<QPushButton>(log, name); }

    // The "To" column of the rows the grid shows.
    Names Shown(TF_Log& log) const
    {
        Names names;
        const QAbstractItemModel& model = *Grid(log).model();
        for (int r = 0; r < model.rowCount(); ++r) names.insert(model.data(model.index(r, 2)).toString().toStdString());
        return names;
    }
    Names All() const
    {
        const std::vector<std::string> rows = Sql("select ToAddress1 from Log37");
        return Names(rows.begin(), rows.end());
    }
    std::vector<std::string> ListTexts(QListWidget& list) const
    {
        std::vector<std::string> out;
        for (int i = 0; i < list.count(); ++i) out.push_back(list.item(i)->text().toStdString());
        return out;
    }

    // Makes a filter through New: the name dialog, then its first line.
    void NewFilter(TF_Log& log, const std::string& name, const TTyped& first)
    {
        WhenDialog("New Filter", [name](QWidget& dialog) {
            Find<QLineEdit>(dialog, "TheEdit")->setText(QString::fromStdString(name));
            Ok(dialog);
        });
        WhenDialog("Filter", [first](QWidget& dialog) {
            Type(dialog, first);
            Ok(dialog);
        });
        Button(log, "btnNewFilter").click();
    }
    void AddLine(TF_Log& log, const TTyped& line)
    {
        WhenDialog("Filter", [line](QWidget& dialog) {
            Type(dialog, line);
            Ok(dialog);
        });
        Button(log, "btnAddFilterLine").click();
    }
    void SelectFilter(TF_Log& log, const std::string& name)
    {
        const QList<QListWidgetItem*> items = Filters(log).findItems(QString::fromStdString(name), Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << name;
        Filters(log).setCurrentItem(items.front());
    }
    // Sets a new one-line filter and returns the rows it shows; undoes it.
    Names OneLine(TF_Log& log, const std::string& name, const TTyped& line)
    {
        NewFilter(log, name, line);
        Button(log, "btnSetFilter").click();
        EXPECT_EQ(Button(log, "btnSetFilter").text(), "Undo Filter") << name;
        const Names shown = Shown(log);
        Button(log, "btnSetFilter").click();
        return shown;
    }
    // Lines of a query over one of the filter tables through the sqlite3 tool.
    std::vector<std::string> FilterSql(const char* table, const std::string& query) const
    {
        return e2e::SqlRows(std::filesystem::path(gLogDB) / (std::string(table) + ".edt"), query);
    }
    // Runs an engine statement on the log folder, as another station could.
    void Exec(const std::string& sql)
    {
        TEdsQuery& query = *dm().edsqLog2;
        query.Close();
        query.SetDatabaseName(gLogDB);
        query.SetSQLText(sql);
        query.ExecSQL();
        query.Close();
    }
};

}  // namespace

TEST_F(LogFilters, AnOrFilterMadeInTheWindowShowsItsRowsUntilUndone)
{
    AddRow(1, {{"ToAddress1", "Acme Corp"}, {"SerialNum", "5"}});
    AddRow(2, {{"ToAddress1", "Ann"}, {"ToAddress3", "c/o ACME"}, {"SerialNum", "7"}});
    AddRow(3, {{"ToAddress1", "Bob"}, {"SerialNum", "42"}});
    AddRow(4, {{"ToAddress1", "Carl"}, {"SerialNum", "41"}});
    AddRow(5, {{"ToAddress1", "Dora"}, {"SerialNum", "100"}});
    AddRow(6, {{"ToAddress1", "Eve"}, {"YourAddress1", "Acme Sender"}, {"SerialNum", "1"}});
    AddRow(7, {{"ToAddress1", "Fay"}, {"ToZip", "ACME1"}, {"SerialNum", "2"}});
    TF_Log log(dm());
    EXPECT_EQ(Button(log, "btnSetFilter").text(), "Set Filter");
    EXPECT_TRUE(Button(log, "btnNewFilter").isEnabled());
    EXPECT_FALSE(Button(log, "btnSetFilter").isEnabled());
    EXPECT_FALSE(Lines(log).isEnabled());

    NewFilter(log, "Mixed", {"To", "", "acme"});
    ASSERT_EQ(ListTexts(Filters(log)), std::vector<std::string>{"Mixed"});
    EXPECT_TRUE(Filters(log).item(0)->isSelected()) << "the new filter is selected";
    AddLine(log, {"Serial Number", ">=", "42"});
    EXPECT_EQ(ListTexts(Lines(log)), (std::vector<std::string>{"To = 'acme'", "Serial Number >= '42'"}));
    EXPECT_EQ(FilterSql("LogFiltersDetail", "select FilterName, FieldName, Operator, Value from LogFiltersDetail order by FieldName desc"),
              (std::vector<std::string>{"Mixed|4|=|acme", "Mixed|3|>=|42"}));

    // AND first: no row is both.
    Button(log, "btnSetFilter").click();
    EXPECT_EQ(Shown(log), Names{});
    Button(log, "btnSetFilter").click();

    Find<QComboBox>(log, "cbCombination")->setCurrentText("OR");
    EXPECT_EQ(FilterSql("LogFilters", "select FilterCombination from LogFilters"), std::vector<std::string>{"OR"});
    EXPECT_EQ(FilterSql("LogFiltersDetail", "select count(*) from LogFiltersDetail"), std::vector<std::string>{"2"}) << "lines stay";

    Button(log, "btnSetFilter").click();
    EXPECT_EQ(Shown(log), (Names{"Acme Corp", "Ann", "Bob", "Dora", "Fay"}));
    EXPECT_EQ(Button(log, "btnSetFilter").text(), "Undo Filter");
    EXPECT_EQ(log.findChild<QAction*>("miSetFilter")->text(), "&Undo Filter");
    for (const char* locked : {"btnNewFilter", "btnDeleteFilter", "btnAddFilterLine", "btnEditFilterLine",
                               "btnDeleteFilterLine"})
        EXPECT_FALSE(Button(log, locked).isEnabled()) << locked;
    EXPECT_FALSE(Find<QComboBox>(log, "cbCombination")->isEnabled());
    EXPECT_FALSE(Lines(log).isEnabled());
    // What the reports will print: the same rows from the window's condition.
    const std::vector<std::string> viaTool = Sql("select ToAddress1 from Log37 where " + log.FilterWhere());
    EXPECT_EQ(Names(viaTool.begin(), viaTool.end()), Shown(log));

    Button(log, "btnSetFilter").click();
    EXPECT_EQ(Shown(log), All());
    EXPECT_EQ(log.FilterWhere(), "");
    EXPECT_EQ(Button(log, "btnSetFilter").text(), "Set Filter");
    EXPECT_EQ(log.findChild<QAction*>("miSetFilter")->text(), "&Set Filter");
    EXPECT_TRUE(Button(log, "btnNewFilter").isEnabled());
    EXPECT_TRUE(Button(log, "btnAddFilterLine").isEnabled());
    EXPECT_FALSE(Button(log, "btnEditFilterLine").isEnabled());
    EXPECT_TRUE(Lines(log).isEnabled());

    // Editing the serial line keeps its field and changes what it finds.
    Lines(log).setCurrentRow(1);
    EXPECT_TRUE(Button(log, "btnEditFilterLine").isEnabled());
    WhenDialog("Filter", [](QWidget& dialog) {
        EXPECT_FALSE(Find<QComboBox>(dialog, "cbFieldName")->isEnabled());
        EXPECT_EQ(Find<QComboBox>(dialog, "cbOperator")->currentText(), ">=");
        EXPECT_EQ(Find<ui::MaskEdit>(dialog, "editSerialNum")->Text().substr(0, 2), "42");
        Type(dialog, {"", ">", "00000041"});
        Ok(dialog);
    });
    Button(log, "btnEditFilterLine").click();
    EXPECT_EQ(ListTexts(Lines(log)), (std::vector<std::string>{"To = 'acme'", "Serial Number > '00000041'"}));
    Button(log, "btnSetFilter").click();
    EXPECT_EQ(Shown(log), (Names{"Acme Corp", "Ann", "Bob", "Dora", "Fay"}));
    Button(log, "btnSetFilter").click();

    // Deleting the filter takes its lines with it.
    messages.Answer(ui::mrYes);
    Button(log, "btnDeleteFilter").click();
    EXPECT_EQ(messages.Last().text, "Are you sure you want to delete Filter \"Mixed\"?");
    EXPECT_EQ(Filters(log).count(), 0);
    EXPECT_EQ(Lines(log).count(), 0);
    EXPECT_EQ(FilterSql("LogFilters", "select count(*) from LogFilters"), std::vector<std::string>{"0"});
    EXPECT_EQ(FilterSql("LogFiltersDetail", "select count(*) from LogFiltersDetail"), std::vector<std::string>{"0"});
    EXPECT_FALSE(Button(log, "btnDeleteFilter").isEnabled());
}

TEST_F(LogFilters, AmountsCustomerIdsQuotesDatesAndMailerNumbersFindTheirRows)
{
    AddRow(1, {{"ToAddress1", "Ten"}, {"Postage", "10.00"}, {"CustID", "123456789"}});
    AddRow(2, {{"ToAddress1", "Twelve fifty"}, {"Postage", "12.50"}, {"CustID", "12-345-6789"}});
    AddRow(3, {{"ToAddress1", "Nine"}, {"Postage", "9.00"}, {"CustID", "987654321"}});
    AddRow(4, {{"ToAddress1", "Blank fee"}, {"Postage", ""}});
    AddRow(5, {{"ToAddress1", "Mr O'Brien"}, {"MailerNum", "9214 7123 4567 8900 0000 15"}});
    AddRow(6, {{"ToAddress1", "Mr OBrien"}, {"MailerNum", "9214712345678900000015"}});
    AddRow(7, {{"ToAddress1", "Older"}, {"MailerNum", "9407 1112 0620 1234 5678"}});
    // A row of today, and a batch row, whose DateTime stays empty until it prints.
    const QDateTime now = QDateTime::currentDateTime();
    Exec("insert into Log37 (DateTime, ToAddress1, Batch, Result) values('" +
         now.toString("yyyy-MM-dd HH:mm:ss").toStdString() + ".000', 'Today', False, 'None')");
    Exec("insert into Log37 (ToAddress1, Batch, Result) values('Batched', True, 'None')");
    TF_Log log(dm());

    EXPECT_EQ(OneLine(log, "Fee", {"Postage Fee", ">=", "10"}), (Names{"Ten", "Twelve fifty"}));
    EXPECT_EQ(OneLine(log, "No fee", {"Postage Fee", "<", "0.01"}).count("Blank fee"), 1u) << "a blank fee counts 0";
    EXPECT_EQ(OneLine(log, "Customer", {"Customer ID", "", "12-345-6789"}), (Names{"Ten", "Twelve fifty"}));
    EXPECT_EQ(OneLine(log, "Irish", {"To", "", "O'Brien"}), Names{"Mr O'Brien"});
    EXPECT_EQ(FilterSql("LogFiltersDetail", "select Value from LogFiltersDetail where FilterName = 'Irish'"),
              std::vector<std::string>{"O'Brien"});
    EXPECT_EQ(ListTexts(Lines(log)), std::vector<std::string>{"To = 'O''Brien'"});
    EXPECT_EQ(OneLine(log, "Today", {"Date/Time", ">=", "00:00:00"}), Names{"Today"});
    // A row logged in the very second a line names is "up to" it, not "later than" it.
    const std::string second = now.toString("HH:mm:ss").toStdString();
    EXPECT_EQ(OneLine(log, "Up to now", {"Date/Time", "<=", second}).count("Today"), 1u);
    EXPECT_EQ(OneLine(log, "After now", {"Date/Time", ">", second}), Names{});
    EXPECT_EQ(OneLine(log, "Batch", {"Batch", "", "True"}), Names{"Batched"});
    // The scan of a printed number finds it logged grouped and imported plain.
    EXPECT_EQ(OneLine(log, "Scan", {"Mailer Number", "", "420123459214712345678900000015"}),
              (Names{"Mr O'Brien", "Mr OBrien"}));
    EXPECT_EQ(OneLine(log, "Old number", {"Mailer Number", "", "94071112062012345678"}), Names{"Older"});
    EXPECT_TRUE(messages.Shown().empty()) << messages.Last().text;
}

// A plain text line finds its value anywhere in the field, in any case: a
// user filtering Comment on "late" must get "paid late" too.
TEST_F(LogFilters, PlainTextLinesFindTheirValueAnywhereInTheField)
{
    struct TPlainField {
        const char* caption;
        const char* column;
        std::string value;
        // The field's texts: the value at the start, in the middle, at the end, and not at all.
        std::array<std::string, 4> texts;
    };
    const std::vector<TPlainField> fields = {
        {"To City", "ToCity", "spring", {"Springfield", "North Springfield", "Palm Spring", "Boston"}},
        {"To State", "ToState", "A", {"AL", "CAN", "WA", "IL"}},
        {"To Zip", "ToZip", "270", {"27001-", "62701-9999", "50270-", "12345-"}},
        {"From City", "YourCity", "haven", {"Havenford", "New Haven East", "Fairhaven", "Chicago"}},
        {"From State", "YourState", "N", {"NY", "ONT", "IN", "IL"}},
        {"FromZip", "YourZip", "999", {"99901-", "19990-", "60601-1999", "12345-"}},
        {"Department", "Department", "legal", {"Legal", "Paralegal staff", "Paralegal", "Billing"}},
        {"Processed By", "ProcessedBy", "ann", {"Annie", "Joanne B.", "Jo Ann", "Bob"}},
        {"RE", "RE", "lease", {"Lease renewal", "Re: lease 12", "New lease", "Deed"}},
        {"Comment", "Comment", "late", {"Late fee", "paid late twice", "paid late", "on time"}},
    };
    // Each row holds a different kind of text in each field, so a line on
    // one field that reads another finds other rows.
    const auto text = [&fields](std::size_t field, std::size_t row) -> const std::string& {
        return fields[field].texts[(row + field) % 4];
    };
    for (std::size_t row = 0; row < 4; ++row) {
        std::map<std::string, std::string> values{{"ToAddress1", "Row " + std::to_string(row)}};
        for (std::size_t f = 0; f < fields.size(); ++f) values[fields[f].column] = text(f, row);
        AddRow(static_cast<int>(row) + 1, values);
    }
    TF_Log log(dm());
    const auto holds = [](std::string text, std::string value) {
        const auto lower = [](std::string s) {
            std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
            return s;
        };
        return lower(std::move(text)).find(lower(std::move(value))) != std::string::npos;
    };
    for (std::size_t f = 0; f < fields.size(); ++f) {
        Names expected;
        for (std::size_t row = 0; row < 4; ++row)
            if (holds(text(f, row), fields[f].value)) expected.insert("Row " + std::to_string(row));
        ASSERT_EQ(expected.size(), 3u) << fields[f].caption;
        EXPECT_EQ(OneLine(log, fields[f].caption, {fields[f].caption, "", fields[f].value}), expected)
            << fields[f].caption << " holding \"" << fields[f].value << "\"";
    }
    EXPECT_TRUE(messages.Shown().empty()) << messages.Last().text;
}

TEST_F(LogFilters, EveryRefusalKeepsTheDialogOrTheLogAsItWas)
{
    AddRow(1, {{"ToAddress1", "Ann"}});
    AddRow(2, {{"ToAddress1", "Bob"}});
    TF_Log log(dm());

    // The Filter dialog refuses and stays open until a line is whole.
    WhenDialog("New Filter", [](QWidget& dialog) {
        Find<QLineEdit>(dialog, "TheEdit")->setText("Checks");
        Ok(dialog);
    });
    std::vector<std::string> refusals;
    WhenDialog("Filter", [this, &refusals](QWidget& dialog) {
        const auto attempt = [&](const TTyped& line) {
            Type(dialog, line);
            Ok(dialog);
            EXPECT_TRUE(dialog.isVisible()) << line.field;
            refusals.push_back(messages.Last().text);
        };
        attempt({"", "", ""});
        attempt({"Comment", "", "  "});
        attempt({"Total Fee", ">", "ten"});
        attempt({"Mailer Number", "", "9214 7123 4567"});
        attempt({"Customer ID", "", "12-345-67"});
        attempt({"Serial Number", "=", ""});
        EXPECT_EQ(Find<QLineEdit>(dialog, "editValue")->maxLength(), 40);
        Type(dialog, {"Comment", "", "urgent"});
        Ok(dialog);
    });
    Button(log, "btnNewFilter").click();
    EXPECT_EQ(refusals, (std::vector<std::string>{"Your must select a field name.", "You must enter a value.",
                                                  "Your must enter a numeric value.",
                                                  "Your must enter a full Mailer Number.",
                                                  "Your must enter a full Customer ID.",
                                                  "Your must enter a Serial Number."}));
    EXPECT_EQ(FilterSql("LogFiltersDetail", "select FieldName, Value from LogFiltersDetail"), std::vector<std::string>{"15|urgent"});

    // A name longer than the table keeps is refused before a line is asked for.
    messages.Clear();
    WhenDialog("New Filter", [](QWidget& dialog) {
        Find<QLineEdit>(dialog, "TheEdit")->setText("A name of 21 letters.");
        Ok(dialog);
    });
    Button(log, "btnNewFilter").click();
    EXPECT_EQ(messages.Last().text, "A Filter name can have at most 20 characters.");
    EXPECT_EQ(FilterSql("LogFilters", "select count(*) from LogFilters"), std::vector<std::string>{"1"});

    // A second filter of the same name.
    messages.Clear();
    WhenDialog("New Filter", [](QWidget& dialog) {
        Find<QLineEdit>(dialog, "TheEdit")->setText("Checks");
        Ok(dialog);
    });
    WhenDialog("Filter", [](QWidget& dialog) {
        Type(dialog, {"RE", "", "x"});
        Ok(dialog);
    });
    Button(log, "btnNewFilter").click();
    EXPECT_EQ(messages.Last().text, "A Filter name of \"Checks\" already exists.");
    EXPECT_EQ(FilterSql("LogFiltersDetail", "select count(*) from LogFiltersDetail"), std::vector<std::string>{"1"});

    // A filter without lines.
    SelectFilter(log, "Checks");
    Lines(log).setCurrentRow(0);
    messages.Answer(ui::mrYes);
    Button(log, "btnDeleteFilterLine").click();
    EXPECT_EQ(messages.Last().text, "Are you sure you want to delete Filter line \"Comment = 'urgent'\"?");
    EXPECT_EQ(Lines(log).count(), 0);
    Button(log, "btnSetFilter").click();
    EXPECT_EQ(messages.Last().text, "No filter lines are defined for this filter.");
    EXPECT_EQ(Button(log, "btnSetFilter").text(), "Set Filter");

    // Lines another program wrote into the shared table: a field outside the
    // table, a serial that is not a number, an operator of its own. None
    // reaches the statement; the log stays whole.
    for (const char* bad : {"'99', '=', 'x'", "'3', '=', '1 or 1=1'", "'3', '<>', '1'",
                                   "'18', '>', '1) or (1=1'"}) {
        Exec("delete from LogFiltersDetail");
        Exec("insert into LogFiltersDetail (FilterName, FieldName, Operator, Value) values('Checks', " + std::string(bad) + ")");
        Filters(log).clearSelection();
        SelectFilter(log, "Checks");
        messages.Clear();
        Button(log, "btnSetFilter").click();
        ASSERT_EQ(messages.Count(), 1u) << bad;
        EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
        EXPECT_EQ(messages.Last().text.rfind("The filter line ", 0), 0u) << messages.Last().text;
        EXPECT_EQ(Button(log, "btnSetFilter").text(), "Set Filter");
        EXPECT_EQ(Shown(log), All());
    }
}
