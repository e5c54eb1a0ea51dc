#include "app/data/U_dmSendoPro.h"

#include "app/data/ShippedFiles.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "platform/db/DataSet.h"
#include "platform/db/DBTypes.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"

#include <exception>
#include <functional>

TdmSendoPro* dmSendoPro = nullptr;

TdmSendoPro& DataModule()
{
    if (dmSendoPro == nullptr) throw rtl::Exception("The program's tables are not open.");
    return *dmSendoPro;
}

namespace {

template <class T>
std::unique_ptr<T> Make(rtl::TComponent* owner, const char* name)
{
    auto component = std::make_unique<T>(owner);
    component->SetName(name);
    return component;
}

db::TIndexOptions OptionsOf(const TIndexSpec& index)
{
    db::TIndexOptions options;
    if (index.Unique) options.Include(db::ixUnique);
    if (index.CaseInsensitive) options.Include(db::ixCaseInsensitive);
    return options;
}

}  // namespace

TdmSendoPro::TdmSendoPro(rtl::TComponent* Owner)
    : rtl::TComponent(Owner),
      EdsSettings1(Make<TEdsSettings>(this, "EdsSettings1")),
      EdsConnection1(Make<TEdsConnection>(this, "EdsConnection1")),
      edsqZipCodes(Make<TEdsQuery>(this, "edsqZipCodes")),
      edstToAddress(Make<TEdsTable>(this, "edstToAddress")),
      edsqToAddress(Make<TEdsQuery>(this, "edsqToAddress")),
      edsqYourAddress(Make<TEdsQuery>(this, "edsqYourAddress")),
      edstMailerNum(Make<TEdsTable>(this, "edstMailerNum")),
      edstLog(Make<TEdsTable>(this, "edstLog")),
      edsqLog(Make<TEdsQuery>(this, "edsqLog")),
      edsqLog2(Make<TEdsQuery>(this, "edsqLog2")),
      logRows(*edsqLog),
      XfDbfReport(Make<xf::TXfDbf>(this, "XfDbfReport"))
{
    SetName("dmSendoPro");

    EdsSettings1->SetDateFormat("MM/DD/YY");
    EdsSettings1->SetNumDecimals(2);
    EdsSettings1->SetShowDeleted(true);
    EdsSettings1->SetEdsServerTypes({stEDS_REMOTE, stEDS_LOCAL});
    EdsSettings1->SetNumCachedTables(0);
    EdsSettings1->SetNumCachedCursors(25);

    EdsConnection1->SetEdsServerTypes({});
    EdsConnection1->SetLoginPrompt(true);
    EdsConnection1->SetCompression(ccEdsCompressionNotSet);

    edstLog->SetTableName(kLogTable);
    AddLogFields(*edstLog, false);
    // A query's result numbers LID as a plain integer.
    AddLogFields(*edsqLog, true);

    XfDbfReport->SetDbfFields({kXfDbfReportFields.begin(), kXfDbfReportFields.end()});
    XfDbfReport->SetHideDeletedRecs(false);
    XfDbfReport->SetTableLanguage(xf::tlOem);
    XfDbfReport->SetReadOnly(false);
    XfDbfReport->SetExclusive(false);

    RpDataSetConnection1.SetDataSet(&logRows);
    RpProject1.SetEngine(&RpSystem1);
    RpProject1.AddConnection(RpDataSetConnection1);
    RpSystem1.TitleSetup = "Output Options";
    RpSystem1.TitleStatus = "Report Status";
    RpSystem1.TitlePreview = "Report Preview";
    RpSystem1.StatusFormat = "Generating page %p";
    RpSystem1.PrintingStatusFormat = "Printing page %p";
    RpSystem1.PreviewMaximized = true;
    RpSystem1.PreviewZoom = 100;
    report::TSystemPrinter& printer = RpSystem1.SystemPrinter();
    printer.MarginLeft = printer.MarginTop = printer.MarginRight = printer.MarginBottom = 0.5;
    printer.Title = "ReportPrinter Report";
    RpSystem1.OnBeforePrint = [this] { RpSystem1BeforePrint(); };
    RpSystem1.OnPrint = [this](report::TBaseReport& r) { RpSystem1Print(r); };
    RpSystem1.OnPrintFooter = [this](report::TBaseReport& r) { RpSystem1PrintFooter(r); };
}

TdmSendoPro::~TdmSendoPro()
{
    if (dmSendoPro == this) dmSendoPro = nullptr;
}

void TdmSendoPro::AddLogFields(TEdsDataSet& DataSet, bool AutoIncAsInteger)
{
    for (const char* name : kLogFieldOrder) {
        const TLogColumn* column = FindLogColumn(name);
        switch (column->Kind) {
            case TColumnKind::AutoInc:
                if (AutoIncAsInteger)
                    db::CreateField<db::TIntegerField>(DataSet, name);
                else
                    db::CreateField<db::TAutoIncField>(DataSet, name);
                break;
            case TColumnKind::Char: db::CreateField<TEdsStringField>(DataSet, name, db::fkData, column->Width); break;
            case TColumnKind::Integer: db::CreateField<db::TIntegerField>(DataSet, name); break;
            case TColumnKind::Logical: db::CreateField<db::TBooleanField>(DataSet, name); break;
            case TColumnKind::TimeStamp: db::CreateField<db::TDateTimeField>(DataSet, name); break;
        }
    }
}

void TdmSendoPro::SetProgramFolder(const std::string& Folder)
{
    edsqZipCodes->Close();
    const std::optional<std::string> zipTable = FindShippedFile(kZipCodesTableFile);
    edsqZipCodes->SetDatabaseName(zipTable ? rtl::ExtractFileDir(*zipTable) : Folder);
    // A missing project is told when a report runs, naming where it was looked for.
    const std::optional<std::string> project = FindShippedFile(kReportProjectFile);
    RpProject1.SetProjectFile(project ? *project : rtl::JoinPath(ShippedFolders().front(), kReportProjectFile));
    EdsConnection1->SetIsConnected(false);
    EdsConnection1->SetConnectPath(rtl::IncludeTrailingPathDelimiter(Folder));
    EdsConnection1->SetIsConnected(true);
}

std::string TdmSendoPro::TableFileName(const std::string& Folder, const std::string& Name)
{
    return rtl::JoinPath(Folder, Name + kTableExtension);
}

bool TdmSendoPro::TableExists(const std::string& Folder, const std::string& Name)
{
    return rtl::FindFileNoCase(Folder.empty() ? "." : Folder, Name + kTableExtension).has_value();
}

void TdmSendoPro::CreateTableFile(const std::string& Folder, const std::string& Name, const std::string& Fields)
{
    TEdsTable work;
    work.CreateTable(TableFileName(Folder, Name), ttEdsEDT, ANSI, 0, Fields);
}

void TdmSendoPro::CreateEdsTable(const std::string& Folder, const std::string& Name, const std::string& Fields)
{
    CreateTableFile(Folder, Name, Fields);
    CompleteTable(Folder, Name);
}

void TdmSendoPro::EnsureTable(const std::string& Folder, const std::string& Name)
{
    const std::string fields = FieldSpecOf(Name);
    if (fields.empty()) throw rtl::Exception("Table " + Name + " is not one the program creates.");
    if (!TableExists(Folder, Name))
        CreateEdsTable(Folder, Name, fields);
    else
        CompleteTable(Folder, Name);
}

void TdmSendoPro::CompleteTable(const std::string& Folder, const std::string& Name)
{
    if (Name == kMailerNumTable)
        EnsureSeedRow(Folder);
    else if (Name == kGroupsTable || Name == kMembersTable)
        EnsureIndex(Folder, Name);
    else if (Name == kLogTable)
        EnsureLogSideTables(Folder);
}

void TdmSendoPro::EnsureBatchIndex(const std::string& Folder)
{
    TEdsQuery work;
    work.SetDatabaseName(Folder);
    work.SetSQLText(kLogBatchIndexSql);
    work.ExecSQL();
}

void TdmSendoPro::EnsureSeedRow(const std::string& Folder)
{
    TEdsTable work;
    work.SetDatabaseName(Folder);
    work.SetTableName(kMailerNumTable);
    work.Open();
    if (!work.IsEmpty()) return;
    work.Append();
    work.FieldByName("CustID")->SetAsString("000000000");
    work.FieldByName("SerialNum")->SetAsString("0000000");
    work.FieldByName("Increment")->SetAsBoolean(true);
    work.FieldByName("BarCodes")->SetAsBoolean(true);
    work.Post();
}

void TdmSendoPro::EnsureIndex(const std::string& Folder, const std::string& Name)
{
    const TIndexSpec* index = IndexOfTable(Name);
    if (index == nullptr) return;
    TEdsTable work;
    work.SetDatabaseName(Folder);
    work.SetTableName(Name);
    work.UpdateIndexDefs();
    if (work.IndexDefs().IndexOf(index->Name) >= 0) return;
    work.AddIndex(index->Name, index->Fields, OptionsOf(*index));
}

void TdmSendoPro::EnsureLogSideTables(const std::string& Folder)
{
    const auto ensureFile = [&](const char* name) {
        if (!TableExists(Folder, name)) CreateTableFile(Folder, name, FieldSpecOf(name));
    };
    ensureFile(kLogFiltersTable);
    ensureFile(kLogFiltersDetailTable);
    EnsureIndex(Folder, kLogFiltersTable);
    ensureFile(kReportsTable);
    EnsureIndex(Folder, kReportsTable);
    ensureFile(kReportDetailTable);
    EnsureBatchIndex(Folder);
}

void TdmSendoPro::CloseAllTables()
{
    std::exception_ptr first;
    const auto step = [&first](const std::function<void()>& action) {
        try {
            action();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    };
    step([this] { edsqZipCodes->Close(); });
    step([this] { edstToAddress->Close(); });
    step([this] { edsqToAddress->Close(); });
    step([this] { edsqYourAddress->Close(); });
    step([this] { edstMailerNum->Close(); });
    step([this] { edstMailerNum->SetExclusive(false); });
    step([this] { edstLog->Close(); });
    step([this] { edsqLog->Close(); });
    step([this] { edsqLog2->Close(); });
    step([this] { XfDbfReport->Close(); });
    step([this] { EdsConnection1->SetIsConnected(false); });
    if (first) std::rethrow_exception(first);
}
