// Code 128 and GS1-128: the encoder with its automatic set changes, the check
// symbol, and the bar patterns.

#include "app/barcode/Barcode.h"
#include "app/barcode/BarcodeModules.h"

#include <array>

namespace {

constexpr int kStartA = 103;
constexpr int kStartB = 104;
constexpr int kStartC = 105;
constexpr int kFNC1 = 102;
constexpr int kCodeA = 101;
constexpr int kCodeB = 100;
constexpr int kCodeC = 99;
constexpr int kShift = 98;
constexpr int kStop = 106;
// Stands for a character that no set can carry; the painter stops there.
constexpr int kNoSymbol = 255 - 32;

constexpr unsigned char kMarker = 202;

// Bar and space widths of each symbol value, bar first.
constexpr std::array<const char*, 107> kPatterns = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122", "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123", "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331", "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311", "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411", "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412", "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111", "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112",
};

unsigned char At(std::string_view text, size_t i) { return static_cast<unsigned char>(text[i]); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsLower(unsigned char c) { return c >= 'a' && c <= 'z'; }
bool IsControl(unsigned char c) { return c < 32; }
// Set A holds the control characters in place of these, so they need set B.
bool NeedsSetB(unsigned char c) { return c >= 96 && c <= 127; }

size_t DigitRun(std::string_view text, size_t from) {
    size_t n = 0;
    while (from + n < text.size() && IsDigit(At(text, from + n))) ++n;
    return n;
}

int SymbolValue(char symbol) { return static_cast<unsigned char>(symbol) - 32; }

}  // namespace

char Code128StartSet(std::string_view Text) {
    if (DigitRun(Text, 0) >= 4) return 'C';
    for (size_t i = 0; i < Text.size(); ++i) {
        if (IsControl(At(Text, i))) return 'A';
        if (IsLower(At(Text, i))) return 'B';
    }
    return 'B';
}

std::string EncodeCode128(std::string_view Text, bool WithFNC1) {
    if (WithFNC1 && !Text.empty() && At(Text, 0) == kMarker) Text.remove_prefix(1);

    std::string symbols;
    auto put = [&symbols](int value) { symbols.push_back(static_cast<char>(value + 32)); };

    char set = Code128StartSet(Text);
    put(set == 'A' ? kStartA : set == 'B' ? kStartB : kStartC);
    if (WithFNC1) put(kFNC1);

    char shiftedFrom = 0;  // the set to return to after a one-character SHIFT
    size_t i = 0;
    const size_t n = Text.size();
    while (i < n) {
        // Choose the set for the character at i. At the first character none of
        // these fire (the start set already suits it), except set A meeting a
        // character only set B has.
        const unsigned char c = At(Text, i);
        const bool hasNext = i + 1 < n;
        if (set == 'A' || set == 'B') {
            const size_t run = DigitRun(Text, i);
            if (run >= 4 && run % 2 == 0) {
                put(kCodeC);
                set = 'C';
            } else if (set == 'B' && IsControl(c)) {
                if (hasNext && IsLower(At(Text, i + 1))) {
                    put(kShift);
                    shiftedFrom = 'B';
                } else {
                    put(kCodeA);
                }
                set = 'A';
            } else if (set == 'A' && NeedsSetB(c)) {
                if (hasNext && IsControl(At(Text, i + 1))) {
                    put(kShift);
                    shiftedFrom = 'A';
                } else {
                    put(kCodeB);
                }
                set = 'B';
            }
        } else if (c != kMarker && !(hasNext && IsDigit(c) && IsDigit(At(Text, i + 1)))) {
            if (hasNext) {
                // The rest's start set looks past a first character that only set B has.
                set = NeedsSetB(c) ? 'B' : Code128StartSet(Text.substr(i));
                put(set == 'A' ? kCodeA : kCodeB);
            } else {
                // A last control character needs set A: set B cannot carry it.
                set = IsControl(c) ? 'A' : 'B';
                put(set == 'A' ? kCodeA : kCodeB);
            }
        }

        if (c == kMarker) {
            put(kFNC1);
            ++i;
        } else if (set == 'C') {
            if (hasNext && IsDigit(c) && IsDigit(At(Text, i + 1))) {
                put((c - '0') * 10 + (At(Text, i + 1) - '0'));
                i += 2;
            } else {
                put(kNoSymbol);
                ++i;
            }
        } else if (set == 'A' && IsControl(c)) {
            put(c + 64);
            ++i;
        } else {
            put(c >= 32 && c <= 127 ? c - 32 : kNoSymbol);
            ++i;
        }

        if (shiftedFrom != 0) {
            set = shiftedFrom;
            shiftedFrom = 0;
        }
    }

    symbols.push_back(Code128CheckValue(symbols));
    put(kStop);
    return symbols;
}

char Code128CheckValue(std::string_view Symbols) {
    if (Symbols.empty()) return static_cast<char>(32);
    int sum = SymbolValue(Symbols[0]) % 103;  // a start alone (empty text) is reduced as well
    for (size_t k = 1; k < Symbols.size(); ++k)
        sum = (sum + SymbolValue(Symbols[k]) * static_cast<int>(k % 103)) % 103;
    return static_cast<char>(sum + 32);
}

namespace barcode_detail {

std::string Code128Modules(std::string_view text, bool withFNC1) {
    std::string modules;
    for (char symbol : EncodeCode128(text, withFNC1)) {
        const int value = SymbolValue(symbol);
        if (value < 0 || value > kStop) break;
        AppendWidths(modules, kPatterns[static_cast<size_t>(value)]);
    }
    return modules;
}

}  // namespace barcode_detail
