#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace varnel {

class ServerConnection;

// What was moved of one table: its records, and the sum of each of its money fields.
struct MovedTable {
    QString table; // the server's name (compit, priem, …)
    qint64 records = 0;
    QList<QPair<QString, double>> sums; // column, sum
};

// Moves the books of a working folder (the four tables and the history, any layout the program
// opens) onto an empty database, in one transaction with the layout itself: every record keeps
// its place in its file as its key, so what the history says of a record still names it. A bet
// keeps the serial the history gave it, a payout its bet's; a bet older than the history gets a
// new one, past the highest moved. Refused, nothing written, when the database holds books, the
// folder is held by a program, or it holds interrupted work.
QList<MovedTable> MoveFolderToServer(const QString& folder, ServerConnection& server);

} // namespace varnel
