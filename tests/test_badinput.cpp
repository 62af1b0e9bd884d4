// Every edit box of the three dialogs, fed what operators and stray keyboards produce. Each
// input is either taken (and stored as it should be) or refused: with a Russian message (an
// error box or a label in the dialog), or quietly where the dialog ignores an empty box.
// Either way the program goes on, and a refused input leaves every table as another dBASE
// reader saw it before.
#include "controls/DBEdit.h"
#include "shell/StartUp.h"
#include "store/DataModule6.h"
#include "store/engine/Convert.h"
#include "tests/support/Office.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"
#include "toolkit/Application.h"
#include "workflows/PriemCompit.h"
#include "workflows/PriemResult.h"
#include "workflows/PriemStavka.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <functional>
#include <optional>

using namespace varnel;
using namespace varnel::test;

namespace {

enum class Kind { Event, Bet, Result };
enum class Verdict { Taken, Told, Quiet };

// The inputs, by name. Numbers use both separators; the Russian group separator is a
// no-break space.
const QList<std::pair<const char*, QString>>& inputs() {
    static const QList<std::pair<const char*, QString>> all = {
        {"spaces", "   "},
        {"10000 chars", QString(10000, QLatin1Char('9'))},
        {"emoji", QString::fromUtf8("Иван \xF0\x9F\x98\x80")},
        {"chinese", QString::fromUtf8("足球")},
        {"combining", QString::fromUtf8("Ле\xCC\x81в")},
        {"comma", "1,5"},
        {"point", "1.5"},
        {"group space", "1 000"},
        {"group nbsp", QString::fromUtf8("1\xC2\xA0"
                                         "000")},
        {"groups and point", "1,000.5"},
        {"exponent", "1e3"},
        {"negative exponent", "1E-2"},
        {"nan", "nan"},
        {"inf", "inf"},
        {"-inf", "-inf"},
        {"1e308", "1e308"},
        {"smallint max", "32767"},
        {"smallint max+1", "32768"},
        {"smallint min", "-32768"},
        {"smallint min-1", "-32769"},
        {"negative", "-1"},
        {"negative fraction", "-0,5"},
    };
    return all;
}

// What a box does with an input: taken (with the value stored), told, or quietly ignored.
struct Expect {
    Verdict outcome;
    QJsonValue stored = {}; // for Taken: what dbfread reads back in the box's column
};

Expect taken(const QJsonValue& v) {
    return {Verdict::Taken, v};
}
const Expect told{Verdict::Told};
const Expect quiet{Verdict::Quiet};

bool cp1251Lacks(const char* name) {
    return QByteArray(name) == "emoji" || QByteArray(name) == "chinese" ||
           QByteArray(name) == "combining";
}

// A side's or client's name: any text the code page has, cut by the box to the field's width.
Expect textBox(const char* name, const QString& text, int width) {
    if (QByteArray(name) == "spaces")
        return quiet;
    if (cp1251Lacks(name))
        return told;
    return taken(text.left(width));
}

// A number that must be positive or zero (coefficient) or above zero (stake), stored with
// four or eleven decimals.
Expect amountBox(const char* name) {
    static const QMap<QByteArray, double> good = {
        {"comma", 1.5},          {"point", 1.5},
        {"exponent", 1000},      {"negative exponent", 0.01},
        {"smallint max", 32767}, {"smallint max+1", 32768},
    };
    if (QByteArray(name) == "spaces")
        return quiet;
    if (good.contains(name))
        return taken(good[name]);
    return told;
}

// The event's number: a small integer, or nothing (an event may be stored without one).
Expect eventNumberBox(const char* name) {
    static const QMap<QByteArray, QJsonValue> good = {
        {"spaces", QJsonValue()}, {"exponent", 1000}, {"smallint max", 32767},
        {"smallint min", -32768}, {"negative", -1},
    };
    if (good.contains(name))
        return taken(good[name]);
    return told;
}

struct Box {
    Kind kind;
    const char* name;   // the control
    const char* table;  // where a taken value lands
    const char* column; // and in which column
    std::function<Expect(const char* input, const QString& text)> expect;
};

const QList<Box>& boxes() {
    static const QList<Box> all = {
        {Kind::Event, "DBEdit1", "COMPIT.DBF", "NUMBER",
         [](const char* n, const QString&) { return eventNumberBox(n); }},
        // The date is read first of all: even a blank one is reported.
        {Kind::Event, "EditDATE", "COMPIT.DBF", "DATE",
         [](const char*, const QString&) { return told; }},
        {Kind::Event, "EditKOM1", "COMPIT.DBF", "KOM1",
         [](const char* n, const QString& t) { return textBox(n, t, 25); }},
        {Kind::Event, "EditKOM2", "COMPIT.DBF", "KOM2",
         [](const char* n, const QString& t) { return textBox(n, t, 25); }},
        {Kind::Event, "EditKOEF_1", "COMPIT.DBF", "KOEF_1",
         [](const char* n, const QString&) { return amountBox(n); }},
        {Kind::Event, "EditKOEF_2", "COMPIT.DBF", "KOEF_2",
         [](const char* n, const QString&) { return amountBox(n); }},
        {Kind::Event, "EditKOEF_N", "COMPIT.DBF", "KOEF_N",
         [](const char* n, const QString&) { return amountBox(n); }},
        {Kind::Bet, "EditFIO", "PRIEM.DBF", "FIO",
         [](const char* n, const QString& t) { return textBox(n, t, 50); }},
        {Kind::Bet, "EditSUMMA", "PRIEM.DBF", "SUMMA",
         [](const char* n, const QString&) { return amountBox(n); }},
        // Only event 1 is on the books: every other number is not found.
        {Kind::Bet, "EditNUMBER", "PRIEM.DBF", "NUMBER",
         [](const char* n, const QString&) { return QByteArray(n) == "spaces" ? quiet : told; }},
        {Kind::Result, "EditNUMBER", "MONEY.DBF", "FIO",
         [](const char* n, const QString&) { return QByteArray(n) == "spaces" ? quiet : told; }},
    };
    return all;
}

TForm* dialog(Kind kind) {
    switch (kind) {
    case Kind::Event:
        return PriemCompit;
    case Kind::Bet:
        return PriemStavka;
    case Kind::Result:
        return PriemResult;
    }
    return nullptr;
}

template <typename T = QWidget> T* control(Kind kind, const char* name) {
    return varnel::test::control<T>(dialog(kind), name);
}

void retype(Kind kind, const char* name, const QString& text) {
    if (text.size() <= 100) {
        varnel::test::retype(dialog(kind), name, text);
        return;
    }
    // A long text arrives at once, as a paste does (key by key, a line edit lays the whole
    // text out again at every key).
    varnel::test::retype(dialog(kind), name, {});
    QKeyEvent paste(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QCoreApplication::sendEvent(control(kind, name), &paste);
}

void press(Kind kind, const char* name) {
    varnel::test::press(dialog(kind), name);
}

// The words the dialog shows: every visible label's text.
QStringList shownLabels(Kind kind) {
    QStringList texts;
    for (const QLabel* label : dialog(kind)->findChildren<QLabel*>())
        if (label->isVisible())
            texts << label->objectName() + "=" + label->text();
    return texts;
}

// Every table as dbfread reads it, in one run of the reader. Files whose bytes have not
// changed since the last reading read the same, so the reader runs only after a change.
QJsonObject readAll(const QString& folder) {
    static QByteArray lastBytes;
    static QJsonObject lastRead;
    QByteArray bytes;
    for (const char* name : {"COMPIT.DBF", "PRIEM.DBF", "TMP.DBF", "MONEY.DBF"}) {
        QFile file(folder + "/" + name);
        if (file.open(QIODevice::ReadOnly))
            bytes += file.readAll() + '|';
    }
    bytes += folder.toUtf8();
    if (bytes == lastBytes)
        return lastRead;
    const QString script = QStringLiteral(R"(
import sys, json, datetime, dbfread
out = {}
for name in ('COMPIT.DBF', 'PRIEM.DBF', 'TMP.DBF', 'MONEY.DBF'):
    rows = []
    for r in dbfread.DBF(sys.argv[1] + '/' + name, char_decode_errors='strict'):
        rows.append({k: (v.isoformat() if isinstance(v, datetime.date) else v) for k, v in r.items()})
    out[name] = rows
print(json.dumps(out, ensure_ascii=True))
)");
    lastRead = QJsonDocument::fromJson(runPython(script, {folder})).object();
    lastBytes = bytes;
    return lastRead;
}

bool sameValue(const QJsonValue& actual, const QJsonValue& expected) {
    if (expected.isDouble() && actual.isDouble())
        return std::fabs(actual.toDouble() - expected.toDouble()) <=
               1e-9 * std::max(1.0, std::fabs(expected.toDouble()));
    if (expected.isString() && actual.isString())
        return actual.toString() == expected.toString();
    return actual.type() == expected.type();
}

// Fills the dialog with good values, puts the input into one box and goes as far through
// the dialog as it lets: the input is refused wherever the dialog stops.
void drive(const Box& box, const QString& text) {
    const Kind k = box.kind;
    switch (k) {
    case Kind::Event:
        retype(k, "DBEdit1", "7");
        retype(k, "EditDATE", QLocale().toString(Date().addDays(1), QLocale::ShortFormat));
        retype(k, "EditKOM1", "Зенит");
        retype(k, "EditKOM2", "Торпедо");
        for (const char* koef : {"EditKOEF_1", "EditKOEF_2", "EditKOEF_N"})
            retype(k, koef, QLocale().toString(2.5));
        retype(k, box.name, text);
        press(k, "Button3");
        break;
    case Kind::Bet:
        retype(k, "EditFIO", "Иванов");
        retype(k, "EditSUMMA", "100");
        retype(k, "EditNUMBER", "1");
        [[fallthrough]];
    case Kind::Result:
        retype(k, box.name, text);
        press(k, "Button3");
        // The outcomes are offered once the number is accepted: the first one, and Ok.
        if (control(k, "RadioButton1")->isVisible()) {
            press(k, "RadioButton1");
            press(k, "Button3");
        }
        break;
    }
}

} // namespace

class TestBadInput : public QObject {
    Q_OBJECT

    std::unique_ptr<Office> m_office;

    // Runs one input through one box; returns what happened as the operator saw it.
    void runCase(const Box& box, const char* inputName, const QString& text, QJsonObject& tables) {
        const Expect expect = box.expect(inputName, text);
        const QString what = QStringLiteral("%1.%2 ← %3")
                                 .arg(box.kind == Kind::Event ? "event"
                                      : box.kind == Kind::Bet ? "bet"
                                                              : "result",
                                      box.name, inputName);
        m_office->errors.messages.clear();
        TForm* form = dialog(box.kind);
        bool closed = false;
        QStringList before, after;
        runModal(form, [&] {
            before = shownLabels(box.kind);
            drive(box, text);
            closed = !form->isVisible();
            after = shownLabels(box.kind);
        });
        QVERIFY2(!form->isVisible(), qPrintable(what));

        const QJsonObject now = readAll(m_office->folder.path());
        const QStringList& messages = m_office->errors.messages;
        for (const QString& m : messages) {
            QVERIFY2(m.contains(QRegularExpression("[А-Яа-яЁё]")), qPrintable(what + ": " + m));
            QVERIFY2(m.size() < 300, qPrintable(what + ": a message of " +
                                                QString::number(m.size()) + " characters"));
        }
        const QString seen = QStringLiteral("%1: closed=%2, messages=[%3], labels %4 → %5")
                                 .arg(what)
                                 .arg(closed)
                                 .arg(messages.join(" | "), before.join(", "), after.join(", "));
        switch (expect.outcome) {
        case Verdict::Taken: {
            QVERIFY2(closed && messages.isEmpty(), qPrintable(seen));
            const QJsonArray rows = now[box.table].toArray();
            QVERIFY2(rows.size() == tables[box.table].toArray().size() + 1, qPrintable(seen));
            const QJsonValue stored = rows.last().toObject()[box.column];
            QVERIFY2(sameValue(stored, expect.stored),
                     qPrintable(what + ": stored " + QJsonDocument(QJsonArray{stored}).toJson()));
            break;
        }
        case Verdict::Told:
            QVERIFY2(!closed && (!messages.isEmpty() || before != after), qPrintable(seen));
            QVERIFY2(now == tables, qPrintable(what + ": the tables changed"));
            break;
        case Verdict::Quiet:
            QVERIFY2(!closed && messages.isEmpty(), qPrintable(seen));
            QVERIFY2(now == tables, qPrintable(what + ": the tables changed"));
            break;
        }
        tables = now;
    }

private slots:
    void init() {
        m_office = std::make_unique<Office>();
        QVERIFY(m_office->started);
        append(*DataModule6->TableCompit,
               {eventRecord(1, QStringLiteral("Спартак"), QStringLiteral("Динамо"))});
        append(*DataModule6->TableStavka,
               {betRecord(1, QStringLiteral("Спартак"), 100, 2.0, QStringLiteral("Победитель"))});
    }
    void cleanup() { m_office.reset(); }

    void everyBoxEveryInput_data() {
        QTest::addColumn<int>("box");
        for (int i = 0; i < boxes().size(); ++i) {
            const Box& b = boxes()[i];
            const char* dialogName = b.kind == Kind::Event ? "event"
                                     : b.kind == Kind::Bet ? "bet"
                                                           : "result";
            QTest::addRow("%s.%s", dialogName, b.name) << i;
        }
    }
    void everyBoxEveryInput() {
        QFETCH(int, box);
        const Box& b = boxes()[box];
        QJsonObject tables = readAll(m_office->folder.path());
        for (const auto& [name, text] : inputs()) {
            runCase(b, name, text, tables);
            if (QTest::currentTestFailed())
                return;
        }
        // The program is still whole: the same box takes a good value afterwards.
        const QString good =
            b.kind == Kind::Event && QByteArray(b.name) == "EditDATE"
                ? QLocale().toString(Date().addDays(3), QLocale::ShortFormat)
            : QByteArray(b.name).startsWith("EditKOM") || QByteArray(b.name) == "EditFIO"
                ? QStringLiteral("Ёлкин")
                : QStringLiteral("1");
        const Box accepting{b.kind, b.name, b.table, b.column, [&](const char*, const QString&) {
                                if (b.kind == Kind::Result)
                                    return taken(QStringLiteral("Победитель"));
                                if (QByteArray(b.name) == "EditDATE")
                                    return taken(Date().addDays(3).toString(Qt::ISODate));
                                return QByteArray(b.name).startsWith("EditKOM") ||
                                               QByteArray(b.name) == "EditFIO"
                                           ? taken(good)
                                           : taken(1);
                            }};
        runCase(accepting, "good", good, tables);
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return runTests<QApplication, TestBadInput>(argc, argv);
}

#include "test_badinput.moc"
