#pragma once

// The dBASE expression language used for index keys (and while-conditions).
//
// Grammar, from the loosest binding to the tightest:
//   or      := and { ".OR." and }
//   and     := not { ".AND." not }
//   not     := ".NOT." not | "!" not | compare
//   compare := sum [ ("=" | "==" | "<>" | "#" | "!=" | "<" | ">" | "<=" | ">=" | "$") sum ]
//   sum     := product { ("+" | "-") product }
//   product := power { ("*" | "/" | "%") power }
//   power   := unary [ ("**" | "^") power ]          (right-associative)
//   unary   := ("-" | "+") unary | primary
//   primary := number | string | ".T." | ".F." | "(" or ")"
//            | NAME "(" [ or { "," or } ] ")"        (function; 4-letter prefixes allowed)
//            | NAME                                  (field of the current table)
// Strings are written in single quotes, double quotes or square brackets.

#include "dbf/field_info.h"

#include <memory>
#include <string>
#include <vector>

namespace dbf {

struct ExprNode;

// A value during evaluation. Dates are Julian day numbers in `number`
// (0 for the empty date); memo values carry their block number.
struct ExprValue {
    char type = 'C';
    std::string text;
    double number = 0;
    bool logical = false;
};

// What evaluation reads: the record buffer of the current layout, the
// record number and the date settings. Evaluation failures that do not stop
// the evaluation (division by zero) go to `report`.
struct EvalContext {
    const uint8_t* buffer = nullptr;
    // The file record the buffer was unpacked from, when there is one. Dates
    // are then taken from it, because a two-digit year in the buffer cannot
    // tell 1999 from 2099.
    const uint8_t* image = nullptr;
    long recno = 0;
    const DateSettings* dates = nullptr;
    std::function<void(int code, const std::string& message)> report;
};

class KeyExpression {
public:
    ~KeyExpression();
    KeyExpression(KeyExpression&&) noexcept;
    KeyExpression& operator=(KeyExpression&&) noexcept;

    // Compiles `text` against a table's fields. On failure returns nullptr and
    // sets `error` to the parser's message.
    static std::unique_ptr<KeyExpression> compile(const std::string& text, const FieldList& fields,
                                                  std::string& error);

    // Result type letter: "C", "N", "L", "D" or "M".
    char resultType() const;
    const std::string& text() const { return m_text; }
    // Indexes of the fields the expression reads, so that bulk readers can
    // unpack only those.
    const std::vector<int>& usedFields() const { return m_usedFields; }

    // Evaluates against a record. Throws DbfFailure for pool exhaustion.
    void evaluate(const EvalContext& context, ExprValue& out) const;

private:
    KeyExpression();
    std::string m_text;
    std::unique_ptr<ExprNode> m_root;
    std::vector<int> m_usedFields;
};

// Unpacks one field slot of a record buffer into an expression value.
void readFieldValue(const FieldInfo& field, const uint8_t* buffer, const DateSettings& dates,
                    ExprValue& out, const uint8_t* image = nullptr);

// The four-character SOUNDEX code of a text.
std::string soundex(const std::string& text);

} // namespace dbf
