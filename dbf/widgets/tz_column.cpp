#include "dbf/widgets/tz_column.h"

#include "dbf/dataset/tz_messages.h"

TTzColumn* TTzColumns::Add()
{
    if (Count() >= kMaxColumns)
        throw ETzDataError(tzmsg::kTooManyColumns.text, tzmsg::kTooManyColumns.id);
    m_columns.push_back(std::make_unique<TTzColumn>(Count()));
    return m_columns.back().get();
}
