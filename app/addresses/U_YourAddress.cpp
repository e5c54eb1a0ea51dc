#include "app/addresses/U_YourAddress.h"

#include "app/addresses/U_Address.h"
#include "app/data/FailureMessage.h"
#include "app/data/RowEdit.h"
#include "app/data/U_Globals.h"
#include "app/addresses/U_NetworkSettings.h"
#include "app/data/U_Records.h"
#include "app/data/U_Settings.h"
#include "app/dialogs/U_SingleEdit.h"
#include "app/data/U_TextRoutines.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include "ui_U_YourAddress.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

#include <array>
#include <exception>

std::string gFindText;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The ID of an address that could not be saved: row IDs start at 1.
constexpr std::int32_t kUnsavedID = 0;

// A list row owns its record; it goes with the row.
class TAddressItem : public QListWidgetItem {
public:
    explicit TAddressItem(TAddressRec rec) : Rec(std::move(rec)) { Refresh(); }
    void Refresh()
    {
        setText(Q(AddressCaption(Rec) + (Rec.ID == kUnsavedID ? " (not saved)" : "")));
        setToolTip(Q(AddressHint(Rec)));
    }
    TAddressRec Rec;
};

TAddressItem* AsAddressItem(QListWidgetItem* item) { return dynamic_cast<TAddressItem*>(item); }

std::array<std::string, 5> AddressLines(const TAddressRec& rec)
{
    std::array<std::string, 5> lines{rec.Address1, rec.Address2, rec.Address3, rec.Address4, {}};
    AddCityStateZipLine(lines[0], lines[1], lines[2], lines[3], lines[4], rec.City, rec.State, rec.Zip);
    return lines;
}

// Runs a statement on the sender-address query of the data module.
void ExecYourAddress(const std::string& sql)
{
    TEdsQuery& query = *DataModule().edsqYourAddress;
    query.Close();
    query.SetDatabaseName(gYourAddressDB);
    query.SetSQLText(sql);
    query.ExecSQL();
}

std::string QuotedValues()
{
    std::string values;
    for (const std::string* value :
         {&gEditAddress1, &gEditAddress2, &gEditAddress3, &gEditAddress4, &gEditCity, &gEditState, &gEditZip})
        values += (values.empty() ? "" : ", ") + rtl::QuotedStr(*value);
    return values;
}

constexpr int kLabelWidthLimit = 238;
constexpr int kLabelWidthKeep = 225;

}  // namespace

std::string AddressCaption(const TAddressRec& rec)
{
    std::string caption = rtl::Trim(rec.Address1);
    if (caption.empty()) caption = rtl::Trim(rec.City + " " + rec.State + " " + rec.Zip);
    return caption;
}

std::string AddressHint(const TAddressRec& rec)
{
    std::string hint;
    for (const std::string& line : AddressLines(rec))
        if (!rtl::Trim(line).empty()) hint += (hint.empty() ? "" : "\n\r") + line;
    return hint;
}

bool AddressMatches(const TAddressRec& rec, const std::string& upperText)
{
    for (const std::string* field : {&rec.Address1, &rec.Address2, &rec.Address3, &rec.Address4, &rec.City,
                                     &rec.State, &rec.Zip})
        if (AddressSearchText(*field).find(upperText) != std::string::npos) return true;
    return false;
}

std::string AddressSearchText(const std::string& text)
{
    // ASCII needs no detour through UTF-16; most fields are plain ASCII.
    bool ascii = true;
    for (unsigned char c : text) ascii = ascii && c < 0x80;
    if (ascii) return rtl::UpperCase(text);
    return Q(text).toUpper().toStdString();
}

std::string FitFolderText(std::string text, const QFontMetrics& metrics, int limit, int keep)
{
    const auto width = [&](const std::string& s) { return metrics.horizontalAdvance(Q(s)); };
    if (width(text) <= limit) return text;
    // Leading folders go first, so the last names stay readable.
    std::size_t slash;
    while (width(text) >= keep && (slash = text.find('/')) != std::string::npos) text.erase(0, slash + 1);
    return ".../" + text;
}

TF_YourAddress::TF_YourAddress(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TF_YourAddress>()), popup_(new QMenu(this))
{
    ui->setupUi(this);
    popup_->setObjectName("PopupMenu1");
    miNew = popup_->addAction("&New");
    miEdit = popup_->addAction("&Edit");
    miDelete = popup_->addAction("&Delete");
    popup_->addSeparator();
    miFind = popup_->addAction("&Find");
    miNew->setObjectName("miNew");
    miEdit->setObjectName("miEdit");
    miDelete->setObjectName("miDelete");
    miFind->setObjectName("miFind");
    connect(miNew, &QAction::triggered, this, &TF_YourAddress::NewClick);
    connect(miEdit, &QAction::triggered, this, &TF_YourAddress::EditClick);
    connect(miDelete, &QAction::triggered, this, &TF_YourAddress::DeleteClick);
    connect(miFind, &QAction::triggered, this, &TF_YourAddress::FindClick);
    connect(ui->tbtnNew, &QToolButton::clicked, this, &TF_YourAddress::NewClick);
    connect(ui->tbtnEdit, &QToolButton::clicked, this, &TF_YourAddress::EditClick);
    connect(ui->tbtnDelete, &QToolButton::clicked, this, &TF_YourAddress::DeleteClick);
    connect(ui->tbtnFind, &QToolButton::clicked, this, &TF_YourAddress::FindClick);
    connect(ui->lvYourAddress, &QListWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popup_->popup(ui->lvYourAddress->viewport()->mapToGlobal(pos)); });
    connect(ui->lvYourAddress, &QListWidget::itemSelectionChanged, this,
            &TF_YourAddress::lvYourAddressSelectionChanged);
    connect(ui->btnChangeYourDB, &QPushButton::clicked, this, &TF_YourAddress::btnChangeYourDBClick);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_YourAddress::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->lvYourAddress->installEventFilter(this);
    LoadList();
}

TF_YourAddress::~TF_YourAddress() = default;

const TAddressRec* TF_YourAddress::Record(int row) const
{
    const TAddressItem* item = AsAddressItem(ui->lvYourAddress->item(row));
    return item != nullptr ? &item->Rec : nullptr;
}

void TF_YourAddress::SetDatabaseLabel()
{
    ui->labelDatabaseName->setText(Q(FitFolderText(TdmSendoPro::TableFileName(gYourAddressDB, kYourAddressTable),
                                                   ui->labelDatabaseName->fontMetrics(), kLabelWidthLimit,
                                                   kLabelWidthKeep)));
}

void TF_YourAddress::LoadList()
{
    SetDatabaseLabel();
    ui->lvYourAddress->clear();
    try {
        // Start-up makes the table, except in a data folder it cannot write
        // (already told): the list is empty then.
        if (InUnwritableProgramFolder(gYourAddressDB) && !TdmSendoPro::TableExists(gYourAddressDB, kYourAddressTable)) {
            lvYourAddressSelectionChanged();
            return;
        }
        TEdsQuery& query = *DataModule().edsqYourAddress;
        query.Close();
        query.SetDatabaseName(gYourAddressDB);
        query.SetSQLText("select * from YourAddress order by A_ID");
        query.Open();
        const auto text = [&query](const char* field) { return query.FieldByName(field)->AsString(); };
        for (query.First(); !query.Eof(); query.Next()) {
            auto item = std::make_unique<TAddressItem>(TAddressRec(
                query.FieldByName("A_ID")->AsInteger(), text("Address1"), text("Address2"), text("Address3"),
                text("Address4"), text("City"), text("State"), text("Zip")));
            const bool chosen = !gYourAddressID.empty() && std::to_string(item->Rec.ID) == gYourAddressID;
            ui->lvYourAddress->addItem(item.get());
            QListWidgetItem* added = item.release();  // the list owns it now
            if (chosen) added->setSelected(true);
        }
        query.Close();
    } catch (const std::exception& e) {
        ShowFailure("The list of your names and addresses could not be read.", e);
    }
    lvYourAddressSelectionChanged();
}

void TF_YourAddress::ClearLabels()
{
    for (QLabel* label : {ui->lblYourAddress1, ui->lblYourAddress2, ui->lblYourAddress3, ui->lblYourAddress4,
                          ui->lblYourAddress5})
        label->clear();
}

void TF_YourAddress::SelectRow(int row)
{
    ui->lvYourAddress->clearSelection();
    if (QListWidgetItem* item = ui->lvYourAddress->item(row)) {
        item->setSelected(true);
        ui->lvYourAddress->setCurrentItem(item);
        ui->lvYourAddress->scrollToItem(item);
    }
}

void TF_YourAddress::lvYourAddressSelectionChanged()
{
    const QList<QListWidgetItem*> selected = ui->lvYourAddress->selectedItems();
    const TAddressItem* item = selected.size() == 1 ? AsAddressItem(selected.first()) : nullptr;
    miEdit->setVisible(item != nullptr);
    miDelete->setVisible(item != nullptr);
    ui->tbtnEdit->setEnabled(item != nullptr);
    ui->tbtnDelete->setEnabled(item != nullptr);
    if (item == nullptr) {
        ClearLabels();
        return;
    }
    const std::array<std::string, 5> lines = AddressLines(item->Rec);
    const std::array<QLabel*, 5> labels{ui->lblYourAddress1, ui->lblYourAddress2, ui->lblYourAddress3,
                                        ui->lblYourAddress4, ui->lblYourAddress5};
    for (std::size_t i = 0; i < labels.size(); ++i) labels[i]->setText(Q(lines[i]));
}

void TF_YourAddress::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    // Nothing to choose from yet: the first address is asked for at once,
    // once the list is on screen.
    if (ui->lvYourAddress->count() == 0) QTimer::singleShot(0, this, &TF_YourAddress::NewClick);
}

void TF_YourAddress::NewClick()
{
    for (std::string* value : {&gEditAddress1, &gEditAddress2, &gEditAddress3, &gEditAddress4, &gEditAddress5,
                               &gEditCity, &gEditState, &gEditZip})
        value->clear();
    TF_Address dialog(this);
    dialog.SetCaption("Your Name and Address");
    if (dialog.exec() != ui::mrOk) return;
    try {
        ExecYourAddress("insert into YourAddress (Address1, Address2, Address3, Address4, City, State, Zip) values(" +
                        QuotedValues() + ") ");
    } catch (const std::exception& e) {
        // What was typed is not thrown away: it stays in the list, unsaved,
        // and can be the sender until the program closes.
        if (!InUnwritableProgramFolder(gYourAddressDB))
            ShowFailure("Your name and address could not be saved. It stays in the list as \"not saved\" and can be "
                        "used as the sender until the program closes.",
                        e);
        auto unsaved = std::make_unique<TAddressItem>(TAddressRec(kUnsavedID, gEditAddress1, gEditAddress2,
                                                                  gEditAddress3, gEditAddress4, gEditCity, gEditState,
                                                                  gEditZip));
        ui->lvYourAddress->addItem(unsaved.get());
        unsaved.release();  // the list owns it now
        SelectRow(ui->lvYourAddress->count() - 1);
        return;
    }
    LoadList();
    SelectRow(ui->lvYourAddress->count() - 1);
}

void TF_YourAddress::EditClick()
{
    const QList<QListWidgetItem*> selected = ui->lvYourAddress->selectedItems();
    TAddressItem* item = selected.size() == 1 ? AsAddressItem(selected.first()) : nullptr;
    if (item == nullptr) return;
    TAddressRec& rec = item->Rec;
    gEditAddress1 = rec.Address1;
    gEditAddress2 = rec.Address2;
    gEditAddress3 = rec.Address3;
    gEditAddress4 = rec.Address4;
    gEditCity = rec.City;
    gEditState = rec.State;
    gEditZip = rec.Zip;
    TF_Address dialog(this);
    dialog.SetCaption("Edit Name and Address");
    if (dialog.exec() != ui::mrOk) return;
    // An address that was never saved has no row: the edit stays in the list.
    if (rec.ID != kUnsavedID) {
        const std::optional<std::string> sql = AddressEditSql(kYourAddressTable, rec);
        if (!sql) return;
        TRowEditOutcome outcome = TRowEditOutcome::Saved;
        try {
            TEdsQuery& query = *DataModule().edsqYourAddress;
            query.Close();
            query.SetDatabaseName(gYourAddressDB);
            outcome = RunRowEdit(query, *sql, kYourAddressTable, "A_ID = " + std::to_string(rec.ID));
        } catch (const std::exception& e) {
            ShowFailure("The changed name and address could not be saved.", e);
            return;
        }
        if (outcome != TRowEditOutcome::Saved) {
            // The list shows the table as it is now, on the same address if it is still there.
            const std::int32_t id = rec.ID;
            LoadList();
            for (int row = 0; row < ui->lvYourAddress->count(); ++row)
                if (const TAddressItem* listed = AsAddressItem(ui->lvYourAddress->item(row));
                    listed != nullptr && listed->Rec.ID == id)
                    SelectRow(row);
            TellRowEditOutcome(outcome, "address");
            return;
        }
    }
    rec = TAddressRec(rec.ID, gEditAddress1, gEditAddress2, gEditAddress3, gEditAddress4, gEditCity, gEditState,
                      gEditZip);
    item->Refresh();
    lvYourAddressSelectionChanged();
}

void TF_YourAddress::DeleteClick()
{
    const QList<QListWidgetItem*> selected = ui->lvYourAddress->selectedItems();
    TAddressItem* item = selected.size() == 1 ? AsAddressItem(selected.first()) : nullptr;
    if (item == nullptr) return;
    if (ui::AskYesNoCancel("Are you sure you want to delete this address?") != ui::mrYes) return;
    try {
        ExecYourAddress("delete from YourAddress where A_ID = " + std::to_string(item->Rec.ID));
    } catch (const std::exception& e) {
        ShowFailure("The name and address could not be deleted.", e);
        return;
    }
    // The row owns its record; both go now.
    std::unique_ptr<QListWidgetItem> gone(ui->lvYourAddress->takeItem(ui->lvYourAddress->row(item)));
    if (ui->lvYourAddress->count() == 0) {
        gYourAddressID.clear();
        lvYourAddressSelectionChanged();
    } else {
        SelectRow(0);
    }
}

bool AskFindText(QWidget* parent)
{
    TF_SingleEdit dialog(parent);
    dialog.Prepare("Find", "Text to find", gFindText);
    if (dialog.exec() != ui::mrOk) return false;
    gFindText = gSingleEditText;
    return true;
}

void TF_YourAddress::FindClick()
{
    if (AskFindText(this)) FindAddress();
}

void TF_YourAddress::FindAddress()
{
    const std::string upper = AddressSearchText(gFindText);
    QListWidget& list = *ui->lvYourAddress;
    const int count = list.count();
    const QList<QListWidgetItem*> selected = list.selectedItems();
    // With nothing selected the search covers the list from its top.
    const int start = selected.isEmpty() ? 0 : list.row(selected.first()) + 1;
    for (int step = 0; step < count; ++step) {
        const int row = (start + step) % count;
        if (const TAddressRec* rec = Record(row); rec != nullptr && AddressMatches(*rec, upper)) {
            SelectRow(row);
            return;
        }
    }
    ui::ShowInformation("Search string \"" + gFindText + "\" not found.");
}

bool TF_YourAddress::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->lvYourAddress && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F3 && key->modifiers() == Qt::NoModifier && !rtl::Trim(gFindText).empty()) {
            FindAddress();
            return true;
        }
        if (key->key() == Qt::Key_F && key->modifiers() == Qt::ControlModifier) {
            ui->tbtnFind->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TF_YourAddress::btnChangeYourDBClick()
{
    TF_NetworkSettings dialog(this);
    if (dialog.exec() == ui::mrOk) LoadList();
}

void TF_YourAddress::btnOKClick()
{
    const QList<QListWidgetItem*> selected = ui->lvYourAddress->selectedItems();
    if (const TAddressItem* item = selected.size() == 1 ? AsAddressItem(selected.first()) : nullptr) {
        const TAddressRec& rec = item->Rec;
        // An unsaved address has no row to remember.
        gYourAddressID = rec.ID == kUnsavedID ? std::string() : std::to_string(rec.ID);
        gYourAddress1 = rec.Address1;
        gYourAddress2 = rec.Address2;
        gYourAddress3 = rec.Address3;
        gYourAddress4 = rec.Address4;
        gYourCity = rec.City;
        gYourState = rec.State;
        gYourZip = rec.Zip;
    }
    done(ui::mrOk);
}
