#include "office/window/OfficeWindow.h"

#include "base/Report.h"
#include "controls/Login.h"
#include "office/window/CashView.h"
#include "office/window/HistoryView.h"
#include "office/window/Limits.h"
#include "office/window/Reader.h"
#include "office/window/Reports.h"
#include "office/window/RiskView.h"
#include "office/window/Undo.h"
#include "server/Config.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTime>
#include <QToolBar>
#include <QVBoxLayout>

namespace varnel::office {

namespace {

const char* const kGeometry = "window/geometry";
const char* const kState = "window/state";
const char* const kLastFolder = "folder/last";
const char* const kLastView = "window/view";

QSettings settings() {
    return QSettings(QStringLiteral("Varnel"), QStringLiteral("varnel-office"));
}

// Whether a folder's varnel.conf names the books' server; a file that cannot be read counts,
// so that opening the folder says what is wrong with it.
bool namesServer(const QString& folder) {
    try {
        return !ServerConninfoOf(folder).isEmpty();
    } catch (const EDatabaseError&) {
        return true;
    }
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
      m_unreadable(new QLabel(this)), m_banner(new QLabel(this)), m_operator(new QLabel(this)),
      m_reports(new ViewReports(this)), m_chain(new QLabel(this)) {
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
    m_chain->setObjectName(QStringLiteral("ChainState"));
    m_chain->setContentsMargins(6, 0, 6, 0);
    m_chain->hide();
    statusBar()->addPermanentWidget(m_chain);
    statusBar()->addPermanentWidget(m_operator);
    statusBar()->addPermanentWidget(m_unreadable);
    statusBar()->addPermanentWidget(m_state);
    MakeActions();
    connect(m_reports, &ViewReports::Exported, this, &OfficeWindow::Exported);

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
    m_reports->SetReader(nullptr); // a history being written out is not waited for
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
    // The views let go of the books read before, and of their reader (its questions under way
    // waited for), before the new one reads.
    m_history->Model()->SetAsker({});
    m_cash->SetAsker({});
    m_history->SetBooks({});
    m_cash->SetBooks({});
    m_risk->SetBooks({});
    m_reports->SetReader(nullptr);
    m_reader.reset();
    m_unreadableCount.reset();
    m_unreadable->hide();
    m_chain->hide();
    m_cash->SetChain({});
    m_history->SetOperators({});
    m_refusal.clear();
    m_problems.clear();
    // The engine's operations (undo) find the tables by bare name, as the counter does.
    QDir::setCurrent(path);
    m_reader = std::make_unique<BooksReader>(path, conninfo);
    BooksReader* reader = m_reader.get();
    m_history->Model()->SetAsker(reader->HistoryQuestions(m_history->Model()));
    m_cash->SetAsker(reader->CashQuestions(m_cash));
    m_reports->SetReader(reader);
    connect(reader, &BooksReader::Shown, this, [this](const std::shared_ptr<const Books>& books) {
        RunHandler([&] { Show(books); });
    });
    connect(reader, &BooksReader::Waiting, this, [this] {
        m_state->setText(QStringLiteral("Касса записывает изменения — чтение повторится"));
    });
    connect(reader, &BooksReader::Failed, this, [this](const QString& message, bool broken) {
        RunHandler([&] { ReadingFailed(message, broken); });
    });
    connect(reader, &BooksReader::StateChanged, this,
            Handler(this, &OfficeWindow::ShowServerState));
    connect(reader, &BooksReader::Counted, this,
            [this](const HistoryCensus& census) { RunHandler([&] { ShowCensus(census); }); });
    connect(reader, &BooksReader::Checked, this,
            [this](const ChainCheck& check) { RunHandler([&] { ShowChain(check); }); });
    connect(reader, &BooksReader::Told, this,
            [this](const QString& message) { statusBar()->showMessage(message, 10000); });
    ShowServerState(); // nobody named until the books are read
    settings().setValue(kLastFolder, path);
    UpdateTitle();
    m_state->setText(QStringLiteral("Чтение книг…"));
    reader->Read();
    return true;
}

QString OfficeWindow::Folder() const {
    return m_reader ? m_reader->Folder() : QString();
}

QString OfficeWindow::Server() const {
    return m_reader ? m_reader->Server() : QString();
}

const std::shared_ptr<const Books>& OfficeWindow::CurrentBooks() const {
    static const std::shared_ptr<const Books> none;
    return m_reader ? m_reader->CurrentBooks() : none;
}

bool OfficeWindow::Settled() const {
    return m_reader && m_reader->Idle() && !m_reports->Busy() && !m_history->Model()->Busy() &&
           !m_history->Model()->Following() && !m_cash->Busy();
}

bool OfficeWindow::OnStandby() const {
    return m_reader && m_reader->State().standby;
}

bool OfficeWindow::UndoOffered() const {
    return m_reader && !m_reader->State().standby && m_reader->State().mayUndo;
}

void OfficeWindow::ChooseFolder() {
    const QString start = m_reader ? Folder() : QDir::homePath();
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Рабочая папка кассы"), start, QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        OpenFolder(folder);
}

bool OfficeWindow::Refresh() {
    if (!m_reader)
        return false;
    m_reader->Read();
    return true;
}

// What the books allow the office, said where the manager looks: a standby shows the books as
// far as it has replayed them and changes none. A reading that answered clears the word of a
// failure.
void OfficeWindow::ShowServerState() {
    const bool standby = OnStandby();
    if (standby) {
        m_banner->setText(QStringLiteral("Резервный сервер «%1»: только просмотр, данные "
                                         "обновляются по мере воспроизведения с основного "
                                         "сервера; отмена результата недоступна.")
                              .arg(Server()));
    }
    m_banner->setVisible(standby);
    if (m_reader && !m_reader->Lost()) {
        m_refusal.clear();
        m_state->setToolTip({});
    }
    // Offices of several operators on one set of books look alike but for this.
    const QString who = m_reader ? m_reader->State().login : QString();
    if (!who.isEmpty()) {
        const char* role = m_reader->State().ownsBooks ? "владелец книг"
                           : m_reader->State().mayUndo ? "менеджер"
                                                       : "кассир";
        m_operator->setText(QStringLiteral("Оператор: %1, %2").arg(who, QString::fromUtf8(role)));
    }
    m_operator->setVisible(!who.isEmpty());
    UpdateActions();
}

// Books out of reach are told in the state line, for as long as it lasts; books that refuse
// (no books on the server, no right to read them, a folder's file that does not read) are told
// once in a box too, until they say otherwise. They are read again shortly.
void OfficeWindow::ReadingFailed(const QString& message, bool broken) {
    const QString shown = CurrentBooks() ? QStringLiteral("; показано прочитанное в %1")
                                               .arg(m_state->property("read").toString())
                                         : QString();
    if (m_reader->OnServer())
        m_state->setText(
            broken ? QStringLiteral("Нет связи с сервером «%1»%2").arg(Server(), shown)
                   : QStringLiteral("Сервер «%1» отказал в чтении книг%2").arg(Server(), shown));
    else
        m_state->setText(QStringLiteral("Книги не прочитаны%1").arg(shown));
    m_state->setToolTip(message + (m_reader->OnServer()
                                       ? QStringLiteral("\nКниги будут прочитаны, как только "
                                                        "сервер ответит.")
                                       : QStringLiteral("\nКниги будут прочитаны снова через "
                                                        "несколько секунд.")));
    statusBar()->showMessage(message);
    if (!broken && message != m_refusal) {
        m_refusal = message;
        ReportError(message);
    }
    UpdateActions();
}

void OfficeWindow::Show(const std::shared_ptr<const Books>& books) {
    m_history->SetBooks(books);
    m_cash->SetBooks(books);
    m_risk->SetBooks(books);
    const QString read = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    m_state->setProperty("read", read);
    m_state->setText(QStringLiteral("Прочитано %1").arg(read));
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

void OfficeWindow::ShowCensus(const HistoryCensus& census) {
    m_unreadableCount = census.unreadable;
    m_unreadable->setText(QStringLiteral("Не читается записей: %1").arg(census.unreadable));
    m_unreadable->setVisible(census.unreadable > 0);
    m_history->SetOperators(census.operators);
}

// «История цела», or the first record that does not match, as the last check found it.
void OfficeWindow::ShowChain(const ChainCheck& check) {
    m_cash->SetChain(check);
    if (!check.verdict.Whole()) {
        m_chain->setText(check.verdict.Said().section(QLatin1Char('\n'), 0, 0));
        m_chain->setStyleSheet(QStringLiteral("QLabel { color: #b00000; font-weight: bold; }"));
        m_chain->setToolTip(QStringLiteral("Проверьте историю целиком: varnel-verify."));
    } else if (!check.chained) {
        m_chain->setText(QStringLiteral("История без хешей"));
        m_chain->setStyleSheet({});
        m_chain->setToolTip(QStringLiteral("Записи истории ещё не несут хешей цепочки: "
                                           "varnel-newdesk ПАПКА добавляет поле HASH."));
    } else {
        m_chain->setText(QStringLiteral("История цела"));
        m_chain->setStyleSheet({});
        m_chain->setToolTip(HeadText(check.verdict.head) +
                            (check.unsealed > 0
                                 ? QStringLiteral("\nЕщё не в цепочке (работа не закончена): %1")
                                       .arg(check.unsealed)
                                 : QString()));
    }
    m_chain->show();
}

void OfficeWindow::UpdateTitle() {
    setWindowTitle(
        !m_reader ? QStringLiteral("Varnel — бэк-офис")
        : !Server().isEmpty()
            ? QStringLiteral("%1 (сервер книг «%2») — Varnel — бэк-офис")
                  .arg(QDir::toNativeSeparators(Folder()), Server())
            : QStringLiteral("%1 — Varnel — бэк-офис").arg(QDir::toNativeSeparators(Folder())));
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
        m_limits->setToolTip(m_reader && !UndoOffered() && !OnStandby()
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
        else if (m_reader && !UndoOffered())
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

void OfficeWindow::ExportCsv(const QString& path) {
    m_reports->ExportCsv(CurrentView(), path);
}

void OfficeWindow::SavePdf(const QString& path) {
    m_reports->SavePdf(CurrentView(), path);
    KeepHeadOfReport();
}

void OfficeWindow::Print() {
    m_reports->Print(CurrentView());
    KeepHeadOfReport();
}

// A day report written out or printed: the history's head written down among the books' own
// (a folder's digests/, a server's varnel.digests), off the window's thread.
void OfficeWindow::KeepHeadOfReport() {
    if (CurrentView() != m_cash || !m_reader || OnStandby())
        return;
    m_reader->Ask<ChainHead>(
        this,
        [](BooksSource& source) { return source.WriteDigest(QString::fromUtf8(kDayReportDigest)); },
        [this](const ChainHead& head) {
            statusBar()->showMessage(
                QStringLiteral("Голова истории записана: %1").arg(HeadText(head)), 10000);
        },
        [this](const SourceFailure& failure) {
            statusBar()->showMessage(
                QStringLiteral("Голова истории не записана: %1").arg(failure.message), 10000);
        });
}

void OfficeWindow::PrintPreview() {
    m_reports->PrintPreview(CurrentView());
}

void OfficeWindow::UndoResult() {
    if (OnStandby()) {
        ReportError(QStringLiteral("Книги прочитаны с резервного сервера «%1»: на нём только "
                                   "просмотр, и отменить результат нельзя. Отмените его на "
                                   "основном сервере.")
                        .arg(Server()));
        return;
    }
    const std::int64_t record = m_history->CurrentResultRecord();
    if (!m_reader || record < 0) {
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
    // books, which the undo reads again, and the views read again after it.
    const UndoAttempt attempt = m_reader->Undo(record, confirm);
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
}

// The limits as the last reading found them, asked of the manager and set through the books'
// operation; a box the operation refuses (or the server, or a counter that took the folder since)
// is shown and asked again. While a counter holds the folder, they are only shown, saying so.
void OfficeWindow::EditLimits() {
    if (OnStandby()) {
        ReportError(QStringLiteral("Книги прочитаны с резервного сервера «%1»: на нём только "
                                   "просмотр, и лимиты изменить нельзя.")
                        .arg(Server()));
        return;
    }
    if (!m_reader)
        return;
    LimitsDialog dialog(CurrentBooks() ? CurrentBooks()->limits : Limits{}, m_reader->LimitsHeld(),
                        this);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return;
        QString refused;
        try {
            refused = m_reader->SetLimits(dialog.Chosen());
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
}

void OfficeWindow::closeEvent(QCloseEvent* event) {
    QSettings s = settings();
    s.setValue(kGeometry, saveGeometry());
    s.setValue(kState, saveState());
    s.setValue(kLastView, m_views->currentIndex());
    QMainWindow::closeEvent(event);
}

} // namespace varnel::office
