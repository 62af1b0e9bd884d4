// The books in the table files of the working folder: the default home.
#include "base/Errors.h"
#include "base/Report.h"
#include "store/Backup.h"
#include "store/Chain.h"
#include "store/DataModule6.h"
#include "store/Home.h"
#include "store/Tables.h"
#include "store/engine/Convert.h"
#include "store/engine/Journal.h"
#include "store/engine/Table.h"
#include "store/engine/Transaction.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <vector>

namespace varnel {

namespace {

// The tables the daily copies hold: all but the history, which has a copy of its own.
QStringList books() {
    QStringList names = TableFileNames();
    names.removeAll(HistoryTable().file);
    return names;
}

class FolderWork : public TBooksWork {
public:
    explicit FolderWork(const std::vector<TTable*>& tables) : m_work(tables) {}
    void Commit() override { m_work.Commit(); }

private:
    TTransaction m_work;
};

class TFolderHome : public TBooksHome {
public:
    TDataSet* MakeTable(QObject* owner, const TableDescription& described) override {
        auto* table = new TTable(owner);
        table->setObjectName(described.table);
        table->SetTableName(described.file);
        table->SetExactFields(described.exactFields);
        described.MakeFields(table);
        table->SetBeforeWrite([this] { CopyOnNewDay(); });
        if (&described == &HistoryTable())
            ChainAppends(*table);
        return table;
    }

    void Open(TDataModule6& books) override;

    void FinishInterruptedWork() override { RecoverInterruptedWork(QDir::currentPath()); }

    QString Operator() const override { return DesktopUserName(); }

    bool HasLimits() const override { return QFileInfo::exists(LimitsTable().file); }

    std::unique_ptr<TBooksWork> Begin(std::initializer_list<TDataSet*> tables) override {
        std::vector<TTable*> files;
        for (TDataSet* table : tables)
            files.push_back(static_cast<TTable*>(table)); // every table of this home is a file
        return std::make_unique<FolderWork>(files);
    }

private:
    void CopyOnNewDay();

    QDate m_copiedOn; // the day of the last daily copy this run took
};

// A counter left running past midnight takes the new day's copy before the day's first write,
// as its first start that day would have. A copy that cannot be made does not stop the work:
// the operator is told, and the next start tries again.
void TFolderHome::CopyOnNewDay() {
    const QDate today = Date();
    if (!m_copiedOn.isValid() || m_copiedOn == today)
        return;
    m_copiedOn = today;
    try {
        BackUpTables(QDir::currentPath(), books(), today);
    } catch (const EDatabaseError& error) {
        // Told once the operator's action is done: a box shown here, in the middle of the
        // action's write, would run the event loop while the tables wait to be written.
        QTimer::singleShot(0, [message = error.message()] { ReportNotice(message); });
    }
}

// Each table opens on its own: a damaged or missing file keeps only itself closed, so that
// winnings can still be paid when the bets file is damaged, and so on. Every failure is
// reported, in one message naming the newest backup of each such table, and the program goes
// on without those tables.
void TFolderHome::Open(TDataModule6& module) {
    const QString folder = QDir::currentPath();
    // Work that a crash cut off is finished (or was never begun) before anyone reads a table,
    // and the day's copy is taken before anything is written.
    FinishInterruptedWork();
    QStringList failures;
    try {
        m_copiedOn = Date();
        BackUpTables(folder, books(), m_copiedOn);
        BackUpHistory(folder, HistoryTable().file);
    } catch (const EDatabaseError& error) {
        failures << error.message();
    }
    int failedTables = 0;
    for (TDataSet* dataSet : {module.TableCompit, module.TableStavka, module.TableMoney}) {
        auto* table = static_cast<TTable*>(dataSet);
        try {
            TDataModule6::OpenMending(table);
        } catch (const EDatabaseError& error) {
            const QString backup = NewestBackupOf(folder, table->TableName(), Date());
            failures << error.message() +
                            (backup.isEmpty() ? QStringLiteral(" Резервной копии этой таблицы нет.")
                                              : QStringLiteral(" Последняя резервная копия: «%1».")
                                                    .arg(QDir::toNativeSeparators(backup)));
            ++failedTables;
        }
    }
    // The history is kept where the folder has one; books laid out before it was are worked
    // on as ever, and the operator is told once how to start one.
    auto* history = static_cast<TTable*>(module.TableHistory);
    if (!QFileInfo::exists(history->TableName())) {
        ReportNotice(QStringLiteral("В рабочей папке нет таблицы истории %1: программа работает "
                                    "как прежде, но изменения книг не записываются в историю. "
                                    "Чтобы вести историю, закройте программу и выполните "
                                    "«varnel-newdesk %2»: она добавит таблицу истории, не трогая "
                                    "остальные.")
                         .arg(history->DisplayName(), QDir::toNativeSeparators(folder)));
    } else {
        try {
            TDataModule6::OpenMending(history);
        } catch (const EDatabaseError& error) {
            failures << error.message() +
                            QStringLiteral(" Программа работает, но история не записывается.");
        }
    }
    // The limits where the folder has them; without them no bet is taken (CurrentLimits).
    if (HasLimits()) {
        try {
            TDataModule6::OpenMending(static_cast<TTable*>(module.TableLimits));
        } catch (const EDatabaseError& error) {
            failures << error.message() + QStringLiteral(" Ставки не принимаются, пока таблица "
                                                         "лимитов не восстановлена.");
        }
    }
    if (failures.isEmpty())
        return;
    QString message = failures.join(QLatin1Char('\n'));
    if (failedTables == 1)
        message += QStringLiteral("\nПрограмма работает без этой таблицы. Восстановите файл из "
                                  "резервной копии и перезапустите программу.");
    else if (failedTables > 1)
        message += QStringLiteral("\nПрограмма работает без этих таблиц. Восстановите файлы из "
                                  "резервной копии и перезапустите программу.");
    throw EDatabaseError(message);
}

} // namespace

std::unique_ptr<TBooksHome> FolderHome() {
    return std::make_unique<TFolderHome>();
}

bool TBooksHome::KeepsSeals(const TDataSet& history) const {
    const TField* seal = history.FindField(fields::KOD);
    return history.Active() && seal && !seal->Missing();
}

QString DesktopUserName() {
    QString name;
    for (const char* variable : {"USER", "LOGNAME", "USERNAME"}) {
        name = qEnvironmentVariable(variable).trimmed();
        if (!name.isEmpty())
            break;
    }
    if (name.isEmpty())
        name = QDir::home().dirName();
    const int size = HistoryTable().Field(fields::KASSIR)->size;
    if (name.size() > size)
        name.truncate(name.at(size - 1).isHighSurrogate() ? size - 1 : size);
    return name;
}

} // namespace varnel
