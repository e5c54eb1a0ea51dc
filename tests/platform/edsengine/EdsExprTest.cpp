// The expression language evaluated in C++: syntax, types, the exact setting,
// dates and the function library, and how malformed text is refused.

#include "platform/edsengine/EdsExpr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::vector<EdsExprColumn> kColumns = {
    {"Name", 4, 30, 0},      {"City", 4, 35, 0},   {"SerialNum", 11, 4, 0}, {"Amount", 10, 8, 2},
    {"Batch", 1, 1, 0},      {"Born", 3, 4, 0},    {"DateTime", 14, 8, 0},  {"Return", 4, 15, 0},
    {"Photo", 6, 10, 0},
};

struct Row : EdsExprRow {
    std::vector<EdsExprValue> values;
    Row() {
        for (const auto& c : kColumns) {
            EdsExprType t = EdsExprType::String;
            EdsExprTypeOfField(c.type, t);
            values.push_back(EdsExprValue::Empty(t));
        }
    }
    EdsExprValue Field(std::size_t i) const override { return values[i]; }
};

Row SampleRow() {
    Row r;
    r.values[0] = EdsExprValue::String("SMITH");
    r.values[1] = EdsExprValue::String("Acme Town");
    r.values[2] = EdsExprValue::Number(41);
    r.values[3] = EdsExprValue::Number(2.5);
    r.values[4] = EdsExprValue::Logical(true);
    r.values[5] = EdsExprValue::Date(EdsJulianFromYmd(2026, 12, 1));
    r.values[6] = EdsExprValue::TimeStamp(EdsJulianFromYmd(2026, 12, 1) * 86400000LL + 10 * 3600000LL);
    return r;
}

std::unique_ptr<EdsExpr> Compile(const std::string& text, EdsExprSettings settings = {}) {
    EdsExprError error;
    auto e = EdsExpr::Compile(text, kColumns, settings, error);
    EXPECT_TRUE(e) << text << ": " << error.text;
    return e;
}

EdsExprValue Eval(const std::string& text, const Row& row = SampleRow(), EdsExprSettings settings = {}) {
    auto e = Compile(text, settings);
    return e ? e->Evaluate(row) : EdsExprValue{};
}

bool Holds(const std::string& text, const Row& row = SampleRow(), EdsExprSettings settings = {}) {
    EdsExprValue v = Eval(text, row, settings);
    EXPECT_EQ(v.type, EdsExprType::Logical) << text;
    return v.logical;
}

EdsExprError Refusal(const std::string& text) {
    EdsExprError error;
    auto e = EdsExpr::Compile(text, kColumns, EdsExprSettings{}, error);
    EXPECT_FALSE(e) << text;
    return error;
}

EdsExprSettings Exact(bool exact) {
    EdsExprSettings s;
    s.exact = exact;
    return s;
}

TEST(EdsExprSyntax, LiteralsAndOperatorSpellings) {
    EXPECT_TRUE(Holds(".T."));
    EXPECT_FALSE(Holds(".f."));
    EXPECT_TRUE(Holds(".TRUE. .AND. True"));
    EXPECT_TRUE(Holds("False .OR. .NOT. .FALSE."));
    EXPECT_TRUE(Holds("Batch = True"));
    EXPECT_TRUE(Holds("Batch"));
    EXPECT_TRUE(Holds("!(Batch = .F.)"));
    EXPECT_TRUE(Holds("SerialNum >= 00000041 and SerialNum <= 41.0"));
    EXPECT_TRUE(Holds("SerialNum # 40 AND SerialNum != 40 AND SerialNum <> 40"));
    EXPECT_TRUE(Holds("[Name] = 'SMITH' and name = \"SMITH\" and NAME == 'SMITH'"));
    EXPECT_TRUE(Holds("[Return] = ''"));
    EXPECT_TRUE(Holds("2 + 3 * 4 = 14 and (2 + 3) * 4 = 20 and -2 * -3 = 6 and 7 / 2 = 3.5"));
    EXPECT_TRUE(Holds(".5 + 1. = 1.5"));
    EXPECT_TRUE(Holds("SerialNum=41.AND.Batch.AND..NOT.SerialNum=1.5.OR..F."));
}

TEST(EdsExprSyntax, PrecedenceOfLogicalOperators) {
    // AND binds tighter than OR, NOT tighter than AND.
    EXPECT_TRUE(Holds(".T. OR .F. AND .F."));
    EXPECT_FALSE(Holds("(.T. OR .F.) AND .F."));
    EXPECT_FALSE(Holds("NOT .T. AND .T."));
    EXPECT_TRUE(Holds("NOT (.T. AND .F.)"));
    EXPECT_TRUE(Holds("((SerialNum = 3)or (SerialNum = 41))"));
}

TEST(EdsExprSyntax, MalformedTextIsRefusedWithItsPosition) {
    EdsExprError e = Refusal("Name = 'abc");
    EXPECT_EQ(e.code, kEdsExprSyntaxError);
    EXPECT_EQ(e.position, 8u);
    EXPECT_NE(e.text.find("position 8"), std::string::npos);

    e = Refusal("Nmae = 'x'");
    EXPECT_EQ(e.code, kEdsExprUnknownName);
    EXPECT_EQ(e.position, 1u);
    EXPECT_NE(e.text.find("Nmae"), std::string::npos);

    e = Refusal("Name = 1");
    EXPECT_EQ(e.code, kEdsExprTypeError);
    EXPECT_EQ(e.position, 6u);

    EXPECT_EQ(Refusal("FOO(Name)").code, kEdsExprUnknownName);
    EXPECT_EQ(Refusal("LEFT(Name)").code, kEdsExprSyntaxError);
    EXPECT_EQ(Refusal("SerialNum = 1 2").position, 15u);
    EXPECT_EQ(Refusal("").code, kEdsExprSyntaxError);
    EXPECT_EQ(Refusal("   ").code, kEdsExprSyntaxError);
    EXPECT_EQ(Refusal("(SerialNum = 1").code, kEdsExprSyntaxError);
    EXPECT_EQ(Refusal("SerialNum = 1)").code, kEdsExprSyntaxError);
    EXPECT_EQ(Refusal("1 < 2 < 3").code, kEdsExprSyntaxError);
    EXPECT_EQ(Refusal("Name = [Name").code, kEdsExprSyntaxError);
    EXPECT_EQ(Refusal(".X.").code, kEdsExprSyntaxError);
    EXPECT_EQ(Refusal("Batch > .F.").code, kEdsExprTypeError);
    EXPECT_EQ(Refusal("Name AND Batch").code, kEdsExprTypeError);
    EXPECT_EQ(Refusal("Photo = 'x'").code, kEdsExprTypeError);
    EXPECT_EQ(Refusal("IIF(Batch, 1, 'x')").code, kEdsExprTypeError);
    EXPECT_EQ(Refusal("Name @ 'x'").code, kEdsExprSyntaxError);
    EXPECT_EQ(Refusal(std::string(400, '9') + " = 1").code, kEdsExprSyntaxError);
}

TEST(EdsExprSyntax, DeepOrLongTextIsRefusedNotOverflowed) {
    EXPECT_EQ(Refusal(std::string(100000, '(') + "1" + std::string(100000, ')')).code, kEdsExprSyntaxError);
    EXPECT_EQ(Refusal(std::string(100000, '-') + "1").code, kEdsExprSyntaxError);
    std::string chain = "SerialNum";
    for (int i = 0; i < 5000; ++i) chain += " + SerialNum";
    EXPECT_EQ(Refusal(chain + " > 0").code, kEdsExprSyntaxError);
    // A long but flat conjunction of constants folds and stays fine.
    std::string flat = ".T.";
    for (int i = 0; i < 150; ++i) flat += " AND SerialNum = 41";
    EXPECT_TRUE(Holds(flat));
}

TEST(EdsExprStrings, EqualityFollowsTheExactSetting) {
    EXPECT_TRUE(Holds("Name = 'SMI'", SampleRow(), Exact(false)));
    EXPECT_FALSE(Holds("Name = 'SMI'", SampleRow(), Exact(true)));
    EXPECT_FALSE(Holds("Name == 'SMI'", SampleRow(), Exact(false)));
    EXPECT_TRUE(Holds("Name <> 'SMI'", SampleRow(), Exact(true)));
    EXPECT_FALSE(Holds("Name # 'SMI'", SampleRow(), Exact(false)));
    // The right side must not be longer than the left.
    EXPECT_FALSE(Holds("'SMI' = Name", SampleRow(), Exact(false)));
    // Trailing blanks never matter; an empty right side matches anything when not exact.
    EXPECT_TRUE(Holds("Name = 'SMITH   '", SampleRow(), Exact(true)));
    EXPECT_TRUE(Holds("Name = ''", SampleRow(), Exact(false)));
    EXPECT_FALSE(Holds("Name = ''", SampleRow(), Exact(true)));
    EXPECT_FALSE(Holds("Name = 'smith'", SampleRow(), Exact(true)));
    EXPECT_TRUE(Holds("UPPER('smith') = Name", SampleRow(), Exact(true)));
}

TEST(EdsExprStrings, OrderingAndContainment) {
    EXPECT_TRUE(Holds("Name > 'SMI' and Name < 'SMJ' and Name >= 'SMITH ' and Name <= 'SMITH'"));
    EXPECT_TRUE(Holds("'Acme' $ City and not 'acme' $ City and '' $ City"));
    EXPECT_TRUE(Holds("Name + City = 'SMITHAcme Town'"));
    EXPECT_TRUE(Holds("'AB  ' - 'CD' == 'ABCD  '"));
}

TEST(EdsExprValues, NullFieldsReadAsEmptyValues) {
    Row empty;
    EXPECT_TRUE(Holds("EMPTY(Name) and EMPTY(SerialNum) and EMPTY(Batch) and EMPTY(Born) and EMPTY(DateTime)", empty));
    EXPECT_TRUE(Holds("Name = ''", empty, Exact(true)));
    EXPECT_TRUE(Holds("SerialNum = 0 and Amount < 1 and not Batch", empty));
    EXPECT_TRUE(Holds("Born < CTOD('01/01/1900')", empty));
    EXPECT_FALSE(Holds("EMPTY(Name) or EMPTY(Born)"));
    EXPECT_TRUE(Holds("EMPTY('   ') and EMPTY(0) and not EMPTY(' x')"));
}

TEST(EdsExprDates, CtodReadsTheFormatAndFourDigitYears) {
    EdsExprSettings us;
    us.dateFormat = "MM/DD/YY";
    EXPECT_TRUE(Holds("Born = CTOD('12/01/26')", SampleRow(), us));
    EXPECT_TRUE(Holds("Born = CTOD('12/01/2026')", SampleRow(), us));
    EXPECT_TRUE(Holds("DTOS(CTOD('1/2/49')) = '20490102'", SampleRow(), us));
    EXPECT_TRUE(Holds("DTOS(CTOD('1/2/50')) = '19500102'", SampleRow(), us));
    EdsExprSettings german;
    german.dateFormat = "DD.MM.CCYY";
    EXPECT_TRUE(Holds("Born = CTOD('01.12.2026')", SampleRow(), german));
    EXPECT_TRUE(Holds("Born = CTOD('1.12.26')", SampleRow(), german));
    EdsExprSettings iso;
    iso.dateFormat = "YYYY-MM-DD";
    EXPECT_TRUE(Holds("Born = CTOD('2026-12-01')", SampleRow(), iso));
    // Texts that are no date give the blank date.
    for (const char* bad : {"02/30/2026", "13/01/2026", "12/01", "", "12/01/2026x", "12/01/026", "ab/cd/efgh"})
        EXPECT_TRUE(Holds(std::string("EMPTY(CTOD('") + bad + "'))", SampleRow(), us)) << bad;
    EXPECT_TRUE(Holds("DTOS(CTOD('02/29/2024')) = '20240229' and EMPTY(CTOD('02/29/2023'))", SampleRow(), us));
}

TEST(EdsExprDates, TimestampsAndArithmetic) {
    EdsExprSettings us;
    us.dateFormat = "MM/DD/YY";
    EXPECT_TRUE(Holds("DateTime = CTOTS('12/01/26 10:00:00')", SampleRow(), us));
    EXPECT_TRUE(Holds("DateTime = CTOTS('12/01/2026 10:00:00 AM')", SampleRow(), us));
    EXPECT_TRUE(Holds("DateTime < CTOTS('12/01/2026 10:00:00 PM')", SampleRow(), us));
    EXPECT_TRUE(Holds("DateTime = CTOTS('12/1/2026 10:00:00.000')", SampleRow(), us));
    EXPECT_TRUE(Holds("DateTime >= CTOD('12/01/2026') and DateTime < CTOD('12/02/2026')", SampleRow(), us));
    EXPECT_TRUE(Holds("EMPTY(CTOTS('12/01/2026 25:00'))", SampleRow(), us));
    EXPECT_TRUE(Holds("CTOT('10:30') < CTOT('10:30:01') and CTOT('12:00 AM') = CTOT('00:00:00')", SampleRow(), us));
    EXPECT_TRUE(Holds("DTOS(DateTime) = '20261201' and DTOS(Born + 31) = '20270101'", SampleRow(), us));
    EXPECT_TRUE(Holds("Born - CTOD('11/01/2026') = 30 and DTOS(1 + Born - 1) = DTOS(Born)", SampleRow(), us));
    EXPECT_TRUE(Holds("DTOS(CTOD('')) = '        ' and EMPTY(CTOD('') + 5)", SampleRow(), us));
    EXPECT_TRUE(Holds("EMPTY(Born + 999999999999)", SampleRow(), us));
}

TEST(EdsExprFunctions, LibraryResults) {
    EXPECT_TRUE(Holds("STR(41) == '        41' and STR(2.5, 5, 1) == '  2.5' and STR(2.5, 3) == '  3'"));
    EXPECT_TRUE(Holds("STR(-2.5, 4) == '  -3' and STR(123456, 3) == '***' and STR(0.004, 5, 2) == ' 0.00'"));
    EXPECT_TRUE(Holds("SUBSTR(Name, 2, 3) == 'MIT' and SUBSTR(Name, 4) == 'TH' and SUBSTR(Name, 9) == ''"));
    EXPECT_TRUE(Holds("SUBSTR(Name, 0, 2) == 'SM' and SUBSTR(Name, -5, 2) == 'SM' and LEFT(Name, -1) == ''"));
    EXPECT_TRUE(Holds("LEFT(City, 4) == 'Acme' and LEFT('Zürich', 2) == 'Zü' and SUBSTR('Zürich', 2, 1) == 'ü'"));
    EXPECT_TRUE(Holds("TRIM('ab  ') == 'ab' and UPPER('abc ä') == 'ABC Ä'"));
    EXPECT_TRUE(Holds("CHR(34) == '\"' and CHR(65) + CHR(128) == 'A€' and CHR(0) == '' and CHR(300) == ''"));
    EXPECT_TRUE(Holds("IIF(Batch, 'yes', 'no') == 'yes' and IIF(SerialNum > 50, 1, 2) = 2"));
    EXPECT_TRUE(Holds("SerialNum / 0 = 0"));
}

TEST(EdsExprFunctions, ContainsSearchesWords) {
    Row r = SampleRow();
    r.values[1] = EdsExprValue::String("The ACME corporation, Springfield");
    EXPECT_TRUE(Holds("CONTAINS(City, 'acme')", r));
    EXPECT_TRUE(Holds("CONTAINS(City, 'acme spring*')", r));
    EXPECT_FALSE(Holds("CONTAINS(City, 'acm')", r));
    EXPECT_TRUE(Holds("CONTAINS(City, 'acm*')", r));
    EXPECT_FALSE(Holds("CONTAINS(City, 'acme widget')", r));
    EXPECT_FALSE(Holds("CONTAINS(City, '')", r));
}

TEST(EdsExprCompile, ResultTypesAndColumnsUsed) {
    EXPECT_EQ(Compile("UPPER(Name)")->ResultType(), EdsExprType::String);
    EXPECT_EQ(Compile("Born + 1")->ResultType(), EdsExprType::Date);
    EXPECT_EQ(Compile("SerialNum * 2")->ResultType(), EdsExprType::Number);
    auto e = Compile("City = 'x' or Name = 'y' or City = 'z'");
    EXPECT_EQ(e->ColumnsUsed(), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(e->Text(), "City = 'x' or Name = 'y' or City = 'z'");
}

}  // namespace
