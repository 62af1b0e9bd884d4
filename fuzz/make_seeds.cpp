// Writes the program's own tables, as the program writes them, into a folder: the seeds of
// the table fuzzer's corpus. With a second folder, also the journals of a bet cut off by a
// crash, without their seal: the seeds of the journal fuzzer. With --history, histories of
// every kind of record: as the counter keeps them, with records another program spoilt, in
// another tool's layout, and empty: the seeds of the history fuzzer.
//   Usage: make_seeds FOLDER [JOURNALS]
//          make_seeds --history FOLDER
#include "store/DataModule6.h"
#include "store/History.h"
#include "store/Tables.h"
#include "store/engine/DbfFile.h"
#include "store/engine/FaultInjection.h"
#include "store/engine/Journal.h"
#include "store/engine/Table.h"
#include "store/engine/Transaction.h"

#include <QFile>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDate>
#include <QDir>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace varnel;

namespace {

// An event entered, two bets on it, its result with a win and a loss, the win paid, the result
// undone and the payout taken back: one record of each kind, on the day the fuzzer asks for.
void writeHistory(const QString& path) {
    using namespace fields;
    TTable history;
    history.SetTableName(path);
    history.Open();
    const QString one = QStringLiteral("Спартак"), two = QStringLiteral("Динамо");
    const QString ivanov = QStringLiteral("Иванов Иван"), petrov = QStringLiteral("Петров Пётр");
    const struct {
        QString kind;
        int serial;
        QString fio, result;
        double summa, vyplata;
    } records[] = {{kinds::Event(), 0, {}, {}, 0, 0},
                   {kinds::Bet(), 1, ivanov, one, 100, 0},
                   {kinds::Bet(), 2, petrov, two, 50.5, 0},
                   {kinds::Result(), 0, {}, one, 0, 0},
                   {kinds::Won(), 1, ivanov, one, 100, 185},
                   {kinds::Lost(), 2, petrov, two, 50.5, 0},
                   {kinds::Paid(), 1, ivanov, {}, 0, 185},
                   {kinds::Undone(), 0, {}, {}, 0, 0},
                   {kinds::Restored(), 1, ivanov, one, 100, 185}};
    int second = 0;
    for (const auto& r : records) {
        history.Insert();
        history.SetFieldValue(DEN, QDate(2026, 12, 7));
        history.SetFieldValue(VREMYA,
                              QStringLiteral("12:00:%1").arg(second++, 2, 10, QLatin1Char('0')));
        history.SetFieldValue(VID, r.kind);
        history.SetFieldValue(NUMBER, 1);
        history.SetFieldValue(KOM1, one);
        history.SetFieldValue(KOM2, two);
        if (r.kind == kinds::Event() || r.kind == kinds::Undone()) {
            history.SetFieldValue(DATE, QDate(2026, 12, 9));
            history.SetFieldValue(KOEF_1, 1.85);
            history.SetFieldValue(KOEF_2, 2.1);
            history.SetFieldValue(KOEF_N, 3.25);
            for (const QLatin1String sum : {SUMM_1, SUMM_2, SUMM_N})
                history.SetFieldValue(sum, 500.0);
        }
        if (r.serial > 0) {
            history.SetFieldValue(SERIAL, r.serial);
            history.SetFieldValue(ZAPIS, r.serial - 1);
            history.SetFieldValue(FIO, r.fio);
        }
        if (!r.result.isEmpty())
            history.SetFieldValue(RESULT, r.result);
        if (r.summa > 0) {
            history.SetFieldValue(SUMMA, r.summa);
            history.SetFieldValue(KOEFICIENT, 1.85);
        }
        if (r.vyplata > 0)
            history.SetFieldValue(VYPLATA, r.vyplata);
        history.Post();
    }
}

// Bytes over one field of a stored record, as another program writes them: blanks before them.
void spoil(DbfFile& file, std::uint32_t record, QLatin1String field, const QByteArray& bytes) {
    const DbfColumn& c = file.columns().at(file.columnIndex(field));
    QByteArray stored(file.record(record), file.recordLength());
    const QByteArray written = QByteArray(c.length - bytes.size(), ' ') + bytes;
    std::memcpy(stored.data() + c.offset, written.constData(), std::size_t(c.length));
    file.write(record, stored);
}

int writeHistories(const QString& folder) {
    using namespace fields;
    const QDir out(folder);
    QDir().mkpath(folder);
    const QString books = out.filePath(QStringLiteral("history-books.dbf"));
    const QString spoilt = out.filePath(QStringLiteral("history-spoilt.dbf"));
    const QString foreign = out.filePath(QStringLiteral("history-foreign.dbf"));
    DbfFile::create(out.filePath(QStringLiteral("history-empty.dbf")), HistoryTable().Columns());
    DbfFile::create(books, HistoryTable().Columns());
    writeHistory(books);

    DbfFile::create(spoilt, HistoryTable().Columns());
    writeHistory(spoilt);
    DbfFile file(spoilt);
    file.open();
    spoil(file, 1, DEN, "20261232");
    spoil(file, 2, SERIAL, "2.5");
    spoil(file, 4, VYPLATA, "185,00");
    spoil(file, 6, SERIAL, "1O");
    file.markDeleted(8);
    file.close();

    // Another tool's layout: the fields in another order, wider numbers, more decimals.
    QList<DbfColumn> columns = HistoryTable().Columns();
    std::reverse(columns.begin(), columns.end());
    for (DbfColumn& c : columns) {
        if (c.name == SERIAL || c.name == ZAPIS)
            c.length = 12;
        else if (c.type == 'N' && c.decimals > 0) {
            c.length += 4;
            c.decimals += 2;
        }
    }
    DbfFile::create(foreign, columns);
    writeHistory(foreign);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--history")
        return writeHistories(QString::fromLocal8Bit(argv[2]));
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_seeds FOLDER [JOURNALS]\n"
                             "       make_seeds --history FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    CreateEmptyTables(folder);
    QDir::setCurrent(folder);
    TDataModule6 data;
    data.TableCompit->Open();
    data.TableStavka->Open();
    data.TableMoney->Open();
    const struct {
        int number;
        const char* one;
        const char* two;
        double k1, k2, kn, s1;
    } events[] = {{1, "Спартак", "Динамо", 1.85, 2.1, 3.25, 1500.5},
                  {2, "Зенит", "ЦСКА", 0.01, 99999.999999999, 1, 0},
                  {32767, "Ёлки", "Щит", 2.5, 2.5, 2.5, 99999999.99}};
    for (const auto& e : events) {
        auto& t = *data.TableCompit;
        t.Insert();
        t.SetFieldValue("NUMBER", e.number);
        t.SetFieldValue("DATE", QDate(2026, 12, 7));
        t.SetFieldValue("KOM1", QString::fromUtf8(e.one));
        t.SetFieldValue("KOM2", QString::fromUtf8(e.two));
        t.SetFieldValue("KOEF_1", e.k1);
        t.SetFieldValue("KOEF_2", e.k2);
        t.SetFieldValue("KOEF_N", e.kn);
        t.SetFieldValue("SUMM_1", e.s1);
        t.Post();

        auto& b = *data.TableStavka;
        b.Insert();
        b.SetFieldValue("NUMBER", e.number);
        b.SetFieldValue("RESULT", QString::fromUtf8(e.one));
        b.SetFieldValue("SUMMA", 250.75);
        b.SetFieldValue("KOEFICIENT", e.k1);
        b.SetFieldValue("FIO", QStringLiteral("Иванов Иван Иванович"));
        b.Post();

        auto& m = *data.TableMoney;
        m.Insert();
        m.SetFieldValue("FIO", QStringLiteral("Петров П. П."));
        m.SetFieldValue("SUMMA", e.s1 * e.k1);
        m.Post();
    }
    data.TableStavka->First();
    data.TableStavka->Delete();
    data.TableMoney->Last();
    data.TableMoney->Delete();
    if (argc == 2)
        return 0;

    // A bet and its event's stake sum in one operation, killed at each of its writes in turn.
    const QString journals = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(journals);
    for (int point = 1; point <= 12; ++point) {
        QFile::remove(JournalFileName());
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            auto work = data.BeginWork({data.TableStavka, data.TableCompit});
            data.TableStavka->Insert();
            data.TableStavka->SetFieldValue("NUMBER", 1);
            data.TableStavka->SetFieldValue("RESULT", QStringLiteral("Спартак"));
            data.TableStavka->SetFieldValue("SUMMA", 10);
            data.TableStavka->SetFieldValue("KOEFICIENT", 1.85);
            data.TableStavka->SetFieldValue("FIO", QStringLiteral("Сидоров"));
            data.TableStavka->Post();
            data.TableCompit->First();
            data.TableCompit->Edit();
            data.TableCompit->SetFieldValue("SUMM_1", 1510.5);
            data.TableCompit->Post();
            fault::Arm(point, fault::Kind::Kill);
            work->Commit();
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        QFile journal(JournalFileName());
        if (journal.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = journal.readAll();
            QFile out(journals + QStringLiteral("/journal-%1").arg(point));
            if (bytes.size() > 8 && out.open(QIODevice::WriteOnly))
                out.write(bytes.left(bytes.size() - 8));
        }
    }
    QFile::remove(JournalFileName());
    return 0;
}
