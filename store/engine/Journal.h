#pragma once

#include "store/engine/DbfFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace varnel {

// The journal of one all-or-nothing piece of work: the after-images (and before-images) of
// every record it changes, per table, sealed by a checksum. Written and synced before any
// table is touched, removed once every table holds the work. A sealed journal found at start
// is applied again; an unsealed one means no table was touched, and it is dropped.
//
//   "VARNELJ1", u32 tables,
//   per table: u16 name length, name, u32 header length, u32 record length, u32 old count,
//              u32 new count, u32 changes, per change: u32 index, u8 has-before, [before], after
//   u64 FNV-1a checksum of everything before it.

// The work on one table.
struct JournalTable {
    QString name; // the bare file name, in the journal's folder
    std::uint32_t headerLength = 0, recordLength = 0, oldCount = 0, newCount = 0;
    QList<DbfFile::Change> changes;
};

// The journal's file name in a working folder.
QString JournalFileName();

// The bytes with their seal appended.
QByteArray SealJournal(QByteArray body);
QByteArray EncodeJournal(const QList<JournalTable>& work);
// The journal's tables, or nothing when it is not sealed (the crash came before any table was
// touched). Sealed is not proof of sense: a journal naming anything but tables of its own
// folder, or records outside a table's new length, throws an EDatabaseError.
std::optional<QList<JournalTable>> DecodeJournal(const QByteArray& bytes);

// Writes the journal and syncs it and its folder; on failure nothing of it is left and an
// EDatabaseError says why.
void WriteJournal(const QString& path, const QByteArray& bytes);
// Removes it, durably: before any later write to the tables.
void RemoveJournal(const QString& path);

// Finishes the work a crash interrupted after its journal was complete, or drops a journal
// that was not: run at start-up before any table is opened. Throws an EDatabaseError when a
// journal is there but cannot be applied (the tables are then left untouched).
void RecoverInterruptedWork(const QString& folder);

} // namespace varnel
