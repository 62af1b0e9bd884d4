#include "store/engine/Transaction.h"

#include "base/Errors.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Journal.h"
#include "store/engine/Table.h"

#include <QDir>
#include <QFileInfo>

namespace varnel {

TTransaction::TTransaction(const std::vector<TTable*>& dataSets) {
    try {
        for (TTable* dataSet : dataSets) {
            if (!dataSet || !dataSet->Active())
                continue;
            dataSet->BeginTransaction();
            m_dataSets.push_back(dataSet);
        }
    } catch (...) {
        Rollback();
        throw;
    }
}

TTransaction::~TTransaction() {
    if (m_open)
        Rollback();
}

void TTransaction::Rollback() {
    if (!m_open)
        return;
    m_open = false;
    for (TTable* dataSet : m_dataSets) {
        try {
            dataSet->EndTransaction(false);
        } catch (...) {
            // A control that cannot show the restored record must not stop the others.
        }
    }
}

void TTransaction::Commit() {
    if (!m_open)
        throw EDatabaseError(QStringLiteral("Транзакция уже завершена."));

    QList<JournalTable> work;
    QList<DbfFile*> files;
    QString folder;
    for (TTable* dataSet : m_dataSets) {
        DbfFile* file = dataSet->WorkFile();
        const QList<DbfFile::Change> changes = file->overlayChanges();
        if (changes.isEmpty())
            continue;
        const QString tableFolder = QFileInfo(file->path()).absolutePath();
        if (folder.isEmpty())
            folder = tableFolder;
        else if (folder != tableFolder)
            throw EDatabaseError(QStringLiteral("Таблицы одной операции лежат в разных папках."));
        JournalTable table;
        table.name = QFileInfo(file->path()).fileName();
        table.headerLength = std::uint32_t(file->headerLength());
        table.recordLength = std::uint32_t(file->recordLength());
        table.oldCount = file->committedCount();
        table.newCount = file->recordCount();
        table.changes = changes;
        work << table;
        files << file;
    }

    if (!work.isEmpty()) {
        for (TTable* dataSet : m_dataSets)
            dataSet->RunBeforeWrite();
        // Space and rights first: a full disk or a read-only table stops the work here,
        // before anything is written.
        for (qsizetype i = 0; i < files.size(); ++i) {
            files[i]->checkWritable();
            files[i]->reserveForAppends(work[i].newCount);
        }
        const QString journal = QDir(folder).filePath(JournalFileName());
        WriteJournal(journal, EncodeJournal(work));

        // Past this point the tables may be half written. Whatever stops the work here leaves
        // either the tables as before (all put back, journal gone) or a sealed journal that the
        // next start applies; in that case nothing more may be done on these tables now.
        const auto stopUntilRestart = [this](const QString& why) {
            m_open = false;
            for (TTable* dataSet : m_dataSets)
                dataSet->Close();
            throw EDatabaseError(
                QStringLiteral("%1\nОперация не завершена, таблицы закрыты. Перезапустите "
                               "программу: при запуске операция будет доведена до конца.")
                    .arg(why));
        };
        qsizetype applied = 0;
        try {
            for (; applied < files.size(); ++applied)
                files[applied]->applyChanges(work[applied].changes, work[applied].newCount);
        } catch (const EDatabaseError& error) {
            try {
                for (qsizetype i = 0; i <= applied && i < files.size(); ++i)
                    files[i]->revertChanges(work[i].changes, work[i].oldCount);
                RemoveJournal(journal);
            } catch (const EDatabaseError&) {
                stopUntilRestart(error.message());
            }
            Rollback();
            throw;
        }
        try {
            RemoveJournal(journal);
        } catch (const EDatabaseError& error) {
            stopUntilRestart(error.message());
        }
    }

    m_open = false;
    for (TTable* dataSet : m_dataSets) {
        if (dataSet->WorkFile() && dataSet->WorkFile()->inOverlay())
            dataSet->WorkFile()->dropOverlay(); // nothing changed in this one
        dataSet->EndTransaction(true);
    }
}

} // namespace varnel
