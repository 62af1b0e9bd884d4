#pragma once

#include <QString>

namespace varnel {

// Operators log in to the books' server as their own roles. libpq finds a password by itself
// in ~/.pgpass or PGPASSWORD; when neither gives one and the server asks for it, the program
// asks the operator once, at start, and every connection of the process to that server then
// logs in with the name and password given. Both are held in this process's memory only: never
// in varnel.conf, a log, the settings, the history or a command line.

// What one connection to the server says about logging in, with what the process holds.
struct LoginNeed {
    bool password = false; // the server asks for a password that nothing gave
    QString user;          // whom libpq logs in as: the conninfo's user, PGUSER, or the system's
};
// Connects once (bounded by the connection's timeout) and closes again. A server out of reach,
// or one that refuses for another reason, needs no password here: the program's first
// statement says why.
LoginNeed LoginNeeded(const QString& conninfo);

// Logs in as `user` with `password`: an empty string when the server let them in, and they are
// then held for every later connection of this process to `conninfo`; otherwise the reason the
// server or libpq gave.
QString LogIn(const QString& conninfo, const QString& user, const QString& password);

// The name and password held for `conninfo` (both empty when the operator did not log in).
struct ServerLogin {
    QString user;
    QString password;
};
ServerLogin HeldLogin(const QString& conninfo);

// The connection string in libpq's keyword = value form, its user and password left out (a
// name and password held replace them); as it is when libpq cannot read it.
QString WithoutLogin(const QString& conninfo);

} // namespace varnel
