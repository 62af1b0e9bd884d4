// The operations of the books have two implementations: the program's own over a folder's files,
// and the server's functions. One long random sequence of operations runs on a folder and on a
// throwaway server, and after every step both must hold the same books and have given the same
// refusal: as the books' owner, and as a cashier and a manager taking turns, where the server
// refuses what a role may not do. Each runs with a fixed seed and with one of this run's,
// printed; VARNEL_DIFF_SEED and VARNEL_DIFF_STEPS run it again, or longer, with any seed.
#include "server/Connection.h"
#include "server/Schema.h"
#include "server/ServerHome.h"
#include "store/DataModule6.h"
#include "store/Rules.h"
#include "store/Slip.h"
#include "store/Tables.h"
#include "tests/support/Server.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"

#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <cmath>

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

// Who takes a step on the server when roles take turns, and what the server refuses them.
enum class Role { Owner, Cashier, Manager };
const QString kManagersUndo = QStringLiteral("Отменять результат может только менеджер.");
const QString kManagersLimits = QStringLiteral("Лимиты устанавливает только менеджер.");

// A value of a crafted row as the folder's field takes it.
Variant folderValue(const QString& value) {
    if (value == QLatin1String("long"))
        return Variant(QString(10000, QChar(0x044F)));
    if (value == QLatin1String("infinity"))
        return Variant(QDate(10000, 1, 1));
    if (value == QLatin1String("NaN"))
        return Variant(std::nan(""));
    if (value.endsWith(QLatin1String("Infinity")))
        return Variant(value.startsWith(QLatin1Char('-')) ? -INFINITY : INFINITY);
    bool number = false;
    const double real = value.toDouble(&number);
    return number ? Variant(real) : Variant(value);
}

} // namespace

class TestDifferential : public QObject {
    Q_OBJECT

    PgServer m_server;
    QString m_crafted; // the books the crafted values are tried on

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

    // What the server refuses a cashier's step by her role alone (nothing: she may do it, and
    // both homes take it as they take any step): entering events and results (the books' owner
    // lets cashiers do neither here), undoing a result, setting limits a folder would take,
    // paying by name a bet that has a slip (every bet on the server has one), revoking a bet
    // when the owner set no minutes for it.
    static QString cashiersRefusal(int kind, Home& folder, const Variant& number, int back,
                                   const Limits& limits, const std::optional<int>& minutes) {
        TDataModule6& books = *folder.books.module;
        switch (kind) {
        case 0:
        case 1:
            return ManagersSettleMessage();
        case 2:
            return books.FindEvent(number) ? ManagersSettleMessage() : QString();
        case 3:
            return books.TableMoney->IsEmpty() ? QString() : SlipOnlyMessage();
        case 4:
            return books.TableStavka->IsEmpty() || minutes ? QString() : NoRevokeWindowMessage();
        case 5:
            // (the counter plans the undo before it asks the server: what the plan refuses)
            if (folder.results.size() <= back)
                return {};
            return attempt(folder, [&](Home&) {
                books.PlanUndo(folder.results[folder.results.size() - 1 - back]);
                throw ERuleRefused(kManagersUndo);
            });
        case 6:
            try {
                CheckLimitsSet(limits);
            } catch (const ERuleRefused&) {
                return {}; // refused before the server is asked, on both homes alike
            }
            return kManagersLimits;
        default:
            return {};
        }
    }

private slots:
    // Both homes, step by step: the same refusals, and the same events, bets, payouts and
    // history, to the column's last decimal. On the server the books' owner takes every step,
    // or a cashier and a manager take turns at random.
    void bothHomesKeepTheSameBooks_data() {
        QTest::addColumn<bool>("roles");
        QTest::addColumn<quint64>("seed");
        QTest::addColumn<int>("steps");
        const bool replay = qEnvironmentVariableIsSet("VARNEL_DIFF_SEED");
        const quint64 fixed = replay ? qgetenv("VARNEL_DIFF_SEED").toULongLong() : 20261208;
        static const quint64 changing = QRandomGenerator::system()->generate64() % 1000000000;
        for (const bool roles : {false, true}) {
            const char* who = roles ? "a cashier and a manager" : "the owner";
            QTest::addRow("%s, seed %llu", who, fixed) << roles << fixed << (roles ? 1000 : 2500);
            if (!replay)
                QTest::addRow("%s, seed %llu", who, changing) << roles << changing << 1000;
        }
    }
    void bothHomesKeepTheSameBooks() {
        QFETCH(bool, roles);
        QFETCH(quint64, seed);
        QFETCH(int, steps);
        // (the seed in the log, whatever comes of the run: VARNEL_DIFF_SEED=… runs it again)
        qInfo("seed %llu", seed);
        if (qEnvironmentVariableIsSet("VARNEL_DIFF_STEPS"))
            steps = qEnvironmentVariableIntValue("VARNEL_DIFF_STEPS");
        const QString db = booksWithOperators(m_server, {"kassa1"}, {"boss1"});
        const WithoutSync fast; // no crash is tried here
        Home there(ServerHome(roles ? asLogin(db, "boss1") : db));
        std::optional<Home> cashier;
        if (roles)
            cashier.emplace(ServerHome(asLogin(db, "kassa1")));
        Home here; // the working folder last: the folder's home works in it
        Sequence random(seed);
        qsizetype historyCompared = 0;
        int refused = 0;
        int byRole = 0;
        std::optional<int> minutes; // a cashier's minutes to revoke a bet, as last set
        for (int step = 0; step < steps; ++step) {
            using namespace fields;
            // now and then an event without a number, which the books take as they take any
            const Variant number = random.below(12) == 0 ? Variant() : Variant(1 + random.below(4));
            QString what;
            std::function<void(Home&)> operation;
            const int kind = random.below(16);
            int back = 0;
            Limits limits;
            switch (kind) {
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
                back = random.below(3);
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
                what = QStringLiteral("limits %1 %2 %3 %4 %5")
                           .arg(OrBlank(limits.minStake).toString(),
                                OrBlank(limits.maxStake).toString(),
                                OrBlank(limits.maxPayout).toString(),
                                OrBlank(limits.maxLiability).toString(),
                                OrBlank(limits.revokeMinutes).toString());
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
            const Role role = !roles                 ? Role::Owner
                              : random.below(2) == 0 ? Role::Cashier
                                                     : Role::Manager;
            const QString context = QStringLiteral("step %1 (seed %2%3): %4")
                                        .arg(step)
                                        .arg(seed)
                                        .arg(role == Role::Cashier   ? ", a cashier"
                                             : role == Role::Manager ? ", a manager"
                                                                     : "")
                                        .arg(what);
            Home& actor = role == Role::Cashier ? *cashier : there;
            if (role == Role::Cashier) {
                // the books as her counter shows them now, the results as the back office lists
                // them
                for (TDataSet* table :
                     {cashier->books.module->TableCompit, cashier->books.module->TableStavka,
                      cashier->books.module->TableMoney})
                    if (table->Active())
                        table->First();
                cashier->results = there.results;
            }
            const QString forbidden =
                role == Role::Cashier ? cashiersRefusal(kind, here, number, back, limits, minutes)
                                      : QString();
            const QString onServer = attempt(actor, operation);
            if (!forbidden.isEmpty()) {
                // The server alone: its refusal is the role's, and the books stay as they were.
                if (onServer != forbidden)
                    QFAIL(qPrintable(context + "\n expected: " + forbidden +
                                     "\n server: " + onServer));
                ++byRole;
            } else {
                const QString onFolder = attempt(here, operation);
                if (onFolder != onServer)
                    QFAIL(
                        qPrintable(context + "\n folder: " + onFolder + "\n server: " + onServer));
                refused += !onFolder.isEmpty();
                if (kind == 6 && onFolder.isEmpty())
                    minutes = limits.revokeMinutes;
            }
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
        // The sequence tried both what the rules take and what they refuse, and what a role may
        // not do.
        QVERIFY2(refused > steps / 20 && refused < steps * 3 / 5,
                 qPrintable(QString::number(refused)));
        QVERIFY(historyCompared > steps / 3);
        QVERIFY(!roles || byRole > steps / 10);
    }

    // What no bet, event or limit can be, sent to the server's operations by another program
    // (psql here, as the books' owner): refused with the message the folder gives the same
    // value, or the rule's own where the counter cannot send it; nothing written.
    void craftedValuesAreRefusedAsTheFolderRefusesThem_data() {
        QTest::addColumn<QString>("operation"); // event, bet, limits
        QTest::addColumn<int>("argument");      // which of the operation's, from 0
        QTest::addColumn<QString>("value");     // as a literal of SQL takes it ("long": 10,000
                                                // letters)
        QTest::addColumn<QString>("field");     // the folder's field of it; none: the server's
        QTest::addColumn<QString>("refusal");   // ... alone, refusing so
        const QString none;
        QTest::newRow("coefficient NaN") << "event" << 4 << "NaN"
                                         << "KOEF_1" << none;
        QTest::newRow("coefficient Infinity") << "event" << 5 << "Infinity"
                                              << "KOEF_2" << none;
        QTest::newRow("coefficient 1e7") << "event" << 6 << "1e7"
                                         << "KOEF_N" << none;
        QTest::newRow("stake sum NaN") << "event" << 7 << "NaN"
                                       << "SUMM_1" << none;
        QTest::newRow("date infinity") << "event" << 1 << "infinity"
                                       << "DATE" << none;
        QTest::newRow("side of 10,000 letters") << "event" << 2 << "long"
                                                << "KOM1" << none;
        QTest::newRow("side outside the code page") << "event" << 3 << "Zoë"
                                                    << "KOM2" << none;
        QTest::newRow("number 40000") << "event" << 0 << "40000"
                                      << "NUMBER" << none;
        QTest::newRow("stake NaN") << "bet" << 5 << "NaN"
                                   << "SUMMA" << none;
        QTest::newRow("stake Infinity") << "bet" << 5 << "Infinity"
                                        << "SUMMA" << none;
        QTest::newRow("stake 1e15") << "bet" << 5 << "1e15"
                                    << "SUMMA" << none;
        QTest::newRow("stake below the books' decimals") << "bet" << 5 << "0.00004"
                                                         << "SUMMA" << none;
        QTest::newRow("stake sum past its column at a tie") << "bet" << 5 << "99999999999998.5"
                                                            << "SUMMA" << none;
        QTest::newRow("client of 10,000 letters") << "bet" << 4 << "long"
                                                  << "FIO" << none;
        QTest::newRow("outcome 0") << "bet" << 2 << "0" << none << WrongOutcomeMessage("0");
        QTest::newRow("outcome 4") << "bet" << 2 << "4" << none << WrongOutcomeMessage("4");
        QTest::newRow("outcome NULL") << "bet" << 2 << "null" << none << WrongOutcomeMessage("");
        QTest::newRow("smallest stake NaN") << "limits" << 0 << "NaN"
                                            << "STAVKA_MIN" << none;
        QTest::newRow("liability Infinity") << "limits" << 3 << "Infinity"
                                            << "RISK_MAX" << none;
        QTest::newRow("largest stake 1e16") << "limits" << 1 << "1e16"
                                            << "STAVKA_MAX" << none;
        QTest::newRow("minutes 1e9") << "limits" << 4 << "1000000000"
                                     << "OTMENA_MIN" << none;
    }
    void craftedValuesAreRefusedAsTheFolderRefusesThem() {
        QFETCH(QString, operation);
        QFETCH(int, argument);
        QFETCH(QString, value);
        QFETCH(QString, field);
        QFETCH(QString, refusal);
        using namespace fields;
        if (refusal.isEmpty()) {
            // The folder's, as its dialogs and the back office's would meet it.
            BooksFixture books;
            TDataModule6& module = *books.module;
            try {
                if (operation == QLatin1String("event")) {
                    TDataSet& events = *module.TableCompit;
                    events.Insert();
                    const QList<std::pair<QLatin1String, Variant>> typed = {
                        {NUMBER, Variant(7)},     {DATE, Variant(Date().addDays(2))},
                        {KOM1, Variant("Зенит")}, {KOM2, Variant("Спартак")},
                        {KOEF_1, Variant(2.0)},   {KOEF_2, Variant(2.0)},
                        {KOEF_N, Variant(2.0)},   {SUMM_1, Variant(500.0)},
                        {SUMM_2, Variant(500.0)}, {SUMM_N, Variant(500.0)}};
                    for (const auto& [name, typedValue] : typed)
                        events.SetFieldValue(name, name == field ? folderValue(value) : typedValue);
                    module.EnterEvent();
                } else if (operation == QLatin1String("bet")) {
                    books.enterEvent(7, "Зенит", "Спартак");
                    books.takeBet(7, 1,
                                  field == QLatin1String(SUMMA) ? folderValue(value) : Variant(100),
                                  field == QLatin1String(FIO) ? folderValue(value).toString()
                                                              : QStringLiteral("Клиент"));
                } else {
                    Limits limits;
                    std::optional<double>* amounts[] = {&limits.minStake, &limits.maxStake,
                                                        &limits.maxPayout, &limits.maxLiability};
                    if (argument < 4)
                        *amounts[argument] = folderValue(value).toReal();
                    else
                        limits.revokeMinutes = int(folderValue(value).toReal());
                    module.SetLimits(limits);
                }
            } catch (const EVarnelError& error) {
                refusal = error.message();
            }
            QVERIFY2(!refusal.isEmpty(), "the folder took it");
        }
        // One set of books for every row, its event 7 entered once: nothing a row tries stays.
        if (m_crafted.isEmpty()) {
            m_crafted = m_server.NewDatabase();
            ServerConnection server(m_crafted);
            LayOutServer(server);
            psql(m_crafted, "select varnel.enter_event(7, current_date + 2, 'Зенит', 'Спартак', "
                            "2, 2, 2, 500, 500, 500, null)");
        }
        const QString& db = m_crafted;
        // The operation's arguments as the counter would send them, the crafted one in its place.
        const QMap<QString, QString> calls = {
            {"event", "enter_event|7|current_date + 2|'Зенит'|'Спартак'|2|2|2|500|500|500|null"},
            {"bet", "take_bet|(select key from compit)|7|1|false|'Клиент'|100|2|null|null"},
            {"limits", "set_limits|null|null|null|null|null|null"}};
        QStringList arguments = calls.value(operation).split('|');
        const QString name = arguments.takeFirst();
        arguments[argument] = value == QLatin1String("long")   ? "repeat('я', 10000)"
                              : value == QLatin1String("null") ? value
                                                               : "'" + value + "'";
        const auto books = [&db] {
            return psql(db, "select (select count(*) from history) || ' ' || (select count(*) "
                            "from compit) || ' ' || (select count(*) from limits)");
        };
        const QStringList before = books();
        QString refused;
        psql(db, QStringLiteral("select varnel.%1(%2)").arg(name, arguments.join(", ")), &refused);
        QVERIFY2(refused.contains(refusal), qPrintable(refused + "\n expected: " + refusal));
        QCOMPARE(books(), before);
    }
};

VARNEL_GUILESS_TEST_MAIN(TestDifferential)
#include "test_differential.moc"
