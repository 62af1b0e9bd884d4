#include "DataSource.h"

namespace varnel {

TDataSource::TDataSource(QObject* parent) : QObject(parent) {}

TDataSource::~TDataSource() {
    if (m_dataSet)
        m_dataSet->RemoveLink(this);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
    if (m_dataSet)
        m_dataSet->RemoveLink(this);
    m_dataSet = dataSet;
    if (m_dataSet)
        m_dataSet->AddLink(this);
    DataSetChanged();
}

void TDataSource::AddLink(TDataLink* link) {
    if (!m_links.contains(link))
        m_links << link;
}

void TDataSource::RemoveLink(TDataLink* link) {
    m_links.removeAll(link);
}

void TDataSource::UpdateData() {
    for (TDataLink* link : QList<TDataLink*>(m_links))
        link->UpdateData();
}

void TDataSource::RecordChanged() {
    for (TDataLink* link : QList<TDataLink*>(m_links))
        link->RecordChanged();
}

void TDataSource::FieldChanged(TField* field) {
    for (TDataLink* link : QList<TDataLink*>(m_links))
        link->FieldChanged(field);
}

void TDataSource::StateChanged() {
    for (TDataLink* link : QList<TDataLink*>(m_links))
        link->StateChanged();
}

void TDataSource::DataSetChanged() {
    for (TDataLink* link : QList<TDataLink*>(m_links))
        link->DataSetChanged();
}

} // namespace varnel
