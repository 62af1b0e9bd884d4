// Writes the program's own tables, as the program writes them, into a folder: the seeds of
// the table fuzzer's corpus. With a second folder, also the journals of a bet cut off by a
// crash, without their seal: the seeds of the journal fuzzer.
//   Usage: make_seeds FOLDER [JOURNALS]
#include "store/DataModule6.h"
#include "store/Tables.h"
#include "store/engine/FaultInjection.h"
#include "store/engine/Journal.h"
#include "store/engine/Transaction.h"

#include <QFile>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDate>
#include <QDir>

#include <cstdio>

using namespace varnel;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_seeds FOLDER [JOURNALS]\n");
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
            TTransaction work({data.TableStavka, data.TableCompit});
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
            work.Commit();
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
