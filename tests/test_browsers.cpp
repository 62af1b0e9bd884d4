#include "controls/DBGrid.h"
#include "controls/DBGridModel.h"
#include "controls/DBNavigator.h"
#include "shell/StartUp.h"
#include "shell/Zastavka.h"
#include "store/DataModule6.h"
#include "store/Rules.h"
#include "store/Tables.h"
#include "store/engine/Convert.h"
#include "store/engine/DbfFile.h"
#include "tests/support/Office.h"
#include "tests/support/TestMain.h"
#include "toolkit/Application.h"
#include "views/TableCompitition.h"
#include "views/TableMoney.h"
#include "views/TableStavka.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>
#include <memory>

using namespace varnel;
using namespace varnel::test;
using Button = TDBNavigator::Button;

namespace {

QString client(int i) {
    return QStringLiteral("Клиент %1").arg(i, 2, 10, QLatin1Char('0'));
}

QList<Record> payouts(int count) {
    QList<Record> records;
    for (int i = 1; i <= count; ++i)
        records << payoutRecord(client(i), 100.0 * i + 0.5);
    return records;
}

QList<Record> events(int count) {
    QList<Record> records;
    for (int i = 1; i <= count; ++i)
        records << eventRecord(i, client(i), QStringLiteral("Зенит"), Date().addDays(i),
                               {1.5, 2.25, 3.0});
    return records;
}

// The live records' values of one column as another reader of the file sees them.
QStringList liveValues(const QString& file, const QString& column) {
    DbfFile dbf(file);
    dbf.open();
    QStringList values;
    for (std::uint32_t i = 0; i < dbf.recordCount(); ++i)
        if (!dbf.isDeleted(i))
            values << dbf.decode(dbf.record(i), dbf.columnIndex(column)).toString();
    return values;
}

QString cell(const QAbstractItemModel& model, int row, int column) {
    return model.data(model.index(row, column)).toString();
}

QStringList columnTexts(const QAbstractItemModel& model, int column) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << cell(model, row, column);
    return texts;
}

QStringList titles(const QAbstractItemModel& model) {
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts << model.headerData(column, Qt::Horizontal).toString();
    return texts;
}

QStringList markers(const QAbstractItemModel& model) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.headerData(row, Qt::Vertical).toString();
    return texts;
}

// The page shown is a run of consecutive live records of the file (never a deleted one), as
// long as the grid allows, holding the current record under the marker; a pending new
// record is the last row.
void checkPage(const TDBGridModel& model, TDataSet& table, const QString& file) {
    const QStringList live = liveValues(file, "FIO");
    QStringList shown = columnTexts(model, 0);
    const bool inserting = table.state() == TDataSet::State::Insert;
    if (inserting) {
        QVERIFY(!shown.isEmpty());
        QCOMPARE(shown.takeLast(), table.GetFieldValue("FIO").toString());
    }
    const int capacity = model.PageRows() - (inserting ? 1 : 0);
    QCOMPARE(shown.size(), std::min<qsizetype>(capacity, live.size()));
    if (!shown.isEmpty()) {
        const qsizetype first = live.indexOf(shown.first());
        QVERIFY2(first >= 0, qPrintable(shown.first()));
        QCOMPARE(shown, live.mid(first, shown.size()));
    }
    QStringList expectedMarkers(model.rowCount());
    if (inserting)
        expectedMarkers.last() = "*";
    else if (!table.IsEmpty())
        expectedMarkers[shown.indexOf(table.GetFieldValue("FIO").toString())] = "▶";
    QCOMPARE(markers(model), expectedMarkers);
}

QStringList clients(int first, int last) {
    QStringList names;
    for (int i = first; i <= last; ++i)
        names << client(i);
    return names;
}

} // namespace

class TestBrowsers : public QObject {
    Q_OBJECT

    std::unique_ptr<WorkFolder> m_folder;
    std::unique_ptr<ErrorRecorder> m_errors;
    std::unique_ptr<TApplication> m_app;

    // The program as it starts, over whatever the test wrote into the tables.
    void start() {
        m_errors = std::make_unique<ErrorRecorder>();
        m_app = std::make_unique<TApplication>();
        QVERIFY(StartUp(*m_app));
        QVERIFY(m_errors->messages.isEmpty());
    }

    QString file(const char* name) const { return m_folder->file(QLatin1String(name)); }

private slots:
    void init() { m_folder = std::make_unique<WorkFolder>(); }

    void cleanup() {
        m_app.reset();
        m_errors.reset();
        m_folder.reset();
    }

    void pageFollowsTheCursorThroughMovesInsertsAndDeletes() {
        append("MONEY.DBF", payouts(12));
        TDataModule6 module;
        emit module.OnCreate();
        TDataSet& table = *module.TableMoney;
        const QString money = file("MONEY.DBF");

        TDBGridModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetDataSource(module.SourceMoney);
        model.SetColumns({"FIO", "SUMMA"});
        model.SetPageRows(5);
        QCOMPARE(columnTexts(model, 0), clients(1, 5));
        checkPage(model, table, money);

        // Steps scroll the page by the rows they need; jumps put the record at an edge.
        for (int i = 0; i < 6; ++i)
            table.Next();
        QCOMPARE(columnTexts(model, 0), clients(3, 7));
        for (int i = 0; i < 5; ++i)
            table.Prior();
        QCOMPARE(columnTexts(model, 0), clients(2, 6));
        table.Last();
        QCOMPARE(columnTexts(model, 0), clients(8, 12));
        QCOMPARE(model.CurrentRow(), 4);
        table.First();
        QCOMPARE(columnTexts(model, 0), clients(1, 5));
        table.MoveTo(9);
        QCOMPARE(columnTexts(model, 0), clients(6, 10));
        checkPage(model, table, money);

        // Deletes through the shared cursor: the page closes up and never shows them.
        table.Delete(); // Клиент 10
        checkPage(model, table, money);
        table.MoveTo(6);
        table.Delete(); // Клиент 07, inside the page
        checkPage(model, table, money);
        QVERIFY(!columnTexts(model, 0).contains(client(7)));
        QVERIFY(!columnTexts(model, 0).contains(client(10)));

        // A new record is an extra row after the last ones until it is written or given up.
        table.Insert();
        table.SetFieldValue("FIO", Variant(QStringLiteral("Новый клиент")));
        checkPage(model, table, money);
        QCOMPARE(markers(model).last(), QString("*"));
        table.Cancel();
        checkPage(model, table, money);
        QVERIFY(!columnTexts(model, 0).contains("Новый клиент"));
        table.Insert();
        table.SetFieldValue("FIO", Variant(QStringLiteral("Новый клиент")));
        table.SetFieldValue("SUMMA", Variant(77.25));
        table.Post();
        checkPage(model, table, money);
        QCOMPARE(columnTexts(model, 0).last(), QString("Новый клиент"));

        // A record being changed shows its new value before it is written.
        table.First();
        table.Edit();
        table.SetFieldValue("SUMMA", Variant(5.5));
        QCOMPARE(cell(model, 0, 1), QString("5,50"));
        QCOMPARE(markers(model).first(), QString("I"));
        table.Post();
        QCOMPARE(cell(model, 0, 1), QString("5,50"));
        checkPage(model, table, money);

        // The page follows the grid's height.
        model.SetPageRows(3);
        checkPage(model, table, money);
        model.SetPageRows(40);
        QCOMPARE(model.rowCount(), int(liveValues(money, "FIO").size()));

        // A hidden grid only notes the changes and catches up when shown again.
        model.SetPageRows(4);
        model.SetLive(false);
        const QStringList frozen = columnTexts(model, 0);
        table.Last();
        table.Delete();
        table.Delete();
        QCOMPARE(columnTexts(model, 0), frozen);
        model.SetLive(true);
        checkPage(model, table, money);

        // Emptied record by record, down to an empty page.
        table.First();
        while (!table.IsEmpty()) {
            table.Delete();
            checkPage(model, table, money);
        }
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.CurrentRow(), -1);
    }

    void aPageReachesAcrossLongRunsOfDeletedRecords() {
        // Years of paying out: thousands of deleted payouts between a few live ones.
        {
            const WithoutSync quick;
            DbfFile money(file("MONEY.DBF"));
            money.open();
            QByteArray record = money.blankRecord();
            for (int i = 0; i < 5000; ++i) {
                money.encode(record.data(), money.columnIndex("FIO"), Variant(client(i % 100)));
                money.append(record);
            }
            for (std::uint32_t i = 10; i < 4990; ++i)
                money.markDeleted(i);
        }
        TDataModule6 module;
        emit module.OnCreate();
        TDataSet& table = *module.TableMoney;
        QVector<bool> deleted;
        for (std::uint32_t i = 0; i < 5000; ++i)
            deleted << table.IsDeletedAt(i);
        const auto naive = [&](std::int64_t from, int step) {
            QVector<std::int64_t> found;
            for (std::int64_t i = from; i >= 0 && i < 5000 && found.size() < 25; i += step)
                if (!deleted[i])
                    found << i;
            return found;
        };
        for (std::int64_t from = 0; from < 5000; ++from) {
            QCOMPARE(table.LiveBackward(from, 25), naive(from, -1));
            QCOMPARE(table.LiveForward(from, 25), naive(from, +1));
        }

        TDBGridModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetDataSource(module.SourceMoney);
        model.SetColumns({"FIO"});
        model.SetPageRows(8);
        table.Last();
        QCOMPARE(model.RecordAt(0), std::int64_t(4992));
        table.MoveTo(4990);
        QCOMPARE(model.RecordAt(0), std::int64_t(4990));
        table.Prior(); // across the run, to the last record before it
        QCOMPARE(table.CurrentIndex(), std::int64_t(9));
        QCOMPARE(model.RecordAt(0), std::int64_t(9));
        QCOMPARE(model.RecordAt(1), std::int64_t(4990));
        model.SetPageRows(30); // filled back across the run: all twenty live records
        QCOMPARE(model.rowCount(), 20);
        QCOMPARE(model.RecordAt(0), std::int64_t(0));
        checkPage(model, table, file("MONEY.DBF"));
    }

    void showingRowsNeitherMovesTheCursorNorSettlesAPendingRecord() {
        append("MONEY.DBF", payouts(8));
        TDataModule6 module;
        emit module.OnCreate();
        TDataSet& table = *module.TableMoney;
        table.MoveTo(3);
        table.Insert();
        table.SetFieldValue("FIO", Variant(QStringLiteral("Ждёт записи")));
        const QByteArray before = m_folder->bytes("MONEY.DBF");

        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* grid = new TDBGrid(&window);
        auto* other = new QLineEdit(&window);
        layout->addWidget(grid);
        layout->addWidget(other);
        grid->SetDataSource(module.SourceMoney);
        grid->SetColumns({"FIO", "SUMMA"});
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        grid->viewport()->repaint();
        for (int row = 0; row < grid->model()->rowCount(); ++row)
            for (int column = 0; column < 2; ++column)
                grid->model()->data(grid->model()->index(row, column));

        QCOMPARE(table.state(), TDataSet::State::Insert);
        QVERIFY(table.Modified());
        QCOMPARE(table.CurrentIndex(), std::int64_t(3));
        QCOMPARE(m_folder->bytes("MONEY.DBF"), before);
        QCOMPARE(cell(*grid->model(), grid->model()->rowCount() - 1, 0), QString("Ждёт записи"));

        // Leaving the grid keeps a record that holds typing, and gives up a blank one.
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        grid->setFocus();
        other->setFocus();
        QCOMPARE(table.state(), TDataSet::State::Insert);
        table.Cancel();
        table.Insert();
        grid->setFocus();
        other->setFocus();
        QCOMPARE(table.state(), TDataSet::State::Browse);
        QCOMPARE(table.CurrentIndex(), std::int64_t(3));
        QCOMPARE(m_folder->bytes("MONEY.DBF"), before);
    }

    void valuesShowAsARussianOfficeReadsThem() {
        const QDate day = Date().addDays(3);
        append("COMPIT.DBF", {{{"NUMBER", Variant(7)},
                               {"DATE", Variant(day)},
                               {"KOM1", Variant(QStringLiteral("Спартак"))},
                               {"KOM2", Variant(QStringLiteral("Ёлки-Палки"))},
                               {"KOEF_1", Variant(1.5)},
                               {"KOEF_2", Variant(2.25)},
                               {"KOEF_N", Variant(3)}},
                              {{"KOM1", Variant(QStringLiteral("Без номера"))}}});
        append("MONEY.DBF", {payoutRecord(QStringLiteral("Щукин Юрий"), 1234567.89)});
        start();

        auto* grid = control<TDBGrid>(TableCompitition, "DBGrid1");
        runModal(TableCompitition, [&] {
            const QAbstractItemModel& model = *grid->model();
            QCOMPARE(model.rowCount(), 2);
            QCOMPARE(cell(model, 0, 0), QString("7"));
            QCOMPARE(cell(model, 0, 1), day.toString("dd.MM.yyyy"));
            QCOMPARE(cell(model, 0, 2), QString("Спартак")); // no padding from the file
            QCOMPARE(cell(model, 0, 3), QString("Ёлки-Палки"));
            QCOMPARE(cell(model, 0, 4), QString("1,5"));
            QCOMPARE(cell(model, 0, 5), QString("2,25"));
            QCOMPARE(cell(model, 0, 6), QString("3"));
            QCOMPARE(cell(model, 1, 0), QString()); // an event stored without a number
            QCOMPARE(cell(model, 1, 1), QString());
            const auto alignment = [&](int column) {
                return model.data(model.index(0, column), Qt::TextAlignmentRole)
                           .value<Qt::Alignment>() &
                       Qt::AlignHorizontal_Mask;
            };
            QCOMPARE(alignment(0), Qt::AlignRight);
            QCOMPARE(alignment(2), Qt::AlignLeft);
            QCOMPARE(alignment(4), Qt::AlignRight);
        });
        runModal(TableMoney, [&] {
            const QAbstractItemModel& model = *control<TDBGrid>(TableMoney, "DBGrid2")->model();
            QCOMPARE(cell(model, 0, 0), QString("Щукин Юрий"));
            QCOMPARE(cell(model, 0, 1), QString("1234567,89")); // no group separator
        });
        QVERIFY(m_errors->messages.isEmpty());
    }

    void browsersOpenFromTheMenuAsLaidOut() {
        start();
        struct Browser {
            Qt::Key key;
            TForm* form;
            QString caption;
            int width;
            const char* grid;
            QStringList titles;
            QList<Button> buttons;
        };
        const QList<Button> moves = {Button::First, Button::Prior, Button::Next, Button::Last};
        const QList<Browser> browsers = {
            {Qt::Key_C,
             TableCompitition,
             "Таблица соревнований",
             783,
             "DBGrid1",
             {"№", "DATE", "Команда 1", "Команда 2", "К-т на Команду 1", "К-т на Команду 2",
              "К-т на Ничью"},
             moves},
            {Qt::Key_T,
             TableStavka,
             "Таблица ставок",
             784,
             "DBGrid1",
             {"№", "Результат", "Сумма", "Коэффициент", "Ф.И.О."},
             moves + QList<Button>{Button::Delete}},
            {Qt::Key_M,
             TableMoney,
             "Выплата выигрышей",
             564,
             "DBGrid2",
             {"Ф.И.О.", "Сумма выплаты"},
             moves + QList<Button>{Button::Delete}},
        };
        const QMap<Button, QString> tips = {{Button::First, "Первая запись"},
                                            {Button::Prior, "Предыдущая запись"},
                                            {Button::Next, "Следующая запись"},
                                            {Button::Last, "Последняя запись"},
                                            {Button::Delete, "Выплатить выигрыш"}};
        Zastavka->Show();
        for (const Browser& b : browsers) {
            QApplication::setActiveWindow(Zastavka); // the shortcuts work in the active window
            QVERIFY(QTest::qWaitForWindowActive(Zastavka));
            bool opened = false;
            const auto check = [&] {
                opened = b.form->isVisible() && b.form->IsModal();
                QCOMPARE(b.form->windowTitle(), b.caption);
                QCOMPARE(b.form->frameGeometry().size(), QSize(b.width, 342));
                QVERIFY(b.form->minimumSize() != b.form->maximumSize()); // resizable
                QCOMPARE(b.form->focusWidget(), control<QWidget>(b.form, "Panel1"));

                auto* panel1 = control<QFrame>(b.form, "Panel1");
                QCOMPARE(panel1->geometry(), QRect(0, 0, b.form->width(), 41));
                auto* navigator = control<TDBNavigator>(b.form, "DBNavigator");
                QCOMPARE(navigator->parentWidget(), panel1);
                QCOMPARE(navigator->geometry(), QRect(8, 8, 220, 25));
                QCOMPARE(navigator->VisibleButtons(), b.buttons);
                for (Button button : b.buttons) {
                    QCOMPARE(navigator->ButtonOf(button)->toolTip(),
                             b.form == TableStavka && button == Button::Delete
                                 ? QString("Отменить ставку")
                                 : tips[button]);
                    QVERIFY(navigator->ButtonOf(button)->autoRaise()); // no 3-D look
                }

                auto* grid = control<TDBGrid>(b.form, b.grid);
                QVERIFY(grid);
                QVERIFY(control<QFrame>(b.form, "Panel2")->isAncestorOf(grid));
                QCOMPARE(grid->frameShape(), QFrame::NoFrame);
                QCOMPARE(titles(*grid->model()), b.titles);
                QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
                QVERIFY(grid->verticalHeader()->isVisible()); // the record indicator
                QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
            };
            runModal(
                b.form,
                [&] {
                    check();
                    b.form->close(); // the title bar's close box
                },
                [&] { QTest::keyClick(Zastavka, b.key, Qt::ControlModifier); });
            QVERIFY2(opened, qPrintable(b.caption));
            QVERIFY(!b.form->isVisible());
        }
        QVERIFY(m_errors->messages.isEmpty());
        Zastavka->Close();
    }

    void payingOutAsksFirstAndRemovesOnlyThatPayout() {
        append("MONEY.DBF", payouts(3));
        start();
        auto* grid = control<TDBGrid>(TableMoney, "DBGrid2");
        QAbstractItemModelTester tester(grid->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        auto* navigator = control<TDBNavigator>(TableMoney, "DBNavigator");
        QString asked;
        runModal(TableMoney, [&] {
            QCOMPARE(columnTexts(*grid->model(), 0), clients(1, 3));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(grid->model()->index(1, 1)).center());
            QCOMPARE(DataModule6->TableMoney->GetFieldValue("FIO").toString(), client(2));

            answerNextQuestion("No", &asked);
            QTest::mouseClick(navigator->ButtonOf(Button::Delete), Qt::LeftButton);
            QVERIFY2(asked.startsWith("Выплатить выигрыш?"), qPrintable(asked));
            QVERIFY2(asked.contains(client(2)) && asked.contains("200,50"), qPrintable(asked));
            QCOMPARE(readWithDbfread(file("MONEY.DBF")).size(), 3);

            answerNextQuestion("Yes", &asked);
            QTest::mouseClick(navigator->ButtonOf(Button::Delete), Qt::LeftButton);
            QVERIFY(!asked.isEmpty());
            const QJsonArray left = readWithDbfread(file("MONEY.DBF"));
            QCOMPARE(left.size(), 2);
            QCOMPARE(left[0].toObject()["FIO"].toString(), client(1));
            QCOMPARE(left[1].toObject()["FIO"].toString(), client(3));
            QCOMPARE(left[1].toObject()["SUMMA"].toDouble(), 300.5);
            QCOMPARE(columnTexts(*grid->model(), 0), QStringList({client(1), client(3)}));
            QCOMPARE(markers(*grid->model()), QStringList({"", "▶"}));
        });
        QVERIFY(m_errors->messages.isEmpty());
    }

    // Revoking a bet asks first, naming it and saying that the coefficients stay; a bet whose
    // event takes no more bets is refused in the error box, nothing written.
    void revokingABetAsksFirstAndARefusalIsShown() {
        append("COMPIT.DBF",
               {eventRecord(1, "Зенит", "Спартак"), eventRecord(2, "Динамо", "ЦСКА", Date())});
        Record slipped = betRecord(1, "Зенит", 100, 1.85, client(1));
        slipped.append({QString(fields::SERIAL), Variant(12)});
        append("PRIEM.DBF", {slipped, betRecord(2, "ЦСКА", 50, 2, client(2))});
        start();
        auto* navigator = control<TDBNavigator>(TableStavka, "DBNavigator");
        QString asked;
        runModal(TableStavka, [&] {
            answerNextQuestion("Yes", &asked);
            QTest::mouseClick(navigator->ButtonOf(Button::Delete), Qt::LeftButton);
            // (named by its slip's number, the client's, and its event's)
            QVERIFY2(asked.startsWith("Отменить ставку?\n\nКвитанция № 12, событие № 1\n") &&
                         asked.contains(client(1)) &&
                         asked.contains("Коэффициенты события останутся"),
                     qPrintable(asked));
            QCOMPARE(readColumn(file("PRIEM.DBF"), "FIO"), QStringList{client(2)});
            QCOMPARE(readWithDbfread(file("COMPIT.DBF"))[0].toObject()["SUMM_1"].toDouble(), 400.0);
            const QByteArray left = m_folder->bytes("PRIEM.DBF");
            answerNextQuestion("Yes", &asked);
            QTest::mouseClick(navigator->ButtonOf(Button::Delete), Qt::LeftButton);
            QCOMPARE(m_folder->bytes("PRIEM.DBF"), left);
        });
        QCOMPARE(m_errors->messages, QStringList{RevokeClosedMessage()});
    }

    void payingTheLastPayoutEmptiesTheGridAndAnEmptyTablePaysNothing() {
        append("MONEY.DBF", payouts(1));
        start();
        auto* grid = control<TDBGrid>(TableMoney, "DBGrid2");
        auto* navigator = control<TDBNavigator>(TableMoney, "DBNavigator");
        QString asked;
        runModal(TableMoney, [&] {
            QCOMPARE(grid->model()->rowCount(), 1);
            answerNextQuestion("Yes", &asked);
            QTest::mouseClick(navigator->ButtonOf(Button::Delete), Qt::LeftButton);
            QVERIFY(!asked.isEmpty());
            QCOMPARE(readWithDbfread(file("MONEY.DBF")).size(), 0);
            QCOMPARE(grid->model()->rowCount(), 0);
        });
        const QByteArray emptied = m_folder->bytes("MONEY.DBF");
        // Opened again on the empty table: nothing to show, nothing to pay, nothing asked.
        runModal(TableMoney, [&] {
            QCOMPARE(grid->model()->rowCount(), 0);
            for (Button button : navigator->VisibleButtons())
                QVERIFY(!navigator->ButtonOf(button)->isEnabled());
            answerNextQuestion("Yes", &asked);
            navigator->BtnClick(Button::Delete);
            QTest::qWait(10); // let a question, were one asked, be answered
            QVERIFY2(asked.isEmpty(), qPrintable(asked));
            QTest::keyClick(grid, Qt::Key_Down);
            QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
            QCOMPARE(grid->model()->rowCount(), 0);
        });
        QCOMPARE(m_folder->bytes("MONEY.DBF"), emptied);
        QVERIFY(m_errors->messages.isEmpty());
    }

    void navigatorAndGridMoveTheSharedCursorSettlingFirst() {
        append("COMPIT.DBF", events(30));
        start();
        TDataSet& table = *DataModule6->TableCompit;
        auto* grid = control<TDBGrid>(TableCompitition, "DBGrid1");
        QAbstractItemModelTester tester(grid->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        auto* navigator = control<TDBNavigator>(TableCompitition, "DBNavigator");
        const auto number = [&] { return int(table.GetFieldValue("NUMBER").toInteger()); };
        const auto shownCurrent = [&] {
            const int row = grid->currentIndex().row();
            return row < 0 ? -1 : cell(*grid->model(), row, 0).toInt();
        };
        const auto press = [&](Button button) {
            QTest::mouseClick(navigator->ButtonOf(button), Qt::LeftButton);
        };

        // Showing the browser leaves the cursor where another window put it.
        table.MoveTo(11);
        runModal(TableCompitition, [&] {
            QCOMPARE(number(), 12);
            QCOMPARE(shownCurrent(), 12);
            press(Button::Last);
            QCOMPARE(number(), 30);
            QCOMPARE(shownCurrent(), 30);
            QVERIFY(!navigator->ButtonOf(Button::Next)->isEnabled());
            press(Button::Prior);
            QCOMPARE(number(), 29);
            press(Button::First);
            QCOMPARE(number(), 1);
            QVERIFY(!navigator->ButtonOf(Button::Prior)->isEnabled());
            QVERIFY(navigator->ButtonOf(Button::Next)->isEnabled());
            press(Button::Next);
            QCOMPARE(number(), 2);

            grid->setFocus();
            QTest::keyClick(grid, Qt::Key_Down);
            QTest::keyClick(grid, Qt::Key_Down);
            QCOMPARE(number(), 4);
            QTest::keyClick(grid, Qt::Key_PageDown);
            QCOMPARE(number(), 4 + grid->GridModel()->PageRows());
            QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
            QCOMPARE(number(), 30);
            QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
            QCOMPARE(number(), 1);
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(grid->model()->index(2, 3)).center());
            QCOMPARE(number(), 3);
            QCOMPARE(grid->currentIndex().column(), 3);
            QWheelEvent wheel(QPointF(20, 20), grid->mapToGlobal(QPointF(20, 20)), {}, {0, -120},
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(grid->viewport(), &wheel);
            QCOMPARE(number(), 3 + QApplication::wheelScrollLines());
            grid->RecordScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
            QCOMPARE(number(), 30);
            QCOMPARE(grid->RecordScrollBar()->value(), 29);
            QCOMPARE(shownCurrent(), 30);
            grid->RecordScrollBar()->setSliderPosition(14);
            grid->RecordScrollBar()->triggerAction(QAbstractSlider::SliderMove);
            QCOMPARE(number(), 15);
        });

        // A record another window left pending with changes is written by the first move.
        table.Insert();
        table.SetFieldValue("NUMBER", Variant(31));
        table.SetFieldValue("KOM1", Variant(QStringLiteral("Оставлен")));
        runModal(TableCompitition, [&] {
            QCOMPARE(markers(*grid->model()).last(), QString("*"));
            QCOMPARE(cell(*grid->model(), grid->model()->rowCount() - 1, 2), QString("Оставлен"));
            press(Button::First);
            QCOMPARE(table.state(), TDataSet::State::Browse);
            QCOMPARE(number(), 1);
            const QJsonArray stored = readWithDbfread(file("COMPIT.DBF"));
            QCOMPARE(stored.size(), 31);
            QCOMPARE(stored.last().toObject()["KOM1"].toString(), QString("Оставлен"));

            // Last and Prior settle first too: a record with changes is written and Last lands
            // on it; a blank one is given up.
            table.Insert();
            table.SetFieldValue("KOM1", Variant(QStringLiteral("Ещё один")));
            press(Button::Last);
            QCOMPARE(table.state(), TDataSet::State::Browse);
            QCOMPARE(table.GetFieldValue("KOM1").toString(), QString("Ещё один"));
            table.Insert();
            press(Button::Prior);
            QCOMPARE(table.state(), TDataSet::State::Browse);
            QCOMPARE(table.GetFieldValue("KOM1").toString(), QString("Оставлен"));
            QCOMPARE(readWithDbfread(file("COMPIT.DBF")).size(), 32);
        });
        QVERIFY(m_errors->messages.isEmpty());
    }

    void readOnlyGridsTakeNoTyping() {
        append("COMPIT.DBF", events(3));
        QList<Record> bets;
        for (int i = 1; i <= 3; ++i)
            bets << betRecord(i, QStringLiteral("Ничья"), 100 * i, 1.85, client(i));
        append("PRIEM.DBF", bets);
        start();
        const QByteArray compit = m_folder->bytes("COMPIT.DBF");
        const QByteArray priem = m_folder->bytes("PRIEM.DBF");
        const QList<Qt::Key> keys = {Qt::Key_F2,     Qt::Key_Return,    Qt::Key_Insert,
                                     Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Space};
        for (TForm* form : QList<TForm*>{TableCompitition, TableStavka}) {
            auto* grid = control<TDBGrid>(form, "DBGrid1");
            auto* navigator = control<TDBNavigator>(form, "DBNavigator");
            const TDataSet* table = navigator->DataSource()->DataSet();
            runModal(form, [&] {
                for (Button button :
                     {Button::Insert, Button::Delete, Button::Edit, Button::Post, Button::Cancel})
                    QVERIFY(!navigator->VisibleButtons().contains(button) ||
                            (form == TableStavka && button == Button::Delete)); // revokes
                grid->setFocus();
                QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
                const QModelIndex before = grid->currentIndex();
                QVERIFY(before.row() > 0);
                typeText(grid, "1"); // would find the first row by its number
                typeText(grid, "Жж 15,5");
                for (Qt::Key key : keys)
                    QTest::keyClick(grid, key);
                QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
                QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
                                   grid->visualRect(before).center());
                QVERIFY(grid->viewport()->findChildren<QWidget*>().isEmpty()); // no editor opened
                QCOMPARE(grid->currentIndex(), before);
                QCOMPARE(table->state(), TDataSet::State::Browse);
                QVERIFY(!(grid->model()->flags(before) & Qt::ItemIsEditable));
            });
        }
        QCOMPARE(m_folder->bytes("COMPIT.DBF"), compit);
        QCOMPARE(m_folder->bytes("PRIEM.DBF"), priem);
        QVERIFY(m_errors->messages.isEmpty());
    }
};

VARNEL_TEST_MAIN(TestBrowsers)
#include "test_browsers.moc"
