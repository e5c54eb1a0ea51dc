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
    // 920271234567890000001 by hand: 3 * 37 + 29 = 140, check digit 0.
    EXPECT_EQ(priority, "420123459202712345678900000010");

    gArticleNumberT = "untouched";
    std::string sender = MakeArticleNumber("123456789", "0000001", "12345", "F", true);
    EXPECT_EQ(gArticleNumberF, "929091234567890000001");
    EXPECT_EQ(gBarcodeDataF, "42012345929091234567890000001");
    EXPECT_EQ(gArticleNumberT, "untouched");  // only the variant's own pair changes
    // 929091234567890000001: 3 * 48 + 27 = 171, check digit 9.
    EXPECT_EQ(sender, "420123459290912345678900000019");

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

// Expected digits worked by hand (weights 3, 1, 3, ... from the rightmost
// digit) and from published GS1 numbers; numbers of both odd and even length,
// because only the even ones tell the right end from the left.
TEST(MakeArticleNumber, CheckDigitByGS1Modulo10)
{
    // Digits from the right, weight 3: 1,0,0,0,8,6,4,2,7,1,9 (38); weight 1:
    // 0,0,0,9,7,5,3,1,4,2 (31). 3 * 38 + 31 = 145, check digit 5.
    EXPECT_EQ(GS1CheckDigit("921471234567890000001"), 5);
    EXPECT_EQ(GS1CheckDigit("400638133393"), 1);  // EAN-13 4006381333931
    EXPECT_EQ(GS1CheckDigit("03600029145"), 2);   // UPC-A 036000291452
    // 3*1 + 7 = 10: a multiple of ten gives 0, not 10.
    EXPECT_EQ(GS1CheckDigit("71"), 0);
    EXPECT_EQ(GS1CheckDigit("17"), 8);  // 3*7 + 1 = 22
    EXPECT_EQ(GS1CheckDigit("000000000000000000000"), 0);
    // The check digit ignores "420" and the ZIP.
    EXPECT_EQ(MakeArticleNumber("123456789", "0000001", "99999", "T", false), "420999999214712345678900000015");
    // Serial 6 adds 3 * 5 to the sum: 160, the data ends in 0.
    EXPECT_EQ(MakeArticleNumber("123456789", "0000006", "12345", "T", false), "420123459214712345678900000060");
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
