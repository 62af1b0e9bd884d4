#include "tools/export/Export.h"

#include "store/engine/DbfCodec.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Errors.h"

#include <QDate>

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace varnel {

namespace {

enum class Format { Csv, Tsv, Json };

struct Condition {
    int column = -1;
    Variant value;
    std::optional<FieldMatcher> matcher;
};

class Failure {
public:
    Failure(int status, QString message) : status(status), message(std::move(message)) {}
    int status;
    QString message;
};

const char* const kUsage =
    "usage: varnel-export TABLE.DBF [--where FIELD=VALUE ...] [--fields A,B,...] "
    "[--format csv|tsv|json]\n";

[[noreturn]] void wrongUse(const QString& why) {
    throw Failure(2, why);
}

// A value given on the command line as the field's type reads it.
Variant valueFor(const DbfColumn& column, const QString& text) {
    switch (column.type) {
    case 'N':
    case 'F':
        try {
            return Variant::parseNumber(text);
        } catch (const EConvertError&) {
            wrongUse(QStringLiteral("поле %1 числовое, а «%2» — не число").arg(column.name, text));
        }
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

void appendNumber(std::string& out, const Variant& value) {
    char text[64];
    std::to_chars_result result{};
    if (value.type() == Variant::Type::Integer)
        result = std::to_chars(text, text + sizeof text, value.toInteger());
    else
        result = std::to_chars(text, text + sizeof text, value.toReal()); // shortest exact
    out.append(text, result.ptr);
}

// A field's value as text of the output, or nothing for a blank.
std::optional<std::string> plain(const DbfColumn& column, const Variant& value) {
    if (value.isNull()) // blank text is empty text, as other readers give it; blank else none
        return column.type == 'C' ? std::optional(std::string()) : std::nullopt;
    std::string text;
    switch (column.type) {
    case 'N':
    case 'F':
        appendNumber(text, value);
        break;
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

void appendCsv(std::string& out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void appendTsv(std::string& out, const std::string& text) {
    for (const char c : text) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
}

void appendJsonString(std::string& out, const std::string& text) {
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
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            const QString& a = arguments[i];
            const auto next = [&]() -> QString {
                if (i + 1 >= arguments.size())
                    wrongUse(QStringLiteral("после %1 нужно значение").arg(a));
                return arguments[++i];
            };
            if (a == QLatin1String("--where")) {
                const QString condition = next();
                const qsizetype eq = condition.indexOf(QLatin1Char('='));
                if (eq <= 0)
                    wrongUse(QStringLiteral("условие «%1» не вида ПОЛЕ=ЗНАЧЕНИЕ").arg(condition));
                m_where << qMakePair(condition.left(eq).trimmed(), condition.mid(eq + 1));
            } else if (a == QLatin1String("--fields")) {
                m_fieldNames = next().split(QLatin1Char(','), Qt::SkipEmptyParts);
                for (QString& name : m_fieldNames)
                    name = name.trimmed();
                if (m_fieldNames.isEmpty())
                    wrongUse(QStringLiteral("--fields без полей"));
            } else if (a == QLatin1String("--format")) {
                const QString format = next();
                if (format == QLatin1String("csv"))
                    m_format = Format::Csv;
                else if (format == QLatin1String("tsv"))
                    m_format = Format::Tsv;
                else if (format == QLatin1String("json"))
                    m_format = Format::Json;
                else
                    wrongUse(
                        QStringLiteral("формат «%1» неизвестен: csv, tsv или json").arg(format));
            } else if (a.startsWith(QLatin1Char('-'))) {
                wrongUse(QStringLiteral("неизвестный ключ %1").arg(a));
            } else if (m_path.isEmpty()) {
                m_path = a;
            } else {
                wrongUse(QStringLiteral("таблица одна, а названо две: %1 и %2").arg(m_path, a));
            }
        }
        if (m_path.isEmpty())
            wrongUse(QStringLiteral("не названа таблица"));
    }

    int column(const DbfFile& file, const QString& name) const {
        const int c = file.columnIndex(name);
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
            condition.value = valueFor(file.columns()[condition.column], text);
            condition.matcher.emplace(file.codec(), condition.column, condition.value);
            m_conditions.push_back(std::move(condition));
        }
    }

    bool matches(const DbfFile& file, const char* record) const {
        for (const Condition& c : m_conditions) {
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

        bool first = true;
        for (const int c : m_columns) {
            if (!first)
                out += m_format == Format::Csv ? ',' : '\t';
            first = false;
            out += m_names[std::size_t(c)];
        }
        out += '\n';
    }

    void row(std::string& out, const DbfFile& file, const char* record, bool first) const {
        if (m_format == Format::Json) {
            out += first ? "[\n{" : ",\n{";
            bool firstField = true;
            for (const int c : m_columns) {
                const DbfColumn& column = file.columns()[c];
                if (!firstField)
                    out += ", ";
                firstField = false;
                appendJsonString(out, m_names[std::size_t(c)]);
                out += ": ";
                const std::optional<std::string> text = plain(column, file.decode(record, c));
                if (!text)
                    out += "null";
                else if (column.type == 'N' || column.type == 'F' || column.type == 'L')
                    out += *text;
                else
                    appendJsonString(out, *text);
            }
            out += '}';
            return;
        }
        bool firstField = true;
        for (const int c : m_columns) {
            if (!firstField)
                out += m_format == Format::Csv ? ',' : '\t';
            firstField = false;
            const std::optional<std::string> text =
                plain(file.columns()[c], file.decode(record, c));
            if (!text)
                continue;
            if (m_format == Format::Csv)
                appendCsv(out, *text);
            else
                appendTsv(out, *text);
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
    std::vector<std::string> m_names;
};

} // namespace

int RunExport(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    try {
        Exporter exporter(arguments);
        exporter.run(out);
        return std::fflush(out) == 0 ? 0 : 1;
    } catch (const Failure& failure) {
        std::fprintf(err, "varnel-export: %s\n", failure.message.toLocal8Bit().constData());
        if (failure.status == 2)
            std::fputs(kUsage, err);
        return failure.status;
    } catch (const EVarnelError& error) {
        std::fprintf(err, "varnel-export: %s\n", error.message().toLocal8Bit().constData());
        return 1;
    }
}

} // namespace varnel
