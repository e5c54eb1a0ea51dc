// The custom log report: the data module lays out the columns the user chose
// over the log query as it stands (all rows, or the log window's filter).

#include "app/data/U_FieldTables.h"
#include "app/data/U_dmSendoPro.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

struct LogColumn {
    std::string name;
    std::string heading;  // the caption before its "(width)"
    double width;
};

// The report's columns in edsqLog2's order; a name that is not a log field
// has no width to lay out, so it is left out of the table altogether.
std::vector<LogColumn> ReportColumns(TEdsQuery& detail)
{
    std::vector<LogColumn> columns;
    db::TField* nameField = detail.FieldByName("Field_Name");
    for (detail.First(); !detail.Eof(); detail.Next()) {
        const std::string name = rtl::Trim(nameField->AsString());
        for (std::size_t i = 0; i < LogFieldCount; ++i) {
            if (LogFieldNames[i] != name) continue;
            const std::string_view caption = LogFieldCaptions[i];
            columns.push_back({name, std::string(caption.substr(0, caption.find('('))), LogFieldWidths[i]});
            break;
        }
    }
    return columns;
}

// A fee as money: blank or unreadable (imported rows, Zeros off) is nothing.
double FeeOf(db::TField* total)
{
    if (total == nullptr) return 0.0;
    double value = 0.0;
    return rtl::TryStrToFloat(rtl::Trim(total->AsString()), value) ? value : 0.0;
}

// "$1,234.56": the dollar sign, grouped thousands, two decimals.
std::string CurrencyText(double amount)
{
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.2f", std::fabs(amount));
    std::string text(digits);
    const std::size_t dot = text.find('.');
    for (std::size_t at = dot; at > 3; at -= 3) text.insert(at - 3, ",");
    return (amount < 0 ? "-$" : "$") + text;
}

}  // namespace

void TdmSendoPro::RpSystem1BeforePrint()
{
    edsqLog->First();
    printingStarted_ = false;
}

void TdmSendoPro::RpSystem1Print(report::TBaseReport& Sender)
{
    printingStarted_ = true;
    reportFeeTotal_ = 0.0;
    reportRowCount_ = 0;
    Sender.ClearTabs();

    const std::vector<LogColumn> columns = ReportColumns(*edsqLog2);
    double tableWidth = 0.0;
    for (const LogColumn& column : columns) tableWidth += column.width;
    const double left = (Sender.PageWidth() - tableWidth) / 2;
    bool first = true;
    for (const LogColumn& column : columns) {
        Sender.SetTab(first ? left : report::NA, report::pjCenter, column.width, 5.0, report::BOXLINEALL, 0);
        first = false;
    }

    Sender.SetFont("Arial", 18);
    Sender.Home();
    Sender.PrintCenter("Sendora Log Report", Sender.PageWidth() / 2);
    Sender.NewLine();
    Sender.NewLine();
    Sender.SetFont("Times New Roman", 12);
    Sender.AdjustLine();

    std::vector<db::TField*> fields;
    for (const LogColumn& column : columns) fields.push_back(edsqLog->FindField(column.name));
    db::TField* total = edsqLog->FindField("Total");
    while (!edsqLog->Eof()) {
        Sender.SetTabJustify(report::tjCenter);
        for (const LogColumn& column : columns) Sender.PrintTab(column.heading);
        Sender.SetTabJustify(report::tjNone);
        Sender.NewLine();
        Sender.SetFont("Times New Roman", 10);
        Sender.AdjustLine();
        while (Sender.LinesLeft() > 0 && !edsqLog->Eof()) {
            reportFeeTotal_ += FeeOf(total);
            ++reportRowCount_;
            for (db::TField* field : fields) Sender.PrintTab(field != nullptr ? field->DisplayText() : std::string());
            Sender.NewLine();
            edsqLog->Next();
        }
        if (!edsqLog->Eof()) Sender.NewPage();
    }
}

void TdmSendoPro::RpSystem1PrintFooter(report::TBaseReport& Sender)
{
    while (Sender.LinesLeft() > 0) Sender.NewLine();
    const bool lastPage = printingStarted_ && edsqLog->Eof();
    if (lastPage) Sender.Print("Date Printed : " + rtl::DateTimeToStr(rtl::Now()));
    Sender.PrintCenter("Page " + std::to_string(Sender.CurrentPage()), Sender.PageWidth() / 2);
    if (lastPage && reportFeeTotal_ > 0)
        Sender.PrintRight("Total Count: " + std::to_string(reportRowCount_) + "   " + "Total Fees: " +
                              CurrencyText(reportFeeTotal_),
                          Sender.PageWidth() - 0.5);
}
