#include "app/data/U_TextRoutines.h"

#include "app/data/U_Globals.h"
#include "platform/rtl/SysUtils.h"

#include <vector>

std::string FormatMoney(double Amount)
{
    std::size_t blanks = Amount < 10       ? 10
                         : Amount < 100    ? 8
                         : Amount < 1000   ? 6
                         : Amount < 10000  ? 5
                         : Amount < 100000 ? 3
                                           : 1;
    std::string text = rtl::FloatToStr(Amount);
    std::size_t dot = text.find('.');
    std::string suffix;
    if (dot == std::string::npos) suffix = ".00";
    else if (text.size() - dot - 1 == 1) suffix = "0";
    return std::string(blanks, ' ') + text + suffix;
}

std::string StepSerialNumber(const std::string& Serial, bool Up)
{
    constexpr int kLast = 9999999;
    int value = rtl::StrToInt(Serial);
    // The wrap goes by the number, not by its spelling: " 9999999" or
    // "09999999" must not step to an eighth digit that the article number
    // would cut off again (and so repeat an earlier number).
    int next = 0;
    if (Up) next = (value >= kLast || value < 0) ? 0 : value + 1;
    else next = (value <= 0 || value > kLast) ? kLast : value - 1;
    return rtl::PadLeft(rtl::IntToStr(next), 7, '0');
}

std::vector<std::string> SerialRun(const std::string& First, int Count, bool Up)
{
    std::vector<std::string> run;
    std::string serial = First;
    for (int i = 0; i < Count; ++i) {
        std::string next = StepSerialNumber(serial, Up);
        run.push_back(std::move(serial));
        serial = std::move(next);
    }
    return run;
}

std::string SerialAfter(const std::string& First, int Count, bool Up)
{
    if (Count <= 0) return First;
    return StepSerialNumber(SerialRun(First, Count, Up).back(), Up);
}

bool SerialIssued(const std::string& Serial, const std::string& Counter, bool Up)
{
    int serial = 0, counter = 0;
    if (!rtl::TryStrToInt(rtl::Trim(Serial), serial) || !rtl::TryStrToInt(rtl::Trim(Counter), counter)) return false;
    return Up ? serial < counter : serial > counter;
}

std::string WithoutDashes(std::string_view Text)
{
    std::string out;
    for (char c : Text)
        if (c != '-') out += c;
    return out;
}

std::string CleanZip(std::string_view Zip)
{
    std::string zip = rtl::Trim(Zip);
    if (zip == "-") return std::string();
    std::size_t dash = zip.find('-');
    if (dash != std::string::npos && dash == zip.size() - 1) return zip.substr(0, dash);
    if (!zip.empty() && zip[0] == '-') return rtl::Trim(std::string_view(zip).substr(1));
    return zip;
}

void AddCityStateZipLine(std::string& Line1, std::string& Line2, std::string& Line3, std::string& Line4,
                         std::string& Extra, std::string_view City, std::string_view State, std::string_view Zip)
{
    std::string line = rtl::Trim(State).empty()
                           ? std::string(City) + " " + CleanZip(Zip)
                           : std::string(City) + " " + std::string(State) + " " + CleanZip(Zip);
    line = rtl::Trim(line);
    for (std::string* target : {&Line1, &Line2, &Line3, &Line4}) {
        if (rtl::Trim(*target).empty()) {
            *target = line;
            return;
        }
    }
    Extra = line;
}

namespace {

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.emplace_back(text.substr(start, i - start));
        // A CR LF or LF CR pair is one line end.
        char other = c == '\r' ? '\n' : '\r';
        i += (i + 1 < text.size() && text[i + 1] == other) ? 2 : 1;
        start = i;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

void ParseCityLine(std::string_view line, TPastedAddress& address)
{
    if (line.empty()) return;
    // The "-" of a ZIP+4 is looked for in the last word only: a city such as
    // "Winston-Salem" has one of its own.
    std::size_t lastWord = line.rfind(' ');
    lastWord = lastWord == std::string_view::npos ? 0 : lastWord + 1;
    std::size_t dash = line.find('-', lastWord);
    std::size_t zipStart = 0;
    if (dash == std::string_view::npos) {
        zipStart = line.size() > 5 ? line.size() - 5 : 0;
        address.Zip = std::string(line.substr(zipStart));
    } else {
        zipStart = dash > 5 ? dash - 5 : 0;
        address.Zip = std::string(line.substr(zipStart, 10));
    }

    // Leftwards from the character before the ZIP: blanks, then the state.
    std::size_t p = zipStart;  // one past the character looked at
    while (p > 0 && line[p - 1] == ' ') --p;
    if (p == 0) return;
    std::size_t stateStart = p >= 2 ? p - 2 : 0;
    address.State = std::string(line.substr(stateStart, p - stateStart));

    // Then blanks and commas, then the city up to the start of the line.
    std::size_t q = stateStart;
    while (q > 0 && (line[q - 1] == ' ' || line[q - 1] == ',')) --q;
    address.City = std::string(line.substr(0, q));
}

}  // namespace

TPastedAddress ParsePastedAddress(std::string_view text)
{
    TPastedAddress address;
    std::vector<std::string> lines = SplitLines(text);
    while (!lines.empty() && rtl::Trim(lines.back()).empty()) lines.pop_back();
    if (lines.empty()) return address;

    ParseCityLine(rtl::TrimRight(lines.back()), address);
    std::string* targets[] = {&address.Address1, &address.Address2, &address.Address3, &address.Address4};
    for (std::size_t i = 0; i + 1 < lines.size() && i < 4; ++i) *targets[i] = lines[i];
    return address;
}

void PasteAddressFromText(std::string_view text)
{
    TPastedAddress address = ParsePastedAddress(text);
    gEditAddress1 = address.Address1;
    gEditAddress2 = address.Address2;
    gEditAddress3 = address.Address3;
    gEditAddress4 = address.Address4;
    gEditCity = address.City;
    gEditState = address.State;
    gEditZip = address.Zip;
}
