// Books written by other dBASE tools: python3-dbf, GDAL and LibreOffice Calc, each in its own
// layout (narrower numbers, fewer decimals, GDAL's N(24,15), every LibreOffice column as wide as
// its widest value, no language driver byte). The program starts on them, takes a bet, settles
// the event and pays a payout through its windows, and afterwards every file still has its own
// layout and reads the same in dbfread and in GDAL.
#include "controls/DBNavigator.h"
#include "shell/StartUp.h"
#include "store/DataModule6.h"
#include "store/engine/Convert.h"
#include "tests/support/Office.h"
#include "tests/support/TestMain.h"
#include "views/TableMoney.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTest>
#include <QToolButton>

using namespace varnel;
using namespace varnel::test;

namespace {

QJsonObject readBooks(const QString& folder) {
    return QJsonDocument::fromJson(runPythonFile("foreign_books.py", {"read", folder})).object();
}

QJsonArray rows(const QJsonObject& books, const char* table) {
    return books[table].toObject()["dbfread"].toArray();
}

} // namespace

class TestForeign : public QObject {
    Q_OBJECT
private slots:
    void booksOfAnotherWriterServeAndKeepTheirLayout_data() {
        QTest::addColumn<QString>("writer");
        for (const char* writer : {"dbf", "gdal", "libreoffice"})
            QTest::newRow(writer) << writer;
    }
    void booksOfAnotherWriterServeAndKeepTheirLayout() {
        QFETCH(QString, writer);
        WorkFolder folder;
        runPythonFile("foreign_books.py",
                      {"write", writer, folder.path(), Date().addDays(10).toString(Qt::ISODate)});
        const QJsonObject before = readBooks(folder.path());
        QCOMPARE(rows(before, "COMPIT.DBF").size(), 1);
        {
            ErrorRecorder errors;
            TApplication app;
            QVERIFY(StartUp(app));
            QVERIFY2(errors.messages.isEmpty() && errors.notices.isEmpty(),
                     qPrintable((errors.messages + errors.notices).join('\n')));

            // A bet on the second side, which every writer's column holds.
            QVERIFY(takeBet("Сидоров", "100", "7", 2));
            const QJsonObject taken = readBooks(folder.path());
            QCOMPARE(rows(taken, "PRIEM.DBF").size(), 2);
            QCOMPARE(rows(taken, "COMPIT.DBF")[0].toObject()["SUMM_2"].toDouble(), 600.0);
            QVERIFY(settle("7", 2));

            // The payout owed before is paid out in the browser.
            QString asked;
            runModal(TableMoney, [&] {
                auto* navigator = control<TDBNavigator>(TableMoney, "DBNavigator");
                QTest::mouseClick(navigator->ButtonOf(TDBNavigator::Button::First), Qt::LeftButton);
                answerNextQuestion("Yes", &asked);
                QTest::mouseClick(navigator->ButtonOf(TDBNavigator::Button::Delete),
                                  Qt::LeftButton);
            });
            QVERIFY2(asked.contains("Петров Пётр"), qPrintable(asked));
            QVERIFY(errors.messages.isEmpty());
        }

        const QJsonObject after = readBooks(folder.path());
        for (const char* table : {"COMPIT.DBF", "PRIEM.DBF", "MONEY.DBF"}) {
            const QJsonObject was = before[table].toObject();
            const QJsonObject is = after[table].toObject();
            QVERIFY2(is["layout"] == was["layout"],
                     qPrintable(QString("%1: %2 became %3")
                                    .arg(table, QJsonDocument(was["layout"].toArray()).toJson(),
                                         QJsonDocument(is["layout"].toArray()).toJson())));
            QVERIFY2(is["dbfread"] == is["gdal"],
                     qPrintable(QString("%1: GDAL reads %2")
                                    .arg(table, QJsonDocument(is["gdal"].toArray()).toJson())));
        }
        QVERIFY(rows(after, "COMPIT.DBF").isEmpty());
        QVERIFY(rows(after, "PRIEM.DBF").isEmpty());
        // Both stakes of 100 on the winner at 2.25: 100 + 100 × 2.25 each.
        const QJsonArray owed = rows(after, "MONEY.DBF");
        QCOMPARE(owed.size(), 2);
        QCOMPARE(owed[0].toObject()["FIO"].toString(), QString("Иванов Иван"));
        QCOMPARE(owed[1].toObject()["FIO"].toString(), QString("Сидоров"));
        for (const auto& payout : owed)
            QCOMPARE(payout.toObject()["SUMMA"].toDouble(), 325.0);
    }
};

VARNEL_TEST_MAIN(TestForeign)
#include "test_foreign.moc"
