#include "app/imports/U_Report3Log.h"

#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "dbfengine/uxffds.h"
#include "dbfengine/xfcommon.h"
#include "platform/db/Fields.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The log's fields copied as the file holds them.
constexpr const char* kCopied[][2] = {
    {"ToAddress1", "sentname0"}, {"ToAddress2", "sentname1"}, {"ToAddress3", "sentname2"},
    {"ToAddress4", "sentname3"}, {"ToCity", "city"},          {"ToState", "state"},
    {"ToZip", "zip"},            {"Postage", "postage"},      {"Certified", "certified"},
    {"Return", "return"},        {"Restricted", "restricted"}, {"Total", "total"},
    {"RE", "re"},                {"Comment", "comments"}};

// The fields of an edition 3 log that the file lacks, in the log's order.
std::vector<std::string> LackedFields(const xf::TXfDbf& table)
{
    std::vector<std::string> lacked;
    for (const std::string_view column : kXfDbfReportFields) {
        std::string name(column.substr(0, column.find(',')));
        if (table.FindField(name) == nullptr) lacked.push_back(std::move(name));
    }
    return lacked;
}

// The date format with four-digit years, in the same order and separators.
std::string WithCentury(std::string format)
{
    if (rtl::UpperCase(format).find("YYYY") != std::string::npos) return format;
    const std::size_t year = format.find_first_of("yY");
    if (year == std::string::npos) return format;
    const std::size_t end = format.find_first_not_of("yY", year);
    return format.replace(year, end == std::string::npos ? std::string::npos : end - year, "yyyy");
}

}  // namespace

TReport3LogSource::~TReport3LogSource()
{
    try {
        Close();
    } catch (...) {
        // Closing a read-only table writes nothing that could be lost.
    }
}

void TReport3LogSource::Open(const std::string& FileName)
{
    if (!raising_) {
        previousRaise_ = xf::SetRaiseOnError(1);
        raising_ = true;
    }
    table_.Close();
    table_.SetReadOnly(true);
    // The frame has seen the file; a missing one is no empty log.
    table_.SetCreateIfNotFound(false);
    table_.SetDbfFileName(FileName);
    // The open takes the engine's date settings from the program's format.
    if (!dates_) dates_.emplace();
    rtl::ShortDateFormat = WithCentury(rtl::ShortDateFormat);
    table_.Open();
    if (const std::vector<std::string> lacked = LackedFields(table_); !lacked.empty()) {
        std::string names;
        for (const std::string& name : lacked) names += (names.empty() ? "" : ", ") + name;
        throw rtl::Exception(std::string("The file lacks ") + (lacked.size() == 1 ? "the field " : "the fields ") +
                             names + " of a Sendora 3 log.");
    }
    table_.First();
}

bool TReport3LogSource::Eof() { return table_.Eof(); }

void TReport3LogSource::Next() { table_.Next(); }

void TReport3LogSource::Close()
{
    table_.Close();
    table_.SetReadOnly(false);
    table_.SetCreateIfNotFound(true);
    dates_.reset();
    if (raising_) {
        xf::SetRaiseOnError(previousRaise_);
        raising_ = false;
    }
}

bool TReport3LogSource::Fill(db::TDataSet& Log)
{
    const auto text = [this](const char* name) { return xf::FieldAsDbfString(table_, name); };
    const auto put = [&Log](const char* name, const std::string& value) { Log.FieldByName(name)->SetAsString(value); };
    bool dated = false;
    rtl::TDateTime date = 0;
    if (rtl::TryStrToDateTime(rtl::Trim(xf::FieldAsDbfShortString(table_, "rdate")), date)) {
        Log.FieldByName("DateTime")->SetAsDateTime(date);
        dated = true;
    }
    const TRegroupedMailerNum number = RegroupMailerNum(rtl::Trim(text("mailernum")));
    put("MailerNum", number.MailerNum);
    if (!number.CustID.empty()) put("CustID", number.CustID);
    if (number.SerialNum) Log.FieldByName("SerialNum")->SetAsInteger(*number.SerialNum);
    for (const auto& pair : kCopied) put(pair[0], text(pair[1]));
    // The file keeps no returned receipts; "None" is what every open row of
    // the log holds, and what the returned-receipt lookups search for.
    put("Result", "None");
    return dated;
}

TLogImportKind Import3Kind()
{
    TLogImportKind kind;
    kind.OpeningText =
        "This utility will import all mailers from your Sendora 3 (Regular or lite) log file to your current Pro 3 log "
        "file located at... ";
    kind.Filter = "Sendo 3 Log Database(report3.dbf)|report3.dbf";
    kind.FileName = "report3.dbf";
    kind.InitialDir = gAppPath + "/Reports/";
    kind.ExpectedName = "report3.dbf";
    kind.NotFoundText = "No Sendo 3 log file exists in this location.";
    kind.InvalidText = "Invalid Sendo 3 (Regular or lite) log file.";
    return kind;
}
