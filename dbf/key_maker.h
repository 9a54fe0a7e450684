#pragma once

#include "dbf/field_info.h"
#include "dbf/key_expression.h"

#include <functional>
#include <string>

namespace dbf {

// The record a key-maker function makes a key for, as stored in the table
// file. Field texts keep their blanks.
class KeyRecord {
public:
    KeyRecord(const FieldList& fields, const uint8_t* image, long recno)
        : m_fields(fields), m_image(image), m_recno(recno)
    {
    }
    long recno() const { return m_recno; }
    bool deleted() const { return m_image[0] == '*'; }
    // The stored text of a field ("" for a name the table does not have).
    std::string field(const std::string& name) const;
    // A number field's value (0 for blanks or a name the table does not have).
    double number(const std::string& name) const;

private:
    const FieldInfo* find(const std::string& name) const;
    const FieldList& m_fields;
    const uint8_t* m_image;
    long m_recno;
};

// A key-maker function makes the index key of a record in place of a key
// expression: a value of type "C" (its text) or "N" / "D" (its number, dates
// as Julian day numbers). The type and, for text, the key length are taken
// from the key of the first record, as for expressions. Indexes built with
// one store no expression, and only such indexes honour " SOUNDEX" (the key
// becomes the four-character SOUNDEX code of the text) and " DESCENDING"
// (the key is stored so that the index runs from the highest value down);
// both must be given again whenever the index is opened.
using KeyMaker = std::function<ExprValue(const KeyRecord& record)>;

// Applies the key-maker options to a key already cut to its length:
// SOUNDEX codes a text key, DESCENDING complements text bytes and negates
// numbers so that ascending order in the file is descending order of values.
std::string keyMakerKey(const ExprValue& value, int keyLength, bool soundexKey, bool descending);

} // namespace dbf
