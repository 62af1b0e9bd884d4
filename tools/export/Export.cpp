#include "tools/export/Export.h"

#include "base/Errors.h"
#include "store/Csv.h"
#include "store/Tables.h"
#include "store/engine/DbfCodec.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Digits.h"

#include <QDate>
#include <QFileInfo>
#include <QLocale>

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

namespace {

using Format = ExportFormat;

// A Decimal owning its digits: a value sought by --where outlives every record it is matched
// to.
struct OwnedDecimal {
    bool negative = false;
    std::string whole, fraction;
    bool operator==(const Decimal& d) const {
        return negative == d.negative && whole == d.whole && fraction == d.fraction;
    }
};

struct Condition {
    int column = -1;
    int offset = 0, length = 0; // of the field in the record
    Variant value;
    std::optional<FieldMatcher> matcher; // for every type but numbers
    std::optional<OwnedDecimal> number;  // for numbers
    // A field the file lacks (absentColumn): blank in every record, so it holds for all of them
    // when a blank is sought, and for none otherwise.
    bool absent = false, blankSought = false;
};

class Failure {
public:
    Failure(int status, QString message) : status(status), message(std::move(message)) {}
    int status;
    QString message;
};

[[noreturn]] void wrongUse(const QString& why) {
    throw Failure(2, why);
}

// A numeric field's bytes in a form other than plain digits, as a number, or nothing for the
// '*' of an overflow (read as a blank, as the codec reads it). Bytes the codec refuses throw its
// error, so a damaged record fails the export just as a decoded read would.
std::optional<Decimal> unusualNumber(const DbfFile& file, const char* record, int column,
                                     std::string_view text, std::string& storage) {
    const Variant value = file.decode(record, column);
    if (value.isNull())
        return std::nullopt;
    Decimal number;
    if (ReadDecimal(text, storage, number))
        return number;
    // What is left ("+-5") the codec reads into no more digits than a double keeps.
    char digits[400];
    const auto result = value.type() == Variant::Type::Integer
                            ? std::to_chars(digits, digits + sizeof digits, value.toInteger())
                            : std::to_chars(digits, digits + sizeof digits, value.toReal(),
                                            std::chars_format::fixed);
    storage.assign(digits, result.ptr);
    ReadPlainDecimal(storage, number);
    return number;
}

// A numeric field as a number into `number`, or false for a blank. Plain digits are read in
// place, with nothing decoded: the scan of a large table spends its time here. The number is
// filled in rather than returned, since copying it out stalled the scan on every record; both
// this and ReadPlainDecimal are inline for GCC to fold them into the scan's loop (a third fewer
// instructions per record).
inline bool numberIn(const DbfFile& file, const char* record, int column, int offset, int length,
                     std::string& storage, Decimal& number) {
    const std::string_view text = Unpadded(record + offset, length);
    if (text.empty())
        return false;
    if (ReadPlainDecimal(text, number))
        return true;
    const std::optional<Decimal> unusual = unusualNumber(file, record, column, text, storage);
    if (unusual)
        number = *unusual;
    return unusual.has_value();
}

// A number given on the command line, read as Variant::parseNumber reads it (the locale's
// decimal separator or '.', a sign, an exponent, blanks around), kept as its digits.
std::optional<OwnedDecimal> numberFrom(const QString& text) {
    try {
        Variant::parseNumber(text); // refuses what is no number, and values no double holds
    } catch (const EConvertError&) {
        return std::nullopt;
    }
    const QChar separator = QLocale().decimalPoint().at(0);
    std::string ascii;
    for (const QChar c : text.trimmed()) {
        if (c == separator)
            ascii += '.';
        else if (c != QLatin1Char('+')) // parseNumber let it stand only where it says nothing
            ascii += char(c.toLatin1());
    }
    std::string storage;
    Decimal number;
    if (!ReadDecimal(ascii, storage, number))
        return std::nullopt;
    return OwnedDecimal{number.negative, std::string(number.whole), std::string(number.fraction)};
}

// A value given on the command line as the field's type reads it; numbers are read apart
// (numberFrom), as digits.
Variant valueFor(const DbfColumn& column, const QString& text) {
    switch (column.type) {
    case 'D': {
        QDate date = QDate::fromString(text, Qt::ISODate);
        if (!date.isValid())
            date = QDate::fromString(text, QStringLiteral("yyyyMMdd"));
        if (!date.isValid())
            wrongUse(QStringLiteral("поле %1 — дата, а «%2» — не дата вида ГГГГ-ММ-ДД")
                         .arg(column.name, text));
        return Variant(date);
    }
    case 'L': {
        const QString t = text.trimmed().toLower();
        if (t == QLatin1String("t") || t == QLatin1String("true") || t == QLatin1String("y"))
            return Variant(1);
        if (t == QLatin1String("f") || t == QLatin1String("false") || t == QLatin1String("n"))
            return Variant(0);
        wrongUse(QStringLiteral("поле %1 логическое: T или F, а не «%2»").arg(column.name, text));
    }
    default:
        return text.isEmpty() ? Variant() : Variant(text);
    }
}

// A decoded field's value as text of the output, or nothing for a blank. Numbers are written
// from their bytes (numberIn), never decoded.
std::optional<std::string> plain(const DbfColumn& column, const Variant& value) {
    if (value.isNull()) // blank text is empty text, as other readers give it; blank else none
        return column.type == 'C' ? std::optional(std::string()) : std::nullopt;
    std::string text;
    switch (column.type) {
    case 'D':
        text = value.toDate().toString(Qt::ISODate).toStdString();
        break;
    case 'L':
        text = value.toInteger() != 0 ? "true" : "false";
        break;
    default:
        text = value.toString().toStdString();
        break;
    }
    return text;
}

} // namespace

void AppendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

ExportRequest ParseExportRequest(const QStringList& arguments, qsizetype first) {
    ExportRequest request;
    const auto wrong = [](const QString& why) { throw ExportUsage{why}; };
    for (qsizetype i = first; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const auto next = [&]() -> QString {
            if (i + 1 >= arguments.size())
                wrong(QStringLiteral("после %1 нужно значение").arg(a));
            return arguments[++i];
        };
        if (a == QLatin1String("--where")) {
            const QString condition = next();
            const qsizetype eq = condition.indexOf(QLatin1Char('='));
            if (eq <= 0)
                wrong(QStringLiteral("условие «%1» не вида ПОЛЕ=ЗНАЧЕНИЕ").arg(condition));
            request.where << qMakePair(condition.left(eq).trimmed(), condition.mid(eq + 1));
        } else if (a == QLatin1String("--fields")) {
            request.fields = next().split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (QString& name : request.fields)
                name = name.trimmed();
            if (request.fields.isEmpty())
                wrong(QStringLiteral("--fields без полей"));
        } else if (a == QLatin1String("--format")) {
            const QString format = next();
            if (format == QLatin1String("csv"))
                request.format = ExportFormat::Csv;
            else if (format == QLatin1String("tsv"))
                request.format = ExportFormat::Tsv;
            else if (format == QLatin1String("json"))
                request.format = ExportFormat::Json;
            else
                wrong(QStringLiteral("формат «%1» неизвестен: csv, tsv или json").arg(format));
        } else if (a.startsWith(QLatin1Char('-'))) {
            wrong(QStringLiteral("неизвестный ключ %1").arg(a));
        } else if (request.table.isEmpty()) {
            request.table = a;
        } else {
            wrong(QStringLiteral("таблица одна, а названо две: %1 и %2").arg(request.table, a));
        }
    }
    if (request.table.isEmpty())
        wrong(QStringLiteral("не названа таблица"));
    return request;
}

namespace {

class Exporter {
public:
    explicit Exporter(const QStringList& arguments) { parse(arguments); }

    void run(std::FILE* out) {
        DbfFile file(m_path);
        file.open(DbfFile::Access::Read);
        resolve(file);
        std::string buffer;
        buffer.reserve(1 << 20);
        header(buffer);
        bool first = true;
        const std::uint32_t count = file.recordCount();
        for (std::uint32_t i = 0; i < count;) {
            std::uint32_t run = 0;
            const char* record = file.recordRun(i, +1, run);
            for (; run > 0 && i < count; --run, ++i, record += file.recordLength()) {
                if (record[0] == '*' || !matches(file, record))
                    continue;
                row(buffer, file, record, first);
                first = false;
                if (buffer.size() > (1u << 20) - 4096) {
                    flush(buffer, out);
                    buffer.clear();
                }
            }
        }
        if (m_format == Format::Json)
            buffer += first ? "[]\n" : "\n]\n";
        flush(buffer, out);
    }

private:
    void parse(const QStringList& arguments) {
        ExportRequest request = ParseExportRequest(arguments, 0);
        m_path = request.table;
        m_where = request.where;
        m_fieldNames = request.fields;
        m_format = request.format;
    }

    // A field of the program's table that a file of it written before the field was lacks (a
    // history without KASSIR): read blank, as the program reads it. A column numbered after
    // the file's own; -1 for any other name.
    int absentColumn(const DbfFile& file, const QString& name) {
        const QString fileName = QFileInfo(m_path).fileName();
        for (const TableDescription* table : AllTables()) {
            if (fileName.compare(table->file, Qt::CaseInsensitive) != 0)
                continue;
            const FieldDescription* field = table->Field(QLatin1String(name.toLatin1()));
            if (!field || !field->mayBeMissing)
                return -1;
            const std::string wanted = QString(field->name).toStdString();
            for (std::size_t c = file.columns().size(); c < m_names.size(); ++c)
                if (m_names[c] == wanted)
                    return int(c);
            m_names.push_back(wanted);
            m_absentTypes.push_back(field->written.type);
            return int(m_names.size() - 1);
        }
        return -1;
    }

    int column(const DbfFile& file, const QString& name) {
        int c = file.columnIndex(name);
        if (c < 0)
            c = absentColumn(file, name);
        if (c < 0) {
            QStringList names;
            for (const DbfColumn& column : file.columns())
                names << column.name;
            throw Failure(1, QStringLiteral("Таблица «%1»: поля %2 в ней нет (есть: %3).")
                                 .arg(file.displayName(), name.toUpper(), names.join(", ")));
        }
        return c;
    }

    void resolve(const DbfFile& file) {
        for (const DbfColumn& c : file.columns())
            m_names.push_back(c.name.toStdString());
        if (m_fieldNames.isEmpty())
            for (int c = 0; c < file.columns().size(); ++c)
                m_columns.push_back(c);
        else
            for (const QString& name : m_fieldNames)
                m_columns.push_back(column(file, name));
        for (const auto& [name, text] : m_where) {
            Condition condition;
            condition.column = column(file, name);
            if (condition.column >= file.columns().size()) {
                condition.absent = true;
                condition.blankSought = text.trimmed().isEmpty();
                m_conditions.push_back(std::move(condition));
                continue;
            }
            const DbfColumn& c = file.columns()[condition.column];
            condition.offset = c.offset;
            condition.length = c.length;
            if (c.type == 'N' || c.type == 'F') {
                condition.number = numberFrom(text);
                if (!condition.number)
                    wrongUse(
                        QStringLiteral("поле %1 числовое, а «%2» — не число").arg(c.name, text));
            } else {
                condition.value = valueFor(c, text);
                condition.matcher.emplace(file.codec(), condition.column, condition.value);
            }
            m_conditions.push_back(std::move(condition));
        }
    }

    bool matches(const DbfFile& file, const char* record) {
        for (const Condition& c : m_conditions) {
            if (c.absent) {
                if (!c.blankSought)
                    return false;
                continue;
            }
            if (c.number) {
                Decimal number;
                if (!numberIn(file, record, c.column, c.offset, c.length, m_numberDigits, number) ||
                    !(*c.number == number))
                    return false;
                continue;
            }
            switch (c.matcher->match(record)) {
            case ByteMatch::Same:
                continue;
            case ByteMatch::Different:
                return false;
            case ByteMatch::Unsure:
                if (file.decode(record, c.column).compare(c.value) !=
                    std::partial_ordering::equivalent)
                    return false;
            }
        }
        return true;
    }

    void header(std::string& out) const {
        if (m_format == Format::Json)
            return; // the array opens with its first record

        const char separator = m_format == Format::Csv ? ',' : '\t';
        bool first = true;
        for (const int c : m_columns) {
            if (!first)
                out += separator;
            first = false;
            AppendDelimited(out, m_names[std::size_t(c)], separator);
        }
        out += '\n';
    }

    // A field as the output writes it, into m_text: a number's digits or a logical (bare in
    // JSON), a text, or nothing for a blank.
    enum class Kind { None, Bare, Text };
    Kind field(const DbfFile& file, const char* record, int c) {
        m_text.clear();
        if (c >= file.columns().size()) // absent: blank text is empty text, a blank else none
            return m_absentTypes[std::size_t(c) - file.columns().size()] == 'C' ? Kind::Text
                                                                                : Kind::None;
        const DbfColumn& column = file.columns()[c];
        if (column.type == 'N' || column.type == 'F') {
            Decimal number;
            if (!numberIn(file, record, c, column.offset, column.length, m_numberDigits, number))
                return Kind::None;
            AppendDecimal(m_text, number);
            return Kind::Bare;
        }
        std::optional<std::string> text = plain(column, file.decode(record, c));
        if (!text)
            return Kind::None;
        m_text = std::move(*text);
        return column.type == 'L' ? Kind::Bare : Kind::Text;
    }

    void row(std::string& out, const DbfFile& file, const char* record, bool first) {
        if (m_format == Format::Json) {
            out += first ? "[\n{" : ",\n{";
            bool firstField = true;
            for (const int c : m_columns) {
                if (!firstField)
                    out += ", ";
                firstField = false;
                AppendJsonString(out, m_names[std::size_t(c)]);
                out += ": ";
                switch (field(file, record, c)) {
                case Kind::None:
                    out += "null";
                    break;
                case Kind::Bare:
                    out += m_text;
                    break;
                case Kind::Text:
                    AppendJsonString(out, m_text);
                    break;
                }
            }
            out += '}';
            return;
        }
        const char separator = m_format == Format::Csv ? ',' : '\t';
        bool firstField = true;
        for (const int c : m_columns) {
            if (!firstField)
                out += separator;
            firstField = false;
            if (field(file, record, c) != Kind::None)
                AppendDelimited(out, m_text, separator);
        }
        out += '\n';
    }

    static void flush(const std::string& buffer, std::FILE* out) {
        if (!buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), out) != buffer.size())
            throw Failure(1, QStringLiteral("вывод не записывается"));
    }

    QString m_path;
    QList<QPair<QString, QString>> m_where;
    QStringList m_fieldNames;
    Format m_format = Format::Csv;
    std::vector<int> m_columns;
    std::vector<Condition> m_conditions;
    std::vector<std::string> m_names; // the file's columns', then those of absent fields
    std::vector<char> m_absentTypes;  // the types of the absent fields (absentColumn)
    std::string m_text;               // the field being written
    std::string m_numberDigits; // a number's digits when its bytes do not hold them as written
};

} // namespace

const char kExportUsage[] =
    "Использование:\n"
    "  varnel-export ТАБЛИЦА.DBF [--where ПОЛЕ=ЗНАЧЕНИЕ ...] [--fields ПОЛЕ,ПОЛЕ,...]\n"
    "                [--format csv|tsv|json]\n"
    "  varnel-export --server СТРОКА_СОЕДИНЕНИЯ ТАБЛИЦА [--where ПОЛЕ=ЗНАЧЕНИЕ ...]\n"
    "                [--fields ПОЛЕ,ПОЛЕ,...] [--format csv|tsv|json]\n"
    "  varnel-export --server СТРОКА_СОЕДИНЕНИЯ --to-folder ПАПКА\n"
    "  varnel-export --help\n"
    "\n"
    "Пишет живые записи таблицы dBASE на стандартный вывод в UTF-8: числа с точкой,\n"
    "даты ГГГГ-ММ-ДД. Таблица только читается.\n"
    "\n"
    "  --where ПОЛЕ=ЗНАЧЕНИЕ       только записи, где поле равно значению (можно\n"
    "                              несколько: должны выполняться все)\n"
    "  --fields ПОЛЕ,ПОЛЕ,...      только эти поля, в этом порядке\n"
    "  --format csv|tsv|json       вид вывода (по умолчанию csv)\n"
    "  --server СТРОКА_СОЕДИНЕНИЯ  таблица книг на сервере PostgreSQL (строка соединения\n"
    "                              libpq): compit, priem, money, tmp или history\n"
    "  --to-folder ПАПКА           все книги сервера, прочитанные в один момент,\n"
    "                              файлами .DBF в ПАПКУ\n"
    "  --help                      эта справка\n"
    "\n"
    "Код выхода: 0 — записано; 1 — таблица или сервер не читается, или в таблице нет\n"
    "поля; 2 — неверная командная строка.\n";

int RunExport(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    if (arguments.size() == 1 &&
        (arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h")))
        return std::fputs(kExportUsage, out) >= 0 && std::fflush(out) == 0 ? 0 : 1;
    if (!arguments.isEmpty() && arguments[0] == QLatin1String("--server"))
        return RunServerExport(arguments, out, err);
    try {
        Exporter exporter(arguments);
        exporter.run(out);
        return std::fflush(out) == 0 ? 0 : 1;
    } catch (const ExportUsage& usage) {
        std::fprintf(err, "varnel-export: %s\n", usage.why.toLocal8Bit().constData());
        std::fputs(kExportUsage, err);
        return 2;
    } catch (const Failure& failure) {
        std::fprintf(err, "varnel-export: %s\n", failure.message.toLocal8Bit().constData());
        if (failure.status == 2)
            std::fputs(kExportUsage, err);
        return failure.status;
    } catch (const EVarnelError& error) {
        std::fprintf(err, "varnel-export: %s\n", error.message().toLocal8Bit().constData());
        return 1;
    }
}

} // namespace varnel
