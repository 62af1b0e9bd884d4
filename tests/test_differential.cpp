// The operations of the books have two implementations: the program's own over a folder's files,
// and the server's functions. One long random sequence of operations runs on a folder and on a
// throwaway server, and after every step both must hold the same books and have given the same
// refusal. VARNEL_DIFF_SEED and VARNEL_DIFF_STEPS run it longer, with any seed.
#include "server/Connection.h"
#include "server/Schema.h"
#include "server/ServerHome.h"
#include "store/DataModule6.h"
#include "store/Tables.h"
#include "tests/support/Server.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"

#include <QRegularExpression>
#include <QTest>

#include <random>

using namespace varnel;
using namespace varnel::test;

namespace {

// What differs between the homes by nature: the history's day, time and writer (and so the
// moment a refusal names, each home's own clock a few milliseconds apart), and the places
// it names (a record's place in a file, a row's key on the server; the serials are numbered so
// too). The limits' record keeps its minutes in ZAPIS: those are compared.
const QStringList kHistoryCompared = {
    "VID",    "NUMBER", "DATE",   "KOM1",   "KOM2",  "KOEF_1",     "KOEF_2", "KOEF_N",
    "SUMM_1", "SUMM_2", "SUMM_N", "RESULT", "SUMMA", "KOEFICIENT", "FIO",    "VYPLATA"};

// The serials of the bets and payouts, numbered by each home in its way.
const QStringList kByNature = {"SERIAL"};

QString shown(const Variant& value) {
    if (value.isNull())
        return QStringLiteral("∅");
    if (value.type() == Variant::Type::Double)
        return QString::number(value.toReal(), 'g', 17);
    return value.toString();
}

// A table's records in their order, every field (or those named) shown exactly.
QStringList records(TDataSet& table, const QStringList& only = {}) {
    QStringList rows;
    if (!table.Active())
        table.Open();
    for (table.First(); !table.Eof(); table.Next()) {
        QStringList row;
        for (const TField* field : table.Fields())
            if ((only.isEmpty() && !kByNature.contains(field->FieldName())) ||
                only.contains(field->FieldName()))
                row << shown(table.GetFieldValue(field->FieldName()));
        rows << row.join(QLatin1Char('|'));
    }
    return rows;
}

// One home's books, and how far its history was compared: the record last compared, and the
// records of results met so far (to undo one, as the back office names it).
struct Home {
    explicit Home(std::unique_ptr<TBooksHome> home = {}) : books(std::move(home)) {}
    BooksFixture books;
    RecordKey last = -1;
    QList<RecordKey> results;
};

// The history's records after the one last compared, as both homes must agree on them.
QStringList historyAfter(Home& home) {
    TDataSet& history = *home.books.module->TableHistory;
    RecordKey& last = home.last;
    QStringList rows;
    if (last < 0) {
        history.First();
    } else {
        history.MoveTo(last);
        history.Next();
    }
    for (; !history.Eof(); history.Next()) {
        QStringList values;
        for (const QString& field : kHistoryCompared)
            values << shown(history.GetFieldValue(field));
        const QString kind = history.GetFieldValue(fields::VID).toString();
        if (kind == kinds::LimitsSet())
            values << shown(history.GetFieldValue(fields::ZAPIS));
        if (kind == kinds::Result())
            home.results << history.CurrentIndex();
        rows << values.join(QLatin1Char('|'));
        last = history.CurrentIndex();
    }
    return rows;
}

class Sequence {
public:
    explicit Sequence(quint64 seed) : m_random(seed) {}
    int below(int n) { return int(m_random() % quint64(n)); }
    template <typename T> T pick(std::initializer_list<T> from) {
        return *(from.begin() + below(int(from.size())));
    }
    // Money and coefficients across their columns' range: the usual ones most often, then
    // those a column rounds (ties at the last decimal kept, 2.00005 below its tie), the
    // smallest, the largest, and the refused.
    double stake() {
        switch (below(10)) {
        case 0:
            return pick({0.03125, 2.00005, 0.0001, 0.00005, 1.15625});
        case 1:
            return pick({1e9 + below(1000) / 7.0, 99999999999999.0, 123456789012.3456});
        case 2:
            return pick({0.0, -5.0});
        default:
            return (1 + below(500000)) / 100.0;
        }
    }
    double koef() {
        switch (below(16)) {
        case 0:
        case 1:
            return pick({0.0, 0.01, 9999999.99999999999, 1234.567890123456, 3.14159265358979,
                         0.9999999999949999});
        case 2:
            return -1.0;
        default:
            return 1 + below(400) / 100.0;
        }
    }

private:
    std::mt19937_64 m_random;
};

// The sides: those an event takes, and those it refuses beside the first three.
const QStringList kSides = {"Зенит",   "ЦСКА\\Москва", "Динамо", "Спартак",
                            "Торпедо", "зенит",        "Ничья",  " "};
const QStringList kClients = {"Иванов И.И.", "Петров П.П.", "O'Brien", "Сидорова А.\\Б."};

} // namespace

class TestDifferential : public QObject {
    Q_OBJECT

    PgServer m_server;

    // One step on one home: what it refused, or nothing; the pending records it left dropped,
    // as the dialogs drop them.
    static QString attempt(Home& home, const std::function<void(Home&)>& step) {
        BooksFixture& books = home.books;
        QString refusal;
        try {
            step(home);
        } catch (const EVarnelError& error) {
            static const QRegularExpression moment(
                QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4} в \\d\\d:\\d\\d:\\d\\d"));
            refusal = QString(error.message()).replace(moment, QStringLiteral("(когда)"));
        }
        for (TDataSet* table : {books.module->TableCompit, books.module->TableStavka})
            if (table->Active() && table->state() != TDataSet::State::Browse)
                table->Cancel();
        return refusal;
    }

private slots:
    // Both homes, step by step: the same refusals, and the same events, bets, payouts and
    // history, to the column's last decimal.
    void bothHomesKeepTheSameBooks() {
        const quint64 seed = qEnvironmentVariableIsSet("VARNEL_DIFF_SEED")
                                 ? qgetenv("VARNEL_DIFF_SEED").toULongLong()
                                 : 20261208;
        const int steps = qEnvironmentVariableIsSet("VARNEL_DIFF_STEPS")
                              ? qEnvironmentVariableIntValue("VARNEL_DIFF_STEPS")
                              : 2500;
        const QString db = m_server.NewDatabase();
        {
            ServerConnection server(db);
            LayOutServer(server);
        }
        const WithoutSync fast; // no crash is tried here
        Home there(ServerHome(db));
        Home here; // the working folder last: the folder's home works in it
        Sequence random(seed);
        qsizetype historyCompared = 0;
        int refused = 0;
        for (int step = 0; step < steps; ++step) {
            using namespace fields;
            const Variant number(1 + random.below(4));
            QString what;
            std::function<void(Home&)> operation;
            switch (random.below(16)) {
            case 0:
            case 1: {
                const QString kom1 = kSides[random.below(3)];
                const QString kom2 = kSides[random.below(4) == 0 ? random.below(int(kSides.size()))
                                                                 : 3 + random.below(2)];
                const QDate date = Date().addDays(random.below(4));
                const double k1 = random.koef(), k2 = random.koef(), kn = random.koef();
                const double sum = random.below(4) == 0 ? random.stake() : 500.0;
                what = QStringLiteral("event %1 %2 %3 %4 %5 %6 %7 %8")
                           .arg(number.toString(), kom1, kom2, date.toString(Qt::ISODate))
                           .arg(k1, 0, 'g', 17)
                           .arg(k2, 0, 'g', 17)
                           .arg(kn, 0, 'g', 17)
                           .arg(sum, 0, 'g', 17);
                operation = [=](Home& home) {
                    BooksFixture& books = home.books;
                    TDataSet& events = *books.module->TableCompit;
                    events.Insert();
                    events.SetFieldValue(NUMBER, number);
                    events.SetFieldValue(DATE, Variant(date));
                    events.SetFieldValue(KOM1, Variant(kom1));
                    events.SetFieldValue(KOM2, Variant(kom2));
                    events.SetFieldValue(KOEF_1, Variant(k1));
                    events.SetFieldValue(KOEF_2, Variant(k2));
                    events.SetFieldValue(KOEF_N, Variant(kn));
                    for (const QLatin1String field : {SUMM_1, SUMM_2, SUMM_N})
                        events.SetFieldValue(field, Variant(sum));
                    books.module->EnterEvent();
                };
                break;
            }
            case 2: {
                const int outcome = 1 + random.below(3);
                what = QStringLiteral("result %1 %2").arg(number.toString()).arg(outcome);
                operation = [=](Home& home) {
                    BooksFixture& books = home.books;
                    books.settle(number, outcome);
                };
                break;
            }
            case 3: {
                const int row = random.below(4);
                what = QStringLiteral("payout %1").arg(row);
                operation = [=](Home& home) {
                    BooksFixture& books = home.books;
                    if (books.module->TableMoney->IsEmpty())
                        return;
                    books.payOut(row % int(records(*books.module->TableMoney).size()));
                };
                break;
            }
            case 4: {
                const int row = random.below(8);
                what = QStringLiteral("revoke %1").arg(row);
                operation = [=](Home& home) {
                    BooksFixture& books = home.books;
                    TDataSet& bets = *books.module->TableStavka;
                    if (bets.IsEmpty())
                        return;
                    bets.First();
                    bets.MoveBy(row % int(records(bets).size()));
                    books.module->RevokeBet();
                };
                break;
            }
            case 5: {
                const int back = random.below(3);
                what = QStringLiteral("undo %1 back").arg(back);
                operation = [=](Home& home) {
                    BooksFixture& books = home.books;
                    const QList<RecordKey>& results = home.results;
                    if (results.size() > back)
                        books.module->UndoResult(results[results.size() - 1 - back]);
                };
                break;
            }
            case 6: {
                Limits limits;
                if (random.below(3) != 0) {
                    limits.minStake = random.pick<std::optional<double>>({{}, 1.0, 10.0});
                    limits.maxStake =
                        random.pick<std::optional<double>>({{}, 1000.0, 50000.0, 5.0});
                    limits.maxPayout =
                        random.pick<std::optional<double>>({{}, 20000.0, 1e6, 1234.5678});
                    limits.maxLiability =
                        random.pick<std::optional<double>>({{}, 50000.0, 1e5, 2500.0});
                    limits.revokeMinutes = random.pick<std::optional<int>>({{}, 15});
                }
                what = QStringLiteral("limits %1 %2 %3 %4")
                           .arg(OrBlank(limits.minStake).toString(),
                                OrBlank(limits.maxStake).toString(),
                                OrBlank(limits.maxPayout).toString(),
                                OrBlank(limits.maxLiability).toString());
                operation = [=](Home& home) {
                    BooksFixture& books = home.books;
                    books.module->SetLimits(limits);
                };
                break;
            }
            default: {
                const int outcome = 1 + random.below(3);
                const double stake = random.stake();
                const QString client = kClients[random.below(int(kClients.size()))];
                const bool adjust = random.below(2) == 0;
                what = QStringLiteral("bet %1 %2 %3 %4")
                           .arg(number.toString())
                           .arg(outcome)
                           .arg(stake, 0, 'g', 17)
                           .arg(adjust);
                operation = [=](Home& home) {
                    BooksFixture& books = home.books;
                    books.takeBet(number, outcome, Variant(stake), client, adjust);
                };
                break;
            }
            }
            const QString onFolder = attempt(here, operation);
            const QString onServer = attempt(there, operation);
            const QString context =
                QStringLiteral("step %1 (seed %2): %3").arg(step).arg(seed).arg(what);
            if (onFolder != onServer)
                QFAIL(qPrintable(context + "\n folder: " + onFolder + "\n server: " + onServer));
            refused += !onFolder.isEmpty();
            for (const auto& [table, name] : {std::pair{&TDataModule6::TableCompit, "events"},
                                              std::pair{&TDataModule6::TableStavka, "bets"},
                                              std::pair{&TDataModule6::TableMoney, "payouts"}}) {
                const QStringList folder = records(*(here.books.module.get()->*table));
                const QStringList server = records(*(there.books.module.get()->*table));
                if (folder != server)
                    QFAIL(qPrintable(QStringLiteral("%1: the %2 differ\n folder: %3\n server: %4")
                                         .arg(context, QLatin1String(name),
                                              folder.join(QStringLiteral("\n  ")),
                                              server.join(QStringLiteral("\n  ")))));
            }
            const QStringList folder = historyAfter(here);
            const QStringList server = historyAfter(there);
            if (folder != server)
                QFAIL(qPrintable(QStringLiteral("%1: the history differs\n folder: %2\n server: %3")
                                     .arg(context, folder.join(QStringLiteral("\n  ")),
                                          server.join(QStringLiteral("\n  ")))));
            historyCompared += folder.size();
        }
        // The sequence tried both what the rules take and what they refuse.
        QVERIFY2(refused > steps / 20 && refused < steps * 3 / 5,
                 qPrintable(QString::number(refused)));
        QVERIFY(historyCompared > steps / 2);
    }
};

VARNEL_GUILESS_TEST_MAIN(TestDifferential)
#include "test_differential.moc"
