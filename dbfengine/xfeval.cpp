// The evaluator: runs compiled postfix code on a working stack whose character
// values live in the expression's own pool, and the function library.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "dbfengine/dbf4.h"
#include "dbfengine/timedate.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndxlow.h"
#include "dbfengine/xfparser.h"
#include "dbfengine/xfutils.h"

namespace xf {

namespace expr {

double NumberFromText(std::string_view text)
{
    std::size_t a = 0;
    while (a < text.size() && text[a] == ' ') ++a;
    text.remove_prefix(a);
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    return ec == std::errc() && std::isfinite(value) ? value : 0.0;
}

std::string FixedText(double value, int decimals)
{
    if (!std::isfinite(value)) return std::string(330, '*');
    decimals = std::clamp(decimals, 0, 340);
    // The shortest text that reads back as the value, then rounded as decimal digits,
    // so 2.675 is 2.68 although its binary value lies below.
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
    const std::string_view text(buffer, static_cast<std::size_t>(r.ptr - buffer));
    const std::size_t e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e))
        if (c != '.') digits += c;
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);
    std::string whole;
    std::size_t point;  // digits before the decimal point in `whole`
    if (exponent < 0) {
        whole = std::string(static_cast<std::size_t>(-exponent), '0') + digits;
        point = 1;
    } else {
        whole = digits;
        point = static_cast<std::size_t>(exponent) + 1;
    }
    const std::size_t cut = point + static_cast<std::size_t>(decimals);
    if (whole.size() < cut + 1) whole.resize(cut + 1, '0');
    const bool up = whole[cut] >= '5';
    whole.resize(cut);
    if (up) {
        std::size_t i = cut;
        while (i > 0 && whole[i - 1] == '9') whole[--i] = '0';
        if (i > 0) {
            ++whole[i - 1];
        } else {
            whole.insert(whole.begin(), '1');
            ++point;
        }
    }
    std::size_t lead = 0;
    while (lead + 1 < point && whole[lead] == '0') ++lead;
    std::string out = whole.substr(lead, point - lead);
    if (decimals > 0) out += '.' + whole.substr(point);
    const bool zero = whole.find_first_not_of('0') == std::string::npos;
    return value < 0 && !zero ? '-' + out : out;
}

}  // namespace expr

using namespace expr;

namespace {

constexpr const char* kDivideContext = "Error during evaluation: Divide by 0 [Evaluate/Engine]";
constexpr const char* kPowerContext = "Error during evaluation: No finite power [Evaluate/Engine]";
constexpr std::int64_t kRoundDigitsLimit = 330;

bool IsLogicalTrue(char c) { return c == 'Y' || c == 'y' || c == 'T' || c == 't'; }

// Delphi's Copy: a start below 1 is 1, a negative count or a start past the end copies nothing.
std::string_view CopyText(std::string_view s, std::int64_t start, std::int64_t count)
{
    if (start < 1) start = 1;
    if (count <= 0 || start > static_cast<std::int64_t>(s.size())) return {};
    return s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count));
}

class TRun {
public:
    explicit TRun(TXfExpr& e) : e_(e), pool_(e.Pool.data()), poolEnd_(e.Pool.size()) { e.PoolNext = 0; }

    // False when an error stopped the run (it has been reported).
    bool Run()
    {
        for (const TXfExprNode& n : e_.Code) {
            if (n.Op == -1) break;
            if (n.Op == 0) {
                if (!PushOperand(n)) return false;
            } else if (!Operate(n)) {
                return false;
            }
        }
        return true;
    }

    const char* DivideError() const { return divideError_; }

private:
    // ---- the working stack ----------------------------------------------------------

    TXfExprNode& NewTop()
    {
        if (sp_ == e_.Work.size()) e_.Work.emplace_back();
        return e_.Work[sp_++];
    }
    TXfExprNode& Top() { return e_.Work[sp_ - 1]; }
    TXfExprNode Pop()
    {
        const TXfExprNode& n = e_.Work[--sp_];
        if (n.Type == ttChar || n.Type == ttMemo) e_.PoolNext = n.Value.Text;
        return n;
    }
    double PopNumber() { return e_.Work[--sp_].Value.Number; }
    bool PopLogical() { return e_.Work[--sp_].Value.Logical != 0; }
    std::string_view PopText()
    {
        const TXfExprNode n = Pop();
        return {pool_ + n.Value.Text, static_cast<std::size_t>(n.Length)};
    }
    std::string_view TopText() { return {pool_ + Top().Value.Text, static_cast<std::size_t>(Top().Length)}; }
    // The top text shortened in place.
    void SetTopText(std::size_t from, std::size_t length)
    {
        TXfExprNode& n = Top();
        char* text = pool_ + n.Value.Text;
        if (from) std::memmove(text, text + from, length);
        text[length] = '\0';
        n.Length = static_cast<std::int32_t>(length);
        e_.PoolNext = n.Value.Text + static_cast<std::uint32_t>(length) + 1;
    }

    void PushNumber(double value, int tag = ttNumber)
    {
        TXfExprNode& n = NewTop();
        n.Type = tag;
        n.Value.Number = value;
    }
    void PushLogical(bool value)
    {
        TXfExprNode& n = NewTop();
        n.Type = ttLogical;
        n.Value.Logical = value ? 1 : 0;
    }
    bool PushText(std::string_view text, int tag = ttChar)
    {
        if (const std::size_t zero = text.find('\0'); zero != std::string_view::npos) text = text.substr(0, zero);
        if (tag == ttChar && text.size() > kMaxText) return TooLong();
        if (text.size() + 1 > poolEnd_ - e_.PoolNext) {
            DbfRaiseError(kPoolOverflow, "Working pool overflow [PARSER/Allocate]");
            return false;
        }
        char* at = pool_ + e_.PoolNext;
        std::memmove(at, text.data(), text.size());
        at[text.size()] = '\0';
        TXfExprNode& n = NewTop();
        n.Type = tag;
        n.Value.Text = e_.PoolNext;
        n.Length = static_cast<std::int32_t>(text.size());
        e_.PoolNext += static_cast<std::uint32_t>(text.size()) + 1;
        return true;
    }

    bool TooLong()
    {
        DbfRaiseError(kPoolOverflow, "Character value longer than 255 characters [Evaluate/Engine]");
        return false;
    }

    bool PushOperand(const TXfExprNode& n)
    {
        switch (n.Type) {
        case ttChar: return PushText(e_.Literals[n.Value.Text]);
        case ttNumber:
        case ttDate: PushNumber(n.Value.Number, n.Type); return true;
        case ttLogical: {
            TXfExprNode& top = NewTop();
            top.Type = ttLogical;
            top.Value.Logical = n.Value.Logical;
            return true;
        }
        default:
            DbfRaiseError(kUnknownType, "Unknown data type (none of \"C\",\"N\",\"F\",\"L\",\"D\"or\"M\") [PARSER/PushWD]");
            return false;
        }
    }

    // ---- fields -------------------------------------------------------------------

    bool FetchField(const TXfExprNode& op)
    {
        const bool alias = op.Op >= opAliasC;
        const int areaNumber = alias ? e_.Work[--sp_].Value.Logical : kWorkAreas;
        const int fieldNumber = e_.Work[--sp_].Value.Logical;
        const int tag = ttChar + (op.Op - (alias ? opAliasC : opFieldC));
        const int number = areaNumber >= kWorkAreas ? CurrentWorkArea() : areaNumber;
        const TWorkArea* area = WorkArea(number);
        // The area may hold another table than when the expression was compiled.
        const TDbfField* field = nullptr;
        if (area && fieldNumber >= 1 && fieldNumber <= static_cast<int>(area->Table.Fields.size()))
            field = &area->Table.Fields[static_cast<std::size_t>(fieldNumber - 1)];
        std::string_view raw;
        if (field && area->Table.Record.size() >= static_cast<std::size_t>(field->Offset) + field->Length)
            raw = std::string_view(area->Table.Record.data() + field->Offset, field->Length);
        switch (tag) {
        case ttChar:
            if (raw.data()) return PushText(raw);
            return PushText(std::string(field ? field->Length : 0, ' '));
        case ttNumber: PushNumber(NumberFromText(raw)); return true;
        case ttLogical: PushLogical(!raw.empty() && IsLogicalTrue(raw[0])); return true;
        case ttDate: PushNumber(DateNumberFromDtos(raw.substr(0, std::min<std::size_t>(raw.size(), 8))), ttDate); return true;
        default: return LoadMemo(number, XfSaturateInt32(NumberFromText(raw)));
        }
    }

    bool LoadMemo(int area, std::int32_t block)
    {
        std::string text;
        const TXfMemoHooks& hooks = XfMemoHooks();
        if (block > 0 && hooks.MemoText && WorkArea(area)) {
            const int saved = CurrentWorkArea();
            Select(area);
            struct TRestore {
                int area;
                ~TRestore() { Select(area); }
            } restore {saved};
            text = hooks.MemoText(block);
        }
        const std::size_t room = poolEnd_ > e_.PoolNext ? poolEnd_ - e_.PoolNext - 1 : 0;
        return PushText(std::string_view(text).substr(0, std::min(room, text.size())), ttMemo);
    }

    // ---- operations ---------------------------------------------------------------

    bool Operate(const TXfExprNode& op)
    {
        if (op.Op >= opFieldC && op.Op < opFieldC + 10) return FetchField(op);
        if (op.Op >= opAddNN) return Operator(op.Op);
        return Function(op);
    }

    void Divide(double a, double b)
    {
        if (b == 0) {
            divideError_ = kDivideContext;
            PushNumber(kDivideByZeroMarker);
        } else {
            PushNumber(a / b);
        }
    }

    bool Operator(std::int32_t code)
    {
        if (code == opNot) {
            PushLogical(!PopLogical());
            return true;
        }
        if (code == opNeg) {
            PushNumber(-PopNumber());
            return true;
        }
        switch (code) {
        case opAddCC:
        case opSubCC:
        case opEqC:
        case opExact:
        case opContained:
        case opGtC:
        case opLtC:
        case opNeC:
        case opLeC:
        case opGeC: return TextOperator(code);
        case opEqL:
        case opNeL:
        case opOr:
        case opAnd: {
            const bool b = PopLogical(), a = PopLogical();
            PushLogical(code == opEqL ? a == b : code == opNeL ? a != b : code == opOr ? (a || b) : (a && b));
            return true;
        }
        default: break;
        }
        const double b = PopNumber(), a = PopNumber();
        switch (code) {
        case opAddNN: PushNumber(a + b); break;
        case opAddND:
        case opAddDN: PushNumber(a + b, ttDate); break;
        case opSubNN:
        case opSubDD: PushNumber(a - b); break;
        case opSubDN: PushNumber(a - b, ttDate); break;
        case opMul: PushNumber(a * b); break;
        case opDiv: Divide(a, b); break;
        case opPow: {
            const double p = std::pow(a, b);
            if (std::isfinite(p)) {
                PushNumber(p);
            } else {
                divideError_ = kPowerContext;
                PushNumber(kDivideByZeroMarker);
            }
            break;
        }
        case opEqN:
        case opEqD: PushLogical(a == b); break;
        case opGtN:
        case opGtD: PushLogical(a > b); break;
        case opLtN:
        case opLtD: PushLogical(a < b); break;
        case opNeN:
        case opNeD: PushLogical(a != b); break;
        case opLeN:
        case opLeD: PushLogical(a <= b); break;
        default: PushLogical(a >= b); break;
        }
        return true;
    }

    bool TextOperator(std::int32_t code)
    {
        const std::string_view b = PopText(), a = PopText();
        switch (code) {
        case opAddCC:
        case opSubCC: {
            if (a.size() + b.size() > kMaxText) return TooLong();
            char work[2 * kMaxText + 2];
            std::size_t n = 0;
            const std::size_t kept = code == opAddCC ? a.size() : a.find_last_not_of(' ') + 1;
            std::memcpy(work, a.data(), kept);
            n = kept;
            std::memcpy(work + n, b.data(), b.size());
            n += b.size();
            std::memcpy(work + n, a.data() + kept, a.size() - kept);
            n += a.size() - kept;
            return PushText(std::string_view(work, n));
        }
        case opEqC: PushLogical(!b.empty() && a.substr(0, b.size()) == b); return true;
        case opExact: PushLogical(a == b); return true;
        case opContained: PushLogical(!a.empty() && b.find(a) != std::string_view::npos); return true;
        case opGtC: PushLogical(a > b); return true;
        case opLtC: PushLogical(a < b); return true;
        case opNeC: PushLogical(a != b); return true;
        case opLeC: PushLogical(a <= b); return true;
        default: PushLogical(a >= b); return true;
        }
    }

    static std::int64_t Trunc64(double value) { return XfSaturateInt64(value); }

    bool Function(const TXfExprNode& op)
    {
        switch (op.Op) {
        case fnAbs: PushNumber(std::fabs(PopNumber())); return true;
        case fnInt: PushNumber(std::trunc(PopNumber())); return true;
        case fnAsc: {
            const std::string_view c = PopText();
            PushNumber(c.empty() ? 0 : static_cast<unsigned char>(c[0]));
            return true;
        }
        case fnAt: {
            const std::string_view c = PopText(), s = PopText();
            const std::size_t at = s.empty() ? std::string_view::npos : c.find(s);
            PushNumber(at == std::string_view::npos ? 0 : static_cast<double>(at + 1));
            return true;
        }
        case fnLen: PushNumber(static_cast<double>(PopText().size())); return true;
        case fnVal: PushNumber(NumberFromText(TrimRightStr(PopText()))); return true;
        case fnChr: {
            const char c = static_cast<char>(static_cast<std::uint64_t>(Trunc64(PopNumber())) & 0xFF);
            return PushText(std::string_view(&c, 1));
        }
        case fnMod: {
            const std::int64_t b = Trunc64(PopNumber()), a = Trunc64(PopNumber());
            if (b == 0) {
                divideError_ = kDivideContext;
                PushNumber(kDivideByZeroMarker);
            } else {
                PushNumber(b == -1 ? 0.0 : static_cast<double>(a % b));
            }
            return true;
        }
        case fnRound: {
            const double k = PopNumber();
            PushNumber(CutDigits(PopNumber(), k));
            return true;
        }
        case fnMax:
        case fnMin: {
            const int tag = Top().Type;
            const double b = PopNumber(), a = PopNumber();
            PushNumber(op.Op == fnMax ? (a > b ? a : b) : (a < b ? a : b), tag);
            return true;
        }
        case fnRecno: {
            const TWorkArea* a = WorkArea(CurrentWorkArea());
            PushNumber(a ? a->Table.CurrentRecord : 0);
            return true;
        }
        case fnDeleted: {
            const TWorkArea* a = WorkArea(CurrentWorkArea());
            PushLogical(a && !a->Table.Record.empty() && a->Table.Record[0] == '*');
            return true;
        }
        case fnDate: {
            std::uint16_t y, m, d, w;
            GetTodayParts(y, m, d, w);
            PushNumber(DateNumber(y, m, d), ttDate);
            return true;
        }
        case fnCtod: {
            const std::string_view c = PopText();
            PushNumber(DateNumberFromText(c.substr(0, std::min<std::size_t>(c.size(), 10))), ttDate);
            return true;
        }
        case fnDay:
        case fnMonth:
        case fnYear:
        case fnDow: {
            const std::string text = DateTextFromNumber(PopNumber());
            const int value = op.Op == fnDay     ? DayOf(text)
                              : op.Op == fnMonth ? MonthOf(text)
                              : op.Op == fnYear  ? YearOf(text)
                                                 : DayOfWeekOfText(text);
            PushNumber(value);
            return true;
        }
        case fnDtoc: return PushText(DateTextFromNumber(PopNumber()));
        case fnDtos: return PushText(DtosFromDateNumber(PopNumber()));
        case fnCdow: return PushText(DayName(DateTextFromNumber(PopNumber())));
        case fnCmonth: return PushText(MonthName(DateTextFromNumber(PopNumber())));
        case fnSoundex: return PushText(Soundex(std::string(PopText())));
        case fnUpper:
        case fnLower: {
            TXfExprNode& n = Top();
            char* text = pool_ + n.Value.Text;
            for (std::int32_t i = 0; i < n.Length; ++i) text[i] = op.Op == fnUpper ? CharUpper(text[i]) : CharLower(text[i]);
            return true;
        }
        case fnTrim:
        case fnRtrim: {
            const std::string_view c = TopText();
            const std::size_t last = c.find_last_not_of(' ');
            SetTopText(0, last == std::string_view::npos ? 0 : last + 1);
            return true;
        }
        case fnLtrim: {
            const std::string_view c = TopText();
            const std::size_t first = std::min(c.find_first_not_of(' '), c.size());
            SetTopText(first, c.size() - first);
            return true;
        }
        case fnLeft:
        case fnRight: {
            const double n = PopNumber();
            const std::string_view c = TopText();
            if (n < static_cast<double>(c.size())) {
                const std::size_t keep = static_cast<std::size_t>(std::max<std::int64_t>(Trunc64(n), 0));
                SetTopText(op.Op == fnLeft ? 0 : c.size() - keep, keep);
            }
            return true;
        }
        case fnSubstr: {
            const std::int64_t k = Trunc64(PopNumber()), p = Trunc64(PopNumber());
            const std::string_view c = TopText();
            const std::string_view part = CopyText(c, p, k);
            SetTopText(part.empty() ? 0 : static_cast<std::size_t>(part.data() - c.data()), part.size());
            return true;
        }
        case fnStuff: {
            const std::string_view r = PopText();
            const std::int64_t k = Trunc64(PopNumber()), p = Trunc64(PopNumber());
            const std::string_view c = PopText();
            std::string s(c);
            if (p >= 1 && p <= static_cast<std::int64_t>(s.size()) && k > 0) s.erase(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(k));
            const std::int64_t at = std::clamp<std::int64_t>(p, 1, static_cast<std::int64_t>(s.size()) + 1);
            s.insert(static_cast<std::size_t>(at - 1), r);
            return PushText(s);
        }
        case fnReplicate: {
            const std::int64_t n = Trunc64(PopNumber());
            const std::string_view c = TopText();
            if (n <= 0 || c.empty()) {
                SetTopText(0, 0);
                return true;
            }
            if (n > static_cast<std::int64_t>(kMaxText / c.size())) return TooLong();
            std::string s;
            s.reserve(c.size() * static_cast<std::size_t>(n));
            for (std::int64_t i = 0; i < n; ++i) s += c;
            Pop();
            return PushText(s);
        }
        case fnSpace: {
            const std::int64_t n = std::clamp<std::int64_t>(Trunc64(PopNumber()), 0, kMaxText + 1);
            return PushText(std::string(static_cast<std::size_t>(n), ' '));
        }
        case fnStr: return Str(op.ArgCount);
        case fnIif: {
            const TXfExprNode b = Pop(), a = Pop();
            const bool l = PopLogical();
            const TXfExprNode& chosen = l ? a : b;
            return PushText(std::string_view(pool_ + chosen.Value.Text, static_cast<std::size_t>(chosen.Length)));
        }
        default: return true;  // no keyword produces another function
        }
    }

    // trunc(n) + trunc(fraction x 10^k) / 10^k, by k multiplications and divisions:
    // cut, not rounded. Once no fraction is left further steps cut nothing and would
    // only add noise (or run 10^9 times), so they stop there.
    static double CutDigits(double n, double k)
    {
        if (!std::isfinite(n)) return n;
        const double whole = std::trunc(n);
        const std::int64_t digits = XfSaturateInt64(k);
        double part = n - whole;
        if (digits <= 0) return whole + std::trunc(part);
        std::int64_t steps = 0;
        while (steps < digits && part != std::trunc(part)) {
            if (steps == kRoundDigitsLimit) return n;
            part *= 10;
            ++steps;
        }
        part = std::trunc(part);
        for (std::int64_t i = 0; i < steps; ++i) part /= 10;
        return whole + part;
    }

    bool Str(int count)
    {
        std::int64_t width = 10, decimals = 0;
        if (count == 3) decimals = std::max<std::int64_t>(Trunc64(PopNumber()), 0);
        if (count >= 2) width = Trunc64(PopNumber());
        const double n = PopNumber();
        if (width > static_cast<std::int64_t>(kMaxText)) return TooLong();
        width = std::max<std::int64_t>(width, 0);
        const std::size_t w = static_cast<std::size_t>(width);
        std::string text = decimals >= width ? std::string(w + 1, '*') : FixedText(n, static_cast<int>(decimals));
        if (text.size() > w) text.assign(w, '*');
        else text.insert(0, w - text.size(), ' ');
        return PushText(text);
    }

    TXfExpr& e_;
    char* pool_;
    std::size_t poolEnd_;
    std::size_t sp_ = 0;
    const char* divideError_ = nullptr;
};

const void* ResultOf(const TXfExpr& e)
{
    switch (e.ResultType) {
    case 'C':
    case 'M': return e.Pool.data();
    case 'L': return &e.Work[0].Value.Logical;
    default: return &e.Work[0].Value.Number;
    }
}

}  // namespace

const void* Evaluate(PXfExpr expression)
{
    if (!expression) return nullptr;
    TXfExpr& e = *expression;
    TRun run(e);
    if (!run.Run()) {
        e.ResultValue = nullptr;
        return nullptr;
    }
    e.ResultValue = ResultOf(e);
    // The run went on with the marker value; the error is told once it is complete.
    if (run.DivideError()) DbfRaiseError(kDivideByZero, run.DivideError());
    return e.ResultValue;
}

bool FetchesOneField(const TXfExpr& e, int& area, int& field)
{
    using namespace expr;
    const std::vector<TXfExprNode>& code = e.Code;
    const bool alias = code.size() == 4 && code[2].Op >= opAliasC && code[2].Op < opAliasC + 5;
    if (!alias && !(code.size() == 3 && code[1].Op >= opFieldC && code[1].Op < opFieldC + 5)) return false;
    if (code[0].Op != 0 || code.back().Op != -1 || (alias && code[1].Op != 0)) return false;
    field = code[0].Value.Logical;
    area = alias ? code[1].Value.Logical : CurrentWorkArea();
    return true;
}

std::string EvaluateText(PXfExpr expression)
{
    const void* result = Evaluate(expression);
    if (!result || (expression->ResultType != 'C' && expression->ResultType != 'M')) return {};
    return std::string(static_cast<const char*>(result), expression->Work[0].Length);
}

}  // namespace xf
