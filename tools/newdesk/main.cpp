// varnel-newdesk FOLDER [IMAGES]: lays out a new working folder for the program.
// varnel-newdesk --server CONNINFO [--from FOLDER]: lays out the books on a PostgreSQL
// database, or moves a folder's books onto it.
#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "server/Transfer.h"
#include "tools/newdesk/NewDesk.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

namespace {

int usage(QTextStream& err) {
    err << "usage: varnel-newdesk FOLDER [IMAGES]\n"
        << "       varnel-newdesk --server CONNINFO [--from FOLDER]\n"
        << "Lays out FOLDER with the empty tables and images/, or adds the history table to a "
           "folder of books that has none (images from IMAGES, by default "
        << varnel::ShippedImagesDir() << ").\n"
        << "With --server, lays out the books on the PostgreSQL database that CONNINFO (libpq's "
           "connection string) names; with --from, moves FOLDER's books onto it, in one "
           "transaction, on a database that holds none.\n";
    return 2;
}

int onServer(const QString& conninfo, const QString& from) {
    QTextStream out(stdout);
    varnel::ServerConnection server(conninfo);
    if (from.isEmpty()) {
        if (varnel::LayOutServer(server))
            out << "Книги заведены на сервере «" << server.Server() << "» (схема "
                << varnel::kServerSchema << ", версия " << varnel::kServerSchemaVersion << ").\n";
        else
            out << "На сервере «" << server.Server()
                << "» книги уже заведены, ничего не изменено.\n";
        return 0;
    }
    const QList<varnel::MovedTable> moved = varnel::MoveFolderToServer(from, server);
    out << "Книги папки «" << QDir::toNativeSeparators(QDir(from).absolutePath())
        << "» перенесены на сервер «" << server.Server() << "»:\n";
    for (const varnel::MovedTable& table : moved) {
        out << "  " << table.table << ": записей " << table.records;
        for (const auto& [column, sum] : table.sums)
            out << ", " << column << " " << QString::number(sum, 'f', 2);
        out << '\n';
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (args.size() >= 2 && args[1] == QLatin1String("--server")) {
        const bool from = args.size() == 5 && args[3] == QLatin1String("--from");
        if (args.size() != 3 && !from)
            return usage(err);
        try {
            return onServer(args[2], from ? args[4] : QString());
        } catch (const varnel::EVarnelError& error) {
            err << error.message() << '\n';
            return 1;
        }
    }
    if (args.size() < 2 || args.size() > 3 || args[1].startsWith(QLatin1Char('-')))
        return usage(err);
    varnel::Laid laid;
    try {
        laid = args.size() == 3 ? varnel::LayOutWorkingFolder(args[1], args[2])
                                : varnel::LayOutWorkingFolder(args[1]);
    } catch (const varnel::EVarnelError& error) {
        err << error.message() << '\n';
        return 1;
    }
    const QString where = QDir(args[1]).absolutePath();
    QTextStream out(stdout);
    switch (laid) {
    case varnel::Laid::Folder:
        out << "Рабочая папка готова: " << where << '\n';
        break;
    case varnel::Laid::History:
        out << "В рабочую папку добавлена таблица истории HISTORY.DBF: " << where << '\n';
        break;
    case varnel::Laid::Nothing:
        out << "В рабочей папке уже есть все таблицы, ничего не изменено: " << where << '\n';
        break;
    }
    return 0;
}
