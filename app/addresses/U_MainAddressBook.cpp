// The main window's address book: a tree of groups and a list of addresses
// from the tables Address, Groups and Members of gAddressDB, the recipient
// picked from the list, membership by menu or by dragging addresses onto a
// group, finding, and printing many addresses in one go.
//
// Every statement runs on the data module's address query. A tree node and a
// list item each own the record they show, so nothing outlives its row.

#include "app/main/U_Main.h"

#include "app/addresses/U_Address.h"
#include "app/addresses/U_Database.h"
#include "app/addresses/U_GroupSummary.h"
#include "app/addresses/U_YourAddress.h"
#include "app/data/FailureMessage.h"
#include "app/data/RowEdit.h"
#include "app/data/U_Globals.h"
#include "app/data/U_Records.h"
#include "app/data/U_Settings.h"
#include "app/data/U_TextRoutines.h"
#include "app/data/U_dmSendoPro.h"
#include "app/dialogs/U_SingleEdit.h"
#include "app/printing/U_MassPrint.h"
#include "dbaccess/edsfunc.h"
#include "platform/edsengine/eds.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"
#include "platform/ui/WaitCursor.h"

#include "ui_U_Main.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <exception>
#include <set>

namespace {

constexpr int kBookWidth = 769;
constexpr int kLabelWidthLimit = 190;
constexpr int kLabelWidthKeep = 177;
// The text fields' tops while the list-fed recipient box (shorter than the
// typed one) is shown.
constexpr int kFieldsRaisedBy = 6;

const char* const kAll = "All";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// A tree node owns the group it shows.
class TGroupNode : public QTreeWidgetItem {
public:
    TGroupNode(TGroupRec rec, const std::string& name, const QIcon& icon) : Rec(rec)
    {
        setText(0, Q(name));
        setIcon(0, icon);
    }
    TGroupRec Rec;
};

// A list item owns the address it shows. `Ticked` is the item's mass-print
// mark.
class TAddressItem : public QTreeWidgetItem {
public:
    TAddressItem(TAddressRec rec, const QIcon& icon) : Rec(std::move(rec))
    {
        Refresh();
        setIcon(0, icon);
    }
    void Refresh() { setText(0, Q(AddressCaption(Rec))); }
    TAddressRec Rec;
    bool Ticked = false;
};

TGroupNode* AsGroup(QTreeWidgetItem* item) { return dynamic_cast<TGroupNode*>(item); }
TAddressItem* AsAddress(QTreeWidgetItem* item) { return dynamic_cast<TAddressItem*>(item); }

TdmSendoPro& DataModule()
{
    if (dmSendoPro == nullptr) throw rtl::Exception("The program's tables are not open.");
    return *dmSendoPro;
}

// The address query, closed and pointed at the address book, with `sql` set.
TEdsQuery& AddressQuery(const std::string& sql)
{
    TEdsQuery& query = *DataModule().edsqToAddress;
    query.Close();
    query.SetDatabaseName(gAddressDB);
    query.SetSQLText(sql);
    return query;
}

// Runs a statement without rows; answers the rows it changed.
std::int32_t ExecAddressSql(const std::string& sql)
{
    TEdsQuery& query = AddressQuery(sql);
    query.ExecSQL();
    return query.RowsAffected();
}

// The seven address fields of a result, looked up once for all its rows.
class TAddressFields {
public:
    explicit TAddressFields(TEdsQuery& query)
        : id_(query.FieldByName("A_ID")),
          text_{query.FieldByName("Address1"), query.FieldByName("Address2"), query.FieldByName("Address3"),
                query.FieldByName("Address4"), query.FieldByName("City"),     query.FieldByName("State"),
                query.FieldByName("Zip")}
    {
    }
    std::int32_t ID() const { return id_->AsInteger(); }
    TAddressRec Read() const
    {
        return TAddressRec(ID(), text_[0]->AsString(), text_[1]->AsString(), text_[2]->AsString(),
                           text_[3]->AsString(), text_[4]->AsString(), text_[5]->AsString(), text_[6]->AsString());
    }

private:
    db::TField* id_;
    std::array<db::TField*, 7> text_;
};

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// Stores a group's name (`sql` inserts or renames it); false with the
// reason shown: a name in use, or a failure of the table.
bool SaveGroup(const std::string& sql, const std::string& name)
{
    try {
        ExecAddressSql(sql);
        return true;
    } catch (const EEDSDatabaseError& e) {
        if (IsUniqueViolation(e))
            ui::ShowError("A Group name of " + Quoted(name) + " already exists.");
        else
            ShowFailure("The group " + Quoted(name) + " could not be saved.", e);
    } catch (const std::exception& e) {
        ShowFailure("The group " + Quoted(name) + " could not be saved.", e);
    }
    return false;
}

// The selected items of the list, in list order.
std::vector<TAddressItem*> SelectedAddresses(const QTreeWidget& list)
{
    std::vector<TAddressItem*> items;
    for (int i = 0, n = list.topLevelItemCount(); i < n; ++i)
        if (QTreeWidgetItem* item = list.topLevelItem(i); item->isSelected())
            if (TAddressItem* address = AsAddress(item)) items.push_back(address);
    return items;
}

// The selected nodes in tree order, "All" included.
std::vector<TGroupNode*> SelectedGroups(QTreeWidget& tree)
{
    std::vector<TGroupNode*> nodes;
    for (QTreeWidgetItemIterator it(&tree, QTreeWidgetItemIterator::Selected); *it; ++it)
        if (TGroupNode* node = AsGroup(*it)) nodes.push_back(node);
    return nodes;
}

// Makes `item` the one selected item. The current item moves without
// touching the selection, which would otherwise follow the keyboard
// modifiers held at that moment (Ctrl toggles instead of selecting).
void SelectOnly(QTreeWidget& view, QTreeWidgetItem* item)
{
    view.setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
    view.clearSelection();
    item->setSelected(true);
    view.scrollToItem(item);
}

void ShowAndEnable(QWidget* widget, bool on)
{
    widget->setEnabled(on);
    widget->setVisible(on);
}

void ShowAndEnable(QAction* action, bool on)
{
    action->setEnabled(on);
    action->setVisible(on);
}

QAction* AddMenuCommand(QMenu* menu, const char* name, const char* caption)
{
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromUtf8(name));
    return action;
}

}  // namespace

// ---- set-up ----------------------------------------------------------------------------

void TF_Main::ConnectAddressBook()
{
    pmGroups = new QMenu(this);
    pmGroups->setObjectName("pmGroups");
    miNewGroup = AddMenuCommand(pmGroups, "miNewGroup", "&New Group");
    miEditGroup = AddMenuCommand(pmGroups, "miEditGroup", "&Edit Group");
    miDeleteGroup = AddMenuCommand(pmGroups, "miDeleteGroup", "&Delete Group");
    miFindGroup = AddMenuCommand(pmGroups, "miFindGroup", "&Find Group");
    miMassPrintGroup = AddMenuCommand(pmGroups, "miMassPrintGroup", "&Mass Print");
    miSelectAllGroup = AddMenuCommand(pmGroups, "miSelectAllGroup", "&Select All");

    pmAddress = new QMenu(this);
    pmAddress->setObjectName("pmAddress");
    miNewAddress = AddMenuCommand(pmAddress, "miNewAddress", "&New Address");
    miEditAddress = AddMenuCommand(pmAddress, "miEditAddress", "&Edit Address");
    miDeleteAddress = AddMenuCommand(pmAddress, "miDeleteAddress", "&Delete Address");
    miFindAddress = AddMenuCommand(pmAddress, "miFindAddress", "&Find Address");
    miMassPrintAddress = AddMenuCommand(pmAddress, "miMassPrintAddress", "&Mass Print");
    miSelectAllAddress = AddMenuCommand(pmAddress, "miSelectAllAddress", "&Select All");
    pmAddress->addSeparator();
    miGroup = pmAddress->addMenu("&Group");
    miGroup->setObjectName("miGroup");
    miAddToGroup = miGroup->addMenu("&Add to Group");
    miAddToGroup->setObjectName("miAddToGroup");
    miDeleteFromGroup = miGroup->addMenu("&Delete from Group");
    miDeleteFromGroup->setObjectName("miDeleteFromGroup");
    miAssigned = AddMenuCommand(pmAddress, "miAssigned", "&Assigned Groups");
    miGroup->menuAction()->setVisible(false);

    const std::pair<QToolButton*, QAction*> commands[] = {
        {ui->tbtnNewAddress, miNewAddress},       {ui->tbtnEditAddress, miEditAddress},
        {ui->tbtnDeleteAddress, miDeleteAddress}, {ui->tbtnFindAddress, miFindAddress},
        {ui->tbtnMassPrintAddress, miMassPrintAddress}, {ui->tbtnSelectAllAddress, miSelectAllAddress},
        {ui->tbtnNewGroup, miNewGroup},           {ui->tbtnEditGroup, miEditGroup},
        {ui->tbtnDeleteGroup, miDeleteGroup},     {ui->tbtnFindGroup, miFindGroup},
        {ui->tbtnMassPrintGroup, miMassPrintGroup}, {ui->tbtnSelectAllGroup, miSelectAllGroup}};
    // Each menu item does what its button does.
    for (const auto& [button, action] : commands) connect(action, &QAction::triggered, button, &QToolButton::click);
    connect(ui->tbtnNewAddress, &QToolButton::clicked, this, &TF_Main::tbtnNewAddressClick);
    connect(ui->tbtnEditAddress, &QToolButton::clicked, this, &TF_Main::tbtnEditAddressClick);
    connect(ui->tbtnDeleteAddress, &QToolButton::clicked, this, &TF_Main::tbtnDeleteAddressClick);
    connect(ui->tbtnFindAddress, &QToolButton::clicked, this, &TF_Main::tbtnFindAddressClick);
    connect(ui->tbtnMassPrintAddress, &QToolButton::clicked, this, &TF_Main::tbtnMassPrintAddressClick);
    connect(ui->tbtnSelectAllAddress, &QToolButton::clicked, this, &TF_Main::tbtnSelectAllAddressClick);
    connect(ui->tbtnNewGroup, &QToolButton::clicked, this, &TF_Main::tbtnNewGroupClick);
    connect(ui->tbtnEditGroup, &QToolButton::clicked, this, &TF_Main::tbtnEditGroupClick);
    connect(ui->tbtnDeleteGroup, &QToolButton::clicked, this, &TF_Main::tbtnDeleteGroupClick);
    connect(ui->tbtnFindGroup, &QToolButton::clicked, this, &TF_Main::tbtnFindGroupClick);
    connect(ui->tbtnMassPrintGroup, &QToolButton::clicked, this, &TF_Main::tbtnMassPrintGroupClick);
    connect(ui->tbtnSelectAllGroup, &QToolButton::clicked, this, &TF_Main::tbtnSelectAllGroupClick);
    connect(miAssigned, &QAction::triggered, this, &TF_Main::miAssignedClick);
    connect(ui->miOpenToDB, &QAction::triggered, this, &TF_Main::miOpenToDBClick);

    QTreeWidget& tree = *ui->tvGroups;
    tree.setHeaderHidden(true);
    tree.setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree.setContextMenuPolicy(Qt::CustomContextMenu);
    tree.setAcceptDrops(true);
    tree.viewport()->installEventFilter(this);
    tree.installEventFilter(this);
    connect(&tree, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem* node) { tvGroupsMouseDown(node); });
    connect(&tree, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmGroups->popup(ui->tvGroups->viewport()->mapToGlobal(at)); });

    QTreeWidget& list = *ui->lvAddress;
    list.setHeaderHidden(true);
    list.setRootIsDecorated(false);
    list.setUniformRowHeights(true);
    list.setSelectionMode(QAbstractItemView::ExtendedSelection);
    list.setDragEnabled(true);
    list.setDragDropMode(QAbstractItemView::DragOnly);
    list.setContextMenuPolicy(Qt::CustomContextMenu);
    list.viewport()->installEventFilter(this);
    list.installEventFilter(this);
    connect(&list, &QTreeWidget::itemSelectionChanged, this, &TF_Main::lvAddressSelectItem);
    connect(&list, &QTreeWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmAddress->popup(ui->lvAddress->viewport()->mapToGlobal(at)); });

    if (dmSendoPro != nullptr && dmSendoPro->imagelistDB.empty()) {
        dmSendoPro->imagelistDB.push_back(style()->standardIcon(QStyle::SP_DirIcon));
        dmSendoPro->imagelistDB.push_back(style()->standardIcon(QStyle::SP_FileIcon));
    }
}

// ---- opening and closing ---------------------------------------------------------------

void TF_Main::CloseAddressTables()
{
    if (dmSendoPro == nullptr) return;
    for (TEdsDataSet* table : {static_cast<TEdsDataSet*>(dmSendoPro->edstToAddress.get()),
                               static_cast<TEdsDataSet*>(dmSendoPro->edsqToAddress.get())}) {
        try {
            table->Close();
        } catch (...) {
            // A table that will not close is closed again by the next use.
        }
    }
}

void TF_Main::SetDatabaseNameLabel()
{
    ui->labelDatabaseName->setText(
        Q(FitFolderText(gAddressDB, ui->labelDatabaseName->fontMetrics(), kLabelWidthLimit, kLabelWidthKeep)));
    ui->labelDatabaseName->setToolTip(Q(gAddressDB));
}

void TF_Main::OpenAddressBook()
{
    gDatabaseON = true;
    CloseAddressTables();
    if (dmSendoPro != nullptr) {
        dmSendoPro->edstToAddress->SetDatabaseName(gAddressDB);
        dmSendoPro->edsqToAddress->SetDatabaseName(gAddressDB);
    }
    {
        ui::WaitCursor hourglass;
        SetDatabaseNameLabel();
        resize(kBookWidth, height());
        ui->panelDB->show();
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        try {
            LoadGroupTree();
        } catch (const std::exception& e) {
            ShowFailure("The address book in " + gAddressDB + " could not be opened.", e, kAddressBookAdvice);
            btnCloseDBClick();
            return;
        }
        ui->miToTextFiles->setEnabled(true);
        ui->gbTo->hide();
        ui->gbToDB->show();
        for (QWidget* field : {static_cast<QWidget*>(ui->editDepartment), static_cast<QWidget*>(ui->labelDepartment),
                               static_cast<QWidget*>(ui->editProcessedBy),
                               static_cast<QWidget*>(ui->labelProcessedBy), static_cast<QWidget*>(ui->editComment),
                               static_cast<QWidget*>(ui->labelComment), static_cast<QWidget*>(ui->editRe),
                               static_cast<QWidget*>(ui->labelRE)})
            if (ui->gbToDB->geometry().bottom() < field->y()) field->move(field->x(), field->y() - kFieldsRaisedBy);
        ui->miCloseToDB->setVisible(true);
    }
    // An empty address book asks for its first address at once.
    if (ui->lvAddress->topLevelItemCount() == 0 && !firstShowRunning_) tbtnNewAddressClick();
}

void TF_Main::miOpenToDBClick()
{
    TF_Database dialog(this);
    if (dialog.exec() != ui::mrOk) return;
    OpenAddressBook();
    MarkEditable();
}

// ---- loading -----------------------------------------------------------------------------

void TF_Main::LoadGroupTree()
{
    QTreeWidget& tree = *ui->tvGroups;
    tree.clear();
    const QIcon icon = dmSendoPro != nullptr && !dmSendoPro->imagelistDB.empty() ? dmSendoPro->imagelistDB[0] : QIcon();
    tree.addTopLevelItem(new TGroupNode(TGroupRec(-1, -1), kAll, icon));

    miAddToGroup->clear();
    miDeleteFromGroup->clear();
    TEdsQuery& query = AddressQuery("select * from Groups order by G_ID");
    query.Open();
    groupsExist_ = !query.Eof();
    db::TField* const id = query.FieldByName("G_ID");
    db::TField* const parentId = query.FieldByName("Parent_ID");
    db::TField* const name = query.FieldByName("Group_Name");
    QTreeWidgetItem* parent = nullptr;
    for (query.First(); !query.Eof(); query.Next()) {
        const TGroupRec rec(id->AsInteger(), parentId->AsInteger());
        const std::string caption = name->AsString();
        AddGroupMenuItem(miAddToGroup, caption, rec.GroupID, true);
        AddGroupMenuItem(miDeleteFromGroup, caption, rec.GroupID, false);
        // Rows come by G_ID, so brothers usually follow one another.
        if (rec.ParentID == -1)
            parent = nullptr;
        else if (parent == nullptr || AsGroup(parent)->Rec.GroupID != rec.ParentID)
            parent = FindGroupNode(rec.ParentID);
        auto* node = new TGroupNode(rec, caption, icon);
        if (parent != nullptr)
            parent->addChild(node);
        else
            tree.addTopLevelItem(node);
    }
    query.Close();
    miGroup->menuAction()->setVisible(groupsExist_);
    tree.expandAll();

    SelectOnly(tree, tree.topLevelItem(0));
    LoadAddressList(-1);
    ShowAndEnable(ui->tbtnEditGroup, false);
    ShowAndEnable(ui->tbtnDeleteGroup, false);
    ShowAndEnable(miEditGroup, false);
    ShowAndEnable(miDeleteGroup, false);
}

QTreeWidgetItem* TF_Main::FindGroupNode(std::int32_t GroupID) const
{
    for (QTreeWidgetItemIterator it(ui->tvGroups); *it; ++it)
        if (const TGroupNode* node = AsGroup(*it); node != nullptr && node->Rec.GroupID == GroupID) return *it;
    return nullptr;
}

QAction* TF_Main::AddGroupMenuItem(QMenu* parent, const std::string& caption, std::int32_t G_ID, bool adding)
{
    // The caption shows the name as it is: an "&" in it is no accelerator.
    QAction* item = parent->addAction(Q(caption).replace('&', QStringLiteral("&&")));
    item->setData(G_ID);
    connect(item, &QAction::triggered, this, [this, G_ID, adding] {
        if (adding)
            AddToGroupClick(G_ID);
        else
            DeleteFromGroupClick(G_ID);
    });
    return item;
}

void TF_Main::LoadAddressList(std::int32_t GroupID)
{
    QTreeWidget& list = *ui->lvAddress;
    {
        const QSignalBlocker quiet(list);
        list.clear();
    }
    listedGroup_ = GroupID;
    const std::string sql = GroupID == -1 ? std::string("select * from Address order by A_ID")
                                          : "select A.*  from Address A, Members M where M.G_ID = " +
                                                std::to_string(GroupID) + " and " + "A.A_ID = M.A_ID " +
                                                "order by A.A_ID";
    TEdsQuery& query = AddressQuery(sql);
    query.Open();
    const QIcon icon = dmSendoPro->imagelistDB.size() > 1 ? dmSendoPro->imagelistDB[1] : QIcon();
    QList<QTreeWidgetItem*> items;
    const TAddressFields fields(query);
    for (query.First(); !query.Eof(); query.Next()) items.append(new TAddressItem(fields.Read(), icon));
    query.Close();
    list.addTopLevelItems(items);

    if (items.isEmpty()) {
        lvAddressSelectItem();
        return;
    }
    SelectOnly(list, items.first());  // which picks the recipient
    list.scrollToTop();
}

// ---- the recipient --------------------------------------------------------------------

bool TF_Main::OneAddressSelected() const
{
    int selected = 0;
    for (int i = 0, n = ui->lvAddress->topLevelItemCount(); i < n && selected < 2; ++i)
        if (ui->lvAddress->topLevelItem(i)->isSelected()) ++selected;
    return selected == 1;
}

void TF_Main::ShowRecipient(const TAddressRec& rec)
{
    gEditAddress1 = rec.Address1;
    gEditAddress2 = rec.Address2;
    gEditAddress3 = rec.Address3;
    gEditAddress4 = rec.Address4;
    gEditAddress5.clear();
    AddCityStateZipLine(gEditAddress1, gEditAddress2, gEditAddress3, gEditAddress4, gEditAddress5, rec.City,
                        rec.State, rec.Zip);
    const std::string* lines[5] = {&gEditAddress1, &gEditAddress2, &gEditAddress3, &gEditAddress4, &gEditAddress5};
    QLabel* labels[5] = {ui->lblToAddress1, ui->lblToAddress2, ui->lblToAddress3, ui->lblToAddress4,
                         ui->lblToAddress5};
    for (int i = 0; i < 5; ++i) labels[i]->setText(Q(*lines[i]));
    gToAddress1 = rec.Address1;
    gToAddress2 = rec.Address2;
    gToAddress3 = rec.Address3;
    gToAddress4 = rec.Address4;
    gToCity = rec.City;
    gToState = rec.State;
    gToZip = rec.Zip;
}

void TF_Main::ClearRecipient()
{
    for (QLabel* label : {ui->lblToAddress1, ui->lblToAddress2, ui->lblToAddress3, ui->lblToAddress4,
                          ui->lblToAddress5})
        label->clear();
    // No address picked is no recipient: nothing of the last one may be printed.
    for (std::string* value : {&gToAddress1, &gToAddress2, &gToAddress3, &gToAddress4, &gToCity, &gToState, &gToZip})
        value->clear();
}

void TF_Main::lvAddressSelectItem()
{
    const std::vector<TAddressItem*> selected = SelectedAddresses(*ui->lvAddress);
    const std::size_t count = selected.size();
    if (count == 1)
        ShowRecipient(selected.front()->Rec);
    else
        ClearRecipient();
    // Another pick is another mailer: a print's grey goes, and Print follows the pick.
    MarkEditable();
    ShowAndEnable(ui->tbtnNewAddress, true);
    ShowAndEnable(miNewAddress, true);
    ShowAndEnable(ui->tbtnEditAddress, count == 1);
    ShowAndEnable(miEditAddress, count == 1);
    ShowAndEnable(ui->tbtnDeleteAddress, count >= 1);
    ShowAndEnable(miDeleteAddress, count >= 1);
    miGroup->menuAction()->setVisible(count >= 1 && groupsExist_);
    ShowAndEnable(miAssigned, count == 1);
}

void TF_Main::SelectAddress(std::int32_t A_ID)
{
    QTreeWidget& list = *ui->lvAddress;
    const QSignalBlocker quiet(list);
    list.clearSelection();
    for (int i = 0, n = list.topLevelItemCount(); i < n; ++i) {
        if (const TAddressItem* item = AsAddress(list.topLevelItem(i)); item != nullptr && item->Rec.ID == A_ID) {
            SelectOnly(list, list.topLevelItem(i));
            break;
        }
    }
    lvAddressSelectItem();
}

std::int32_t TF_Main::SelectedGroupID() const { return listedGroup_; }

// ---- addresses ------------------------------------------------------------------------

void TF_Main::tbtnNewAddressClick()
{
    for (std::string* value :
         {&gEditAddress1, &gEditAddress2, &gEditAddress3, &gEditAddress4, &gEditCity, &gEditState, &gEditZip})
        value->clear();
    TF_Address dialog(this);
    dialog.SetCaption("New Name and Address");
    if (dialog.exec() != ui::mrOk) return;

    std::int32_t id = -1;
    try {
        std::string values;
        for (const std::string* value :
             {&gEditAddress1, &gEditAddress2, &gEditAddress3, &gEditAddress4, &gEditCity, &gEditState, &gEditZip})
            values += (values.empty() ? "" : ", ") + rtl::QuotedStr(*value);
        TEdsQuery& query = AddressQuery(
            "insert into Address (Address1, Address2, Address3, Address4, City, State, Zip) values(" + values + ") ");
        query.ExecSQL();
        // This insert's own number: another station may add an address at
        // the same moment, so the highest number need not be ours.
        id = static_cast<std::int32_t>(query.GetLastAutoInc());
    } catch (const std::exception& e) {
        ShowFailure("The new address could not be saved.", e);
        return;
    }

    const std::int32_t group = SelectedGroupID();
    if (group != -1) {
        const QTreeWidgetItem* node = FindGroupNode(group);
        const std::string name = node != nullptr ? S(node->text(0)) : std::string();
        if (ui::AskYesNo("Add new address to Group " + Quoted(name) + "?")) {
            const std::string result = InsertMember(id, group);
            if (!result.empty()) ShowMemberResult(result, "Already a member of " + Quoted(name) + ".");
        }
    }
    try {
        LoadAddressList(group);
    } catch (const std::exception& e) {
        ShowFailure("The address list could not be read.", e);
        return;
    }
    SelectAddress(id);
}

void TF_Main::tbtnEditAddressClick()
{
    const std::vector<TAddressItem*> selected = SelectedAddresses(*ui->lvAddress);
    if (selected.size() != 1) return;
    TAddressItem& item = *selected.front();
    gEditAddress1 = item.Rec.Address1;
    gEditAddress2 = item.Rec.Address2;
    gEditAddress3 = item.Rec.Address3;
    gEditAddress4 = item.Rec.Address4;
    gEditCity = item.Rec.City;
    gEditState = item.Rec.State;
    gEditZip = item.Rec.Zip;
    TF_Address dialog(this);
    dialog.SetCaption("Edit Name and Address");
    if (dialog.exec() != ui::mrOk) return;
    const std::int32_t id = item.Rec.ID;
    const std::optional<std::string> sql = AddressEditSql("Address", item.Rec);
    if (!sql) return;
    TRowEditOutcome outcome = TRowEditOutcome::Saved;
    try {
        outcome = RunRowEdit(AddressQuery(*sql), *sql, "Address", "A_ID = " + std::to_string(id));
    } catch (const std::exception& e) {
        ShowFailure("The address could not be saved.", e);
        return;
    }
    if (outcome != TRowEditOutcome::Saved) {
        // The list shows the address book as it is now.
        try {
            LoadAddressList(listedGroup_);
            SelectAddress(id);
        } catch (const std::exception& e) {
            ShowFailure("The address list could not be read.", e);
        }
        TellRowEditOutcome(outcome, "address");
        return;
    }
    item.Rec = TAddressRec(item.Rec.ID, gEditAddress1, gEditAddress2, gEditAddress3, gEditAddress4, gEditCity,
                           gEditState, gEditZip);
    item.Refresh();
    lvAddressSelectItem();
}

void TF_Main::DeleteAddressRows(std::int32_t A_ID)
{
    ExecAddressSql("delete from Address where A_ID = " + std::to_string(A_ID));
    ExecAddressSql("delete from Members where A_ID = " + std::to_string(A_ID));
}

void TF_Main::tbtnDeleteAddressClick()
{
    const std::vector<TAddressItem*> selected = SelectedAddresses(*ui->lvAddress);
    if (selected.empty()) return;
    const char* question = selected.size() == 1 ? "Are you sure you want to delete this address?"
                                                : "Are you sure you want to delete all the selected addresses?";
    if (ui::AskYesNoCancel(question) != ui::mrYes) return;
    {
        const QSignalBlocker quiet(*ui->lvAddress);
        for (TAddressItem* item : selected) {
            try {
                DeleteAddressRows(item->Rec.ID);
            } catch (const std::exception& e) {
                ShowFailure("The address " + Quoted(AddressCaption(item->Rec)) + " could not be deleted.", e);
                break;
            }
            delete item;  // the row and its record go together
        }
    }
    lvAddressSelectItem();
}

void TF_Main::tbtnSelectAllAddressClick()
{
    ui->lvAddress->selectAll();
    ui->btnPrint->setEnabled(false);
    ClearRecipient();
}

// ---- groups ------------------------------------------------------------------------------

void TF_Main::tvGroupsMouseDown(QTreeWidgetItem* node)
{
    ShowAndEnable(ui->tbtnEditGroup, false);
    ShowAndEnable(ui->tbtnDeleteGroup, false);
    ShowAndEnable(miEditGroup, false);
    ShowAndEnable(miDeleteGroup, false);
    const std::vector<TGroupNode*> selected = SelectedGroups(*ui->tvGroups);
    if (selected.size() == 1 && AsGroup(node) != nullptr) {
        try {
            LoadAddressList(AsGroup(node)->Rec.GroupID);
        } catch (const std::exception& e) {
            ShowFailure("The addresses of the group " + Quoted(S(node->text(0))) + " could not be read.", e);
        }
        const bool group = AsGroup(node)->Rec.GroupID != -1;
        ShowAndEnable(ui->tbtnEditGroup, group);
        ShowAndEnable(ui->tbtnDeleteGroup, group);
        ShowAndEnable(miEditGroup, group);
        ShowAndEnable(miDeleteGroup, group);
    } else if (selected.size() > 1) {
        ShowAndEnable(ui->tbtnDeleteGroup, true);
        ShowAndEnable(miDeleteGroup, true);
    }
}

void TF_Main::tbtnSelectAllGroupClick()
{
    QTreeWidget& tree = *ui->tvGroups;
    tree.clearSelection();
    for (QTreeWidgetItemIterator it(&tree); *it; ++it)
        if (*it != tree.topLevelItem(0)) (*it)->setSelected(true);
    ui->btnPrint->setEnabled(false);
    ClearRecipient();
}

void TF_Main::tbtnNewGroupClick()
{
    TF_SingleEdit dialog(this);
    dialog.Prepare("New", "New Group Name", "");
    if (dialog.exec() != ui::mrOk) return;
    const std::string name = gSingleEditText;
    if (name == kAll) {
        ui::ShowError("You can not add a Group named \"All\"");
        return;
    }
    const std::vector<TGroupNode*> selected = SelectedGroups(*ui->tvGroups);
    const std::int32_t parent = selected.empty() ? -1 : selected.front()->Rec.GroupID;
    if (!SaveGroup("insert into Groups (Parent_ID, Group_Name) values(" + std::to_string(parent) + ", " +
                       rtl::QuotedStr(name) + ") ",
                   name))
        return;
    try {
        LoadGroupTree();
    } catch (const std::exception& e) {
        ShowFailure("The groups could not be read.", e);
    }
}

void TF_Main::tbtnEditGroupClick()
{
    const std::vector<TGroupNode*> selected = SelectedGroups(*ui->tvGroups);
    if (selected.size() != 1 || selected.front()->Rec.GroupID == -1) return;
    TGroupNode& node = *selected.front();
    TF_SingleEdit dialog(this);
    dialog.Prepare("Edit", "Edit Group Name", S(node.text(0)));
    if (dialog.exec() != ui::mrOk) return;
    const std::string name = gSingleEditText;
    if (name == kAll) {
        ui::ShowError("Can't change Group name to \"All\"");
        return;
    }
    if (!SaveGroup("update Groups set Group_Name = " + rtl::QuotedStr(name) +
                       " where G_ID = " + std::to_string(node.Rec.GroupID),
                   name))
        return;
    node.setText(0, Q(name));
    for (QMenu* menu : {miAddToGroup, miDeleteFromGroup})
        for (QAction* item : menu->actions())
            if (item->data().toInt() == node.Rec.GroupID) item->setText(Q(name).replace('&', QStringLiteral("&&")));
}

void TF_Main::DeleteGroupRows(std::int32_t G_ID)
{
    ExecAddressSql("delete from Groups where G_ID = " + std::to_string(G_ID));
    ExecAddressSql("delete from Members where G_ID = " + std::to_string(G_ID));
}

void TF_Main::DeleteGroupSubtree(QTreeWidgetItem* node)
{
    DeleteGroupRows(AsGroup(node)->Rec.GroupID);
    for (int i = 0; i < node->childCount(); ++i) DeleteGroupSubtree(node->child(i));
}

void TF_Main::tbtnDeleteGroupClick()
{
    std::vector<TGroupNode*> selected = SelectedGroups(*ui->tvGroups);
    std::erase_if(selected, [](const TGroupNode* node) { return node->Rec.GroupID == -1; });
    if (selected.empty()) return;
    const char* question = selected.size() > 1 ? "Are you sure you want to delete all the selected Groups?"
                           : selected.front()->childCount() > 0
                               ? "Are you sure you want to delete this Group and all Groups underneath it?"
                               : "Are you sure you want to delete this Group?";
    if (ui::AskYesNoCancel(question) != ui::mrYes) return;
    try {
        for (TGroupNode* node : selected) DeleteGroupSubtree(node);
    } catch (const std::exception& e) {
        ShowFailure("The group could not be deleted.", e);
    }
    ui->btnPrint->setEnabled(false);
    ClearRecipient();
    try {
        LoadGroupTree();
    } catch (const std::exception& e) {
        ShowFailure("The groups could not be read.", e);
    }
}

// ---- membership -----------------------------------------------------------------------

std::string TF_Main::InsertMember(std::int32_t A_ID, std::int32_t G_ID)
{
    const char* const words = "The address could not be added to the group.";
    try {
        ExecAddressSql("insert into Members (A_ID, G_ID) values(" + std::to_string(A_ID) + ", " +
                       std::to_string(G_ID) + ")");
        return {};
    } catch (const EEDSDatabaseError& e) {
        if (IsUniqueViolation(e)) return "1";
        memberFailure_ = FailureMessage(words, e);
    } catch (const std::exception& e) {
        memberFailure_ = FailureMessage(words, e);
    }
    return memberFailure_.text;
}

std::string TF_Main::DeleteMember(std::int32_t A_ID, std::int32_t G_ID)
{
    try {
        const std::int32_t rows = ExecAddressSql("delete from Members where A_ID = " + std::to_string(A_ID) +
                                                 " and " + "G_ID = " + std::to_string(G_ID));
        return rows == 1 ? std::string() : std::string("1");
    } catch (const std::exception& e) {
        memberFailure_ = FailureMessage("The address could not be deleted from the group.", e);
        return memberFailure_.text;
    }
}

void TF_Main::ShowMemberResult(const std::string& result, const std::string& refused)
{
    if (result == "1")
        ui::ShowError(refused);
    else if (result == memberFailure_.text)
        ui::ShowMessage(memberFailure_);  // the engine's text under Show Details
    else
        ui::ShowError(result);
}

void TF_Main::ChangeMembership(QTreeWidgetItem* node, bool adding)
{
    const TGroupNode* group = AsGroup(node);
    const std::vector<TAddressItem*> selected = SelectedAddresses(*ui->lvAddress);
    if (group == nullptr || group->Rec.GroupID == -1 || selected.empty()) return;
    const std::string name = S(node->text(0));
    const auto change = [&](const TAddressItem& item) {
        return adding ? InsertMember(item.Rec.ID, group->Rec.GroupID) : DeleteMember(item.Rec.ID, group->Rec.GroupID);
    };
    const std::string refused = adding ? "Already a member of " + Quoted(name) + "."
                                       : "Not a member of " + Quoted(name) + ".";

    if (selected.size() == 1) {
        const std::string result = change(*selected.front());
        if (result.empty())
            ui::ShowInformation((adding ? "Address added to Group " : "Address deleted from Group ") + Quoted(name));
        else
            ShowMemberResult(result, refused);
        return;
    }
    TF_GroupSummary summary(this);
    for (const TAddressItem* item : selected) {
        const std::string result = change(*item);
        const std::string done = (adding ? "Added to Group " : "Deleted from Group ") + Quoted(name);
        summary.AddLine(result.empty(), AddressCaption(item->Rec),
                        result.empty() ? done : result == "1" ? refused : result);
    }
    summary.exec();
}

void TF_Main::AddToGroupClick(std::int32_t G_ID) { ChangeMembership(FindGroupNode(G_ID), true); }

void TF_Main::DeleteFromGroupClick(std::int32_t G_ID) { ChangeMembership(FindGroupNode(G_ID), false); }

void TF_Main::miAssignedClick()
{
    const std::vector<TAddressItem*> selected = SelectedAddresses(*ui->lvAddress);
    if (selected.size() != 1) return;
    std::string names;
    try {
        TEdsQuery& query = AddressQuery("select g.Group_Name from Groups g, Members m where m.A_ID = " +
                                        std::to_string(selected.front()->Rec.ID) + " and m.G_ID = g.G_ID " +
                                        "order by g.G_ID");
        query.Open();
        for (query.First(); !query.Eof(); query.Next()) names += query.FieldByName("Group_Name")->AsString() + "\n\r";
        query.Close();
    } catch (const std::exception& e) {
        ShowFailure("The groups of the address could not be read.", e);
        return;
    }
    ui::ShowInformation(names.empty() ? std::string("Address not found in any Group.")
                                      : "Address found in Groups:\n\r" + names);
}

// ---- finding ------------------------------------------------------------------------------

void TF_Main::tbtnFindAddressClick()
{
    if (AskFindText(this)) FindAddress();
}

void TF_Main::tbtnFindGroupClick()
{
    if (AskFindText(this)) FindGroup();
}

void TF_Main::FindAddress()
{
    QTreeWidget& list = *ui->lvAddress;
    const int count = list.topLevelItemCount();
    const std::string upper = AddressSearchText(gFindText);
    // After the selected item, once round, ending with the item itself; with
    // nothing selected, from the top.
    QTreeWidgetItem* current = list.currentItem();
    int start = 0;
    if (current != nullptr && current->isSelected()) {
        start = list.indexOfTopLevelItem(current) + 1;
    } else if (const std::vector<TAddressItem*> selected = SelectedAddresses(list); !selected.empty()) {
        start = list.indexOfTopLevelItem(selected.front()) + 1;
    }
    for (int step = 0; step < count; ++step) {
        QTreeWidgetItem* item = list.topLevelItem((start + step) % count);
        if (const TAddressItem* address = AsAddress(item); address != nullptr && AddressMatches(address->Rec, upper)) {
            SelectAddress(address->Rec.ID);
            return;
        }
    }
    ui::ShowInformation("Search string " + Quoted(gFindText) + " not found.");
}

void TF_Main::FindGroup()
{
    QTreeWidget& tree = *ui->tvGroups;
    std::vector<QTreeWidgetItem*> nodes;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) nodes.push_back(*it);
    const std::string upper = AddressSearchText(gFindText);
    const std::vector<TGroupNode*> selected = SelectedGroups(tree);
    std::size_t start = 0;
    if (!selected.empty())
        start = static_cast<std::size_t>(std::find(nodes.begin(), nodes.end(), selected.front()) - nodes.begin()) + 1;
    for (std::size_t step = 0; step < nodes.size(); ++step) {
        QTreeWidgetItem* node = nodes[(start + step) % nodes.size()];
        if (AddressSearchText(S(node->text(0))).find(upper) == std::string::npos) continue;
        SelectOnly(tree, node);
        tvGroupsMouseDown(node);
        return;
    }
    ui::ShowInformation("Search string " + Quoted(gFindText) + " not found.");
}

namespace {

QObject* gDragSourceForTests = nullptr;

QObject* DragSource(const QDropEvent& drag)
{
    return gDragSourceForTests != nullptr ? gDragSourceForTests : drag.source();
}

}  // namespace

void SetAddressDragSourceForTests(QObject* source) { gDragSourceForTests = source; }

bool TF_Main::AddressBookEvent(QObject* watched, QEvent* event)
{
    QTreeWidget* const list = ui->lvAddress;
    QTreeWidget* const tree = ui->tvGroups;
    if (event->type() == QEvent::KeyPress && (watched == list || watched == tree)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F3 && key->modifiers() == Qt::NoModifier && !rtl::Trim(gFindText).empty()) {
            if (watched == list)
                FindAddress();
            else
                FindGroup();
            return true;
        }
        if (key->key() == Qt::Key_F && key->modifiers() == Qt::ControlModifier) {
            (watched == list ? ui->tbtnFindAddress : ui->tbtnFindGroup)->click();
            return true;
        }
        return false;
    }
    if (watched == list->viewport() && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (const TAddressItem* item = AsAddress(list->itemAt(help->pos())))
            QToolTip::showText(help->globalPos(), Q(AddressHint(item->Rec)), list);
        else
            QToolTip::hideText();
        return true;
    }
    if (watched != tree->viewport()) return false;
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* drag = static_cast<QDragEnterEvent*>(event);
        if (DragSource(*drag) == list)
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        const QTreeWidgetItem* node = tree->itemAt(drag->position().toPoint());
        if (DragSource(*drag) == list && node != nullptr && node->text(0) != kAll)
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        QTreeWidgetItem* node = tree->itemAt(drop->position().toPoint());
        if (DragSource(*drop) != list || node == nullptr) return true;
        drop->acceptProposedAction();
        ChangeMembership(node, true);
        return true;
    }
    default: return false;
    }
}

// ---- mass print ---------------------------------------------------------------------

void TF_Main::UncheckAllAddresses()
{
    for (int i = 0, n = ui->lvAddress->topLevelItemCount(); i < n; ++i)
        if (TAddressItem* item = AsAddress(ui->lvAddress->topLevelItem(i))) item->Ticked = false;
}

void TF_Main::tbtnMassPrintAddressClick()
{
    UncheckAllAddresses();
    QTreeWidget& list = *ui->lvAddress;
    const bool none = SelectedAddresses(list).empty();
    std::vector<TAddressRec> records;
    std::vector<bool> checked;
    for (int i = 0, n = list.topLevelItemCount(); i < n; ++i) {
        if (const TAddressItem* item = AsAddress(list.topLevelItem(i))) {
            records.push_back(item->Rec);
            checked.push_back(none || item->isSelected());
        }
    }
    ShowMassPrint(records, checked);
}

void TF_Main::tbtnMassPrintGroupClick()
{
    const std::vector<TGroupNode*> selected = SelectedGroups(*ui->tvGroups);
    std::vector<TAddressRec> records;
    // With no group chosen there is nothing to print.
    if (!selected.empty()) {
        std::string sql;
        if (selected.front()->Rec.GroupID == -1) {
            sql = "select * from Address order by A_ID";
        } else {
            std::string terms;
            for (const TGroupNode* node : selected) terms += "or (M.G_ID = " + std::to_string(node->Rec.GroupID) + ")";
            sql = "select a.* from Address a, Members m where (" + terms.substr(3) + ") and " + "m.A_ID = a.A_ID " +
                  "order by a.A_ID";
        }
        try {
            TEdsQuery& query = AddressQuery(sql);
            query.Open();
            const TAddressFields fields(query);
            for (query.First(); !query.Eof(); query.Next())
                if (records.empty() || records.back().ID != fields.ID()) records.push_back(fields.Read());
            query.Close();
        } catch (const std::exception& e) {
            ShowFailure("The addresses of the selected groups could not be read.", e);
            return;
        }
    }
    ShowMassPrint(records, std::vector<bool>(records.size(), true));
}

void TF_Main::ShowMassPrint(const std::vector<TAddressRec>& records, const std::vector<bool>& checked)
{
    if (records.empty()) {
        ui::ShowError("No addresses are selected to Mass Print.");
        return;
    }
    TF_MassPrint dialog(this);
    dialog.setWindowTitle("Mass Print");
    for (std::size_t i = 0; i < records.size(); ++i) dialog.AddAddress(records[i], AddressCaption(records[i]), checked[i]);
    if (dialog.exec() != ui::mrOk) return;

    const std::vector<TAddressRec> ticked = dialog.CheckedAddresses();
    std::set<std::int32_t> ids;
    for (const TAddressRec& rec : ticked) ids.insert(rec.ID);
    for (int i = 0, n = ui->lvAddress->topLevelItemCount(); i < n; ++i)
        if (TAddressItem* item = AsAddress(ui->lvAddress->topLevelItem(i))) item->Ticked = ids.count(item->Rec.ID) > 0;
    PrintCheckedAddresses(ticked);
}

void TF_Main::PrintCheckedAddresses(const std::vector<TAddressRec>& ticked)
{
    QTreeWidget& list = *ui->lvAddress;
    const std::vector<TAddressItem*> remembered = SelectedAddresses(list);
    // Each address is the recipient of its own mailer, straight from its
    // record: the list may show other addresses than those printed.
    AsOnePrintRun([this, &ticked] {
        for (const TAddressRec& rec : ticked) {
            ShowRecipient(rec);
            if (!PrintCurrentMailer()) break;
        }
    });
    {
        const QSignalBlocker quiet(list);
        list.clearSelection();
        for (TAddressItem* item : remembered) item->setSelected(true);
    }
    lvAddressSelectItem();
}
