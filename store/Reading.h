#pragma once

#include "base/Errors.h"
#include "store/Rules.h"
#include "store/engine/DataSet.h"
#include "store/engine/Variant.h"

#include <QDate>
#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace varnel {

class THistoryFile;
class TTable;
struct TableDescription;

// An open event as COMPIT.DBF holds it.
struct Event {
    RecordKey record = 0;
    Variant number;
    QDate date;
    QString kom1, kom2;
    std::array<double, 3> koef{}; // on KOM1, KOM2, the draw
    std::array<double, 3> sums{}; // the stake sums the odds rule keeps
};

// A bet not settled yet (PRIEM.DBF).
struct Bet {
    RecordKey record = 0;
    Variant number;
    QString result; // the side bet on, or «Ничья»
    double stake = 0, koef = 0;
    QString fio;
};

// A payout owed (MONEY.DBF).
struct Payout {
    RecordKey record = 0;
    QString fio;
    double amount = 0;
};

// What the office would pay on an open event if each outcome won: every live bet on it whose
// RESULT is that outcome pays its BetPayout, summed as the books keep the sum (each step kept
// to a hundredth of a kopeck).
struct OutcomeRisk {
    QString name; // KOM1, KOM2 or «Ничья»
    int bets = 0;
    double stakes = 0;
    double payout = 0;
};

struct EventRisk {
    Event event;
    std::array<OutcomeRisk, 3> outcomes;
    int bets = 0;
    double stakes = 0; // taken on the event, all outcomes
    int riskiest = -1; // the outcome of the largest payout; -1 with no bets
    // The owner's limit of the payouts of one outcome, which no outcome's payout may pass.
    std::optional<double> limit;
    // What the office keeps (negative: loses) if the riskiest outcome wins.
    double WorstResult() const { return riskiest < 0 ? 0 : stakes - outcomes[riskiest].payout; }
};

// The live bets and payouts of books on a server, counted and summed by the server rather than
// read one by one.
struct SummedBooks {
    qsizetype bets = 0, payouts = 0;
    QList<EventRisk> risk;
};

// One reading of a working folder that no commit of the counter cut through: the live records
// of the events, bets and payouts, and the history as far as it went at that moment.
struct Books {
    QString folder;
    QList<Event> events;
    QList<Bet> bets;
    QList<Payout> payouts;
    // The history's first historyCount records, which never change once written (the history
    // is only appended to), so they are read on demand long after this reading was made. Null
    // when the folder keeps no history or it did not open. One thread only: it caches blocks.
    std::shared_ptr<THistoryFile> history;
    QString historyPath;
    std::uint32_t historyCount = 0;
    // The history is not a file here but asked of the books' server, a page at a time.
    bool historyAsked = false;
    // On a server: the bets and payouts (left empty above) as the server counted and summed them.
    std::optional<SummedBooks> summed;
    qsizetype BetCount() const { return summed ? summed->bets : bets.size(); }
    qsizetype PayoutCount() const { return summed ? summed->payouts : payouts.size(); }
    // The owner's limits; none where the folder keeps none.
    Limits limits;
    // The tables that did not open, as the engine said why.
    QStringList problems;
};

// Every try found a commit of the counter under way.
class EBooksBusy : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// Reads the books of a folder, tables opened for reading only. A reading is kept only when no
// journal of unfinished work was there before and after it and no table changed meanwhile; it
// is tried again after a moment otherwise, until `patienceMs` have passed (then EBooksBusy).
// A table that does not open, or a book whose values cannot all be read, is named in
// `problems`; the history's records are read later, each on its own (HistoryScan::Readable).
// `afterTable`, for the tests, is told the name of each table once it is read.
std::shared_ptr<const Books> ReadBooks(const QString& folder, int patienceMs = 1000,
                                       const std::function<void(const QString&)>& afterTable = {});

// A table of the folder opened as the program opens it, for reading only: the engine then
// writes nothing, not even the mending of a tail that a crash cut.
std::unique_ptr<TTable> OpenToRead(const QDir& dir, const TableDescription& table);

// Whether a folder holds the counter's tables.
bool HoldsBooks(const QString& folder);

} // namespace varnel
