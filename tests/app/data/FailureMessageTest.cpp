// An engine failure as the user meets it: the real message box says what
// failed and what to do, and keeps the engine's own text behind
// "Show Details".
#include "app/data/FailureMessage.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "platform/rtl/IniFiles.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

struct SeenBox {
    QString text;
    QString details;
    bool hasDetailsButton = false;
};

// Shows `request` through the Qt presenter and reads the box while it is open.
SeenBox ShowAndRead(const ui::MessageRequest& request)
{
    SeenBox seen;
    QTimer::singleShot(0, [&seen] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box == nullptr || !box->isVisible()) continue;
            seen.text = box->text();
            seen.details = box->detailedText();
            for (QAbstractButton* b : box->buttons())
                if (b->text().contains("Details")) seen.hasDetailsButton = true;
            box->accept();
        }
    });
    ui::ShowMessage(request);
    return seen;
}

}  // namespace

TEST(FailureMessage, EngineTextGoesUnderDetailsAndTheBoxSaysWhatToDo)
{
    testsupport::EnsureQtApp();
    testsupport::TempDir dir;
    gAppPath = dir.str();
    TdmSendoPro dm;
    TdmMainData data{dm};
    std::string engineText;
    ui::MessageRequest request;
    try {
        data.LookupZip(dir.str(), "62701");
        FAIL() << "a lookup without its table must fail";
    } catch (const std::exception& e) {
        engineText = e.what();
        request = FailureMessage("The ZIP code could not be looked up.", e);
    }
    ASSERT_NE(engineText.find("NATIVEERROR"), std::string::npos) << engineText;

    const SeenBox seen = ShowAndRead(request);
    EXPECT_TRUE(seen.text.startsWith("The ZIP code could not be looked up.")) << seen.text.toStdString();
    EXPECT_TRUE(seen.text.contains(QString::fromStdString(dir.str()))) << "names the folder to look at";
    for (const char* engineWord : {"NATIVEERROR", "7200", "SQL", "ZIPCODES"})
        EXPECT_FALSE(seen.text.contains(engineWord)) << engineWord << " in " << seen.text.toStdString();
    // Line ends shown the platform's way, the text otherwise as the engine gave it.
    EXPECT_EQ(seen.details.trimmed(), QString::fromStdString(engineText).trimmed());
    EXPECT_TRUE(seen.hasDetailsButton);

    // A box without details has no such button.
    const SeenBox plain = ShowAndRead(FailureMessage("The file could not be read.", rtl::Exception("It is empty.")));
    EXPECT_FALSE(plain.hasDetailsButton);
    EXPECT_TRUE(plain.details.isEmpty());
}

TEST(FailureMessage, ProgramsOwnWordsStayInTheTextAndForeignOnesGoToDetails)
{
    gAppPath = "/data/sendora";
    // The program's own exception reads as it stands.
    const ui::MessageRequest own =
        FailureMessage("The settings could not be saved.", rtl::EIniFileException("Unable to write to /x/sendo4.ini"));
    EXPECT_EQ(own.text, "The settings could not be saved.\r\rUnable to write to /x/sendo4.ini");
    EXPECT_TRUE(own.details.empty());
    EXPECT_EQ(own.kind, ui::MsgKind::Error);

    // A library's text is not the program's words.
    const ui::MessageRequest foreign = FailureMessage("The log could not be read.", std::runtime_error("basic_string::_M_create"));
    EXPECT_EQ(foreign.text, "The log could not be read.");
    EXPECT_EQ(foreign.details, "basic_string::_M_create");

    // Engine refusals are told by their cause.
    const ui::MessageRequest locked =
        FailureMessage("The counter could not be stepped.", EEDSDatabaseError(nullptr, EDS_E_TABLE_LOCKED, "locked"));
    EXPECT_NE(locked.text.find("Another station"), std::string::npos);
    const ui::MessageRequest readOnly =
        FailureMessage("The address could not be saved.", EEDSDatabaseError(nullptr, EDS_E_READ_ONLY, "ro"));
    EXPECT_NE(readOnly.text.find("/data/sendora cannot be written"), std::string::npos) << readOnly.text;
    EXPECT_NE(readOnly.details.find("ro"), std::string::npos);
}

TEST(FailureMessage, AFolderThatMayNotBeWrittenIsNamedWhateverCodeTheEngineGaveIt)
{
    gAppPath = "/data/sendora";
    // A read-only mount or a missing right fails where the engine opens its
    // lock file, which the engine counts as an I/O error.
    for (const char* cause : {"Read-only file system", "Permission denied"}) {
        SCOPED_TRACE(cause);
        const ui::MessageRequest request = FailureMessage(
            "The mailer could not be printed.",
            EEDSDatabaseError(nullptr, EDS_E_IO,
                              std::string("Cannot open the lock file /mnt/share/MailerNum.edt.lck: ") + cause));
        EXPECT_NE(request.text.find("The data folder /data/sendora cannot be written: it is read-only, or your user "
                                    "has no permission to write to it."),
                  std::string::npos)
            << request.text;
        EXPECT_EQ(request.text.find("disk"), std::string::npos) << request.text;
        EXPECT_NE(request.details.find(cause), std::string::npos);
    }
    // A disk that really failed is still told as one.
    const ui::MessageRequest disk =
        FailureMessage("The log could not be read.", EEDSDatabaseError(nullptr, EDS_E_IO, "disk I/O error"));
    EXPECT_NE(disk.text.find("The disk could not be read or written."), std::string::npos) << disk.text;
}
