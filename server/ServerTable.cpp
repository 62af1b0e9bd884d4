#include "server/ServerTable.h"

#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "store/Tables.h"
#include "store/engine/DbfCodec.h"
#include "store/engine/Field.h"

#include <QDate>

#include <algorithm>
#include <charconv>

#include <cmath>

namespace varnel {

namespace {

// Rows a move reads at once around the cursor.
constexpr int kPage = 64;

std::unique_ptr<DbfCodec> layoutOf(const TableDescription& description) {
    const QByteArray empty = dbf::EmptyTable(description.Columns(), QDate::currentDate());
    const dbf::Header header = dbf::ParseHeader(empty, description.file);
    const QList<DbfColumn> columns = dbf::ParseColumns(
        QByteArrayView(empty).sliced(dbf::kHeaderSize, header.headerLength - dbf::kHeaderSize),
        header.recordLength, description.file);
    return std::make_unique<DbfCodec>(columns, header.recordLength, header.languageDriver,
                                      QString(description.file));
}

Variant fromServer(const QVariant& value, TFieldType type) {
    if (value.isNull())
        return {};
    switch (type) {
    case TFieldType::Smallint:
    case TFieldType::Integer:
        return Variant(std::int64_t(value.toLongLong()));
    case TFieldType::Float: {
        // The server's shortest decimal, read back correctly rounded (without QLocale's cost).
        const QByteArray text = value.toString().toLatin1();
        double real = 0;
        std::from_chars(text.constData(), text.constData() + text.size(), real);
        return Variant(real);
    }
    case TFieldType::Date:
        return Variant(value.toDate());
    case TFieldType::Logical:
        return Variant(std::int64_t(value.toBool() ? 1 : 0));
    case TFieldType::String:
        break;
    }
    const QString text = value.toString();
    return text.isEmpty() ? Variant() : Variant(text);
}

} // namespace

TServerTable::TServerTable(ServerConnection& server, const TableDescription& description,
                           QObject* parent)
    : TDataSet(parent), m_server(server), m_description(description),
      m_table(ServerTable(description)), m_layout(layoutOf(description)) {
    m_exactFields = description.exactFields;
}

TServerTable::~TServerTable() = default;

QString TServerTable::DisplayName() const {
    return m_description.file;
}

void TServerTable::OpenStorage() {
    if (Fields().isEmpty())
        m_description.MakeFields(this);
    // A counter's scratch is its own: on shared books no operator writes it (the number box of
    // the result dialog is then a plain box).
    if (&m_description == &TmpTable())
        throw EDatabaseError(
            QStringLiteral("Таблица «%1» на сервере книг не ведётся.").arg(DisplayName()));
    const QVariant found = m_server.Value(
        QStringLiteral("select count(*) from information_schema.tables where table_schema = "
                       "'varnel' and table_name = ?"),
        {m_table});
    if (found.toInt() != 1)
        throw EDatabaseError(QStringLiteral("Таблица «%1»: на сервере «%2» её нет.")
                                 .arg(DisplayName(), m_server.Server()));
    m_columns.clear();
    QStringList select;
    for (TField* field : Fields()) {
        // What no operator may read is left out, read blank, never written from here.
        const FieldDescription* described =
            m_description.Field(QLatin1String(field->FieldName().toLatin1()));
        field->SetMissing(described && (described->sealed || described->keptApart));
        if (field->Missing())
            continue;
        int column = -1;
        for (int c = 0; c < m_layout->columns().size(); ++c)
            if (m_layout->columns()[c].name.compare(field->FieldName(), Qt::CaseInsensitive) == 0)
                column = c;
        if (column < 0)
            throw EDatabaseError(QStringLiteral("Таблица «%1»: на сервере нет поля %2.")
                                     .arg(DisplayName(), field->FieldName()));
        field->SetColumn(column, m_layout->columns().at(column).decimals);
        const QString name = field->FieldName().toLower();
        m_columns << name;
        select << (field->DataType() == TFieldType::Float ? name + QStringLiteral("::text") : name);
    }
    m_selectList = QStringLiteral("key, ") + select.join(QStringLiteral(", "));
    m_rows.clear();
}

void TServerTable::CloseStorage() {
    m_rows.clear();
}

QVector<RecordKey> TServerTable::Page(const QString& where, const QVariantList& values, int wanted,
                                      bool descending) const {
    m_rows.clear();
    ServerRows query =
        m_server.Exec(QStringLiteral("select %1 from varnel.%2 where %3 order by key %4 limit %5")
                          .arg(m_selectList, m_table, where,
                               descending ? QStringLiteral("desc") : QStringLiteral("asc"))
                          .arg(wanted),
                      values);
    QVector<RecordKey> keys;
    while (query.Next())
        keys << Keep(query);
    return keys;
}

RecordKey TServerTable::Keep(const ServerRows& query) const {
    const RecordKey key = query.Value(0).toLongLong();
    QVector<Variant> row(Fields().size());
    int column = 1;
    for (int i = 0; i < Fields().size(); ++i)
        row[i] = Fields()[i]->Missing()
                     ? Fields()[i]->BlankValue()
                     : fromServer(query.Value(column++), Fields()[i]->DataType());
    m_rows.insert(key, row);
    return key;
}

const QVector<Variant>* TServerTable::Row(RecordKey key) const {
    if (const auto it = m_rows.constFind(key); it != m_rows.constEnd())
        return &*it;
    // Read with the page that follows it, as a walk forward goes on.
    const QVector<RecordKey> keys =
        Page(QStringLiteral("key >= ?"), {qlonglong(key)}, kPage, false);
    if (keys.isEmpty() || keys.first() != key)
        return nullptr;
    return &*m_rows.constFind(key);
}

RecordKey TServerTable::StorageEnd() const {
    // Asked for the grids' scroll bars as well as for the walks: with the server out of reach
    // the last answer stands, and the next read of a record says what is wrong.
    try {
        m_end =
            m_server
                .Value(QStringLiteral("select coalesce(max(key), -1) + 1 from varnel.") + m_table)
                .toLongLong();
    } catch (const EServerError&) {
    }
    return m_end;
}

bool TServerTable::StorageLive(RecordKey key) const {
    return key >= 0 && Row(key) != nullptr;
}

QVector<RecordKey> TServerTable::StorageForward(RecordKey from, int wanted) const {
    if (wanted <= 0)
        return {};
    QVector<RecordKey> keys =
        Page(QStringLiteral("key >= ?"), {qlonglong(std::max<RecordKey>(from, 0))},
             std::max(wanted, kPage), false);
    if (keys.size() > wanted)
        keys.resize(wanted);
    return keys;
}

QVector<RecordKey> TServerTable::StorageBackward(RecordKey from, int wanted) const {
    if (wanted <= 0 || from < 0)
        return {};
    QVector<RecordKey> keys =
        Page(QStringLiteral("key <= ?"), {qlonglong(from)}, std::max(wanted, kPage), true);
    if (keys.size() > wanted)
        keys.resize(wanted);
    return keys;
}

Variant TServerTable::StoredValue(RecordKey key, const TField* field) const {
    const QVector<Variant>* row = Row(key);
    if (!row)
        throw EDatabaseError(QStringLiteral("Таблица «%1»: записи больше нет (её изменила "
                                            "другая касса).")
                                 .arg(DisplayName()));
    return row->at(Fields().indexOf(const_cast<TField*>(field)));
}

QVector<Variant> TServerTable::StoredRecord(RecordKey key) const {
    const QVector<Variant>* row = Row(key);
    if (!row)
        throw EDatabaseError(QStringLiteral("Таблица «%1»: записи больше нет (её изменила "
                                            "другая касса).")
                                 .arg(DisplayName()));
    return *row;
}

void TServerTable::CheckValueFits(int field, const Variant& value) const {
    QByteArray probe = m_layout->blankRecord();
    try {
        m_layout->encode(probe.data(), Fields()[field]->ColumnIndex(), value);
    } catch (const EConvertError& error) {
        throw EConvertError(
            QStringLiteral("Поле %1: %2").arg(Fields()[field]->Title(), error.message()));
    }
}

void TServerTable::CheckFitsAll(const QVector<Variant>& values) const {
    for (int i = 0; i < Fields().size(); ++i)
        if (!Fields()[i]->Missing())
            CheckValueFits(i, values[i]);
}

QVariant ServerValue(const Variant& value, const TField& field) {
    // What the program's own file would hold: text without trailing blanks, numbers to the
    // column's decimals, exactly.
    if (value.isNull())
        return {};
    switch (field.DataType()) {
    case TFieldType::Smallint:
    case TFieldType::Integer:
        return QVariant(qlonglong(value.toInteger()));
    case TFieldType::Float: {
        // The exact binary value rounded to the column's decimals, a tie to the even digit, as
        // the program's file writes it (Qt's own formatting takes a tie away from zero).
        const double real = value.toReal();
        char text[352];
        const auto written = std::to_chars(text, text + sizeof text, real, std::chars_format::fixed,
                                           std::max(field.StoredDecimals(), 0));
        if (written.ec != std::errc())
            return QVariant(QString::number(real, 'g', 17));
        QString number = QString::fromLatin1(text, written.ptr - text);
        if (number.startsWith(QLatin1Char('-')) &&
            std::all_of(number.begin() + 1, number.end(),
                        [](QChar c) { return c == QLatin1Char('0') || c == QLatin1Char('.'); }))
            number.remove(0, 1); // no negative zero
        return QVariant(number);
    }
    case TFieldType::Date:
        return QVariant(value.toDate());
    case TFieldType::Logical:
        return QVariant(value.toInteger() != 0);
    case TFieldType::String:
        break;
    }
    QString text = value.toString();
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text.isEmpty() ? QVariant() : QVariant(text);
}

QVariantList TServerTable::Bound(const QVector<Variant>& values) const {
    QVariantList bound;
    for (int i = 0; i < Fields().size(); ++i)
        if (!Fields()[i]->Missing())
            bound << ServerValue(values[i], *Fields()[i]);
    return bound;
}

RecordKey TServerTable::AppendRecord(const QVector<Variant>& values) {
    CheckFitsAll(values);
    BeforeWrite();
    // A blank value is left to the column's default: a bet's serial is the server's.
    QVariantList bound;
    QStringList columns, marks;
    const QVariantList all = Bound(values);
    for (int i = 0; i < m_columns.size(); ++i) {
        if (all[i].isNull())
            continue;
        bound << all[i];
        columns << m_columns[i];
        marks << QStringLiteral("?");
    }
    m_rows.clear();
    // The row comes back as the server holds it: the reads that follow the write ask nothing
    // more.
    ServerRows query = m_server.Exec(
        columns.isEmpty() ? QStringLiteral("insert into varnel.%1 default values returning %2")
                                .arg(m_table, m_selectList)
                          : QStringLiteral("insert into varnel.%1 (%2) values (%3) returning %4")
                                .arg(m_table, columns.join(','), marks.join(','), m_selectList),
        bound);
    if (!query.Next())
        throw EDatabaseError(
            QStringLiteral("Таблица «%1»: запись не добавлена.").arg(DisplayName()));
    return Keep(query);
}

void TServerTable::WriteRecord(RecordKey key, const QVector<Variant>& values) {
    CheckFitsAll(values);
    BeforeWrite();
    QStringList sets;
    for (const QString& column : m_columns)
        sets << column + QStringLiteral(" = ?");
    QVariantList bound = Bound(values);
    bound << qlonglong(key);
    m_rows.clear();
    // The row comes back as the server now holds it, so the read that follows the write asks
    // nothing more.
    ServerRows query =
        m_server.Exec(QStringLiteral("update varnel.%1 set %2 where key = ? returning %3")
                          .arg(m_table, sets.join(','), m_selectList),
                      bound);
    if (!query.Next())
        throw EDatabaseError(QStringLiteral("Таблица «%1»: записи больше нет (её изменила "
                                            "другая касса); ничего не записано.")
                                 .arg(DisplayName()));
    Keep(query);
}

void TServerTable::DeleteRecord(RecordKey key) {
    BeforeWrite();
    m_rows.clear();
    ServerRows query = m_server.Exec(
        QStringLiteral("delete from varnel.%1 where key = ?").arg(m_table), {qlonglong(key)});
    if (query.Affected() != 1)
        throw EDatabaseError(QStringLiteral("Таблица «%1»: записи больше нет (её изменила "
                                            "другая касса); ничего не записано.")
                                 .arg(DisplayName()));
}

RecordKey TServerTable::StorageFind(RecordKey from, int step, const TField* field,
                                    const Variant& value) const {
    const QString column = field->FieldName().toLower();
    QString match;
    QVariantList values{qlonglong(from)};
    if (value.isNull()) {
        match = column + QStringLiteral(" is null");
    } else {
        switch (field->DataType()) {
        case TFieldType::String:
            match = QStringLiteral("rtrim(%1) = rtrim(?)").arg(column);
            values << value.toString();
            break;
        case TFieldType::Date:
            match = column + QStringLiteral(" = ?");
            values << value.toDate();
            break;
        default: {
            // As the cursor compares: a number equal in value, whatever its digits.
            Variant number = value;
            if (number.type() == Variant::Type::String)
                number = Variant::parseNumber(number.toString());
            const double real = number.toReal();
            const bool whole = field->DataType() == TFieldType::Smallint ||
                               field->DataType() == TFieldType::Integer;
            if (whole && std::trunc(real) == real && std::fabs(real) < 9e15) {
                // A whole number against a column of whole numbers is compared as integers: the
                // column is not converted to numeric row by row, and an index on it can serve.
                match = column + QStringLiteral(" = ?::bigint");
                values << qlonglong(real);
            } else {
                match = column + QStringLiteral(" = ?::numeric");
                values << QString::number(real, 'g', 17);
            }
            break;
        }
        }
    }
    const QVector<RecordKey> keys =
        Page((step > 0 ? QStringLiteral("key > ? and ") : QStringLiteral("key < ? and ")) + match,
             values, 1, step < 0);
    return keys.isEmpty() ? -1 : keys.first();
}

void TServerTable::DropHeldWrites() {
    m_rows.clear(); // what a rolled-back transaction wrote is gone from the server
}

bool TServerTable::WritesHeld() const {
    return m_server.InTransaction();
}

} // namespace varnel
