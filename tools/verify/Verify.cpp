#include "tools/verify/Verify.h"

#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "server/Seals.h"
#include "store/Chain.h"
#include "store/Tables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace varnel {

namespace {

const char kUsage[] =
    "Использование:\n"
    "  varnel-verify ПАПКА [--digest ГОЛОВА|ФАЙЛ ...]\n"
    "  varnel-verify --server СТРОКА_СОЕДИНЕНИЯ [--digest ГОЛОВА|ФАЙЛ ...]\n"
    "  varnel-verify --help\n"
    "\n"
    "Пересчитывает цепочку хешей истории книг (HISTORY.DBF папки или книг на сервере\n"
    "PostgreSQL, СТРОКА_СОЕДИНЕНИЯ — строка соединения libpq) и говорит, цела ли\n"
    "история, или какая запись первой не совпала и что с ней сделано: изменена,\n"
    "удалена, вставлена, переставлена, или обрезан конец истории, записанный ранее.\n"
    "\n"
    "  --digest ГОЛОВА   голова, записанная ранее: «записей N, голова ХЕШ», как её\n"
    "                    печатает эта программа, бэк-офис и отчёт за день\n"
    "  --digest ФАЙЛ     все головы, записанные в файле (например, digests/ папки)\n"
    "  --help            эта справка\n"
    "\n"
    "Код выхода: 0 история цела, 1 нарушена, 2 прочитать не удалось.\n";

struct Usage {
    QString why;
};

void put(std::FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
}

QList<ChainHead> headsOf(const QString& given) {
    QString text = given;
    if (QFileInfo(given).isFile()) {
        QFile file(given);
        if (!file.open(QIODevice::ReadOnly))
            throw EDatabaseError(
                QStringLiteral("Файл «%1» не читается: %2.").arg(given, file.errorString()));
        text = QString::fromUtf8(file.readAll());
    }
    const QList<ChainHead> heads = HeadsIn(text);
    if (heads.isEmpty())
        throw Usage{
            QStringLiteral("в «%1» нет головы истории («записей N, голова ХЕШ»)").arg(given)};
    return heads;
}

} // namespace

int RunVerify(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    if (arguments.size() == 1 &&
        (arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h")))
        return std::fputs(kUsage, out) >= 0 && std::fflush(out) == 0 ? 0 : 2;
    try {
        QString folder, server;
        QList<ChainHead> digests;
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            const QString& a = arguments[i];
            if (a == QLatin1String("--digest")) {
                if (++i >= arguments.size())
                    throw Usage{QStringLiteral("--digest без головы")};
                digests << headsOf(arguments[i]);
            } else if (a == QLatin1String("--server")) {
                if (++i >= arguments.size() || arguments[i].trimmed().isEmpty())
                    throw Usage{QStringLiteral("после --server нужна строка соединения")};
                server = arguments[i];
            } else if (a.startsWith(QLatin1String("--"))) {
                throw Usage{QStringLiteral("неизвестный ключ %1").arg(a)};
            } else if (!folder.isEmpty()) {
                throw Usage{QStringLiteral("лишний аргумент «%1»").arg(a)};
            } else {
                folder = a;
            }
        }
        ChainVerdict verdict;
        if (!server.isEmpty()) {
            if (!folder.isEmpty())
                throw Usage{QStringLiteral("папка и --server вместе")};
            ServerConnection connection(WithTimeouts(server));
            RequireServerBooks(connection);
            std::int64_t unsealed = 0;
            verdict = CheckServerChain(connection, digests, {}, &unsealed);
            if (unsealed > 0)
                put(out, QStringLiteral("Записей ещё не в цепочке (их работа на сервере не "
                                        "закончена): %1. Проверены записи до них.")
                             .arg(unsealed));
        } else {
            if (folder.isEmpty())
                throw Usage{QStringLiteral("не указана папка книг")};
            const QString history = QDir(folder).filePath(HistoryTable().file);
            if (!QFileInfo::exists(history))
                throw EDatabaseError(
                    QStringLiteral("В папке «%1» нет истории %2.")
                        .arg(QDir::toNativeSeparators(folder), HistoryTable().file));
            verdict = CheckFolderChain(history, digests);
            if (verdict.Whole() && verdict.sealedFrom == 0 && verdict.head.records > 0)
                put(out, QStringLiteral("Ни одна запись истории ещё не несёт хеша цепочки: она "
                                        "начнётся со следующей записи (varnel-newdesk ПАПКА "
                                        "добавляет поле HASH). Проверено только совпадение с "
                                        "записанными головами."));
        }
        put(out, verdict.Said());
        std::fflush(out);
        return verdict.Whole() ? 0 : 1;
    } catch (const Usage& usage) {
        put(err, QStringLiteral("varnel-verify: ") + usage.why);
        std::fputs(kUsage, err);
        return 2;
    } catch (const EVarnelError& error) {
        put(err, QStringLiteral("varnel-verify: ") + error.message());
        return 2;
    }
}

} // namespace varnel
