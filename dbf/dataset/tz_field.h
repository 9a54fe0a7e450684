#pragma once

#include <cstdint>
#include <string>

class TTzODbf;

// One field of an open table, created when the table opens and freed when it
// closes. It points at the field's slot in the table's record buffer, so it
// always shows the current record.
class TTzField {
public:
    TTzField(TTzODbf* table, int number, std::string name, char type, int length, int decimals,
             uint8_t* address)
        : m_table(table), m_number(number), m_name(std::move(name)), m_type(type), m_length(length),
          m_decimals(decimals), m_address(address)
    {
    }

    // Lower case, as controls and handlers name it.
    const std::string& FieldName() const { return m_name; }
    char FieldType() const { return m_type; }
    int Size() const { return m_length; }
    int Decimals() const { return m_decimals; }
    // 1-based position in the table.
    int FieldNo() const { return m_number; }
    uint8_t* Address() const { return m_address; }
    TTzODbf* Table() const { return m_table; }

    // The display text of the current record: "C" as stored, "D" as the date
    // text of the record buffer, numbers formatted to their width and
    // decimals (without blanks), "L" "T" or "F", "M" the memo block number.
    std::string AsString() const;
    // A logical field's value; false for other types.
    bool AsBoolean() const;

    // Stores a value typed by the user into the record buffer through the
    // table's typed setters: "C" cut to the field's length, "D" in the
    // engine's date style, "N"/"F" a decimal number (blank is 0), "L" one of
    // "T", "Y", "F", "N" or blank. False when the text does not fit the type
    // (the record buffer is left as it was); memo fields take no text.
    bool SetAsString(const std::string& text);
    void SetAsBoolean(bool value);

private:
    TTzODbf* m_table;
    int m_number;
    std::string m_name;
    char m_type;
    int m_length;
    int m_decimals;
    uint8_t* m_address;
};
