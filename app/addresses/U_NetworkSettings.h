#pragma once
// The dialog that picks or creates the folders of the sender-address,
// mailer-number and log tables. Change takes an existing table file; Create
// makes a new table in a folder that has none. OK takes the three folders
// into gYourAddressDB, gMailerNumDB and gLogDB; Cancel changes none of them
// (a table made by Create stays on disk).

#include <QDialog>

#include "app/dialogs/U_FileDialogs.h"

#include <functional>
#include <memory>
#include <string>

namespace Ui {
class TF_NetworkSettings;
}

class TF_NetworkSettings : public QDialog {
    Q_OBJECT

public:
    explicit TF_NetworkSettings(QWidget* parent = nullptr);
    ~TF_NetworkSettings() override;

    // The three tables the dialog places.
    enum class TDb { YourAddress, MailerNum, Log };

    void Change(TDb db);
    void Create(TDb db);
    // The table file the dialog shows for db.
    std::string Shown(TDb db) const;

private slots:
    void btnOKClick();

private:
    void SetShown(TDb db, const std::string& fileName);

    const std::unique_ptr<Ui::TF_NetworkSettings> ui;
    TOpenDialog OpenDialog1;
};
