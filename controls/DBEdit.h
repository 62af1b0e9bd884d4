#pragma once

#include "store/engine/DataSet.h"
#include "store/engine/DataSource.h"

#include <QLineEdit>
#include <QPointer>

namespace varnel {

class TDataSource;

// An edit box bound to one field of a data source. It shows that field of the current
// record; what the operator types goes into the pending record when the record is
// written or settled (an empty box writes Null). Typing is limited to the size of a
// string field, and to times when a record is pending, so that nothing typed is lost.
class TDBEdit : public QLineEdit, public TDataLink {
    Q_OBJECT
public:
    explicit TDBEdit(QWidget* parent = nullptr);
    ~TDBEdit() override;

    void SetDataSource(TDataSource* source);
    void SetDataField(const QString& field);
    TDataSource* DataSource() const { return m_source; }
    const QString& DataField() const { return m_fieldName; }

    // The text in the box, not the field.
    QString GetEditText() const { return text(); }

    void UpdateData() override;
    void RecordChanged() override { Refresh(); }
    void FieldChanged(TField* field) override;
    void StateChanged() override { Refresh(); }
    void DataSetChanged() override { Refresh(); }

private:
    void Refresh();
    TField* Field() const;

    QPointer<TDataSource> m_source;
    QString m_fieldName;
};

} // namespace varnel
