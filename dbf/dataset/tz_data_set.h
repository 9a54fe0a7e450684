#pragma once

#include "dbf/dataset/tz_data_link.h"
#include "dbf/dataset/tz_field.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TTzODbf;

enum TTzDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

class TTzDataSet;
using TTzDataSetNotifyEvent = std::function<void(TTzDataSet* sender)>;
// A Before event that may veto its action by clearing OkToProceed.
using TTzDataSetNotifyConfirmEvent = std::function<void(TTzDataSet* sender, bool& OkToProceed)>;

// The dataset of one table: its state, its field objects and the moves and
// edits that the grid and the navigator ask for. Every move ends with a
// resynchronization that tells the linked controls; while controls are
// disabled the notification waits until they are enabled again.
class TTzDataSet {
public:
    explicit TTzDataSet(TTzODbf* table) : m_table(table) {}
    TTzDataSet(const TTzDataSet&) = delete;
    TTzDataSet& operator=(const TTzDataSet&) = delete;

    TTzODbf* Table() const { return m_table; }
    TTzDataSetState State() const { return m_state; }
    bool Active() const { return m_state != dsInactive; }
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    bool IsEmpty() const;
    bool Modified() const { return m_modified; }

    const std::vector<std::unique_ptr<TTzField>>& Fields() const { return m_fields; }
    int FieldCount() const { return int(m_fields.size()); }
    // Looks a field up by name, ignoring case; nil when absent.
    TTzField* FindField(const std::string& name) const;

    void DisableControls() { ++m_disableCount; }
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }

    // Moves. Next and Prior return false when they hit the end; the current
    // record then stays on the last or first record with Eof or Bof set.
    void First();
    void Last();
    bool Next();
    bool Prior();
    // Moves `distance` visible records; false when an end stopped it there.
    bool MoveBy(long distance);
    bool Refresh();
    long RecordCount() const;
    long RecNo() const;
    long GetBookmark() const;
    void SetToBookmark(long bookmark);

    // Edits. The program itself writes through the table's typed setters;
    // these serve the grid and the navigator.
    void Insert();
    void Edit();
    void Post();
    void Cancel();
    // Marks the current record deleted, or takes the mark away.
    void Delete();
    void Restore();
    // Leaves edit or insert state before a move: posts a modified record
    // and cancels an unmodified one; nothing in browse state.
    void CheckBrowseMode();
    // The record the current insertion started from (0 when none).
    long InsertedFrom() const { return m_state == dsInsert ? m_insertedFrom : 0; }

    TTzDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TTzDataSetNotifyConfirmEvent BeforeInsert, BeforeEdit, BeforePost, BeforeCancel, BeforeDelete,
        BeforeRestore;
    TTzDataSetNotifyEvent AfterInsert, AfterEdit, AfterPost, AfterCancel, AfterDelete, AfterRestore;
    TTzDataSetNotifyEvent OnNewRecord, OnCalcFields;
    bool AutoCalcFields = true;

    // --- called by the table component ---
    void opened();
    void closing();
    void closed();
    // Rereads the position flags and tells every link that the set changed.
    void resync(bool bof, bool eof);
    // The record buffer changed under the field objects.
    void recordChanged();
    // Passes an event to the data source (links and OnDataChange).
    void dataEvent(TTzDataEvent event, TTzField* field);

private:
    bool confirm(const TTzDataSetNotifyConfirmEvent& event);
    void fire(const TTzDataSetNotifyEvent& event);
    void setState(TTzDataSetState state);
    void resyncFromTable();

    TTzODbf* m_table;
    TTzDataSetState m_state = dsInactive;
    std::vector<std::unique_ptr<TTzField>> m_fields;
    int m_disableCount = 0;
    bool m_pendingChange = false;
    bool m_notifying = false;
    bool m_bof = true;
    bool m_eof = true;
    bool m_modified = false;
    long m_insertedFrom = 0;
};
