#include "app/addresses/U_Database.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_Globals.h"
#include "app/data/U_Settings.h"
#include "app/dialogs/U_SingleEdit.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"
#include "platform/ui/WaitCursor.h"

#include "ui_U_Database.h"

#include <QSignalBlocker>
#include <QStorageInfo>

#include <algorithm>
#include <array>
#include <exception>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::array<const char*, 3> kAddressBookTables{kAddressTable, kGroupsTable, kMembersTable};

QString Q(const std::string& text) { return QString::fromStdString(text); }

bool SameFolder(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty()) return false;
    std::error_code ec1, ec2;
    const fs::path pa = fs::weakly_canonical(rtl::NormalizePath(a), ec1);
    const fs::path pb = fs::weakly_canonical(rtl::NormalizePath(b), ec2);
    if (ec1 || ec2) return rtl::ExcludeTrailingPathDelimiter(rtl::NormalizePath(a)) ==
                           rtl::ExcludeTrailingPathDelimiter(rtl::NormalizePath(b));
    return pa == pb;
}

// A name typed for the new folder must name one folder inside the current one.
bool ValidFolderName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

// Removes a file of the table, found without regard to case, when it is there.
void RemoveIfPresent(const std::string& folder, const std::string& name)
{
    if (const std::optional<std::string> file = rtl::FindFileNoCase(folder, name)) fs::remove(*file);
}

}  // namespace

TF_Database::TF_Database(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_Database>())
{
    ui->setupUi(this);
    connect(ui->dirlbDB, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { SetDirectory(item->data(Qt::UserRole).toString().toStdString()); });
    connect(ui->DriveComboBox1, &QComboBox::activated, this,
            [this](int index) { SetDirectory(ui->DriveComboBox1->itemData(index).toString().toStdString()); });
    connect(ui->btnAdd, &QPushButton::clicked, this, &TF_Database::AddClick);
    connect(ui->btnDelete, &QPushButton::clicked, this, &TF_Database::DeleteClick);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_Database::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    FillDrives();
    SetDirectory(rtl::DirectoryExists(gAddressDB) ? gAddressDB : gAppPath);
}

TF_Database::~TF_Database() = default;

bool TF_Database::IsAddressDatabase(const std::string& folder)
{
    return std::all_of(kAddressBookTables.begin(), kAddressBookTables.end(),
                       [&folder](const char* table) { return TdmSendoPro::TableExists(folder, table); });
}

bool TF_Database::AddressDatabaseInUse(const std::string& folder)
{
    if (SameFolder(folder, gAddressDB)) return true;
    if (dmSendoPro == nullptr) return false;
    for (const TEdsDataSet* dataSet : {static_cast<const TEdsDataSet*>(dmSendoPro->edstToAddress.get()),
                                       static_cast<const TEdsDataSet*>(dmSendoPro->edsqToAddress.get())})
        if (dataSet->Active() && SameFolder(folder, dataSet->DatabaseName())) return true;
    return false;
}

void TF_Database::FillDrives()
{
    std::vector<std::string> roots{"/"};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady()) roots.push_back(volume.rootPath().toStdString());
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    for (const std::string& root : roots) ui->DriveComboBox1->addItem(Q(root), Q(root));
}

void TF_Database::SetDirectory(const std::string& folder)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(rtl::NormalizePath(folder), ec);
    directory_ = rtl::ExcludeTrailingPathDelimiter(ec ? folder : absolute.lexically_normal().string());
    ui->labelDirectory->setText(Q(directory_));
    FillDirectoryList();

    // The volume holding the folder: the longest root that starts its path.
    int best = -1;
    std::size_t bestLength = 0;
    for (int i = 0; i < ui->DriveComboBox1->count(); ++i) {
        const std::string root =
            rtl::IncludeTrailingPathDelimiter(ui->DriveComboBox1->itemData(i).toString().toStdString());
        if (rtl::IncludeTrailingPathDelimiter(directory_).rfind(root, 0) == 0 && root.size() >= bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    const QSignalBlocker blocker(ui->DriveComboBox1);
    ui->DriveComboBox1->setCurrentIndex(best);

    const bool database = IsAddressDatabase(directory_);
    ui->btnAdd->setEnabled(!database);
    ui->btnDelete->setEnabled(database);
    ui->btnOK->setEnabled(database);
}

void TF_Database::FillDirectoryList()
{
    ui->dirlbDB->clear();
    // The folders leading to the current one, then its sub-folders.
    const std::vector<std::string> parts = rtl::SplitPath(directory_);
    std::string path = "/";
    const auto add = [this](const std::string& caption, const std::string& target, int depth) {
        auto* item = new QListWidgetItem(QString(depth * 2, ' ') + Q(caption), ui->dirlbDB);  // the list owns it
        item->setData(Qt::UserRole, Q(target));
        return item;
    };
    add("/", "/", 0);
    int depth = 1;
    for (const std::string& part : parts) {
        path = rtl::JoinPath(path, part);
        add(part, path, depth++);
    }
    ui->dirlbDB->setCurrentRow(ui->dirlbDB->count() - 1);
    std::vector<std::string> children;
    std::error_code ec;
    for (fs::directory_iterator it(directory_, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) children.push_back(it->path().filename().string());
    }
    std::sort(children.begin(), children.end());
    for (const std::string& child : children) add(child, rtl::JoinPath(directory_, child), depth);
}

void TF_Database::AddClick()
{
    TF_SingleEdit dialog(this);
    dialog.Prepare("New Database", "Enter Name for New Database", "");
    if (dialog.exec() != ui::mrOk) return;
    const std::string name = rtl::Trim(gSingleEditText);
    if (!ValidFolderName(name)) {
        ui::ShowError("\"" + name + "\" is not a valid folder name.");
        return;
    }
    const std::string folder = rtl::JoinPath(directory_, name);
    try {
        fs::create_directories(folder);
        ui::WaitCursor hourglass;
        for (const char* table : kAddressBookTables)
            if (!TdmSendoPro::TableExists(folder, table)) {
                if (dmSendoPro == nullptr) throw rtl::Exception("The data module is not running.");
                dmSendoPro->CreateEdsTable(folder, table, FieldSpecOf(table));
            }
    } catch (const std::exception& e) {
        ShowFailure("The address book could not be made in " + folder + ".", e);
        SetDirectory(directory_);
        return;
    }
    SetDirectory(folder);
}

void TF_Database::DeleteClick()
{
    if (!IsAddressDatabase(directory_)) return;
    // The dialog opened none of these tables, so it closes none: an address
    // book that is open or chosen stays as it is.
    if (AddressDatabaseInUse(directory_)) {
        ui::ShowError("This database is in use and cannot be deleted.");
        return;
    }
    if (ui::AskYesNoCancel("Are you sure you want to delete this database?") != ui::mrYes) return;
    const std::string folder = directory_;
    try {
        ui::WaitCursor hourglass;
        for (const char* table : kAddressBookTables) {
            const std::string file = std::string(table) + kTableExtension;
            RemoveIfPresent(folder, file);
            // The table's companions: its lock file and a journal left by a crash.
            RemoveIfPresent(folder, file + ".lck");
            RemoveIfPresent(folder, file + "-journal");
        }
    } catch (const std::exception& e) {
        ShowFailure("The address book in " + folder + " could not be deleted.", e);
        SetDirectory(folder);
        return;
    }
    // Only an empty folder goes; other files keep it, without a word.
    std::error_code ec;
    fs::remove(folder, ec);
    SetDirectory(rtl::DirectoryExists(folder) ? folder : rtl::ExtractFileDir(folder));
}

void TF_Database::btnOKClick()
{
    if (!IsAddressDatabase(directory_)) return;
    gAddressDB = directory_;
    done(ui::mrOk);
}
