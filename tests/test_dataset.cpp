#include "base/Errors.h"
#include "store/Tables.h"
#include "store/engine/DataSet.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Field.h"
#include "store/engine/Table.h"
#include "store/engine/Transaction.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QJsonObject>
#include <QLocale>
#include <QTest>

#include <memory>

using namespace varnel;
using namespace varnel::test;

namespace {

// The bets table of a fresh folder, with the given clients stored in order.
std::unique_ptr<TTable> betsWith(const QStringList& clients) {
    auto table = std::make_unique<TTable>();
    table->SetTableName("PRIEM.DBF");
    PriemTable().MakeFields(table.get());
    table->Open();
    for (const QString& client : clients) {
        table->Insert();
        table->SetFieldValue("NUMBER", Variant(1));
        table->SetFieldValue("FIO", Variant(client));
        table->Post();
    }
    table->First();
    return table;
}

QString current(const TTable& table) {
    return table.GetFieldValue("FIO").toString();
}

QStringList onDisk(const WorkFolder& folder) {
    return readColumn(folder.file("PRIEM.DBF"), "FIO");
}

QStringList walk(TTable& table) {
    QStringList names;
    table.First();
    while (!table.Eof()) {
        names << current(table);
        table.Next();
    }
    return names;
}

} // namespace

class TestDataSet : public QObject {
    Q_OBJECT
private slots:
    void openTwiceDoesNothingAndClosedRefuses() {
        WorkFolder folder;
        TTable table;
        table.SetTableName("PRIEM.DBF");
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, table.First());
        table.Open();
        table.Insert();
        table.Open(); // must not lose the pending record
        QCOMPARE(table.state(), TDataSet::State::Insert);
    }

    void nextStaysOnTheLastRecordAndSetsEof() {
        WorkFolder folder;
        auto table = betsWith({"А", "Б", "В"});
        QVERIFY(!table->Eof());
        QCOMPARE(current(*table), QString("А"));
        table->Next();
        table->Next();
        QCOMPARE(current(*table), QString("В"));
        QVERIFY(!table->Eof());
        table->Next();
        QVERIFY(table->Eof());
        QCOMPARE(current(*table), QString("В")); // the last record is still current
        table->Next();
        QVERIFY(table->Eof());
        table->First();
        QVERIFY(!table->Eof());
        QCOMPARE(walk(*table), QStringList({"А", "Б", "В"}));
    }

    void anEmptyTableIsEofAndReadsNull() {
        WorkFolder folder;
        auto table = betsWith({});
        QVERIFY(table->Eof());
        QVERIFY(table->GetFieldValue("NUMBER").isNull());
        table->Next();
        QVERIFY(table->Eof());
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, table->Edit());
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, table->Delete());
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, table->SetFieldValue("FIO", Variant("x")));
    }

    void ruleAWritesAChangedRecordAndDropsAnUnchangedOne() {
        WorkFolder folder;
        auto table = betsWith({"А"});
        // Unchanged new record: discarded by the next Insert, by First and by Next.
        table->Insert();
        table->Insert();
        table->First();
        table->Insert();
        table->Next();
        QCOMPARE(onDisk(folder), QStringList({"А"}));
        QCOMPARE(table->state(), TDataSet::State::Browse);
        // Changed new record: written by the operation that settles it.
        table->Insert();
        table->SetFieldValue("FIO", Variant("Б"));
        table->First();
        QCOMPARE(onDisk(folder), QStringList({"А", "Б"}));
        QCOMPARE(current(*table), QString("А"));
        table->Insert();
        table->SetFieldValue("FIO", Variant("В"));
        table->Insert();
        QCOMPARE(onDisk(folder), QStringList({"А", "Б", "В"}));
        table->Cancel();
        // A changed stored record is written when settled; an unchanged one is left as it was.
        table->First();
        const QByteArray before = folder.bytes("PRIEM.DBF");
        table->Edit();
        table->Next();
        QCOMPARE(folder.bytes("PRIEM.DBF"), before);
        table->First();
        table->Edit();
        table->SetFieldValue("FIO", Variant("А2"));
        table->Next();
        QCOMPARE(onDisk(folder), QStringList({"А2", "Б", "В"}));
        QCOMPARE(current(*table), QString("Б"));
    }

    void editOnAPendingRecordDoesNothing() {
        WorkFolder folder;
        auto table = betsWith({"А"});
        table->Insert();
        table->SetFieldValue("FIO", Variant("новый"));
        table->Edit();
        QCOMPARE(table->state(), TDataSet::State::Insert);
        QCOMPARE(current(*table), QString("новый"));
        table->Post();
        table->Edit();
        table->SetFieldValue("FIO", Variant("правка"));
        table->Edit();
        QCOMPARE(current(*table), QString("правка"));
        table->Post();
        QCOMPARE(onDisk(folder), QStringList({"А", "правка"}));
    }

    void postAppendsAndMakesTheNewRecordCurrent() {
        WorkFolder folder;
        auto table = betsWith({"А", "Б"});
        table->Insert();
        table->SetFieldValue("FIO", Variant("В"));
        table->SetFieldValue("SUMMA", Variant("100,5"));
        table->Post();
        QCOMPARE(current(*table), QString("В"));
        QCOMPARE(table->GetFieldValue("SUMMA").toReal(), 100.5);
        table->Next();
        QVERIFY(table->Eof());
        // A blank new record posted without changes is still written.
        table->Insert();
        table->Post();
        QCOMPARE(readWithDbfread(folder.file("PRIEM.DBF")).size(), 4);
    }

    void deleteDiscardsAPendingNewRecord() {
        WorkFolder folder;
        auto table = betsWith({"А", "Б"});
        table->Next();
        table->Insert();
        table->SetFieldValue("FIO", Variant("никогда"));
        table->Delete();
        QCOMPARE(table->state(), TDataSet::State::Browse);
        QCOMPARE(current(*table), QString("Б")); // back where it was
        QCOMPARE(onDisk(folder), QStringList({"А", "Б"}));
        // On an empty table too.
        WorkFolder other;
        auto empty = betsWith({});
        empty->Insert();
        empty->Delete();
        QVERIFY(empty->Eof());
        QCOMPARE(readWithDbfread(other.file("PRIEM.DBF")).size(), 0);
    }

    void deleteOfAStoredRecordMovesToTheNextOrTheNewLast_data() {
        QTest::addColumn<int>("at");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("thenCurrent");
        QTest::newRow("first") << 0 << QStringList{"Б", "В"} << "Б";
        QTest::newRow("middle") << 1 << QStringList{"А", "В"} << "В";
        QTest::newRow("last") << 2 << QStringList{"А", "Б"} << "Б";
    }

    void deleteOfAStoredRecordMovesToTheNextOrTheNewLast() {
        QFETCH(int, at);
        QFETCH(QStringList, left);
        QFETCH(QString, thenCurrent);
        WorkFolder folder;
        auto table = betsWith({"А", "Б", "В"});
        for (int i = 0; i < at; ++i)
            table->Next();
        table->Delete();
        QCOMPARE(current(*table), thenCurrent);
        QVERIFY(!table->Eof()); // Eof only when the table is left empty
        QCOMPARE(onDisk(folder), left);
        QCOMPARE(walk(*table), left);
        // The record is marked, not removed: the file keeps its size and count.
        TTable again;
        again.SetTableName("PRIEM.DBF");
        again.Open();
        QCOMPARE(again.EndKey(), 3u);
        QCOMPARE(walk(again), left);
    }

    void deleteOfTheOnlyRecordLeavesEof() {
        WorkFolder folder;
        auto table = betsWith({"А"});
        table->Delete();
        QVERIFY(table->Eof());
        QVERIFY(table->IsEmpty());
        QVERIFY(table->GetFieldValue("FIO").isNull());
        table->First();
        QVERIFY(table->Eof());
        QCOMPARE(onDisk(folder), QStringList());
    }

    void deletedRecordsAreInvisibleEverywhere() {
        WorkFolder folder;
        auto table = betsWith({"А", "Б", "В", "Г"});
        table->Next();
        table->Delete(); // Б
        table->Delete(); // В
        QCOMPARE(current(*table), QString("Г"));
        table->Prior();
        QCOMPARE(current(*table), QString("А"));
        table->Last();
        QCOMPARE(current(*table), QString("Г"));
        QCOMPARE(walk(*table), QStringList({"А", "Г"}));
        table->First();
        table->Delete();
        QCOMPARE(current(*table), QString("Г"));
    }

    void cancelDropsTheChange() {
        WorkFolder folder;
        auto table = betsWith({"А"});
        table->Edit();
        table->SetFieldValue("FIO", Variant("Б"));
        table->Cancel();
        QCOMPARE(current(*table), QString("А"));
        QCOMPARE(onDisk(folder), QStringList({"А"}));
    }

    void fieldsConvertWhatIsWrittenToThem() {
        WorkFolder folder;
        auto table = betsWith({});
        table->Insert();
        table->SetFieldValue("NUMBER", Variant("  -32768 "));
        QCOMPARE(table->GetFieldValue("NUMBER").toInteger(), -32768);
        table->SetFieldValue("KOEFICIENT", Variant("1.75"));
        QCOMPARE(table->GetFieldValue("KOEFICIENT").toReal(), 1.75);
        table->SetFieldValue("SUMMA", Variant(500));
        QCOMPARE(table->GetFieldValue("SUMMA").type(), Variant::Type::Double);
        table->SetFieldValue("SUMMA", Variant(""));
        QVERIFY(table->GetFieldValue("SUMMA").isNull());
        const auto refused = [&](const char* field, const Variant& value) {
            const Variant before = table->GetFieldValue(QString::fromLatin1(field));
            try {
                table->SetFieldValue(QString::fromLatin1(field), value);
                QFAIL(qPrintable(QStringLiteral("%1 took %2").arg(field, value.toString())));
            } catch (const EConvertError& error) {
                QVERIFY2(error.message().contains(QString::fromLatin1(field)),
                         qPrintable(error.message()));
            }
            QVERIFY(table->GetFieldValue(QString::fromLatin1(field)) == before || before.isNull());
        };
        refused("NUMBER", Variant("32768"));
        refused("NUMBER", Variant("1,5"));
        refused("NUMBER", Variant("десять"));
        refused("SUMMA", Variant("сто"));
        refused("FIO", Variant(QString(51, 'x')));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, table->SetFieldValue("NOSUCH", Variant(1)));
    }

    // What fits a column is asked when the record is written: a value on its way to another
    // passes through the field, one that would reach the file does not, and nothing is written.
    void aValueIsCheckedAgainstItsColumnWhenWritten() {
        WorkFolder folder;
        auto table = betsWith({"А"});
        const QByteArray before = folder.bytes("PRIEM.DBF");
        table->Edit();
        table->SetFieldValue("KOEFICIENT", Variant(2.5e7)); // wider than N(19,11) holds
        QCOMPARE(table->GetFieldValue("KOEFICIENT").toReal(), 2.5e7);
        table->SetFieldValue("KOEFICIENT", Variant(1.25));
        table->Post();
        QCOMPARE(readWithDbfread(folder.file("PRIEM.DBF"))[0].toObject()["KOEFICIENT"].toDouble(),
                 1.25);

        const QByteArray taken = folder.bytes("PRIEM.DBF");
        QVERIFY(taken != before);
        for (const auto& [field, value] : QList<QPair<QString, Variant>>{
                 {"KOEFICIENT", Variant(2.5e7)}, {"FIO", Variant("😀")}}) {
            table->Edit();
            table->SetFieldValue(field, value);
            try {
                table->CheckFits(field);
                QFAIL(qPrintable(field + " would fit"));
            } catch (const EConvertError& error) {
                QVERIFY2(error.message().contains(field), qPrintable(error.message()));
            }
            try {
                table->Post();
                QFAIL(qPrintable(field + " was written"));
            } catch (const EConvertError& error) {
                QVERIFY2(error.message().contains(field), qPrintable(error.message()));
            }
            QCOMPARE(table->state(), TDataSet::State::Edit); // still pending, as typed
            table->Cancel();
            QCOMPARE(folder.bytes("PRIEM.DBF"), taken);
        }
    }

    void theFieldsOfTheFileAreChecked() {
        WorkFolder folder;
        // A payouts file may carry more columns; a bets file with a foreign one may not.
        QFile::remove("MONEY.DBF");
        QList<DbfColumn> money = MoneyTable().Columns();
        DbfColumn extra;
        extra.name = "NOTE";
        extra.type = 'C';
        extra.length = 10;
        money << extra;
        DbfFile::create("MONEY.DBF", money);
        TTable payouts;
        payouts.SetTableName("MONEY.DBF");
        MoneyTable().MakeFields(&payouts);
        payouts.Open();
        QVERIFY(payouts.Active());

        QFile::remove("PRIEM.DBF");
        QList<DbfColumn> bets = PriemTable().Columns();
        bets << extra;
        DbfFile::create("PRIEM.DBF", bets);
        const QByteArray before = folder.bytes("PRIEM.DBF");
        TTable strict;
        strict.SetTableName("PRIEM.DBF");
        strict.SetExactFields(true);
        PriemTable().MakeFields(&strict);
        try {
            strict.Open();
            QFAIL("opened a bets file with a foreign column");
        } catch (const EDatabaseError& error) {
            QVERIFY(error.message().contains("PRIEM.DBF"));
            QVERIFY(error.message().contains("NOTE"));
        }
        QVERIFY(!strict.Active());
        QCOMPARE(folder.bytes("PRIEM.DBF"), before);

        // A column of the wrong type or too narrow for what the program writes.
        QFile::remove("TMP.DBF");
        DbfColumn num;
        num.name = "NUM";
        num.type = 'C';
        num.length = 6;
        DbfFile::create("TMP.DBF", {num});
        TTable scratch;
        scratch.SetTableName("TMP.DBF");
        TmpTable().MakeFields(&scratch);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, scratch.Open());
    }

    // A field the program added to a table later (the history's KASSIR) may be missing from a
    // file written before: the file opens as it is, the field reads blank, is found blank by a
    // scan, and is left out of what is written, in a transaction too. Any other missing field
    // still refuses the file, nothing written.
    void aFieldAddedLaterMayBeMissingFromAnOlderFile() {
        using namespace fields;
        WorkFolder folder;
        createHistoryBeforeKassir("HISTORY.DBF");
        TTable history;
        history.SetTableName("HISTORY.DBF");
        HistoryTable().MakeFields(&history);
        history.Open();
        TField* kassir = history.FieldByName(KASSIR);
        QVERIFY(kassir->MayBeMissing() && kassir->Missing());
        QVERIFY(!history.FieldByName(VID)->MayBeMissing());
        append(history,
               {{{VID, Variant("Ставка")}, {FIO, Variant("Иванов")}, {KASSIR, Variant("Ольга")}}});
        {
            TTransaction work({&history});
            append(history, {{{VID, Variant("Выплата")}, {KASSIR, Variant("Ольга")}}});
            work.Commit();
        }
        QCOMPARE(history.GetFieldValue(KASSIR), Variant(QString()));
        QCOMPARE(history.ValueAt(0, kassir), Variant(QString()));
        QCOMPARE(history.FindRecord(-1, +1, kassir, Variant(QString())), RecordKey(0));
        QCOMPARE(history.FindRecord(history.EndKey(), -1, kassir, Variant(QString())),
                 RecordKey(1));
        QCOMPARE(history.FindRecord(-1, +1, kassir, Variant("Ольга")), RecordKey(-1));
        history.Close();
        const QJsonArray records = readWithDbfread(folder.file("HISTORY.DBF"));
        QCOMPARE(records.size(), 2);
        QVERIFY(!records[0].toObject().contains(KASSIR));
        QCOMPARE(records[0].toObject()["FIO"].toString(), QString("Иванов"));
        QCOMPARE(records[1].toObject()["VID"].toString(), QString("Выплата"));

        // The same file once it has the field: it is read and written.
        QFile::remove("HISTORY.DBF");
        DbfFile::create("HISTORY.DBF", HistoryTable().Columns());
        history.Open();
        QVERIFY(!kassir->Missing());
        append(history, {{{VID, Variant("Ставка")}, {KASSIR, Variant("Ольга")}}});
        QCOMPARE(history.GetFieldValue(KASSIR), Variant("Ольга"));
        history.Close();

        // A history without a field that was always there is refused, as it always was.
        QFile::remove("HISTORY.DBF");
        QList<DbfColumn> damaged = HistoryTable().Columns();
        damaged.removeIf([](const DbfColumn& c) { return c.name == fields::VYPLATA; });
        DbfFile::create("HISTORY.DBF", damaged);
        const QByteArray before = folder.bytes("HISTORY.DBF");
        try {
            history.Open();
            QFAIL("opened a history without VYPLATA");
        } catch (const EDatabaseError& error) {
            QVERIFY2(error.message().contains("в файле нет поля VYPLATA"),
                     qPrintable(error.message()));
        }
        QVERIFY(!history.Active());
        QCOMPARE(folder.bytes("HISTORY.DBF"), before);
    }

    // A scan for a value finds, in either direction, just the live records a decoding walk
    // would, across read blocks, deleted records and the work a transaction holds in memory.
    void aScanFindsWhatADecodingWalkFinds() {
        WorkFolder folder;
        auto table = betsWith({});
        const WithoutSync quick;
        QList<Record> bets;
        for (int i = 0; i < 5000; ++i) // more than two read blocks
            bets << betRecord(i % 7, "Ничья", 10, 1.5, QString("Клиент %1").arg(i % 11));
        append(*table, bets);
        for (std::uint32_t i : {0u, 7u, 2183u, 2184u, 4999u}) {
            table->MoveTo(i);
            table->Delete();
        }
        const TField* number = table->FieldByName("NUMBER");
        const TField* fio = table->FieldByName("FIO");
        const auto check = [&](const TField* field, const Variant& value) {
            QList<std::int64_t> walked, forward, backward;
            for (std::uint32_t i = 0; i < table->EndKey(); ++i)
                if (!table->IsDeletedAt(i) &&
                    table->ValueAt(i, field).compare(value) == std::partial_ordering::equivalent)
                    walked << i;
            for (std::int64_t i = table->FindRecord(-1, +1, field, value); i >= 0;
                 i = table->FindRecord(i, +1, field, value))
                forward << i;
            for (std::int64_t i = table->FindRecord(table->EndKey(), -1, field, value); i >= 0;
                 i = table->FindRecord(i, -1, field, value))
                backward.prepend(i);
            QCOMPARE(forward, walked);
            QCOMPARE(backward, walked);
        };
        {
            TTransaction work({table.get()});
            table->MoveTo(3000);
            table->Edit();
            table->SetFieldValue("NUMBER", Variant(99));
            table->Post();
            append(*table, {betRecord(99, "Ничья", 1, 1, "Новый")});
            for (const Variant& value : {Variant(0), Variant(3), Variant(99), Variant("3")})
                check(number, value);
            check(fio, Variant("Клиент 3"));
            check(fio, Variant("Новый"));
            work.Rollback();
        }
        for (const Variant& value : {Variant(0), Variant(6), Variant(99), Variant(3.5)})
            check(number, value);
        check(fio, Variant("Клиент 10"));
        check(fio, Variant("Нет такого"));
    }

    // What the program writes into a new file, it must accept when it opens that file: every
    // column of every table, against the field object that reads it.
    void everyWrittenColumnIsAccepted() {
        for (const TableDescription* described : AllTables()) {
            TTable table;
            described->MakeFields(&table);
            const QList<DbfColumn> columns = described->Columns();
            QCOMPARE(columns.size(), table.Fields().size());
            for (int i = 0; i < columns.size(); ++i) {
                QCOMPARE(columns[i].name, table.Fields()[i]->FieldName());
                const QString mismatch = table.Fields()[i]->Mismatch(columns[i]);
                QVERIFY2(mismatch.isEmpty(), qPrintable(described->file + ": " + mismatch));
            }
        }
    }
};

VARNEL_GUILESS_TEST_MAIN(TestDataSet)
#include "test_dataset.moc"
