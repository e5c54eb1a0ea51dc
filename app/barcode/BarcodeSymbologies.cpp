// Every symbology but Code 128: Code 39 and its full-ASCII form, Code 93,
// Interleaved 2 of 5, the UPC/EAN family with its add-ons, and POSTNET.

#include "app/barcode/Barcode.h"
#include "app/barcode/BarcodeModules.h"

#include <array>
#include <cstring>

namespace {

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
int DigitValue(char c) { return static_cast<unsigned char>(c) - '0'; }

std::string PadLeft(std::string_view text, size_t n) {
    if (text.size() >= n) return std::string(text.substr(0, n));
    return std::string(n - text.size(), '0') + std::string(text);
}

// ---- Code 39 ----

constexpr char kCode39Chars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";
// Nine elements, bar first; 1 marks a wide one.
constexpr std::array<const char*, 44> kCode39Patterns = {
    "000110100", "100100001", "001100001", "101100000", "000110001", "100110000", "001110000",
    "000100101", "100100100", "001100100", "100001001", "001001001", "101001000", "000011001",
    "100011000", "001011000", "000001101", "100001100", "001001100", "000011100", "100000011",
    "001000011", "101000010", "000010011", "100010010", "001010010", "000000111", "100000110",
    "001000110", "000010110", "110000001", "011000001", "111000000", "010010001", "110010000",
    "011010000", "010000101", "110000100", "011000100", "010101000", "010100010", "010001010",
    "000101010", "010010100",
};

int Code39Index(unsigned char c) {
    if (c == 0) return -1;
    const char* at = std::strchr(kCode39Chars, c);
    return at ? static_cast<int>(at - kCode39Chars) : -1;
}

void AppendCode39(std::string& modules, int index) {
    if (!modules.empty()) modules.push_back('0');  // the gap between characters
    bool bar = true;
    for (const char* p = kCode39Patterns[static_cast<size_t>(index)]; *p; ++p) {
        modules.append(*p == '1' ? 2 : 1, bar ? '1' : '0');
        bar = !bar;
    }
}

// The full-ASCII form of characters 0..127 as one or two Code 39 characters.
std::string Code39ExtChars(unsigned char c) {
    if (c == 0) return "%U";
    if (c <= 26) return std::string{'$', static_cast<char>('A' + c - 1)};
    if (c <= 31) return std::string{'%', static_cast<char>('A' + c - 27)};
    if (c == ' ' || c == '-' || c == '.' || IsDigit(c) || (c >= 'A' && c <= 'Z'))
        return std::string(1, static_cast<char>(c));
    if (c <= '/') return std::string{'/', static_cast<char>('A' + c - '!')};
    if (c == ':') return "/Z";
    if (c <= '?') return std::string{'%', static_cast<char>('F' + c - ';')};
    if (c == '@') return "%V";
    if (c <= '_') return std::string{'%', static_cast<char>('K' + c - '[')};
    if (c == '`') return "%W";
    if (c <= 'z') return std::string{'+', static_cast<char>('A' + c - 'a')};
    if (c <= 127) return std::string{'%', static_cast<char>('P' + c - '{')};
    return {};
}

// ---- Code 93 ----

// Values 0..42 are these characters; 43..46 the shifts ($) (%) (/) (+).
constexpr char kCode93Chars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
constexpr int kCode93ShiftDollar = 43;
constexpr int kCode93ShiftPercent = 44;
constexpr int kCode93ShiftSlash = 45;
constexpr int kCode93ShiftPlus = 46;
// Bar and space widths, bar first, 9 modules each.
constexpr std::array<const char*, 47> kCode93Patterns = {
    "131112", "111213", "111312", "111411", "121113", "121212", "121311", "111114", "131211",
    "141111", "211113", "211212", "211311", "221112", "221211", "231111", "112113", "112212",
    "112311", "122112", "132111", "111123", "111222", "111321", "121122", "131121", "212112",
    "212211", "211122", "211221", "221121", "222111", "112122", "112221", "122121", "123111",
    "121131", "311112", "311211", "321111", "112131", "113121", "211131", "121221", "312111",
    "311121", "122211",
};
constexpr const char* kCode93StartStop = "111141";

int Code93Value(char c) { return static_cast<int>(std::strchr(kCode93Chars, c) - kCode93Chars); }

// The symbol values that carry one character; empty for none.
std::string Code93Symbols(unsigned char c) {
    if (c > 127) return {};
    const std::string pair = Code39ExtChars(c);
    // Code 93 has its own characters for "$", "%", "/" and "+"; only the
    // characters outside its 43 go through a shift symbol.
    if (c != 0 && std::strchr(kCode93Chars, c)) return std::string(1, static_cast<char>(Code93Value(static_cast<char>(c))));
    int shift = 0;
    switch (pair[0]) {
    case '$': shift = kCode93ShiftDollar; break;
    case '%': shift = kCode93ShiftPercent; break;
    case '/': shift = kCode93ShiftSlash; break;
    default: shift = kCode93ShiftPlus; break;
    }
    return std::string{static_cast<char>(shift), static_cast<char>(Code93Value(pair[1]))};
}

// The data symbols of a text, up to the first character Code 93 cannot carry.
std::string Code93DataSymbols(std::string_view text) {
    std::string symbols;
    for (char c : text) {
        const std::string one = Code93Symbols(static_cast<unsigned char>(c));
        if (one.empty()) break;
        symbols += one;
    }
    return symbols;
}

int Code93Weighted(std::string_view symbols, int maxWeight) {
    int sum = 0;
    int weight = 1;
    for (size_t k = symbols.size(); k-- > 0;) {
        sum += static_cast<unsigned char>(symbols[k]) * weight;
        weight = weight == maxWeight ? 1 : weight + 1;
    }
    return sum % 47;
}

// ---- Interleaved 2 of 5 ----

// Five elements per digit; 1 marks a wide one.
constexpr std::array<const char*, 10> kI25Patterns = {
    "00110", "10001", "01001", "11000", "00101", "10100", "01100", "00011", "10010", "01010",
};

// ---- UPC / EAN ----

// Left-hand odd parity (L); even parity (G) is L reversed and inverted,
// right-hand (R) is L inverted.
constexpr std::array<const char*, 10> kLCodes = {
    "0001101", "0011001", "0010011", "0111101", "0100011",
    "0110001", "0101111", "0111011", "0110111", "0001011",
};

std::string DigitCode(int digit, char set) {
    std::string code = kLCodes[static_cast<size_t>(digit)];
    if (set == 'L') return code;
    for (char& m : code) m = m == '1' ? '0' : '1';
    if (set == 'G') return std::string(code.rbegin(), code.rend());
    return code;
}

// Parity of the left six digits of EAN-13, by its first digit.
constexpr std::array<const char*, 10> kEAN13Parity = {
    "LLLLLL", "LLGLGG", "LLGGLG", "LLGGGL", "LGLLGG", "LGGLLG", "LGGGLL", "LGLGLG", "LGLGGL", "LGGLGL",
};
// Parity of the six UPC-E digits (number system 0), by the check digit.
constexpr std::array<const char*, 10> kUPCEParity = {
    "GGGLLL", "GGLGLL", "GGLLGL", "GGLLLG", "GLGGLL", "GLLGGL", "GLLLGG", "GLGLGL", "GLGLLG", "GLLGLG",
};
// Parity of the 5-digit add-on, by its check value.
constexpr std::array<const char*, 10> kUPC5Parity = {
    "GGLLL", "GLGLL", "GLLGL", "GLLLG", "LGGLL", "LLGGL", "LLLGG", "LGLGL", "LGLLG", "LLGLG",
};
constexpr std::array<const char*, 4> kUPC2Parity = {"LL", "LG", "GL", "GG"};

// Appends the digits in the given sets; false at a non-digit.
bool AppendDigits(std::string& modules, std::string_view digits, std::string_view sets) {
    for (size_t i = 0; i < digits.size(); ++i) {
        if (!IsDigit(static_cast<unsigned char>(digits[i]))) return false;
        modules += DigitCode(DigitValue(digits[i]), sets[i]);
    }
    return true;
}

bool AllDigits(std::string_view text) {
    for (char c : text)
        if (!IsDigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// Guard, left half, centre guard, right half, guard: UPC-A, EAN-13 and EAN-8.
std::string TwoHalves(std::string_view left, std::string_view leftSets, std::string_view right) {
    std::string modules = "101";
    if (!AppendDigits(modules, left, leftSets)) return modules;
    modules += "01010";
    if (!AppendDigits(modules, right, std::string(right.size(), 'R'))) return modules;
    modules += "101";
    return modules;
}

// The add-ons: start 1011, the digits with 01 between them.
std::string AddOn(std::string_view digits, std::string_view sets) {
    std::string modules = "1011";
    for (size_t i = 0; i < digits.size(); ++i) {
        if (!IsDigit(static_cast<unsigned char>(digits[i]))) break;
        if (i > 0) modules += "01";
        modules += DigitCode(DigitValue(digits[i]), sets[i]);
    }
    return modules;
}

// ---- POSTNET ----

constexpr std::array<const char*, 10> kPostnetPatterns = {
    "11000", "00011", "00101", "00110", "01001", "01010", "01100", "10001", "10010", "10100",
};

}  // namespace

// ---- Check routines ---------------------------------------------------------------

char UpcEanCheckDigit(std::string_view digits) {
    int sum = 0;
    int weight = 3;
    for (size_t k = digits.size(); k-- > 0;) {
        sum += DigitValue(digits[k]) * weight;
        weight = 4 - weight;
    }
    return static_cast<char>('0' + ((10 - sum % 10) % 10 + 10) % 10);
}

char PostnetCheckDigit(std::string_view digits) {
    int sum = 0;
    for (char c : digits) sum += DigitValue(c);
    return static_cast<char>('0' + ((10 - sum % 10) % 10 + 10) % 10);
}

int Code93CheckC(std::string_view text) { return Code93Weighted(Code93DataSymbols(text), 20); }

int Code93CheckK(std::string_view text) {
    std::string symbols = Code93DataSymbols(text);
    symbols.push_back(static_cast<char>(Code93Weighted(symbols, 20)));
    return Code93Weighted(symbols, 15);
}

std::string ExpandUPCE(std::string_view digits) {
    if (digits.size() < 6) return {};
    const std::string d(digits.substr(0, 6));
    switch (d[5]) {
    case '0': case '1': case '2':
        return "0" + d.substr(0, 2) + d[5] + "0000" + d.substr(2, 3);
    case '3':
        return "0" + d.substr(0, 3) + "00000" + d.substr(3, 2);
    case '4':
        return "0" + d.substr(0, 4) + "00000" + d[4];
    default:
        return "0" + d.substr(0, 5) + "0000" + d[5];
    }
}

// ---- Module builders ----------------------------------------------------------------

namespace barcode_detail {

int Code39ExtLength(unsigned char c) { return static_cast<int>(Code39ExtChars(c).size()); }

int Code93Length(unsigned char c) { return static_cast<int>(Code93Symbols(c).size()); }

std::string Code39Modules(std::string_view text) {
    std::string modules;
    const int star = Code39Index('*');
    AppendCode39(modules, star);
    for (char c : text) {
        const int index = Code39Index(static_cast<unsigned char>(c));
        if (index < 0) return modules;
        AppendCode39(modules, index);
    }
    AppendCode39(modules, star);
    return modules;
}

std::string Code39ExtModules(std::string_view text) {
    std::string modules;
    const int star = Code39Index('*');
    AppendCode39(modules, star);
    for (char c : text) {
        const std::string chars = Code39ExtChars(static_cast<unsigned char>(c));
        if (chars.empty()) return modules;
        for (char one : chars) AppendCode39(modules, Code39Index(static_cast<unsigned char>(one)));
    }
    AppendCode39(modules, star);
    return modules;
}

std::string Code93Modules(std::string_view text) {
    std::string modules;
    AppendWidths(modules, kCode93StartStop);
    for (char c : text) {
        const std::string symbols = Code93Symbols(static_cast<unsigned char>(c));
        if (symbols.empty()) return modules;
        for (char v : symbols) AppendWidths(modules, kCode93Patterns[static_cast<size_t>(v)]);
    }
    AppendWidths(modules, kCode93Patterns[static_cast<size_t>(Code93CheckC(text))]);
    AppendWidths(modules, kCode93Patterns[static_cast<size_t>(Code93CheckK(text))]);
    AppendWidths(modules, kCode93StartStop);
    modules += '1';  // termination bar
    return modules;
}

std::string Int2of5Modules(std::string_view text) {
    const std::string digits = text.size() % 2 ? "0" + std::string(text) : std::string(text);
    std::string modules = "1010";
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        const auto first = static_cast<unsigned char>(digits[i]);
        const auto second = static_cast<unsigned char>(digits[i + 1]);
        if (!IsDigit(first) || !IsDigit(second)) return modules;
        const char* bars = kI25Patterns[static_cast<size_t>(first - '0')];
        const char* spaces = kI25Patterns[static_cast<size_t>(second - '0')];
        for (int k = 0; k < 5; ++k) {
            modules.append(bars[k] == '1' ? 3 : 1, '1');
            modules.append(spaces[k] == '1' ? 3 : 1, '0');
        }
    }
    modules += "11101";
    return modules;
}

namespace {

// The text padded to `width` digits, and its check digit when all are digits.
std::string WithCheckDigit(std::string_view text, size_t width) {
    std::string digits = PadLeft(text, width);
    if (AllDigits(digits)) digits += UpcEanCheckDigit(digits);
    return digits;
}

}  // namespace

std::string UPCAModules(std::string_view text) {
    const std::string digits = WithCheckDigit(text, 11);
    return TwoHalves(std::string_view(digits).substr(0, 6), "LLLLLL", std::string_view(digits).substr(6));
}

std::string EAN13Modules(std::string_view text) {
    const std::string digits = WithCheckDigit(text, 12);
    if (!IsDigit(static_cast<unsigned char>(digits[0]))) return "101";
    const std::string_view view(digits);
    return TwoHalves(view.substr(1, 6), kEAN13Parity[static_cast<size_t>(DigitValue(digits[0]))],
                     view.substr(7));
}

std::string EAN8Modules(std::string_view text) {
    const std::string digits = WithCheckDigit(text, 7);
    return TwoHalves(std::string_view(digits).substr(0, 4), "LLLL", std::string_view(digits).substr(4));
}

std::string UPCEModules(std::string_view text) {
    const std::string digits = PadLeft(text, 6);
    std::string modules = "101";
    if (!AllDigits(digits)) {
        AppendDigits(modules, digits, "LLLLLL");  // parity unknown: bars up to the bad digit
        return modules;
    }
    const int check = DigitValue(UpcEanCheckDigit(ExpandUPCE(digits)));
    AppendDigits(modules, digits, kUPCEParity[static_cast<size_t>(check)]);
    modules += "010101";
    return modules;
}

std::string UPC2extModules(std::string_view text) {
    const std::string digits = PadLeft(text, 2);
    if (!AllDigits(digits)) return AddOn(digits, "LL");
    return AddOn(digits, kUPC2Parity[static_cast<size_t>((DigitValue(digits[0]) * 10 + DigitValue(digits[1])) % 4)]);
}

std::string UPC5extModules(std::string_view text) {
    const std::string digits = PadLeft(text, 5);
    if (!AllDigits(digits)) return AddOn(digits, "LLLLL");
    const int odd = DigitValue(digits[0]) + DigitValue(digits[2]) + DigitValue(digits[4]);
    const int even = DigitValue(digits[1]) + DigitValue(digits[3]);
    return AddOn(digits, kUPC5Parity[static_cast<size_t>((3 * odd + 9 * even) % 10)]);
}

std::string POSTNETModules(std::string_view text) {
    std::string modules = "10";
    auto appendDigit = [&modules](char digit) {
        for (const char* p = kPostnetPatterns[static_cast<size_t>(DigitValue(digit))]; *p; ++p) {
            modules += *p == '1' ? '1' : 'h';
            modules += '0';
        }
    };
    for (char c : text) {
        if (!IsDigit(static_cast<unsigned char>(c))) return modules;
        appendDigit(c);
    }
    appendDigit(PostnetCheckDigit(text));
    modules += '1';
    return modules;
}

}  // namespace barcode_detail
