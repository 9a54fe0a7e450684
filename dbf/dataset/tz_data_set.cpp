#include "dbf/dataset/tz_data_set.h"

#include "base/ascii.h"
#include "dbf/dataset/tz_odbf.h"

bool TTzDataSet::IsEmpty() const
{
    return !Active() || (m_bof && m_eof);
}

TTzField* TTzDataSet::FindField(const std::string& name) const
{
    const std::string wanted = base::toLower(name);
    for (const auto& field : m_fields)
        if (field->FieldName() == wanted)
            return field.get();
    return nullptr;
}

void TTzDataSet::EnableControls()
{
    if (m_disableCount > 0)
        --m_disableCount;
    if (m_disableCount == 0 && m_pendingChange && Active())
        resyncFromTable();
}

bool TTzDataSet::confirm(const TTzDataSetNotifyConfirmEvent& event)
{
    bool ok = true;
    if (event)
        event(this, ok);
    return ok;
}

void TTzDataSet::fire(const TTzDataSetNotifyEvent& event)
{
    if (event)
        event(this);
}

void TTzDataSet::setState(TTzDataSetState state)
{
    if (state == m_state)
        return;
    m_state = state;
    m_modified = false;
    dataEvent(TTzDataEvent::deUpdateState, nullptr);
}

// --- notifications --------------------------------------------------------------------

void TTzDataSet::dataEvent(TTzDataEvent event, TTzField* field)
{
    if (m_table)
        m_table->dataEvent(event, field);
}

void TTzDataSet::resyncFromTable()
{
    if (!m_table || !Active())
        return;
    resync(m_table->Bof(), m_table->Eof());
}

void TTzDataSet::resync(bool bof, bool eof)
{
    m_bof = bof;
    m_eof = eof;
    if (ControlsDisabled() || m_notifying) {
        m_pendingChange = m_pendingChange || ControlsDisabled();
        return;
    }
    m_pendingChange = false;
    m_notifying = true;
    try {
        if (AutoCalcFields)
            fire(OnCalcFields);
        dataEvent(TTzDataEvent::deDataSetChange, nullptr);
    } catch (...) {
        m_notifying = false;
        throw;
    }
    m_notifying = false;
}

void TTzDataSet::recordChanged()
{
    if (!Active())
        return;
    // The field objects read the record buffer directly, so they are up to
    // date already; the controls only need to repaint.
    m_modified = true;
    if (m_table && !ControlsDisabled())
        m_table->notifyLinks(TTzDataEvent::deRecordChange, nullptr);
}

void TTzDataSet::opened()
{
    m_fields.clear();
    const int count = m_table->FieldCount();
    for (int i = 1; i <= count; ++i)
        m_fields.push_back(std::make_unique<TTzField>(
            m_table, i, base::toLower(m_table->Field(i)), m_table->FieldType(i),
            m_table->FieldLen(i), m_table->FieldDec(i), m_table->FieldAddress(i)));
    m_state = dsBrowse;
    m_modified = false;
    dataEvent(TTzDataEvent::deActiveChange, nullptr);
    // A table opens on its first record.
    resync(true, m_table->Eof());
    fire(AfterOpen);
}

void TTzDataSet::closing()
{
    fire(BeforeClose);
}

void TTzDataSet::closed()
{
    m_fields.clear();
    m_state = dsInactive;
    m_bof = m_eof = true;
    m_modified = false;
    m_pendingChange = false;
    dataEvent(TTzDataEvent::deActiveChange, nullptr);
    fire(AfterClose);
}

// --- moves ----------------------------------------------------------------------------------

void TTzDataSet::First()
{
    if (!Active())
        return;
    CheckBrowseMode();
    m_table->_First();
    resync(true, m_table->Eof());
}

void TTzDataSet::Last()
{
    if (!Active())
        return;
    CheckBrowseMode();
    m_table->_Last();
    resync(m_table->Bof(), true);
}

bool TTzDataSet::Next()
{
    if (!Active())
        return false;
    CheckBrowseMode();
    const bool moved = m_table->_Next();
    resync(m_table->Bof() && m_table->Eof(), !moved);
    return moved;
}

bool TTzDataSet::Prior()
{
    if (!Active())
        return false;
    CheckBrowseMode();
    const bool moved = m_table->_Prior();
    resync(!moved, m_table->Bof() && m_table->Eof());
    return moved;
}

bool TTzDataSet::MoveBy(long distance)
{
    if (!Active() || distance == 0)
        return true;
    CheckBrowseMode();
    if ((distance > 0 && m_eof) || (distance < 0 && m_bof))
        return false;
    const bool whole = m_table->_MoveBy(distance);
    resync(distance < 0 && !whole, distance > 0 && !whole);
    return whole;
}

bool TTzDataSet::Refresh()
{
    if (!Active())
        return false;
    const bool ok = m_table->_Refresh();
    resync(m_bof, m_eof);
    return ok;
}

long TTzDataSet::RecordCount() const
{
    return Active() ? m_table->GetRecordCount() : 0;
}

long TTzDataSet::RecNo() const
{
    return Active() ? m_table->GetBookmark() : 0;
}

long TTzDataSet::GetBookmark() const
{
    return RecNo();
}

void TTzDataSet::SetToBookmark(long bookmark)
{
    if (!Active())
        return;
    CheckBrowseMode();
    m_table->SetToBookmark(bookmark);
    resync(false, false);
}

// --- edits ------------------------------------------------------------------------------------

void TTzDataSet::CheckBrowseMode()
{
    if (m_state != dsEdit && m_state != dsInsert)
        return;
    // Controls hand in what they hold first; a record nobody changed is
    // not written (an untouched new record would be a blank one).
    dataEvent(TTzDataEvent::deUpdateData, nullptr);
    if (m_modified)
        Post();
    else
        Cancel();
}

void TTzDataSet::Insert()
{
    if (!Active() || !confirm(BeforeInsert))
        return;
    CheckBrowseMode();
    m_insertedFrom = m_table->RecNo();
    m_table->ClearRecord();
    setState(dsInsert);
    fire(OnNewRecord);
    fire(AfterInsert);
}

void TTzDataSet::Edit()
{
    if (!Active() || m_state != dsBrowse || IsEmpty() || !confirm(BeforeEdit))
        return;
    setState(dsEdit);
    fire(AfterEdit);
}

void TTzDataSet::Post()
{
    if (m_state != dsEdit && m_state != dsInsert)
        return;
    dataEvent(TTzDataEvent::deUpdateData, nullptr);
    if (!confirm(BeforePost))
        return;
    const bool ok = m_state == dsInsert ? m_table->_Insert() : m_table->_Post();
    if (!ok)
        return;
    setState(dsBrowse);
    resync(false, false);
    fire(AfterPost);
}

void TTzDataSet::Cancel()
{
    if (m_state != dsEdit && m_state != dsInsert)
        return;
    if (!confirm(BeforeCancel))
        return;
    if (m_state == dsInsert && m_insertedFrom >= 1 && m_insertedFrom <= m_table->RecCount())
        m_table->SetToBookmark(m_insertedFrom);
    else
        m_table->_Refresh();
    setState(dsBrowse);
    resync(m_table->Bof(), m_table->Eof());
    fire(AfterCancel);
}

void TTzDataSet::Delete()
{
    if (!Active() || IsEmpty())
        return;
    CheckBrowseMode();
    if (!confirm(BeforeDelete))
        return;
    if (!m_table->_Delete())
        return;
    resync(m_bof, m_eof);
    fire(AfterDelete);
}

void TTzDataSet::Restore()
{
    if (!Active() || IsEmpty())
        return;
    CheckBrowseMode();
    if (!confirm(BeforeRestore))
        return;
    if (!m_table->_Restore())
        return;
    resync(m_bof, m_eof);
    fire(AfterRestore);
}
