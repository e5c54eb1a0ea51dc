#include "app/data/U_MainEntry.h"

#include "app/data/U_TextRoutines.h"
#include "platform/rtl/SysUtils.h"

std::optional<double> FeeAmount(std::string_view text)
{
    double value = 0;
    if (!rtl::TryStrToFloat(rtl::Trim(text), value) || value < 0) return std::nullopt;
    return value;
}

std::string FeeDisplayText(std::string_view text, bool zerosOn)
{
    if (rtl::Trim(text).empty()) return zerosOn ? FormatMoney(0) : " ";
    const std::optional<double> amount = FeeAmount(text);
    return amount ? FormatMoney(*amount) : " ";
}

std::string FeeTotalText(const std::array<std::string, 5>& fees, bool zerosOn)
{
    double total = 0;
    for (const std::string& fee : fees)
        if (const std::optional<double> amount = FeeAmount(fee)) total += *amount;
    if (!zerosOn && total == 0) return " ";
    return FormatMoney(total);
}

std::optional<int> LabelCellOf(std::string_view text)
{
    int value = 0;
    if (!rtl::TryStrToInt(rtl::Trim(text), value) || value < 1 || value > 3) return std::nullopt;
    return value - 1;
}

TCommandLineFill CommandLineFields(const std::vector<std::string>& args)
{
    TCommandLineFill fill;
    std::optional<std::string>* fields[] = {&fill.City,    &fill.State,   &fill.Zip, &fill.Department,
                                            &fill.ProcessedBy, &fill.Comment, &fill.Re};
    for (std::size_t i = 0; i < args.size() && i < 11; ++i) {
        if (i < 4)
            fill.MemoLines.push_back(args[i]);
        else
            *fields[i - 4] = args[i];
    }
    return fill;
}

std::optional<std::string> ZipLookupKey(std::string_view city, std::string_view state, std::string_view zipText)
{
    if (!rtl::Trim(city).empty() && !rtl::Trim(state).empty()) return std::nullopt;
    std::string key = rtl::Trim(zipText.substr(0, 5));
    if (key.size() != 5) return std::nullopt;
    return key;
}

std::optional<std::string> AddressClipboardText(const std::array<std::string, 4>& lines, std::string_view city,
                                                std::string_view state, std::string_view zip)
{
    std::string l1 = lines[0], l2 = lines[1], l3 = lines[2], l4 = lines[3], extra;
    AddCityStateZipLine(l1, l2, l3, l4, extra, city, state, zip);
    std::string text = l1;
    for (const std::string* line : {&l2, &l3, &l4, &extra})
        if (!rtl::Trim(*line).empty()) text += "\n\r" + *line;
    if (text.size() >= 256) return std::nullopt;
    return text;
}

std::string CalculatedPostage(int ounces, std::string_view postage, std::string_view addOunce)
{
    const double first = rtl::StrToFloat(postage);
    const double more = rtl::StrToFloat(addOunce);
    return rtl::FloatToStr(first + (ounces - 1) * more);
}
