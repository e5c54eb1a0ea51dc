#include "app/data/U_ArticleNumber.h"

#include "app/data/U_Globals.h"
#include "platform/rtl/SysUtils.h"

namespace {

// Digits that convert to an integer, padded to `width` with "0" and cut to it;
// anything else is `width` zeros.
std::string FixedDigits(std::string_view text, std::size_t width)
{
    int value = 0;
    if (!rtl::IsDigits(text) || !rtl::TryStrToInt(text, value)) return std::string(width, '0');
    return rtl::PadLeft(text, width, '0').substr(0, width);
}

}  // namespace

bool IsNineDigitCustID(std::string_view CustID) { return CustID.size() == 9 && rtl::IsDigits(CustID); }

bool IsPrintableCustID(std::string_view CustID) { return IsNineDigitCustID(CustID) && CustID != "000000000"; }

int GS1CheckDigit(std::string_view digits)
{
    int sum = 0;
    bool odd = true;
    for (std::size_t i = digits.size(); i > 0; --i) {
        int digit = digits[i - 1] - '0';
        sum += odd ? 3 * digit : digit;
        odd = !odd;
    }
    return (10 - sum % 10) % 10;
}

std::string MakeArticleNumber(std::string_view CustID, std::string_view Serial, std::string_view Zip,
                              std::string_view Variant, bool Priority)
{
    const std::string serviceCode = Priority ? "027" : "147";
    const bool senderCopy = Variant == "F";
    const std::string custID = FixedDigits(CustID, 9);
    const std::string serial = FixedDigits(Serial, 7);
    const std::string zip5 = Zip.empty() ? std::string("00000") : rtl::PadLeft(Zip.substr(0, 5), 5, '0');

    const std::string number = (senderCopy ? std::string("92909") : "92" + serviceCode) + custID + serial;
    const std::string data = "420" + zip5 + number;
    gArticleNumber = number;
    gBarcodeData = data;
    if (senderCopy) {
        gArticleNumberF = number;
        gBarcodeDataF = data;
    } else {
        gArticleNumberT = number;
        gBarcodeDataT = data;
    }
    return data + static_cast<char>('0' + GS1CheckDigit(number));
}

std::string MakeArticleNumber(std::string_view CustID, std::string_view Serial, std::string_view Zip,
                              std::string_view Variant)
{
    return MakeArticleNumber(CustID, Serial, Zip, Variant, gPriority);
}

std::string ArticleNumberDisplay(std::string_view Data)
{
    std::string_view digits = Data.size() > 8 ? Data.substr(8, 22) : std::string_view();
    std::string display;
    for (std::size_t i = 0; i < digits.size(); i += 4) {
        if (i > 0) display += ' ';
        display.append(digits.substr(i, 4));
    }
    return display;
}
