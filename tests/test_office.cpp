// The back office: its views over books the counter made through its own dialogs, the history's
// filters and sorting, reading while a counter commits, undoing a result, CSV and PDF.
#include "office/books/Format.h"
#include "office/books/HistoryModel.h"
#include "office/window/CashView.h"
#include "office/window/Export.h"
#include "office/window/HistoryView.h"
#include "office/window/OfficeWindow.h"
#include "office/window/RiskView.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "shell/StartUp.h"
#include "store/DataModule6.h"
#include "store/Figures.h"
#include "store/History.h"
#include "store/Home.h"
#include "store/Reading.h"
#include "store/Tables.h"
#include "store/engine/Convert.h"
#include "store/engine/DbfFile.h"
#include "store/engine/FolderLock.h"
#include "store/engine/Journal.h"
#include "store/engine/Transaction.h"
#include "tests/support/Office.h"
#include "tests/support/Server.h"
#include "tests/support/TestMain.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <map>

using namespace varnel;
using namespace varnel::office;
using namespace varnel::test;

namespace {

QJsonArray rowsOf(const QString& folder, const char* table) {
    return readWithDbfread(QDir(folder).filePath(QLatin1String(table)));
}

// Σ of a field over the records of a table that pass a test, as dbfread reads them.
template <typename Pass> double sumOf(const QJsonArray& rows, const char* field, Pass pass) {
    double sum = 0;
    for (const auto& r : rows)
        if (pass(r.toObject()))
            sum += r.toObject()[QLatin1String(field)].toDouble();
    return sum;
}

auto ofKind(const char* kind) {
    return [kind](const QJsonObject& r) { return r["VID"].toString() == QString::fromUtf8(kind); };
}

bool near(double a, double b) {
    return std::fabs(a - b) < 0.005;
}

// The row of the newest record of a kind about an event, as the model shows it.
int rowOf(const HistoryModel& model, const QString& kind, int number) {
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.Value(row, fields::VID).toString() == kind &&
            model.Value(row, fields::NUMBER) == Variant(number))
            return row;
    return -1;
}

// Whether the history's query running now ended within half a minute.
bool queried(const HistoryModel& model) {
    return QTest::qWaitFor([&] { return !model.Busy(); }, 30000);
}

QAction* actionOf(const OfficeWindow& window, const char* name) {
    auto* action = window.findChild<QAction*>(QLatin1String(name));
    if (!action)
        qFatal("no action %s", name);
    return action;
}

// The day's cash of the window once it is summed (off the window's thread).
const CashReport& summedCash(const OfficeWindow& window) {
    if (!QTest::qWaitFor([&] { return window.Settled(); }, 30000))
        qFatal("the day's cash was never summed");
    return window.Cash()->Figures();
}

// Puts the history's current row on the newest «Результат» of an event and asks for its undo.
void undoFromHistory(OfficeWindow& window, int number) {
    window.ShowView(0);
    HistoryModel* model = window.History()->Model();
    const int row = rowOf(*model, kinds::Result(), number);
    QVERIFY2(row >= 0, "no result of the event in the history");
    window.History()->Table()->setCurrentIndex(model->index(row, 0));
    QAction* undo = actionOf(window, "ActionUndo");
    QVERIFY(undo->isEnabled());
    undo->trigger();
}

// The invariants of every reading taken while bets are recorded: each event's stake sums are
// 500 plus the stakes of its live bets on each outcome, and the history's bets less their
// settlements (plus the bets undone results put back) are the live bets.
QString wholeness(const Books& books) {
    for (const Event& event : books.events) {
        const QString names[3] = {event.kom1, event.kom2, DrawName()};
        for (int o = 0; o < 3; ++o) {
            double stakes = 500;
            for (const Bet& bet : books.bets)
                if (bet.number == event.number && bet.result == names[o])
                    stakes += bet.stake;
            if (!near(stakes, event.sums[o]))
                return QStringLiteral("event %1, outcome %2: sum %3, bets %4")
                    .arg(event.number.toString())
                    .arg(o)
                    .arg(event.sums[o])
                    .arg(stakes);
        }
    }
    HistoryModel model;
    model.SetBooks(std::make_shared<Books>(books));
    int live = 0;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QString kind = model.Value(row, fields::VID).toString();
        live += kind == kinds::Bet() || kind == kinds::Restored()
                    ? 1
                    : (kind == kinds::Won() || kind == kinds::Lost() ? -1 : 0);
    }
    if (model.rowCount() != int(books.historyCount))
        return QStringLiteral("the history shows %1 of %2")
            .arg(model.rowCount())
            .arg(books.historyCount);
    if (live != books.bets.size())
        return QStringLiteral("the history says %1 bets, PRIEM.DBF has %2")
            .arg(live)
            .arg(books.bets.size());
    return {};
}

// A history written through the engine for the filters: every kind, clients whose names differ
// in case and in ё, days over six weeks, events and amounts spread, some blank.
struct Written {
    QDate day;
    QString kind, fio;
    int number;
    Variant summa;
    int serial = 0; // a bet's and the records of what became of it, four records each
};

QList<Written> writeHistory(const QString& folder) {
    const QString names[] = {QStringLiteral("Иванов Иван"),  QStringLiteral("ИВАНОВА Ольга"),
                             QStringLiteral("Пётр Сидоров"), QStringLiteral("Петров Пётр"),
                             QStringLiteral("Smith John"),   QString()};
    const QString all[] = {kinds::Event(),  kinds::Bet(),  kinds::Won(),    kinds::Lost(),
                           kinds::Result(), kinds::Paid(), kinds::Undone(), kinds::Restored()};
    const int numbers[] = {1, 2, 3, 7, -5};
    QList<Written> written;
    QList<Record> records;
    for (int i = 0; i < 400; ++i) {
        Written w{Date().addDays(-((i * 7) % 43)), all[(i * 5) % 8], names[i % 6],
                  numbers[(i / 3) % 5],
                  i % 11 == 0 ? Variant() : Variant(double((i * 37) % 500) + 0.25)};
        w.serial = 100 + i / 4;
        written << w;
        using namespace fields;
        records << Record{
            {DEN, Variant(w.day)},        {VID, Variant(w.kind)}, {FIO, Variant(w.fio)},
            {NUMBER, Variant(w.number)},  {SUMMA, w.summa},       {VREMYA, Variant("12:00:00")},
            {VYPLATA, Variant(double(i))}};
        records.last().append({QString(SERIAL), Variant(w.serial)});
    }
    append(QDir(folder).filePath(HistoryTable().file), records);
    return written;
}

// The records the model shows, as places in the file.
QList<std::int64_t> shown(const HistoryModel& model) {
    QList<std::int64_t> records;
    for (int row = 0; row < model.rowCount(); ++row)
        records << model.RecordAt(row);
    return records;
}

QList<std::int64_t> expected(const QList<Written>& written,
                             const std::function<bool(const Written&)>& pass) {
    QList<std::int64_t> records;
    for (qsizetype i = written.size() - 1; i >= 0; --i) // newest first
        if (pass(written[i]))
            records << i;
    return records;
}

// Writes bytes over one field of a stored record the way a careless other program does: right
// into the file, blanks before them to the field's width, nothing else of the file touched.
void scribble(const QString& path, std::uint32_t record, QLatin1String field,
              const QByteArray& bytes) {
    qint64 at = 0;
    int width = 0;
    {
        DbfFile file(path);
        file.open(DbfFile::Access::Read);
        const int column = file.columnIndex(field);
        if (column < 0 || record >= file.recordCount())
            qFatal("no field %s in record %u", field.data(), record);
        const DbfColumn& c = file.columns().at(column);
        at = file.headerLength() + qint64(record) * file.recordLength() + c.offset;
        width = c.length;
    }
    QFile file(path);
    if (bytes.size() > width || !file.open(QIODevice::ReadWrite) || !file.seek(at) ||
        file.write(QByteArray(width - bytes.size(), ' ') + bytes) != width)
        qFatal("cannot write into %s", qPrintable(path));
}

// The pages (from 1) of a day report's PDF where its history's heading «История», the head's
// line and its QR code (the report's one picture) lie; 0 where not found.
struct HeadPages {
    int heading = 0, head = 0, code = 0;
};

HeadPages headPages(const QString& pdf) {
    HeadPages at;
    const QStringList pages = runTool("pdftotext", {"-layout", pdf, "-"}).out.split('\f');
    for (int page = 1; page <= pages.size(); ++page) {
        if (pages[page - 1].contains(QRegularExpression("(^|\n)\\s*История\\s*\n")))
            at.heading = page;
        if (pages[page - 1].contains("Голова истории на время отчёта:"))
            at.head = page;
    }
    // "page num type ...", a line of dashes, then the picture's line
    at.code = runTool("pdfimages", {"-list", pdf})
                  .out.split('\n')
                  .value(2)
                  .section(' ', 0, 0, QString::SectionSkipEmpty)
                  .toInt();
    return at;
}

// Opens the limits' dialog as its menu item does and runs the steps inside its loop; a dialog
// the steps leave open is closed. A dialog that never opened, or that is opened again (a refusal
// at «Сохранить»), fails the test.
void inLimitsDialog(OfficeWindow& window, const std::function<void(QDialog*)>& steps) {
    int opened = 0;
    // Timers of this scope: one that never fired must not fire in another test.
    QTimer inside;
    inside.setInterval(0);
    QObject::connect(&inside, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != "LimitsDialog")
            return;
        if (++opened > 1) {
            dialog->reject();
            return;
        }
        steps(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    inside.start();
    actionOf(window, "ActionLimits")->trigger();
    QCOMPARE(opened, 1);
}

} // namespace

class TestOffice : public QObject {
    Q_OBJECT

private slots:
    // The counter's own dialogs make the books; the office's figures are checked against sums
    // done here over what dbfread reads.
    void viewsShowWhatTheCounterRecorded() {
        Office office;
        QVERIFY(office.started);
        const QDate today = Date();
        QVERIFY(enterEvent("7", "Спартак", "Зенит", today.addDays(5), {"1,5", "2,5", "3"}));
        QVERIFY(enterEvent("8", "Динамо", "Торпедо", today.addDays(6)));
        QVERIFY(enterEvent("9", "Локомотив", "ЦСКА", today.addDays(3), {"2", "3", "3,5"}));
        QVERIFY(takeBet("Иванов Иван", "100", "7", 1));
        QVERIFY(takeBet("Петров Пётр", "40", "7", 2));
        QVERIFY(takeBet("Сидорова Анна", "10", "7", 1));
        QVERIFY(takeBet("Чужой", "5", "8", 3));
        QVERIFY(takeBet("ИВАНОВА Ольга", "250", "9", 2));
        QVERIFY(takeBet("Петров Пётр", "60", "9", 1));
        QVERIFY(takeBet("Иванов Иван", "30,5", "9", 2));
        QVERIFY(settle("7", 1));
        payOut(0); // Иванов Иван's 250
        const QString folder = office.folder.path();

        OfficeWindow window;
        QVERIFY(window.OpenFolder(folder));
        QVERIFY(window.windowTitle().contains(QDir::toNativeSeparators(folder)));
        QTRY_VERIFY(window.UnreadableRecords().has_value());
        QCOMPARE(*window.UnreadableRecords(), 0u);
        QVERIFY(control<QLabel>(&window, "UnreadableRecords")->isHidden());
        // The books as dbfread reads them: the folder's files, or the server's tables written out.
        const auto books = [&](const char* table) {
            return readWithDbfread(office.table(QLatin1String(table)));
        };
        const QJsonArray history = books("HISTORY.DBF");

        // The history, newest first, in Russian.
        HistoryModel* model = window.History()->Model();
        QCOMPARE(model->rowCount(), int(history.size()));
        for (int row = 0; row < model->rowCount(); ++row) {
            const QJsonObject r = history[history.size() - 1 - row].toObject();
            QCOMPARE(model->Value(row, fields::VID).toString(), r["VID"].toString());
            QCOMPARE(model->Value(row, fields::FIO).toString(), r["FIO"].toString());
        }
        const int fio = HistoryModel::ColumnOf(fields::FIO);
        const int vyplata = HistoryModel::ColumnOf(fields::VYPLATA);
        const int den = HistoryModel::ColumnOf(fields::DEN);
        QCOMPARE(model->headerData(fio, Qt::Horizontal).toString(), QString("Клиент"));
        QCOMPARE(model->data(model->index(0, vyplata)).toString(), QString("250,00"));
        // Each record names the operator who wrote it: the desktop user, or the server's login.
        const int kassir = HistoryModel::ColumnOf(fields::KASSIR);
        QCOMPARE(model->headerData(kassir, Qt::Horizontal).toString(), QString("Кассир"));
        const QString who = office.conninfo.isEmpty() ? DesktopUserName()
                                                      : history[0].toObject()["KASSIR"].toString();
        QVERIFY(!who.isEmpty());
        for (int row = 0; row < model->rowCount(); ++row)
            QCOMPARE(model->data(model->index(row, kassir)).toString(), who);
        QCOMPARE(model->data(model->index(0, den)).toString(), today.toString("dd.MM.yyyy"));

        // The day's cash.
        window.Cash()->SetDays(today, today);
        const CashReport& cash = summedCash(window);
        const double stakes = sumOf(history, "SUMMA", ofKind("Ставка"));
        const double won = sumOf(history, "VYPLATA", ofKind("Выигрыш"));
        const double paid = sumOf(history, "VYPLATA", ofKind("Выплата"));
        QVERIFY(near(stakes, 495.5) && near(won, 275) && near(paid, 250));
        QVERIFY(near(cash.total.stakes, stakes));
        QVERIFY(near(cash.total.Owed(), won));
        QVERIFY(near(cash.total.paid, paid));
        QVERIFY(near(cash.total.Balance(), stakes - paid));
        QCOMPARE(cash.total.bets, 7);
        QCOMPARE(control<QLabel>(window.Cash(), "CashBalance")->text(), MoneyText(stakes - paid));
        std::map<int, double> stakesOf;
        for (const auto& r : history)
            if (r.toObject()["VID"] == "Ставка")
                stakesOf[r.toObject()["NUMBER"].toInt()] += r.toObject()["SUMMA"].toDouble();
        QCOMPARE(cash.byEvent.size(), qsizetype(stakesOf.size()));
        for (const CashLine& line : cash.byEvent) {
            const int number = int(line.number.toInteger());
            QVERIFY2(near(line.cash.stakes, stakesOf[number]), qPrintable(line.label));
            // The payment is the event's whose settlement owed it.
            QVERIFY(near(line.cash.paid, number == 7 ? 250 : 0));
            QVERIFY(near(line.cash.Owed(), number == 7 ? 275 : 0));
        }
        QVERIFY(cash.byEvent[0].label.contains("Спартак — Зенит"));
        window.Cash()->SetDays(today.addDays(-3), today.addDays(-1));
        QCOMPARE(summedCash(window).total.bets, 0);
        QCOMPARE(window.Cash()->ByEvent()->rowCount(), 0);
        window.Cash()->SetDays(today.addDays(-3), today);
        summedCash(window);
        QCOMPARE(window.Cash()->ByDay()->rowCount(), 1);

        // The risk of each open event, from the bets as dbfread reads them.
        const QJsonArray events = books("COMPIT.DBF");
        const QJsonArray bets = books("PRIEM.DBF");
        const QList<EventRisk>& risks = window.Risk()->Model()->Risks();
        QCOMPARE(risks.size(), events.size());
        QCOMPARE(window.Risk()->Model()->rowCount(), int(events.size()));
        for (const EventRisk& risk : risks) {
            const int number = int(risk.event.number.toInteger());
            const auto onEvent = [number](const QJsonObject& b) { return b["NUMBER"] == number; };
            QVERIFY(near(risk.stakes, sumOf(bets, "SUMMA", onEvent)));
            int riskiest = -1;
            double most = -1;
            for (int o = 0; o < 3; ++o) {
                double payout = 0;
                for (const auto& b : bets) {
                    const QJsonObject bet = b.toObject();
                    if (onEvent(bet) && bet["RESULT"].toString() == risk.outcomes[o].name)
                        payout += bet["SUMMA"].toDouble() * (1 + bet["KOEFICIENT"].toDouble());
                }
                QVERIFY2(near(risk.outcomes[o].payout, payout),
                         qPrintable(QString("event %1 outcome %2").arg(number).arg(o)));
                if (payout > 0 && payout > most) {
                    most = payout;
                    riskiest = o;
                }
            }
            QCOMPARE(risk.riskiest, riskiest);
        }
        QCOMPARE(risks[1].outcomes[1].name, QString("ЦСКА")); // 280,50 staked on it
        QCOMPARE(risks[1].riskiest, 1);

        // A client's line: owed now and paid, found in any case.
        auto* client = control<QLineEdit>(window.History(), "FilterClient");
        const auto clientLine = [&](const QString& part) {
            client->setText(part);
            window.History()->ApplyFilter();
            queried(*model);
            return control<QLabel>(window.History(), "ClientLine")->text();
        };
        const QJsonArray money = books("MONEY.DBF");
        const double owedToSidorova =
            sumOf(money, "SUMMA", [](const QJsonObject& r) { return r["FIO"] == "Сидорова Анна"; });
        QVERIFY(near(owedToSidorova, 25));
        QString line = clientLine("сидорова");
        QVERIFY2(line.contains("Сидорова Анна") && line.contains(MoneyText(owedToSidorova)),
                 qPrintable(line));
        line = clientLine("ИВАНОВ");
        QVERIFY2(line.contains("Иванов Иван</b>: к выплате сейчас 0,00 (выигрышей: 0), выплачено "
                               "250,00 (выплат: 1)") &&
                     line.contains("ИВАНОВА Ольга"),
                 qPrintable(line));
        QCOMPARE(model->rowCount(), 5); // three bets, a win and its payment
        clientLine(QString());

        // The counter holds the folder: no undo, and nothing written (a server has no such lock).
        office.errors.messages.clear();
        if (office.conninfo.isEmpty()) {
            const auto before = snapshot(folder);
            undoFromHistory(window, 7);
            QCOMPARE(office.errors.messages.size(), 1);
            QVERIFY2(office.errors.messages[0].contains("Закройте кассу"),
                     qPrintable(office.errors.messages[0]));
            QVERIFY(snapshot(folder) == before);
        }
        const qsizetype refusals = office.errors.messages.size();

        // CSV that python's csv module reads back, Cyrillic and decimal commas intact.
        QTemporaryDir out;
        const QString csv = out.filePath("история.csv");
        window.ShowView(0);
        QSignalSpy exported(&window, &OfficeWindow::Exported); // written off the window's thread
        window.ExportCsv(csv);
        QTRY_COMPARE(exported.size(), 1);
        QCOMPARE(office.errors.messages.size(), refusals);
        const QByteArray read = runPython(R"(
import csv, sys
with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:
    rows = list(csv.reader(f, delimiter=';'))
print(len(rows) - 1)
print(rows[0][0], rows[0][4], rows[0][8])
print(rows[1][2], rows[1][4], rows[1][8])
)",
                                          {csv});
        QCOMPARE(QString::fromUtf8(read).split('\n').mid(0, 3),
                 QStringList({QString::number(history.size()), "Дата Клиент Выплата",
                              "Выплата Иванов Иван 250,00"}));
        // LibreOffice Calc, in a Russian locale, reads the amounts as numbers.
        QProcess calc;
        calc.setProcessEnvironment(childEnvironment());
        calc.start("soffice", {"-env:UserInstallation=file://" + out.filePath("lo"), "--headless",
                               "--infilter=CSV:59,34,76,1,,1049", "--convert-to", "fods",
                               "--outdir", out.path(), csv});
        QVERIFY(calc.waitForFinished(180000));
        QFile fods(out.filePath("история.fods"));
        QVERIFY2(fods.open(QIODevice::ReadOnly), qPrintable(calc.readAllStandardError()));
        const QString sheet = QString::fromUtf8(fods.readAll());
        QVERIFY(sheet.contains("office:value-type=\"float\" office:value=\"250\""));
        QVERIFY(sheet.contains("Иванов Иван"));

        // Asked while the grid's query runs, the export writes the rows of that query.
        client->setText("иванов");
        window.History()->ApplyFilter();
        QVERIFY(model->Busy());
        const QString filtered = out.filePath("иванов.csv");
        window.ExportCsv(filtered);
        QTRY_COMPARE(exported.size(), 2);
        QTRY_VERIFY(!model->Busy());
        QFile rows(filtered);
        QVERIFY(rows.open(QIODevice::ReadOnly));
        QCOMPARE(rows.readAll().count('\n'), model->rowCount() + 1);
        QCOMPARE(office.errors.messages.size(), refusals);
        clientLine(QString());

        // The day's cash as a PDF, with its figures in it.
        window.ShowView(1);
        window.Cash()->SetDays(today, today);
        summedCash(window);
        const QString pdf = out.filePath("касса.pdf");
        window.SavePdf(pdf);
        QFile written(pdf);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.size() > 1000 && written.read(5) == "%PDF-");
        QProcess text;
        text.setProcessEnvironment(childEnvironment());
        text.start("pdftotext", {"-layout", pdf, "-"});
        QVERIFY(text.waitForFinished(60000));
        const QString words =
            QString::fromUtf8(text.readAllStandardOutput()).replace(QChar(0xA0), ' ');
        QVERIFY2(words.contains("Касса за " + today.toString("dd.MM.yyyy")) &&
                     words.contains(MoneyText(stakes)) &&
                     words.contains(MoneyText(stakes - paid)) && words.contains("№ 7 Спартак"),
                 qPrintable(words));

        // The history's head: whole in the status line, on the day report as text and as a QR
        // code that reads back as that text, and written down among the books' heads.
        const QString head = QStringLiteral("записей %1, голова ").arg(history.size());
        QCOMPARE(control<QLabel>(&window, "ChainState")->text(), QString("История цела"));
        QVERIFY2(words.contains("Голова истории на время отчёта: " + head), qPrintable(words));
        // A few events leave the head at a page's foot: its code is not left alone on the next.
        const HeadPages at = headPages(pdf);
        QVERIFY2(
            at.heading > 0 && at.head == at.heading && at.code == at.heading,
            qPrintable(
                QString("heading %1, head %2, code %3").arg(at.heading).arg(at.head).arg(at.code)));
        QCOMPARE(runTool("pdftoppm", {"-r", "150", "-png", pdf, out.filePath("страница")}).status,
                 0);
        QStringList pages;
        for (const QString& name : QDir(out.path()).entryList({"страница*.png"}))
            pages << out.filePath(name);
        const ToolRun code = runTool("zbarimg", QStringList{"--raw", "-q"} + pages);
        QVERIFY2(code.out.startsWith(head) && words.contains(code.out.trimmed()),
                 qPrintable(code.out + code.err));
        const auto kept = [&] {
            QFile digests(QDir(folder).filePath(
                "digests/" + QDate::currentDate().toString(Qt::ISODate) + ".txt"));
            return office.conninfo.isEmpty()
                       ? (digests.open(QIODevice::ReadOnly) ? QString::fromUtf8(digests.readAll())
                                                            : QString())
                       : psql(office.conninfo, "select why || ': записей ' || records || ', голова "
                                               "' || head from varnel.digests")
                             .join('\n');
        };
        QTRY_VERIFY2(kept().contains("отчёт за день: " + code.out.trimmed()), qPrintable(kept()));
    }

    void historyFiltersAndSortsEveryRecord() {
        WorkFolder folder;
        const QList<Written> written = writeHistory(folder.path());
        HistoryModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetBooks(ReadBooks(folder.path()));
        QCOMPARE(model.rowCount(), 400);
        QCOMPARE(model.RecordAt(0), std::int64_t(399));

        const auto filtered = [&](const HistoryFilter& filter) {
            model.SetFilter(filter);
            if (!queried(model))
                qFatal("the query did not end");
            return shown(model);
        };
        HistoryFilter f;
        const auto named = [](QStringList names) {
            return [names](const Written& w) { return names.contains(w.fio); };
        };
        f.client = "иванов";
        QCOMPARE(filtered(f), expected(written, named({"Иванов Иван", "ИВАНОВА Ольга"})));
        f.client = "ПЁТР";
        QCOMPARE(filtered(f), expected(written, named({"Пётр Сидоров", "Петров Пётр"})));
        f.client = "петр ";
        QCOMPARE(filtered(f), expected(written, named({"Пётр Сидоров", "Петров Пётр"})));
        f.client = "smith";
        QCOMPARE(filtered(f), expected(written, named({"Smith John"})));
        f.client = "Ольга Иванова";
        QVERIFY(filtered(f).isEmpty());

        f = {};
        f.from = Date().addDays(-20);
        f.to = Date().addDays(-10);
        QCOMPARE(filtered(f), expected(written, [&](const Written& w) {
                     return w.day >= f.from && w.day <= f.to;
                 }));
        f.to = {};
        f.event = -5;
        f.kind = kinds::Paid();
        const auto combined = expected(written, [&](const Written& w) {
            return w.day >= f.from && w.number == -5 && w.kind == kinds::Paid();
        });
        QVERIFY(!combined.isEmpty());
        QCOMPARE(filtered(f), combined);
        f = {};
        f.event = 7;
        QCOMPARE(filtered(f), expected(written, [](const Written& w) { return w.number == 7; }));
        // A slip's number: the four records of that bet.
        f = {};
        f.serial = 123;
        QCOMPARE(filtered(f).size(), 4);
        QCOMPARE(filtered(f), expected(written, [](const Written& w) { return w.serial == 123; }));

        // Sorted by the stake, blanks first; equal stakes keep the newest first going down.
        const int summa = HistoryModel::ColumnOf(fields::SUMMA);
        f = {};
        f.kind = kinds::Bet();
        model.SetFilter(f);
        model.sort(summa, Qt::AscendingOrder);
        QVERIFY(queried(model));
        const auto bets =
            expected(written, [](const Written& w) { return w.kind == kinds::Bet(); });
        QCOMPARE(model.rowCount(), int(bets.size()));
        const auto stake = [&](int row) {
            const Variant v = model.Value(row, fields::SUMMA);
            return v.isNull() ? -1.0 : v.toReal();
        };
        for (int row = 1; row < model.rowCount(); ++row)
            QVERIFY(stake(row - 1) <= stake(row));
        QCOMPARE(stake(0), -1.0);
        model.sort(summa, Qt::DescendingOrder);
        QVERIFY(queried(model));
        for (int row = 1; row < model.rowCount(); ++row) {
            QVERIFY(stake(row - 1) >= stake(row));
            if (stake(row - 1) == stake(row))
                QVERIFY(model.RecordAt(row - 1) > model.RecordAt(row));
        }
        // By client: the order of the alphabet, any case.
        model.SetFilter({});
        model.sort(HistoryModel::ColumnOf(fields::FIO), Qt::AscendingOrder);
        QVERIFY(queried(model));
        QCOMPARE(model.rowCount(), 400);
        QStringList order;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QString name = model.Value(row, fields::FIO).toString();
            if (order.isEmpty() || order.last() != name)
                order << name;
        }
        QCOMPARE(order, QStringList({"", "Smith John", "Иванов Иван", "ИВАНОВА Ольга",
                                     "Пётр Сидоров", "Петров Пётр"}));
        // The file's order, oldest first.
        model.sort(-1, Qt::AscendingOrder);
        QCOMPARE(model.RecordAt(0), std::int64_t(0));

        // A query asked while another runs: the last one asked is what is shown.
        model.sort(-1, Qt::DescendingOrder);
        f = {};
        f.client = "smith";
        model.SetFilter(f);
        f.client = "иванов";
        model.SetFilter(f);
        QVERIFY(queried(model));
        QCOMPARE(shown(model), expected(written, named({"Иванов Иван", "ИВАНОВА Ольга"})));

        // The view's boxes set the same filter.
        HistoryView view;
        view.SetBooks(ReadBooks(folder.path()));
        typeText(control<QLineEdit>(&view, "FilterClient"), "сидоров");
        control<QComboBox>(&view, "FilterKind")->setCurrentText(kinds::Won());
        view.ApplyFilter();
        QVERIFY(queried(*view.Model()));
        QCOMPARE(shown(*view.Model()), expected(written, [](const Written& w) {
                     return w.fio == "Пётр Сидоров" && w.kind == kinds::Won();
                 }));
        control<QToolButton>(&view, "FilterReset")->click();
        typeText(control<QLineEdit>(&view, "FilterSerial"), "123");
        view.ApplyFilter();
        QVERIFY(queried(*view.Model()));
        QCOMPARE(shown(*view.Model()),
                 expected(written, [](const Written& w) { return w.serial == 123; }));

        // Every column sorts either way as its values say: the blank first, text folded, equal
        // values in the file's order (the newest first going down), names alike in their first
        // 24 letters too.
        {
            using namespace fields;
            const QString lasting = QStringLiteral("Константинопольская-Верхнеднепровская ");
            QList<Record> alike;
            for (const char* name : {"Ольга", "Анна", "Ольга", "анна"})
                alike << Record{{FIO, Variant(lasting + QString::fromUtf8(name))},
                                {SUMMA, Variant(7.5)},
                                {DEN, Variant(Date())}};
            append(QDir(folder.path()).filePath(HistoryTable().file), alike);
        }
        model.SetBooks(ReadBooks(folder.path()));
        model.SetFilter({});
        for (int column = 0; column < HistoryModel::Columns().size(); ++column) {
            const HistoryColumn& c = HistoryModel::Columns()[column];
            for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                model.sort(column, order);
                QVERIFY(queried(model));
                QCOMPARE(model.rowCount(), 404);
                const bool down = order == Qt::DescendingOrder;
                for (int row = 1; row < model.rowCount(); ++row) {
                    const Variant a = model.Value(row - 1, c.field), b = model.Value(row, c.field);
                    const HistorySortKey ka = HistorySortKeyOf(a, c.kind),
                                         kb = HistorySortKeyOf(b, c.kind);
                    QVERIFY2(down ? !(ka < kb) : !(kb < ka),
                             qPrintable(QStringLiteral("%1, row %2").arg(c.field).arg(row)));
                    if (a.isNull() == b.isNull() && (a.isNull() || a == b))
                        QVERIFY2(down == (model.RecordAt(row - 1) > model.RecordAt(row)),
                                 qPrintable(QStringLiteral("%1, row %2").arg(c.field).arg(row)));
                }
            }
        }
    }

    // A history written before KASSIR is shown as it is: its «Кассир» column blank, filtered,
    // sorted and summed as any other, nothing reported.
    void aHistoryWrittenBeforeTheCashierShowsTheColumnBlank() {
        WorkFolder folder;
        const QString path = folder.file("HISTORY.DBF");
        createHistoryBeforeKassir(path);
        const QList<Written> written = writeHistory(folder.path());
        const auto books = ReadBooks(folder.path());
        QVERIFY2(books->problems.isEmpty(), qPrintable(books->problems.join('\n')));
        HistoryModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetBooks(books);
        QCOMPARE(model.rowCount(), 400);
        const int kassir = HistoryModel::ColumnOf(fields::KASSIR);
        QCOMPARE(model.headerData(kassir, Qt::Horizontal).toString(), QString("Кассир"));
        for (int row = 0; row < model.rowCount(); ++row) {
            QVERIFY(model.data(model.index(row, kassir)).toString().isEmpty());
            QCOMPARE(model.data(model.index(row, HistoryModel::ColumnOf(fields::FIO))).toString(),
                     written[399 - row].fio);
        }
        model.sort(kassir, Qt::AscendingOrder); // all blank: the file's order
        QVERIFY(queried(model));
        QCOMPARE(model.rowCount(), 400);
        QCOMPARE(model.RecordAt(0), std::int64_t(0));
        HistoryFilter f;
        f.client = "smith";
        model.SetFilter(f);
        QVERIFY(queried(model));
        QCOMPARE(model.rowCount(),
                 int(std::count_if(written.begin(), written.end(),
                                   [](const Written& w) { return w.fio == "Smith John"; })));

        OfficeWindow window;
        QVERIFY(window.OpenFolder(folder.path()));
        QTRY_VERIFY(window.UnreadableRecords().has_value());
        QCOMPARE(*window.UnreadableRecords(), 0u);
        QCOMPARE(window.History()->Model()->rowCount(), 400);
        double paid = 0; // writeHistory's VYPLATA is the record's place
        for (qsizetype i = 0; i < written.size(); ++i)
            if (written[i].kind == kinds::Paid())
                paid += double(i);
        window.Cash()->SetDays(Date().addDays(-60), Date());
        QVERIFY(paid > 0);
        QVERIFY(near(summedCash(window).total.paid, paid));
    }

    // Another program wrote into the history: a serial «1O», a day that is no date, an amount
    // with a decimal comma, a serial with a fraction. Each of those records is left out of the
    // day's cash and of what a client was paid, and they are counted in the status line; a
    // damaged record that was deleted counts for nothing. The office goes on working.
    void unreadableHistoryRecordsAreLeftOutOfTheFiguresAndCounted() {
        using namespace fields;
        WorkFolder folder;
        const QDate today = Date();
        const QString ivanov = "Иванов Иван", petrov = "Петров Пётр";
        const auto record = [&](const QString& kind, int serial, const QString& fio,
                                const Variant& summa, const Variant& vyplata) {
            return Record{
                {DEN, Variant(today)},    {VREMYA, Variant("12:00:00")}, {VID, Variant(kind)},
                {NUMBER, Variant(1)},     {SERIAL, Variant(serial)},     {KOM1, Variant("Спартак")},
                {KOM2, Variant("Зенит")}, {FIO, Variant(fio)},           {SUMMA, summa},
                {VYPLATA, vyplata}};
        };
        const QString history = folder.file(HistoryTable().file);
        append(history, {record(kinds::Bet(), 1, ivanov, 100.0, {}),
                         record(kinds::Bet(), 2, petrov, 50.0, {}),
                         record(kinds::Bet(), 3, ivanov, 70.0, {}), // 2: a day of no month
                         record(kinds::Won(), 1, ivanov, 100.0, 250.0),
                         record(kinds::Won(), 2, petrov, 50.0, 120.0), // 4: serial «1.5»
                         record(kinds::Paid(), 1, ivanov, {}, 250.0),
                         record(kinds::Paid(), 1, ivanov, {}, 999.0),   // 6: serial «1O»
                         record(kinds::Paid(), 2, petrov, {}, 120.0),   // 7: «120,00»
                         record(kinds::Paid(), 2, petrov, {}, 500.0)}); // 8: «5OO», deleted
        // The 32nd of last month: a day between those of the range asked for below, by its digits.
        const QDate lastMonth = today.addMonths(-1);
        scribble(history, 2, DEN, lastMonth.toString("yyyyMM").toLatin1() + "32");
        scribble(history, 4, SERIAL, "1.5");
        scribble(history, 6, SERIAL, "1O");
        scribble(history, 7, VYPLATA, "120,00");
        scribble(history, 8, VYPLATA, "5OO");
        {
            DbfFile file(history);
            file.open();
            file.markDeleted(8);
        }

        ErrorRecorder errors;
        OfficeWindow window;
        QVERIFY(window.OpenFolder(folder.path()));
        QCOMPARE(errors.messages, QStringList());
        QTRY_VERIFY(window.UnreadableRecords().has_value());
        QCOMPARE(*window.UnreadableRecords(), 4u);
        const auto* unreadable = control<QLabel>(&window, "UnreadableRecords");
        QVERIFY(!unreadable->isHidden());
        QCOMPARE(unreadable->text(), QString("Не читается записей: 4"));

        // Today's cash cannot take in a record of no day; a range around its digits meets it.
        const CashReport& cash = summedCash(window);
        QCOMPARE(cash.unreadable, 3u);
        window.Cash()->SetDays(QDate(lastMonth.year(), lastMonth.month(), 1), today);
        QCOMPARE(summedCash(window).unreadable, 4u);
        QVERIFY(control<QLabel>(window.Cash(), "CashPeriod")
                    ->text()
                    .contains("Не читается записей истории: 4"));
        QCOMPARE(cash.total.bets, 2);
        QVERIFY(near(cash.total.stakes, 150));
        QCOMPARE(cash.total.wins, 1);
        QVERIFY(near(cash.total.Owed(), 250));
        QCOMPARE(cash.total.payments, 1);
        QVERIFY(near(cash.total.paid, 250));
        QCOMPARE(cash.byDay.size(), 1);
        QCOMPARE(cash.byEvent.size(), 1);
        QVERIFY(near(cash.byEvent[0].cash.paid, 250));

        // What each client was paid: the readable payments only.
        auto* client = control<QLineEdit>(window.History(), "FilterClient");
        const auto clientLine = [&](const QString& part) {
            client->setText(part);
            window.History()->ApplyFilter();
            queried(*window.History()->Model());
            return control<QLabel>(window.History(), "ClientLine")->text();
        };
        QString line = clientLine("иванов");
        QVERIFY2(line.contains("Иванов Иван</b>: к выплате сейчас 0,00 (выигрышей: 0), "
                               "выплачено 250,00 (выплат: 1)") &&
                     line.contains("Не читается записей этих клиентов в истории: 2"),
                 qPrintable(line));
        line = clientLine("ПЕТРОВ");
        QVERIFY2(line.contains("Петров Пётр</b>: к выплате сейчас 0,00 (выигрышей: 0), "
                               "выплачено 0,00 (выплат: 0)") &&
                     line.contains("Не читается записей этих клиентов в истории: 2"),
                 qPrintable(line));
        clientLine(QString());

        // The grid shows them marked, and sorts them among the rest.
        HistoryModel* model = window.History()->Model();
        model->sort(HistoryModel::ColumnOf(SERIAL), Qt::AscendingOrder);
        QVERIFY(queried(*model));
        QCOMPARE(model->rowCount(), 8);
        QCOMPARE(errors.messages, QStringList());
        const int serial = HistoryModel::ColumnOf(SERIAL);
        for (int row = 0; row < model->rowCount(); ++row) {
            const std::int64_t at = model->RecordAt(row);
            const QString shown = model->data(model->index(row, serial)).toString();
            QCOMPARE(shown == "(не читается)", at == 2 || at == 4 || at == 6 || at == 7);
        }
    }

    // A whole commit of a bet between the reading of the events and that of the bets: no
    // journal is there before or after, yet the reading holds the event before the bet and the
    // bet. It is taken again.
    void aReadingACommitCutThroughIsTakenAgain() {
        using namespace fields;
        WorkFolder folder;
        TDataModule6 module;
        module.DataModuleCreate();
        append(*module.TableCompit, {eventRecord(1, "Спартак", "Динамо")});
        module.History->EventEntered(*module.TableCompit);
        int commits = 0, reads = 0;
        const auto takeBet = [&] {
            auto work =
                module.BeginWork({module.TableStavka, module.TableCompit, module.TableHistory});
            append(*module.TableStavka, {betRecord(1, "Спартак", 100, 2.0, "Иванов Иван")});
            module.TableCompit->First();
            module.TableCompit->Edit();
            module.TableCompit->SetFieldValue(SUMM_1,
                                              module.TableCompit->GetFieldValue(SUMM_1) + 100);
            module.TableCompit->Post();
            module.History->BetTaken(*module.TableStavka, *module.TableCompit);
            work->Commit();
            ++commits;
        };
        const auto books = ReadBooks(folder.path(), 1000, [&](const QString& table) {
            reads += table == CompitTable().file;
            if (table == CompitTable().file && commits == 0)
                takeBet();
        });
        QCOMPARE(commits, 1);
        QCOMPARE(reads, 2);
        QCOMPARE(wholeness(*books), QString());
        QCOMPARE(books->bets.size(), 1);
        QCOMPARE(books->events[0].sums[0], 600.0);
    }

    // A commit of the counter under way keeps the reading waiting, off the window's thread: the
    // window answers meanwhile, says so, and reads the books once the commit is done.
    void theWindowAnswersWhileACommitHoldsTheFolder() {
        Office office; // the counter, holding its folder
        QVERIFY(office.started);
        const QString journal = QDir(office.folder.path()).filePath(JournalFileName());
        {
            QFile file(journal);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("work under way");
        }
        OfficeWindow window;
        window.show();
        QVERIFY(window.OpenFolder(office.folder.path()));
        QElapsedTimer clock;
        clock.start();
        qint64 longest = 0; // of the window's thread, as a wait of 5 ms on it overran
        int switched = 0;
        while (clock.elapsed() < 1500) {
            QElapsedTimer wait;
            wait.start();
            QTest::qWait(5);
            longest = std::max(longest, wait.elapsed() - 5);
            window.ShowView(++switched % 3);
        }
        QVERIFY(!window.CurrentBooks());
        QCOMPARE(control<QLabel>(&window, "ReadingState")->text(),
                 QStringLiteral("Касса записывает изменения — чтение повторится"));
        QVERIFY2(longest <= 50, qPrintable(QString::number(longest)));
        QVERIFY(switched > 100);
        QVERIFY(QFile::remove(journal)); // the commit done
        QTRY_VERIFY(window.Settled());
        QVERIFY(control<QLabel>(&window, "ReadingState")->text().startsWith("Прочитано"));
    }

    // Another folder opened while the history is written out: the export is given up at once,
    // nothing left of its file, and the window does not wait for it.
    void anExportUnderWayIsGivenUpForAnotherFolder() {
        WorkFolder big, other;
        {
            // A second's export or more: one bet's record over and over.
            DbfFile::setSyncEnabled(false);
            DbfFile history(big.file(HistoryTable().file));
            history.open();
            QByteArray record = history.blankRecord();
            using namespace fields;
            history.encode(record.data(), history.columnIndex(DEN), Variant(Date()));
            history.encode(record.data(), history.columnIndex(VID), Variant(kinds::Bet()));
            history.encode(record.data(), history.columnIndex(FIO), Variant("Иванов Иван"));
            history.encode(record.data(), history.columnIndex(SUMMA), Variant(100.0));
            for (int i = 0; i < 150000; ++i)
                history.append(record);
            DbfFile::setSyncEnabled(true);
        }
        OfficeWindow window;
        QVERIFY(window.OpenFolder(big.path()));
        QTRY_VERIFY(window.Settled());
        QTemporaryDir out;
        QSignalSpy exported(&window, &OfficeWindow::Exported);
        window.ShowView(0);
        window.ExportCsv(out.filePath("история.csv"));
        QTest::qWait(20); // the export under way
        QElapsedTimer clock;
        clock.start();
        QVERIFY(window.OpenFolder(other.path()));
        const qint64 opened = clock.elapsed();
        QTRY_VERIFY(window.Settled());
        QVERIFY2(opened < 300, qPrintable(QString::number(opened)));
        QTest::qWait(100);
        QCOMPARE(exported.size(), 0);
        QVERIFY(!QFile::exists(out.filePath("история.csv")));
    }

    // Started by the launcher in the working folder, by hand on one named, or from the menu
    // with none: the folder named, else the current one when it holds the books, else the last.
    void startsOnTheFolderNamedTheCurrentOrTheLastAndKeepsItsGeometry() {
        WorkFolder books;
        QTemporaryDir empty;
        QCOMPARE(OfficeWindow::StartFolder({empty.path()}), empty.path());
        QCOMPARE(OfficeWindow::StartFolder({}), books.path());
        QDir::setCurrent(empty.path());
        {
            ErrorRecorder errors;
            OfficeWindow window;
            QVERIFY(!window.OpenFolder(empty.path()));
            QCOMPARE(errors.messages.size(), 1);
            QVERIFY(window.OpenFolder(books.path()));
            QVERIFY(window.windowTitle().startsWith(QDir::toNativeSeparators(books.path())));
            window.show();
            window.resize(910, 610);
            window.ShowView(2);
            window.close();
        }
        QDir::setCurrent(empty.path());
        QCOMPARE(OfficeWindow::StartFolder({}), books.path());
        OfficeWindow again;
        QCOMPARE(again.size(), QSize(910, 610));
        QCOMPARE(again.CurrentView(), static_cast<OfficeView*>(again.Risk()));
        // The risk report prints its chart too.
        QVERIFY(again.OpenFolder(books.path()));
        const auto images = again.Risk()->ReportImages();
        QCOMPARE(images.size(), 1);
        QVERIFY(again.Risk()->Report().contains(images[0].first) && !images[0].second.isNull());
    }

    // A counter takes bets in a loop while the office reads: every reading is whole, and the
    // window follows the changes. Undo is refused while that counter holds the folder, and done
    // once it is gone; one whose payout was paid is refused with the engine's reason.
    void readsWhileTheCounterCommitsAndUndoesOnceItIsClosed() {
        std::unique_ptr<QTemporaryDir> books;
        {
            Office office;
            QVERIFY(office.started);
            QVERIFY(enterEvent("1", "Спартак", "Динамо", Date().addDays(2)));
            QVERIFY(enterEvent("2", "Зенит", "Торпедо", Date().addDays(2)));
            QVERIFY(enterEvent("3", "Локомотив", "ЦСКА", Date().addDays(2)));
            QVERIFY(enterEvent("4", "Рубин", "Урал", Date().addDays(2)));
            QVERIFY(takeBet("Иванов Иван", "100", "3", 1));
            QVERIFY(takeBet("Петров Пётр", "50", "3", 1));
            QVERIFY(settle("3", 1));
            payOut(0); // Иванов Иван's
            QVERIFY(takeBet("Сидорова Анна", "70", "4", 2));
            QVERIFY(takeBet("Кузнецов Олег", "20", "4", 3));
            QVERIFY(settle("4", 2));
            // This process keeps the counter's lock on its folder; the worker gets a copy.
            books = copyTables(office.folder.path());
        }
        const QString folder = books->path();
        ErrorRecorder errors;
        OfficeWindow window;
        QVERIFY(window.OpenFolder(folder));
        QTRY_VERIFY(window.Settled()); // read off the window's thread
        const qsizetype betsAtStart = window.CurrentBooks()->bets.size();
        // The history grows under the manager's eyes: the record they are on stays current.
        HistoryModel* shownHistory = window.History()->Model();
        QAbstractItemModelTester tester(shownHistory,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        window.History()->Table()->setCurrentIndex(shownHistory->index(3, 2));
        const std::int64_t current = shownHistory->RecordAt(3);

        QProcess worker;
        worker.start(VARNEL_BET_WORKER, {"--take-bets", folder});
        QVERIFY(worker.waitForReadyRead(60000)); // "ready": it holds the folder
        int readings = 0;
        QSet<qsizetype> seen;
        QElapsedTimer clock;
        clock.start();
        // Four seconds of readings, and on until they have met several commits: a loaded
        // machine commits more slowly.
        while (clock.elapsed() < 4000 || (seen.size() <= 5 && clock.elapsed() < 60000)) {
            const auto reading = ReadBooks(folder, 10000);
            const QString fault = wholeness(*reading);
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
            seen << reading->bets.size();
            ++readings;
            QTest::qWait(readings % 4 == 0 ? 30 : 1); // and the window reads when told to
            const QString shown = wholeness(*window.CurrentBooks());
            QVERIFY2(shown.isEmpty(), qPrintable(shown));
            QCOMPARE(shownHistory->rowCount(), int(window.CurrentBooks()->historyCount));
            QCOMPARE(window.findChild<QLabel*>("HistoryCount")->text(),
                     QStringLiteral("Записей в истории: %1")
                         .arg(QLocale().toString(shownHistory->rowCount())));
        }
        QVERIFY2(seen.size() > 5, qPrintable(QString::number(seen.size())));
        QTRY_VERIFY(window.CurrentBooks()->bets.size() > betsAtStart + 5);
        const QModelIndex now = window.History()->Table()->currentIndex();
        QVERIFY(now.row() > 3);
        QCOMPARE(shownHistory->RecordAt(now.row()), current);
        qInfo("%d whole readings of %lld different counts of bets", readings, qint64(seen.size()));

        undoFromHistory(window, 4);
        QCOMPARE(errors.messages.size(), 1);
        QVERIFY2(errors.messages[0].contains("Закройте кассу"), qPrintable(errors.messages[0]));

        ::kill(pid_t(worker.processId()), SIGKILL);
        QVERIFY(worker.waitForFinished(60000));
        // A bet the kill cut off is finished by the office, which holds the folder now.
        QTRY_VERIFY(!QFile::exists(QDir(folder).filePath(JournalFileName())));
        QVERIFY(window.Refresh());
        QTRY_VERIFY(window.Settled());

        QString asked;
        answerNextQuestion("Yes", &asked);
        undoFromHistory(window, 4);
        QVERIFY2(asked.contains("№ 4 «Рубин — Урал»") && asked.contains("Сидорова Анна: 70,00") &&
                     asked.contains("Кузнецов Олег") && asked.contains("(1) на сумму"),
                 qPrintable(asked));
        QCOMPARE(errors.messages.size(), 1);
        QCOMPARE(errors.notices.size(), 1);
        QVERIFY(errors.notices[0].contains("№ 4 отменён"));
        QVERIFY(rowsOf(folder, "MONEY.DBF").size() == 1); // Петров Пётр's, of event 3
        bool back = false;
        for (const auto& e : rowsOf(folder, "COMPIT.DBF"))
            back = back || e.toObject()["NUMBER"] == 4;
        QVERIFY(back);
        const QStringList faults = historyDisagreements(folder);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
        QTRY_COMPARE(window.Risk()->Model()->rowCount(), 3); // the window reads it again

        // Undone once, the result of 4 has no undo left; that of 3 had a payout paid.
        const auto undone = snapshot(folder);
        undoFromHistory(window, 3);
        QCOMPARE(errors.messages.size(), 2);
        QVERIFY2(errors.messages[1].contains("Иванов Иван") &&
                     errors.messages[1].contains("выплачен"),
                 qPrintable(errors.messages[1]));
        QVERIFY(snapshot(folder) == undone);
    }

    // While a counter holds the folder, the limits are shown, not taken to be refused at
    // «Сохранить»: the dialog says why and what to do, its boxes only read, the button off.
    // Nothing holding the folder, they are set; on a server no folder's lock counts.
    void theLimitsAreOnlyShownWhileACounterHoldsTheFolder() {
        Office office;
        QVERIFY(office.started);
        // This process's counter holds its own folder for good: the office works on a copy of
        // the books, which the test holds as a counter would.
        std::unique_ptr<QTemporaryDir> copy;
        QString folder = office.folder.path();
        if (office.conninfo.isEmpty()) {
            copy = copyTables(folder);
            QVERIFY(QFile::copy(QDir(folder).filePath(LimitsTable().file),
                                copy->filePath(LimitsTable().file)));
            folder = copy->path();
        }
        OfficeWindow window;
        QVERIFY(window.OpenFolder(folder));
        QTRY_VERIFY(window.Settled());
        inLimitsDialog(window, [](QDialog* dialog) {
            retype(dialog, "EditMaxStake", "5 000");
            press(dialog, "Ok");
        });
        QTRY_COMPARE(window.CurrentBooks()->limits.maxStake, std::optional<double>(5000));

        FolderLock counter;
        QVERIFY(counter.TryLock(folder));
        const bool held = office.conninfo.isEmpty(); // a server's books know no folder's lock
        inLimitsDialog(window, [&](QDialog* dialog) {
            auto* why = dialog->findChild<QLabel*>("LimitsHeld");
            QCOMPARE(why != nullptr, held);
            QVERIFY(!held || (why->isVisible() && why->text().contains("Закройте кассу")));
            auto* maxStake = control<QLineEdit>(dialog, "EditMaxStake");
            QCOMPARE(maxStake->text(), QString("5000,00")); // read as they are
            QCOMPARE(maxStake->isReadOnly(), held);
            QCOMPARE(control<QPushButton>(dialog, "Ok")->isEnabled(), !held);
            retype(dialog, "EditMaxStake", "6 000");
            QVERIFY(!held || maxStake->text() == "5000,00"); // typing not taken
            QTest::keyClick(maxStake, Qt::Key_Return);       // saves, or only closes
            QVERIFY(!dialog->isVisible());
        });
        QTRY_VERIFY(window.Settled());
        QCOMPARE(office.errors.messages, QStringList());
        QTRY_COMPARE(window.CurrentBooks()->limits.maxStake,
                     std::optional<double>(held ? 5000 : 6000));
    }

    // A folder whose varnel.conf names the books' server: the office shows what the server
    // holds, follows another counter's work there by itself (work committed out of the order
    // of its keys too), undoes a result on the server, and says so while the server is gone.
    void worksOnTheBooksOfAServer() {
        QDir::setCurrent(
            QDir::tempPath()); // the server's own, not a folder an earlier case removed
        PgServer pg;
        const QString db = pg.NewDatabase();
        {
            ServerConnection layout(db);
            QVERIFY(LayOutServer(layout));
        }
        const auto one = [&db](const QString& sql) { return psql(db, sql).value(0); };
        Office counter(db);
        QVERIFY(counter.started);
        const QDate today = Date();
        QVERIFY(enterEvent("7", "Спартак", "Зенит", today.addDays(5), {"1,5", "2,5", "3"}));
        QVERIFY(enterEvent("8", "Динамо", "Торпедо", today.addDays(6)));
        QVERIFY(takeBet("Иванов Иван", "100", "7", 1));
        QVERIFY(takeBet("Петров Пётр", "40", "7", 2));
        QVERIFY(takeBet("Сидорова Анна", "10", "8", 1));
        QVERIFY(takeBet("Чужой", "5", "8", 3));
        QVERIFY(settle("7", 1));
        payOut(0); // Иванов Иван's 250

        QTemporaryDir here; // the office's folder holds its varnel.conf only
        nameBooksServer(here.path(), db);
        OfficeWindow window;
        QVERIFY(window.OpenFolder(here.path()));
        QTRY_VERIFY(window.Settled()); // asked of the server off the window's thread
        QCOMPARE(OfficeWindow::StartFolder({}), here.path()); // the launcher starts it there
        QVERIFY(!window.Server().isEmpty() && window.windowTitle().contains(window.Server()));
        auto* state = control<QLabel>(&window, "ReadingState");
        QVERIFY2(state->text().startsWith("Прочитано"), qPrintable(state->text()));
        const Books& books = *window.CurrentBooks();
        QCOMPARE(books.events.size(), 1);
        QCOMPARE(books.events[0].kom1, one("select kom1 from compit"));
        QCOMPARE(books.events[0].sums[0], one("select summ_1 from compit").toDouble());
        QCOMPARE(books.BetCount(), one("select count(*) from priem").toInt());
        QCOMPARE(books.PayoutCount(), 0);
        HistoryModel* model = window.History()->Model();
        QCOMPARE(model->rowCount(), one("select count(*) from history").toInt());
        QCOMPARE(model->Value(0, fields::VID).toString(),
                 one("select vid from history order by key desc limit 1"));
        window.Cash()->SetDays(today, today);
        QTRY_VERIFY(!window.Cash()->Busy());
        const CashReport& cash = window.Cash()->Figures();
        const auto sum = [&](const char* field, const char* kind) {
            return one(QStringLiteral("select coalesce(sum(%1), 0) from history where vid = '%2'")
                           .arg(field, QString::fromUtf8(kind)))
                .toDouble();
        };
        QVERIFY(near(cash.total.stakes, sum("summa", "Ставка")) && near(cash.total.stakes, 155));
        QVERIFY(near(cash.total.paid, sum("vyplata", "Выплата")) && near(cash.total.paid, 250));
        QVERIFY(near(cash.total.Owed(), sum("vyplata", "Выигрыш")));
        // The risk the server summed is the one the folder's reading would sum from the bets.
        Books read = *window.CurrentBooks();
        for (const QString& row : psql(db, "select number, result, summa, koeficient, fio from "
                                           "priem order by key"))
            read.bets << Bet{0,
                             Variant(std::int64_t(row.section('|', 0, 0).toLongLong())),
                             row.section('|', 1, 1),
                             row.section('|', 2, 2).toDouble(),
                             row.section('|', 3, 3).toDouble(),
                             row.section('|', 4, 4)};
        read.summed.reset();
        const QList<EventRisk> folder = ComputeRisk(read);
        const QList<EventRisk>& server = window.Risk()->Model()->Risks();
        QCOMPARE(server.size(), 1);
        QCOMPARE(folder.size(), 1);
        QCOMPARE(server[0].riskiest, folder[0].riskiest);
        for (int o = 0; o < 3; ++o) {
            QCOMPARE(server[0].outcomes[o].bets, folder[0].outcomes[o].bets);
            QCOMPARE(server[0].outcomes[o].stakes, folder[0].outcomes[o].stakes);
            QCOMPARE(server[0].outcomes[o].payout, folder[0].outcomes[o].payout);
        }

        // Another counter's bet shows at the office's next look, the row the manager is on
        // staying current.
        window.History()->Table()->setCurrentIndex(model->index(2, 0));
        const std::int64_t current = model->RecordAt(2);
        QVERIFY(takeBet("Кузнецов Олег", "20", "8", 2));
        QTRY_COMPARE_WITH_TIMEOUT(window.CurrentBooks()->BetCount(), 3, 10000);
        QTRY_VERIFY(window.Settled());
        QCOMPARE(model->RecordAt(window.History()->Table()->currentIndex().row()), current);
        // Work that took its key before another counter's and commits after it is read too.
        ServerConnection late(db);
        late.Begin();
        late.Exec("insert into history (den, vremya, vid, fio, summa) values (current_date, "
                  "'12:00:00', 'Ставка', 'Поздний', 1)");
        QVERIFY(settle("8", 3)); // Чужой wins 15
        QTRY_COMPARE_WITH_TIMEOUT(window.CurrentBooks()->PayoutCount(), 1, 10000);
        late.Commit();
        QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), one("select count(*) from history").toInt(),
                                  10000);
        QTRY_VERIFY(window.Settled());
        // In the order of the keys, as every page is asked.
        const int newer = one("select count(*) from history where key > (select key from history "
                              "where fio = 'Поздний')")
                              .toInt();
        QCOMPARE(model->Value(newer, fields::FIO).toString(), QString("Поздний"));

        // Undone on the server: the event and its bets back, its payout gone, the view read
        // again; a result whose payout was paid is refused, nothing written.
        QString asked;
        answerNextQuestion("Yes", &asked);
        undoFromHistory(window, 8);
        QVERIFY2(asked.contains("№ 8 «Динамо — Торпедо»") && asked.contains("Чужой: 5,00") &&
                     asked.contains("(1) на сумму 15,00"),
                 qPrintable(asked));
        QCOMPARE(counter.errors.notices.size(), 1);
        QVERIFY(counter.errors.notices[0].contains("№ 8 отменён"));
        QCOMPARE(psql(db, "select number from compit order by number"), QStringList{"8"});
        QCOMPARE(one("select count(*) from priem").toInt(), 3);
        QCOMPARE(one("select count(*) from money").toInt(), 0);
        QTRY_COMPARE(window.CurrentBooks()->BetCount(), 3);
        QTRY_VERIFY(window.Settled());
        const QString count = one("select count(*) from history");
        undoFromHistory(window, 7);
        QCOMPARE(counter.errors.messages.size(), 1);
        QVERIFY2(counter.errors.messages[0].contains("выплачен"),
                 qPrintable(counter.errors.messages[0]));
        QCOMPARE(one("select count(*) from history"), count);

        // The server gone: the books read last stay, the state says so; back, read again.
        pg.Stop("immediate");
        QTRY_VERIFY_WITH_TIMEOUT(
            state->text().contains("Нет связи с сервером «" + window.Server() + "»"), 10000);
        QCOMPARE(window.CurrentBooks()->BetCount(), 3);
        pg.Start();
        QTRY_VERIFY_WITH_TIMEOUT(state->text().startsWith("Прочитано"), 15000);
        QCOMPARE(counter.errors.messages.size(), 1);

        // A database that holds no books: said once, not at every look.
        QTemporaryDir bare;
        nameBooksServer(bare.path(), pg.NewDatabase());
        QVERIFY(window.OpenFolder(bare.path()));
        QTest::qWait(2500);
        QCOMPARE(counter.errors.messages.size(), 2);
        QVERIFY2(counter.errors.messages[1].contains("нет книг"),
                 qPrintable(counter.errors.messages[1]));
        QVERIFY2(state->text().contains("отказал"), qPrintable(state->text()));
    }

    // A folder's history names its operators (KASSIR): the history is filtered by one of them
    // and the day's cash shows each one's till, the records that name none under «(не указан)»;
    // a history written before the field offers no operator to choose and sums the whole till
    // under none.
    void theHistoryIsFilteredByOperatorAndEachTillSummed() {
        WorkFolder folder;
        using namespace fields;
        const QDate today = Date();
        const auto record = [&](const QString& kind, double summa, double vyplata,
                                const QString& who, const QDate& day) {
            return Record{{DEN, Variant(day)},         {VREMYA, Variant("10:00:00")},
                          {VID, Variant(kind)},        {NUMBER, Variant(7)},
                          {FIO, Variant("Клиент")},    {SUMMA, Variant(summa)},
                          {VYPLATA, Variant(vyplata)}, {KASSIR, Variant(who)}};
        };
        append(folder.file("HISTORY.DBF"),
               {record(kinds::Bet(), 100, 0, "Анна", today),
                record(kinds::Bet(), 40, 0, "Борис", today),
                record(kinds::Paid(), 0, 250, "Анна", today),
                record(kinds::Bet(), 30, 0, "", today), // written before operators were named
                record(kinds::Bet(), 500, 0, "Вера", today.addDays(-1)),
                record(kinds::Bet(), 15, 0, "Анна", today),
                record(kinds::Revoked(), 25, 0, "Борис", today)}); // handed back
        OfficeWindow window;
        QVERIFY(window.OpenFolder(folder.path()));
        QVERIFY(window.UndoOffered()); // a folder's books: as they always were
        auto* kassir = control<QComboBox>(window.History(), "FilterKassir");
        QTRY_COMPARE(kassir->count(), 4);
        QCOMPARE(kassir->itemText(0), QString("Все"));
        QCOMPARE(QStringList({kassir->itemText(1), kassir->itemText(2), kassir->itemText(3)}),
                 QStringList({"Анна", "Борис", "Вера"}));
        HistoryModel* model = window.History()->Model();
        kassir->setCurrentIndex(1);
        QVERIFY(queried(*model));
        QCOMPARE(shown(*model), QList<std::int64_t>({5, 2, 0}));
        // With another filter: both must hold.
        auto* kind = control<QComboBox>(window.History(), "FilterKind");
        kind->setCurrentIndex(kind->findData(kinds::Bet()));
        QVERIFY(queried(*model));
        QCOMPARE(shown(*model), QList<std::int64_t>({5, 0}));
        control<QAbstractButton>(window.History(), "FilterReset")->click();
        QVERIFY(queried(*model));
        QCOMPARE(kassir->currentIndex(), 0);
        QCOMPARE(model->rowCount(), 7);

        window.Cash()->SetDays(today, today);
        QList<QPair<QString, QList<double>>> tills;
        for (const CashLine& line : summedCash(window).byOperator)
            tills.append({line.label, {line.cash.stakes, line.cash.paid, line.cash.Balance()}});
        QCOMPARE(tills,
                 (QList<QPair<QString, QList<double>>>{
                     {"", {30, 0, 30}}, {"Анна", {115, 250, -135}}, {"Борис", {40, 0, 15}}}));
        const CashModel* byOperator = window.Cash()->ByOperator();
        QCOMPARE(byOperator->rowCount(), 4);
        QCOMPARE(byOperator->index(0, 0).data().toString(), QString("(не указан)"));
        QCOMPARE(byOperator->index(3, 0).data().toString(), QString("Итого"));
        QCOMPARE(byOperator->index(3, 2).data().toString(), MoneyText(185));
        window.ShowView(1);
        window.Cash()->ShowTable(2);
        QCOMPARE(window.CurrentView()->ExportModel()->columnCount(), 7);
        const QString report = window.Cash()->Report();
        QVERIFY(report.contains("Касса каждого кассира") && report.contains("(не&nbsp;указан)") &&
                report.contains("<b>Итого</b>"));
        // The client's line counts the stake handed back.
        control<QLineEdit>(window.History(), "FilterClient")->setText("клиент");
        window.History()->ApplyFilter();
        QVERIFY(queried(*model));
        const QString line = control<QLabel>(window.History(), "ClientLine")->text();
        QVERIFY2(line.contains("выплачено 250,00 (выплат: 1), возвращено ставок 25,00 (отменено: "
                               "1)"),
                 qPrintable(line));
        control<QAbstractButton>(window.History(), "FilterReset")->click();

        // Records added are looked at as they come; a history written anew in its place is
        // looked at whole again.
        append(folder.file("HISTORY.DBF"), {record(kinds::Bet(), 5, 0, "Глеб", today)});
        QTRY_COMPARE(kassir->count(), 5);
        QCOMPARE(kassir->itemText(4), QString("Глеб"));
        const QString anew = folder.file("HISTORY.NEW");
        DbfFile::create(anew, HistoryTable().Columns());
        QList<Record> more(8, record(kinds::Bet(), 5, 0, "Борис", today)); // as many and more
        more << record(kinds::Bet(), 5, 0, "Дина", today);
        append(anew, more);
        QVERIFY(QFile::remove(folder.file("HISTORY.DBF")) &&
                QFile::rename(anew, folder.file("HISTORY.DBF")));
        QTRY_COMPARE(kassir->count(), 3);
        QCOMPARE(kassir->itemText(2), QString("Дина"));

        // A history of the layout before the field.
        WorkFolder older;
        createHistoryBeforeKassir(older.file("HISTORY.DBF"));
        Record bet = record(kinds::Bet(), 70, 0, {}, today);
        bet.removeLast();
        append(older.file("HISTORY.DBF"), {bet, bet});
        QVERIFY(window.OpenFolder(older.path()));
        QTRY_COMPARE(kassir->count(), 1);
        QCOMPARE(summedCash(window).byOperator.size(), 1);
        QCOMPARE(window.Cash()->Figures().byOperator[0].cash.stakes, 140.0);
    }

    // The spreadsheet splits on ';' and on unquoted line breaks: a cell holding either, or a
    // quote, is quoted whole, and the decimal comma of an amount is not a reason to quote.
    void aCsvCellHoldingTheSeparatorAQuoteOrALineBreakIsQuoted() {
        QStandardItemModel model(3, 2);
        model.setHorizontalHeaderLabels({"Клиент; телефон", "Сумма"});
        const QList<QPair<QString, QVariant>> rows = {{"Иванов \"Ваня\"", 1.5},
                                                      {"две\nстроки", QDate(2026, 12, 8)},
                                                      {"возврат\rкаретки", "a,b"}};
        for (int r = 0; r < rows.size(); ++r) {
            model.setData(model.index(r, 0), rows[r].first);
            model.setData(model.index(r, 1), rows[r].second);
        }
        QTemporaryDir out;
        const QString path = out.filePath("ячейки.csv");
        WriteCsv(model, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("\xEF\xBB\xBF"
                                            "\"Клиент; телефон\";Сумма\r\n"
                                            "\"Иванов \"\"Ваня\"\"\";1,5\r\n"
                                            "\"две\nстроки\";08.12.2026\r\n"
                                            "\"возврат\rкаретки\";a,b\r\n"));
    }
};

// Lays out a working folder with books of a few days' work through the counter's dialogs, for
// the README's pictures: `test_office --lay-out-books FOLDER` (FOLDER laid out by varnel-newdesk).
static int layOutBooks(int argc, char** argv) {
    QApplication app(argc, argv);
    useProgramLocale();
    QDir::setCurrent(QString::fromLocal8Bit(argv[2]));
    ErrorRecorder errors;
    TApplication application;
    if (!StartUp(application))
        return 2;
    const QDate today = Date();
    struct E {
        const char *number, *kom1, *kom2;
        int days;
        QStringList koef;
    };
    const E events[] = {{"11", "Спартак", "Зенит", 1, {"2,1", "2,9", "3,2"}},
                        {"12", "Динамо", "Торпедо", 2, {"1,8", "3,6", "3,4"}},
                        {"13", "Локомотив", "ЦСКА", 2, {"2,5", "2,4", "3,1"}},
                        {"14", "Рубин", "Урал", 3, {"1,9", "3,8", "3,3"}},
                        {"15", "Краснодар", "Ростов", 4, {"1,7", "4,2", "3,6"}},
                        {"16", "Крылья Советов", "Ахмат", 5, {"2,2", "3,1", "3,0"}}};
    for (const E& e : events)
        if (!enterEvent(e.number, e.kom1, e.kom2, today.addDays(e.days), e.koef))
            return 3;
    const char* clients[] = {
        "Иванов Иван Петрович", "Петрова Мария Сергеевна",  "Сидоров Алексей", "Кузнецова Ольга",
        "Смирнов Дмитрий",      "Волков Андрей Николаевич", "Фёдоров Павел",   "Морозова Елена"};
    const char* stakes[] = {"100", "250", "50", "150", "300", "75", "200", "120", "500", "60"};
    for (int i = 0; i < 46; ++i)
        if (!takeBet(clients[(i * 3) % 8], stakes[(i * 7) % 10], events[i % 6].number,
                     1 + (i / 6 + i / 18) % 3))
            return 4;
    if (!settle("11", 1) || !settle("13", 3))
        return 5;
    payOut(0);
    payOut(1);
    return errors.messages.isEmpty() ? 0 : 6;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window keeps its geometry and last folder in the user's settings: not this user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    if (argc == 3 && QByteArray(argv[1]) == "--lay-out-books")
        return layOutBooks(argc, argv);
    // The views' cases run on a folder, then again on a server; the cases about a folder's files
    // (or that make a server of their own) run once.
    return runWindowTests<TestOffice>(
        argc, argv,
        {"historyFiltersAndSortsEveryRecord", "aHistoryWrittenBeforeTheCashierShowsTheColumnBlank",
         "unreadableHistoryRecordsAreLeftOutOfTheFiguresAndCounted",
         "aReadingACommitCutThroughIsTakenAgain", "theWindowAnswersWhileACommitHoldsTheFolder",
         "anExportUnderWayIsGivenUpForAnotherFolder",
         "startsOnTheFolderNamedTheCurrentOrTheLastAndKeepsItsGeometry",
         "readsWhileTheCounterCommitsAndUndoesOnceItIsClosed", "worksOnTheBooksOfAServer",
         "theHistoryIsFilteredByOperatorAndEachTillSummed",
         "aCsvCellHoldingTheSeparatorAQuoteOrALineBreakIsQuoted",
         "theHeadOfTheHistoryIsNeverPartedFromItsCode"});
}

#include "test_office.moc"
