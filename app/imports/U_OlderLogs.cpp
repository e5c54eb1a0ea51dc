#include "app/imports/U_OlderLogs.h"

#include "app/data/U_Settings.h"
#include "dbaccess/edsquery.h"
#include "platform/db/Fields.h"
#include "platform/rtl/SysUtils.h"

#include <array>
#include <filesystem>

const char* const k25LogQuery =
    "select DateTime, MailerNum, SendAddress0,SendAddress1, SendAddress2, SendAddress3, SendCity, SendState, "
    "SendZip, FromAddress0, FromAddress1, FromAddress2, FromAddress3, FromAddress4, Postage, Certified, Special, "
    "Restricted, Return, Total, Department,  ProcessedBy, RE, Comment, WishRest, Batch, Received from LOG";

namespace {

std::string FolderOf(const std::string& FileName) {
    return std::filesystem::path(FileName).parent_path().string();
}

std::string Text(db::TDataSet& source, const char* name) { return source.FieldByName(name)->AsString(); }

std::string TrimmedLeft(db::TDataSet& source, const char* name, std::size_t count) {
    return rtl::Trim(Text(source, name).substr(0, count));
}

void Put(db::TDataSet& log, const char* name, const std::string& value) { log.FieldByName(name)->SetAsString(value); }

// Copies the date when the source holds a readable one; false otherwise.
bool PutDate(db::TDataSet& log, const db::TField& from) {
    if (from.IsNull()) return false;
    double value = 0;
    try {
        value = from.AsDateTime();
    } catch (const std::exception&) {
        return false;
    }
    log.FieldByName("DateTime")->SetAsDateTime(value);
    return true;
}

// Whether a value of From can be stored into To as it is held: logicals, and
// texts of one size (both tables hold the engine's Windows-1252 text).
bool SameNativeForm(const db::TField& From, const db::TField& To) {
    if (From.DataType() != To.DataType()) return false;
    if (From.DataType() == db::ftBoolean) return true;
    return From.DataType() == db::ftString && From.Size() == To.Size();
}

void PutMailerNum(db::TDataSet& log, const TRegroupedMailerNum& number) {
    Put(log, "MailerNum", number.MailerNum);
    if (!number.CustID.empty()) Put(log, "CustID", number.CustID);
    if (number.SerialNum) log.FieldByName("SerialNum")->SetAsInteger(*number.SerialNum);
}

}  // namespace

void TQueryLogSource::Open(const std::string& FileName) {
    query_.Close();
    query_.SetDatabaseName(FolderOf(FileName));
    query_.SetSQLText(sql_);
    query_.Open();
}
bool TQueryLogSource::Eof() { return query_.Eof(); }
void TQueryLogSource::Next() { query_.Next(); }
void TQueryLogSource::Close() { query_.Close(); }

// ---- edition 2.5 --------------------------------------------------------------------------

T25LogSource::T25LogSource(TEdsQuery& Query) : TQueryLogSource(Query, k25LogQuery) {}

bool T25LogSource::Fill(db::TDataSet& Log) {
    db::TDataSet& in = query_;
    const bool dated = PutDate(Log, *in.FieldByName("DateTime"));
    PutMailerNum(Log, RegroupMailerNum(rtl::Trim(Text(in, "MailerNum")).substr(0, 27)));
    static constexpr const char* kTo[][2] = {{"ToAddress1", "SendAddress0"}, {"ToAddress2", "SendAddress1"},
                                             {"ToAddress3", "SendAddress2"}, {"ToAddress4", "SendAddress3"},
                                             {"ToCity", "SendCity"},         {"ToState", "SendState"},
                                             {"ToZip", "SendZip"}};
    for (const auto& pair : kTo) Put(Log, pair[0], Text(in, pair[1]));

    const TSenderSplit sender = SplitSender({Text(in, "FromAddress0"), Text(in, "FromAddress1"),
                                             Text(in, "FromAddress2"), Text(in, "FromAddress3"),
                                             Text(in, "FromAddress4")});
    for (std::size_t i = 0; i < 4; ++i) Put(Log, ("YourAddress" + std::to_string(i + 1)).c_str(), sender.Lines[i]);
    Put(Log, "YourCity", sender.City);
    Put(Log, "YourState", sender.State);
    Put(Log, "YourZip", sender.Zip);

    for (const char* money : {"Postage", "Certified", "Return", "Restricted", "Total"})
        Put(Log, money, rtl::Trim(Text(in, money)));
    Put(Log, "Department", TrimmedLeft(in, "Department", 20));
    Put(Log, "ProcessedBy", TrimmedLeft(in, "ProcessedBy", 20));
    Put(Log, "RE", TrimmedLeft(in, "RE", 25));
    Put(Log, "Comment", TrimmedLeft(in, "Comment", 35));
    Log.FieldByName("WishRest")->SetAsBoolean(Text(in, "WishRest") == "X");
    Log.FieldByName("Batch")->SetAsBoolean(Text(in, "Batch") == "X");
    Put(Log, "Result", Text(in, "Received") == "Y" ? "Received" : "None");
    return dated;
}

// ---- edition 3 Pro ------------------------------------------------------------------------

TPro3LogSource::TPro3LogSource(TEdsQuery& Query)
    : TQueryLogSource(Query, "select * from Log37 order by DATETIME") {}

void TPro3LogSource::Close() {
    pairsFor_ = nullptr;
    TQueryLogSource::Close();
}

bool TPro3LogSource::Fill(db::TDataSet& Log) {
    db::TDataSet& in = query_;
    // Looked up once per run: by name for each of 100,000 rows cost more than the copy.
    if (pairsFor_ != &Log) {
        pairs_.clear();
        for (const char* name : {"MailerNum",    "CustID",       "ToAddress1",   "ToAddress2", "ToAddress3",
                                 "ToAddress4",   "ToCity",       "ToState",      "ToZip",      "YourAddress1",
                                 "YourAddress2", "YourAddress3", "YourAddress4", "YourCity",   "YourState",
                                 "YourZip",      "Postage",      "Certified",    "Return",     "Restricted",
                                 "Total",        "Department",   "ProcessedBy",  "RE",         "Comment",
                                 "Result",       "SerialNum",    "WishRest",     "Batch"})
            pairs_.push_back({in.FieldByName(name), Log.FieldByName(name)});
        dateFrom_ = in.FieldByName("DateTime");
        pairsFor_ = &Log;
    }
    const bool dated = PutDate(Log, *dateFrom_);
    // Copied in their stored form where both sides hold the same one: the same
    // value as through AsString and SetAsString, without taking each text to
    // UTF-8 and back for 100,000 rows.
    std::array<char, 512> native;
    for (const auto& [from, to] : pairs_) {
        if (SameNativeForm(*from, *to) && static_cast<std::size_t>(from->DataSize()) <= native.size()) {
            if (from->GetData(native.data())) to->SetData(native.data());
            continue;
        }
        if (from->IsNull()) continue;
        switch (to->DataType()) {
        case db::ftBoolean: to->SetAsBoolean(from->AsBoolean()); break;
        case db::ftInteger: to->SetAsInteger(from->AsInteger()); break;
        default: to->SetAsString(from->AsString()); break;
        }
    }
    return dated;
}

// ---- the dialogs' texts -------------------------------------------------------------------

TLogImportKind Import25Kind() {
    TLogImportKind kind;
    kind.OpeningText =
        "This utility will import all mailers from your Sendora 2.5 Pro log file to your current log file located "
        "at... ";
    kind.Filter = "Sendo Pro 2.5 Log Database(log.edt)|log.edt";
    kind.InitialDir = gAppPath;
    kind.ExpectedName = "log.edt";
    kind.NotFoundText = "No Sendo Pro 2.5 log file exists in this location.";
    kind.InvalidText = "Invalid Sendo Pro 2.5 log file.";
    kind.OpenFailedText = "Invalid Sendo Pro 2.5 Log Database";
    return kind;
}

TLogImportKind ImportPro3Kind() {
    TLogImportKind kind;
    kind.OpeningText =
        "This utility will import all mailers from a Sendora Pro 3 log file to your current Pro 3 log file located "
        "at... ";
    kind.Filter = "Sendo 3 Pro Log Database(Log37.edt)|Log37.edt";
    kind.FileName = "Log37.edt";
    kind.InitialDir = gAppPath;
    kind.ExpectedName = "Log37.edt";
    kind.NotFoundText = "No Sendo Pro 3 log file exists in this location.";
    kind.InvalidText = "Invalid Sendo Pro 3 log file.";
    return kind;
}
