// The small print settings dialogs: what OK stores and Cancel leaves alone,
// the checks of the label counts (on leaving the field and again on OK), and
// the mass-print check list that hands its marks back by address ID.
#include "app/printing/U_Align.h"
#include "app/printing/U_ExtraLabel.h"
#include "app/printing/U_MassPrint.h"
#include "app/printing/U_NumLabels.h"

#include "tests/app/printing/DialogsTestSupport.h"
#include "tests/app/main/MainTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>

namespace {

using PrintSettingsDialogs = maintest::MainFixture;

using dialogtest::Find;
using dialogtest::Leave;

const char* const kValidNumber = "Please enter a valid number for \"Number of Labels\".";
const char* const kOver100 = "You can not enter a number greater than 100.";

}  // namespace

// ---- alignment ---------------------------------------------------------------------

TEST_F(PrintSettingsDialogs, AlignShowsTheStepsAndOkStoresTypedOnesCancelKeepsThem)
{
    gAlignLeftRight = 5;
    gAlignTopBottom = -2;
    {
        TF_Align dialog;
        auto* across = Find<QSpinBox>(dialog, "spinLeftRight");
        auto* down = Find<QSpinBox>(dialog, "SpinUpDown");
        EXPECT_EQ(across->value(), 5);
        EXPECT_EQ(down->value(), -2);
        across->setValue(-40);
        down->setValue(7);
        Find<QPushButton>(dialog, "btnCancel")->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    EXPECT_EQ(gAlignLeftRight, 5);
    EXPECT_EQ(gAlignTopBottom, -2);

    TF_Align dialog;
    dialog.show();
    auto* across = Find<QSpinBox>(dialog, "spinLeftRight");
    across->setFocus();
    across->selectAll();
    QTest::keyClicks(across, "-12");  // typed, never committed by leaving the box
    Find<QSpinBox>(dialog, "SpinUpDown")->setValue(999);
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gAlignLeftRight, -12);
    EXPECT_EQ(gAlignTopBottom, 999);
    EXPECT_EQ(messages.Count(), 0u);
}

// ---- extra label -------------------------------------------------------------------

TEST_F(PrintSettingsDialogs, ExtraLabelNoDisablesTheAddressChoiceAndOkStoresBoth)
{
    gPrintExtraLabel = "No";
    gExtraLabel = "Your Name and Address";
    TF_ExtraLabel dialog;
    auto* yes = Find<QRadioButton>(dialog, "rbYes");
    auto* no = Find<QRadioButton>(dialog, "rbNo");
    auto* combo = Find<QComboBox>(dialog, "cbExtraLabel");
    EXPECT_TRUE(no->isChecked());
    EXPECT_EQ(combo->currentText(), "Your Name and Address");
    EXPECT_FALSE(combo->isEnabled());

    yes->click();
    EXPECT_TRUE(combo->isEnabled());
    no->click();
    EXPECT_FALSE(combo->isEnabled());
    yes->click();
    combo->setCurrentIndex(0);
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gPrintExtraLabel, "Yes");
    EXPECT_EQ(gExtraLabel, "Addressed To");
}

TEST_F(PrintSettingsDialogs, ExtraLabelTypedTextBecomesAddressedToAndCancelStoresNothing)
{
    gPrintExtraLabel = "Yes";
    gExtraLabel = "Your Name and Address";
    {
        TF_ExtraLabel dialog;
        Find<QRadioButton>(dialog, "rbNo")->click();
        Find<QComboBox>(dialog, "cbExtraLabel")->setCurrentIndex(0);
        Find<QPushButton>(dialog, "btnCancel")->click();
    }
    EXPECT_EQ(gPrintExtraLabel, "Yes");
    EXPECT_EQ(gExtraLabel, "Your Name and Address");

    TF_ExtraLabel dialog;
    Find<QComboBox>(dialog, "cbExtraLabel")->setEditText("Return Address");
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(gPrintExtraLabel, "Yes");
    EXPECT_EQ(gExtraLabel, "Addressed To");
    EXPECT_EQ(ExtraLabelChoice("Your Name and Address"), "Your Name and Address");
    EXPECT_EQ(ExtraLabelChoice("your name and address"), "Addressed To");
}

TEST_F(PrintSettingsDialogs, ExtraLabelWithAnUnknownStoredChoiceKeepsIt)
{
    gPrintExtraLabel = "Maybe";
    TF_ExtraLabel dialog;
    EXPECT_FALSE(Find<QRadioButton>(dialog, "rbYes")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>(dialog, "rbNo")->isChecked());
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gPrintExtraLabel, "Maybe");
}

// ---- number of labels --------------------------------------------------------------

TEST_F(PrintSettingsDialogs, NumLabelsLeavingTheFieldChecksBlankAndOver100)
{
    TF_NumLabels dialog;
    auto* edit = Find<QLineEdit>(dialog, "editNumLabels");
    auto* ok = Find<QPushButton>(dialog, "btnOK");
    EXPECT_EQ(edit->text(), "1");

    edit->setText("101");
    Leave(edit);
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_EQ(messages.Last().text, kOver100);
    EXPECT_EQ(edit->text(), "");
    EXPECT_FALSE(ok->isEnabled());

    Leave(edit);  // now blank
    ASSERT_EQ(messages.Count(), 2u);
    EXPECT_EQ(messages.Last().text, kValidNumber);
    EXPECT_EQ(edit->text(), "1");
    EXPECT_FALSE(ok->isEnabled());

    edit->setText("100");
    Leave(edit);
    EXPECT_EQ(messages.Count(), 2u);
    EXPECT_TRUE(ok->isEnabled());
}

TEST_F(PrintSettingsDialogs, NumLabelsKeysPassOnlyDigitsAndEnableOk)
{
    TF_NumLabels dialog;
    dialog.show();
    auto* edit = Find<QLineEdit>(dialog, "editNumLabels");
    auto* ok = Find<QPushButton>(dialog, "btnOK");
    edit->setText("101");
    Leave(edit);
    ASSERT_FALSE(ok->isEnabled());
    edit->setFocus();
    QTest::keyClicks(edit, "4x-2 .");
    EXPECT_EQ(edit->text(), "42");
    EXPECT_TRUE(ok->isEnabled());
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "4") << "control keys pass";

    ok->setEnabled(false);
    Find<QScrollBar>(dialog, "UpDown1")->setValue(9);
    EXPECT_EQ(edit->text(), "9");
    EXPECT_TRUE(ok->isEnabled()) << "the up-down enables OK";
}

TEST_F(PrintSettingsDialogs, NumLabelsOkChecksAgainSoEnterCannotSkipThem)
{
    gNumLabels = 3;
    TF_NumLabels dialog;
    dialog.show();
    auto* edit = Find<QLineEdit>(dialog, "editNumLabels");
    auto* ok = Find<QPushButton>(dialog, "btnOK");
    edit->setText("250");  // never left
    ok->click();
    EXPECT_EQ(messages.Last().text, kOver100);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(gNumLabels, 3);

    edit->setText("");
    ok->setEnabled(true);
    ok->click();
    EXPECT_EQ(messages.Last().text, kValidNumber);
    EXPECT_TRUE(dialog.isVisible());

    edit->setText("1$");  // pasted, not typed
    ok->setEnabled(true);
    ok->click();
    EXPECT_EQ(messages.Last().text, kValidNumber);
    EXPECT_EQ(gNumLabels, 3);

    edit->setText("25");
    ok->setEnabled(true);
    ok->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gNumLabels, 25);
}

TEST_F(PrintSettingsDialogs, NumLabelsCancelStoresNothing)
{
    gNumLabels = 3;
    TF_NumLabels dialog;
    Find<QLineEdit>(dialog, "editNumLabels")->setText("50");
    Find<QPushButton>(dialog, "btnCancel")->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(gNumLabels, 3);
    EXPECT_EQ(messages.Count(), 0u);
}

// ---- mass print ----------------------------------------------------------------------

namespace {

TAddressRec Address(std::int32_t id, const std::string& name)
{
    return TAddressRec(id, name, "12 Elm St", "", "", "Springfield", "IL", "62701");
}

}  // namespace

TEST_F(PrintSettingsDialogs, MassPrintListsEachAddressOnceWithItsMarkAndHint)
{
    TF_MassPrint dialog;
    dialog.AddAddress(Address(7, "Ann Lee"), "Lee, Ann", true);
    dialog.AddAddress(Address(9, "Bo Park"), "Park, Bo", false);
    dialog.AddAddress(Address(7, "Ann Lee again"), "Lee, Ann (2)", false);
    auto* list = Find<QListWidget>(dialog, "lvMassPrint");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "Lee, Ann");
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(list->item(1)->checkState(), Qt::Unchecked);
    EXPECT_EQ(list->item(0)->toolTip(), "Ann Lee\n\r12 Elm St\n\rSpringfield IL 62701");
    EXPECT_EQ(MassPrintHint(TAddressRec(1, "A", "B", "C", "D", "Town", "", "12345")), "A\n\rB\n\rC\n\rD\n\rTown 12345");
    EXPECT_EQ(dialog.CheckMarkOf(7), true);
    EXPECT_EQ(dialog.CheckMarkOf(9), false);
    EXPECT_EQ(dialog.CheckMarkOf(8), std::nullopt);
}

TEST_F(PrintSettingsDialogs, MassPrintCheckAllFollowsTheMarksAndSetsThemAll)
{
    TF_MassPrint dialog;
    dialog.AddAddress(Address(1, "A"), "A", true);
    dialog.AddAddress(Address(2, "B"), "B", false);
    auto* all = Find<QCheckBox>(dialog, "cbAll");
    dialog.show();
    EXPECT_FALSE(all->isChecked()) << "one address is unmarked";
    EXPECT_EQ(dialog.CheckMarkOf(1), true) << "showing changes no mark";

    all->click();
    EXPECT_EQ(dialog.CheckMarkOf(1), true);
    EXPECT_EQ(dialog.CheckMarkOf(2), true);
    all->click();
    EXPECT_EQ(dialog.CheckMarkOf(1), false);
    EXPECT_EQ(dialog.CheckMarkOf(2), false);

    dialog.hide();
    Find<QListWidget>(dialog, "lvMassPrint")->item(0)->setCheckState(Qt::Checked);
    Find<QListWidget>(dialog, "lvMassPrint")->item(1)->setCheckState(Qt::Checked);
    dialog.show();
    EXPECT_TRUE(all->isChecked()) << "every address is marked";
}

TEST_F(PrintSettingsDialogs, MassPrintMenuSelectsWithoutTouchingMarks)
{
    TF_MassPrint dialog;
    dialog.AddAddress(Address(1, "A"), "A", false);
    dialog.AddAddress(Address(2, "B"), "B", true);
    auto* list = Find<QListWidget>(dialog, "lvMassPrint");
    auto* selectAll = Find<QAction>(*list, "miSelectAll");
    auto* unselectAll = Find<QAction>(*list, "miUnselectAll");
    selectAll->trigger();
    EXPECT_EQ(list->selectedItems().size(), 2);
    EXPECT_EQ(dialog.CheckMarkOf(1), false);
    unselectAll->trigger();
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_EQ(dialog.CheckMarkOf(2), true);
}
