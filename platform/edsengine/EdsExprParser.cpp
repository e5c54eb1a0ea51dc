// Lexer, parser and type checker of the expression language. The parser is a
// plain recursive descent whose nesting and tree height are bounded, so that
// no input can exhaust the stack; every refusal names the position where it
// happened.

#include "platform/edsengine/EdsExprAst.h"
#include "platform/rtl/SysUtils.h"

#include <charconv>
#include <optional>

namespace {

enum class Tok {
    End, Name, Field, String, Number, True, False,
    LParen, RParen, Comma, Plus, Minus, Star, Slash,
    Eq, ExactEq, Ne, Lt, Le, Gt, Ge, Dollar,
    And, Or, Not,
};

struct Token {
    Tok kind = Tok::End;
    std::size_t pos = 0;  // 1-based
    std::string text;     // Name, Field, String: the text; Number: the digits
};

constexpr int kMaxNesting = 100;
constexpr int kMaxHeight = 200;

struct Failure {
    EdsExprError error;
};

bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

[[noreturn]] void Fail(std::uint32_t code, std::size_t pos, const std::string& what) {
    Failure f;
    f.error.code = code;
    f.error.position = pos;
    f.error.text = "Expression error at position " + std::to_string(pos) + ": " + what;
    throw f;
}

class Lexer {
public:
    explicit Lexer(std::string_view text) : s_(text) {}

    Token Next() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
        Token t;
        t.pos = i_ + 1;
        if (i_ >= s_.size()) return t;
        char c = s_[i_];
        if (c == '\'' || c == '"') {
            std::size_t close = s_.find(c, i_ + 1);
            if (close == std::string_view::npos) Fail(kEdsExprSyntaxError, t.pos, "unterminated string");
            t.kind = Tok::String;
            t.text = std::string(s_.substr(i_ + 1, close - i_ - 1));
            i_ = close + 1;
            return t;
        }
        if (c == '[') {
            // "]]" inside the brackets stands for one "]", so that every name a
            // table may hold can be written; a lone "]" after a name was never valid.
            t.kind = Tok::Field;
            std::size_t from = i_ + 1;
            while (true) {
                const std::size_t close = s_.find(']', from);
                if (close == std::string_view::npos) Fail(kEdsExprSyntaxError, t.pos, "missing ]");
                t.text += s_.substr(from, close - from);
                if (close + 1 < s_.size() && s_[close + 1] == ']') {
                    t.text += ']';
                    from = close + 2;
                    continue;
                }
                i_ = close + 1;
                return t;
            }
        }
        if (IsDigit(c) || (c == '.' && i_ + 1 < s_.size() && IsDigit(s_[i_ + 1]))) {
            std::size_t start = i_;
            while (i_ < s_.size() && IsDigit(s_[i_])) ++i_;
            if (i_ < s_.size() && s_[i_] == '.' && i_ + 1 < s_.size() && IsDigit(s_[i_ + 1])) {
                ++i_;
                while (i_ < s_.size() && IsDigit(s_[i_])) ++i_;
            } else if (i_ < s_.size() && s_[i_] == '.' && !(i_ + 1 < s_.size() && IsAlpha(s_[i_ + 1]))) {
                ++i_;  // "12." is a number; "12.AND." is not
            }
            t.kind = Tok::Number;
            t.text = std::string(s_.substr(start, i_ - start));
            return t;
        }
        if (c == '.') {
            std::size_t j = i_ + 1;
            while (j < s_.size() && IsAlpha(s_[j])) ++j;
            if (j < s_.size() && s_[j] == '.' && j > i_ + 1) {
                std::string word = rtl::UpperCase(s_.substr(i_ + 1, j - i_ - 1));
                Tok kind = Tok::End;
                if (word == "T" || word == "TRUE") kind = Tok::True;
                else if (word == "F" || word == "FALSE") kind = Tok::False;
                else if (word == "AND") kind = Tok::And;
                else if (word == "OR") kind = Tok::Or;
                else if (word == "NOT") kind = Tok::Not;
                if (kind != Tok::End) {
                    t.kind = kind;
                    i_ = j + 1;
                    return t;
                }
            }
            Fail(kEdsExprSyntaxError, t.pos, "unexpected '.'");
        }
        if (IsAlpha(c)) {
            std::size_t start = i_;
            while (i_ < s_.size() && (IsAlpha(s_[i_]) || IsDigit(s_[i_]))) ++i_;
            t.text = std::string(s_.substr(start, i_ - start));
            std::string word = rtl::UpperCase(t.text);
            if (word == "AND") t.kind = Tok::And;
            else if (word == "OR") t.kind = Tok::Or;
            else if (word == "NOT") t.kind = Tok::Not;
            else if (word == "TRUE") t.kind = Tok::True;
            else if (word == "FALSE") t.kind = Tok::False;
            else t.kind = Tok::Name;
            return t;
        }
        ++i_;
        auto next = [&](char n) {
            if (i_ < s_.size() && s_[i_] == n) {
                ++i_;
                return true;
            }
            return false;
        };
        switch (c) {
        case '(': t.kind = Tok::LParen; break;
        case ')': t.kind = Tok::RParen; break;
        case ',': t.kind = Tok::Comma; break;
        case '+': t.kind = Tok::Plus; break;
        case '-': t.kind = Tok::Minus; break;
        case '*': t.kind = Tok::Star; break;
        case '/': t.kind = Tok::Slash; break;
        case '$': t.kind = Tok::Dollar; break;
        case '#': t.kind = Tok::Ne; break;
        case '=': t.kind = next('=') ? Tok::ExactEq : Tok::Eq; break;
        case '!': t.kind = next('=') ? Tok::Ne : Tok::Not; break;
        case '<': t.kind = next('=') ? Tok::Le : (next('>') ? Tok::Ne : Tok::Lt); break;
        case '>': t.kind = next('=') ? Tok::Ge : Tok::Gt; break;
        default: Fail(kEdsExprSyntaxError, t.pos, std::string("unexpected character '") + c + "'");
        }
        return t;
    }

private:
    std::string_view s_;
    std::size_t i_ = 0;
};

using NodePtr = std::unique_ptr<EdsExprNode>;

const char* TypeName(EdsExprType t) {
    switch (t) {
    case EdsExprType::Logical: return "logical";
    case EdsExprType::Number: return "numeric";
    case EdsExprType::String: return "character";
    case EdsExprType::Date: return "date";
    case EdsExprType::Time: return "time";
    case EdsExprType::TimeStamp: return "timestamp";
    }
    return "?";
}

class Parser {
public:
    Parser(std::string_view text, const std::vector<EdsExprColumn>& columns, const EdsExprSettings& settings)
        : lex_(text), columns_(columns), settings_(settings) {
        tok_ = lex_.Next();
    }

    NodePtr ParseAll() {
        if (tok_.kind == Tok::End) Fail(kEdsExprSyntaxError, tok_.pos, "empty expression");
        NodePtr n = ParseOr();
        if (tok_.kind != Tok::End) Fail(kEdsExprSyntaxError, tok_.pos, "unexpected text");
        return n;
    }

private:
    void Advance() { tok_ = lex_.Next(); }

    struct Nest {
        explicit Nest(Parser& p) : p_(p) {
            if (++p_.nesting_ > kMaxNesting) Fail(kEdsExprSyntaxError, p_.tok_.pos, "expression nested too deeply");
        }
        ~Nest() { --p_.nesting_; }
        Parser& p_;
    };

    NodePtr Make(EdsExprOp op, EdsExprType type, std::size_t pos, std::vector<NodePtr> kids) {
        auto n = std::make_unique<EdsExprNode>();
        n->op = op;
        n->type = type;
        n->pos = pos;
        int height = 0;
        for (auto& k : kids) height = std::max(height, k->depth);
        n->depth = height + 1;
        if (n->depth > kMaxHeight) Fail(kEdsExprSyntaxError, pos, "expression too complex");
        n->kids = std::move(kids);
        return n;
    }

    // Folds a node whose operands are all constants into a constant.
    NodePtr Fold(NodePtr n) {
        for (auto& k : n->kids)
            if (k->op != EdsExprOp::Const) return n;
        auto c = std::make_unique<EdsExprNode>();
        c->op = EdsExprOp::Const;
        c->type = n->type;
        c->pos = n->pos;
        c->value = EdsExprEvalNode(*n, nullptr, settings_);
        return c;
    }

    void Expect(const NodePtr& n, EdsExprType type, const char* what) {
        if (n->type != type)
            Fail(kEdsExprTypeError, n->pos, std::string(what) + " needs a " + TypeName(type) + " operand, not " +
                                                TypeName(n->type));
    }

    NodePtr Binary(EdsExprOp op, std::size_t pos, NodePtr a, NodePtr b, EdsExprType type) {
        std::vector<NodePtr> kids;
        kids.push_back(std::move(a));
        kids.push_back(std::move(b));
        return Fold(Make(op, type, pos, std::move(kids)));
    }

    NodePtr ParseOr() {
        NodePtr left = ParseAnd();
        while (tok_.kind == Tok::Or) {
            std::size_t pos = tok_.pos;
            Advance();
            NodePtr right = ParseAnd();
            Expect(left, EdsExprType::Logical, "OR");
            Expect(right, EdsExprType::Logical, "OR");
            left = Binary(EdsExprOp::Or, pos, std::move(left), std::move(right), EdsExprType::Logical);
        }
        return left;
    }

    NodePtr ParseAnd() {
        NodePtr left = ParseNot();
        while (tok_.kind == Tok::And) {
            std::size_t pos = tok_.pos;
            Advance();
            NodePtr right = ParseNot();
            Expect(left, EdsExprType::Logical, "AND");
            Expect(right, EdsExprType::Logical, "AND");
            left = Binary(EdsExprOp::And, pos, std::move(left), std::move(right), EdsExprType::Logical);
        }
        return left;
    }

    NodePtr ParseNot() {
        if (tok_.kind == Tok::Not) {
            Nest nest(*this);
            std::size_t pos = tok_.pos;
            Advance();
            NodePtr operand = ParseNot();
            Expect(operand, EdsExprType::Logical, "NOT");
            std::vector<NodePtr> kids;
            kids.push_back(std::move(operand));
            return Fold(Make(EdsExprOp::Not, EdsExprType::Logical, pos, std::move(kids)));
        }
        return ParseComparison();
    }

    // A date constant compared with a timestamp reads as midnight of that day.
    static void Promote(NodePtr& a, const NodePtr& b) {
        if (a->type == EdsExprType::Date && b->type == EdsExprType::TimeStamp && a->op == EdsExprOp::Const) {
            a->value = EdsExprValue::TimeStamp(a->value.moment * edsexpr::kMsPerDay);
            a->type = EdsExprType::TimeStamp;
        }
    }

    NodePtr ParseComparison() {
        NodePtr left = ParseAdditive();
        EdsExprOp op;
        switch (tok_.kind) {
        case Tok::Eq: op = EdsExprOp::Eq; break;
        case Tok::ExactEq: op = EdsExprOp::ExactEq; break;
        case Tok::Ne: op = EdsExprOp::Ne; break;
        case Tok::Lt: op = EdsExprOp::Lt; break;
        case Tok::Le: op = EdsExprOp::Le; break;
        case Tok::Gt: op = EdsExprOp::Gt; break;
        case Tok::Ge: op = EdsExprOp::Ge; break;
        case Tok::Dollar: op = EdsExprOp::Contained; break;
        default: return left;
        }
        std::size_t pos = tok_.pos;
        Advance();
        NodePtr right = ParseAdditive();
        if (op == EdsExprOp::Contained) {
            Expect(left, EdsExprType::String, "$");
            Expect(right, EdsExprType::String, "$");
        } else {
            Promote(left, right);
            Promote(right, left);
            if (left->type != right->type)
                Fail(kEdsExprTypeError, pos,
                     std::string("cannot compare ") + TypeName(left->type) + " with " + TypeName(right->type));
            if (left->type == EdsExprType::Logical && op != EdsExprOp::Eq && op != EdsExprOp::ExactEq &&
                op != EdsExprOp::Ne)
                Fail(kEdsExprTypeError, pos, "logical values compare only for equality");
        }
        NodePtr n = Make(op, EdsExprType::Logical, pos, {});
        n->exact = op == EdsExprOp::ExactEq || settings_.exact;
        n->kids.push_back(std::move(left));
        n->kids.push_back(std::move(right));
        n->depth = std::max(n->kids[0]->depth, n->kids[1]->depth) + 1;
        if (n->depth > kMaxHeight) Fail(kEdsExprSyntaxError, pos, "expression too complex");
        if (tok_.kind == Tok::Eq || tok_.kind == Tok::ExactEq || tok_.kind == Tok::Ne || tok_.kind == Tok::Lt ||
            tok_.kind == Tok::Le || tok_.kind == Tok::Gt || tok_.kind == Tok::Ge || tok_.kind == Tok::Dollar)
            Fail(kEdsExprSyntaxError, tok_.pos, "comparisons do not chain; use parentheses");
        return Fold(std::move(n));
    }

    NodePtr ParseAdditive() {
        NodePtr left = ParseMultiplicative();
        while (tok_.kind == Tok::Plus || tok_.kind == Tok::Minus) {
            bool plus = tok_.kind == Tok::Plus;
            std::size_t pos = tok_.pos;
            Advance();
            NodePtr right = ParseMultiplicative();
            EdsExprType a = left->type, b = right->type, result;
            using T = EdsExprType;
            if (a == T::Number && b == T::Number) result = T::Number;
            else if (a == T::String && b == T::String) result = T::String;
            else if (a == T::Date && b == T::Number) result = T::Date;
            else if (plus && a == T::Number && b == T::Date) result = T::Date;
            else if (!plus && a == T::Date && b == T::Date) result = T::Number;
            else
                Fail(kEdsExprTypeError, pos,
                     std::string("cannot ") + (plus ? "add " : "subtract ") + TypeName(b) + (plus ? " to " : " from ") +
                         TypeName(a));
            left = Binary(plus ? EdsExprOp::Add : EdsExprOp::Sub, pos, std::move(left), std::move(right), result);
        }
        return left;
    }

    NodePtr ParseMultiplicative() {
        NodePtr left = ParseUnary();
        while (tok_.kind == Tok::Star || tok_.kind == Tok::Slash) {
            bool mul = tok_.kind == Tok::Star;
            std::size_t pos = tok_.pos;
            Advance();
            NodePtr right = ParseUnary();
            Expect(left, EdsExprType::Number, mul ? "*" : "/");
            Expect(right, EdsExprType::Number, mul ? "*" : "/");
            left = Binary(mul ? EdsExprOp::Mul : EdsExprOp::Div, pos, std::move(left), std::move(right),
                          EdsExprType::Number);
        }
        return left;
    }

    NodePtr ParseUnary() {
        if (tok_.kind == Tok::Minus || tok_.kind == Tok::Plus) {
            Nest nest(*this);
            bool minus = tok_.kind == Tok::Minus;
            std::size_t pos = tok_.pos;
            Advance();
            NodePtr operand = ParseUnary();
            Expect(operand, EdsExprType::Number, minus ? "-" : "+");
            if (!minus) return operand;
            std::vector<NodePtr> kids;
            kids.push_back(std::move(operand));
            return Fold(Make(EdsExprOp::Neg, EdsExprType::Number, pos, std::move(kids)));
        }
        if (tok_.kind == Tok::Not) return ParseNot();
        return ParsePrimary();
    }

    NodePtr Constant(std::size_t pos, EdsExprValue v) {
        NodePtr n = Make(EdsExprOp::Const, v.type, pos, {});
        n->value = std::move(v);
        return n;
    }

    NodePtr ParsePrimary() {
        Token t = tok_;
        switch (t.kind) {
        case Tok::LParen: {
            Nest nest(*this);
            Advance();
            NodePtr inner = ParseOr();
            if (tok_.kind != Tok::RParen) Fail(kEdsExprSyntaxError, tok_.pos, "missing )");
            Advance();
            return inner;
        }
        case Tok::String:
            Advance();
            return Constant(t.pos, EdsExprValue::String(t.text));
        case Tok::Number: {
            Advance();
            double v = 0;
            auto res = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
            if (res.ec != std::errc()) Fail(kEdsExprSyntaxError, t.pos, "number out of range");
            return Constant(t.pos, EdsExprValue::Number(v));
        }
        case Tok::True:
        case Tok::False:
            Advance();
            return Constant(t.pos, EdsExprValue::Logical(t.kind == Tok::True));
        case Tok::Field:
            Advance();
            return ColumnNode(t);
        case Tok::Name:
            Advance();
            if (tok_.kind == Tok::LParen) return ParseCall(t);
            return ColumnNode(t);
        case Tok::End: Fail(kEdsExprSyntaxError, t.pos, "expression ends too early");
        default: Fail(kEdsExprSyntaxError, t.pos, "operand expected");
        }
    }

    NodePtr ColumnNode(const Token& t) {
        std::string wanted = rtl::UpperCase(t.text);
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (rtl::UpperCase(columns_[i].name) != wanted) continue;
            EdsExprType type;
            if (!EdsExprTypeOfField(columns_[i].type, type))
                Fail(kEdsExprTypeError, t.pos, "field " + columns_[i].name + " cannot be used in an expression");
            NodePtr n = Make(EdsExprOp::Column, type, t.pos, {});
            n->column = i;
            return n;
        }
        Fail(kEdsExprUnknownName, t.pos, "unknown field " + t.text);
    }

    NodePtr ParseCall(const Token& name) {
        Nest nest(*this);
        Advance();  // (
        std::vector<NodePtr> args;
        if (tok_.kind != Tok::RParen) {
            for (;;) {
                args.push_back(ParseOr());
                if (tok_.kind == Tok::Comma) {
                    Advance();
                    continue;
                }
                break;
            }
        }
        if (tok_.kind != Tok::RParen) Fail(kEdsExprSyntaxError, tok_.pos, "missing ) after arguments");
        Advance();

        struct Sig {
            const char* name;
            EdsExprFunc func;
            std::size_t minArgs, maxArgs;
        };
        static const Sig kSigs[] = {
            {"UPPER", EdsExprFunc::Upper, 1, 1},     {"EMPTY", EdsExprFunc::Empty, 1, 1},
            {"CTOD", EdsExprFunc::Ctod, 1, 1},       {"CTOT", EdsExprFunc::Ctot, 1, 1},
            {"CTOTS", EdsExprFunc::Ctots, 1, 1},     {"CHR", EdsExprFunc::Chr, 1, 1},
            {"CONTAINS", EdsExprFunc::Contains, 2, 2}, {"DTOS", EdsExprFunc::Dtos, 1, 1},
            {"STR", EdsExprFunc::Str, 1, 3},         {"SUBSTR", EdsExprFunc::Substr, 2, 3},
            {"TRIM", EdsExprFunc::Trim, 1, 1},       {"RTRIM", EdsExprFunc::Trim, 1, 1},
            {"LEFT", EdsExprFunc::Left, 2, 2},       {"IIF", EdsExprFunc::Iif, 3, 3},
        };
        std::string upper = rtl::UpperCase(name.text);
        const Sig* sig = nullptr;
        for (const auto& s : kSigs)
            if (upper == s.name) sig = &s;
        if (!sig) Fail(kEdsExprUnknownName, name.pos, "unknown function " + name.text);
        if (args.size() < sig->minArgs || args.size() > sig->maxArgs)
            Fail(kEdsExprSyntaxError, name.pos, "wrong number of arguments to " + upper);

        using T = EdsExprType;
        auto arg = [&](std::size_t i, T type) { Expect(args[i], type, sig->name); };
        T result = T::String;
        switch (sig->func) {
        case EdsExprFunc::Upper:
        case EdsExprFunc::Trim: arg(0, T::String); break;
        case EdsExprFunc::Empty: result = T::Logical; break;
        case EdsExprFunc::Ctod: arg(0, T::String); result = T::Date; break;
        case EdsExprFunc::Ctot: arg(0, T::String); result = T::Time; break;
        case EdsExprFunc::Ctots: arg(0, T::String); result = T::TimeStamp; break;
        case EdsExprFunc::Chr: arg(0, T::Number); break;
        case EdsExprFunc::Contains: arg(0, T::String); arg(1, T::String); result = T::Logical; break;
        case EdsExprFunc::Dtos:
            if (args[0]->type != T::Date && args[0]->type != T::TimeStamp)
                Fail(kEdsExprTypeError, args[0]->pos, "DTOS needs a date operand");
            break;
        case EdsExprFunc::Str:
            for (std::size_t i = 0; i < args.size(); ++i) arg(i, T::Number);
            break;
        case EdsExprFunc::Substr:
            arg(0, T::String);
            for (std::size_t i = 1; i < args.size(); ++i) arg(i, T::Number);
            break;
        case EdsExprFunc::Left: arg(0, T::String); arg(1, T::Number); break;
        case EdsExprFunc::Iif:
            arg(0, T::Logical);
            if (args[1]->type != args[2]->type)
                Fail(kEdsExprTypeError, args[2]->pos, "IIF needs both results of one type");
            result = args[1]->type;
            break;
        }
        NodePtr n = Make(EdsExprOp::Call, result, name.pos, std::move(args));
        n->func = sig->func;
        return Fold(std::move(n));
    }

    Lexer lex_;
    const std::vector<EdsExprColumn>& columns_;
    const EdsExprSettings& settings_;
    Token tok_;
    int nesting_ = 0;
};

// Text values must be well-formed UTF-8 without NUL characters, as stored
// values are: SQLite's text functions and ours then count characters alike.
void CheckText(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t len = c < 0x80 ? 1 : (c >= 0xC2 && c < 0xE0) ? 2 : (c >= 0xE0 && c < 0xF0) ? 3 : (c >= 0xF0 && c < 0xF5) ? 4 : 0;
        bool ok = len > 0 && c != 0 && i + len <= text.size();
        for (std::size_t k = 1; ok && k < len; ++k) ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (ok && len == 3) {
            auto c1 = static_cast<unsigned char>(text[i + 1]);
            ok = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0);
        }
        if (ok && len == 4) {
            auto c1 = static_cast<unsigned char>(text[i + 1]);
            ok = !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
        }
        if (!ok) Fail(kEdsExprSyntaxError, i + 1, "invalid character");
        i += len;
    }
}

}  // namespace

std::unique_ptr<EdsExprNode> EdsExprParse(std::string_view text, const std::vector<EdsExprColumn>& columns,
                                          const EdsExprSettings& settings, EdsExprError& error) {
    try {
        CheckText(text);
        Parser parser(text, columns, settings);
        return parser.ParseAll();
    } catch (const Failure& f) {
        error = f.error;
        return nullptr;
    }
}
