#pragma once
// The list of sender ("Your Name and Address") addresses in table
// YourAddress of gYourAddressDB: new, edit, delete, find, and the choice of
// the sender. OK with one address selected makes it the sender
// (gYourAddressID and gYourAddress1..4, gYourCity, gYourState, gYourZip).

#include <QDialog>

#include <memory>
#include <string>

class QAction;
class QWidget;
class QFontMetrics;
class QListWidgetItem;
class QMenu;
class TAddressRec;

namespace Ui {
class TF_YourAddress;
}

// The last search text of the address searches, kept for the whole run.
extern std::string gFindText;

// Asks for the search text, starting from the last one; true on OK, with
// the entry in gFindText.
bool AskFindText(QWidget* parent);

// The caption of an address item: the trimmed Address1, or the trimmed
// "City State Zip" when Address1 is blank.
std::string AddressCaption(const TAddressRec& rec);
// The address block: the four lines with the city-state-ZIP line added,
// non-blank lines joined by LF CR.
std::string AddressHint(const TAddressRec& rec);
// A text upper-cased for searching: every letter, accented ones too ('ü'
// and 'Ü' alike), so a search finds a name however it was typed.
std::string AddressSearchText(const std::string& text);
// Whether the search text (made by AddressSearchText) occurs in one of the
// seven fields.
bool AddressMatches(const TAddressRec& rec, const std::string& upperText);
// A folder or file name shortened to fit a label: when wider than `limit`
// pixels, leading folders go while it is at least `keep` wide, and ".../"
// goes in front.
std::string FitFolderText(std::string text, const QFontMetrics& metrics, int limit, int keep);

class TF_YourAddress : public QDialog {
    Q_OBJECT

public:
    explicit TF_YourAddress(QWidget* parent = nullptr);
    ~TF_YourAddress() override;

    // Reads the list again from gYourAddressDB and selects gYourAddressID.
    void LoadList();
    // The record of a list row (null when out of range).
    const TAddressRec* Record(int row) const;

    // The commands, also reachable through the tool buttons and pop-up menu.
    void NewClick();
    void EditClick();
    void DeleteClick();
    void FindClick();
    // Searches for gFindText from the item after the selection, wrapping.
    void FindAddress();

    QMenu* PopupMenu() const { return popup_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void lvYourAddressSelectionChanged();
    void btnChangeYourDBClick();
    void btnOKClick();

private:
    void ClearLabels();
    void SetDatabaseLabel();
    void SelectRow(int row);

    const std::unique_ptr<Ui::TF_YourAddress> ui;
    QMenu* popup_;
    QAction* miNew;
    QAction* miEdit;
    QAction* miDelete;
    QAction* miFind;
    bool shownOnce_ = false;
};
