#pragma once

#include "store/engine/DataSet.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace varnel::office {

struct UndoAttempt {
    enum class Outcome { Done, Cancelled, Refused };
    Outcome outcome = Outcome::Refused;
    QString message; // why it was refused, or what was done
};

// Undoes the result that the history's record `record` entered, in the folder, through the
// engine's all-or-nothing operation. Only while no other program holds the folder: its lock
// is taken for the time this takes, and refused with a word to close the counter otherwise.
// The data module opens the books as the counter's start does (interrupted work finished, the
// day's copy taken), plans the undo and asks `confirm` with what will change; a plan the books
// refuse (a payout of it paid, say) is refused with the engine's reason.
UndoAttempt UndoResultInFolder(const QString& folder, std::uint32_t record,
                               const std::function<bool(const QString& question)>& confirm);

// The same on the books of a server, `record` the key of the history's row: no lock to take,
// the operation's server transaction holds what it changes against the other counters.
UndoAttempt UndoResultOnServer(const QString& conninfo, RecordKey record,
                               const std::function<bool(const QString& question)>& confirm);

} // namespace varnel::office
