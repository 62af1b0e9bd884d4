#include "base/Errors.h"
#include "base/Report.h"
#include "controls/DBEdit.h"
#include "store/DataModule6.h"
#include "tests/support/Office.h"
#include "tests/support/TestMain.h"
#include "toolkit/Form.h"

#include <QJsonObject>
#include <QLocale>
#include <QTest>
#include <QTimer>

using namespace varnel;
using namespace varnel::test;

class TestControls : public QObject {
    Q_OBJECT
private slots:
    // A window whose showing was stopped by an error (a server that could not be reached,
    // say) shows the next time it is asked for.
    void aWindowWhoseShowingFailedShowsTheNextTime() {
        TForm form;
        bool fail = true;
        int shown = 0;
        connect(&form, &TForm::OnShow, &form, [&] {
            if (fail) {
                fail = false;
                throw EDatabaseError(QStringLiteral("не показать"));
            }
            ++shown;
            QTimer::singleShot(0, &form, [&form] { form.Close(); });
        });
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, form.ShowModal());
        form.Close();
        form.ShowModal();
        QCOMPARE(shown, 1);
    }

    void theDataModuleOpensThreeTablesInOrder() {
        WorkFolder folder;
        TDataModule6 module;
        const QStringList order = {"TableCompit",  "SourceCompit", "TableStavka", "SourceStavka",
                                   "TableTmp",     "SourceTmp",    "TableMoney",  "SourceMoney",
                                   "TableHistory", "TableLimits"}; // after the eight of the books
        QStringList components;
        for (QObject* child : module.children())
            components << child->objectName();
        QCOMPARE(components, order);
        emit module.OnCreate();
        QVERIFY(module.TableCompit->Active());
        QVERIFY(module.TableStavka->Active());
        QVERIFY(module.TableMoney->Active());
        QVERIFY(!module.TableTmp->Active());
        QVERIFY(module.TableHistory->Active());
        QVERIFY(module.TableLimits->Active());
        QCOMPARE(module.TableCompitKOEF_N->DisplayLabel(), QString("К-т на Ничью"));
        QCOMPARE(module.TableCompitDATE->DisplayLabel(), QString("DATE"));
        QCOMPARE(module.TableMoneySUMMA->DisplayLabel(), QString("Сумма выплаты"));
    }

    void aTableThatFailsToOpenKeepsOnlyItselfClosed() {
        WorkFolder folder;
        QFile::remove("PRIEM.DBF");
        QFile::remove("COMPIT.DBF");
        ErrorRecorder errors;
        TDataModule6 module;
        emit module.OnCreate();
        QCOMPARE(errors.messages.size(), 1); // one message naming both
        QVERIFY(errors.messages[0].contains("COMPIT.DBF"));
        QVERIFY(errors.messages[0].contains("PRIEM.DBF"));
        QVERIFY(!module.TableCompit->Active());
        QVERIFY(!module.TableStavka->Active());
        QVERIFY(module.TableMoney->Active());
        QVERIFY(!QFile::exists("PRIEM.DBF")); // the program never makes a table
    }

    void aBoundBoxShowsItsFieldAndWritesWhenSettled() {
        WorkFolder folder;
        TDataModule6 module;
        emit module.OnCreate();
        TDBEdit fio, summa;
        fio.SetDataSource(module.SourceStavka);
        fio.SetDataField("FIO");
        summa.SetDataSource(module.SourceStavka);
        summa.SetDataField("SUMMA");
        QCOMPARE(fio.maxLength(), 50);
        QVERIFY(fio.isReadOnly()); // nothing pending: typing would be lost

        TDataSet& bets = *module.TableStavka;
        bets.Insert();
        QVERIFY(!fio.isReadOnly());
        QCOMPARE(fio.GetEditText(), QString());
        typeText(&fio, "Сидоров Пётр");
        QTest::keyClicks(&summa, "250,5");
        // The box holds the text; the field gets it only when the record is settled.
        QCOMPARE(fio.GetEditText(), QString("Сидоров Пётр"));
        QVERIFY(bets.GetFieldValue("FIO").isNull());
        bets.SetFieldValue("NUMBER", Variant(3));
        bets.Insert(); // rule A: the record holds changes, so it is written
        const QJsonArray rows = readWithDbfread(folder.file("PRIEM.DBF"));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].toObject()["FIO"].toString(), QString("Сидоров Пётр"));
        QCOMPARE(rows[0].toObject()["SUMMA"].toDouble(), 250.5);
        QCOMPARE(fio.GetEditText(), QString()); // the new blank record
        bets.Cancel();
        QCOMPARE(fio.GetEditText(), QString("Сидоров Пётр"));
        QCOMPARE(summa.GetEditText(), QString("250,50")); // money to the kopeck
    }

    void typingIsLimitedToTheFieldSize() {
        WorkFolder folder;
        TDataModule6 module;
        emit module.OnCreate();
        TDBEdit kom;
        kom.SetDataSource(module.SourceCompit);
        kom.SetDataField("KOM1");
        module.TableCompit->Insert();
        typeText(&kom, QString(40, QChar(u'щ')));
        QCOMPARE(kom.GetEditText().size(), 25);
    }

    void anEmptiedBoxWritesNullAndBadTextKeepsTheRecordPending() {
        WorkFolder folder;
        TDataModule6 module;
        emit module.OnCreate();
        TDBEdit koef;
        koef.SetDataSource(module.SourceCompit);
        koef.SetDataField("KOEF_1");
        TDataSet& events = *module.TableCompit;
        events.Insert();
        events.SetFieldValue("SUMM_1", Variant(500));
        typeText(&koef, "полтора");
        try {
            events.Post();
            QFAIL("posted a coefficient that is no number");
        } catch (const EConvertError& error) {
            QVERIFY(error.message().contains("KOEF_1"));
        }
        QCOMPARE(events.state(), TDataSet::State::Insert);
        QCOMPARE(readWithDbfread(folder.file("COMPIT.DBF")).size(), 0);
        koef.clear();
        QTest::keyClicks(&koef, "1,5");
        events.Post();
        QCOMPARE(readWithDbfread(folder.file("COMPIT.DBF"))[0].toObject()["KOEF_1"].toDouble(),
                 1.5);
        events.Edit();
        koef.selectAll();
        QTest::keyClick(&koef, Qt::Key_Delete);
        events.Post();
        QVERIFY(readWithDbfread(folder.file("COMPIT.DBF"))[0].toObject()["KOEF_1"].isNull());
    }

    void handlersReportErrorsAndTheProgramGoesOn() {
        ErrorRecorder errors;
        int after = 0;
        RunHandler([&] {
            throw EConvertError("«x» — не число.");
            ++after;
        });
        RunHandler([&] { ++after; });
        QCOMPARE(errors.messages, QStringList({"«x» — не число."}));
        QCOMPARE(after, 1);
    }
};

VARNEL_TEST_MAIN(TestControls)
#include "test_controls.moc"
