#include "dbf/dataset/tz_data_link.h"

#include "dbf/dataset/tz_data_set.h"
#include "dbf/dataset/tz_data_source.h"

TTzDataLink::~TTzDataLink()
{
    // No hook runs here: the control that owns the link is being torn down.
    if (m_source)
        m_source->removeLink(this);
}

void TTzDataLink::setDataSource(TTzDataSource* source)
{
    if (source == m_source)
        return;
    if (m_source)
        m_source->removeLink(this);
    m_source = source;
    if (m_source)
        m_source->addLink(this);
    if (OnActiveChanged)
        OnActiveChanged();
}

void TTzDataLink::sourceGone()
{
    m_source = nullptr;
    if (OnActiveChanged)
        OnActiveChanged();
}

TTzDataSet* TTzDataLink::DataSet() const
{
    return m_source ? m_source->DataSet() : nullptr;
}

bool TTzDataLink::Active() const
{
    return DataSet() && DataSet()->Active();
}

void TTzDataLink::dataEvent(TTzDataEvent event, TTzField* field)
{
    switch (event) {
    case TTzDataEvent::deActiveChange:
        if (OnActiveChanged)
            OnActiveChanged();
        break;
    case TTzDataEvent::deDataSetChange:
    case TTzDataEvent::deDataSetScroll:
        if (OnDataSetChanged)
            OnDataSetChanged();
        break;
    case TTzDataEvent::deRecordChange:
    case TTzDataEvent::deFieldChange:
        if (OnRecordChanged)
            OnRecordChanged(field);
        break;
    case TTzDataEvent::deUpdateState:
        if (OnEditingChanged)
            OnEditingChanged();
        break;
    case TTzDataEvent::deUpdateData:
        if (OnUpdateData)
            OnUpdateData();
        break;
    }
}
