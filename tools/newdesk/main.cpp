// varnel-newdesk FOLDER [IMAGES]: lays out a new working folder for the program.
// varnel-newdesk --server CONNINFO [--from FOLDER]: lays out the books on a PostgreSQL
// database, or moves a folder's books onto it.
// varnel-newdesk --server CONNINFO --upgrade: brings books of an earlier layout to this one.
// varnel-newdesk --server CONNINFO --add-operator NAME --role kassa|manager [--no-password]:
// makes an operator's login, the password asked for on the terminal.
#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "server/Transfer.h"
#include "tools/newdesk/NewDesk.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <string>

#include <termios.h>
#include <unistd.h>

namespace {

int usage(QTextStream& err) {
    err << "usage: varnel-newdesk FOLDER [IMAGES]\n"
        << "       varnel-newdesk --server CONNINFO [--from FOLDER]\n"
        << "       varnel-newdesk --server CONNINFO --upgrade\n"
        << "       varnel-newdesk --server CONNINFO --add-operator NAME --role kassa|manager "
           "[--no-password]\n"
        << "Lays out FOLDER with the empty tables and images/, or adds the history table to a "
           "folder of books that has none, or to a history written before them the fields "
           "added since (KASSIR), every record kept, while no counter works in FOLDER (images "
           "from IMAGES, by default "
        << varnel::ShippedImagesDir() << ").\n"
        << "With --server, lays out the books on the PostgreSQL database that CONNINFO (libpq's "
           "connection string) names; with --from, moves FOLDER's books onto it, in one "
           "transaction, on a database that holds none; with --upgrade, brings books laid out "
           "by an earlier version to this one, every record kept; with --add-operator, makes a "
           "login role for an operator in the cashiers' (kassa) or the managers' (manager) "
           "group, its password asked for on the terminal (or from standard input) and sent "
           "hashed, or none with --no-password (peer or certificate logins).\n";
    return 2;
}

// A line from the terminal with its echo off (or from standard input as it comes).
QString readSecret(const QString& prompt) {
    const bool terminal = ::isatty(STDIN_FILENO);
    termios was{};
    if (terminal) {
        QTextStream(stderr) << prompt << Qt::flush;
        ::tcgetattr(STDIN_FILENO, &was);
        termios quiet = was;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool read = bool(std::getline(std::cin, line));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &was);
        QTextStream(stderr) << '\n';
    }
    if (!read)
        throw varnel::EServerError(QStringLiteral("Пароль не введён: оператор не заведён."), false);
    return QString::fromStdString(line);
}

int addOperator(const QString& conninfo, const QString& name, const QString& role, bool password) {
    QTextStream out(stdout);
    if (role != QLatin1String("kassa") && role != QLatin1String("manager"))
        throw varnel::EServerError(
            QStringLiteral("Роль оператора — kassa (кассир) или manager (менеджер), не «%1».")
                .arg(role),
            false);
    varnel::ServerConnection server(conninfo);
    varnel::RequireServerBooks(server); // before the password is asked for
    QByteArray hash;
    if (password) {
        const QString first = readSecret(QStringLiteral("Пароль оператора %1: ").arg(name));
        if (first.isEmpty())
            throw varnel::EServerError(QStringLiteral("Пустой пароль не годится; без пароля "
                                                      "заводит --no-password."),
                                       false);
        if (::isatty(STDIN_FILENO) && readSecret(QStringLiteral("Ещё раз: ")) != first)
            throw varnel::EServerError(QStringLiteral("Пароли не совпали: оператор не заведён."),
                                       false);
        hash = server.HashPassword(name, first);
    }
    const auto kind = role == QLatin1String("manager") ? varnel::OperatorRole::Manager
                                                       : varnel::OperatorRole::Kassa;
    const QString group = varnel::OperatorGroup(server, kind);
    if (varnel::AddOperator(server, name, kind, hash))
        out << "Оператор " << name << " заведён на сервере «" << server.Server() << "» в группе "
            << group << (password ? "" : " (без пароля)") << ".\n";
    else
        out << "Оператор " << name << " уже был на сервере «" << server.Server()
            << "»: он включён в группу " << group << ", пароль не изменён.\n";
    return 0;
}

int upgrade(const QString& conninfo) {
    QTextStream out(stdout);
    varnel::ServerConnection server(conninfo);
    const int was = varnel::UpgradeServer(server);
    if (was == 0)
        out << "Книги на сервере «" << server.Server() << "» уже версии "
            << varnel::kServerSchemaVersion << ", ничего не изменено.\n";
    else
        out << "Книги на сервере «" << server.Server() << "» обновлены с версии " << was
            << " до версии " << varnel::kServerSchemaVersion << ".\n";
    return 0;
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
        if (args.size() < 3)
            return usage(err);
        const QStringList rest = args.mid(3);
        try {
            if (rest.isEmpty())
                return onServer(args[2], QString());
            if (rest.size() == 2 && rest[0] == QLatin1String("--from"))
                return onServer(args[2], rest[1]);
            if (rest == QStringList{QStringLiteral("--upgrade")})
                return upgrade(args[2]);
            if ((rest.size() == 4 || rest.size() == 5) &&
                rest[0] == QLatin1String("--add-operator") && rest[2] == QLatin1String("--role") &&
                (rest.size() == 4 || rest[4] == QLatin1String("--no-password")))
                return addOperator(args[2], rest[1], rest[3], rest.size() == 4);
            return usage(err);
        } catch (const varnel::EVarnelError& error) {
            err << error.message() << '\n';
            return 1;
        }
    }
    if (args.size() < 2 || args.size() > 3 || args[1].startsWith(QLatin1Char('-')))
        return usage(err);
    varnel::Laid laid;
    varnel::AddedFields added;
    QStringList alsoDone;
    try {
        laid = varnel::LayOutWorkingFolder(
            args[1], args.size() == 3 ? args[2] : varnel::ShippedImagesDir(), &added, &alsoDone);
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
    case varnel::Laid::HistoryFields:
        out << "В таблицу истории HISTORY.DBF "
            << (added.names.size() == 1 ? "добавлено поле " : "добавлены поля ")
            << added.names.join(QStringLiteral(", ")) << " (записей: " << added.records
            << "): " << where << '\n';
        break;
    case varnel::Laid::Nothing:
        if (alsoDone.isEmpty())
            out << "В рабочей папке уже есть все таблицы, ничего не изменено: " << where << '\n';
        break;
    }
    for (const QString& line : alsoDone)
        out << line << ' ' << where << '\n';
    return 0;
}
