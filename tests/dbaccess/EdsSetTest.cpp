// Process settings: what reaches the engine, the one-instance rule, and the
// program-wide date format that SetAppDate takes over.

#include "DbAccessTestSupport.h"

#include "dbaccess/edsset.h"
#include "platform/rtl/DateUtils.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Every settings call the engine got, as "name(argument)", and which calls fail.
struct SettingsLog {
    std::vector<std::string> calls;
    std::vector<std::string> failing;  // call texts answered with 5208
    UNSIGNED16 decimals = 2;
    UNSIGNED16 showDeleted = 0;
};

SettingsLog& Log() {
    static SettingsLog log;
    return log;
}

UNSIGNED32 Record(const std::string& call) {
    Log().calls.push_back(call);
    for (const std::string& f : Log().failing) {
        if (f == call || f == call.substr(0, call.find('('))) return EDS_E_INVALID_ARGUMENT;
    }
    return 0;
}

class SettingsTest : public testing::Test {
protected:
    SettingsTest() {
        Log() = SettingsLog{};
        script_.ErrorString("The argument is not valid.");
        EdsApi.EdsSetDateFormat = [](const UNSIGNED8* f) { return Record("EdsSetDateFormat(" + dbtest::Text(f) + ")"); };
        EdsApi.EdsSetDecimals = [](UNSIGNED16 n) { return Record("EdsSetDecimals(" + std::to_string(n) + ")"); };
        EdsApi.EdsShowDeleted = [](UNSIGNED16 b) { return Record("EdsShowDeleted(" + std::to_string(b) + ")"); };
        EdsApi.EdsSetServerType = [](UNSIGNED16 t) { return Record("EdsSetServerType(" + std::to_string(t) + ")"); };
        EdsApi.EdsCacheOpenTables = [](UNSIGNED16 n) { return Record("EdsCacheOpenTables(" + std::to_string(n) + ")"); };
        EdsApi.EdsCacheOpenCursors = [](UNSIGNED16 n) { return Record("EdsCacheOpenCursors(" + std::to_string(n) + ")"); };
        EdsApi.EdsGetDecimals = [](UNSIGNED16* n) {
            *n = Log().decimals;
            return Record("EdsGetDecimals()");
        };
        EdsApi.EdsGetDeleted = [](UNSIGNED16* b) {
            *b = Log().showDeleted;
            return Record("EdsGetDeleted()");
        };
    }

    std::vector<std::string>& Calls() { return Log().calls; }

    dbtest::Script script_;
    rtl::DateFormatGuard dateFormats_;
};

template <class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(nothing raised)";
}

}  // namespace

// ---- construction ---------------------------------------------------------------

TEST_F(SettingsTest, ConstructionSetsTheEngineUp) {
    rtl::ShortDateFormat = "MM/dd/yyyy";
    Log().decimals = 4;
    Log().showDeleted = 1;
    TEdsSettings settings(nullptr);
    // The table cache stays at its default, so only the cursor cache is sent.
    EXPECT_EQ(Calls(), (std::vector<std::string>{"EdsCacheOpenCursors(25)", "EdsSetDateFormat(MM/dd/yyyy)",
                                                 "EdsGetDecimals()", "EdsGetDeleted()", "EdsSetServerType(6)"}));
    EXPECT_EQ(settings.DateFormat(), "MM/dd/yyyy");
    EXPECT_TRUE(settings.SetAppDate());
    EXPECT_EQ(settings.NumDecimals(), 4);
    EXPECT_TRUE(settings.ShowDeleted());
    EXPECT_EQ(settings.NumCachedTables(), 0);
    EXPECT_EQ(settings.NumCachedCursors(), 25);
    EXPECT_EQ(settings.EdsServerTypes(), (TEdsServerTypes{stEDS_REMOTE, stEDS_AIS}));
    EXPECT_EQ(TEdsSettings::Current(), &settings);
    // Construction leaves the program's own date format alone.
    EXPECT_EQ(rtl::ShortDateFormat, "MM/dd/yyyy");

    // More open tables than an 8-bit count holds read as its largest value.
    EdsApi.EdsGetNumOpenTables = [](UNSIGNED16* n) -> UNSIGNED32 {
        *n = 300;
        return 0;
    };
    EXPECT_EQ(settings.NumOpenTables(), 127);
}

TEST_F(SettingsTest, ARefusedFormatFallsBackAndAFailedConstructionLeavesNoInstance) {
    {
        rtl::ShortDateFormat = "d.M.yyyy";
        Log().failing = {"EdsSetDateFormat(d.M.yyyy)"};
        TEdsSettings settings(nullptr);
        EXPECT_EQ(settings.DateFormat(), "MM/dd/ccyy");
    }
    Log().failing = {"EdsSetDateFormat"};
    EXPECT_EQ(MessageOf([] { TEdsSettings settings(nullptr); }), "The argument is not valid.");
    EXPECT_EQ(TEdsSettings::InstanceCount(), 0);
    EXPECT_EQ(TEdsSettings::Current(), nullptr);

    Log().failing = {"EdsGetDeleted"};
    EXPECT_THROW(TEdsSettings(nullptr), EdsError);
    EXPECT_EQ(TEdsSettings::InstanceCount(), 0);

    Log().failing.clear();
    EXPECT_NO_THROW(TEdsSettings(nullptr));
}

TEST_F(SettingsTest, OnlyOneInstancePerProcess) {
    auto first = std::make_unique<TEdsSettings>(nullptr);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(MessageOf([] { TEdsSettings second(nullptr); }),
                  "Only one EdsSettings component is allowed per application");
        EXPECT_EQ(TEdsSettings::InstanceCount(), 1);
        EXPECT_EQ(TEdsSettings::Current(), first.get());
    }
    first.reset();
    EXPECT_EQ(TEdsSettings::InstanceCount(), 0);
    EXPECT_EQ(TEdsSettings::Current(), nullptr);
    TEdsSettings again(nullptr);
    EXPECT_EQ(TEdsSettings::Current(), &again);
}

TEST_F(SettingsTest, ASecondInstanceAtDesignTimeOnlyWarns) {
    std::vector<std::string> warnings;
    TEdsSettings::SetDesignWarningHook([&warnings](const std::string& text) { warnings.push_back(text); });
    rtl::TComponent form;
    form.SetDesigning(true);
    TEdsSettings first(&form);
    TEdsSettings second(&form);
    EXPECT_EQ(warnings,
              (std::vector<std::string>{"Warning: Only one EdsSettings component is allowed per application."}));
    EXPECT_EQ(TEdsSettings::InstanceCount(), 2);
    TEdsSettings::SetDesignWarningHook(nullptr);
}

// ---- date format ------------------------------------------------------------------

TEST_F(SettingsTest, DateFormatReachesTheEngineCutToElevenCharacters) {
    TEdsSettings settings(nullptr);
    Calls().clear();
    settings.SetSetAppDate(false);
    settings.SetDateFormat("");
    settings.SetDateFormat("MM/DD/CCYY  hh");  // 15 characters
    EXPECT_EQ(Calls(), (std::vector<std::string>{"EdsSetDateFormat(MM/dd/ccyy)", "EdsSetDateFormat(MM/DD/CCYY )"}));
    EXPECT_EQ(settings.DateFormat(), "MM/DD/CCYY  ");
}

TEST_F(SettingsTest, SetAppDateMakesItTheProgramsShortDateFormat) {
    rtl::ShortDateFormat = "dd.MM.yyyy";
    rtl::DateSeparator = '.';
    TEdsSettings settings(nullptr);
    settings.SetDateFormat("MM/DD/YY");
    EXPECT_EQ(Calls().back(), "EdsSetDateFormat(MM/DD/YY)");
    EXPECT_EQ(rtl::ShortDateFormat, "MM/DD/yy");
    EXPECT_EQ(rtl::DateSeparator, '/');
    EXPECT_EQ(rtl::DateToStr(rtl::EncodeDate(2026, 12, 7)), "12/07/26");

    settings.SetDateFormat("cCyY-mm-dd");
    EXPECT_EQ(rtl::ShortDateFormat, "yyyy-mm-dd");
    EXPECT_EQ(rtl::DateSeparator, '-');

    // Read back from a stored form with SetAppDate off, the program gets its
    // own format back: the one from before the first replacement.
    settings.SetLoading(true);
    settings.SetSetAppDate(false);
    settings.SetLoading(false);
    EXPECT_EQ(rtl::ShortDateFormat, "dd.MM.yyyy");
    EXPECT_EQ(rtl::DateSeparator, '.');
    EXPECT_FALSE(settings.SetAppDate());

    settings.SetDateFormat("MM/DD/YY");
    EXPECT_EQ(rtl::ShortDateFormat, "dd.MM.yyyy");

    settings.SetSetAppDate(true);
    settings.SetDateFormat("MM/DD/YY");
    Log().failing = {"EdsSetDateFormat"};
    EXPECT_EQ(MessageOf([&] { settings.SetDateFormat("DD.MM.CCYY"); }), "The argument is not valid.");
    EXPECT_EQ(settings.DateFormat(), "MM/DD/YY");
    EXPECT_EQ(rtl::ShortDateFormat, "MM/DD/yy");
}

// ---- server types, caches, decimals, deleted records -------------------------------

TEST_F(SettingsTest, ServerTypesAnEmptyOrRefusedSetKeepsThePreviousOne) {
    TEdsSettings settings(nullptr);
    Calls().clear();
    settings.SetEdsServerTypes({stEDS_AIS, stEDS_REMOTE});  // unchanged
    settings.SetEdsServerTypes({stEDS_LOCAL});
    EXPECT_EQ(Calls(), (std::vector<std::string>{"EdsSetServerType(1)"}));
    Calls().clear();
    EXPECT_EQ(MessageOf([&] { settings.SetEdsServerTypes({}); }), "At least one server type must be selected.");
    EXPECT_THROW(settings.SetEdsServerTypes({}), EdsSettingsError);
    EXPECT_EQ(settings.EdsServerTypes(), TEdsServerTypes{stEDS_LOCAL});
    EXPECT_TRUE(Calls().empty());

    Log().failing = {"EdsSetServerType"};
    EXPECT_EQ(MessageOf([&] { settings.SetEdsServerTypes({stEDS_REMOTE}); }), "The argument is not valid.");
    EXPECT_EQ(settings.EdsServerTypes(), TEdsServerTypes{stEDS_LOCAL});
}

TEST_F(SettingsTest, CacheSizesDecimalsAndDeletedRecords) {
    TEdsSettings settings(nullptr);
    Calls().clear();
    EXPECT_EQ(MessageOf([&] { settings.SetNumCachedTables(-1); }), "NumCachedTables value must be greater than zero.");
    EXPECT_EQ(MessageOf([&] { settings.SetNumCachedCursors(-1); }),
              "NumCachedCursors value must be greater than zero.");
    settings.SetNumCachedTables(0);  // accepted, and unchanged
    settings.SetNumCachedCursors(0);
    settings.SetNumCachedTables(10);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"EdsCacheOpenCursors(0)", "EdsCacheOpenTables(10)"}));

    Log().failing = {"EdsCacheOpenTables"};
    EXPECT_THROW(settings.SetNumCachedTables(20), EdsError);
    EXPECT_EQ(settings.NumCachedTables(), 10);

    settings.SetNumDecimals(3);
    settings.SetShowDeleted(true);
    EXPECT_EQ(settings.NumDecimals(), 3);
    EXPECT_TRUE(settings.ShowDeleted());
    Log().failing = {"EdsSetDecimals", "EdsShowDeleted"};  // refused values are not stored
    EXPECT_THROW(settings.SetNumDecimals(5), EdsError);
    EXPECT_THROW(settings.SetShowDeleted(false), EdsError);
    EXPECT_EQ(settings.NumDecimals(), 3);
    EXPECT_TRUE(settings.ShowDeleted());
}

// ---- EdsError --------------------------------------------------------------------

TEST(EdsError, TextFromTheEngineOrElseTheCode) {
    dbtest::Script script;
    script.LastError(5024, "The connection handle is not valid.");
    EXPECT_STREQ(EdsError(1, TEdsErrorSource::LastError).what(), "The connection handle is not valid.");
    EXPECT_TRUE(dbtest::Engine().shownErrors.empty());

    script.ErrorString("", EDS_E_INVALID_ARGUMENT);
    EXPECT_STREQ(EdsError(5024).what(), "Error 5024");
    EXPECT_EQ(dbtest::Engine().shownErrors, (std::vector<std::string>{"Eds Exception Error"}));

    script.LastError(5024, "");
    dbtest::Engine().lastErrorAnswer = EDS_E_INVALID_ARGUMENT;
    EXPECT_STREQ(EdsError(5024, TEdsErrorSource::LastError).what(), "Error 5024");
    EXPECT_EQ(dbtest::Engine().shownErrors.size(), 2u);
}

TEST(EdsSettingsEngine, TheDataModulesSettingsAreAccepted) {
    rtl::DateFormatGuard formats;
    TEdsSettings settings(nullptr);
    settings.SetDateFormat("MM/DD/YY");
    settings.SetNumCachedTables(10);
    EXPECT_EQ(settings.DateFormat(), "MM/DD/YY");
    EXPECT_EQ(rtl::ShortDateFormat, "MM/DD/yy");
}
