#pragma once

#include "store/engine/DataSet.h"

#include <QObject>
#include <QPointer>

namespace varnel {

// Connects one dataset to the controls and grids that show it.
class TDataSource : public QObject, public TDataLink {
    Q_OBJECT
public:
    explicit TDataSource(QObject* parent = nullptr);
    ~TDataSource() override;

    void SetDataSet(TDataSet* dataSet);
    TDataSet* DataSet() const { return m_dataSet; }

    void AddLink(TDataLink* link);
    void RemoveLink(TDataLink* link);

    void UpdateData() override;
    void RecordChanged() override;
    void FieldChanged(TField* field) override;
    void StateChanged() override;
    void DataSetChanged() override;

private:
    QPointer<TDataSet> m_dataSet;
    QList<TDataLink*> m_links;
};

// Moves a control's link from the source it follows (held) to another; either may be null.
void Relink(QPointer<TDataSource>& held, TDataSource* next, TDataLink* link);

} // namespace varnel
