#include "office/window/OfficeWindow.h"

#include "base/Report.h"
#include "controls/Login.h"
#include "office/window/CashView.h"
#include "office/window/Export.h"
#include "office/window/HistoryView.h"
#include "office/window/Limits.h"
#include "office/window/RiskView.h"
#include "office/window/ServerBooks.h"
#include "office/window/Undo.h"
#include "server/Config.h"
#include "server/Follower.h"
#include "store/DataModule6.h"
#include "store/HistoryScan.h"
#include "store/InFolder.h"
#include "store/Tables.h"
#include "store/engine/FolderLock.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QScopedValueRollback>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/stat.h>

namespace varnel::office {

namespace {

constexpr int kRefreshDelayMs = 250; // changes of one commit come as several signals
constexpr int kRetryMs = 300;
constexpr int kPatienceMs = 400;   // kept short: the window waits while it reads
constexpr int kRetryReadMs = 3000; // a reading of the server that failed

const char* const kGeometry = "window/geometry";
const char* const kState = "window/state";
const char* const kLastFolder = "folder/last";
const char* const kLastView = "window/view";

QSettings settings() {
    return QSettings(QStringLiteral("Varnel"), QStringLiteral("varnel-office"));
}

// The busy cursor for the time of a reading, whichever way it ends.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Whether a folder's varnel.conf names the books' server; a file that cannot be read counts,
// so that opening the folder says what is wrong with it.
bool namesServer(const QString& folder) {
    try {
        return !ServerConninfoOf(folder).isEmpty();
    } catch (const EDatabaseError&) {
        return true;
    }
}

// The file behind a path, told apart from another put in its place under the same name.
QByteArray fileIdentity(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return QByteArray::number(qulonglong(status.st_dev)) + ':' +
           QByteArray::number(qulonglong(status.st_ino));
}

QIcon officeIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/office-icons/varnel-office-%1.png").arg(size));
    return icon;
}

} // namespace

OfficeWindow::OfficeWindow(QWidget* parent)
    : QMainWindow(parent), m_views(new QTabWidget(this)), m_history(new HistoryView(m_views)),
      m_cash(new CashView(m_views)), m_risk(new RiskView(m_views)), m_state(new QLabel(this)),
      m_unreadable(new QLabel(this)), m_banner(new QLabel(this)), m_operator(new QLabel(this)) {
    setObjectName(QStringLiteral("OfficeWindow"));
    setWindowIcon(officeIcon());
    if (!HasErrorReporter()) { // the tests put a recorder in place first
        SetErrorReporter([this](const QString& message) {
            QMessageBox::critical(this, QStringLiteral("Varnel — бэк-офис"), message);
        });
        SetNoticeReporter([this](const QString& message) {
            QMessageBox::information(this, QStringLiteral("Varnel — бэк-офис"), message);
        });
    }
    m_views->setObjectName(QStringLiteral("Views"));
    m_views->setDocumentMode(true);
    m_views->addTab(m_history, QStringLiteral("&История"));
    m_views->addTab(m_cash, QStringLiteral("&Касса за день"));
    m_views->addTab(m_risk, QStringLiteral("&Риск по открытым событиям"));
    m_banner->setObjectName(QStringLiteral("ServerBanner"));
    m_banner->setWordWrap(true);
    m_banner->setMargin(6);
    m_banner->setStyleSheet(
        QStringLiteral("QLabel { background: #fff3c4; color: #5a4300; border-bottom: 1px solid "
                       "#e0c060; }"));
    m_banner->hide();
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_banner);
    layout->addWidget(m_views, 1);
    setCentralWidget(central);
    m_state->setObjectName(QStringLiteral("ReadingState"));
    m_unreadable->setObjectName(QStringLiteral("UnreadableRecords"));
    m_unreadable->setToolTip(
        QStringLiteral("Записи истории, в которых другая программа испортила число или дату. "
                       "В кассе и в выплаченном клиентам их нет; в истории они помечены "
                       "«(не читается)»."));
    m_unreadable->hide();
    m_operator->setObjectName(QStringLiteral("OperatorState"));
    m_operator->hide();
    statusBar()->addPermanentWidget(m_operator);
    statusBar()->addPermanentWidget(m_unreadable);
    statusBar()->addPermanentWidget(m_state);
    MakeActions();

    m_refresh.setSingleShot(true);
    connect(&m_refresh, &QTimer::timeout, this, Handler(this, &OfficeWindow::RefreshLater));
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryReadMs);
    connect(&m_retry, &QTimer::timeout, this, Handler(this, &OfficeWindow::RefreshLater));
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
            Handler(this, &OfficeWindow::FilesChanged));
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this,
            Handler(this, &OfficeWindow::FilesChanged));
    connect(&m_census, &QFutureWatcher<HistoryCensus>::finished, this,
            Handler(this, &OfficeWindow::CensusTaken));
    connect(m_views, &QTabWidget::currentChanged, this,
            Handler(this, &OfficeWindow::UpdateActions));
    connect(m_history, &HistoryView::CurrentChanged, this,
            Handler(this, &OfficeWindow::UpdateActions));
    connect(m_history->Model(), &HistoryModel::QueryFailed, this,
            [](const QString& message) { ReportError(message); });

    QSettings s = settings();
    if (!restoreGeometry(s.value(kGeometry).toByteArray()))
        resize(1200, 760);
    restoreState(s.value(kState).toByteArray());
    m_views->setCurrentIndex(s.value(kLastView, 0).toInt());
    UpdateTitle();
    UpdateActions();
}

OfficeWindow::~OfficeWindow() {
    if (m_countCancel)
        m_countCancel->store(true);
    m_census.waitForFinished();
}

void OfficeWindow::MakeActions() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Файл"));
    QMenu* view = menuBar()->addMenu(QStringLiteral("&Вид"));
    QMenu* books = menuBar()->addMenu(QStringLiteral("&Книги"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Справка"));
    QToolBar* bar = addToolBar(QStringLiteral("Основная"));
    bar->setObjectName(QStringLiteral("MainToolBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    const auto action = [this](QMenu* menu, const char* name, const QString& text,
                               const QKeySequence& keys, QStyle::StandardPixmap icon,
                               const QString& tip, auto slot) {
        auto* a = new QAction(style()->standardIcon(icon), text, this);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(keys);
        a->setStatusTip(tip);
        a->setToolTip(QStringLiteral("%1 (%2)").arg(QString(text).remove(QLatin1Char('&')),
                                                    keys.toString(QKeySequence::NativeText)));
        connect(a, &QAction::triggered, this, [slot] { RunHandler(slot); });
        menu->addAction(a);
        return a;
    };
    QAction* open =
        action(file, "ActionOpen", QStringLiteral("&Открыть папку…"), QKeySequence::Open,
               QStyle::SP_DirOpenIcon, QStringLiteral("Открыть рабочую папку кассы"),
               [this] { ChooseFolder(); });
    QAction* refresh = action(file, "ActionRefresh", QStringLiteral("О&бновить"),
                              QKeySequence::Refresh, QStyle::SP_BrowserReload,
                              QStringLiteral("Прочитать книги заново"), [this] { Refresh(); });
    file->addSeparator();
    QAction* csv = action(file, "ActionExport", QStringLiteral("&Выгрузить в CSV…"),
                          QKeySequence(Qt::CTRL | Qt::Key_E), QStyle::SP_DialogSaveButton,
                          QStringLiteral("Сохранить таблицу вида для электронной таблицы"),
                          [this] { ExportCsv(); });
    QAction* pdf =
        action(file, "ActionPdf", QStringLiteral("Сохранить в &PDF…"),
               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), QStyle::SP_FileDialogDetailedView,
               QStringLiteral("Сохранить отчёт вида в файл PDF"), [this] { SavePdf(); });
    action(file, "ActionPreview", QStringLiteral("Пред&варительный просмотр…"),
           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P), QStyle::SP_FileDialogContentsView,
           QStringLiteral("Показать отчёт вида, как он будет напечатан"),
           [this] { PrintPreview(); });
    QAction* print =
        action(file, "ActionPrint", QStringLiteral("&Печать…"), QKeySequence::Print,
               QStyle::SP_FileIcon, QStringLiteral("Напечатать отчёт вида"), [this] { Print(); });
    file->addSeparator();
    action(file, "ActionQuit", QStringLiteral("В&ыход"), QKeySequence(Qt::CTRL | Qt::Key_Q),
           QStyle::SP_DialogCloseButton, QStringLiteral("Закрыть бэк-офис"), [this] { close(); });

    const QStyle::StandardPixmap viewIcons[] = {
        QStyle::SP_FileDialogListView, QStyle::SP_DriveHDIcon, QStyle::SP_MessageBoxWarning};
    const char* const viewNames[] = {"ActionHistory", "ActionCash", "ActionRisk"};
    const QString viewTexts[] = {QStringLiteral("&История"), QStringLiteral("&Касса за день"),
                                 QStringLiteral("&Риск по открытым событиям")};
    for (int i = 0; i < 3; ++i)
        m_viewActions << action(
            view, viewNames[i], viewTexts[i], QKeySequence(Qt::CTRL | (Qt::Key_1 + i)),
            viewIcons[i],
            QStringLiteral("Показать вид «%1»").arg(QString(viewTexts[i]).remove(QLatin1Char('&'))),
            [this, i] { ShowView(i); });
    view->addSeparator();
    action(view, "ActionFind", QStringLiteral("&Найти клиента"), QKeySequence::Find,
           QStyle::SP_FileDialogContentsView, QStringLiteral("Отбор истории по клиенту"), [this] {
               ShowView(0);
               auto* box = m_history->findChild<QWidget*>(QStringLiteral("FilterClient"));
               box->setFocus();
           });

    m_undo = action(books, "ActionUndo", QStringLiteral("&Отменить результат…"),
                    QKeySequence(Qt::CTRL | Qt::Key_U), QStyle::SP_ArrowBack,
                    QStringLiteral("Вернуть событие выбранной записи «Результат» и его ставки"),
                    [this] { UndoResult(); });
    m_limits = action(books, "ActionLimits", QStringLiteral("&Лимиты…"),
                      QKeySequence(Qt::CTRL | Qt::Key_L), QStyle::SP_FileDialogDetailedView,
                      QStringLiteral("Наименьшая и наибольшая ставка, наибольшая выплата по "
                                     "ставке и по исходу события, время отмены ставки кассиром"),
                      [this] { EditLimits(); });
    action(help, "ActionAbout", QStringLiteral("&О программе"), QKeySequence::HelpContents,
           QStyle::SP_MessageBoxInformation, QStringLiteral("О бэк-офисе"), [this] {
               QMessageBox::about(
                   this, QStringLiteral("О программе"),
                   QStringLiteral("<b>Varnel — бэк-офис</b><br>Версия %1<br><br>История книг, "
                                  "касса за день, риск по открытым событиям; отмена результата; "
                                  "печать, PDF и выгрузка в CSV. Читает книги рабочей папки "
                                  "или сервера книг, пока с ними работает касса.")
                       .arg(QApplication::applicationVersion()));
           });

    // Short words on the tool bar; the menus say it in full.
    open->setIconText(QStringLiteral("Папка"));
    csv->setIconText(QStringLiteral("CSV"));
    pdf->setIconText(QStringLiteral("PDF"));
    print->setIconText(QStringLiteral("Печать"));
    m_viewActions[1]->setIconText(QStringLiteral("Касса"));
    m_viewActions[2]->setIconText(QStringLiteral("Риск"));
    m_undo->setIconText(QStringLiteral("Отменить результат"));
    bar->addAction(open);
    bar->addAction(refresh);
    bar->addSeparator();
    for (QAction* a : m_viewActions)
        bar->addAction(a);
    bar->addSeparator();
    bar->addAction(csv);
    bar->addAction(pdf);
    bar->addAction(print);
    bar->addSeparator();
    bar->addAction(m_undo);
}

QString OfficeWindow::StartFolder(const QStringList& arguments) {
    if (!arguments.isEmpty())
        return QFileInfo(arguments.first()).absoluteFilePath();
    if (HoldsBooks(QDir::currentPath()) || namesServer(QDir::currentPath()))
        return QDir::currentPath();
    const QString last = settings().value(kLastFolder).toString();
    if (!last.isEmpty() && (HoldsBooks(last) || namesServer(last)))
        return last;
    return {};
}

bool OfficeWindow::OpenFolder(const QString& folder) {
    const QString path = QFileInfo(folder).absoluteFilePath();
    if (!QFileInfo(path).isDir()) {
        ReportError(QStringLiteral("Папки «%1» нет.").arg(QDir::toNativeSeparators(path)));
        return false;
    }
    QString conninfo;
    try {
        conninfo = ServerConninfoOf(path);
    } catch (const EDatabaseError& error) {
        ReportError(error.message());
        return false;
    }
    if (conninfo.isEmpty() && !HoldsBooks(path)) {
        ReportError(QStringLiteral("В папке «%1» нет книг кассы (COMPIT.DBF, PRIEM.DBF, "
                                   "MONEY.DBF) и файла varnel.conf с сервером книг. Выберите "
                                   "рабочую папку кассы.")
                        .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    // A server that asks for a password that nothing gives: the operator logs in first.
    if (!conninfo.isEmpty() && !LogInToServer(conninfo))
        return false;
    std::unique_ptr<ServerBooks> server;
    if (!conninfo.isEmpty()) {
        try {
            server = std::make_unique<ServerBooks>(conninfo);
        } catch (const EDatabaseError& error) {
            ReportError(error.message());
            return false;
        }
    }
    // The views let go of the books read before, and of the server asked before.
    m_books.reset();
    m_history->Model()->SetAsker({});
    m_cash->SetAsker({});
    m_history->SetBooks({});
    m_cash->SetBooks({});
    m_risk->SetBooks({});
    m_follower.reset(); // the server followed before, if any
    m_retry.stop();
    ++m_serverGeneration; // answers of the server asked before are not this one's
    m_reading = m_readAgain = false;
    m_snapshot.clear();
    m_server = std::move(server);
    if (!m_server) {
        // A year of the folder's history is summed off the window's thread, its file opened
        // there on its own.
        m_cash->SetAsker([this](const QDate& from, const QDate& to, CashView::CashAnswer answered) {
            using Summed = std::pair<CashReport, QString>;
            auto* watcher = new QFutureWatcher<Summed>(m_cash);
            connect(watcher, &QFutureWatcher<Summed>::finished, m_cash, [watcher, answered] {
                const Summed summed = watcher->result();
                watcher->deleteLater();
                if (!summed.second.isEmpty())
                    ReportError(summed.second);
                answered(summed.first, summed.second);
            });
            watcher->setFuture(QtConcurrent::run([books = m_books, from, to]() -> Summed {
                try {
                    Books own = *books;
                    if (own.history)
                        own.history = std::make_shared<THistoryFile>(own.historyPath);
                    return {ComputeCash(own, from, to), {}};
                } catch (const EVarnelError& error) {
                    return {{}, error.message()};
                }
            }));
        });
    } else {
        m_history->Model()->SetAsker(m_server->HistoryQuestions(m_history->Model()));
        m_cash->SetAsker([this, server = m_server.get()](const QDate& from, const QDate& to,
                                                         CashView::CashAnswer answered) {
            server->Ask<CashReport>(
                m_cash, [from, to](ServerQuestions& questions) { return questions.Cash(from, to); },
                [answered](CashReport report) { answered(report, {}); },
                [answered](ServerFailure failure) { answered({}, failure.message); });
        });
    }
    ShowServerState(); // nobody named until the server is read
    m_lost = false;
    m_refusal.clear();
    m_folder = path;
    m_problems.clear();
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
    if (m_server) {
        // Made before the first reading: a change committed while it reads is told after it.
        m_follower = std::make_unique<ServerFollower>(m_server->Conninfo());
        connect(m_follower.get(), &ServerFollower::Changed, this,
                Handler(this, &OfficeWindow::ServerChanged));
        connect(m_follower.get(), &ServerFollower::Lost, this,
                [this](const QString& message, bool broken) {
                    RunHandler([&] { FollowerLost(message, broken); });
                });
    }
    ShowServerState();
    // The engine's operations (undo) find the tables by bare name, as the counter does.
    QDir::setCurrent(path);
    QSettings s = settings();
    s.setValue(kLastFolder, path);
    UpdateTitle();
    Refresh();
    return true;
}

QString OfficeWindow::Server() const {
    return m_server ? m_server->Server() : QString();
}

bool OfficeWindow::Settled() const {
    return m_books && !m_exporting && !m_reading && !m_readAgain && !m_refresh.isActive() &&
           !m_history->Model()->Busy() && !m_history->Model()->Following() && !m_cash->Busy();
}

bool OfficeWindow::OnStandby() const {
    return m_server && m_server->Standby();
}

bool OfficeWindow::UndoOffered() const {
    return !m_folder.isEmpty() && (!m_server || (!m_server->Standby() && m_server->MayUndo()));
}

void OfficeWindow::ChooseFolder() {
    const QString start = m_folder.isEmpty() ? QDir::homePath() : m_folder;
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Рабочая папка кассы"), start, QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        OpenFolder(folder);
}

void OfficeWindow::RefreshLater() {
    Refresh();
}

bool OfficeWindow::Refresh() {
    if (m_folder.isEmpty())
        return false;
    if (m_holding) { // a view is being exported or printed: its rows must stay as they are
        m_refresh.start(kRetryMs);
        return false;
    }
    m_refresh.stop();
    // Called by the handlers and at start alike: a reading that fails says why and ends here.
    bool read = false;
    RunHandler([&] { read = Read(); });
    return read;
}

bool OfficeWindow::Read() {
    if (m_server)
        return ReadServer();
    std::shared_ptr<const Books> books;
    try {
        const BusyCursor busy;
        books = ReadBooks(m_folder, kPatienceMs);
    } catch (const EBooksBusy&) {
        if (FinishInterruptedWork())
            return Refresh();
        m_state->setText(QStringLiteral("Касса записывает изменения — чтение повторится"));
        m_refresh.start(kRetryMs);
        Watch();
        return false;
    }
    Show(books);
    Watch();
    return true;
}

// One look at the server's live books, asked off the window's thread: one at a time, the
// notices that come meanwhile ending in one more look after it. A server that does not answer
// leaves the books shown as they were read last, says so, and is asked again shortly (and as
// soon as the follower finds it back).
bool OfficeWindow::ReadServer() {
    if (m_reading) {
        m_readAgain = true;
        return false;
    }
    m_reading = true;
    m_readAgain = false;
    const int generation = m_serverGeneration;
    const auto ended = [this, generation](const std::function<void()>& shown) {
        if (generation != m_serverGeneration)
            return;
        m_reading = false;
        RunHandler(shown);
        if (m_readAgain)
            m_refresh.start(0);
    };
    // After a reading shown, only a history with records committed since is read again: a
    // notice that changed nothing (anyone may send one) costs the window next to nothing.
    const QString since = m_books && !m_lost ? m_snapshot : QString();
    m_server->Ask<ServerReading>(
        this, [since](ServerQuestions& questions) { return questions.Read(since); },
        [this, ended](ServerReading reading) {
            ended([&] {
                m_retry.stop();
                m_lost = false;
                m_refusal.clear();
                m_state->setToolTip({});
                m_server->SetState(reading.state);
                if (reading.books) {
                    m_snapshot = reading.snapshot;
                    Show(reading.books);
                }
                ShowServerState();
            });
        },
        [this, ended](ServerFailure failure) {
            ended([&] {
                ServerLost(EServerError(failure.message, failure.broken));
                m_retry.start();
            });
        });
    return true;
}

// Every commit at any counter is told, several times over for one that changed several
// tables, and a burst of them may come while a reading runs: they end in one reading after
// it, at the next turn of the event loop.
void OfficeWindow::ServerChanged() {
    if (m_server)
        m_refresh.start(0);
}

void OfficeWindow::FollowerLost(const QString& message, bool broken) {
    if (m_server)
        ServerLost(EServerError(message, broken));
}

// What the server allows the office, said where the manager looks: a standby shows the books
// as far as it has replayed them and changes none.
void OfficeWindow::ShowServerState() {
    if (m_server && m_server->Standby()) {
        m_banner->setText(QStringLiteral("Резервный сервер «%1»: только просмотр, данные "
                                         "обновляются по мере воспроизведения с основного "
                                         "сервера; отмена результата недоступна.")
                              .arg(m_server->Server()));
        m_banner->show();
    } else {
        m_banner->hide();
    }
    // Offices of several operators on one set of books look alike but for this.
    const QString who = m_server ? m_server->Operator() : QString();
    if (!who.isEmpty()) {
        const char* role = m_server->OwnsBooks() ? "владелец книг"
                           : m_server->MayUndo() ? "менеджер"
                                                 : "кассир";
        m_operator->setText(QStringLiteral("Оператор: %1, %2").arg(who, QString::fromUtf8(role)));
    }
    m_operator->setVisible(!who.isEmpty());
    UpdateActions();
}

// A server out of reach is told in the state line, for as long as it lasts; one that refuses
// (no books on it, no right to read them) is told once in a box too, until it says otherwise.
void OfficeWindow::ServerLost(const EServerError& error) {
    m_lost = true;
    const QString server = m_server->Server();
    const QString shown = m_books ? QStringLiteral("; показано прочитанное в %1")
                                        .arg(m_state->property("read").toString())
                                  : QString();
    m_state->setText(
        error.Broken() ? QStringLiteral("Нет связи с сервером «%1»%2").arg(server, shown)
                       : QStringLiteral("Сервер «%1» отказал в чтении книг%2").arg(server, shown));
    m_state->setToolTip(error.message() +
                        QStringLiteral("\nКниги будут прочитаны, как только сервер ответит."));
    statusBar()->showMessage(error.message());
    if (!error.Broken() && error.message() != m_refusal) {
        m_refusal = error.message();
        ReportError(error.message());
    }
    UpdateActions();
}

void OfficeWindow::Show(const std::shared_ptr<const Books>& books) {
    m_books = books;
    m_history->SetBooks(books);
    m_cash->SetBooks(books);
    m_risk->SetBooks(books);
    const QString read = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    m_state->setProperty("read", read);
    m_state->setText(QStringLiteral("Прочитано %1").arg(read));
    StartCensus();
    if (books->problems != m_problems) {
        m_problems = books->problems;
        if (!m_problems.isEmpty())
            ReportError(QStringLiteral("Не все книги папки прочитаны:\n") +
                        m_problems.join(QLatin1Char('\n')));
    }
    statusBar()->showMessage(
        books->problems.isEmpty()
            ? QStringLiteral("Открытых событий: %1, ставок: %2, невыплаченных выигрышей: %3")
                  .arg(books->events.size())
                  .arg(books->BetCount())
                  .arg(books->PayoutCount())
            : QStringLiteral("Не прочитано: ") + books->problems.join(QStringLiteral("; ")));
    UpdateActions();
}

// Every record of the history is looked at (whether it reads, which operator wrote it), which a
// year of them makes too long for the window's thread; what is shown stays until the new look
// is done. A record once looked at never changes (the history is only added to), so a history
// that grew is looked at from where the last look ended, and a census under way is not given
// up for a reading of the same file but carried on after it: readings that follow each other
// faster than a year of records is looked at would otherwise never let one end.
void OfficeWindow::StartCensus() {
    if (m_server && m_books) {
        // The server's values are of their types: none unreadable. Its operators, by its index.
        m_unreadableCount = 0;
        m_unreadable->hide();
        const int generation = m_serverGeneration;
        m_server->Ask<QStringList>(
            this, [](ServerQuestions& questions) { return questions.Operators(); },
            [this, generation](const QStringList& operators) {
                if (generation == m_serverGeneration)
                    m_history->SetOperators(operators);
            },
            [](const ServerFailure&) {}); // the next reading says what is wrong
        return;
    }
    if (!m_books || !m_books->history) {
        ++m_countGeneration;
        if (m_countCancel)
            m_countCancel->store(true);
        m_counted = {};
        m_countAgain = false;
        m_unreadableCount = 0;
        m_unreadable->hide();
        m_history->SetOperators({});
        return;
    }
    const QString path = m_books->historyPath;
    if (m_census.isRunning()) {
        if (m_census.property("path").toString() == path) {
            m_countAgain = true;
            return;
        }
        ++m_countGeneration;
        m_countCancel->store(true);
    }
    m_countAgain = false;
    const QByteArray file = fileIdentity(path);
    const std::uint32_t count = m_books->historyCount;
    if (file.isEmpty() || m_counted.path != path || m_counted.file != file ||
        count < m_counted.records)
        m_counted = Counted{path, file, 0, {}};
    else if (count == m_counted.records && m_unreadableCount)
        return; // nothing added since
    m_countCancel = std::make_shared<std::atomic<bool>>(false);
    m_countMoved = std::make_shared<std::atomic<bool>>(false);
    m_census.setProperty("generation", m_countGeneration);
    m_census.setProperty("path", path);
    m_census.setProperty("records", count);
    m_census.setFuture(QtConcurrent::run([path, file, from = m_counted.records, count,
                                          cancel = m_countCancel, moved = m_countMoved] {
        const bool before = fileIdentity(path) != file;
        HistoryCensus census = TakeCensus(path, from, count, *cancel);
        moved->store(before || fileIdentity(path) != file);
        return census;
    }));
}

void OfficeWindow::CensusTaken() {
    if (m_census.property("generation").toInt() != m_countGeneration)
        return; // a newer reading is being counted
    const HistoryCensus census = m_census.result();
    if (!census.error.isEmpty()) {
        m_counted = {};
        m_countAgain = false;
        ReportError(census.error);
        return;
    }
    const bool moved = m_countMoved->load();
    if (moved) {
        m_counted = {}; // a history written anew: all of it looked at again
    } else {
        m_counted.census.Add(census);
        m_counted.records = m_census.property("records").toUInt();
        ShowCensus();
    }
    if (m_countAgain || moved)
        StartCensus();
}

void OfficeWindow::ShowCensus() {
    const HistoryCensus& census = m_counted.census;
    m_unreadableCount = census.unreadable;
    m_unreadable->setText(QStringLiteral("Не читается записей: %1").arg(census.unreadable));
    m_unreadable->setVisible(census.unreadable > 0);
    m_history->SetOperators(census.operators);
}

// A journal that stays while nobody holds the folder is the work of a counter that was
// stopped mid-commit: nobody would ever finish it, and the office would wait for ever. It is
// finished (or dropped) as the counter's start would, under the folder's lock.
bool OfficeWindow::FinishInterruptedWork() {
    if (!TDataModule6::HasInterruptedWork(m_folder))
        return false;
    FolderLock lock;
    if (!lock.TryLock(m_folder))
        return false; // the counter runs: its commit is under way
    try {
        const InFolder here(m_folder);
        TDataModule6 books;
        books.FinishInterruptedWork();
    } catch (const EDatabaseError& error) {
        ReportError(error.message());
        return false;
    }
    statusBar()->showMessage(QStringLiteral("Операция, прерванная при остановке кассы, "
                                            "доведена до конца"),
                             10000);
    return true;
}

// The folder itself tells of a journal coming and going and of a table replaced; the files
// of writes in place. A file that was replaced has to be watched anew.
void OfficeWindow::Watch() {
    if (m_folder.isEmpty() || m_server)
        return;
    QStringList paths{m_folder};
    const QDir dir(m_folder);
    for (const QString& name : TableFileNames())
        if (QFileInfo::exists(dir.filePath(name)))
            paths << dir.filePath(name);
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    QStringList missing;
    for (const QString& path : paths)
        if (!watched.contains(path))
            missing << path;
    if (!missing.isEmpty())
        m_watcher.addPaths(missing);
}

void OfficeWindow::FilesChanged() {
    // A counter taking bets one after another must not hold the views back for ever: a change
    // is read within the delay of the first signal, not of the last.
    if (!m_refresh.isActive())
        m_refresh.start(kRefreshDelayMs);
}

void OfficeWindow::UpdateTitle() {
    setWindowTitle(
        m_folder.isEmpty() ? QStringLiteral("Varnel — бэк-офис")
        : m_server
            ? QStringLiteral("%1 (сервер книг «%2») — Varnel — бэк-офис")
                  .arg(QDir::toNativeSeparators(m_folder), m_server->Server())
            : QStringLiteral("%1 — Varnel — бэк-офис").arg(QDir::toNativeSeparators(m_folder)));
}

OfficeView* OfficeWindow::CurrentView() const {
    return qobject_cast<OfficeView*>(m_views->currentWidget());
}

void OfficeWindow::ShowView(int index) {
    m_views->setCurrentIndex(index);
}

void OfficeWindow::UpdateActions() {
    if (m_limits) {
        m_limits->setEnabled(UndoOffered());
        m_limits->setToolTip(!m_folder.isEmpty() && !UndoOffered() && !OnStandby()
                                 ? QStringLiteral("Лимиты устанавливает только менеджер")
                                 : QString());
    }
    if (m_undo) {
        m_undo->setEnabled(UndoOffered() && m_views->currentWidget() == m_history &&
                           m_history->CurrentResultRecord() >= 0);
        // Why it is not offered, where the manager looks for what it does.
        QString why;
        if (OnStandby())
            why = QStringLiteral("На резервном сервере отмена результата недоступна: только "
                                 "просмотр");
        else if (!m_folder.isEmpty() && !UndoOffered())
            why = QStringLiteral("Отменять результат может только менеджер");
        m_undo->setStatusTip(
            why.isEmpty() ? QStringLiteral("Вернуть событие выбранной записи «Результат» и его "
                                           "ставки")
                          : why);
        m_undo->setToolTip(why.isEmpty()
                               ? QStringLiteral("%1 (%2)").arg(
                                     QString(m_undo->text()).remove(QLatin1Char('&')),
                                     m_undo->shortcut().toString(QKeySequence::NativeText))
                               : why);
    }
    for (int i = 0; i < m_viewActions.size(); ++i) {
        m_viewActions[i]->setCheckable(true);
        m_viewActions[i]->setChecked(m_views->currentIndex() == i);
    }
}

QString OfficeWindow::OfferedPath(const QString& extension, const QString& filter) {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString start = QDir(documents.isEmpty() ? QDir::homePath() : documents)
                              .filePath(CurrentView()->FileStem() + QLatin1Char('.') + extension);
    QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить как"), start, filter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + extension;
    return path;
}

void OfficeWindow::ExportCsv(const QString& given) {
    OfficeView* view = CurrentView();
    const QString path =
        given.isEmpty() ? OfferedPath(QStringLiteral("csv"), QStringLiteral("CSV (*.csv)")) : given;
    if (path.isEmpty())
        return;
    if (view == m_history && m_server) {
        ExportServerHistory(path);
        return;
    }
    if (view == m_history && m_history->Model()->Busy()) {
        // The rows to write are the query's, still running: written once it ends, as long as
        // that takes up to half a minute, the window alive meanwhile.
        const auto waiting = std::make_shared<bool>(true);
        auto* context = new QObject(this);
        connect(m_history->Model(), &HistoryModel::QueryFinished, context,
                [this, context, waiting, path] {
                    *waiting = false;
                    context->deleteLater();
                    ExportCsv(path);
                });
        QTimer::singleShot(30000, context, [this, context, waiting] {
            if (!*waiting)
                return;
            *waiting = false;
            context->deleteLater();
            ReportError(QStringLiteral("Отбор записей истории ещё не закончен; выгрузите позже."));
        });
        return;
    }
    const QAbstractItemModel& model = *view->ExportModel();
    const QScopedValueRollback hold(m_holding, true);
    QProgressDialog progress(QStringLiteral("Выгрузка в CSV…"), QStringLiteral("Прервать"), 0,
                             model.rowCount(), this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    RunHandler([&] {
        WriteCsv(model, path, [&](int rows) {
            progress.setValue(rows);
            return !progress.wasCanceled();
        });
        statusBar()->showMessage(progress.wasCanceled()
                                     ? QStringLiteral("Выгрузка прервана, файл не записан")
                                     : QStringLiteral("Выгружено строк: %1 в «%2»")
                                           .arg(model.rowCount())
                                           .arg(QDir::toNativeSeparators(path)),
                                 8000);
    });
}

// A server's history as the query shows it, every record of it, not only the pages the grid
// holds: written a page at a time on the reading thread, the window free meanwhile.
void OfficeWindow::ExportServerHistory(const QString& path) {
    statusBar()->showMessage(
        QStringLiteral("Выгрузка истории в «%1»…").arg(QDir::toNativeSeparators(path)));
    const HistoryQuery query = m_history->Model()->Query();
    m_exporting = true;
    m_server->Ask<std::int64_t>(
        this,
        [query, path](ServerQuestions& questions) {
            HistoryModel page;
            std::optional<HistoryPage> after;
            return WriteCsvInParts(page, path, [&] {
                if (after && after->end)
                    return false;
                HistoryPage next = questions.History(query, after ? &*after : nullptr, 5000);
                const bool any = !next.rows.empty();
                page.ShowRows(std::move(next.rows));
                next.rows.clear();
                after = std::move(next);
                return any;
            });
        },
        [this, path](std::int64_t rows) {
            m_exporting = false;
            statusBar()->showMessage(QStringLiteral("Выгружено строк: %1 в «%2»")
                                         .arg(rows)
                                         .arg(QDir::toNativeSeparators(path)),
                                     8000);
            emit Exported(path);
        },
        [this](const ServerFailure& failure) {
            m_exporting = false;
            statusBar()->clearMessage();
            ReportError(failure.message);
        });
}

void OfficeWindow::SavePdf(const QString& given) {
    const QString path =
        given.isEmpty() ? OfferedPath(QStringLiteral("pdf"), QStringLiteral("PDF (*.pdf)")) : given;
    if (path.isEmpty())
        return;
    RunHandler([&] {
        WritePdf(CurrentView()->Report(), path, CurrentView()->ReportImages());
        statusBar()->showMessage(
            QStringLiteral("Отчёт сохранён в «%1»").arg(QDir::toNativeSeparators(path)), 8000);
    });
}

void OfficeWindow::Print() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Печать: %1").arg(CurrentView()->Title()));
    if (dialog.exec() == QDialog::Accepted)
        PrintHtml(CurrentView()->Report(), &printer, CurrentView()->ReportImages());
}

void OfficeWindow::PrintPreview() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintPreviewDialog preview(&printer, this);
    preview.setObjectName(QStringLiteral("PrintPreview"));
    preview.setWindowTitle(QStringLiteral("Просмотр: %1").arg(CurrentView()->Title()));
    const QString html = CurrentView()->Report();
    const ReportImages images = CurrentView()->ReportImages();
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [&](QPrinter* target) { RunHandler([&] { PrintHtml(html, target, images); }); });
    preview.resize(1000, 760);
    preview.exec();
}

void OfficeWindow::UndoResult() {
    if (OnStandby()) {
        ReportError(QStringLiteral("Книги прочитаны с резервного сервера «%1»: на нём только "
                                   "просмотр, и отменить результат нельзя. Отмените его на "
                                   "основном сервере.")
                        .arg(m_server->Server()));
        return;
    }
    const std::int64_t record = m_history->CurrentResultRecord();
    if (m_folder.isEmpty() || record < 0) {
        ReportError(QStringLiteral("Выберите в истории запись «Результат» — ввод результата, "
                                   "который нужно отменить."));
        return;
    }
    const auto confirm = [this](const QString& question) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Отмена результата"), question,
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("UndoConfirmation"));
        box.button(QMessageBox::Yes)->setText(QStringLiteral("Отменить результат"));
        box.button(QMessageBox::Yes)->setObjectName(QStringLiteral("Yes"));
        box.button(QMessageBox::No)->setText(QStringLiteral("Не отменять"));
        box.button(QMessageBox::No)->setObjectName(QStringLiteral("No"));
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    };
    // On a server, the record is its row's key; the reading shown may be older than the
    // server's books, which the undo reads again.
    const UndoAttempt attempt = m_server
                                    ? UndoResultOnServer(m_server->Conninfo(), record, confirm)
                                    : UndoResultInFolder(m_folder, std::uint32_t(record), confirm);
    switch (attempt.outcome) {
    case UndoAttempt::Outcome::Cancelled:
        return;
    case UndoAttempt::Outcome::Refused:
        ReportError(attempt.message);
        break;
    case UndoAttempt::Outcome::Done:
        statusBar()->showMessage(attempt.message, 10000);
        ReportNotice(attempt.message);
        break;
    }
    Refresh();
}

// The limits as the last reading found them, asked of the manager and set through the books'
// operation; a box the operation refuses (or the server, or a counter holding the folder) is
// shown and asked again.
void OfficeWindow::EditLimits() {
    if (OnStandby()) {
        ReportError(QStringLiteral("Книги прочитаны с резервного сервера «%1»: на нём только "
                                   "просмотр, и лимиты изменить нельзя.")
                        .arg(m_server->Server()));
        return;
    }
    if (m_folder.isEmpty())
        return;
    LimitsDialog dialog(m_books ? m_books->limits : Limits{}, this);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return;
        QString refused;
        try {
            const Limits limits = dialog.Chosen();
            CheckLimitsSet(limits);
            refused = m_server ? SetLimitsOnServer(m_server->Conninfo(), limits)
                               : SetLimitsInFolder(m_folder, limits);
        } catch (const EVarnelError& error) {
            refused = error.message();
        }
        if (refused.isEmpty())
            break;
        ReportError(refused);
    }
    statusBar()->showMessage(QStringLiteral("Лимиты установлены; они действуют со следующей "
                                            "ставки."),
                             10000);
    Refresh();
}

void OfficeWindow::closeEvent(QCloseEvent* event) {
    QSettings s = settings();
    s.setValue(kGeometry, saveGeometry());
    s.setValue(kState, saveState());
    s.setValue(kLastView, m_views->currentIndex());
    QMainWindow::closeEvent(event);
}

} // namespace varnel::office
