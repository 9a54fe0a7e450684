#pragma once

#include <functional>

class TTzDataSource;
class TTzDataSet;
class TTzField;

// What a data source tells the controls linked to it.
enum class TTzDataEvent {
    deActiveChange,  // the table opened or closed
    deDataSetChange, // the current record or the whole set may differ
    deRecordChange,  // the values in the record buffer changed
    deDataSetScroll, // the current record moved
    deFieldChange,   // one field's value changed
    deUpdateState,   // browse, edit or insert state changed
    deUpdateData,    // controls should write pending edits into the buffer
};

// Connects a control to a data source: the control sets the hooks it needs
// and receives the source's notifications through them. A link detaches
// itself when it dies, and is detached when its source dies.
class TTzDataLink {
public:
    TTzDataLink() = default;
    ~TTzDataLink();
    TTzDataLink(const TTzDataLink&) = delete;
    TTzDataLink& operator=(const TTzDataLink&) = delete;

    TTzDataSource* DataSource() const { return m_source; }
    void setDataSource(TTzDataSource* source);
    TTzDataSet* DataSet() const;
    // True while the source's table is open.
    bool Active() const;

    std::function<void()> OnActiveChanged;
    std::function<void()> OnDataSetChanged;
    std::function<void(TTzField* field)> OnRecordChanged; // field nil: whole record
    std::function<void()> OnEditingChanged;
    std::function<void()> OnUpdateData;

    // Delivers one notification to the hooks (called by the data source).
    void dataEvent(TTzDataEvent event, TTzField* field);
    // Forgets the source without telling it (called by a dying source); the
    // control then shows nothing.
    void sourceGone();

private:
    TTzDataSource* m_source = nullptr;
};
