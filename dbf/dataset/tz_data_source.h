#pragma once

#include "dbf/dataset/tz_data_set.h"

#include <functional>
#include <memory>
#include <QObject>
#include <vector>

class TTzDataSource;
class TTzField;
class TTzDataLink;

// Field is nil when the whole record changed.
using TTzDataChangeEvent = std::function<void(TTzDataSource* sender, TTzField* Field)>;
using TTzNotifyEvent = std::function<void(TTzDataSource* sender)>;

// What controls bind to: owns the dataset and the list of data links, and
// reports the dataset's changes through OnDataChange.
class TTzDataSource : public QObject {
    Q_OBJECT
public:
    explicit TTzDataSource(QObject* owner = nullptr);
    ~TTzDataSource() override;

    TTzDataSet* DataSet() const { return m_dataSet.get(); }

    TTzDataChangeEvent OnDataChange;
    TTzNotifyEvent OnUpdateData;

    // The dataset's events, reachable from the source as its own properties.
#define TZ_FORWARD(Name, Type)                                                                     \
    const Type& DS##Name() const                                                                   \
    {                                                                                              \
        return m_dataSet->Name;                                                                    \
    }                                                                                              \
    void setDS##Name(Type handler)                                                                 \
    {                                                                                              \
        m_dataSet->Name = std::move(handler);                                                      \
    }
    TZ_FORWARD(BeforeInsert, TTzDataSetNotifyConfirmEvent)
    TZ_FORWARD(AfterInsert, TTzDataSetNotifyEvent)
    TZ_FORWARD(BeforeEdit, TTzDataSetNotifyConfirmEvent)
    TZ_FORWARD(AfterEdit, TTzDataSetNotifyEvent)
    TZ_FORWARD(BeforePost, TTzDataSetNotifyConfirmEvent)
    TZ_FORWARD(AfterPost, TTzDataSetNotifyEvent)
    TZ_FORWARD(BeforeCancel, TTzDataSetNotifyConfirmEvent)
    TZ_FORWARD(AfterCancel, TTzDataSetNotifyEvent)
    TZ_FORWARD(BeforeDelete, TTzDataSetNotifyConfirmEvent)
    TZ_FORWARD(AfterDelete, TTzDataSetNotifyEvent)
    TZ_FORWARD(BeforeRestore, TTzDataSetNotifyConfirmEvent)
    TZ_FORWARD(AfterRestore, TTzDataSetNotifyEvent)
#undef TZ_FORWARD

    // Posts the record when the dataset is being edited or inserted; callers
    // run it before they change the order of the records.
    void PostIfEditing();

    // --- used by the dataset and the links ---
    void addLink(TTzDataLink* link);
    void removeLink(TTzDataLink* link);
    const std::vector<TTzDataLink*>& links() const
    {
        return m_links;
    }
    // Tells every link, then raises OnDataChange or OnUpdateData as the
    // event calls for.
    void dataEvent(TTzDataEvent event, TTzField* field);
    // Tells the links only: record-changed notifications of the typed setters
    // repaint controls without running OnDataChange.
    void notifyLinks(TTzDataEvent event, TTzField* field);

protected:
    // Subclasses give the dataset its table.
    void setDataSet(std::unique_ptr<TTzDataSet> dataSet)
    {
        m_dataSet = std::move(dataSet);
    }

private:
    std::unique_ptr<TTzDataSet> m_dataSet;
    std::vector<TTzDataLink*> m_links;
};
