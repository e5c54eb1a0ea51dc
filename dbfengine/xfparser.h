#pragma once
// The engine's expression language: dBase expressions over the fields of the open
// work areas, compiled once into a postfix program for a typed stack machine and
// run against the current records (index keys, FOR conditions, filters).
//
// A compiled expression owns its code, its literals, its working stack and a
// result pool sized by the compiler, so a run allocates nothing once the working
// stack has reached the depth the expression needs. Character values are at most
// 255 characters. One thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xf {

// Value type tags of compiled code.
constexpr int ttChar = 331, ttNumber = 332, ttLogical = 333, ttDate = 334, ttMemo = 335;

// The engine codes the language reports.
constexpr std::uint16_t kExprError = 351, kPoolOverflow = 354, kUnknownType = 356, kDivideByZero = 358;
constexpr std::uint16_t kCheckEmpty = 359, kCheckKeyTooLong = 360, kCheckKeyType = 361, kCheckNotCondition = 362;

// What 1 / 0 answers (bit pattern 73D5A0E3AB795204), never NaN or an infinity.
inline const double kDivideByZeroMarker = 9.678371684509314E249;

struct TXfExprNode {
    std::int32_t Op = 0;  // 0 operand, -1 end, else an operation code
    std::int32_t ArgCount = 0;
    std::int32_t Type = 0;  // a type tag
    std::int32_t Length = 0;  // C and M on the working stack: characters
    union {
        double Number;
        std::int32_t Logical;
        std::uint32_t Text;  // C: literal index (code) or pool offset (working stack)
    } Value {0.0};
};

struct TXfExpr {
    std::string Source;
    char ResultType = 'N';
    std::uint16_t ResultLength = 0;
    std::uint8_t ResultDecimals = 0;
    const void* ResultValue = nullptr;
    std::vector<std::string> Literals;
    std::vector<TXfExprNode> Code;  // postfix, closed by the end node
    std::vector<TXfExprNode> Work;  // kept between runs; grows only past its depth
    std::uint32_t PoolSize = 0;
    std::vector<char> Pool;
    std::uint32_t PoolNext = 0;
};
using PXfExpr = TXfExpr*;

// Compiles `text`; nullptr after a reported error (351 with the cause and a window
// of the text, 217). Texts over 255 characters are refused.
PXfExpr AssignExpr(std::string_view text);
// Releases an expression made by AssignExpr (nothing for an unknown pointer); the
// variable becomes nullptr.
void FreeExpr(PXfExpr& expression);
// Runs the expression on the current records. The result is a double for N and D, a
// 32-bit integer for L, zero-terminated text for C and M; it stays valid until the
// next run or FreeExpr. nullptr for a nil expression or after a run stopped by an
// error (pool overflow, 356).
const void* Evaluate(PXfExpr expression);
// The text of a C/M result and its length (for callers that want a string).
std::string EvaluateText(PXfExpr expression);
// Whether the expression does nothing but fetch one field; then `area` (for a field
// named without alias, the current area, as a run now takes it) and `field` (from
// 1) name it.
bool FetchesOneField(const TXfExpr& expression, int& area, int& field);

// 0, a checker code 359..362, or the compiler's error code. `text` comes back
// without its trailing blanks and control characters. Errors are deferred.
std::uint16_t CheckExpression(std::string& text, bool isKey);
std::uint16_t CheckCondition(std::string& text);

std::uint16_t GetMemoPoolSize();
void SetMemoPoolSize(std::uint16_t size);

// Fills the work-area layer's expression hooks. The dataset classes call it; it
// also runs at start-up whenever this unit is linked in. Calling it again is harmless.
void InstallParserHooks();

// The expression the index layer has made current for the evaluate-current entry.
PXfExpr& CurrentExpression();

// ---- shared by the compiler and the evaluator ---------------------------------

namespace expr {

// Function tokens (also their operation codes).
enum : std::int32_t {
    fnAbs = 257, fnAsc = 259, fnAt = 261, fnCdow = 264, fnChr = 266, fnCmonth = 267, fnCtod = 269, fnDate = 270,
    fnDay = 271, fnDeleted = 272, fnDow = 274, fnDtoc = 275, fnDtos = 277, fnIif = 283, fnInt = 284, fnLeft = 288,
    fnLen = 289, fnLower = 292, fnLtrim = 293, fnMax = 294, fnMin = 295, fnMod = 296, fnMonth = 297, fnRecno = 300,
    fnReplicate = 301, fnRight = 302, fnRound = 303, fnRtrim = 305, fnSoundex = 308, fnSpace = 310, fnStr = 311,
    fnStuff = 312, fnSubstr = 313, fnTrim = 316, fnUpper = 318, fnVal = 319, fnYear = 320,
};

// Field fetch operations: current area 321..325, with alias 326..330 (C N L D M).
constexpr std::int32_t opFieldC = 321, opAliasC = 326;

// Operator codes.
enum : std::int32_t {
    opAddNN = 347, opAddND, opAddDN, opAddCC, opSubNN, opSubDN, opSubDD, opSubCC, opMul, opDiv, opPow, opEqN, opEqD,
    opEqC, opEqL, opExact, opContained, opGtN, opGtD, opGtC, opLtN, opLtD, opLtC, opNeN, opNeD, opNeC, opNeL, opLeN,
    opLeD, opLeC, opGeN, opGeD, opGeC, opOr, opAnd, opNot, opNeg,
};

constexpr std::size_t kMaxText = 255;

// Numbers as texts, independent of the locale. Leading blanks and a sign are read;
// what is no number (or does not fit a double) gives 0.
double NumberFromText(std::string_view text);
// Fixed-point text with `decimals` digits after ".", the value's shortest decimal
// form rounded half away from zero; no "-" before a zero.
std::string FixedText(double value, int decimals);

}  // namespace expr

}  // namespace xf
