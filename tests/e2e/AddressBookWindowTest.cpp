// The address book driven through the real main window offscreen, over real
// Address, Groups and Members tables in a program folder of the test's own;
// what the tables hold is read back with the sqlite3 CLI, and mass prints
// are checked in their PDFs with zbarimg.

#include "tests/app/addresses/AddressDialogsTestSupport.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/e2e/E2EWindow.h"

#include "app/addresses/U_YourAddress.h"
#include "app/data/U_Globals.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "app/main/U_About.h"
#include "app/main/U_Main.h"
#include "dbaccess/edstable.h"
#include "platform/ui/MaskEdit.h"
#include "platform/ui/MessageService.h"

#include <QAction>
#include <QApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHelpEvent>
#include <QMimeData>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using addrtest::Find;
using addrtest::WhenModal;
using e2e::SqlRows;

class AddressBook : public e2e::MainWindowTest {
protected:
    AddressBook() { gFindText.clear(); }
    void SetUp() override { REQUIRE_E2E_TOOLS(); }

    template <class T>
    T* Child(const char* name) const
    {
        return const_cast<AddressBook*>(this)->MainWindowTest::Child<T>(name);
    }
    QTreeWidget& Tree() const { return *Child<QTreeWidget>("tvGroups"); }
    QTreeWidget& List() const { return *Child<QTreeWidget>("lvAddress"); }
    void Click(const char* button) const { Child<QToolButton>(button)->click(); }

    std::vector<std::string> Sql(const char* table, const std::string& query) const
    {
        return SqlRows(folder.home / "Addresses" / (std::string(table) + ".edt"), query);
    }
    // A row added by another program (the sqlite3 CLI), as a second station would.
    void InsertElsewhere(const std::string& a1, const std::string& zip) const
    {
        Sql("Address", "insert into Address (Address1, City, State, Zip) values ('" + a1 + "', 'Dayton', 'OH', '" +
                           zip + "')");
    }

    // Answers the one-line prompt the next command opens.
    static void AnswerPrompt(const std::string& text, std::string* caption = nullptr)
    {
        WhenModal([text, caption](QWidget& prompt) {
            if (caption != nullptr) *caption = Find<QGroupBox>(prompt, "TheGroupBox")->title().toStdString();
            Find<QLineEdit>(prompt, "TheEdit")->setText(QString::fromStdString(text));
            Find<QPushButton>(prompt, "btnOK")->click();
        });
    }
    void NewGroup(const std::string& name) const
    {
        AnswerPrompt(name);
        Click("tbtnNewGroup");
    }
    void NewAddress(const QString& lines, const QString& city, const QString& state, const std::string& zip) const
    {
        WhenModal([=](QWidget& dialog) {
            Find<QPlainTextEdit>(dialog, "memoAddress")->setPlainText(lines);
            Find<QLineEdit>(dialog, "editCity")->setText(city);
            Find<QLineEdit>(dialog, "editState")->setText(state);
            Find<ui::MaskEdit>(dialog, "editZip")->SetText(zip);
            Find<QPushButton>(dialog, "btnOK")->click();
        });
        Click("tbtnNewAddress");
    }

    QTreeWidgetItem* Node(const std::string& name) const
    {
        const auto found = Tree().findItems(QString::fromStdString(name), Qt::MatchExactly | Qt::MatchRecursive);
        EXPECT_EQ(found.size(), 1) << name;
        return found.isEmpty() ? nullptr : found.first();
    }
    // A mouse click on a group, as the user lists it (Ctrl adds to the selection).
    void ClickNode(const std::string& name, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QTreeWidgetItem* node = Node(name);
        ASSERT_NE(node, nullptr);
        QTest::mouseClick(Tree().viewport(), Qt::LeftButton, modifiers, Tree().visualItemRect(node).center());
    }
    std::vector<std::string> Listed() const
    {
        std::vector<std::string> captions;
        for (int i = 0; i < List().topLevelItemCount(); ++i)
            captions.push_back(List().topLevelItem(i)->text(0).toStdString());
        return captions;
    }
    std::vector<std::string> Selected() const
    {
        std::vector<std::string> captions;
        for (int i = 0; i < List().topLevelItemCount(); ++i)
            if (List().topLevelItem(i)->isSelected()) captions.push_back(List().topLevelItem(i)->text(0).toStdString());
        return captions;
    }
    void SelectAddresses(const std::vector<std::string>& captions) const
    {
        List().clearSelection();
        for (const std::string& caption : captions)
            for (QTreeWidgetItem* item : List().findItems(QString::fromStdString(caption), Qt::MatchExactly))
                item->setSelected(true);
    }
    // The per-group item of the address list's Add to Group (or Delete from
    // Group) sub-menu.
    QAction* GroupItem(const char* subMenu, const QString& shown) const
    {
        for (QAction* item : Child<QMenu>(subMenu)->actions())
            if (item->text() == shown) return item;
        ADD_FAILURE() << "no menu item " << shown.toStdString();
        return nullptr;
    }
    std::string Label(const char* name) const { return Child<QLabel>(name)->text().toStdString(); }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const ui::MessageRequest& r : messages.Shown()) texts.push_back(r.text);
        return texts;
    }

};

}  // namespace

TEST_F(AddressBook, GroupsNestUnderTheSelectedNodeAndRefuseAllAndAnExistingNameInAnyCase)
{
    StartWithAddressBook();
    EXPECT_TRUE(Child<QWidget>("panelDB")->isVisible());
    EXPECT_TRUE(Child<QGroupBox>("gbToDB")->isVisible());
    EXPECT_FALSE(Child<QGroupBox>("gbTo")->isVisible());
    EXPECT_EQ(window->width(), 769);
    ASSERT_EQ(Tree().topLevelItemCount(), 1);
    EXPECT_EQ(Tree().topLevelItem(0)->text(0), "All");
    EXPECT_EQ(Tree().topLevelItem(0)->childCount(), 0);
    EXPECT_FALSE(Child<QMenu>("miGroup")->menuAction()->isVisible());
    EXPECT_TRUE(Texts().empty());  // a first show asks for no address

    std::string caption;
    AnswerPrompt("Clients", &caption);
    Click("tbtnNewGroup");
    EXPECT_EQ(caption, "New Group Name");
    ClickNode("Clients");
    NewGroup("Courts");
    NewGroup("All");
    ClickNode("Courts");
    NewGroup("clients");

    EXPECT_EQ(Texts(), (std::vector<std::string>{"You can not add a Group named \"All\"",
                                                 "A Group name of \"clients\" already exists."}));
    EXPECT_EQ(Sql("Groups", "select G_ID, Parent_ID, Group_Name from Groups order by G_ID"),
              (std::vector<std::string>{"1|-1|Clients", "2|1|Courts"}));
    // "Clients" sits beside "All", "Courts" under it.
    ASSERT_EQ(Tree().topLevelItemCount(), 2);
    EXPECT_EQ(Tree().topLevelItem(1)->text(0), "Clients");
    ASSERT_EQ(Tree().topLevelItem(1)->childCount(), 1);
    EXPECT_EQ(Tree().topLevelItem(1)->child(0)->text(0), "Courts");

    // Closed, the typed recipient is back; reopened through the folder
    // dialog, the same tree.
    Child<QPushButton>("btnCloseDB")->click();
    EXPECT_FALSE(gDatabaseON);
    EXPECT_FALSE(Child<QWidget>("panelDB")->isVisible());
    EXPECT_TRUE(Child<QGroupBox>("gbTo")->isVisible());
    EXPECT_FALSE(Child<QGroupBox>("gbToDB")->isVisible());
    EXPECT_EQ(window->width(), 569);
    EXPECT_EQ(Child<QLineEdit>("editDepartment")->y(), 103);
    // The book holds no address yet, so opening it asks for one at once.
    std::string asked;
    WhenModal([&asked](QWidget& folders) {
        WhenModal([&asked](QWidget& address) {
            asked = Find<QGroupBox>(address, "gbAddress")->title().toStdString();
            Find<QPushButton>(address, "btnCancel")->click();
        });
        Find<QPushButton>(folders, "btnOK")->click();
    });
    Child<QAction>("miOpenToDB")->trigger();
    EXPECT_EQ(asked, "New Name and Address");
    EXPECT_TRUE(gDatabaseON);
    EXPECT_TRUE(Child<QGroupBox>("gbToDB")->isVisible());
    EXPECT_LT(Child<QLineEdit>("editDepartment")->y(), 103);
    EXPECT_EQ(Node("Courts")->parent(), Node("Clients"));

    // Renaming to a name in use is refused the same way and changes nothing.
    ClickNode("Courts");
    AnswerPrompt("CLIENTS");
    Click("tbtnEditGroup");
    EXPECT_EQ(messages.Last().text, "A Group name of \"CLIENTS\" already exists.");
    EXPECT_EQ(Node("Courts")->parent(), Node("Clients"));
}

TEST_F(AddressBook, NewAddressJoinsTheListedGroupByItsOwnNumberWhileAnotherStationAddsOne)
{
    StartWithAddressBook();
    NewGroup("Courts");
    ClickNode("Courts");
    ASSERT_TRUE(Listed().empty());
    EXPECT_FALSE(Child<QPushButton>("btnPrint")->isEnabled());

    // While the question is open another station stores an address, which
    // is then the highest number in the table.
    messages.onMessage = [this](const ui::MessageRequest& request) {
        if (request.kind == ui::MsgKind::Confirmation) InsertElsewhere("Other Station", "45402");
        return ui::mrYes;
    };
    NewAddress("Clerk of Court\n301 W Third St", "Dayton", "OH", "45402");
    messages.onMessage = nullptr;

    EXPECT_EQ(Texts(), (std::vector<std::string>{"Add new address to Group \"Courts\"?"}));
    EXPECT_EQ(Sql("Address", "select A_ID, Address1 from Address order by A_ID"),
              (std::vector<std::string>{"1|Clerk of Court", "2|Other Station"}));
    EXPECT_EQ(Sql("Members", "select A_ID, G_ID from Members"), (std::vector<std::string>{"1|1"}));
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Clerk of Court"}));
    EXPECT_EQ(Selected(), (std::vector<std::string>{"Clerk of Court"}));
    EXPECT_EQ(gToAddress1, "Clerk of Court");
    EXPECT_EQ(Label("lblToAddress3"), "Dayton OH 45402");
    EXPECT_TRUE(Child<QPushButton>("btnPrint")->isEnabled());

    // Answered No, the new address is not in the listed group: nobody is
    // picked, so nothing of the last recipient can be printed.
    messages.Clear();
    messages.Answer(ui::mrNo);
    NewAddress("Sheriff", "Dayton", "OH", "45402");
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Clerk of Court"}));
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(gToAddress1, "");
    EXPECT_EQ(Label("lblToAddress1"), "");
    EXPECT_FALSE(Child<QPushButton>("btnPrint")->isEnabled());
    EXPECT_EQ(Sql("Members", "select count(*) from Members"), (std::vector<std::string>{"1"}));
}

TEST_F(AddressBook, MembershipByMenuFindsAGroupWithAnAmpersandAndReportsSecondTries)
{
    StartWithAddressBook();
    NewGroup("R&D");
    NewAddress("Ada Lab", "Dayton", "OH", "45402");
    ASSERT_EQ(Selected(), (std::vector<std::string>{"Ada Lab"}));
    EXPECT_TRUE(Child<QMenu>("miGroup")->menuAction()->isVisible());

    GroupItem("miAddToGroup", "R&&D")->trigger();
    GroupItem("miAddToGroup", "R&&D")->trigger();
    EXPECT_EQ(Sql("Members", "select A_ID, G_ID from Members"), (std::vector<std::string>{"1|1"}));
    Child<QAction>("miAssigned")->trigger();
    GroupItem("miDeleteFromGroup", "R&&D")->trigger();
    GroupItem("miDeleteFromGroup", "R&&D")->trigger();
    Child<QAction>("miAssigned")->trigger();

    ASSERT_EQ(messages.Count(), 6u);
    const std::vector<ui::MessageRequest>& shown = messages.Shown();
    EXPECT_EQ(shown[0].text, "Address added to Group \"R&D\"");
    EXPECT_EQ(shown[0].kind, ui::MsgKind::Information);
    EXPECT_EQ(shown[1].text, "Already a member of \"R&D\".");
    EXPECT_EQ(shown[1].kind, ui::MsgKind::Error);
    EXPECT_EQ(shown[2].text, "Address found in Groups:\n\rR&D\n\r");
    EXPECT_EQ(shown[3].text, "Address deleted from Group \"R&D\"");
    EXPECT_EQ(shown[4].text, "Not a member of \"R&D\".");
    EXPECT_EQ(shown[5].text, "Address not found in any Group.");
    EXPECT_TRUE(Sql("Members", "select * from Members").empty());
}

TEST_F(AddressBook, ATableInUseIsAFailureInTheProgramsWordsNotAnExistingName)
{
    StartWithAddressBook();
    NewGroup("Courts");
    NewAddress("Ada Lab", "Dayton", "OH", "45402");
    messages.Clear();
    // Another user holds both tables for themselves.
    TEdsTable members, groups;
    for (auto [table, name] : {std::pair{&members, "Members"}, std::pair{&groups, "Groups"}}) {
        table->SetDatabaseName((folder.home / "Addresses").string());
        table->SetTableName(name);
        table->SetExclusive(true);
        table->Open();
    }
    GroupItem("miAddToGroup", "Courts")->trigger();
    NewGroup("Clients");
    members.Close();
    groups.Close();

    ASSERT_EQ(messages.Count(), 2u);
    for (const ui::MessageRequest& shown : messages.Shown()) {
        EXPECT_EQ(shown.kind, ui::MsgKind::Error);
        EXPECT_EQ(shown.text.find("already"), std::string::npos) << shown.text;
        EXPECT_EQ(shown.text.find("Already"), std::string::npos) << shown.text;
        EXPECT_FALSE(shown.details.empty()) << shown.text;
    }
    EXPECT_EQ(messages.Shown()[0].text.rfind("The address could not be added to the group.", 0), 0u);
    EXPECT_EQ(messages.Shown()[1].text.rfind("The group \"Clients\" could not be saved.", 0), 0u);
    EXPECT_TRUE(Sql("Members", "select * from Members").empty());
    EXPECT_EQ(Sql("Groups", "select Group_Name from Groups"), (std::vector<std::string>{"Courts"}));
}

TEST_F(AddressBook, AddingSeveralAddressesShowsOneSummaryLinePerAddressInListOrder)
{
    StartWithAddressBook();
    NewGroup("Courts");
    for (const char* name : {"Alpha", "Bravo", "Charlie"}) NewAddress(name, "Dayton", "OH", "45402");
    SelectAddresses({"Bravo"});
    GroupItem("miAddToGroup", "Courts")->trigger();
    messages.Clear();

    SelectAddresses({"Charlie", "Alpha", "Bravo"});
    EXPECT_FALSE(Child<QPushButton>("btnPrint")->isEnabled());
    EXPECT_EQ(gToAddress1, "");
    EXPECT_EQ(Label("lblToAddress1"), "");
    // An edit of the entry does not make several addresses printable.
    Child<QLineEdit>("editComment")->setText("for all three");
    EXPECT_FALSE(Child<QPushButton>("btnPrint")->isEnabled());
    std::vector<std::string> lines;
    std::string status, headline;
    WhenModal([&](QWidget& summary) {
        auto* rows = Find<QTreeWidget>(summary, "lvSummary");
        for (int i = 0; i < rows->topLevelItemCount(); ++i)
            lines.push_back(rows->topLevelItem(i)->text(2).toStdString() + "|" +
                            rows->topLevelItem(i)->text(3).toStdString());
        status = Find<QStatusBar>(summary, "StatusBar")->currentMessage().toStdString();
        headline = Find<QLabel>(summary, "LabelActionSummary")->text().toStdString();
        Find<QPushButton>(summary, "ButtonOK")->click();
    });
    GroupItem("miAddToGroup", "Courts")->trigger();

    EXPECT_EQ(lines, (std::vector<std::string>{"Alpha|Added to Group \"Courts\"",
                                               "Bravo|Already a member of \"Courts\".",
                                               "Charlie|Added to Group \"Courts\""}));
    EXPECT_EQ(status, "3 item(s) processed; 1 error(s)");
    EXPECT_EQ(headline, "Action completed with errors. See details below for more information.");
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(Sql("Members", "select A_ID from Members order by A_ID"),
              (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(AddressBook, DeletingAGroupTakesItsSubgroupsAndMembershipsButNoAddress)
{
    StartWithAddressBook();
    NewGroup("Clients");
    NewGroup("Vendors");
    ClickNode("Clients");
    NewGroup("Courts");
    for (const char* name : {"Alpha", "Bravo"}) NewAddress(name, "Dayton", "OH", "45402");
    ClickNode("All");
    SelectAddresses({"Alpha", "Bravo"});
    for (const char* group : {"Clients", "Courts", "Vendors"}) {
        WhenModal([](QWidget& summary) { Find<QPushButton>(summary, "ButtonOK")->click(); });
        GroupItem("miAddToGroup", group)->trigger();
    }
    ASSERT_EQ(Sql("Members", "select count(*) from Members"), (std::vector<std::string>{"6"}));
    messages.Clear();

    ClickNode("Clients");
    EXPECT_TRUE(Child<QToolButton>("tbtnDeleteGroup")->isEnabled());
    messages.Answer(ui::mrYes);
    Click("tbtnDeleteGroup");

    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"Are you sure you want to delete this Group and all Groups underneath it?"}));
    EXPECT_EQ(Sql("Groups", "select Group_Name from Groups"), (std::vector<std::string>{"Vendors"}));
    EXPECT_EQ(Sql("Members", "select A_ID || '-' || G_ID from Members order by A_ID"),
              (std::vector<std::string>{"1-2", "2-2"}));
    EXPECT_EQ(Sql("Address", "select Address1 from Address order by A_ID"),
              (std::vector<std::string>{"Alpha", "Bravo"}));
    EXPECT_EQ(Tree().topLevelItemCount(), 2);
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Alpha", "Bravo"}));
    EXPECT_FALSE(Child<QToolButton>("tbtnDeleteGroup")->isVisible());

    // Deleting the picked address leaves no recipient behind.
    SelectAddresses({"Alpha"});
    ASSERT_EQ(gToAddress1, "Alpha");
    messages.Answer(ui::mrYes);
    Click("tbtnDeleteAddress");
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Bravo"}));
    EXPECT_EQ(gToAddress1, "");
    EXPECT_EQ(Sql("Members", "select A_ID from Members"), (std::vector<std::string>{"2"}));
}

TEST_F(AddressBook, FindWrapsFromTheSelectedAddressAndF3GoesOn)
{
    StartWithAddressBook();
    for (const char* name : {"Alpha Smith", "Bravo", "Charlie Smith"}) NewAddress(name, "Dayton", "OH", "45402");
    SelectAddresses({"Charlie Smith"});
    List().setCurrentItem(List().topLevelItem(2));

    AnswerPrompt("smith");
    Click("tbtnFindAddress");
    EXPECT_EQ(Selected(), (std::vector<std::string>{"Alpha Smith"}));
    EXPECT_EQ(gToAddress1, "Alpha Smith");
    QTest::keyClick(&List(), Qt::Key_F3);
    EXPECT_EQ(Selected(), (std::vector<std::string>{"Charlie Smith"}));
    QTest::keyClick(&List(), Qt::Key_F3);
    EXPECT_EQ(Selected(), (std::vector<std::string>{"Alpha Smith"}));
    // The city is searched too.
    AnswerPrompt("DAYTON");
    Click("tbtnFindAddress");
    EXPECT_EQ(Selected(), (std::vector<std::string>{"Bravo"}));
    EXPECT_TRUE(Texts().empty());

    std::string shownText;
    WhenModal([&](QWidget& prompt) {
        shownText = Find<QLineEdit>(prompt, "TheEdit")->text().toStdString();
        Find<QLineEdit>(prompt, "TheEdit")->setText("zzz");
        Find<QPushButton>(prompt, "btnOK")->click();
    });
    QTest::keyClick(&List(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(shownText, "DAYTON");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Search string \"zzz\" not found."}));
    EXPECT_EQ(Selected(), (std::vector<std::string>{"Bravo"}));
}

TEST_F(AddressBook, AccentedNamesAreStoredListedAndFoundInAnyCase)
{
    StartWithAddressBook();
    NewGroup("Übersee");
    NewAddress(QString::fromUtf8("Jürgen Müller\nGroße Straße 5"), "Dayton", "OH", "45402");
    NewAddress(QString::fromUtf8("Íñigo Ñúñez"), QString::fromUtf8("San José"), "CA", "95113");
    NewAddress("Plain Name", "Dayton", "OH", "45402");

    EXPECT_EQ(Sql("Address", "select Address1, Address2, City from Address order by A_ID"),
              (std::vector<std::string>{"Jürgen Müller|Große Straße 5|Dayton", "Íñigo Ñúñez||San José",
                                        "Plain Name||Dayton"}));
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Jürgen Müller", "Íñigo Ñúñez", "Plain Name"}));

    // "GROSSE" finds "Große" as the upper-cased name is spelt.
    for (const char* text : {"MÜLLER", "ñÚÑez", "GROSSE", "große", "SAN JOSÉ"}) {
        SCOPED_TRACE(text);
        SelectAddresses({"Plain Name"});
        List().setCurrentItem(List().topLevelItem(2));
        messages.Clear();
        AnswerPrompt(text);
        Click("tbtnFindAddress");
        EXPECT_TRUE(Texts().empty());
        ASSERT_EQ(Selected().size(), 1u);
        EXPECT_NE(Selected().front(), "Plain Name");
    }
    // A group name in use is refused in any case of its accented letters too.
    messages.Clear();
    NewGroup("ÜBERSEE");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"A Group name of \"ÜBERSEE\" already exists."}));
    EXPECT_EQ(Sql("Groups", "select Group_Name from Groups"), (std::vector<std::string>{"Übersee"}));

    messages.Clear();
    AnswerPrompt("übersee");
    Click("tbtnFindGroup");
    EXPECT_TRUE(Texts().empty()) << Texts().front();
    EXPECT_TRUE(Node("Übersee")->isSelected());
    EXPECT_TRUE(Listed().empty());
}

TEST_F(AddressBook, GroupMassPrintPrintsTheGroupsMembersOnceEachNotTheListedAddresses)
{
    StartWithAddressBook();
    folder.SetNumbering("123456789", "0000041", true, true);
    const std::vector<std::pair<std::string, std::string>> people = {
        {"Anna", "11111"}, {"Ben", "22222"}, {"Cleo", "33333"}, {"Dora", "44444"}, {"Emil", "55555"}};
    for (const auto& [name, zip] : people) InsertElsewhere(name, zip);
    for (const char* group : {"AB", "BC", "DE"}) NewGroup(group);
    const std::vector<std::string> members = {"1, 1", "2, 1", "2, 2", "3, 2", "4, 3", "5, 3"};
    for (const std::string& row : members) Sql("Members", "insert into Members (A_ID, G_ID) values (" + row + ")");

    ClickNode("DE");
    ASSERT_EQ(Listed(), (std::vector<std::string>{"Dora", "Emil"}));
    ClickNode("AB");
    ClickNode("BC", Qt::ControlModifier);
    std::vector<std::string> offered;
    WhenModal([&](QWidget& dialog) {
        auto* rows = Find<QListWidget>(dialog, "lvMassPrint");
        for (int i = 0; i < rows->count(); ++i)
            offered.push_back(rows->item(i)->text().toStdString() +
                              (rows->item(i)->checkState() == Qt::Checked ? "+" : "-"));
        Find<QPushButton>(dialog, "btnOK")->click();
    });
    Click("tbtnMassPrintGroup");

    EXPECT_EQ(offered, (std::vector<std::string>{"Anna+", "Ben+", "Cleo+"}));
    for (const ui::MessageRequest& r : messages.Shown()) EXPECT_NE(r.kind, ui::MsgKind::Error) << r.text;
    const std::vector<std::string> logged =
        SqlRows(folder.Log(), "select ToAddress1, ToZip, MailerNum from Log37 order by LID");
    ASSERT_EQ(logged.size(), 3u);
    const auto pdfs = e2e::PdfFiles(folder.Pdfs());
    ASSERT_EQ(pdfs.size(), 3u);
    std::set<std::string> scanned;
    for (const auto& pdf : pdfs)
        for (const std::string& code : e2e::PdfBarcodes(pdf, folder.home / "scratch")) scanned.insert(code);
    const char* const serials[] = {"9214 7123 4567 8900 0004 11", "9214 7123 4567 8900 0004 28",
                                   "9214 7123 4567 8900 0004 35"};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& [name, zip] = people[i];
        EXPECT_EQ(logged[i], name + "|" + zip + "|" + serials[i]);
        EXPECT_TRUE(scanned.count(e2e::Scanned(zip, serials[i]))) << name;
    }
    // The list and its pick are as they were.
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Anna", "Ben"}));
    EXPECT_EQ(Selected(), (std::vector<std::string>{"Anna"}));
    EXPECT_EQ(gToAddress1, "Anna");

    // Nothing chosen in the tree is nothing to print.
    Tree().clearSelection();
    messages.Clear();
    Click("tbtnMassPrintGroup");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"No addresses are selected to Mass Print."}));
}

TEST_F(AddressBook, MassPrintStopsAtTheFirstFailureAndNeverReusesANumber)
{
    StartWithAddressBook();
    folder.SetNumbering("123456789", "0000041", true, true);
    for (const char* name : {"Anna", "Ben", "Cleo"}) InsertElsewhere(name, "45402");
    ClickNode("All");
    ASSERT_EQ(Listed().size(), 3u);
    // The second mailer's print fails: once the first is printed (its
    // notice shows), the PDF folder turns into a file.
    int prints = 0;
    messages.onMessage = [&](const ui::MessageRequest& request) {
        if (request.kind == ui::MsgKind::Choice && ++prints == 1) {
            std::filesystem::rename(folder.Pdfs(), folder.Pdfs() + ".done");
            testsupport::WriteFile(folder.Pdfs(), "not a folder");
        }
        return ui::mrOk;
    };
    List().clearSelection();
    WhenModal([](QWidget& dialog) { Find<QPushButton>(dialog, "btnOK")->click(); });
    Click("tbtnMassPrintAddress");
    messages.onMessage = nullptr;

    EXPECT_EQ(SqlRows(folder.Log(), "select ToAddress1, SerialNum from Log37 order by LID"),
              (std::vector<std::string>{"Anna|41"}));
    int errors = 0;
    for (const ui::MessageRequest& r : messages.Shown()) errors += r.kind == ui::MsgKind::Error;
    EXPECT_EQ(errors, 1);
    // Ben's number was taken and skipped; Cleo was not tried.
    EXPECT_EQ(folder.Serial(), "0000043");
}

// Addresses dragged from the list onto a group join it; a drag that comes
// from anywhere else, or hovers over "All", is refused. Resting the pointer
// on an address shows its lines.
TEST_F(AddressBook, AddressesDroppedOnAGroupJoinItAndTheListHintsEachAddress)
{
    StartWithAddressBook();
    NewGroup("Courts");
    NewAddress("Ada Lab\nSuite 5", "Dayton", "OH", "45402");
    NewAddress("Ben Row", "Dayton", "OH", "45402");
    messages.Clear();
    SelectAddresses({"Ada Lab"});
    // What the list's own drag carries: its selected rows.
    const std::unique_ptr<QMimeData> rows(List().model()->mimeData(List().selectionModel()->selectedIndexes()));
    const QPoint courts = Tree().visualItemRect(Node("Courts")).center();
    const QPoint all = Tree().visualItemRect(Node("All")).center();
    struct SourceGuard {
        ~SourceGuard() { SetAddressDragSourceForTests(nullptr); }
    } guard;
    const auto accepted = [this](QEvent&& event) {
        QApplication::sendEvent(Tree().viewport(), &event);
        return event.isAccepted();
    };
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    const auto enter = [&](QPoint at) { return QDragEnterEvent(at, actions, rows.get(), Qt::LeftButton, {}); };
    const auto move = [&](QPoint at) { return QDragMoveEvent(at, actions, rows.get(), Qt::LeftButton, {}); };
    const auto drop = [&](QPoint at) { return QDropEvent(QPointF(at), actions, rows.get(), Qt::LeftButton, {}); };

    // The same rows dragged from another widget: refused as they enter, so
    // the tree takes no drop from them.
    SetAddressDragSourceForTests(&Tree());
    EXPECT_FALSE(accepted(enter(courts)));
    EXPECT_FALSE(accepted(move(courts)));
    EXPECT_FALSE(accepted(drop(courts)));
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(Sql("Members", "select * from Members").empty());

    SetAddressDragSourceForTests(&List());
    EXPECT_TRUE(accepted(enter(all)));
    EXPECT_FALSE(accepted(move(all))) << "\"All\" takes no members";
    EXPECT_TRUE(accepted(move(courts)));
    EXPECT_TRUE(accepted(drop(courts)));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Address added to Group \"Courts\""});
    EXPECT_EQ(Sql("Members", "select A_ID, G_ID from Members"), std::vector<std::string>{"1|1"});

    // The hover hint: the address's lines over its row, nothing over the empty list below.
    const auto hint = [this](QPoint at) {
        QHelpEvent help(QEvent::ToolTip, at, List().viewport()->mapToGlobal(at));
        QApplication::sendEvent(List().viewport(), &help);
    };
    hint(List().visualItemRect(List().findItems("Ada Lab", Qt::MatchExactly).front()).center());
    ASSERT_TRUE(QToolTip::isVisible());
    const std::string shown = QToolTip::text().toStdString();
    for (const char* part : {"Ada Lab", "Suite 5", "Dayton", "45402"})
        EXPECT_NE(shown.find(part), std::string::npos) << part << " in " << shown;
    EXPECT_EQ(shown.find("Ben Row"), std::string::npos) << shown;
    hint(QPoint(5, List().viewport()->height() - 2));
    for (int turn = 0; turn < 200 && QToolTip::isVisible(); ++turn) QTest::qWait(10);
    EXPECT_FALSE(QToolTip::isVisible());
}

// After a print that greys the entry (the notice switched off), picking
// another address is another mailer: the entry, the list and the tree are
// white again and Print prints the new pick.
TEST_F(AddressBook, PickingAnotherAddressAfterAGreyingPrintMakesTheEntryEditable)
{
    StartWithAddressBook();
    folder.SetNumbering("123456789", "0000041", true, true);
    NewAddress("Clerk of Court", "Dayton", "OH", "45402");
    NewAddress("Sheriff", "Dayton", "OH", "45403");
    ASSERT_EQ(Selected(), (std::vector<std::string>{"Sheriff"}));
    const auto background = [this](const char* name) {
        return Child<QWidget>(name)->palette().color(QPalette::Base).name().toStdString();
    };
    const char* const marked[] = {"editRe", "editComment", "editPostage", "lvAddress", "tvGroups"};

    messages.Clear();
    messages.Answer(ui::mrOk);  // where the PDF went
    messages.Answer(1);         // "&Do not show this screen again"
    Print();
    Print();
    ASSERT_EQ(folder.LogCount(), 2);
    EXPECT_FALSE(Child<QPushButton>("btnPrint")->isEnabled());
    for (const char* name : marked) EXPECT_EQ(background(name), "#c0c0c0") << name;

    SelectAddresses({"Clerk of Court"});
    EXPECT_EQ(gToAddress1, "Clerk of Court");
    EXPECT_TRUE(Child<QPushButton>("btnPrint")->isEnabled());
    for (const char* name : marked) EXPECT_EQ(background(name), "#ffffff") << name;
    Print();
    EXPECT_EQ(SqlRows(folder.Log(), "select ToAddress1 from Log37 order by LID"),
              (std::vector<std::string>{"Sheriff", "Sheriff", "Clerk of Court"}));
}
