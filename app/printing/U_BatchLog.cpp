#include "app/printing/U_BatchLog.h"

#include "app/data/U_ArticleNumber.h"
#include "app/data/U_Globals.h"
#include "app/data/U_MainEntry.h"
#include "app/data/U_Settings.h"
#include "app/data/U_TextRoutines.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "dbaccess/edsquery.h"
#include "platform/rtl/DateUtils.h"

#include <cmath>

namespace {

std::int64_t Cents(const std::string& fee)
{
    const std::optional<double> amount = FeeAmount(fee);
    return amount ? std::llround(*amount * 100.0) : 0;
}

const std::string kLog = kLogTable;
const std::string kWhereBatch = std::string(" where ") + kBatchCondition;

}  // namespace

std::int64_t PriorityFeeCents(const TBatchRow& Row)
{
    return Cents(Row.Total) - (Cents(Row.Postage) + Cents(Row.Certified) + Cents(Row.Return) + Cents(Row.Restricted));
}

MailerPrintFields BatchPrintRecord(const TBatchRow& Row, const std::string& CustID, const std::string& Serial,
                                   bool PrintBarcodes)
{
    MailerPrintFields rec;
    const auto lines = [&rec](std::size_t first, std::string l1, std::string l2, std::string l3, std::string l4,
                              const std::string& city, const std::string& state, const std::string& zip) {
        std::string extra;
        AddCityStateZipLine(l1, l2, l3, l4, extra, city, state, zip);
        rec[first] = std::move(l1);
        rec[first + 1] = std::move(l2);
        rec[first + 2] = std::move(l3);
        rec[first + 3] = std::move(l4);
        rec[first + 4] = std::move(extra);
    };
    lines(0, Row.YourAddress1, Row.YourAddress2, Row.YourAddress3, Row.YourAddress4, Row.YourCity, Row.YourState,
          Row.YourZip);
    rec[5] = Row.YourZip;
    lines(6, Row.ToAddress1, Row.ToAddress2, Row.ToAddress3, Row.ToAddress4, Row.ToCity, Row.ToState, Row.ToZip);
    rec[11] = Row.ToZip;
    rec[12] = Row.RE;
    rec[13] = Row.Comment;
    rec[14] = Row.WishRest ? "Y" : "N";

    const std::int64_t priorityFee = PriorityFeeCents(Row);
    const bool priority = priorityFee > 0;
    const std::string custId = WithoutDashes(CustID);
    if (PrintBarcodes) {
        rec[15] = custId;
        rec[16] = Serial;
    } else {
        rec[15] = MakeArticleNumber(custId, Serial, Row.ToZip, "T", priority);
    }
    rec[17] = Row.Postage;
    rec[18] = Row.Certified;
    rec[19] = Row.Return;
    rec[20] = Row.Restricted;
    rec[21] = Row.Total;
    rec[22] = std::to_string(gAlignLeftRight);
    rec[23] = std::to_string(gAlignTopBottom);
    rec[24] = gPrintExtraLabel;
    rec[25] = gExtraLabel;
    rec[26] = Row.Department;
    rec[27] = Row.ProcessedBy;
    rec[28] = priority ? "Y" : "N";
    if (priority) rec[29] = FormatMoney(static_cast<double>(priorityFee) / 100.0);
    return rec;
}

TBatchLog::TBatchLog(const std::string& Folder) : query_(std::make_unique<TEdsQuery>())
{
    query_->SetDatabaseName(Folder);
}

TBatchLog::~TBatchLog() = default;

bool TBatchLog::Any()
{
    query_->Close();
    query_->SetSQLText("select LID from " + kLog + kWhereBatch + " limit 1");
    query_->Open();
    const bool any = !query_->Eof();
    query_->Close();
    return any;
}

std::vector<TBatchRow> TBatchLog::Read()
{
    query_->Close();
    query_->SetSQLText("select * from " + kLog + kWhereBatch + " order by LID");
    query_->Open();
    std::vector<TBatchRow> rows;
    const auto text = [this](const char* name) { return query_->FieldByName(name)->AsString(); };
    for (query_->First(); !query_->Eof(); query_->Next()) {
        TBatchRow row;
        row.LID = query_->FieldByName("LID")->AsInteger();
        row.ToAddress1 = text("ToAddress1");
        row.ToAddress2 = text("ToAddress2");
        row.ToAddress3 = text("ToAddress3");
        row.ToAddress4 = text("ToAddress4");
        row.ToCity = text("ToCity");
        row.ToState = text("ToState");
        row.ToZip = text("ToZip");
        row.YourAddress1 = text("YourAddress1");
        row.YourAddress2 = text("YourAddress2");
        row.YourAddress3 = text("YourAddress3");
        row.YourAddress4 = text("YourAddress4");
        row.YourCity = text("YourCity");
        row.YourState = text("YourState");
        row.YourZip = text("YourZip");
        row.Postage = text("Postage");
        row.Certified = text("Certified");
        row.Return = text("Return");
        row.Restricted = text("Restricted");
        row.Total = text("Total");
        row.Department = text("Department");
        row.ProcessedBy = text("ProcessedBy");
        row.RE = text("RE");
        row.Comment = text("Comment");
        row.WishRest = query_->FieldByName("WishRest")->AsBoolean();
        rows.push_back(std::move(row));
    }
    query_->Close();
    return rows;
}

bool TBatchLog::MarkPrinted(std::int32_t LID, const TPrintedNumber& Number)
{
    query_->Close();
    query_->SetSQLText("update " + kLog +
                       " set DateTime = :DateTime, MailerNum = :MailerNum, CustID = :CustID, SerialNum = :SerialNum, "
                       "Batch = False where LID = :LID and " + kBatchCondition);
    query_->ParamByName("DateTime")->SetAsDateTime(rtl::Now());
    query_->ParamByName("MailerNum")->SetAsString(Number.MailerNum);
    query_->ParamByName("CustID")->SetAsString(Number.CustID);
    query_->ParamByName("SerialNum")->SetAsInteger(Number.SerialNum);
    query_->ParamByName("LID")->SetAsInteger(LID);
    query_->ExecSQL();
    return query_->RowsAffected() == 1;
}

std::int32_t TBatchLog::Clear()
{
    query_->Close();
    query_->SetSQLText("delete from " + kLog + kWhereBatch);
    query_->ExecSQL();
    return query_->RowsAffected();
}

std::string BatchPrintedMessage(int Count, const std::string& First, const std::string& Last)
{
    if (Count == 1) return "1 Mailer from Batch has been sent to printer.  The Mailer Number was:\n\r\n\r" + First;
    return std::to_string(Count) + " Mailers from Batch has been sent to printer.\n\r\n\rFirst Mailer Number: " +
           First + "\n\rLast Mailer Number: " + Last;
}
