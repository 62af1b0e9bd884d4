// The history's chain: every record sealed as it is written, varnel-verify and a checker of
// the tests' own (tests/chain_check.py, written from the README alone) agreeing on a whole
// history and on each way an owner may tamper with it.
#include "base/Report.h"
#include "server/Connection.h"
#include "server/Seals.h"
#include "store/Chain.h"
#include "store/DataModule6.h"
#include "store/Source.h"
#include "store/Tables.h"
#include "tests/support/Server.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace varnel;
using namespace varnel::test;

namespace {

// Two events, four bets, the first event settled and a payout paid: eleven records.
void writeSomeHistory(BooksFixture& books) {
    books.enterEvent(7, "Спартак", "Зенит");
    books.enterEvent(8, "Динамо", "Торпедо");
    books.takeBet(7, 1, 100, "Иванов Иван");
    books.takeBet(8, 3, 5, "Чужой");
    books.takeBet(7, 2, 40.5, "Петров Пётр");
    books.takeBet(7, 1, 10, "Сидорова Анна");
    QVERIFY(books.settle(7, 1));
    books.payOut(0);
    QVERIFY2(books.errors.messages.isEmpty(), qPrintable(books.errors.messages.join('\n')));
}

// What varnel-verify says of the books (a folder, or a server's connection string), and what the
// tests' own checker says ("whole N HASH" or "broken AT"), with the heads given written down in
// a file.
struct Checks {
    ToolRun verify;
    QString independent;
};
Checks checkBoth(const QString& folder, const QString& conninfo, const QString& digest = {}) {
    QStringList args, python{QStringLiteral("check")};
    if (conninfo.isEmpty())
        args << folder, python << folder;
    else
        args << QStringLiteral("--server") << conninfo,
            python << QStringLiteral("--server") << QStringLiteral("psql") << QStringLiteral("-d")
                   << conninfo << QStringLiteral("--");
    if (!digest.isEmpty()) {
        const QString file = folder + QStringLiteral("/head.txt");
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(digest.toUtf8()) < 0)
            qFatal("the head is not written");
        out.close();
        args << QStringLiteral("--digest") << file;
        for (const ChainHead& head : HeadsIn(digest))
            python << QStringLiteral("--digest")
                   << QStringLiteral("%1:%2").arg(head.records).arg(QString(head.hash));
    }
    return {runTool(QStringLiteral(VARNEL_VERIFY), args),
            QString::fromUtf8(runPythonFile(QStringLiteral("chain_check.py"), python)).trimmed()};
}

// The owner's tampering on a server, as on a folder (chain_check.py tamper): `P` the place.
const char* const kServerTampering[][2] = {
    {"change", "update varnel.history set fio = 'Подставной' where key = (select key from "
               "varnel.seals where link = P)"},
    // the record gone, its seal left behind
    {"delete", "delete from varnel.history where key = (select key from varnel.seals where "
               "link = P)"},
    // the record and its seal gone, the places after it closed up
    {"remove", "delete from varnel.history where key = (select key from varnel.seals where "
               "link = P); delete from varnel.seals where link = P; update varnel.seals set "
               "link = -link where link > P; update varnel.seals set link = -link - 1 where "
               "link < 0"},
    // a copy of the record before, hash and all, put in its place
    {"insert", "create temp table t as select * from varnel.history where key = (select key "
               "from varnel.seals where link = P - 1); update t set key = key + 100000, action "
               "= null; insert into varnel.history overriding system value select * from t; "
               "update varnel.seals set link = -link where link >= P; update varnel.seals set "
               "link = -link + 1 where link < 0; insert into varnel.seals (link, key, hash) "
               "select P, t.key, s.hash from t, varnel.seals s where s.link = P - 1"},
    {"swap", "update varnel.seals set link = -link where link in (P, P + 1); update "
             "varnel.seals set link = case link when -P then P + 1 else P end where link < 0"},
    {"cut", "delete from varnel.history where key in (select key from varnel.seals where link "
            ">= P); delete from varnel.seals where link >= P; update varnel.chain set records = "
            "P - 1, head = (select hash from varnel.seals where link = P - 1)"},
    {"rewrite", "update varnel.history set fio = 'Подставной' where key = (select key from "
                "varnel.seals where link = P); do $$ declare r record; h text; begin select "
                "hash into h from varnel.seals where link = P - 1; for r in select s.link, "
                "varnel.canonical(x) as f from varnel.seals s join varnel.history x on x.key = "
                "s.key where s.link >= P order by s.link loop h := encode(sha256(convert_to(h "
                "|| r.link::text || r.f, 'UTF8')), 'hex'); update varnel.seals set hash = h "
                "where link = r.link; end loop; update varnel.chain set head = h; end $$"},
};

void tamper(const QString& folder, const QString& conninfo, const QString& kind, int place) {
    if (conninfo.isEmpty()) {
        runPythonFile(QStringLiteral("chain_check.py"),
                      {QStringLiteral("tamper"), folder, kind, QString::number(place)});
        return;
    }
    for (const auto& [name, sql] : kServerTampering)
        if (kind == QLatin1String(name)) {
            psql(conninfo,
                 QString::fromUtf8(sql).replace(QLatin1Char('P'), QString::number(place)));
            return;
        }
    qFatal("no such tampering");
}

} // namespace

class TestChain : public QObject {
    Q_OBJECT
    std::unique_ptr<HomeBooks> m_home;

private slots:
    void init() { m_home = std::make_unique<HomeBooks>(); }
    void cleanup() { m_home.reset(); }

    void tamperingOfEachKindIsFoundByBothCheckers_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("place");
        QTest::addColumn<bool>("digest");
        QTest::addColumn<int>("at"); // the first record that does not match
        QTest::addColumn<QString>("said");
        QTest::newRow("a field changed") << "change" << 3 << false << 3 << "запись №3 изменена";
        QTest::newRow("marked deleted") << "delete" << 4 << false << 4 << "удалена запись №4";
        QTest::newRow("removed") << "remove" << 4 << false << 4 << "удалена запись №4";
        QTest::newRow("inserted") << "insert" << 5 << false << 5 << "запись №5 вставлена";
        QTest::newRow("swapped") << "swap" << 3 << false << 3 << "записи №3 и №4 поменяны";
        QTest::newRow("tail cut") << "cut" << 10 << true << 10 << "конец истории удалён";
        QTest::newRow("rewritten, hashes recomputed")
            << "rewrite" << 3 << true << 11 << "записи до №11 переписаны";
    }
    void tamperingOfEachKindIsFoundByBothCheckers() {
        QFETCH(QString, kind);
        QFETCH(int, place);
        QFETCH(bool, digest);
        QFETCH(int, at);
        QFETCH(QString, said);
        BooksFixture& books = *m_home->books;
        writeSomeHistory(books);
        books.module.reset();
        const QString folder = books.folder.path();
        const QString& server = m_home->conninfo;

        if (server.isEmpty()) // the day's first write wrote down the head it found
            QCOMPARE(FolderDigests(folder), QList<ChainHead>{(ChainHead{0, ChainStart()})});
        const Checks whole = checkBoth(folder, server);
        QCOMPARE(whole.verify.status, 0);
        const QList<ChainHead> heads = HeadsIn(whole.verify.out);
        QCOMPARE(heads.size(), 1);
        QCOMPARE(heads[0].records, 11);
        // the head is the last line, as --digest reads it back
        QCOMPARE(whole.verify.out.trimmed().section('\n', -1), HeadText(heads[0]));
        QCOMPARE(whole.independent,
                 QStringLiteral("whole 11 %1").arg(QString::fromLatin1(heads[0].hash)));

        tamper(folder, server, kind, place);
        if (kind == QLatin1String("rewrite")) // a chain computed anew holds without a head
            QCOMPARE(checkBoth(folder, server).verify.status, 0);
        const Checks broken = checkBoth(folder, server, digest ? whole.verify.out : QString());
        QCOMPARE(broken.verify.status, 1);
        QVERIFY2(broken.verify.out.contains(said), qPrintable(broken.verify.out));
        QCOMPARE(broken.independent, QStringLiteral("broken %1").arg(at));
        if (digest) { // the back office goes on from the head it checked
            const auto resumed = [&] {
                if (server.isEmpty())
                    return CheckFolderChain(folder + "/HISTORY.DBF", {}, heads[0], 1);
                ServerConnection connection(server);
                return CheckServerChain(connection, {}, heads[0]);
            };
            QCOMPARE(resumed().at, at);
        }
    }

    // A history kept before the field: it opens and takes records as it is; the field added,
    // the chain starts at the next record, from the hash of every record before it.
    void theChainStartsAfterTheRecordsWrittenBeforeIt() {
        BooksFixture& books = *m_home->books;
        const QString folder = books.folder.path();
        books.module.reset();
        // (new books carry the chain from their first record; books from before, none yet)
        const auto carriesChain = [&] {
            FolderSource source(folder);
            source.Read({});
            return source.CheckChain().chained;
        };
        QVERIFY(carriesChain());
        createHistoryBeforeKassir(books.folder.file(QStringLiteral("HISTORY.DBF")));
        QVERIFY(!carriesChain());
        books.module = std::make_unique<TDataModule6>();
        RunHandler([&] { books.module->DataModuleCreate(); });
        books.enterEvent(7, "Спартак", "Зенит");
        books.takeBet(7, 1, 100, "Иванов Иван");
        books.module.reset();
        QCOMPARE(runTool(QStringLiteral(VARNEL_NEWDESK), {folder}).status, 0);
        QVERIFY(checkBoth(folder, {}).verify.out.contains("Ни одна запись истории ещё не несёт"));

        books.module = std::make_unique<TDataModule6>();
        RunHandler([&] { books.module->DataModuleCreate(); });
        books.takeBet(7, 2, 50, "Петров Пётр");
        books.takeBet(7, 3, 20, "Сидоров");
        books.module.reset();
        const Checks whole = checkBoth(folder, {});
        QCOMPARE(whole.verify.status, 0);
        QCOMPARE(whole.independent.section(' ', 0, 1), QStringLiteral("whole 4"));
        QCOMPARE(whole.verify.out.trimmed().section('\n', -1),
                 QStringLiteral("записей 4, голова ") + whole.independent.section(' ', 2));
        QCOMPARE(readColumn(books.folder.file(QStringLiteral("HISTORY.DBF")), "HASH")[1],
                 QString()); // the records before stay as they were

        // a record before the chain's start changed: its first record no longer matches
        runPythonFile(QStringLiteral("chain_check.py"),
                      {QStringLiteral("tamper"), folder, QStringLiteral("change"), "1"});
        const Checks broken = checkBoth(folder, {});
        QCOMPARE(broken.verify.status, 1);
        QVERIFY2(broken.verify.out.contains("запись №3"), qPrintable(broken.verify.out));
        QCOMPARE(broken.independent, QStringLiteral("broken 3"));
    }

    // A wrong command line is named in the words the other tools use, followed by every form
    // of the command; nothing is read (the server named does not exist).
    void aWrongCommandLineIsNamedWithEveryForm_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        const QString nowhere = QStringLiteral("host=/nonexistent dbname=books");
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "неизвестный ключ --bogus";
        QTest::newRow("unknown option on a server")
            << QStringList{"--server", nowhere, "--full"} << "неизвестный ключ --full";
        QTest::newRow("stray word") << QStringList{"books", "more"} << "лишний аргумент «more»";
        QTest::newRow("no folder") << QStringList{} << "не указана папка книг";
        QTest::newRow("no connection string")
            << QStringList{"--server"} << "после --server нужна строка соединения";
        QTest::newRow("folder and server")
            << QStringList{"books", "--server", nowhere} << "папка и --server вместе";
        QTest::newRow("no head") << QStringList{"books", "--digest"} << "--digest без головы";
    }
    void aWrongCommandLineIsNamedWithEveryForm() {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        const QStringList forms{
            "varnel-verify ПАПКА [--digest ГОЛОВА|ФАЙЛ ...]",
            "varnel-verify --server СТРОКА_СОЕДИНЕНИЯ [--digest ГОЛОВА|ФАЙЛ ...]",
            "СТРОКА_СОЕДИНЕНИЯ — строка соединения libpq"};
        const ToolRun run = runTool(QStringLiteral(VARNEL_VERIFY), args);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.startsWith(QStringLiteral("varnel-verify: ") + says + QLatin1Char('\n')),
                 qPrintable(run.err));
        for (const QString& form : forms)
            QVERIFY2(run.err.contains(form), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
    }
};

int main(int argc, char** argv) {
    return runBooksTests<QCoreApplication, TestChain>(
        argc, argv,
        {"theChainStartsAfterTheRecordsWrittenBeforeIt", "aWrongCommandLineIsNamedWithEveryForm"});
}

#include "test_chain.moc"
