#include "store/engine/Field.h"

#include "base/Errors.h"
#include "store/engine/Convert.h"
#include "store/engine/DataSet.h"
#include "store/engine/DbfFile.h"

#include <QLocale>

#include <cmath>

namespace varnel {

TField::TField(TDataSet* dataSet, const QString& fieldName, TFieldType type, int size,
               const QString& displayLabel)
    : QObject(dataSet), m_dataSet(dataSet), m_fieldName(fieldName.toUpper()), m_type(type),
      m_size(type == TFieldType::String ? size : 0), m_displayLabel(displayLabel) {
    setObjectName(m_fieldName);
    dataSet->AddField(this);
}

Variant TField::Value() const {
    return m_dataSet->GetFieldValue(m_fieldName);
}

Variant TField::BlankValue() const {
    return m_type == TFieldType::String ? Variant(QString()) : Variant();
}

QString TField::DisplayText() const {
    return Text(Value());
}

QString TField::Text(const Variant& value) const {
    if (m_displayDecimals >= 0 && m_type == TFieldType::Float && !value.isNull()) {
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale.toString(value.toReal(), 'f', m_displayDecimals);
    }
    return TextOf(m_type, value);
}

QString TField::TextOf(TFieldType type, const Variant& value) {
    if (value.isNull())
        return {};
    switch (type) {
    case TFieldType::Float:
        return FloatToStr(value.toReal());
    case TFieldType::Date:
        return DateToStr(value.toDate());
    default:
        return value.toString();
    }
}

QString FieldTitle(const QString& label, const QString& name) {
    if (label.isEmpty() || label == name)
        return QStringLiteral("«%1»").arg(name);
    return QStringLiteral("«%1» (%2)").arg(label, name);
}

QString FieldRefusal(const QString& title, const QString& why) {
    return QStringLiteral("Поле %1: %2").arg(title, why);
}

QString TextTooLongMessage(int size) {
    return QStringLiteral("Текст длиннее %1 знаков.").arg(size);
}

QString OutOfRangeMessage(const QString& value, double low, double high) {
    return QStringLiteral("Число %1 вне допустимых пределов (от %2 до %3).")
        .arg(value)
        .arg(low, 0, 'f', 0)
        .arg(high, 0, 'f', 0);
}

QString TField::Title() const {
    return FieldTitle(m_displayLabel, m_fieldName);
}

Variant TField::Convert(const Variant& value) const {
    if (value.isNull())
        return value;
    if (value.type() == Variant::Type::String && value.toString().trimmed().isEmpty() &&
        m_type != TFieldType::String)
        return {};
    try {
        switch (m_type) {
        case TFieldType::Smallint:
        case TFieldType::Integer: {
            const Variant number = value.type() == Variant::Type::String
                                       ? Variant::parseNumber(value.toString())
                                       : value;
            if (number.type() == Variant::Type::Date || number.type() == Variant::Type::String)
                break;
            const double real = number.toReal();
            if (real != std::trunc(real))
                throw EConvertError(
                    QStringLiteral("%1 — не целое число.").arg(Quoted(value.toString())));
            const double low = m_type == TFieldType::Smallint ? -32768.0 : -2147483648.0;
            const double high = m_type == TFieldType::Smallint ? 32767.0 : 2147483647.0;
            if (real < low || real > high)
                throw EConvertError(OutOfRangeMessage(value.toString(), low, high));
            return Variant(number.toInteger());
        }
        case TFieldType::Float:
            if (value.type() == Variant::Type::Date)
                break;
            return Variant(value.toReal());
        case TFieldType::Date:
            return Variant(value.toDate());
        case TFieldType::String: {
            const QString text = value.toString();
            if (m_size > 0 && text.size() > m_size)
                throw EConvertError(TextTooLongMessage(m_size));
            return Variant(text);
        }
        case TFieldType::Logical:
            return Variant(value.toInteger() != 0 ? 1 : 0);
        }
    } catch (const EConvertError& error) {
        throw EConvertError(FieldRefusal(Title(), error.message()));
    }
    throw EConvertError(
        QStringLiteral("Поле %1: значение %2 не подходит.").arg(Title(), Quoted(value.toString())));
}

QString TField::Mismatch(const DbfColumn& column) const {
    const bool numeric = column.type == 'N' || column.type == 'F';
    switch (m_type) {
    case TFieldType::Smallint:
        if (!numeric || column.decimals != 0 || column.length < m_needs.width)
            return QStringLiteral(
                       "поле %1 должно быть целым числом (N, не уже %2 знаков, без дробной "
                       "части), а в файле оно %3(%4,%5)")
                .arg(m_fieldName)
                .arg(m_needs.width)
                .arg(QChar::fromLatin1(column.type))
                .arg(column.length)
                .arg(column.decimals);
        break;
    case TFieldType::Integer:
        if (!numeric || column.decimals != 0)
            return QStringLiteral("поле %1 должно быть целым числом").arg(m_fieldName);
        break;
    case TFieldType::Float:
        if (!numeric || column.length < m_needs.width || column.decimals < m_needs.decimals ||
            column.length - column.decimals < m_needs.beforePoint)
            return QStringLiteral("поле %1 должно быть числом (N или F) не меньше чем с %2 знаками "
                                  "после точки, а в файле оно %3(%4,%5)")
                .arg(m_fieldName)
                .arg(m_needs.decimals)
                .arg(QChar::fromLatin1(column.type))
                .arg(column.length)
                .arg(column.decimals);
        break;
    case TFieldType::Date:
        if (column.type != 'D')
            return QStringLiteral("поле %1 должно быть датой (D), а в файле оно типа %2")
                .arg(m_fieldName, QChar::fromLatin1(column.type));
        break;
    case TFieldType::String:
        if (column.type != 'C' || column.length < m_needs.width)
            return QStringLiteral("поле %1 должно быть текстом (C) не короче %2 знаков, а в файле "
                                  "оно %3(%4)")
                .arg(m_fieldName)
                .arg(m_needs.width)
                .arg(QChar::fromLatin1(column.type))
                .arg(column.length);
        break;
    case TFieldType::Logical:
        if (column.type != 'L')
            return QStringLiteral("поле %1 должно быть логическим (L)").arg(m_fieldName);
        break;
    }
    return {};
}

} // namespace varnel
