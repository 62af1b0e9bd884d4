// varnel-newdesk FOLDER [IMAGES]: lays out a new working folder for the program.
// varnel-newdesk --server CONNINFO [--from FOLDER]: lays out the books on a PostgreSQL
// database, or moves a folder's books onto it.
// varnel-newdesk --server CONNINFO --upgrade: brings books of an earlier layout to this one.
// varnel-newdesk --server CONNINFO --add-operator NAME --role kassa|manager [--no-password]:
// makes an operator's login, the password asked for on the terminal.
// varnel-newdesk --server CONNINFO --cashiers-settle yes|no: whether cashiers enter events and
// results, or managers alone.
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
#include <optional>
#include <string>

#include <termios.h>
#include <unistd.h>

namespace {

// The command's forms, on standard output when asked for (--help), on standard error after
// the reason a command line is wrong.
void usage(QTextStream& to) {
    to << "Использование:\n"
          "  varnel-newdesk ПАПКА [РИСУНКИ]\n"
          "  varnel-newdesk --server СТРОКА_СОЕДИНЕНИЯ [--from ПАПКА]\n"
          "  varnel-newdesk --server СТРОКА_СОЕДИНЕНИЯ --upgrade\n"
          "  varnel-newdesk --server СТРОКА_СОЕДИНЕНИЯ --add-operator ИМЯ --role kassa|manager\n"
          "                 [--no-password]\n"
          "  varnel-newdesk --server СТРОКА_СОЕДИНЕНИЯ --cashiers-settle yes|no\n"
          "  varnel-newdesk --help\n"
          "\n"
          "Раскладывает в ПАПКЕ пустые таблицы кассы и images/ с рисунками окон (из папки\n"
          "РИСУНКИ, по умолчанию "
       << varnel::ShippedImagesDir()
       << ").\n"
          "В папку с книгами добавляет то, чего недостаёт истории: таблицу HISTORY.DBF или\n"
          "поля, появившиеся после того, как история была записана (KASSIR), сохраняя все\n"
          "записи; пока в папке работает касса, папка не меняется.\n"
          "\n"
          "  --server СТРОКА_СОЕДИНЕНИЯ  книги в базе PostgreSQL (строка соединения libpq)\n"
          "  --from ПАПКА                перенести книги ПАПКИ в базу без книг, одной\n"
          "                              транзакцией\n"
          "  --upgrade                   обновить книги, разложенные прежней версией\n"
          "  --add-operator ИМЯ          завести оператору роль входа в группе кассиров\n"
          "  --role kassa|manager        (kassa) или менеджеров (manager); пароль\n"
          "                              спрашивается на терминале (или читается строкой\n"
          "                              со стандартного ввода) и уходит на сервер хешем\n"
          "  --no-password               роль без пароля (вход peer или по сертификату)\n"
          "  --cashiers-settle yes|no    вводят ли события и результаты кассиры (yes) или\n"
          "                              только менеджеры (no: так заводятся новые книги;\n"
          "                              --upgrade книгам прежних версий ставит yes)\n"
          "  --help                      эта справка\n"
          "\n"
          "Код выхода: 0 — сделано или делать было нечего; 1 — не сделано (причина\n"
          "сказана); 2 — неверная командная строка.\n";
}

int wrongUse(QTextStream& err, const QString& why) {
    err << "varnel-newdesk: " << why << '\n';
    usage(err);
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

int cashiersSettle(const QString& conninfo, bool yes) {
    varnel::ServerConnection server(conninfo);
    varnel::SetCashiersSettle(server, yes);
    QTextStream(stdout) << "На книгах сервера «" << server.Server() << "» события и результаты "
                        << (yes ? "вводят и кассиры, и менеджеры.\n"
                                : "вводят только менеджеры.\n");
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

struct WrongUse {
    QString why;
};

// What follows --server CONNINFO: nothing (lay the books out), --from FOLDER, --upgrade, or
// --add-operator NAME --role KIND [--no-password], in any order.
struct ServerRequest {
    std::optional<QString> from, name, role;
    std::optional<bool> cashiersSettle;
    bool upgrade = false;
    bool password = true;
};

ServerRequest serverRequest(const QStringList& args) {
    ServerRequest request;
    bool noPassword = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const auto value = [&] {
            if (i + 1 >= args.size() || args[i + 1].startsWith(QLatin1String("--")))
                throw WrongUse{QStringLiteral("после %1 нужно значение").arg(arg)};
            return args[++i];
        };
        if (arg == QLatin1String("--from"))
            request.from = value();
        else if (arg == QLatin1String("--upgrade"))
            request.upgrade = true;
        else if (arg == QLatin1String("--add-operator"))
            request.name = value();
        else if (arg == QLatin1String("--role"))
            request.role = value();
        else if (arg == QLatin1String("--no-password"))
            noPassword = true;
        else if (arg == QLatin1String("--cashiers-settle")) {
            const QString answer = value();
            if (answer != QLatin1String("yes") && answer != QLatin1String("no"))
                throw WrongUse{QStringLiteral("после --cashiers-settle нужно yes или no, не «%1»")
                                   .arg(answer)};
            request.cashiersSettle = answer == QLatin1String("yes");
        } else if (arg.startsWith(QLatin1Char('-')))
            throw WrongUse{QStringLiteral("неизвестный ключ %1").arg(arg)};
        else
            throw WrongUse{QStringLiteral("лишний аргумент «%1»").arg(arg)};
    }
    if (int(request.from.has_value()) + int(request.upgrade) + int(request.name.has_value()) +
            int(request.cashiersSettle.has_value()) >
        1)
        throw WrongUse{QStringLiteral(
            "--from, --upgrade, --add-operator и --cashiers-settle не даются вместе")};
    if (!request.name && (request.role || noPassword))
        throw WrongUse{QStringLiteral("--role и --no-password даются только с --add-operator")};
    if (request.name && !request.role)
        throw WrongUse{QStringLiteral("у --add-operator нужна --role kassa или manager")};
    if (request.role && *request.role != QLatin1String("kassa") &&
        *request.role != QLatin1String("manager"))
        throw WrongUse{
            QStringLiteral("роль оператора — kassa (кассир) или manager (менеджер), не «%1»")
                .arg(*request.role)};
    request.password = !noPassword;
    return request;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (args.size() == 2 &&
        (args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h"))) {
        QTextStream out(stdout);
        usage(out);
        return 0;
    }
    if (args.size() >= 2 && args[1] == QLatin1String("--server")) {
        if (args.size() < 3)
            return wrongUse(err, QStringLiteral("после --server нужна строка соединения"));
        ServerRequest request;
        try {
            request = serverRequest(args.mid(3));
        } catch (const WrongUse& wrong) {
            return wrongUse(err, wrong.why);
        }
        try {
            if (request.upgrade)
                return upgrade(args[2]);
            if (request.name)
                return addOperator(args[2], *request.name, *request.role, request.password);
            if (request.cashiersSettle)
                return cashiersSettle(args[2], *request.cashiersSettle);
            return onServer(args[2], request.from.value_or(QString()));
        } catch (const varnel::EVarnelError& error) {
            err << error.message() << '\n';
            return 1;
        }
    }
    if (args.size() < 2)
        return wrongUse(err, QStringLiteral("не названа папка"));
    for (const QString& arg : args.mid(1))
        if (arg.startsWith(QLatin1Char('-')))
            return wrongUse(err, QStringLiteral("неизвестный ключ %1").arg(arg));
    if (args.size() > 3)
        return wrongUse(err, QStringLiteral("лишний аргумент «%1»").arg(args[3]));
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
