#include "dbf/dataset/tz_field.h"

#include "base/ascii.h"
#include "dbf/dataset/tz_odbf.h"

#include <charconv>

std::string TTzField::AsString() const
{
    return m_table->FieldText(m_number);
}

bool TTzField::AsBoolean() const
{
    return m_type == 'L' && m_address && m_address[0] != 0;
}

bool TTzField::SetAsString(const std::string& text)
{
    switch (m_type) {
    case 'C':
        m_table->SetCField(m_name, text);
        return true;
    case 'D':
        return m_table->SetDField(m_name, text);
    case 'N':
    case 'F': {
        const std::string number = base::trimmedSpaces(text);
        double value = 0;
        if (!number.empty()) {
            const char* end = number.data() + number.size();
            const auto [stop, error] = std::from_chars(number.data(), end, value);
            if (error != std::errc() || stop != end)
                return false;
        }
        m_table->SetNField(m_name, value);
        return true;
    }
    case 'L': {
        const std::string word = base::trimmedSpaces(text);
        const char first = word.empty() ? 'F' : base::upperAscii(word[0]);
        if (word.size() > 1 || (first != 'T' && first != 'Y' && first != 'F' && first != 'N'))
            return false;
        m_table->SetLField(m_name, first == 'T' || first == 'Y');
        return true;
    }
    default:
        return false;
    }
}

void TTzField::SetAsBoolean(bool value)
{
    m_table->SetLField(m_name, value);
}
