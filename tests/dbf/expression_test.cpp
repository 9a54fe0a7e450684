#include "dbf_test_support.h"

#include "dbf/key_expression.h"

using dbftest::EngineTest;

namespace {

class ExpressionTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        ASSERT_TRUE(engine.CreateDBF(path("e.dbf"), {{"name", 'C', 10, 0},
                                                     {"qty", 'N', 5, 0},
                                                     {"price", 'N', 8, 3},
                                                     {"born", 'D', 8, 0},
                                                     {"ok", 'L', 1, 0}}));
        ASSERT_TRUE(engine.Use(path("e.dbf")));
        engine.ClearRecord();
        engine.SetFieldText(1, "Smith");
        engine.SetFieldNumber(2, 42);
        engine.SetFieldNumber(3, 2.567);
        engine.SetFieldText(4, "01/01/00");
        engine.SetFieldLogical(5, true);
        ASSERT_TRUE(engine.Append());
    }

    dbf::ExprValue eval(const std::string& text, std::string* error = nullptr)
    {
        std::string message;
        auto expression = dbf::KeyExpression::compile(text, *engine.Fields(), message);
        if (error)
            *error = message;
        dbf::ExprValue value;
        if (!expression)
            return value;
        dbf::EvalContext context;
        context.buffer = engine.FieldAddress(0);
        context.recno = engine.RecNo();
        context.dates = &engine.config().dates;
        context.report = [this](int code, const std::string&) { m_reported = code; };
        expression->evaluate(context, value);
        return value;
    }

    int m_reported = 0;
};

TEST_F(ExpressionTest, CharacterResults)
{
    struct Case {
        const char* expression;
        const char* result;
    };
    const Case cases[] = {
        {"name", "Smith     "},
        {"LEFT(name,3)", "Smi"},
        {"righ(trim(name),2)", "th"},
        {"SUBS(name,2,3)", "mit"},
        {"substr(name,4)", "th     "},
        {"upper(name)", "SMITH     "},
        {"LOWER('AbC')", "abc"},
        {"ltrim('  x ')", "x "},
        {"trim(name)+'!'", "Smith!"},
        {"name-'!'", "Smith!     "},
        {"stuff('abcdef',2,3,'XY')", "aXYef"},
        {"str(qty)", "        42"},
        {"str(price,6,2)", "  2.57"},
        {"str(12345,3)", "***"},
        {"replicate('ab',3)", "ababab"},
        {"space(3)", "   "},
        {"chr(65)", "A"},
        {"dtos(born)", "20000101"},
        {"dtoc(born)", "01/01/00"},
        {"cdow(born)", "Saturday"},
        {"cmonth(born+31)", "February"},
        {"iif(ok,'yes','no')", "yes"},
        {"soundex('Robert')", "R163"},
        {"soundex('Tymczak')", "T522"},
        {"'a'+(\"b\"+[c])", "abc"},
    };
    for (const Case& c : cases) {
        std::string error;
        const dbf::ExprValue value = eval(c.expression, &error);
        EXPECT_EQ(error, "") << c.expression;
        EXPECT_EQ(value.type, 'C') << c.expression;
        EXPECT_EQ(value.text, c.result) << c.expression;
    }
}

TEST_F(ExpressionTest, NumericAndLogicalResults)
{
    struct Case {
        const char* expression;
        double number;
    };
    const Case cases[] = {
        {"qty", 42},
        {"qty+1*2", 44},
        {"(qty+1)*2", 86},
        {"2**3**2", 512},
        {"2^3", 8},
        {"-qty+2", -40},
        {"abs(-3)", 3},
        {"int(-2.7)", -2},
        {"mod(-7,3)", -1},
        {"round(price,2)", 2.56},
        {"max(1,qty)", 42},
        {"min(1,qty)", 1},
        {"val(' 12.5 ')", 12.5},
        {"len(name)", 10},
        {"at('it',name)", 3},
        {"at('zz',name)", 0},
        {"asc('A')", 65},
        {"year(born)", 2000},
        {"month(born)", 1},
        {"day(born+40)", 10},
        {"dow(born)", 7},
        {"recno()", 1},
        {"born+1-born", 1},
        {"year(date())", 2026},
        {"year(ctod('12/31/99'))", 2099},
    };
    for (const Case& c : cases) {
        std::string error;
        const dbf::ExprValue value = eval(c.expression, &error);
        EXPECT_EQ(error, "") << c.expression;
        EXPECT_NEAR(value.number, c.number, 1e-9) << c.expression;
    }
    struct Logical {
        const char* expression;
        bool result;
    };
    const Logical logicals[] = {
        {"name = 'Smi'", true},
        {"name == 'Smith'", false},
        {"trim(name) == 'Smith'", true},
        {"'mit' $ name", true},
        {"name < 'T'", true},
        {"qty >= 42 .and. ok", true},
        {".not. ok .or. qty <> 42", false},
        {"!ok", false},
        {"deleted()", false},
        {"born < ctod('01/02/00')", true},
        {".T. .AND. .F.", false},
        {"qty # 41", true},
    };
    for (const Logical& c : logicals) {
        std::string error;
        const dbf::ExprValue value = eval(c.expression, &error);
        EXPECT_EQ(error, "") << c.expression;
        EXPECT_EQ(value.type, 'L') << c.expression;
        EXPECT_EQ(value.logical, c.result) << c.expression;
    }
}

TEST_F(ExpressionTest, ErrorsCarryTheParserMessages)
{
    struct Case {
        const char* expression;
        const char* message;
    };
    const Case cases[] = {
        {"name + qty", "PARSER:Type mismatch in expression \"name + qty"},
        {"left(qty,2)", "PARSER:Type mismatch in function \"LEFT"},
        {"ok .and. 1", "PARSER:Type mismatch in expression \"ok .and. 1"},
        {"left(name", "Syntax error"},
        {"nosuch", "Syntax error"},
        {"lef(name,2)", "Syntax error"},
        {"'open", "Syntax error"},
        {"((((((((((((((((((((((((((((((((((((((((((qty))))))))))))))))))))))))))))))))))))))))))",
         "Parser_stack_overflow"},
        // Each STUFF keeps three arguments while its fourth is worked out.
        {"stuff(name,1,1,stuff(name,1,1,stuff(name,1,1,stuff(name,1,1,stuff(name,1,1,stuff(name,"
         "1,1,stuff(name,1,1,stuff(name,1,1,stuff(name,1,1,stuff(name,1,1,stuff(name,1,1,name)))"
         "))))))))",
         "Working stack overflow [PARSER/WStackCheck]"},
        {"name+(name+(name+(name+(name+(name+(name+(name+(name+(name+(name+(name+(name+(name+"
         "(name+(name+name)))))))))))))))",
         "String stack overflow [PARSER/SStackCheck]"},
    };
    for (const Case& c : cases) {
        std::string error;
        eval(c.expression, &error);
        EXPECT_EQ(error, c.message) << c.expression;
    }
}

TEST_F(ExpressionTest, FieldsOfAnUnknownTypeAreRefused)
{
    dbf::FieldList fields = *engine.Fields();
    fields[0].type = 'X';
    std::string error;
    EXPECT_EQ(dbf::KeyExpression::compile("name", fields, error), nullptr);
    EXPECT_EQ(error, "Unknown data type (none of \"C\", \"N\", \"F\", \"L\", \"D\" or \"M\") "
                     "[PARSER/PushSD]");
    EXPECT_NE(dbf::KeyExpression::compile("qty", fields, error), nullptr);
}

TEST_F(ExpressionTest, DivisionByZeroReportsAndYieldsZero)
{
    EXPECT_EQ(eval("qty/0").number, 0);
    EXPECT_EQ(m_reported, 358);
    m_reported = 0;
    EXPECT_EQ(eval("qty/4").number, 10.5);
    EXPECT_EQ(m_reported, 0);
}

TEST_F(ExpressionTest, NamesFollowTheDateStyle)
{
    engine.setDateStyle(5);
    EXPECT_EQ(eval("cdow(born)").text, "Samstag");
    engine.setDateStyle(4);
    EXPECT_EQ(eval("cmonth(born)").text, "Janvier");
    engine.setDateStyle(6);
    EXPECT_EQ(eval("cdow(born+4)").text, "Mi\xE9rcoles");
    engine.setDateStyle(2);
    engine.setCentury(true);
    EXPECT_EQ(eval("dtoc(born+1)").text, "02/01/2000");
}

} // namespace
