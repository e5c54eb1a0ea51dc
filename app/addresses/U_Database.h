#pragma once
// The dialog that picks or creates the address-book folder (tables Address,
// Groups and Members). OK sets gAddressDB to the folder shown; Add makes a
// new address book in a sub-folder; Delete removes one that is not in use.

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class TF_Database;
}

class TF_Database : public QDialog {
    Q_OBJECT

public:
    explicit TF_Database(QWidget* parent = nullptr);
    ~TF_Database() override;

    // Whether the folder holds Address.edt, Groups.edt and Members.edt.
    static bool IsAddressDatabase(const std::string& folder);
    // Whether deleting the address book in the folder would pull it from
    // under the program: it is gAddressDB, or the address tables are open
    // on it.
    static bool AddressDatabaseInUse(const std::string& folder);

    std::string Directory() const { return directory_; }
    // Shows the folder and sets the buttons by what it holds.
    void SetDirectory(const std::string& folder);

    void AddClick();
    void DeleteClick();

private slots:
    void btnOKClick();

private:
    void FillDirectoryList();
    void FillDrives();

    const std::unique_ptr<Ui::TF_Database> ui;
    std::string directory_;
};
