// Operators log in to the books' server as their own roles: the login window when the server
// asks for a password that nothing gives, that login used by every connection of the program
// and kept nowhere on disk, and TLS with the server's certificate verified.
#include "base/Report.h"
#include "controls/Login.h"
#include "office/window/OfficeWindow.h"
#include "server/Connection.h"
#include "server/Login.h"
#include "server/Schema.h"
#include "shell/StartUp.h"
#include "store/DataModule6.h"
#include "store/engine/DataSet.h"
#include "tests/support/Office.h"
#include "tests/support/Server.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"
#include "toolkit/Application.h"

#include <QApplication>
#include <QDialog>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

#include <pwd.h>
#include <unistd.h>

using namespace varnel;
using namespace varnel::test;

namespace {

const QString kPassword = QStringLiteral("Пароль-к4сс1ра");

// Answers the login window from inside its own loop once it shows, as an operator would; a
// window the steps leave open is cancelled. Whether it showed at all is `shown`.
class LoginAnswer {
public:
    explicit LoginAnswer(std::function<void(QDialog& window)> steps = {})
        : m_steps(std::move(steps)) {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!window || window->objectName() != QLatin1String("Login"))
                return;
            m_poll.stop();
            shown = true;
            if (m_steps)
                m_steps(*window);
            if (window->isVisible())
                press(window, "ButtonCancel");
        });
        m_poll.start();
    }
    bool shown = false;

private:
    std::function<void(QDialog&)> m_steps;
    QTimer m_poll;
};

// Every message the program logs while it lives.
class MessageLog {
public:
    MessageLog() { m_previous = qInstallMessageHandler(&MessageLog::record); }
    ~MessageLog() { qInstallMessageHandler(m_previous); }
    static QStringList& messages() {
        static QStringList all;
        return all;
    }

private:
    static void record(QtMsgType, const QMessageLogContext&, const QString& message) {
        messages() << message;
    }
    QtMessageHandler m_previous = nullptr;
};

// An environment variable set for a scope, as it was after.
class Environment {
public:
    Environment(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_value(qgetenv(name)) {
        qputenv(name, value);
    }
    ~Environment() {
        if (m_had)
            qputenv(m_name, m_value);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_value;
};

// The files under a folder that hold `secret`.
QStringList filesHolding(const QString& folder, const QByteArray& secret) {
    QStringList found;
    QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(secret))
            found << file.fileName();
    }
    return found;
}

// How many sessions of `role` the server has on the database, and how many of them over TLS.
QPair<int, int> sessionsOf(const QString& conninfo, const QString& role) {
    const QStringList row =
        psql(conninfo, QStringLiteral("select count(*), count(*) filter (where s.ssl) from "
                                      "pg_stat_activity a join pg_stat_ssl s using (pid) where "
                                      "a.datname = current_database() and a.usename = '%1'")
                           .arg(role))
            .value(0)
            .split(QLatin1Char('|'));
    return {row.value(0).toInt(), row.value(1).toInt()};
}

} // namespace

class TestLogin : public QObject {
    Q_OBJECT
    PgServer m_server{PgServer::Reach::Tls};

    // A new database with the books laid out, and an operator of its own with kPassword.
    QString laidOut(const QString& operatorName) {
        const QString db = m_server.NewDatabase();
        ServerConnection server(db);
        if (!LayOutServer(server))
            qFatal("the books were not laid out");
        addOperator(db, operatorName, kPassword);
        return db;
    }

    // Over TCP with the server's certificate verified against the throwaway root.
    QString verified(const QString& db, const QString& user, const char* root = "root.crt") {
        return m_server.OverTcp(db, user) + QStringLiteral(" sslmode=verify-full sslrootcert=") +
               m_server.Certificate(root);
    }

private slots:
    void initTestCase() {
        // Nothing of the machine's own gives a password: the window's cases need it asked.
        qputenv("PGPASSFILE", QFile::encodeName(m_server.Folder() + "/no-pgpass"));
        qunsetenv("PGPASSWORD");
        qunsetenv("PGUSER");
    }

    void thePasswordAskedAtStartReachesEveryConnectionAndNoDisk() {
        const QString db = laidOut("kassir_ivanov");
        const QString conninfo = verified(db, "kassir_ivanov");
        WorkFolder folder;
        nameBooksServer(folder.path(), conninfo);
        ErrorRecorder errors;
        const MessageLog log;
        TApplication app;
        LoginAnswer login([&](QDialog& window) {
            QCOMPARE(window.windowTitle(), QString("Varnel — вход на сервер книг"));
            QVERIFY2(control<QLabel>(&window, "LabelServer")
                         ->text()
                         .contains("«" + DescribeServer(conninfo) + "»"),
                     qPrintable(control<QLabel>(&window, "LabelServer")->text()));
            QCOMPARE(control<QLabel>(&window, "LabelOperator")->text(), QString("Оператор:"));
            QCOMPARE(control<QLabel>(&window, "LabelPassword")->text(), QString("Пароль:"));
            QCOMPARE(control<QPushButton>(&window, "ButtonLogin")->text(), QString("Войти"));
            QCOMPARE(control<QPushButton>(&window, "ButtonCancel")->text(), QString("Отмена"));
            QCOMPARE(control<QLineEdit>(&window, "EditOperator")->text(), QString("kassir_ivanov"));
            auto* password = control<QLineEdit>(&window, "EditPassword");
            QCOMPARE(password->echoMode(), QLineEdit::Password);
            QVERIFY(!control<QLabel>(&window, "LabelReason")->isVisible());

            // A wrong password: the server's reason, and the window waits for another.
            retype(&window, "EditPassword", "не тот пароль");
            press(&window, "ButtonLogin");
            QVERIFY(window.isVisible());
            const QString reason = control<QLabel>(&window, "LabelReason")->text();
            QVERIFY2(control<QLabel>(&window, "LabelReason")->isVisible() &&
                         reason.startsWith("Вход не выполнен: ") &&
                         reason.contains("password authentication failed for user "
                                         "\"kassir_ivanov\""),
                     qPrintable(reason));
            QVERIFY(password->text().isEmpty());

            retype(&window, "EditPassword", kPassword);
            press(&window, "ButtonLogin");
            QVERIFY(!window.isVisible());
        });
        QVERIFY(StartUp(app));
        QVERIFY(login.shown);
        QVERIFY2(errors.messages.isEmpty(), qPrintable(errors.messages.join('\n')));
        QVERIFY(DataModule6->TableCompit->Active());
        QVERIFY(DataModule6->TableHistory->Active());
        // The counter's home is on the server as the operator, over TLS.
        const auto [sessions, overTls] = sessionsOf(db, "kassir_ivanov");
        QVERIFY(sessions >= 1);
        QCOMPARE(overTls, sessions);

        // The back office in the same process reads the books, and undoes on its own
        // connection, as the operator who logged in: asked nothing more.
        {
            LoginAnswer again;
            office::OfficeWindow office;
            QVERIFY(office.OpenFolder(folder.path()));
            QTRY_VERIFY(office.Settled()); // asked off the window's thread
            QVERIFY(!again.shown);
        }
        ServerConnection undo(conninfo);
        QCOMPARE(undo.Value("select current_user").toString(), QString("kassir_ivanov"));
        QVERIFY(undo.Value("select ssl from pg_stat_ssl where pid = pg_backend_pid()").toBool());
        QVERIFY2(errors.messages.isEmpty(), qPrintable(errors.messages.join('\n')));

        // Held in memory only: not in the folder and its varnel.conf, the settings, the
        // program's messages, nor anywhere in the server's folder (which
        // keeps the password's hash).
        const QByteArray secret = kPassword.toUtf8();
        QCOMPARE(filesHolding(folder.path(), secret), QStringList()); // varnel.conf too
        const QString settings = QSettings("Varnel", "varnel-office").fileName();
        QVERIFY(QFile::exists(settings)); // the office wrote its last folder there
        QCOMPARE(filesHolding(QFileInfo(settings).path(), secret), QStringList());
        QCOMPARE(filesHolding(m_server.Folder(), secret), QStringList());
        QVERIFY(!log.messages().join('\n').contains(kPassword));
    }

    // A folder chosen in the back office whose server asks for a password: the login first,
    // and nothing opened when it is cancelled.
    void theBackOfficeAsksForTheLoginOfAFolderItOpens() {
        const QString db = laidOut("manager_kozlov");
        const QString conninfo = verified(db, "manager_kozlov");
        WorkFolder folder;
        nameBooksServer(folder.path(), conninfo);
        ErrorRecorder errors;
        office::OfficeWindow office;
        {
            LoginAnswer cancelled([](QDialog& window) { press(&window, "ButtonCancel"); });
            QVERIFY(!office.OpenFolder(folder.path()));
            QVERIFY(cancelled.shown);
            QVERIFY(office.Folder().isEmpty());
            QVERIFY(!office.CurrentBooks());
        }
        LoginAnswer login([](QDialog& window) {
            retype(&window, "EditPassword", kPassword);
            press(&window, "ButtonLogin");
        });
        QVERIFY(office.OpenFolder(folder.path()));
        QVERIFY(login.shown);
        QTRY_VERIFY(office.Settled());
        QVERIFY2(errors.messages.isEmpty(), qPrintable(errors.messages.join('\n')));
    }

    // A conninfo without a user: the window offers libpq's own default, and whoever the
    // operator names there is the role every connection logs in as.
    void theOperatorNamedInTheWindowIsWhoLogsIn() {
        const QString db = laidOut("kassir_petrova");
        const QString conninfo = verified(db, {});
        WorkFolder folder;
        nameBooksServer(folder.path(), conninfo);
        ErrorRecorder errors;
        TApplication app;
        LoginAnswer login([&](QDialog& window) {
            const passwd* account = ::getpwuid(::geteuid());
            QVERIFY(account);
            QCOMPARE(control<QLineEdit>(&window, "EditOperator")->text(),
                     QString::fromLocal8Bit(account->pw_name));
            retype(&window, "EditOperator", "");
            press(&window, "ButtonLogin");
            QCOMPARE(control<QLabel>(&window, "LabelReason")->text(),
                     QString("Введите имя оператора."));
            retype(&window, "EditOperator", "kassir_petrova");
            retype(&window, "EditPassword", kPassword);
            press(&window, "ButtonLogin");
            QVERIFY(!window.isVisible());
        });
        QVERIFY(StartUp(app));
        QVERIFY(login.shown);
        QVERIFY2(errors.messages.isEmpty(), qPrintable(errors.messages.join('\n')));
        QVERIFY(sessionsOf(db, "kassir_petrova").first >= 1); // the counter's home
        ServerConnection other(conninfo);
        QCOMPARE(other.Value("select session_user").toString(), QString("kassir_petrova"));
    }

    // The tests' socket trusts its user; a password file and PGPASSWORD give the operator's
    // password over TCP. None of them shows the window.
    // Each value libpq takes reaches it as written (a password with ';', a quote and a
    // backslash), and the session's settings are the program's whatever the role's own: a
    // backslash in a value the program writes comes back as it went.
    void aConninfoValueAndTheSessionsSettingsReachTheServerAsWritten() {
        const QString db = laidOut("kassir_petrov");
        psql(db, "alter role kassir_petrov password 'pa;ss''w\\rd'; alter role kassir_petrov "
                 "set standard_conforming_strings = off; alter role kassir_petrov set "
                 "search_path = public");
        ServerConnection server(verified(db, "kassir_petrov") +
                                QStringLiteral(" password='pa;ss\\'w\\\\rd'"));
        QCOMPARE(server.Value("select current_user").toString(), QString("kassir_petrov"));
        QCOMPARE(server.Value("select ?::text", {QString("ЦСКА\\Москва")}).toString(),
                 QString("ЦСКА\\Москва"));
        QCOMPARE(server.Value("select count(*) from compit").toInt(), 0); // the books' schema
        // Values travel apart from the statement: no setting of the session reads them anew.
        server.Exec("set standard_conforming_strings = off");
        QCOMPARE(server.Value("select ?::text", {QString("ЦСКА\\Москва'")}).toString(),
                 QString("ЦСКА\\Москва'"));
    }

    void noWindowWhenNothingAsksForAPassword() {
        const QString db = laidOut("kassir_sidorov");
        const QString tcp = verified(db, "kassir_sidorov");
        QTemporaryDir home;
        QFile pgpass(home.filePath("pgpass"));
        QVERIFY(pgpass.open(QIODevice::WriteOnly));
        pgpass.write(QStringLiteral("127.0.0.1:*:*:kassir_sidorov:%1\n").arg(kPassword).toUtf8());
        pgpass.close();
        QVERIFY(pgpass.setPermissions(QFile::ReadOwner | QFile::WriteOwner));

        struct Way {
            QString conninfo;
            const char* variable;
            QByteArray value;
        };
        for (const Way& way :
             {Way{db, nullptr, {}}, Way{tcp, "PGPASSFILE", QFile::encodeName(pgpass.fileName())},
              Way{tcp, "PGPASSWORD", kPassword.toUtf8()}}) {
            std::optional<Environment> set;
            if (way.variable)
                set.emplace(way.variable, way.value);
            QVERIFY(!LoginNeeded(way.conninfo).password);
            WorkFolder folder;
            nameBooksServer(folder.path(), way.conninfo);
            ErrorRecorder errors;
            TApplication app;
            LoginAnswer login;
            QVERIFY(StartUp(app));
            QVERIFY2(!login.shown, qPrintable(way.conninfo));
            QVERIFY2(errors.messages.isEmpty(), qPrintable(errors.messages.join('\n')));
            QVERIFY(DataModule6->TableCompit->Active());
            if (way.variable)
                QVERIFY(sessionsOf(db, "kassir_sidorov").first >= 1);
        }
    }

    void cancellingTheLoginEndsTheStartWithNothingWritten() {
        const QString db = laidOut("kassir_orlov");
        const QString conninfo = verified(db, "kassir_orlov");
        WorkFolder folder;
        nameBooksServer(folder.path(), conninfo);
        const auto before = snapshot(folder.path());
        const QStringList files = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        ErrorRecorder errors;
        TApplication app;
        LoginAnswer login([](QDialog& window) {
            retype(&window, "EditPassword", kPassword);
            press(&window, "ButtonCancel");
        });
        QVERIFY(!StartUp(app));
        QVERIFY(login.shown);
        QVERIFY(!app.MainForm());
        QVERIFY(errors.messages.isEmpty());
        QCOMPARE(snapshot(folder.path()), before);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), files);
        QVERIFY(HeldLogin(conninfo).password.isEmpty()); // typed, then cancelled: not kept
        QCOMPARE(sessionsOf(db, "kassir_orlov").first, 0);
        QCOMPARE(psql(db, "select count(*) from varnel.history"), QStringList("0"));
    }

    // sslmode=verify-full: the server's certificate must come from the root named and carry the
    // name the conninfo reaches it by, else the connection is refused before any login, with
    // the program's own words.
    void verifiedTlsConnectsAndAWrongRootOrNameIsRefused() {
        const QString db = laidOut("kassir_tls");
        const QString byName =
            verified(db, "kassir_tls").replace("host=127.0.0.1", "host=localhost");
        // The same as a URI, which a login replaces the user of too.
        const QString uri =
            QStringLiteral("postgresql://someone@127.0.0.1:%1/%2?sslmode=verify-full&"
                           "sslrootcert=%3")
                .arg(m_server.OverTcp(db, {}).section("port=", 1).section(' ', 0, 0),
                     db.section("dbname=", 1).section(' ', 0, 0), m_server.Certificate("root.crt"));
        for (const QString& conninfo : {verified(db, "kassir_tls"), byName, uri}) {
            QCOMPARE(LogIn(conninfo, "kassir_tls", kPassword), QString());
            ServerConnection server(conninfo);
            QCOMPARE(
                server.Value("select ssl from pg_stat_ssl where pid = pg_backend_pid()").toString(),
                QString("true"));
            QCOMPARE(server.Value("select current_user").toString(), QString("kassir_tls"));
        }

        const QString wrongRoot = verified(db, "kassir_tls", "other-root.crt");
        QString wrongName = verified(db, "kassir_tls");
        wrongName.replace("host=127.0.0.1", "host=books.invalid hostaddr=127.0.0.1");
        for (const auto& [conninfo, why] :
             {std::pair{wrongRoot, QString("certificate verify failed")},
              std::pair{wrongName, QString("does not match host name \"books.invalid\"")}}) {
            QVERIFY(!LoginNeeded(conninfo).password); // no window: a password would not help
            const QString reason = LogIn(conninfo, "kassir_tls", kPassword);
            QVERIFY2(reason.contains(why), qPrintable(reason));
            QVERIFY(HeldLogin(conninfo).user.isEmpty());
            try {
                ServerConnection(conninfo).Value("select 1");
                QFAIL("a server whose certificate does not hold was reached");
            } catch (const EServerError& error) {
                QVERIFY2(error.message().startsWith(QStringLiteral("Сервер книг «%1» недоступен: ")
                                                        .arg(DescribeServer(conninfo))) &&
                             error.message().contains(why) &&
                             error.message().contains("Ничего не записано"),
                         qPrintable(error.message()));
            }
        }
    }
};

VARNEL_TEST_MAIN(TestLogin)
#include "test_login.moc"
