#include "dbf/dataset/tz_data_source.h"

#include "dbf/dataset/tz_data_link.h"

#include <algorithm>

TTzDataSource::TTzDataSource(QObject* owner)
    : QObject(owner), m_dataSet(std::make_unique<TTzDataSet>(nullptr))
{
}

TTzDataSource::~TTzDataSource()
{
    for (TTzDataLink* link : m_links)
        link->sourceGone();
}

void TTzDataSource::PostIfEditing()
{
    if (m_dataSet->State() == dsEdit || m_dataSet->State() == dsInsert)
        m_dataSet->Post();
}

void TTzDataSource::addLink(TTzDataLink* link)
{
    if (std::find(m_links.begin(), m_links.end(), link) == m_links.end())
        m_links.push_back(link);
}

void TTzDataSource::removeLink(TTzDataLink* link)
{
    std::erase(m_links, link);
}

void TTzDataSource::notifyLinks(TTzDataEvent event, TTzField* field)
{
    // A link may detach itself while it is told, so walk a copy.
    const std::vector<TTzDataLink*> links = m_links;
    for (TTzDataLink* link : links)
        if (std::find(m_links.begin(), m_links.end(), link) != m_links.end())
            link->dataEvent(event, field);
}

void TTzDataSource::dataEvent(TTzDataEvent event, TTzField* field)
{
    notifyLinks(event, field);
    switch (event) {
    case TTzDataEvent::deDataSetChange:
    case TTzDataEvent::deRecordChange:
    case TTzDataEvent::deDataSetScroll:
    case TTzDataEvent::deFieldChange:
        if (OnDataChange)
            OnDataChange(this, field);
        break;
    case TTzDataEvent::deUpdateData:
        if (OnUpdateData)
            OnUpdateData(this);
        break;
    default:
        break;
    }
}
