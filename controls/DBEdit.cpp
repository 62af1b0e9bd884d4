#include "controls/DBEdit.h"

#include "base/Errors.h"
#include "store/engine/DataSource.h"
#include "store/engine/Field.h"

namespace varnel {

TDBEdit::TDBEdit(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true); // until it is bound: a form binds its boxes when first shown
}

TDBEdit::~TDBEdit() {
    if (m_source)
        m_source->RemoveLink(this);
}

void TDBEdit::SetDataSource(TDataSource* source) {
    Relink(m_source, source, this);
    Refresh();
}

void TDBEdit::SetDataField(const QString& field) {
    m_fieldName = field;
    Refresh();
}

TField* TDBEdit::Field() const {
    if (!m_source || !m_source->DataSet() || !m_source->DataSet()->Active())
        return nullptr;
    return m_source->DataSet()->FindField(m_fieldName);
}

void TDBEdit::Refresh() {
    TField* field = Field();
    const auto state = field ? field->DataSet()->state() : TDataSet::State::Inactive;
    // Bound, the box takes typing only while a record is pending, so that nothing typed is
    // lost; bound to nothing, it is a plain box.
    setReadOnly(m_source && state != TDataSet::State::Insert && state != TDataSet::State::Edit);
    setMaxLength(field && field->Size() > 0 ? field->Size() : 32767);
    QString shown;
    if (field) {
        try {
            shown = field->DisplayText();
        } catch (const EVarnelError&) {
            // A damaged value shows as an empty box; reading it in a handler reports it.
        }
    }
    setText(shown); // also clears the modified flag: the box now shows the field
}

void TDBEdit::FieldChanged(TField* field) {
    if (field == Field())
        Refresh();
}

void TDBEdit::UpdateData() {
    TField* field = Field();
    if (!field || !isModified())
        return;
    const QString typed = text();
    field->DataSet()->SetFieldValue(m_fieldName, typed.isEmpty() ? Variant() : Variant(typed));
}

} // namespace varnel
