#include "platform/ui/MaskEdit.h"

#include "tests/support/QtTestApp.h"

#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class MaskEditTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::EnsureQtApp(); }
};

TEST_F(MaskEditTest, ZipEditReadsBlankTextAndTypedDigits) {
    ui::MaskEdit edit;
    edit.SetEditMask("99999\\-9999;1;_");
    EXPECT_EQ(edit.Text(), "     -    ");
    EXPECT_EQ(edit.EditText(), "_____-____");

    edit.setCursorPosition(0);
    QTest::keyClicks(&edit, "12a345");
    EXPECT_EQ(edit.Text(), "12345-    ");
    QTest::keyClicks(&edit, "6789");
    EXPECT_EQ(edit.Text(), "12345-6789");

    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.Text(), "12345-678 ");
    edit.setCursorPosition(0);
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(edit.Text(), " 2345-678 ");
}

TEST_F(MaskEditTest, AssignedTextGoesThroughTheMaskAndSignalsChange) {
    ui::MaskEdit edit;
    edit.SetEditMask("99999\\-9999;1;_");
    QSignalSpy changed(&edit, &QLineEdit::textChanged);
    edit.SetText("123456789");
    EXPECT_EQ(edit.Text(), "12345-6789");
    EXPECT_EQ(changed.count(), 1);
    edit.SetText("12345-6789");  // same text: no change
    EXPECT_EQ(changed.count(), 1);
    edit.SetEditText("98765-____");
    EXPECT_EQ(edit.Text(), "98765-    ");
}

TEST_F(MaskEditTest, SelectionIsClearedByTypingAndPasteIsFiltered) {
    ui::MaskEdit edit;
    edit.SetEditMask("00-000-0000;1;_");
    edit.SetText("12-345-6789");
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.Text(), "  -   -    ");
    EXPECT_FALSE(edit.IsComplete());

    QApplication::clipboard()->setText("98 765 4321");
    edit.setCursorPosition(0);
    QTest::keySequence(&edit, QKeySequence::Paste);
    EXPECT_EQ(edit.Text(), "98-765-4321");
    EXPECT_TRUE(edit.IsComplete());

    edit.setSelection(3, 3);
    QTest::keyClicks(&edit, "1");
    EXPECT_EQ(edit.Text(), "98-1  -4321");
}

TEST_F(MaskEditTest, ChangingTheMaskKeepsTheTextAndNoMaskIsPlain) {
    ui::MaskEdit edit;
    edit.SetText("free text");
    EXPECT_EQ(edit.Text(), "free text");
    QTest::keyClicks(&edit, "!");
    EXPECT_EQ(edit.Text(), "free text!");
    edit.SetEditMask("000000000;0");
    EXPECT_EQ(edit.Text(), "         ");
    edit.SetText("123456789");
    edit.setProperty("editMask", QStringLiteral("00-000-0000;1;_"));
    EXPECT_EQ(edit.EditMaskText(), "00-000-0000;1;_");
    EXPECT_EQ(edit.Text(), "12-345-6789");
}

}  // namespace
