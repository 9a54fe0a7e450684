#include "dbf/widgets/tz_field.h"

#include "dbf/widgets/tz_odbf.h"

std::string TTzField::AsString() const
{
    return m_table->FieldText(m_number);
}

bool TTzField::AsBoolean() const
{
    return m_type == 'L' && m_address && m_address[0] != 0;
}
