// A fee left in place by a menu and printed by Print's key: what the Zeros
// switch chosen in that menu shows for the fee is what the log keeps and the
// form prints.

#include "tests/e2e/E2ESupport.h"
#include "tests/e2e/E2EWindow.h"

#include "platform/rtl/SysUtils.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

namespace {

using e2e::SqlRows;

// The key of a caption's "&" letter.
Qt::Key MnemonicKey(const QString& caption)
{
    const qsizetype at = caption.indexOf('&');
    if (at < 0 || at + 1 >= caption.size()) {
        ADD_FAILURE() << "no key in \"" << caption.toStdString() << "\"";
        return Qt::Key_unknown;
    }
    return static_cast<Qt::Key>(caption.at(at + 1).toUpper().unicode());
}

class FeeZeros : public e2e::MainWindowTest {};

TEST_F(FeeZeros, ZerosSwitchedOnFromTheMenuOverARefusedFeeIsWhatPrintByKeyLogsAndPrints)
{
    REQUIRE_E2E_TOOLS();
    Start();
    auto* zerosOn = Child<QAction>("miZerosOn");
    Child<QAction>("miZerosOff")->trigger();
    ASSERT_FALSE(window->ZerosOn());
    Activate();
    auto* fee = Child<QLineEdit>("editReturn");
    ASSERT_EQ(fee->text().trimmed(), "1.85");

    // A refused amount, then the Fees menu by its key: leaving the field
    // for the menu blanks the fee, with Zeros still off.
    TypeAtEnd(fee, "ho");
    auto* fees = Child<QMenu>("menuFees");
    QTest::keyClick(fee, MnemonicKey(fees->title()), Qt::AltModifier);
    QWidget* menu = QApplication::activePopupWidget();
    ASSERT_EQ(menu, fees);
    EXPECT_EQ(fee->text().toStdString(), " ");
    QTest::keyClick(menu, MnemonicKey(zerosOn->text()));
    ASSERT_TRUE(window->ZerosOn());
    ASSERT_EQ(QApplication::focusWidget(), fee);

    // With Zeros on, the blank fee shows 0.00 when Print leaves the field.
    PressAlt(Qt::Key_P);
    EXPECT_TRUE(Shown(ui::MsgKind::Error).empty());
    EXPECT_EQ(fee->text().trimmed(), "0.00");
    EXPECT_EQ(SqlRows(folder.Log(), "select Return, Total from Log37 order by LID"),
              std::vector<std::string>{"0.00|2.79"});
    const auto pdfs = e2e::PdfFiles(folder.Pdfs());
    ASSERT_EQ(pdfs.size(), 1u);
    // The receipt's fee line: its caption, then the amount on the same line.
    const std::string page = e2e::PdfText(pdfs[0]);
    const std::size_t caption = page.find("Return Receipt");
    ASSERT_NE(caption, std::string::npos) << page;
    const std::size_t end = page.find('\n', caption);
    EXPECT_EQ(rtl::Trim(page.substr(caption + 14, end - caption - 14)), "0.00") << page;
}

}  // namespace
