#pragma once

#include <QString>
#include <QUuid>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>

class QObject;

namespace varnel {

class TDataModule6;
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
    // `action`, when given, is the operation's key (TDataModule6::Perform): the home that can
    // lose the answer to a commit keeps it with the operation's first history record.
    virtual std::unique_ptr<TBooksWork> Begin(std::initializer_list<TDataSet*> tables,
                                              const QUuid& action = {}) = 0;
    // Whether the operation of that key is in the books: asked before an operation whose commit
    // broke with its outcome unknown is done again. Never where a commit cannot be lost (a
    // folder's journal finishes or drops it at the next start).
    virtual bool ActionDone(const QUuid& /*action*/) { return false; }
    // Whether other programs change these books while this one works on them (a server's).
    virtual bool Shared() const { return false; }
    // Whether the books keep the owner's limits (a folder laid out before them does not).
    virtual bool HasLimits() const { return false; }

    // Within an operation's work, before it reads the current event: the event held against
    // every other counter until the work ends, and read again as it is now. Throws an
    // EDatabaseError when it is gone. Nothing to do where one program alone holds the books.
    virtual void HoldEvent(TDataSet& /*events*/) {}
    // The same for the record under the cursor of another table (a payout before it is paid, a
    // bet before it is revoked): false when it is gone (another counter paid or removed it).
    virtual bool HoldRecord(TDataSet& /*table*/) { return true; }
    // Within an undo's work, before it is planned: no other undo of the same result runs until
    // the work ends, and `read` (the tables the plan reads) are read again as they are now.
    virtual void HoldUndo(std::int64_t /*result*/, std::initializer_list<TDataSet*> /*read*/) {}
    // Pays out the payout under the cursor by the home's own operation (a server's), its history
    // record with it, inside the work: true when paid, false when it was gone; none where the
    // module pays it over the tables itself (a folder).
    virtual std::optional<bool> PayOutThere(TDataSet& /*money*/, const QUuid& /*action*/) {
        return std::nullopt;
    }
    // Sets the owner's limits (of the limits' table `table`) by the home's own operation, its
    // history record with it, inside the work: false where the module writes them over the table
    // itself (a folder).
    virtual bool SetLimitsThere(TDataSet& /*table*/, const Limits& /*limits*/,
                                const QUuid& /*action*/) {
        return false;
    }
    // Why the operator here may not enter events and results (a cashier of books whose owner
    // leaves them to managers); empty when they may, as on a folder.
    virtual QString EventsAndResultsRefused() { return {}; }
    // Who may revoke the bet under the cursor here, and when: a manager at any time before its
    // event (on a folder whoever runs the program is both), a cashier only within the owner's
    // minutes after the bet was taken, `minutesAgo` by the books' own clock (none when not known).
    struct RevokeRight {
        bool anyTime = true;
        std::optional<double> minutesAgo;
    };
    virtual RevokeRight RightToRevoke(const TDataSet& /*bets*/) { return {}; }
    // The serial of the bet under the cursor where the home keeps it with the bet (a server's
    // sequence); none where the history tells it (a folder: one more than the place of the
    // record that first named the bet).
    virtual std::optional<std::int64_t> SerialOfBet(const TDataSet& /*bets*/) const {
        return std::nullopt;
    }
    // Whether SerialOfBet tells every bet's serial (the history need not be searched for it).
    virtual bool KeepsSerials() const { return false; }
    // A payout just written, or a bet just put back, for the bet of that serial: the serial
    // kept with it where the home keeps serials.
    virtual void KeepSerial(TDataSet& /*table*/, std::optional<std::int64_t> /*serial*/) {}
    virtual std::optional<std::int64_t> SerialOfPayout(const TDataSet& /*money*/) const {
        return std::nullopt;
    }
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
