#include "app/data/U_ArticleNumber.h"
#include "app/data/U_Globals.h"

#include <gtest/gtest.h>

TEST(MakeArticleNumber, WorkedExample)
{
    std::string data = MakeArticleNumber("123456789", "0000001", "12345", "T", false);
    EXPECT_EQ(data, "420123459214712345678900000015");
    EXPECT_EQ(gArticleNumber, "921471234567890000001");
    EXPECT_EQ(gBarcodeData, "42012345921471234567890000001");
    EXPECT_EQ(gArticleNumberT, gArticleNumber);
    EXPECT_EQ(gBarcodeDataT, gBarcodeData);
    EXPECT_EQ(ArticleNumberDisplay(data), "9214 7123 4567 8900 0000 15");
    EXPECT_EQ(ArticleNumberDisplay(data).size(), 27u);
}

TEST(MakeArticleNumber, PriorityAndSenderCopy)
{
    std::string priority = MakeArticleNumber("123456789", "0000001", "12345", "", true);
    EXPECT_EQ(priority.substr(8, 21), "920271234567890000001");
    EXPECT_EQ(priority.back() - '0', GS1CheckDigit("920271234567890000001"));

    gArticleNumberT = "untouched";
    std::string sender = MakeArticleNumber("123456789", "0000001", "12345", "F", true);
    EXPECT_EQ(gArticleNumberF, "929091234567890000001");
    EXPECT_EQ(gBarcodeDataF, "42012345929091234567890000001");
    EXPECT_EQ(gArticleNumberT, "untouched");  // only the variant's own pair changes
    EXPECT_EQ(sender.size(), 30u);

    // Anything but "F" is the recipient's copy.
    MakeArticleNumber("123456789", "0000001", "12345", "f", false);
    EXPECT_EQ(gArticleNumberT, "921471234567890000001");
}

TEST(MakeArticleNumber, WrapperReadsThePrioritySwitch)
{
    gPriority = true;
    EXPECT_EQ(MakeArticleNumber("123456789", "0000001", "12345", "T").substr(8, 5), "92027");
    gPriority = false;
    EXPECT_EQ(MakeArticleNumber("123456789", "0000001", "12345", "T").substr(8, 5), "92147");
}

TEST(MakeArticleNumber, CheckDigitByGS1Modulo10)
{
    EXPECT_EQ(GS1CheckDigit("921471234567890000001"), 5);
    // 3*1 + 7 = 10: a multiple of ten gives 0, not 10.
    EXPECT_EQ(GS1CheckDigit("71"), 0);
    EXPECT_EQ(GS1CheckDigit("000000000000000000000"), 0);
    // The check digit ignores "420" and the ZIP.
    std::string a = MakeArticleNumber("123456789", "0000001", "12345", "T", false);
    std::string b = MakeArticleNumber("123456789", "0000001", "99999", "T", false);
    EXPECT_EQ(a.back(), b.back());
    // Find a serial whose sum is a multiple of ten and check the data ends in 0.
    bool found = false;
    for (int s = 0; s < 20 && !found; ++s) {
        std::string serial = std::string(6, '0') + static_cast<char>('0' + s % 10);
        std::string data = MakeArticleNumber("123456789", serial, "12345", "T", false);
        if (GS1CheckDigit(gArticleNumber) == 0) {
            EXPECT_EQ(data.back(), '0');
            found = true;
        }
    }
    EXPECT_TRUE(found);
}

TEST(MakeArticleNumber, CustomerIdAndSerialAreForcedToTheirWidth)
{
    MakeArticleNumber("12345", "1", "12345", "T", false);
    EXPECT_EQ(gArticleNumber, "921470000123450000001");
    MakeArticleNumber("1234567890", "12345678", "12345", "T", false);
    EXPECT_EQ(gArticleNumber, "921471234567891234567");
    for (const char* bad : {"ABCDEFGHI", "", "-12345678", " 12345678", "12-345-6789", "99999999999"}) {
        MakeArticleNumber(bad, "0000001", "12345", "T", false);
        EXPECT_EQ(gArticleNumber.substr(5, 9), "000000000") << bad;
    }
    MakeArticleNumber("123456789", "x", "12345", "T", false);
    EXPECT_EQ(gArticleNumber.substr(14), "0000000");
}

TEST(MakeArticleNumber, ShortZipsKeepTheNumberInPlace)
{
    EXPECT_EQ(MakeArticleNumber("123456789", "0000001", "", "T", false).substr(0, 8), "42000000");
    std::string data = MakeArticleNumber("123456789", "0000001", "123", "T", false);
    EXPECT_EQ(data.size(), 30u);
    EXPECT_EQ(data.substr(3, 5), "00123");
    EXPECT_EQ(ArticleNumberDisplay(data), "9214 7123 4567 8900 0000 15");
    EXPECT_EQ(MakeArticleNumber("123456789", "0000001", "12345-6789", "T", false).substr(3, 5), "12345");
}
