#pragma once

#include "store/Slip.h"

#include <QString>
#include <QUuid>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>

class QObject;

namespace varnel {

class TDataModule6;
enum class Outcome;
struct Limits;
class TDataSet;
struct TableDescription;

// The work of one operation of the books: all or nothing over the tables it names. Rolled
// back, the cursors and pending records as they were, unless committed.
class TBooksWork {
public:
    virtual ~TBooksWork() = default;
    // Makes the work durable; throws the error an operator can act on, the work then undone.
    virtual void Commit() = 0;
};

// Where the books live: the working folder's table files (the default), or a server. The data
// module asks its home for its tables, for their opening at start, and for the work of each
// operation; the operations themselves are the module's, the same for every home.
class TBooksHome {
public:
    virtual ~TBooksHome() = default;
    // A table of the books under the cursor, its fields made, not opened.
    virtual TDataSet* MakeTable(QObject* owner, const TableDescription& table) = 0;
    // The module's creation: interrupted work finished, the tables opened, each on its own.
    // Throws one EDatabaseError naming every table that did not open.
    virtual void Open(TDataModule6& books) = 0;
    // Work a crash or a failed write cut off finished, or dropped when it never began.
    virtual void FinishInterruptedWork() = 0;
    virtual std::unique_ptr<TBooksWork> Begin(std::initializer_list<TDataSet*> tables) = 0;
    // Whether the operation of that key (TDataModule6::Perform; the home's own operations keep
    // it with their history record) is in the books: asked before an operation whose commit
    // broke with its outcome unknown is done again. Never where a commit cannot be lost (a
    // folder's journal finishes or drops it at the next start).
    virtual bool ActionDone(const QUuid& /*action*/) { return false; }
    // Whether the books keep the owner's limits (a folder laid out before them does not).
    virtual bool HasLimits() const { return false; }

    // Within an undo's work, before it is planned: no other undo of the same result runs until
    // the work ends, and `read` (the tables the plan reads) are read again as they are now.
    virtual void HoldUndo(std::int64_t /*result*/, std::initializer_list<TDataSet*> /*read*/) {}
    // The operations a home does by its own (a server's functions, which hold the rules there
    // whoever calls them), inside the work begun, with their history: each false where the
    // module does it over the tables itself (a folder). Their refusals are thrown as the
    // module's own; done, the cursors show the books as stored.
    // The event pending on `events`, which becomes the current one.
    virtual bool EnterEventThere(TDataSet& /*events*/, const QUuid& /*action*/) { return false; }
    // The bet pending on `bets` on the outcome of the current event, which becomes the current
    // bet; the pending changes of the event are dropped. `seal` the seal of its payout code
    // (none: no slip); `serial` is given the bet's serial.
    virtual bool TakeBetThere(TDataSet& /*events*/, TDataSet& /*bets*/, Outcome /*outcome*/,
                              bool /*adjustOdds*/, const QString& /*seal*/,
                              std::int64_t& /*serial*/, const QUuid& /*action*/) {
        return false;
    }
    // Whether the books keep a bet's seal, so that its slip can pay: where the history has the
    // field (`history`, the module's cursor over it), or a server's.
    virtual bool KeepsSeals(const TDataSet& history) const;
    // The serial of the bet that the operation of that key took (ActionDone), if any.
    virtual std::optional<std::int64_t> SerialOfAction(const QUuid& /*action*/) { return {}; }
    // The slip of `serial` shown with `code`, as the home's own operation finds it; none where
    // the module reads the tables itself.
    virtual std::optional<SlipCheck> CheckSlipThere(std::int64_t /*serial*/,
                                                    const QString& /*code*/) {
        return std::nullopt;
    }
    // Its payout paid; refused (ERuleRefused, the slip's message) unless it is owed.
    virtual bool PayBySlipThere(std::int64_t /*serial*/, const QString& /*code*/,
                                const QUuid& /*action*/) {
        return false;
    }
    // The slip of `serial` printed again, with its record.
    virtual bool SlipCopiedThere(std::int64_t /*serial*/, const QUuid& /*action*/) { return false; }
    // The current event settled with the outcome `winner`.
    virtual bool SettleThere(TDataSet& /*events*/, const QString& /*winner*/,
                             const QUuid& /*action*/) {
        return false;
    }
    // The bet under the cursor revoked.
    virtual bool RevokeThere(TDataSet& /*bets*/, const QUuid& /*action*/) { return false; }
    // The result that the history's record `result` entered undone.
    virtual bool UndoThere(std::int64_t /*result*/, const QUuid& /*action*/) { return false; }
    // The payout under the cursor paid out: true when paid, false when it was gone; none where
    // the module pays it over the tables itself.
    virtual std::optional<bool> PayOutThere(TDataSet& /*money*/, const QUuid& /*action*/) {
        return std::nullopt;
    }
    // The owner's limits (of the limits' table `table`) set.
    virtual bool SetLimitsThere(TDataSet& /*table*/, const Limits& /*limits*/,
                                const QUuid& /*action*/) {
        return false;
    }
    // Why the operator here may not enter events and results (a cashier of books whose owner
    // leaves them to managers); empty when they may, as on a folder.
    virtual QString EventsAndResultsRefused() { return {}; }
    // Who works on the books here, as each history record names its writer (KASSIR): a
    // folder's, the desktop user (DesktopUserName); none where the home cannot tell. THistory
    // fits it to the history's column.
    virtual QString Operator() const { return {}; }
};

// The books in the table files of the current directory (the working folder).
std::unique_ptr<TBooksHome> FolderHome();

// The name of the user of this desktop: the environment's USER, else LOGNAME, else USERNAME,
// else the name of the home folder; cut to the history's KASSIR field.
QString DesktopUserName();

} // namespace varnel
