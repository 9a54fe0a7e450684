#include "dbf/dataset/tz_session.h"

#include "dbf/dataset/tz_dbf.h"

#include <algorithm>

TTzSession& TTzSession::instance()
{
    static TTzSession session;
    return session;
}

TTzDbf* TTzSession::FindTable(const QString& name) const
{
    for (TTzDbf* table : m_tables)
        if (table->Name().compare(name, Qt::CaseInsensitive) == 0)
            return table;
    return nullptr;
}

void TTzSession::add(TTzDbf* table)
{
    if (std::find(m_tables.begin(), m_tables.end(), table) == m_tables.end())
        m_tables.push_back(table);
}

void TTzSession::remove(TTzDbf* table)
{
    std::erase(m_tables, table);
}
