// The bet's slip: its page as a PDF that other programs read back (poppler's text and
// rasteriser, zbar's barcode reader), and its payout code kept only as a salted hash.

#include "base/Errors.h"
#include "slip/SlipPage.h"
#include "slip/SlipPrinter.h"
#include "store/DataModule6.h"
#include "store/Slip.h"
#include "tests/support/SlipFixture.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

using namespace varnel;
using namespace varnel::test;

namespace {

QString run(const QString& program, const QStringList& args) {
    const ToolRun ran = runTool(program, args);
    if (ran.status != 0)
        qWarning("%s: %s", qPrintable(program), qPrintable(ran.err));
    return ran.status == 0 ? ran.out : QStringLiteral("(%1 failed)").arg(program);
}

// What zbar reads on the PDF's first page rasterised at 300 dpi, as a scanner's camera sees it.
QString barcodeOn(const QString& pdf, const QDir& scratch) {
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QStringLiteral("300"), QStringLiteral("-gray"),
         QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf, scratch.filePath("page")});
    return run(QStringLiteral("zbarimg"),
               {QStringLiteral("--raw"), QStringLiteral("-q"), scratch.filePath("page.png")})
        .trimmed();
}

} // namespace

class TestSlip : public QObject {
    Q_OBJECT
private slots:
    // The slip's PDF says what was bet in Cyrillic, and its barcode, read from the page
    // rasterised as a scanner's camera would see it, gives back the serial and the code.
    void theBarcodeGivesBackTheSerialAndTheCode_data() {
        QTest::addColumn<qlonglong>("serial");
        QTest::addColumn<QString>("code");
        QTest::newRow("first bet, a code of zeros") << 1LL << QString(20, QLatin1Char('0'));
        QTest::newRow("a fresh code") << 4815162342LL << NewPayoutCode();
        QTest::newRow("the largest code")
            << 999999999999LL << QStringLiteral("18446744073709551615");
    }
    void theBarcodeGivesBackTheSerialAndTheCode() {
        QFETCH(qlonglong, serial);
        QFETCH(QString, code);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("slips/2026-12-08/%1.pdf").arg(serial));
        WriteSlipPdf(aSlip(serial, code), pdf);
        const QString text = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        for (const QString& shown :
             {QStringLiteral("Квитанция № %1").arg(serial), QStringLiteral("ЦСКА\\Москва"),
              QStringLiteral("Контора «Северная»"), QStringLiteral("3 500,00"),
              QStringLiteral("2,5"), PayoutCodeText(code)})
            QVERIFY2(text.contains(shown), qPrintable(shown + QStringLiteral(" not in:\n") + text));
        const QString read = barcodeOn(pdf, QDir(dir.path()));
        QCOMPARE(read, SlipBarcodeText(serial, code));
        const std::optional<SlipKey> key = ReadSlipText(read);
        QVERIFY(key);
        QCOMPARE(key->serial, serial);
        QCOMPARE(key->code, code);
    }

    // A bet's own slip, read from its PDF by a reader no one here wrote, pays the bet once.
    void aBetsSlipReadBackPaysOnce() {
        BooksFixture books;
        books.enterEvent(5, "Зенит", "ЦСКА\\Москва");
        books.takeBet(5, 2, 1000, "Иванов Иван");
        Slip slip = *books.module->LastSlip();
        slip.office = QStringLiteral("Контора");
        QTemporaryDir dir;
        const QString pdf = SlipPdfPath(dir.path(), slip.taken.date(), slip.serial);
        WriteSlipPdf(slip, pdf);
        QVERIFY(run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")})
                    .contains(QStringLiteral("ЦСКА\\Москва")));
        const QString read = barcodeOn(pdf, QDir(dir.path()));
        QVERIFY(books.settle(5, 2));
        books.module->PayBySlip(read);
        try {
            books.module->PayBySlip(read);
            QFAIL("a slip paid twice");
        } catch (const ERuleRefused& refused) {
            QVERIFY2(refused.message().contains(QStringLiteral("уже выплачен")),
                     qPrintable(refused.message()));
        }
        QVERIFY(books.module->TableMoney->IsEmpty());
    }

    // What a scanner types, or a cashier by hand, read back; anything else is no slip.
    void whatIsTypedReadsAsASlipOrNot_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qlonglong>("serial"); // 0: no slip
        QTest::addColumn<QString>("code");
        const QString code = QStringLiteral("01234567890123456789");
        QTest::newRow("scanned") << SlipBarcodeText(42, code) << 42LL << code;
        QTest::newRow("by hand, grouped") << "42 0123 4567 8901 2345 6789" << 42LL << code;
        QTest::newRow("by hand, dashes") << "42-01234567890123456789\n" << 42LL << code;
        QTest::newRow("no serial") << code << 0LL << QString();
        QTest::newRow("a letter") << "42 0123456789012345678О" << 0LL << QString();
        QTest::newRow("Arabic-Indic digits") << "٤٢ 01234567890123456789" << 0LL << QString();
        QTest::newRow("serial zero") << SlipBarcodeText(0, code) << 0LL << QString();
    }
    void whatIsTypedReadsAsASlipOrNot() {
        QFETCH(QString, typed);
        QFETCH(qlonglong, serial);
        QFETCH(QString, code);
        const std::optional<SlipKey> key = ReadSlipText(typed);
        QCOMPARE(key.has_value(), serial != 0);
        if (key) {
            QCOMPARE(key->serial, serial);
            QCOMPARE(key->code, code);
        }
    }

    // The office, the printer and the roll's width from varnel.conf, whatever else it holds.
    void theSettingsComeFromTheFoldersConf_data() {
        QTest::addColumn<QString>("conf"); // "-": no file
        QTest::addColumn<QString>("office");
        QTest::addColumn<QString>("printer");
        QTest::addColumn<double>("width"); // 0: refused
        QTest::newRow("no file") << "-"
                                 << "касса"
                                 << "" << 80.0;
        QTest::newRow("a server only") << "[server]\nconninfo=dbname=x\n"
                                       << "касса"
                                       << "" << 80.0;
        QTest::newRow("all of it")
            << "[Office]\nName = Контора «Северная»; касса 2\n[slip]\nprinter=Kassa_2\nwidth=57,5\n"
            << "Контора «Северная»; касса 2"
            << "Kassa_2" << 57.5;
        QTest::newRow("too narrow") << "[slip]\nwidth=30\n"
                                    << ""
                                    << "" << 0.0;
        QTest::newRow("no number") << "[slip]\nwidth=80mm\n"
                                   << ""
                                   << "" << 0.0;
    }
    void theSettingsComeFromTheFoldersConf() {
        QFETCH(QString, conf);
        QFETCH(QString, office);
        QFETCH(QString, printer);
        QFETCH(double, width);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("касса"));
        QVERIFY(QDir().mkpath(folder));
        if (conf != QLatin1String("-")) {
            QFile file(QDir(folder).filePath(QStringLiteral("varnel.conf")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(conf.toUtf8());
        }
        try {
            const SlipSettings settings = SlipSettingsOf(folder);
            QVERIFY(width != 0);
            QCOMPARE(settings.office, office);
            QCOMPARE(settings.printer, printer);
            QCOMPARE(settings.widthMm, width);
        } catch (const EDatabaseError& error) {
            QVERIFY2(width == 0 && error.message().contains(QStringLiteral("[slip]")),
                     qPrintable(error.message()));
        }
        QCOMPARE(SlipPdfPath(folder, QDate(2026, 12, 8), 42),
                 QDir(folder).filePath(QStringLiteral("slips/2026-12-08/42.pdf")));
    }

    // With no printer named the slip is its PDF in the folder; a printer the machine has not
    // (CUPS unreachable here) is refused at once, by name, and nothing is written.
    void aSlipGoesWhereTheSettingsSay() {
        QTemporaryDir dir;
        const Slip slip = aSlip(42, NewPayoutCode());
        SlipSettings settings;
        const QString path = OutputSlip(slip, settings, dir.path());
        QCOMPARE(path, QDir::toNativeSeparators(SlipPdfPath(dir.path(), slip.taken.date(), 42)));
        Slip copy = slip; // printed again: beside the first, which stays
        copy.copy = true;
        const QString again = OutputSlip(copy, settings, dir.path());
        QCOMPARE(again,
                 QDir::toNativeSeparators(SlipPdfPath(dir.path(), slip.taken.date(), 42, true)));
        QVERIFY(again != path && QFile::exists(path));
        QVERIFY(run(QStringLiteral("pdftotext"), {path, QStringLiteral("-")})
                    .contains(QStringLiteral("Квитанция № 42")));
        qputenv("CUPS_SERVER", dir.filePath(QStringLiteral("no-cups.sock")).toUtf8());
        settings.printer = QStringLiteral("Kassa_9");
        QElapsedTimer clock;
        clock.start();
        try {
            OutputSlip(slip, settings, dir.filePath(QStringLiteral("other")), 5000);
            QFAIL("printed on a printer that is not there");
        } catch (const EVarnelError& error) {
            QVERIFY2(error.message().contains(QStringLiteral("«Kassa_9»")),
                     qPrintable(error.message()));
        }
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(!QDir(dir.filePath(QStringLiteral("other"))).exists());
    }

    // A real printing path: the slip goes to a queue of a CUPS daemon of the test's own, whose
    // device is a file, and what the printer got reads back with its barcode.
    void aSlipPrintsThroughCups() {
        QTemporaryDir dir;
        const QString script = QStringLiteral(VARNEL_TESTS_DIR "/../scripts/cups-throwaway.sh");
        const ToolRun started = runTool(script, {QStringLiteral("start"), dir.path(), "Kassa_1"});
        QVERIFY2(started.status == 0, qPrintable(started.err));
        const auto stop = qScopeGuard([&] {
            runTool(script, {QStringLiteral("stop"), dir.path()});
        });
        qputenv("CUPS_SERVER", started.out.trimmed().toUtf8());
        const Slip slip = aSlip(7001, NewPayoutCode());
        SlipSettings settings;
        settings.printer = QStringLiteral("Kassa_1");
        QCOMPARE(OutputSlip(slip, settings, dir.path()), settings.printer);
        // The daemon's filters write the file; done when the queue holds no job.
        for (int i = 0; i < 300; ++i) {
            const ToolRun queued = runTool(QStringLiteral("lpstat"),
                                           {QStringLiteral("-W"), QStringLiteral("not-completed"),
                                            QStringLiteral("-o"), settings.printer});
            if (queued.status == 0 && queued.out.trimmed().isEmpty())
                break;
            QTest::qWait(100);
        }
        QFile printed(dir.filePath(QStringLiteral("out/Kassa_1.pdf")));
        QVERIFY(printed.open(QIODevice::ReadOnly));
        const QByteArray pdf = printed.readAll();
        QVERIFY2(pdf.contains("%PDF"), qPrintable(QString::fromLatin1(pdf.left(200))));
        // (a printer's job language may come before the PDF)
        QFile clean(dir.filePath(QStringLiteral("printed.pdf")));
        QVERIFY(clean.open(QIODevice::WriteOnly));
        clean.write(pdf.mid(pdf.indexOf("%PDF")));
        clean.close();
        QCOMPARE(barcodeOn(clean.fileName(), QDir(dir.path())),
                 SlipBarcodeText(slip.serial, slip.code));
    }

    // The code kept as a salted hash: it matches itself only, a code one digit off does not,
    // and the same code sealed twice is kept two ways.
    void theCodeIsKeptAsASaltedHash() {
        const QString code = NewPayoutCode();
        QCOMPARE(code.size(), 20);
        QVERIFY(code != NewPayoutCode());
        const QString sealed = SealPayoutCode(code);
        QVERIFY(!sealed.contains(code));
        QVERIFY(sealed != SealPayoutCode(code));
        QVERIFY(PayoutCodeMatches(code, sealed));
        QString off = code;
        off[19] = QChar('0' + (code[19].digitValue() + 1) % 10);
        QVERIFY(!PayoutCodeMatches(off, sealed));
        QVERIFY(!PayoutCodeMatches(code, QString()));
    }
};

int main(int argc, char** argv) {
    return varnel::test::runTests<QGuiApplication, TestSlip>(argc, argv);
}
#include "test_slip.moc"
