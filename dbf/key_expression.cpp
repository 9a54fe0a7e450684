#include "dbf/key_expression.h"

#include "base/ascii.h"
#include "dbf/dbf_error.h"
#include "dbf/real48.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace dbf {

namespace {

constexpr int kMaxParseDepth = 40;         // nesting the grammar's stack holds
constexpr size_t kWorkingPoolSize = 16384; // bytes of text one evaluation may build
constexpr size_t kMaxWorkText = 255;       // longest text IIF, REPLICATE, SPACE, STR give
// Evaluation holds the values waiting for an operator or function on a
// working stack, and texts among them on a string stack, both of fixed size.
constexpr int kWorkStackSize = 32;
constexpr int kStringStackSize = 16;

enum class Fn {
    Abs,
    Asc,
    At,
    Cdow,
    Chr,
    Cmonth,
    Ctod,
    Date,
    Day,
    Deleted,
    Dow,
    Dtoc,
    Dtos,
    Iif,
    Int,
    Left,
    Len,
    Lower,
    Ltrim,
    Max,
    Min,
    Mod,
    Month,
    Recno,
    Replicate,
    Right,
    Round,
    Rtrim,
    Soundex,
    Space,
    Str,
    Stuff,
    Substr,
    Trim,
    Upper,
    Val,
    Year
};

// Argument types: a letter per argument, "*" for any type.
struct FunctionInfo {
    const char* name;
    Fn fn;
    const char* args;
    int required;
    char result; // '*' = the type of the second argument (IIF)
};

const FunctionInfo kFunctions[] = {
    {"ABS", Fn::Abs, "N", 1, 'N'},
    {"ASC", Fn::Asc, "C", 1, 'N'},
    {"AT", Fn::At, "CC", 2, 'N'},
    {"CDOW", Fn::Cdow, "D", 1, 'C'},
    {"CHR", Fn::Chr, "N", 1, 'C'},
    {"CMONTH", Fn::Cmonth, "D", 1, 'C'},
    {"CTOD", Fn::Ctod, "C", 1, 'D'},
    {"DATE", Fn::Date, "", 0, 'D'},
    {"DAY", Fn::Day, "D", 1, 'N'},
    {"DELETED", Fn::Deleted, "", 0, 'L'},
    {"DOW", Fn::Dow, "D", 1, 'N'},
    {"DTOC", Fn::Dtoc, "D", 1, 'C'},
    {"DTOS", Fn::Dtos, "D", 1, 'C'},
    {"IIF", Fn::Iif, "L**", 3, '*'},
    {"INT", Fn::Int, "N", 1, 'N'},
    {"LEFT", Fn::Left, "CN", 2, 'C'},
    {"LEN", Fn::Len, "C", 1, 'N'},
    {"LOWER", Fn::Lower, "C", 1, 'C'},
    {"LTRIM", Fn::Ltrim, "C", 1, 'C'},
    {"MAX", Fn::Max, "NN", 2, 'N'},
    {"MIN", Fn::Min, "NN", 2, 'N'},
    {"MOD", Fn::Mod, "NN", 2, 'N'},
    {"MONTH", Fn::Month, "D", 1, 'N'},
    {"RECNO", Fn::Recno, "", 0, 'N'},
    {"REPLICATE", Fn::Replicate, "CN", 2, 'C'},
    {"RIGHT", Fn::Right, "CN", 2, 'C'},
    {"ROUND", Fn::Round, "NN", 2, 'N'},
    {"RTRIM", Fn::Rtrim, "C", 1, 'C'},
    {"SOUNDEX", Fn::Soundex, "C", 1, 'C'},
    {"SPACE", Fn::Space, "N", 1, 'C'},
    {"STR", Fn::Str, "NNN", 1, 'C'},
    {"STUFF", Fn::Stuff, "CNNC", 4, 'C'},
    {"SUBSTR", Fn::Substr, "CNN", 2, 'C'},
    {"TRIM", Fn::Trim, "C", 1, 'C'},
    {"UPPER", Fn::Upper, "C", 1, 'C'},
    {"VAL", Fn::Val, "C", 1, 'N'},
    {"YEAR", Fn::Year, "D", 1, 'N'},
};

// A function name matches exactly, or as a prefix of at least four letters.
const FunctionInfo* findFunction(const std::string& name)
{
    for (const auto& info : kFunctions)
        if (name == info.name)
            return &info;
    if (name.size() < 4)
        return nullptr;
    for (const auto& info : kFunctions)
        if (std::strncmp(info.name, name.c_str(), name.size()) == 0)
            return &info;
    return nullptr;
}

enum class Op {
    Add,
    Sub,
    Mul,
    Div,
    Mod,
    Pow,
    Eq,
    ExactEq,
    Ne,
    Lt,
    Gt,
    Le,
    Ge,
    Contains,
    And,
    Or,
    Not,
    Neg,
    Plus
};

enum class TokenKind { End, Name, Number, String, Logical, Op, LParen, RParen, Comma };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    double number = 0;
    bool logical = false;
    Op op = Op::Add;
};

struct ParseError {
    std::string message;
};

} // namespace

struct ExprNode {
    enum class Kind { Literal, Field, Unary, Binary, Call };
    Kind kind = Kind::Literal;
    char type = 'C';
    ExprValue literal;
    FieldInfo field;
    Op op = Op::Add;
    const FunctionInfo* function = nullptr;
    std::vector<std::unique_ptr<ExprNode>> args;
};

namespace {

class Lexer {
public:
    explicit Lexer(const std::string& text) : m_text(text) {}

    Token next()
    {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
        Token token;
        if (m_pos >= m_text.size())
            return token;
        const char ch = m_text[m_pos];
        if (ch == '\'' || ch == '"' || ch == '[') {
            const char close = ch == '[' ? ']' : ch;
            const size_t end = m_text.find(close, m_pos + 1);
            if (end == std::string::npos)
                throw ParseError{"Syntax error"};
            token.kind = TokenKind::String;
            token.text = m_text.substr(m_pos + 1, end - m_pos - 1);
            m_pos = end + 1;
            return token;
        }
        if (std::isdigit(static_cast<unsigned char>(ch)) ||
            (ch == '.' && m_pos + 1 < m_text.size() &&
             std::isdigit(static_cast<unsigned char>(m_text[m_pos + 1])))) {
            size_t end = m_pos;
            while (end < m_text.size() &&
                   (std::isdigit(static_cast<unsigned char>(m_text[end])) || m_text[end] == '.'))
                ++end;
            token.kind = TokenKind::Number;
            token.number = std::strtod(m_text.substr(m_pos, end - m_pos).c_str(), nullptr);
            m_pos = end;
            return token;
        }
        if (std::isalpha(static_cast<unsigned char>(ch)) || ch == '_') {
            size_t end = m_pos;
            while (end < m_text.size() &&
                   (std::isalnum(static_cast<unsigned char>(m_text[end])) || m_text[end] == '_'))
                ++end;
            token.kind = TokenKind::Name;
            token.text = base::toUpper(m_text.substr(m_pos, end - m_pos));
            m_pos = end;
            return token;
        }
        if (ch == '.') {
            const size_t end = m_text.find('.', m_pos + 1);
            if (end == std::string::npos)
                throw ParseError{"Syntax error"};
            const std::string word = base::toUpper(m_text.substr(m_pos + 1, end - m_pos - 1));
            m_pos = end + 1;
            if (word == "T" || word == "Y" || word == "F" || word == "N") {
                token.kind = TokenKind::Logical;
                token.logical = word == "T" || word == "Y";
                return token;
            }
            token.kind = TokenKind::Op;
            if (word == "AND")
                token.op = Op::And;
            else if (word == "OR")
                token.op = Op::Or;
            else if (word == "NOT")
                token.op = Op::Not;
            else
                throw ParseError{"Syntax error"};
            return token;
        }
        static const struct {
            const char* text;
            Op op;
        } kOperators[] = {{"**", Op::Pow},     {"==", Op::ExactEq}, {"<>", Op::Ne}, {"!=", Op::Ne},
                          {"<=", Op::Le},      {">=", Op::Ge},      {"+", Op::Add}, {"-", Op::Sub},
                          {"*", Op::Mul},      {"/", Op::Div},      {"%", Op::Mod}, {"^", Op::Pow},
                          {"=", Op::Eq},       {"#", Op::Ne},       {"<", Op::Lt},  {">", Op::Gt},
                          {"$", Op::Contains}, {"!", Op::Not}};
        for (const auto& candidate : kOperators) {
            const size_t len = std::strlen(candidate.text);
            if (m_text.compare(m_pos, len, candidate.text) == 0) {
                token.kind = TokenKind::Op;
                token.op = candidate.op;
                token.text = candidate.text;
                m_pos += len;
                return token;
            }
        }
        m_pos++;
        if (ch == '(')
            token.kind = TokenKind::LParen;
        else if (ch == ')')
            token.kind = TokenKind::RParen;
        else if (ch == ',')
            token.kind = TokenKind::Comma;
        else
            throw ParseError{"Syntax error"};
        return token;
    }

private:
    const std::string& m_text;
    size_t m_pos = 0;
};

using NodePtr = std::unique_ptr<ExprNode>;

class Parser {
public:
    Parser(const std::string& text, const FieldList& fields, std::vector<int>& used)
        : m_text(text), m_lexer(text), m_fields(fields), m_used(used)
    {
        advance();
    }

    NodePtr parseAll()
    {
        NodePtr node = parseOr();
        if (m_token.kind != TokenKind::End)
            throw ParseError{"Syntax error"};
        const StackNeed need = stackNeed(*node);
        if (need.work > kWorkStackSize)
            throw ParseError{"Working stack overflow [PARSER/WStackCheck]"};
        if (need.strings > kStringStackSize)
            throw ParseError{"String stack overflow [PARSER/SStackCheck]"};
        return node;
    }

private:
    // The most values (and texts) held at once while evaluating a node: each
    // operand stays on the stacks while the ones after it are evaluated.
    struct StackNeed {
        int work = 0;
        int strings = 0;
    };
    static StackNeed stackNeed(const ExprNode& node)
    {
        StackNeed need{1, node.type == 'C' ? 1 : 0};
        int held = 0, heldTexts = 0;
        for (const auto& arg : node.args) {
            const StackNeed inner = stackNeed(*arg);
            need.work = std::max(need.work, held + inner.work);
            need.strings = std::max(need.strings, heldTexts + inner.strings);
            ++held;
            heldTexts += arg->type == 'C' ? 1 : 0;
        }
        return need;
    }

    void advance() { m_token = m_lexer.next(); }
    bool atOp(Op op) const { return m_token.kind == TokenKind::Op && m_token.op == op; }

    struct DepthGuard {
        explicit DepthGuard(int& depth) : m_depth(depth)
        {
            if (++m_depth > kMaxParseDepth)
                throw ParseError{"Parser_stack_overflow"};
        }
        ~DepthGuard() { --m_depth; }
        int& m_depth;
    };

    [[noreturn]] void mismatch() const
    {
        throw ParseError{"PARSER:Type mismatch in expression \"" + m_text};
    }

    NodePtr binary(Op op, NodePtr left, NodePtr right)
    {
        auto node = std::make_unique<ExprNode>();
        node->kind = ExprNode::Kind::Binary;
        node->op = op;
        const char a = left->type, b = right->type;
        switch (op) {
        case Op::Add:
            if (a == 'N' && b == 'N')
                node->type = 'N';
            else if (a == 'C' && b == 'C')
                node->type = 'C';
            else if ((a == 'D' && b == 'N') || (a == 'N' && b == 'D'))
                node->type = 'D';
            else
                mismatch();
            break;
        case Op::Sub:
            if (a == 'N' && b == 'N')
                node->type = 'N';
            else if (a == 'C' && b == 'C')
                node->type = 'C';
            else if (a == 'D' && b == 'N')
                node->type = 'D';
            else if (a == 'D' && b == 'D')
                node->type = 'N';
            else
                mismatch();
            break;
        case Op::Mul:
        case Op::Div:
        case Op::Mod:
        case Op::Pow:
            if (a != 'N' || b != 'N')
                mismatch();
            node->type = 'N';
            break;
        case Op::Contains:
            if (a != 'C' || b != 'C')
                mismatch();
            node->type = 'L';
            break;
        case Op::And:
        case Op::Or:
            if (a != 'L' || b != 'L')
                mismatch();
            node->type = 'L';
            break;
        default: // comparisons
            if (a != b || a == 'M' ||
                (a == 'L' && op != Op::Eq && op != Op::Ne && op != Op::ExactEq))
                mismatch();
            node->type = 'L';
            break;
        }
        node->args.push_back(std::move(left));
        node->args.push_back(std::move(right));
        return node;
    }

    NodePtr parseOr()
    {
        DepthGuard guard(m_depth);
        NodePtr left = parseAnd();
        while (atOp(Op::Or)) {
            advance();
            left = binary(Op::Or, std::move(left), parseAnd());
        }
        return left;
    }

    NodePtr parseAnd()
    {
        NodePtr left = parseNot();
        while (atOp(Op::And)) {
            advance();
            left = binary(Op::And, std::move(left), parseNot());
        }
        return left;
    }

    NodePtr parseNot()
    {
        if (atOp(Op::Not)) {
            DepthGuard guard(m_depth);
            advance();
            NodePtr operand = parseNot();
            if (operand->type != 'L')
                mismatch();
            auto node = std::make_unique<ExprNode>();
            node->kind = ExprNode::Kind::Unary;
            node->op = Op::Not;
            node->type = 'L';
            node->args.push_back(std::move(operand));
            return node;
        }
        return parseCompare();
    }

    NodePtr parseCompare()
    {
        NodePtr left = parseSum();
        if (m_token.kind == TokenKind::Op) {
            const Op op = m_token.op;
            if (op == Op::Eq || op == Op::ExactEq || op == Op::Ne || op == Op::Lt || op == Op::Gt ||
                op == Op::Le || op == Op::Ge || op == Op::Contains) {
                advance();
                return binary(op, std::move(left), parseSum());
            }
        }
        return left;
    }

    NodePtr parseSum()
    {
        NodePtr left = parseProduct();
        while (atOp(Op::Add) || atOp(Op::Sub)) {
            const Op op = m_token.op;
            advance();
            left = binary(op, std::move(left), parseProduct());
        }
        return left;
    }

    NodePtr parseProduct()
    {
        NodePtr left = parsePower();
        while (atOp(Op::Mul) || atOp(Op::Div) || atOp(Op::Mod)) {
            const Op op = m_token.op;
            advance();
            left = binary(op, std::move(left), parsePower());
        }
        return left;
    }

    NodePtr parsePower()
    {
        NodePtr left = parseUnary();
        if (atOp(Op::Pow)) {
            DepthGuard guard(m_depth);
            advance();
            return binary(Op::Pow, std::move(left), parsePower());
        }
        return left;
    }

    NodePtr parseUnary()
    {
        if (atOp(Op::Sub) || atOp(Op::Add)) {
            DepthGuard guard(m_depth);
            const Op op = m_token.op == Op::Sub ? Op::Neg : Op::Plus;
            advance();
            NodePtr operand = parseUnary();
            if (operand->type != 'N')
                mismatch();
            auto node = std::make_unique<ExprNode>();
            node->kind = ExprNode::Kind::Unary;
            node->op = op;
            node->type = 'N';
            node->args.push_back(std::move(operand));
            return node;
        }
        return parsePrimary();
    }

    NodePtr parsePrimary()
    {
        auto node = std::make_unique<ExprNode>();
        switch (m_token.kind) {
        case TokenKind::Number:
            node->type = node->literal.type = 'N';
            node->literal.number = m_token.number;
            advance();
            return node;
        case TokenKind::String:
            node->type = node->literal.type = 'C';
            node->literal.text = m_token.text;
            advance();
            return node;
        case TokenKind::Logical:
            node->type = node->literal.type = 'L';
            node->literal.logical = m_token.logical;
            advance();
            return node;
        case TokenKind::LParen: {
            DepthGuard guard(m_depth);
            advance();
            NodePtr inner = parseOr();
            if (m_token.kind != TokenKind::RParen)
                throw ParseError{"Syntax error"};
            advance();
            return inner;
        }
        case TokenKind::Name:
            break;
        default:
            throw ParseError{"Syntax error"};
        }
        const std::string name = m_token.text;
        advance();
        if (m_token.kind == TokenKind::LParen)
            return parseCall(name);
        for (size_t i = 0; i < m_fields.size(); ++i) {
            if (m_fields[i].name == name) {
                if (!std::strchr("CNFLDM", m_fields[i].type) || m_fields[i].type == 0)
                    throw ParseError{"Unknown data type (none of \"C\", \"N\", \"F\", \"L\", "
                                     "\"D\" or \"M\") [PARSER/PushSD]"};
                node->kind = ExprNode::Kind::Field;
                node->field = m_fields[i];
                node->type = m_fields[i].isNumeric() ? 'N' : m_fields[i].type;
                if (std::find(m_used.begin(), m_used.end(), int(i)) == m_used.end())
                    m_used.push_back(int(i));
                return node;
            }
        }
        throw ParseError{"Syntax error"};
    }

    NodePtr parseCall(const std::string& name)
    {
        DepthGuard guard(m_depth);
        const FunctionInfo* info = findFunction(name);
        if (!info)
            throw ParseError{"Syntax error"};
        advance(); // '('
        auto node = std::make_unique<ExprNode>();
        node->kind = ExprNode::Kind::Call;
        node->function = info;
        if (m_token.kind != TokenKind::RParen) {
            for (;;) {
                node->args.push_back(parseOr());
                if (m_token.kind == TokenKind::Comma) {
                    advance();
                    continue;
                }
                break;
            }
        }
        if (m_token.kind != TokenKind::RParen)
            throw ParseError{"Syntax error"};
        advance();
        const size_t maxArgs = std::strlen(info->args);
        if (node->args.size() < size_t(info->required) || node->args.size() > maxArgs)
            throw ParseError{"Syntax error"};
        for (size_t i = 0; i < node->args.size(); ++i) {
            const char want = info->args[i];
            if (want != '*' && node->args[i]->type != want)
                throw ParseError{"PARSER:Type mismatch in function \"" + std::string(info->name)};
        }
        if (info->fn == Fn::Iif && node->args[1]->type != node->args[2]->type)
            throw ParseError{"PARSER:Type mismatch in function \"" + std::string(info->name)};
        node->type = info->result == '*' ? node->args[1]->type : info->result;
        return node;
    }

    const std::string& m_text;
    Lexer m_lexer;
    const FieldList& m_fields;
    std::vector<int>& m_used;
    Token m_token;
    int m_depth = 0;
};

// --- evaluation -------------------------------------------------------------

struct Evaluator {
    const EvalContext& context;
    size_t poolUsed = 0;

    void charge(size_t bytes)
    {
        poolUsed += bytes;
        if (poolUsed > kWorkingPoolSize)
            fail(kInsufficientMemory, "Working pool overflow [PARSER/Allocate]");
    }

    static void setText(ExprValue& out, std::string text)
    {
        out.type = 'C';
        out.text = std::move(text);
    }

    static void setNumber(ExprValue& out, double number)
    {
        out.type = 'N';
        out.number = number;
    }

    static void setLogical(ExprValue& out, bool value)
    {
        out.type = 'L';
        out.logical = value;
    }

    static void setDate(ExprValue& out, double julian)
    {
        out.type = 'D';
        out.number = julian;
    }

    void eval(const ExprNode& node, ExprValue& out)
    {
        switch (node.kind) {
        case ExprNode::Kind::Literal:
            out = node.literal;
            return;
        case ExprNode::Kind::Field:
            readFieldValue(node.field, context.buffer, *context.dates, out, context.image);
            if (out.type == 'C')
                charge(out.text.size());
            return;
        case ExprNode::Kind::Unary:
            eval(*node.args[0], out);
            if (node.op == Op::Not)
                out.logical = !out.logical;
            else if (node.op == Op::Neg)
                out.number = -out.number;
            return;
        case ExprNode::Kind::Binary:
            evalBinary(node, out);
            return;
        case ExprNode::Kind::Call:
            evalCall(node, out);
            return;
        }
    }

    static int compareText(const std::string& a, const std::string& b)
    {
        const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
        if (c != 0)
            return c;
        return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
    }

    void evalBinary(const ExprNode& node, ExprValue& out)
    {
        ExprValue right;
        eval(*node.args[0], out);
        if (node.op == Op::And && !out.logical)
            return;
        if (node.op == Op::Or && out.logical)
            return;
        eval(*node.args[1], right);
        const char type = out.type;
        switch (node.op) {
        case Op::Add:
            if (type == 'C') {
                charge(right.text.size());
                out.text += right.text;
            } else if (type == 'D' || right.type == 'D') {
                setDate(out, out.number + right.number);
            } else {
                out.number += right.number;
            }
            return;
        case Op::Sub:
            if (type == 'C') {
                // Trailing blanks of the left text move to the end of the result.
                const size_t keep = out.text.find_last_not_of(' ') + 1;
                const size_t blanks = out.text.size() - keep;
                out.text.resize(keep);
                out.text += right.text;
                out.text.append(blanks, ' ');
                charge(right.text.size());
            } else if (type == 'D' && right.type == 'D') {
                setNumber(out, out.number - right.number);
            } else {
                out.number -= right.number;
            }
            return;
        case Op::Mul:
            out.number *= right.number;
            return;
        case Op::Div:
        case Op::Mod:
            if (right.number == 0) {
                if (context.report)
                    context.report(kDivideByZero,
                                   "Error during evaluation: Divide by 0 [Evaluate/Engine]");
                out.number = 0;
                return;
            }
            out.number = node.op == Op::Div ? out.number / right.number
                                            : std::fmod(out.number, right.number);
            return;
        case Op::Pow:
            out.number = std::pow(out.number, right.number);
            return;
        case Op::And:
        case Op::Or:
            out.logical = right.logical;
            return;
        case Op::Contains:
            setLogical(out, right.text.find(out.text) != std::string::npos);
            return;
        default:
            break;
        }
        int cmp = 0;
        bool equal = false;
        if (type == 'C') {
            cmp = compareText(out.text, right.text);
            if (node.op == Op::Eq)
                equal = out.text.compare(0, right.text.size(), right.text) == 0;
            else
                equal = cmp == 0;
        } else if (type == 'L') {
            cmp = int(out.logical) - int(right.logical);
            equal = cmp == 0;
        } else {
            cmp = out.number < right.number ? -1 : out.number > right.number ? 1 : 0;
            equal = cmp == 0;
        }
        bool result = false;
        switch (node.op) {
        case Op::Eq:
        case Op::ExactEq:
            result = equal;
            break;
        case Op::Ne:
            result = !equal;
            break;
        case Op::Lt:
            result = cmp < 0;
            break;
        case Op::Gt:
            result = cmp > 0;
            break;
        case Op::Le:
            result = cmp <= 0;
            break;
        case Op::Ge:
            result = cmp >= 0;
            break;
        default:
            break;
        }
        setLogical(out, result);
    }

    static std::string formatStr(double number, int length, int decimals)
    {
        length = std::clamp(length, 1, int(kMaxWorkText));
        decimals = std::clamp(decimals, 0, 15);
        char text[400];
        std::snprintf(text, sizeof text, "%*.*f", length, decimals, number);
        if (int(std::strlen(text)) > length)
            return std::string(size_t(length), '*');
        return text;
    }

    void evalCall(const ExprNode& node, ExprValue& out)
    {
        std::vector<ExprValue> a(node.args.size());
        for (size_t i = 0; i < node.args.size(); ++i)
            eval(*node.args[i], a[i]);
        const DateSettings& dates = *context.dates;
        auto count = [](double n) { return n < 0 ? 0 : size_t(n); };
        switch (node.function->fn) {
        case Fn::Abs:
            return setNumber(out, std::fabs(a[0].number));
        case Fn::Asc:
            return setNumber(out, a[0].text.empty() ? 0 : uint8_t(a[0].text[0]));
        case Fn::At: {
            const size_t pos = a[1].text.find(a[0].text);
            return setNumber(out, a[0].text.empty() || pos == std::string::npos ? 0 : pos + 1);
        }
        case Fn::Cdow:
            return setText(out, dayName(dates.style, dayOfWeek(fromJulianDay(long(a[0].number)))));
        case Fn::Chr:
            return setText(out, std::string(1, char(int(a[0].number) & 0xFF)));
        case Fn::Cmonth:
            return setText(out, monthName(dates.style, fromJulianDay(long(a[0].number)).month));
        case Fn::Ctod:
            return setDate(
                out, julianDay(parseDateText(a[0].text.substr(0, 10), dates.style, dates.century)));
        case Fn::Date:
            return setDate(out, julianDay(dates.today()));
        case Fn::Day:
            return setNumber(out, fromJulianDay(long(a[0].number)).day);
        case Fn::Deleted:
            return setLogical(out, context.buffer && context.buffer[0] != 0);
        case Fn::Dow:
            return setNumber(out, dayOfWeek(fromJulianDay(long(a[0].number))));
        case Fn::Dtoc:
            return setText(out, formatDate(fromJulianDay(long(a[0].number)), dates.style,
                                           dates.fourDigitYear));
        case Fn::Dtos: {
            std::string text = toDtos(fromJulianDay(long(a[0].number)));
            return setText(out, text.empty() ? std::string(8, ' ') : text);
        }
        case Fn::Iif:
            out = a[0].logical ? a[1] : a[2];
            if (out.type == 'C' && out.text.size() > kMaxWorkText)
                out.text.resize(kMaxWorkText);
            return;
        case Fn::Int:
            return setNumber(out, std::trunc(a[0].number));
        case Fn::Left:
            return setText(out, a[0].text.substr(0, count(a[1].number)));
        case Fn::Len:
            return setNumber(out, double(a[0].text.size()));
        case Fn::Lower:
            return setText(out, base::toLower(a[0].text));
        case Fn::Upper:
            return setText(out, base::toUpper(a[0].text));
        case Fn::Ltrim: {
            const size_t first = a[0].text.find_first_not_of(' ');
            return setText(out, first == std::string::npos ? "" : a[0].text.substr(first));
        }
        case Fn::Trim:
        case Fn::Rtrim: {
            return setText(out, base::trimmedRightSpaces(a[0].text));
        }
        case Fn::Max:
            return setNumber(out, std::max(a[0].number, a[1].number));
        case Fn::Min:
            return setNumber(out, std::min(a[0].number, a[1].number));
        case Fn::Mod: {
            const double divisor = std::trunc(a[1].number);
            if (divisor == 0) {
                if (context.report)
                    context.report(kDivideByZero,
                                   "Error during evaluation: Divide by 0 [Evaluate/Engine]");
                return setNumber(out, 0);
            }
            return setNumber(out, std::fmod(std::trunc(a[0].number), divisor));
        }
        case Fn::Month:
            return setNumber(out, fromJulianDay(long(a[0].number)).month);
        case Fn::Recno:
            return setNumber(out, double(context.recno));
        case Fn::Replicate: {
            std::string text;
            for (size_t i = 0; i < count(a[1].number) && text.size() < kMaxWorkText; ++i)
                text += a[0].text;
            if (text.size() > kMaxWorkText)
                text.resize(kMaxWorkText);
            charge(text.size());
            return setText(out, std::move(text));
        }
        case Fn::Right: {
            const size_t n = std::min(count(a[1].number), a[0].text.size());
            return setText(out, a[0].text.substr(a[0].text.size() - n));
        }
        case Fn::Round: {
            // Decimals beyond the requested ones are cut off, not rounded.
            const double scale = std::pow(10.0, std::trunc(a[1].number));
            return setNumber(
                out, std::trunc(a[0].number * scale + (a[0].number < 0 ? -1e-9 : 1e-9)) / scale);
        }
        case Fn::Soundex:
            return setText(out, soundex(a[0].text));
        case Fn::Space: {
            const size_t n = std::min(count(a[0].number), kMaxWorkText);
            charge(n);
            return setText(out, std::string(n, ' '));
        }
        case Fn::Str: {
            const int length = a.size() > 1 ? int(a[1].number) : 10;
            const int decimals = a.size() > 2 ? int(a[2].number) : 0;
            return setText(out, formatStr(a[0].number, length, decimals));
        }
        case Fn::Stuff: {
            std::string text = a[0].text;
            const size_t start =
                std::min(count(a[1].number) > 0 ? count(a[1].number) - 1 : 0, text.size());
            const size_t n = std::min(count(a[2].number), text.size() - start);
            text.replace(start, n, a[3].text);
            charge(text.size());
            return setText(out, std::move(text));
        }
        case Fn::Substr: {
            const size_t start = count(a[1].number) > 0 ? count(a[1].number) - 1 : 0;
            if (start >= a[0].text.size())
                return setText(out, "");
            const size_t n = a.size() > 2 ? count(a[2].number) : std::string::npos;
            return setText(out, a[0].text.substr(start, n));
        }
        case Fn::Val:
            return setNumber(out, std::strtod(a[0].text.c_str(), nullptr));
        case Fn::Year:
            return setNumber(out, fromJulianDay(long(a[0].number)).year);
        }
    }
};

} // namespace

void readFieldValue(const FieldInfo& field, const uint8_t* buffer, const DateSettings& dates,
                    ExprValue& out, const uint8_t* image)
{
    const uint8_t* slot = buffer + field.slot;
    switch (field.type) {
    case 'C': {
        out.type = 'C';
        const size_t n = std::min<size_t>(slot[0], size_t(field.length));
        out.text.assign(reinterpret_cast<const char*>(slot + 1), n);
        // A short slot still yields the full field width, as a key must.
        out.text.resize(size_t(field.length), ' ');
        return;
    }
    case 'D': {
        out.type = 'D';
        if (image) {
            out.number = double(julianDay(parseDtos(std::string_view(
                reinterpret_cast<const char*>(image + field.offset), size_t(field.length)))));
            return;
        }
        const std::string_view text(reinterpret_cast<const char*>(slot + 1),
                                    std::min<size_t>(slot[0], size_t(field.length + 2)));
        out.number = double(julianDay(parseDateText(text, dates.style, dates.century)));
        return;
    }
    case 'L':
        out.type = 'L';
        out.logical = slot[0] != 0;
        return;
    case 'M': {
        int32_t block = 0;
        std::memcpy(&block, slot, 4);
        out.type = 'M';
        out.number = block;
        return;
    }
    default: {
        out.type = 'N';
        if (field.isReal()) {
            out.number = decodeReal48(slot);
        } else if (field.isWideInteger()) {
            int64_t value = 0;
            std::memcpy(&value, slot, 8);
            out.number = double(value);
        } else {
            int32_t value = 0;
            std::memcpy(&value, slot, 4);
            out.number = value;
        }
        return;
    }
    }
}

std::string soundex(const std::string& text)
{
    // Letter groups of the classic code: vowels and H, W, Y carry no digit.
    static const char kCodes[] = "01230120022455012623010202";
    std::string out;
    char last = 0;
    for (char raw : text) {
        const char ch = base::upperAscii(raw);
        if (ch < 'A' || ch > 'Z')
            continue;
        const char code = kCodes[ch - 'A'];
        if (out.empty()) {
            out += ch;
            last = code;
            continue;
        }
        if (code != '0' && code != last)
            out += code;
        if (ch != 'H' && ch != 'W')
            last = code;
        if (out.size() == 4)
            break;
    }
    if (out.empty())
        return "0000";
    out.resize(4, '0');
    return out;
}

KeyExpression::KeyExpression() = default;
KeyExpression::~KeyExpression() = default;
KeyExpression::KeyExpression(KeyExpression&&) noexcept = default;
KeyExpression& KeyExpression::operator=(KeyExpression&&) noexcept = default;

std::unique_ptr<KeyExpression> KeyExpression::compile(const std::string& text,
                                                      const FieldList& fields, std::string& error)
{
    std::unique_ptr<KeyExpression> expression(new KeyExpression());
    expression->m_text = text;
    try {
        Parser parser(text, fields, expression->m_usedFields);
        expression->m_root = parser.parseAll();
    } catch (const ParseError& e) {
        error = e.message;
        return nullptr;
    }
    return expression;
}

char KeyExpression::resultType() const
{
    return m_root->type;
}

void KeyExpression::evaluate(const EvalContext& context, ExprValue& out) const
{
    Evaluator evaluator{context};
    evaluator.eval(*m_root, out);
}

} // namespace dbf
