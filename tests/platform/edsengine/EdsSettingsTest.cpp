#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"

namespace {

using edstest::U;

std::string LastErrorText(UNSIGNED32* code = nullptr) {
    UNSIGNED32 c = 0;
    UNSIGNED8 buf[600];
    UNSIGNED16 len = sizeof buf;
    EXPECT_EQ(EdsGetLastError(&c, buf, &len), EDS_SUCCESS);
    if (code) *code = c;
    return std::string(reinterpret_cast<char*>(buf), len);
}

TEST(EdsErrors, RecordedErrorComesBackWithItsCodeAndText) {
    EXPECT_EQ(EdsSetLastError(5054, U("Insert permission not granted on this table.")), 5054u);
    UNSIGNED32 code = 0;
    EXPECT_EQ(LastErrorText(&code), "Insert permission not granted on this table.");
    EXPECT_EQ(code, 5054u);
}

TEST(EdsErrors, LastErrorIsPerThread) {
    EdsSetLastError(5054, U("main thread"));
    std::thread([] { EdsSetLastError(5121, U("other thread")); }).join();
    UNSIGNED32 code = 0;
    EXPECT_EQ(LastErrorText(&code), "main thread");
    EXPECT_EQ(code, 5054u);
}

TEST(EdsErrors, LongTextIsCutToTheRoom) {
    EdsSetLastError(5121, U("abcdefghij"));
    UNSIGNED32 code = 0;
    UNSIGNED8 buf[5];
    UNSIGNED16 len = sizeof buf;
    EXPECT_EQ(EdsGetLastError(&code, buf, &len), EDS_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf)), "abcd");
    EXPECT_EQ(len, 4);
}

TEST(EdsErrors, UnbuiltCallAnswersNotSupportedWithItsName) {
    EDSHANDLE dd = 0;
    UNSIGNED8 name[200];
    UNSIGNED16 len = sizeof name;
    EXPECT_EQ(EdsDDFindFirstObject(1, EDS_DD_TABLE_OBJECT, U(""), name, &len, &dd), EDS_E_NOT_SUPPORTED);
    EXPECT_NE(LastErrorText().find("EdsDDFindFirstObject"), std::string::npos);
}

TEST(EdsSettings, DateFormatMustNameDayMonthAndYear) {
    EXPECT_EQ(EdsSetDateFormat(U("MM/DD/YY")), EDS_SUCCESS);
    EXPECT_EQ(EdsSetDateFormat(U("MM/dd/ccyy")), EDS_SUCCESS);
    EXPECT_NE(EdsSetDateFormat(U("MM/DD")), EDS_SUCCESS);
    EXPECT_NE(EdsSetDateFormat(U("MM/DD/CCYY/XXX")), EDS_SUCCESS);  // longer than 11
}

TEST(EdsSettings, ServerTypesNeedOneKnownBit) {
    EXPECT_NE(EdsSetServerType(0), EDS_SUCCESS);
    EXPECT_EQ(EdsSetServerType(EDS_REMOTE_SERVER | EDS_AIS_SERVER), EDS_SUCCESS);
}

}  // namespace
