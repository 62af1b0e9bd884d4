#include "store/engine/DataSource.h"

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
    const QList<TDataLink*> links = m_links; // a link may leave while it is told
    for (TDataLink* link : links)
        link->UpdateData();
}

void TDataSource::RecordChanged() {
    const QList<TDataLink*> links = m_links; // a link may leave while it is told
    for (TDataLink* link : links)
        link->RecordChanged();
}

void TDataSource::FieldChanged(TField* field) {
    const QList<TDataLink*> links = m_links; // a link may leave while it is told
    for (TDataLink* link : links)
        link->FieldChanged(field);
}

void TDataSource::StateChanged() {
    const QList<TDataLink*> links = m_links; // a link may leave while it is told
    for (TDataLink* link : links)
        link->StateChanged();
}

void TDataSource::DataSetChanged() {
    const QList<TDataLink*> links = m_links; // a link may leave while it is told
    for (TDataLink* link : links)
        link->DataSetChanged();
}

void Relink(QPointer<TDataSource>& held, TDataSource* next, TDataLink* link) {
    if (held)
        held->RemoveLink(link);
    held = next;
    if (held)
        held->AddLink(link);
}

} // namespace varnel
