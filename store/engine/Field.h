#pragma once

#include "store/engine/Variant.h"

#include <QObject>
#include <QString>

namespace varnel {

class TDataSet;
struct DbfColumn;

enum class TFieldType { Smallint, Integer, Float, Date, String, Logical };

// The least a file's column must offer for a field to be usable: its width, the digits after
// the point, and the characters before it (sign and point included).
struct ColumnNeeds {
    int width = 0;
    int decimals = 0;
    int beforePoint = 0;
};

// How messages name a field of that label and column, «Команда 1» (KOM1); and a refusal of a
// value of that field, so named.
QString FieldTitle(const QString& label, const QString& name);
QString FieldRefusal(const QString& title, const QString& why);
// Why a field refuses what is written to it: text longer than its size; a whole number out of
// its type's range.
QString TextTooLongMessage(int size);
QString OutOfRangeMessage(const QString& value, double low, double high);

// A field object: one named column of a dataset as the windows see it, with its type, the
// title the browsers show, and the conversion of whatever is written to it.
class TField : public QObject {
    Q_OBJECT
public:
    TField(TDataSet* dataSet, const QString& fieldName, TFieldType type, int size = 0,
           const QString& displayLabel = {});

    const QString& FieldName() const { return m_fieldName; }
    TFieldType DataType() const { return m_type; }
    // Characters for a string field; 0 for the others.
    int Size() const { return m_size; }
    QString DisplayLabel() const { return m_displayLabel.isEmpty() ? m_fieldName : m_displayLabel; }
    void SetDisplayLabel(const QString& label) { m_displayLabel = label; }
    // What a file's column must offer; by default any width and decimals of the right type.
    const ColumnNeeds& Needs() const { return m_needs; }
    void SetNeeds(const ColumnNeeds& needs) { m_needs = needs; }
    // A field added to the table after files of it were written: such a file may lack it, and
    // is opened as it is. While the open storage lacks it (Missing), it reads blank (BlankValue)
    // and what is written to it is left out; a storage lacking any other field is refused.
    bool MayBeMissing() const { return m_mayBeMissing; }
    void SetMayBeMissing(bool mayBeMissing) { m_mayBeMissing = mayBeMissing; }
    bool Missing() const { return m_missing; }
    void SetMissing(bool missing) { m_missing = missing; }
    // What a blank column of this field's type reads as: empty text, or no value.
    Variant BlankValue() const;
    TDataSet* DataSet() const { return m_dataSet; }

    // Digits shown after the point, for amounts of money; -1 shows a number as it is.
    int DisplayDecimals() const { return m_displayDecimals; }
    void SetDisplayDecimals(int decimals) { m_displayDecimals = decimals; }

    // The value of the current record, and its text as the operator reads it.
    Variant Value() const;
    QString DisplayText() const;
    QString Text(const Variant& value) const;
    static QString TextOf(TFieldType type, const Variant& value);

    // Turns a value into this field's type: text read as a number or a date, a small
    // integer checked against its range. Throws an EConvertError that names the field.
    Variant Convert(const Variant& value) const;

    // Whether a file's column can hold this field; an empty text when it can, else why not.
    QString Mismatch(const DbfColumn& column) const;

    // The column of the open file that holds this field (-1 while it is Missing), and the digits
    // after the point it keeps (a file of another writer may keep more than ours, or fewer).
    int ColumnIndex() const { return m_column; }
    int StoredDecimals() const { return m_storedDecimals; }
    void SetColumn(int column, int decimals) {
        m_column = column;
        m_storedDecimals = decimals;
    }

    // How messages name the field: its label and its column, «Команда 1» (KOM1).
    QString Title() const;

private:
    TDataSet* m_dataSet;
    QString m_fieldName;
    TFieldType m_type;
    int m_size;
    QString m_displayLabel;
    ColumnNeeds m_needs;
    bool m_mayBeMissing = false;
    bool m_missing = false;
    int m_displayDecimals = -1;
    int m_column = -1;
    int m_storedDecimals = 0;
};

} // namespace varnel
