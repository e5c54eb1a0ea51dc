// The expression compiler: a lexer over a text of at most 255 characters, an
// operator-precedence parser that keeps the shift/reduce bookkeeping of the
// language's LALR grammar (so stack limits and the order of errors are the same),
// type checks in every reduction, and postfix code for the evaluator.

#include "dbfengine/xfparser.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <list>
#include <memory>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfcommon.h"

namespace xf {

using namespace expr;

namespace {

constexpr int kDefaultDecimals = 2;
constexpr int kDecimalsUnset = 19;
constexpr int kParserStackLimit = 150;

// Tokens besides function names and single characters.
enum : int {
    tkEnd = 0, tkPow = '^', tkNe = 342, tkLe = 343, tkGe = 344, tkExact = 345, tkContained = 346,
    tkFieldC = 321, tkAliasC = 326, tkString = 331, tkNumber = 332, tkUnknown = 336, tkFalse = 337, tkTrue = 338,
    tkNot = 339, tkOr = 340, tkAnd = 341,
};

struct TKeyword {
    const char* Name;
    int Token;
    std::uint16_t Pool;
};

// Searched in order; abbreviations are entries of their own.
constexpr TKeyword kKeywords[] = {
    {"ABS", fnAbs, 0}, {"ASC", fnAsc, 0}, {"AT", fnAt, 0}, {"CDOW", fnCdow, 15}, {"CHR", fnChr, 2},
    {"CMONTH", fnCmonth, 15}, {"CMON", fnCmonth, 15}, {"CMONT", fnCmonth, 15}, {"CTOD", fnCtod, 0},
    {"DATE", fnDate, 0}, {"DAY", fnDay, 0}, {"DELETED", fnDeleted, 0}, {"DELE", fnDeleted, 0},
    {"DELET", fnDeleted, 0}, {"DELETE", fnDeleted, 0}, {"DOW", fnDow, 0}, {"DTOC", fnDtoc, 11},
    {"DTOS", fnDtos, 9}, {"IIF", fnIif, 256}, {"INT", fnInt, 0}, {"LEFT", fnLeft, 0}, {"LEN", fnLen, 0},
    {"LOWER", fnLower, 0}, {"LOWE", fnLower, 0}, {"LTRIM", fnLtrim, 0}, {"LTRI", fnLtrim, 0}, {"MAX", fnMax, 0},
    {"MIN", fnMin, 0}, {"MOD", fnMod, 0}, {"MONTH", fnMonth, 0}, {"MONT", fnMonth, 0}, {"RECNO", fnRecno, 0},
    {"RECN", fnRecno, 0}, {"REPLICATE", fnReplicate, 256}, {"REPL", fnReplicate, 256},
    {"REPLI", fnReplicate, 256}, {"REPLIC", fnReplicate, 256}, {"REPLICA", fnReplicate, 256},
    {"REPLICAT", fnReplicate, 256}, {"RIGHT", fnRight, 0}, {"RIGH", fnRight, 0}, {"ROUND", fnRound, 0},
    {"ROUN", fnRound, 0}, {"RTRIM", fnRtrim, 0}, {"RTRI", fnRtrim, 0}, {"SOUNDEX", fnSoundex, 15},
    {"SOUN", fnSoundex, 15}, {"SOUND", fnSoundex, 15}, {"SOUNDE", fnSoundex, 15}, {"SPACE", fnSpace, 256},
    {"SPAC", fnSpace, 256}, {"STR", fnStr, 256}, {"STUFF", fnStuff, 0}, {"STUF", fnStuff, 0},
    {"SUBSTR", fnSubstr, 0}, {"SUBS", fnSubstr, 0}, {"SUBST", fnSubstr, 0}, {"TRIM", fnTrim, 0},
    {"UPPER", fnUpper, 0}, {"UPPE", fnUpper, 0}, {"VAL", fnVal, 0}, {"YEAR", fnYear, 0}, {".F.", tkFalse, 0},
    {".T.", tkTrue, 0}, {".NOT.", tkNot, 0}, {".OR.", tkOr, 0}, {".AND.", tkAnd, 0}, {"$EOT$", tkUnknown, 0},
};

constexpr int C = ttChar, N = ttNumber, L = ttLogical, D = ttDate;

// One signature of a function: argument types and the result.
struct TSignature {
    int Token;
    std::uint8_t Count;
    int Args[4];
    int Result;
};

constexpr TSignature kSignatures[] = {
    {fnYear, 1, {D}, N}, {fnMonth, 1, {D}, N}, {fnDow, 1, {D}, N}, {fnDay, 1, {D}, N}, {fnAt, 2, {C, C}, N},
    {fnRound, 2, {N, N}, N}, {fnMod, 2, {N, N}, N}, {fnMin, 2, {N, N}, N}, {fnMin, 2, {D, D}, D},
    {fnMax, 2, {N, N}, N}, {fnMax, 2, {D, D}, D}, {fnInt, 1, {N}, N}, {fnAbs, 1, {N}, N}, {fnVal, 1, {C}, N},
    {fnLen, 1, {C}, N}, {fnAsc, 1, {C}, N}, {fnRecno, 0, {}, N}, {fnCtod, 1, {C}, D}, {fnDate, 0, {}, D},
    {fnStuff, 4, {C, N, N, C}, C}, {fnIif, 3, {L, C, C}, C}, {fnStr, 1, {N}, C}, {fnStr, 2, {N, N}, C},
    {fnStr, 3, {N, N, N}, C}, {fnSubstr, 3, {C, N, N}, C}, {fnLeft, 2, {C, N}, C}, {fnRight, 2, {C, N}, C},
    {fnReplicate, 2, {C, N}, C}, {fnDtos, 1, {D}, C}, {fnDtoc, 1, {D}, C}, {fnCmonth, 1, {D}, C},
    {fnCdow, 1, {D}, C}, {fnUpper, 1, {C}, C}, {fnLower, 1, {C}, C}, {fnTrim, 1, {C}, C}, {fnRtrim, 1, {C}, C},
    {fnLtrim, 1, {C}, C}, {fnSoundex, 1, {C}, C}, {fnSpace, 1, {N}, C}, {fnChr, 1, {N}, C},
    {fnDeleted, 0, {}, L},
};

// The first entry of a token is its full name.
const char* FunctionName(int token)
{
    for (const TKeyword& k : kKeywords)
        if (k.Token == token) return k.Name;
    return "";
}

std::uint8_t MaxArgs(int token)
{
    std::uint8_t n = 0;
    for (const TSignature& s : kSignatures)
        if (s.Token == token) n = std::max(n, s.Count);
    return n;
}

bool TakesArgs(int token, int count)
{
    for (const TSignature& s : kSignatures)
        if (s.Token == token && s.Count == count) return true;
    return false;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

int TypeTagOfField(char type)
{
    switch (type) {
    case 'C': return ttChar;
    case 'N':
    case 'F': return ttNumber;
    case 'L': return ttLogical;
    case 'D': return ttDate;
    case 'M': return ttMemo;
    default: return 0;
    }
}

std::list<std::unique_ptr<TXfExpr>>& Compiled()
{
    static std::list<std::unique_ptr<TXfExpr>> list;
    return list;
}

std::uint16_t& MemoPoolSize()
{
    static std::uint16_t size = 256;
    return size;
}

// Thrown inside the compiler once the error has been reported.
struct TParseFailed {};

class TCompiler {
public:
    TCompiler(std::string_view text, TXfExpr& e) : text_(text), e_(e) {}

    void Parse()
    {
        Push();  // the start state
        Expect(ParseExpr(1), tkEnd);
        Emit(-1, 0, 0);
    }

    int ResultTag() const { return resultTag_; }
    std::uint32_t PoolEstimate() const { return pool_; }
    int LastLength() const { return lastLength_; }
    int Decimals() const { return decimals_; }

private:
    // ---- lexer ----------------------------------------------------------------

    char Read()
    {
        if (pos_ < text_.size() && text_[pos_] != '\0') {
            lastRead_ = pos_;
            return text_[pos_++];
        }
        lastRead_ = pos_;
        return '\0';
    }
    char PeekChar(std::size_t ahead = 0) const
    {
        const std::size_t at = pos_ + ahead;
        return at < text_.size() ? text_[at] : '\0';
    }

    int NextToken()
    {
        char c = Read();
        while (c == ' ' || c == '\t') c = Read();
        if (c == '\0') return tkEnd;
        c = Upper(c);
        if (IsDigit(c)) return NumberToken(c);
        if (c == '\'' || c == '"') return StringToken(c);
        switch (c) {
        case '=':
            if (PeekChar() == '=') return Read(), tkExact;
            return '=';
        case '*':
            if (PeekChar() == '*') return Read(), tkPow;
            return '*';
        case '#': return tkNe;
        case '$': return tkContained;
        case '>':
            if (PeekChar() == '=') return Read(), tkGe;
            return '>';
        case '<':
            if (PeekChar() == '=') return Read(), tkLe;
            if (PeekChar() == '>') return Read(), tkNe;
            return '<';
        default: break;
        }
        if (IsLetter(c) || c == '.' || c == '_') return NameToken(c);
        return static_cast<unsigned char>(c);
    }

    int NumberToken(char c)
    {
        std::string number(1, c);
        bool dot = false;
        for (;;) {
            const char next = Upper(PeekChar());
            if (IsDigit(next) || next == 'E' || (next == '.' && !dot)) {
                dot = dot || next == '.';
                number += Upper(Read());
            } else {
                break;
            }
        }
        double value = 0;
        const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
        // "1EE" or "1E999" is no number.
        if (ec != std::errc() || end != number.data() + number.size()) Fail("Syntax error");
        tokenNumber_ = value;
        lastLength_ = 0;
        decimals_ = kDefaultDecimals;
        return tkNumber;
    }

    int StringToken(char quote)
    {
        std::string literal;
        for (;;) {
            if (pos_ >= text_.size() || text_[pos_] == '\0') {
                Read();
                return tkEnd;
            }
            const char c = Read();
            if (c == quote) break;
            literal += c;
        }
        const std::size_t used = literalChars_;
        literalChars_ += literal.size();
        if (used < 511) literal.resize(std::min(literal.size(), 511 - used));
        else literal.clear();
        pool_ += static_cast<std::uint32_t>(literal.size()) + 1;
        tokenLiteral_ = static_cast<std::uint32_t>(e_.Literals.size());
        e_.Literals.push_back(std::move(literal));
        lastLength_ = 0;
        decimals_ = kDefaultDecimals;
        return tkString;
    }

    int NameToken(char c)
    {
        std::string name(1, c);
        auto nameChar = [](char x) { return IsLetter(x) || IsDigit(x) || x == '.' || x == '_'; };
        while (nameChar(PeekChar())) name += Upper(Read());
        bool alias = false;
        if (PeekChar() == '-' && PeekChar(1) == '>') {
            Read();
            Read();
            alias = true;
            name += '.';
            while (IsLetter(PeekChar()) || IsDigit(PeekChar()) || PeekChar() == '_') name += Upper(Read());
        }
        if (const int field = FieldToken(name, alias)) return field;
        lastLength_ = 0;
        decimals_ = kDefaultDecimals;
        return LookupKeyword(name);
    }

    int FieldToken(const std::string& name, bool alias)
    {
        int areaNumber = CurrentWorkArea();
        std::string_view fieldName = name;
        if (alias) {
            const std::size_t dot = name.find('.');
            const std::string_view aliasName = std::string_view(name).substr(0, dot);
            fieldName = std::string_view(name).substr(dot + 1);
            areaNumber = 0;
            if (aliasName.size() <= 10) {
                for (int n = 1; n < kWorkAreas; ++n) {
                    const TWorkArea* a = WorkArea(n);
                    if (a && SameName(a->Alias, aliasName)) {
                        areaNumber = n;
                        break;
                    }
                }
            }
        }
        const TWorkArea* area = areaNumber ? WorkArea(areaNumber) : nullptr;
        if (!area) return 0;
        const std::vector<TDbfField>& fields = area->Table.Fields;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const TDbfField& f = fields[i];
            const int tag = TypeTagOfField(f.Type);
            if (!tag || !SameName(f.Name, fieldName)) continue;
            // NAME( is a call even where a field has that name.
            std::size_t ahead = 0;
            while (PeekChar(ahead) == ' ' || PeekChar(ahead) == '\t') ++ahead;
            if (PeekChar(ahead) == '(') return 0;
            tokenField_ = static_cast<std::int32_t>(i + 1);
            tokenArea_ = areaNumber;
            lastLength_ = f.Length;
            if (tag == ttChar) pool_ += f.Length + 1u;
            if (tag == ttNumber) decimals_ = decimals_ == kDecimalsUnset ? f.Decimals : kDefaultDecimals;
            return (alias ? tkAliasC : tkFieldC) + (tag - ttChar);
        }
        return 0;
    }

    int LookupKeyword(std::string_view name)
    {
        for (const TKeyword& k : kKeywords) {
            if (name == k.Name || k.Token == tkUnknown) {
                pool_ += k.Pool;
                return k.Token;
            }
        }
        return tkUnknown;
    }

    // ---- parser -----------------------------------------------------------------

    int Look()
    {
        if (look_ < 0) look_ = NextToken();
        return look_;
    }
    void Shift()
    {
        Push();
        look_ = -1;
    }
    void Push()
    {
        if (++depth_ > kParserStackLimit) Fail("Parser_stack_overflow");
    }
    // A rule of `length` symbols becomes one.
    void Reduce(int length) { depth_ -= length - 1; }

    void Expect(int tag, int token)
    {
        if (Look() != token) Fail("Syntax error");
        if (token == tkEnd) {
            resultTag_ = tag;
            return;
        }
        Shift();
    }

    static int Level(int token)
    {
        switch (token) {
        case tkOr: return 1;
        case tkAnd: return 2;
        case '=':
        case tkNe: return 3;
        case tkExact:
        case tkContained: return 4;
        case '<':
        case '>':
        case tkLe:
        case tkGe: return 5;
        case '+':
        case '-': return 6;
        case '*':
        case '/': return 7;
        case tkPow: return 8;
        default: return 0;
        }
    }

    int ParseExpr(int minLevel)
    {
        int left = ParseUnary();
        for (;;) {
            const int op = Look();
            const int level = Level(op);
            if (level < minLevel || level == 0) return left;
            Shift();
            const int right = ParseExpr(level + 1);
            Reduce(3);
            left = Binary(op, left, right);
        }
    }

    int ParseUnary()
    {
        const int op = Look();
        if (op == '-' || op == '+' || op == tkNot) {
            Shift();
            const int operand = ParseUnary();
            Reduce(2);
            if (op == tkNot) {
                if (operand != L) TypeMismatchInExpr(".NOT.");
                Emit(opNot, 1, L);
                return L;
            }
            if (operand != N) TypeMismatchInExpr(op == '-' ? "Unary -" : "Unary +");
            if (op == '-') Emit(opNeg, 1, N);
            return N;
        }
        return ParsePrimary();
    }

    int ParsePrimary()
    {
        const int token = Look();
        if (token == '(') {
            Shift();
            const int inner = ParseExpr(1);
            Expect(inner, ')');
            Reduce(3);
            return inner;
        }
        if (token == tkString) {
            Shift();
            TXfExprNode& n = Emit(0, 0, C);
            n.Value.Text = tokenLiteral_;
            n.Length = static_cast<std::int32_t>(e_.Literals[tokenLiteral_].size());
            return C;
        }
        if (token == tkNumber) {
            Shift();
            Emit(0, 0, N).Value.Number = tokenNumber_;
            return N;
        }
        if (token == tkTrue || token == tkFalse) {
            Shift();
            Emit(0, 0, L).Value.Logical = token == tkTrue;
            return L;
        }
        if (token >= tkFieldC && token < tkFieldC + 10) {
            Shift();
            const bool alias = token >= tkAliasC;
            const int tag = ttChar + (token - (alias ? tkAliasC : tkFieldC));
            Emit(0, 0, L).Value.Logical = tokenField_;
            if (alias) Emit(0, 0, L).Value.Logical = tokenArea_;
            Emit(token, alias ? 2 : 1, tag);
            return tag;
        }
        if (token >= fnAbs && token <= fnYear) return ParseCall(token);
        Fail("Syntax error");
        return 0;
    }

    int ParseCall(int token)
    {
        Shift();
        if (Look() != '(') Fail("Syntax error");
        Shift();
        int types[4] = {};
        int count = 0;
        const int most = MaxArgs(token);
        if (Look() != ')') {
            for (;;) {
                if (count == most) Fail("Syntax error");
                types[count++] = ParseExpr(1);
                if (Look() == ',' && count < most) {
                    Shift();
                    continue;
                }
                break;
            }
        }
        if (Look() != ')' || !TakesArgs(token, count)) Fail("Syntax error");
        Shift();
        Reduce(count == 0 ? 3 : 2 * count + 2);
        for (const TSignature& s : kSignatures) {
            if (s.Token != token || s.Count != count) continue;
            if (std::equal(types, types + count, s.Args)) {
                Emit(token, count, s.Result);
                return s.Result;
            }
        }
        TypeMismatchInFunc(FunctionName(token));
        return 0;
    }

    int Binary(int op, int a, int b)
    {
        struct TRow {
            int Op, A, B, Code, Result;
        };
        static constexpr TRow kRows[] = {
            {'+', N, N, opAddNN, N}, {'+', N, D, opAddND, D}, {'+', D, N, opAddDN, D}, {'+', C, C, opAddCC, C},
            {'-', N, N, opSubNN, N}, {'-', D, N, opSubDN, D}, {'-', D, D, opSubDD, N}, {'-', C, C, opSubCC, C},
            {'*', N, N, opMul, N}, {'/', N, N, opDiv, N}, {tkPow, N, N, opPow, N}, {'=', N, N, opEqN, L},
            {'=', D, D, opEqD, L}, {'=', C, C, opEqC, L}, {'=', L, L, opEqL, L}, {tkExact, C, C, opExact, L},
            {tkContained, C, C, opContained, L}, {'>', N, N, opGtN, L}, {'>', D, D, opGtD, L}, {'>', C, C, opGtC, L},
            {'<', N, N, opLtN, L}, {'<', D, D, opLtD, L}, {'<', C, C, opLtC, L}, {tkNe, N, N, opNeN, L},
            {tkNe, D, D, opNeD, L}, {tkNe, C, C, opNeC, L}, {tkNe, L, L, opNeL, L}, {tkLe, N, N, opLeN, L},
            {tkLe, D, D, opLeD, L}, {tkLe, C, C, opLeC, L}, {tkGe, N, N, opGeN, L}, {tkGe, D, D, opGeD, L},
            {tkGe, C, C, opGeC, L}, {tkOr, L, L, opOr, L}, {tkAnd, L, L, opAnd, L},
        };
        for (const TRow& r : kRows) {
            if (r.Op == op && r.A == a && r.B == b) {
                Emit(r.Code, 2, r.Result);
                return r.Result;
            }
        }
        TypeMismatchInExpr(OperatorText(op));
        return 0;
    }

    static const char* OperatorText(int op)
    {
        switch (op) {
        case tkPow: return "** or ^";
        case tkExact: return "==";
        case tkNe: return "<>";
        case tkLe: return "<=";
        case tkGe: return ">=";
        case tkContained: return "$";
        case tkAnd: return ".AND.";
        case tkOr: return ".OR.";
        case '+': return "+";
        case '-': return "-";
        case '*': return "*";
        case '/': return "/";
        case '=': return "=";
        case '<': return "<";
        default: return ">";
        }
    }

    // ---- code ---------------------------------------------------------------------

    TXfExprNode& Emit(std::int32_t op, std::int32_t count, std::int32_t tag)
    {
        TXfExprNode& n = e_.Code.emplace_back();
        n.Op = op;
        n.ArgCount = count;
        n.Type = tag;
        return n;
    }

    // ---- errors ---------------------------------------------------------------------

    void TypeMismatchInExpr(std::string_view op)
    {
        Fail("PARSER:Type mismatch in expression \"" + std::string(op) + "\"");
    }
    void TypeMismatchInFunc(std::string_view name)
    {
        Fail("PARSER:Type mismatch in function \"" + std::string(name) + "\"");
    }

    [[noreturn]] void Fail(const std::string& cause)
    {
        const std::size_t p = std::min(lastRead_, text_.size());
        const std::size_t from = p >= 50 ? p - 50 : 0;
        std::string window = p < 50 ? "[" : "[...";
        window += text_.substr(from, 51);
        window += from + 51 >= text_.size() ? "]" : "...]";
        DbfRaiseError(kExprError, "Error in expression : " + cause + "\r\n" + window + "\r\n [AssignExpr]");
        throw TParseFailed {};
    }

    std::string text_;
    TXfExpr& e_;
    std::size_t pos_ = 0, lastRead_ = 0;
    std::size_t literalChars_ = 0;
    std::uint32_t pool_ = 0;
    int lastLength_ = 0;
    int decimals_ = kDecimalsUnset;
    int look_ = -1;
    int depth_ = 0;
    int resultTag_ = 0;
    double tokenNumber_ = 0;
    std::uint32_t tokenLiteral_ = 0;
    std::int32_t tokenField_ = 0, tokenArea_ = 0;
};

// The working-stack depth the code needs, so runs never grow it.
std::size_t StackDepth(const std::vector<TXfExprNode>& code)
{
    std::size_t depth = 0, most = 0;
    for (const TXfExprNode& n : code) {
        if (n.Op == -1) break;
        if (n.Op == 0) ++depth;
        else depth = depth - static_cast<std::size_t>(n.ArgCount) + 1;
        most = std::max(most, depth);
    }
    return most;
}

}  // namespace

PXfExpr AssignExpr(std::string_view text)
{
    TXfErrorState& errors = XfErrors();
    if (errors.LastError >= 350 && errors.LastError <= 363) errors.LastError = 0;
    if (text.size() > kMaxText) {
        DbfRaiseError(kExprError, "Error in expression : longer than 255 characters\r\n [AssignExpr]");
        return nullptr;
    }
    auto e = std::make_unique<TXfExpr>();
    TCompiler compiler(text, *e);
    try {
        compiler.Parse();
    } catch (const TParseFailed&) {
        return nullptr;
    }
    e->Source = std::string(text);
    std::uint32_t estimate = compiler.PoolEstimate();
    const int tag = compiler.ResultTag();
    if (tag == ttMemo) estimate = MemoPoolSize();
    e->PoolSize = std::min<std::uint32_t>(estimate, 0xFFFF);
    e->Pool.assign(std::max<std::uint32_t>(e->PoolSize, 1), '\0');
    e->Work.resize(StackDepth(e->Code));
    e->ResultDecimals = 0;
    switch (tag) {
    case ttChar:
        e->ResultType = 'C';
        e->ResultLength = estimate == static_cast<std::uint32_t>(compiler.LastLength()) + 1
                              ? static_cast<std::uint16_t>(compiler.LastLength())
                              : 0;
        break;
    case ttDate:
        e->ResultType = 'D';
        e->ResultLength = 8;
        break;
    case ttNumber: {
        e->ResultType = 'N';
        const int decimals = compiler.Decimals() < kDecimalsUnset ? compiler.Decimals() : kDefaultDecimals;
        e->ResultDecimals = static_cast<std::uint8_t>(decimals);
        const int length = compiler.LastLength() < decimals + 2 ? 0 : compiler.LastLength();
        e->ResultLength = static_cast<std::uint16_t>(length ? length : decimals + 11);
        break;
    }
    case ttLogical:
        e->ResultType = 'L';
        e->ResultLength = 1;
        break;
    default:
        e->ResultType = 'M';
        e->ResultLength = static_cast<std::uint16_t>(e->PoolSize);
        break;
    }
    e->ResultValue = e->Pool.data();
    Compiled().push_back(std::move(e));
    return Compiled().back().get();
}

void FreeExpr(PXfExpr& expression)
{
    std::list<std::unique_ptr<TXfExpr>>& list = Compiled();
    const auto it = std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.get() == expression; });
    if (it == list.end()) return;
    list.erase(it);
    expression = nullptr;
}

std::uint16_t CheckExpression(std::string& text, bool isKey)
{
    text = TrimRightStr(text);
    if (text.empty()) return kCheckEmpty;
    if (isKey && text.size() > 220) return kCheckKeyTooLong;
    std::uint16_t result = 0;
    {
        TXfDeferErrors deferred;
        const std::uint16_t savedPool = MemoPoolSize();
        MemoPoolSize() = 0;
        PXfExpr e = AssignExpr(text);
        MemoPoolSize() = savedPool;
        if (e) {
            const char type = e->ResultType;
            FreeExpr(e);
            if (isKey && (type == 'M' || type == 'L')) result = kCheckKeyType;
            else if (!isKey && type != 'L') result = kCheckNotCondition;
        } else {
            result = XfErrors().LastError;
        }
    }
    XfErrors().LastError = 0;
    XfErrors().PendingError = 0;
    return result;
}

std::uint16_t CheckCondition(std::string& text) { return CheckExpression(text, false); }

std::uint16_t GetMemoPoolSize() { return MemoPoolSize(); }
void SetMemoPoolSize(std::uint16_t size) { MemoPoolSize() = size; }

PXfExpr& CurrentExpression()
{
    static PXfExpr current = nullptr;
    return current;
}

namespace {

// Runs for a key, a FOR condition or a filter: a division by zero leaves its marker
// value in the result and must not stop the caller's scan, so it is not delivered.
const void* EvaluateQuietly(PXfExpr e)
{
    TXfErrorState& errors = XfErrors();
    const std::uint16_t last = errors.LastError, pending = errors.PendingError;
    TXfDeferErrors deferred;
    const void* result = Evaluate(e);
    if (errors.LastError == kDivideByZero) {
        errors.LastError = last;
        errors.PendingError = pending;
    }
    return result;
}

}  // namespace

void InstallParserHooks()
{
    TXfParserHooks& hooks = XfParserHooks();
    hooks.Compile = [](const std::string& text) -> void* { return AssignExpr(text); };
    hooks.Free = [](void*& expression) {
        PXfExpr e = static_cast<PXfExpr>(expression);
        FreeExpr(e);
        expression = e;
    };
    hooks.Evaluate = [](void* expression) { return Evaluate(static_cast<PXfExpr>(expression)); };
    hooks.SourceText = [](void* expression) {
        return expression ? static_cast<PXfExpr>(expression)->Source : std::string();
    };
    hooks.EvaluateCurrent = [] { return EvaluateQuietly(CurrentExpression()); };
    hooks.Condition = [](void* expression) {
        const PXfExpr e = static_cast<PXfExpr>(expression);
        if (!e || e->ResultType != 'L') return false;
        const void* result = EvaluateQuietly(e);
        return result && *static_cast<const std::int32_t*>(result) != 0;
    };
    hooks.ResultType = [](void* expression) { return expression ? static_cast<PXfExpr>(expression)->ResultType : ' '; };
    hooks.Present = 1;
}

namespace {
// Installed when the expression unit is part of the program.
const bool kInstalled = (InstallParserHooks(), true);
}  // namespace

}  // namespace xf
