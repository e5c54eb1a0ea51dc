// The error contract: engine codes become EEDSDatabaseError with the engine's
// text, the dataset's names, the SQL server's number and the failing column.

#include "DbAccessTestSupport.h"

#include "dbaccess/edsfunc.h"

#include <gtest/gtest.h>

#include <string>

using dbtest::FakeDataSet;
using dbtest::Engine;
using dbtest::Script;

namespace {

EEDSDatabaseError Caught(IEdsDataSet* dataSet, UNSIGNED32 code) {
    try {
        CheckEdsError(dataSet, code);
    } catch (const EEDSDatabaseError& e) {
        return e;
    }
    ADD_FAILURE() << "no EEDSDatabaseError for code " << code;
    return EEDSDatabaseError(nullptr, 0, "");
}

}  // namespace

// ---- the check after an engine call ------------------------------------------------

TEST(CheckEdsError, PassesSuccessAndRaisesTheEnginesLastError) {
    EXPECT_NO_THROW(CheckEdsError(nullptr, 0));

    // A refusal recorded through the engine travels with its own code and text.
    const UNSIGNED32 rc = EdsApi.EdsSetLastError(5054, EdsText("Update permission not granted on this table."));
    ASSERT_NE(rc, 0u);
    const EEDSDatabaseError e = Caught(nullptr, rc);
    EXPECT_EQ(e.ErrorCode(), 5054);
    EXPECT_STREQ(e.what(), "Update permission not granted on this table.");
    EXPECT_TRUE(e.DataSetName().empty());
    EXPECT_EQ(e.NativeError(), 0);
}

TEST(CheckEdsError, TheEnginesCodeReplacesTheOnePassedUnlessThereIsNone) {
    Script script;
    script.LastError(5024, "The connection handle is not valid.");
    const EEDSDatabaseError d = Caught(nullptr, 7209);
    EXPECT_EQ(d.ErrorCode(), 5024);
    EXPECT_STREQ(d.what(), "The connection handle is not valid.");

    script.LastError(0, "");
    const EEDSDatabaseError e = Caught(nullptr, 7209);
    EXPECT_EQ(e.ErrorCode(), 7209);
    EXPECT_STREQ(e.what(), "Error 7209");

    Engine().lastErrorAnswer = EDS_E_INVALID_ARGUMENT;  // the engine cannot even answer
    const EEDSDatabaseError f = Caught(nullptr, 5132);
    EXPECT_EQ(f.ErrorCode(), 5132);
    EXPECT_STREQ(f.what(), "Error 5132");
}

TEST(CheckEdsError, ALongEngineTextArrivesWhole) {
    Script script;
    const std::string text = "ERROR 7200: " + std::string(900, 'x') + " NATIVEERROR = 42;";
    script.LastError(7200, text);
    const EEDSDatabaseError e = Caught(nullptr, 7200);
    EXPECT_EQ(e.what(), text);
    EXPECT_EQ(e.NativeError(), 42);
}

TEST(CheckEdsError, Except5068LetsOnlyThatCodePass) {
    Script script;
    script.LastError(5022, "Record not found.");
    EXPECT_NO_THROW(CheckEdsResultExcept5068(nullptr, 5068));
    EXPECT_NO_THROW(CheckEdsResultExcept5068(nullptr, 0));
    EXPECT_THROW(CheckEdsResultExcept5068(nullptr, 5022), EEDSDatabaseError);
}

// ---- what the exception carries -------------------------------------------------

TEST(EEDSDatabaseError, NamesTheDataSetAndWhereItLives) {
    rtl::TComponent owner;
    owner.SetName("dmMain");
    FakeDataSet dataSet(&owner, "edsqLog");
    dataSet.databaseName = "/srv/sendo/data/";
    dataSet.tableName = "Log37";

    const EEDSDatabaseError e(&dataSet, 5022, "Record not found.");
    EXPECT_STREQ(e.what(), "edsqLog: Record not found.");
    EXPECT_EQ(e.ErrorCode(), 5022);
    EXPECT_EQ(e.DataSetName(), "edsqLog");
    EXPECT_EQ(e.OwnerName(), "dmMain");
    EXPECT_EQ(e.DatabaseName(), "/srv/sendo/data/");
    EXPECT_EQ(e.ConnectPath(), "/srv/sendo/data");
    EXPECT_EQ(e.TableName(), "Log37");
    EXPECT_EQ(e.ColumnName(), "");

    FakeDataSet unnamed(nullptr, "");
    EXPECT_STREQ(EEDSDatabaseError(&unnamed, 5121, "Table must be Active.").what(), "Table must be Active.");
}

TEST(EEDSDatabaseError, ColumnErrorsNameTheColumn) {
    FakeDataSet dataSet(nullptr, "edstAddress");
    const std::string text = "Invalid value for column \"Zip\" in table Address.";
    for (int code : {5147, 5148, 5149}) {
        EXPECT_EQ(EEDSDatabaseError(&dataSet, code, text).ColumnName(), "Zip") << code;
    }
    EXPECT_EQ(EEDSDatabaseError(&dataSet, 5146, text).ColumnName(), "");
    EXPECT_EQ(EEDSDatabaseError(nullptr, 5148, text).ColumnName(), "");
    // No closing quote, or a name beyond the first 900 characters: no column.
    EXPECT_EQ(EEDSDatabaseError(&dataSet, 5148, "column \"Zip").ColumnName(), "");
    EXPECT_EQ(EEDSDatabaseError(&dataSet, 5148, std::string(895, ' ') + "column \"Zip\"").ColumnName(), "");
    EXPECT_EQ(EEDSDatabaseError(&dataSet, 5148, "in column \"A\" then column \"B\"").ColumnName(), "A");
}

TEST(EEDSDatabaseError, FindsTheNativeErrorOfSqlErrors) {
    auto native = [](const std::string& text) { return EEDSDatabaseError(nullptr, 7200, text).NativeError(); };
    EXPECT_EQ(native("ERROR 7200: AQE Error State = 23000; NATIVEERROR = 2627; Violation of unique key"), 2627);
    EXPECT_EQ(native("error 7200: state; nativeError = -5 ;"), -5);
    EXPECT_EQ(native("ERROR 7200: NATIVEERROR = 77"), 77);  // up to the end without ";"
    EXPECT_EQ(native("ERROR 7200: NATIVEERROR = abc;"), 0);
    EXPECT_EQ(native("ERROR 7200: NATIVEERROR = 99999999999;"), 0);
    EXPECT_EQ(native("ERROR 7200: NATIVEERROR = ;"), 0);
    EXPECT_EQ(native("ERROR 7201: NATIVEERROR = 2627;"), 0);
    EXPECT_EQ(native("NATIVEERROR = 2627; ERROR 7200:"), 2627);
}

TEST(EEDSDatabaseError, KeepsWhatWasReadWhenTheDataSetFails) {
    FakeDataSet dataSet(nullptr, "edstLog");
    dataSet.databaseName = "LOGDATA";
    dataSet.tableName = "Log37";
    dataSet.connectPath = []() -> std::string { throw rtl::Exception("path lookup failed"); };

    const EEDSDatabaseError e(&dataSet, 5148, "bad column \"Zip\"");
    EXPECT_STREQ(e.what(), "edstLog: bad column \"Zip\"");
    EXPECT_EQ(e.DatabaseName(), "LOGDATA");
    EXPECT_EQ(e.ConnectPath(), "");
    EXPECT_EQ(e.TableName(), "");  // read after the path
    EXPECT_EQ(e.ColumnName(), "");
}

TEST(EEDSDatabaseError, AnEngineFailureWhileFillingItInRaisesNoSecondError) {
    Script script;
    script.LastError(5024, "The connection handle is not valid.");
    FakeDataSet dataSet(nullptr, "edstLog");
    int innerChecks = 0;
    dataSet.connectPath = [&innerChecks]() -> std::string {
        ++innerChecks;
        CheckEdsError(nullptr, 5024);  // would raise anywhere else
        return "/resolved";
    };

    const EEDSDatabaseError e = Caught(&dataSet, 5022);
    EXPECT_EQ(innerChecks, 1);
    EXPECT_EQ(e.ConnectPath(), "/resolved");
    EXPECT_STREQ(e.what(), "edstLog: The connection handle is not valid.");

    // An error made while another is being filled in stays empty: the outer
    // builder swallows it, and it must not ask the dataset again.
    int asked = 0;
    std::int32_t innerCode = -1;
    std::string innerText = "unset";
    dataSet.connectPath = [&]() -> std::string {
        ++asked;
        try {
            throw EEDSDatabaseError(&dataSet, 5121, "Table must be Active.");
        } catch (const EEDSDatabaseError& inner) {
            innerCode = inner.ErrorCode();
            innerText = inner.what();
            throw;
        }
    };
    const EEDSDatabaseError outer(&dataSet, 5022, "gone");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(innerCode, 0);
    EXPECT_EQ(innerText, "");
    EXPECT_STREQ(outer.what(), "edstLog: gone");

    // The guard is gone with the error: later checks raise again, also after a
    // fill that itself failed.
    EXPECT_THROW(CheckEdsError(nullptr, 5024), EEDSDatabaseError);
    dataSet.connectPath = []() -> std::string { throw rtl::Exception("gone"); };
    EXPECT_THROW(CheckEdsError(&dataSet, 5024), EEDSDatabaseError);
    EXPECT_THROW(CheckEdsError(nullptr, 5024), EEDSDatabaseError);
}

// ---- the error hook ------------------------------------------------------------

TEST(EdsErrorHook, ReportsToTheHookOrElseToStandardError) {
    {
        dbtest::ErrorHookCapture capture;
        EdsReportError("first");
        try {
            throw rtl::Exception("second");
        } catch (...) {
            EdsReportCurrentException();
        }
        try {
            throw 42;
        } catch (...) {
            EdsReportCurrentException();
        }
        EXPECT_EQ(capture.texts, (std::vector<std::string>{"first", "second", "Unknown error"}));
    }
    testing::internal::CaptureStderr();
    EdsReportError("to the console");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "to the console\n");

    // A hook that fails itself does not escape.
    SetEdsErrorHook([](const std::string&) { throw rtl::Exception("hook broke"); });
    EXPECT_NO_THROW(EdsReportError("x"));
    SetEdsErrorHook(nullptr);
}
