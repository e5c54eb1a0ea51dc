// The expression language through its public entries: grouping, types and the
// compiler's messages, every function on typed values, the faults a run must
// survive, conditions as filters of a work area, and the arithmetic, rounding and
// text functions held against Python's decimal and str over generated inputs.

#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "dbfengine/xfmemo.h"
#include "dbfengine/xfndxlow.h"
#include "dbfengine/xfparser.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/platform/rtl/GermanLocale.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

std::string Shortest(double value)
{
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

// The value of a compiled expression as "<type>:<value>" (dates as DTOS).
std::string Show(PXfExpr e)
{
    const void* result = Evaluate(e);
    if (!result) return "nil";
    switch (e->ResultType) {
    case 'C':
    case 'M': return std::string(1, e->ResultType) + ":" + static_cast<const char*>(result);
    case 'L': return *static_cast<const std::int32_t*>(result) ? "L:.T." : "L:.F.";
    case 'D': return "D:" + DtosFromDateNumber(*static_cast<const double*>(result));
    default: return "N:" + Shortest(*static_cast<const double*>(result));
    }
}

std::string Value(const std::string& text)
{
    PXfExpr e = AssignExpr(text);
    if (!e) return "compile failed";
    std::string shown;
    try {
        shown = Show(e);
    } catch (...) {
        FreeExpr(e);
        throw;
    }
    FreeExpr(e);
    return shown;
}

// A table of every field type with two records, open in area 1 as CUST.
class ExprTable {
public:
    ExprTable()
    {
        TDbfTable table;
        EXPECT_EQ(CreateDbf(table, path_,
                            {{"NAME", 'C', 20, 0}, {"AMOUNT", 'N', 8, 2}, {"COUNT", 'N', 5, 0}, {"BORN", 'D', 8, 0},
                             {"OK", 'L', 1, 0}, {"DATE", 'C', 4, 0}, {"NOTE", 'M', 10, 0}}),
                  0);
        Select(1);
        USE(path_, "EXCLUSIVE ALIAS CUST");
        Add("Smith", 1234.5, 42, "12/31/1999", true, 7);
        Add("Jones", -0.25, 0, "", false, 0);
        GO(1);
    }
    ~ExprTable() { CloseAll(); }
    std::string Path() const { return path_; }

private:
    void Add(const std::string& name, double amount, int count, const std::string& born, bool ok, int note)
    {
        ClearRecord();
        TXfTypedRecord r = CurrentRecord();
        r.SetText(1, name);
        r.SetNumber(2, amount);
        r.SetInteger(3, count);
        r.SetText(4, born);
        r.SetLogical(5, ok);
        r.SetText(6, "dt");
        r.SetInteger(7, note);
        Append();
    }

    testsupport::TempDir dir_;
    std::string path_ = dir_.str() + "/cust.dbf";
};

class XfExpr : public ::testing::Test {
protected:
    void SetUp() override
    {
        XfDates().Style = 0;
        XfDates().Century = 1;
    }
    EngineScope engine_;
    ExprTable table_;
};

}  // namespace

TEST_F(XfExpr, GroupingFollowsThePrecedenceTable)
{
    const std::pair<const char*, const char*> cases[] = {
        {"2 + 3 * 4", "N:14"},
        {"10 - 4 - 3", "N:3"},
        {"2 ^ 3 ^ 2", "N:64"},
        {"2 ** 3 ** 2", "N:64"},
        {"-2 ^ 2", "N:4"},  // unary minus binds to its operand
        {"24 / 4 / 3", "N:2"},
        {"1 = 1 .AND. 2 = 3", "L:.F."},
        {"1 = 2 .OR. 2 = 2 .AND. 3 = 3", "L:.T."},
        {".NOT. .T. = .F.", "L:.T."},  // (.NOT. .T.) = .F.
        {".NOT. .F. .AND. .F.", "L:.F."},
        {".T. = 'AB' == 'AB'", "L:.T."},  // = is looser than ==
        {"'B' $ 'ABC' = .T.", "L:.T."},
        {"(2 + 3) * 4", "N:20"},
        {"--3", "N:3"},
        {"+3", "N:3"},
        {"1.5 + 1", "N:2.5"},
        {"1E2 + 1", "N:101"},
        {"1 <> 2 .AND. 1 # 2", "L:.T."},
        {"2 >= 2 .AND. 2 <= 2 .AND. 3 > 2 .AND. 2 < 3", "L:.T."},
        // Each pair of neighbouring levels, the looser first: grouping them as one
        // level changes the value or makes the text fail to compile.
        {".T. .OR. .T. .AND. .F.", "L:.T."},
        {".F. .AND. .F. = .F.", "L:.F."},
        {".F. = .F. .AND. .F.", "L:.F."},
        {".F. = 'A' $ 'B'", "L:.T."},
        {"3 < 2 + 2", "L:.T."},
        {"2 * 3 ^ 2", "N:18"},
        {"2 ^ -1 * 4", "N:2"},
        {".NOT. .T. .OR. .T.", "L:.T."},
        {".NOT. .T. .AND. .F.", "L:.F."},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(Value(text), expected) << text;
}

TEST_F(XfExpr, CompileErrorsNameTheirCauseAndShowWhereTheyStopped)
{
    const std::pair<std::string, const char*> cases[] = {
        {".NOT. COUNT = 1", "PARSER:Type mismatch in expression \".NOT.\""},
        {".NOT. 'A' $ 'B'", "PARSER:Type mismatch in expression \".NOT.\""},  // .NOT. binds before every binary level
        {".NOT. 1 < 2", "PARSER:Type mismatch in expression \".NOT.\""},
        {"'A' $ 'B' < 'C'", "PARSER:Type mismatch in expression \"$\""},
        {"SUBSTR(NAME, 2)", "Syntax error"},
        {"IIF(COUNT > 1, 1, 2)", "PARSER:Type mismatch in function \"IIF\""},
        {"RECNO", "Syntax error"},
        {"RECNO(1)", "Syntax error"},
        {"ABS(1, 2)", "Syntax error"},
        {"NOBODY->NAME", "Syntax error"},
        {".5", "Syntax error"},
        {"NAME = 'abc", "Syntax error"},
        {"1EE", "Syntax error"},
        {"1E999", "Syntax error"},
        {"", "Syntax error"},
        {"1 2", "Syntax error"},
        {"NAME + 1", "PARSER:Type mismatch in expression \"+\""},
        {"-NAME", "PARSER:Type mismatch in expression \"Unary -\""},
        {"+NAME", "PARSER:Type mismatch in expression \"Unary +\""},
        {"2 ** 'A'", "PARSER:Type mismatch in expression \"** or ^\""},
        {"NOTE = NOTE", "PARSER:Type mismatch in expression \"=\""},
        {"UPPER(NOTE)", "PARSER:Type mismatch in function \"UPPER\""},
        {"A.AND.B", "Syntax error"},
        {std::string(151, '('), "Parser_stack_overflow"},
    };
    for (const auto& [text, cause] : cases) {
        const auto [code, message] = ErrorOf([&] { AssignExpr(text); });
        EXPECT_EQ(code, kExprError) << text;
        EXPECT_NE(message.find("Error in expression : " + std::string(cause) + "\r\n"), std::string::npos)
            << text << " -> " << message;
        EXPECT_NE(message.find(" [AssignExpr]"), std::string::npos) << message;
    }
    // The window: the 51 characters before the stop, with marks where the text goes on.
    const std::string longText = "COUNT + " + std::string(60, '1') + " + 'X' + COUNT + COUNT";
    const auto [code, message] = ErrorOf([&] { AssignExpr(longText); });
    EXPECT_EQ(code, kExprError);
    const std::size_t p = longText.find("'X' +") + 4;  // the + that ends 'X' was read
    EXPECT_NE(message.find("\r\n[..." + longText.substr(p - 50, 51) + "...]\r\n"), std::string::npos) << message;
    const auto [shortCode, shortMessage] = ErrorOf([&] { AssignExpr("1 +"); });
    EXPECT_NE(shortMessage.find("\r\n[1 +]\r\n"), std::string::npos) << shortMessage;
    // Over 255 characters nothing is compiled.
    const auto [tooLong, tooLongText] = ErrorOf([&] { AssignExpr("1" + std::string(255, ' ')); });
    EXPECT_EQ(tooLong, kExprError);
}

TEST_F(XfExpr, FieldsAndAliasesAndTheResultShape)
{
    EXPECT_EQ(Value("NAME"), "C:Smith               ");
    EXPECT_EQ(Value("CUST->NAME"), "C:Smith               ");
    EXPECT_EQ(Value("AMOUNT"), "N:1234.5");
    EXPECT_EQ(Value("COUNT + CUST->COUNT"), "N:84");
    EXPECT_EQ(Value("BORN"), "D:19991231");
    EXPECT_EQ(Value("OK"), "L:.T.");
    EXPECT_EQ(Value("DATE"), "C:dt  ");  // the field, not the function
    EXPECT_EQ(Value("DATE() > BORN"), "L:.T.");
    EXPECT_EQ(Value("RECNO() = 1 .AND. .NOT. DELETED()"), "L:.T.");
    GO(2);
    EXPECT_EQ(Value("BORN"), "D:        ");
    EXPECT_EQ(Value("AMOUNT"), "N:-0.25");
    EXPECT_EQ(Value("OK"), "L:.F.");
    DeleteRec();
    EXPECT_EQ(Value("DELETED()"), "L:.T.");

    struct Shape {
        const char* text;
        char type;
        int length, decimals;
    };
    const Shape shapes[] = {
        {"NAME", 'C', 20, 0}, {"NAME + ''", 'C', 0, 0}, {"AMOUNT", 'N', 8, 2}, {"AMOUNT * 2", 'N', 13, 2},
        {"COUNT", 'N', 5, 0}, {"RECNO()", 'N', 13, 2}, {"BORN", 'D', 8, 0},   {"OK", 'L', 1, 0},
        {"NOTE", 'M', 256, 0},
    };
    for (const Shape& s : shapes) {
        PXfExpr e = AssignExpr(s.text);
        ASSERT_NE(e, nullptr) << s.text;
        EXPECT_EQ(e->ResultType, s.type) << s.text;
        EXPECT_EQ(e->ResultLength, s.length) << s.text;
        EXPECT_EQ(e->ResultDecimals, s.decimals) << s.text;
        EXPECT_EQ(e->Source, s.text);
        FreeExpr(e);
        EXPECT_EQ(e, nullptr);
    }
}

TEST_F(XfExpr, CheckerCodes)
{
    std::string text = "   ";
    EXPECT_EQ(CheckExpression(text, true), kCheckEmpty);
    text = "NAME" + std::string(217, ' ') + "+''";
    EXPECT_EQ(CheckExpression(text, true), kCheckKeyTooLong);
    text = "OK";
    EXPECT_EQ(CheckExpression(text, true), kCheckKeyType);
    text = "NOTE";
    EXPECT_EQ(CheckExpression(text, true), kCheckKeyType);
    text = "NAME";
    EXPECT_EQ(CheckCondition(text), kCheckNotCondition);
    text = "NAME = 'S'  \t";
    EXPECT_EQ(CheckCondition(text), 0);
    EXPECT_EQ(text, "NAME = 'S'");
    text = "NAME +";
    EXPECT_EQ(CheckCondition(text), kExprError);  // deferred: nothing raised
    EXPECT_EQ(XfErrors().LastError, 0);
    EXPECT_EQ(GetMemoPoolSize(), 256);
}

TEST_F(XfExpr, EveryFunctionOnTypedValues)
{
    REQUIRE_TOOLS("localedef");
    const std::pair<const char*, const char*> cases[] = {
        {"ABS(-2.5)", "N:2.5"}, {"ABS(AMOUNT)", "N:1234.5"}, {"ASC('A')", "N:65"}, {"ASC('')", "N:0"},
        {"ASC(CHR(200))", "N:200"}, {"AT('', 'ABC')", "N:0"}, {"AT('C', 'ABCC')", "N:3"}, {"AT('X', 'ABC')", "N:0"},
        {"CDOW(BORN)", "C:Friday   "}, {"CMONTH(BORN)", "C:December "}, {"CHR(65)", "C:A"}, {"CHR(321)", "C:A"},
        {"CHR(-191)", "C:A"}, {"CTOD('02/29/2000')", "D:20000229"}, {"CTOD('02/30/2000')", "D:        "},
        {"DAY(BORN)", "N:31"}, {"MONTH(BORN)", "N:12"}, {"YEAR(BORN)", "N:1999"}, {"DOW(BORN)", "N:6"},
        {"DTOC(BORN)", "C:12/31/1999"}, {"DTOS(BORN)", "C:19991231"}, {"DTOS(BORN + 1)", "C:20000101"},
        {"DTOS(1 + BORN)", "C:20000101"}, {"DTOS(BORN - 365)", "C:19981231"}, {"BORN - CTOD('12/01/1999')", "N:30"},
        {"IIF(OK, 'yes', 'no')", "C:yes"}, {"IIF(.NOT. OK, 'yes', 'no')", "C:no"}, {"INT(-2.7)", "N:-2"},
        {"INT(2.7)", "N:2"}, {"LEFT('ABC', 5)", "C:ABC"}, {"LEFT('ABC', 2)", "C:AB"}, {"LEFT('ABC', -1)", "C:"},
        {"LEN('ABC')", "N:3"}, {"LEN(NAME)", "N:20"}, {"LOWER('AbC')", "C:abc"}, {"UPPER(NAME)", "C:SMITH               "},
        {"LTRIM('  A ')", "C:A "}, {"TRIM(NAME) + '!'", "C:Smith!"}, {"RTRIM('A  ')", "C:A"},
        {"MAX(1, 2)", "N:2"}, {"MIN(1, 2)", "N:1"}, {"DTOS(MAX(BORN, BORN + 1))", "C:20000101"},
        {"DTOS(MIN(BORN, BORN + 1))", "C:19991231"}, {"MOD(7, 3)", "N:1"}, {"MOD(-7, 3)", "N:-1"},
        {"MOD(7, -3)", "N:1"}, {"MOD(7.9, 3.9)", "N:1"}, {"RECNO()", "N:1"}, {"REPLICATE('AB', 3)", "C:ABABAB"},
        {"REPLICATE('AB', 0)", "C:"}, {"REPLICATE('', 1000000000)", "C:"}, {"RIGHT('ABCDE', 2)", "C:DE"},
        {"RIGHT('AB', 5)", "C:AB"}, {"RIGHT('AB', -5)", "C:"}, {"ROUND(2.567, 2)", "N:2.56"},
        {"ROUND(-2.5, 0)", "N:-2"}, {"ROUND(2.5, 1000000000)", "N:2.5"}, {"SOUNDEX('Robert')", "C:R163"},
        {"SPACE(3) + '|'", "C:   |"}, {"SPACE(-3)", "C:"}, {"STR(3.14159, 6, 2)", "C:  3.14"},
        {"STR(123456789012, 5)", "C:*****"}, {"STR(1)", "C:         1"}, {"STR(0.125, 5, 2)", "C: 0.13"},
        {"STR(2.675, 5, 2)", "C: 2.68"}, {"STR(-2.5, 3)", "C: -3"}, {"STR(-0.001, 5, 2)", "C: 0.00"},
        {"STR(AMOUNT, 8, 1)", "C:  1234.5"}, {"STUFF('ABCDE', 2, 3, 'xy')", "C:AxyE"}, {"STUFF('ABC', 5, 1, 'X')", "C:ABCX"},
        {"SUBSTR('ABCDE', 2, 3)", "C:BCD"}, {"SUBSTR('ABCDE', 0, 2)", "C:AB"}, {"SUBSTR('ABCDE', 9, 2)", "C:"},
        {"VAL('12.5  ')", "N:12.5"}, {"VAL(' -3abc')", "N:-3"}, {"VAL('abc')", "N:0"}, {"VAL('1,5')", "N:1"},
        {"'ABC' = 'AB'", "L:.T."}, {"'AB' = 'ABC'", "L:.F."}, {"'ABC' = ''", "L:.F."}, {"'AB ' == 'AB'", "L:.F."},
        {"'AB ' <> 'AB'", "L:.T."}, {"'B' $ 'ABC'", "L:.T."}, {"'' $ 'ABC'", "L:.F."}, {"'AB  ' - 'CD'", "C:ABCD  "},
        {"'AB  ' + 'CD'", "C:AB  CD"}, {"'   ' - 'CD'", "C:CD   "}, {"'AB' < 'ABC'", "L:.T."}, {"'b' > 'B'", "L:.T."},
        {"CHR(233) > 'z'", "L:.T."}, {"'AB' <= 'AB'", "L:.T."}, {"'AB' >= 'AC'", "L:.F."}, {".T. <> .F.", "L:.T."},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(Value(text), expected) << text;
    EXPECT_EQ(DtosFromDateNumber(2451545), "20000101");

    // Numbers are read and written with "." whatever the user's language says.
    XfDates().DecimalSeparator = ',';
    XfDates().ThousandSeparator = '.';
    testsupport::GermanLocale german;
    ASSERT_TRUE(german.Active()) << "setlocale(de_DE.UTF-8) failed; localedef said:\n" << german.BuildOutput();
    EXPECT_EQ(Value("STR(1234.5, 8, 2) + STR(VAL('2.5'), 4, 1)"), "C: 1234.50 2.5");
    EXPECT_EQ(Value("1.5 * 2"), "N:3");
}

TEST_F(XfExpr, FaultsAnswerTheirCodeAndNeverAValueThatIsNoNumber)
{
    // Division by zero: the marker value, the run goes to its end, then 358.
    PXfExpr e = AssignExpr("1 / 0 > 5 .AND. COUNT = 42");
    ASSERT_NE(e, nullptr);
    auto [code, message] = ErrorOf([&] { Evaluate(e); });
    EXPECT_EQ(code, kDivideByZero);
    EXPECT_NE(message.find("Error during evaluation: Divide by 0 [Evaluate/Engine]"), std::string::npos);
    {
        TXfDeferErrors deferred;
        const void* result = Evaluate(e);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(*static_cast<const std::int32_t*>(result), 1);
        EXPECT_EQ(XfErrors().LastError, kDivideByZero);
    }
    FreeExpr(e);
    for (const char* text : {"1 / 0", "MOD(5, 0)", "MOD(5, 0.5)", "(-8) ** 0.5", "10 ** 400", "0 ** -1"}) {
        TXfDeferErrors deferred;
        XfErrors().LastError = 0;
        PXfExpr f = AssignExpr(text);
        ASSERT_NE(f, nullptr) << text;
        const void* result = Evaluate(f);
        ASSERT_NE(result, nullptr) << text;
        std::uint64_t bits;
        std::memcpy(&bits, result, 8);
        EXPECT_EQ(bits, 0x73D5A0E3AB795204u) << text;
        EXPECT_EQ(XfErrors().LastError, kDivideByZero) << text;
        FreeExpr(f);
    }
    // Conversions of numbers far out of range saturate instead of wrapping.
    EXPECT_EQ(Value("MOD(1E300, 7)"), "N:" + Shortest(static_cast<double>(INT64_MAX % 7)));
    EXPECT_EQ(Value("MOD(-1E300, -1)"), "N:0");
    EXPECT_EQ(Value("LEN(SPACE(-1E300))"), "N:0");
    EXPECT_EQ(Value("LEFT('ABC', -1E300)"), "C:");
    EXPECT_EQ(Value("SUBSTR('ABC', -1E300, 1E300)"), "C:ABC");
    EXPECT_EQ(Value("STR(5, 3, 1E300)"), "C:***");
    EXPECT_EQ(Value("ROUND(1E300 * 1E300, 2) > 0"), "L:.T.");
    // Character values stop at 255 characters: the run stops with 354 and no result.
    for (const char* text : {"REPLICATE('AB', 128)", "SPACE(256)", "SPACE(200) + SPACE(56)", "STR(1, 256)",
                             "SPACE(200) - SPACE(56)", "STUFF(SPACE(200), 1, 0, SPACE(56))"}) {
        const auto [c, m] = ErrorOf([&] { Value(text); });
        EXPECT_EQ(c, kPoolOverflow) << text;
        TXfDeferErrors deferred;
        EXPECT_EQ(Value(text), "nil") << text;
    }
    EXPECT_EQ(Value("LEN(REPLICATE('AB', 127) + 'C')"), "N:255");
}

TEST_F(XfExpr, AnAliasFieldIsCheckedAgainstTheTableNowInItsArea)
{
    PXfExpr e = AssignExpr("CUST->NOTE");
    PXfExpr name = AssignExpr("CUST->DATE");
    PXfExpr ok = AssignExpr("CUST->OK");
    ASSERT_TRUE(e && name && ok);
    // The memo comes through the memo layer's entry; without one it is empty.
    const auto installed = XfMemoHooks().MemoText;
    XfMemoHooks().MemoText = nullptr;
    EXPECT_EQ(Show(e), "M:");
    std::int32_t asked = 0;
    XfMemoHooks().MemoText = [&](std::int32_t block) {
        asked = block;
        return std::string(300, 'm');
    };
    EXPECT_EQ(Show(e), "M:" + std::string(255, 'm'));  // cut one byte before the pool's end
    EXPECT_EQ(asked, 7);
    XfMemoHooks().MemoText = installed;

    CloseAll();
    testsupport::TempDir dir;
    TDbfTable small;
    ASSERT_EQ(CreateDbf(small, dir.str() + "/small.dbf", {{"X", 'C', 3, 0}}), 0);
    Select(1);
    USE(dir.str() + "/small.dbf", "EXCLUSIVE ALIAS CUST");
    ClearRecord();
    Append();
    EXPECT_EQ(Show(name), "C:");  // field 6 compiled, the area's table has one field
    EXPECT_EQ(Show(e), "M:");
    EXPECT_EQ(Show(ok), "L:.F.");
    CloseAll();
    EXPECT_EQ(Show(name), "C:");
    FreeExpr(e);
    FreeExpr(name);
    FreeExpr(ok);
    PXfExpr stray = reinterpret_cast<PXfExpr>(&dir);
    FreeExpr(stray);  // not a compiled expression: left alone
    EXPECT_NE(stray, nullptr);
}

TEST_F(XfExpr, MemoFieldsAreReadThroughTheMemoLayerWithoutLineEnds)
{
    CloseAll();
    MemoInit();
    Select(1);
    USE(table_.Path(), "EXCLUSIVE ALIAS CUST");
    GO(2);
    const std::string memo = "first line\r\nsecond " + std::string(300, 'x') + "\r\nend";
    CurrentRecord().SetInteger(7, AddMemo(memo));
    Replace();
    Select(2);  // the memo's area is made current only while it is read
    PXfExpr small = AssignExpr("CUST->NOTE");
    const std::string joined = "first linesecond " + std::string(300, 'x') + "end";
    EXPECT_EQ(Show(small), "M:" + joined.substr(0, 255));
    SetMemoPoolSize(1000);
    PXfExpr big = AssignExpr("CUST->NOTE");
    SetMemoPoolSize(256);
    EXPECT_EQ(big->ResultLength, 1000);
    EXPECT_EQ(Show(big), "M:" + joined);
    EXPECT_EQ(CurrentWorkArea(), 2);
    FreeExpr(small);
    FreeExpr(big);
}

TEST_F(XfExpr, ConditionsFilterTheWorkAreaAndSurviveADivisionByZero)
{
    ASSERT_EQ(XfParserHooks().Present, 1);
    ASSERT_TRUE(SetFilterCondition("COUNT / COUNT = 1"));  // 0 / 0 on record 2: the marker, not 1
    GoTop();
    EXPECT_EQ(RecNo(), 1);
    SKIP();
    EXPECT_TRUE(dEOF());
    EXPECT_EQ(XfErrors().LastError, 0);
    ASSERT_TRUE(SetFilterCondition("AMOUNT / COUNT > 1E200"));  // only the division by zero passes
    GoTop();
    EXPECT_EQ(RecNo(), 2);
    ASSERT_TRUE(SetFilterCondition(""));
    GoTop();
    EXPECT_EQ(RecNo(), 1);
    auto [code, message] = ErrorOf([] { SetFilterCondition("NAME"); });
    EXPECT_EQ(code, kExprError);
    std::tie(code, message) = ErrorOf([] { SetWhileCondition("NAME +"); });
    EXPECT_EQ(code, kExprError);
    ASSERT_TRUE(SetWhileCondition("COUNT > 0"));
    GoTop();
    SKIP();
    EXPECT_TRUE(dEOF());
    EXPECT_TRUE(IsWhileOn());

    // The index layer's entry evaluates the current expression without stopping a scan.
    PXfExpr key = AssignExpr("COUNT / 0");
    CurrentExpression() = key;
    const void* result = XfParserHooks().EvaluateCurrent();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(*static_cast<const double*>(result), kDivideByZeroMarker);
    EXPECT_EQ(XfErrors().LastError, 0);
    EXPECT_EQ(XfParserHooks().SourceText(key), "COUNT / 0");
    CurrentExpression() = nullptr;
    void* opaque = key;
    XfParserHooks().Free(opaque);
    EXPECT_EQ(opaque, nullptr);
}

// ---- against Python ---------------------------------------------------------------

namespace {

std::string RandomNumberText(std::mt19937& rng, bool small = false)
{
    std::uniform_int_distribution<int> digits(1, small ? 3 : 12), d(0, 9), coin(0, 3);
    std::string t;
    const int n = digits(rng);
    for (int i = 0; i < n; ++i) t += static_cast<char>('0' + d(rng));
    if (coin(rng)) {
        t += '.';
        const int f = digits(rng);
        for (int i = 0; i < f; ++i) t += static_cast<char>('0' + d(rng));
    }
    return t;
}

std::string RandomText(std::mt19937& rng, const std::string& alphabet, int most)
{
    std::uniform_int_distribution<int> len(0, most), pick(0, static_cast<int>(alphabet.size()) - 1);
    std::string s;
    const int n = len(rng);
    for (int i = 0; i < n; ++i) s += alphabet[static_cast<std::size_t>(pick(rng))];
    return s;
}

std::string Signed(std::mt19937& rng, const std::string& number)
{
    return std::uniform_int_distribution<int>(0, 2)(rng) == 0 ? "-" + number : number;
}

}  // namespace

TEST_F(XfExpr, ArithmeticRoundingAndTextsAgreeWithPython)
{
    REQUIRE_TOOLS("python3");
    std::mt19937 rng(20261207);
    struct Case {
        std::string line;  // for the reference script: kind|arguments
        std::string text;  // the expression
    };
    std::vector<Case> cases;
    const std::string letters = "ABab c";
    auto quote = [](const std::string& s) { return "'" + s + "'"; };
    auto num = [](const std::string& s) { return "(" + s + ")"; };
    for (int i = 0; i < 3000; ++i) {
        const std::string a = Signed(rng, RandomNumberText(rng)), b = Signed(rng, RandomNumberText(rng));
        const char ops[] = {'+', '-', '*', '/'};
        const char op = ops[i % 4];
        if (op == '/' && std::stod(b) == 0) continue;
        cases.push_back({std::string("arith|") + op + "|" + a + "|" + b, num(a) + " " + op + " " + num(b)});
        const std::string k = std::to_string(std::uniform_int_distribution<int>(-2, 12)(rng));
        cases.push_back({"round|" + a + "|" + k, "ROUND(" + num(a) + ", " + num(k) + ")"});
        const std::string w = std::to_string(std::uniform_int_distribution<int>(0, 20)(rng));
        const std::string places = std::to_string(std::uniform_int_distribution<int>(0, 8)(rng));
        cases.push_back({"str|" + a + "|" + w + "|" + places, "STR(" + num(a) + ", " + w + ", " + places + ")"});
        if (std::stod(b) != 0 && std::trunc(std::stod(b)) != 0)
            cases.push_back({"mod|" + a + "|" + b, "MOD(" + num(a) + ", " + num(b) + ")"});
        cases.push_back({"int|" + a, "INT(" + num(a) + ")"});

        const std::string s = RandomText(rng, letters, 12), t = RandomText(rng, letters, 4);
        const std::string p = Signed(rng, RandomNumberText(rng, true)), n = Signed(rng, RandomNumberText(rng, true));
        cases.push_back({"substr|" + s + "|" + p + "|" + n, "SUBSTR(" + quote(s) + ", " + num(p) + ", " + num(n) + ")"});
        cases.push_back({"left|" + s + "|" + n, "LEFT(" + quote(s) + ", " + num(n) + ")"});
        cases.push_back({"right|" + s + "|" + n, "RIGHT(" + quote(s) + ", " + num(n) + ")"});
        cases.push_back({"stuff|" + s + "|" + p + "|" + n + "|" + t,
                         "STUFF(" + quote(s) + ", " + num(p) + ", " + num(n) + ", " + quote(t) + ")"});
        cases.push_back({"at|" + t + "|" + s, "AT(" + quote(t) + ", " + quote(s) + ")"});
        cases.push_back({"replicate|" + t + "|" + n, "REPLICATE(" + quote(t) + ", " + num(n) + ")"});
        cases.push_back({"trims|" + s, "'[' + LTRIM(" + quote(s) + ") + '|' + TRIM(" + quote(s) + ") + ']'"});
        cases.push_back({"case|" + s, "UPPER(" + quote(s) + ") + LOWER(" + quote(s) + ")"});
        cases.push_back({"minus|" + s + "|" + t, quote(s) + " - " + quote(t)});
        const char* rel[] = {"=", "==", "$", "<", ">", "<=", ">=", "<>"};
        const std::string r = rel[i % 8];
        cases.push_back({"rel|" + r + "|" + s + "|" + t, quote(s) + " " + r + " " + quote(t)});
        const std::string v = RandomText(rng, " +-.eE0123456789x", 10);
        cases.push_back({"val|" + v, "VAL(" + quote(v) + ")"});
    }
    testsupport::TempDir dir;
    const std::string input = dir.str() + "/cases.txt";
    {
        std::ofstream out(input);
        for (const Case& c : cases) out << c.line << "\n";
    }
    std::vector<std::string> expected;
    ASSERT_EQ(ForEachOutputLine("python3 " + PythonScript("expr_reference.py") + " < " + input,
                                [&](const std::string& line) { expected.push_back(line); }),
              0);
    ASSERT_EQ(expected.size(), cases.size());
    int failures = 0;
    TXfDeferErrors deferred;  // over 255 characters answers nil
    for (std::size_t i = 0; i < cases.size() && failures < 20; ++i) {
        std::string ours = Value(cases[i].text);
        std::string theirs = expected[i];
        if (ours.rfind("N:", 0) == 0 && theirs.rfind("N:", 0) == 0) {
            // Compare numbers by value: both sides print the shortest form in their own way.
            double x = 0, y = 0;
            std::from_chars(ours.data() + 2, ours.data() + ours.size(), x);
            std::from_chars(theirs.data() + 2, theirs.data() + theirs.size(), y);
            if (x == y) continue;
        }
        if (ours != theirs) {
            ++failures;
            ADD_FAILURE() << cases[i].text << "\n  ours:   " << ours << "\n  python: " << theirs;
        }
    }
}
