#include "app/addresses/U_NetworkSettings.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include "ui_U_NetworkSettings.h"


#include <exception>

namespace {

struct TDbInfo {
    const char* Table;
    const char* Filter;
    const char* Missing;  // Change picked no such table file
    const char* Exists;   // Create found one already
};

const TDbInfo& Info(TF_NetworkSettings::TDb db)
{
    static const TDbInfo kYourAddress{
        kYourAddressTable, "Your Address DB|YourAddress.edt", "A Your Address DB does not exist in this directory.",
        "Your Address DB already exists in this folder.  Please select a folder to create a new Your Address DB."};
    static const TDbInfo kMailerNum{
        kMailerNumTable, "Mailer Number DB|MailerNum.edt", "A Mailer Num DB does not exist in this directory.",
        "Mailer Number DB already exists in this folder.  Please select a folder to create a new Mailer Number "
        "DB."};
    static const TDbInfo kLog{kLogTable, "Log DB|Log37.edt", "A Log DB does not exist in this directory.",
                              "Log DB already exists in this folder.  Please select a folder to create a new Log DB."};
    switch (db) {
    case TF_NetworkSettings::TDb::YourAddress: return kYourAddress;
    case TF_NetworkSettings::TDb::MailerNum: return kMailerNum;
    case TF_NetworkSettings::TDb::Log: break;
    }
    return kLog;
}

std::string TableFile(const char* table) { return std::string(table) + kTableExtension; }

}  // namespace


TF_NetworkSettings::TF_NetworkSettings(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TF_NetworkSettings>())
{
    ui->setupUi(this);
    SetShown(TDb::YourAddress, TdmSendoPro::TableFileName(gYourAddressDB, kYourAddressTable));
    SetShown(TDb::MailerNum, TdmSendoPro::TableFileName(gMailerNumDB, kMailerNumTable));
    SetShown(TDb::Log, TdmSendoPro::TableFileName(gLogDB, kLogTable));
    connect(ui->btnChangeYourDB, &QPushButton::clicked, this, [this] { Change(TDb::YourAddress); });
    connect(ui->btnCreateYourDB, &QPushButton::clicked, this, [this] { Create(TDb::YourAddress); });
    connect(ui->btnChangeMailerNum, &QPushButton::clicked, this, [this] { Change(TDb::MailerNum); });
    connect(ui->btnCreateMailerNum, &QPushButton::clicked, this, [this] { Create(TDb::MailerNum); });
    connect(ui->btnChangeLogDB, &QPushButton::clicked, this, [this] { Change(TDb::Log); });
    connect(ui->btnCreateLogDB, &QPushButton::clicked, this, [this] { Create(TDb::Log); });
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_NetworkSettings::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TF_NetworkSettings::~TF_NetworkSettings() = default;

std::string TF_NetworkSettings::Shown(TDb db) const
{
    switch (db) {
    case TDb::YourAddress: return ui->lblYourAddressDB->text().toStdString();
    case TDb::MailerNum: return ui->lblMailerNumber->text().toStdString();
    case TDb::Log: break;
    }
    return ui->lblLogDB->text().toStdString();
}

void TF_NetworkSettings::SetShown(TDb db, const std::string& fileName)
{
    const QString text = QString::fromStdString(fileName);
    switch (db) {
    case TDb::YourAddress: ui->lblYourAddressDB->setText(text); return;
    case TDb::MailerNum: ui->lblMailerNumber->setText(text); return;
    case TDb::Log: ui->lblLogDB->setText(text); return;
    }
}

void TF_NetworkSettings::Change(TDb db)
{
    const TDbInfo& info = Info(db);
    OpenDialog1.InitialDir = rtl::ExtractFileDir(Shown(db));
    OpenDialog1.FileName.clear();
    OpenDialog1.Filter = info.Filter;
    OpenDialog1.MustExist = true;
    if (!OpenDialog1.Execute(this)) return;
    const std::string& chosen = OpenDialog1.FileName;
    // Only the table's own file name will do: a folder is taken for what it
    // holds, and a look-alike ("OldLog37.edt") would leave the table behind.
    if (rtl::FileExists(chosen) && rtl::SameText(rtl::ExtractFileName(chosen), TableFile(info.Table)))
        SetShown(db, chosen);
    else
        ui::ShowError(info.Missing);
}

void TF_NetworkSettings::Create(TDb db)
{
    const TDbInfo& info = Info(db);
    OpenDialog1.InitialDir = gAppPath;
    OpenDialog1.FileName = TableFile(info.Table);
    OpenDialog1.Filter = info.Filter;
    OpenDialog1.MustExist = false;
    if (!OpenDialog1.Execute(this)) return;
    const std::string folder = rtl::ExtractFileDir(OpenDialog1.FileName);
    if (TdmSendoPro::TableExists(folder, info.Table)) {
        ui::ShowError(info.Exists);
        return;
    }
    try {
        DataModule().CreateEdsTable(folder, info.Table, FieldSpecOf(info.Table));
    } catch (const std::exception& e) {
        ShowFailure("The table could not be made in " + folder + ".", e);
        return;
    }
    SetShown(db, TdmSendoPro::TableFileName(folder, info.Table));
}

void TF_NetworkSettings::btnOKClick()
{
    gYourAddressDB = rtl::ExcludeTrailingPathDelimiter(rtl::ExtractFileDir(Shown(TDb::YourAddress)));
    gMailerNumDB = rtl::ExcludeTrailingPathDelimiter(rtl::ExtractFileDir(Shown(TDb::MailerNum)));
    gLogDB = rtl::ExcludeTrailingPathDelimiter(rtl::ExtractFileDir(Shown(TDb::Log)));
    done(1);
}
