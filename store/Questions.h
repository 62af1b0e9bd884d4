#pragma once

#include "store/Reading.h"
#include "store/engine/Variant.h"

#include <QDate>
#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace varnel {

// What the back office asks of the books, wherever they live: a folder's files answer it by
// reading them, a server by its own questions (server/Questions.h).

// The history's columns as the back office shows them, in their order.
enum class HistoryKind { Text, Date, Money, Number, Integer };
struct HistoryColumn {
    QLatin1String field;
    const char* title; // UTF-8
    HistoryKind kind;
};
const QList<HistoryColumn>& HistoryColumns();
int HistoryColumnOf(QLatin1String field); // -1 for none

// What the manager asks of the history; every part left empty lets every record through.
struct HistoryFilter {
    QDate from, to;                     // the days of the records (DEN), either end open
    QString client;                     // part of the client's name, any case, ё as е
    std::optional<int> event;           // the event's number
    std::optional<std::int64_t> serial; // a bet's serial, its slip's number
    QString kind;                       // one VID (History.h)
    QString kassir;                     // one operator's records (KASSIR), the name exactly
    bool IsEmpty() const;
    bool operator==(const HistoryFilter&) const = default;
};

struct HistoryQuery {
    HistoryFilter filter;
    int sortColumn = -1; // one of HistoryColumns(); -1: the order the records were written in
    Qt::SortOrder order = Qt::DescendingOrder;
    bool operator==(const HistoryQuery&) const = default;
};

// One record of the history as a question answers it: its key, and its values in the order
// of HistoryColumns() (a blank as a null).
struct HistoryRow {
    RecordKey key = -1;
    QVector<Variant> values;
};

// A page of the history in the order asked: the rows, and where the next page starts (the
// sort key of the last row, as text, and its record's key).
struct HistoryPage {
    std::vector<HistoryRow> rows;
    QString lastSort;
    RecordKey lastKey = -1;
    bool end = false; // no record after these
};

// What a client was paid, from the «Выплата» records of the whole history, and the stakes
// handed back, from its «Отзыв» records: every client whose name matched, paid or not.
struct PaidToClient {
    QString fio;
    double paid = 0;
    int payments = 0;
    double refunded = 0;
    int refunds = 0;
    // On a server, what they are owed now (MONEY); a folder's line reads its reading's payouts.
    double owed = 0;
    int owedCount = 0;
};

// The cash of some days, from the history's records of those days:
//   stakes    Σ SUMMA of «Ставка»: the stakes taken
//   won       Σ VYPLATA of «Выигрыш»: the payouts the results made owed
//   restored  Σ VYPLATA of «Возврат»: what undone results took back of them
//   paid      Σ VYPLATA of «Выплата»: the payouts paid out of the till
//   refunded  Σ SUMMA of «Отзыв»: the stakes of revoked bets handed back out of the till
// and so owed = won − restored and the balance of the till = stakes − refunded − paid.
struct Cash {
    double stakes = 0, won = 0, restored = 0, paid = 0, refunded = 0;
    int bets = 0, wins = 0, restores = 0, payments = 0, refunds = 0;
    double Owed() const { return won - restored; }
    double Balance() const { return stakes - refunded - paid; }
    void Add(const Cash& other);
};

struct CashLine {
    // «№ 7 Спартак — Зенит», a day, an operator, or the payouts older than the history
    QString label;
    Variant number;
    QDate day;
    Cash cash;
};

struct CashReport {
    QDate from, to;
    Cash total;
    QList<CashLine> byEvent; // in the order of their numbers
    QList<CashLine> byDay;   // in the order of the days
    // The till of each operator who wrote the records (KASSIR), in the order of their names;
    // records that name none (written before the field was, or by a counter on a folder that
    // knew no operator) under an empty name.
    QList<CashLine> byOperator;
    // The records these figures would have taken in that cannot be read (HistoryScan::Readable),
    // and so are not in them: those of the days that count, the settlements of any day.
    std::uint32_t unreadable = 0;
};

// The label of an event's line of the cash: its number and sides; LLONG_MAX for the payouts
// of bets taken before the history began.
QString CashEventLabel(std::int64_t number, const QString& sides);

} // namespace varnel
