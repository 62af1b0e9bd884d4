#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

namespace varnel {

// The copies of the books kept inside the working folder:
//   backup/YYYY-MM-DD/NAME.DBF   the tables as they were at the first start of that day
//   backup/HISTORY.DBF           the history, brought up to date at each start with the
//                                records added since (it is only ever appended to)
//   backup/damaged/NAME-YYYYMMDD-HHMMSS.DBF   a table as found, before it was mended
// A copy is written under a temporary name, synced, and renamed into place, so that a copy
// that is there is whole.

QString BackupFolderName();
inline constexpr int kBackupDays = 30;

// The first start of a day copies every table of the folder that reads soundly and has no
// copy of that day yet; a damaged table is not copied, so that the copies keep its last sound
// state. The kBackupDays newest days (by their names) and today's are kept, the others go.
// Throws an EDatabaseError when a copy cannot be made
// (what was copied stays).
void BackUpTables(const QString& folder, const QStringList& tables, const QDate& today);

// Brings backup/HISTORY.DBF up to date: the history's records it lacks are appended to it,
// durably. A copy that is no longer the start of the history is kept as
// backup/HISTORY-YYYYMMDD-HHMMSS.DBF and a new one made. Nothing when the history does not read
// soundly.
void BackUpHistory(const QString& folder, const QString& history);

// The newest daily copy of a table (or the history's copy) dated today or before, else the
// nearest one dated after today, as a path relative to the working folder; empty when there is
// none.
QString NewestBackupOf(const QString& folder, const QString& table, const QDate& today);

// Keeps an exact copy of a table file as it is now; returns its path relative to the folder.
QString KeepDamagedCopy(const QString& folder, const QString& table);

} // namespace varnel
